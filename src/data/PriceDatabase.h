#pragma once
// The price database file varnokel.mdb: the one place that reads its categories
// and products and writes the typed quantities. The products are held in memory
// (the catalogue) and kept in step with every quantity stored.
#include "data/OrderSender.h"
#include "data/PriceCatalogue.h"

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

struct PriceCategory {
  QVariant id;   // category_id as stored
  QString name;  // name_ruRU
};

class PriceDatabase {
public:
  PriceDatabase();

  QString path() const { return path_; }
  bool exists() const;
  // The time the file was last written.
  QDateTime fileTime() const;

  // The categories in Russian name order; false with the reason in *error.
  bool readCategories(std::vector<PriceCategory>* categories, QString* error) const;
  // The products, read again when the file changed since they were read (with
  // their image rows when the list shows pictures); nullptr with the reason in
  // *error (when given) when the file cannot be read.
  PriceCatalogue* catalogue(QString* error, bool withImages = false);
  // The products as last read, without looking at the file.
  PriceCatalogue& loadedCatalogue() { return *sharedCatalogue(); }
  std::shared_ptr<PriceCatalogue> sharedCatalogue() const { return PriceCatalogue::shared(path_); }
  // True when the next catalogue() reads the file again.
  bool catalogueIsStale() const { return sharedCatalogue()->isStale(); }

  // Stores a product's quantity and sum; false with the reason in *error.
  bool storeQuantity(const QString& productId, qlonglong count, double sum, QString* error);
  // Sets every quantity and sum back to zero.
  bool clearQuantities(QString* error);
  // The order waiting to be sent: the ordered products in name order and the
  // total, from the catalogue (read again first when the file changed).
  bool readPendingOrder(PendingOrder* order, QString* error);
  // The sum of the stored sums, from the catalogue; false when it cannot be read.
  bool orderTotal(double* total, QString* error);

private:
  bool execute(const QString& sql, const QVariantList& values, QString* error);

  QString path_;
};
