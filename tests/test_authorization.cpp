// The authorization window: the organisation code is checked against the shop's
// users on a private MariaDB server, and the code and the organisation name are
// stored in settings.ini.
#include "fixtures/mariadb_server.h"
#include "shell/ProgramFolder.h"
#include "shell/frm_avtor.h"
#include "shell/frm_main.h"
#include "shell/ini.h"
#include "shell/messages.h"
#include "shell/numbers.h"
#include "shell/public_var.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

const QString kAppTitle = QStringLiteral("Программа заявок Варнокел");

// A loopback port with nobody listening.
int closedPort() {
#ifdef Q_OS_UNIX
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  ::close(fd);
  return port;
#else
  return 1;
#endif
}

QByteArray fileBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestAuthorization : public QObject {
  Q_OBJECT

private slots:
  void initTestCase();
  void init();
  void cleanup();

  void windowLayout();
  void emptyCodeAsksForIt();
  void unknownCodeLeavesSettings();
  void knownCodeIsStored();
  void nameWithQuotesIsStored();
  void codeWithQuoteIsNotFound();
  void enterInPasswordBoxChecks();
  void serverDownShowsErrorWithNumber();

private:
  frm_avtor* openWindow();
  void pointAt(int port);
  QString code(const char* key) {
    return ReadSetting(SettingsPath, QStringLiteral("authentication"), QLatin1String(key), QStringLiteral("?"));
  }

  MariaDbServer server_;
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<frm_main> main_;
  std::unique_ptr<msg::ScopedRecorder> rec_;
};

void TestAuthorization::initTestCase() {
  QString err;
  QVERIFY2(server_.start(&err), qPrintable(err));
}

void TestAuthorization::init() {
  dir_ = std::make_unique<QTemporaryDir>();
  QVERIFY(dir_->isValid());
  SetProgramFolder(dir_->path());
  SetSettingsPath();
  CreateDefaultSettings();
  pointAt(server_.port());
  WriteSetting(SettingsPath, QStringLiteral("connection"), QStringLiteral("shop_host"), server_.host());
  WriteSetting(SettingsPath, QStringLiteral("connection"), QStringLiteral("shop_database"), server_.database());
  WriteSetting(SettingsPath, QStringLiteral("connection"), QStringLiteral("shop_user"), server_.user());
  WriteSetting(SettingsPath, QStringLiteral("connection"), QStringLiteral("shop_password"), server_.password());
  rec_ = std::make_unique<msg::ScopedRecorder>();
  main_ = std::make_unique<frm_main>();
}

void TestAuthorization::cleanup() {
  main_.reset();
  rec_.reset();
  dir_.reset();
}

void TestAuthorization::pointAt(int port) {
  WriteSetting(SettingsPath, QStringLiteral("connection"), QStringLiteral("shop_port"), QString::number(port));
}

frm_avtor* TestAuthorization::openWindow() {
  // Closed windows delete themselves on the next turn of the event loop.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  main_->ShowAuthorization(false);
  const auto windows = main_->findChildren<frm_avtor*>();
  return windows.size() == 1 ? windows.first() : nullptr;
}

void TestAuthorization::windowLayout() {
  frm_avtor* w = openWindow();
  QVERIFY(w);
  QVERIFY(w->isVisible());
  QVERIFY(!w->isModal());
  QCOMPARE(w->windowTitle(), QStringLiteral("Авторизация"));
  QCOMPARE(w->findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("Код организации"));
  QVERIFY(w->findChild<QLineEdit*>(QStringLiteral("Text2"))->isVisible());
  QVERIFY(!w->findChild<QLabel*>(QStringLiteral("Label2"))->isVisible());
  QVERIFY(!w->findChild<QLineEdit*>(QStringLiteral("Text1"))->isVisible());
  QCOMPARE(w->findChild<QLineEdit*>(QStringLiteral("Text1"))->echoMode(), QLineEdit::Password);
  QCOMPARE(w->findChild<QPushButton*>(QStringLiteral("Command1"))->text(), QStringLiteral("Вход"));
}

void TestAuthorization::emptyCodeAsksForIt() {
  // Nothing listens on the shop port: any database access would show an error box.
  pointAt(closedPort());
  const QByteArray before = fileBytes(SettingsPath);
  frm_avtor* w = openWindow();
  QVERIFY(w);
  w->Command1_Click();
  QCOMPARE(rec_->boxes.size(), size_t(1));
  QCOMPARE(rec_->boxes[0].text, QStringLiteral("Введите код организации"));
  QCOMPARE(rec_->boxes[0].icon, msg::Icon::None);
  QCOMPARE(rec_->boxes[0].title, kAppTitle);
  QVERIFY(!rec_->boxes[0].yesNo);
  QVERIFY(w->isVisible());
  QCOMPARE(fileBytes(SettingsPath), before);
}

void TestAuthorization::unknownCodeLeavesSettings() {
  const QByteArray before = fileBytes(SettingsPath);
  frm_avtor* w = openWindow();
  QVERIFY(w);
  w->findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(QStringLiteral("999"));
  w->Command1_Click();
  QCOMPARE(rec_->boxes.size(), size_t(1));
  QCOMPARE(rec_->boxes[0].text, QStringLiteral("Неправильно указан код организации"));
  QCOMPARE(rec_->boxes[0].icon, msg::Icon::None);
  QCOMPARE(rec_->boxes[0].title, kAppTitle);
  QVERIFY(w->isVisible());
  QCOMPARE(fileBytes(SettingsPath), before);
  QCOMPARE(code("id"), QStringLiteral("?"));
}

void TestAuthorization::knownCodeIsStored() {
  frm_avtor* w = openWindow();
  QVERIFY(w);
  QPointer<frm_avtor> guard(w);
  w->findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(QStringLiteral("57"));
  // No password is asked for.
  w->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
  QCOMPARE(rec_->boxes.size(), size_t(0));
  const QString text = cp1251::decode(fileBytes(SettingsPath));
  QVERIFY2(text.contains(QStringLiteral("\r\nid= 57\r\n")), qPrintable(text));
  QVERIFY2(text.contains(QStringLiteral("\r\nlogin=\"ООО Ромашка\"\r\n")), qPrintable(text));
  QCOMPARE(code("id"), QStringLiteral("57"));
  QCOMPARE(code("login"), QStringLiteral("ООО Ромашка"));
  QVERIFY(guard && !guard->isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QVERIFY(!guard);  // closed and gone

  // A new check overwrites both.
  w = openWindow();
  QVERIFY(w);
  w->findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(QStringLiteral("72"));
  w->Command1_Click();
  QCOMPARE(code("id"), QStringLiteral("72"));
  QCOMPARE(code("login"), QStringLiteral("Магазин «Дом и сад»"));
}

void TestAuthorization::nameWithQuotesIsStored() {
  frm_avtor* w = openWindow();
  QVERIFY(w);
  w->findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(QStringLiteral("3"));
  w->Command1_Click();
  QCOMPARE(rec_->boxes.size(), size_t(0));
  QVERIFY(cp1251::decode(fileBytes(SettingsPath)).contains(QStringLiteral("\r\nlogin=\"ООО \"Вектор\"\"\r\n")));
  QCOMPARE(code("id"), QStringLiteral("3"));
  QCOMPARE(code("login"), QStringLiteral("ООО \"Вектор\""));
}

void TestAuthorization::codeWithQuoteIsNotFound() {
  const QByteArray before = fileBytes(SettingsPath);
  for (const QString& typed : {QStringLiteral("57'"), QStringLiteral("57' OR '1'='1"), QStringLiteral("57abc")}) {
    rec_->clear();
    frm_avtor* w = openWindow();
    QVERIFY(w);
    w->findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(typed);
    w->Command1_Click();
    QCOMPARE(rec_->texts(), QStringList{QStringLiteral("Неправильно указан код организации")});
    QVERIFY(w->isVisible());
    w->close();
    delete w;
  }
  QCOMPARE(fileBytes(SettingsPath), before);
}

void TestAuthorization::enterInPasswordBoxChecks() {
  frm_avtor* w = openWindow();
  QVERIFY(w);
  w->findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(QStringLiteral("58"));
  QLineEdit* password = w->findChild<QLineEdit*>(QStringLiteral("Text1"));
  QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  QApplication::sendEvent(password, &other);
  QCOMPARE(code("id"), QStringLiteral("?"));
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
  QApplication::sendEvent(password, &enter);
  QCOMPARE(code("id"), QStringLiteral("58"));
  QCOMPARE(code("login"), QStringLiteral("ИП Петров"));
}

void TestAuthorization::serverDownShowsErrorWithNumber() {
  pointAt(closedPort());
  const QByteArray before = fileBytes(SettingsPath);
  frm_avtor* w = openWindow();
  QVERIFY(w);
  w->findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(QStringLiteral("57"));
  w->Command1_Click();
  QCOMPARE(rec_->boxes.size(), size_t(1));
  const msg::Box& box = rec_->boxes[0];
  QCOMPARE(box.icon, msg::Icon::Critical);
  QCOMPARE(box.title, QStringLiteral("Предупреждение"));
  QVERIFY(LastErrorNumber > 0);
  QVERIFY(!LastErrorText.isEmpty());
  QCOMPARE(box.text, QStringLiteral("Произошла ошибка при запросе\r") + LastErrorText + QStringLiteral("\r") +
                         num::invariant(LastErrorNumber));
  QVERIFY(w->isVisible());
  QCOMPARE(fileBytes(SettingsPath), before);
}

QTEST_MAIN(TestAuthorization)
#include "test_authorization.moc"
