// The settings dialog on real windows (offscreen platform): loading, saving with
// its confirmation, the widths at the price list's next load, re-registration.
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
#include "support/Widgets.h"

#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;

namespace {

QByteArray readFile() { return fileContent(settings::path()); }

// The sections and keys of settings.ini in file order.
QStringList keys() {
  QStringList out;
  for (const QString& line : cp1251::decode(readFile()).split(u"\r\n"_s, Qt::SkipEmptyParts))
    out << line.section(u'=', 0, 0);
  return out;
}
const QStringList kAllKeys{
    "[authentication]", "id",   "login",     "[settings]", "imagetostring", "imagethumb", "visiblesumm",
    "[forms]",          "name", "remainder", "price",      "order",         "summ"};

QString setting(const char* section, const char* key) {
  return ReadSetting(settings::path(), QLatin1String(section), QLatin1String(key), u"?"_s);
}

void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace

class TestOptions : public QObject {
  Q_OBJECT

  std::unique_ptr<TestProgramFolder> folder_;
  std::unique_ptr<msg::ScopedRecorder> rec_;
  std::unique_ptr<MainWindow> main_;

  void startMain() {
    rec_ = std::make_unique<msg::ScopedRecorder>();
    main_ = std::make_unique<MainWindow>();
    main_->resize(1200, 800);
    main_->show();
  }

  // Opens the dialog, starting the main window first if needed.
  OptionsDialog* openDialog() {
    if (!main_) startMain();
    main_->openSettings();
    OptionsDialog* d = main_->optionsWindow();
    return d && QTest::qWaitForWindowExposed(d) ? d : nullptr;
  }

  static QLineEdit* edit(OptionsDialog* d, int n) { return child<QLineEdit>(d, qPrintable(u"Text%1"_s.arg(n))); }
  static QCheckBox* box(OptionsDialog* d, int n) { return child<QCheckBox>(d, qPrintable(u"Check%1"_s.arg(n))); }

  // Clicks OK and answers the confirmation.
  void clickOk(OptionsDialog* d, msg::Answer answer) {
    rec_->answers.push_back(answer);
    QTest::mouseClick(child<QPushButton>(d, "cmdOK"), Qt::LeftButton);
    flushDeletes();
  }

 private slots:
  void init() { folder_ = std::make_unique<TestProgramFolder>(); }

  void cleanup() {
    main_.reset();
    flushDeletes();
    rec_.reset();
    folder_.reset();
  }

  // The code and name are shown only, OK has the focus. The service code alone shows
  // "Выводить суммы", not "-70" nor the digit alone; a check box is ticked when its
  // value reads as the number 1 (the decimal comma counts).
  void load_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("boxes");
    QTest::addColumn<bool>("ticked");
    const QStringList unset{"?", "?", "6000", "1000", "1000", "1000", "1000"};
    const QString service = OptionsDialog::serviceCode();
    QTest::newRow("default, before sign-in") << QByteArray() << QString() << unset << QString() << false;
    QTest::newRow("missing keys") << QByteArray("[forms]\r\nname=5000\r\n") << QString()
                                  << QStringList{"?", "?", "5000", "?", "?", "?", "?"} << QString() << false;
    for (const QString& code : {service, u"123"_s, service + u'0', service.mid(1)})
      QTest::newRow(qPrintable("code " + code))
          << QByteArray() << code << QStringList{code, "Сервис"} + unset.mid(2) << QString() << false;
    for (const char* v : {"1", "1abc", "1,5", "да", "2", "0", "1.5"})
      QTest::addRow("boxes '%s'", v) << QByteArray() << QString() << unset << QString::fromUtf8(v)
                                     << QStringList{"1", "1abc", "1,5"}.contains(v);
  }

  void load() {
    QFETCH(QByteArray, file);
    QFETCH(QString, code);
    QFETCH(QStringList, texts);
    QFETCH(QString, boxes);
    QFETCH(bool, ticked);
    if (!file.isEmpty()) QVERIFY(writeFileContent(settings::path(), file));
    if (!code.isEmpty()) folder_->signIn(code, u"Сервис"_s);
    for (const char* key : {"imagetostring", "imagethumb", "visiblesumm"})
      if (!boxes.isEmpty()) WriteSetting(settings::path(), u"settings"_s, QLatin1String(key), boxes);
    OptionsDialog* d = openDialog();
    QVERIFY(d);
    QStringList shown;
    for (int i = 1; i <= 7; ++i) shown << edit(d, i)->text();
    QCOMPARE(shown, texts);
    QCOMPARE((QList<bool>{box(d, 1)->isChecked(), box(d, 2)->isChecked(), box(d, 3)->isChecked()}),
             QList<bool>(3, ticked));
    QCOMPARE(box(d, 3)->isVisible(), code == OptionsDialog::serviceCode());
    QVERIFY(!edit(d, 1)->isEnabled() && !edit(d, 2)->isEnabled());
    QCOMPARE(d->focusWidget(), static_cast<QWidget*>(child<QPushButton>(d, "cmdOK")));
    QVERIFY(rec_->boxes.empty());
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
    const QString name = u"ООО \"Ромашка\" и Ко"_s;
    folder_->signIn(OptionsDialog::serviceCode(), name);
    WriteSetting(settings::path(), u"settings"_s, u"imagetostring"_s, u"1"_s);
    OptionsDialog* d = openDialog();
    QVERIFY(d);
    const QByteArray before = readFile();
    box(d, 1)->setChecked(false);
    box(d, 2)->setChecked(true);
    box(d, 3)->setChecked(true);
    edit(d, 3)->clear();
    QTest::keyClicks(edit(d, 3), u"7000abc"_s);
    const char* typed[] = {"1500.5", "abc", "  250"};
    for (int i = 4; i <= 6; ++i) edit(d, i)->setText(QString::fromLatin1(typed[i - 4]));
    clickOk(d, yes ? msg::Answer::Yes : msg::Answer::No);
    QCOMPARE(rec_->texts(), QStringList{u"Вы уверены что хотите изменить настройки ?"_s});
    if (!yes) {
      QVERIFY(main_->optionsWindow() == d && d->isVisible() && box(d, 2)->isChecked());
      QCOMPARE(readFile(), before);
      return;
    }
    QVERIFY(!main_->optionsWindow());
    QCOMPARE(keys(), kAllKeys);
    QCOMPARE(setting("authentication", "id"), OptionsDialog::serviceCode());
    QVERIFY(cp1251::decode(readFile()).contains(u"\r\nlogin=\""_s + name + u"\"\r\n"_s));
    QStringList written;
    for (const char* key : {"imagetostring", "imagethumb", "visiblesumm", "name", "remainder", "price", "order"})
      written << setting(written.size() < 3 ? "settings" : "forms", key);
    QCOMPARE(written, (QStringList{"0", "1", "1", "7000", num::locale(1500.5), "0", "250"}));
    QVERIFY(openDialog());
    QCOMPARE(edit(main_->optionsWindow(), 2)->text(), name);
  }

  // An empty file gets every key in order; line breaks typed into the code or the name
  // never add lines or sections.
  void writesMissingKeysInOrder() {
    QVERIFY(QFile::resize(settings::path(), 0));
    OptionsDialog* d = openDialog();
    QVERIFY(d);
    edit(d, 1)->setText(u"12\r\n[forms]\r\nname=1"_s);
    edit(d, 2)->setText(u"ООО\nРомашка"_s);
    clickOk(d, msg::Answer::Yes);
    QCOMPARE(keys(), kAllKeys);
    QVERIFY(setting("authentication", "id").startsWith(u"12"_s));
    QVERIFY(!setting("authentication", "login").contains(u'\n'));
    QCOMPARE(setting("forms", "name"), u"0"_s);
  }

  void priceListUsesNewWidthsAtItsNextLoad() {
    PriceDbBuilder db(folder_->priceDb());
    db.addCategory(1, u"Краски"_s);
    db.addProduct(u"1"_s, 1, u"К-1"_s, 5, 100.0, u"Краска белая"_s);
    db.addProduct(u"2"_s, 1, u"К-2"_s, 7, 120.0, u"Краска синяя"_s);
    startMain();
    main_->showStartupWindow();
    PriceWindow* w = main_->priceWindow();
    QVERIFY(w);
    FlexGrid* g = child<FlexGrid>(w, "MSFlexGrid1");
    auto asShown = [g](int twips) { return g->pixelsToTwipsX(g->twipsToPixelsX(twips)); };
    OptionsDialog* d = openDialog();
    QVERIFY(d);
    edit(d, 3)->setText(u"7000abc"_s);
    edit(d, 4)->setText(u"1200"_s);
    clickOk(d, msg::Answer::Yes);
    QCOMPARE(g->colWidth(2), asShown(6000));  // not told
    w->loadPriceList();
    QCOMPARE((QList<int>{g->colWidth(2), g->colWidth(3), g->rows()}), (QList<int>{asShown(7000), asShown(1200), 3}));
  }

  // Re-registration swaps the dialog for the authorization window (not modal) and
  // writes nothing, though a box was ticked.
  void reRegistration() {
    OptionsDialog* d = openDialog();
    QVERIFY(d);
    const QByteArray before = readFile();
    box(d, 1)->setChecked(true);
    QTest::mouseClick(child<QPushButton>(d, "Command1"), Qt::LeftButton);
    flushDeletes();
    QVERIFY(!main_->optionsWindow());
    QDialog* avtor = nullptr;
    for (QWidget* tw : QApplication::topLevelWidgets())
      if (tw->objectName() == u"frm_avtor"_s && tw->isVisible()) avtor = qobject_cast<QDialog*>(tw);
    QVERIFY(avtor && !avtor->isModal());
    QCOMPARE(readFile(), before);
    QVERIFY(rec_->boxes.empty());
  }
};

QTEST_MAIN(TestOptions)
#include "test_options.moc"
