// The price window's pictures: the preview box beside the grid and the big
// picture window.
#include "gui/price/PriceWindow.h"

#include "data/StoredPictures.h"
#include "gui/common/MessageBoxes.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/BigPictureWindow.h"
#include "gui/price/PriceGridFill.h"

#include <QCheckBox>
#include <QLabel>

namespace {
constexpr int kPictureColumn = 4;  // the thumbnail column of the picture layout
}  // namespace

int PriceWindow::selectedProductRow() const {
  const int row = MSFlexGrid1->rowSel();
  return row >= 1 && row < MSFlexGrid1->rows() ? row : 0;
}

bool PriceWindow::showBigPicture(int row) {
  BigPictureWindow* big = BigPictureWindow::instance(this);
  if (big->isVisible()) return false;  // already open: it cannot be opened as modal again
  big->showPicture(MSFlexGrid1->textMatrix(row, 0), MSFlexGrid1->textMatrix(row, 1));
  big->exec();
  return true;
}

void PriceWindow::showPreview() {
  if (!Check1->isChecked() || Check2->isChecked()) return;
  QLabel* box = Picture1;
  const int row = selectedProductRow();
  StoredPicture stored;
  if (row == 0 || !ReadStoredPicture(MSFlexGrid1->textMatrix(row, 0), &stored, nullptr) || !stored.found) {
    box->clear();
    return;
  }
  if (stored.bytes.isEmpty()) return;  // nothing to show: the box keeps its picture
  // Stretched over the whole drawing area, whatever the picture's proportions.
  const QPixmap picture = DecodePicture(stored.bytes, box->contentsRect().size());
  if (picture.isNull())
    box->clear();
  else
    box->setPixmap(picture);
}

void PriceWindow::openBigPictureFromPreview() {
  const int row = selectedProductRow();
  if (row != 0) showBigPicture(row);  // an empty list: no product to show
}

void PriceWindow::openBigPictureFromGrid() {
  if (!Check2->isChecked() || MSFlexGrid1->colSel() != kPictureColumn) return;
  const int row = selectedProductRow();
  if (row == 0)
    msg::requestError(QStringLiteral("Индекс за пределами допустимого диапазона"));
  else if (!showBigPicture(row))
    msg::requestError(QStringLiteral("Окно уже открыто; его нельзя открыть как модальное"));
}
