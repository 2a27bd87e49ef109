#include "data/PriceStore.h"

#include "data/Database.h"
#include "data/KeptJournalVfs.h"

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// A store waits this long at most for another program to let go of the file.
constexpr std::chrono::milliseconds kLockWait(1000);

qint64 nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool fileIdentity(const QString& path, quint64* device, quint64* inode) {
#ifdef Q_OS_UNIX
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return false;
  *device = static_cast<quint64>(st.st_dev);
  *inode = static_cast<quint64>(st.st_ino);
  return true;
#else
  // A file held open here cannot be renamed or replaced on Windows.
  *device = *inode = 0;
  return QFileInfo::exists(path);
#endif
}

// Every store open in this process, so that the file can be let go of at once.
std::mutex openStoresMutex;
std::vector<PriceStore*>& openStores() {
  static std::vector<PriceStore*> stores;
  return stores;
}

bool exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

}  // namespace

QString DescribePriceWriteFailure(int resultCode, int systemError, const QString& databaseText, const QString& path) {
  const QString file = QDir::toNativeSeparators(path);
  const QString folder = QDir::toNativeSeparators(QFileInfo(path).absolutePath());
  const auto noPermission = [&] {
    return QStringLiteral("Нет прав на запись в файл прайс-листа %1 или в папку программы %2.").arg(file, folder);
  };
  const auto diskFull = [&] {
    return QStringLiteral("На диске нет места для записи в файл прайс-листа %1. Освободите место на диске.").arg(file);
  };
#ifdef Q_OS_WIN
  // The system's error codes: access denied, write protected; disk full.
  const bool permissionErrno = systemError == 5 || systemError == 19;
  const bool spaceErrno = systemError == 39 || systemError == 112;
#else
  const bool permissionErrno = systemError == EACCES || systemError == EPERM || systemError == EROFS;
  const bool spaceErrno = systemError == ENOSPC || systemError == EFBIG || systemError == EDQUOT;
#endif
  switch (resultCode & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return QStringLiteral("Файл прайс-листа %1 занят другой программой. Закройте её и повторите ввод.").arg(file);
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return noPermission();
    case SQLITE_FULL:
      return diskFull();
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
      if (spaceErrno) return diskFull();
      if (permissionErrno || (resultCode & 0xff) == SQLITE_CANTOPEN) return noPermission();
      break;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return QStringLiteral(
                 "Файл прайс-листа %1 повреждён. Получите прайс-лист заново через меню «Получить прайс-лист».")
          .arg(file);
    default:
      break;
  }
  return QStringLiteral("Не удалось записать в файл прайс-листа %1: %2").arg(file, databaseText);
}

PriceStore::~PriceStore() { close(); }

bool PriceStore::open(const QString& path, QString* error) {
  close();
  path_ = path;
  if (!fileIdentity(path, &device_, &inode_)) {
    if (error)
      *error =
          QStringLiteral("Не найден файл прайс-листа \"%1\". Получите прайс-лист через меню «Получить прайс-лист».")
              .arg(QDir::toNativeSeparators(path));
    return false;
  }
  // No CREATE flag: a file that vanished meanwhile is not made anew. SQLite
  // takes the name in UTF-8 on every system (on Windows not in the ANSI code page).
  if (sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE, KeptJournalVfs()) != SQLITE_OK) {
    if (error) *error = QStringLiteral("Не удалось открыть прайс-лист: ") + QString::fromUtf8(sqlite3_errmsg(db_));
    close();
    return false;
  }
  {
    const std::lock_guard<std::mutex> lock(openStoresMutex);
    openStores().push_back(this);
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_handler(
      db_,
      [](void* self, int) -> int {
        if (nowMs() >= static_cast<PriceStore*>(self)->deadline_) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return 1;
      },
      this);
  deadline_ = nowMs() + kLockWait.count();
  // The journal is kept between stores (its header cleared at each commit, which
  // is synced), so a store is durable without creating and deleting a file.
  // Pages are never written to the file before the commit.
  exec(db_, "PRAGMA synchronous=FULL");
  exec(db_, "PRAGMA cache_spill=OFF");
  // Room for the pages of a long order (one per ordered product), so that they
  // are still at hand when the order is cleared.
  exec(db_, "PRAGMA cache_size=-8192");
  // Large enough for clearing a long order (a page per ordered product), so that
  // its journal reuses the space the last one had instead of growing the file
  // again, which makes the sync write the file's size and blocks as well.
  exec(db_, "PRAGMA journal_size_limit=8388608");
  exec(db_, "PRAGMA journal_mode=PERSIST");
  // The first read rolls back a transaction this program left unfinished and
  // tells a file that is not a database.
  sqlite3_stmt* probe = nullptr;
  int rc = sqlite3_prepare_v2(db_, "SELECT count(*) FROM sqlite_master", -1, &probe, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(probe) == SQLITE_ROW ? SQLITE_OK : sqlite3_errcode(db_);
  sqlite3_finalize(probe);
  if (rc != SQLITE_OK) {
    if (error) {
      const int base = rc & 0xff;
      *error = base == SQLITE_NOTADB || base == SQLITE_CORRUPT
                   ? QStringLiteral("Файл прайс-листа повреждён или имеет неверный формат: ") +
                         QString::fromUtf8(sqlite3_errmsg(db_))
                   : failure(rc);
    }
    close();
    return false;
  }
  return true;
}

void PriceStore::close() {
  sqlite3_finalize(store_);
  sqlite3_finalize(clear_);
  sqlite3_finalize(thumbnail_);
  store_ = clear_ = thumbnail_ = nullptr;
  if (db_) {
    // Leaving the kept journal's mode deletes the journal file.
    deadline_ = nowMs();
    exec(db_, "PRAGMA journal_mode=DELETE");
    sqlite3_close_v2(db_);
    db_ = nullptr;
    const std::lock_guard<std::mutex> lock(openStoresMutex);
    auto& stores = openStores();
    stores.erase(std::remove(stores.begin(), stores.end(), this), stores.end());
  }
}

bool PriceStore::anyOpen() {
  const std::lock_guard<std::mutex> lock(openStoresMutex);
  return !openStores().empty();
}

void ReleasePriceDatabase() {
  std::vector<PriceStore*> stores;
  {
    const std::lock_guard<std::mutex> lock(openStoresMutex);
    stores = openStores();
  }
  for (PriceStore* s : stores) s->close();
}

bool PriceStore::namesOpenFile() const {
  quint64 device = 0, inode = 0;
  return db_ && fileIdentity(path_, &device, &inode) && device == device_ && inode == inode_;
}

quint32 PriceStore::fileStamp() const {
  if (!db_) return 0;
  sqlite3_stmt* st = nullptr;
  quint32 v = 0;
  if (sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
    v = static_cast<quint32>(sqlite3_column_int64(st, 0));
  sqlite3_finalize(st);
  return v;
}

QString PriceStore::failure(int code) const {
  return DescribePriceWriteFailure(code, db_ ? sqlite3_system_errno(db_) : 0,
                                   db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString(), path_);
}

bool PriceStore::execute(sqlite3_stmt* statement, QString* error) {
  deadline_ = nowMs() + kLockWait.count();
  const int rc = sqlite3_step(statement);
  const bool done = rc == SQLITE_DONE;
  if (!done && error) *error = failure(sqlite3_extended_errcode(db_));
  sqlite3_reset(statement);
  sqlite3_clear_bindings(statement);
  // A statement that failed in its commit leaves nothing behind.
  if (!sqlite3_get_autocommit(db_)) exec(db_, "ROLLBACK");
  return done;
}

bool PriceStore::writeStamp(quint32 stamp, QString* error) {
  if (!db_) return false;
  sqlite3_stmt* st = nullptr;
  const QByteArray sql = "PRAGMA user_version=" + QByteArray::number(static_cast<qint64>(static_cast<qint32>(stamp)));
  if (sqlite3_prepare_v2(db_, sql.constData(), -1, &st, nullptr) != SQLITE_OK) {
    if (error) *error = failure(sqlite3_extended_errcode(db_));
    return false;
  }
  const bool ok = execute(st, error);
  sqlite3_finalize(st);
  return ok;
}

PriceStore::Result PriceStore::storeQuantity(const QString& productId, qlonglong count, double sum, QString* error) {
  if (!db_) return Result::Failed;
  if (!store_ && sqlite3_prepare_v3(db_, "UPDATE products SET order_count=?1, order_summ=?2 WHERE product_id=?3", -1,
                                    SQLITE_PREPARE_PERSISTENT, &store_, nullptr) != SQLITE_OK) {
    if (error) *error = failure(sqlite3_extended_errcode(db_));
    return Result::Failed;
  }
  sqlite3_bind_int64(store_, 1, count);
  sqlite3_bind_double(store_, 2, sum);
  const QByteArray id = productId.toUtf8();
  sqlite3_bind_text(store_, 3, id.constData(), static_cast<int>(id.size()), SQLITE_TRANSIENT);
  if (!execute(store_, error)) return Result::Failed;
  return sqlite3_changes(db_) > 0 ? Result::Stored : Result::NoSuchProduct;
}

std::unordered_map<qint64, StoredThumbnail> PriceStore::readThumbnails(const std::vector<qint64>& ids) {
  std::unordered_map<qint64, StoredThumbnail> out;
  if (!db_ || ids.empty()) return out;
  if (!thumbnail_ && sqlite3_prepare_v3(db_, "SELECT image_thumb, image_name FROM images WHERE rowid = ?", -1,
                                        SQLITE_PREPARE_PERSISTENT, &thumbnail_, nullptr) != SQLITE_OK)
    return out;
  // One read transaction for the whole batch.
  const bool transaction = sqlite3_get_autocommit(db_) && exec(db_, "BEGIN");
  for (const qint64 id : ids) {
    sqlite3_bind_int64(thumbnail_, 1, id);
    if (sqlite3_step(thumbnail_) == SQLITE_ROW) {
      StoredThumbnail& t = out[id];
      const auto* data = static_cast<const char*>(sqlite3_column_blob(thumbnail_, 0));
      t.bytes = QByteArray(data, sqlite3_column_bytes(thumbnail_, 0));
      t.nameIsNull = sqlite3_column_type(thumbnail_, 1) == SQLITE_NULL;
      const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(thumbnail_, 1));
      if (name) t.name = QByteArray(name, sqlite3_column_bytes(thumbnail_, 1));
    }
    sqlite3_reset(thumbnail_);
  }
  if (transaction) exec(db_, "COMMIT");
  return out;
}

bool PriceStore::clearRows(const std::vector<qint64>& rowids, QString* error) {
  if (!db_) return false;
  if (rowids.empty()) return true;
  // The rowids are the program's own whole numbers, written into the text.
  QByteArray sql = "UPDATE products SET order_count=0, order_summ=0 WHERE rowid IN (";
  sql.reserve(sql.size() + static_cast<qsizetype>(rowids.size()) * 8);
  for (size_t i = 0; i < rowids.size(); ++i) {
    if (i) sql += ',';
    sql += QByteArray::number(rowids[i]);
  }
  sql += ')';
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, sql.constData(), static_cast<int>(sql.size()), &st, nullptr) != SQLITE_OK) {
    if (error) *error = failure(sqlite3_extended_errcode(db_));
    return false;
  }
  const bool ok = execute(st, error);
  sqlite3_finalize(st);
  return ok;
}

bool PriceStore::clearQuantities(QString* error) {
  if (!db_) return false;
  // Only the rows that hold something are written.
  if (!clear_ && sqlite3_prepare_v3(db_,
                                    "UPDATE products SET order_count=0, order_summ=0 "
                                    "WHERE order_count IS NOT 0 OR order_summ IS NOT 0",
                                    -1, SQLITE_PREPARE_PERSISTENT, &clear_, nullptr) != SQLITE_OK) {
    if (error) *error = failure(sqlite3_extended_errcode(db_));
    return false;
  }
  return execute(clear_, error);
}
