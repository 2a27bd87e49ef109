#pragma once
// Orders whose send has not ended cleanly. A small file in the program folder
// keeps each one from before its first write until the shop is known to hold the
// whole order or nothing of it. The shop's order row carries a random key (its
// order_hash column), by which an order is found again: a half-written one is
// removed, and one whose commit was not confirmed is looked up instead of being
// reported as failed or sent twice.
#include <QString>
#include <vector>

class TaskControl;

struct UnfinishedOrder {
  QString key;                // order_hash: 32 random hexadecimal digits
  qlonglong userId = 0;       // the customer it was sent for
  qlonglong orderId = 0;      // the shop's order_id, once known
  int lines = 0;              // item rows of the whole order
  QString total;              // the order total as sent
  QString time;               // order_date as sent
  QString contents;           // digest of customer, lines and total: equal for the same order sent again
  bool mayBeComplete = true;  // its commit may have reached the shop
  bool rowRemoved = false;    // its order row is gone; only item rows may be left
};

enum class OrderPresence {
  Complete,  // the whole order is in the shop
  Removed,   // part of it was in the shop and has been removed
  Absent,    // nothing of it is in the shop
  Unknown,   // the shop could not be asked or the part could not be removed: still recorded
};

struct OrderResolution {
  UnfinishedOrder order;
  OrderPresence presence = OrderPresence::Unknown;
  QString orderNumber;  // when complete
  bool quiet = false;   // the customer already knows it is not in the shop (only leftovers were cleared)
  QString errorText;    // when unknown: the last failure
  long errorNumber = 0;
};

// The recorded orders.
std::vector<UnfinishedOrder> ReadUnfinishedOrders();
// Adds a record or replaces the one with the same key; false with the reason in *error.
bool RecordUnfinishedOrder(const UnfinishedOrder& order, QString* error = nullptr);
bool ForgetUnfinishedOrder(const QString& key, QString* error = nullptr);

// The server session that wrote an order: its id and its client address, which
// tell it from a later session that got the same id after a server restart.
struct ShopSession {
  qlonglong id = 0;
  QString host;
};

// Finds out what the shop holds of the order and removes a part of it; drops the
// record unless the outcome stays unknown. The session that may still be writing
// the order is ended first. Tries again on fresh connections until deadlineMs
// have passed or the user cancels.
OrderResolution ResolveUnfinishedOrder(const UnfinishedOrder& order, const ShopSession& session, int deadlineMs,
                                       TaskControl* control);
// Every recorded order, one after the other, each with a short deadline.
std::vector<OrderResolution> ResolveUnfinishedOrders(TaskControl* control);

// The order number the shop shows: the id padded with zeros to eight digits.
QString ShopOrderNumber(qlonglong orderId);
