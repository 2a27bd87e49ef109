#pragma once
// The grid widget every grid of the program uses. It offers what the program
// needs of the classic flex grid: Rows/Cols with one fixed header row,
// TextMatrix, Row/Col/RowSel/ColSel, TopRow, Redraw, Clear, ColWidth,
// RowHeight (both in twips), ColAlignment, CellPicture, and the events Click,
// KeyPress, EnterCell and MouseMove.
//
// It is the view of the grid's parts: the texts live in a compact row store
// (GridRowStore) inside the table model (GridModel), cells are painted by
// GridDelegate. Pictures come either directly or as keys that a provider turns
// into pictures on demand, cached and fetched a page around the visible rows at
// a time. With Redraw off, structural changes are collected and published to
// the view in one step when Redraw goes back on.
//
// Row numbers are grid rows: row 0 is the header, data rows are 1..rows()-1
// (model row = grid row - 1).

#include "gui/grid/GridModel.h"

#include <QCache>
#include <QHash>
#include <QPixmap>
#include <QTableView>

#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

class FlexGrid : public QTableView {
  Q_OBJECT
 public:
  using PictureProvider = std::function<std::unordered_map<qint64, QPixmap>(const std::vector<qint64>& keys)>;

  explicit FlexGrid(QWidget* parent = nullptr);
  ~FlexGrid() override;

  // Shape
  int rows() const;
  void setRows(int n);
  int cols() const;
  void setCols(int n);
  int addRow();  // appends one empty row, returns its index
  // Appends a row with the texts of its first `count` columns (the fast path of fills).
  int addRowUtf8(const std::string_view* cells, int count);
  // Appends `count` rows whose texts are read from `source` (index from the
  // first of them, column) when they are painted or read, until a text of the
  // row is set; nothing is copied. The views it gives must stay valid while
  // the rows exist. Returns the first new row.
  // `characters`, when given, counts a row's text without reading it.
  int addSourceRows(int count, std::function<std::string_view(int index, int col)> source,
                    std::function<int(int index, int col)> characters = {});
  void reserveRows(int n);

  // Texts
  QString textMatrix(int row, int col) const;
  bool setTextMatrix(int row, int col, const QString& text);
  bool setTextUtf8(int row, int col, std::string_view utf8);
  void clear();  // texts and pictures; shape kept

  // Redraw
  bool redraw() const { return m_redraw; }
  void setRedraw(bool on);

  // Current cell and selection
  int row() const { return m_row; }
  void setRow(int r);
  int col() const { return m_col; }
  void setCol(int c);
  int rowSel() const { return m_rowSel; }
  void setRowSel(int r);
  int colSel() const { return m_colSel; }
  void setColSel(int c);

  // Scrolling
  int topRow() const;
  void setTopRow(int r);

  // Sizes in twips
  int colWidth(int col) const;
  void setColWidth(int col, int twips);  // col -1: all columns; 0 hides
  int rowHeight(int row) const;
  void setRowHeight(int row, int twips);  // row -1: all rows
  int defaultRowHeightPixels() const { return m_defaultRowPx; }

  int twipsToPixelsX(int twips) const { return twipsToPixels(twips, logicalDpiX()); }
  int twipsToPixelsY(int twips) const { return twipsToPixels(twips, logicalDpiY()); }
  int pixelsToTwipsX(int px) const { return pixelsToTwips(px, logicalDpiX()); }
  int pixelsToTwipsY(int px) const { return pixelsToTwips(px, logicalDpiY()); }
  static int twipsToPixels(int twips, int dpi);
  static int pixelsToTwips(int px, int dpi);

  // Alignment codes 0..9 as GridModel describes them.
  int colAlignment(int col) const;
  void setColAlignment(int col, int code);  // col -1: all columns

  // Pictures
  void setCellPicture(int row, int col, const QPixmap& pm);
  QPixmap cellPicture(int row, int col) const;
  void setCellPictureKey(int row, int col, qint64 key);  // key < 0 clears
  qint64 cellPictureKey(int row, int col) const;
  void setPictureProvider(PictureProvider provider);
  void clearPictureCache();
  // The picture shown in a cell: the one set directly, else the one its key
  // stands for (the provider is asked only for keys not cached yet).
  QPixmap cellPictureResolved(int row, int col);

 signals:
  void Click();
  void KeyPress(int charCode);
  void EnterCell();
  void MouseMove();

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void changeEvent(QEvent* e) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  bool validCell(int row, int col) const;
  void flushToView();
  void applyColumnWidths();
  void applyRowHeights();
  void applySelection();
  void ensureLayout();
  void moveCurrent(int r, int c, bool keepSelection);
  void moveSelEnd(int r, int c);
  void scrollToCell(int r, int c);
  int visibleColFrom(int c, int step) const;
  int pageRows() const;
  void prefetchPictures();
  void paintGridLines();
  void fetchKeys(const std::vector<qint64>& keys);
  void updateDefaultRowHeight();
  QPixmap pictureForPaint(int row, int col);

  GridModel* m_model = nullptr;
  bool m_redraw = true;
  int m_row = 0, m_col = 0, m_rowSel = 0, m_colSel = 0;
  int m_pendingTopRow = 0;  // 0: none
  bool m_pressedOnCell = false;
  bool m_syncing = false;

  std::vector<int> m_colWidthPx;   // -1: default width
  std::vector<int> m_rowHeightPx;  // per data row, -1: default; empty: all default
  int m_defaultRowPx = 16;
  bool m_explicitDefaultRow = false;  // set by setRowHeight(-1, ...)
  int m_headerHeightPx = -1;
  bool m_heightsDirty = false;
  bool m_widthsDirty = false;

  PictureProvider m_provider;
  QCache<qint64, QPixmap> m_pictureCache;  // null pixmap = "no picture"

  // Shown column widths (ColumnFit.cpp): wide enough for the header and the
  // short values, or as the user dragged them.
  void watchColumnFit();
  void columnTextsChanged(const QModelIndex& cell);  // invalid: any number of cells
  int shownColumnWidth(int col, int requestedPx);
  std::vector<int> m_fitPx;  // per column, pixels its texts need
  bool m_fitDirty = true;
  bool m_fitScheduled = false;
  bool m_applyingWidths = false;
  QHash<QString, int> m_draggedPx;  // by header caption
};
