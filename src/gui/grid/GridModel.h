#pragma once
// The table model behind the grid widget: the texts in a compact row store, the
// header texts (grid row 0), an alignment code per column, pictures given
// directly and picture keys the view resolves lazily.
//
// It keeps two shapes: the stored one and the one the view has been told about
// ("published"). While batching (the grid's Redraw off) only the stored shape
// changes; flush() brings the view up to date with one notification.
//
// Rows here are data rows (0-based, the header excluded) unless a member says
// it takes a grid row.

#include "gui/grid/GridRowStore.h"

#include <QAbstractTableModel>
#include <QPixmap>
#include <QStringList>

#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

class GridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit GridModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Stored shape.
  int dataRows() const { return store_.rows(); }
  int cols() const { return store_.cols(); }
  void setDataRows(int n);
  void setCols(int n);
  int appendDataRow();  // returns the new data row
  // Texts of the first `count` cells of a row in one step.
  void setRowUtf8(int r, const std::string_view* cells, int count);
  void reserveDataRows(int n) { store_.reserve(n); }

  // Rows that take their texts from a source (index from the first of them,
  // column) until one of their texts is set, when the row keeps a copy of all
  // its texts; removing or clearing the rows ends it. A view the source gives
  // must stay valid while the rows exist. Returns the first new data row.
  // `characters`, when given, tells the number of characters of a source row's
  // text without reading it (for texts costly to read, a number above any fit).
  using RowSource = std::function<std::string_view(int index, int c)>;
  using RowCharacters = std::function<int(int index, int c)>;
  int appendSourceRows(int count, RowSource source, RowCharacters characters = {});
  // The number of characters of a cell's text, counted up to `cap`.
  int cellCharacters(int r, int c, int cap) const;

  // Texts. No range checks: callers check. The view is valid until the next
  // change of the texts.
  std::string_view cellUtf8(int r, int c) const {
    return fromSource(r) ? source_(r - sourceFirst_, c) : store_.cell(r, c);
  }
  QString cellText(int r, int c) const {
    const std::string_view s = cellUtf8(r, c);
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
  }
  void setCellUtf8(int r, int c, std::string_view text);
  QString headerText(int c) const { return header_.at(c); }
  void setHeaderText(int c, const QString& text);
  void clearContents();  // texts, header texts, pictures and keys

  // Alignment codes: 0 left-top, 1 left-centre, 2 left-bottom, 3 centre-top,
  // 4 centre-centre, 5 centre-bottom, 6 right-top, 7 right-centre,
  // 8 right-bottom, 9 general (numbers right, everything else left).
  int alignmentCode(int c) const;
  void setAlignmentCode(int c, int code);
  Qt::Alignment alignmentFor(int r, int c) const;  // resolves "general"
  static Qt::Alignment alignmentFromCode(int code);

  // Pictures; r is a grid row (0 = header).
  QPixmap picture(int r, int c) const;
  void setPicture(int r, int c, const QPixmap& pm);
  qint64 pictureKey(int r, int c) const;  // -1 when none
  void setPictureKey(int r, int c, qint64 key);
  // Per column, per data row; an empty column has no keys.
  const std::vector<std::vector<qint64>>& keyColumns() const { return keys_; }

  // Batching of notifications.
  void setBatching(bool on) { batching_ = on; }
  bool structurePending() const { return viewRows_ != dataRows() || viewCols_ != cols(); }
  // Publishes pending changes; returns true when the model was reset (the
  // column count changed), so the view must restore its column sizes.
  bool flush();

 private:
  static quint64 cellKey(int r, int c) { return (quint64(quint32(r)) << 32) | quint32(c); }
  bool live() const { return !batching_ && !structurePending(); }
  void resizeRows(int n);
  void notifyCell(int r, int c);
  void notifyHeader(int c);

  bool fromSource(int r) const { return r >= sourceFirst_ && r < sourceEnd_ && !store_.hasRecord(r); }
  void materialize(int r);   // a source row gets a record of its own
  void endSource(int rows);  // rows from `rows` on are gone

  GridRowStore store_;
  RowSource source_;
  RowCharacters sourceCharacters_;
  int sourceFirst_ = 0, sourceEnd_ = 0;  // data rows [first, end) read from the source
  int viewRows_ = 0;
  int viewCols_ = 1;
  QStringList header_;
  std::vector<int> align_;                         // per column
  std::unordered_map<quint64, QPixmap> pictures_;  // by grid row and column
  std::vector<std::vector<qint64>> keys_;
  bool batching_ = false;
  bool dataDirty_ = false;
  bool headerDirty_ = false;
};
