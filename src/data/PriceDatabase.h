#pragma once
// The price database file varnokel.mdb: the one place that reads its categories
// and products and writes the typed quantities. The products are held in memory
// (the catalogue) and kept in step with every quantity stored; quantities go
// through one connection kept open while the window lives.
//
// The date of the price list is the date it was delivered: the file's
// modification time when the program first took the file in (a download keeps
// the server's time). A file is taken in once: settings.ini remembers its size
// and time as first seen, and the stamp the first stored quantity writes into
// its header, so typing, which changes the file, never moves the date.
#include "data/OrderSender.h"
#include "data/PriceCatalogue.h"
#include "data/PriceStore.h"

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
  // The date of the price list as delivered (see above); invalid without a file.
  QDateTime priceDate();

  // The categories in Russian name order; false with the reason in *error.
  bool readCategories(std::vector<PriceCategory>* categories, QString* error);
  // The products, read again when the file changed since they were read (with
  // their image rows when the list shows pictures); nullptr with the reason in
  // *error (when given) when the file cannot be read. One catalogue serves every
  // window of the process while the file stays the same.
  PriceCatalogue* catalogue(QString* error, bool withImages = false);
  // The products as last read, without looking at the file.
  PriceCatalogue& loadedCatalogue() { return *sharedCatalogue(); }
  std::shared_ptr<PriceCatalogue> sharedCatalogue() const { return PriceCatalogue::shared(path_); }
  // True when the next catalogue() reads the file again.
  bool catalogueIsStale() const { return sharedCatalogue()->isStale(); }

  // Stores a product's quantity and sum durably; false with the reason in Russian
  // in *error (file used by another program, no permission, disk full, product
  // no longer in the price list, ...), the stored values unchanged.
  bool storeQuantity(const QString& productId, qlonglong count, double sum, QString* error);
  // Sets every quantity and sum back to zero, in one statement that names the
  // rows holding something (the catalogue knows them).
  bool clearQuantities(QString* error);
  // The order waiting to be sent: the ordered products in name order and the
  // total, from the catalogue (read again first when the file changed).
  bool readPendingOrder(PendingOrder* order, QString* error);
  // The thumbnails of image rows (by rowid), read on the kept connection; none
  // when the file cannot be read.
  std::unordered_map<qint64, StoredThumbnail> readThumbnails(const std::vector<qint64>& imageRowids);
  // The sum of the stored sums, from the catalogue; false when it cannot be read.
  bool orderTotal(double* total, QString* error);

 private:
  // Opens the kept connection, again when the file was replaced on disk.
  bool ensureOpen(QString* error);
  // Recognises the file or records it as a new delivery.
  void takeIn();

  QString path_;
  PriceStore store_;
  quint32 stamp_ = 0;     // this file's stamp; 0: none could be recorded
  bool stamped_ = false;  // the file carries it
  QDateTime date_;
};
