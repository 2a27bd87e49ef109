// The statement runner on both databases, the price file check and the
// failures they return.
#include "data/Database.h"
#include "data/PriceDatabase.h"
#include "data/PriceFileCheck.h"
#include "data/ShopErrors.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

class DatabaseTest : public QObject {
  Q_OBJECT
 private slots:
  void rejectedStatement();
  void missingOrForeignPriceFile_data();
  void missingOrForeignPriceFile();
  void unreachableShopServer();
};

void DatabaseTest::rejectedStatement() {
  TestProgramFolder folder;
  PriceDbBuilder(folder.priceDb()).close();
  ConnectionPtr price = OpenPriceConnection();
  try {
    Query(*price, "select name from nowhere");
    QFAIL("a rejected statement gave rows");
  } catch (const DbError& e) {
    QVERIFY2(e.description.contains("nowhere"), qPrintable(e.description));
  }
  QVERIFY(CheckPriceDatabaseFile(folder.priceDb()));
}

void DatabaseTest::missingOrForeignPriceFile_data() {
  QTest::addColumn<QByteArray>("content");  // empty: no file at all; "sqlite": a database without images
  QTest::addColumn<QString>("reason");
  QTest::newRow("missing") << QByteArray() << "не найден";
  QTest::newRow("text") << QByteArray("not a database at all, just text that is long enough to fill a header page")
                        << "не является";
  QTest::newRow("html") << QByteArray("<html><body>404 Not Found</body></html>") << "не является";
  QTest::newRow("foreign database") << QByteArray("sqlite") << "images";
}

void DatabaseTest::missingOrForeignPriceFile() {
  QFETCH(QByteArray, content);
  QFETCH(QString, reason);
  TestProgramFolder folder;
  if (content == "sqlite") {
    PriceDbBuilder foreign(folder.priceDb());
    foreign.exec("drop table images");
  } else if (!content.isEmpty()) {
    QFile f(folder.priceDb());
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
  }
  QString error;
  QVERIFY(!CheckPriceDatabaseFile(folder.priceDb(), &error));
  QVERIFY2(error.contains(reason), qPrintable(error));
  if (content == "sqlite") return;
  PriceDatabase db;
  std::vector<PriceCategory> categories;
  QVERIFY(!db.readCategories(&categories, &error));
  QVERIFY2(error.contains(content.isEmpty() ? "varnokel.mdb" : "прайс-лист"), qPrintable(error));
  QVERIFY(!db.catalogue(&error));
  QCOMPARE(QFile::exists(folder.priceDb()), !content.isEmpty());  // nothing is created
}

// Nothing listens: a clear error, quickly, described in Russian.
void DatabaseTest::unreachableShopServer() {
  TestProgramFolder folder;
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
