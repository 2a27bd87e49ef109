// Takes screenshots of the program's windows on a demo folder:
//   screenshots PROGRAM_FOLDER OUTPUT_FOLDER [WIDTH HEIGHT]
// Runs under any Qt platform (offscreen included); every message box is
// answered automatically so the run never blocks.
#include "price/FlexGrid.h"
#include "price/frm_price.h"
#include "shell/ProgramFolder.h"
#include "shell/frm_main.h"
#include "shell/messages.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QTimer>

namespace {
void settle() {
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
}

void save(QWidget* w, const QString& file) {
  settle();
  w->grab().save(file);
}
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3) {
    fprintf(stderr, "usage: screenshots PROGRAM_FOLDER OUTPUT_FOLDER [WIDTH HEIGHT]\n");
    return 2;
  }
  SetProgramFolder(QString::fromLocal8Bit(argv[1]));
  QDir::setCurrent(ProgramFolder());
  const QString out = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(out);
  const int width = argc > 4 ? atoi(argv[3]) : 1366;
  const int height = argc > 4 ? atoi(argv[4]) : 768;
  msg::ScopedRecorder recorder;
  recorder.defaultAnswer = msg::Answer::No;

  frm_main main;
  main.MDIForm_Load(QString());
  main.showNormal();
  main.resize(width, height);
  main.ShowStartupWindow();
  settle();
  frm_price* price = main.priceWindow();
  save(&main, out + "/price-plain.png");
  price->Check1->setChecked(true);
  price->Check1_Click();
  save(&main, out + "/price-plain-preview.png");
  price->Check2->setChecked(true);
  price->Check2_Click();
  save(&main, out + "/price-thumbnails.png");
  return 0;
}
