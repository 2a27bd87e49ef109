#include "data/PriceDatabase.h"

#include "base/Numbers.h"
#include "base/Settings.h"
#include "data/Database.h"
#include "data/PriceFileGuard.h"
#include "data/RussianCollation.h"

#include <sqlite3.h>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <memory>

PriceDatabase::PriceDatabase() : path_(PriceDatabasePath()) {}

bool PriceDatabase::exists() const { return QFileInfo(path_).isFile(); }

bool PriceDatabase::ensureOpen(QString* error) {
  if (store_.isOpen() && store_.namesOpenFile()) return true;
  store_.close();
  // Nothing of ours holds the file now: what lies beside it is looked at before
  // SQLite would replay it into the file.
  SetAsideForeignLogs(path_, RecordedPriceFileStamp());
  if (!store_.open(path_, error)) return false;
  takeIn();
  return true;
}

void PriceDatabase::takeIn() {
  using namespace settings;
  const quint32 recorded = RecordedPriceFileStamp();
  const quint32 inFile = store_.fileStamp();
  const QFileInfo file(path_);
  const QString size = QString::number(file.size());
  const QString time = QString::number(file.lastModified().toMSecsSinceEpoch());
  const bool stampedByUs = recorded != 0 && inFile == recorded;
  if (stampedByUs || (text(PriceFileSize) == size && text(PriceFileTime) == time)) {
    bool ok = false;
    const qint64 date = text(PriceFileDate).toLongLong(&ok);
    date_ = ok ? QDateTime::fromMSecsSinceEpoch(date) : file.lastModified();
    stamp_ = recorded;
    stamped_ = stampedByUs;
    return;
  }
  // A file not seen before: delivered at its modification time.
  quint32 stamp = 0;
  do stamp = QRandomGenerator::global()->bounded(1u, 0x7fffffffu);
  while (stamp == inFile);
  date_ = file.lastModified();
  // The stamp goes last: a file is only known by a stamp whose record is complete.
  const bool recordedAll = write(PriceFileDate, QString::number(date_.toMSecsSinceEpoch())) &&
                           write(PriceFileSize, size) && write(PriceFileTime, time) &&
                           write(PriceFileStamp, QString::number(stamp));
  // A stamp that could not be remembered is not written into the file either.
  stamp_ = recordedAll ? stamp : 0;
  stamped_ = false;
}

QDateTime PriceDatabase::priceDate() {
  if (!ensureOpen(nullptr)) return exists() ? QFileInfo(path_).lastModified() : QDateTime();
  // The file may have been replaced in place since it was opened.
  takeIn();
  return date_;
}

bool PriceDatabase::readCategories(std::vector<PriceCategory>* categories, QString* error) {
  categories->clear();
  if (!ensureOpen(error)) return false;
  try {
    ConnectionPtr conn = OpenPriceConnection();
    RecordsetPtr rs = Query(*conn, QStringLiteral("select category_id,name_ruRU from categories order by name_ruRU"));
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) categories->push_back({rs->value(0), rs->value(1).toString()});
  } catch (const DbError& e) {
    if (error) *error = e.description;
    return false;
  }
  std::stable_sort(categories->begin(), categories->end(), [](const PriceCategory& a, const PriceCategory& b) {
    return collation::compare(a.name, b.name) < 0;
  });
  return true;
}

PriceCatalogue* PriceDatabase::catalogue(QString* error, bool withImages) {
  std::shared_ptr<PriceCatalogue> current = sharedCatalogue();
  const bool stale = current->isStale();
  if (!stale && (!withImages || current->imagesLoaded())) return current.get();
  if (stale && !ensureOpen(error)) return nullptr;
  try {
    // Opening through the driver first gives the file's own failure text.
    if (stale) OpenPriceConnection();
    // The bulk read goes through a read-only handle of its own, without the
    // per-call locking of a shared one.
    sqlite3* db = PriceCatalogue::openReadOnly(path_);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> closer(db, &sqlite3_close);
    if (stale) {
      // A new catalogue: lists still shown from the old one keep it.
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

bool PriceDatabase::storeQuantity(const QString& productId, qlonglong count, double sum, QString* error) {
  PriceCatalogue& cat = loadedCatalogue();
  // The catalogue is only taken as current after the store when it was before:
  // a file replaced meanwhile is read again.
  const bool catalogueCurrent = cat.isLoaded() && !cat.isStale();
  if (!ensureOpen(error)) return false;
  // Someone else changed the file: it may be another price list now.
  if (cat.isLoaded() && !catalogueCurrent) takeIn();
  if (stamp_ != 0 && !stamped_) {
    if (!store_.writeStamp(stamp_, error)) {
      store_.close();
      return false;
    }
    stamped_ = true;
  }
  switch (store_.storeQuantity(productId, count, sum, error)) {
    case PriceStore::Result::Failed:
      // The next store opens the file afresh: it may have become writable.
      store_.close();
      return false;
    case PriceStore::Result::NoSuchProduct:
      if (error)
        *error = QStringLiteral("Товара с кодом %1 больше нет в прайс-листе. Откройте список товаров заново.")
                     .arg(productId);
      return false;
    case PriceStore::Result::Stored:
      break;
  }
  if (cat.isLoaded()) {
    const int p = cat.findProduct(productId);
    if (p >= 0) cat.setOrder(p, static_cast<double>(count), sum);
    if (catalogueCurrent) cat.markCurrent();
  }
  return true;
}

bool PriceDatabase::clearQuantities(QString* error) {
  // The catalogue, in step with the file, names the rows that hold something:
  // only they are written, found by rowid without reading the table.
  PriceCatalogue* cat = catalogue(error);
  if (!cat) return false;
  if (!ensureOpen(error)) return false;
  if (!store_.clearRows(cat->orderRowids(), error)) {
    store_.close();
    return false;
  }
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
  // A sum that is not a finite number (left by an earlier program), or none,
  // keeps its product out of the order, as it stays out of the total.
  auto finiteSum = [&](const CellValue& v) {
    if (v.isNull) return false;
    const double d = v.isNumber ? v.number : num::leadingValue(text(v));
    return std::isfinite(d) && std::fabs(d) < 1e308;
  };
  const std::vector<int> ordered = cat->orderedProducts();
  order->lines.reserve(ordered.size());
  for (const int i : ordered) {
    const CatalogueProduct& p = cat->product(i);
    if (!finiteSum(p.orderSumm)) continue;
    order->lines.push_back({text(p.id), text(p.ean), text(p.name), number(p.orderCount), number(p.price)});
  }
  return true;
}

std::unordered_map<qint64, StoredThumbnail> PriceDatabase::readThumbnails(const std::vector<qint64>& imageRowids) {
  if (imageRowids.empty() || !ensureOpen(nullptr)) return {};
  return store_.readThumbnails(imageRowids);
}

bool PriceDatabase::orderTotal(double* total, QString* error) {
  PriceCatalogue* cat = catalogue(error);
  if (!cat) return false;
  *total = cat->orderTotal();
  return true;
}
