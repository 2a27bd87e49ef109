// The test and demo tooling itself: the price database generator, the hand-built
// price databases, the private MariaDB server with the shop's tables, the FTP server.
#include "fixtures/ftp_server.h"
#include "fixtures/mariadb_server.h"
#include "fixtures/sample_data.h"

#include <QImage>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QList<QStringList> sqliteRows(const QString& file, const QString& sql) {  // NULL reads "<NULL>"
  QList<QStringList> rows;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"tooling"_s);
    db.setDatabaseName(file);
    QSqlQuery q(db);
    if (!db.open() || !q.exec(sql)) qFatal("%s: %s", qPrintable(file), qPrintable(sql));
    for (QStringList row; q.next(); rows << row, row.clear())
      for (int i = 0; i < q.record().count(); ++i) row << (q.isNull(i) ? u"<NULL>"_s : q.value(i).toString());
  }
  QSqlDatabase::removeDatabase(u"tooling"_s);
  return rows;
}

int curl(const QString& user, const QString& url, const QString& out) {
  QProcess p;
  p.start(u"curl"_s, {u"-s"_s, u"--max-time"_s, u"20"_s, u"--user"_s, u"zorvik_price:"_s + user, u"-o"_s, out, url});
  return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

}  // namespace

class TestTooling : public QObject {
  Q_OBJECT
  QTemporaryDir tmp_;
  QString db3000_;

 private slots:
  void initTestCase() {
    QString error;
    db3000_ = tmp_.filePath(u"varnokel.mdb"_s);
    QVERIFY2(makePriceDb(db3000_, 3000, 1, &error), qPrintable(error));
  }

  void generatorIsDeterministic() {
    const QString a = tmp_.filePath(u"a.mdb"_s), b = tmp_.filePath(u"b.mdb"_s), c = tmp_.filePath(u"c.mdb"_s);
    QVERIFY(makePriceDb(a, 400, 7) && makePriceDb(b, 400, 7) && makePriceDb(c, 400, 8));
    QVERIFY(!QFile::exists(a + u".tmp"_s));
    for (const QString& table : {u"products"_s, u"categories"_s, u"images"_s})
      QCOMPARE(sqliteRows(a, u"SELECT * FROM %1 ORDER BY rowid"_s.arg(table)),
               sqliteRows(b, u"SELECT * FROM %1 ORDER BY rowid"_s.arg(table)));
    QVERIFY(sqliteRows(a, u"SELECT * FROM products"_s) != sqliteRows(c, u"SELECT * FROM products"_s));
    QVERIFY(makePriceDb(a, 50, 7));  // regenerating replaces the file
    QCOMPARE(sqliteRows(a, u"SELECT count(*) FROM products"_s), QList<QStringList>{{u"50"_s}});
  }

  void generatorWritesEdgeRows() {
    const auto row = [&](const QString& sql) { return sqliteRows(db3000_, sql).value(0); };
    // Counts, then the rows outside the ranges (none).
    QCOMPARE(
        row(u"SELECT count(*), count(DISTINCT product_id), (SELECT count(*) FROM categories), "
            "sum(parent_id NOT IN (SELECT category_id FROM categories)), sum(order_count <> 0 OR order_summ <> 0), "
            "sum(length(name_ruRU) NOT BETWEEN 20 AND 70), sum(product_quantity NOT BETWEEN 0 AND 400) "
            "FROM products"_s),
        QStringList({"3000", "3000", "40", "0", "0", "0", "0"}));
    // Each edge value is there: quantities, prices, EANs, then names with an apostrophe, a
    // double quote, a lower-case start, Ё, Latin letters, and the names out of order.
    QCOMPARE(
        row(u"SELECT sum(product_quantity = 99) > 0, sum(product_quantity = 100) > 0, sum(product_quantity = 250) > 0, "
            "sum(product_price = 150) > 0, sum(product_price = 12.5) > 0, sum(product_price = 99.9) > 0, "
            "sum(product_ean LIKE 'А-%') > 0, sum(product_ean GLOB '[0-9]*') > 0, "
            "sum(name_ruRU = 'Печенье д''Артаньян сахарное 150 г') = 1, sum(name_ruRU LIKE '%\"%') > 0, "
            "sum(substr(name_ruRU, 1, 1) GLOB '[a-zа-яё]') > 0, sum(name_ruRU GLOB '*[Ёё]*') > 0, "
            "sum(name_ruRU GLOB '*[A-Za-z]*') > 0, "
            "(SELECT count(*) FROM products a JOIN products b ON b.rowid = a.rowid + 1 WHERE a.name_ruRU > "
            "b.name_ruRU) > 0 "
            "FROM products"_s),
        QStringList(14, u"1"_s));
    // Pictures for ~90%, one each but one empty blob, a few kilobytes each, none NULL, no full
    // picture; one file name shared by two products with two pictures; one not named after its EAN.
    QCOMPARE(
        row(u"SELECT count(DISTINCT product_id) BETWEEN 2501 AND 2899, sum(length(image_thumb) > 0) = "
            "count(DISTINCT product_id) - 1, avg(nullif(length(image_thumb), 0)) BETWEEN 2500 AND 7000, "
            "sum(typeof(image_thumb) = 'blob' AND length(image_thumb) = 0), sum(image_thumb IS NULL), "
            "sum(image_full IS NOT NULL), (SELECT count(*) FROM (SELECT image_name FROM images GROUP BY image_name "
            "HAVING count(DISTINCT product_id) > 1)), (SELECT count(DISTINCT image_thumb) FROM images WHERE "
            "image_name IN (SELECT image_name FROM images GROUP BY image_name HAVING count(*) > 1)), "
            "(SELECT count(*) FROM images i JOIN products p ON p.product_id = i.product_id "
            "WHERE i.image_name <> p.product_ean || '.jpg') FROM images"_s),
        QStringList({"1", "1", "1", "1", "0", "0", "1", "2", "1"}));
    for (const QStringList& r : sqliteRows(db3000_, u"SELECT name_ruRU, name_ruRU_big FROM products"_s))
      QCOMPARE(r.at(1), r.at(0).toUpper());
    // Every non-empty picture is a real 160x120 JPEG.
    for (const QStringList& r : sqliteRows(db3000_, u"SELECT hex(image_thumb) FROM images WHERE length(image_thumb)"_s))
      QCOMPARE(QImage::fromData(QByteArray::fromHex(r.at(0).toLatin1()), "JPEG").size(), QSize(160, 120));
  }

  void builderWritesExactRows() {  // numbers as numbers, text as text, NULL versus an empty blob
    const QString f = tmp_.filePath(u"built.mdb"_s);
    PriceDbBuilder b(f);
    b.addCategory(5, u"Посуда"_s);
    b.addProduct(u"17"_s, 5, u"А-1"_s, 12, 99.9, u"Кружка ёмкая"_s);
    b.addProduct(u"18"_s, 5, u"А-2"_s, QVariant(), u"12,5"_s, u"d'Артаньян"_s, 3, 37.5);
    b.addImage(u"18"_s, QByteArray(""), u"А-2.jpg"_s);
    b.addImage(u"18"_s, QByteArray(), u"А-2b.jpg"_s);  // written through at once
    QVERIFY(!QImage::fromData(PriceDbBuilder::jpeg(40, 30, Qt::red), "JPG").isNull() &&
            !QImage::fromData(PriceDbBuilder::png(8, 8, Qt::blue), "PNG").isNull());
    QCOMPARE(sqliteRows(f,
                        u"SELECT name_ruRU_big, product_quantity, typeof(product_price), order_count "
                        "FROM products ORDER BY rowid"_s),
             (QList<QStringList>{{u"КРУЖКА ЁМКАЯ"_s, u"12"_s, u"real"_s, u"0"_s},
                                 {u"D'АРТАНЬЯН"_s, u"<NULL>"_s, u"text"_s, u"3"_s}}));
    QCOMPARE(sqliteRows(f, u"SELECT typeof(image_thumb), length(image_thumb) FROM images ORDER BY image_id"_s),
             (QList<QStringList>{{u"blob"_s, u"0"_s}, {u"null"_s, u"<NULL>"_s}}));
  }

  void mariaDbStrictSchemaAndSeed() {
    MariaDbServer server;
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    const auto count = [&](const QString& from) {
      return server.query(u"SELECT count(*) FROM uop5b_jshopping_"_s + from).value(0).value(0);
    };
    // Strict mode stays on: a partial insert fails, and succeeds in the shop's relaxed session.
    QVERIFY(server.query(u"SELECT @@SESSION.sql_mode"_s).value(0).value(0).contains(u"STRICT_TRANS_TABLES"_s));
    const QString partial = u"INSERT INTO uop5b_jshopping_orders (user_id) VALUES (57)"_s;
    QVERIFY(!server.exec(partial, &error));
    QVERIFY2(error.contains(u"doesn't have a default value"_s), qPrintable(error));
    QVERIFY(server.exec(u"SET SESSION sql_mode='NO_ENGINE_SUBSTITUTION'"_s, &error));
    QVERIFY2(server.exec(partial, &error), qPrintable(error));
    QCOMPARE(server.query(u"SELECT order_number, CAST(order_date AS CHAR) FROM uop5b_jshopping_orders "
                          "WHERE order_id = LAST_INSERT_ID()"_s),
             (QList<QStringList>{{QString(), u"0000-00-00 00:00:00"_s}}));
    // Demo data, Cyrillic intact: one demo order without items, one without history, statuses
    // on both sides of 7, three history rows for order 1001.
    QCOMPARE(
        server.query(u"SELECT user_id, f_name FROM uop5b_jshopping_users WHERE user_id IN (3, 57, 58) "
                     "ORDER BY user_id"_s),
        (QList<QStringList>{{u"3"_s, u"ООО \"Вектор\""_s}, {u"57"_s, u"ООО Ромашка"_s}, {u"58"_s, u"ИП Петров"_s}}));
    QCOMPARE(server
                 .query(u"SELECT product_name, product_quantity, product_item_price FROM "
                        "uop5b_jshopping_order_item WHERE order_id = 1001 ORDER BY order_item_id"_s)
                 .value(1),
             (QStringList{u"Печенье д'Артаньян сахарное 150 г"_s, u"20.00"_s, u"45.0000"_s}));
    const QString without =
        u"orders o WHERE order_id < 1100 AND user_id IN (57, 58) AND NOT EXISTS "
        "(SELECT 1 FROM uop5b_jshopping_%1 x WHERE x.order_id = o.order_id)"_s;
    QCOMPARE(QStringList({count(without.arg(u"order_item"_s)), count(without.arg(u"order_history"_s)),
                          count(u"order_history WHERE order_id = 1001"_s)}),
             QStringList({"1", "1", "3"}));
    QCOMPARE(server.query(u"SELECT min(order_status) < 7, max(order_status) > 7 FROM uop5b_jshopping_orders"_s),
             (QList<QStringList>{{u"1"_s, u"1"_s}}));
    // The program's account reaches it over TCP, with utf8mb4 names.
    {
      QSqlDatabase db = QSqlDatabase::addDatabase(u"QMARIADB"_s, u"shop_user"_s);
      db.setHostName(server.host());
      db.setPort(server.port());
      db.setDatabaseName(server.database());
      db.setUserName(server.user());
      db.setPassword(server.password());
      QVERIFY2(db.open(), qPrintable(db.lastError().text()));
      QSqlQuery q(db);
      QVERIFY(q.exec(u"SET NAMES utf8mb4"_s));
      QVERIFY(q.exec(u"SELECT f_name FROM uop5b_jshopping_users WHERE user_id = 58"_s) && q.next());
      QCOMPARE(q.value(0).toString(), u"ИП Петров"_s);
      QVERIFY(!q.exec(u"INSERT INTO uop5b_jshopping_order_history (order_id) VALUES (1)"_s));
    }
    QSqlDatabase::removeDatabase(u"shop_user"_s);
    // Reloading restores the demo content; a killed server is gone at once.
    QVERIFY(server.exec(u"DELETE FROM uop5b_jshopping_order_item"_s) && server.reloadSchema(&error));
    QCOMPARE(QStringList({count(u"order_item"_s), count(u"orders"_s)}), QStringList({"11", "6"}));
    const qint64 pid = server.pid();
    server.kill();
    QVERIFY(!server.isRunning() && !QFile::exists(u"/proc/%1"_s.arg(pid)) && !server.exec(u"SELECT 1"_s));
  }

  void ftpServesFilesToCurl() {  // a missing file and a stopped server: see test_updates
    FtpServer ftp;
    QString error;
    QVERIFY2(ftp.start(tmp_.path(), &error), qPrintable(error));
    const QString url = u"ftp://%1/varnokel.mdb"_s.arg(ftp.hostWithPort()), out = tmp_.filePath(u"got.mdb"_s);
    QCOMPARE(curl(u"4817Stock!"_s, url, out), 0);
    QFile a(db3000_), b(out);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly) && a.readAll() == b.readAll());
    QCOMPARE(curl(u"wrong"_s, url, tmp_.filePath(u"x"_s)), 67);
  }
};

QTEST_MAIN(TestTooling)
#include "test_tooling.moc"
