#include "base/Settings.h"

#include "base/BuildServers.h"
#include "base/IniFile.h"
#include "base/Numbers.h"
#include "base/ProgramFolder.h"

#include <QDir>

namespace settings {

QString path() { return ProgramFile(QStringLiteral("settings.ini")); }

void createDefault() { CreateDefaultSettings(path()); }

Snapshot::Snapshot() : file_(path()) {}

QString Snapshot::text(Key key) const {
  return file_.value(QLatin1String(key.section), QLatin1String(key.name), kUnset);
}

double Snapshot::number(Key key) const { return num::leadingValue(text(key)); }

QString text(Key key) { return Snapshot().text(key); }

double number(Key key) { return Snapshot().number(key); }

bool isOn(Key key) { return number(key) == 1; }

bool write(Key key, const QString& value, QString* error) {
  return WriteSetting(path(), QLatin1String(key.section), QLatin1String(key.name), value, error);
}

bool hasOrganisation() { return text(OrganisationId) != kUnset && text(OrganisationName) != kUnset; }

namespace {

// A key of [connection]; a missing key, "?" or an empty value gives the build's value.
QString connection(const QString& file, const char* key, const char* built) {
  const QString v = ReadSetting(file, QStringLiteral("connection"), QLatin1String(key), kUnset).trimmed();
  return v.isEmpty() || v == kUnset ? QString::fromUtf8(built) : v;
}

}  // namespace

ShopServer shopServer() {
  const QString file = path();
  ShopServer s;
  s.host = connection(file, "shop_host", VARNOKEL_SHOP_HOST);
  s.port = connection(file, "shop_port", VARNOKEL_SHOP_PORT).toInt();
  if (s.port <= 0) s.port = 3306;
  s.database = connection(file, "shop_database", VARNOKEL_SHOP_DATABASE);
  s.user = connection(file, "shop_user", VARNOKEL_SHOP_USER);
  s.password = connection(file, "shop_password", VARNOKEL_SHOP_PASSWORD);
  return s;
}

DistributionAccount distributionAccount(const QString& settingsFile) {
  DistributionAccount a;
  a.host = connection(settingsFile, "ftp_host", VARNOKEL_FTP_HOST);
  a.user = connection(settingsFile, "ftp_user", VARNOKEL_FTP_USER);
  a.password = connection(settingsFile, "ftp_password", VARNOKEL_FTP_PASSWORD);
  a.pricePath = connection(settingsFile, "ftp_price_path", "/varnokel.mdb");
  a.programPath = connection(settingsFile, "ftp_program_path", "/Varnokel.exe");
  return a;
}

QString noShopServerText() {
  return QStringLiteral(
             "Сервер базы данных магазина не настроен, поэтому ничего не отправлено. "
             "Укажите его в файле %1, раздел [connection], ключ shop_host "
             "(и при необходимости shop_port, shop_database, shop_user, shop_password).")
      .arg(QDir::toNativeSeparators(path()));
}

QString noDistributionServerText() {
  return QStringLiteral(
             "Сервер обновлений не настроен, поэтому ничего не загружено. "
             "Укажите его в файле %1, раздел [connection], ключ ftp_host "
             "(и при необходимости ftp_user, ftp_password).")
      .arg(QDir::toNativeSeparators(path()));
}

}  // namespace settings
