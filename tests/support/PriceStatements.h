#pragma once
// The texts of the product list statements. The price window keeps the text of
// the statement it answers in CurrentSql; the rows themselves come from the
// in-memory catalogue, which gives the same rows in Russian name order.
#include "data/PriceCatalogue.h"

#include <QString>

namespace stmt {
extern const QString kThumbSelect;
extern const QString kPlainSelect;
extern const QString kImagesJoin;

// Whole list or ordered products only (list load and the view switch).
QString list(bool withImages, bool wholePrice);
// A category click: category id and the upper-cased search text.
QString category(bool withImages, bool wholePrice, const QString& id, const QString& search);
// The search: "all" or a category id.
QString search(bool withImages, const QString& column, const QString& upperText, const QString& category);
}  // namespace stmt
