#include "data/PriceDatabase.h"

#include "base/Numbers.h"
#include "data/Database.h"
#include "data/RussianCollation.h"

#include <QFileInfo>
#include <algorithm>
#include <memory>
#include <sqlite3.h>

PriceDatabase::PriceDatabase() : path_(PriceDatabasePath()) {}

bool PriceDatabase::exists() const { return QFileInfo(path_).isFile(); }

QDateTime PriceDatabase::fileTime() const { return QFileInfo(path_).lastModified(); }

bool PriceDatabase::readCategories(std::vector<PriceCategory>* categories, QString* error) const {
  categories->clear();
  try {
    ConnectionPtr conn = OpenPriceConnection();
    RecordsetPtr rs = Query(*conn, QStringLiteral("select category_id,name_ruRU from categories order by name_ruRU"));
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) categories->push_back({rs->value(0), rs->value(1).toString()});
  } catch (const DbError& e) {
    if (error) *error = e.description;
    return false;
  }
  std::stable_sort(categories->begin(), categories->end(),
                   [](const PriceCategory& a, const PriceCategory& b) { return collation::compare(a.name, b.name) < 0; });
  return true;
}

PriceCatalogue* PriceDatabase::catalogue(QString* error, bool withImages) {
  // One catalogue for every window of the process, while the file stays the same.
  std::shared_ptr<PriceCatalogue> current = sharedCatalogue();
  const bool stale = current->isStale();
  if (!stale && (!withImages || current->imagesLoaded())) return current.get();
  try {
    // Opening through the driver first gives the file's own failure text.
    if (stale) OpenPriceConnection();
    // The bulk read goes through a read-only handle of its own, without the
    // per-call locking of a shared one.
    sqlite3* db = PriceCatalogue::openReadOnly(path_);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> closer(db, &sqlite3_close);
    if (stale) {
      current = std::make_shared<PriceCatalogue>();
      current->load(db, path_);
    }
    if (withImages) current->loadImages(db);
    if (stale) PriceCatalogue::setShared(current);
    return current.get();
  } catch (const DbError& e) {
    if (error) *error = e.description;
  } catch (const std::exception& e) {
    if (error) *error = QString::fromLocal8Bit(e.what());
  }
  return nullptr;
}

bool PriceDatabase::execute(const QString& sql, const QVariantList& values, QString* error) {
  try {
    ConnectionPtr conn = OpenPriceConnection();
    conn->execute(sql, values);
    return true;
  } catch (const DbError& e) {
    if (error) *error = e.description;
    return false;
  }
}

bool PriceDatabase::storeQuantity(const QString& productId, qlonglong count, double sum, QString* error) {
  if (!execute(QStringLiteral("update products set order_count=? ,order_summ = ? where product_id = ?"),
               {count, sum, productId}, error))
    return false;
  PriceCatalogue& cat = loadedCatalogue();
  if (cat.isLoaded()) {
    const int p = cat.findProduct(productId);
    if (p >= 0) cat.setOrder(p, static_cast<double>(count), sum);
    cat.markCurrent();
  }
  return true;
}

bool PriceDatabase::clearQuantities(QString* error) {
  // Only the rows that hold something other than 0 change, so only they are
  // named: the catalogue knows them. The rowids are our own whole numbers.
  PriceCatalogue* cat = catalogue(error);
  if (!cat) return false;
  const std::vector<qint64> rowids = cat->orderRowids();
  if (rowids.empty()) return true;
  QString sql = QStringLiteral("update products set order_count=0,order_summ=0 where rowid in (");
  sql.reserve(sql.size() + static_cast<qsizetype>(rowids.size()) * 8);
  for (size_t i = 0; i < rowids.size(); ++i) {
    if (i) sql += QLatin1Char(',');
    sql += QString::number(rowids[i]);
  }
  sql += QLatin1Char(')');
  if (!execute(sql, {}, error)) return false;
  cat->clearOrders();
  cat->markCurrent();
  return true;
}

bool PriceDatabase::readPendingOrder(PendingOrder* order, QString* error) {
  *order = {};
  PriceCatalogue* cat = catalogue(error);
  if (!cat) return false;
  order->total = cat->orderTotal();
  if (order->total == 0) return true;
  auto text = [](const CellValue& v) {
    return v.isNull ? QStringLiteral("") : QString::fromUtf8(v.text.data(), static_cast<qsizetype>(v.text.size()));
  };
  // Numbers as the shop reads them: "." as decimal point, whatever the locale;
  // a number kept as text is read in the notation it was written in.
  auto number = [&](const CellValue& v) {
    if (v.isNull) return QStringLiteral("0");
    return num::plain(v.isNumber ? v.number : num::cellValue(text(v)));
  };
  const std::vector<int> ordered = cat->orderedProducts();
  order->lines.reserve(ordered.size());
  for (const int i : ordered) {
    const CatalogueProduct& p = cat->product(i);
    order->lines.push_back({text(p.id), text(p.ean), text(p.name), number(p.orderCount), number(p.price)});
  }
  return true;
}

bool PriceDatabase::orderTotal(double* total, QString* error) {
  PriceCatalogue* cat = catalogue(error);
  if (!cat) return false;
  *total = cat->orderTotal();
  return true;
}
