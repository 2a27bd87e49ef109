#include "data/OrderSender.h"

#include "base/Numbers.h"
#include "base/OrganisationCode.h"
#include "base/TaskControl.h"
#include "data/Database.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The order header. Every value that comes from the customer, the price list or
// the clock is bound; the fixed values of the shop's columns stay in the text.
const QString kOrderInsert = QStringLiteral(
    "insert into uop5b_jshopping_orders(user_id,order_total,order_subtotal,order_tax,order_shipping,order_payment,"
    "order_discount,shipping_tax,payment_tax,order_package,currency_code,currency_code_iso,currency_exchange,"
    "order_status,order_created,order_date,"
    "invoice_date,order_m_date,shipping_method_id,delivery_times_id,payment_method_id,delivery_date,coupon_id,"
    "title,f_name,client_type,order_hash) "
    "VALUES (?,?,?,'0.0000','0.0000','0.0000','0.0000','0.0000'"
    ",'0.0000','0.00','руб.','RUB','1.000000','1','0',?"
    ",'0000-00-00 00:00:00',?"
    ",'0','0','0','0000-00-00 00:00:00','0','1',?,'0',?)");

const QString kOrderNumberUpdate =
    QStringLiteral("UPDATE uop5b_jshopping_orders SET order_number = ? where order_id= ?");

const QString kItemInsertHead = QStringLiteral(
    "INSERT INTO uop5b_jshopping_order_item (order_id,product_id,product_ean,product_name,product_quantity,"
    "product_item_price,product_tax,files,weight,delivery_times_id,vendor_id,basicprice) Values ");
const QString kItemRow = QStringLiteral("(?,?,?,?,?,?,'0.0000','a:0:{}','0.0000','0','1','0.00')");

// A server accepts at most 65,535 placeholders in one statement; an order longer
// than this many lines goes in several statements of the same transaction.
constexpr int kItemsPerStatement = 5000;

QString dateTimeText() { return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd H:mm:ss")); }

}  // namespace

namespace {

// The shop's columns that take the order's values (the shop's table definitions).
struct DecimalColumn {
  int digits, scale;
  double largest() const { return std::pow(10.0, digits - scale) - std::pow(10.0, -scale); }
  QString largestText() const {
    return QString(digits - scale, QLatin1Char('9')) + QLatin1Char('.') + QString(scale, QLatin1Char('9'));
  }
};
constexpr DecimalColumn kTotalColumn{14, 4};     // order_total, order_subtotal
constexpr DecimalColumn kQuantityColumn{12, 2};  // product_quantity
constexpr DecimalColumn kPriceColumn{14, 4};     // product_item_price
constexpr int kNameLength = 255;                 // product_name, f_name
constexpr int kEanLength = 50;                   // product_ean
constexpr qlonglong kLargestInt = 2147483647;    // user_id, product_id

double rounded(double v, int scale) {
  const double f = std::pow(10.0, scale);
  return std::round(v * f) / f;
}

// A number as the column stores it: rounded to its decimals here, so that the
// shop has nothing to round.
QString columnText(double v, DecimalColumn c) { return num::plain(rounded(v, c.scale)); }

bool fits(double v, DecimalColumn c) { return std::isfinite(v) && std::fabs(rounded(v, c.scale)) <= c.largest(); }

QString quoted(const QString& s) { return QStringLiteral("«") + s + QStringLiteral("»"); }

bool intColumnValue(const QString& text, qlonglong* value) {
  bool ok = false;
  *value = text.trimmed().toLongLong(&ok);
  return ok && *value >= -kLargestInt - 1 && *value <= kLargestInt;
}

// The first value the shop would cut or change, as the reason the order is refused.
QString unfitValue(const Organisation& organisation, qlonglong userId, const PendingOrder& order) {
  if (userId < -kLargestInt - 1 || userId > kLargestInt)
    return QStringLiteral("код организации %1 не может принадлежать покупателю магазина").arg(quoted(organisation.id));
  if (organisation.name.size() > kNameLength)
    return QStringLiteral("название организации длиннее %1 знаков").arg(kNameLength);
  if (!fits(order.total, kTotalColumn))
    return QStringLiteral("сумма заказа %1 больше, чем может принять магазин (не более %2)")
        .arg(num::plain(order.total), kTotalColumn.largestText());
  for (const OrderLine& l : order.lines) {
    const QString product = QStringLiteral("у товара %1 ").arg(quoted(l.name.left(60)));
    qlonglong id = 0;
    if (!intColumnValue(l.productId, &id))
      return product + QStringLiteral("код %1 не является числом, которое принимает магазин").arg(quoted(l.productId));
    if (l.name.size() > kNameLength) return product + QStringLiteral("название длиннее %1 знаков").arg(kNameLength);
    if (l.ean.size() > kEanLength)
      return product + QStringLiteral("артикул %1 длиннее %2 знаков").arg(quoted(l.ean)).arg(kEanLength);
    if (!fits(l.quantity.toDouble(), kQuantityColumn))
      return product + QStringLiteral("количество %1 больше, чем может принять магазин (не более %2)")
                           .arg(l.quantity, kQuantityColumn.largestText());
    if (!fits(l.price.toDouble(), kPriceColumn))
      return product + QStringLiteral("цена %1 больше, чем может принять магазин (не более %2)")
                           .arg(l.price, kPriceColumn.largestText());
  }
  return {};
}

// What tells this order from another: the same order sent again has the same digest.
QString contentsDigest(qlonglong userId, const QString& total, const std::vector<OrderLine>& lines) {
  QCryptographicHash h(QCryptographicHash::Sha1);
  h.addData(QString::number(userId).toUtf8() + '\n' + total.toUtf8() + '\n');
  for (const OrderLine& l : lines)
    h.addData(
        (l.productId + QLatin1Char('\t') + l.quantity + QLatin1Char('\t') + l.price + QLatin1Char('\n')).toUtf8());
  return QString::fromLatin1(h.result().toHex().left(20));
}

// The server's warnings about the statement just run. A value of the order cut
// or changed is a failure; the notes that the shop's other columns took their
// implicit defaults (1364, once per column and statement, listed first) are not.
void checkWarnings(Connection& shop) {
  RecordsetPtr listed = Query(shop, QStringLiteral("SHOW WARNINGS"));
  long long implicitDefaults = 0;
  for (listed->moveFirst(); !listed->eof(); listed->moveNext()) {
    const long code = listed->value(1).toInt();
    if (code == 1364)
      ++implicitDefaults;
    else
      throw DbError(listed->value(2).toString(), code);
  }
  // The list stops at max_error_count (64 unless set otherwise); the count does not.
  if (listed->recordCount() >= 64 &&
      Query(shop, QStringLiteral("SELECT @@warning_count"))->value(0).toLongLong() > implicitDefaults)
    throw DbError(QStringLiteral("Сервер изменил значения заказа при записи"), 1265);
}

void insertItems(Connection& shop, qlonglong orderId, const std::vector<OrderLine>& lines) {
  for (size_t start = 0; start < lines.size(); start += kItemsPerStatement) {
    const size_t end = std::min(lines.size(), start + kItemsPerStatement);
    QString sql = kItemInsertHead;
    sql.reserve(sql.size() + static_cast<qsizetype>((end - start) * (kItemRow.size() + 1)));
    QVariantList values;
    values.reserve(static_cast<qsizetype>((end - start) * 6));
    for (size_t i = start; i < end; ++i) {
      if (i > start) sql += QLatin1Char(',');
      sql += kItemRow;
      const OrderLine& l = lines[i];
      values << orderId << l.productId.trimmed() << l.ean << l.name
             << columnText(l.quantity.toDouble(), kQuantityColumn) << columnText(l.price.toDouble(), kPriceColumn);
    }
    shop.execute(sql, values);
    checkWarnings(shop);
  }
}

struct SendCancelled {};

ShopSession thisSession(Connection& shop) {
  ShopSession s;
  try {
    RecordsetPtr rs =
        Query(shop, QStringLiteral("SELECT ID, HOST FROM information_schema.PROCESSLIST WHERE ID = CONNECTION_ID()"));
    s.id = rs->value(0).toLongLong();
    s.host = rs->value(1).toString();
  } catch (const DbError&) {  // without it the session is left to end on its own
  }
  return s;
}

// How long a failed send goes on trying to remove what it left in the shop.
constexpr int kCleanUpMs = 8000;

}  // namespace

SendOutcome SendOrder(const Organisation& organisation, const PendingOrder& order, TaskControl* control) {
  SendOutcome out;
  qlonglong userId = 0;
  if (!ParseOrganisationCode(organisation.id, &userId)) {
    out.refusal = OrganisationCodeRefusal(organisation.id);
    return out;
  }
  out.refusal = unfitValue(organisation, userId, order);
  if (!out.refusal.isEmpty()) return out;

  UnfinishedOrder record;
  record.key = QUuid::createUuid().toString(QUuid::Id128);
  record.userId = userId;
  record.lines = static_cast<int>(order.lines.size());
  record.total = columnText(order.total, kTotalColumn);
  record.contents = contentsDigest(userId, record.total, order.lines);

  // An earlier send that did not end cleanly is settled first, so that the same
  // order is never sent twice.
  if (!ReadUnfinishedOrders().empty()) {
    out.earlier = ResolveUnfinishedOrders(control);
    for (auto it = out.earlier.begin(); it != out.earlier.end(); ++it) {
      const OrderResolution& r = *it;
      if (r.order.contents != record.contents || r.quiet) continue;
      if (r.presence == OrderPresence::Complete) {
        out.state = SendState::Sent;
        out.alreadyInShop = true;
        out.orderId = r.order.orderId;
        out.orderNumber = r.orderNumber;
        out.earlier.erase(it);  // told as this send's outcome
        return out;
      }
      if (r.presence == OrderPresence::Unknown) {
        out.earlierUnchecked = true;
        out.cancelled = control && control->cancelled();
        out.errorText = r.errorText;
        out.errorNumber = r.errorNumber;
        return out;
      }
    }
  }

  ConnectionPtr shop;
  ShopSession session;
  bool writing = false;
  bool commitSent = false;
  try {
    if (control && control->cancelled()) throw SendCancelled{};
    shop = OpenShopConnection();
    session = thisSession(*shop);
    // From here on the send runs to a known end, even when the user cancels.
    if (control && !control->enterUninterruptible()) throw SendCancelled{};
    record.time = dateTimeText();
    const QString modifiedDate = dateTimeText();
    RecordUnfinishedOrder(record);  // kept until the outcome is known
    writing = true;
    shop->execute(QStringLiteral("START TRANSACTION"));
    shop->execute(kOrderInsert,
                  {userId, record.total, record.total, record.time, modifiedDate, organisation.name, record.key});
    checkWarnings(*shop);
    // The id of the row just inserted, read on the connection that inserted it.
    record.orderId = Query(*shop, QStringLiteral("SELECT LAST_INSERT_ID()"))->value(0).toLongLong();
    if (record.orderId <= 0) throw DbError(QStringLiteral("Сервер не выдал номер нового заказа"), 3021);
    shop->execute(kOrderNumberUpdate, {ShopOrderNumber(record.orderId), record.orderId});
    checkWarnings(*shop);
    insertItems(*shop, record.orderId, order.lines);
    if (control && control->cancelled()) throw SendCancelled{};
    commitSent = true;
    shop->execute(QStringLiteral("COMMIT"));
    ForgetUnfinishedOrder(record.key);
    out.state = SendState::Sent;
    out.orderId = record.orderId;
    out.orderNumber = ShopOrderNumber(record.orderId);
    return out;
  } catch (const DbError& e) {
    out.errorText = e.description;
    out.errorNumber = e.number;
    out.cancelled = control && control->cancelled();
  } catch (const SendCancelled&) {
    out.cancelled = true;
  }
  if (!writing) return out;

  // The shop may hold part of the order, or all of it when the commit's answer
  // was lost: settle it on a fresh connection before the user is told.
  if (shop) {
    try {
      if (!commitSent) shop->execute(QStringLiteral("ROLLBACK"));
    } catch (const DbError&) {
    }
    shop->close();
  }
  record.mayBeComplete = commitSent;
  const OrderResolution r = ResolveUnfinishedOrder(record, session, kCleanUpMs, out.cancelled ? nullptr : control);
  switch (r.presence) {
    case OrderPresence::Complete:
      out.state = SendState::Sent;
      out.cancelled = false;
      out.errorText.clear();
      out.errorNumber = 0;
      out.orderId = r.order.orderId;
      out.orderNumber = r.orderNumber;
      break;
    case OrderPresence::Removed:
    case OrderPresence::Absent:
      out.state = SendState::NotSent;
      break;
    case OrderPresence::Unknown:
      // With its row gone the order is not in the shop; item rows left without
      // it are removed later without a word.
      out.state = r.order.rowRemoved ? SendState::NotSent : commitSent ? SendState::Unknown : SendState::NotSentLeft;
      break;
  }
  return out;
}
