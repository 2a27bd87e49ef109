// The statement runner and the price file check, and the failures they return.
// The shop server's failures are met by the window tests.
#include "data/Database.h"
#include "data/PriceFileCheck.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"

#include <QFile>
#include <QtTest>

class DatabaseTest : public QObject {
  Q_OBJECT
 private slots:
  void rejectedStatement() {
    TestProgramFolder folder;
    PriceDbBuilder(folder.priceDb()).close();
    ConnectionPtr price = OpenPriceConnection();
    try {
      Query(*price, "select name from nowhere");
      QFAIL("a rejected statement gave rows");
    } catch (const DbError& e) {
      QVERIFY2(e.description.contains("nowhere"), qPrintable(e.description));
    }
  }

  void missingOrForeignPriceFile_data() {
    QTest::addColumn<QByteArray>("content");  // empty: no file at all; "sqlite": a database without images
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QByteArray() << "не найден";
    QTest::newRow("text") << QByteArray("not a database at all, just text that is long enough to fill a header page")
                          << "не является";
    QTest::newRow("foreign database") << QByteArray("sqlite") << "images";
  }

  void missingOrForeignPriceFile() {
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    TestProgramFolder folder;
    if (content == "sqlite") PriceDbBuilder(folder.priceDb()).exec("drop table images");
    QFile f(folder.priceDb());
    if (content.size() > 6) QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size() && f.flush());
    QString error;
    QVERIFY(!CheckPriceDatabaseFile(folder.priceDb(), &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
  }
};

QTEST_GUILESS_MAIN(DatabaseTest)
#include "test_database.moc"
