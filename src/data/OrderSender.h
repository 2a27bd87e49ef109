#pragma once
// Sending an order: the ordered products of the price database go into the shop
// database as one order row with its number and one item row per product, in one
// transaction. Whatever fails, nothing of the order is left in the shop.
#include <QString>
#include <vector>

struct OrderLine {
  QString productId, ean, name, quantity, price;  // numbers with "." as decimal point
};

struct PendingOrder {
  double total = 0;  // the sum of the stored sums
  std::vector<OrderLine> lines;  // products with a quantity, in Russian name order
};

struct Organisation {
  QString id;    // the customer's user_id in the shop
  QString name;  // f_name
};

struct SendOutcome {
  bool sent = false;
  qlonglong orderId = 0;
  QString errorText;  // the database's description when not sent
  long errorNumber = 0;
};

// The order waiting in the price database comes from PriceDatabase::readPendingOrder().
// Sends it to the shop database.
SendOutcome SendOrder(const Organisation& organisation, const PendingOrder& order);
