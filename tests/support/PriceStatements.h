#pragma once
// The product list statements the in-memory catalogue stands for.
#include <QString>

#include <optional>

namespace stmt {
// Whole list or ordered products only (list load and the view switch).
QString list(bool withImages, bool wholePrice);
// A category click (parent: its id) or the search (no parent: every category), upper-cased text.
QString filtered(bool withImages, bool wholePrice, const std::optional<QString>& parent, const QString& upperText);
}  // namespace stmt
