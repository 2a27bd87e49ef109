// The settings dialog on real windows (offscreen platform): its controls, loading,
// saving with its confirmation, re-registration and its window-bar button.
#include "support/Widgets.h"

#include <QtTest>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>

#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "gui/settings/OptionsDialog.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceWindow.h"
#include "gui/common/Twips.h"
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "gui/common/MessageBoxes.h"
#include "base/Numbers.h"
#include "base/Settings.h"

namespace {

const QString kSettings = QStringLiteral("Настройки");
const QString kPrice = QStringLiteral("Прайс-лист");
const QString kQuestion = QStringLiteral("Вы уверены что хотите изменить настройки ?");

QByteArray readFile()
{
    QFile f(settings::path());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QByteArray& bytes)
{
    QFile f(settings::path());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
}

QStringList fileLines() { return cp1251::decode(readFile()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts); }

QString setting(const char* section, const char* key)
{
    return ReadSetting(settings::path(), QLatin1String(section), QLatin1String(key), QStringLiteral("?"));
}

void put(const char* key, const QString& value)
{
    WriteSetting(settings::path(), QStringLiteral("settings"), QLatin1String(key), value);
}

void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

} // namespace

class TestOptions : public QObject {
    Q_OBJECT

    std::unique_ptr<TestProgramFolder> folder;
    std::unique_ptr<msg::ScopedRecorder> recorder;
    std::unique_ptr<MainWindow> main;

    void startMain()
    {
        recorder = std::make_unique<msg::ScopedRecorder>();
        main = std::make_unique<MainWindow>();
        main->resize(1200, 800);
        main->show();
    }

    // Opens the dialog, starting the main window first if needed.
    OptionsDialog* openDialog()
    {
        if (!main)
            startMain();
        main->settings_Click();
        OptionsDialog* d = main->optionsWindow();
        if (d && !QTest::qWaitForWindowExposed(d))
            qWarning("settings dialog not exposed");
        return d;
    }

    // Clicks OK and answers the confirmation.
    void clickOk(OptionsDialog* d, msg::Answer answer)
    {
        recorder->answers.push_back(answer);
        QTest::mouseClick(child<QPushButton>(d, "cmdOK"), Qt::LeftButton);
        flushDeletes();
    }

private slots:
    void init() { folder = std::make_unique<TestProgramFolder>(); }

    void cleanup()
    {
        main.reset();
        flushDeletes();
        recorder.reset();
        folder.reset();
    }

    // A few representative controls; the code and name are shown only, OK has the focus.
    void controls()
    {
        OptionsDialog* d = openDialog();
        QVERIFY(d && d->isWindow());
        QCOMPARE(d->windowTitle(), kSettings);
        QCOMPARE(d->size(), twips::toPx(0, 0, 6150, 5205).size());
        QCOMPARE(child<QGroupBox>(d, "Frame3")->geometry(), twips::toPx(120, 3120, 5895, 1455));
        QCOMPARE(child<QLineEdit>(d, "Text7")->geometry(), twips::toPx(4320, 600, 975, 285));
        QCOMPARE(child<QPushButton>(d, "cmdOK")->geometry(), twips::toPx(4920, 4680, 1095, 375));
        QVERIFY(!child<QLineEdit>(d, "Text1")->isEnabled() && !child<QLineEdit>(d, "Text2")->isEnabled());
        QCOMPARE(d->focusWidget(), static_cast<QWidget*>(child<QPushButton>(d, "cmdOK")));
    }

    // The service code alone shows "Выводить суммы", not "-70" nor the digit alone; a
    // check box is ticked when its value reads as the number 1 (the decimal comma counts).
    void load_data()
    {
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
            QTest::newRow(qPrintable("code " + code)) << QByteArray() << code
                << QStringList{code, "Сервис"} + unset.mid(2) << (code == service) << QString() << false;
        for (const char* v : {"1", " 1", "1abc", "1,5", "да", "yes", "2", "0", "1.5", "?"})
            QTest::newRow(qPrintable(QStringLiteral("boxes '%1'").arg(v))) << QByteArray() << QString() << unset
                << false << QString::fromUtf8(v) << QStringList{"1", " 1", "1abc", "1,5"}.contains(v);
    }

    void load()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, code);
        QFETCH(QStringList, texts);
        QFETCH(bool, sums);
        QFETCH(QString, boxes);
        QFETCH(bool, ticked);
        if (!file.isEmpty())
            writeFile(file);
        if (!code.isEmpty())
            folder->signIn(code, QStringLiteral("Сервис"));
        for (const char* key : {"imagetostring", "imagethumb", "visiblesumm"})
            if (!boxes.isEmpty())
                put(key, boxes);
        OptionsDialog* d = openDialog();
        QVERIFY(d);
        QStringList shown;
        for (QLineEdit* t : {child<QLineEdit>(d, "Text1"), child<QLineEdit>(d, "Text2"), child<QLineEdit>(d, "Text3"), child<QLineEdit>(d, "Text4"), child<QLineEdit>(d, "Text5"), child<QLineEdit>(d, "Text6"), child<QLineEdit>(d, "Text7")})
            shown << t->text();
        QCOMPARE(shown, texts);
        QCOMPARE((QList<bool>{child<QCheckBox>(d, "Check1")->isChecked(), child<QCheckBox>(d, "Check2")->isChecked(), child<QCheckBox>(d, "Check3")->isChecked()}),
                 QList<bool>(3, ticked));
        QCOMPARE(child<QCheckBox>(d, "Check3")->isVisible(), sums);
        QVERIFY(recorder->boxes.empty());
    }

    void ok_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("no") << false;
        QTest::newRow("yes") << true;
    }

    // OK asks first: No writes nothing and keeps the dialog; Yes writes every value in
    // place and closes it, and a quoted Cyrillic name comes back the same.
    void ok()
    {
        QFETCH(bool, yes);
        const QString name = QStringLiteral("ООО \"Ромашка\" и Ко");
        folder->signIn(OptionsDialog::serviceCode(), name);
        put("imagetostring", QStringLiteral("1"));
        OptionsDialog* d = openDialog();
        QVERIFY(d);
        QCOMPARE(child<QLineEdit>(d, "Text2")->text(), name);
        QVERIFY(child<QCheckBox>(d, "Check1")->isChecked() && !child<QCheckBox>(d, "Check2")->isChecked());
        const QByteArray before = readFile();
        child<QCheckBox>(d, "Check1")->setChecked(false);
        child<QCheckBox>(d, "Check2")->setChecked(true);
        child<QCheckBox>(d, "Check3")->setChecked(true);
        child<QLineEdit>(d, "Text3")->clear();
        QTest::keyClicks(child<QLineEdit>(d, "Text3"), QStringLiteral("7000abc"));
        child<QLineEdit>(d, "Text4")->setText(QStringLiteral("1500.5"));
        child<QLineEdit>(d, "Text5")->setText(QStringLiteral("abc"));
        child<QLineEdit>(d, "Text6")->setText(QStringLiteral("  250"));
        clickOk(d, yes ? msg::Answer::Yes : msg::Answer::No);
        QCOMPARE(recorder->texts(), QStringList{kQuestion});
        QVERIFY(recorder->boxes.front().yesNo && recorder->boxes.front().icon == msg::Icon::Question);
        if (!yes) {
            QCOMPARE(main->optionsWindow(), d);
            QVERIFY(d->isVisible() && child<QCheckBox>(d, "Check2")->isChecked());
            QCOMPARE(readFile(), before);
            return;
        }
        QVERIFY(!main->optionsWindow());
        QCOMPARE(setting("authentication", "id"), OptionsDialog::serviceCode());
        QCOMPARE(setting("authentication", "login"), name);
        QVERIFY(fileLines().contains(QStringLiteral("login=\"") + name + QLatin1Char('"')));
        QStringList written;
        for (const char* key : {"imagetostring", "imagethumb", "visiblesumm"})
            written << setting("settings", key);
        for (const char* key : {"name", "remainder", "price", "order"})
            written << setting("forms", key);
        QCOMPARE(written, (QStringList{"0", "1", "1", "7000", num::locale(1500.5), "0", "250"}));
        QCOMPARE(fileLines().size(), 13);  // the default file's lines, in place
        QVERIFY(openDialog());
        QCOMPARE(child<QLineEdit>(main->optionsWindow(), "Text2")->text(), name);
    }

    void writesMissingKeysInOrder()
    {
        writeFile(QByteArray());
        OptionsDialog* d = openDialog();
        QVERIFY(d);
        clickOk(d, msg::Answer::Yes);
        QStringList keys;
        for (const QString& line : fileLines())
            keys << line.section(QLatin1Char('='), 0, 0);
        QCOMPARE(keys, (QStringList{"[authentication]", "id", "login", "[settings]", "imagetostring", "imagethumb",
                                    "visiblesumm", "[forms]", "name", "remainder", "price", "order", "summ"}));
        QVERIFY(fileLines().contains(QStringLiteral("login=\"?\"")));
        QCOMPARE(setting("forms", "name"), QStringLiteral("0"));
    }

    void lineBreaksDoNotBreakTheFile()
    {
        OptionsDialog* d = openDialog();
        QVERIFY(d);
        child<QLineEdit>(d, "Text1")->setText(QStringLiteral("12\r\n[forms]\r\nname=1"));
        child<QLineEdit>(d, "Text2")->setText(QStringLiteral("ООО\nРомашка"));
        clickOk(d, msg::Answer::Yes);
        QCOMPARE(fileLines().size(), 13);
        QCOMPARE(fileLines().count(QStringLiteral("[forms]")), 1);
        QVERIFY(setting("authentication", "id").startsWith(QStringLiteral("12")));
        QVERIFY(!setting("authentication", "login").contains(QLatin1Char('\n')));
        QCOMPARE(setting("forms", "name"), QStringLiteral("6000"));
    }

    void priceListUsesNewWidthsAtItsNextLoad()
    {
        PriceDbBuilder db(folder->priceDb());
        db.addCategory(1, QStringLiteral("Краски"));
        db.addProduct(QStringLiteral("1"), 1, QStringLiteral("К-1"), 5, 100.0, QStringLiteral("Краска белая"));
        db.addProduct(QStringLiteral("2"), 1, QStringLiteral("К-2"), 7, 120.0, QStringLiteral("Краска синяя"));
        startMain();
        main->ShowStartupWindow();
        PriceWindow* w = main->priceWindow();
        QVERIFY(w);
        FlexGrid* g = child<FlexGrid>(w, "MSFlexGrid1");
        auto asShown = [g](int twips) { return g->pixelsToTwipsX(g->twipsToPixelsX(twips)); };
        OptionsDialog* d = openDialog();
        QVERIFY(d);
        child<QLineEdit>(d, "Text3")->setText(QStringLiteral("7000abc"));
        child<QLineEdit>(d, "Text4")->setText(QStringLiteral("1200"));
        clickOk(d, msg::Answer::Yes);
        QCOMPARE(g->colWidth(2), asShown(6000));  // not told
        w->loadPriceList();
        QCOMPARE((QList<int>{g->colWidth(2), g->colWidth(3), g->rows()}), (QList<int>{asShown(7000), asShown(1200), 3}));
    }

    // One button per dialog, removed when it closes; re-registration swaps the dialog for
    // the authorization window. Neither the close box nor re-registration writes anything.
    void windowBarAndReRegistration()
    {
        startMain();
        main->Pricelist_Click();
        OptionsDialog* d = openDialog();
        QVERIFY(d);
        QCOMPARE(openDialog(), d);  // shown again: the same dialog, still one button
        QCOMPARE(main->BarCaptions(), (QStringList{kPrice, kSettings}));
        // A second button with the same caption: closing removes only the first.
        main->toolbar()->addAction(kSettings);
        main->toolbar()->addAction(QStringLiteral("Заказы"));
        const QByteArray before = readFile();
        child<QCheckBox>(d, "Check1")->setChecked(true);
        QVERIFY(d->close());
        flushDeletes();
        QVERIFY(!main->optionsWindow());
        QCOMPARE(main->BarCaptions(), (QStringList{kPrice, kSettings, QStringLiteral("Заказы")}));
        d = openDialog();  // the remaining button serves it
        QVERIFY(d);
        QCOMPARE(main->BarCaptions(), (QStringList{kPrice, kSettings, QStringLiteral("Заказы")}));

        QTest::mouseClick(child<QPushButton>(d, "Command1"), Qt::LeftButton);
        flushDeletes();
        QVERIFY(!main->optionsWindow());
        QDialog* avtor = nullptr;
        for (QWidget* tw : QApplication::topLevelWidgets())
            if (tw->objectName() == QLatin1String("frm_avtor") && tw->isVisible())
                avtor = qobject_cast<QDialog*>(tw);
        QVERIFY(avtor && !avtor->isModal());
        avtor->close();
        QCOMPARE(main->BarCaptions(), (QStringList{kPrice, QStringLiteral("Заказы")}));
        QCOMPARE(readFile(), before);
        QVERIFY(recorder->boxes.empty());
    }
};

QTEST_MAIN(TestOptions)
#include "test_options.moc"
