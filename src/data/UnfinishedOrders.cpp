#include "data/UnfinishedOrders.h"

#include "base/ProgramFolder.h"
#include "base/TaskControl.h"
#include "data/Database.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <chrono>
#include <mutex>
#include <thread>

namespace {

constexpr long kNoSuchTable = 1146;
constexpr long kUnknownSession = 1094;

std::mutex& fileMutex() {
  static std::mutex m;
  return m;
}

QString recordFile() { return ProgramFile(QStringLiteral("unfinished_orders.json")); }

QJsonObject toJson(const UnfinishedOrder& o) {
  return {{QStringLiteral("key"), o.key},
          {QStringLiteral("user"), QString::number(o.userId)},
          {QStringLiteral("order"), QString::number(o.orderId)},
          {QStringLiteral("lines"), o.lines},
          {QStringLiteral("total"), o.total},
          {QStringLiteral("time"), o.time},
          {QStringLiteral("contents"), o.contents},
          {QStringLiteral("mayBeComplete"), o.mayBeComplete},
          {QStringLiteral("rowRemoved"), o.rowRemoved}};
}

UnfinishedOrder fromJson(const QJsonObject& j) {
  UnfinishedOrder o;
  o.key = j.value(QStringLiteral("key")).toString();
  o.userId = j.value(QStringLiteral("user")).toString().toLongLong();
  o.orderId = j.value(QStringLiteral("order")).toString().toLongLong();
  o.lines = j.value(QStringLiteral("lines")).toInt();
  o.total = j.value(QStringLiteral("total")).toString();
  o.time = j.value(QStringLiteral("time")).toString();
  o.contents = j.value(QStringLiteral("contents")).toString();
  o.mayBeComplete = j.value(QStringLiteral("mayBeComplete")).toBool(true);
  o.rowRemoved = j.value(QStringLiteral("rowRemoved")).toBool(false);
  return o;
}

std::vector<UnfinishedOrder> readLocked() {
  std::vector<UnfinishedOrder> out;
  QFile f(recordFile());
  if (!f.open(QIODevice::ReadOnly)) return out;
  const QJsonArray all = QJsonDocument::fromJson(f.readAll()).array();
  for (const QJsonValue& v : all) {
    UnfinishedOrder o = fromJson(v.toObject());
    if (o.key.size() == 32) out.push_back(o);
  }
  return out;
}

bool writeLocked(const std::vector<UnfinishedOrder>& orders, QString* error) {
  if (orders.empty()) {
    if (!QFile::exists(recordFile()) || QFile::remove(recordFile())) return true;
    if (error) *error = QStringLiteral("Не удалось удалить файл \"%1\"").arg(recordFile());
    return false;
  }
  QJsonArray all;
  for (const UnfinishedOrder& o : orders) all.append(toJson(o));
  QSaveFile f(recordFile());
  if (f.open(QIODevice::WriteOnly) && f.write(QJsonDocument(all).toJson()) >= 0 && f.commit()) return true;
  if (error) *error = QStringLiteral("Не удалось записать файл \"%1\": %2").arg(recordFile(), f.errorString());
  return false;
}

struct Cancelled {};

void pause(int ms, TaskControl* control) {
  for (int waited = 0; waited < ms && !(control && control->cancelled()); waited += 50)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

// Ends the server session that may still hold or write the order (a send whose
// answer was lost, or a statement still waiting for a lock), and waits until the
// server has let it go: only then is what the shop holds final. A session is
// ended only when its id and client address both match, never another
// customer's that took the id after a restart.
void endSession(Connection& shop, const ShopSession& session) {
  if (session.id <= 0 || session.host.isEmpty()) return;
  const QString same = QStringLiteral("SELECT count(*) FROM information_schema.PROCESSLIST WHERE ID = ? AND HOST = ?");
  if (Query(shop, same, {session.id, session.host})->value(0).toLongLong() == 0) return;
  try {
    shop.execute(QStringLiteral("KILL CONNECTION %1").arg(session.id));
  } catch (const DbError& e) {
    if (e.number != kUnknownSession) throw;
  }
  const QDeadlineTimer wait(5000);
  while (Query(shop, same, {session.id, session.host})->value(0).toLongLong() > 0) {
    if (wait.hasExpired()) throw DbError(QStringLiteral("Сеанс отправки заказа на сервере не завершился"), 1094);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

// Item rows of an order whose own row is gone; a table that is not there holds none.
void removeItems(Connection& shop, qlonglong orderId) {
  try {
    shop.execute(QStringLiteral("DELETE FROM uop5b_jshopping_order_item WHERE order_id = ? AND NOT EXISTS "
                                "(SELECT 1 FROM uop5b_jshopping_orders WHERE order_id = ?)"),
                 {orderId, orderId});
  } catch (const DbError& e) {
    if (e.number != kNoSuchTable) throw;
  }
}

long long itemCount(Connection& shop, qlonglong orderId) {
  try {
    return Query(shop, QStringLiteral("SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id = ?"), {orderId})
        ->value(0)
        .toLongLong();
  } catch (const DbError& e) {
    if (e.number != kNoSuchTable) throw;
    return 0;
  }
}

bool mayChange(TaskControl* control) { return !control || control->enterUninterruptible(); }

// One look at the shop on an open connection; throws DbError when it fails.
OrderPresence resolveOnce(Connection& shop, UnfinishedOrder* o, const ShopSession& session, TaskControl* control,
                          QString* number) {
  // Each look waits briefly for a lock, so that the deadline can bound the whole.
  try {
    shop.execute(
        QStringLiteral("SET SESSION lock_wait_timeout = LEAST(@@lock_wait_timeout, 3), "
                       "innodb_lock_wait_timeout = LEAST(@@innodb_lock_wait_timeout, 3)"));
  } catch (const DbError&) {
  }
  if (session.id > 0) {
    if (!mayChange(control)) throw Cancelled{};
    endSession(shop, session);
  }
  RecordsetPtr rows;
  try {
    rows = Query(shop,
                 QStringLiteral("SELECT order_id, order_number FROM uop5b_jshopping_orders "
                                "WHERE user_id = ? AND order_hash = ?"),
                 {o->userId, o->key});
  } catch (const DbError& e) {
    if (e.number != kNoSuchTable) throw;
    return OrderPresence::Absent;
  }
  if (rows->eof()) {
    if (o->rowRemoved && o->orderId > 0) {
      if (!mayChange(control)) throw Cancelled{};
      removeItems(shop, o->orderId);
    }
    return OrderPresence::Absent;
  }
  const qlonglong id = rows->value(0).toLongLong();
  // A commit that may have gone through: the order counts as sent when it is whole.
  if (o->mayBeComplete && rows->value(1).toString() == ShopOrderNumber(id) && itemCount(shop, id) == o->lines) {
    *number = ShopOrderNumber(id);
    o->orderId = id;
    return OrderPresence::Complete;
  }
  if (!mayChange(control)) throw Cancelled{};
  // The order row first: without it the customer sees no order, whatever items are left.
  shop.execute(QStringLiteral("DELETE FROM uop5b_jshopping_orders WHERE order_id = ? AND order_hash = ?"),
               {id, o->key});
  o->orderId = id;
  o->rowRemoved = true;
  RecordUnfinishedOrder(*o);
  removeItems(shop, id);
  return OrderPresence::Removed;
}

}  // namespace

QString ShopOrderNumber(qlonglong orderId) { return QString::number(orderId).rightJustified(8, QLatin1Char('0')); }

std::vector<UnfinishedOrder> ReadUnfinishedOrders() {
  std::lock_guard<std::mutex> lock(fileMutex());
  return readLocked();
}

bool RecordUnfinishedOrder(const UnfinishedOrder& order, QString* error) {
  std::lock_guard<std::mutex> lock(fileMutex());
  std::vector<UnfinishedOrder> all = readLocked();
  bool replaced = false;
  for (UnfinishedOrder& o : all)
    if (o.key == order.key) o = order, replaced = true;
  if (!replaced) all.push_back(order);
  return writeLocked(all, error);
}

bool ForgetUnfinishedOrder(const QString& key, QString* error) {
  std::lock_guard<std::mutex> lock(fileMutex());
  std::vector<UnfinishedOrder> all = readLocked();
  const auto before = all.size();
  std::erase_if(all, [&](const UnfinishedOrder& o) { return o.key == key; });
  return all.size() == before || writeLocked(all, error);
}

OrderResolution ResolveUnfinishedOrder(const UnfinishedOrder& order, const ShopSession& session, int deadlineMs,
                                       TaskControl* control) {
  OrderResolution r;
  r.order = order;
  r.quiet = order.rowRemoved;
  const QDeadlineTimer deadline(deadlineMs);
  for (;;) {
    try {
      ConnectionPtr shop = OpenShopConnection();
      r.presence = resolveOnce(*shop, &r.order, session, control, &r.orderNumber);
      break;
    } catch (const DbError& e) {
      r.errorText = e.description;
      r.errorNumber = e.number;
    } catch (const Cancelled&) {
      break;
    }
    if (deadline.hasExpired() || (control && control->cancelled())) break;
    pause(500, control);
  }
  if (r.presence == OrderPresence::Unknown) {
    RecordUnfinishedOrder(r.order);
  } else {
    ForgetUnfinishedOrder(r.order.key);
  }
  return r;
}

std::vector<OrderResolution> ResolveUnfinishedOrders(TaskControl* control) {
  std::vector<OrderResolution> out;
  for (const UnfinishedOrder& o : ReadUnfinishedOrders()) {
    if (control && control->cancelled()) break;
    out.push_back(ResolveUnfinishedOrder(o, ShopSession{}, 2000, control));
  }
  return out;
}
