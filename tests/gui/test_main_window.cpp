// Start-up messages, the menu and the window bar.
#include "app/MainWindow.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "gui/common/MessageBoxes.h"
#include "gui/price/PriceWindow.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QtTest>

namespace {

// Records, for every box, whether the main window was already shown maximised.
struct WindowStateSink : msg::Recorder {
  explicit WindowStateSink(QWidget* w) : window(w) {}
  msg::Answer show(const msg::Box& box) override {
    maximisedAtBox.push_back(window->isVisible() && window->isMaximized());
    return Recorder::show(box);
  }
  QWidget* window;
  std::vector<bool> maximisedAtBox;
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void startupMessages_data();
  void startupMessages();
  void menuAndWindowBar();
};

void MainWindowTest::startupMessages_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<QString>("message");
  const struct {
    const char *line, *message;
  } rows[] = {{"", ""},
              {"45", ""},
              {"40", "Прайс-лист обновлен"},
              {"41", "Прайс-лист не обновлен"},
              {"31", "Не удалось проверить обновление ПО"},
              {"50", "Обновление ПО прошло успешно"},
              {"51", "ПО не обновлено"}};
  for (const auto& r : rows) QTest::newRow(*r.line ? r.line : "none") << r.line << QString::fromUtf8(r.message);
}

void MainWindowTest::startupMessages() {
  QFETCH(QString, line);
  QFETCH(QString, message);
  TestProgramFolder folder;
  QVERIFY(makePriceDb(folder.priceDb(), 50));
  MainWindow main;
  WindowStateSink sink(&main);
  msg::setSink(&sink);
  QVERIFY(main.startUp(line));
  main.showStartupWindow();
  msg::setSink(nullptr);
  QCOMPARE(sink.texts(), message.isEmpty() ? QStringList() : QStringList{message});
  if (!message.isEmpty()) {
    QCOMPARE(sink.boxes[0].title, QStringLiteral("Программа заявок Варнокел"));
    QCOMPARE(sink.boxes[0].icon, msg::Icon::None);
    QVERIFY(sink.maximisedAtBox[0]);
  }
  // Whatever the code, the price list window opens afterwards.
  QVERIFY(main.priceWindow() && main.priceWindow()->isVisible());
}

void MainWindowTest::menuAndWindowBar() {
  TestProgramFolder folder;
  msg::ScopedRecorder rec;
  MainWindow main;
  QCOMPARE(main.windowTitle(), QStringLiteral("Программа заявок Варнокел"));
  QStringList menu;
  for (QAction* a : main.menuBar()->actions()) menu << a->objectName() + "=" + a->text();
  QCOMPARE(menu, (QStringList{"getprice=По&лучить прайс-лист", "Pricelist=&Прайс-лист", "Orders=&Заказы",
                              "settings=&Настройки", "updatepo=&Обновление ПО"}));
  main.startUp(QString());
  main.showStartupWindow();
  QVERIFY(main.barCaptions().isEmpty());  // the start-up window gets no button
  PriceWindow* price = main.priceWindow();
  main.openPriceWindow();
  main.openPriceWindow();
  QCOMPARE(main.priceWindow(), price);  // the same window, brought forward
  main.openSettings();
  main.openSettings();
  QCOMPARE(main.barCaptions(), (QStringList{"Прайс-лист", "Настройки"}));
  // A minimised window comes back through its button.
  auto* sub = qobject_cast<QMdiSubWindow*>(price->parentWidget());
  QVERIFY(sub);
  sub->showMinimized();
  main.activateBarWindow(main.barButton(QStringLiteral("Прайс-лист")));
  QVERIFY(sub->isMaximized());
  QCOMPARE(main.mdiArea()->activeSubWindow(), sub);
  // Closing a window removes only its own button; reopening adds it once.
  price->close();
  QTRY_VERIFY(!main.priceWindow());
  QCOMPARE(main.barCaptions(), QStringList{"Настройки"});
  main.openPriceWindow();
  QCOMPARE(main.barCaptions(), (QStringList{"Настройки", "Прайс-лист"}));
}

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
