#include "gui/price/BigPictureWindow.h"

#include "data/Database.h"
#include "data/StoredPictures.h"
#include "gui/common/Twips.h"
#include "gui/price/PictureWindowFit.h"
#include "gui/price/PriceGridFill.h"

#include <QLabel>
#include <QPointer>

BigPictureWindow::BigPictureWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frm_bigimage"));
  setModal(true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  Picture1 = new QLabel(this);
  Picture1->setObjectName(QStringLiteral("Picture1"));
  restoreLayout();
}

BigPictureWindow* BigPictureWindow::instance(QWidget* owner) {
  static QPointer<BigPictureWindow> window;
  if (window && window->parentWidget() != owner) {
    delete window.data();
    window = nullptr;
  }
  if (!window) window = new BigPictureWindow(owner);
  return window;
}

void BigPictureWindow::restoreLayout() {
  Picture1->clear();
  Picture1->setScaledContents(false);
  Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Picture1->setFrameShape(QFrame::Panel);
  Picture1->setFrameShadow(QFrame::Sunken);
  Picture1->setLineWidth(2);
  Picture1->setAutoFillBackground(false);
  Picture1->setPalette(QPalette());
  twips::place(Picture1, 120, 120, 5055, 3855);
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  resize(twips::toPxX(5325), twips::toPxY(4155));
}

void BigPictureWindow::showPicture(const QString& id, const QString& article) {
  // Every opening starts from the window as laid out, so the picture is painted
  // at the box's laid-out drawing size.
  restoreLayout();
  setWindowTitle(article);
  // A picture that cannot be read or decoded leaves the window as laid out.
  StoredPicture stored;
  if (!ReadStoredPicture(id, &stored, nullptr)) return;
  if (stored.found && !stored.bytes.isEmpty()) {
    const QPixmap picture = DecodePicture(stored.bytes, Picture1->contentsRect().size());
    if (picture.isNull()) return;
    Picture1->setPixmap(picture);
  } else if (!stored.found) {
    Picture1->clear();
  }
  FitFormToPicture(Picture1, this);
}

void BigPictureWindow::done(int result) {
  QDialog::done(result);
  // Closing discards the contents; the next opening loads them again.
  Picture1->clear();
}
