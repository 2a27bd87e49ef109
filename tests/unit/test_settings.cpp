// settings.ini: profile-file rules, code page 1251, every other byte kept.
#include "base/IniFile.h"
#include "base/ProgramFolder.h"
#include "base/ResultCode.h"
#include "base/Settings.h"
#include "fixtures/program_env.h"

#include <QDir>
#include <QFile>
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

}  // namespace

class SettingsTest : public QObject {
  Q_OBJECT
 private slots:
  void defaultContentOnlyWhenMissing();
  void readRules();
  void writeKeepsOtherLines();
  void drivesAndResultCodes();
};

void SettingsTest::defaultContentOnlyWhenMissing() {
  TestProgramFolder folder;  // writes the default file
  QCOMPARE(QDir::fromNativeSeparators(settings::path()), folder.file("settings.ini"));
  QCOMPARE(readAll(settings::path()),
           QByteArray(
               "[authentication]\r\nid=?\r\nlogin=?\r\n[settings]\r\nimagetostring=?\r\nimagethumb=?\r\n"
               "visiblesumm=0\r\n[forms]\r\nname=6000\r\nremainder=1000\r\nprice=1000\r\norder=1000\r\nsumm=1000\r\n"));
  // An existing file, even an empty one, is never touched.
  writeAll(settings::path(), QByteArray());
  settings::createDefault();
  QCOMPARE(readAll(settings::path()), QByteArray());
  QCOMPARE(settings::text(settings::NameWidth), QStringLiteral("?"));
  QCOMPARE(settings::number(settings::NameWidth), 0.0);
}

void SettingsTest::readRules() {
  TestProgramFolder folder;
  const QString p = settings::path();
  writeAll(p,
           cp1251::encode(QStringLiteral("[Authentication]\r\n  ID  =   \"ООО Ромашка\"  \r\nLogin= 'x' \r\nempty=\r\n"
                                         "[forms]\r\nname=1500.5 \r\nlong=") +
                          QString(300, QLatin1Char('a')) + QStringLiteral("\r\n")));
  const struct {
    const char *section, *key, *value;
  } cases[] = {
      {"authentication", "id", "ООО Ромашка"}, {"AUTHENTICATION", "LOGIN", "x"}, {"authentication", "empty", ""},
      {"authentication", "missing", "?"},      {"nosection", "id", "?"},         {"forms", "name", "1500.5"},
  };
  for (const auto& c : cases) QCOMPARE(ReadSetting(p, c.section, c.key, "?"), QString::fromUtf8(c.value));
  QCOMPARE(ReadSetting(p, "forms", "long", "?"), QString(254, QLatin1Char('a')));  // the 255-character buffer
  QCOMPARE(settings::number(settings::NameWidth), 1500.5);
  QCOMPARE(ReadSetting(folder.file("none.ini"), "forms", "name", "?"), QStringLiteral("?"));
}

void SettingsTest::writeKeepsOtherLines() {
  TestProgramFolder folder;
  const QString p = settings::path();
  writeAll(p, "; comment\r\n[authentication]\r\nid=?\r\nlogin=?\r\n\r\n[forms]\nname = 6000\n  odd line\r\n");
  QVERIFY(WriteSetting(p, "AUTHENTICATION", "Id", " 57"));
  WriteSetting(p, "authentication", "newkey", "v");
  WriteSetting(p, "connection", "shop_port", "3307");
  QCOMPARE(readAll(p),
           QByteArray("; comment\r\n[authentication]\r\nid= 57\r\nlogin=?\r\nnewkey=v\r\n\r\n[forms]\nname = 6000\n"
                      "  odd line\r\n[connection]\r\nshop_port=3307\r\n"));
  // A file that does not exist is created by the first write; one that cannot be
  // written (a folder in its place) is reported.
  const QString fresh = folder.file("fresh.ini");
  WriteSetting(fresh, "settings", "imagethumb", "1");
  QCOMPARE(readAll(fresh), QByteArray("[settings]\r\nimagethumb=1\r\n"));
  QVERIFY(QDir().mkpath(folder.file("blocked.ini/inside")));
  QString error;
  QVERIFY(!WriteSetting(folder.file("blocked.ini"), "settings", "imagethumb", "1", &error) && !error.isEmpty());
  // Cyrillic in code page 1251, quotes kept inside; a line break never becomes a line of the file.
  settings::write(settings::OrganisationName, "\"ООО \"Ёлка\" и Ко\"");
  QVERIFY(readAll(p).contains(QByteArray("login=\"\xCE\xCE\xCE \"\xA8\xEB\xEA\xE0\" \xE8 \xCA\xEE\"")));
  QCOMPARE(settings::text(settings::OrganisationName), QStringLiteral("ООО \"Ёлка\" и Ко"));
  settings::write(settings::OrganisationId, "12\r\n[forms]\nname=0");
  QCOMPARE(settings::text(settings::OrganisationId), QStringLiteral("12  [forms] name=0"));
  QCOMPARE(readAll(p).count("\n[forms]"), 1);
}

void SettingsTest::drivesAndResultCodes() {
  QCOMPARE(JoinProgramPath("C:\\", "settings.ini"), QStringLiteral("C:\\settings.ini"));
  QCOMPARE(JoinProgramPath("/", "settings.ini"), QStringLiteral("/settings.ini"));
  const struct {
    const char* line;
    int code;
  } codes[] = {{"40", 40},   {"51", 51},  {"9", 0},     {"", 0},          {"abc", 0},
               {"40abc", 0}, {"40.6", 0}, {"99999", 0}, {"32767", 32767}, {"40 41", 0}};
  for (const auto& c : codes) QCOMPARE(int(ParseResultCode(c.line)), c.code);
}

QTEST_GUILESS_MAIN(SettingsTest)
#include "test_settings.moc"
