#pragma once
// Sending an order: the ordered products of the price database go into the shop
// database as one order row with its number and one item row per product, in one
// transaction. The shop ends up holding the whole order or nothing of it, and the
// outcome says which; where that cannot be known yet, the order is recorded and
// settled later (data/UnfinishedOrders.h).
#include "data/UnfinishedOrders.h"

#include <QString>
#include <vector>

class TaskControl;

struct OrderLine {
  QString productId, ean, name, quantity, price;  // numbers with "." as decimal point
};

struct PendingOrder {
  double total = 0;              // the sum of the stored sums
  std::vector<OrderLine> lines;  // products with a quantity, in Russian name order
};

struct Organisation {
  QString id;    // the customer's user_id in the shop
  QString name;  // f_name
};

enum class SendState {
  Sent,         // the whole order is in the shop
  NotSent,      // nothing of it is in the shop
  NotSentLeft,  // not sent, but a part may still be in the shop: recorded and removed at the next start or sign-in
  Unknown,      // the commit may have reached the shop, which could not be asked: recorded and looked up later
};

struct SendOutcome {
  SendState state = SendState::NotSent;
  qlonglong orderId = 0;
  QString orderNumber;
  QString refusal;    // refused before anything was sent: the reason (no shop failure then)
  QString errorText;  // the shop's failure
  long errorNumber = 0;
  bool cancelled = false;                // the user cancelled the send
  bool alreadyInShop = false;            // this same order was found whole in the shop from an earlier send
  bool earlierUnchecked = false;         // this same order's earlier send could not be checked: not sent again
  std::vector<OrderResolution> earlier;  // what became of earlier unfinished sends
  bool sent() const { return state == SendState::Sent; }
};

// The order waiting in the price database comes from PriceDatabase::readPendingOrder().
// Sends it to the shop database. Values the shop's columns would cut are refused
// before anything is sent. The control (optional) carries the user's cancel.
SendOutcome SendOrder(const Organisation& organisation, const PendingOrder& order, TaskControl* control = nullptr);
