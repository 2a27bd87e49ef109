// The program in update runs: the real start-up dispatch, logging what it saw to
// standin.log in the program folder; --price or --program run that flow answering Yes.
#include "app/MainWindow.h"
#include "base/ProgramEnd.h"
#include "base/ProgramFolder.h"
#include "gui/common/MessageBoxes.h"
#include "update/CheckCommand.h"
#include "update/Updates.h"

#include <QtWidgets>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void logLine(const QString& line) {
  QFile f(ProgramFile(QStringLiteral("standin.log")));
  if (f.open(QIODevice::WriteOnly | QIODevice::Append)) {
    QString one = line;
    one.replace(QLatin1Char('\r'), QLatin1Char('|')).replace(QLatin1Char('\n'), QLatin1Char('|'));
    f.write(one.toUtf8() + '\n');
  }
}

void logBoxes(const msg::Recorder& rec) {
  for (const msg::Box& b : rec.boxes) logLine(QStringLiteral("box ") + b.text);
}

}  // namespace

int main(int argc, char** argv) {
  if (const int checked = RunCheckCommand(argc, argv); checked >= 0) return checked;
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("Varnokel %s\n", VARNOKEL_VERSION);
    return 0;
  }
  QApplication app(argc, argv);
  QDir::setCurrent(ProgramFolder());
  const QStringList args = QApplication::arguments().mid(1);
  for (const QString& line : {"start " + args.join(QLatin1Char(' ')), "home " + qEnvironmentVariable("VARNOKEL_HOME"),
                              "cwd " + QDir::currentPath(), "self " + QApplication::applicationFilePath()})
    logLine(line);

  msg::ScopedRecorder rec;
  rec.defaultAnswer = msg::Answer::Yes;
  SetEndProgramHandler([&rec] {
    logBoxes(rec);
    logLine(QStringLiteral("end"));
    std::fflush(nullptr);
    std::_Exit(0);
  });

  if (args.value(0) == QLatin1String("--price")) {
    RunPriceDownload();
  } else if (args.value(0) == QLatin1String("--program")) {
    RunProgramDownload();
  } else {
    MainWindow main;
    main.startUp(args.join(QLatin1Char(' ')));
  }
  logBoxes(rec);
  logLine(QStringLiteral("done"));
  return 0;
}
