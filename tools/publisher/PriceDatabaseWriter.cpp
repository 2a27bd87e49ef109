#include "PriceDatabaseWriter.h"

#include "PictureFolder.h"
#include "ProgressReporter.h"
#include "ShopCatalogue.h"
#include "data/PriceFileCheck.h"
#include "price_schema.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <filesystem>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr int kWarningsShown = 20;

PublishError writeError(const QString& what, const QSqlError& e) {
  return {ExitCode::PriceFile, QStringLiteral("не удалось записать прайс-лист (%1): %2").arg(what, e.text())};
}

bool syncToDisk(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadWrite)) return false;
#ifdef Q_OS_WIN
  return _commit(f.handle()) == 0;
#else
  return ::fsync(f.handle()) == 0;
#endif
}

// One pass of writing, on an open connection.
class Writing {
 public:
  Writing(QSqlDatabase db, const PictureFolder& pictures, bool withFull, ProgressReporter& progress,
          PriceFileCounts* counts)
      : m_db(std::move(db)), m_pictures(pictures), m_withFull(withFull), m_progress(progress), m_counts(counts) {}

  bool run(const ShopCatalogue& c, PublishError* error) {
    QStringList tables, indexes;
    for (const QString& s : QString::fromUtf8(kPriceSchemaSql).split(QLatin1Char(';'), Qt::SkipEmptyParts))
      if (!s.trimmed().isEmpty()) (s.trimmed().startsWith(QLatin1String("CREATE INDEX")) ? indexes : tables) << s;
    // A file under construction: no journal, no syncs; it is checked and synced before it is used.
    if (!execAll({QStringLiteral("PRAGMA journal_mode=OFF"), QStringLiteral("PRAGMA synchronous=OFF")}, error) ||
        !execAll(tables, error))
      return false;
    if (!m_db.transaction()) return *error = writeError(QStringLiteral("начало записи"), m_db.lastError()), false;
    if (!writeCategories(c, error) || !writeProducts(c, error) || !execAll(indexes, error)) return false;
    if (!m_db.commit()) return *error = writeError(QStringLiteral("завершение записи"), m_db.lastError()), false;
    return true;
  }

 private:
  bool execAll(const QStringList& statements, PublishError* error) {
    QSqlQuery q(m_db);
    for (const QString& s : statements)
      if (!q.exec(s)) return *error = writeError(QStringLiteral("таблицы"), q.lastError()), false;
    return true;
  }

  bool writeCategories(const ShopCatalogue& c, PublishError* error) {
    QSqlQuery q(m_db);
    if (!q.prepare(QStringLiteral("INSERT INTO categories (category_id, name_ruRU) VALUES (?, ?)")))
      return *error = writeError(QStringLiteral("категории"), q.lastError()), false;
    for (const ShopCategory& category : c.categories) {
      q.bindValue(0, category.id);
      q.bindValue(1, category.name);
      if (!q.exec()) return *error = writeError(QStringLiteral("категории"), q.lastError()), false;
      ++m_counts->categories;
    }
    return true;
  }

  bool writeProducts(const ShopCatalogue& c, PublishError* error) {
    QSqlQuery product(m_db), image(m_db);
    if (!product.prepare(QStringLiteral(
            "INSERT INTO products (product_id, parent_id, product_ean, product_quantity, product_price, name_ruRU,"
            " name_ruRU_big, order_count, order_summ) VALUES (?, ?, ?, ?, ?, ?, ?, 0, 0)")) ||
        !image.prepare(
            QStringLiteral("INSERT INTO images (product_id, image_thumb, image_name, image_full) VALUES (?, ?, ?, ?)")))
      return *error = writeError(QStringLiteral("товары"), product.lastError()), false;
    m_progress.begin(QStringLiteral("Запись прайс-листа, товаров"), qint64(c.products.size()));
    for (size_t k = 0; k < c.products.size(); ++k) {
      const ShopProduct& p = c.products[k];
      const QString id = QString::number(p.id);
      product.bindValue(0, id);
      product.bindValue(1, p.categoryId);
      product.bindValue(2, p.ean);
      product.bindValue(3, p.quantity);
      product.bindValue(4, p.price);
      product.bindValue(5, p.name);
      product.bindValue(6, p.name.isNull() ? QVariant() : QVariant(p.name.toString().toUpper()));
      if (!product.exec()) return *error = writeError(QStringLiteral("товар %1").arg(id), product.lastError()), false;
      ++m_counts->products;
      for (int i = 0; i < p.pictureCount; ++i)
        if (!writePicture(image, id, c.pictures[size_t(p.firstPicture + i)], error)) return false;
      m_progress.update(qint64(k + 1));
    }
    m_progress.end();
    return true;
  }

  // Picture ids are numbered in writing order: the client shows a product's
  // pictures in that order, the main one first.
  bool writePicture(QSqlQuery& image, const QString& productId, const QString& fileName, PublishError* error) {
    QByteArray thumb, full;
    QString why;
    switch (m_pictures.thumbnail(fileName, &thumb, &why)) {
      case PictureFolder::Read::Failed:
        return *error = {ExitCode::Pictures, why}, false;
      case PictureFolder::Read::Missing:
        if (++m_counts->missingThumbnails <= kWarningsShown)
          m_progress.warning(QStringLiteral("товар %1: нет файла картинки %2, картинка пропущена")
                                 .arg(productId, m_pictures.thumbPath(fileName)));
        return true;
      case PictureFolder::Read::Ok:
        break;
    }
    if (m_withFull) {
      const PictureFolder::Read r = m_pictures.full(fileName, &full, &why);
      if (r == PictureFolder::Read::Failed) return *error = {ExitCode::Pictures, why}, false;
      if (r == PictureFolder::Read::Missing) ++m_counts->missingFull;
    }
    // A file of zero bytes stays a picture of zero bytes, not a missing one.
    if (thumb.isNull()) thumb = QByteArray("", 0);
    image.bindValue(0, productId);
    image.bindValue(1, thumb);
    image.bindValue(2, fileName);
    image.bindValue(3, full.isNull() ? QVariant() : QVariant(full));
    if (!image.exec())
      return *error = writeError(QStringLiteral("картинка %1").arg(fileName), image.lastError()), false;
    ++m_counts->pictures;
    return true;
  }

  QSqlDatabase m_db;
  const PictureFolder& m_pictures;
  bool m_withFull;
  ProgressReporter& m_progress;
  PriceFileCounts* m_counts;
};

}  // namespace

PriceDatabaseWriter::PriceDatabaseWriter(const PictureFolder& pictures, bool withFullPictures,
                                         ProgressReporter& progress)
    : m_pictures(pictures), m_withFull(withFullPictures), m_progress(progress) {}

bool PriceDatabaseWriter::write(const ShopCatalogue& catalogue, const QString& path, PriceFileCounts* counts,
                                PublishError* error) {
  *counts = {};
  const QString name = QStringLiteral("price-write-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
  bool ok = false;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    if (!db.open()) {
      *error = writeError(path, db.lastError());
    } else {
      ok = Writing(db, m_pictures, m_withFull, m_progress, counts).run(catalogue, error);
      if (!ok) db.rollback();
      db.close();
    }
  }
  QSqlDatabase::removeDatabase(name);
  if (ok && m_withFull && counts->missingFull > 0)
    m_progress.warning(QStringLiteral("нет полных картинок: %1, записаны только миниатюры").arg(counts->missingFull));
  if (ok && counts->missingThumbnails > kWarningsShown)
    m_progress.warning(QStringLiteral("и ещё картинок без файла: %1").arg(counts->missingThumbnails - kWarningsShown));
  return ok;
}

bool PutPriceFileInPlace(const QString& written, const QString& target, bool durable, PublishError* error) {
  QString reason;
  if (!CheckPriceDatabaseFile(written, &reason)) {
    *error = {ExitCode::PriceFile, QStringLiteral("записанный прайс-лист не прошёл проверку: %1").arg(reason)};
    return false;
  }
  const QFileInfo old(target);
  QFile::setPermissions(written, old.exists() ? old.permissions()
                                              : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ReadGroup | QFileDevice::ReadOther);
  if (durable && !syncToDisk(written)) {
    *error = {ExitCode::PriceFile, QStringLiteral("не удалось сохранить на диск %1").arg(written)};
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(std::filesystem::path(written.toStdU16String()),
                          std::filesystem::path(target.toStdU16String()), ec);
  if (ec) {
    *error = {ExitCode::PriceFile, QStringLiteral("не удалось поставить прайс-лист на место %1: %2")
                                       .arg(target, QString::fromLocal8Bit(ec.message()))};
    return false;
  }
  return true;
}
