// The window bar of the main window. The start-up messages are checked on whole
// update runs by the update test, the settings dialog's button by the options test.
#include "support/WindowTest.h"

class MainWindowTest : public QObject {
  Q_OBJECT
 private slots:
  // One price window and one button for it, whichever way it is opened; a minimised
  // window comes back through its button; closing removes only its own button.
  void windowBar() {
    TestProgramFolder folder;
    msg::ScopedRecorder rec;
    MainWindow main;
    main.startUp(QString());
    main.showStartupWindow();
    QVERIFY(main.barCaptions().isEmpty());  // the start-up window gets no button
    PriceWindow* price = main.priceWindow();
    main.openPriceWindow();
    main.openSettings();
    main.openPriceWindow();
    QCOMPARE(main.priceWindow(), price);
    QCOMPARE(main.barCaptions(), (QStringList{"Прайс-лист", "Настройки"}));
    auto* sub = qobject_cast<QMdiSubWindow*>(price->parentWidget());
    QVERIFY(sub);
    sub->showMinimized();
    main.activateBarWindow(main.barButton(QStringLiteral("Прайс-лист")));
    QVERIFY(sub->isMaximized());
    QCOMPARE(main.mdiArea()->activeSubWindow(), sub);
    price->close();
    QTRY_VERIFY(!main.priceWindow());
    QCOMPARE(main.barCaptions(), QStringList{"Настройки"});
  }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
