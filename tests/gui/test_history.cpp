// The orders window against a private MariaDB server with the shop's tables: the
// list of a range and its total, the open orders, an order's items and history.
#include "base/Numbers.h"
#include "fixtures/mariadb_server.h"
#include "gui/orders/OrdersWindow.h"
#include "support/WindowTest.h"

namespace {

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

void clickOrder(const OrdersWindow* w, const QString& id, int col = 2) {
  FlexGrid* g = grid(w, 1);
  int row = 1;
  while (row < g->rows() && g->textMatrix(row, 1) != id) ++row;
  const QModelIndex cell = g->model()->index(row - 1, col);
  g->scrollTo(cell);
  QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, g->visualRect(cell).center());
}

Rows details(const OrdersWindow* w) { return dataRows(grid(w, 3)) + dataRows(grid(w, 2)); }

void refresh(const OrdersWindow* w) { child<QPushButton>(w, "Command2")->click(); }

}  // namespace

class TestHistory : public QObject {
  Q_OBJECT

  MariaDbServer server_;
  TestProgramFolder folder_;
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<msg::ScopedRecorder> rec_;

  bool sql(const QString& statement) { return server_.exec(statement); }

  // Order rows "(id, user, 'date', total, status), …".
  bool addOrders(const char* rows) {
    return sql("INSERT INTO uop5b_jshopping_orders (order_id, user_id, order_date, order_total, order_status) VALUES " +
               QString::fromUtf8(rows));
  }

  OrdersWindow* openWindow(const QDate& start = {}, const QDate& end = {}) {
    main_->openOrdersWindow();
    OrdersWindow* w = main_->ordersWindow();
    if (w && start.isValid()) {
      child<QDateEdit>(w, "DTPicker1")->setDate(start);
      child<QDateEdit>(w, "DTPicker2")->setDate(end);
    }
    return w;
  }

  // 5010 with two items and a history entered out of date order, 5011 with a
  // history and no items, 5012 with an item and no history; listed for 1-5 April 2025.
  OrdersWindow* openDetails() {
    const bool ok =
        addOrders(
            "(5010, 57, '2025-04-01 09:30:00', 20264.7, 3), (5011, 57, '2025-04-02 11:00:00', 0, 1), "
            "(5012, 57, '2025-04-03 12:00:00', 75.5, 1)") &&
        sql("INSERT INTO uop5b_jshopping_order_item (order_id, product_id, product_ean, product_name, "
            "product_quantity, product_item_price) VALUES (5010, 1, 'А-2', 'Чай \"Ахмад\"', 100, 189.9), "
            "(5010, 1, '4601', 'Ручка', 250, 5.5), (5012, 1, 'А-11', 'Кружка', 1, 75.5)") &&
        sql("INSERT INTO uop5b_jshopping_order_history (order_id, order_status_id, status_date_added, "
            "customer_notify, comments, include_comment) VALUES (5010, 7, '2025-04-03 18:45:09', 0, 'Отгружен', 0), "
            "(5010, 1, '2025-04-01 09:30:05', 0, '', 0), (5011, 1, '2025-04-02 11:00:01', 0, 'Пустой', 0)");
    OrdersWindow* w = ok ? openWindow(QDate(2025, 4, 1), QDate(2025, 4, 5)) : nullptr;
    return w && grid(w, 1)->rows() == 4 ? w : nullptr;
  }

 private slots:
  void initTestCase() {
    QString err;
    QVERIFY2(server_.start(&err), qPrintable(err));
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
    settings::write(settings::OrganisationId, u"?"_s);
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
    QCOMPARE(rec_->texts(), QStringList(2, u"Необходимо пройти авторизацию.Открыть окно авторизации?"_s));
  }

  // This customer's orders of the range, both ends included, amounts in the regional notation,
  // the total with a point; another code; a code that is no number reaches no statement.
  void ordersOfThisCustomer() {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QVERIFY(
        addOrders("(5001, 57, '2025-03-11 23:59:59', 100.5, 1), (5002, 57, '2025-03-10 00:00:00', 200, 2), "
                  "(5003, 58, '2025-03-10 12:00:00', 999, 1), (5004, 57, '2025-03-12 00:00:00', 7, 1), "
                  "(5005, 57, '2025-03-09 23:59:59', 8, 1)"));
    OrdersWindow* w = openWindow(QDate(2025, 3, 10), QDate(2025, 3, 11));
    QVERIFY(w);
    QCOMPARE(listed(w), (QStringList{"5001", "5002", kTotal + "300.5"}));
    const Rows rows = dataRows(grid(w, 1));
    QVERIFY(std::any_of(rows.begin(), rows.end(), [](const QStringList& r) {
      return r.mid(0, 5) == QStringList{"1", "5001", "11.03.2025 23:59:59", "57", "100,5"};
    }));
    settings::write(settings::OrganisationId, u" 58 "_s);  // blanks around a code are allowed
    refresh(w);
    QCOMPARE(listed(w), (QStringList{"5003", kTotal + "999"}));
    settings::write(settings::OrganisationId, u"57'--"_s);
    refresh(w);
    QCOMPARE(rec_->texts(), QStringList{kErrorHead + u"Код организации не является числом: «57'--»"_s});
    QCOMPARE(listed(w), QStringList{QString()});
  }

  // Open orders (status below 7) of any date.
  void openOrdersByStatus() {
    QVERIFY(
        addOrders("(5001, 57, '2019-05-05 10:00:00', 10.25, 6), (5002, 57, '2025-03-11 09:00:00', 30, 7), "
                  "(5003, 58, '2025-03-11 09:00:00', 40, 1)"));
    OrdersWindow* w = openWindow(QDate(2025, 3, 1), QDate(2025, 3, 2));
    QVERIFY(w);
    child<QPushButton>(w, "Command3")->click();
    const Rows open = server_.query(
        "SELECT group_concat(order_id ORDER BY order_id), sum(order_total) "
        "FROM uop5b_jshopping_orders WHERE user_id = 57 AND order_status < 7");
    QVERIFY(open[0][0].endsWith(",5001"));  // the sample's open orders too
    QCOMPARE(listed(w), open[0][0].split(u',') << u"Сумма заказов : "_s + num::invariant(open[0][1].toDouble()));
  }

  // Items and history (oldest first) of the order clicked or reached by keys, read afresh;
  // a refill empties them; a failing history query leaves the last history shown.
  void detailsOfOrders() {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    OrdersWindow* w = openDetails();
    QVERIFY(w);
    clickOrder(w, "5010");
    Rows items = dataRows(grid(w, 3));
    std::sort(items.begin(), items.end());
    QCOMPARE(items, (Rows{{"4601", "Ручка", "5,5", "250"}, {"А-2", "Чай \"Ахмад\"", "189,9", "100"}}));
    QCOMPARE(dataRows(grid(w, 2)), (Rows{{"1", "", "01-04-2025 09:30:05"}, {"7", "Отгружен", "03-04-2025 18:45:09"}}));
    QVERIFY(sql("DELETE FROM uop5b_jshopping_order_item WHERE order_id = 5010"));
    clickOrder(w, "5010", 0);
    QCOMPARE(dataRows(grid(w, 3)), Rows());
    clickOrder(w, "5011");
    QCOMPARE(details(w), (Rows{{"1", "Пустой", "02-04-2025 11:00:01"}}));
    grid(w, 1)->setFocus();
    QTest::keyClick(grid(w, 1), Qt::Key_Down);  // the list keeps the shop's order: 5012 follows
    QCOMPARE(details(w), (Rows{{"А-11", "Кружка", "75,5", "1"}}));
    refresh(w);
    QCOMPARE(details(w), Rows());
    clickOrder(w, "5011");
    QVERIFY(sql("RENAME TABLE uop5b_jshopping_order_history TO history_away"));
    clickOrder(w, "5010");
    QVERIFY(sql("RENAME TABLE history_away TO uop5b_jshopping_order_history"));
    QCOMPARE(rec_->boxes.size(), size_t(1));
    QVERIFY2(rec_->boxes[0].text.contains(u"uop5b_jshopping_order_history"_s), qPrintable(rec_->boxes[0].text));
    QCOMPARE(dataRows(grid(w, 2)), (Rows{{"1", "Пустой", "02-04-2025 11:00:01"}}));
  }

  // Refresh, open orders and details fail alike; the list stays; the window works again later.
  void shopUnreachable() {
    OrdersWindow* w = openDetails();
    QVERIFY(w);
    const QStringList before = listed(w);
    folder_.useShop(server_.host(), closedPort());
    refresh(w);
    child<QPushButton>(w, "Command3")->click();
    clickOrder(w, "5012");
    QCOMPARE(rec_->boxes.size(), size_t(3));
    for (const msg::Box& box : rec_->boxes) QVERIFY2(box.text.startsWith(kErrorHead), qPrintable(box.text));
    QCOMPARE(listed(w), before);
    folder_.useShop(server_);
    clickOrder(w, "5012", 0);
    QCOMPARE(details(w).size(), 1);
    QCOMPARE(rec_->boxes.size(), size_t(3));
  }
};

QTEST_MAIN(TestHistory)
#include "test_history.moc"
