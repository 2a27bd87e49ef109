// The settings dialog on real windows (offscreen platform): its controls, loading,
// saving with its confirmation, re-registration and its window-bar button.
#include "support/Widgets.h"

#include <QtTest>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>

#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "base/Numbers.h"
#include "base/Settings.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "gui/common/MessageBoxes.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceWindow.h"
#include "gui/settings/OptionsDialog.h"

namespace {

const QString kSettings = QStringLiteral("Настройки");
const QString kPrice = QStringLiteral("Прайс-лист");
const QString kQuestion = QStringLiteral("Вы уверены что хотите изменить настройки ?");

QByteArray readFile() {
  QFile f(settings::path());
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QByteArray& bytes) {
  QFile f(settings::path());
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
}

QStringList fileLines() { return cp1251::decode(readFile()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts); }

QString setting(const char* section, const char* key) {
  return ReadSetting(settings::path(), QLatin1String(section), QLatin1String(key), QStringLiteral("?"));
}

void put(const char* key, const QString& value) {
  WriteSetting(settings::path(), QStringLiteral("settings"), QLatin1String(key), value);
}

void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace

class TestOptions : public QObject {
  Q_OBJECT

  std::unique_ptr<TestProgramFolder> folder;
  std::unique_ptr<msg::ScopedRecorder> recorder;
  std::unique_ptr<MainWindow> main;

  void startMain() {
    recorder = std::make_unique<msg::ScopedRecorder>();
    main = std::make_unique<MainWindow>();
    main->resize(1200, 800);
    main->show();
  }

  // Opens the dialog, starting the main window first if needed.
  OptionsDialog* openDialog() {
    if (!main) startMain();
    main->openSettings();
    OptionsDialog* d = main->optionsWindow();
    if (d && !QTest::qWaitForWindowExposed(d)) qWarning("settings dialog not exposed");
    return d;
  }

  static QLineEdit* edit(OptionsDialog* d, int n) {
    return child<QLineEdit>(d, qPrintable(QStringLiteral("Text%1").arg(n)));
  }
  static QCheckBox* box(OptionsDialog* d, int n) {
    return child<QCheckBox>(d, qPrintable(QStringLiteral("Check%1").arg(n)));
  }

  // Clicks OK and answers the confirmation.
  void clickOk(OptionsDialog* d, msg::Answer answer) {
    recorder->answers.push_back(answer);
    QTest::mouseClick(child<QPushButton>(d, "cmdOK"), Qt::LeftButton);
    flushDeletes();
  }

 private slots:
  void init() { folder = std::make_unique<TestProgramFolder>(); }

  void cleanup() {
    main.reset();
    flushDeletes();
    recorder.reset();
    folder.reset();
  }

  // The code and name are shown only, OK has the focus. The service code alone shows
  // "Выводить суммы", not "-70" nor the digit alone; a check box is ticked when its
  // value reads as the number 1 (the decimal comma counts).
  void load_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<bool>("sums");
    QTest::addColumn<QString>("boxes");
    QTest::addColumn<bool>("ticked");
    const QStringList unset{"?", "?", "6000", "1000", "1000", "1000", "1000"};
    const QString service = OptionsDialog::serviceCode();
    QTest::newRow("default, before sign-in") << QByteArray() << QString() << unset << false << QString() << false;
    QTest::newRow("missing keys") << QByteArray("[forms]\r\nname=5000\r\n") << QString()
                                  << QStringList{"?", "?", "5000", "?", "?", "?", "?"} << false << QString() << false;
    for (const QString& code : {service, QStringLiteral("123"), service + QLatin1Char('0'), service.mid(1)})
      QTest::newRow(qPrintable("code " + code)) << QByteArray() << code << QStringList{code, "Сервис"} + unset.mid(2)
                                                << (code == service) << QString() << false;
    for (const char* v : {"1", "1abc", "1,5", "да", "2", "0", "1.5"})
      QTest::newRow(qPrintable(QStringLiteral("boxes '%1'").arg(v)))
          << QByteArray() << QString() << unset << false << QString::fromUtf8(v)
          << QStringList{"1", " 1", "1abc", "1,5"}.contains(v);
  }

  void load() {
    QFETCH(QByteArray, file);
    QFETCH(QString, code);
    QFETCH(QStringList, texts);
    QFETCH(bool, sums);
    QFETCH(QString, boxes);
    QFETCH(bool, ticked);
    if (!file.isEmpty()) writeFile(file);
    if (!code.isEmpty()) folder->signIn(code, QStringLiteral("Сервис"));
    for (const char* key : {"imagetostring", "imagethumb", "visiblesumm"})
      if (!boxes.isEmpty()) put(key, boxes);
    OptionsDialog* d = openDialog();
    QVERIFY(d);
    QStringList shown;
    for (int i = 1; i <= 7; ++i) shown << edit(d, i)->text();
    QCOMPARE(shown, texts);
    QCOMPARE((QList<bool>{box(d, 1)->isChecked(), box(d, 2)->isChecked(), box(d, 3)->isChecked()}),
             QList<bool>(3, ticked));
    QCOMPARE(box(d, 3)->isVisible(), sums);
    QVERIFY(!edit(d, 1)->isEnabled() && !edit(d, 2)->isEnabled());
    QCOMPARE(d->focusWidget(), static_cast<QWidget*>(child<QPushButton>(d, "cmdOK")));
    QVERIFY(recorder->boxes.empty());
  }

  void ok_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("no") << false;
    QTest::newRow("yes") << true;
  }

  // OK asks first: No writes nothing and keeps the dialog; Yes writes every value in
  // place and closes it, and a quoted Cyrillic name comes back the same.
  void ok() {
    QFETCH(bool, yes);
    const QString name = QStringLiteral("ООО \"Ромашка\" и Ко");
    folder->signIn(OptionsDialog::serviceCode(), name);
    put("imagetostring", QStringLiteral("1"));
    OptionsDialog* d = openDialog();
    QVERIFY(d);
    const QByteArray before = readFile();
    box(d, 1)->setChecked(false);
    box(d, 2)->setChecked(true);
    box(d, 3)->setChecked(true);
    edit(d, 3)->clear();
    QTest::keyClicks(edit(d, 3), QStringLiteral("7000abc"));
    const char* typed[] = {"1500.5", "abc", "  250"};
    for (int i = 4; i <= 6; ++i) edit(d, i)->setText(QString::fromLatin1(typed[i - 4]));
    clickOk(d, yes ? msg::Answer::Yes : msg::Answer::No);
    QCOMPARE(recorder->texts(), QStringList{kQuestion});
    QVERIFY(recorder->boxes.front().yesNo && recorder->boxes.front().icon == msg::Icon::Question);
    if (!yes) {
      QCOMPARE(main->optionsWindow(), d);
      QVERIFY(d->isVisible() && box(d, 2)->isChecked());
      QCOMPARE(readFile(), before);
      return;
    }
    QVERIFY(!main->optionsWindow());
    QCOMPARE(setting("authentication", "id"), OptionsDialog::serviceCode());
    QCOMPARE(setting("authentication", "login"), name);
    QVERIFY(fileLines().contains(QStringLiteral("login=\"") + name + QLatin1Char('"')));
    QStringList written;
    for (const char* key : {"imagetostring", "imagethumb", "visiblesumm", "name", "remainder", "price", "order"})
      written << setting(written.size() < 3 ? "settings" : "forms", key);
    QCOMPARE(written, (QStringList{"0", "1", "1", "7000", num::locale(1500.5), "0", "250"}));
    QCOMPARE(fileLines().size(), 13);  // the default file's lines, in place
    QVERIFY(openDialog());
    QCOMPARE(edit(main->optionsWindow(), 2)->text(), name);  // a quoted name comes back the same
  }

  // An empty file gets every key in order; line breaks typed into the code or the name
  // never add lines or sections.
  void writesMissingKeysInOrder() {
    writeFile(QByteArray());
    OptionsDialog* d = openDialog();
    QVERIFY(d);
    edit(d, 1)->setText(QStringLiteral("12\r\n[forms]\r\nname=1"));
    edit(d, 2)->setText(QStringLiteral("ООО\nРомашка"));
    clickOk(d, msg::Answer::Yes);
    QStringList keys;
    for (const QString& line : fileLines()) keys << line.section(QLatin1Char('='), 0, 0);
    QCOMPARE(keys, (QStringList{"[authentication]", "id", "login", "[settings]", "imagetostring", "imagethumb",
                                "visiblesumm", "[forms]", "name", "remainder", "price", "order", "summ"}));
    QVERIFY(setting("authentication", "id").startsWith(QStringLiteral("12")));
    QVERIFY(!setting("authentication", "login").contains(QLatin1Char('\n')));
    QCOMPARE(setting("forms", "name"), QStringLiteral("0"));
  }

  void priceListUsesNewWidthsAtItsNextLoad() {
    PriceDbBuilder db(folder->priceDb());
    db.addCategory(1, QStringLiteral("Краски"));
    db.addProduct(QStringLiteral("1"), 1, QStringLiteral("К-1"), 5, 100.0, QStringLiteral("Краска белая"));
    db.addProduct(QStringLiteral("2"), 1, QStringLiteral("К-2"), 7, 120.0, QStringLiteral("Краска синяя"));
    startMain();
    main->showStartupWindow();
    PriceWindow* w = main->priceWindow();
    QVERIFY(w);
    FlexGrid* g = child<FlexGrid>(w, "MSFlexGrid1");
    auto asShown = [g](int twips) { return g->pixelsToTwipsX(g->twipsToPixelsX(twips)); };
    OptionsDialog* d = openDialog();
    QVERIFY(d);
    edit(d, 3)->setText(QStringLiteral("7000abc"));
    edit(d, 4)->setText(QStringLiteral("1200"));
    clickOk(d, msg::Answer::Yes);
    QCOMPARE(g->colWidth(2), asShown(6000));  // not told
    w->loadPriceList();
    QCOMPARE((QList<int>{g->colWidth(2), g->colWidth(3), g->rows()}), (QList<int>{asShown(7000), asShown(1200), 3}));
  }

  // One button per dialog, removed when it closes; re-registration swaps the dialog for
  // the authorization window. Neither the close box nor re-registration writes anything.
  void windowBarAndReRegistration() {
    startMain();
    main->openPriceWindow();
    OptionsDialog* d = openDialog();
    QVERIFY(d);
    QCOMPARE(openDialog(), d);  // shown again: the same dialog, still one button
    QCOMPARE(main->barCaptions(), (QStringList{kPrice, kSettings}));
    // A second button with the same caption: closing removes only the first.
    main->toolbar()->addAction(kSettings);
    main->toolbar()->addAction(QStringLiteral("Заказы"));
    const QByteArray before = readFile();
    box(d, 1)->setChecked(true);
    QVERIFY(d->close());
    flushDeletes();
    QVERIFY(!main->optionsWindow());
    QCOMPARE(main->barCaptions(), (QStringList{kPrice, kSettings, QStringLiteral("Заказы")}));
    d = openDialog();  // the remaining button serves it
    QVERIFY(d);
    QCOMPARE(main->barCaptions(), (QStringList{kPrice, kSettings, QStringLiteral("Заказы")}));

    QTest::mouseClick(child<QPushButton>(d, "Command1"), Qt::LeftButton);
    flushDeletes();
    QVERIFY(!main->optionsWindow());
    QDialog* avtor = nullptr;
    for (QWidget* tw : QApplication::topLevelWidgets())
      if (tw->objectName() == QLatin1String("frm_avtor") && tw->isVisible()) avtor = qobject_cast<QDialog*>(tw);
    QVERIFY(avtor && !avtor->isModal());
    avtor->close();
    QCOMPARE(main->barCaptions(), (QStringList{kPrice, QStringLiteral("Заказы")}));
    QCOMPARE(readFile(), before);
    QVERIFY(recorder->boxes.empty());
  }
};

QTEST_MAIN(TestOptions)
#include "test_options.moc"
