#pragma once
// Sizing a window around its picture box.
#include <QByteArray>
#include <QSize>
#include <QString>

class QLabel;
class QWidget;

// The size of a window's frame parts, in pixels.
struct FrameMetrics {
  int frameWidth = 0;     // sizing frame, left and right
  int frameHeight = 0;    // sizing frame, top and bottom
  int captionHeight = 0;  // title bar
  int menuHeight = 0;     // menu bar, 0 when the window has none
};

// Outer size in twips of a window whose client area just holds a box of the given
// size in twips: twice the frame width across, the caption, twice the frame height
// and the menu bar (if any) down.
QSize FittedWindowTwips(int boxWidthTwips, int boxHeightTwips, int twipsPerPixelX, int twipsPerPixelY, int frameWidthPx,
                        int frameHeightPx, int captionHeightPx, int menuHeightPx);

// Frame metrics of a window: the frame the window system actually drew around it
// when the window is shown and has one; the style's title bar and frame metrics
// otherwise. The menu height is that of the window's own menu bar, if it has one.
FrameMetrics WindowFrameMetrics(const QWidget* window);

// Makes the box borderless at the window's top-left corner, light cyan behind,
// sized to its picture (an empty box keeps its size), and sizes the window so that
// its client area just holds the box. Returns the window's
// outer size in twips.
QSize FitFormToPicture(QLabel* box, QWidget* window);
