#pragma once
// Column widths that let short values (ids, articles, prices, sums, dates) show
// whole whatever the font, and the test of whether a text is cut.
#include <QString>

class FlexGrid;

namespace columnfit {

// Pixels between a cell's edge and its text, on the left and on the right.
inline constexpr int kCellTextPad = 3;
// Texts longer than this many characters (names, comments) never widen a column;
// they are cut with an ellipsis and show whole in a tooltip.
inline constexpr int kLongestFittedText = 24;

// The width in pixels column `col` needs for its header and its fitted cells;
// a column now `widthNow` pixels wide is measured only where that can matter.
int NeededWidth(const FlexGrid& grid, int col, int widthNow);
// The width in pixels a cell / the header needs to show a text whole.
int CellWidthFor(const FlexGrid& grid, const QString& text);
int HeaderWidthFor(const FlexGrid& grid, const QString& text);
// The text a cell of a column of the given pixel width shows: the whole text or
// its cut form.
QString ShownCellText(const FlexGrid& grid, const QString& text, int columnWidth);
// True when the text of a cell (row >= 1) or of the header (row 0) is cut in its
// column as now shown.
bool TextCut(const FlexGrid& grid, int row, int col);

}  // namespace columnfit
