#include "gui/common/Twips.h"

#include <QApplication>
#include <QFontMetricsF>
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

// The font the layouts were drawn for: the classic 8-point dialog font, whose
// letters average 5.75 pixels across (A-Z, a-z) in a 13-pixel line at 96 dpi.
constexpr double kDesignAverageWidth = 5.75;
constexpr double kDesignLineHeight = 13.0;
constexpr double kDesignDpi = 96.0;

struct FontScale {
  QString fontKey;
  double dpiX = 0, dpiY = 0;
  double x = 1.0, y = 1.0;
};

// Measured once per font and screen (the program sets its font at start-up).
const FontScale& fontScale() {
  static FontScale cached;
  const QFont font = QApplication::font();
  const QString key = font.key();
  if (key == cached.fontKey && dpiX() == cached.dpiX && dpiY() == cached.dpiY) return cached;
  cached.fontKey = key;
  cached.dpiX = dpiX();
  cached.dpiY = dpiY();
  const QFontMetricsF m(font);
  static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const double average = m.horizontalAdvance(letters) / letters.size();
  const double designAverage = kDesignAverageWidth * cached.dpiX / kDesignDpi;
  const double designHeight = kDesignLineHeight * cached.dpiY / kDesignDpi;
  cached.x = std::max(1.0, average / designAverage);
  cached.y = std::max(1.0, m.height() / designHeight);
  return cached;
}
}  // namespace

double fontScaleX() { return fontScale().x; }
double fontScaleY() { return fontScale().y; }

int perPixelX() { return std::max(1, static_cast<int>(1440.0 / dpiX())); }
int perPixelY() { return std::max(1, static_cast<int>(1440.0 / dpiY())); }
int toPxX(int tw) { return static_cast<int>(std::lround(tw * dpiX() * fontScaleX() / 1440.0)); }
int toPxY(int tw) { return static_cast<int>(std::lround(tw * dpiY() * fontScaleY() / 1440.0)); }
int fromPxX(int px) { return static_cast<int>(std::lround(px * 1440.0 / (dpiX() * fontScaleX()))); }
int fromPxY(int px) { return static_cast<int>(std::lround(px * 1440.0 / (dpiY() * fontScaleY()))); }

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
