// The orders window against a private MariaDB server with the shop's tables:
// signing in, the list of a date range and its total, the open orders, the items
// and status history of an order, failures and resizing.
#include "app/MainWindow.h"
#include "base/Numbers.h"
#include "base/Settings.h"
#include "fixtures/mariadb_server.h"
#include "fixtures/program_env.h"
#include "gui/common/MessageBoxes.h"
#include "gui/grid/FlexGrid.h"
#include "gui/orders/OrdersWindow.h"
#include "support/Widgets.h"

#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;

namespace {

const QString kQuestion = u"Необходимо пройти авторизацию.Открыть окно авторизации?"_s;
const QString kErrorHead = u"Произошла ошибка при запросе\r"_s;
const QString kTotal = u"Сумма заказов :  "_s;
using Rows = QList<QStringList>;

// The orders list (1), the status history (2) and the items (3).
FlexGrid* grid(const OrdersWindow* w, int n) { return child<FlexGrid>(w, qPrintable(u"MSFlexGrid%1"_s.arg(n))); }

Rows dataRows(const FlexGrid* g) {
  Rows out;
  for (int r = 1; r < g->rows(); ++r) {
    out << QStringList();
    for (int c = 0; c < g->cols(); ++c) out.last() << g->textMatrix(r, c);
  }
  return out;
}

// The sorted order numbers of the list, and the total below it.
QStringList listed(const OrdersWindow* w) {
  QStringList out;
  for (const QStringList& row : dataRows(grid(w, 1))) out << row[1];
  out.sort();
  return out << child<QLabel>(w, "Label3")->text();
}

int rowOf(const FlexGrid* g, const QString& id) {
  for (int r = 1; r < g->rows(); ++r)
    if (g->textMatrix(r, 1) == id) return r;
  return -1;
}

// A user's mouse click on a cell of a grid.
void clickCell(FlexGrid* g, int row, int col = 2) {
  g->scrollTo(g->model()->index(row - 1, col));
  QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier,
                    g->visualRect(g->model()->index(row - 1, col)).center());
}

QList<QDate> dates(const OrdersWindow* w) {
  return {child<QDateEdit>(w, "DTPicker1")->date(), child<QDateEdit>(w, "DTPicker2")->date()};
}

void refresh(const OrdersWindow* w) { child<QPushButton>(w, "Command2")->click(); }

// A failed query's box: the fixed first line, then the reason.
bool isErrorBox(const msg::Box& box, const QString& reason = {}) {
  return box.icon == msg::Icon::Critical && box.text.startsWith(kErrorHead) && box.text.size() > kErrorHead.size() &&
         box.text.contains(reason);
}

}  // namespace

class TestHistory : public QObject {
  Q_OBJECT

  MariaDbServer server_;
  TestProgramFolder folder_;
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<msg::ScopedRecorder> rec_;

  void setCode(const QString& id) { settings::write(settings::OrganisationId, id); }

  bool sql(const QString& statement) {
    QString err;
    const bool ok = server_.exec(statement, &err);
    if (!ok) qWarning("%s", qPrintable(err));
    return ok;
  }

  // Order rows "(id, user, 'date', total, status), …" as the ordering step writes them.
  bool addOrders(const char* rows) {
    return sql(u"INSERT INTO uop5b_jshopping_orders (order_id, user_id, order_date, order_total, order_status) "
               u"VALUES "_s +
               QString::fromUtf8(rows)) &&
           sql("UPDATE uop5b_jshopping_orders SET order_number = LPAD(order_id, 8, '0'), order_subtotal = "
               "order_total, currency_code = 'руб.', currency_code_iso = 'RUB', currency_exchange = 1, "
               "order_created = 1, f_name = 'ООО Ромашка', lang = 'ru-RU' WHERE order_id >= 5000");
  }

  // The item and history rows the window shows, and those the shop holds for the order of `row`.
  QString shownDetails(const OrdersWindow* w) {
    return u"%1:%2"_s.arg(grid(w, 3)->rows() - 1).arg(grid(w, 2)->rows() - 1);
  }
  QString shopDetails(const OrdersWindow* w, int row) {
    return server_
        .query(
            u"SELECT concat((SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id = %1), ':', "
            u"(SELECT count(*) FROM uop5b_jshopping_order_history WHERE order_id = %1))"_s.arg(
                grid(w, 1)->textMatrix(row, 1)))
        .value(0)
        .value(0);
  }

  // Opens the window; then moves the pickers (from today) to a range, one at a time.
  OrdersWindow* openWindow(const QDate& start = {}, const QDate& end = {}) {
    main_->openOrdersWindow();
    OrdersWindow* w = main_->ordersWindow();
    if (!w || !start.isValid()) return w;
    child<QDateEdit>(w, "DTPicker1")->setDate(start);
    child<QDateEdit>(w, "DTPicker2")->setDate(end);
    return dates(w) == QList<QDate>{start, end} ? w : nullptr;
  }

  // 5010 with three items and a history entered out of date order, 5011 with a
  // history and no items, 5012 with items and no history; listed for 1-5 April 2025.
  OrdersWindow* openDetails() {
    const bool ok =
        addOrders(
            "(5010, 57, '2025-04-01 09:30:00', 20264.7, 3), "
            "(5011, 57, '2025-04-02 11:00:00', 0, 1), "
            "(5012, 57, '2025-04-03 12:00:00', 75.5, 1)") &&
        sql("INSERT INTO uop5b_jshopping_order_item (order_id, product_id, product_ean, product_name, "
            "product_quantity, product_item_price) VALUES (5010, 1, 'А-10002', 'Чай чёрный листовой Ахмад 200 г', 100, "
            "189.9),"
            "(5010, 1, '4601000000091', 'Конфеты \"Мишка на Севере\" весовые 1 кг', 1, 280),"
            "(5010, 1, 'А-10025', 'Ручка шариковая синяя Erich Krause 1 шт.', 250, 5.5),"
            "(5012, 1, 'А-10011', 'Кружка керамическая белая 300 мл', 1, 75.5)") &&
        sql("INSERT INTO uop5b_jshopping_order_history (order_id, order_status_id, status_date_added, "
            "customer_notify, comments, include_comment) VALUES (5010, 2, '2025-04-02 10:00:00', 0, "
            "'Заказ принят в работу', 0), (5010, 7, '2025-04-03 18:45:09', 0, 'Отгружен', 0), "
            "(5010, 1, '2025-04-01 09:30:05', 0, '', 0), (5011, 1, '2025-04-02 11:00:01', 0, 'Пустой заказ', 0)");
    OrdersWindow* w = ok ? openWindow(QDate(2025, 4, 1), QDate(2025, 4, 5)) : nullptr;
    return w && grid(w, 1)->rows() == 4 ? w : nullptr;
  }

 private slots:
  void initTestCase() {
    QString err;
    QVERIFY2(server_.start(&err), qPrintable(err));
    folder_.useShop(server_);
    QVERIFY(sql("SET SESSION sql_mode='NO_ENGINE_SUBSTITUTION'"));
  }

  void init() {
    folder_.useShop(server_);
    folder_.signIn(u"57"_s, u"ООО Ромашка"_s);
    for (const char* t : {"uop5b_jshopping_order_history", "uop5b_jshopping_order_item", "uop5b_jshopping_orders"})
      QVERIFY(sql(u"DELETE FROM %1 WHERE order_id >= 5000"_s.arg(QLatin1String(t))));
    rec_ = std::make_unique<msg::ScopedRecorder>();
    main_ = std::make_unique<MainWindow>();
    main_->resize(1400, 900);
    main_->show();
    QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
  }

  void cleanup() {
    main_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    rec_.reset();
    QLocale::setDefault(QLocale::c());
  }

  // The question; Yes brings the authorization window up modally, No does not;
  // and "Обновить" asks again.
  void notSignedIn() {
    setCode(u"?"_s);
    rec_->answers = {msg::Answer::Yes, msg::Answer::No};
    int modalWindows = 0;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || modal->objectName() != u"frm_avtor"_s) return;
      ++modalWindows;
      modal->close();
    });
    poll.start(20);
    OrdersWindow* w = openWindow();
    QVERIFY(w);
    refresh(w);
    QCOMPARE(modalWindows, 1);
    QCOMPARE(rec_->texts(), (QStringList{kQuestion, kQuestion}));
  }

  // Only this customer's orders of the range; amounts in the regional notation, the
  // total always with a point; another code, a range past its end, a code that is
  // not a number, a range without orders.
  void ordersOfThisCustomer() {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QVERIFY(
        addOrders("(5001, 57, '2025-03-10 09:15:30', 100.5, 1), "
                  "(5002, 57, '2025-03-11 23:59:59', 200, 2), "
                  "(5003, 58, '2025-03-10 12:00:00', 999, 1), "
                  "(5004, 57, '2025-03-12 00:00:00', 7, 1), "
                  "(5005, 57, '2025-03-09 23:59:59', 8, 1), "
                  "(5006, 57, '2025-03-10 00:00:00', 1234.25, 1)"));
    OrdersWindow* w = openWindow();
    QVERIFY(w);
    QCOMPARE(dates(w), (QList<QDate>{QDate::currentDate(), QDate::currentDate()}));
    QVERIFY(openWindow(QDate(2025, 3, 10), QDate(2025, 3, 11)));
    QCOMPARE(listed(w), (QStringList{"5001", "5002", "5006", kTotal + "1534.75"}));
    FlexGrid* g = grid(w, 1);
    QCOMPARE(dataRows(g).value(rowOf(g, "5001") - 1).mid(0, 5),
             (QStringList{"1", "5001", "10.03.2025 09:15:30", "57", "100,5"}));
    QCOMPARE(g->textMatrix(rowOf(g, "5002"), 0), u"2"_s);

    setCode(u" 58"_s);
    refresh(w);
    QCOMPARE(listed(w), (QStringList{"5003", kTotal + "999"}));
    setCode(u" 57 "_s);  // blanks around a code are allowed
    // Moved past the end, the start stops at the end's date (the end before the start: test_daily_use).
    child<QDateEdit>(w, "DTPicker1")->setDate(QDate(2025, 3, 20));
    QCOMPARE(dates(w), QList<QDate>(2, QDate(2025, 3, 11)));
    QCOMPARE(listed(w), (QStringList{"5002", kTotal + "200"}));
    QVERIFY(rec_->boxes.empty());
    // A stored code that is not a number never reaches a statement; the list is emptied.
    setCode(u"57'--"_s);
    refresh(w);
    QCOMPARE(rec_->texts(), QStringList{kErrorHead + u"Код организации не является числом: «57'--»"_s});
    QCOMPARE(listed(w), QStringList{QString()});
    // A range without orders: empty grids, a total of 0.
    rec_->clear();
    setCode(u"57"_s);
    QVERIFY(openWindow(QDate(2001, 1, 1), QDate(2001, 1, 31)));
    QCOMPARE(listed(w), QStringList{kTotal + "0"});
    QCOMPARE(shownDetails(w), u"0:0"_s);
    QVERIFY(rec_->boxes.empty());
  }

  void openOrdersByStatus() {
    QVERIFY(
        addOrders("(5001, 57, '2019-05-05 10:00:00', 10.25, 3), "  // open, long ago
                  "(5002, 57, '2025-03-11 09:00:00', 20, 6), "     // open
                  "(5003, 57, '2025-03-11 09:00:00', 30, 7), "     // closed
                  "(5004, 58, '2025-03-11 09:00:00', 40, 1)"));    // another customer
    OrdersWindow* w = openWindow(QDate(2025, 3, 1), QDate(2025, 3, 2));
    QVERIFY(w);
    child<QPushButton>(w, "Command3")->click();
    const Rows open = server_.query(
        "SELECT group_concat(order_id ORDER BY order_id), sum(order_total) "
        "FROM uop5b_jshopping_orders WHERE user_id = 57 AND order_status < 7");
    QVERIFY(open[0][0].contains("1002,") && open[0][0].endsWith("5001,5002"));  // the sample's open order too
    QCOMPARE(listed(w), open[0][0].split(u',') << u"Сумма заказов : "_s + num::invariant(open[0][1].toDouble()));
    QCOMPARE(dates(w).first(), QDate(2025, 3, 1));  // the pickers are left alone
    QVERIFY(rec_->boxes.empty());
  }

  void detailsOfOrders() {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    OrdersWindow* w = openDetails();
    QVERIFY(w);
    FlexGrid *orders = grid(w, 1), *history = grid(w, 2), *items = grid(w, 3);
    QCOMPARE(shownDetails(w), u"0:0"_s);  // a refill by the window shows no details
    const int r = rowOf(orders, "5010");
    clickCell(orders, r);
    QCOMPARE(orders->rowSel(), r);
    // The items as written, prices in the regional notation, quantities as stored.
    Rows got = dataRows(items);
    std::sort(got.begin(), got.end());
    QCOMPARE(got, (Rows{{"4601000000091", "Конфеты \"Мишка на Севере\" весовые 1 кг", "280", "1"},
                        {"А-10002", "Чай чёрный листовой Ахмад 200 г", "189,9", "100"},
                        {"А-10025", "Ручка шариковая синяя Erich Krause 1 шт.", "5,5", "250"}}));
    // The history oldest first, dates as the database formats them.
    QCOMPARE(dataRows(history), (Rows{{"1", "", "01-04-2025 09:30:05"},
                                      {"2", "Заказ принят в работу", "02-04-2025 10:00:00"},
                                      {"7", "Отгружен", "03-04-2025 18:45:09"}}));
    // No items, and no history: empty grids.
    clickCell(orders, rowOf(orders, "5011"), 3);
    QCOMPARE(dataRows(items) + dataRows(history), (Rows{{"1", "Пустой заказ", "02-04-2025 11:00:01"}}));
    clickCell(orders, rowOf(orders, "5012"), 3);
    QCOMPARE(dataRows(items) + dataRows(history), (Rows{{"А-10011", "Кружка керамическая белая 300 мл", "75,5", "1"}}));
    // The arrow keys show each row's order.
    clickCell(orders, 1);
    orders->setFocus();
    for (int target : {2, 3}) {
      QTest::keyClick(orders, Qt::Key_Down);
      QCOMPARE(orders->rowSel(), target);
      QCOMPARE(shownDetails(w), shopDetails(w, target));
    }
    // Items emptied in the shop: another cell of the same row reads them afresh.
    clickCell(orders, r, 4);
    QCOMPARE(shownDetails(w), u"3:3"_s);
    QVERIFY(sql("DELETE FROM uop5b_jshopping_order_item WHERE order_id = 5010"));
    clickCell(orders, r, 0);
    QCOMPARE(shownDetails(w), u"0:3"_s);

    // A refill empties the details; clicking the current cell (now in the first row) shows its order.
    refresh(w);
    QCOMPARE(shownDetails(w), u"0:0"_s);
    QCOMPARE(orders->row(), 1);
    clickCell(orders, 1, orders->col());
    QCOMPARE(shownDetails(w), shopDetails(w, 1));
    QVERIFY(history->rows() > 1);
    child<QPushButton>(w, "Command3")->click();
    QCOMPARE(shownDetails(w), u"0:0"_s);
    QVERIFY(rec_->boxes.empty());

    // A failing history query leaves the last history shown.
    clickCell(orders, rowOf(orders, "5011"));
    QVERIFY(sql("RENAME TABLE uop5b_jshopping_order_history TO history_away"));
    clickCell(orders, rowOf(orders, "5012"));
    QVERIFY(sql("RENAME TABLE history_away TO uop5b_jshopping_order_history"));
    QCOMPARE(rec_->boxes.size(), size_t(1));
    QVERIFY2(isErrorBox(rec_->boxes[0], u"uop5b_jshopping_order_history"_s), qPrintable(rec_->boxes[0].text));
    QCOMPARE(dataRows(items) + dataRows(history), (Rows{{"А-10011", "Кружка керамическая белая 300 мл", "75,5", "1"},
                                                        {"1", "Пустой заказ", "02-04-2025 11:00:01"}}));
  }

  // The refresh, the open orders and the details fail alike; grids and total stay
  // as they were, and the window works again once the server is back.
  void shopUnreachable() {
    OrdersWindow* w = openDetails();
    QVERIFY(w);
    clickCell(grid(w, 1), rowOf(grid(w, 1), "5010"));
    const Rows orders = dataRows(grid(w, 1));
    const QStringList before = listed(w);
    folder_.useShop(server_.host(), closedPort());
    QElapsedTimer t;
    t.start();
    refresh(w);
    QVERIFY2(t.elapsed() < 6000, "the refresh hung on the unreachable server");
    child<QPushButton>(w, "Command3")->click();
    clickCell(grid(w, 1), rowOf(grid(w, 1), "5012"));
    QCOMPARE(rec_->boxes.size(), size_t(3));
    for (const msg::Box& box : rec_->boxes) QVERIFY2(isErrorBox(box), qPrintable(box.text));
    QCOMPARE(dataRows(grid(w, 1)), orders);
    QCOMPARE(listed(w), before);
    QCOMPARE(grid(w, 3)->rows(), 4);
    folder_.useShop(server_);
    refresh(w);
    QCOMPARE(rec_->boxes.size(), size_t(3));
    QCOMPARE(listed(w), before);
    QCOMPARE(shownDetails(w), u"0:0"_s);
  }

  // Maximized at first, without a close button. Then the grids keep their distance
  // to the right and bottom edges without overlapping, and stand still once the
  // window is smaller than 9000 x 5000 twips.
  void resizing() {
    OrdersWindow* w = openWindow();
    QVERIFY(w);
    auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
    QVERIFY(sub && sub->isMaximized() && !child<QPushButton>(w, "Command1")->isVisible());
    sub->showNormal();
    auto grids = [w] { return QList<QRect>{grid(w, 1)->geometry(), grid(w, 2)->geometry(), grid(w, 3)->geometry()}; };
    auto gaps = [w, &grids] {
      const QList<QRect> g = grids();
      return QList<int>{w->width() - g[2].right(), w->height() - g[2].bottom(), w->height() - g[1].bottom()};
    };
    sub->resize(900, 600);
    const QList<int> start = gaps();
    for (const auto& [size, follows] :
         QList<std::pair<QSize, bool>>{{{1000, 700}, true}, {{560, 650}, false}, {{950, 310}, false}}) {
      const QList<QRect> before = grids();
      sub->resize(size);
      const QList<QRect> g = grids();
      if (!follows) QCOMPARE(g, before);
      for (int k = 0; follows && k < 3; ++k) QVERIFY2(qAbs(gaps()[k] - start[k]) <= 2, qPrintable(QString::number(k)));
      QVERIFY(!g[0].intersects(g[1]) && !g[0].intersects(g[2]) && !g[1].intersects(g[2]));
    }
  }
};

QTEST_MAIN(TestHistory)
#include "test_history.moc"
