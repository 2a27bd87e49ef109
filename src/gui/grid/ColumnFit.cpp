#include "gui/grid/ColumnFit.h"

#include "gui/grid/FlexGrid.h"

#include <QFontMetricsF>
#include <QHash>
#include <QHeaderView>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace columnfit {
namespace {

// The header paints its text inside the style's margins and cuts it 4 pixels
// before the label's edge.
int headerMargins(const QHeaderView* header) {
  return 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 4;
}

// A cell is drawn one pixel narrower than its column when grid lines are shown.
int gridLine(const FlexGrid& grid) { return grid.showGrid() ? 1 : 0; }

}  // namespace

int CellWidthFor(const FlexGrid& grid, const QString& text) {
  // Cells draw their texts without shaping (GridDelegate), so a text is as wide
  // as its letters' advances together: kept per letter for the grid's font, the
  // font measured only for a letter not seen before.
  static QFont measuredFont;
  static std::vector<double> advances;
  if (advances.empty() || !(measuredFont == grid.font())) {
    measuredFont = grid.font();
    advances.assign(0x500, -1);
  }
  std::optional<QFontMetricsF> metrics;
  auto measure = [&](const auto& what) {
    if (!metrics) {
      QFont font = grid.font();
      font.setStyleStrategy(QFont::PreferNoShaping);
      metrics.emplace(font);
    }
    return metrics->horizontalAdvance(what);
  };
  double advance = 0;
  for (const QChar ch : text) {
    if (ch.unicode() >= advances.size()) {
      advance = measure(text);
      break;
    }
    double& a = advances[ch.unicode()];
    if (a < 0) a = measure(ch);
    advance += a;
  }
  return int(std::ceil(advance)) + 2 * kCellTextPad + gridLine(grid) + 1;
}

int HeaderWidthFor(const FlexGrid& grid, const QString& text) {
  // The same few captions are measured at every fill: kept per header font.
  static QFont measuredFont;
  static QHash<QString, double> advances;
  const QHeaderView* header = grid.horizontalHeader();
  if (!(measuredFont == header->font())) {
    measuredFont = header->font();
    advances.clear();
  }
  auto it = advances.constFind(text);
  if (it == advances.cend()) {
    if (advances.size() > 256) advances.clear();
    it = advances.insert(text, QFontMetricsF(header->font()).horizontalAdvance(text));
  }
  return int(std::ceil(*it)) + headerMargins(header) + 1;
}

QString ShownCellText(const FlexGrid& grid, const QString& text, int columnWidth) {
  return grid.fontMetrics().elidedText(text, Qt::ElideRight, columnWidth - gridLine(grid) - 2 * kCellTextPad);
}

int NeededWidth(const FlexGrid& grid, int col, int widthNow) {
  const auto* model = static_cast<const GridModel*>(grid.model());
  const int header = HeaderWidthFor(grid, model->headerText(col));
  // A column already wide enough for any text of the fitted length (a name
  // column) needs no look at its cells.
  const int widest = kLongestFittedText * grid.fontMetrics().maxWidth() + CellWidthFor(grid, QString());
  if (widthNow >= widest) return header;
  // The widest text is among the longest ones: one pass keeps a few rows of the
  // longest length that fits the limit and of the two lengths below it (a wide
  // letter can outweigh a character more); those are measured.
  constexpr int kPerLength = 16;
  struct Candidate {
    int row, length;
  };
  std::vector<Candidate> candidates;
  int longest = 0;
  int counts[3] = {0, 0, 0};  // candidates of length longest, longest-1, longest-2
  const int rows = model->dataRows();
  for (int r = 0; r < rows; ++r) {
    const int n = model->cellCharacters(r, col, kLongestFittedText + 1);
    if (n == 0 || n > kLongestFittedText || n < longest - 2) continue;
    if (n > longest) {
      longest = n;
      std::erase_if(candidates, [&](const Candidate& c) { return c.length < longest - 2; });
      counts[0] = counts[1] = counts[2] = 0;
      for (const Candidate& c : candidates) ++counts[longest - c.length];
    }
    int& count = counts[longest - n];
    if (count >= kPerLength) continue;
    ++count;
    candidates.push_back({r, n});
  }
  int need = header;
  for (const Candidate& c : candidates) {
    const std::string_view t = model->cellUtf8(c.row, col);
    need = std::max(need, CellWidthFor(grid, QString::fromUtf8(t.data(), qsizetype(t.size()))));
  }
  return need;
}

bool TextCut(const FlexGrid& grid, int row, int col) {
  const QHeaderView* header = grid.horizontalHeader();
  if (col < 0 || col >= grid.cols() || header->isSectionHidden(col)) return false;
  const int width = header->sectionSize(col);
  const QString text = grid.textMatrix(row, col);
  if (text.isEmpty()) return false;
  if (row == 0) return header->fontMetrics().elidedText(text, Qt::ElideRight, width - headerMargins(header)) != text;
  return ShownCellText(grid, text, width) != text;
}

}  // namespace columnfit

// ---- FlexGrid: the shown column widths ------------------------------------
// A column is shown at least as wide as its header and its short values need,
// or at the width the user dragged its border to (for as long as the grid
// lives, kept by caption so that it survives the grid's layouts being set again).

void FlexGrid::watchColumnFit() {
  QHeaderView* hh = horizontalHeader();
  hh->setSectionResizeMode(QHeaderView::Interactive);
  connect(hh, &QHeaderView::sectionResized, this, [this](int col, int, int size) {
    if (m_applyingWidths || m_syncing || size <= 0 || col >= m_model->cols()) return;
    m_draggedPx.insert(m_model->headerText(col), size);
  });
  auto allChanged = [this] { columnTextsChanged(QModelIndex()); };
  connect(m_model, &QAbstractItemModel::modelReset, this, allChanged);
  connect(m_model, &QAbstractItemModel::rowsInserted, this, allChanged);
  connect(m_model, &QAbstractItemModel::rowsRemoved, this, allChanged);
  connect(m_model, &QAbstractItemModel::headerDataChanged, this, allChanged);
  connect(m_model, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& tl, const QModelIndex& br) { columnTextsChanged(tl == br ? tl : QModelIndex()); });
}

void FlexGrid::columnTextsChanged(const QModelIndex& cell) {
  if (cell.isValid() && !m_fitDirty) {
    // One cell (a typed quantity and its sum): only a wider text counts.
    const int c = cell.column();
    const std::string_view t = m_model->cellUtf8(cell.row(), c);
    const QString text = QString::fromUtf8(t.data(), qsizetype(t.size()));
    if (size_t(c) >= m_fitPx.size() || m_fitPx[size_t(c)] < 0 || text.size() > columnfit::kLongestFittedText) return;
    const int need = columnfit::CellWidthFor(*this, text);
    if (need <= m_fitPx[size_t(c)]) return;
    m_fitPx[size_t(c)] = need;
  } else {
    m_fitDirty = true;
  }
  // Applied with the next flush, or right after the event that changed it.
  m_widthsDirty = true;
  if (m_fitScheduled) return;
  m_fitScheduled = true;
  QTimer::singleShot(0, this, [this] {
    m_fitScheduled = false;
    if (m_redraw) applyColumnWidths();
  });
}

int FlexGrid::shownColumnWidth(int col, int requestedPx) {
  if (m_fitDirty) {
    m_fitDirty = false;
    m_fitPx.assign(size_t(m_model->cols()), -1);  // measured when first asked for
  }
  const auto dragged = m_draggedPx.constFind(m_model->headerText(col));
  if (dragged != m_draggedPx.cend()) return *dragged;
  if (size_t(col) >= m_fitPx.size()) return requestedPx;
  int& fit = m_fitPx[size_t(col)];
  if (fit < 0) fit = columnfit::NeededWidth(*this, col, requestedPx);
  return std::max(requestedPx, fit);
}
