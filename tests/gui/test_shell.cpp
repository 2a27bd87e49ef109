// Start-up, the window bar, the settings file and the database access layer.
#include "fixtures/mariadb_server.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "gui/price/PriceWindow.h"
#include "base/ProgramFolder.h"
#include "base/ResultCode.h"
#include "data/Database.h"
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "gui/common/MessageBoxes.h"
#include "shell/public_var.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QToolBar>
#include <QtTest>

namespace {

QByteArray readAll(const QString& path) {
  QFile f(path);
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

void writeAll(const QString& path, const QByteArray& data) {
  QFile f(path);
  f.open(QIODevice::WriteOnly | QIODevice::Truncate);
  f.write(data);
}

// Records, for every box, whether the main window was already shown maximised.
class WindowStateSink : public msg::Recorder {
public:
  explicit WindowStateSink(QWidget* w) : window(w) {}
  msg::Answer show(const msg::Box& box) override {
    maximisedAtBox.push_back(window->isVisible() && window->isMaximized());
    return Recorder::show(box);
  }
  QWidget* window;
  std::vector<bool> maximisedAtBox;
};

}  // namespace

class ShellTest : public QObject {
  Q_OBJECT

private slots:
  void resultCodes_data();
  void resultCodes();
  void startupMessages_data();
  void startupMessages();
  void menuAndWindowBar();
  void windowBarBringsMinimisedWindowForward();

  void settingsDefaultContentAndExistingFile();
  void settingsReadRules();
  void settingsWriteKeepsOtherLines();
  void settingsCyrillicAndLineBreaks();
  void settingsPathOfDriveRoot();

  void accessLayerWithoutServer();
  void missingPriceFileIsReportedAndNotCreated();
  void shopConnection();

private:
  MariaDbServer shop_;
};

void ShellTest::resultCodes_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<int>("code");
  QTest::newRow("none") << "" << 0;
  QTest::newRow("5") << "5" << 0;
  QTest::newRow("9") << "9" << 0;
  QTest::newRow("text") << "abc" << 0;
  QTest::newRow("40") << "40" << 40;
  QTest::newRow("41") << "41" << 41;
  QTest::newRow("45") << "45" << 45;
  QTest::newRow("40abc") << "40abc" << 0;
  QTest::newRow("40.6") << "40.6" << 0;
  QTest::newRow("99999") << "99999" << 0;
  QTest::newRow("32767") << "32767" << 32767;
  QTest::newRow("31") << "31" << 31;
  QTest::newRow("50") << "50" << 50;
  QTest::newRow("51") << "51" << 51;
  QTest::newRow("two words") << "40 41" << 0;
}

void ShellTest::resultCodes() {
  QFETCH(QString, line);
  QFETCH(int, code);
  QCOMPARE(int(ParseResultCode(line)), code);
}

void ShellTest::startupMessages_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<QString>("message");
  QTest::newRow("none") << "" << "";
  QTest::newRow("5") << "5" << "";
  QTest::newRow("9") << "9" << "";
  QTest::newRow("text") << "text" << "";
  QTest::newRow("40") << "40" << "Прайс-лист обновлен";
  QTest::newRow("41") << "41" << "Прайс-лист не обновлен";
  QTest::newRow("45") << "45" << "";
  QTest::newRow("40abc") << "40abc" << "";
  QTest::newRow("99999") << "99999" << "";
  QTest::newRow("31") << "31" << "Не удалось проверить обновление ПО";
  QTest::newRow("50") << "50" << "Обновление ПО прошло успешно";
  QTest::newRow("51") << "51" << "ПО не обновлено";
}

void ShellTest::startupMessages() {
  QFETCH(QString, line);
  QFETCH(QString, message);
  TestProgramFolder folder;
  QVERIFY(makePriceDb(folder.priceDb(), 50));
  MainWindow main;
  WindowStateSink sink(&main);
  msg::setSink(&sink);
  QVERIFY(main.MDIForm_Load(line));
  main.ShowStartupWindow();
  msg::setSink(nullptr);
  if (message.isEmpty()) {
    QCOMPARE(sink.boxes.size(), size_t(0));
  } else {
    QCOMPARE(sink.boxes.size(), size_t(1));
    QCOMPARE(sink.boxes[0].text, message);
    QCOMPARE(sink.boxes[0].title, QStringLiteral("Программа заявок Варнокел"));
    QCOMPARE(sink.boxes[0].icon, msg::Icon::None);
    QVERIFY(!sink.boxes[0].yesNo);
    QVERIFY(sink.maximisedAtBox[0]);
  }
  // Whatever the code, the price list window opens afterwards.
  QVERIFY(main.priceWindow());
  QVERIFY(main.priceWindow()->isVisible());
}

void ShellTest::menuAndWindowBar() {
  TestProgramFolder folder;
  msg::ScopedRecorder rec;
  MainWindow main;
  QCOMPARE(main.windowTitle(), QStringLiteral("Программа заявок Варнокел"));
  QStringList menu;
  for (QAction* a : main.menuBar()->actions()) menu << a->objectName() + "=" + a->text();
  QCOMPARE(menu, (QStringList{"getprice=Получить прайс-лист", "Pricelist=Прайс-лист", "Orders=Заказы",
                              "settings=Настройки", "updatepo=Обновление ПО"}));
  QVERIFY(main.findChild<QToolBar*>("Toolbar1"));

  main.MDIForm_Load(QString());
  main.ShowStartupWindow();
  QVERIFY(main.BarCaptions().isEmpty());  // the start-up window gets no button
  PriceWindow* price = main.priceWindow();
  main.Pricelist_Click();
  QCOMPARE(main.priceWindow(), price);  // the same window, brought forward
  QCOMPARE(main.BarCaptions(), QStringList{"Прайс-лист"});
  main.Pricelist_Click();
  QCOMPARE(main.BarCaptions(), QStringList{"Прайс-лист"});

  main.settings_Click();
  main.settings_Click();
  QCOMPARE(main.BarCaptions(), (QStringList{"Прайс-лист", "Настройки"}));

  // Closing a window removes only its own button; reopening adds it once.
  price->close();
  QTRY_VERIFY(!main.priceWindow());
  QCOMPARE(main.BarCaptions(), QStringList{"Настройки"});
  main.Pricelist_Click();
  QVERIFY(main.priceWindow());
  QVERIFY(main.priceWindow() != nullptr);
  QCOMPARE(main.BarCaptions(), (QStringList{"Настройки", "Прайс-лист"}));

  // A button with an unknown caption does nothing.
  main.toolbar()->addAction(QStringLiteral("Чужая"));
  main.Toolbar1_ButtonClick(main.BarButton(QStringLiteral("Чужая")));
  main.RemoveBarButton(QStringLiteral("Нет такой"));
  QCOMPARE(main.BarCaptions().size(), 3);
}

void ShellTest::windowBarBringsMinimisedWindowForward() {
  TestProgramFolder folder;
  msg::ScopedRecorder rec;
  MainWindow main;
  main.MDIForm_Load(QString());
  main.ShowStartupWindow();
  main.settings_Click();
  main.Pricelist_Click();
  auto* sub = qobject_cast<QMdiSubWindow*>(main.priceWindow()->parentWidget());
  QVERIFY(sub);
  sub->showMinimized();
  QVERIFY(sub->isMinimized());
  main.Toolbar1_ButtonClick(main.BarButton(QStringLiteral("Прайс-лист")));
  QVERIFY(sub->isMaximized());
  QCOMPARE(main.mdiArea()->activeSubWindow(), sub);
}

void ShellTest::settingsDefaultContentAndExistingFile() {
  TestProgramFolder folder;  // writes the default file
  const QByteArray expected =
      "[authentication]\r\nid=?\r\nlogin=?\r\n[settings]\r\nimagetostring=?\r\nimagethumb=?\r\nvisiblesumm=0\r\n"
      "[forms]\r\nname=6000\r\nremainder=1000\r\nprice=1000\r\norder=1000\r\nsumm=1000\r\n";
  QCOMPARE(readAll(SettingsPath), expected);
  QCOMPARE(SettingsPath, folder.file("settings.ini"));

  // An existing file, even empty or without keys, is never touched at start-up.
  writeAll(SettingsPath, QByteArray());
  CreateDefaultSettings();
  QCOMPARE(readAll(SettingsPath), QByteArray());
  QCOMPARE(ReadSetting(SettingsPath, "forms", "name", "?"), QStringLiteral("?"));
  writeAll(SettingsPath, "[forms]\r\nname=10\r\n");
  MainWindow main;
  msg::ScopedRecorder rec;
  main.MDIForm_Load(QString());
  QCOMPARE(readAll(SettingsPath), QByteArray("[forms]\r\nname=10\r\n"));
}

void ShellTest::settingsReadRules() {
  TestProgramFolder folder;
  const QString p = SettingsPath;
  writeAll(p, "[Authentication]\r\n  ID  =   \"ООО Ромашка\"  \r\nLogin= 'x' \r\nempty=\r\n[forms]\r\nname=1500.5 \r\n"
              "long=" + QByteArray(300, 'a') + "\r\n");
  // Cyrillic in the file is in code page 1251.
  writeAll(p, cp1251::encode(QString::fromUtf8(readAll(p))));
  QCOMPARE(ReadSetting(p, "authentication", "id", "?"), QStringLiteral("ООО Ромашка"));
  QCOMPARE(ReadSetting(p, "AUTHENTICATION", "LOGIN", "?"), QStringLiteral("x"));
  QCOMPARE(ReadSetting(p, "authentication", "empty", "?"), QString());
  QCOMPARE(ReadSetting(p, "authentication", "missing", "?"), QStringLiteral("?"));
  QCOMPARE(ReadSetting(p, "nosection", "id", "?"), QStringLiteral("?"));
  QCOMPARE(ReadSetting(p, "forms", "name", "?"), QStringLiteral("1500.5"));
  QCOMPARE(ReadSetting(p, "forms", "long", "?"), QString(254, QLatin1Char('a')));
  QCOMPARE(ReadSetting(folder.file("none.ini"), "forms", "name", "?"), QStringLiteral("?"));
}

void ShellTest::settingsWriteKeepsOtherLines() {
  TestProgramFolder folder;
  const QString p = SettingsPath;
  const QByteArray before = "; comment\r\n[authentication]\r\nid=?\r\nlogin=?\r\n\r\n[forms]\nname = 6000\n  odd line\r\n";
  writeAll(p, before);
  WriteSetting(p, "AUTHENTICATION", "Id", " 57");
  QCOMPARE(readAll(p), QByteArray("; comment\r\n[authentication]\r\nid= 57\r\nlogin=?\r\n\r\n[forms]\nname = 6000\n  odd line\r\n"));
  QCOMPARE(ReadSetting(p, "authentication", "id", "?"), QStringLiteral("57"));
  WriteSetting(p, "authentication", "newkey", "v");
  QCOMPARE(readAll(p), QByteArray("; comment\r\n[authentication]\r\nid= 57\r\nlogin=?\r\nnewkey=v\r\n\r\n[forms]\nname = 6000\n  odd line\r\n"));
  WriteSetting(p, "connection", "shop_port", "3307");
  QVERIFY(readAll(p).endsWith("  odd line\r\n[connection]\r\nshop_port=3307\r\n"));
  QCOMPARE(ReadSetting(p, "forms", "name", "?"), QStringLiteral("6000"));

  // A file that does not exist is created by the first write.
  const QString fresh = folder.file("fresh.ini");
  WriteSetting(fresh, "settings", "imagethumb", "1");
  QCOMPARE(readAll(fresh), QByteArray("[settings]\r\nimagethumb=1\r\n"));
}

void ShellTest::settingsCyrillicAndLineBreaks() {
  TestProgramFolder folder;
  const QString p = SettingsPath;
  WriteSetting(p, "authentication", "login", "\"ООО \"Ёлка\" и Ко\"");
  const QByteArray bytes = readAll(p);
  QVERIFY(bytes.contains(QByteArray("login=\"\xCE\xCE\xCE \"\xA8\xEB\xEA\xE0\" \xE8 \xCA\xEE\"")));
  QCOMPARE(ReadSetting(p, "authentication", "login", "?"), QStringLiteral("ООО \"Ёлка\" и Ко"));

  WriteSetting(p, "authentication", "id", "12\r\n[forms]\nname=0");
  QCOMPARE(ReadSetting(p, "authentication", "id", "?"), QStringLiteral("12  [forms] name=0"));
  QCOMPARE(ReadSetting(p, "forms", "name", "?"), QStringLiteral("6000"));
  QCOMPARE(readAll(p).count("\r\n"), 13);
}

void ShellTest::settingsPathOfDriveRoot() {
  QCOMPARE(JoinProgramPath(QStringLiteral("C:\\"), QStringLiteral("settings.ini")), QStringLiteral("C:\\settings.ini"));
  QCOMPARE(JoinProgramPath(QStringLiteral("/"), QStringLiteral("settings.ini")), QStringLiteral("/settings.ini"));
  QVERIFY(JoinProgramPath(QStringLiteral("/opt/v"), QStringLiteral("settings.ini")).endsWith(QStringLiteral("v") + QDir::separator() + "settings.ini"));
}

void ShellTest::accessLayerWithoutServer() {
  TestProgramFolder folder;
  {
    PriceDbBuilder db(folder.priceDb());
    db.addCategory(1, "Чай");
  }
  msg::ScopedRecorder rec;
  ConnectionSlot price = OpenPriceConnection();
  QVERIFY(price);
  QVERIFY(ConnectionReady);
  QVERIFY(!OpenPriceRecordset(price.get(), QString()));  // empty statement: nothing, no error
  RecordsetSlot rs = OpenPriceRecordset(price.get(), "select category_id, name_ruRU from categories");
  QVERIFY(rs);
  QCOMPARE(rs->recordCount(), 1L);
  QCOMPARE(rs->value(1).toString(), QStringLiteral("Чай"));

  // A rejected statement gives no recordset and shows nothing; the caller learns why.
  RecordsetSlot bad = OpenPriceRecordset(price.get(), "select name from nowhere");
  QVERIFY(!bad);
  try {
    Require(bad);
    QFAIL("no error");
  } catch (const DbError& e) {
    QVERIFY2(e.description.contains("nowhere"), qPrintable(e.description));
  }

  // A failed shop attempt blocks result sets until the next successful attempt.

  folder.useShop("127.0.0.1", closedPort());
  QVERIFY_THROWS_EXCEPTION(DbError, OpenShopConnection());
  QVERIFY(!ConnectionReady);
  QVERIFY(!OpenPriceRecordset(price.get(), "select 1"));
  ConnectionSlot again = OpenPriceConnection();
  QVERIFY(OpenPriceRecordset(price.get(), "select 1"));
  QVERIFY(rec.boxes.empty());

  // Closing twice, or an empty slot, is harmless.
  CloseConnection(price);
  CloseConnection(price);
  CloseRecordset(rs);
  CloseRecordset(rs);
  CommandSlot cmd = again.get();
  ReleaseCommand(cmd);
  QVERIFY(!cmd);
}

void ShellTest::missingPriceFileIsReportedAndNotCreated() {
  TestProgramFolder folder;
  msg::ScopedRecorder rec;
  ConnectionSlot c = OpenPriceConnection();
  QVERIFY(!c);
  QVERIFY(!ConnectionReady);
  QCOMPARE(rec.boxes.size(), size_t(1));
  QVERIFY(rec.boxes[0].text.contains("varnokel.mdb"));
  QCOMPARE(rec.boxes[0].icon, msg::Icon::None);
  QVERIFY(!QFile::exists(folder.priceDb()));

  // A file that is not a database is reported too.
  writeAll(folder.priceDb(), "not a database at all, just text that is long enough to fill a header page");
  rec.clear();
  QVERIFY(!OpenPriceConnection());
  QCOMPARE(rec.boxes.size(), size_t(1));
}

void ShellTest::shopConnection() {
  QString err;
  QVERIFY2(shop_.start(&err), qPrintable(err));
  TestProgramFolder folder;
  folder.useShop(shop_);
  ConnectionSlot c = OpenShopConnection();
  QVERIFY(ConnectionReady);
  RecordsetSlot rs = OpenShopRecordset(c.get(), "select f_name from uop5b_jshopping_users where user_id = ?", 0, {57});
  QVERIFY(rs);
  QCOMPARE(rs->value(0).toString(), QStringLiteral("ООО Ромашка"));
  // The session is permissive, as the shop's own software runs it.
  RecordsetSlot mode = OpenShopRecordset(c.get(), "select @@SESSION.sql_mode", 0);
  QVERIFY(!Require(mode).value(0).toString().contains("STRICT"));
  CloseConnection(c);

  // Nothing listens: a clear error, quickly.
  folder.useShop("127.0.0.1", closedPort());
  QElapsedTimer t;
  t.start();
  try {
    OpenShopConnection();
    QFAIL("connected to a closed port");
  } catch (const DbError& e) {
    QVERIFY(!e.description.isEmpty());
    QVERIFY(e.number != 0);
  }
  QVERIFY(t.elapsed() < 6000);
}

QTEST_MAIN(ShellTest)
#include "test_shell.moc"
