#include "data/Database.h"

#include "base/ProgramFolder.h"
#include "base/Settings.h"
#include "data/PriceFileGuard.h"
#include "data/PriceStore.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

namespace {

long errorNumber(const QSqlError& e) {
  bool ok = false;
  const long n = e.nativeErrorCode().toLong(&ok);
  return ok ? n : static_cast<long>(e.type());
}

QString errorText(const QSqlError& e) {
  QString t = e.databaseText().trimmed();
  if (t.isEmpty()) t = e.text().trimmed();
  return t;
}

// Runs a statement with its "?" values bound in order.
bool run(QSqlQuery& q, const QString& sql, const QVariantList& values) {
  q.setForwardOnly(true);
  if (values.isEmpty()) return q.exec(sql);
  if (!q.prepare(sql)) return false;
  for (int i = 0; i < values.size(); ++i) q.bindValue(i, values.at(i));
  return q.exec();
}

QString shopDriver() {
  return QSqlDatabase::isDriverAvailable(QStringLiteral("QMARIADB")) ? QStringLiteral("QMARIADB")
                                                                     : QStringLiteral("QMYSQL");
}

}  // namespace

Connection::Connection(const QString& driver, bool isShop)
    : name_(QStringLiteral("varnokel-") + QUuid::createUuid().toString(QUuid::WithoutBraces)), shop_(isShop) {
  QSqlDatabase::addDatabase(driver, name_);
}

Connection::~Connection() { close(); }

QSqlDatabase Connection::db() const { return QSqlDatabase::database(name_, false); }

bool Connection::isOpen() const { return !name_.isEmpty() && db().isOpen(); }

void Connection::close() {
  if (name_.isEmpty()) return;
  {
    QSqlDatabase d = db();
    if (d.isOpen()) d.close();
  }
  QSqlDatabase::removeDatabase(name_);
  name_.clear();
}

void Connection::execute(const QString& sql, const QVariantList& values) {
  if (!isOpen()) throw DbError(QStringLiteral("Соединение с базой данных не открыто"), -1);
  QSqlQuery q(db());
  if (!run(q, sql, values)) throw DbError(errorText(q.lastError()), errorNumber(q.lastError()));
  affected_ = q.numRowsAffected();
}

QVariant Recordset::value(int i) const {
  if (eof()) throw DbError(QStringLiteral("Текущая запись отсутствует (конец набора записей)"), 3021);
  if (i < 0 || i >= fieldCount()) throw DbError(QStringLiteral("Поле не найдено"), 3265);
  return rows_[pos_][static_cast<size_t>(i)];
}

std::unique_ptr<Recordset> Recordset::fetch(QSqlQuery& query) {
  auto rs = std::make_unique<Recordset>();
  const QSqlRecord rec = query.record();
  for (int i = 0; i < rec.count(); ++i) rs->fields_.push_back(rec.fieldName(i));
  while (query.next()) {
    std::vector<QVariant> row(rs->fields_.size());
    for (size_t i = 0; i < row.size(); ++i) row[i] = query.value(static_cast<int>(i));
    rs->rows_.push_back(std::move(row));
  }
  return rs;
}

quint32 RecordedPriceFileStamp() { return static_cast<quint32>(settings::number(settings::PriceFileStamp)); }

QString PriceDatabasePath() { return ProgramFile(QStringLiteral("varnokel.mdb")); }

ConnectionPtr OpenShopConnection() {
  const settings::ShopServer s = settings::shopServer();
  if (!s.configured()) throw DbError(settings::noShopServerText(), kNoShopServer);
  auto conn = std::make_unique<Connection>(shopDriver(), true);
  QSqlDatabase d = conn->db();
  d.setHostName(s.host);
  d.setPort(s.port);
  d.setDatabaseName(s.database);
  d.setUserName(s.user);
  d.setPassword(s.password);
  d.setConnectOptions(
      QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=5;MYSQL_OPT_READ_TIMEOUT=30;MYSQL_OPT_WRITE_TIMEOUT=30"));
  if (!d.open()) {
    const QSqlError e = d.lastError();
    throw DbError(errorText(e), errorNumber(e));
  }
  // The shop's tables have NOT NULL columns that our statements leave to their
  // implicit defaults, and zero dates; its own software runs with this mode.
  conn->execute(QStringLiteral("SET SESSION sql_mode='NO_ENGINE_SUBSTITUTION'"));
  conn->execute(QStringLiteral("SET NAMES utf8mb4"));
  // A statement waiting for a lock gives up on the server before the read
  // timeout above gives up here: otherwise it could still run after the program
  // took it for failed.
  try {
    conn->execute(
        QStringLiteral("SET SESSION lock_wait_timeout = LEAST(@@lock_wait_timeout, 20), "
                       "innodb_lock_wait_timeout = LEAST(@@innodb_lock_wait_timeout, 20)"));
  } catch (const DbError&) {
  }
  return conn;
}

ConnectionPtr OpenPriceConnection() {
  const QString path = PriceDatabasePath();
  auto fail = [](const QString& text) -> ConnectionPtr { throw DbError(text, 3044); };
  if (!QFileInfo(path).isFile())
    return fail(
        QStringLiteral("Не найден файл прайс-листа \"%1\". Получите прайс-лист через меню «Получить прайс-лист».")
            .arg(path));
  // While nothing of ours holds the file, a journal or log beside it may be
  // another copy's: it is looked at before SQLite would replay it.
  if (!PriceStore::anyOpen()) SetAsideForeignLogs(path, RecordedPriceFileStamp());
  auto conn = std::make_unique<Connection>(QStringLiteral("QSQLITE"), false);
  QSqlDatabase d = conn->db();
  d.setDatabaseName(path);
  // Another program holding the file is waited for a second at most.
  d.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
  if (!d.open()) return fail(QStringLiteral("Не удалось открыть прайс-лист: ") + errorText(d.lastError()));
  // A file that is not a price database opens fine but fails its first read.
  QSqlQuery probe(d);
  if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
    return fail(QStringLiteral("Файл прайс-листа повреждён или имеет неверный формат: ") +
                errorText(probe.lastError()));
  probe.finish();
  return conn;
}

RecordsetPtr Query(Connection& conn, const QString& sql, const QVariantList& values) {
  if (!conn.isOpen()) throw DbError(QStringLiteral("Нет соединения с базой данных"), 91);
  QSqlQuery q(conn.db());
  if (!run(q, sql, values)) throw DbError(errorText(q.lastError()), errorNumber(q.lastError()));
  return Recordset::fetch(q);
}
