// settings.ini: profile-file rules, code page 1251, every other byte kept.
#include "base/IniFile.h"
#include "base/Settings.h"
#include "fixtures/program_env.h"

#include <QtTest>

class SettingsTest : public QObject {
  Q_OBJECT
 private slots:
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

QTEST_GUILESS_MAIN(SettingsTest)
#include "test_settings.moc"
