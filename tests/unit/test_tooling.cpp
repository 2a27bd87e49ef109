// The private MariaDB server keeps strict mode, as the shop's server does, so that
// the shop tests meet its NOT NULL columns: no other test would notice its loss.
#include "fixtures/mariadb_server.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestTooling : public QObject {
  Q_OBJECT

 private slots:
  void shopServerIsStrict() {
    MariaDbServer server;
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    const QString partial = u"INSERT INTO uop5b_jshopping_orders (user_id) VALUES (57)"_s;
    QVERIFY(!server.exec(partial, &error));
    QVERIFY2(error.contains(u"doesn't have a default value"_s), qPrintable(error));
  }
};

QTEST_MAIN(TestTooling)
#include "test_tooling.moc"
