// The price window's search: refills the grid with the products whose
// upper-case name contains the search box's text, in a category or everywhere.
#include "gui/price/PriceWindow.h"

#include "base/Numbers.h"
#include "data/Database.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceGridFill.h"

#include <QLabel>
#include <QLineEdit>

bool PriceWindow::searchProducts(const QString& category, bool withThumbnails) {
  QLineEdit* box = Text1;
  FlexGrid* grid = MSFlexGrid1;
  if (box->text().isEmpty()) return false;
  const int length = static_cast<int>(box->text().size());
  const QString upper = box->text().toUpper();
  std::vector<CatalogueRow> rows;
  if (PriceCatalogue* cat = freshCatalogue(nullptr)) {
    ProductFilter f;
    f.withImages = withThumbnails;
    f.like = upper;
    if (category != QLatin1String("all")) f.parent = category;
    rows = cat->query(f);
  }
  bool found = false;
  if (!rows.empty()) {
    grid->setRedraw(false);
    grid->setCols(withThumbnails ? 9 : 7);
    grid->setRows(1);
    FillPriceGrid(grid, database_.sharedCatalogue(), rows, withThumbnails, PriceFill::Search, thumbnailRowTwips());
    grid->setRedraw(true);
    if (grid->rows() > 1) grid->setRow(1);
    if (!box->hasSelectedText()) {
      box->setCursorPosition(length);
    } else {
      const QString selected = box->selectedText();
      const int start = static_cast<int>(box->text().indexOf(selected));
      box->setSelection(std::max(0, start), static_cast<int>(box->text().size()));
    }
    found = true;
  } else {
    grid->setRows(1);
  }
  Label1->setText(QStringLiteral("Выведено") + num::invariant(static_cast<double>(rows.size())));
  return found;
}
