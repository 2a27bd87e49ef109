// The settings dialog on real windows (offscreen platform): its controls, loading,
// saving with its confirmation, re-registration and its window-bar button.
#include <QtTest>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>

#include <memory>

#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "options/frmOptions.h"
#include "price/FlexGrid.h"
#include "price/frm_price.h"
#include "shell/Twips.h"
#include "shell/frm_main.h"
#include "shell/ini.h"
#include "shell/messages.h"
#include "shell/numbers.h"
#include "shell/public_var.h"

namespace {

const QString kSettings = QStringLiteral("Настройки");
const QString kQuestion = QStringLiteral("Вы уверены что хотите изменить настройки ?");

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

QString setting(const char* section, const char* key)
{
    return ReadSetting(SettingsPath, QLatin1String(section), QLatin1String(key), QStringLiteral("?"));
}

void put(const char* section, const char* key, const QString& value)
{
    WriteSetting(SettingsPath, QLatin1String(section), QLatin1String(key), value);
}

void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

} // namespace

class TestOptions : public QObject {
    Q_OBJECT

    std::unique_ptr<TestProgramFolder> folder;
    std::unique_ptr<msg::ScopedRecorder> recorder;
    std::unique_ptr<frm_main> main;

    void startMain(bool withPriceList = false)
    {
        if (withPriceList) {
            PriceDbBuilder db(folder->priceDb());
            db.addCategory(1, QStringLiteral("Краски"));
            db.addProduct(QStringLiteral("1"), 1, QStringLiteral("К-1"), 5, 100.0, QStringLiteral("Краска белая"));
            db.addProduct(QStringLiteral("2"), 1, QStringLiteral("К-2"), 7, 120.0, QStringLiteral("Краска синяя"));
        }
        recorder = std::make_unique<msg::ScopedRecorder>();
        main = std::make_unique<frm_main>();
        main->resize(1200, 800);
        main->show();
        if (withPriceList)
            main->ShowStartupWindow();
    }

    frmOptions* openDialog()
    {
        main->settings_Click();
        frmOptions* d = main->optionsWindow();
        if (d && !QTest::qWaitForWindowExposed(d))
            qWarning("settings dialog not exposed");
        return d;
    }

    QStringList sectionKeysInFileOrder() const
    {
        QStringList keys;
        const QString text = cp1251::decode(readAll(SettingsPath));
        for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (line.startsWith(QLatin1Char('[')))
                keys << line;
            else if (eq > 0)
                keys << line.left(eq);
        }
        return keys;
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

    void controlsNamesCaptionsAndPositions()
    {
        startMain();
        frmOptions* d = openDialog();
        QVERIFY(d);
        QCOMPARE(d->objectName(), QStringLiteral("frmOptions"));
        QCOMPARE(d->windowTitle(), kSettings);
        QVERIFY(d->isWindow());
        QVERIFY(d->isVisible());
        QCOMPARE(d->size(), twips::toPx(0, 0, 6150, 5205).size());

        struct Expect {
            const char* name;
            const char* parent;
            QString caption;
            QRect rect;
        };
        const QList<Expect> expected{
            {"Frame1", "frmOptions", QStringLiteral("Авторизация"), twips::toPx(120, 120, 5895, 1455)},
            {"Text1", "Frame1", QString(), twips::toPx(120, 240, 1095, 375)},
            {"Label1", "Frame1", QStringLiteral("Код организации.Например: 123"), twips::toPx(1320, 240, 3615, 375)},
            {"Label2", "Frame1", QStringLiteral("Наименование организации.Например: ООО \"Наша организация\""),
             twips::toPx(120, 600, 5415, 375)},
            {"Text2", "Frame1", QString(), twips::toPx(120, 960, 5415, 375)},
            {"Frame2", "frmOptions", QStringLiteral("Дополнительные настройки"), twips::toPx(120, 1680, 5895, 1335)},
            {"Check1", "Frame2", QStringLiteral("Изображения построчно"), twips::toPx(240, 240, 5175, 375)},
            {"Check2", "Frame2", QStringLiteral("Изображение"), twips::toPx(240, 600, 5295, 375)},
            {"Check3", "Frame2", QStringLiteral("Выводить суммы"), twips::toPx(240, 960, 3495, 255)},
            {"Frame3", "frmOptions", QStringLiteral("Размеры колонок"), twips::toPx(120, 3120, 5895, 1455)},
            {"Label3", "Frame3", QStringLiteral("НАИМЕНОВАНИЕ"), twips::toPx(240, 240, 1455, 255)},
            {"Text3", "Frame3", QString(), twips::toPx(1800, 240, 975, 285)},
            {"Label4", "Frame3", QStringLiteral("ОСТАТОК"), twips::toPx(240, 600, 1455, 255)},
            {"Text4", "Frame3", QString(), twips::toPx(1800, 600, 975, 285)},
            {"Label5", "Frame3", QStringLiteral("ЦЕНА"), twips::toPx(240, 960, 1455, 255)},
            {"Text5", "Frame3", QString(), twips::toPx(1800, 960, 975, 285)},
            {"Label6", "Frame3", QStringLiteral("ЗАКАЗ"), twips::toPx(3600, 240, 615, 375)},
            {"Text6", "Frame3", QString(), twips::toPx(4320, 240, 975, 285)},
            {"Label7", "Frame3", QStringLiteral("СУММА"), twips::toPx(3480, 600, 615, 255)},
            {"Text7", "Frame3", QString(), twips::toPx(4320, 600, 975, 285)},
            {"Command1", "frmOptions", QStringLiteral("Перерегистрация"), twips::toPx(240, 4680, 1815, 375)},
            {"cmdOK", "frmOptions", QStringLiteral("OK"), twips::toPx(4920, 4680, 1095, 375)},
        };
        for (const Expect& e : expected) {
            QWidget* c = d->findChild<QWidget*>(QLatin1String(e.name));
            QVERIFY2(c, e.name);
            QCOMPARE(c->parentWidget()->objectName(), QLatin1String(e.parent));
            QCOMPARE(c->geometry(), e.rect);
            if (auto* g = qobject_cast<QGroupBox*>(c))
                QCOMPARE(g->title(), e.caption);
            else if (auto* l = qobject_cast<QLabel*>(c))
                QCOMPARE(l->text(), e.caption);
            else if (auto* b = qobject_cast<QAbstractButton*>(c))
                QCOMPARE(b->text(), e.caption);
        }
        // The code and the name are shown only; OK comes first in the tab order.
        QVERIFY(!d->Text1->isEnabled());
        QVERIFY(!d->Text2->isEnabled());
        QList<QWidget*> tabOrder;
        for (QWidget* f = d->nextInFocusChain(); f != d; f = f->nextInFocusChain())
            if ((f->focusPolicy() & Qt::TabFocus) && f->isEnabled() && f->isVisibleTo(d))
                tabOrder << f;
        QVERIFY(!tabOrder.isEmpty());
        QCOMPARE(tabOrder.first(), static_cast<QWidget*>(d->cmdOK));
        QVERIFY(tabOrder.indexOf(d->Check1) < tabOrder.indexOf(d->Text3));
        QCOMPARE(d->focusWidget(), static_cast<QWidget*>(d->cmdOK));
        QCOMPARE(frmOptions::serviceCode().size(), 2);
        QVERIFY(frmOptions::serviceCode().startsWith(QLatin1Char('-')));
        QVERIFY(frmOptions::serviceCode().at(1).isDigit());
    }

    void loadBeforeSignIn()
    {
        startMain();
        OrganisationId = OrganisationName = ImageToString = ImageThumb = QStringLiteral("stale");
        frmOptions* d = openDialog();
        QVERIFY(d);
        QCOMPARE(d->Text1->text(), QStringLiteral("?"));
        QCOMPARE(d->Text2->text(), QStringLiteral("?"));
        QVERIFY(!d->Check1->isChecked());
        QVERIFY(!d->Check2->isChecked());
        QVERIFY(!d->Check3->isChecked());
        QVERIFY(!d->Check3->isVisible());
        QCOMPARE(d->Text3->text(), QStringLiteral("6000"));
        QCOMPARE(d->Text4->text(), QStringLiteral("1000"));
        QCOMPARE(d->Text5->text(), QStringLiteral("1000"));
        QCOMPARE(d->Text6->text(), QStringLiteral("1000"));
        QCOMPARE(d->Text7->text(), QStringLiteral("1000"));
        QCOMPARE(OrganisationId, QStringLiteral("?"));
        QCOMPARE(OrganisationName, QStringLiteral("?"));
        QCOMPARE(ImageToString, QStringLiteral("?"));
        QCOMPARE(ImageThumb, QStringLiteral("?"));
        QVERIFY(recorder->boxes.empty());
    }

    void missingKeysShowUnset()
    {
        writeAll(SettingsPath, QByteArray("[forms]\r\nname=5000\r\n"));
        startMain();
        frmOptions* d = openDialog();
        QVERIFY(d);
        QCOMPARE(d->Text3->text(), QStringLiteral("5000"));
        for (QLineEdit* t : {d->Text1, d->Text2, d->Text4, d->Text5, d->Text6, d->Text7})
            QCOMPARE(t->text(), QStringLiteral("?"));
    }

    void serviceCodeShowsSums()
    {
        folder->signIn(frmOptions::serviceCode(), QStringLiteral("Сервис"));
        put("settings", "visiblesumm", QStringLiteral("1"));
        startMain();
        frmOptions* d = openDialog();
        QVERIFY(d);
        QCOMPARE(d->Text1->text(), frmOptions::serviceCode());
        QVERIFY(d->Check3->isVisible());
        QVERIFY(d->Check3->isChecked());
        d->close();
        flushDeletes();

        // Any other code hides it, even "-70" or the digit alone.
        for (const QString& code : {QStringLiteral("123"), frmOptions::serviceCode() + QLatin1Char('0'),
                                    frmOptions::serviceCode().mid(1)}) {
            folder->signIn(code, QStringLiteral("Сервис"));
            frmOptions* other = openDialog();
            QVERIFY(other);
            QCOMPARE(other->Text1->text(), code);
            QVERIFY2(!other->Check3->isVisible(), qPrintable(code));
            other->close();
            flushDeletes();
        }
    }

    void checkBoxesTickedOnlyForOne()
    {
        struct Case {
            QString value;
            bool ticked;
        };
        const QList<Case> cases{{QStringLiteral("1"), true},     {QStringLiteral(" 1"), true},
                                {QStringLiteral("1.0"), true},   {QStringLiteral("1abc"), true},
                                {QStringLiteral("да"), false},   {QStringLiteral("yes"), false},
                                {QStringLiteral("2"), false},    {QStringLiteral("0"), false},
                                {QStringLiteral("1,5"), true},   {QStringLiteral("1.5"), false},
                                {QStringLiteral("?"), false}};
        startMain();
        for (const Case& c : cases) {
            put("settings", "imagetostring", c.value);
            put("settings", "imagethumb", c.value);
            put("settings", "visiblesumm", c.value);
            frmOptions* d = openDialog();
            QVERIFY(d);
            QVERIFY2(d->Check1->isChecked() == c.ticked, qPrintable(c.value));
            QVERIFY2(d->Check2->isChecked() == c.ticked, qPrintable(c.value));
            QVERIFY2(d->Check3->isChecked() == c.ticked, qPrintable(c.value));
            d->close();
            flushDeletes();
        }
    }

    void okNoWritesNothingAndStaysOpen()
    {
        startMain();
        frmOptions* d = openDialog();
        QVERIFY(d);
        const QByteArray before = readAll(SettingsPath);
        d->Check1->setChecked(true);
        d->Text3->setText(QStringLiteral("4321"));
        recorder->answers.push_back(msg::Answer::No);
        QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        QCOMPARE(recorder->boxes.size(), size_t(1));
        const msg::Box& box = recorder->boxes.front();
        QCOMPARE(box.text, kQuestion);
        QVERIFY(box.yesNo);
        QCOMPARE(box.icon, msg::Icon::Question);
        QCOMPARE(box.title, msg::applicationTitle());
        flushDeletes();
        QCOMPARE(main->optionsWindow(), d);
        QVERIFY(d->isVisible());
        QVERIFY(d->Check1->isChecked());
        QCOMPARE(d->Text3->text(), QStringLiteral("4321"));
        QCOMPARE(readAll(SettingsPath), before);
        QCOMPARE(main->BarCaptions(), QStringList{kSettings});
    }

    void okYesWritesEverythingAndCloses()
    {
        const QString name = QStringLiteral("ООО \"Ромашка\" и Ко");
        folder->signIn(frmOptions::serviceCode(), name);
        put("settings", "imagetostring", QStringLiteral("1"));
        put("settings", "imagethumb", QStringLiteral("да"));
        put("settings", "visiblesumm", QStringLiteral("0"));
        startMain();
        frmOptions* d = openDialog();
        QVERIFY(d);
        QCOMPARE(d->Text2->text(), name);  // read without the enclosing quotes
        QVERIFY(d->Check1->isChecked());
        QVERIFY(!d->Check2->isChecked());
        QVERIFY(d->Check3->isVisible());

        d->Check1->setChecked(false);
        d->Check2->setChecked(true);
        d->Check3->setChecked(true);
        d->Text3->clear();
        QTest::keyClicks(d->Text3, QStringLiteral("7000abc"));
        d->Text4->setText(QStringLiteral("1500.5"));
        d->Text5->setText(QStringLiteral("abc"));
        d->Text6->setText(QStringLiteral("  250"));
        d->Text7->setText(QStringLiteral("?"));
        recorder->answers.push_back(msg::Answer::Yes);
        QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        QCOMPARE(recorder->boxes.size(), size_t(1));
        QCOMPARE(recorder->boxes.front().text, kQuestion);
        flushDeletes();
        QVERIFY(!main->optionsWindow());
        QVERIFY(main->BarCaptions().isEmpty());

        QCOMPARE(setting("authentication", "id"), frmOptions::serviceCode());
        QCOMPARE(setting("authentication", "login"), name);
        const QString raw = cp1251::decode(readAll(SettingsPath));
        QVERIFY2(raw.contains(QStringLiteral("\r\nlogin=\"") + name + QStringLiteral("\"\r\n")), qPrintable(raw));
        QCOMPARE(setting("settings", "imagetostring"), QStringLiteral("0"));
        QCOMPARE(setting("settings", "imagethumb"), QStringLiteral("1"));
        QCOMPARE(setting("settings", "visiblesumm"), QStringLiteral("1"));
        QCOMPARE(setting("forms", "name"), QStringLiteral("7000"));
        QCOMPARE(setting("forms", "remainder"), num::locale(1500.5));
        QCOMPARE(setting("forms", "price"), QStringLiteral("0"));
        QCOMPARE(setting("forms", "order"), QStringLiteral("250"));
        QCOMPARE(setting("forms", "summ"), QStringLiteral("0"));
        // The default file's line structure is kept: the same 13 lines, in place.
        QCOMPARE(raw.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).size(), 13);

        // Opened again, the name comes back the same.
        frmOptions* again = openDialog();
        QVERIFY(again);
        QCOMPARE(again->Text2->text(), name);
        QCOMPARE(again->Text3->text(), QStringLiteral("7000"));
        QCOMPARE(OrganisationName, name);
    }

    void writesInOrder()
    {
        // From an empty file, every key is added where it is first written.
        writeAll(SettingsPath, QByteArray());
        startMain();
        frmOptions* d = openDialog();
        QVERIFY(d);
        QCOMPARE(d->Text1->text(), QStringLiteral("?"));
        recorder->answers.push_back(msg::Answer::Yes);
        d->cmdOK_Click();
        const QStringList expected{QStringLiteral("[authentication]"), QStringLiteral("id"), QStringLiteral("login"),
                                   QStringLiteral("[settings]"), QStringLiteral("imagetostring"), QStringLiteral("imagethumb"),
                                   QStringLiteral("visiblesumm"), QStringLiteral("[forms]"), QStringLiteral("name"),
                                   QStringLiteral("remainder"), QStringLiteral("price"), QStringLiteral("order"),
                                   QStringLiteral("summ")};
        QCOMPARE(sectionKeysInFileOrder(), expected);
        QCOMPARE(setting("authentication", "id"), QStringLiteral("?"));
        QCOMPARE(setting("authentication", "login"), QStringLiteral("?"));
        QVERIFY(cp1251::decode(readAll(SettingsPath)).contains(QStringLiteral("login=\"?\"")));
        QCOMPARE(setting("forms", "name"), QStringLiteral("0"));
    }

    void lineBreaksDoNotBreakTheFile()
    {
        startMain();
        frmOptions* d = openDialog();
        QVERIFY(d);
        d->Text1->setText(QStringLiteral("12\r\n[forms]\r\nname=1"));
        d->Text2->setText(QStringLiteral("ООО\nРомашка"));
        recorder->answers.push_back(msg::Answer::Yes);
        d->cmdOK_Click();
        const QStringList lines = cp1251::decode(readAll(SettingsPath)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 13);
        QCOMPARE(lines.count(QStringLiteral("[forms]")), 1);
        QVERIFY(setting("authentication", "id").startsWith(QStringLiteral("12")));
        QCOMPARE(setting("forms", "name"), QStringLiteral("6000"));
        QVERIFY(!setting("authentication", "login").contains(QLatin1Char('\n')));
    }

    void widthsUsedByThePriceListNextTime()
    {
        startMain(true);
        frm_price* w = main->priceWindow();
        QVERIFY(w);
        FlexGrid* g = w->MSFlexGrid1;
        auto asShown = [g](int twips) { return g->pixelsToTwipsX(g->twipsToPixelsX(twips)); };
        QCOMPARE(g->colWidth(2), asShown(6000));

        frmOptions* d = openDialog();
        QVERIFY(d);
        d->Text3->setText(QStringLiteral("7000abc"));
        d->Text4->setText(QStringLiteral("1200"));
        recorder->answers.push_back(msg::Answer::Yes);
        QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        flushDeletes();
        QVERIFY(!main->optionsWindow());
        // The price list is not told; it reads the widths at its next load.
        QCOMPARE(g->colWidth(2), asShown(6000));
        w->LoadPriceList();
        QCOMPARE(g->colWidth(2), asShown(7000));
        QCOMPARE(g->colWidth(3), asShown(1200));
        QCOMPARE(g->rows(), 3);
    }

    void reRegistrationOpensAuthorization()
    {
        startMain();
        main->Pricelist_Click();  // another button that must stay
        frmOptions* d = openDialog();
        QVERIFY(d);
        const QByteArray before = readAll(SettingsPath);
        QCOMPARE(main->BarCaptions(), (QStringList{QStringLiteral("Прайс-лист"), kSettings}));
        QTest::mouseClick(d->Command1, Qt::LeftButton);
        flushDeletes();
        QVERIFY(!main->optionsWindow());
        QDialog* avtor = nullptr;
        for (QWidget* tw : QApplication::topLevelWidgets())
            if (tw->objectName() == QLatin1String("frm_avtor") && tw->isVisible())
                avtor = qobject_cast<QDialog*>(tw);
        QVERIFY(avtor);
        QVERIFY(!avtor->isModal());
        QCOMPARE(main->BarCaptions(), QStringList{QStringLiteral("Прайс-лист")});
        QCOMPARE(readAll(SettingsPath), before);
        QVERIFY(recorder->boxes.empty());
        avtor->close();
    }

    void windowBarButton()
    {
        startMain();
        main->Pricelist_Click();
        frmOptions* d = openDialog();
        QVERIFY(d);
        QCOMPARE(openDialog(), d);  // shown again: the same dialog, still one button
        QCOMPARE(main->BarCaptions(), (QStringList{QStringLiteral("Прайс-лист"), kSettings}));

        // A second button with the same caption: closing removes only the first.
        main->toolbar()->addAction(kSettings);
        main->toolbar()->addAction(QStringLiteral("Заказы"));
        const QByteArray before = readAll(SettingsPath);
        d->Check1->setChecked(true);
        d->Text3->setText(QStringLiteral("1"));
        QVERIFY(d->close());  // the close box writes nothing
        flushDeletes();
        QVERIFY(!main->optionsWindow());
        QCOMPARE(main->BarCaptions(), (QStringList{QStringLiteral("Прайс-лист"), kSettings, QStringLiteral("Заказы")}));
        QCOMPARE(readAll(SettingsPath), before);
        QVERIFY(recorder->boxes.empty());

        // Opened again: the remaining button serves it, none is added.
        QVERIFY(openDialog());
        QCOMPARE(main->BarCaptions(), (QStringList{QStringLiteral("Прайс-лист"), kSettings, QStringLiteral("Заказы")}));
    }
};

QTEST_MAIN(TestOptions)
#include "test_options.moc"
