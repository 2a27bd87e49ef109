// The grid widget and the wheel module, on real widgets (offscreen platform).
#include <QtTest>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <memory>
#include <set>

#include "order/MouseScroll.h"
#include "price/FlexGrid.h"

namespace {

std::unique_ptr<FlexGrid> shownGrid(int rows, int cols, QSize size = QSize(640, 420))
{
    auto g = std::make_unique<FlexGrid>();
    g->setRows(rows);
    g->setCols(cols);
    g->resize(size);
    g->show();
    if (!QTest::qWaitForWindowExposed(g.get()))
        qWarning("grid window not exposed");
    return g;
}

QPoint cellCenter(FlexGrid* g, int row, int col)
{
    return g->visualRect(g->model()->index(row - 1, col)).center();
}

bool sendWheel(QWidget* target, QPoint angle, QPoint pixel = QPoint())
{
    const QPointF pos(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent ev(pos, target->mapToGlobal(pos), pixel, angle, Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &ev);
    return ev.isAccepted();
}

void sendText(QWidget* w, int key, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
}

QPixmap solid(QColor c, QSize s = QSize(12, 12))
{
    QPixmap pm(s);
    pm.fill(c);
    return pm;
}

} // namespace

class TestFlexGrid : public QObject {
    Q_OBJECT

private slots:
    // ---- shape and texts -------------------------------------------------
    void rowsAndColsGrowAndShrink()
    {
        FlexGrid g;
        QCOMPARE(g.fixedRows(), 1);
        g.setFixedCols(0);
        QCOMPARE(g.fixedCols(), 0);
        g.setCols(8);
        QCOMPARE(g.cols(), 8);
        g.setRows(1);
        QCOMPARE(g.rows(), 1);
        QCOMPARE(g.row(), 0);
        QCOMPARE(g.model()->rowCount(), 0);
        QCOMPARE(g.addRow(), 1);
        QCOMPARE(g.addRow(), 2);
        QCOMPARE(g.rows(), 3);
        QCOMPARE(g.row(), 1);
        g.setTextMatrix(2, 3, "x");
        g.setRows(10);
        QCOMPARE(g.rows(), 10);
        QCOMPARE(g.model()->rowCount(), 9);
        QCOMPARE(g.textMatrix(2, 3), QString("x"));
        QCOMPARE(g.textMatrix(9, 7), QString());
        g.setRow(9);
        g.setRows(5);   // drops rows, current row follows
        QCOMPARE(g.rows(), 5);
        QCOMPARE(g.row(), 4);
        g.setRows(2);
        g.setRows(5);   // dropped rows come back empty
        QCOMPARE(g.textMatrix(2, 3), QString());
        g.setCols(3);
        QCOMPARE(g.cols(), 3);
        QCOMPARE(g.model()->columnCount(), 3);
        QCOMPARE(g.horizontalHeader()->count(), 3);
        g.setRows(1);
        QCOMPARE(g.rows(), 1);
        QCOMPARE(g.row(), 0);
        QCOMPARE(g.topRow(), 1);
    }

    void headerTextsAndCyrillic()
    {
        FlexGrid g;
        g.setCols(3);
        g.setRows(3);
        QVERIFY(g.setTextMatrix(0, 0, "Код"));
        QVERIFY(g.setTextMatrix(0, 2, "Наименование товара"));
        QCOMPARE(g.textMatrix(0, 0), QString("Код"));
        QCOMPARE(g.model()->headerData(2, Qt::Horizontal).toString(), QString("Наименование товара"));
        QVERIFY(g.verticalHeader()->isHidden());

        const QString name = "Чай чёрный «Ёлка» 100 г, ж/б";
        QVERIFY(g.setTextMatrix(1, 2, name));
        QCOMPARE(g.textMatrix(1, 2), name);
        QCOMPARE(g.model()->data(g.model()->index(0, 2)).toString(), name);
        QVERIFY(g.setTextUtf8(2, 1, std::string_view("Кофе молотый")));
        QCOMPARE(g.textMatrix(2, 1), QString("Кофе молотый"));
    }

    void textEditsAnywhere()
    {
        // Cells changed in any order, lengths growing and shrinking, long
        // texts, and column changes keep every other cell intact.
        FlexGrid g;
        g.setCols(4);
        g.setRows(1);
        for (int i = 0; i < 300; ++i) {
            const int r = g.addRow();
            for (int c = 0; c < 4; ++c)
                g.setTextMatrix(r, c, QString("r%1c%2").arg(r).arg(c));
        }
        const QString longText = QString("Ж").repeated(400);
        for (int round = 0; round < 30; ++round)
            for (int r = 1; r <= 300; r += 7) {
                g.setTextMatrix(r, 2, round % 2 ? longText : QString::number(round));
                g.setTextMatrix(r, 0, QString("r%1c%2").arg(r).arg(0));
            }
        g.setTextMatrix(5, 3, "");
        for (int r = 1; r <= 300; ++r) {
            QCOMPARE(g.textMatrix(r, 0), QString("r%1c0").arg(r));
            QCOMPARE(g.textMatrix(r, 1), QString("r%1c1").arg(r));
            QCOMPARE(g.textMatrix(r, 2), (r - 1) % 7 == 0 ? longText : QString("r%1c2").arg(r));
            QCOMPARE(g.textMatrix(r, 3), r == 5 ? QString() : QString("r%1c3").arg(r));
        }
        g.setCols(6);
        QCOMPARE(g.textMatrix(8, 2), longText);
        QCOMPARE(g.textMatrix(9, 3), QString("r9c3"));
        QCOMPARE(g.textMatrix(9, 5), QString());
        g.setTextMatrix(9, 5, "новый");
        g.setCols(3);
        QCOMPARE(g.textMatrix(9, 1), QString("r9c1"));
        QCOMPARE(g.textMatrix(9, 2), QString("r9c2"));
        g.setCols(6);
        QCOMPARE(g.textMatrix(9, 5), QString());
        // Many edits of one cell (the quantity column) stay consistent.
        for (int i = 0; i < 20000; ++i)
            g.setTextMatrix(1 + i % 300, 1, QString::number(i));
        QCOMPARE(g.textMatrix(300, 1), QString::number(19799));
        QCOMPARE(g.textMatrix(1, 1), QString::number(19800));
        QCOMPARE(g.textMatrix(150, 0), QString("r150c0"));
    }

    void outOfRangeIsSafe()
    {
        FlexGrid g;
        g.setCols(2);
        g.setRows(3);
        QVERIFY(!g.setTextMatrix(3, 0, "a"));
        QVERIFY(!g.setTextMatrix(-1, 0, "a"));
        QVERIFY(!g.setTextMatrix(1, 2, "a"));
        QVERIFY(!g.setTextUtf8(100, 0, "a"));
        QCOMPARE(g.textMatrix(3, 0), QString());
        QCOMPARE(g.textMatrix(0, -1), QString());
        QCOMPARE(g.colWidth(5), 0);
        QCOMPARE(g.rowHeight(9), 0);
        g.setColWidth(5, 100);
        g.setRowHeight(9, 100);
        g.setColAlignment(7, 4);
        g.setCellPicture(9, 9, solid(Qt::red));
        QVERIFY(g.cellPicture(9, 9).isNull());
        g.setCellPictureKey(9, 0, 5);
        QVERIFY(g.cellPictureResolved(9, 0).isNull());
        g.setRow(7);
        g.setCol(7);
        QCOMPARE(g.row(), 1);
        QCOMPARE(g.col(), 0);
    }

    void clearEmptiesTextsAndPictures()
    {
        FlexGrid g;
        g.setCols(3);
        g.setRows(4);
        g.setTextMatrix(0, 1, "Цена");
        g.setTextMatrix(3, 2, "12,50");
        g.setCellPicture(2, 0, solid(Qt::blue));
        g.setCellPictureKey(3, 0, 42);
        g.setColWidth(1, 1500);
        g.clear();
        QCOMPARE(g.rows(), 4);
        QCOMPARE(g.cols(), 3);
        QCOMPARE(g.textMatrix(0, 1), QString());
        QCOMPARE(g.textMatrix(3, 2), QString());
        QVERIFY(g.cellPicture(2, 0).isNull());
        QCOMPARE(g.cellPictureKey(3, 0), qint64(-1));
        QCOMPARE(g.colWidth(1), 1500);
    }

    // ---- sizes and look -----------------------------------------------------
    void twipsFollowTheWidgetsDpi()
    {
        FlexGrid g;
        const int dpiX = g.logicalDpiX(), dpiY = g.logicalDpiY();
        QVERIFY(dpiX > 0);
        QCOMPARE(g.twipsToPixelsX(1440), dpiX);
        QCOMPARE(g.twipsToPixelsY(720), qRound(dpiY / 2.0));
        QCOMPARE(g.pixelsToTwipsX(dpiX), 1440);
        QCOMPARE(FlexGrid::twipsToPixels(1500, 96), 100);
        QCOMPARE(FlexGrid::pixelsToTwips(100, 96), 1500);
        QCOMPARE(FlexGrid::twipsToPixels(1440, 120), 120);

        g.setCols(3);
        const int tpp = 1440 / dpiX;   // exact at 96 and 144 dpi
        g.setColWidth(1, 100 * tpp);
        QCOMPARE(g.horizontalHeader()->sectionSize(1), 100);
        QCOMPARE(g.colWidth(1), 100 * tpp);
        g.setRows(5);
        g.setRowHeight(2, 30 * (1440 / dpiY));
        QCOMPARE(g.verticalHeader()->sectionSize(1), 30);
        QCOMPARE(g.rowHeight(2), 30 * (1440 / dpiY));
        // Default row height: the font height plus a little padding, about 240 twips.
        const int def = g.rowHeight(3);
        QCOMPARE(g.verticalHeader()->sectionSize(2), g.twipsToPixelsY(def));
        QVERIFY2(def >= 180 && def <= 420, qPrintable(QString::number(def)));
    }

    void colWidthZeroHidesTheColumn()
    {
        auto g = shownGrid(5, 4);
        g->setColWidth(2, 0);
        QVERIFY(g->isColumnHidden(2));
        QCOMPARE(g->colWidth(2), 0);
        g->setColWidth(2, 1200);
        QVERIFY(!g->isColumnHidden(2));
        QCOMPARE(g->colWidth(2), g->pixelsToTwipsX(g->twipsToPixelsX(1200)));
        // Keyboard moves skip a hidden column.
        g->setColWidth(1, 0);
        g->setCol(0);
        QTest::keyClick(g.get(), Qt::Key_Right);
        QCOMPARE(g->col(), 2);
    }

    void alignmentCodes()
    {
        FlexGrid g;
        g.setCols(3);
        g.setRows(3);
        const Qt::Alignment expected[10] = {
            Qt::AlignLeft | Qt::AlignTop, Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignLeft | Qt::AlignBottom,
            Qt::AlignHCenter | Qt::AlignTop, Qt::AlignHCenter | Qt::AlignVCenter, Qt::AlignHCenter | Qt::AlignBottom,
            Qt::AlignRight | Qt::AlignTop, Qt::AlignRight | Qt::AlignVCenter, Qt::AlignRight | Qt::AlignBottom,
            Qt::AlignLeft | Qt::AlignVCenter};
        for (int code = 0; code <= 9; ++code) {
            g.setColAlignment(1, code);
            QCOMPARE(g.colAlignment(1), code);
            if (code < 9)
                QCOMPARE(FlexGrid::alignmentFromCode(code), expected[code]);
        }
        // General: text left, numbers right.
        g.setTextMatrix(1, 1, "Сахар");
        g.setTextMatrix(2, 1, "1 250,00");
        QCOMPARE(g.model()->data(g.model()->index(0, 1), Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignLeft | Qt::AlignVCenter));
        QCOMPARE(g.model()->data(g.model()->index(1, 1), Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignRight | Qt::AlignVCenter));
        g.setColAlignment(1, 4);
        QCOMPARE(g.model()->data(g.model()->index(1, 1), Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
        g.setColAlignment(-1, 0);
        QCOMPARE(g.colAlignment(0), 0);
        QCOMPARE(g.colAlignment(2), 0);
        g.setColAlignment(2, 11);   // not a code: ignored
        QCOMPARE(g.colAlignment(2), 0);
    }

    void gridLinesAndCentredPicture()
    {
        auto g = shownGrid(6, 3);
        g->setColWidth(-1, 80 * 15);
        g->setRowHeight(3, 40 * 15);
        g->setColAlignment(1, 4);
        g->setCellPicture(3, 1, solid(QColor(255, 0, 0), QSize(10, 10)));
        g->setRow(1);
        QCOMPARE(g->cellPicture(3, 1).size(), QSize(10, 10));
        const QImage img = g->viewport()->grab().toImage();
        const QRect cell = g->visualRect(g->model()->index(2, 1));
        QCOMPARE(img.pixelColor(cell.center()), QColor(255, 0, 0));
        // The picture is centred: the cell's left part stays the background.
        QVERIFY(img.pixelColor(cell.left() + 4, cell.center().y()) != QColor(255, 0, 0));
        // Grid line at the cell's right edge.
        QCOMPARE(img.pixelColor(cell.right() + 1, cell.center().y()), QColor(192, 192, 192));
        // Header row shows row 0's texts.
        g->setTextMatrix(0, 1, "Цена");
        QCOMPARE(g->horizontalHeader()->model()->headerData(1, Qt::Horizontal).toString(), QString("Цена"));
    }

    // ---- redraw ------------------------------------------------------------
    void redrawOffBatchesNotifications()
    {
        auto g = shownGrid(2, 4);
        g->setColWidth(1, 1500);
        QAbstractItemModel* m = g->model();
        QSignalSpy inserted(m, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(m, &QAbstractItemModel::rowsRemoved);
        QSignalSpy reset(m, &QAbstractItemModel::modelReset);
        QSignalSpy changed(m, &QAbstractItemModel::dataChanged);

        g->setRedraw(false);
        QVERIFY(!g->redraw());
        QVERIFY(!g->updatesEnabled());
        g->setRows(1);
        for (int i = 0; i < 1000; ++i) {
            const int r = g->addRow();
            g->setTextMatrix(r, 0, QString::number(r));
            g->setRowHeight(r, (r % 3 == 0) ? 600 : 300);
        }
        g->setTopRow(500);
        QCOMPARE(g->topRow(), 500);
        QCOMPARE(g->rows(), 1001);
        QCOMPARE(g->textMatrix(1000, 0), QString("1000"));
        QCOMPARE(inserted.count() + removed.count() + reset.count() + changed.count(), 0);
        QCOMPARE(g->verticalHeader()->count(), 1);   // the view has not been told yet

        g->setRedraw(true);
        QVERIFY(g->updatesEnabled());
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(reset.count(), 0);
        QCOMPARE(g->verticalHeader()->count(), 1000);
        QCOMPARE(g->verticalHeader()->sectionSize(2), g->twipsToPixelsY(600));
        QCOMPARE(g->verticalHeader()->sectionSize(3), g->twipsToPixelsY(300));
        QCOMPARE(g->topRow(), 500);
        QCOMPARE(g->colWidth(1), 1500);

        // A column change under redraw off ends in one reset that keeps widths.
        g->setRedraw(false);
        g->setCols(6);
        g->setColWidth(5, 900);
        QCOMPARE(reset.count(), 0);
        g->setRedraw(true);
        QCOMPARE(reset.count(), 1);
        QCOMPARE(g->horizontalHeader()->count(), 6);
        QCOMPARE(g->colWidth(1), 1500);
        QCOMPARE(g->horizontalHeader()->sectionSize(5), g->twipsToPixelsX(900));
        QCOMPARE(g->verticalHeader()->sectionSize(2), g->twipsToPixelsY(600));
        QVERIFY(g->selectionModel()->currentIndex().isValid());
    }

    // ---- current cell and selection ---------------------------------------
    void currentCellProgrammatic()
    {
        auto g = shownGrid(20, 5);
        QSignalSpy enter(g.get(), &FlexGrid::EnterCell);
        QCOMPARE(g->row(), 1);
        QCOMPARE(g->col(), 0);
        g->setRow(5);
        g->setCol(3);
        QCOMPARE(enter.count(), 2);
        QCOMPARE(g->row(), 5);
        QCOMPARE(g->rowSel(), 5);
        QCOMPARE(g->col(), 3);
        QCOMPARE(g->colSel(), 3);
        QCOMPARE(g->currentIndex(), g->model()->index(4, 3));
        g->setRow(5);   // no change, no event
        QCOMPARE(enter.count(), 2);
        g->setRowSel(8);
        g->setColSel(1);
        QCOMPARE(g->row(), 5);
        QCOMPARE(g->rowSel(), 8);
        QCOMPARE(g->colSel(), 1);
        QCOMPARE(enter.count(), 2);
        QVERIFY(g->selectionModel()->isSelected(g->model()->index(7, 1)));
        QVERIFY(g->selectionModel()->isSelected(g->model()->index(4, 3)));
        QVERIFY(!g->selectionModel()->isSelected(g->model()->index(8, 1)));
        g->setRow(2);   // moves the selection end too
        QCOMPARE(g->rowSel(), 2);
        QCOMPARE(g->colSel(), 3);
        QVERIFY(!g->selectionModel()->isSelected(g->model()->index(7, 1)));
    }

    void currentCellByKeyboard()
    {
        auto g = shownGrid(50, 4);
        g->setFocus();
        QSignalSpy enter(g.get(), &FlexGrid::EnterCell);
        QSignalSpy keys(g.get(), &FlexGrid::KeyPress);
        QTest::keyClick(g.get(), Qt::Key_Down);
        QTest::keyClick(g.get(), Qt::Key_Down);
        QTest::keyClick(g.get(), Qt::Key_Right);
        QCOMPARE(g->row(), 3);
        QCOMPARE(g->col(), 1);
        QCOMPARE(g->rowSel(), 3);
        QCOMPARE(g->colSel(), 1);
        QCOMPARE(enter.count(), 3);
        QTest::keyClick(g.get(), Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(g.get(), Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(g->row(), 3);
        QCOMPARE(g->col(), 1);
        QCOMPARE(g->rowSel(), 4);
        QCOMPARE(g->colSel(), 2);
        QCOMPARE(enter.count(), 3);
        QTest::keyClick(g.get(), Qt::Key_Up);
        QCOMPARE(g->row(), 2);
        QCOMPARE(g->rowSel(), 2);
        QCOMPARE(g->colSel(), 1);
        QTest::keyClick(g.get(), Qt::Key_Up);
        QTest::keyClick(g.get(), Qt::Key_Up);   // stays on the first data row
        QCOMPARE(g->row(), 1);
        QTest::keyClick(g.get(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(g->row(), 49);
        QCOMPARE(g->col(), 3);
        QVERIFY(g->topRow() > 1);   // scrolled to show it
        QTest::keyClick(g.get(), Qt::Key_PageUp);
        QVERIFY(g->row() < 49);
        QTest::keyClick(g.get(), Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(g->row(), 1);
        QCOMPARE(g->col(), 0);
        QCOMPARE(g->topRow(), 1);
        QCOMPARE(keys.count(), 0);   // navigation is not KeyPress
    }

    void currentCellByMouse()
    {
        auto g = shownGrid(30, 4);
        QSignalSpy enter(g.get(), &FlexGrid::EnterCell);
        QSignalSpy click(g.get(), &FlexGrid::Click);
        int rowAtClick = -1;
        connect(g.get(), &FlexGrid::Click, this, [&] { rowAtClick = g->row(); });
        QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, cellCenter(g.get(), 5, 2));
        QCOMPARE(g->row(), 5);
        QCOMPARE(g->col(), 2);
        QCOMPARE(g->rowSel(), 5);
        QCOMPARE(g->colSel(), 2);
        QCOMPARE(click.count(), 1);
        QCOMPARE(rowAtClick, 5);   // the current cell moved before Click
        QCOMPARE(enter.count(), 1);
        QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::ShiftModifier, cellCenter(g.get(), 8, 3));
        QCOMPARE(g->row(), 5);
        QCOMPARE(g->rowSel(), 8);
        QCOMPARE(g->colSel(), 3);
        QCOMPARE(enter.count(), 1);
        // Drag extends the selection end.
        QTest::mousePress(g->viewport(), Qt::LeftButton, Qt::NoModifier, cellCenter(g.get(), 2, 0));
        QMouseEvent drag(QEvent::MouseMove, QPointF(cellCenter(g.get(), 4, 1)),
                         QPointF(g->viewport()->mapToGlobal(cellCenter(g.get(), 4, 1))), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(g->viewport(), &drag);
        QTest::mouseRelease(g->viewport(), Qt::LeftButton, Qt::NoModifier, cellCenter(g.get(), 4, 1));
        QCOMPARE(g->row(), 2);
        QCOMPARE(g->col(), 0);
        QCOMPARE(g->rowSel(), 4);
        QCOMPARE(g->colSel(), 1);
        // A click below the last row is not a click on a cell.
        g->setRows(3);
        const int before = click.count();
        QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, g->viewport()->height() - 3));
        QCOMPARE(click.count(), before);
    }

    void keyPressCodes()
    {
        auto g = shownGrid(10, 3);
        g->setFocus();
        QSignalSpy keys(g.get(), &FlexGrid::KeyPress);
        QSignalSpy enter(g.get(), &FlexGrid::EnterCell);
        QTest::keyClick(g.get(), Qt::Key_5);
        sendText(g.get(), 0x0416, QString(QChar(0x0436)));   // ж
        QTest::keyClick(g.get(), Qt::Key_Backspace);
        QTest::keyClick(g.get(), Qt::Key_Return);
        QTest::keyClick(g.get(), Qt::Key_Escape);
        QTest::keyClick(g.get(), Qt::Key_Space);
        QTest::keyClick(g.get(), Qt::Key_Comma);
        QTest::keyClick(g.get(), Qt::Key_A);
        QCOMPARE(keys.count(), 8);
        const int expected[8] = {'5', 0x0436, 8, 13, 27, 32, ',', 'a'};
        for (int i = 0; i < 8; ++i)
            QCOMPARE(keys.at(i).at(0).toInt(), expected[i]);
        // Typing never moves the current cell (no keyboard search), nor edits.
        QCOMPARE(g->row(), 1);
        QCOMPARE(enter.count(), 0);
        QVERIFY(!g->findChild<QLineEdit*>());
        QCOMPARE(g->editTriggers(), QAbstractItemView::NoEditTriggers);
        QTest::keyClick(g.get(), Qt::Key_Down);
        QTest::keyClick(g.get(), Qt::Key_Left);
        QTest::keyClick(g.get(), Qt::Key_PageDown);
        QCOMPARE(keys.count(), 8);
    }

    // ---- scrolling ---------------------------------------------------------
    void topRowSetAndClamp()
    {
        auto g = shownGrid(1000, 3);
        QCOMPARE(g->topRow(), 1);
        g->setTopRow(10);
        QCOMPARE(g->topRow(), 10);
        QCOMPARE(g->verticalScrollBar()->value(), 9);
        QCOMPARE(g->rowAt(0), 9);
        g->setTopRow(5000);
        QVERIFY(g->topRow() <= 999);
        QVERIFY(g->topRow() > 950);
        g->setTopRow(0);
        QCOMPARE(g->topRow(), 1);
        g->setTopRow(-7);
        QCOMPARE(g->topRow(), 1);
    }

    // ---- 100,000 rows -----------------------------------------------------
    void hundredThousandRows()
    {
        auto g = shownGrid(1, 8, QSize(700, 700));
        g->setColWidth(-1, 70 * 15);
        const int N = 100000;
        std::vector<std::string> names;
        for (int i = 0; i < 64; ++i)
            names.push_back("Товар №" + std::to_string(i));

        QElapsedTimer t;
        t.start();
        g->setRedraw(false);
        g->setRows(1);
        g->reserveRows(N + 1);
        char buf[32];
        for (int i = 1; i <= N - 1; ++i) {
            const int r = g->addRow();
            const int n = std::snprintf(buf, sizeof buf, "%d", i);
            g->setTextUtf8(r, 0, std::string_view(buf, size_t(n)));
            g->setTextUtf8(r, 1, names[size_t(i % 64)]);
            for (int c = 2; c < 8; ++c)
                g->setTextUtf8(r, c, "12,50");
            g->setCellPictureKey(r, 7, (i % 5 == 0) ? -1 : i);   // every fifth row has no picture
        }
        const qint64 fillMs = t.elapsed();
        t.restart();
        for (int r = 1; r < N; ++r)
            g->setRowHeight(r, (r % 5 == 0) ? 240 : 600);
        const qint64 heightsMs = t.elapsed();
        t.restart();
        g->setRedraw(true);
        const qint64 redrawMs = t.elapsed();
        qInfo("fill %d x 8: %lld ms, %d row heights: %lld ms, redraw on: %lld ms", N - 1, fillMs, N - 1,
              heightsMs, redrawMs);
        QVERIFY2(fillMs < 1500, "fill too slow");
        QVERIFY2(heightsMs + redrawMs < 1500, "row heights / redraw too slow");

        QCOMPARE(g->rows(), N);
        QCOMPARE(g->model()->rowCount(), N - 1);
        QCOMPARE(g->textMatrix(99999, 0), QString("99999"));
        QCOMPARE(g->textMatrix(99999, 1), QString("Товар №%1").arg(99999 % 64));
        QCOMPARE(g->rowHeight(99999), g->pixelsToTwipsY(g->twipsToPixelsY(600)));

        // Lazy pictures: one provider call per paint, for a batch of keys.
        int calls = 0;
        std::vector<std::vector<qint64>> batches;
        g->setPictureProvider([&](const std::vector<qint64>& keys) {
            ++calls;
            batches.push_back(keys);
            std::unordered_map<qint64, QPixmap> out;
            for (qint64 k : keys)
                if (k % 7 != 0)   // these have no picture in the database
                    out.emplace(k, solid(QColor(0, 128, 0), QSize(30, 30)));
            return out;
        });
        g->setTopRow(N);   // beyond: clamps to the last page
        g->viewport()->grab();
        const int top = g->topRow();
        QVERIFY(top > N - 40 && top < N);
        QCOMPARE(calls, 1);
        const std::set<qint64> batch(batches[0].begin(), batches[0].end());
        QCOMPARE(batch.size(), batches[0].size());   // no duplicates
        QVERIFY(batch.count(99999));                 // the last row
        QVERIFY(!batch.count(99995));                // a row without a key
        // At the end of the list the last row is aligned to the bottom, so the
        // first row shown may be the one above the top row, partly visible.
        const int firstShown = g->rowAt(0) + 1;
        QVERIFY(firstShown == top || firstShown == top - 1);
        const int visible = N - firstShown;
        QVERIFY2(int(batch.size()) >= visible * 4 / 5 - 1 && int(batch.size()) <= 3 * visible,
                 qPrintable(QString("batch %1, visible %2").arg(batch.size()).arg(visible)));
        QVERIFY2(*batch.begin() >= firstShown - visible - 1,   // no more than one page above
                 qPrintable(QString("lowest key %1, first %2, visible %3").arg(*batch.begin()).arg(firstShown).arg(visible)));         // no more than one page above
        // Everything is cached now, blanks included.
        g->viewport()->grab();
        QCOMPARE(calls, 1);
        QVERIFY(!g->cellPictureResolved(99999, 7).isNull());
        QVERIFY(g->cellPictureResolved(99974, 7).isNull());   // 99974 % 7 == 0: blank
        QVERIFY(g->cellPictureResolved(99995, 7).isNull());   // no key at all
        QCOMPARE(calls, 1);
        // A row far away is resolved on demand.
        QCOMPARE(g->cellPictureResolved(3, 7).size(), QSize(30, 30));
        QCOMPARE(calls, 2);
        QCOMPARE(batches[1].size(), size_t(1));
        // The picture is painted in the cell.
        const QImage img = g->viewport()->grab().toImage();
        const QRect cell = g->visualRect(g->model()->index(99998, 7));
        QVERIFY(cell.isValid());
        // Column alignment 9 (general) with a number in the cell: the picture
        // goes to the right, centred vertically.
        QCOMPARE(img.pixelColor(cell.right() - 2, cell.center().y()), QColor(0, 128, 0));
        QVERIFY(img.pixelColor(cell.left() + 5, cell.center().y()) != QColor(0, 128, 0));

        // Explicit picture far down wins over the key.
        g->setCellPicture(99998, 7, solid(Qt::blue));
        QCOMPARE(g->cellPicture(99998, 7).size(), QSize(12, 12));
        QCOMPARE(g->cellPictureResolved(99998, 7).size(), QSize(12, 12));
        g->setCellPicture(99998, 7, QPixmap());
        QVERIFY(g->cellPicture(99998, 7).isNull());

        // Clearing the cache asks again, once.
        g->clearPictureCache();
        g->viewport()->grab();
        QCOMPARE(calls, 3);
        g->setCellPictureKey(99999, 7, -1);
        QCOMPARE(g->cellPictureKey(99999, 7), qint64(-1));
    }

    // ---- mouse wheel -------------------------------------------------------
    void wheelScrollsOneRowPerEvent()
    {
        const int base = HookedWindowCount;
        auto g = shownGrid(1000, 3);
        HookWheel(g.get());
        QCOMPARE(HookedWindowCount, base + 1);
        QCOMPARE(int(HookedWindows.size()), HookedWindowCount);
        QCOMPARE(FindHookedWindow(g.get()), base + 1);
        connect(g.get(), &FlexGrid::MouseMove, g.get(), [grid = g.get()] { ApplyWheelDirection(grid); });
        QSignalSpy moves(g.get(), &FlexGrid::MouseMove);

        g->setTopRow(10);
        QVERIFY(sendWheel(g->viewport(), QPoint(0, 120)));   // away from the user
        QCOMPARE(g->topRow(), 9);
        QCOMPARE(moves.count(), 1);
        g->setTopRow(10);
        sendWheel(g->viewport(), QPoint(0, -120));
        QCOMPARE(g->topRow(), 11);
        sendWheel(g->viewport(), QPoint(0, 240));            // two notches at once: one row
        QCOMPARE(g->topRow(), 10);
        sendWheel(g->viewport(), QPoint(0, -360));
        QCOMPARE(g->topRow(), 11);
        sendWheel(g->viewport(), QPoint(), QPoint(0, -3));   // pixels only (touchpad)
        QCOMPARE(g->topRow(), 12);
        sendWheel(g.get(), QPoint(0, 120));                   // arriving at the grid itself
        QCOMPARE(g->topRow(), 11);
        sendWheel(g->verticalScrollBar(), QPoint(0, -120));   // over the scroll bar
        QCOMPARE(g->topRow(), 12);
        sendWheel(g->verticalScrollBar(), QPoint(0, 120));
        QCOMPARE(g->topRow(), 11);
        QCOMPARE(TakeWheelDirection(g.get()), int16_t(0));   // always consumed

        // No vertical movement: the hook leaves the event alone.
        const int movesBefore = int(moves.count());
        sendWheel(g->viewport(), QPoint(0, 0));
        QCOMPARE(g->topRow(), 11);
        QCOMPARE(int(moves.count()), movesBefore);

        g->setTopRow(1);
        sendWheel(g->viewport(), QPoint(0, 120));
        QCOMPARE(g->topRow(), 1);
        g->setTopRow(5000);
        const int last = g->topRow();
        sendWheel(g->viewport(), QPoint(0, -120));
        QCOMPARE(g->topRow(), last);

        // Plain mouse movement never scrolls.
        g->setTopRow(10);
        QTest::mouseMove(g->viewport(), QPoint(30, 30));
        QTest::mouseMove(g->viewport(), QPoint(60, 90));
        QMouseEvent move(QEvent::MouseMove, QPointF(40, 40), QPointF(g->viewport()->mapToGlobal(QPoint(40, 40))),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(g->viewport(), &move);
        QCOMPARE(g->topRow(), 10);
        QVERIFY(moves.count() > movesBefore);

        // Unhooked: the hook no longer handles the wheel (the view may scroll on its own).
        UnhookWheel(g.get());
        QCOMPARE(HookedWindowCount, base + 1);
        QCOMPARE(FindHookedWindow(g.get()), base + 1);
        sendWheel(g->viewport(), QPoint(0, -120));
        QCOMPARE(TakeWheelDirection(g.get()), int16_t(0));
        QVERIFY(g->topRow() >= 10);
        UnhookWheel(g.get());   // twice: nothing
        QWidget stranger;
        UnhookWheel(&stranger);
        QCOMPARE(FindHookedWindow(&stranger), 0);
        QCOMPARE(TakeWheelDirection(&stranger), int16_t(0));
        QCOMPARE(FindHookedWindow(nullptr), 0);
    }

    void wheelAfterReopening()
    {
        const int base = HookedWindowCount;
        auto first = shownGrid(500, 2);
        HookWheel(first.get());
        QWidget* oldAddress = first.get();
        first.reset();   // the window closes

        auto second = shownGrid(500, 2);
        HookWheel(second.get());
        QCOMPARE(HookedWindowCount, base + 2);
        QCOMPARE(int(HookedWindows.size()), base + 2);
        // The destroyed grid's record never matches, even at the same address.
        QCOMPARE(FindHookedWindow(second.get()), base + 2);
        Q_UNUSED(oldAddress);
        connect(second.get(), &FlexGrid::MouseMove, second.get(), [g = second.get()] { ApplyWheelDirection(g); });
        second->setTopRow(20);
        sendWheel(second->viewport(), QPoint(0, -120));
        QCOMPARE(second->topRow(), 21);
        sendWheel(second->viewport(), QPoint(0, 120));
        QCOMPARE(second->topRow(), 20);
        UnhookWheel(second.get());
    }
};

QTEST_MAIN(TestFlexGrid)
#include "test_flexgrid.moc"
