// The grid widget and the wheel module, on real widgets (offscreen platform).
// What the row store keeps of the texts is checked in its own unit test.
#include <QtTest>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QWheelEvent>

#include <memory>
#include <set>

#include "gui/grid/FlexGrid.h"
#include "gui/price/WheelScroll.h"

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

// A shown grid with the wheel hooked and its MouseMove handler connected.
std::unique_ptr<FlexGrid> hookedGrid(int rows) {
  auto g = shownGrid(rows, 3);
  HookWheel(g.get());
  QObject::connect(g.get(), &FlexGrid::MouseMove, g.get(), [p = g.get()] { ApplyWheelDirection(p); });
  return g;
}

QPoint cellCenter(FlexGrid* g, int row, int col) { return g->visualRect(g->model()->index(row - 1, col)).center(); }

void sendWheel(QWidget* target, QPoint angle, QPoint pixel = QPoint()) {
  const QPointF pos(target->width() / 2.0, target->height() / 2.0);
  QWheelEvent ev(pos, target->mapToGlobal(pos), pixel, angle, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(target, &ev);
}

void sendMove(QWidget* target, QPoint at, Qt::MouseButtons buttons) {
  QMouseEvent ev(QEvent::MouseMove, QPointF(at), QPointF(target->mapToGlobal(at)), Qt::NoButton, buttons,
                 Qt::NoModifier);
  QApplication::sendEvent(target, &ev);
}

QPixmap solid(QColor c, int side = 12) {
  QPixmap pm(side, side);
  pm.fill(c);
  return pm;
}

// Current cell and selection end as {row, col, rowSel, colSel}.
QList<int> cursor(const FlexGrid* g) { return {g->row(), g->col(), g->rowSel(), g->colSel()}; }

}  // namespace

class TestFlexGrid : public QObject {
  Q_OBJECT

 private slots:
  // The shape, the current cell following it, the header row, UTF-8 texts, and
  // everything out of range ignored; clear() keeps the shape and widths.
  void shapeTextsAndClear() {
    FlexGrid g;
    g.setCols(8);
    g.setRows(1);
    QCOMPARE(g.row(), 0);
    QCOMPARE(g.addRow(), 1);
    QCOMPARE(g.addRow(), 2);
    QCOMPARE(g.row(), 1);
    g.setRows(10);
    g.setRow(9);
    g.setRows(5);  // current row follows
    QCOMPARE(g.row(), 4);
    QVERIFY(g.setTextMatrix(0, 2, "Наименование товара"));
    QCOMPARE(g.model()->headerData(2, Qt::Horizontal).toString(), QString("Наименование товара"));
    QVERIFY(g.setTextUtf8(2, 1, "Чай чёрный «Ёлка» 100 г"));
    QCOMPARE(g.model()->data(g.model()->index(1, 1)).toString(), QString("Чай чёрный «Ёлка» 100 г"));
    g.setCols(3);
    QCOMPARE(g.horizontalHeader()->count(), 3);

    g.setRows(3);
    const QList<int> at = cursor(&g);
    QVERIFY(!g.setTextMatrix(3, 0, "a") && !g.setTextMatrix(-1, 0, "a") && !g.setTextMatrix(1, 3, "a"));
    QVERIFY(!g.setTextUtf8(100, 0, "a"));
    QCOMPARE(g.textMatrix(0, -1), QString());
    g.setColWidth(5, 100);
    g.setRowHeight(9, 100);
    g.setColAlignment(7, 4);
    g.setCellPicture(9, 9, solid(Qt::red));
    g.setCellPictureKey(9, 0, 5);
    QVERIFY(g.cellPictureResolved(9, 0).isNull());
    QCOMPARE(g.colWidth(5) + g.rowHeight(9), 0);
    g.setRow(7);
    g.setCol(7);
    QCOMPARE(cursor(&g), at);

    g.setCellPicture(1, 0, solid(Qt::blue));
    g.setCellPictureKey(2, 0, 42);
    g.setColWidth(1, 1500);
    g.clear();
    QCOMPARE(g.rows(), 3);
    QCOMPARE(g.textMatrix(0, 2) + g.textMatrix(2, 1), QString());
    QVERIFY(g.cellPicture(1, 0).isNull());
    QCOMPARE(g.cellPictureKey(2, 0), qint64(-1));
    QCOMPARE(g.colWidth(1), 1500);
    g.setRows(1);
    QCOMPARE(g.row(), 0);
  }

  void sizesAndLook() {
    auto g = shownGrid(6, 4);
    const int tppX = 1440 / g->logicalDpiX(), tppY = 1440 / g->logicalDpiY();  // exact at 96 and 144 dpi
    const int def = g->rowHeight(3);  // font height plus padding, about 240 twips
    QVERIFY2(def >= 180 && def <= 420, qPrintable(QString::number(def)));
    g->setColWidth(-1, 80 * tppX);
    g->setRowHeight(3, 40 * tppY);
    QCOMPARE(g->horizontalHeader()->sectionSize(1), 80);
    QCOMPARE(g->verticalHeader()->sectionSize(2), 40);
    // Width 0 hides a column; keyboard moves skip it.
    g->setColWidth(1, 0);
    QVERIFY(g->isColumnHidden(1));
    QCOMPARE(g->colWidth(1), 0);
    QTest::keyClick(g.get(), Qt::Key_Right);
    QCOMPARE(g->col(), 2);
    g->setColWidth(1, 80 * tppX);
    QVERIFY(!g->isColumnHidden(1));
    // General alignment: text left, numbers right.
    g->setTextMatrix(1, 2, "Сахар");
    g->setTextMatrix(2, 2, "1 250,00");
    const auto align = [&](int r) {
      return g->model()->data(g->model()->index(r - 1, 2), Qt::TextAlignmentRole).toInt();
    };
    QCOMPARE(align(1), int(Qt::AlignLeft | Qt::AlignVCenter));
    QCOMPARE(align(2), int(Qt::AlignRight | Qt::AlignVCenter));
    // Code 4: a picture centred, with a grid line at the cell's right edge.
    g->setColAlignment(1, 4);
    g->setCellPicture(3, 1, solid(Qt::red, 10));
    const QImage img = g->viewport()->grab().toImage();
    const QRect cell = g->visualRect(g->model()->index(2, 1));
    QCOMPARE(img.pixelColor(cell.center()), QColor(Qt::red));
    QVERIFY(img.pixelColor(cell.left() + 4, cell.center().y()) != QColor(Qt::red));
    QCOMPARE(img.pixelColor(cell.right() + 1, cell.center().y()), QColor(192, 192, 192));
  }

  void redrawOff() {
    auto g = shownGrid(1, 4);
    g->setColWidth(1, 1500);
    g->setRedraw(false);
    for (int i = 0; i < 1000; ++i) {
      const int r = g->addRow();
      g->setTextMatrix(r, 0, QString::number(r));
      g->setRowHeight(r, (r % 3 == 0) ? 600 : 300);
    }
    g->setTopRow(500);
    QCOMPARE(g->verticalHeader()->count(), 0);  // the view has not been told yet
    g->setRedraw(true);
    QCOMPARE(g->verticalHeader()->count(), 1000);
    QCOMPARE(g->topRow(), 500);
    // A column change under redraw off keeps the sizes.
    g->setRedraw(false);
    g->setCols(6);
    g->setColWidth(5, 900);
    g->setRedraw(true);
    QCOMPARE(g->colWidth(1), 1500);
    QCOMPARE(g->horizontalHeader()->sectionSize(5), 900 * g->logicalDpiX() / 1440);
    QCOMPARE(g->verticalHeader()->sectionSize(2), 600 * g->logicalDpiY() / 1440);
    QVERIFY(g->selectionModel()->currentIndex().isValid());
  }

  void currentCellFromCodeAndMouse() {
    auto g = shownGrid(30, 5);
    QSignalSpy enter(g.get(), &FlexGrid::EnterCell);
    QSignalSpy clicks(g.get(), &FlexGrid::Click);
    g->setRow(5);
    g->setCol(3);
    g->setRow(5);  // no change, no event
    g->setRowSel(8);
    g->setColSel(1);
    QCOMPARE(enter.count(), 2);
    QCOMPARE(cursor(g.get()), QList<int>({5, 3, 8, 1}));
    auto* sel = g->selectionModel();
    QVERIFY(sel->isSelected(g->model()->index(7, 1)) && !sel->isSelected(g->model()->index(8, 1)));
    g->setRow(2);  // moves the selection end too
    QCOMPARE(cursor(g.get()), QList<int>({2, 3, 2, 3}));
    int rowAtClick = -1;
    connect(g.get(), &FlexGrid::Click, this, [&] { rowAtClick = g->row(); });
    QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, cellCenter(g.get(), 5, 2));
    QCOMPARE(rowAtClick, 5);  // the current cell moved before Click
    QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::ShiftModifier, cellCenter(g.get(), 8, 4));
    QCOMPARE(cursor(g.get()), QList<int>({5, 2, 8, 4}));
    QCOMPARE(enter.count(), 4);
    const QPoint to = cellCenter(g.get(), 4, 1);  // a drag extends the selection end
    QTest::mousePress(g->viewport(), Qt::LeftButton, Qt::NoModifier, cellCenter(g.get(), 2, 0));
    sendMove(g->viewport(), to, Qt::LeftButton);
    QTest::mouseRelease(g->viewport(), Qt::LeftButton, Qt::NoModifier, to);
    QCOMPARE(cursor(g.get()), QList<int>({2, 0, 4, 1}));
    g->setRows(3);  // a click below the last row is not a click on a cell
    const int before = int(clicks.count());
    QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, g->viewport()->height() - 3));
    QCOMPARE(int(clicks.count()), before);
  }

  void keys_data() {
    QTest::addColumn<QPoint>("start");  // (col, row)
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("text");  // when set: one key press with this text
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<int>("enterCells");
    QTest::addColumn<int>("code");  // KeyPress code, -1: none
    const QPoint home(0, 1);
    const QList<int> stay{1, 0, 1, 0};
    QTest::newRow("arrows") << home << QKeySequence("Down, Down, Right") << "" << QList<int>{3, 1, 3, 1} << 3 << -1;
    QTest::newRow("shift extends") << QPoint(1, 3) << QKeySequence("Shift+Down, Shift+Right") << ""
                                   << QList<int>{3, 1, 4, 2} << 0 << -1;
    QTest::newRow("plain collapses") << QPoint(1, 3) << QKeySequence("Shift+Down, Up") << "" << QList<int>{2, 1, 2, 1}
                                     << 1 << -1;
    QTest::newRow("first row stays") << home << QKeySequence("Up") << "" << stay << 0 << -1;
    QTest::newRow("ctrl+end") << home << QKeySequence("Ctrl+End") << "" << QList<int>{49, 3, 49, 3} << 1 << -1;
    QTest::newRow("ctrl+home") << QPoint(3, 49) << QKeySequence("Ctrl+Home") << "" << stay << 1 << -1;
    QTest::newRow("digit") << home << QKeySequence(Qt::Key_5) << "5" << stay << 0 << int('5');
    QTest::newRow("cyrillic") << home << QKeySequence(0x0416) << "ж" << stay << 0 << 0x0436;
    QTest::newRow("backspace") << home << QKeySequence(Qt::Key_Backspace) << "\b" << stay << 0 << 8;
    QTest::newRow("enter") << home << QKeySequence(Qt::Key_Return) << "\r" << stay << 0 << 13;
    QTest::newRow("escape") << home << QKeySequence(Qt::Key_Escape) << "\x1b" << stay << 0 << 27;
  }

  void keys() {
    QFETCH(QPoint, start);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, text);
    QFETCH(QList<int>, expected);
    QFETCH(int, enterCells);
    QFETCH(int, code);
    auto g = shownGrid(50, 4);
    g->setRow(start.y());
    g->setCol(start.x());
    QSignalSpy enter(g.get(), &FlexGrid::EnterCell);
    QSignalSpy keyPress(g.get(), &FlexGrid::KeyPress);
    QKeyEvent press(QEvent::KeyPress, keys[0].key(), Qt::NoModifier, text);
    text.isEmpty() ? QTest::keySequence(g.get(), keys) : void(QApplication::sendEvent(g.get(), &press));
    QCOMPARE(cursor(g.get()), expected);  // typing never searches
    QCOMPARE(enter.count(), enterCells);
    QCOMPARE(keyPress.count(), code < 0 ? 0 : 1);
    QCOMPARE(keyPress.value(0).value(0).toInt(), code < 0 ? 0 : code);
    QVERIFY(!g->findChild<QLineEdit*>());                                              // nor edits
    QVERIFY(g->viewport()->rect().contains(cellCenter(g.get(), g->row(), g->col())));  // scrolled into view
  }

  void hundredThousandRows() {
    auto g = shownGrid(1, 8, QSize(700, 700));
    g->setColWidth(-1, 70 * 15);
    const int N = 100000;
    g->setRedraw(false);
    g->reserveRows(N + 1);
    for (int i = 1; i < N; ++i) {
      const int r = g->addRow();
      g->setTextUtf8(r, 0, std::to_string(r));
      g->setTextUtf8(r, 1, "Товар №" + std::to_string(r % 64));
      for (int c = 2; c < 8; ++c) g->setTextUtf8(r, c, "12,50");
      g->setCellPictureKey(r, 7, (r % 5 == 0) ? -1 : r);  // every fifth row has no picture
      g->setRowHeight(r, (r % 5 == 0) ? 240 : 600);
    }
    g->setRedraw(true);
    QCOMPARE(g->model()->rowCount(), N - 1);
    QCOMPARE(g->textMatrix(99999, 1), QString("Товар №%1").arg(99999 % 64));

    std::vector<std::vector<qint64>> batches;  // one provider call per paint
    g->setPictureProvider([&](const std::vector<qint64>& keys) {
      batches.push_back(keys);
      std::unordered_map<qint64, QPixmap> out;
      for (qint64 k : keys)
        if (k % 7 != 0)  // these have no picture in the database
          out.emplace(k, solid(QColor(0, 128, 0), 30));
      return out;
    });
    g->setTopRow(-7);
    QCOMPARE(g->topRow(), 1);
    g->setTopRow(N);  // beyond: clamps to the last page
    QVERIFY(g->topRow() < N && g->topRow() > N - 50);
    g->viewport()->grab();
    QCOMPARE(batches.size(), size_t(1));
    const std::set<qint64> batch(batches[0].begin(), batches[0].end());
    QCOMPARE(batch.size(), batches[0].size());  // no duplicates
    QVERIFY(batch.count(99999) && !batch.count(99995));
    const int firstShown = g->rowAt(0) + 1, visible = N - firstShown;
    QVERIFY2(int(batch.size()) >= visible * 4 / 5 - 1 && int(batch.size()) <= 3 * visible &&
                 *batch.begin() >= firstShown - visible - 1,  // no more than one page above
             qPrintable(QString("batch %1 from %2, visible %3").arg(batch.size()).arg(*batch.begin()).arg(visible)));
    g->viewport()->grab();  // all cached now, blanks included
    QVERIFY(!g->cellPictureResolved(99999, 7).isNull());
    QVERIFY(g->cellPictureResolved(99974, 7).isNull());  // 99974 % 7 == 0
    QCOMPARE(batches.size(), size_t(1));
    QCOMPARE(g->cellPictureResolved(3, 7).size(), QSize(30, 30));  // far away: on demand
    QCOMPARE(batches.size(), size_t(2));
    QCOMPARE(batches[1].size(), size_t(1));
    const QImage img = g->viewport()->grab().toImage();  // a number in the cell: picture on the right
    const QRect cell = g->visualRect(g->model()->index(99998, 7));
    QCOMPARE(img.pixelColor(cell.right() - 2, cell.center().y()), QColor(0, 128, 0));
    QVERIFY(img.pixelColor(cell.left() + 5, cell.center().y()) != QColor(0, 128, 0));
    g->setCellPicture(99998, 7, solid(Qt::blue));  // an explicit picture wins over the key
    QCOMPARE(g->cellPictureResolved(99998, 7).size(), QSize(12, 12));
    g->clearPictureCache();  // asked again at the next paint
    g->viewport()->grab();
    QCOMPARE(batches.size(), size_t(3));
  }

  void wheelMovesOneRow_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("top");
    QTest::addColumn<QPoint>("angle");
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<int>("moved");
    const QPoint no, away(0, 120), towards(0, -120);
    QTest::newRow("one notch away") << "viewport" << 10 << away << no << -1;
    QTest::newRow("one notch towards") << "viewport" << 10 << towards << no << 1;
    QTest::newRow("240 at once") << "viewport" << 10 << QPoint(0, 240) << no << -1;
    QTest::newRow("pixels only") << "viewport" << 10 << no << QPoint(0, -3) << 1;
    QTest::newRow("at the grid") << "grid" << 10 << away << no << -1;
    QTest::newRow("over the scroll bar") << "scrollbar" << 10 << towards << no << 1;
    QTest::newRow("no vertical movement") << "viewport" << 10 << no << no << 0;
    QTest::newRow("top row 1 stays") << "viewport" << 1 << away << no << 0;
    QTest::newRow("last row stays") << "viewport" << 5000 << towards << no << 0;
  }

  void wheelMovesOneRow() {
    QFETCH(QString, target);
    QFETCH(int, top);
    QFETCH(QPoint, angle);
    QFETCH(QPoint, pixel);
    QFETCH(int, moved);
    auto g = hookedGrid(1000);
    QWidget* to = target == "grid"        ? static_cast<QWidget*>(g.get())
                  : target == "scrollbar" ? static_cast<QWidget*>(g->verticalScrollBar())
                                          : g->viewport();
    g->setTopRow(top);
    const int before = g->topRow();
    sendWheel(to, angle, pixel);
    QCOMPARE(g->topRow(), before + moved);
    QCOMPARE(TakeWheelDirection(g.get()), int16_t(0));  // always consumed
    UnhookWheel(g.get());
  }

  // Plain mouse moves never scroll; an unhooked grid takes no wheel direction.
  // A grid opened again after the first closed: see the price window test.
  void wheelHooking() {
    auto g = hookedGrid(1000);
    g->setTopRow(10);
    sendWheel(g->viewport(), QPoint(0, -120));
    QTest::mouseMove(g->viewport(), QPoint(30, 30));
    sendMove(g->viewport(), QPoint(40, 40), Qt::NoButton);
    QCOMPARE(g->topRow(), 11);
    UnhookWheel(g.get());
    sendWheel(g->viewport(), QPoint(0, -120));
    QCOMPARE(TakeWheelDirection(g.get()), int16_t(0));
    UnhookWheel(g.get());  // twice: nothing
  }
};

QTEST_MAIN(TestFlexGrid)
#include "test_grid.moc"
