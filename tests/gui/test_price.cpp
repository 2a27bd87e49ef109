// The price list window: fills, loads, category clicks, search and wheel
// scrolling, on real price database files.
#include "gui/price/PriceGridFill.h"
#include "support/WindowTest.h"

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
  db.addImage("103", QByteArray(""), "empty.jpg");
  db.addImage("104", QByteArray("not a picture"), "bad.jpg");
  db.addImage("107", PriceDbBuilder::jpeg(50, 50, Qt::green), "k1.jpg");
  db.addImage("107", PriceDbBuilder::jpeg(50, 50, Qt::yellow), "k2.jpg");
}

// A fresh program folder with a price list (the sample, `generated` products, or
// none at 0), every box recorded.
struct Folder {
  explicit Folder(int generated) {
    if (generated < 0) buildSample(folder.priceDb());
    if (generated > 0) makePriceDb(folder.priceDb(), generated, 3);
  }
  TestProgramFolder folder;
  msg::ScopedRecorder rec;
};
// The program opened on it.
struct Program : Folder, PriceProgram {
  explicit Program(int generated = -1) : Folder(generated) {}
  QStringList column(int c) const { return ::column(g, c); }
  QRgb pixel(const QString& id) const { return g->cellPictureResolved(rowOf(id), 4).toImage().pixel(10, 10); }
};

// A category click (after the text is set; none: the whole list) or a search by
// click, enter, type or backspace, and the products and label it shows.
struct Search {
  bool pictures, orderView;
  QString category, how, text, ids, label;
};

// Types characters as the keyboard would, Cyrillic included.
void typeText(QWidget* w, const QString& text) {
  for (QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &press);
  }
}

}  // namespace
Q_DECLARE_METATYPE(Search)

class PriceTest : public QObject {
  Q_OBJECT

 private slots:
  // Names in Russian order; the stock rule, zeros and Null shown empty; in the
  // picture layout one row per picture, each product its own picture even under
  // one file name, a damaged picture blank.
  void plainAndPictureFills() {
    Program s;
    QCOMPARE(s.column(0), (QStringList{"106", "105", "103", "104", "102", "101", "107"}));
    QCOMPARE(s.column(3), (QStringList{"0", "", "9999", "5", "9999", "99", "10"}));
    QCOMPARE(s.column(4), (QStringList{"", "40", "80", "99.9", "12.5", "150", "20"}));
    QCOMPARE(s.column(5), (QStringList{"", "", "3", "", "", "", ""}));
    QCOMPARE(s.column(6), (QStringList{"", "", "240", "", "", "", ""}));
    showPictureRows(s.w);
    QCOMPARE(s.column(0), (QStringList{"106", "105", "103", "104", "102", "101", "107", "107"}));
    QVERIFY(qRed(s.pixel("101")) > 200 && qBlue(s.pixel("101")) < 60);
    QVERIFY(qBlue(s.pixel("102")) > 200 && qRed(s.pixel("102")) < 60);
    QVERIFY(s.g->cellPictureResolved(s.rowOf("104"), 4).isNull());
    QVERIFY(s.rec.boxes.empty());
  }
  // No price file: an empty window, no message, no file made up.
  void openingWithoutFile() {
    Program s(0);
    QCOMPARE(child<QTreeWidget>(s.w, "TreeView1")->topLevelItemCount(), 0);
    QCOMPARE(s.g->rows() > 1 ? s.g->textMatrix(1, 0) : QString(), QString());
    QVERIFY(s.rec.boxes.empty());
    QVERIFY(!QFile::exists(s.folder.priceDb()));
  }
  // A stored column width too large for the grid leaves the widths as they were,
  // and the grid still repaints.
  void widthTooLarge() {
    TestProgramFolder folder;
    FlexGrid grid;
    SetPriceGridHeadersWithImage(&grid);
    const int before = grid.colWidth(2);
    WriteSetting(settings::path(), "forms", "name", "1e12");
    SetPriceGridHeadersWithImage(&grid);
    QCOMPARE(grid.colWidth(2), before);
    QVERIFY(grid.redraw());
  }
  void categoryAndSearch_data() {
    QTest::addColumn<Search>("search");
    const std::pair<const char*, Search> rows[] = {
        {"category and text", {false, false, "Чай и кофе", "click", "чай", "102 101 107", "Выведено 3"}},
        {"a quote", {false, false, "бытовая химия", "click", "д'А", "104", "Выведено 1"}},
        {"no match in category", {false, false, "бытовая химия", "click", "нет такого", "", ""}},
        {"order view", {false, true, "Чай и кофе", "click", "", "103", "Выведено 1"}},
        {"Enter, any case", {false, false, "", "enter", "ЧАЙН", "107", "Выведено 1"}},
        {"Enter, no match", {false, false, "", "enter", "xyzw", "", "Выведено 0"}},
        {"three keys: not yet", {false, false, "", "type", "чай", "106 105 103 104 102 101 107", "Выведено 7"}},
        {"the fourth key searches", {false, false, "", "type", "чайн", "102 101 107", "Выведено 3"}},
        {"Backspace", {false, false, "", "backspace", "чай", "102 101 107", "Выведено 3"}},
        {"pictures: inside the category", {true, true, "бытовая химия", "enter", "мыл", "104", "Выведено 1"}},
        {"pictures: not outside it", {true, false, "бытовая химия", "enter", "чай", "", "Выведено 0"}},
        {"pictures: whole list", {true, false, "", "enter", "чай", "102 101 107 107", "Выведено 4"}},
    };
    for (const auto& [name, search] : rows) QTest::newRow(name) << search;
  }
  // Which products a category click or a search shows.
  void categoryAndSearch() {
    QFETCH(Search, search);
    const auto& [pictures, orderView, category, how, text, ids, label] = search;
    Program s;
    s.w->show();
    auto* box = child<QLineEdit>(s.w, "Text1");
    if (orderView) s.w->switchOrderView();
    if (pictures) showPictureRows(s.w);
    if (how == "click") box->setText(text);
    if (!category.isEmpty()) {
      auto* tree = child<QTreeWidget>(s.w, "TreeView1");
      tree->setCurrentItem(tree->findItems(category, Qt::MatchExactly).value(0));
      s.w->showSelectedCategory();
      QCOMPARE(child<QLineEdit>(s.w, "Text2")->text(), category);
    }
    if (how == "enter") {
      box->setText(text);
      QTest::keyClick(box, Qt::Key_Return);
    } else if (how == "type") {
      typeText(box, text);
    } else if (how == "backspace") {
      box->setText(text);
      QTest::keyClick(box, Qt::Key_Backspace);
      QCOMPARE(box->text(), text.chopped(1));
    }
    QCOMPARE(s.column(0), ids.split(' ', Qt::SkipEmptyParts));
    QCOMPARE(child<QLabel>(s.w, "Label1")->text(), label);
    QVERIFY(s.rec.boxes.empty());
  }
  // The wheel scrolls the grid of a price window closed and opened again.
  void wheelAfterReopening() {
    Program s(300);
    for (int round = 0; round < 2; ++round) {
      s.main.resize(1000, 700);
      QApplication::processEvents();
      FlexGrid* g = child<FlexGrid>(s.main.priceWindow(), "MSFlexGrid1");
      g->setTopRow(10);
      QWheelEvent e(QPointF(20, 20), g->viewport()->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, 120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(g->viewport(), &e);
      QCOMPARE(g->topRow(), 9);
      s.main.priceWindow()->close();
      QTRY_VERIFY(!s.main.priceWindow());
      s.main.openPriceWindow();
    }
  }
};

QTEST_MAIN(PriceTest)
#include "test_price.moc"
