#include "ShopCatalogue.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <cmath>
#include <utility>

namespace {

// Whole quantities stay whole numbers in the price list; fractions keep their digits.
QVariant numberValue(const QVariant& v) {
  if (v.isNull()) return v;
  const double d = v.toDouble();
  if (std::trunc(d) == d && std::fabs(d) < 9e15) return QVariant(qint64(d));
  return QVariant(d);
}

QString sqlError(const QSqlError& e) {
  const QString text = e.databaseText().isEmpty() ? e.text() : e.databaseText();
  return e.nativeErrorCode().isEmpty() ? text : QStringLiteral("%1 (код %2)").arg(text, e.nativeErrorCode());
}

class Reading {
 public:
  Reading(QSqlDatabase db, QString prefix) : m_db(std::move(db)), m_prefix(std::move(prefix)) {}

  bool run(ShopCatalogue* c, QString* error) {
    return readCategories(c, error) && readProducts(c, error) && readPictures(c, error);
  }

 private:
  QString table(const char* name) const { return QLatin1Char('`') + m_prefix + QLatin1String(name) + QLatin1Char('`'); }

  // Prepares the statement and binds the published flag to every placeholder.
  bool exec(QSqlQuery& q, const QString& sql, QString* error) {
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    bool ok = q.prepare(sql);
    for (int i = 0; ok && i < sql.count(QLatin1Char('?')); ++i) q.bindValue(i, 1);
    if (ok && q.exec()) return true;
    *error = QStringLiteral("не удалось прочитать каталог магазина: %1").arg(sqlError(q.lastError()));
    return false;
  }

  bool readCategories(ShopCatalogue* c, QString* error) {
    QSqlQuery q(m_db);
    if (!exec(q,
              QStringLiteral("SELECT category_id, `name_ru-RU` FROM %1 WHERE category_publish = ? "
                             "ORDER BY ordering, category_id")
                  .arg(table("categories")),
              error))
      return false;
    while (q.next()) c->categories.append({q.value(0).toLongLong(), q.value(1).toString()});
    return true;
  }

  // Published products with the first of their published categories by
  // product_ordering; a product in no published category is left out.
  bool readProducts(ShopCatalogue* c, QString* error) {
    QSqlQuery q(m_db);
    const QString sql = QStringLiteral(
                            "SELECT p.product_id, p.product_ean, p.product_quantity, p.product_price, p.`name_ru-RU`,"
                            " p.image, (SELECT pc.category_id FROM %1 AS pc JOIN %2 AS c"
                            " ON c.category_id = pc.category_id AND c.category_publish = ?"
                            " WHERE pc.product_id = p.product_id ORDER BY pc.product_ordering, pc.category_id LIMIT 1)"
                            " FROM %3 AS p WHERE p.product_publish = ? ORDER BY p.product_id")
                            .arg(table("products_to_categories"), table("categories"), table("products"));
    if (!exec(q, sql, error)) return false;
    while (q.next()) {
      if (q.value(6).isNull()) {
        ++c->withoutCategory;
        continue;
      }
      ShopProduct p;
      p.id = q.value(0).toLongLong();
      p.ean = q.value(1);
      p.quantity = numberValue(q.value(2));
      p.price = q.value(3).isNull() ? QVariant() : QVariant(q.value(3).toDouble());
      p.name = q.value(4);
      p.categoryId = q.value(6).toLongLong();
      c->products.push_back(p);
      m_mainPicture.push_back(q.value(5).toString());
    }
    return true;
  }

  // Each product's pictures by their ordering, the main picture (products.image)
  // first, also when it has no row of its own: the client shows the first.
  bool readPictures(ShopCatalogue* c, QString* error) {
    QSqlQuery q(m_db);
    if (!exec(q,
              QStringLiteral("SELECT i.product_id, i.image_name FROM %1 AS i JOIN %2 AS p"
                             " ON p.product_id = i.product_id AND p.product_publish = ?"
                             " ORDER BY i.product_id, i.ordering, i.image_id")
                  .arg(table("products_images"), table("products")),
              error))
      return false;
    bool row = q.next();
    for (size_t k = 0; k < c->products.size(); ++k) {
      ShopProduct& p = c->products[k];
      while (row && q.value(0).toLongLong() < p.id) row = q.next();
      p.firstPicture = qsizetype(c->pictures.size());
      const QString& main = m_mainPicture[k];
      if (!main.isEmpty()) c->pictures.push_back(main);
      for (; row && q.value(0).toLongLong() == p.id; row = q.next()) {
        const QString name = q.value(1).toString();
        if (!name.isEmpty() && name != main) c->pictures.push_back(name);
      }
      p.pictureCount = int(qsizetype(c->pictures.size()) - p.firstPicture);
    }
    return true;
  }

  QSqlDatabase m_db;
  QString m_prefix;
  std::vector<QString> m_mainPicture;  // per product, as read
};

}  // namespace

ShopCatalogueReader::ShopCatalogueReader(ShopConnectionSettings settings) : m_settings(std::move(settings)) {}

bool ShopCatalogueReader::read(ShopCatalogue* catalogue, QString* error) const {
  const QString name = QStringLiteral("shop-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
  bool ok = false;
  {
    const QString driver = QSqlDatabase::isDriverAvailable(QStringLiteral("QMARIADB")) ? QStringLiteral("QMARIADB")
                                                                                       : QStringLiteral("QMYSQL");
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, name);
    db.setHostName(m_settings.host);
    db.setPort(m_settings.port);
    db.setDatabaseName(m_settings.database);
    db.setUserName(m_settings.user);
    db.setPassword(m_settings.password);
    db.setConnectOptions(QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=15;MYSQL_OPT_READ_TIMEOUT=300"));
    if (!db.open()) {
      *error = QStringLiteral("не удалось подключиться к базе данных магазина %1:%2: %3")
                   .arg(m_settings.host)
                   .arg(m_settings.port)
                   .arg(sqlError(db.lastError()));
    } else {
      QSqlQuery(db).exec(QStringLiteral("SET NAMES utf8mb4"));
      ok = Reading(db, m_settings.tablePrefix).run(catalogue, error);
      db.close();
    }
  }
  QSqlDatabase::removeDatabase(name);
  return ok;
}
