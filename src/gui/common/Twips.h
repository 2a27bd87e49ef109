#pragma once
// Window positions and sizes are given in twips (1/1440 inch) and converted with
// the screen's logical DPI. The layouts were drawn for an 8-point dialog font;
// where the program's font is wider or taller, every layout is scaled by the same
// ratio, so that captions and values still fit where they were drawn to fit.
#include <QRect>

class QWidget;

namespace twips {
int perPixelX();  // whole twips per pixel, horizontally (pictures: unscaled)
int perPixelY();
// The ratio of the program's font to the font the layouts were drawn for, in each
// direction; never below 1.
double fontScaleX();
double fontScaleY();
int toPxX(int tw);
int toPxY(int tw);
int fromPxX(int px);
int fromPxY(int px);
QRect toPx(int left, int top, int width, int height);
// Places a widget at a rectangle given in twips.
void place(QWidget* w, int left, int top, int width, int height);
// Outer size of a widget's top-level frame (or the widget) in twips.
int outerWidth(const QWidget* w);
int outerHeight(const QWidget* w);
}  // namespace twips
