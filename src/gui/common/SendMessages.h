#pragma once
// What the user is told about sending an order and about earlier sends that had
// not ended cleanly: whether the order is in the shop, in Russian, with the
// server's own text and number below.
#include "data/OrderSender.h"

#include <QString>
#include <vector>

// The text of the warning box for a send that did not put the order in the shop.
QString SendFailureText(const SendOutcome& outcome);
// The text for an order that is in the shop although its quantities could not be cleared.
QString SentButNotClearedText(const QString& reason);
// One information box per earlier send whose outcome is now known (none for the
// ones still unknown or already told).
void TellResolutions(const std::vector<OrderResolution>& resolutions);
// Settles the recorded unfinished sends (at start and after signing in), with the
// busy indication, and tells the user what became of them.
void SettleUnfinishedOrders();
