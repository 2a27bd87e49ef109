// The grid widget, its row store and the wheel module, on real widgets (offscreen platform).
#include "gui/grid/GridRowStore.h"
#include "gui/price/WheelScroll.h"
#include "support/WindowTest.h"

#include <functional>
#include <set>

namespace {

std::unique_ptr<FlexGrid> shownGrid(int rows, int cols, QSize size = QSize(640, 420)) {
  auto g = std::make_unique<FlexGrid>();
  g->setRows(rows);
  g->setCols(cols);
  g->resize(size);
  g->show();
  if (!QTest::qWaitForWindowExposed(g.get())) qWarning("grid window not exposed");
  return g;
}

QPoint cellCenter(FlexGrid* g, int row, int col) { return g->visualRect(g->model()->index(row - 1, col)).center(); }

QList<int> cursor(const FlexGrid* g) { return {g->row(), g->col(), g->rowSel(), g->colSel()}; }

// Keys from a start cell (col, row); with a text, one key press of it. Where the cursor ends,
// how often a cell is entered, the KeyPress code (-1: none).
struct Keys {
  QPoint start;
  QKeySequence keys;
  QString text;
  QList<int> expected;
  int enterCells, code;
};
// A wheel turn over the grid or its scroll bar, with the top row before it and the rows moved.
struct Wheel {
  bool overScrollBar;
  int top;
  QPoint angle, pixel;
  int moved;
};

// The store and its plain twin, changed together.
struct Twin {
  GridRowStore store;
  std::vector<std::vector<std::string>> plain{5, std::vector<std::string>(3)};
  Twin() {
    store.setCols(3);
    store.resizeRows(5);
  }
  void set(int r, int c, const std::string& text) {
    store.setCell(r, c, text);
    plain[size_t(r)][size_t(c)] = text;
  }
  bool setRow(int r, const std::vector<std::string>& cells) {
    const std::vector<std::string_view> views(cells.begin(), cells.end());
    for (size_t c = 0; c < cells.size() && c < 3; ++c) plain[size_t(r)][c] = cells[c];
    return store.setRow(r, views.data(), int(views.size()));
  }
  void shape(int rows, int cols) {
    store.resizeRows(rows);
    store.setCols(cols);
    plain.resize(size_t(rows));
    for (auto& row : plain) row.resize(size_t(cols));
  }
  void fill(int tag) {  // every cell a distinct text, some of them long
    for (int r = 0; r < store.rows(); ++r)
      for (int c = 0; c < store.cols(); ++c)
        set(r, c, std::to_string(tag) + ":" + std::to_string(r) + std::string(size_t((r * 7 + c * 131) % 400), 'x'));
  }
  QString mismatch() const {
    if (store.rows() != int(plain.size())) return QStringLiteral("rows %1").arg(store.rows());
    for (int r = 0; r < store.rows(); ++r)
      for (int c = 0; c < store.cols(); ++c)
        if (store.cell(r, c) != plain[size_t(r)][size_t(c)])
          return QStringLiteral("cell %1,%2: \"%3\"").arg(r).arg(c).arg(store.cellText(r, c).left(40));
    return {};
  }
};

const std::string kLong(300, 'L');

const std::vector<std::pair<const char*, std::function<void(Twin&)>>> kCases = {
    {"short and long texts across rows",
     [](Twin& t) {
       t.set(0, 0, "a");
       t.set(1, 1, kLong);
       t.set(2, 2, std::string(255, 'E'));  // the first length with a long prefix
       t.set(3, 0, std::string(254, 's'));
       t.set(1, 1, "b");                    // long prefix becomes short, not the last record
       t.set(3, 0, kLong);                  // short prefix becomes long, the last record
       t.set(2, 2, std::string(255, 'F'));  // same length: in place
     }},
    {"middle row rewritten, then compacted",
     [](Twin& t) {
       t.fill(1);
       t.set(2, 1, "middle");
       t.set(2, 0, kLong);
       t.store.compact();
     }},
    {"many rewrites of middle rows reclaim the dead records",
     [](Twin& t) {
       t.fill(2);
       for (int i = 0; i < 3000; ++i) t.set(1 + i % 2, 1, std::string(size_t(1000 + i % 3), char('a' + i % 26)));
     }},
    {"shrink then grow leaves empty cells",
     [](Twin& t) {
       t.fill(3);
       t.shape(2, 3);
       t.shape(5, 1);
       t.set(4, 0, "new");
       t.shape(5, 3);
       t.set(0, 2, kLong);
     }},
    {"whole rows at once",
     [](Twin& t) {
       QVERIFY(!t.setRow(0, {"", ""}));  // an empty row stays without a record
       QVERIFY(t.setRow(1, {"Чай «Весна»", kLong, "c", "beyond the last column"}));
       QVERIFY(t.setRow(2, {"x"}));
       QVERIFY(t.setRow(1, {"", "short"}));  // an existing record changes cell by cell
     }},
};

}  // namespace
Q_DECLARE_METATYPE(Keys)
Q_DECLARE_METATYPE(Wheel)

class TestFlexGrid : public QObject {
  Q_OBJECT

 private slots:
  // The current row follows a shrinking grid; cells out of range are ignored;
  // clear() empties the cells and keeps the shape and widths.
  void shapeAndClear() {
    FlexGrid g;
    g.setCols(3);
    g.setRows(10);
    g.setRow(9);
    g.setRows(5);
    QCOMPARE(g.row(), 4);
    QVERIFY(!g.setTextMatrix(5, 0, "a") && !g.setTextMatrix(-1, 0, "a") && !g.setTextMatrix(1, 3, "a"));
    QVERIFY(!g.setTextUtf8(100, 0, "a"));
    g.setRow(7);
    QCOMPARE(g.row(), 4);
    QVERIFY(g.setTextMatrix(2, 1, "Чай"));
    g.setCellPictureKey(2, 0, 42);
    g.setColWidth(1, 1500);
    g.clear();
    QCOMPARE(g.rows(), 5);
    QCOMPARE(g.textMatrix(2, 1), QString());
    QCOMPARE(g.cellPictureKey(2, 0), qint64(-1));
    QCOMPARE(g.colWidth(1), 1500);
  }

  // Quantities go to the selection end: the current cell set by code or by a click moves
  // it too, before Click is told; a click below the last row is no click.
  void currentCellAndSelectionEnd() {
    auto g = shownGrid(6, 5);
    g->setRow(1);
    g->setCol(3);
    g->setRowSel(2);
    g->setRow(3);
    QCOMPARE(cursor(g.get()), QList<int>({3, 3, 3, 3}));
    QSignalSpy clicks(g.get(), &FlexGrid::Click);
    int rowAtClick = -1;
    connect(g.get(), &FlexGrid::Click, this, [&] { rowAtClick = g->row(); });
    QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, cellCenter(g.get(), 2, 2));
    QCOMPARE(rowAtClick, 2);
    QCOMPARE(cursor(g.get()), QList<int>({2, 2, 2, 2}));
    QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, g->viewport()->height() - 3));
    QCOMPARE(clicks.count(), 1);
  }

  void keys_data() {
    QTest::addColumn<Keys>("row");
    const QPoint home(0, 1);
    const QList<int> stay{1, 0, 1, 0};
    QTest::newRow("arrows") << Keys{home, QKeySequence("Down, Down, Right"), "", {3, 1, 3, 1}, 3, -1};
    QTest::newRow("shift extends") << Keys{{1, 3}, QKeySequence("Shift+Down, Shift+Right"), "", {3, 1, 4, 2}, 0, -1};
    QTest::newRow("plain collapses") << Keys{{1, 3}, QKeySequence("Shift+Down, Up"), "", {2, 1, 2, 1}, 1, -1};
    QTest::newRow("first row stays") << Keys{home, QKeySequence("Up"), "", stay, 0, -1};
    QTest::newRow("digit") << Keys{home, QKeySequence(Qt::Key_5), "5", stay, 0, int('5')};
    QTest::newRow("cyrillic") << Keys{home, QKeySequence(0x0416), "ж", stay, 0, 0x0436};
    QTest::newRow("backspace") << Keys{home, QKeySequence(Qt::Key_Backspace), "\b", stay, 0, 8};
  }

  void keys() {
    QFETCH(Keys, row);
    const auto& [start, keys, text, expected, enterCells, code] = row;
    auto g = shownGrid(50, 4);
    g->setRow(start.y());
    g->setCol(start.x());
    QSignalSpy enter(g.get(), &FlexGrid::EnterCell);
    QSignalSpy keyPress(g.get(), &FlexGrid::KeyPress);
    QKeyEvent press(QEvent::KeyPress, keys[0].key(), Qt::NoModifier, text);
    text.isEmpty() ? QTest::keySequence(g.get(), keys) : void(QApplication::sendEvent(g.get(), &press));
    QCOMPARE(cursor(g.get()), expected);  // typing never searches
    QCOMPARE(enter.count(), enterCells);
    QCOMPARE(keyPress.value(0).value(0).toInt(), code < 0 ? 0 : code);
    QVERIFY(!g->findChild<QLineEdit*>());                                              // nor edits
    QVERIFY(g->viewport()->rect().contains(cellCenter(g.get(), g->row(), g->col())));  // scrolled into view
  }

  // A big price list: the pictures of a page are asked for in one batch, once.
  void hundredThousandRows() {
    auto g = shownGrid(1, 8, QSize(700, 700));
    g->setColWidth(-1, 70 * 15);
    const int N = 100000;
    g->setRedraw(false);
    g->reserveRows(N + 1);
    for (int i = 1; i < N; ++i) {
      const int r = g->addRow();
      g->setTextUtf8(r, 0, std::to_string(r));
      g->setCellPictureKey(r, 7, (r % 5 == 0) ? -1 : r);  // every fifth row has no picture
      g->setRowHeight(r, (r % 5 == 0) ? 240 : 600);
    }
    g->setRedraw(true);
    QCOMPARE(g->model()->rowCount(), N - 1);
    QCOMPARE(g->textMatrix(99999, 0), QString("99999"));

    std::vector<std::vector<qint64>> batches;
    QPixmap green(30, 30);
    green.fill(Qt::darkGreen);
    g->setPictureProvider([&](const std::vector<qint64>& keys) {
      batches.push_back(keys);
      std::unordered_map<qint64, QPixmap> out;
      for (qint64 k : keys)
        if (k % 7 != 0) out.emplace(k, green);  // the others have no picture stored
      return out;
    });
    g->setTopRow(N);  // beyond: clamps to the last page
    g->viewport()->grab();
    g->viewport()->grab();  // all cached now, blanks included
    QCOMPARE(batches.size(), size_t(1));
    const std::set<qint64> batch(batches[0].begin(), batches[0].end());
    QCOMPARE(batch.size(), batches[0].size());  // no duplicates
    QVERIFY(batch.count(99999) && !batch.count(99995));
    const int visible = N - (g->rowAt(0) + 1);
    QVERIFY2(int(batch.size()) >= visible * 4 / 5 - 1 && int(batch.size()) <= 3 * visible,
             qPrintable(QString("batch %1, visible %2").arg(batch.size()).arg(visible)));
    QVERIFY(g->cellPictureResolved(99974, 7).isNull());            // 99974 % 7 == 0
    QCOMPARE(g->cellPictureResolved(3, 7).size(), QSize(30, 30));  // far away: on demand
    QCOMPARE(batches.size(), size_t(2));
    // Emptied and filled again in one batch (a category click), the list starts at the top.
    g->setRedraw(false);
    g->setRows(1);
    g->setRows(N);
    g->setRedraw(true);
    QCOMPARE(g->topRow(), 1);
  }

  // One row per wheel turn whatever its size, wherever it lands; a plain mouse move never scrolls.
  void wheelMovesOneRow_data() {
    QTest::addColumn<Wheel>("row");
    const QPoint no, away(0, 120), towards(0, -120);
    QTest::newRow("one notch towards") << Wheel{false, 10, towards, no, 1};
    QTest::newRow("240 at once") << Wheel{false, 10, {0, 240}, no, -1};
    QTest::newRow("pixels only") << Wheel{false, 10, no, {0, -3}, 1};
    QTest::newRow("over the scroll bar") << Wheel{true, 10, towards, no, 1};
    QTest::newRow("no vertical movement") << Wheel{false, 10, no, no, 0};
    QTest::newRow("top row 1 stays") << Wheel{false, 1, away, no, 0};
    QTest::newRow("last row stays") << Wheel{false, 5000, towards, no, 0};
  }

  void wheelMovesOneRow() {
    QFETCH(Wheel, row);
    const auto& [overScrollBar, top, angle, pixel, moved] = row;
    auto g = shownGrid(1000, 3);
    HookWheel(g.get());
    connect(g.get(), &FlexGrid::MouseMove, g.get(), [p = g.get()] { ApplyWheelDirection(p); });
    QWidget* to = overScrollBar ? static_cast<QWidget*>(g->verticalScrollBar()) : g->viewport();
    g->setTopRow(top);
    const int before = g->topRow();
    const QPointF pos(to->width() / 2.0, to->height() / 2.0);
    QWheelEvent ev(pos, to->mapToGlobal(pos), pixel, angle, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(to, &ev);
    QTest::mouseMove(g->viewport(), QPoint(30, 30));
    QCOMPARE(g->topRow(), before + moved);
    QCOMPARE(TakeWheelDirection(g.get()), int16_t(0));  // always consumed
    UnhookWheel(g.get());
  }

  // The compact row store against a plain table of strings that receives the same changes.
  void rowStore() {
    for (const auto& [name, change] : kCases) {
      Twin twin;
      change(twin);
      if (QTest::currentTestFailed()) return;
      const QString mismatch = twin.mismatch();
      QVERIFY2(mismatch.isEmpty(), qPrintable(QLatin1String(name) + QStringLiteral(": ") + mismatch));
    }
  }
};

QTEST_MAIN(TestFlexGrid)
#include "test_grid.moc"
