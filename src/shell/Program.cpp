#include "shell/Program.h"

#include "shell/ProgramFolder.h"
#include "shell/frm_main.h"

#include <QApplication>
#include <QDir>
#include <QStringList>

int RunProgram(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Varnokel"));
  QApplication::setApplicationVersion(QStringLiteral(VARNOKEL_VERSION));
  // Statements name the price database without a path and scripts start the
  // program by its bare name: the program works in its own folder.
  QDir::setCurrent(ProgramFolder());
  const QStringList args = QApplication::arguments().mid(1);
  frm_main main;
  if (!main.MDIForm_Load(args.join(QLatin1Char(' ')))) return 0;
  main.ShowStartupWindow();
  return app.exec();
}
