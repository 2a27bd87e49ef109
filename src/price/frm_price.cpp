#include "price/frm_price.h"

#include "order/MouseScroll.h"
#include "order/PicturePreview.h"
#include "order/SendOrder.h"
#include "price/FlexGrid.h"
#include "price/GridFill.h"
#include "price/PriceStatements.h"
#include "price/RussianCollation.h"
#include "price/modAutocomplete.h"
#include "shell/ProgramFolder.h"
#include "shell/Twips.h"
#include "shell/conn_rs_comm.h"
#include "shell/frm_main.h"
#include "shell/ini.h"
#include "shell/messages.h"
#include "shell/numbers.h"
#include "shell/public_var.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <unordered_set>
#include <algorithm>
#include <sqlite3.h>

namespace {

constexpr int kMaxQuantityDigits = 6;  // 999 999 at most: sums stay exact to the kopeck

template <class W>
W* named(W* w, const char* name) {
  w->setObjectName(QLatin1String(name));
  return w;
}

bool settingIsOn(const char* key) {
  return num::leadingValue(ReadSetting(SettingsPath, QStringLiteral("settings"), QLatin1String(key), QStringLiteral("?"))) == 1;
}

}  // namespace

frm_price::frm_price(frm_main* mainWindow) : ChildWindow(mainWindow, QStringLiteral("Прайс-лист")) {
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
  connect(Check1, &QCheckBox::clicked, this, &frm_price::Check1_Click);
  connect(Check2, &QCheckBox::clicked, this, &frm_price::Check2_Click);
  connect(Command3, &QPushButton::clicked, this, &frm_price::Command3_Click);
  connect(Command1, &QPushButton::clicked, this, &frm_price::Command1_Click);
  connect(Command4, &QPushButton::clicked, this, &frm_price::Command4_Click);
  connect(TreeView1, &QTreeWidget::itemClicked, this, [this] { TreeView1_NodeClick(); });
  connect(MSFlexGrid1, &FlexGrid::KeyPress, this, &frm_price::MSFlexGrid1_KeyPress);
  connect(MSFlexGrid1, &FlexGrid::MouseMove, this, [this] { ApplyWheelDirection(MSFlexGrid1); });
  connect(MSFlexGrid1, &FlexGrid::EnterCell, this, [this] { ShowPreview(this); });
  connect(MSFlexGrid1, &FlexGrid::Click, this, [this] { OpenBigPictureFromGrid(this); });
  const QString dbPath = PriceDatabasePath();
  const QSize box = thumbnailSize();
  MSFlexGrid1->setPictureProvider([this, dbPath, box](const std::vector<qint64>& keys) {
    std::vector<qint64> empty;
    auto pictures = LoadThumbnails(dbPath, keys, box, &empty);
    if (!empty.empty()) QTimer::singleShot(0, this, [this, empty] { dropEmptyPictures(empty); });
    return pictures;
  });
}

frm_price::~frm_price() = default;

bool frm_price::thumbnailsOn() const { return Check2->isChecked(); }

QSize frm_price::thumbnailSize() const {
  // The box's drawing area: its laid-out size less the sunken border.
  const QSize outer = twips::toPx(0, 0, 1575, 1455).size();
  return QSize(std::max(1, outer.width() - 4), std::max(1, outer.height() - 4));
}

int frm_price::thumbnailRowTwips() const { return 1455 + 100; }

void frm_price::Form_Load() {
  HookWheel(MSFlexGrid1);
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->showMaximized();
  else showMaximized();
  ShowWholePrice = true;
  if (QFileInfo::exists(PriceDatabasePath())) LoadPriceList();
}

void frm_price::dropEmptyPictures(const std::vector<qint64>& imageRowids) {
  const std::unordered_set<qint64> empty(imageRowids.begin(), imageRowids.end());
  for (qint64 id : empty) catalogue_.markImageEmpty(id);
  FlexGrid* g = MSFlexGrid1;
  if (g->cols() <= 4) return;
  const int defaultHeight = g->pixelsToTwipsY(g->defaultRowHeightPixels());
  for (int r = 1; r < g->rows(); ++r) {
    if (!empty.count(g->cellPictureKey(r, 4))) continue;
    g->setCellPictureKey(r, 4, -1);
    g->setRowHeight(r, defaultHeight);
  }
}

void frm_price::setPriceDate() {
  const QFileInfo fi(PriceDatabasePath());
  if (!fi.exists()) throw DbError(QStringLiteral("Файл прайс-листа не найден"), 53);
  const QDateTime t = fi.lastModified();
  const QLocale loc;
  Label3->setText(QStringLiteral("Прайс-лист от ") + loc.toString(t.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                  t.time().toString(QStringLiteral("H:mm:ss")));
}

void frm_price::loadCategories(Connection* conn) {
  CurrentSql = QStringLiteral("select category_id,name_ruRU from categories order by name_ruRU");
  PriceRecordset = OpenPriceRecordset(conn, CurrentSql);
  Recordset& rs = Require(PriceRecordset);
  struct Node {
    QString key, text;
  };
  std::vector<Node> nodes;
  for (rs.moveFirst(); !rs.eof(); rs.moveNext())
    nodes.push_back({QStringLiteral("cat") + DisplayText(rs.value(0)), rs.value(1).toString()});
  std::stable_sort(nodes.begin(), nodes.end(), [](const Node& a, const Node& b) { return collation::compare(a.text, b.text) < 0; });
  TreeView1->clear();
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(nodes.size()));
  for (const Node& n : nodes) {
    auto* item = new QTreeWidgetItem(QStringList{n.text});
    item->setData(0, Qt::UserRole, n.key);
    items.append(item);
  }
  TreeView1->addTopLevelItems(items);
  CloseRecordset(PriceRecordset);
}

void frm_price::loadCatalogue(Connection* conn) {
  if (!conn || !conn->isOpen()) throw DbError(QStringLiteral("Нет соединения с прайс-листом"), 91);
  // The bulk read goes through a handle of its own, read-only and without the
  // per-call locking of the shared handle: it runs on this thread alone.
  const QString path = PriceDatabasePath();
  sqlite3* db = PriceCatalogue::openReadOnly(path);
  const std::unique_ptr<sqlite3, int (*)(sqlite3*)> closer(db, &sqlite3_close);
  catalogue_.load(db, path);
}

PriceCatalogue* frm_price::freshCatalogue() {
  if (!catalogue_.isStale()) return &catalogue_;
  ConnectionSlot conn = OpenPriceConnection();
  if (!conn) return nullptr;
  loadCatalogue(conn.get());
  return &catalogue_;
}

void frm_price::showRows(const std::vector<CatalogueRow>& rows) {
  const bool thumbs = thumbnailsOn();
  if (thumbs) SetPriceGridHeadersWithImage(MSFlexGrid1);
  else SetPriceGridHeaders(MSFlexGrid1);
  FillPriceGrid(MSFlexGrid1, catalogue_, rows, thumbs, PriceFill::PriceList, thumbnailRowTwips());
  if (MSFlexGrid1->rows() > 1) MSFlexGrid1->setRow(1);
  // The current row is the first one now: the preview shows its picture.
  ShowPreview(this);
}

void frm_price::showResult(const ProductFilter& filter, bool emptyLabelWhenNone) {
  const auto rows = catalogue_.query(filter);
  if (!rows.empty()) {
    showRows(rows);
    Label1->setText(QStringLiteral("Выведено") + num::invariant(static_cast<double>(rows.size())));
    return;
  }
  MSFlexGrid1->setRows(1);
  if (emptyLabelWhenNone) Label1->setText(QString());
}

ProductFilter frm_price::viewFilter(bool withImages) const {
  ProductFilter f;
  f.withImages = withImages;
  f.orderedOnly = !ShowWholePrice;
  return f;
}

void frm_price::listFailed(const std::exception& e, bool report) {
  const auto* db = dynamic_cast<const DbError*>(&e);
  LastErrorText = db ? db->description : QString::fromLocal8Bit(e.what());
  CloseRecordset(PriceRecordset);
  CloseConnection(PriceConnection);
  if (report) msg::requestError(LastErrorText);
}

void frm_price::LoadPriceList() {
  try {
    setPriceDate();
    ImageToString = ReadSetting(SettingsPath, QStringLiteral("settings"), QStringLiteral("imagetostring"), QStringLiteral("?"));
    if (num::leadingValue(ImageToString) == 1) Check2->setChecked(true);
    ImageThumb = ReadSetting(SettingsPath, QStringLiteral("settings"), QStringLiteral("imagethumb"), QStringLiteral("?"));
    if (num::leadingValue(ImageThumb) == 1) {
      Check1->setChecked(true);
      Check1_Click();
    }
    Label2->setVisible(settingIsOn("visiblesumm"));
    PriceConnection = OpenPriceConnection();
    if (!PriceConnection) throw DbError(ConnectionErrorText, 3044);
    loadCategories(PriceConnection.get());
    const bool thumbs = thumbnailsOn();
    CurrentSql = stmt::list(thumbs, ShowWholePrice);
    // The catalogue follows our own writes; it is read again only when the file
    // changed under it (a new price database).
    if (catalogue_.isStale()) {
      loadCatalogue(PriceConnection.get());
      MSFlexGrid1->clearPictureCache();
    }
    ProductFilter f = viewFilter(thumbs);
    showResult(f, false);
    CloseRecordset(PriceRecordset);
    CloseConnection(PriceConnection);
  } catch (const std::exception& e) {
    listFailed(e, true);
  }
}

void frm_price::TreeView1_NodeClick() {
  try {
    QTreeWidgetItem* node = TreeView1->currentItem();
    if (!node) return;
    Text2->setText(node->text(0));
    const QString id = node->data(0, Qt::UserRole).toString().remove(QStringLiteral("cat"));
    const QString search = Text1->text().toUpper();
    const bool thumbs = thumbnailsOn();
    CurrentSql = stmt::category(thumbs, ShowWholePrice, id, search);
    if (!freshCatalogue()) return;
    ProductFilter f = viewFilter(thumbs);
    f.parent = id;
    f.like = search;
    showResult(f, true);
  } catch (const std::exception& e) {
    listFailed(e, false);  // a category click fails silently
  }
  CloseRecordset(PriceRecordset);
  CloseConnection(PriceConnection);
}

void frm_price::Check1_Click() { Picture1->setVisible(Check1->isChecked()); }
void frm_price::Check2_Click() { LoadPriceList(); }

void frm_price::Command3_Click() {
  Text2->clear();
  LoadPriceList();
}

void frm_price::Form_Resize() {
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

void frm_price::Form_Unload() {
  UnhookWheel(MSFlexGrid1);
  ChildWindow::Form_Unload();
}

bool frm_price::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Text1 && event->type() == QEvent::KeyPress) {
    auto* ke = static_cast<QKeyEvent*>(event);
    if (ke->key() == Qt::Key_Down) Text1_KeyDown(40);
    int code = 0;
    if (ke->key() == Qt::Key_Backspace) code = 8;
    else if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) code = 13;
    else if (ke->key() == Qt::Key_Escape) code = 27;
    else if (!ke->text().isEmpty() && ke->text().at(0).isPrint()) code = ke->text().at(0).unicode();
    if (code) Text1_KeyPress(code);
  } else if (watched == Picture1 && event->type() == QEvent::MouseButtonRelease) {
    OpenBigPictureFromPreview(this);
  }
  return ChildWindow::eventFilter(watched, event);
}

void frm_price::Text1_KeyPress(int) {
  const QString text = Text1->text();
  if (text.size() < 3) return;
  const bool thumbs = thumbnailsOn();
  QString category = QStringLiteral("all");
  if (!Text2->text().isEmpty()) {
    QTreeWidgetItem* node = TreeView1->currentItem();
    category = node ? node->data(0, Qt::UserRole).toString().remove(QStringLiteral("cat")) : QString();
  }
  SearchProducts(this, QStringLiteral("p.name_ruRU_big"), category, thumbs);
}

void frm_price::Text1_KeyDown(int keyCode) {
  if (keyCode != 40) return;
  Label1->setText(QString());
  if (MSFlexGrid1->rows() > 1) {
    MSFlexGrid1->setRow(1);
    MSFlexGrid1->setCol(2);
  }
  MSFlexGrid1->setFocus();
}

// ---- Ordering ----

int frm_price::quantityColumn() const { return thumbnailsOn() ? 6 : 5; }

bool frm_price::ExecutePriceStatement(const QString& sql, const QVariantList& values) {
  try {
    PriceConnection = OpenPriceConnection();
    if (!PriceConnection) throw DbError(ConnectionErrorText, 3044);
    PriceCommand = PriceConnection.get();
    PriceCommand->execute(sql, values);
    ReleaseCommand(PriceCommand);
    CloseConnection(PriceConnection);
    return true;
  } catch (const DbError& e) {
    LastErrorText = e.description;
    LastErrorNumber = e.number;
    ReleaseCommand(PriceCommand);
    CloseConnection(PriceConnection);
    return false;
  }
}

void frm_price::ShowOrderTotal(QLabel* label) {
  // The catalogue follows every stored quantity, so its total is the total of
  // the stored sums; it is read from the database when the file changed.
  PriceCatalogue* cat = nullptr;
  try {
    cat = freshCatalogue();
  } catch (const DbError& e) {
    LastErrorText = e.description;
    LastErrorNumber = e.number;
  }
  if (!cat) return;
  const double total = cat->orderTotal();
  label->setText(total != 0 ? QStringLiteral("Сумма заказа :") + num::invariant(total) : QString());
}

void frm_price::MSFlexGrid1_KeyPress(int keyAscii) {
  FlexGrid* g = MSFlexGrid1;
  const bool thumbs = thumbnailsOn();
  const int priceCol = thumbs ? 5 : 4;
  const int qtyCol = thumbs ? 6 : 5;
  const int sumCol = thumbs ? 7 : 6;
  const int row = g->rowSel();
  if (row < 1 || row >= g->rows()) return;  // the header row takes no quantities
  const QString id = g->textMatrix(row, 0);
  QString qty = g->textMatrix(row, qtyCol);

  auto store = [&](const QVariant& count, const QVariant& summ) {
    const bool ok = ExecutePriceStatement(
        QStringLiteral("update products set order_count=? ,order_summ = ? where product_id = ?"), {count, summ, id});
    if (ok && catalogue_.isLoaded()) {
      const int p = catalogue_.findProductCached(id);
      if (p >= 0) catalogue_.setOrder(p, count.toDouble(), summ.toDouble());
      catalogue_.markCurrent();
    }
    ShowOrderTotal(Label2);
  };

  if (keyAscii >= '0' && keyAscii <= '9') {
    if (qty.size() >= kMaxQuantityDigits) return;
    qty += QChar(keyAscii);
  } else if (keyAscii == 8) {
    if (qty.isEmpty()) return;
    if (qty.size() == 1) {
      g->setTextMatrix(row, qtyCol, QString());
      g->setTextMatrix(row, sumCol, QString());
      store(0, 0.0);
      return;
    }
    qty.chop(1);
  } else {
    Text1->setText(QString(QChar(keyAscii)));
    if (Text1->isEnabled()) {
      Text1->setFocus();
      Text1->setCursorPosition(1);
    }
    return;
  }
  g->setTextMatrix(row, qtyCol, qty);
  const double count = num::leadingValue(qty);
  const double sum = count * num::cellValue(g->textMatrix(row, priceCol));
  g->setTextMatrix(row, sumCol, num::locale(sum));
  store(static_cast<qlonglong>(count), sum);
}

void frm_price::Command1_Click() {
  const bool thumbs = thumbnailsOn();
  try {
    if (!ShowWholePrice) {
      CurrentSql = stmt::list(thumbs, true);
      ShowWholePrice = true;
      Text1->setEnabled(true);
      Command4->setEnabled(false);
      Label2->setText(QString());
    } else {
      ShowOrderTotal(Label2);
      CurrentSql = stmt::list(thumbs, false);
      ShowWholePrice = false;
      Text1->setEnabled(false);
      Command4->setEnabled(true);
    }
    if (!freshCatalogue()) throw DbError(ConnectionErrorText, 3044);
    ProductFilter f = viewFilter(thumbs);
    showResult(f, true);
    CloseRecordset(PriceRecordset);
    CloseConnection(PriceConnection);
  } catch (const std::exception& e) {
    listFailed(e, true);
  }
}

void frm_price::Command4_Click() { SendOrder(this); }
