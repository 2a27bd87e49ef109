#include "gui/price/PictureWindowFit.h"

#include "gui/common/Twips.h"

#include <QLabel>
#include <QMenuBar>
#include <QStyle>
#include <QWidget>
#include <algorithm>

QSize FittedWindowTwips(int boxWidthTwips, int boxHeightTwips, int twipsPerPixelX, int twipsPerPixelY, int frameWidthPx,
                        int frameHeightPx, int captionHeightPx, int menuHeightPx) {
  const int extraWidth = 2 * frameWidthPx * twipsPerPixelX;
  int extraHeight = (captionHeightPx + 2 * frameHeightPx) * twipsPerPixelY;
  if (menuHeightPx > 0) extraHeight += menuHeightPx * twipsPerPixelY;
  return QSize(boxWidthTwips + extraWidth, boxHeightTwips + extraHeight);
}

FrameMetrics WindowFrameMetrics(const QWidget* window) {
  FrameMetrics m;
  const QRect inner = window->geometry();
  const QRect outer = window->frameGeometry();
  if (window->isVisible() && outer != inner) {
    // The frame the window system drew: left edge for the sizing frame across,
    // bottom edge for the sizing frame down, the rest of the top for the caption.
    m.frameWidth = std::max(0, inner.left() - outer.left());
    m.frameHeight = std::max(0, outer.bottom() - inner.bottom());
    m.captionHeight = std::max(0, (inner.top() - outer.top()) - m.frameHeight);
  } else {
    const QStyle* style = window->style();
    m.frameWidth = style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, window);
    m.frameHeight = m.frameWidth;
    m.captionHeight = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
  }
  // A menu bar of the window's own (a QMainWindow's, or one set into a layout).
  for (const QMenuBar* bar : window->findChildren<QMenuBar*>(Qt::FindDirectChildrenOnly)) {
    if (bar->isVisibleTo(window) && !bar->isNativeMenuBar()) {
      m.menuHeight = bar->sizeHint().height();
      break;
    }
  }
  return m;
}

QSize FitFormToPicture(QLabel* box, QWidget* window) {
  // 1. The box: sized to its picture, flat, light cyan behind, no border.
  box->setFrameShape(QFrame::NoFrame);
  box->setLineWidth(0);
  box->setScaledContents(false);
  box->setAutoFillBackground(true);
  QPalette pal = box->palette();
  pal.setColor(QPalette::Window, QColor(128, 255, 255));
  box->setPalette(pal);
  const QPixmap picture = box->pixmap();
  if (!picture.isNull()) box->resize(picture.deviceIndependentSize().toSize());

  // 2. Whole twips per screen pixel.
  const int twipsPerPixelX = twips::perPixelX();
  const int twipsPerPixelY = twips::perPixelY();

  // 3-5. The frame, caption and menu the window adds around its client area.
  const FrameMetrics m = WindowFrameMetrics(window);
  const QSize outer = FittedWindowTwips(box->width() * twipsPerPixelX, box->height() * twipsPerPixelY, twipsPerPixelX,
                                        twipsPerPixelY, m.frameWidth, m.frameHeight, m.captionHeight, m.menuHeight);

  // 6. Box at the corner. The window system draws the frame and the caption
  // outside the widget (a menu bar lies inside it), so the widget gets the outer
  // size less those: the client area below the menu is exactly the box.
  box->move(0, m.menuHeight);
  const int clientWidth = outer.width() / twipsPerPixelX - 2 * m.frameWidth;
  const int clientHeight = outer.height() / twipsPerPixelY - m.captionHeight - 2 * m.frameHeight;
  window->setFixedSize(std::max(1, clientWidth), std::max(1, clientHeight));
  return outer;
}
