// settings.ini's rules (code page 1251, every other byte kept), the settings dialog
// (loading, saving, re-registration) and the main window's bar of window buttons.
#include "base/Numbers.h"
#include "gui/settings/OptionsDialog.h"
#include "support/WindowTest.h"

namespace {

QStringList keys() {
  QStringList out;
  for (const QString& line : cp1251::decode(fileContent(settings::path())).split(u"\r\n"_s, Qt::SkipEmptyParts))
    out << line.section(u'=', 0, 0);
  return out;
}
const QStringList kAllKeys{
    "[authentication]", "id",   "login",     "[settings]", "imagetostring", "imagethumb", "visiblesumm",
    "[forms]",          "name", "remainder", "price",      "order",         "summ"};

void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

QLineEdit* edit(OptionsDialog* d, int n) { return child<QLineEdit>(d, qPrintable(u"Text%1"_s.arg(n))); }
QCheckBox* box(OptionsDialog* d, int n) { return child<QCheckBox>(d, qPrintable(u"Check%1"_s.arg(n))); }

}  // namespace

class TestOptions : public QObject {
  Q_OBJECT

  std::unique_ptr<TestProgramFolder> folder_;
  std::unique_ptr<msg::ScopedRecorder> rec_;
  std::unique_ptr<MainWindow> main_;

  OptionsDialog* openDialog() {
    main_->openSettings();
    OptionsDialog* d = main_->optionsWindow();
    return d && QTest::qWaitForWindowExposed(d) ? d : nullptr;
  }

  void clickOk(OptionsDialog* d, msg::Answer answer) {
    rec_->answers.push_back(answer);
    QTest::mouseClick(child<QPushButton>(d, "cmdOK"), Qt::LeftButton);
    flushDeletes();
  }

 private slots:
  void init() {
    folder_ = std::make_unique<TestProgramFolder>();
    rec_ = std::make_unique<msg::ScopedRecorder>();
    main_ = std::make_unique<MainWindow>();
    main_->show();
  }

  void cleanup() {
    main_.reset();
    flushDeletes();
    rec_.reset();
    folder_.reset();
  }

  // The code and name are shown only; the service code alone shows "Выводить суммы"; a
  // box is ticked when its value reads as the number 1 (the decimal comma counts).
  void load_data() {
    QTest::addColumn<QByteArray>("file");  // settings.ini; empty: as installed
    QTest::addColumn<QString>("shown");    // the code, the name and the first two widths
    QTest::addColumn<bool>("ticked");
    const QByteArray service = OptionsDialog::serviceCode().toLatin1();
    QTest::newRow("as installed") << QByteArray() << u"?|?|6000|1000"_s << false;
    for (const QByteArray& code : {service, service + '0', service.mid(1)})
      QTest::newRow("code " + code) << "[authentication]\r\nid= " + code + "\r\nlogin=\"Service\"\r\n"
                                    << QString::fromLatin1(code + "|Service|?|?") << false;
    for (const QByteArray v : {"1", "1abc", "1,5", "1.5", "0"})
      QTest::newRow("boxes " + v) << "[settings]\r\nimagetostring=" + v + "\r\nimagethumb=" + v + "\r\nvisiblesumm=" + v
                                  << u"?|?|?|?"_s << (v.startsWith('1') && v != "1.5");
  }

  void load() {
    QFETCH(QByteArray, file);
    QFETCH(QString, shown);
    QFETCH(bool, ticked);
    if (!file.isEmpty()) QVERIFY(writeFileContent(settings::path(), file));
    OptionsDialog* d = openDialog();
    QVERIFY(d);
    const QStringList texts{edit(d, 1)->text(), edit(d, 2)->text(), edit(d, 3)->text(), edit(d, 4)->text()};
    QCOMPARE(texts.join(u'|'), shown);
    QCOMPARE((QList<bool>{box(d, 1)->isChecked(), box(d, 2)->isChecked(), box(d, 3)->isChecked()}),
             QList<bool>(3, ticked));
    QCOMPARE(box(d, 3)->isVisible(), shown.startsWith(OptionsDialog::serviceCode() + u'|'));
    QVERIFY(!edit(d, 1)->isEnabled() && !edit(d, 2)->isEnabled());
  }

  // OK asks first: No writes nothing; Yes writes every key in order (a number as far
  // as it reads), line breaks adding no line, and the quoted name reads back the same.
  void ok() {
    QVERIFY(QFile::resize(settings::path(), 0));
    const QString name = u"ООО \"Ромашка\" и Ко"_s;
    folder_->signIn(u"57"_s, name);
    OptionsDialog* d = openDialog();
    QVERIFY(d);
    const QByteArray before = fileContent(settings::path());
    box(d, 2)->setChecked(true);
    edit(d, 1)->setText(u"57\r\n[forms]\r\nname=1"_s);
    edit(d, 3)->setText(u"7000abc"_s);
    edit(d, 4)->setText(u"1500.5"_s);
    edit(d, 5)->setText(u"abc"_s);
    clickOk(d, msg::Answer::No);
    QCOMPARE(rec_->texts(), QStringList{u"Вы уверены что хотите изменить настройки ?"_s});
    QVERIFY(main_->optionsWindow() == d && d->isVisible());
    QCOMPARE(fileContent(settings::path()), before);
    clickOk(d, msg::Answer::Yes);
    QVERIFY(!main_->optionsWindow());
    QCOMPARE(keys(), kAllKeys);
    QStringList written;
    for (const char* key : {"imagethumb", "name", "remainder", "price"})
      written << ReadSetting(settings::path(), written.isEmpty() ? u"settings"_s : u"forms"_s, QLatin1String(key), {});
    QCOMPARE(written, (QStringList{"1", "7000", num::locale(1500.5), "0"}));
    QVERIFY(openDialog());
    QCOMPARE(edit(main_->optionsWindow(), 2)->text(), name);
  }

  // Re-registration opens the authorization window and writes nothing, though a box was ticked.
  void reRegistration() {
    OptionsDialog* d = openDialog();
    QVERIFY(d);
    const QByteArray before = fileContent(settings::path());
    box(d, 1)->setChecked(true);
    QTest::mouseClick(child<QPushButton>(d, "Command1"), Qt::LeftButton);
    flushDeletes();
    QVERIFY(!main_->optionsWindow());
    const auto windows = main_->findChildren<QDialog*>(u"frm_avtor"_s);
    QVERIFY(windows.size() == 1 && windows[0]->isVisible() && !windows[0]->isModal());
    QCOMPARE(fileContent(settings::path()), before);
  }

  // One price window and one button for it, whichever way it is opened; a minimised
  // window comes back through its button; closing removes only its own button.
  void windowBar() {
    main_->startUp(QString());
    main_->showStartupWindow();
    QVERIFY(main_->barCaptions().isEmpty());  // the start-up window gets no button
    PriceWindow* price = main_->priceWindow();
    main_->openPriceWindow();
    main_->openSettings();
    main_->openPriceWindow();
    QCOMPARE(main_->priceWindow(), price);
    QCOMPARE(main_->barCaptions(), (QStringList{"Прайс-лист", "Настройки"}));
    auto* sub = qobject_cast<QMdiSubWindow*>(price->parentWidget());
    QVERIFY(sub);
    sub->showMinimized();
    main_->activateBarWindow(main_->barButton(u"Прайс-лист"_s));
    QVERIFY(sub->isMaximized());
    QCOMPARE(main_->mdiArea()->activeSubWindow(), sub);
    price->close();
    QTRY_VERIFY(!main_->priceWindow());
    QCOMPARE(main_->barCaptions(), QStringList{"Настройки"});
  }

  // The default file is written only when there is none; an existing one, even empty, is kept.
  void defaultContentOnlyWhenMissing() {
    TestProgramFolder folder;
    QVERIFY(fileContent(settings::path()).startsWith("[authentication]\r\nid=?\r\nlogin=?\r\n"));
    writeFileContent(settings::path(), QByteArray());
    settings::createDefault();
    QCOMPARE(fileContent(settings::path()), QByteArray());
  }

  void readRules() {
    TestProgramFolder folder;
    const QString p = settings::path();
    writeFileContent(p,
                     cp1251::encode(QStringLiteral("[Authentication]\r\n  ID  =   \"ООО Ромашка\"  \r\nLogin= 'x' \r\n"
                                                   "empty=\r\n[forms]\r\nname=1500.5 \r\nlong=") +
                                    QString(300, QLatin1Char('a')) + QStringLiteral("\r\n")));
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"authentication", "id", "ООО Ромашка"}, {"AUTHENTICATION", "LOGIN", "x"}, {"authentication", "empty", ""},
        {"authentication", "missing", "?"},      {"nosection", "id", "?"},         {"forms", "name", "1500.5"},
    };
    for (const auto& [section, key, value] : cases)
      QCOMPARE(ReadSetting(p, section, key, "?"), QString::fromUtf8(value));
    QCOMPARE(ReadSetting(p, "forms", "long", "?"), QString(254, QLatin1Char('a')));  // the 255-character buffer
  }

  void writeKeepsOtherLines() {
    TestProgramFolder folder;
    const QString p = settings::path();
    writeFileContent(p, "; comment\r\n[authentication]\r\nid=?\r\nlogin=?\r\n\r\n[forms]\nname = 6000\n  odd line\r\n");
    QVERIFY(WriteSetting(p, "AUTHENTICATION", "Id", " 57"));
    WriteSetting(p, "authentication", "newkey", "v");
    WriteSetting(p, "connection", "shop_port", "3307");
    QCOMPARE(fileContent(p),
             QByteArray("; comment\r\n[authentication]\r\nid= 57\r\nlogin=?\r\nnewkey=v\r\n\r\n[forms]\nname = 6000\n"
                        "  odd line\r\n[connection]\r\nshop_port=3307\r\n"));
    // A file that cannot be written (a folder in its place) is reported.
    QString error;
    QVERIFY(QDir().mkpath(folder.file("blocked.ini/inside")) &&
            !WriteSetting(folder.file("blocked.ini"), "settings", "imagethumb", "1", &error) && !error.isEmpty());
    // Cyrillic in code page 1251, quotes kept inside; a line break never becomes a line of the file.
    settings::write(settings::OrganisationName, "\"ООО \"Ёлка\" и Ко\"");
    QVERIFY(fileContent(p).contains(QByteArray("login=\"\xCE\xCE\xCE \"\xA8\xEB\xEA\xE0\" \xE8 \xCA\xEE\"")));
    QCOMPARE(settings::text(settings::OrganisationName), QStringLiteral("ООО \"Ёлка\" и Ко"));
    settings::write(settings::OrganisationId, "12\r\n[forms]\nname=0");
    QCOMPARE(settings::text(settings::OrganisationId), QStringLiteral("12  [forms] name=0"));
    QCOMPARE(fileContent(p).count("\n[forms]"), 1);
  }
};

QTEST_MAIN(TestOptions)
#include "test_options.moc"
