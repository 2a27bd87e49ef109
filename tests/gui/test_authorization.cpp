// The authorization window: the organisation code is checked against the shop's
// users on a private MariaDB server; the code and the name go to settings.ini.
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "base/Numbers.h"
#include "base/ProgramFolder.h"
#include "base/Settings.h"
#include "fixtures/mariadb_server.h"
#include "fixtures/ports.h"
#include "gui/common/MessageBoxes.h"
#include "gui/settings/AuthorizationDialog.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QByteArray fileBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestAuthorization : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QString err;
    QVERIFY2(server_.start(&err), qPrintable(err));
  }
  void init();
  void cleanup() {
    main_.reset();
    rec_.reset();
    dir_.reset();
  }

  void checkCode_data();
  void checkCode();
  void enterInPasswordBoxChecks();

 private:
  void set(const QString& group, const QString& key, const QString& value) {
    WriteSetting(settings::path(), group, key, value);
  }
  QString stored(const QString& key) { return ReadSetting(settings::path(), u"authentication"_s, key, u"?"_s); }
  AuthorizationDialog* openWindow() {
    ShowAuthorizationDialog(main_.get(), false);
    const auto windows = main_->findChildren<AuthorizationDialog*>();
    return windows.size() == 1 ? windows.first() : nullptr;
  }

  MariaDbServer server_;
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<msg::ScopedRecorder> rec_;
};

void TestAuthorization::init() {
  dir_ = std::make_unique<QTemporaryDir>();
  QVERIFY(dir_->isValid());
  SetProgramFolder(dir_->path());
  settings::createDefault();
  set(u"connection"_s, u"shop_host"_s, server_.host());
  set(u"connection"_s, u"shop_port"_s, QString::number(server_.port()));
  set(u"connection"_s, u"shop_database"_s, server_.database());
  set(u"connection"_s, u"shop_user"_s, server_.user());
  set(u"connection"_s, u"shop_password"_s, server_.password());
  // An earlier authorization: a failed check keeps it, a good one replaces it.
  set(u"authentication"_s, u"id"_s, u" 1"_s);
  set(u"authentication"_s, u"login"_s, u"\"Прежняя организация\""_s);
  rec_ = std::make_unique<msg::ScopedRecorder>();
  main_ = std::make_unique<MainWindow>();
}

void TestAuthorization::checkCode_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<bool>("serverDown");
  QTest::addColumn<QString>("box");    // the message shown ("error": the query error box)
  QTest::addColumn<QString>("login");  // the name stored with the code; empty: settings untouched
  const QString wrong = u"Неправильно указан код организации"_s;
  QTest::newRow("empty, server not asked") << QString() << true << u"Введите код организации"_s << QString();
  QTest::newRow("unknown") << u"999"_s << false << wrong << QString();
  // Not a whole number: refused before the shop is asked.
  QTest::newRow("quote") << u"57'"_s << true << u"Код организации не является числом: «57'»"_s << QString();
  QTest::newRow("quote, always true") << u"57' OR '1'='1"_s << true
                                      << u"Код организации не является числом: «57' OR '1'='1»"_s << QString();
  QTest::newRow("letters after digits") << u"57abc"_s << true << u"Код организации не является числом: «57abc»"_s
                                        << QString();
  QTest::newRow("known") << u"57"_s << false << QString() << u"ООО Ромашка"_s;
  QTest::newRow("known, guillemets") << u"72"_s << false << QString() << u"Магазин «Дом и сад»"_s;
  QTest::newRow("known, quotes in name") << u"3"_s << false << QString() << u"ООО \"Вектор\""_s;
  QTest::newRow("server down") << u"57"_s << true << u"error"_s << QString();
}

void TestAuthorization::checkCode() {
  QFETCH(QString, typed);
  QFETCH(bool, serverDown);
  QFETCH(QString, box);
  QFETCH(QString, login);
  if (serverDown) set(u"connection"_s, u"shop_port"_s, QString::number(freeLoopbackPort()));
  const QByteArray before = fileBytes(settings::path());
  QPointer<AuthorizationDialog> w = openWindow();
  QVERIFY(w && w->isVisible() && !w->isModal());
  w->findChild<QLineEdit*>(u"Text2"_s)->setText(typed);
  w->findChild<QPushButton*>(u"Command1"_s)->click();  // no password is asked for

  if (box == u"error") {
    QCOMPARE(rec_->boxes.size(), size_t(1));
    QCOMPARE(rec_->boxes[0].icon, msg::Icon::Critical);
    QCOMPARE(rec_->boxes[0].title, u"Предупреждение"_s);
    // The reason and the error number follow the fixed first line.
    QVERIFY(rec_->boxes[0].text.startsWith(u"Произошла ошибка при запросе\r"_s));
    QVERIFY(rec_->boxes[0].text.section(u'\r', -1).trimmed().toInt() > 0);
  } else if (box.startsWith(u"Код организации"_s)) {
    QCOMPARE(rec_->texts(), QStringList{u"Произошла ошибка при запросе\r"_s + box});
  } else if (!box.isEmpty()) {
    QCOMPARE(rec_->texts(), QStringList{box});
    QCOMPARE(rec_->boxes[0].icon, msg::Icon::None);
    QCOMPARE(rec_->boxes[0].title, u"Программа заявок Варнокел"_s);
  } else {
    QCOMPARE(rec_->texts(), QStringList());
  }

  if (login.isEmpty()) {
    QVERIFY(w && w->isVisible());
    QCOMPARE(fileBytes(settings::path()), before);
    return;
  }
  // The file keeps the code as " 57" and the name in quotes, in cp1251.
  const QString text = cp1251::decode(fileBytes(settings::path()));
  QVERIFY2(text.contains(u"\r\nid= "_s + typed + u"\r\n"_s), qPrintable(text));
  QVERIFY2(text.contains(u"\r\nlogin=\""_s + login + u"\"\r\n"_s), qPrintable(text));
  QCOMPARE(stored(u"id"_s), typed);
  QCOMPARE(stored(u"login"_s), login);
  QVERIFY(w && !w->isVisible());
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
  QCOMPARE(stored(u"id"_s), u"1"_s);
  QTest::keyClick(password, Qt::Key_Return);
  QCOMPARE(stored(u"id"_s), u"58"_s);
  QCOMPARE(stored(u"login"_s), u"ИП Петров"_s);
}

QTEST_MAIN(TestAuthorization)
#include "test_authorization.moc"
