#pragma once
// The search of the price list window: refills the grid with the products whose
// upper-case name contains the search box's text, in a category or everywhere.
#include <QString>

class frm_price;

// category: "all" or a category id. Returns whether rows were found.
bool SearchProducts(frm_price* window, const QString& column, const QString& category, bool withThumbnails);
