#pragma once
// Grid headers and fills shared by every grid of the program.
#include "data/PriceCatalogue.h"
#include "data/PriceDatabase.h"

#include <QPixmap>
#include <QSize>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

class FlexGrid;
class Recordset;

// Price grid layouts: 8 columns with the picture column, 7 without. Like the
// fill below, they leave the grid's redraw as they found it: a caller that
// turned it off shows layout and rows in one go when it turns it on again.
void SetPriceGridHeadersWithImage(FlexGrid* grid);
void SetPriceGridHeaders(FlexGrid* grid);
// Resets a grid to a header row with the given captions and widths (twips),
// every column left-top aligned.
void SetGridHeader(FlexGrid* grid, const std::vector<std::pair<QString, int>>& columns);

// Appends one row per record, field i into column i. With the price list's
// rules, column 3 shows 9999 for a stock of 100 or more and the quantity and sum
// columns (5 and 6) show 0 as empty; otherwise every value is shown as stored.
void FillGrid(Recordset& rs, FlexGrid* grid, bool priceRules);
// The text of a value by the ordinary conversion (numbers and dates in the user's
// regional format); Null gives an empty text.
QString DisplayText(const QVariant& value);

// How catalogue rows are shown.
enum class PriceFill {
  PriceList,  // stock rule and empty zeros (list, category, view switch)
  Search      // every value as stored, and the picture file name in a 9th column
};

// Appends catalogue rows to a price grid laid out for them. Their texts are
// read from the catalogue (kept alive by the grid) when they are shown, so the
// fill itself copies nothing; with pictures, the picture cell gets a lazily
// decoded thumbnail and its row the thumbnail height.
void FillPriceGrid(FlexGrid* grid, std::shared_ptr<PriceCatalogue> catalogue, std::vector<CatalogueRow> rows,
                   bool withImages, PriceFill rules, int thumbnailRowTwips);

// Decodes picture bytes in memory, stretched to the given size (no aspect kept);
// a null pixmap when the bytes are not a picture.
QPixmap DecodePicture(const QByteArray& bytes, QSize size);
// Reads the thumbnails of image rows of the price database and decodes them to
// the box size. The picture file names read with them are kept
// in the catalogue, when given. Rows whose picture holds no bytes are left out
// of the result and listed in emptyRowids, when given.
std::unordered_map<qint64, QPixmap> LoadThumbnails(PriceDatabase& database, const std::vector<qint64>& imageRowids,
                                                   QSize box, PriceCatalogue* names = nullptr,
                                                   std::vector<qint64>* emptyRowids = nullptr);
