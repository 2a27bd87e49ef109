#include "gui/grid/FlexGrid.h"

#include "gui/grid/GridDelegate.h"

#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace {

constexpr int kDefaultCacheCapacity = 512;

}  // namespace

// ---------------------------------------------------------------------------
// FlexGrid

FlexGrid::FlexGrid(QWidget* parent) : QTableView(parent) {
  m_model = new GridModel(this);
  setModel(m_model);
  setItemDelegate(new GridDelegate(
      m_model, [this](int row, int col) { return pictureForPaint(row, col); }, this));

  setStyle(gridViewStyle());
  setGridStyle(Qt::NoPen);  // the lines are drawn after the cells (paintGridLines)

  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::NoSelection);  // selection is driven by Row/Col/RowSel/ColSel
  setTabKeyNavigation(false);
  setAutoScroll(false);
  setWordWrap(false);
  setTextElideMode(Qt::ElideRight);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
  setCornerButtonEnabled(false);

  QHeaderView* vh = verticalHeader();
  vh->hide();
  vh->setMinimumSectionSize(0);
  vh->setSectionResizeMode(QHeaderView::Fixed);
  QHeaderView* hh = horizontalHeader();
  hh->setMinimumSectionSize(0);
  hh->setSectionsClickable(false);
  hh->setHighlightSections(false);
  hh->setStretchLastSection(false);

  watchColumnFit();
  m_pictureCache.setMaxCost(kDefaultCacheCapacity);
  m_colWidthPx.assign(size_t(m_model->cols()), -1);
  updateDefaultRowHeight();

  m_row = m_rowSel = 1;
  applySelection();
}

FlexGrid::~FlexGrid() = default;

int FlexGrid::twipsToPixels(int twips, int dpi) {
  if (dpi <= 0) dpi = 96;
  return int(std::lround(double(twips) * dpi / 1440.0));
}

int FlexGrid::pixelsToTwips(int px, int dpi) {
  if (dpi <= 0) dpi = 96;
  return int(std::lround(double(px) * 1440.0 / dpi));
}

void FlexGrid::updateDefaultRowHeight() {
  if (!m_explicitDefaultRow) m_defaultRowPx = fontMetrics().height() + 3;
  QHeaderView* vh = verticalHeader();
  if (vh->defaultSectionSize() != m_defaultRowPx) {
    const QSignalBlocker block(vh);
    vh->setDefaultSectionSize(m_defaultRowPx);
  }
  m_heightsDirty = true;
  if (m_redraw) applyRowHeights();
}

void FlexGrid::changeEvent(QEvent* e) {
  QTableView::changeEvent(e);
  if (e->type() == QEvent::FontChange) updateDefaultRowHeight();
}

// ---- shape ----------------------------------------------------------------

int FlexGrid::rows() const { return m_model->dataRows() + 1; }

int FlexGrid::cols() const { return m_model->cols(); }

void FlexGrid::setRows(int n) {
  n = std::max(1, n);
  const int oldDataRows = m_model->dataRows();
  if (n - 1 == oldDataRows) return;
  m_syncing = true;
  m_model->setDataRows(n - 1);
  m_syncing = false;
  if (!m_rowHeightPx.empty()) m_rowHeightPx.resize(size_t(n - 1), -1);
  if (n == 1) {
    m_row = m_rowSel = 0;
  } else {
    if (m_row < 1) m_row = 1;
    m_row = std::min(m_row, n - 1);
    m_rowSel = std::clamp(m_rowSel, 1, n - 1);
  }
  // Within a batch the view still scrolls over the old rows: a top row that no
  // longer exists moves up now, as if the view had seen the change (rows filled
  // in again after it start from there, not from the old place).
  const int lastRow = std::max(1, n - 1);
  if (m_pendingTopRow > lastRow)
    m_pendingTopRow = lastRow;
  else if (!m_redraw && m_pendingTopRow == 0 && verticalScrollBar()->value() + 1 > lastRow)
    m_pendingTopRow = lastRow;
  if (m_redraw) {
    if (n - 1 > oldDataRows) m_heightsDirty = true;
    applyRowHeights();
    applySelection();
  } else {
    m_heightsDirty = true;
  }
}

void FlexGrid::setCols(int n) {
  n = std::max(1, n);
  if (n == m_model->cols()) return;
  m_syncing = true;
  m_model->setCols(n);
  m_syncing = false;
  m_colWidthPx.resize(size_t(n), -1);
  m_col = std::min(m_col, n - 1);
  m_colSel = std::min(m_colSel, n - 1);
  m_widthsDirty = true;
  if (m_redraw) {
    applyColumnWidths();
    applySelection();
  }
}

int FlexGrid::addRowUtf8(const std::string_view* cells, int count) {
  const int row = addRow();
  m_model->setRowUtf8(row - 1, cells, count);
  return row;
}

int FlexGrid::addRow() {
  m_syncing = true;
  const int dataRow = m_model->appendDataRow();
  m_syncing = false;
  if (!m_rowHeightPx.empty()) m_rowHeightPx.push_back(-1);
  if (m_row == 0) m_row = m_rowSel = 1;
  if (m_redraw && !m_model->structurePending()) {
    QHeaderView* vh = verticalHeader();
    if (dataRow < vh->count() && vh->sectionSize(dataRow) != m_defaultRowPx) vh->resizeSection(dataRow, m_defaultRowPx);
    if (dataRow == 0) applySelection();
  } else {
    m_heightsDirty = true;
  }
  return dataRow + 1;
}

int FlexGrid::addSourceRows(int count, std::function<std::string_view(int index, int col)> source,
                            std::function<int(int index, int col)> characters) {
  count = std::max(0, count);
  const bool wasOn = m_redraw;
  if (wasOn) setRedraw(false);
  m_syncing = true;
  const int first = m_model->appendSourceRows(count, std::move(source), std::move(characters));
  m_syncing = false;
  if (!m_rowHeightPx.empty()) m_rowHeightPx.resize(m_rowHeightPx.size() + size_t(count), -1);
  if (count > 0 && m_row == 0) m_row = m_rowSel = 1;
  m_heightsDirty = true;
  if (wasOn) setRedraw(true);
  return first + 1;
}

void FlexGrid::reserveRows(int n) { m_model->reserveDataRows(n - 1); }

// ---- texts ----------------------------------------------------------------

bool FlexGrid::validCell(int row, int col) const { return row >= 0 && row < rows() && col >= 0 && col < cols(); }

QString FlexGrid::textMatrix(int row, int col) const {
  if (!validCell(row, col)) return {};
  if (row == 0) return m_model->headerText(col);
  return m_model->cellText(row - 1, col);
}

bool FlexGrid::setTextMatrix(int row, int col, const QString& text) {
  if (!validCell(row, col)) return false;
  if (row == 0) {
    m_model->setHeaderText(col, text);
    return true;
  }
  const QByteArray utf8 = text.toUtf8();
  m_model->setCellUtf8(row - 1, col, std::string_view(utf8.constData(), size_t(utf8.size())));
  return true;
}

bool FlexGrid::setTextUtf8(int row, int col, std::string_view utf8) {
  if (!validCell(row, col)) return false;
  if (row == 0) {
    m_model->setHeaderText(col, QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
    return true;
  }
  m_model->setCellUtf8(row - 1, col, utf8);
  return true;
}

void FlexGrid::clear() { m_model->clearContents(); }

// ---- redraw ---------------------------------------------------------------

void FlexGrid::setRedraw(bool on) {
  if (on == m_redraw) return;
  m_redraw = on;
  if (!on) {
    m_model->setBatching(true);
    // Only the cells wait: re-enabling the whole grid would repaint its frame,
    // scroll bars and the window behind them as well.
    viewport()->setUpdatesEnabled(false);
    return;
  }
  m_model->setBatching(false);
  flushToView();
  viewport()->setUpdatesEnabled(true);
}

// Brings the view up to date after a batch: one model notification, column
// widths, row heights in bulk, current cell and selection, pending top row.
void FlexGrid::flushToView() {
  m_syncing = true;
  const bool reset = m_model->flush();
  m_syncing = false;
  if (reset) m_widthsDirty = true;
  applyColumnWidths();
  applyRowHeights();
  applySelection();
  if (m_pendingTopRow > 0) {
    const int t = m_pendingTopRow;
    m_pendingTopRow = 0;
    setTopRow(t);
  }
}

void FlexGrid::applyColumnWidths() {
  if (!m_widthsDirty || m_model->structurePending()) return;
  m_widthsDirty = false;
  QHeaderView* hh = horizontalHeader();
  const int defaultPx = hh->defaultSectionSize();
  const QScopedValueRollback<bool> applying(m_applyingWidths, true);
  for (int c = 0; c < hh->count() && c < int(m_colWidthPx.size()); ++c) {
    const int requested = m_colWidthPx[size_t(c)] < 0 ? defaultPx : m_colWidthPx[size_t(c)];
    const int px = requested == 0 ? 0 : shownColumnWidth(c, requested);
    if (px == 0) {
      hh->setSectionHidden(c, true);
    } else {
      if (hh->isSectionHidden(c)) hh->setSectionHidden(c, false);
      if (hh->sectionSize(c) != px) hh->resizeSection(c, px);
    }
  }
}

void FlexGrid::applyRowHeights() {
  if (m_headerHeightPx >= 0 && horizontalHeader()->height() != m_headerHeightPx)
    horizontalHeader()->setFixedHeight(m_headerHeightPx);
  if (!m_heightsDirty || m_model->structurePending()) return;
  m_heightsDirty = false;
  QHeaderView* vh = verticalHeader();
  const int n = vh->count();
  const bool bulk = !m_redraw || n > 64;
  // Per-section resizing is cheap only while the header does not repaint:
  // apply everything with the header's signals and updates held back, then
  // lay the view out once.
  const bool wasEnabled = vh->updatesEnabled();
  if (bulk && wasEnabled) vh->setUpdatesEnabled(false);
  {
    const QSignalBlocker block(bulk ? vh : nullptr);
    if (m_rowHeightPx.empty()) {
      if (vh->defaultSectionSize() != m_defaultRowPx) vh->setDefaultSectionSize(m_defaultRowPx);
      for (int r = 0; r < n; ++r)
        if (vh->sectionSize(r) != m_defaultRowPx) vh->resizeSection(r, m_defaultRowPx);
    } else {
      // The most common height becomes the header's default, so that
      // only the other rows need a section of their own.
      std::unordered_map<int, int> histogram;
      for (int r = 0; r < n && r < int(m_rowHeightPx.size()); ++r)
        ++histogram[m_rowHeightPx[size_t(r)] < 0 ? m_defaultRowPx : m_rowHeightPx[size_t(r)]];
      int common = m_defaultRowPx, best = -1;
      for (const auto& [h, count] : histogram)
        if (count > best) {
          best = count;
          common = h;
        }
      if (vh->defaultSectionSize() != common) vh->setDefaultSectionSize(common);
      for (int r = 0; r < n; ++r) {
        const int want = (r < int(m_rowHeightPx.size()) && m_rowHeightPx[size_t(r)] >= 0) ? m_rowHeightPx[size_t(r)]
                                                                                          : m_defaultRowPx;
        if (vh->sectionSize(r) != want) vh->resizeSection(r, want);
      }
    }
  }
  if (bulk && wasEnabled) vh->setUpdatesEnabled(true);
  if (bulk) {
    updateGeometries();
    viewport()->update();
  }
}

// ---- current cell and selection ------------------------------------------

void FlexGrid::applySelection() {
  if (m_model->structurePending() || !selectionModel()) return;
  m_syncing = true;
  QItemSelectionModel* sm = selectionModel();
  if (m_row < 1 || m_model->rowCount() == 0) {
    sm->clear();
  } else {
    const QModelIndex cur = m_model->index(m_row - 1, m_col);
    const int r0 = std::min(m_row, m_rowSel) - 1, r1 = std::max(m_row, m_rowSel) - 1;
    const int c0 = std::min(m_col, m_colSel), c1 = std::max(m_col, m_colSel);
    sm->setCurrentIndex(cur, QItemSelectionModel::NoUpdate);
    sm->select(QItemSelection(m_model->index(r0, c0), m_model->index(r1, c1)), QItemSelectionModel::ClearAndSelect);
  }
  m_syncing = false;
}

void FlexGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (m_syncing || !current.isValid()) return;
  // Moved by the view itself (not through our own navigation).
  const int r = current.row() + 1, c = current.column();
  if (r != m_row || c != m_col) {
    m_row = m_rowSel = r;
    m_col = m_colSel = c;
    applySelection();
    emit EnterCell();
  }
}

void FlexGrid::moveCurrent(int r, int c, bool keepSelection) {
  const bool changed = (r != m_row || c != m_col);
  m_row = r;
  m_col = c;
  if (!keepSelection) {
    m_rowSel = r;
    m_colSel = c;
  }
  if (m_redraw) applySelection();
  if (changed) emit EnterCell();
}

void FlexGrid::moveSelEnd(int r, int c) {
  m_rowSel = r;
  m_colSel = c;
  if (m_redraw) applySelection();
}

void FlexGrid::setRow(int r) {
  if (r < 1 || r >= rows()) return;
  moveCurrent(r, m_col, false);
}

void FlexGrid::setCol(int c) {
  if (c < 0 || c >= cols()) return;
  if (rows() < 2) {
    m_col = m_colSel = c;
    return;
  }
  moveCurrent(m_row, c, false);
}

void FlexGrid::setRowSel(int r) {
  if (r < 1 || r >= rows()) return;
  moveSelEnd(r, m_colSel);
}

void FlexGrid::setColSel(int c) {
  if (c < 0 || c >= cols()) return;
  moveSelEnd(m_rowSel, c);
}

// ---- scrolling ------------------------------------------------------------

void FlexGrid::ensureLayout() {
  executeDelayedItemsLayout();
  updateGeometries();
}

int FlexGrid::topRow() const {
  if (m_pendingTopRow > 0) return m_pendingTopRow;
  if (rows() < 2) return 1;
  return std::clamp(verticalScrollBar()->value() + 1, 1, rows() - 1);
}

void FlexGrid::setTopRow(int r) {
  if (rows() < 2) return;
  r = std::clamp(r, 1, rows() - 1);
  if (!m_redraw || m_model->structurePending()) {
    m_pendingTopRow = r;
    return;
  }
  ensureLayout();
  verticalScrollBar()->setValue(r - 1);
}

int FlexGrid::pageRows() const {
  const int first = rowAt(0);
  if (first < 0) return 1;
  int last = rowAt(viewport()->height() - 1);
  if (last < 0) last = m_model->rowCount() - 1;
  return std::max(1, last - first);
}

void FlexGrid::scrollToCell(int r, int c) {
  if (!m_redraw || m_model->structurePending() || r < 1) return;
  ensureLayout();
  scrollTo(m_model->index(r - 1, c), QAbstractItemView::EnsureVisible);
}

// ---- sizes ----------------------------------------------------------------

int FlexGrid::colWidth(int col) const {
  if (col < 0 || col >= cols()) return 0;
  const int px = m_colWidthPx[size_t(col)];
  return pixelsToTwipsX(px < 0 ? horizontalHeader()->defaultSectionSize() : px);
}

void FlexGrid::setColWidth(int col, int twips) {
  if (col < -1 || col >= cols()) return;
  const int px = twips < 0 ? -1 : twipsToPixelsX(twips);
  if (col == -1)
    std::fill(m_colWidthPx.begin(), m_colWidthPx.end(), px);
  else
    m_colWidthPx[size_t(col)] = px;
  m_widthsDirty = true;
  if (m_redraw) applyColumnWidths();
}

int FlexGrid::rowHeight(int row) const {
  if (row < 0 || row >= rows()) return 0;
  if (row == 0) {
    const int px = m_headerHeightPx >= 0 ? m_headerHeightPx : horizontalHeader()->sizeHint().height();
    return pixelsToTwipsY(px);
  }
  const size_t i = size_t(row - 1);
  const int px = (i < m_rowHeightPx.size() && m_rowHeightPx[i] >= 0) ? m_rowHeightPx[i] : m_defaultRowPx;
  return pixelsToTwipsY(px);
}

void FlexGrid::setRowHeight(int row, int twips) {
  if (row < -1 || row >= rows()) return;
  const int px = std::max(0, twipsToPixelsY(twips));
  if (row == -1) {
    // Every row, the header included, like the classic control.
    m_explicitDefaultRow = twips >= 0;
    std::vector<int>().swap(m_rowHeightPx);
    m_defaultRowPx = m_explicitDefaultRow ? px : fontMetrics().height() + 3;
    m_headerHeightPx = m_explicitDefaultRow ? px : -1;
    if (!m_explicitDefaultRow)
      horizontalHeader()->setMinimumHeight(0), horizontalHeader()->setMaximumHeight(QWIDGETSIZE_MAX);
    m_heightsDirty = true;
    if (m_redraw) applyRowHeights();
    return;
  }
  if (row == 0) {
    m_headerHeightPx = twips < 0 ? -1 : px;
    if (m_headerHeightPx < 0) {
      horizontalHeader()->setMinimumHeight(0);
      horizontalHeader()->setMaximumHeight(QWIDGETSIZE_MAX);
    }
    applyRowHeights();
    return;
  }
  if (m_rowHeightPx.empty()) {
    if (twips < 0) return;
    m_rowHeightPx.assign(size_t(m_model->dataRows()), -1);
  }
  m_rowHeightPx[size_t(row - 1)] = twips < 0 ? -1 : px;
  if (!m_redraw || m_model->structurePending()) {
    m_heightsDirty = true;
    return;
  }
  QHeaderView* vh = verticalHeader();
  const int want = twips < 0 ? m_defaultRowPx : px;
  if (row - 1 < vh->count() && vh->sectionSize(row - 1) != want) vh->resizeSection(row - 1, want);
}

// ---- alignment --------------------------------------------------------------

int FlexGrid::colAlignment(int col) const { return m_model->alignmentCode(col); }

void FlexGrid::setColAlignment(int col, int code) {
  if (col == -1) {
    for (int c = 0; c < cols(); ++c) m_model->setAlignmentCode(c, code);
    return;
  }
  m_model->setAlignmentCode(col, code);
}

// ---- pictures -------------------------------------------------------------

void FlexGrid::setCellPicture(int row, int col, const QPixmap& pm) {
  if (!validCell(row, col)) return;
  m_model->setPicture(row, col, pm);
}

QPixmap FlexGrid::cellPicture(int row, int col) const {
  if (!validCell(row, col)) return {};
  return m_model->picture(row, col);
}

void FlexGrid::setCellPictureKey(int row, int col, qint64 key) {
  if (!validCell(row, col) || row == 0) return;
  m_model->setPictureKey(row, col, key);
}

qint64 FlexGrid::cellPictureKey(int row, int col) const {
  if (!validCell(row, col)) return -1;
  return m_model->pictureKey(row, col);
}

void FlexGrid::setPictureProvider(PictureProvider provider) {
  m_provider = std::move(provider);
  m_pictureCache.clear();
}

void FlexGrid::clearPictureCache() { m_pictureCache.clear(); }

// Asks the provider once for all the keys given and caches the answers; a key
// without an answer is cached as "no picture" so it is not asked again.
void FlexGrid::fetchKeys(const std::vector<qint64>& keys) {
  if (keys.empty()) return;
  std::unordered_map<qint64, QPixmap> got;
  if (m_provider) got = m_provider(keys);
  for (qint64 k : keys) {
    auto it = got.find(k);
    m_pictureCache.insert(k, new QPixmap(it == got.end() ? QPixmap() : it->second));
  }
}

QPixmap FlexGrid::cellPictureResolved(int row, int col) {
  if (!validCell(row, col)) return {};
  return pictureForPaint(row, col);
}

QPixmap FlexGrid::pictureForPaint(int row, int col) {
  QPixmap explicitPm = m_model->picture(row, col);
  if (!explicitPm.isNull()) return explicitPm;
  const qint64 key = m_model->pictureKey(row, col);
  if (key < 0) return {};
  if (QPixmap* cached = m_pictureCache.object(key)) return *cached;
  fetchKeys({key});
  QPixmap* cached = m_pictureCache.object(key);
  return cached ? *cached : QPixmap();
}

// Before a paint: the keys of the visible rows plus one page above and below
// that are not cached yet go to the provider in one batch.
void FlexGrid::prefetchPictures() {
  const auto& keyCols = m_model->keyColumns();
  if (keyCols.empty() || !m_provider) return;
  const int viewRows = std::min(m_model->rowCount(), m_model->dataRows());
  if (viewRows == 0) return;
  int first = rowAt(0);
  if (first < 0) return;
  int last = rowAt(viewport()->height() - 1);
  if (last < 0) last = viewRows - 1;
  const int page = last - first + 1;
  const int from = std::max(0, first - page), to = std::min(viewRows - 1, last + page);

  std::vector<qint64> want;
  std::unordered_set<qint64> seen;
  const size_t capacity = size_t(std::max<qsizetype>(1, m_pictureCache.maxCost()));
  auto collect = [&](int r0, int r1) {
    for (int r = r0; r <= r1 && want.size() < capacity; ++r)
      for (size_t c = 0; c < keyCols.size(); ++c) {
        const auto& col = keyCols[c];
        if (size_t(r) >= col.size() || isColumnHidden(int(c))) continue;
        const qint64 k = col[size_t(r)];
        if (k >= 0 && !m_pictureCache.contains(k) && seen.insert(k).second) want.push_back(k);
      }
  };
  collect(first, last);  // visible rows first: they must survive the cache
  collect(last + 1, to);
  collect(from, first - 1);
  fetchKeys(want);
}

void FlexGrid::paintEvent(QPaintEvent* e) {
  prefetchPictures();
  QTableView::paintEvent(e);
  paintGridLines();
}

// The grid lines, in the last pixel of every shown row and column, as a few
// rectangles over the visible cells (the view's own lines are off: it strokes
// each vertical line a pixel at a time).
void FlexGrid::paintGridLines() {
  if (!showGrid()) return;
  const QHeaderView* across = horizontalHeader();
  const QHeaderView* down = verticalHeader();
  const QRect port = viewport()->rect();
  const auto lastAt = [](int at, int count) { return at < 0 ? count - 1 : at; };
  const int firstRow = down->logicalIndexAt(port.top());
  const int lastRow = lastAt(down->logicalIndexAt(port.bottom()), down->count());
  const int firstCol = across->logicalIndexAt(port.left());
  const int lastCol = lastAt(across->logicalIndexAt(port.right()), across->count());
  if (firstRow < 0 || firstCol < 0) return;
  // The last pixel of each shown row and column in sight.
  const auto lastPixels = [](const QHeaderView* header, int first, int last) {
    std::vector<int> at;
    for (int i = first; i <= last; ++i)
      if (!header->isSectionHidden(i)) at.push_back(header->sectionViewportPosition(i) + header->sectionSize(i) - 1);
    return at;
  };
  const std::vector<int> xs = lastPixels(across, firstCol, lastCol);
  const std::vector<int> ys = lastPixels(down, firstRow, lastRow);
  if (xs.empty() || ys.empty()) return;
  const int left = across->sectionViewportPosition(firstCol), top = down->sectionViewportPosition(firstRow);
  const QColor line =
      QColor::fromRgba(static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, nullptr, this)));
  QPainter p(viewport());
  for (const int x : xs) p.fillRect(x, top, 1, ys.back() - top + 1, line);
  for (const int y : ys) p.fillRect(left, y, xs.back() - left + 1, 1, line);
}

// ---- keyboard ---------------------------------------------------------------

int FlexGrid::visibleColFrom(int c, int step) const {
  for (int i = c; i >= 0 && i < cols(); i += step)
    if (!isColumnHidden(i)) return i;
  return -1;
}

void FlexGrid::keyPressEvent(QKeyEvent* e) {
  // Character keys first: they go to the owner, never to the view's own
  // keyboard search or editing.
  int code = 0;
  switch (e->key()) {
    case Qt::Key_Backspace:
      code = 8;
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      code = 13;
      break;
    case Qt::Key_Escape:
      code = 27;
      break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      code = 0;
      break;
    default: {
      // Ctrl with a key (paste, copy, ...) types nothing; AltGr (Ctrl+Alt) does.
      const bool command =
          (e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) && !(e->modifiers() & Qt::AltModifier);
      const QString t = command ? QString() : e->text();
      if (!t.isEmpty()) {
        const QList<uint> ucs = t.toUcs4();
        if (!ucs.isEmpty() && ucs.first() != 0x7f) code = int(ucs.first());
      }
    }
  }
  if (code > 0) {
    e->accept();
    emit KeyPress(code);
    return;
  }

  const bool shift = e->modifiers() & Qt::ShiftModifier;
  const bool ctrl = e->modifiers() & Qt::ControlModifier;
  const int lastRow = rows() - 1;
  if (lastRow < 1) {
    QTableView::keyPressEvent(e);
    return;
  }
  int r = shift ? m_rowSel : m_row;
  int c = shift ? m_colSel : m_col;
  switch (e->key()) {
    case Qt::Key_Up:
      r = std::max(1, r - 1);
      break;
    case Qt::Key_Down:
      r = std::min(lastRow, r + 1);
      break;
    case Qt::Key_Left: {
      int n = visibleColFrom(c - 1, -1);
      if (n >= 0) c = n;
      break;
    }
    case Qt::Key_Right: {
      int n = visibleColFrom(c + 1, 1);
      if (n >= 0) c = n;
      break;
    }
    case Qt::Key_PageUp:
      r = std::max(1, r - pageRows());
      break;
    case Qt::Key_PageDown:
      r = std::min(lastRow, r + pageRows());
      break;
    case Qt::Key_Home: {
      int n = visibleColFrom(0, 1);
      if (n >= 0) c = n;
      if (ctrl) r = 1;
      break;
    }
    case Qt::Key_End: {
      int n = visibleColFrom(cols() - 1, -1);
      if (n >= 0) c = n;
      if (ctrl) r = lastRow;
      break;
    }
    default:
      QTableView::keyPressEvent(e);
      return;
  }
  e->accept();
  if (shift)
    moveSelEnd(r, c);
  else
    moveCurrent(r, c, false);
  scrollToCell(r, c);
}

void FlexGrid::inputMethodEvent(QInputMethodEvent* e) {
  const QString s = e->commitString();
  e->accept();
  for (uint ch : s.toUcs4()) emit KeyPress(int(ch));
}

// ---- mouse -----------------------------------------------------------------

void FlexGrid::mousePressEvent(QMouseEvent* e) {
  m_pressedOnCell = false;
  if (focusPolicy() & Qt::ClickFocus) setFocus(Qt::MouseFocusReason);
  if (e->button() != Qt::LeftButton) return;
  const QModelIndex idx = indexAt(e->position().toPoint());
  if (!idx.isValid() || idx.row() >= m_model->dataRows()) return;
  m_pressedOnCell = true;
  if (e->modifiers() & Qt::ShiftModifier)
    moveSelEnd(idx.row() + 1, idx.column());
  else
    moveCurrent(idx.row() + 1, idx.column(), false);
  e->accept();
}

void FlexGrid::mouseMoveEvent(QMouseEvent* e) {
  if ((e->buttons() & Qt::LeftButton) && m_pressedOnCell) {
    const QModelIndex idx = indexAt(e->position().toPoint());
    if (idx.isValid() && idx.row() < m_model->dataRows() && (idx.row() + 1 != m_rowSel || idx.column() != m_colSel))
      moveSelEnd(idx.row() + 1, idx.column());
  } else if (e->buttons() == Qt::NoButton) {
    QTableView::mouseMoveEvent(e);
  }
  emit MouseMove();
}

void FlexGrid::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const bool wasPressed = m_pressedOnCell;
  m_pressedOnCell = false;
  const QModelIndex idx = indexAt(e->position().toPoint());
  if (wasPressed && idx.isValid()) emit Click();
}

void FlexGrid::mouseDoubleClickEvent(QMouseEvent* e) {
  // A second press of a double click acts as a press; nothing opens.
  mousePressEvent(e);
}
