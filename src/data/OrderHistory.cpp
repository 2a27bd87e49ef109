#include "data/OrderHistory.h"

namespace {

const QString kOrdersSelect = QStringLiteral(
    "SELECT d.order_status , d.order_id , d.order_date,d.user_id , d.order_total "
    "FROM uop5b_jshopping_orders as d where d.user_id= ?");

ShopQuery readOrders(const QString& sql, const QVariantList& values) {
  ShopQuery out;
  try {
    ConnectionPtr shop = OpenShopConnection();
    out.rows = Query(*shop, sql, values);
  } catch (const DbError& e) {
    out.errorText = e.description;
    out.errorNumber = e.number;
  }
  return out;
}

}  // namespace

ShopQuery ReadOrders(qlonglong organisation, const QDate& from, const QDate& to) {
  return readOrders(
      kOrdersSelect + QStringLiteral(" AND  DATE(d.order_date) BETWEEN ? AND ?"),
      {organisation, from.toString(QStringLiteral("yyyy-MM-dd")), to.toString(QStringLiteral("yyyy-MM-dd"))});
}

ShopQuery ReadOpenOrders(qlonglong organisation) {
  return readOrders(kOrdersSelect + QStringLiteral(" AND d.order_status < 7 "), {organisation});
}

OrderDetails ReadOrderDetails(qlonglong orderId) {
  OrderDetails out;
  try {
    ConnectionPtr shop = OpenShopConnection();
    out.items = Query(*shop,
                      QStringLiteral("select product_ean,product_name,product_item_price,product_quantity "
                                     "from uop5b_jshopping_order_item where order_id= ?"),
                      {orderId});
    out.history =
        Query(*shop,
              QStringLiteral("select order_status_id,comments,DATE_FORMAT(status_date_added,'%d-%m-%Y %H:%i:%s') "
                             "from uop5b_jshopping_order_history where order_id= ? Order by status_date_added"),
              {orderId});
  } catch (const DbError& e) {
    out.errorText = e.description;
    out.errorNumber = e.number;
  }
  return out;
}
