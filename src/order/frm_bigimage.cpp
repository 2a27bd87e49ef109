#include "order/frm_bigimage.h"

#include "order/images.h"
#include "price/GridFill.h"
#include "shell/Twips.h"
#include "shell/conn_rs_comm.h"
#include "shell/public_var.h"

#include <QLabel>
#include <QPointer>

frm_bigimage::frm_bigimage(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frm_bigimage"));
  setModal(true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  Picture1 = new QLabel(this);
  Picture1->setObjectName(QStringLiteral("Picture1"));
  restoreLayout();
}

frm_bigimage* frm_bigimage::instance(QWidget* owner) {
  static QPointer<frm_bigimage> window;
  if (window && window->parentWidget() != owner) {
    delete window.data();
    window = nullptr;
  }
  if (!window) window = new frm_bigimage(owner);
  return window;
}

void frm_bigimage::restoreLayout() {
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

void frm_bigimage::GetBig(const QString& id, const QString& article) {
  // Every opening starts from the window as laid out, so the picture is painted
  // at the box's laid-out drawing size.
  restoreLayout();
  setWindowTitle(article);
  try {
    const StoredPicture stored = ReadStoredPicture(id);
    if (stored.found && !stored.bytes.isEmpty()) {
      const QPixmap picture = DecodePicture(stored.bytes, Picture1->contentsRect().size());
      if (picture.isNull()) throw DbError(QStringLiteral("Недопустимое изображение"), 481);
      Picture1->setPixmap(picture);
    } else if (!stored.found) {
      Picture1->clear();
    }
    FitFormToPicture(Picture1, this);
  } catch (const DbError& e) {
    LastErrorText = e.description;
    LastErrorNumber = e.number;
  }
}

void frm_bigimage::done(int result) {
  QDialog::done(result);
  // Closing discards the contents; the next opening loads them again.
  Picture1->clear();
}
