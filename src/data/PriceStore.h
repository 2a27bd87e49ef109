#pragma once
// The one read-write connection to the price database, kept open while the price
// list is shown. Quantities are stored through statements prepared once; every
// store is one transaction that is on the disk when it returns (rollback journal
// kept between stores, synchronous writes), so a quantity shown has survived a
// crash or a power cut. Opening and closing never change the file.
#include "data/StoredPictures.h"

#include <QString>
#include <QtGlobal>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class PriceStore {
 public:
  PriceStore() = default;
  ~PriceStore();
  PriceStore(const PriceStore&) = delete;
  PriceStore& operator=(const PriceStore&) = delete;

  // Opens the file and reads its header (a journal this program left behind is
  // rolled back here); false with a Russian reason.
  bool open(const QString& path, QString* error);
  // Closes the connection and removes the journal it kept.
  void close();
  bool isOpen() const { return db_ != nullptr; }
  // True while any store of this process is open.
  static bool anyOpen();
  // False once the path names another file than the one open (replaced on disk).
  bool namesOpenFile() const;

  // The stamp field of the file header.
  quint32 fileStamp() const;
  // Writes the stamp field in a transaction of its own.
  bool writeStamp(quint32 stamp, QString* error);

  enum class Result { Stored, NoSuchProduct, Failed };
  // Stores one product's quantity and sum; the reason in *error unless Stored.
  Result storeQuantity(const QString& productId, qlonglong count, double sum, QString* error);
  // Sets every quantity and sum to zero.
  bool clearQuantities(QString* error);
  // Sets the quantity and sum of these rows (by rowid) to zero, in one statement.
  bool clearRows(const std::vector<qint64>& rowids, QString* error);

  // The thumbnails of image rows (by rowid) through a statement prepared once;
  // rows not found are left out, and a file that cannot be read gives none.
  std::unordered_map<qint64, StoredThumbnail> readThumbnails(const std::vector<qint64>& imageRowids);

  // The open connection, for reads on the same file (nullptr when closed).
  sqlite3* handle() const { return db_; }

 private:
  bool execute(sqlite3_stmt* statement, QString* error);
  QString failure(int code) const;

  sqlite3* db_ = nullptr;
  sqlite3_stmt* store_ = nullptr;
  sqlite3_stmt* clear_ = nullptr;
  sqlite3_stmt* thumbnail_ = nullptr;
  QString path_;
  quint64 device_ = 0, inode_ = 0;
  qint64 deadline_ = 0;  // when the current statement stops waiting for a lock
};

// The price database in words for a write that failed with this SQLite result:
// in use by another program, no permission, disk full, damaged, or the
// database's own text.
QString DescribePriceWriteFailure(int resultCode, int systemError, const QString& databaseText, const QString& path);
