// The statement runner on both databases, the price file check and the
// failures they return.
#include "data/Database.h"
#include "data/PriceDatabase.h"
#include "data/PriceFileCheck.h"
#include "data/ShopErrors.h"
#include "fixtures/mariadb_server.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

class DatabaseTest : public QObject {
  Q_OBJECT
 private slots:
  void priceQueriesAndRejectedStatement();
  void missingOrForeignPriceFile_data();
  void missingOrForeignPriceFile();
  void shopSessionAndUnreachableServer();

 private:
  MariaDbServer shop_;
};

void DatabaseTest::priceQueriesAndRejectedStatement() {
  TestProgramFolder folder;
  {
    PriceDbBuilder db(folder.priceDb());
    db.addCategory(1, "Чай");
  }
  ConnectionPtr price = OpenPriceConnection();
  RecordsetPtr rs = Query(*price, "select category_id, name_ruRU from categories where category_id = ?", {1});
  QCOMPARE(rs->recordCount(), 1L);
  QCOMPARE(rs->value(1).toString(), QStringLiteral("Чай"));
  try {
    Query(*price, "select name from nowhere");
    QFAIL("a rejected statement gave rows");
  } catch (const DbError& e) {
    QVERIFY2(e.description.contains("nowhere"), qPrintable(e.description));
  }
  QVERIFY(CheckPriceDatabaseFile(folder.priceDb()));
}

void DatabaseTest::missingOrForeignPriceFile_data() {
  QTest::addColumn<QByteArray>("content");  // empty: no file at all
  QTest::addColumn<QString>("reason");
  QTest::newRow("missing") << QByteArray() << "не найден";
  QTest::newRow("text") << QByteArray("not a database at all, just text that is long enough to fill a header page")
                        << "не является";
  QTest::newRow("html") << QByteArray("<html><body>404 Not Found</body></html>") << "не является";
}

void DatabaseTest::missingOrForeignPriceFile() {
  QFETCH(QByteArray, content);
  QFETCH(QString, reason);
  TestProgramFolder folder;
  if (!content.isEmpty()) {
    QFile f(folder.priceDb());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
  }
  QString error;
  PriceDatabase db;
  std::vector<PriceCategory> categories;
  QVERIFY(!db.readCategories(&categories, &error));
  QVERIFY2(error.contains(content.isEmpty() ? "varnokel.mdb" : "прайс-лист"), qPrintable(error));
  QVERIFY(!db.catalogue(&error));
  QVERIFY(!CheckPriceDatabaseFile(folder.priceDb(), &error));
  QVERIFY2(error.contains(reason), qPrintable(error));
  // Nothing is created or changed.
  QCOMPARE(QFile::exists(folder.priceDb()), !content.isEmpty());

  // A foreign SQLite database opens but is not a price list.
  if (content.isEmpty()) {
    PriceDbBuilder foreign(folder.file("foreign.db"));
    foreign.exec("drop table images");
    foreign.close();
    QVERIFY(!CheckPriceDatabaseFile(folder.file("foreign.db"), &error));
    QVERIFY2(error.contains("images"), qPrintable(error));
  }
}

void DatabaseTest::shopSessionAndUnreachableServer() {
  QString err;
  QVERIFY2(shop_.start(&err), qPrintable(err));
  TestProgramFolder folder;
  folder.useShop(shop_);
  {
    ConnectionPtr c = OpenShopConnection();
    QCOMPARE(Query(*c, "select f_name from uop5b_jshopping_users where user_id = ?", {57})->value(0).toString(),
             QStringLiteral("ООО Ромашка"));
    // The session is permissive, as the shop's own software runs it.
    QVERIFY(!Query(*c, "select @@SESSION.sql_mode")->value(0).toString().contains("STRICT"));
  }
  // Nothing listens: a clear error, quickly, described in Russian.
  folder.useShop("127.0.0.1", closedPort());
  QElapsedTimer t;
  t.start();
  try {
    OpenShopConnection();
    QFAIL("connected to a closed port");
  } catch (const DbError& e) {
    QVERIFY(t.elapsed() < 6000);
    QVERIFY(DescribeShopFailure(e.number, e.description).startsWith("Нет связи с сервером базы данных магазина"));
  }
}

QTEST_GUILESS_MAIN(DatabaseTest)
#include "test_database.moc"
