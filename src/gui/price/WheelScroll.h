#pragma once
// Mouse-wheel scrolling of the price list grid. Every wheel turn over a hooked
// window becomes a remembered direction plus an ordinary mouse move; the
// grid's MouseMove handler (ApplyWheelDirection) then moves the top row by
// exactly one row. In place of replacing the window procedure, an event
// filter is installed on the window (and on its viewport, where a scroll
// area receives its wheel events).

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <vector>

class FlexGrid;
class QEvent;

struct HookedWindow {
  QPointer<QWidget> window;   // null once the window is destroyed
  QObject* filter = nullptr;  // the installed event filter; null after unhooking
  int16_t direction = 0;      // 1 = away from the user, -1 = towards, 0 = nothing pending
};

// Records are appended and never removed; positions count from 1.
extern std::vector<HookedWindow> HookedWindows;
extern int32_t HookedWindowCount;

void HookWheel(QWidget* w);
void UnhookWheel(QWidget* w);
int FindHookedWindow(QWidget* w);
int16_t TakeWheelDirection(QWidget* w);

// The replacement for the window procedure: handles one event arriving at a
// hooked window (or its viewport). Returns true when the event was consumed.
bool WheelWindowProc(QWidget* w, QObject* receiver, QEvent* e);

// The grid's MouseMove handler: applies a pending wheel direction.
void ApplyWheelDirection(FlexGrid* grid);
