#include "data/OrderSender.h"

#include "base/Numbers.h"
#include "data/Database.h"

#include <QDateTime>

#include <algorithm>
#include <exception>
#include <vector>

namespace {

// The order header. Every value that comes from the customer, the price list or
// the clock is bound; the fixed values of the shop's columns stay in the text.
const QString kOrderInsert = QStringLiteral(
    "insert into uop5b_jshopping_orders(user_id,order_total,order_subtotal,order_tax,order_shipping,order_payment,"
    "order_discount,shipping_tax,payment_tax,order_package,currency_code,currency_code_iso,currency_exchange,"
    "order_status,order_created,order_date,"
    "invoice_date,order_m_date,shipping_method_id,delivery_times_id,payment_method_id,delivery_date,coupon_id,"
    "title,f_name,client_type) "
    "VALUES (?,?,?,'0.0000','0.0000','0.0000','0.0000','0.0000'"
    ",'0.0000','0.00','руб.','RUB','1.000000','1','0',?"
    ",'0000-00-00 00:00:00',?"
    ",'0','0','0','0000-00-00 00:00:00','0','1',?,'0')");

const QString kOrderNumberUpdate =
    QStringLiteral("UPDATE uop5b_jshopping_orders SET order_number = ? where order_id= ?");

const QString kItemInsertHead = QStringLiteral(
    "INSERT INTO uop5b_jshopping_order_item (order_id,product_id,product_ean,product_name,product_quantity,"
    "product_item_price,product_tax,files,weight,delivery_times_id,vendor_id,basicprice) Values ");
const QString kItemRow = QStringLiteral("(?,?,?,?,?,?,'0.0000','a:0:{}','0.0000','0','1','0.00')");

// A server accepts at most 65,535 placeholders in one statement; an order longer
// than this many lines goes in several statements of the same transaction.
constexpr int kItemsPerStatement = 5000;

// The order number: the id padded on the left with zeros to eight digits; an id
// of more than eight digits is written with its own digits.
QString orderNumber(qlonglong orderId) {
  return QString::number(orderId).rightJustified(8, QLatin1Char('0'));
}

QString dateTimeText() { return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd H:mm:ss")); }

void insertItems(Connection* shop, qlonglong orderId, const std::vector<OrderLine>& lines) {
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
      values << orderId << l.productId << l.ean << l.name << l.quantity << l.price;
    }
    shop->execute(sql, values);
  }
}

// Removes an order that a failed send left behind: a table that cannot roll
// back (MyISAM) keeps what was written before the failure, and a commit whose
// answer was lost may have gone through. Items first, then the order row.
bool removeOrder(Connection* shop, qlonglong orderId) {
  RecordsetPtr rs = Query(*shop, QStringLiteral("SELECT count(*) FROM uop5b_jshopping_orders WHERE order_id = ?"), {orderId});
  const bool present = rs->value(0).toLongLong() > 0;
  shop->execute(QStringLiteral("DELETE FROM uop5b_jshopping_order_item WHERE order_id = ?"), {orderId});
  if (present) shop->execute(QStringLiteral("DELETE FROM uop5b_jshopping_orders WHERE order_id = ?"), {orderId});
  return true;
}

void undoOrder(Connection* shop, qlonglong orderId) {
  try {
    if (shop && shop->isOpen()) shop->execute(QStringLiteral("ROLLBACK"));
  } catch (const std::exception&) {
  }
  if (orderId <= 0) return;
  try {
    if (shop && shop->isOpen() && removeOrder(shop, orderId)) return;
  } catch (const std::exception&) {
  }
  // The connection broke: try once more on a new one.
  try {
    ConnectionPtr fresh = OpenShopConnection();
    removeOrder(fresh.get(), orderId);
  } catch (const std::exception&) {
  }
}

}  // namespace

SendOutcome SendOrder(const Organisation& organisation, const PendingOrder& order) {
  SendOutcome out;
  ConnectionPtr shop;
  bool inTransaction = false;
  qlonglong orderId = 0;
  try {
    const QString orderDate = dateTimeText();
    const QString modifiedDate = dateTimeText();
    const QString totalText = num::plain(order.total);

    shop = OpenShopConnection();
    shop->execute(QStringLiteral("START TRANSACTION"));
    inTransaction = true;
    shop->execute(kOrderInsert, {organisation.id, totalText, totalText, orderDate, modifiedDate, organisation.name});

    // The id of the row just inserted, read on the connection that inserted it.
    orderId = Query(*shop, QStringLiteral("SELECT LAST_INSERT_ID()"))->value(0).toLongLong();
    if (orderId <= 0) throw DbError(QStringLiteral("Сервер не выдал номер нового заказа"), 3021);
    shop->execute(kOrderNumberUpdate, {orderNumber(orderId), orderId});
    insertItems(shop.get(), orderId, order.lines);
    shop->execute(QStringLiteral("COMMIT"));
    out.sent = true;
    out.orderId = orderId;
  } catch (const DbError& e) {
    out.errorText = e.description;
    out.errorNumber = e.number;
    if (inTransaction) undoOrder(shop.get(), orderId);
  }
  return out;
}
