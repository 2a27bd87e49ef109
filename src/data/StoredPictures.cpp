#include "data/StoredPictures.h"

#include "data/Database.h"

#include <sqlite3.h>

bool ReadStoredPicture(const QString& productId, StoredPicture* picture, QString* error) {
  *picture = {};
  try {
    // A connection of its own: the preview also runs while a list load holds one.
    ConnectionPtr conn = OpenPriceConnection();
    RecordsetPtr rs =
        Query(*conn, QStringLiteral("Select image_thumb,image_name from images where product_id=?"), {productId});
    if (rs->recordCount() != 0) {
      rs->moveFirst();
      picture->found = true;
      const QVariant thumb = rs->value(0);
      if (!thumb.isNull()) picture->bytes = thumb.toByteArray();
    }
    return true;
  } catch (const DbError& e) {
    if (error) *error = e.description;
    return false;
  }
}

std::unordered_map<qint64, StoredThumbnail> ReadThumbnails(const QString& dbPath, const std::vector<qint64>& ids) {
  std::unordered_map<qint64, StoredThumbnail> out;
  if (ids.empty()) return out;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return out;
  }
  QString sql = QStringLiteral("SELECT rowid, image_thumb, image_name FROM images WHERE rowid IN (");
  for (size_t i = 0; i < ids.size(); ++i) sql += i ? QStringLiteral(",?") : QStringLiteral("?");
  sql += QLatin1Char(')');
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK) {
    for (size_t i = 0; i < ids.size(); ++i) sqlite3_bind_int64(st, static_cast<int>(i + 1), ids[i]);
    while (sqlite3_step(st) == SQLITE_ROW) {
      StoredThumbnail& t = out[sqlite3_column_int64(st, 0)];
      const auto* data = static_cast<const char*>(sqlite3_column_blob(st, 1));
      t.bytes = QByteArray(data, sqlite3_column_bytes(st, 1));
      t.nameIsNull = sqlite3_column_type(st, 2) == SQLITE_NULL;
      const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
      if (name) t.name = QByteArray(name, sqlite3_column_bytes(st, 2));
    }
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return out;
}
