#include "gui/price/WheelScroll.h"

#include "gui/grid/FlexGrid.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

std::vector<HookedWindow> HookedWindows;
int32_t HookedWindowCount = 0;

namespace {

// Serves one hooked window; lives as the window's child, so it goes away
// with the window.
class WheelFilter : public QObject {
 public:
  explicit WheelFilter(QWidget* w) : QObject(w), m_window(w) {}

  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() != QEvent::Wheel) return false;
    return WheelWindowProc(m_window, watched, e);
  }

 private:
  QWidget* m_window;
};

QWidget* viewportOf(QWidget* w) {
  if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) return area->viewport();
  return nullptr;
}

// Where wheel events of a window arrive: the window itself and, for a scroll
// area, its viewport and scroll bars (part of the window, as in the classic
// control).
QList<QWidget*> wheelTargets(QWidget* w) {
  QList<QWidget*> out{w};
  if (auto* area = qobject_cast<QAbstractScrollArea*>(w))
    out << area->viewport() << area->verticalScrollBar() << area->horizontalScrollBar();
  return out;
}

}  // namespace

void HookWheel(QWidget* w) {
  if (!w) return;
  auto* filter = new WheelFilter(w);
  for (QWidget* t : wheelTargets(w)) t->installEventFilter(filter);
  HookedWindows.push_back(HookedWindow{QPointer<QWidget>(w), filter, 0});
  HookedWindowCount = int32_t(HookedWindows.size());
}

void UnhookWheel(QWidget* w) {
  if (FindHookedWindow(w) == 0) return;
  // The found record gives the window its old behaviour back. A window
  // hooked more than once has a filter per record: remove them all, so
  // that nothing of the hook stays installed.
  for (HookedWindow& rec : HookedWindows) {
    if (!rec.window || rec.window.data() != w || !rec.filter) continue;
    for (QWidget* t : wheelTargets(w)) t->removeEventFilter(rec.filter);
    delete rec.filter;
    rec.filter = nullptr;
  }
}

int FindHookedWindow(QWidget* w) {
  if (!w) return 0;
  for (int32_t i = 1; i <= HookedWindowCount && size_t(i) <= HookedWindows.size(); ++i) {
    const HookedWindow& rec = HookedWindows[size_t(i - 1)];
    if (rec.window && rec.window.data() == w) return i;
  }
  return 0;
}

int16_t TakeWheelDirection(QWidget* w) {
  const int pos = FindHookedWindow(w);
  if (pos == 0) return 0;
  HookedWindow& rec = HookedWindows[size_t(pos - 1)];
  const int16_t d = rec.direction;
  rec.direction = 0;
  return d;
}

bool WheelWindowProc(QWidget* w, QObject* receiver, QEvent* e) {
  if (e->type() != QEvent::Wheel) return false;
  const int pos = FindHookedWindow(w);
  if (pos == 0) return false;
  auto* wheel = static_cast<QWheelEvent*>(e);
  // One event is one step, whatever its distance. A device that reports
  // only pixels (touchpads) gives its sign through pixelDelta. An event
  // without any vertical movement is a horizontal scroll: the hook leaves
  // it alone and the view handles it as usual.
  int dy = wheel->angleDelta().y();
  if (dy == 0) dy = wheel->pixelDelta().y();
  if (dy == 0) return false;
  HookedWindows[size_t(pos - 1)].direction = dy > 0 ? 1 : -1;

  // Instead of the wheel event, an ordinary mouse move with no button at
  // the cursor position goes to the window, whose MouseMove handler takes
  // the direction.
  QWidget* target = viewportOf(w);
  if (!target) target = w;
  const QPointF local = receiver == target ? wheel->position() : target->mapFromGlobal(wheel->globalPosition());
  QMouseEvent move(QEvent::MouseMove, local, wheel->globalPosition(), Qt::NoButton, Qt::NoButton, wheel->modifiers());
  QCoreApplication::sendEvent(target, &move);
  e->accept();
  return true;
}

void ApplyWheelDirection(FlexGrid* grid) {
  if (!grid) return;
  const int16_t d = TakeWheelDirection(grid);
  if (d == 1) {
    if (grid->topRow() != 1) grid->setTopRow(grid->topRow() - 1);
  } else if (d == -1) {
    grid->setTopRow(grid->topRow() + 1);
  }
}
