#include "gui/common/Twips.h"

#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace twips {
namespace {
double dpiX() {
  const QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->logicalDotsPerInchX() : 96.0;
}
double dpiY() {
  const QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->logicalDotsPerInchY() : 96.0;
}
}  // namespace

int perPixelX() { return std::max(1, static_cast<int>(1440.0 / dpiX())); }
int perPixelY() { return std::max(1, static_cast<int>(1440.0 / dpiY())); }
int toPxX(int tw) { return static_cast<int>(std::lround(tw * dpiX() / 1440.0)); }
int toPxY(int tw) { return static_cast<int>(std::lround(tw * dpiY() / 1440.0)); }
int fromPxX(int px) { return static_cast<int>(std::lround(px * 1440.0 / dpiX())); }
int fromPxY(int px) { return static_cast<int>(std::lround(px * 1440.0 / dpiY())); }

QRect toPx(int left, int top, int width, int height) {
  return QRect(toPxX(left), toPxY(top), toPxX(width), toPxY(height));
}

void place(QWidget* w, int left, int top, int width, int height) { w->setGeometry(toPx(left, top, width, height)); }

namespace {
const QWidget* frameOf(const QWidget* w) {
  if (auto* sub = qobject_cast<const QMdiSubWindow*>(w->parentWidget())) return sub;
  return w;
}
}  // namespace

int outerWidth(const QWidget* w) {
  const QWidget* f = frameOf(w);
  return fromPxX(f->isWindow() ? f->frameGeometry().width() : f->width());
}
int outerHeight(const QWidget* w) {
  const QWidget* f = frameOf(w);
  return fromPxY(f->isWindow() ? f->frameGeometry().height() : f->height());
}
}  // namespace twips
