// The authorization window: the organisation code is checked against the shop's
// users on a private MariaDB server; the code and the name go to settings.ini.
// Codes that are not numbers and an unreachable shop: test_send_order and
// test_daily_use.
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "fixtures/mariadb_server.h"
#include "fixtures/program_env.h"
#include "gui/common/MessageBoxes.h"
#include "gui/settings/AuthorizationDialog.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

using namespace Qt::StringLiterals;

class TestAuthorization : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QString err;
    QVERIFY2(server_.start(&err), qPrintable(err));
  }
  void init() {
    folder_ = std::make_unique<TestProgramFolder>();
    folder_->useShop(server_);
    // An earlier authorization: a failed check keeps it, a good one replaces it.
    folder_->signIn(u"1"_s, u"Прежняя организация"_s);
    rec_ = std::make_unique<msg::ScopedRecorder>();
    main_ = std::make_unique<MainWindow>();
  }
  void cleanup() {
    main_.reset();
    rec_.reset();
    folder_.reset();
  }
  void checkCode_data();
  void checkCode();
  void enterInPasswordBoxChecks();

 private:
  AuthorizationDialog* openWindow() {
    ShowAuthorizationDialog(main_.get(), false);
    const auto windows = main_->findChildren<AuthorizationDialog*>();
    return windows.size() == 1 ? windows.first() : nullptr;
  }

  MariaDbServer server_;
  std::unique_ptr<TestProgramFolder> folder_;
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<msg::ScopedRecorder> rec_;
};

void TestAuthorization::checkCode_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("login");  // the name stored with the code; empty: refused, settings untouched
  QTest::newRow("unknown") << u"999"_s << QString();
  QTest::newRow("known, guillemets") << u"72"_s << u"Магазин «Дом и сад»"_s;
  QTest::newRow("known, quotes in name") << u"3"_s << u"ООО \"Вектор\""_s;
}

void TestAuthorization::checkCode() {
  QFETCH(QString, typed);
  QFETCH(QString, login);
  const QByteArray before = fileContent(settings::path());
  QPointer<AuthorizationDialog> w = openWindow();
  QVERIFY(w && w->isVisible() && !w->isModal());
  w->findChild<QLineEdit*>(u"Text2"_s)->setText(typed);
  w->findChild<QPushButton*>(u"Command1"_s)->click();  // no password is asked for

  if (login.isEmpty()) {
    QCOMPARE(rec_->texts(), QStringList{u"Неправильно указан код организации"_s});
    QCOMPARE(rec_->boxes[0].title, u"Программа заявок Варнокел"_s);
    QVERIFY(w && w->isVisible());
    QCOMPARE(fileContent(settings::path()), before);
    return;
  }
  QCOMPARE(rec_->texts(), QStringList());
  // The file keeps the code as " 72" and the name in quotes, in cp1251.
  const QString text = cp1251::decode(fileContent(settings::path()));
  QVERIFY2(text.contains(u"\r\nid= "_s + typed + u"\r\n"_s), qPrintable(text));
  QVERIFY2(text.contains(u"\r\nlogin=\""_s + login + u"\"\r\n"_s), qPrintable(text));
  QCOMPARE(settings::text(settings::OrganisationName), login);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QVERIFY(!w);  // closed and gone
}

void TestAuthorization::enterInPasswordBoxChecks() {
  AuthorizationDialog* w = openWindow();
  QVERIFY(w);
  QLineEdit* password = w->findChild<QLineEdit*>(u"Text1"_s);
  QCOMPARE(password->echoMode(), QLineEdit::Password);
  w->findChild<QLineEdit*>(u"Text2"_s)->setText(u"58"_s);
  QTest::keyClick(password, Qt::Key_A);
  QCOMPARE(settings::text(settings::OrganisationId), u"1"_s);
  QTest::keyClick(password, Qt::Key_Return);
  QCOMPARE(settings::text(settings::OrganisationId), u"58"_s);
  QCOMPARE(settings::text(settings::OrganisationName), u"ИП Петров"_s);
}

QTEST_MAIN(TestAuthorization)
#include "test_authorization.moc"
