#include "price/modAutocomplete.h"

#include "price/FlexGrid.h"
#include "price/GridFill.h"
#include "price/PriceStatements.h"
#include "price/frm_price.h"
#include "shell/conn_rs_comm.h"
#include "shell/numbers.h"
#include "shell/public_var.h"

#include <QLabel>
#include <QLineEdit>

bool SearchProducts(frm_price* w, const QString& column, const QString& category, bool withThumbnails) {
  QLineEdit* box = w->Text1;
  FlexGrid* grid = w->MSFlexGrid1;
  if (box->text().isEmpty()) return false;
  const int length = static_cast<int>(box->text().size());
  const QString upper = box->text().toUpper();
  CurrentSql = stmt::search(withThumbnails, column, upper, category);
  std::vector<CatalogueRow> rows;
  try {
    if (PriceCatalogue* cat = w->freshCatalogue()) {
      ProductFilter f;
      f.withImages = withThumbnails;
      f.like = upper;
      if (category != QLatin1String("all")) f.parent = category;
      rows = cat->query(f);
      if (withThumbnails && !rows.empty()) cat->loadImageNames(PriceDatabasePath(), rows);
    }
  } catch (const DbError& e) {
    LastErrorText = e.description;
    rows.clear();
  }
  bool found = false;
  if (!rows.empty()) {
    grid->setRedraw(false);
    grid->setCols(withThumbnails ? 9 : 7);
    grid->setRows(1);
    FillPriceGrid(grid, w->catalogue(), rows, withThumbnails, PriceFill::Search, w->thumbnailRowTwips());
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
  w->Label1->setText(QStringLiteral("Выведено") + num::invariant(static_cast<double>(rows.size())));
  return found;
}
