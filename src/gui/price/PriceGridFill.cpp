#include "gui/price/PriceGridFill.h"

#include "base/IniFile.h"
#include "base/Numbers.h"
#include "base/Settings.h"
#include "data/Database.h"
#include "data/StoredPictures.h"
#include "gui/grid/FlexGrid.h"

#include <QBuffer>
#include <QDateTime>
#include <QImageReader>
#include <QLocale>
#include <climits>

namespace {

constexpr int kLeftTop = 0;
constexpr int kCentreCentre = 4;

// Width settings read with "?"; a number that is no width ends the layout.
struct WidthError {};

int widthSetting(const settings::Snapshot& stored, settings::Key key) {
  const double v = stored.number(key);
  const long long w = num::roundHalfEven(v);
  if (v > INT_MAX / 2 || v < INT_MIN / 2 || w < 0) throw WidthError{};
  return static_cast<int>(w);
}

void setPriceHeaders(FlexGrid* grid, bool withImage) {
  if (!grid) return;
  const bool redraw = grid->redraw();  // a caller filling rows next keeps it off until they are in
  grid->setRedraw(false);
  grid->clear();
  grid->setRows(1);
  grid->setCols(withImage ? 8 : 7);
  const QStringList captions =
      withImage ? QStringList{"ИД", "АРТИКУЛ", "НАИМЕНОВАНИЕ", "ОСТАТОК", "ИЗОБРАЖЕНИЕ", "ЦЕНА", "ЗАКАЗ", "СУММА"}
                : QStringList{"ИД", "АРТИКУЛ", "НАИМЕНОВАНИЕ", "ОСТАТОК", "ЦЕНА", "ЗАКАЗ", "СУММА"};
  for (int c = 0; c < captions.size(); ++c) grid->setTextMatrix(0, c, captions[c]);
  try {
    const settings::Snapshot stored;
    const int name = widthSetting(stored, settings::NameWidth);
    const int remainder = widthSetting(stored, settings::RemainderWidth);
    const int price = widthSetting(stored, settings::PriceWidth);
    const int order = widthSetting(stored, settings::OrderWidth);
    const int summ = widthSetting(stored, settings::SummWidth);
    const std::vector<int> widths = withImage ? std::vector<int>{500, 1000, name, remainder, 1800, price, order, summ}
                                              : std::vector<int>{500, 1000, name, remainder, price, order, summ};
    for (int c = 0; c < static_cast<int>(widths.size()); ++c) grid->setColWidth(c, widths[static_cast<size_t>(c)]);
    for (int c = 0; c < grid->cols(); ++c) grid->setColAlignment(c, withImage && c == 4 ? kCentreCentre : kLeftTop);
  } catch (const WidthError&) {
    // The widths stay as they were; the grid must still repaint.
  }
  grid->setRedraw(redraw);
}

std::string_view shown(const CellValue& v) { return v.isNull ? std::string_view() : std::string_view(v.text); }

std::string_view stock(const CellValue& v) {
  if (v.isNull || v.text.empty()) return {};
  const double n = v.isNumber
                       ? v.number
                       : num::leadingValue(QString::fromUtf8(v.text.data(), static_cast<qsizetype>(v.text.size())));
  return n >= 100 ? std::string_view("9999") : std::string_view(v.text);
}

std::string_view zeroEmpty(const CellValue& v) {
  if (v.isNull || (v.isNumber && v.number == 0)) return {};
  return v.text;
}

}  // namespace

void SetPriceGridHeadersWithImage(FlexGrid* grid) { setPriceHeaders(grid, true); }
void SetPriceGridHeaders(FlexGrid* grid) { setPriceHeaders(grid, false); }

void SetGridHeader(FlexGrid* grid, const std::vector<std::pair<QString, int>>& columns) {
  if (!grid) return;
  grid->setRedraw(false);
  grid->clear();
  grid->setRows(1);
  grid->setCols(static_cast<int>(columns.size()));
  for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
    grid->setTextMatrix(0, c, columns[static_cast<size_t>(c)].first);
    grid->setColWidth(c, columns[static_cast<size_t>(c)].second);
    grid->setColAlignment(c, kLeftTop);
  }
  grid->setRedraw(true);
}

QString DisplayText(const QVariant& value) {
  if (value.isNull() || !value.isValid()) return QString();
  switch (value.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
      return num::locale(value.toDouble());
    case QMetaType::QDateTime: {
      const QDateTime dt = value.toDateTime();
      const QLocale loc;
      if (dt.time() == QTime(0, 0)) return loc.toString(dt.date(), QLocale::ShortFormat);
      return loc.toString(dt.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
             dt.time().toString(QStringLiteral("HH:mm:ss"));
    }
    case QMetaType::QDate:
      return QLocale().toString(value.toDate(), QLocale::ShortFormat);
    default:
      return value.toString();
  }
}

void FillGrid(Recordset& rs, FlexGrid* grid, bool priceRules) {
  if (!grid) return;
  grid->setRedraw(false);
  while (!rs.eof()) {
    const int row = grid->addRow();
    for (int i = 0; i < rs.fieldCount(); ++i) {
      const QVariant v = rs.value(i);
      QString text = DisplayText(v);
      if (text.isEmpty()) continue;
      if (priceRules && i == 3) {
        const double n = v.canConvert<double>() ? v.toDouble() : num::leadingValue(text);
        if (n >= 100) text = QStringLiteral("9999");
      } else if (priceRules && (i == 5 || i == 6)) {
        bool ok = false;
        const double n = v.toDouble(&ok);
        if (ok && n == 0) continue;
      }
      if (!grid->setTextMatrix(row, i, text)) break;
    }
    rs.moveNext();
  }
  grid->setRedraw(true);
}

namespace {

// The texts of a fill's rows, read from the catalogue when a row is shown.
struct ShownRows {
  std::shared_ptr<PriceCatalogue> catalogue;
  std::vector<CatalogueRow> rows;
  bool withImages = false;
  bool list = true;  // the price list's rules (stock shown as 9999, zeros empty)

  std::string_view text(int index, int col) const {
    if (index < 0 || static_cast<size_t>(index) >= rows.size()) return {};
    const CatalogueRow& r = rows[static_cast<size_t>(index)];
    const CatalogueProduct& p = catalogue->product(r.product);
    const int base = withImages ? 5 : 4;
    switch (col) {
      case 0:
        return shown(p.id);
      case 1:
        return shown(p.ean);
      case 2:
        return shown(p.name);
      case 3:
        return list ? stock(p.quantity) : shown(p.quantity);
      default:
        break;
    }
    if (col == base) return shown(p.price);
    if (col == base + 1) return list ? zeroEmpty(p.orderCount) : shown(p.orderCount);
    if (col == base + 2) return list ? zeroEmpty(p.orderSumm) : shown(p.orderSumm);
    if (col == 8 && withImages && !list && r.image >= 0) return imageName(static_cast<size_t>(index));
    return {};
  }

  // The characters of a cell's text, without reading it. The picture file
  // name counts as long: it is read only for rows being shown.
  int characters(int index, int col) const {
    if (index < 0 || static_cast<size_t>(index) >= rows.size()) return 0;
    const ShownCharacters& c = catalogue->shownCharacters(rows[static_cast<size_t>(index)].product);
    const int base = withImages ? 5 : 4;
    switch (col) {
      case 0:
        return c.id;
      case 1:
        return c.ean;
      case 2:
        return c.name;
      case 3:
        return list ? c.stock : c.quantity;
      default:
        break;
    }
    if (col == base) return c.price;
    if (col == base + 1) return list ? c.countList : c.count;
    if (col == base + 2) return list ? c.summList : c.summ;
    if (col == 8 && withImages && !list && rows[static_cast<size_t>(index)].image >= 0) return 255;
    return 0;
  }

  // The search's ninth column: the picture file name, stored after the picture
  // and so read only for rows being shown. Shown rows have theirs already (read
  // with their pictures); a row read before it is shown brings the names of
  // the rows after it along.
  std::string_view imageName(size_t index) const {
    constexpr size_t kNamesPerRead = 32;
    const int image = rows[index].image;
    std::vector<int> next;
    if (!catalogue->image(image).name)
      for (size_t k = index + 1; k < std::min(rows.size(), index + 1 + kNamesPerRead); ++k)
        if (rows[k].image >= 0) next.push_back(rows[k].image);
    return catalogue->imageName(image, next);
  }
};

}  // namespace

void FillPriceGrid(FlexGrid* grid, std::shared_ptr<PriceCatalogue> cat, std::vector<CatalogueRow> rows, bool withImages,
                   PriceFill rules, int thumbnailRowTwips) {
  if (!grid || !cat) return;
  const bool redraw = grid->redraw();
  grid->setRedraw(false);
  auto shownRows = std::make_shared<ShownRows>();
  shownRows->catalogue = std::move(cat);
  shownRows->rows = std::move(rows);
  shownRows->withImages = withImages;
  shownRows->list = rules == PriceFill::PriceList;
  const int count = static_cast<int>(shownRows->rows.size());
  const int first = grid->addSourceRows(
      count, [shownRows](int index, int col) { return shownRows->text(index, col); },
      [shownRows](int index, int col) { return shownRows->characters(index, col); });
  if (withImages) {
    const PriceCatalogue& catalogue = *shownRows->catalogue;
    for (int i = 0; i < count; ++i) {
      const CatalogueRow& r = shownRows->rows[static_cast<size_t>(i)];
      if (r.image < 0) continue;
      const CatalogueImage& img = catalogue.image(r.image);
      if (img.empty.value_or(false)) continue;
      grid->setCellPictureKey(first + i, 4, img.rowid);
      grid->setRowHeight(first + i, thumbnailRowTwips);
    }
  }
  grid->setRedraw(redraw);
}

QPixmap DecodePicture(const QByteArray& bytes, QSize size) {
  if (bytes.isEmpty()) return QPixmap();
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);
  // Decoding straight to the size pays only where the picture shrinks to half
  // or less (the decoder then skips detail); a smaller change is quicker as a
  // full decode and one smooth scaling.
  const QSize source = reader.size();
  if (size.isValid() && source.isValid() && size.width() * 2 <= source.width() && size.height() * 2 <= source.height())
    reader.setScaledSize(size);
  QImage image = reader.read();
  if (image.isNull()) return QPixmap();
  if (size.isValid() && image.size() != size)
    image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return QPixmap::fromImage(image);
}

std::unordered_map<qint64, QPixmap> LoadThumbnails(PriceDatabase& database, const std::vector<qint64>& ids, QSize box,
                                                   PriceCatalogue* names, std::vector<qint64>* emptyRowids) {
  std::unordered_map<qint64, QPixmap> out;
  for (const auto& [rowid, stored] : database.readThumbnails(ids)) {
    if (names)
      names->setImageName(rowid, std::string_view(stored.name.constData(), size_t(stored.name.size())),
                          stored.nameIsNull);
    const QByteArray& bytes = stored.bytes;
    if (bytes.isEmpty()) {
      if (emptyRowids) emptyRowids->push_back(rowid);
      continue;
    }
    out[rowid] = DecodePicture(bytes, box);
  }
  return out;
}
