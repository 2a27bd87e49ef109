#include "gui/grid/GridDelegate.h"

#include "gui/grid/ColumnFit.h"
#include "gui/grid/GridModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QToolTip>

namespace {

constexpr int kTextPadX = columnfit::kCellTextPad;
constexpr int kTextPadY = 1;

class GridLineStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* ret) const override {
    if (hint == SH_Table_GridLineColor) return int(qRgb(192, 192, 192));
    return QProxyStyle::styleHint(hint, option, widget, ret);
  }
};

}  // namespace

QStyle* gridLineStyle() {
  static QPointer<GridLineStyle> style;
  if (!style) {
    style = new GridLineStyle;
    style->setParent(QCoreApplication::instance());
  }
  return style;
}

GridDelegate::GridDelegate(const GridModel* model, PictureLookup pictureAt, QObject* parent)
    : QStyledItemDelegate(parent), model_(model), pictureAt_(std::move(pictureAt)) {}

void GridDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const int r = index.row(), c = index.column();
  if (r >= model_->dataRows() || c >= model_->cols()) return;

  QStyleOptionViewItem opt(option);
  opt.index = index;
  opt.features = QStyleOptionViewItem::None;
  opt.text.clear();
  const QWidget* widget = option.widget;
  QStyle* style = widget ? widget->style() : QApplication::style();
  style->drawControl(QStyle::CE_ItemViewItem, &opt, p, widget);

  const Qt::Alignment align = model_->alignmentFor(r, c);
  const QRect cell = option.rect;

  const QPixmap pm = pictureAt_(r + 1, c);
  if (!pm.isNull()) {
    QSize size = pm.deviceIndependentSize().toSize();
    if (size.width() > cell.width() || size.height() > cell.height()) size.scale(cell.size(), Qt::KeepAspectRatio);
    p->drawPixmap(QStyle::alignedRect(Qt::LeftToRight, align, size, cell), pm);
  }

  const std::string_view utf8 = model_->cellUtf8(r, c);
  if (utf8.empty()) return;
  const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
  const QRect textRect = cell.adjusted(kTextPadX, kTextPadY, -kTextPadX, -kTextPadY);
  const QString shown = option.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width());
  const bool selected = option.state & QStyle::State_Selected;
  const QPalette::ColorGroup group = (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
  p->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
  p->drawText(textRect, int(align) | Qt::TextSingleLine, shown);
}

bool GridDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                             const QModelIndex& index) {
  if (event->type() != QEvent::ToolTip) return false;
  const int r = index.row(), c = index.column();
  QString text;
  if (index.isValid() && r < model_->dataRows() && c < model_->cols()) text = model_->cellText(r, c);
  const int room = option.rect.width() - 2 * kTextPadX;
  if (!text.isEmpty() && option.fontMetrics.elidedText(text, Qt::ElideRight, room) != text)
    QToolTip::showText(event->globalPos(), text, view);
  else
    QToolTip::hideText();
  return true;
}
