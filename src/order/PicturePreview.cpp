#include "order/PicturePreview.h"

#include "order/frm_bigimage.h"
#include "order/images.h"
#include "price/FlexGrid.h"
#include "price/GridFill.h"
#include "price/frm_price.h"
#include "shell/conn_rs_comm.h"
#include "shell/messages.h"
#include "shell/public_var.h"

#include <QCheckBox>
#include <QLabel>

namespace {

constexpr int kPictureColumn = 4;  // the thumbnail column of the picture layout

// The product row the grid's selection ends in, or 0 when the grid holds none.
int selectedProductRow(const FlexGrid* grid) {
  const int row = grid->rowSel();
  return row >= 1 && row < grid->rows() ? row : 0;
}

void showBigPicture(frm_price* window, int row) {
  FlexGrid* grid = window->MSFlexGrid1;
  frm_bigimage* big = frm_bigimage::instance(window);
  if (big->isVisible()) throw DbError(QStringLiteral("Окно уже открыто; его нельзя открыть как модальное"), 400);
  big->GetBig(grid->textMatrix(row, 0), grid->textMatrix(row, 1));
  big->exec();
}

}  // namespace

void ShowPreview(frm_price* window) {
  if (!window->Check1->isChecked() || window->Check2->isChecked()) return;
  QLabel* box = window->Picture1;
  FlexGrid* grid = window->MSFlexGrid1;
  try {
    const int row = selectedProductRow(grid);
    if (row == 0) {
      box->clear();
      return;
    }
    const StoredPicture stored = ReadStoredPicture(grid->textMatrix(row, 0));
    if (!stored.found) {
      box->clear();
      return;
    }
    if (stored.bytes.isEmpty()) return;  // nothing to show: the box keeps its picture
    // Stretched over the whole drawing area, whatever the picture's proportions.
    const QPixmap picture = DecodePicture(stored.bytes, box->contentsRect().size());
    if (picture.isNull()) throw DbError(QStringLiteral("Недопустимое изображение"), 481);
    box->setPixmap(picture);
  } catch (const DbError& e) {
    LastErrorText = e.description;
    box->clear();
  }
}

void OpenBigPictureFromPreview(frm_price* window) {
  const int row = selectedProductRow(window->MSFlexGrid1);
  if (row == 0) return;  // an empty list: no product to show
  try {
    showBigPicture(window, row);
  } catch (const DbError& e) {
    LastErrorText = e.description;
  }
}

void OpenBigPictureFromGrid(frm_price* window) {
  FlexGrid* grid = window->MSFlexGrid1;
  if (!window->Check2->isChecked() || grid->colSel() != kPictureColumn) return;
  try {
    const int row = selectedProductRow(grid);
    if (row == 0) throw DbError(QStringLiteral("Индекс за пределами допустимого диапазона"), 381);
    showBigPicture(window, row);
  } catch (const DbError& e) {
    LastErrorText = e.description;
    LastErrorNumber = e.number;
    msg::requestError(LastErrorText);
  }
}
