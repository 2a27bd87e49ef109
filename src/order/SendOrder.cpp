#include "order/SendOrder.h"

#include "price/FlexGrid.h"
#include "price/RussianCollation.h"
#include "price/frm_price.h"
#include "shell/conn_rs_comm.h"
#include "shell/frm_main.h"
#include "shell/ini.h"
#include "shell/messages.h"
#include "shell/numbers.h"
#include "shell/public_var.h"

#include <QDateTime>
#include <QLabel>
#include <QMetaType>

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

// The ordered products, one row each: the pictures are not joined, so a product
// with several pictures is still one item.
const QString kOrderedProducts = QStringLiteral(
    "SELECT p.product_id,p.product_ean,p.name_ruRU,p.order_count,p.product_price FROM products as p "
    " where p.order_count > 0");

// A server accepts at most 65,535 placeholders in one statement; an order longer
// than this many lines goes in several statements of the same transaction.
constexpr int kItemsPerStatement = 5000;

struct OrderLine {
  QString productId, ean, name, quantity, price;
  QString sortKey;
};

bool isNumeric(const QVariant& v) {
  switch (v.metaType().id()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Long: case QMetaType::ULong:
    case QMetaType::Short: case QMetaType::UShort:
      return true;
    default:
      return false;
  }
}

// A stored number as the shop reads it: "." as decimal point, whatever the locale.
// A number kept as text is read in the notation it was written in (12,5 or 12.5).
QString numberText(const QVariant& v) {
  if (v.isNull() || !v.isValid()) return QStringLiteral("0");
  if (isNumeric(v)) return num::plain(v.toDouble());
  return num::plain(num::cellValue(v.toString()));
}

double numberValue(const QVariant& v) {
  if (v.isNull() || !v.isValid()) return 0;
  if (isNumeric(v)) return v.toDouble();
  return num::cellValue(v.toString());
}

// A text value for a NOT NULL column: a missing value goes in as an empty text.
QString text(const QVariant& v) {
  QString s = v.isNull() ? QString() : v.toString();
  if (s.isNull()) s = QStringLiteral("");
  return s;
}

// The order number: the id padded on the left with zeros to eight digits; an id
// of more than eight digits is written with its own digits.
QString orderNumber(qlonglong orderId) {
  return QString::number(orderId).rightJustified(8, QLatin1Char('0'));
}

QString dateTimeText() { return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd H:mm:ss")); }

std::vector<OrderLine> readOrderedProducts(Connection* price) {
  CurrentSql = kOrderedProducts;
  PriceRecordset = OpenPriceRecordset(price, CurrentSql);
  Recordset& rs = Require(PriceRecordset);
  std::vector<OrderLine> lines;
  lines.reserve(static_cast<size_t>(rs.recordCount()));
  for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
    OrderLine l;
    l.productId = text(rs.value(0));
    l.ean = text(rs.value(1));
    l.name = text(rs.value(2));
    l.quantity = numberText(rs.value(3));
    l.price = numberText(rs.value(4));
    l.sortKey = collation::sortKey(l.name);
    lines.push_back(std::move(l));
  }
  CloseRecordset(PriceRecordset);
  // Name order as the order view shows it.
  std::stable_sort(lines.begin(), lines.end(), [](const OrderLine& a, const OrderLine& b) {
    if (a.sortKey != b.sortKey) return a.sortKey < b.sortKey;
    return a.name < b.name;
  });
  return lines;
}

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
    CurrentSql = sql;
    shop->execute(sql, values);
  }
}

// Removes an order that a failed send left behind: a table that cannot roll
// back (MyISAM) keeps what was written before the failure, and a commit whose
// answer was lost may have gone through. Items first, then the order row.
bool removeOrder(Connection* shop, qlonglong orderId) {
  RecordsetSlot rs = OpenShopRecordset(shop, QStringLiteral("SELECT count(*) FROM uop5b_jshopping_orders WHERE order_id = ?"),
                                       0, {orderId});
  const bool present = Require(rs).value(0).toLongLong() > 0;
  shop->execute(QStringLiteral("DELETE FROM uop5b_jshopping_order_item WHERE order_id = ?"), {orderId});
  if (present) shop->execute(QStringLiteral("DELETE FROM uop5b_jshopping_orders WHERE order_id = ?"), {orderId});
  return true;
}

void undoOrder(qlonglong orderId) {
  try {
    if (ShopConnection && ShopConnection->isOpen()) ShopConnection->execute(QStringLiteral("ROLLBACK"));
  } catch (const std::exception&) {
  }
  if (orderId <= 0) return;
  const bool ready = ConnectionReady;
  try {
    if (ShopConnection && ShopConnection->isOpen() && removeOrder(ShopConnection.get(), orderId)) return;
  } catch (const std::exception&) {
  }
  // The connection broke: try once more on a new one.
  try {
    ConnectionSlot fresh = OpenShopConnection();
    removeOrder(fresh.get(), orderId);
  } catch (const std::exception&) {
  }
  ConnectionReady = ready;
}

void closeAll() {
  CloseRecordset(ShopRecordset);
  ReleaseCommand(ShopCommand);
  CloseConnection(ShopConnection);
  CloseRecordset(PriceRecordset);
  ReleaseCommand(PriceCommand);
  CloseConnection(PriceConnection);
}

}  // namespace

void SendOrder(frm_price* window) {
  OrganisationId = ReadSetting(SettingsPath, QStringLiteral("authentication"), QStringLiteral("id"), QStringLiteral("?"));
  OrganisationName =
      ReadSetting(SettingsPath, QStringLiteral("authentication"), QStringLiteral("login"), QStringLiteral("?"));
  if (OrganisationId == QLatin1String("?") || OrganisationName == QLatin1String("?")) {
    if (msg::question(QStringLiteral("Необходимо пройти авторизацию.Открыть окно авторизации?")) && window &&
        window->mainWindow())
      window->mainWindow()->ShowAuthorization(false);
    return;
  }

  bool inTransaction = false;
  qlonglong orderId = 0;
  try {
    PriceConnection = OpenPriceConnection();
    if (!PriceConnection) throw DbError(ConnectionErrorText, 3044);
    CurrentSql = QStringLiteral("select sum(order_summ) from products");
    PriceRecordset = OpenPriceRecordset(PriceConnection.get(), CurrentSql);
    Recordset& totalRs = Require(PriceRecordset);
    const QVariant totalValue = totalRs.eof() ? QVariant() : totalRs.value(0);
    const double total = numberValue(totalValue);
    CloseRecordset(PriceRecordset);
    if (total == 0) {
      window->Label1->setText(QStringLiteral("Пустой заказ"));
      CloseConnection(PriceConnection);
      return;
    }
    const std::vector<OrderLine> lines = readOrderedProducts(PriceConnection.get());
    if (lines.empty()) {
      // Sums without quantities: there is nothing to order.
      window->Label1->setText(QStringLiteral("Пустой заказ"));
      CloseConnection(PriceConnection);
      return;
    }

    const QString orderDate = dateTimeText();
    const QString modifiedDate = dateTimeText();
    const QString totalText = num::plain(total);

    ShopConnection = OpenShopConnection();
    ShopCommand = ShopConnection.get();
    ShopCommand->execute(QStringLiteral("START TRANSACTION"));
    inTransaction = true;

    CurrentSql = kOrderInsert;
    ShopCommand->execute(CurrentSql, {OrganisationId, totalText, totalText, orderDate, modifiedDate, text(OrganisationName)});

    // The id of the row just inserted, read on the connection that inserted it.
    CurrentSql = QStringLiteral("SELECT LAST_INSERT_ID()");
    ShopRecordset = OpenShopRecordset(ShopConnection.get(), CurrentSql, 2);
    orderId = Require(ShopRecordset).value(0).toLongLong();
    CloseRecordset(ShopRecordset);
    if (orderId <= 0) throw DbError(QStringLiteral("Сервер не выдал номер нового заказа"), 3021);

    CurrentSql = kOrderNumberUpdate;
    ShopCommand->execute(CurrentSql, {orderNumber(orderId), orderId});

    insertItems(ShopCommand, orderId, lines);

    ShopCommand->execute(QStringLiteral("COMMIT"));
    inTransaction = false;
    ReleaseCommand(ShopCommand);
    CloseConnection(ShopConnection);

    window->Label1->setText(QStringLiteral("Заказ отправлен"));
    if (msg::question(QStringLiteral("Заказ отправлен успешно.Очистить текущий заказ?"))) {
      PriceCommand = PriceConnection.get();
      PriceCommand->execute(QStringLiteral("update products set order_count=0,order_summ=0"));
      PriceCatalogue& cat = window->catalogue();
      if (cat.isLoaded()) {
        cat.clearOrders();
        cat.markCurrent();
      }
      window->MSFlexGrid1->setRows(1);
      window->Label2->setText(QString());
    }
    closeAll();
  } catch (const std::exception& e) {
    const auto* db = dynamic_cast<const DbError*>(&e);
    LastErrorText = db ? db->description : QString::fromLocal8Bit(e.what());
    LastErrorNumber = db ? db->number : 0;
    if (inTransaction) undoOrder(orderId);
    closeAll();
    msg::requestErrorWithNumber(LastErrorText, LastErrorNumber);
  }
}
