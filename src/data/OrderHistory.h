#pragma once
// The customer's orders in the shop database: the orders list, and for one order
// its items and its status history.
#include "data/Database.h"

#include <QDate>

// Columns: status, id, date, user id, total.
struct ShopQuery {
  RecordsetPtr rows;  // set when ok
  QString errorText;
  long errorNumber = 0;
  bool ok() const { return rows != nullptr; }
};

// The organisation's orders dated from..to (both days included).
ShopQuery ReadOrders(qlonglong organisation, const QDate& from, const QDate& to);
// The organisation's orders with a status below 7 (not closed), whatever their date.
ShopQuery ReadOpenOrders(qlonglong organisation);
// Items (article, name, price, quantity) and status history (status, comment,
// time), oldest first, of one order. When the history cannot be read, the items
// read before it are still there.
struct OrderDetails {
  RecordsetPtr items, history;
  QString errorText;
  long errorNumber = 0;
  bool ok() const { return items && history; }
};
OrderDetails ReadOrderDetails(qlonglong orderId);
