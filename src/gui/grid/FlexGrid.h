#pragma once
// The grid widget every grid of the program uses. It offers what the program
// needs of the classic flex grid: Rows/Cols with one fixed header row,
// TextMatrix, Row/Col/RowSel/ColSel, TopRow, Redraw, Clear, ColWidth,
// RowHeight (both in twips), ColAlignment, CellPicture, and the events Click,
// KeyPress, EnterCell and MouseMove.
//
// Storage is compact: the cell texts of a row are one record of
// length-prefixed UTF-8 strings in a single byte arena (one offset per row),
// converted to QString only for the cells being painted. There is no item or
// widget per cell. With Redraw off, structural changes are collected
// and published to the view in one step when Redraw goes back on.
//
// Row numbers are grid rows: row 0 is the header, data rows are 1..rows()-1
// (model row = grid row - 1).

#include <QAbstractTableModel>
#include <QCache>
#include <QHash>
#include <QPixmap>
#include <QStringList>
#include <QTableView>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class FlexGrid;

// The model behind FlexGrid. It keeps two row/column counts: the stored ones
// and the ones the view has been told about ("published"). While batching
// (Redraw off) only the stored ones change; flush() brings the view up to date
// with one notification.
class FlexGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FlexGridModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Stored shape (data rows exclude the header row).
    int dataRows() const { return m_dataRows; }
    int cols() const { return m_cols; }
    void setDataRows(int n);
    void setCols(int n);
    int appendDataRow();              // returns the new data row index (0-based)
    // Texts of a freshly appended row (all its cells empty) in one step.
    void setRowUtf8(int r, const std::string_view* cells, int count);
    void reserveDataRows(int n);

    // Texts; r is a data row (0-based). No range checks: callers check.
    // The view is valid until the next change of the grid's texts.
    std::string_view cellUtf8(int r, int c) const;
    QString cellText(int r, int c) const;
    void setCellUtf8(int r, int c, std::string_view text);
    QString headerText(int c) const;
    void setHeaderText(int c, const QString& text);
    void clearContents();

    // Alignment codes 0..9 per column.
    int alignmentCode(int c) const;
    void setAlignmentCode(int c, int code);
    Qt::Alignment alignmentFor(int r, int c) const;   // resolves "general"

    // Pictures. r is a grid row here (0 = header).
    QPixmap picture(int r, int c) const;
    void setPicture(int r, int c, const QPixmap& pm);
    qint64 pictureKey(int r, int c) const;   // -1 when none
    void setPictureKey(int r, int c, qint64 key);
    const std::vector<std::vector<qint64>>& keyColumns() const { return m_keys; }

    // Batching of notifications.
    bool batching() const { return m_batching; }
    void setBatching(bool on) { m_batching = on; }
    bool structurePending() const { return m_viewRows != m_dataRows || m_viewCols != m_cols; }
    // Publishes pending changes; returns true when the model was reset
    // (column count changed), so the view must restore its column sizes.
    bool flush();

private:
    static quint64 cellKey(int r, int c) { return (quint64(quint32(r)) << 32) | quint32(c); }
    void resizeStorageRows(int n);
    void notifyCell(int r, int c);   // r: data row

    int m_dataRows = 0;
    int m_cols = 2;
    int m_viewRows = 0;
    int m_viewCols = 2;
    // Row records: per column a length (one byte below 255, else 255 and four
    // bytes) followed by the text. A row without a record has empty cells.
    // Changing a cell of the last record rewrites its tail in place; changing
    // another row moves its record to the end, and the arena is compacted
    // when more than half of it is dead records.
    static constexpr quint64 kNoRecord = ~quint64(0);
    std::string m_arena;
    std::vector<quint64> m_rowAt;                // per data row: record offset or kNoRecord
    size_t m_garbage = 0;                        // bytes of dead records in m_arena
    size_t recordSize(quint64 off) const;
    void compactArena();
    void dropRecords(int from);
    QStringList m_header;                        // row 0
    std::vector<int> m_align;                    // per column
    std::unordered_map<quint64, QPixmap> m_pictures;     // explicit pictures
    std::vector<std::vector<qint64>> m_keys;     // per column, per data row; empty column = no keys
    bool m_batching = false;
    bool m_dataDirty = false;
    bool m_headerDirty = false;
};

class FlexGrid : public QTableView {
    Q_OBJECT
public:
    using PictureProvider = std::function<std::unordered_map<qint64, QPixmap>(const std::vector<qint64>& keys)>;

    explicit FlexGrid(QWidget* parent = nullptr);
    ~FlexGrid() override;

    FlexGridModel* gridModel() const { return m_model; }

    // Shape
    int rows() const;
    void setRows(int n);
    int cols() const;
    void setCols(int n);
    int fixedRows() const { return 1; }
    int fixedCols() const { return 0; }
    void setFixedCols(int n);          // only 0 is supported
    int addRow();                      // appends one empty row, returns its index
    // Appends a row with the texts of its first `count` columns (the fast path of fills).
    int addRowUtf8(const std::string_view* cells, int count);
    void reserveRows(int n);

    // Texts
    QString textMatrix(int row, int col) const;
    bool setTextMatrix(int row, int col, const QString& text);
    bool setTextUtf8(int row, int col, std::string_view utf8);
    void clear();                      // texts and pictures; shape kept

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
    void setColWidth(int col, int twips);        // col -1: all columns; 0 hides
    int rowHeight(int row) const;
    void setRowHeight(int row, int twips);       // row -1: all rows
    int defaultRowHeightPixels() const { return m_defaultRowPx; }

    int twipsToPixelsX(int twips) const { return twipsToPixels(twips, logicalDpiX()); }
    int twipsToPixelsY(int twips) const { return twipsToPixels(twips, logicalDpiY()); }
    int pixelsToTwipsX(int px) const { return pixelsToTwips(px, logicalDpiX()); }
    int pixelsToTwipsY(int px) const { return pixelsToTwips(px, logicalDpiY()); }
    static int twipsToPixels(int twips, int dpi);
    static int pixelsToTwips(int px, int dpi);

    // Alignment codes: 0 left-top, 1 left-centre, 2 left-bottom, 3 centre-top,
    // 4 centre-centre, 5 centre-bottom, 6 right-top, 7 right-centre,
    // 8 right-bottom, 9 general (text left, numbers right).
    int colAlignment(int col) const;
    void setColAlignment(int col, int code);     // col -1: all columns
    static Qt::Alignment alignmentFromCode(int code);

    // Pictures
    void setCellPicture(int row, int col, const QPixmap& pm);
    QPixmap cellPicture(int row, int col) const;
    void setCellPictureKey(int row, int col, qint64 key);   // key < 0 clears
    qint64 cellPictureKey(int row, int col) const;
    void setPictureProvider(PictureProvider provider);
    void clearPictureCache();
    void setPictureCacheCapacity(int n);
    QPixmap cellPictureResolved(int row, int col);
    // Picture for painting: explicit picture or cached lazy one (asks the
    // provider only when the key is not cached yet).
    QPixmap pictureForPaint(int row, int col);

signals:
    void Click();
    void DblClick();
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
    void fetchKeys(const std::vector<qint64>& keys);
    void updateDefaultRowHeight();

    FlexGridModel* m_model = nullptr;
    bool m_redraw = true;
    int m_row = 0, m_col = 0, m_rowSel = 0, m_colSel = 0;
    int m_pendingTopRow = 0;                    // 0: none
    bool m_pressedOnCell = false;
    bool m_syncing = false;

    std::vector<int> m_colWidthPx;              // -1: default width
    std::vector<int> m_rowHeightPx;             // per data row, -1: default; empty: all default
    int m_defaultRowPx = 16;
    bool m_explicitDefaultRow = false;          // set by setRowHeight(-1, ...)
    int m_headerHeightPx = -1;
    bool m_heightsDirty = false;
    bool m_widthsDirty = false;

    PictureProvider m_provider;
    QCache<qint64, QPixmap> m_pictureCache;     // null pixmap = "no picture"

    // Shown column widths (ColumnFit.cpp): wide enough for the header and the
    // short values, or as the user dragged them.
    void watchColumnFit();
    void columnTextsChanged(const QModelIndex& cell);   // invalid: any number of cells
    int shownColumnWidth(int col, int requestedPx);
    std::vector<int> m_fitPx;                   // per column, pixels its texts need
    bool m_fitDirty = true;
    bool m_fitScheduled = false;
    bool m_applyingWidths = false;
    QHash<QString, int> m_draggedPx;            // by header caption
};
