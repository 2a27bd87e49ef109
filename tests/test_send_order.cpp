// Sending an order into the shop database: the order row with every column, its
// number, the item rows in name order, the questions and labels, and what is left
// behind when the send fails (nothing in the shop, every quantity in place).
// Runs against a private MariaDB server with the shop's strict-mode tables and a
// real price database file.
#include "fixtures/mariadb_server.h"
#include "fixtures/sample_data.h"
#include "price/FlexGrid.h"
#include "price/frm_price.h"
#include "shell/ProgramFolder.h"
#include "shell/conn_rs_comm.h"
#include "shell/frm_avtor.h"
#include "shell/frm_main.h"
#include "shell/ini.h"
#include "shell/messages.h"
#include "shell/numbers.h"
#include "shell/public_var.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace {

const QString kAppTitle = QStringLiteral("Программа заявок Варнокел");
const QString kAuthQuestion = QStringLiteral("Необходимо пройти авторизацию.Открыть окно авторизации?");
const QString kClearQuestion = QStringLiteral("Заказ отправлен успешно.Очистить текущий заказ?");
const QString kLastSeedOrder = QStringLiteral("1006");

// A name of 200 Cyrillic letters and blanks with quotes of every kind.
QString longName() {
  QString s = QStringLiteral("Набор «Дача» 'Премиум' \"XL\" ");
  while (s.size() < 200) s += QStringLiteral("ёлочная гирлянда ");
  return s.left(200);
}

}  // namespace

class TestSendOrder : public QObject {
  Q_OBJECT

private slots:
  void initTestCase();
  void init();
  void cleanup();

  void sendsThreeProductsWithEveryColumn();
  void clearingAnsweredNoKeepsEverything();
  void notAuthorizedAnsweredNoWritesNothing();
  void notAuthorizedAnsweredYesOpensAuthorization();
  void emptyOrderWritesNothing();
  void productWithTwoPicturesIsOneItem();
  void orderNumberOfEightAndMoreDigits();
  void decimalCommaLocale();
  void failureAfterOrderRowLeavesNothing();
  void failureWithMyIsamTablesIsCleanedUp();
  void connectionLostMidwayLeavesNothing_data();
  void connectionLostMidwayLeavesNothing();
  void serverDownBeforeSending();

private:
  using Fill = std::function<void(PriceDbBuilder&)>;
  frm_price* openProgram(const Fill& fill);
  void authorize(const QString& id = QStringLiteral("57"), const QString& login = QStringLiteral("\"ООО Ромашка\""));
  int rowOf(const QString& productId) const;
  void type(const QString& productId, const QString& keys);
  void toOrderView();
  QString one(const QString& sql);
  int orderCount() { return one(QStringLiteral("SELECT count(*) FROM uop5b_jshopping_orders")).toInt(); }
  int itemCount() { return one(QStringLiteral("SELECT count(*) FROM uop5b_jshopping_order_item")).toInt(); }
  QString newOrderId() { return one(QStringLiteral("SELECT max(order_id) FROM uop5b_jshopping_orders")); }
  QList<QStringList> priceRows(const QString& sql);
  void fillThree(PriceDbBuilder& b);
  void checkNothingSent(int ordersBefore, int itemsBefore);
  void checkQuantitiesKept();

  MariaDbServer server_;
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<frm_main> main_;
  std::unique_ptr<msg::ScopedRecorder> rec_;
  frm_price* w_ = nullptr;
};

void TestSendOrder::initTestCase() {
  QString err;
  QVERIFY2(server_.start(&err), qPrintable(err));
  // The server runs with its default strict mode; our sessions relax it.
  QVERIFY(one(QStringLiteral("SELECT @@GLOBAL.sql_mode")).contains(QStringLiteral("STRICT_TRANS_TABLES")));
}

void TestSendOrder::init() {
  QString err;
  QVERIFY2(server_.reloadSchema(&err), qPrintable(err));
  dir_ = std::make_unique<QTemporaryDir>();
  QVERIFY(dir_->isValid());
  SetProgramFolder(dir_->path());
  SetSettingsPath();
  CreateDefaultSettings();
  auto set = [](const char* key, const QString& value) {
    WriteSetting(SettingsPath, QStringLiteral("connection"), QLatin1String(key), value);
  };
  set("shop_host", server_.host());
  set("shop_port", QString::number(server_.port()));
  set("shop_database", server_.database());
  set("shop_user", server_.user());
  set("shop_password", server_.password());
  WriteSetting(SettingsPath, QStringLiteral("settings"), QStringLiteral("visiblesumm"), QStringLiteral("1"));
  rec_ = std::make_unique<msg::ScopedRecorder>();
}

void TestSendOrder::cleanup() {
  main_.reset();
  w_ = nullptr;
  rec_.reset();
  QLocale::setDefault(QLocale::c());
  dir_.reset();
}

frm_price* TestSendOrder::openProgram(const Fill& fill) {
  {
    PriceDbBuilder b(dir_->path() + QStringLiteral("/varnokel.mdb"));
    b.addCategory(1, QStringLiteral("Бакалея"));
    fill(b);
  }
  main_ = std::make_unique<frm_main>();
  main_->ShowStartupWindow();
  w_ = main_->priceWindow();
  return w_;
}

void TestSendOrder::authorize(const QString& id, const QString& login) {
  WriteSetting(SettingsPath, QStringLiteral("authentication"), QStringLiteral("id"), id);
  WriteSetting(SettingsPath, QStringLiteral("authentication"), QStringLiteral("login"), login);
}

int TestSendOrder::rowOf(const QString& productId) const {
  for (int r = 1; r < w_->MSFlexGrid1->rows(); ++r)
    if (w_->MSFlexGrid1->textMatrix(r, 0) == productId) return r;
  return -1;
}

void TestSendOrder::type(const QString& productId, const QString& keys) {
  const int r = rowOf(productId);
  QVERIFY2(r > 0, qPrintable(productId));
  w_->MSFlexGrid1->setRow(r);
  for (QChar c : keys) w_->MSFlexGrid1_KeyPress(c.unicode());
}

void TestSendOrder::toOrderView() {
  QVERIFY(ShowWholePrice);
  w_->Command1_Click();
  QVERIFY(!ShowWholePrice);
  QVERIFY(w_->Command4->isEnabled());
}

QString TestSendOrder::one(const QString& sql) {
  QString err;
  const auto rows = server_.query(sql, &err);
  if (!err.isEmpty()) qWarning() << sql << err;
  return rows.isEmpty() || rows.first().isEmpty() ? QString() : rows.first().first();
}

QList<QStringList> TestSendOrder::priceRows(const QString& sql) {
  QList<QStringList> rows;
  const QString name = QStringLiteral("send_order_check");
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(dir_->path() + QStringLiteral("/varnokel.mdb"));
    if (db.open()) {
      QSqlQuery q(db);
      if (q.exec(sql))
        while (q.next()) {
          QStringList row;
          for (int i = 0; i < q.record().count(); ++i) row << q.value(i).toString();
          rows << row;
        }
      else
        qWarning() << q.lastError().text();
    }
    db.close();
  }
  QSqlDatabase::removeDatabase(name);
  return rows;
}

// Three products ordered (and one not): a name with quotes of every kind, a
// fractional price, a long name; the products are stored out of name order.
void TestSendOrder::fillThree(PriceDbBuilder& b) {
  b.addProduct(QStringLiteral("303"), 1, QStringLiteral("АРТ-303"), 5, 1000.25, longName());
  b.addProduct(QStringLiteral("101"), 1, QStringLiteral("ЧАЙ-'101'"), 40, 150, QStringLiteral("Чай \"Весна\" 'Люкс' 100 г"));
  b.addProduct(QStringLiteral("202"), 1, QStringLiteral("KF-202"), 12, 12.5, QStringLiteral("Кофе молотый ёмкость 250 г"));
  b.addProduct(QStringLiteral("404"), 1, QStringLiteral("AB-404"), 7, 99, QStringLiteral("Абрикосы сушёные"));
}

void TestSendOrder::checkNothingSent(int ordersBefore, int itemsBefore) {
  QCOMPARE(orderCount(), ordersBefore);
  QCOMPARE(itemCount(), itemsBefore);
  QCOMPARE(newOrderId(), kLastSeedOrder);
  QCOMPARE(one(QStringLiteral("SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id > 1006")), QStringLiteral("0"));
}

void TestSendOrder::checkQuantitiesKept() {
  const auto rows = priceRows(QStringLiteral("SELECT product_id, order_count, order_summ FROM products WHERE order_count > 0 ORDER BY product_id"));
  QCOMPARE(rows.size(), 3);
  QCOMPARE(rows[0], (QStringList{QStringLiteral("101"), QStringLiteral("12"), QStringLiteral("1800")}));
  QCOMPARE(rows[1], (QStringList{QStringLiteral("202"), QStringLiteral("3"), QStringLiteral("37.5")}));
  QCOMPARE(rows[2], (QStringList{QStringLiteral("303"), QStringLiteral("2"), QStringLiteral("2000.5")}));
}

void TestSendOrder::sendsThreeProductsWithEveryColumn() {
  authorize(QStringLiteral("57"), QStringLiteral("\"ООО 'Ромашка' и \"Ко\"\""));
  openProgram([this](PriceDbBuilder& b) { fillThree(b); });
  QVERIFY(w_);
  type(QStringLiteral("101"), QStringLiteral("12"));
  type(QStringLiteral("202"), QStringLiteral("3"));
  type(QStringLiteral("303"), QStringLiteral("2"));
  toOrderView();
  QCOMPARE(w_->MSFlexGrid1->rows(), 4);

  // The server's general log shows each statement as prepared and as executed.
  QVERIFY(server_.exec(QStringLiteral("TRUNCATE TABLE mysql.general_log")));
  QVERIFY(server_.exec(QStringLiteral("SET GLOBAL log_output = 'TABLE'")));
  QVERIFY(server_.exec(QStringLiteral("SET GLOBAL general_log = 1")));
  rec_->answers = {msg::Answer::Yes};
  const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
  w_->Command4_Click();
  const QDateTime after = QDateTime::currentDateTime().addSecs(1);
  QVERIFY(server_.exec(QStringLiteral("SET GLOBAL general_log = 0")));
  const auto logged = server_.query(QStringLiteral(
      "SELECT command_type, argument FROM mysql.general_log WHERE argument LIKE 'insert into uop5b_jshopping_orders%' "
      "ORDER BY event_time"));
  QCOMPARE(logged.size(), 2);
  // Names and numbers are bound, not part of the statement text...
  QCOMPARE(logged[0][0], QStringLiteral("Prepare"));
  QVERIFY2(logged[0][1].contains(QStringLiteral("VALUES (?,?,?,")) && !logged[0][1].contains(QStringLiteral("Ромашка")),
           qPrintable(logged[0][1]));
  // ...and arrive with "." as decimal point and the date as yyyy-mm-dd h:mm:ss.
  QCOMPARE(logged[1][0], QStringLiteral("Execute"));
  const QString executed = logged[1][1];

  // Exactly one box: the clearing question.
  QCOMPARE(rec_->boxes.size(), size_t(1));
  QCOMPARE(rec_->boxes[0].text, kClearQuestion);
  QCOMPARE(rec_->boxes[0].icon, msg::Icon::Question);
  QVERIFY(rec_->boxes[0].yesNo);
  QCOMPARE(rec_->boxes[0].title, kAppTitle);
  QCOMPARE(w_->Label1->text(), QStringLiteral("Заказ отправлен"));

  // The order row, column by column.
  QCOMPARE(orderCount(), 7);
  const QString id = newOrderId();
  QVERIFY(id.toLongLong() > 1006);
  const auto order = server_.query(QStringLiteral(
      "SELECT order_number,user_id,order_total,order_subtotal,order_tax,order_shipping,order_payment,order_discount,"
      "shipping_tax,payment_tax,order_package,currency_code,currency_code_iso,currency_exchange,order_status,"
      "order_created,CAST(order_date AS CHAR),CAST(invoice_date AS CHAR),CAST(order_m_date AS CHAR),"
      "shipping_method_id,delivery_times_id,payment_method_id,CAST(delivery_date AS CHAR),coupon_id,title,f_name,"
      "client_type FROM uop5b_jshopping_orders WHERE order_id = ") + id);
  QCOMPARE(order.size(), 1);
  const QStringList& o = order[0];
  QCOMPARE(o[0], id.rightJustified(8, QLatin1Char('0')));
  QCOMPARE(o[0].size(), 8);
  QCOMPARE(o[1], QStringLiteral("57"));
  QCOMPARE(o[2], QStringLiteral("3838.0000"));  // 1800 + 37.5 + 2000.5
  QCOMPARE(o[3], QStringLiteral("3838.0000"));
  for (int i = 4; i <= 9; ++i) QCOMPARE(o[i], QStringLiteral("0.0000"));
  QCOMPARE(o[10], QStringLiteral("0.00"));
  QCOMPARE(o[11], QStringLiteral("руб."));
  QCOMPARE(o[12], QStringLiteral("RUB"));
  QCOMPARE(o[13], QStringLiteral("1.000000"));
  QCOMPARE(o[14], QStringLiteral("1"));
  QCOMPARE(o[15], QStringLiteral("0"));
  const QDateTime orderDate = QDateTime::fromString(o[16], QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  const QDateTime modifiedDate = QDateTime::fromString(o[18], QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  QVERIFY2(orderDate.isValid() && orderDate >= before && orderDate <= after, qPrintable(o[16]));
  QVERIFY2(modifiedDate.isValid() && modifiedDate >= orderDate && modifiedDate <= after, qPrintable(o[18]));
  QCOMPARE(o[17], QStringLiteral("0000-00-00 00:00:00"));
  const QString dateText = orderDate.toString(QStringLiteral("yyyy-MM-dd H:mm:ss"));
  QVERIFY2(executed.contains(QStringLiteral("'57','3838','3838','0.0000'")), qPrintable(executed));
  QVERIFY2(executed.contains(QStringLiteral("'1','0','") + dateText + QStringLiteral("','0000-00-00 00:00:00','")),
           qPrintable(executed));
  QCOMPARE(o[19], QStringLiteral("0"));
  QCOMPARE(o[20], QStringLiteral("0"));
  QCOMPARE(o[21], QStringLiteral("0"));
  QCOMPARE(o[22], QStringLiteral("0000-00-00 00:00:00"));
  QCOMPARE(o[23], QStringLiteral("0"));
  QCOMPARE(o[24], QStringLiteral("1"));
  QCOMPARE(o[25], QStringLiteral("ООО 'Ромашка' и \"Ко\""));
  QCOMPARE(o[26], QStringLiteral("0"));

  // The items, one per product, in name order.
  const auto items = server_.query(QStringLiteral(
      "SELECT order_id,product_id,product_ean,product_name,product_quantity,product_item_price,product_tax,files,"
      "weight,delivery_times_id,vendor_id,basicprice FROM uop5b_jshopping_order_item WHERE order_id = ") + id +
      QStringLiteral(" ORDER BY order_item_id"));
  QCOMPARE(items.size(), 3);
  const QStringList tail{QStringLiteral("0.0000"), QStringLiteral("a:0:{}"), QStringLiteral("0.0000"),
                         QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("0.00")};
  QCOMPARE(items[0], QStringList({id, QStringLiteral("202"), QStringLiteral("KF-202"),
                                  QStringLiteral("Кофе молотый ёмкость 250 г"), QStringLiteral("3.00"),
                                  QStringLiteral("12.5000")}) + tail);
  QCOMPARE(items[1], QStringList({id, QStringLiteral("303"), QStringLiteral("АРТ-303"), longName(),
                                  QStringLiteral("2.00"), QStringLiteral("1000.2500")}) + tail);
  QCOMPARE(items[2], QStringList({id, QStringLiteral("101"), QStringLiteral("ЧАЙ-'101'"),
                                  QStringLiteral("Чай \"Весна\" 'Люкс' 100 г"), QStringLiteral("12.00"),
                                  QStringLiteral("150.0000")}) + tail);
  QCOMPARE(itemCount(), one(QStringLiteral("SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id <= 1006")).toInt() + 3);

  // Cleared: the price database, the grid and the total.
  QCOMPARE(priceRows(QStringLiteral("SELECT count(*) FROM products WHERE order_count <> 0 OR order_summ <> 0"))[0][0],
           QStringLiteral("0"));
  QCOMPARE(w_->MSFlexGrid1->rows(), 1);
  QCOMPARE(w_->Label2->text(), QString());
  // The whole price view shows every quantity cell empty.
  w_->Command1_Click();
  QCOMPARE(w_->MSFlexGrid1->rows(), 5);
  const int qtyCol = w_->Check2->isChecked() ? 6 : 5;
  for (int r = 1; r < 5; ++r) QCOMPARE(w_->MSFlexGrid1->textMatrix(r, qtyCol), QString());
  // Sending again now finds an empty order.
  w_->Command1_Click();
  rec_->clear();
  w_->Command4_Click();
  QCOMPARE(w_->Label1->text(), QStringLiteral("Пустой заказ"));
  QCOMPARE(rec_->boxes.size(), size_t(0));
  QCOMPARE(orderCount(), 7);
}

void TestSendOrder::clearingAnsweredNoKeepsEverything() {
  authorize();
  openProgram([this](PriceDbBuilder& b) { fillThree(b); });
  type(QStringLiteral("101"), QStringLiteral("12"));
  type(QStringLiteral("202"), QStringLiteral("3"));
  type(QStringLiteral("303"), QStringLiteral("2"));
  toOrderView();
  const QString total = w_->Label2->text();
  QCOMPARE(total, QStringLiteral("Сумма заказа : 3838"));

  rec_->answers = {msg::Answer::No};
  w_->Command4_Click();
  QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
  QCOMPARE(w_->Label1->text(), QStringLiteral("Заказ отправлен"));
  QCOMPARE(w_->Label2->text(), total);
  QCOMPARE(w_->MSFlexGrid1->rows(), 4);
  checkQuantitiesKept();
  const QString first = newOrderId();
  QCOMPARE(one(QStringLiteral("SELECT f_name FROM uop5b_jshopping_orders WHERE order_id = ") + first),
           QStringLiteral("ООО Ромашка"));

  // Pressing again sends the same quantities as a new order.
  rec_->clear();
  rec_->answers = {msg::Answer::No};
  w_->Command4_Click();
  const QString second = newOrderId();
  QCOMPARE(second.toLongLong(), first.toLongLong() + 1);
  QCOMPARE(one(QStringLiteral("SELECT order_number FROM uop5b_jshopping_orders WHERE order_id = ") + second),
           second.rightJustified(8, QLatin1Char('0')));
  const QString items = QStringLiteral(
      "SELECT group_concat(concat(product_id,':',product_quantity,':',product_item_price) ORDER BY order_item_id) "
      "FROM uop5b_jshopping_order_item WHERE order_id = ");
  QCOMPARE(one(items + second), one(items + first));
  QCOMPARE(one(items + first), QStringLiteral("202:3.00:12.5000,303:2.00:1000.2500,101:12.00:150.0000"));
  checkQuantitiesKept();
}

void TestSendOrder::notAuthorizedAnsweredNoWritesNothing() {
  openProgram([this](PriceDbBuilder& b) { fillThree(b); });
  type(QStringLiteral("101"), QStringLiteral("12"));
  toOrderView();
  const int orders = orderCount(), items = itemCount();
  rec_->answers = {msg::Answer::No};
  w_->Command4_Click();
  QCOMPARE(rec_->boxes.size(), size_t(1));
  QCOMPARE(rec_->boxes[0].text, kAuthQuestion);
  QCOMPARE(rec_->boxes[0].icon, msg::Icon::Question);
  QVERIFY(rec_->boxes[0].yesNo);
  QCOMPARE(rec_->boxes[0].title, kAppTitle);
  QVERIFY(main_->findChildren<frm_avtor*>().isEmpty());
  QCOMPARE(orderCount(), orders);
  QCOMPARE(itemCount(), items);

  // A stored code without a name counts as not authorized too.
  WriteSetting(SettingsPath, QStringLiteral("authentication"), QStringLiteral("id"), QStringLiteral(" 57"));
  rec_->clear();
  rec_->answers = {msg::Answer::No};
  w_->Command4_Click();
  QCOMPARE(rec_->texts(), QStringList{kAuthQuestion});
  QCOMPARE(orderCount(), orders);
  QCOMPARE(priceRows(QStringLiteral("SELECT order_count FROM products WHERE product_id = '101'"))[0][0],
           QStringLiteral("12"));
}

void TestSendOrder::notAuthorizedAnsweredYesOpensAuthorization() {
  openProgram([this](PriceDbBuilder& b) { fillThree(b); });
  type(QStringLiteral("101"), QStringLiteral("12"));
  toOrderView();
  const int orders = orderCount();
  rec_->answers = {msg::Answer::Yes};
  w_->Command4_Click();
  QCOMPARE(rec_->texts(), QStringList{kAuthQuestion});
  const auto windows = main_->findChildren<frm_avtor*>();
  QCOMPARE(windows.size(), 1);
  QVERIFY(windows[0]->isVisible());
  QVERIFY(!windows[0]->isModal());
  QVERIFY(!QApplication::activeModalWidget());
  QCOMPARE(orderCount(), orders);
  windows[0]->close();
}

void TestSendOrder::emptyOrderWritesNothing() {
  authorize();
  openProgram([this](PriceDbBuilder& b) { fillThree(b); });
  const int orders = orderCount(), items = itemCount();
  toOrderView();
  QCOMPARE(w_->MSFlexGrid1->rows(), 1);
  w_->Command4_Click();
  QCOMPARE(w_->Label1->text(), QStringLiteral("Пустой заказ"));
  QCOMPARE(rec_->boxes.size(), size_t(0));
  checkNothingSent(orders, items);

  // A quantity typed and removed again leaves the order empty as well.
  w_->Command1_Click();
  type(QStringLiteral("101"), QStringLiteral("5\b"));
  w_->Command1_Click();
  w_->Command4_Click();
  QCOMPARE(w_->Label1->text(), QStringLiteral("Пустой заказ"));
  QCOMPARE(rec_->boxes.size(), size_t(0));
  checkNothingSent(orders, items);

  // A stored sum without a quantity is not an order either.
  priceRows(QStringLiteral("UPDATE products SET order_summ = 99 WHERE product_id = '404'"));
  QCOMPARE(priceRows(QStringLiteral("SELECT sum(order_summ) FROM products"))[0][0], QStringLiteral("99"));
  w_->Label1->clear();
  w_->Command4_Click();
  QCOMPARE(w_->Label1->text(), QStringLiteral("Пустой заказ"));
  QCOMPARE(rec_->boxes.size(), size_t(0));
  checkNothingSent(orders, items);
}

void TestSendOrder::productWithTwoPicturesIsOneItem() {
  authorize();
  openProgram([](PriceDbBuilder& b) {
    b.addProduct(QStringLiteral("501"), 1, QStringLiteral("P-501"), 3, 250, QStringLiteral("Ваза с двумя фото"));
    b.addProduct(QStringLiteral("502"), 1, QStringLiteral("P-502"), 3, 10, QStringLiteral("Блокнот"));
    b.addImage(QStringLiteral("501"), PriceDbBuilder::jpeg(40, 30, Qt::red), QStringLiteral("vaza1.jpg"));
    b.addImage(QStringLiteral("501"), PriceDbBuilder::jpeg(40, 30, Qt::blue), QStringLiteral("vaza2.jpg"));
    b.addImage(QStringLiteral("502"), PriceDbBuilder::jpeg(40, 30, Qt::green), QStringLiteral("bloknot.jpg"));
    // A product without an article still goes in (as an empty text).
    b.exec(QStringLiteral("UPDATE products SET product_ean = NULL WHERE product_id = '502'"));
  });
  // With thumbnails in the rows the vase shows twice; type on one of its rows.
  w_->Check2->setChecked(true);
  w_->Check2_Click();
  type(QStringLiteral("501"), QStringLiteral("4"));
  type(QStringLiteral("502"), QStringLiteral("1"));
  toOrderView();
  QCOMPARE(w_->MSFlexGrid1->rows(), 4);  // header, the vase twice, the notebook
  rec_->answers = {msg::Answer::No};
  w_->Command4_Click();
  QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
  const QString id = newOrderId();
  QCOMPARE(one(QStringLiteral("SELECT group_concat(concat(product_id,'x',product_quantity,'[',product_ean,']') "
                              "ORDER BY order_item_id) FROM uop5b_jshopping_order_item WHERE order_id = ") + id),
           QStringLiteral("502x1.00[],501x4.00[P-501]"));
  QCOMPARE(one(QStringLiteral("SELECT order_total FROM uop5b_jshopping_orders WHERE order_id = ") + id),
           QStringLiteral("1010.0000"));
}

void TestSendOrder::orderNumberOfEightAndMoreDigits() {
  authorize();
  openProgram([this](PriceDbBuilder& b) { fillThree(b); });
  type(QStringLiteral("202"), QStringLiteral("1"));
  toOrderView();
  QVERIFY(server_.exec(QStringLiteral("ALTER TABLE uop5b_jshopping_orders AUTO_INCREMENT = 12345678")));
  rec_->answers = {msg::Answer::No};
  w_->Command4_Click();
  QCOMPARE(newOrderId(), QStringLiteral("12345678"));
  QCOMPARE(one(QStringLiteral("SELECT order_number FROM uop5b_jshopping_orders WHERE order_id = 12345678")),
           QStringLiteral("12345678"));
  // Longer ids keep their own digits.
  QVERIFY(server_.exec(QStringLiteral("ALTER TABLE uop5b_jshopping_orders AUTO_INCREMENT = 1234567890")));
  rec_->answers = {msg::Answer::No};
  w_->Command4_Click();
  QCOMPARE(newOrderId(), QStringLiteral("1234567890"));
  QCOMPARE(one(QStringLiteral("SELECT order_number FROM uop5b_jshopping_orders WHERE order_id = 1234567890")),
           QStringLiteral("1234567890"));
  QCOMPARE(one(QStringLiteral("SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id = 1234567890")),
           QStringLiteral("1"));
}

void TestSendOrder::decimalCommaLocale() {
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  authorize();
  openProgram([](PriceDbBuilder& b) {
    b.addProduct(QStringLiteral("202"), 1, QStringLiteral("KF-202"), 12, 12.5, QStringLiteral("Кофе молотый"));
    b.addProduct(QStringLiteral("203"), 1, QStringLiteral("KF-203"), 12, 0.35, QStringLiteral("Пакет"));
  });
  type(QStringLiteral("202"), QStringLiteral("3"));
  type(QStringLiteral("203"), QStringLiteral("3"));
  const int sumCol = w_->Check2->isChecked() ? 7 : 6;
  QCOMPARE(w_->MSFlexGrid1->textMatrix(rowOf(QStringLiteral("202")), sumCol), QStringLiteral("37,5"));
  toOrderView();
  rec_->answers = {msg::Answer::No};
  w_->Command4_Click();
  QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
  const QString id = newOrderId();
  QCOMPARE(one(QStringLiteral("SELECT concat(order_total,'|',order_subtotal) FROM uop5b_jshopping_orders WHERE order_id = ") + id),
           QStringLiteral("38.5500|38.5500"));
  QCOMPARE(one(QStringLiteral("SELECT group_concat(concat(product_quantity,'x',product_item_price) ORDER BY order_item_id) "
                              "FROM uop5b_jshopping_order_item WHERE order_id = ") + id),
           QStringLiteral("3.00x12.5000,3.00x0.3500"));
}

void TestSendOrder::failureAfterOrderRowLeavesNothing() {
  authorize();
  openProgram([this](PriceDbBuilder& b) { fillThree(b); });
  type(QStringLiteral("101"), QStringLiteral("12"));
  type(QStringLiteral("202"), QStringLiteral("3"));
  type(QStringLiteral("303"), QStringLiteral("2"));
  toOrderView();
  // The last item (in name order) is rejected by the item table.
  QString err;
  QVERIFY2(server_.exec(QStringLiteral("ALTER TABLE uop5b_jshopping_order_item ADD CONSTRAINT no_tea "
                                       "CHECK (product_ean <> 'ЧАЙ-''101''')"), &err), qPrintable(err));
  const int orders = orderCount(), items = itemCount();
  w_->Command4_Click();
  QCOMPARE(rec_->boxes.size(), size_t(1));
  const msg::Box& box = rec_->boxes[0];
  QCOMPARE(box.icon, msg::Icon::Critical);
  QCOMPARE(box.title, QStringLiteral("Предупреждение"));
  QVERIFY2(box.text.startsWith(QStringLiteral("Произошла ошибка при запросе\r")), qPrintable(box.text));
  QVERIFY2(box.text.contains(QStringLiteral("no_tea")), qPrintable(box.text));
  QVERIFY2(box.text.endsWith(QStringLiteral("\r") + num::invariant(LastErrorNumber)), qPrintable(box.text));
  QCOMPARE(LastErrorNumber, 4025L);
  checkNothingSent(orders, items);
  QCOMPARE(one(QStringLiteral("SELECT count(*) FROM uop5b_jshopping_orders WHERE order_number = ''")), QStringLiteral("0"));
  checkQuantitiesKept();
  QCOMPARE(w_->MSFlexGrid1->rows(), 4);
  QCOMPARE(w_->Label2->text(), QStringLiteral("Сумма заказа : 3838"));
  QVERIFY(w_->Label1->text() != QStringLiteral("Заказ отправлен"));

  // Once the table accepts the items, the same quantities go through.
  QVERIFY(server_.exec(QStringLiteral("ALTER TABLE uop5b_jshopping_order_item DROP CONSTRAINT no_tea")));
  rec_->clear();
  rec_->answers = {msg::Answer::No};
  w_->Command4_Click();
  QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
  QCOMPARE(orderCount(), orders + 1);
  QCOMPARE(itemCount(), items + 3);
}

void TestSendOrder::failureWithMyIsamTablesIsCleanedUp() {
  authorize();
  openProgram([this](PriceDbBuilder& b) { fillThree(b); });
  type(QStringLiteral("101"), QStringLiteral("12"));
  type(QStringLiteral("202"), QStringLiteral("3"));
  type(QStringLiteral("303"), QStringLiteral("2"));
  toOrderView();
  QString err;
  QVERIFY2(server_.exec(QStringLiteral("ALTER TABLE uop5b_jshopping_orders ENGINE=MyISAM"), &err), qPrintable(err));
  QVERIFY2(server_.exec(QStringLiteral("ALTER TABLE uop5b_jshopping_order_item ENGINE=MyISAM"), &err), qPrintable(err));
  QCOMPARE(one(QStringLiteral("SELECT group_concat(ENGINE) FROM information_schema.TABLES WHERE TABLE_SCHEMA = "
                              "'zorvik_vrnk_db' AND TABLE_NAME IN ('uop5b_jshopping_orders','uop5b_jshopping_order_item')")),
           QStringLiteral("MyISAM,MyISAM"));
  // The third item fails after the first two went in: MyISAM keeps them.
  QVERIFY2(server_.exec(QStringLiteral("ALTER TABLE uop5b_jshopping_order_item ADD CONSTRAINT no_tea "
                                       "CHECK (product_ean <> 'ЧАЙ-''101''')"), &err), qPrintable(err));
  // Shows that the table really cannot roll back the first rows of a statement.
  {
    QVERIFY(server_.exec(QStringLiteral("SET SESSION sql_mode = 'NO_ENGINE_SUBSTITUTION'")));
    QVERIFY(!server_.exec(QStringLiteral("INSERT INTO uop5b_jshopping_order_item (order_id,product_id,product_ean,product_name) "
                                         "VALUES (999999,1,'x','x'),(999999,2,'ЧАЙ-''101''','y')")));
    QCOMPARE(one(QStringLiteral("SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id = 999999")), QStringLiteral("1"));
    QVERIFY(server_.exec(QStringLiteral("DELETE FROM uop5b_jshopping_order_item WHERE order_id = 999999")));
    QVERIFY(server_.exec(QStringLiteral("SET SESSION sql_mode = DEFAULT")));
  }
  const int orders = orderCount(), items = itemCount();
  w_->Command4_Click();
  QCOMPARE(rec_->boxes.size(), size_t(1));
  QCOMPARE(rec_->boxes[0].icon, msg::Icon::Critical);
  QCOMPARE(rec_->boxes[0].title, QStringLiteral("Предупреждение"));
  QVERIFY2(rec_->boxes[0].text.startsWith(QStringLiteral("Произошла ошибка при запросе\r")), qPrintable(rec_->boxes[0].text));
  QVERIFY2(rec_->boxes[0].text.endsWith(QStringLiteral("\r 4025")), qPrintable(rec_->boxes[0].text));
  QCOMPARE(orderCount(), orders);
  QCOMPARE(itemCount(), items);
  QCOMPARE(one(QStringLiteral("SELECT count(*) FROM uop5b_jshopping_orders WHERE order_id > 1006")), QStringLiteral("0"));
  QCOMPARE(one(QStringLiteral("SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id > 1006")), QStringLiteral("0"));
  checkQuantitiesKept();
  QCOMPARE(w_->MSFlexGrid1->rows(), 4);
}

// The shop connection is cut while the items are being written (the item table
// is made slow by a trigger, and a root session kills the program's connection).
// With MyISAM tables the order row stays behind the lost session and is removed
// over a new connection.
void TestSendOrder::connectionLostMidwayLeavesNothing_data() {
  QTest::addColumn<QString>("engine");
  QTest::newRow("InnoDB") << QStringLiteral("InnoDB");
  QTest::newRow("MyISAM") << QStringLiteral("MyISAM");
}

void TestSendOrder::connectionLostMidwayLeavesNothing() {
  QFETCH(QString, engine);
  QVERIFY(server_.exec(QStringLiteral("ALTER TABLE uop5b_jshopping_orders ENGINE=") + engine));
  QVERIFY(server_.exec(QStringLiteral("ALTER TABLE uop5b_jshopping_order_item ENGINE=") + engine));
  authorize();
  openProgram([this](PriceDbBuilder& b) { fillThree(b); });
  type(QStringLiteral("101"), QStringLiteral("12"));
  type(QStringLiteral("202"), QStringLiteral("3"));
  type(QStringLiteral("303"), QStringLiteral("2"));
  toOrderView();
  QString err;
  QVERIFY2(server_.exec(QStringLiteral("CREATE TRIGGER slow_items BEFORE INSERT ON uop5b_jshopping_order_item "
                                       "FOR EACH ROW SET @pause = SLEEP(2)"), &err), qPrintable(err));
  const int orders = orderCount(), items = itemCount();

  std::atomic<bool> killed{false};
  const QString host = server_.host();
  const int port = server_.port();
  std::thread killer([&] {
    const QString name = QStringLiteral("send_order_killer");
    {
      QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMARIADB"), name);
      db.setHostName(host);
      db.setPort(port);
      db.setUserName(QStringLiteral("root"));
      if (db.open()) {
        QElapsedTimer t;
        t.start();
        while (!killed && t.elapsed() < 15000) {
          QSqlQuery q(db);
          // (Inside the trigger the session runs as the trigger's definer.)
          q.exec(QStringLiteral("SELECT id FROM information_schema.PROCESSLIST WHERE id <> CONNECTION_ID() "
                                "AND (info LIKE 'INSERT INTO uop5b_jshopping_order_item%' OR info = 'SET @pause = SLEEP(2)')"));
          if (q.next()) {
            QSqlQuery k(db);
            killed = k.exec(QStringLiteral("KILL CONNECTION ") + q.value(0).toString());
          } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
          }
        }
        db.close();
      } else {
        qWarning() << "killer cannot connect:" << db.lastError().text();
      }
    }
    QSqlDatabase::removeDatabase(name);
  });
  w_->Command4_Click();
  killer.join();
  QVERIFY(killed);
  QVERIFY(server_.exec(QStringLiteral("DROP TRIGGER slow_items")));

  QCOMPARE(rec_->boxes.size(), size_t(1));
  QCOMPARE(rec_->boxes[0].icon, msg::Icon::Critical);
  QVERIFY2(rec_->boxes[0].text.startsWith(QStringLiteral("Произошла ошибка при запросе\r")), qPrintable(rec_->boxes[0].text));
  QVERIFY2(rec_->boxes[0].text.endsWith(QStringLiteral("\r") + num::invariant(LastErrorNumber)), qPrintable(rec_->boxes[0].text));
  // The server rolls back the killed session's work.
  QTRY_COMPARE_WITH_TIMEOUT(orderCount(), orders, 10000);
  checkNothingSent(orders, items);
  checkQuantitiesKept();
}

void TestSendOrder::serverDownBeforeSending() {
  authorize();
  openProgram([this](PriceDbBuilder& b) { fillThree(b); });
  type(QStringLiteral("101"), QStringLiteral("12"));
  type(QStringLiteral("202"), QStringLiteral("3"));
  type(QStringLiteral("303"), QStringLiteral("2"));
  toOrderView();
  server_.kill();
  w_->Command4_Click();
  QCOMPARE(rec_->boxes.size(), size_t(1));
  const msg::Box& box = rec_->boxes[0];
  QCOMPARE(box.icon, msg::Icon::Critical);
  QCOMPARE(box.title, QStringLiteral("Предупреждение"));
  QVERIFY2(box.text.startsWith(QStringLiteral("Произошла ошибка при запросе\r")), qPrintable(box.text));
  QVERIFY(LastErrorNumber > 0);
  QVERIFY2(box.text.endsWith(QStringLiteral("\r") + num::invariant(LastErrorNumber)), qPrintable(box.text));
  checkQuantitiesKept();
  QCOMPARE(w_->MSFlexGrid1->rows(), 4);
  QCOMPARE(w_->Label2->text(), QStringLiteral("Сумма заказа : 3838"));
}

QTEST_MAIN(TestSendOrder)
#include "test_send_order.moc"
