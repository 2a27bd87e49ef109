// The test and demo tooling where other tests could not notice its faults: the
// price database generator gives the same file for a seed and the edge rows the
// catalogue and window tests rely on; the private MariaDB server keeps strict mode,
// as the shop's server does, so that the shop tests meet its NOT NULL columns.
#include "fixtures/mariadb_server.h"
#include "fixtures/sample_data.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QList<QStringList> sqliteRows(const QString& file, const QString& sql) {
  QList<QStringList> rows;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"tooling"_s);
    db.setDatabaseName(file);
    QSqlQuery q(db);
    if (!db.open() || !q.exec(sql)) qFatal("%s: %s", qPrintable(file), qPrintable(sql));
    for (QStringList row; q.next(); rows << row, row.clear())
      for (int i = 0; i < q.record().count(); ++i) row << q.value(i).toString();
  }
  QSqlDatabase::removeDatabase(u"tooling"_s);
  return rows;
}

}  // namespace

class TestTooling : public QObject {
  Q_OBJECT
  QTemporaryDir tmp_;

 private slots:
  void generatorIsDeterministicWithEdgeRows() {
    const QString a = tmp_.filePath(u"a.mdb"_s), b = tmp_.filePath(u"b.mdb"_s), c = tmp_.filePath(u"c.mdb"_s);
    QVERIFY(makePriceDb(a, 3000, 1) && makePriceDb(b, 3000, 1) && makePriceDb(c, 3000, 2));
    for (const QString& table : {u"products"_s, u"categories"_s, u"images"_s})
      QVERIFY(sqliteRows(a, u"SELECT * FROM %1 ORDER BY rowid"_s.arg(table)) ==
              sqliteRows(b, u"SELECT * FROM %1 ORDER BY rowid"_s.arg(table)));
    QVERIFY(sqliteRows(a, u"SELECT * FROM products"_s) != sqliteRows(c, u"SELECT * FROM products"_s));
    // Each edge value is there: quantities, prices, EANs, names with an apostrophe, a double
    // quote, a lower-case start, Ё, Latin letters, names out of order, one empty picture.
    QCOMPARE(sqliteRows(
                 a,
                 u"SELECT sum(product_quantity = 99) > 0, sum(product_quantity = 100) > 0, "
                 "sum(product_quantity = 250) > 0, sum(product_price = 150) > 0, sum(product_price = 12.5) > 0, "
                 "sum(product_price = 99.9) > 0, sum(product_ean LIKE 'А-%') > 0, sum(product_ean GLOB '[0-9]*') > 0, "
                 "sum(name_ruRU = 'Печенье д''Артаньян сахарное 150 г') = 1, sum(name_ruRU LIKE '%\"%') > 0, "
                 "sum(substr(name_ruRU, 1, 1) GLOB '[a-zа-яё]') > 0, sum(name_ruRU GLOB '*[Ёё]*') > 0, "
                 "sum(name_ruRU GLOB '*[A-Za-z]*') > 0, (SELECT count(*) FROM products a JOIN products b ON "
                 "b.rowid = a.rowid + 1 WHERE a.name_ruRU > b.name_ruRU) > 0, (SELECT count(*) FROM images WHERE "
                 "typeof(image_thumb) = 'blob' AND length(image_thumb) = 0) = 1 FROM products"_s)
                 .value(0),
             QStringList(15, u"1"_s));
  }

  void shopServerIsStrict() {
    MariaDbServer server;
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY(server.query(u"SELECT @@SESSION.sql_mode"_s).value(0).value(0).contains(u"STRICT_TRANS_TABLES"_s));
    const QString partial = u"INSERT INTO uop5b_jshopping_orders (user_id) VALUES (57)"_s;
    QVERIFY(!server.exec(partial, &error));
    QVERIFY2(error.contains(u"doesn't have a default value"_s), qPrintable(error));
    QVERIFY(server.exec(u"SET SESSION sql_mode='NO_ENGINE_SUBSTITUTION'"_s, &error));
    QVERIFY2(server.exec(partial, &error), qPrintable(error));
  }
};

QTEST_MAIN(TestTooling)
#include "test_tooling.moc"
