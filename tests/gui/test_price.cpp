// The price list window: layouts, fills, loads, category clicks, search,
// resizing and wheel scrolling, on real price database files.
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "gui/price/WheelScroll.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceGridFill.h"
#include "support/PriceStatements.h"
#include "data/RussianCollation.h"
#include "gui/price/PriceWindow.h"
#include "base/IniFile.h"
#include "app/MainWindow.h"
#include "gui/common/MessageBoxes.h"
#include "base/Settings.h"
#include "gui/common/Twips.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QTreeWidget>
#include <QWheelEvent>
#include "support/Widgets.h"

#include <QtTest>
#include <optional>
#include <sqlite3.h>

namespace {

// A small price list with every case the fills distinguish.
void buildSample(const QString& path) {
  PriceDbBuilder db(path);
  db.addCategory(7, "Чай и кофе");
  db.addCategory(3, "бытовая химия");
  db.addCategory(12, "Ёлочные игрушки");
  db.addCategory(5, "Елки");
  db.addProduct("101", 7, "A-1", 99, 150, "Чай чёрный листовой 200 г");
  db.addProduct("102", 7, "A-2", 100, 12.5, "чай зелёный 100 г");
  db.addProduct("103", 7, "A-3", 250, 80, "Кофе молотый 250 г", 3, 240);
  db.addProduct("104", 3, "B-1", 5, 99.9, "Мыло д'Артаньян");
  db.addProduct("105", 12, "C-1", QVariant(), 40, "Ёлочный шар красный");
  db.addProduct("106", 5, "C-2", 0, QVariant(), "Елка искусственная 1,5 м");
  db.addProduct("107", 7, "A-4", 10, 20, "ЧАЙНИК стальной");
  db.addImage("101", PriceDbBuilder::jpeg(160, 120, Qt::red), "same.jpg");
  db.addImage("102", PriceDbBuilder::png(100, 50, Qt::blue), "same.jpg");
  db.addImage("103", QByteArray(""), "empty.jpg");            // empty picture
  db.addImage("104", QByteArray("not a picture"), "bad.jpg");  // damaged picture
  db.addImage("107", PriceDbBuilder::jpeg(50, 50, Qt::green), "k1.jpg");
  db.addImage("107", PriceDbBuilder::jpeg(50, 50, Qt::yellow), "k2.jpg");
}

QStringList column(FlexGrid* g, int c) {
  QStringList out;
  for (int r = 1; r < g->rows(); ++r) out << g->textMatrix(r, c);
  return out;
}

QStringList headers(FlexGrid* g) {
  QStringList out;
  for (int c = 0; c < g->cols(); ++c) out << g->textMatrix(0, c);
  return out;
}

struct Window {
  explicit Window(TestProgramFolder& f) : folder(f) {
    main.MDIForm_Load(QString());
    main.ShowStartupWindow();
    w = main.priceWindow();
  }
  TestProgramFolder& folder;
  MainWindow main;
  PriceWindow* w = nullptr;
};

// Runs a statement on the file itself, names in Russian order, and returns the
// product ids of its rows.
QStringList bareIds(const QString& path, QString sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.toUtf8().constData(), &db);
  collation::registerWith(db);
  sql.replace(QRegularExpression("ORDER BY (p\\.)?name_ruRU"), "ORDER BY p.name_ruRU COLLATE RUSSIAN");
  sqlite3_stmt* st = nullptr;
  QStringList ids;
  if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK)
    while (sqlite3_step(st) == SQLITE_ROW) ids << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  else
    ids << QStringLiteral("ERROR ") + QString::fromUtf8(sqlite3_errmsg(db));
  sqlite3_finalize(st);
  sqlite3_close(db);
  return ids;
}

// Types characters as the keyboard would, Cyrillic included.
void typeText(QWidget* w, const QString& text) {
  for (QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &release);
  }
}

void selectCategory(PriceWindow* w, const QString& name) {
  const auto items = child<QTreeWidget>(w, "TreeView1")->findItems(name, Qt::MatchExactly);
  QVERIFY(!items.isEmpty());
  child<QTreeWidget>(w, "TreeView1")->setCurrentItem(items.first());
  w->showSelectedCategory();
}

// The sample price list open in a fresh program folder, every box recorded.
struct SampleWindow {
  SampleWindow() {
    buildSample(folder.priceDb());
    win.emplace(folder);
    w = win->w;
    g = child<FlexGrid>(w, "MSFlexGrid1");
  }
  TestProgramFolder folder;
  msg::ScopedRecorder rec;
  std::optional<Window> win;
  PriceWindow* w = nullptr;
  FlexGrid* g = nullptr;
};

// The whole price list or the order view, switched as the user switches it.
void setWholePrice(PriceWindow* w, bool whole) {
  if (w->showsWholePrice() != whole) w->switchOrderView();
}

}  // namespace

class PriceTest : public QObject {
  Q_OBJECT

private slots:
  void layoutWidthsFromSettings();
  void plainAndThumbnailFills();
  void openingWithoutFile();
  void settingsAppliedAtLoad();
  void loadAndCategoryStatementsMatchTheDatabase();
  void categoryClickRules();
  void searchRules();
  void searchWithThumbnailsAndCategory();
  void resizeFormulas();
  void wheelScrolling();
  void russianNameOrder();
};

void PriceTest::layoutWidthsFromSettings() {
  TestProgramFolder folder;
  FlexGrid grid;
  SetPriceGridHeadersWithImage(&grid);
  QCOMPARE(headers(&grid), (QStringList{"ИД", "АРТИКУЛ", "НАИМЕНОВАНИЕ", "ОСТАТОК", "ИЗОБРАЖЕНИЕ", "ЦЕНА", "ЗАКАЗ", "СУММА"}));
  QCOMPARE(grid.rows(), 1);
  QCOMPARE(grid.colAlignment(4), 4);
  QCOMPARE(grid.colAlignment(2), 0);
  const int tol = twips::perPixelX();
  QVERIFY(qAbs(grid.colWidth(2) - 6000) <= tol);

  // 1500.5 and 2500.5 round to even, 1500.7 up; no [forms] hides the set columns.
  QFile::remove(settings::path());
  WriteSetting(settings::path(), "forms", "name", "1500.5");
  WriteSetting(settings::path(), "forms", "remainder", "2500.5");
  WriteSetting(settings::path(), "forms", "price", "1500.7");
  grid.addRow();
  SetPriceGridHeaders(&grid);
  QCOMPARE(grid.rows(), 1);
  QCOMPARE(headers(&grid), (QStringList{"ИД", "АРТИКУЛ", "НАИМЕНОВАНИЕ", "ОСТАТОК", "ЦЕНА", "ЗАКАЗ", "СУММА"}));
  QVERIFY(qAbs(grid.colWidth(2) - 1500) <= tol);
  QVERIFY(qAbs(grid.colWidth(3) - 2500) <= tol);
  QVERIFY(qAbs(grid.colWidth(4) - 1501) <= tol);
  QCOMPARE(grid.colWidth(5), 0);
  QCOMPARE(grid.colWidth(6), 0);

  QFile::remove(settings::path());
  WriteSetting(settings::path(), "settings", "x", "1");
  SetPriceGridHeadersWithImage(&grid);
  QVERIFY(qAbs(grid.colWidth(0) - 500) <= tol);
  QVERIFY(qAbs(grid.colWidth(1) - 1000) <= tol);
  QVERIFY(qAbs(grid.colWidth(4) - 1800) <= tol);
  for (int c : {2, 3, 5, 6, 7}) QCOMPARE(grid.colWidth(c), 0);

  // A width too large for the grid leaves the widths as they were; the grid still repaints.
  WriteSetting(settings::path(), "forms", "name", "1e12");
  SetPriceGridHeadersWithImage(&grid);
  QCOMPARE(grid.colWidth(2), 0);
  QVERIFY(grid.redraw());
}

void PriceTest::plainAndThumbnailFills() {
  SampleWindow s;
  PriceWindow* w = s.w;
  FlexGrid* g = s.g;
  QCOMPARE(g->cols(), 7);
  QCOMPARE(child<QLabel>(w, "Label1")->text(), QStringLiteral("Выведено 7"));
  const QStringList names = column(g, 2);
  QCOMPARE(names, (QStringList{"Елка искусственная 1,5 м", "Ёлочный шар красный", "Кофе молотый 250 г", "Мыло д'Артаньян",
                                "чай зелёный 100 г", "Чай чёрный листовой 200 г", "ЧАЙНИК стальной"}));
  // Stock rule, zeros shown empty, Null empty.
  QCOMPARE(column(g, 3), (QStringList{"0", "", "9999", "5", "9999", "99", "10"}));
  QCOMPARE(column(g, 5), (QStringList{"", "", "3", "", "", "", ""}));
  QCOMPARE(column(g, 6), (QStringList{"", "", "240", "", "", "", ""}));
  QCOMPARE(column(g, 4), (QStringList{"", "40", "80", "99.9", "12.5", "150", "20"}));

  child<QCheckBox>(w, "Check2")->setChecked(true);
  w->toggleThumbnails();
  QCOMPARE(g->cols(), 8);
  // The product with two pictures comes once per picture, as the join gives it.
  QCOMPARE(g->rows(), 9);
  QCOMPARE(child<QLabel>(w, "Label1")->text(), QStringLiteral("Выведено 8"));
  const int thumbHeight = w->thumbnailRowTwips();
  const int tol = twips::perPixelY();
  // Pictures are read when their rows are shown; an empty one then gives its row
  // back the default height.
  for (int r = 1; r < g->rows(); ++r) g->cellPictureResolved(r, 4);
  QApplication::processEvents();
  for (int r = 1; r < g->rows(); ++r) {
    const QString id = g->textMatrix(r, 0);
    const QPixmap pm = g->cellPictureResolved(r, 4);
    if (id == "101" || id == "102" || id == "107") {
      QVERIFY2(!pm.isNull(), qPrintable(id));
      QCOMPARE(pm.size(), w->thumbnailSize());  // stretched into the box
      QVERIFY(qAbs(g->rowHeight(r) - thumbHeight) <= tol);
    } else if (id == "104") {  // damaged: blank picture, thumbnail height all the same
      QVERIFY(pm.isNull());
      QVERIFY(qAbs(g->rowHeight(r) - thumbHeight) <= tol);
    } else {  // no picture row, or an empty picture: default height
      QVERIFY2(pm.isNull(), qPrintable(id));
      QVERIFY(g->rowHeight(r) < thumbHeight / 2);
    }
  }
  // Two pictures with the same file name each show their own picture.
  int r101 = 0, r102 = 0;
  for (int r = 1; r < g->rows(); ++r) {
    if (g->textMatrix(r, 0) == "101") r101 = r;
    if (g->textMatrix(r, 0) == "102") r102 = r;
  }
  const QImage red = g->cellPictureResolved(r101, 4).toImage();
  const QImage blue = g->cellPictureResolved(r102, 4).toImage();
  QVERIFY(qRed(red.pixel(10, 10)) > 200 && qBlue(red.pixel(10, 10)) < 60);
  QVERIFY(qBlue(blue.pixel(10, 10)) > 200 && qRed(blue.pixel(10, 10)) < 60);
  // No file was written into the program folder while decoding.
  for (const QString& f : QDir(s.folder.path()).entryList(QDir::Files))
    QVERIFY2(f == "settings.ini" || f.startsWith("varnokel.mdb"), qPrintable(f));
  QVERIFY(s.rec.boxes.empty());
}

void PriceTest::openingWithoutFile() {
  TestProgramFolder folder;
  msg::ScopedRecorder rec;
  Window win(folder);
  QCOMPARE(child<QTreeWidget>(win.w, "TreeView1")->topLevelItemCount(), 0);
  for (int r = 0; r < child<FlexGrid>(win.w, "MSFlexGrid1")->rows(); ++r) QCOMPARE(child<FlexGrid>(win.w, "MSFlexGrid1")->textMatrix(r, 0), QString());
  QVERIFY(rec.boxes.empty());
  QVERIFY(!QFile::exists(folder.priceDb()));
}

void PriceTest::settingsAppliedAtLoad() {
  TestProgramFolder folder;
  buildSample(folder.priceDb());
  WriteSetting(settings::path(), "settings", "imagetostring", "1");
  WriteSetting(settings::path(), "settings", "imagethumb", "1");
  WriteSetting(settings::path(), "settings", "visiblesumm", "1");
  msg::ScopedRecorder rec;
  Window win(folder);
  PriceWindow* w = win.w;
  QVERIFY(child<QCheckBox>(w, "Check1")->isChecked());
  QVERIFY(child<QCheckBox>(w, "Check2")->isChecked());
  QVERIFY(child<QLabel>(w, "Picture1")->isVisibleTo(w));
  QVERIFY(child<QLabel>(w, "Label2")->isVisibleTo(w));
  QCOMPARE(child<FlexGrid>(w, "MSFlexGrid1")->cols(), 8);
  const QDateTime fileTime = QFileInfo(folder.priceDb()).lastModified();
  QCOMPARE(child<QLabel>(w, "Label3")->text(), "Прайс-лист от " + QLocale().toString(fileTime.date(), QLocale::ShortFormat) +
                                                   " " + fileTime.time().toString("H:mm:ss"));

  // "?" changes no check box and hides the total.
  WriteSetting(settings::path(), "settings", "visiblesumm", "?");
  WriteSetting(settings::path(), "settings", "imagetostring", "?");
  w->loadPriceList();
  QVERIFY(child<QCheckBox>(w, "Check2")->isChecked());
  QVERIFY(!child<QLabel>(w, "Label2")->isVisibleTo(w));

  // "Весь прайс" empties the category and reloads.
  child<QLineEdit>(w, "Text2")->setText("Чай");
  w->showWholeList();
  QVERIFY(child<QLineEdit>(w, "Text2")->text().isEmpty());
  // Categories in Russian order: Е and Ё together, case ignored.
  QStringList tree;
  for (int i = 0; i < child<QTreeWidget>(w, "TreeView1")->topLevelItemCount(); ++i) tree << child<QTreeWidget>(w, "TreeView1")->topLevelItem(i)->text(0);
  QCOMPARE(tree, (QStringList{"бытовая химия", "Елки", "Ёлочные игрушки", "Чай и кофе"}));
  QCOMPARE(child<QTreeWidget>(w, "TreeView1")->topLevelItem(3)->data(0, Qt::UserRole).toString(), QStringLiteral("cat7"));
}

void PriceTest::loadAndCategoryStatementsMatchTheDatabase() {
  TestProgramFolder folder;
  QVERIFY(makePriceDb(folder.priceDb(), 1500, 7));
  {
    sqlite3* db = nullptr;
    sqlite3_open(folder.priceDb().toUtf8().constData(), &db);
    sqlite3_exec(db, "update products set order_count=2, order_summ=product_price*2 where rowid % 17 = 0", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  msg::ScopedRecorder rec;
  Window win(folder);
  PriceWindow* w = win.w;
  FlexGrid* g = child<FlexGrid>(w, "MSFlexGrid1");
  const QString cat = child<QTreeWidget>(w, "TreeView1")->topLevelItem(2)->data(0, Qt::UserRole).toString().remove("cat");
  for (bool thumbs : {false, true}) {
    child<QCheckBox>(w, "Check2")->setChecked(thumbs);
    for (bool whole : {true, false}) {
      setWholePrice(w, whole);
      w->loadPriceList();
      QCOMPARE(column(g, 0), bareIds(folder.priceDb(), stmt::list(thumbs, whole)));
      for (const QString& search : {QString(), QStringLiteral("а")}) {
        child<QLineEdit>(w, "Text1")->setText(search);
        selectCategory(w, child<QTreeWidget>(w, "TreeView1")->topLevelItem(2)->text(0));
        const QStringList expected = bareIds(folder.priceDb(), stmt::category(thumbs, whole, cat, search.toUpper()));
        if (expected.isEmpty()) QCOMPARE(g->rows(), 1);
        else QCOMPARE(column(g, 0), expected);
      }
      child<QLineEdit>(w, "Text1")->clear();
    }
  }
  QVERIFY(rec.boxes.empty());
}

void PriceTest::categoryClickRules() {
  SampleWindow s;
  PriceWindow* w = s.w;
  FlexGrid* g = s.g;
  // Lower-case Cyrillic search text, category 7, plain whole-price view.
  child<QLineEdit>(w, "Text1")->setText("чай");
  selectCategory(w, "Чай и кофе");
  QCOMPARE(child<QLineEdit>(w, "Text2")->text(), QStringLiteral("Чай и кофе"));
  QCOMPARE(column(g, 0), (QStringList{"102", "101", "107"}));
  QCOMPARE(child<QLabel>(w, "Label1")->text(), QStringLiteral("Выведено 3"));
  // A quote in the search text finds names with a quote; no match empties the label.
  child<QLineEdit>(w, "Text1")->setText("д'А");
  selectCategory(w, "бытовая химия");
  QCOMPARE(column(g, 0), QStringList{"104"});
  child<QLineEdit>(w, "Text1")->setText("нет такого");
  selectCategory(w, "бытовая химия");
  QCOMPARE(g->rows(), 1);
  QCOMPARE(child<QLabel>(w, "Label1")->text(), QString());
  // The order view lists only ordered products of the category.
  child<QLineEdit>(w, "Text1")->clear();
  setWholePrice(w, false);
  selectCategory(w, "Чай и кофе");
  QCOMPARE(column(g, 0), QStringList{"103"});
  QVERIFY(s.rec.boxes.empty());
}

void PriceTest::searchRules() {
  SampleWindow s;
  PriceWindow* w = s.w;
  FlexGrid* g = s.g;
  w->show();
  const int all = g->rows();
  // Two characters and the third: nothing yet; the fourth key searches for three.
  typeText(child<QLineEdit>(w, "Text1"), "ча");
  QCOMPARE(g->rows(), all);
  typeText(child<QLineEdit>(w, "Text1"), "й");
  QCOMPARE(g->rows(), all);
  typeText(child<QLineEdit>(w, "Text1"), "н");
  QCOMPARE(column(g, 0), (QStringList{"102", "101", "107"}));
  QCOMPARE(child<QLabel>(w, "Label1")->text(), QStringLiteral("Выведено 3"));
  // The search's own display: the stock as stored, zeros as 0.
  QCOMPARE(column(g, 3), (QStringList{"100", "99", "10"}));
  QCOMPARE(column(g, 5), (QStringList{"0", "0", "0"}));
  // Enter searches for the whole text; upper and lower case find the same.
  QTest::keyClick(child<QLineEdit>(w, "Text1"), Qt::Key_Return);
  QCOMPARE(column(g, 0), QStringList{"107"});
  child<QLineEdit>(w, "Text1")->setText("ЧАЙН");
  QTest::keyClick(child<QLineEdit>(w, "Text1"), Qt::Key_Return);
  QCOMPARE(column(g, 0), QStringList{"107"});
  // Backspace searches for the text before the deletion.
  child<QLineEdit>(w, "Text1")->setText("чай");
  child<QLineEdit>(w, "Text1")->setCursorPosition(3);
  QTest::keyClick(child<QLineEdit>(w, "Text1"), Qt::Key_Backspace);
  QCOMPARE(column(g, 0), (QStringList{"102", "101", "107"}));
  QCOMPARE(child<QLineEdit>(w, "Text1")->text(), QStringLiteral("ча"));
  // No match: header only, Выведено 0, the caret stays.
  child<QLineEdit>(w, "Text1")->setText("xyzw");
  child<QLineEdit>(w, "Text1")->setCursorPosition(1);
  QTest::keyClick(child<QLineEdit>(w, "Text1"), Qt::Key_Return);
  QCOMPARE(g->rows(), 1);
  QCOMPARE(child<QLabel>(w, "Label1")->text(), QStringLiteral("Выведено 0"));
  QCOMPARE(child<QLineEdit>(w, "Text1")->cursorPosition(), 1);
  // An apostrophe is a character like any other.
  child<QLineEdit>(w, "Text1")->setText("д'Ар");
  QTest::keyClick(child<QLineEdit>(w, "Text1"), Qt::Key_Return);
  QCOMPARE(column(g, 0), QStringList{"104"});
  // After a search the caret goes to the end: a key typed mid-text lands at the end.
  child<QLineEdit>(w, "Text1")->setText("чай");
  child<QLineEdit>(w, "Text1")->setCursorPosition(1);
  typeText(child<QLineEdit>(w, "Text1"), "н");
  QCOMPARE(child<QLineEdit>(w, "Text1")->text(), QStringLiteral("чайн"));
  // Down arrow: label cleared, focus to the grid at row 1, name column.
  QTest::keyClick(child<QLineEdit>(w, "Text1"), Qt::Key_Down);
  QCOMPARE(child<QLabel>(w, "Label1")->text(), QString());
  QCOMPARE(g->row(), 1);
  QCOMPARE(g->col(), 2);
  QVERIFY(s.rec.boxes.empty());
}

void PriceTest::searchWithThumbnailsAndCategory() {
  SampleWindow s;
  PriceWindow* w = s.w;
  FlexGrid* g = s.g;
  child<QCheckBox>(w, "Check2")->setChecked(true);
  w->toggleThumbnails();
  selectCategory(w, "бытовая химия");
  // The search stays within the selected category, and ignores the order view.
  setWholePrice(w, false);
  child<QLineEdit>(w, "Text1")->setText("мыл");
  QTest::keyClick(child<QLineEdit>(w, "Text1"), Qt::Key_Return);
  QCOMPARE(column(g, 0), QStringList{"104"});
  child<QLineEdit>(w, "Text1")->setText("чай");
  QTest::keyClick(child<QLineEdit>(w, "Text1"), Qt::Key_Return);
  QCOMPARE(g->rows(), 1);
  w->showWholeList();
  child<QLineEdit>(w, "Text1")->setText("чай");
  QTest::keyClick(child<QLineEdit>(w, "Text1"), Qt::Key_Return);
  QCOMPARE(g->cols(), 9);
  QCOMPARE(g->textMatrix(0, 8), QString());
  QCOMPARE(column(g, 0), (QStringList{"102", "101", "107", "107"}));
  QCOMPARE(column(g, 8), (QStringList{"same.jpg", "same.jpg", "k1.jpg", "k2.jpg"}));
  QVERIFY(!g->cellPictureResolved(1, 4).isNull());
  QVERIFY(!g->cellPictureResolved(4, 4).isNull());
}

void PriceTest::resizeFormulas() {
  TestProgramFolder folder;
  buildSample(folder.priceDb());
  msg::ScopedRecorder rec;
  Window win(folder);
  PriceWindow* w = win.w;
  win.main.resize(1200, 900);
  auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
  QVERIFY(sub);
  sub->showNormal();
  sub->resize(twips::toPxX(12000), twips::toPxY(8000));
  QApplication::processEvents();
  auto near = [](int px, int tw, bool x) { return qAbs(px - (x ? twips::toPxX(tw) : twips::toPxY(tw))) <= 1; };
  QVERIFY(near(child<FlexGrid>(w, "MSFlexGrid1")->width(), 6120, true));
  QVERIFY(near(child<FlexGrid>(w, "MSFlexGrid1")->height(), 5855, false));
  QVERIFY(near(child<QTreeWidget>(w, "TreeView1")->height(), 5855, false));
  QVERIFY(near(child<QLineEdit>(w, "Text1")->width(), 6120, true));
  QVERIFY(near(child<QLabel>(w, "Picture1")->x(), 9610, true));
  QVERIFY(near(child<QCheckBox>(w, "Check1")->x(), 9610, true));
  QVERIFY(near(child<QLabel>(w, "Label2")->y(), 6920, false));
  QVERIFY(near(child<QLabel>(w, "Label2")->x(), 6120, true));
  QVERIFY(near(child<FlexGrid>(w, "MSFlexGrid1")->x(), 3480, true));
  // Below the thresholds nothing moves.
  const QRect grid = child<FlexGrid>(w, "MSFlexGrid1")->geometry();
  sub->resize(twips::toPxX(8900), twips::toPxY(8000));
  QApplication::processEvents();
  QCOMPARE(child<FlexGrid>(w, "MSFlexGrid1")->geometry(), grid);
  sub->resize(twips::toPxX(12000), twips::toPxY(4900));
  QApplication::processEvents();
  QCOMPARE(child<FlexGrid>(w, "MSFlexGrid1")->geometry(), grid);
}

void PriceTest::wheelScrolling() {
  TestProgramFolder folder;
  QVERIFY(makePriceDb(folder.priceDb(), 300, 3));
  msg::ScopedRecorder rec;
  Window win(folder);
  auto wheel = [](FlexGrid* g, int delta) {
    QWheelEvent e(QPointF(20, 20), g->viewport()->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(g->viewport(), &e);
  };
  for (int round = 0; round < 2; ++round) {
    PriceWindow* w = win.main.priceWindow();
    FlexGrid* g = child<FlexGrid>(w, "MSFlexGrid1");
    win.main.resize(1000, 700);
    QApplication::processEvents();
    g->setTopRow(10);
    wheel(g, 120);
    QCOMPARE(g->topRow(), 9);
    wheel(g, -120);
    QCOMPARE(g->topRow(), 10);
    wheel(g, -240);  // two notches at once: one row
    QCOMPARE(g->topRow(), 11);
    g->setTopRow(1);
    wheel(g, 120);
    QCOMPARE(g->topRow(), 1);
    QTest::mouseMove(g->viewport(), QPoint(30, 30));
    QTest::mouseMove(g->viewport(), QPoint(60, 80));
    QCOMPARE(g->topRow(), 1);
    // Closing and reopening the window keeps the wheel working on the new grid.
    w->close();
    QTRY_VERIFY(!win.main.priceWindow());
    win.main.Pricelist_Click();
  }
  QVERIFY(HookedWindowCount >= 2);
}

void PriceTest::russianNameOrder() {
  QVERIFY(collation::compare(u"еда", u"Ёлка") < 0);
  QVERIFY(collation::compare(u"Ёлка", u"Ежевика") > 0);
  QVERIFY(collation::compare(u"ёж", u"Ежи") < 0);
  QVERIFY(collation::compare(u"апельсин", u"Банан") < 0);
  QVERIFY(collation::compare(u"Яблоко", u"ящик") < 0);
  QVERIFY(collation::compare(u"Coffee", u"Аист") < 0);
  QVERIFY(collation::compare(u"10 шт", u"Аист") < 0);
  QVERIFY(collation::compare(u"чай", u"Чай") != 0);
}

QTEST_MAIN(PriceTest)
#include "test_price.moc"
