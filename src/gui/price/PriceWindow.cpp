#include "gui/price/PriceWindow.h"

#include "base/Numbers.h"
#include "base/Settings.h"
#include "data/OrderSender.h"
#include "gui/common/MessageBoxes.h"
#include "gui/common/Twips.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceGridFill.h"
#include "gui/price/WheelScroll.h"
#include "gui/settings/AuthorizationDialog.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <unordered_set>

namespace {

constexpr int kMaxQuantityDigits = 6;  // 999 999 at most: sums stay exact to the kopeck

template <class W>
W* named(W* w, const char* name) {
  w->setObjectName(QLatin1String(name));
  return w;
}

}  // namespace

PriceWindow::PriceWindow(QWidget* parent) : ChildWindow(QStringLiteral("Прайс-лист"), parent) {
  setObjectName(QStringLiteral("frm_price"));
  Label3 = named(new QLabel(this), "Label3");
  Check2 = named(new QCheckBox(QStringLiteral("Изображения построчно"), this), "Check2");
  Command1 = named(new QPushButton(QStringLiteral("Заказ/Прайс"), this), "Command1");
  Command4 = named(new QPushButton(QStringLiteral("Отправить заказ"), this), "Command4");
  Label1 = named(new QLabel(this), "Label1");
  Text1 = named(new QLineEdit(this), "Text1");
  Check1 = named(new QCheckBox(QStringLiteral("Изображение"), this), "Check1");
  Command3 = named(new QPushButton(QStringLiteral("Весь прайс"), this), "Command3");
  Text2 = named(new QLineEdit(this), "Text2");
  MSFlexGrid1 = named(new FlexGrid(this), "MSFlexGrid1");
  Picture1 = named(new QLabel(this), "Picture1");
  TreeView1 = named(new QTreeWidget(this), "TreeView1");
  Picture2 = named(new QLabel(this), "Picture2");
  Label2 = named(new QLabel(this), "Label2");

  twips::place(Label3, 120, 120, 3255, 375);
  // The check box reaches to the button beside it, so that its caption fits.
  twips::place(Check2, 3480, 120, 2280, 375);
  twips::place(Command1, 5760, 120, 1695, 375);
  twips::place(Command4, 7680, 120, 1935, 375);
  twips::place(Label1, 120, 600, 3255, 255);
  twips::place(Text1, 3480, 600, 7095, 375);
  twips::place(Check1, 10680, 600, 1935, 375);
  twips::place(Command3, 120, 840, 3255, 255);
  twips::place(Text2, 120, 1080, 3255, 375);
  twips::place(MSFlexGrid1, 3480, 1080, 7095, 4095);
  twips::place(Picture1, 10680, 1080, 1935, 2055);
  twips::place(TreeView1, 120, 1560, 3255, 4095);
  twips::place(Picture2, 7080, 3360, 1575, 1455);
  twips::place(Label2, 8520, 5160, 2055, 255);
  Label3->setWordWrap(true);

  Picture1->setFrameShape(QFrame::Panel);
  Picture1->setFrameShadow(QFrame::Sunken);
  Picture1->setScaledContents(true);
  Picture1->setVisible(false);
  Picture1->installEventFilter(this);
  Picture2->setFrameShape(QFrame::Panel);
  Picture2->setVisible(false);  // the off-screen thumbnail box
  TreeView1->setHeaderHidden(true);
  TreeView1->setRootIsDecorated(false);
  TreeView1->setColumnCount(1);
  Command4->setEnabled(false);
  resize(twips::toPxX(12735), twips::toPxY(5670));

  Text1->installEventFilter(this);
  connect(Check1, &QCheckBox::clicked, this, &PriceWindow::togglePreview);
  connect(Check2, &QCheckBox::clicked, this, &PriceWindow::toggleThumbnails);
  connect(Command3, &QPushButton::clicked, this, &PriceWindow::showWholeList);
  connect(Command1, &QPushButton::clicked, this, &PriceWindow::switchOrderView);
  connect(Command4, &QPushButton::clicked, this, &PriceWindow::sendOrder);
  // The category the selection lands on is shown, whether a click or a key
  // (arrows, Home/End, PageUp/PageDown) moved it there; a click on the node
  // already current shows it again.
  connect(TreeView1, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* now) {
    if (!restoringTree_ && !treePressed_ && now && now->isSelected()) showSelectedCategory();
  });
  connect(TreeView1, &QTreeWidget::itemClicked, this, [this] { showSelectedCategory(); });
  TreeView1->viewport()->installEventFilter(this);
  connect(MSFlexGrid1, &FlexGrid::KeyPress, this, &PriceWindow::typeOnGrid);
  connect(MSFlexGrid1, &FlexGrid::MouseMove, this, [this] { ApplyWheelDirection(MSFlexGrid1); });
  connect(MSFlexGrid1, &FlexGrid::EnterCell, this, [this] { showPreview(); });
  connect(MSFlexGrid1, &FlexGrid::Click, this, [this] { openBigPictureFromGrid(); });
  const QSize box = thumbnailSize();
  MSFlexGrid1->setPictureProvider([this, box](const std::vector<qint64>& keys) {
    std::vector<qint64> empty;
    auto pictures = LoadThumbnails(database_, keys, box, &catalogue(), &empty);
    if (!empty.empty()) QTimer::singleShot(0, this, [this, empty] { dropEmptyPictures(empty); });
    return pictures;
  });
}

PriceWindow::~PriceWindow() = default;

bool PriceWindow::thumbnailsOn() const { return Check2->isChecked(); }

QSize PriceWindow::thumbnailSize() const {
  // The box's drawing area: its laid-out size less the sunken border.
  const QSize outer = twips::toPx(0, 0, 1575, 1455).size();
  return QSize(std::max(1, outer.width() - 4), std::max(1, outer.height() - 4));
}

int PriceWindow::thumbnailRowTwips() const { return 1455 + 100; }

void PriceWindow::loadContents() {
  HookWheel(MSFlexGrid1);
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
    sub->showMaximized();
  else
    showMaximized();
  showWholePrice_ = true;
  if (database_.exists()) loadPriceList();
}

void PriceWindow::dropEmptyPictures(const std::vector<qint64>& imageRowids) {
  const std::unordered_set<qint64> empty(imageRowids.begin(), imageRowids.end());
  for (qint64 id : empty) catalogue().markImageEmpty(id);
  FlexGrid* g = MSFlexGrid1;
  if (g->cols() <= 4) return;
  const int defaultHeight = g->pixelsToTwipsY(g->defaultRowHeightPixels());
  for (int r = 1; r < g->rows(); ++r) {
    if (!empty.count(g->cellPictureKey(r, 4))) continue;
    g->setCellPictureKey(r, 4, -1);
    g->setRowHeight(r, defaultHeight);
  }
}

void PriceWindow::setPriceDate() {
  const QDateTime t = database_.priceDate();
  const QLocale loc;
  Label3->setText(QStringLiteral("Прайс-лист от ") + loc.toString(t.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                  t.time().toString(QStringLiteral("H:mm:ss")));
}

bool PriceWindow::loadCategories(QString* error) {
  std::vector<PriceCategory> categories;
  if (!database_.readCategories(&categories, error)) return false;
  const QTreeWidgetItem* shown = Text2->text().isEmpty() ? nullptr : TreeView1->currentItem();
  const QString shownKey = shown ? shown->data(0, Qt::UserRole).toString() : QString();
  TreeView1->clear();
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(categories.size()));
  for (const PriceCategory& c : categories) {
    auto* item = new QTreeWidgetItem(QStringList{c.name});
    item->setData(0, Qt::UserRole, QStringLiteral("cat") + DisplayText(c.id));
    items.append(item);
  }
  TreeView1->addTopLevelItems(items);
  reselectCategory(shownKey);
  return true;
}

void PriceWindow::reselectCategory(const QString& key) {
  // The rebuilt tree selects the category still named in Text2, so that a
  // search within it finds its products; a category that is gone is named no more.
  QTreeWidgetItem* found = nullptr;
  for (int i = 0; !key.isEmpty() && i < TreeView1->topLevelItemCount() && !found; ++i)
    if (TreeView1->topLevelItem(i)->data(0, Qt::UserRole).toString() == key) found = TreeView1->topLevelItem(i);
  const QScopedValueRollback<bool> quiet(restoringTree_, true);
  TreeView1->setCurrentItem(found);
  if (!found) {
    TreeView1->clearSelection();
    Text2->clear();
  }
}

PriceCatalogue* PriceWindow::freshCatalogue(QString* error) { return database_.catalogue(error, thumbnailsOn()); }

void PriceWindow::showRows(std::vector<CatalogueRow> rows) {
  const bool thumbs = thumbnailsOn();
  // Headers and rows reach the view together, in one layout and one paint.
  MSFlexGrid1->setRedraw(false);
  if (thumbs)
    SetPriceGridHeadersWithImage(MSFlexGrid1);
  else
    SetPriceGridHeaders(MSFlexGrid1);
  FillPriceGrid(MSFlexGrid1, database_.sharedCatalogue(), std::move(rows), thumbs, PriceFill::PriceList,
                thumbnailRowTwips());
  MSFlexGrid1->setRedraw(true);
  if (MSFlexGrid1->rows() > 1) MSFlexGrid1->setRow(1);
  // The current row is the first one now: the preview shows its picture.
  showPreview();
}

void PriceWindow::showResult(const ProductFilter& filter, bool emptyLabelWhenNone) {
  auto rows = catalogue().query(filter);
  if (!rows.empty()) {
    const double count = static_cast<double>(rows.size());
    showRows(std::move(rows));
    Label1->setText(QStringLiteral("Выведено") + num::invariant(count));
    return;
  }
  MSFlexGrid1->setRows(1);
  if (emptyLabelWhenNone) Label1->setText(QString());
}

ProductFilter PriceWindow::viewFilter(bool withImages) const {
  ProductFilter f;
  f.withImages = withImages;
  f.orderedOnly = !showWholePrice_;
  return f;
}

void PriceWindow::loadPriceList() {
  if (!database_.exists()) {
    msg::information(
        QStringLiteral("Не найден файл прайс-листа \"%1\". Получите прайс-лист через меню «Получить прайс-лист».")
            .arg(database_.path()));
    return;
  }
  setPriceDate();
  if (settings::isOn(settings::ImageToString)) Check2->setChecked(true);
  if (settings::isOn(settings::ImageThumb)) {
    Check1->setChecked(true);
    togglePreview();
  }
  Label2->setVisible(settings::isOn(settings::VisibleSumm));
  QString error;
  const bool stale = database_.catalogueIsStale();
  if (!loadCategories(&error) || !freshCatalogue(&error)) {
    msg::requestError(error);
    return;
  }
  // The catalogue follows our own writes; it is read again only when the file
  // changed under it (a new price database).
  if (stale) MSFlexGrid1->clearPictureCache();
  showResult(viewFilter(thumbnailsOn()), false);
}

void PriceWindow::showSelectedCategory() {
  QTreeWidgetItem* node = TreeView1->currentItem();
  if (!node) return;
  Text2->setText(node->text(0));
  const QString id = node->data(0, Qt::UserRole).toString().remove(QStringLiteral("cat"));
  if (!freshCatalogue(nullptr)) return;  // a category click fails silently
  ProductFilter f = viewFilter(thumbnailsOn());
  f.parent = id;
  f.like = Text1->text().toUpper();
  showResult(f, true);
}

void PriceWindow::togglePreview() { Picture1->setVisible(Check1->isChecked()); }
void PriceWindow::toggleThumbnails() { loadPriceList(); }

void PriceWindow::showWholeList() {
  Text2->clear();
  loadPriceList();  // no category selected any more, in the tree either
}

void PriceWindow::layoutControls() {
  const int w = twips::outerWidth(this);
  const int h = twips::outerHeight(this);
  if (w < 9000 || h < 5000) return;
  const QRect g = MSFlexGrid1->geometry();
  const int gridLeft = twips::fromPxX(g.left());
  const int gridTop = twips::fromPxY(g.top());
  const int gridHeight = h - 2145;
  const int gridWidth = w - 5880;
  MSFlexGrid1->setGeometry(g.left(), g.top(), twips::toPxX(gridWidth), twips::toPxY(gridHeight));
  QRect t = TreeView1->geometry();
  TreeView1->setGeometry(t.left(), t.top(), t.width(), twips::toPxY(gridHeight));
  QRect s = Text1->geometry();
  Text1->setGeometry(s.left(), s.top(), twips::toPxX(gridWidth), s.height());
  const int pictureLeft = gridLeft + gridWidth + 10;
  Picture1->move(twips::toPxX(pictureLeft), Picture1->y());
  Check1->move(twips::toPxX(pictureLeft), Check1->y());
  Label2->move(twips::toPxX(gridWidth), twips::toPxY(gridHeight + 1065));
  Q_UNUSED(gridTop);
}

void PriceWindow::unload() {
  UnhookWheel(MSFlexGrid1);
  ChildWindow::unload();
}

bool PriceWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Text1 && event->type() == QEvent::KeyPress) {
    auto* ke = static_cast<QKeyEvent*>(event);
    if (ke->key() == Qt::Key_Down) searchKeyDown(40);
    int code = 0;
    if (ke->key() == Qt::Key_Backspace)
      code = 8;
    else if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter)
      code = 13;
    else if (ke->key() == Qt::Key_Escape)
      code = 27;
    else if (!ke->text().isEmpty() && ke->text().at(0).isPrint())
      code = ke->text().at(0).unicode();
    if (code) searchKeyPressed(code);
  } else if (watched == TreeView1->viewport() &&
             (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
    treePressed_ = true;  // the click that follows shows the category
  } else if (watched == TreeView1->viewport() && event->type() == QEvent::MouseButtonRelease) {
    treePressed_ = false;
  } else if (watched == Picture1 && event->type() == QEvent::MouseButtonRelease) {
    openBigPictureFromPreview();
  }
  return ChildWindow::eventFilter(watched, event);
}

void PriceWindow::searchKeyPressed(int) {
  const QString text = Text1->text();
  if (text.size() < 3) return;
  const bool thumbs = thumbnailsOn();
  QString category = QStringLiteral("all");
  if (!Text2->text().isEmpty()) {
    QTreeWidgetItem* node = TreeView1->currentItem();
    category = node ? node->data(0, Qt::UserRole).toString().remove(QStringLiteral("cat")) : QString();
  }
  searchProducts(category, thumbs);
}

void PriceWindow::searchKeyDown(int keyCode) {
  if (keyCode != 40) return;
  Label1->setText(QString());
  if (MSFlexGrid1->rows() > 1) {
    MSFlexGrid1->setRow(1);
    MSFlexGrid1->setCol(2);
  }
  MSFlexGrid1->setFocus();
}
