#pragma once
// How a grid cell is painted: background, selection and focus by the style,
// then the cell's picture and its text (elided) at the column's alignment.
// Cells are never edited in place.

#include <QPixmap>
#include <QStyledItemDelegate>

#include <functional>
#include <vector>

class GridModel;
class QStyle;

class GridDelegate : public QStyledItemDelegate {
 public:
  // The picture of a cell, by grid row (1 = first data row) and column.
  using PictureLookup = std::function<QPixmap(int row, int col)>;

  GridDelegate(const GridModel* model, PictureLookup pictureAt, QObject* parent);

  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QWidget* createEditor(QWidget*, const QStyleOptionViewItem&, const QModelIndex&) const override { return nullptr; }
  // A cut text shows whole in a tooltip.
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override;

 private:
  bool fits(const QFont& font, const QFontMetrics& metrics, const QString& text, int width) const;

  const GridModel* model_;
  PictureLookup pictureAt_;
  // Advances of the letters met so far, for the font they were measured in.
  mutable QFont advanceFont_;
  mutable QFont plainFrom_, plainFont_;  // the cell font, and the same without shaping
  mutable std::vector<int> advance_;
};

// The style of every grid: light grey grid lines, no empty row panels asked of
// the application style, everything else from it. One instance, owned by the
// application.
QStyle* gridViewStyle();
