#include "gui/grid/GridDelegate.h"

#include "gui/grid/ColumnFit.h"
#include "gui/grid/GridModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QTableView>
#include <QToolTip>

namespace {

constexpr int kTextPadX = columnfit::kCellTextPad;
constexpr int kTextPadY = 1;

class GridViewStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* ret) const override {
    if (hint == SH_Table_GridLineColor) return int(qRgb(192, 192, 192));
    return QProxyStyle::styleHint(hint, option, widget, ret);
  }
  // The table asks for every cell's row panel, which styles draw only for a
  // selected, focused, hovered or alternate row; the base style works out its
  // whole palette first, for each cell, to draw nothing for the others.
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element == PE_PanelItemViewRow)
      if (const auto* item = qstyleoption_cast<const QStyleOptionViewItem*>(option);
          item && !(item->state & (State_Selected | State_HasFocus | State_MouseOver)) &&
          !(item->features & QStyleOptionViewItem::Alternate))
        return;
    QProxyStyle::drawPrimitive(element, option, painter, widget);
  }
};

}  // namespace

QStyle* gridViewStyle() {
  static QPointer<GridViewStyle> style;
  if (!style) {
    style = new GridViewStyle;
    style->setParent(QCoreApplication::instance());
  }
  return style;
}

GridDelegate::GridDelegate(const GridModel* model, PictureLookup pictureAt, QObject* parent)
    : QStyledItemDelegate(parent), model_(model), pictureAt_(std::move(pictureAt)) {}

void GridDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const int r = index.row(), c = index.column();
  const QRect cell = option.rect;
  if (r >= model_->dataRows() || c >= model_->cols()) return;

  // A plain cell has nothing of the style's to draw (no selection, focus or
  // hover look): the style is asked only for the others.
  if (option.state & (QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_MouseOver)) {
    QStyleOptionViewItem opt(option);
    opt.index = index;
    opt.features = QStyleOptionViewItem::None;
    opt.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, p, widget);
  }

  const Qt::Alignment align = model_->alignmentFor(r, c);

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
  const QFontMetrics& fm = option.fontMetrics;
  const bool fitting = fits(option.font, fm, text, textRect.width());
  // Grid texts are Cyrillic, Latin and digits, which need no shaping (no
  // ligatures, no kerning in a grid cell): the font skips it.
  if (!(plainFrom_ == option.font) || plainFont_.styleStrategy() != QFont::PreferNoShaping) {
    plainFrom_ = option.font;
    plainFont_ = option.font;
    plainFont_.setStyleStrategy(QFont::PreferNoShaping);
  }
  if (!(p->font() == plainFont_)) p->setFont(plainFont_);
  const bool selected = option.state & QStyle::State_Selected;
  const QPalette::ColorGroup group = (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
  p->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
  if (fitting && (align & Qt::AlignLeft) && fm.height() <= textRect.height()) {
    // A text that fits, on the left: drawn at its baseline, without laying it
    // out in the rectangle first.
    int baseline = textRect.top() + (textRect.height() - fm.height()) / 2 + fm.ascent();
    if (align & Qt::AlignTop)
      baseline = textRect.top() + fm.ascent();
    else if (align & Qt::AlignBottom)
      baseline = textRect.bottom() + 1 - fm.descent();
    p->drawText(QPoint(textRect.left(), baseline), text);
    return;
  }
  const QString shown = fitting ? text : fm.elidedText(text, Qt::ElideRight, textRect.width());
  p->drawText(textRect, int(align) | Qt::TextSingleLine, shown);
}

// True when the text surely fits the width, judged by the advances of its
// letters (kept per font) with a margin for kerning, so that only texts near or
// over the width are measured in full for eliding.
bool GridDelegate::fits(const QFont& font, const QFontMetrics& fm, const QString& text, int width) const {
  constexpr int kMargin = 3;
  if (advance_.empty() || !(font == advanceFont_)) {
    advanceFont_ = font;
    advance_.assign(0x500, -1);
  }
  int total = 0;
  for (const QChar ch : text) {
    const char16_t u = ch.unicode();
    if (u >= advance_.size()) return false;
    int& a = advance_[u];
    if (a < 0) a = fm.horizontalAdvance(ch);
    total += a;
    if (total > width - kMargin) return false;
  }
  return true;
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
