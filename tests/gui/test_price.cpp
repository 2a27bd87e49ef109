// The price list window: layouts, fills, loads, category clicks, search,
// resizing and wheel scrolling, on real price database files.
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "data/RussianCollation.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "gui/common/MessageBoxes.h"
#include "gui/common/Twips.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceGridFill.h"
#include "gui/price/PriceWindow.h"
#include "gui/price/WheelScroll.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QTreeWidget>
#include <QWheelEvent>
#include "support/Widgets.h"

#include <QtTest>
#include <optional>

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
  db.addImage("103", QByteArray(""), "empty.jpg");             // empty picture
  db.addImage("104", QByteArray("not a picture"), "bad.jpg");  // damaged picture
  db.addImage("107", PriceDbBuilder::jpeg(50, 50, Qt::green), "k1.jpg");
  db.addImage("107", PriceDbBuilder::jpeg(50, 50, Qt::yellow), "k2.jpg");
}

QStringList column(FlexGrid* g, int c) {
  QStringList out;
  for (int r = 1; r < g->rows(); ++r) out << g->textMatrix(r, c);
  return out;
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

// A fresh program folder with a price list (the sample, `generated` products, or
// none at 0), every box recorded; the program opened on it at once or by open().
struct Program {
  explicit Program(int generated = -1, bool openNow = true) {
    if (generated < 0) buildSample(folder.priceDb());
    if (generated > 0) makePriceDb(folder.priceDb(), generated, 3);
    if (openNow) open();
  }
  void open() {
    main.emplace();
    main->startUp(QString());
    main->showStartupWindow();
    w = main->priceWindow();
    g = child<FlexGrid>(w, "MSFlexGrid1");
  }
  TestProgramFolder folder;
  msg::ScopedRecorder rec;
  std::optional<MainWindow> main;
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
  void categoryClickRules();
  void searchRules();
  void resizing();
  void wheelScrolling();
  void russianNameOrder();
};

void PriceTest::layoutWidthsFromSettings() {
  TestProgramFolder folder;
  FlexGrid grid;
  SetPriceGridHeadersWithImage(&grid);
  QCOMPARE(grid.colAlignment(4), 4);  // the picture column
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
  QVERIFY(qAbs(grid.colWidth(2) - 1500) <= tol);
  QVERIFY(qAbs(grid.colWidth(3) - 2500) <= tol);
  QVERIFY(qAbs(grid.colWidth(4) - 1501) <= tol);
  QCOMPARE(grid.colWidth(5) + grid.colWidth(6), 0);

  QFile::remove(settings::path());
  WriteSetting(settings::path(), "settings", "x", "1");
  SetPriceGridHeadersWithImage(&grid);
  QVERIFY(qAbs(grid.colWidth(4) - 1800) <= tol);
  for (int c : {2, 3, 5, 6, 7}) QCOMPARE(grid.colWidth(c), 0);

  // A width too large for the grid leaves the widths as they were; the grid still repaints.
  WriteSetting(settings::path(), "forms", "name", "1e12");
  SetPriceGridHeadersWithImage(&grid);
  QCOMPARE(grid.colWidth(2), 0);
  QVERIFY(grid.redraw());
}

void PriceTest::plainAndThumbnailFills() {
  Program s;
  PriceWindow* w = s.w;
  FlexGrid* g = s.g;
  QCOMPARE(g->cols(), 7);
  QCOMPARE(child<QLabel>(w, "Label1")->text(), QStringLiteral("Выведено 7"));
  const QStringList names = column(g, 2);
  QCOMPARE(names,
           (QStringList{"Елка искусственная 1,5 м", "Ёлочный шар красный", "Кофе молотый 250 г", "Мыло д'Артаньян",
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
  const QImage red = g->cellPictureResolved(column(g, 0).indexOf("101") + 1, 4).toImage();
  const QImage blue = g->cellPictureResolved(column(g, 0).indexOf("102") + 1, 4).toImage();
  QVERIFY(qRed(red.pixel(10, 10)) > 200 && qBlue(red.pixel(10, 10)) < 60);
  QVERIFY(qBlue(blue.pixel(10, 10)) > 200 && qRed(blue.pixel(10, 10)) < 60);
  QVERIFY(s.rec.boxes.empty());
}

void PriceTest::openingWithoutFile() {
  Program s(0);
  QCOMPARE(child<QTreeWidget>(s.w, "TreeView1")->topLevelItemCount(), 0);
  for (int r = 0; r < s.g->rows(); ++r) QCOMPARE(s.g->textMatrix(r, 0), QString());
  QVERIFY(s.rec.boxes.empty());
  QVERIFY(!QFile::exists(s.folder.priceDb()));
}

void PriceTest::settingsAppliedAtLoad() {
  Program s(-1, false);
  for (const char* key : {"imagetostring", "imagethumb", "visiblesumm"})
    WriteSetting(settings::path(), "settings", key, "1");
  s.open();
  PriceWindow* w = s.w;
  QVERIFY(child<QCheckBox>(w, "Check1")->isChecked());
  QVERIFY(child<QCheckBox>(w, "Check2")->isChecked());
  QVERIFY(child<QLabel>(w, "Picture1")->isVisibleTo(w));
  QVERIFY(child<QLabel>(w, "Label2")->isVisibleTo(w));
  const QDateTime fileTime = QFileInfo(s.folder.priceDb()).lastModified();
  QCOMPARE(child<QLabel>(w, "Label3")->text(), "Прайс-лист от " +
                                                   QLocale().toString(fileTime.date(), QLocale::ShortFormat) + " " +
                                                   fileTime.time().toString("H:mm:ss"));

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
  for (int i = 0; i < child<QTreeWidget>(w, "TreeView1")->topLevelItemCount(); ++i)
    tree << child<QTreeWidget>(w, "TreeView1")->topLevelItem(i)->text(0);
  QCOMPARE(tree, (QStringList{"бытовая химия", "Елки", "Ёлочные игрушки", "Чай и кофе"}));
  QCOMPARE(child<QTreeWidget>(w, "TreeView1")->topLevelItem(3)->data(0, Qt::UserRole).toString(),
           QStringLiteral("cat7"));
}

void PriceTest::categoryClickRules() {
  Program s;
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
  // With thumbnails, a search stays within the selected category and ignores the order view.
  child<QCheckBox>(w, "Check2")->setChecked(true);
  w->toggleThumbnails();
  selectCategory(w, "бытовая химия");
  child<QLineEdit>(w, "Text1")->setText("мыл");
  QTest::keyClick(child<QLineEdit>(w, "Text1"), Qt::Key_Return);
  QCOMPARE(column(g, 0), QStringList{"104"});
  child<QLineEdit>(w, "Text1")->setText("чай");
  QTest::keyClick(child<QLineEdit>(w, "Text1"), Qt::Key_Return);
  QCOMPARE(g->rows(), 1);
  // Over the whole list: each picture its row, its file name in the last column.
  w->showWholeList();
  child<QLineEdit>(w, "Text1")->setText("чай");
  QTest::keyClick(child<QLineEdit>(w, "Text1"), Qt::Key_Return);
  QCOMPARE(column(g, 0), (QStringList{"102", "101", "107", "107"}));
  QCOMPARE(column(g, 8), (QStringList{"same.jpg", "same.jpg", "k1.jpg", "k2.jpg"}));
  QVERIFY(!g->cellPictureResolved(1, 4).isNull() && !g->cellPictureResolved(4, 4).isNull());
  QVERIFY(s.rec.boxes.empty());
}

void PriceTest::searchRules() {
  Program s;
  PriceWindow* w = s.w;
  FlexGrid* g = s.g;
  w->show();
  const int all = g->rows();
  // Two characters and the third: nothing yet; the fourth key searches for three.
  typeText(child<QLineEdit>(w, "Text1"), "чай");
  QCOMPARE(g->rows(), all);
  typeText(child<QLineEdit>(w, "Text1"), "н");
  QCOMPARE(column(g, 0), (QStringList{"102", "101", "107"}));
  QCOMPARE(child<QLabel>(w, "Label1")->text(), QStringLiteral("Выведено 3"));
  // The search's own display: the stock as stored, zeros as 0.
  QCOMPARE(column(g, 3), (QStringList{"100", "99", "10"}));
  QCOMPARE(column(g, 5), (QStringList{"0", "0", "0"}));
  // Enter searches for the whole text; upper and lower case find the same.
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

// Grown, the grid, the tree and the search box grow with the window and the
// picture side moves along; below 9000 x 5000 twips nothing moves.
void PriceTest::resizing() {
  Program s;
  PriceWindow* w = s.w;
  s.main->resize(1200, 900);
  auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
  QVERIFY(sub);
  sub->showNormal();
  auto layout = [w] {
    const QRect g = child<FlexGrid>(w, "MSFlexGrid1")->geometry(), l = child<QLabel>(w, "Label2")->geometry();
    return QList<int>{g.width(),
                      g.height(),
                      child<QTreeWidget>(w, "TreeView1")->height(),
                      child<QLineEdit>(w, "Text1")->width(),
                      child<QLabel>(w, "Picture1")->x(),
                      child<QCheckBox>(w, "Check1")->x(),
                      l.x(),
                      l.y()};
  };
  sub->resize(800, 560);
  const QList<int> before = layout();
  sub->resize(900, 640);
  const QList<int> grown{100, 80, 80, 100, 100, 100, 100, 80};
  for (int k = 0; k < before.size(); ++k)
    QVERIFY2(qAbs(layout()[k] - before[k] - grown[k]) <= 1, qPrintable(QString::number(k)));
  QVERIFY(child<QLabel>(w, "Picture1")->x() > child<FlexGrid>(w, "MSFlexGrid1")->geometry().right());
  const QList<int> big = layout();
  for (QSize small : {QSize(580, 640), QSize(900, 320)}) {
    sub->resize(small);
    QCOMPARE(layout(), big);
  }
}

void PriceTest::wheelScrolling() {
  Program s(300);
  auto wheel = [](FlexGrid* g, int delta) {
    QWheelEvent e(QPointF(20, 20), g->viewport()->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, delta),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(g->viewport(), &e);
  };
  for (int round = 0; round < 2; ++round) {
    PriceWindow* w = s.main->priceWindow();
    FlexGrid* g = child<FlexGrid>(w, "MSFlexGrid1");
    s.main->resize(1000, 700);
    QApplication::processEvents();
    g->setTopRow(10);
    wheel(g, 120);
    QCOMPARE(g->topRow(), 9);
    // Closing and reopening the window keeps the wheel working on the new grid.
    w->close();
    QTRY_VERIFY(!s.main->priceWindow());
    s.main->openPriceWindow();
  }
}

void PriceTest::russianNameOrder() {
  // Е and Ё as one letter, case ignored: the fills above show it on real rows.
  QVERIFY(collation::compare(u"Ёлка", u"Ежевика") > 0);
  QVERIFY(collation::compare(u"Coffee", u"Аист") < 0);
  QVERIFY(collation::compare(u"10 шт", u"Аист") < 0);
  QVERIFY(collation::compare(u"чай", u"Чай") != 0);
}

QTEST_MAIN(PriceTest)
#include "test_price.moc"
