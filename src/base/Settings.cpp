#include "base/Settings.h"

#include "base/IniFile.h"
#include "base/Numbers.h"
#include "base/ProgramFolder.h"

namespace settings {

QString path() { return ProgramFile(QStringLiteral("settings.ini")); }

void createDefault() { CreateDefaultSettings(path()); }

QString text(Key key) { return ReadSetting(path(), QLatin1String(key.section), QLatin1String(key.name), kUnset); }

double number(Key key) { return num::leadingValue(text(key)); }

bool isOn(Key key) { return number(key) == 1; }

bool write(Key key, const QString& value, QString* error) {
  return WriteSetting(path(), QLatin1String(key.section), QLatin1String(key.name), value, error);
}

bool hasOrganisation() { return text(OrganisationId) != kUnset && text(OrganisationName) != kUnset; }

ShopServer shopServer() {
  auto get = [](const char* key, const QString& def) {
    const QString v = ReadSetting(path(), QStringLiteral("connection"), QLatin1String(key), kUnset);
    return v == kUnset ? def : v;
  };
  ShopServer s;
  s.host = get("shop_host", QStringLiteral("shop.varnokel.ru"));
  s.port = get("shop_port", QStringLiteral("3306")).toInt();
  if (s.port <= 0) s.port = 3306;
  s.database = get("shop_database", QStringLiteral("zorvik_vrnk_db"));
  s.user = get("shop_user", QStringLiteral("zorvik_vrnk_db"));
  s.password = get("shop_password", QStringLiteral("T5$W8N3P"));
  return s;
}

}  // namespace settings
