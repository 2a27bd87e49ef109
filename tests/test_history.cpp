// The orders window against a private MariaDB server with the shop's tables:
// signing in, the orders of a date range with their total, the open orders, the
// date pickers, the items and status history of an order, failures, resizing and
// the window-bar button.

#include "fixtures/mariadb_server.h"

#include "history/frm_orders.h"
#include "price/FlexGrid.h"
#include "shell/ProgramFolder.h"
#include "shell/Twips.h"
#include "shell/conn_rs_comm.h"
#include "shell/frm_main.h"
#include "shell/ini.h"
#include "shell/messages.h"
#include "shell/numbers.h"
#include "shell/public_var.h"

#include <QAction>
#include <QApplication>
#include <QDateEdit>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

const QString kQuestion = QStringLiteral("Необходимо пройти авторизацию.Открыть окно авторизации?");
const QString kErrorHead = QStringLiteral("Произошла ошибка при запросе") + QChar('\r');

QStringList rowTexts(const FlexGrid* g, int row) {
  QStringList out;
  for (int c = 0; c < g->cols(); ++c) out << g->textMatrix(row, c);
  return out;
}

QStringList headerTexts(const FlexGrid* g) { return rowTexts(g, 0); }

QList<QStringList> dataRows(const FlexGrid* g) {
  QList<QStringList> out;
  for (int r = 1; r < g->rows(); ++r) out << rowTexts(g, r);
  return out;
}

QStringList column(const FlexGrid* g, int c) {
  QStringList out;
  for (int r = 1; r < g->rows(); ++r) out << g->textMatrix(r, c);
  return out;
}

QStringList sorted(QStringList l) {
  l.sort();
  return l;
}

int rowOfOrder(const FlexGrid* g, const QString& id) {
  for (int r = 1; r < g->rows(); ++r)
    if (g->textMatrix(r, 1) == id) return r;
  return -1;
}

// A user's mouse click on a cell of a grid.
void clickCell(FlexGrid* g, int row, int col) {
  g->scrollTo(g->model()->index(row - 1, col));
  const QRect rect = g->visualRect(g->model()->index(row - 1, col));
  QVERIFY2(rect.isValid(), "cell is not laid out");
  QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

const QStringList kOrdersHeader{"СТАТУС", "№", "ДАТА", "КОНТРАГЕНТ", "СУММА"};
const QStringList kItemsHeader{"АРТИКУЛ", "НАИМЕНОВАНИЕ", "ЦЕНА", "ЗАКАЗ"};
const QStringList kHistoryHeader{"Статус заказа", "КОММЕНТАРИЙ", "ДАТА"};

}  // namespace

class TestHistory : public QObject {
  Q_OBJECT

private slots:
  void initTestCase();
  void init();
  void cleanup();

  // Signing in
  void notSignedInAnsweredNo();
  void notSignedInAnsweredYesOpensAuthorization();
  void missingLoginAlsoAsks();
  // The list of a date range
  void rangeWithoutOrders();
  void onlyThisCustomersOrders();
  void totalInRussianLocale();
  void totalInEnglishLocale();
  void startAfterEndMovesStart();
  void endBeforeStartMovesEnd();
  void ordinaryDateChangeReloadsOnce();
  void openOrdersByStatus();
  // The organisation code never reaches a statement as text
  void nonNumericCodeOnRefresh();
  void nonNumericCodeOnOpenOrders();
  void changedCodeListsNobodysOrders();
  // Items and status history
  void detailsOfAnOrderWithItems();
  void detailsFollowKeyboard();
  void orderWithoutItemsAndOrderWithoutHistory();
  void sameRowOtherColumnShowsSameOrder();
  void refreshEmptiesDetails();
  void historyFailureKeepsItems();
  // Failures
  void shopUnreachable();
  // Window
  void resizeFormulas();
  void windowBarButton();

private:
  frm_orders* openWindow();
  void signIn(const QString& id = QStringLiteral(" 57"), const QString& login = QStringLiteral("\"ООО Ромашка\""));
  void pointToServer();
  void setRange(frm_orders* w, const QDate& start, const QDate& end);
  bool insertOrder(int id, int user, const QString& date, const QString& total, int status);
  bool insertItem(int order, const QString& ean, const QString& name, const QString& price, const QString& qty);
  bool insertHistory(int order, int status, const QString& date, const QString& comment);
  void insertDetailOrders();

  MariaDbServer server_;
  QTemporaryDir dir_;
  std::unique_ptr<frm_main> main_;
  QLocale startLocale_;
};

void TestHistory::initTestCase() {
  QString err;
  QVERIFY2(server_.start(&err), qPrintable(err));
  QVERIFY(dir_.isValid());
  SetProgramFolder(dir_.path());
  SetSettingsPath();
  CreateDefaultSettings();
  QVERIFY(QFile::exists(SettingsPath));
  startLocale_ = QLocale();
}

void TestHistory::init() {
  QLocale::setDefault(startLocale_);
  pointToServer();
  signIn();
  QString err;
  // Inserts fill only the columns the ordering step fills, as the shop's own
  // sessions allow.
  QVERIFY2(server_.exec(QStringLiteral("SET SESSION sql_mode='NO_ENGINE_SUBSTITUTION'"), &err), qPrintable(err));
  for (const char* table : {"uop5b_jshopping_order_history", "uop5b_jshopping_order_item"})
    QVERIFY2(server_.exec(QStringLiteral("DELETE FROM %1 WHERE order_id >= 5000").arg(QLatin1String(table)), &err),
             qPrintable(err));
  QVERIFY2(server_.exec(QStringLiteral("DELETE FROM uop5b_jshopping_orders WHERE order_id >= 5000"), &err),
           qPrintable(err));
  CurrentSql.clear();
  main_ = std::make_unique<frm_main>();
  main_->resize(1400, 900);
  main_->show();
  QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
}

void TestHistory::cleanup() {
  main_.reset();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QLocale::setDefault(startLocale_);
}

void TestHistory::pointToServer() {
  WriteSetting(SettingsPath, "connection", "shop_host", server_.host());
  WriteSetting(SettingsPath, "connection", "shop_port", QString::number(server_.port()));
  WriteSetting(SettingsPath, "connection", "shop_database", server_.database());
  WriteSetting(SettingsPath, "connection", "shop_user", server_.user());
  WriteSetting(SettingsPath, "connection", "shop_password", server_.password());
}

void TestHistory::signIn(const QString& id, const QString& login) {
  WriteSetting(SettingsPath, "authentication", "id", id);
  WriteSetting(SettingsPath, "authentication", "login", login);
}

frm_orders* TestHistory::openWindow() {
  main_->Orders_Click();
  frm_orders* w = main_->ordersWindow();
  if (w) QTest::qWait(10);
  return w;
}

// Moves the pickers as a user would, one picker at a time, never through an
// inverted range.
void TestHistory::setRange(frm_orders* w, const QDate& start, const QDate& end) {
  if (start <= w->DTPicker2->date()) {
    w->DTPicker1->setDate(start);
    w->DTPicker2->setDate(end);
  } else {
    w->DTPicker2->setDate(end);
    w->DTPicker1->setDate(start);
  }
  QCOMPARE(w->DTPicker1->date(), start);
  QCOMPARE(w->DTPicker2->date(), end);
}

// An order row as the ordering step writes it (the columns it fills).
bool TestHistory::insertOrder(int id, int user, const QString& date, const QString& total, int status) {
  QString err;
  const bool ok = server_.exec(
      QStringLiteral("INSERT INTO uop5b_jshopping_orders (order_id, order_number, user_id, order_total, "
                     "order_subtotal, currency_code, currency_code_iso, currency_exchange, order_status, "
                     "order_created, order_date, f_name, lang) VALUES (%1, '%2', %3, %4, %4, 'руб.', 'RUB', 1, "
                     "%5, 1, '%6', 'ООО Ромашка', 'ru-RU')")
          .arg(id)
          .arg(id, 8, 10, QLatin1Char('0'))
          .arg(user)
          .arg(total)
          .arg(status)
          .arg(date),
      &err);
  if (!ok) qWarning("%s", qPrintable(err));
  return ok;
}

bool TestHistory::insertItem(int order, const QString& ean, const QString& name, const QString& price,
                             const QString& qty) {
  QString err;
  const bool ok = server_.exec(
      QStringLiteral("INSERT INTO uop5b_jshopping_order_item (order_id, product_id, product_ean, product_name, "
                     "product_quantity, product_item_price) VALUES (%1, 1, '%2', '%3', %4, %5)")
          .arg(order)
          .arg(ean, name, qty, price),
      &err);
  if (!ok) qWarning("%s", qPrintable(err));
  return ok;
}

bool TestHistory::insertHistory(int order, int status, const QString& date, const QString& comment) {
  QString err;
  const bool ok = server_.exec(
      QStringLiteral("INSERT INTO uop5b_jshopping_order_history (order_id, order_status_id, status_date_added, "
                     "customer_notify, comments, include_comment) VALUES (%1, %2, '%3', 0, '%4', 0)")
          .arg(order)
          .arg(status)
          .arg(date, comment),
      &err);
  if (!ok) qWarning("%s", qPrintable(err));
  return ok;
}

// Order 5010 with three items and a history entered out of date order, 5011 with
// a history and no items, 5012 with items and no history; all of 1-5 April 2025.
void TestHistory::insertDetailOrders() {
  QVERIFY(insertOrder(5010, 57, "2025-04-01 09:30:00", "20264.7", 3));
  QVERIFY(insertItem(5010, "А-10002", "Чай чёрный листовой Ахмад 200 г", "189.9", "100"));
  QVERIFY(insertItem(5010, "4601000000091", "Конфеты \"Мишка на Севере\" весовые 1 кг", "280", "1"));
  QVERIFY(insertItem(5010, "А-10025", "Ручка шариковая синяя Erich Krause 1 шт.", "5.5", "250"));
  QVERIFY(insertHistory(5010, 2, "2025-04-02 10:00:00", "Заказ принят в работу"));
  QVERIFY(insertHistory(5010, 7, "2025-04-03 18:45:09", "Отгружен"));
  QVERIFY(insertHistory(5010, 1, "2025-04-01 09:30:05", ""));
  QVERIFY(insertOrder(5011, 57, "2025-04-02 11:00:00", "0", 1));
  QVERIFY(insertHistory(5011, 1, "2025-04-02 11:00:01", "Пустой заказ"));
  QVERIFY(insertOrder(5012, 57, "2025-04-03 12:00:00", "75.5", 1));
  QVERIFY(insertItem(5012, "А-10011", "Кружка керамическая белая 300 мл", "75.5", "1"));
}

// ---- signing in -------------------------------------------------------------

void TestHistory::notSignedInAnsweredNo() {
  signIn("?", "?");
  msg::ScopedRecorder rec;
  rec.answers.push_back(msg::Answer::No);
  frm_orders* w = openWindow();
  QVERIFY(w);
  QCOMPARE(int(rec.boxes.size()), 1);
  QCOMPARE(rec.boxes[0].text, kQuestion);
  QVERIFY(rec.boxes[0].yesNo);
  QCOMPARE(rec.boxes[0].icon, msg::Icon::Question);
  QCOMPARE(rec.boxes[0].title, msg::applicationTitle());
  QVERIFY(CurrentSql.isEmpty());  // nothing was asked of the shop
  QCOMPARE(w->Label3->text(), QString());
  QCOMPARE(w->RefreshCount, 1);
  QVERIFY(!main_->findChild<QDialog*>("frm_avtor"));
  // "Обновить" asks again.
  rec.answers.push_back(msg::Answer::No);
  w->Command2->click();
  QCOMPARE(int(rec.boxes.size()), 2);
  QCOMPARE(rec.boxes[1].text, kQuestion);
  // So does a date change.
  rec.answers.push_back(msg::Answer::No);
  w->DTPicker1->setDate(w->DTPicker1->date().addDays(-1));
  QCOMPARE(int(rec.boxes.size()), 3);
  QCOMPARE(rec.boxes[2].text, kQuestion);
  QVERIFY(CurrentSql.isEmpty());
}

void TestHistory::notSignedInAnsweredYesOpensAuthorization() {
  signIn("?", "?");
  msg::ScopedRecorder rec;
  rec.answers.push_back(msg::Answer::Yes);
  bool seenModal = false;
  QString seenTitle;
  QTimer poll;
  poll.setInterval(20);
  connect(&poll, &QTimer::timeout, this, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* dlg = qobject_cast<QDialog*>(top);
      if (dlg && dlg->objectName() == QLatin1String("frm_avtor") && dlg->isVisible()) {
        seenModal = dlg->isModal() || QApplication::activeModalWidget() == dlg;
        seenTitle = dlg->windowTitle();
        dlg->close();
        poll.stop();
        return;
      }
    }
  });
  poll.start();
  QElapsedTimer t;
  t.start();
  frm_orders* w = openWindow();
  poll.stop();
  QVERIFY(w);
  QVERIFY2(seenModal, "the authorization window was not shown modally");
  QCOMPARE(seenTitle, QStringLiteral("Авторизация"));
  QCOMPARE(int(rec.boxes.size()), 1);
  QCOMPARE(rec.boxes[0].text, kQuestion);
  // Closing it does not reload the list.
  QCOMPARE(w->RefreshCount, 1);
  QVERIFY(CurrentSql.isEmpty());
  QCOMPARE(w->Label3->text(), QString());
  QVERIFY(t.elapsed() < 10000);
}

void TestHistory::missingLoginAlsoAsks() {
  signIn(" 57", "?");
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  QCOMPARE(rec.texts(), QStringList{kQuestion});
  QVERIFY(CurrentSql.isEmpty());
}

// ---- the list of a date range ----------------------------------------------

void TestHistory::rangeWithoutOrders() {
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  setRange(w, QDate(2001, 1, 1), QDate(2001, 1, 31));
  QVERIFY2(rec.boxes.empty(), qPrintable(rec.texts().join(" | ")));
  QCOMPARE(w->MSFlexGrid1->rows(), 1);
  QCOMPARE(headerTexts(w->MSFlexGrid1), kOrdersHeader);
  const int widths[] = {1500, 500, 2000, 3000, 1000};
  for (int c = 0; c < 5; ++c) {
    QVERIFY(qAbs(w->MSFlexGrid1->colWidth(c) - widths[c]) <= 15);
    QCOMPARE(w->MSFlexGrid1->colAlignment(c), 0);
  }
  QCOMPARE(w->Label3->text(), QStringLiteral("Сумма заказов :  0"));
  QCOMPARE(w->MSFlexGrid2->rows(), 1);
  QCOMPARE(headerTexts(w->MSFlexGrid2), kHistoryHeader);
  QCOMPARE(w->MSFlexGrid3->rows(), 1);
  QCOMPARE(headerTexts(w->MSFlexGrid3), kItemsHeader);
}

void TestHistory::onlyThisCustomersOrders() {
  QVERIFY(insertOrder(5001, 57, "2025-03-10 00:00:00", "100.5", 1));
  QVERIFY(insertOrder(5002, 57, "2025-03-11 23:59:59", "200", 2));
  QVERIFY(insertOrder(5003, 58, "2025-03-10 12:00:00", "999", 1));
  QVERIFY(insertOrder(5004, 57, "2025-03-12 00:00:00", "7", 1));
  QVERIFY(insertOrder(5005, 57, "2025-03-09 23:59:59", "8", 1));
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  setRange(w, QDate(2025, 3, 10), QDate(2025, 3, 11));
  QVERIFY2(rec.boxes.empty(), qPrintable(rec.texts().join(" | ")));
  QCOMPARE(sorted(column(w->MSFlexGrid1, 1)), (QStringList{"5001", "5002"}));
  QCOMPARE(column(w->MSFlexGrid1, 3), (QStringList{"57", "57"}));
  const int r = rowOfOrder(w->MSFlexGrid1, "5002");
  QCOMPARE(w->MSFlexGrid1->textMatrix(r, 0), QStringLiteral("2"));
  QCOMPARE(w->MSFlexGrid1->textMatrix(r, 4), QStringLiteral("200"));
  QCOMPARE(w->Label3->text(), QStringLiteral("Сумма заказов :  300.5"));
  // The code and the dates travel as bound values.
  QVERIFY2(CurrentSql.contains("d.user_id= ?"), qPrintable(CurrentSql));
  QVERIFY2(!CurrentSql.contains("57") && !CurrentSql.contains("2025"), qPrintable(CurrentSql));
  QVERIFY(CurrentSql.contains("BETWEEN ? AND ?"));

  // Signed in as the other customer: only that one's order.
  signIn(" 58", "\"ИП Петров\"");
  w->Command2->click();
  QCOMPARE(column(w->MSFlexGrid1, 1), QStringList{"5003"});
  QCOMPARE(w->Label3->text(), QStringLiteral("Сумма заказов :  999"));
}

void TestHistory::totalInRussianLocale() {
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  QVERIFY(insertOrder(5001, 57, "2025-03-10 09:15:30", "100.5", 1));
  QVERIFY(insertOrder(5002, 57, "2025-03-10 00:00:00", "200", 2));
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  setRange(w, QDate(2025, 3, 10), QDate(2025, 3, 10));
  QVERIFY2(rec.boxes.empty(), qPrintable(rec.texts().join(" | ")));
  const int r1 = rowOfOrder(w->MSFlexGrid1, "5001");
  const int r2 = rowOfOrder(w->MSFlexGrid1, "5002");
  QVERIFY(r1 > 0 && r2 > 0);
  QCOMPARE(w->MSFlexGrid1->textMatrix(r1, 4), QStringLiteral("100,5"));
  QCOMPARE(w->MSFlexGrid1->textMatrix(r2, 4), QStringLiteral("200"));
  QCOMPARE(w->MSFlexGrid1->textMatrix(r1, 2), QStringLiteral("10.03.2025 09:15:30"));
  QCOMPARE(w->Label3->text(), QStringLiteral("Сумма заказов :  300.5"));
}

void TestHistory::totalInEnglishLocale() {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  QVERIFY(insertOrder(5001, 57, "2025-03-10 09:15:30", "100.5", 1));
  QVERIFY(insertOrder(5002, 57, "2025-03-10 00:00:00", "200", 2));
  QVERIFY(insertOrder(5003, 57, "2025-03-10 10:00:00", "1234.25", 2));
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  setRange(w, QDate(2025, 3, 10), QDate(2025, 3, 10));
  QVERIFY2(rec.boxes.empty(), qPrintable(rec.texts().join(" | ")));
  QCOMPARE(w->MSFlexGrid1->textMatrix(rowOfOrder(w->MSFlexGrid1, "5001"), 4), QStringLiteral("100.5"));
  QCOMPARE(w->MSFlexGrid1->textMatrix(rowOfOrder(w->MSFlexGrid1, "5003"), 4), QStringLiteral("1234.25"));
  QCOMPARE(w->Label3->text(), QStringLiteral("Сумма заказов :  1534.75"));
}

void TestHistory::startAfterEndMovesStart() {
  QVERIFY(insertOrder(5001, 57, "2025-03-10 09:00:00", "100.5", 1));
  QVERIFY(insertOrder(5002, 57, "2025-03-11 09:00:00", "200", 1));
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  setRange(w, QDate(2025, 3, 10), QDate(2025, 3, 11));
  QCOMPARE(w->MSFlexGrid1->rows(), 3);
  const int before = w->RefreshCount;
  w->DTPicker1->setDate(QDate(2025, 3, 20));
  QCOMPARE(w->DTPicker1->date(), QDate(2025, 3, 11));
  QCOMPARE(w->DTPicker2->date(), QDate(2025, 3, 11));
  QCOMPARE(w->RefreshCount, before + 1);
  QCOMPARE(column(w->MSFlexGrid1, 1), QStringList{"5002"});
  QCOMPARE(w->Label3->text(), QStringLiteral("Сумма заказов :  200"));
  QVERIFY(rec.boxes.empty());
}

void TestHistory::endBeforeStartMovesEnd() {
  QVERIFY(insertOrder(5001, 57, "2025-03-10 09:00:00", "100.5", 1));
  QVERIFY(insertOrder(5002, 57, "2025-03-11 09:00:00", "200", 1));
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  setRange(w, QDate(2025, 3, 10), QDate(2025, 3, 11));
  const int before = w->RefreshCount;
  w->DTPicker2->setDate(QDate(2025, 3, 1));
  QCOMPARE(w->DTPicker1->date(), QDate(2025, 3, 10));
  QCOMPARE(w->DTPicker2->date(), QDate(2025, 3, 10));
  QCOMPARE(w->RefreshCount, before + 1);
  QCOMPARE(column(w->MSFlexGrid1, 1), QStringList{"5001"});
  QCOMPARE(w->Label3->text(), QStringLiteral("Сумма заказов :  100.5"));
  QVERIFY(rec.boxes.empty());
}

void TestHistory::ordinaryDateChangeReloadsOnce() {
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  // Load: both pickers today, the list read once.
  QCOMPARE(w->DTPicker1->date(), QDate::currentDate());
  QCOMPARE(w->DTPicker2->date(), QDate::currentDate());
  QCOMPARE(w->RefreshCount, 1);
  w->DTPicker1->setDate(QDate::currentDate().addDays(-3));
  QCOMPARE(w->RefreshCount, 2);
  w->DTPicker2->setDate(QDate::currentDate().addDays(1));
  QCOMPARE(w->RefreshCount, 3);
  w->Command2->click();
  QCOMPARE(w->RefreshCount, 4);
  // Yesterday's seeded order of this customer is listed; the other customer's is not.
  QVERIFY(rowOfOrder(w->MSFlexGrid1, "1002") > 0);
  QCOMPARE(rowOfOrder(w->MSFlexGrid1, "1004"), -1);
  QCOMPARE(rowOfOrder(w->MSFlexGrid1, "1006"), -1);
  QVERIFY(rec.boxes.empty());
}

void TestHistory::openOrdersByStatus() {
  QVERIFY(insertOrder(5001, 57, "2019-05-05 10:00:00", "10.25", 3));   // open, long ago
  QVERIFY(insertOrder(5002, 57, "2025-03-11 09:00:00", "20", 6));      // open
  QVERIFY(insertOrder(5003, 57, "2025-03-11 09:00:00", "30", 7));      // closed
  QVERIFY(insertOrder(5004, 58, "2025-03-11 09:00:00", "40", 1));      // another customer
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  setRange(w, QDate(2025, 3, 1), QDate(2025, 3, 2));
  const int before = w->RefreshCount;
  w->Command3->click();
  QVERIFY2(rec.boxes.empty(), qPrintable(rec.texts().join(" | ")));
  const QList<QStringList> expected = server_.query(
      "SELECT order_id, order_total FROM uop5b_jshopping_orders WHERE user_id = 57 AND order_status < 7");
  QStringList ids;
  double total = 0;
  for (const QStringList& row : expected) {
    ids << row[0];
    total += row[1].toDouble();
  }
  QVERIFY(ids.contains("5001") && ids.contains("5002") && ids.contains("1002"));
  QCOMPARE(sorted(column(w->MSFlexGrid1, 1)), sorted(ids));
  for (const QString& s : column(w->MSFlexGrid1, 0)) QVERIFY(s.toInt() < 7);
  for (const QString& u : column(w->MSFlexGrid1, 3)) QCOMPARE(u, QStringLiteral("57"));
  QCOMPARE(w->Label3->text(), QStringLiteral("Сумма заказов : ") + num::invariant(total));
  QVERIFY(CurrentSql.contains("d.order_status < 7"));
  QVERIFY(!CurrentSql.contains("57"));
  // The pickers are left alone and the range list was not reloaded.
  QCOMPARE(w->DTPicker1->date(), QDate(2025, 3, 1));
  QCOMPARE(w->RefreshCount, before);
  QCOMPARE(w->MSFlexGrid2->rows(), 1);
  QCOMPARE(w->MSFlexGrid3->rows(), 1);
}

// ---- the organisation code ----------------------------------------------------

void TestHistory::nonNumericCodeOnRefresh() {
  signIn("57 OR 1=1", "\"ООО Ромашка\"");
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  QCOMPARE(int(rec.boxes.size()), 1);
  QVERIFY(rec.boxes[0].text.startsWith(kErrorHead));
  QVERIFY2(rec.boxes[0].text.contains("Код организации не является числом"), qPrintable(rec.boxes[0].text));
  QVERIFY(rec.boxes[0].text.contains("57 OR 1=1"));
  QCOMPARE(rec.boxes[0].title, QStringLiteral("Предупреждение"));
  QCOMPARE(rec.boxes[0].icon, msg::Icon::Critical);
  QVERIFY(!rec.boxes[0].yesNo);
  QCOMPARE(w->MSFlexGrid1->rows(), 1);
  QVERIFY(CurrentSql.isEmpty());
  QVERIFY(LastErrorText.contains("Код организации не является числом"));
  // The same for a name typed in by hand.
  signIn("Ромашка", "\"ООО Ромашка\"");
  w->Command2->click();
  QCOMPARE(int(rec.boxes.size()), 2);
  QVERIFY(rec.boxes[1].text.contains("Ромашка"));
  QCOMPARE(w->MSFlexGrid1->rows(), 1);
  // A code with blanks around it is a number.
  rec.clear();
  signIn(" 57 ", "\"ООО Ромашка\"");
  setRange(w, QDate::currentDate().addDays(-2), QDate::currentDate());
  QVERIFY2(rec.boxes.empty(), qPrintable(rec.texts().join(" | ")));
  QVERIFY(rowOfOrder(w->MSFlexGrid1, "1002") > 0);
}

void TestHistory::nonNumericCodeOnOpenOrders() {
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  QVERIFY(rec.boxes.empty());
  // Not signed in: no question here, the "?" is refused.
  signIn("?", "?");
  CurrentSql.clear();
  w->Command3->click();
  QCOMPARE(int(rec.boxes.size()), 1);
  QVERIFY(rec.boxes[0].text.startsWith(kErrorHead));
  QVERIFY(rec.boxes[0].text.contains("Код организации не является числом"));
  QCOMPARE(rec.boxes[0].icon, msg::Icon::Critical);
  QCOMPARE(w->MSFlexGrid1->rows(), 1);
  QVERIFY(CurrentSql.isEmpty());
  signIn("1 or 1", "\"x\"");
  w->Command3->click();
  QCOMPARE(int(rec.boxes.size()), 2);
  QVERIFY(rec.boxes[1].text.contains("Код организации не является числом"));
  QCOMPARE(w->MSFlexGrid1->rows(), 1);
}

void TestHistory::changedCodeListsNobodysOrders() {
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  w->Command3->click();
  QVERIFY(w->MSFlexGrid1->rows() > 1);
  signIn("57'--", "\"ООО Ромашка\"");
  w->Command3->click();
  QCOMPARE(int(rec.boxes.size()), 1);
  QCOMPARE(w->MSFlexGrid1->rows(), 1);
  QCOMPARE(w->MSFlexGrid2->rows(), 1);
  QCOMPARE(w->MSFlexGrid3->rows(), 1);
  QCOMPARE(w->Label3->text(), QString());
}

// ---- items and status history -----------------------------------------------

void TestHistory::detailsOfAnOrderWithItems() {
  insertDetailOrders();
  if (QTest::currentTestFailed()) return;
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  setRange(w, QDate(2025, 4, 1), QDate(2025, 4, 5));
  QCOMPARE(w->MSFlexGrid1->rows(), 4);
  const int r = rowOfOrder(w->MSFlexGrid1, "5010");
  QVERIFY(r > 0);
  clickCell(w->MSFlexGrid1, r, 2);
  QVERIFY2(rec.boxes.empty(), qPrintable(rec.texts().join(" | ")));
  QCOMPARE(w->MSFlexGrid1->rowSel(), r);
  QCOMPARE(headerTexts(w->MSFlexGrid3), kItemsHeader);
  const int itemWidths[] = {1000, 6000, 1000, 1000};
  for (int c = 0; c < 4; ++c) QVERIFY(qAbs(w->MSFlexGrid3->colWidth(c) - itemWidths[c]) <= 15);
  // The items as they were written; the quantities as stored (no 9999).
  QList<QStringList> items = dataRows(w->MSFlexGrid3);
  std::sort(items.begin(), items.end());
  QList<QStringList> expected{
      {"4601000000091", "Конфеты \"Мишка на Севере\" весовые 1 кг", "280", "1"},
      {"А-10002", "Чай чёрный листовой Ахмад 200 г", "189.9", "100"},
      {"А-10025", "Ручка шариковая синяя Erich Krause 1 шт.", "5.5", "250"}};
  std::sort(expected.begin(), expected.end());
  QCOMPARE(items, expected);
  // The history oldest first, dates as the database formats them.
  QCOMPARE(headerTexts(w->MSFlexGrid2), kHistoryHeader);
  const QList<QStringList> history{{"1", "", "01-04-2025 09:30:05"},
                                   {"2", "Заказ принят в работу", "02-04-2025 10:00:00"},
                                   {"7", "Отгружен", "03-04-2025 18:45:09"}};
  QCOMPARE(dataRows(w->MSFlexGrid2), history);
  QVERIFY(CurrentSql.contains("order_id= ?"));
  QVERIFY(CurrentSql.contains("DATE_FORMAT(status_date_added,'%d-%m-%Y %H:%i:%s')"));
  QVERIFY(CurrentSql.endsWith("Order by status_date_added"));
}

void TestHistory::detailsFollowKeyboard() {
  insertDetailOrders();
  if (QTest::currentTestFailed()) return;
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  setRange(w, QDate(2025, 4, 1), QDate(2025, 4, 5));
  QCOMPARE(w->MSFlexGrid1->rows(), 4);
  // A refill by the window itself shows no details.
  QCOMPARE(w->MSFlexGrid3->rows(), 1);
  QCOMPARE(w->MSFlexGrid2->rows(), 1);
  w->MSFlexGrid1->setFocus();
  // Walk down every row with the arrow key; each move shows the row's order.
  for (int step = 2; step <= 3; ++step) {
    QTest::keyClick(w->MSFlexGrid1, Qt::Key_Down);
    QCOMPARE(w->MSFlexGrid1->rowSel(), step);
    const QString id = w->MSFlexGrid1->textMatrix(step, 1);
    const auto itemCount = server_.query("SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id = " + id);
    const auto historyCount =
        server_.query("SELECT count(*) FROM uop5b_jshopping_order_history WHERE order_id = " + id);
    QCOMPARE(w->MSFlexGrid3->rows() - 1, itemCount[0][0].toInt());
    QCOMPARE(w->MSFlexGrid2->rows() - 1, historyCount[0][0].toInt());
  }
  QTest::keyClick(w->MSFlexGrid1, Qt::Key_Up);
  QTest::keyClick(w->MSFlexGrid1, Qt::Key_Up);
  QCOMPARE(w->MSFlexGrid1->rowSel(), 1);
  if (w->MSFlexGrid1->textMatrix(1, 1) == "5010") {
    QCOMPARE(w->MSFlexGrid3->rows(), 4);
    // Prices in the regional notation.
    QVERIFY(column(w->MSFlexGrid3, 2).contains("189,9"));
  }
  QVERIFY2(rec.boxes.empty(), qPrintable(rec.texts().join(" | ")));
}

void TestHistory::orderWithoutItemsAndOrderWithoutHistory() {
  insertDetailOrders();
  if (QTest::currentTestFailed()) return;
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  setRange(w, QDate(2025, 4, 1), QDate(2025, 4, 5));
  clickCell(w->MSFlexGrid1, rowOfOrder(w->MSFlexGrid1, "5011"), 3);
  QCOMPARE(w->MSFlexGrid3->rows(), 1);
  QCOMPARE(headerTexts(w->MSFlexGrid3), kItemsHeader);
  QCOMPARE(dataRows(w->MSFlexGrid2), (QList<QStringList>{{"1", "Пустой заказ", "02-04-2025 11:00:01"}}));
  clickCell(w->MSFlexGrid1, rowOfOrder(w->MSFlexGrid1, "5012"), 3);
  QCOMPARE(dataRows(w->MSFlexGrid3),
           (QList<QStringList>{{"А-10011", "Кружка керамическая белая 300 мл", "75.5", "1"}}));
  QCOMPARE(w->MSFlexGrid2->rows(), 1);
  QCOMPARE(headerTexts(w->MSFlexGrid2), kHistoryHeader);
  QVERIFY2(rec.boxes.empty(), qPrintable(rec.texts().join(" | ")));
}

void TestHistory::sameRowOtherColumnShowsSameOrder() {
  insertDetailOrders();
  if (QTest::currentTestFailed()) return;
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  setRange(w, QDate(2025, 4, 1), QDate(2025, 4, 5));
  const int r = rowOfOrder(w->MSFlexGrid1, "5010");
  clickCell(w->MSFlexGrid1, r, 4);
  const auto items = dataRows(w->MSFlexGrid3);
  const auto history = dataRows(w->MSFlexGrid2);
  QCOMPARE(items.size(), 3);
  // Someone empties the items in the shop; moving along the row reads them afresh.
  QVERIFY(server_.exec("DELETE FROM uop5b_jshopping_order_item WHERE order_id = 5010"));
  clickCell(w->MSFlexGrid1, r, 0);
  QCOMPARE(w->MSFlexGrid3->rows(), 1);
  QCOMPARE(dataRows(w->MSFlexGrid2), history);
  QVERIFY(rec.boxes.empty());
}

void TestHistory::refreshEmptiesDetails() {
  insertDetailOrders();
  if (QTest::currentTestFailed()) return;
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  setRange(w, QDate(2025, 4, 1), QDate(2025, 4, 5));
  clickCell(w->MSFlexGrid1, rowOfOrder(w->MSFlexGrid1, "5010"), 2);
  QCOMPARE(w->MSFlexGrid3->rows(), 4);
  QCOMPARE(w->MSFlexGrid2->rows(), 4);
  w->Command2->click();
  QCOMPARE(w->MSFlexGrid3->rows(), 1);
  QCOMPARE(w->MSFlexGrid2->rows(), 1);
  QCOMPARE(headerTexts(w->MSFlexGrid3), kItemsHeader);
  QCOMPARE(headerTexts(w->MSFlexGrid2), kHistoryHeader);
  QCOMPARE(w->MSFlexGrid1->rows(), 4);
  // After the refill the current cell is in the first row; clicking that very
  // cell still shows its order.
  const int col = w->MSFlexGrid1->col();
  QCOMPARE(w->MSFlexGrid1->row(), 1);
  clickCell(w->MSFlexGrid1, 1, col);
  const QString first = w->MSFlexGrid1->textMatrix(1, 1);
  const auto items = server_.query("SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id = " + first);
  const auto history = server_.query("SELECT count(*) FROM uop5b_jshopping_order_history WHERE order_id = " + first);
  QCOMPARE(w->MSFlexGrid3->rows() - 1, items[0][0].toInt());
  QCOMPARE(w->MSFlexGrid2->rows() - 1, history[0][0].toInt());
  QVERIFY(w->MSFlexGrid2->rows() > 1);
  w->Command3->click();
  QCOMPARE(w->MSFlexGrid3->rows(), 1);
  QCOMPARE(w->MSFlexGrid2->rows(), 1);
  QVERIFY(rec.boxes.empty());
}

void TestHistory::historyFailureKeepsItems() {
  insertDetailOrders();
  if (QTest::currentTestFailed()) return;
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  setRange(w, QDate(2025, 4, 1), QDate(2025, 4, 5));
  clickCell(w->MSFlexGrid1, rowOfOrder(w->MSFlexGrid1, "5011"), 2);
  QCOMPARE(w->MSFlexGrid2->rows(), 2);
  QVERIFY(server_.exec("RENAME TABLE uop5b_jshopping_order_history TO history_away"));
  clickCell(w->MSFlexGrid1, rowOfOrder(w->MSFlexGrid1, "5010"), 2);
  QVERIFY(server_.exec("RENAME TABLE history_away TO uop5b_jshopping_order_history"));
  QCOMPARE(int(rec.boxes.size()), 1);
  QVERIFY(rec.boxes[0].text.startsWith(kErrorHead));
  QVERIFY2(rec.boxes[0].text.contains("uop5b_jshopping_order_history"), qPrintable(rec.boxes[0].text));
  QCOMPARE(rec.boxes[0].title, QStringLiteral("Предупреждение"));
  QCOMPARE(rec.boxes[0].icon, msg::Icon::Critical);
  // The items of the new order are shown; the history grid still holds the last one's.
  QCOMPARE(w->MSFlexGrid3->rows(), 4);
  QCOMPARE(dataRows(w->MSFlexGrid2), (QList<QStringList>{{"1", "Пустой заказ", "02-04-2025 11:00:01"}}));
  QVERIFY(!ShopConnection && !ShopRecordset);
}

// ---- failures -------------------------------------------------------------------

void TestHistory::shopUnreachable() {
  QVERIFY(insertOrder(5001, 57, "2025-03-10 09:00:00", "100.5", 1));
  QVERIFY(insertOrder(5002, 57, "2025-03-11 09:00:00", "200", 1));
  QVERIFY(insertItem(5001, "А-1", "Товар", "100.5", "1"));
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  setRange(w, QDate(2025, 3, 10), QDate(2025, 3, 11));
  clickCell(w->MSFlexGrid1, rowOfOrder(w->MSFlexGrid1, "5001"), 2);
  QCOMPARE(w->MSFlexGrid3->rows(), 2);
  const auto orders = dataRows(w->MSFlexGrid1);
  QVERIFY(rec.boxes.empty());

  // Nobody listens on port 1 of the loopback.
  WriteSetting(SettingsPath, "connection", "shop_port", "1");
  QElapsedTimer t;
  t.start();
  w->Command2->click();
  QVERIFY2(t.elapsed() < 6000, "the refresh hung on the unreachable server");
  QCOMPARE(int(rec.boxes.size()), 1);
  QVERIFY(rec.boxes[0].text.startsWith(kErrorHead));
  QVERIFY(rec.boxes[0].text.size() > kErrorHead.size());
  QCOMPARE(rec.boxes[0].title, QStringLiteral("Предупреждение"));
  QCOMPARE(rec.boxes[0].icon, msg::Icon::Critical);
  QCOMPARE(LastErrorText, rec.boxes[0].text.mid(kErrorHead.size()));
  // Grids and total as they were.
  QCOMPARE(dataRows(w->MSFlexGrid1), orders);
  QCOMPARE(w->MSFlexGrid3->rows(), 2);
  QCOMPARE(w->Label3->text(), QStringLiteral("Сумма заказов :  300.5"));
  QVERIFY(!ShopConnection && !ShopRecordset);

  w->Command3->click();
  QCOMPARE(int(rec.boxes.size()), 2);
  QVERIFY(rec.boxes[1].text.startsWith(kErrorHead));
  clickCell(w->MSFlexGrid1, rowOfOrder(w->MSFlexGrid1, "5002"), 2);
  QCOMPARE(int(rec.boxes.size()), 3);
  QVERIFY(rec.boxes[2].text.startsWith(kErrorHead));
  QCOMPARE(w->MSFlexGrid3->rows(), 2);
  QCOMPARE(dataRows(w->MSFlexGrid1), orders);
  QVERIFY(t.elapsed() < 15000);

  // The window stays usable: back on the server, everything works again.
  pointToServer();
  w->Command2->click();
  QCOMPARE(int(rec.boxes.size()), 3);
  QCOMPARE(w->MSFlexGrid1->rows(), 3);
  QCOMPARE(w->MSFlexGrid3->rows(), 1);
  QVERIFY(w->isVisible());
}

// ---- window ---------------------------------------------------------------------

void TestHistory::resizeFormulas() {
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
  QVERIFY(sub);
  QVERIFY(sub->isMaximized());
  QCOMPARE(w->windowTitle(), QStringLiteral("Заказы"));

  // Controls where the designer put them.
  QCOMPARE(w->Command2->text(), QStringLiteral("Обновить"));
  QCOMPARE(w->Command3->text(), QStringLiteral("Все не закрытые заказы"));
  QVERIFY(!w->Command1->isVisible());
  QVERIFY(w->Command2->isVisible());
  QCOMPARE(w->Label2->text(), QStringLiteral("с"));
  QCOMPARE(w->Label1->text(), QStringLiteral("по"));
  QVERIFY(w->DTPicker1->calendarPopup());
  QCOMPARE(w->Command3->geometry(), twips::toPx(2280, 120, 2895, 375));
  QCOMPARE(w->DTPicker2->geometry(), twips::toPx(3000, 600, 1935, 375));
  QCOMPARE(w->Label3->geometry(), twips::toPx(5040, 600, 2415, 375));
  for (const char* name : {"Command1", "Command2", "Command3", "Label1", "Label2", "Label3", "DTPicker1", "DTPicker2",
                           "MSFlexGrid1", "MSFlexGrid2", "MSFlexGrid3"})
    QVERIFY2(w->findChild<QWidget*>(name), name);

  auto check = [&](const char* what) {
    const int W = twips::outerWidth(w);
    const int H = twips::outerHeight(w);
    QVERIFY2(W >= 9000 && H >= 5000, what);
    QCOMPARE(w->MSFlexGrid1->geometry(), QRect(twips::toPxX(120), twips::toPxY(1080), twips::toPxX(7335),
                                               twips::toPxY(H - 3180)));
    QCOMPARE(w->MSFlexGrid3->geometry(), QRect(twips::toPxX(7560), twips::toPxY(1080), twips::toPxX(W - 7965),
                                               twips::toPxY(H - 1860)));
    QCOMPARE(w->MSFlexGrid2->geometry(), QRect(twips::toPxX(120), twips::toPxY(H - 3180 + 1185), twips::toPxX(7335),
                                               twips::toPxY(1215)));
    QCOMPARE(w->Command2->geometry(), twips::toPx(120, 120, 2055, 375));
    QCOMPARE(w->DTPicker1->geometry(), twips::toPx(480, 600, 1935, 375));
  };
  check("maximized");

  sub->showNormal();
  sub->resize(twips::toPxX(12000), twips::toPxY(8000));
  QCOMPARE(twips::outerWidth(w), twips::fromPxX(twips::toPxX(12000)));
  check("12000 x 8000");
  QCOMPARE(w->MSFlexGrid1->height(), twips::toPxY(twips::outerHeight(w) - 3180));

  const QRect g1 = w->MSFlexGrid1->geometry(), g2 = w->MSFlexGrid2->geometry(), g3 = w->MSFlexGrid3->geometry();
  // Below either threshold nothing moves.
  sub->resize(twips::toPxX(8500), twips::toPxY(9000));
  QCOMPARE(w->MSFlexGrid1->geometry(), g1);
  QCOMPARE(w->MSFlexGrid2->geometry(), g2);
  QCOMPARE(w->MSFlexGrid3->geometry(), g3);
  sub->resize(twips::toPxX(14000), twips::toPxY(4500));
  QCOMPARE(w->MSFlexGrid1->geometry(), g1);
  QCOMPARE(w->MSFlexGrid3->geometry(), g3);
  // Enlarged again: the formulas.
  sub->resize(twips::toPxX(15000), twips::toPxY(10000));
  check("15000 x 10000");
  // The design size gives back the design layout.
  sub->resize(twips::toPxX(13140), twips::toPxY(7275));
  check("design");
  QVERIFY(rec.boxes.empty());
}

void TestHistory::windowBarButton() {
  msg::ScopedRecorder rec;
  frm_orders* w = openWindow();
  QVERIFY(w);
  main_->Orders_Click();
  QCOMPARE(main_->ordersWindow(), w);
  QCOMPARE(main_->BarCaptions().count("Заказы"), 1);
  QCOMPARE(w->RefreshCount, 1);  // bringing it forward does not reload
  main_->toolbar()->insertAction(main_->BarButton("Заказы"), new QAction(QStringLiteral("Прайс-лист"), main_->toolbar()));
  main_->toolbar()->addAction(QStringLiteral("Настройки"));
  const QStringList before = main_->BarCaptions();
  QCOMPARE(before, (QStringList{"Прайс-лист", "Заказы", "Настройки"}));
  QPointer<QWidget> sub = w->parentWidget();
  QVERIFY(sub);
  sub->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QStringList after = before;
  after.removeOne("Заказы");
  QCOMPARE(main_->BarCaptions(), after);
  QVERIFY(!main_->ordersWindow());
  QVERIFY(!sub);

  // Reopened, it gets its button back; closing removes only the first "Заказы".
  frm_orders* again = openWindow();
  QVERIFY(again);
  QCOMPARE(main_->BarCaptions().count("Заказы"), 1);
  main_->toolbar()->addAction(QStringLiteral("Заказы"));  // a second button with the same caption
  const QStringList two = main_->BarCaptions();
  QCOMPARE(two.count("Заказы"), 2);
  again->parentWidget()->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QStringList expected = two;
  expected.removeOne("Заказы");
  QCOMPARE(main_->BarCaptions(), expected);
  QCOMPARE(main_->BarCaptions().count("Заказы"), 1);
  QVERIFY(main_->BarCaptions().contains("Настройки"));
}

QTEST_MAIN(TestHistory)
#include "test_history.moc"
