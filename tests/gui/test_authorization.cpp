// The authorization window: the organisation code is checked against the shop's
// users on a private MariaDB server; the code and the name go to settings.ini.
// An unreachable shop: test_daily_use. The private server keeps strict mode, as the
// shop's does, so that the shop tests meet its NOT NULL columns.
#include "fixtures/mariadb_server.h"
#include "gui/settings/AuthorizationDialog.h"
#include "support/WindowTest.h"

class TestAuthorization : public QObject {
  Q_OBJECT

  MariaDbServer server_;

 private slots:
  void initTestCase() {
    QString err;
    QVERIFY2(server_.start(&err), qPrintable(err));
    QVERIFY(!server_.exec(u"INSERT INTO uop5b_jshopping_orders (user_id) VALUES (57)"_s, &err));
    QVERIFY2(err.contains(u"doesn't have a default value"_s), qPrintable(err));
  }

  void checkCode_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("told");  // the reason a code is refused; empty: stored with its shop name
    QTest::newRow("unknown") << u"999"_s << u"Неправильно указан код организации"_s;
    QTest::newRow("empty") << u""_s << u"Введите код организации"_s;
    for (const QString& code : {u"57abc"_s, u"57' OR '1'='1"_s})
      QTest::newRow(qPrintable(code)) << code << u"Код организации не является числом"_s;
    QTest::newRow("guillemets in name") << u"72"_s << QString();
    QTest::newRow("quotes in name") << u"3"_s << QString();
  }

  // A code counts only as the whole number it spells and known to the shop; the
  // password is not checked. The file keeps " 72" and the quoted name in cp1251.
  void checkCode() {
    QFETCH(QString, typed);
    QFETCH(QString, told);
    TestProgramFolder folder;
    folder.useShop(server_);
    folder.signIn(u"1"_s, u"Прежняя организация"_s);  // a failed check keeps it
    const QByteArray before = fileContent(settings::path());
    msg::ScopedRecorder rec;
    MainWindow main;
    ShowAuthorizationDialog(&main, false);
    QCOMPARE(main.findChildren<AuthorizationDialog*>().size(), 1);
    QPointer<AuthorizationDialog> w = main.findChildren<AuthorizationDialog*>().first();
    QVERIFY(w->isVisible() && !w->isModal());
    w->findChild<QLineEdit*>(u"Text2"_s)->setText(typed);
    QLineEdit* password = w->findChild<QLineEdit*>(u"Text1"_s);
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QTest::keyClick(password, Qt::Key_Return);  // as the button "Вход" (clicked by test_e2e)
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!told.isEmpty()) {
      QVERIFY2(rec.texts().size() == 1 && rec.texts()[0].contains(told), qPrintable(rec.texts().join(u'|')));
      QVERIFY(w && w->isVisible());
      QCOMPARE(fileContent(settings::path()), before);
      return;
    }
    const QString login = server_.query(u"SELECT f_name FROM uop5b_jshopping_users WHERE user_id = "_s + typed)[0][0];
    const QString text = cp1251::decode(fileContent(settings::path()));
    QVERIFY2(text.contains(u"\r\nid= "_s + typed + u"\r\nlogin=\""_s + login + u"\"\r\n"_s), qPrintable(text));
    QVERIFY(!w);  // closed and gone
  }
};

QTEST_MAIN(TestAuthorization)
#include "test_authorization.moc"
