#include "data/PriceFileCheck.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QUuid>

namespace {

struct TableColumns {
  const char* table;
  QStringList columns;
};

// Every column the program reads or writes, per table.
const TableColumns kRequired[] = {
    {"categories", {"category_id", "name_ruRU"}},
    {"products",
     {"product_id", "parent_id", "product_ean", "product_quantity", "product_price", "name_ruRU", "name_ruRU_big",
      "order_count", "order_summ"}},
    {"images", {"image_id", "product_id", "image_thumb", "image_name"}},
};

QString checkOpenDatabase(QSqlDatabase& db) {
  QSqlQuery q(db);
  q.setForwardOnly(true);
  if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next())
    return QStringLiteral("файл не является базой данных прайс-листа (%1)").arg(q.lastError().databaseText());
  if (q.value(0).toString() != QLatin1String("ok"))
    return QStringLiteral("файл прайс-листа повреждён (%1)").arg(q.value(0).toString());
  q.finish();
  for (const TableColumns& t : kRequired) {
    const QSqlRecord rec = db.record(QLatin1String(t.table));
    if (rec.isEmpty()) return QStringLiteral("в файле прайс-листа нет таблицы %1").arg(QLatin1String(t.table));
    for (const QString& column : t.columns)
      if (rec.indexOf(column) < 0)
        return QStringLiteral("в таблице %1 файла прайс-листа нет столбца %2").arg(QLatin1String(t.table), column);
  }
  return {};
}

}  // namespace

bool CheckPriceDatabaseFile(const QString& path, QString* reason) {
  auto fail = [reason](const QString& why) {
    if (reason) *reason = why;
    return false;
  };
  const QFileInfo info(path);
  if (!info.isFile()) return fail(QStringLiteral("файл прайс-листа не найден"));
  if (info.size() == 0) return fail(QStringLiteral("файл прайс-листа пуст"));

  QString why;
  const QString name = QStringLiteral("price-check-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open())
      why = QStringLiteral("файл прайс-листа не открывается (%1)").arg(db.lastError().databaseText());
    else
      why = checkOpenDatabase(db);
    db.close();
  }
  QSqlDatabase::removeDatabase(name);
  return why.isEmpty() || fail(why);
}
