// The program as it ships, for the start-up benchmark: it runs exactly as
// Varnokel does (same start, same folder rules, same windows) and leaves as
// soon as the price list's grid has been painted for the first time, printing
// the grid's row count. It is built only beside the benchmarks; the shipped
// program has no such exit.
//   varnokel_first_paint                 the program
//   varnokel_first_paint --empty-window  an empty maximised main window (the floor)
#include "app/ProgramStart.h"
#include "gui/grid/FlexGrid.h"

#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Leaves once the watched paint has been done (the event loop comes back to
// the zero timer only after the whole window has been painted and flushed).
void leaveAfterPaint(int rows) {
  QTimer::singleShot(0, [rows] {
    std::printf("painted rows %d\n", rows);
    std::fflush(stdout);
    std::_Exit(0);
  });
}

class GridPaintWatcher : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      if (auto* grid = qobject_cast<FlexGrid*>(watched->parent());
          grid && grid->viewport() == watched && grid->objectName() == QLatin1String("MSFlexGrid1")) {
        done_ = true;
        leaveAfterPaint(grid->rows());
      }
    }
    return false;
  }

 private:
  bool done_ = false;
};

class WindowPaintWatcher : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      done_ = true;
      leaveAfterPaint(0);
    }
    return false;
  }

 private:
  bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--empty-window") == 0) {
    QApplication app(argc, argv);
    ApplyProgramFont();
    QMainWindow window;
    window.installEventFilter(new WindowPaintWatcher(&window));
    window.showMaximized();
    return app.exec();
  }
  return RunProgram(argc, argv, [] { qApp->installEventFilter(new GridPaintWatcher(qApp)); });
}
