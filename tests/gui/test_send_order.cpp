// Sending an order into the shop database (a private MariaDB server with strict
// mode, a real price database file): the order row, its number, the item rows,
// the questions, and what a failed send leaves behind.
#include "fixtures/mariadb_server.h"
#include "fixtures/sample_data.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceWindow.h"
#include "base/ProgramFolder.h"
#include "gui/settings/AuthorizationDialog.h"
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "gui/common/MessageBoxes.h"
#include "base/Numbers.h"
#include "base/Settings.h"

#include <QtSql>
#include "support/Widgets.h"

#include <QRegularExpression>
#include <QtTest>
#include <QtWidgets>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

const QString kAuthQuestion = u"Необходимо пройти авторизацию.Открыть окно авторизации?"_s;
const QString kClearQuestion = u"Заказ отправлен успешно.Очистить текущий заказ?"_s;
const QString kItemsOf = u"SELECT group_concat(concat(product_id,':',product_quantity,':',product_item_price,':',"
                         u"ifnull(product_ean,'')) ORDER BY order_item_id) FROM uop5b_jshopping_order_item WHERE order_id = "_s;

// 200 characters: Cyrillic letters and quotes of every kind.
QString longName() {
  QString s = u"Набор «Дача» 'Премиум' \"XL\" "_s;
  while (s.size() < 200) s += u"ёлочная гирлянда "_s;
  return s.left(200);
}

}  // namespace

class TestSendOrder : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    QString err;
    QVERIFY2(server_.start(&err), qPrintable(err));
    QVERIFY(one(u"SELECT @@GLOBAL.sql_mode"_s).contains(u"STRICT_TRANS_TABLES"_s));
  }
  void init();
  void cleanup() {
    main_.reset();
    w_ = nullptr;
    rec_.reset();
    QLocale::setDefault(QLocale::c());
    dir_.reset();
  }

  void sendsThreeProductsWithEveryColumn();
  void clearingAnsweredNoKeepsEverything();
  void notAuthorized_data();
  void notAuthorized();
  void emptyOrderWritesNothing();
  void productWithTwoPicturesIsOneItem();
  void longOrderNumbers();
  void decimalCommaLocale();
  void failureLeavesNothing_data();
  void failureLeavesNothing();
  void serverDownBeforeSending();  // last: the server stays down

private:
  void openProgram(const std::function<void(PriceDbBuilder&)>& fill);
  void orderThree();
  void authorize(const QString& id = u"57"_s, const QString& login = u"\"ООО Ромашка\""_s) {
    WriteSetting(settings::path(), u"authentication"_s, u"id"_s, id);
    WriteSetting(settings::path(), u"authentication"_s, u"login"_s, login);
  }
  int rowOf(const QString& productId) const {
    for (int r = 1; r < child<FlexGrid>(w_, "MSFlexGrid1")->rows(); ++r)
      if (child<FlexGrid>(w_, "MSFlexGrid1")->textMatrix(r, 0) == productId) return r;
    return -1;
  }
  void type(const QString& productId, const QString& keys) {
    QVERIFY2(rowOf(productId) > 0, qPrintable(productId));
    child<FlexGrid>(w_, "MSFlexGrid1")->setRow(rowOf(productId));
    for (QChar c : keys) w_->typeOnGrid(c.unicode());
  }
  void toOrderView() {
    w_->switchOrderView();
    QVERIFY(!w_->showsWholePrice() && child<QPushButton>(w_, "Command4")->isEnabled());
  }
  void send(msg::Answer answer) {
    rec_->clear();
    rec_->answers = {answer};
    w_->sendOrder();
  }
  QString one(const QString& sql) {
    QString err;
    const auto rows = server_.query(sql, &err);
    if (!err.isEmpty()) qWarning() << sql << err;
    return rows.isEmpty() || rows.first().isEmpty() ? QString() : rows.first().first();
  }
  int orderCount() { return one(u"SELECT count(*) FROM uop5b_jshopping_orders"_s).toInt(); }
  int itemCount() { return one(u"SELECT count(*) FROM uop5b_jshopping_order_item"_s).toInt(); }
  QString newOrderId() { return one(u"SELECT max(order_id) FROM uop5b_jshopping_orders"_s); }
  QString price(const QString& sql);
  void checkErrorBox();
  void checkNothingSent(int ordersBefore, int itemsBefore) {
    QCOMPARE(orderCount(), ordersBefore);
    QCOMPARE(itemCount(), itemsBefore);
    QCOMPARE(newOrderId(), u"1006"_s);  // the last order of the sample data
  }
  void checkQuantitiesKept() {
    QCOMPARE(price(u"SELECT product_id, order_count, order_summ FROM products WHERE order_count > 0 ORDER BY product_id"_s),
             u"101:12:1800,202:3:37.5,303:2:2000.5"_s);
    QCOMPARE(child<FlexGrid>(w_, "MSFlexGrid1")->rows(), 4);
    QCOMPARE(child<QLabel>(w_, "Label2")->text(), u"Сумма заказа : 3838"_s);
  }

  MariaDbServer server_;
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<msg::ScopedRecorder> rec_;
  PriceWindow* w_ = nullptr;
};

void TestSendOrder::init() {
  QString err;
  QVERIFY2(server_.reloadSchema(&err), qPrintable(err));
  dir_ = std::make_unique<QTemporaryDir>();
  QVERIFY(dir_->isValid());
  SetProgramFolder(dir_->path());
  settings::createDefault();
  const QList<std::pair<QString, QString>> connection{
      {u"shop_host"_s, server_.host()}, {u"shop_port"_s, QString::number(server_.port())},
      {u"shop_database"_s, server_.database()}, {u"shop_user"_s, server_.user()}, {u"shop_password"_s, server_.password()}};
  for (const auto& [key, value] : connection) WriteSetting(settings::path(), u"connection"_s, key, value);
  WriteSetting(settings::path(), u"settings"_s, u"visiblesumm"_s, u"1"_s);
  rec_ = std::make_unique<msg::ScopedRecorder>();
}

void TestSendOrder::openProgram(const std::function<void(PriceDbBuilder&)>& fill) {
  {
    PriceDbBuilder b(dir_->path() + u"/varnokel.mdb"_s);
    b.addCategory(1, u"Бакалея"_s);
    fill(b);
  }
  main_ = std::make_unique<MainWindow>();
  main_->ShowStartupWindow();
  w_ = main_->priceWindow();
  QVERIFY(w_);
}

// Four products stored out of name order, three of them ordered: 12 x 150,
// 3 x 12.5, 2 x 1000.25 (total 3838).
void TestSendOrder::orderThree() {
  openProgram([](PriceDbBuilder& b) {
    b.addProduct(u"303"_s, 1, u"АРТ-303"_s, 5, 1000.25, longName());
    b.addProduct(u"101"_s, 1, u"ЧАЙ-'101'"_s, 40, 150, u"Чай \"Весна\" 'Люкс' 100 г"_s);
    b.addProduct(u"202"_s, 1, u"KF-202"_s, 12, 12.5, u"Кофе молотый ёмкость 250 г"_s);
    b.addProduct(u"404"_s, 1, u"AB-404"_s, 7, 99, u"Абрикосы сушёные"_s);
  });
  type(u"101"_s, u"12"_s);
  type(u"202"_s, u"3"_s);
  type(u"303"_s, u"2"_s);
  toOrderView();
}

// A query on the price database: values joined by ':', rows by ','.
QString TestSendOrder::price(const QString& sql) {
  QStringList rows;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"send_order_check"_s);
    db.setDatabaseName(dir_->path() + u"/varnokel.mdb"_s);
    QSqlQuery q(db);
    if (!db.open() || !q.exec(sql)) qWarning() << sql << q.lastError().text();
    while (q.next()) {
      QStringList row;
      for (int i = 0; i < q.record().count(); ++i) row << q.value(i).toString();
      rows << row.join(u':');
    }
  }
  QSqlDatabase::removeDatabase(u"send_order_check"_s);
  return rows.join(u',');
}

void TestSendOrder::checkErrorBox() {
  QCOMPARE(rec_->boxes.size(), size_t(1));
  const msg::Box& box = rec_->boxes[0];
  QCOMPARE(box.icon, msg::Icon::Critical);
  QCOMPARE(box.title, u"Предупреждение"_s);
  // What happened, whether the order is in the shop, then the server's text and number.
  QVERIFY2(box.text.startsWith(u"Заказ не отправлен: "_s) && QRegularExpression(u"\\(\\d+\\)$"_s).match(box.text).hasMatch(),
           qPrintable(box.text));
}

void TestSendOrder::sendsThreeProductsWithEveryColumn() {
  authorize(u"57"_s, u"\"ООО 'Ромашка' и \"Ко\"\""_s);
  orderThree();
  const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
  send(msg::Answer::Yes);
  const QDateTime after = QDateTime::currentDateTime().addSecs(1);
  QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
  QCOMPARE(child<QLabel>(w_, "Label1")->text(), u"Заказ отправлен"_s);

  // The order row, every column; the number is the id padded to 8 digits.
  const QString id = newOrderId();
  QCOMPARE(one(u"SELECT concat_ws('|',order_number,user_id,order_total,order_subtotal,order_tax,order_shipping,"
               u"order_payment,order_discount,shipping_tax,payment_tax,order_package,currency_code,currency_code_iso,"
               u"currency_exchange,order_status,order_created,invoice_date,shipping_method_id,delivery_times_id,"
               u"payment_method_id,delivery_date,coupon_id,title,client_type,f_name) FROM uop5b_jshopping_orders "
               u"WHERE order_id = "_s + id),
           id.rightJustified(8, u'0') + u"|57|3838.0000|3838.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.00|руб.|"
                                        u"RUB|1.000000|1|0|0000-00-00 00:00:00|0|0|0|0000-00-00 00:00:00|0|1|0|"
                                        u"ООО 'Ромашка' и \"Ко\""_s);
  // The dates of now, as yyyy-mm-dd hh:mm:ss.
  const auto dates = server_.query(u"SELECT CAST(order_date AS CHAR), CAST(order_m_date AS CHAR) "
                                   u"FROM uop5b_jshopping_orders WHERE order_id = "_s + id)[0];
  const QDateTime orderDate = QDateTime::fromString(dates[0], u"yyyy-MM-dd HH:mm:ss"_s);
  const QDateTime modified = QDateTime::fromString(dates[1], u"yyyy-MM-dd HH:mm:ss"_s);
  QVERIFY2(orderDate >= before && orderDate <= after, qPrintable(dates[0]));
  QVERIFY2(modified >= orderDate && modified <= after, qPrintable(dates[1]));

  // The items, one per product, in name order.
  const auto items = server_.query(u"SELECT order_id,product_id,product_ean,product_name,product_quantity,"
                                   u"product_item_price,product_tax,files,weight,delivery_times_id,vendor_id,basicprice "
                                   u"FROM uop5b_jshopping_order_item WHERE order_id = "_s + id + u" ORDER BY order_item_id"_s);
  QCOMPARE(items.size(), 3);
  const QStringList tail{u"0.0000"_s, u"a:0:{}"_s, u"0.0000"_s, u"0"_s, u"1"_s, u"0.00"_s};
  QCOMPARE(items[0], QStringList({id, u"202"_s, u"KF-202"_s, u"Кофе молотый ёмкость 250 г"_s, u"3.00"_s, u"12.5000"_s}) + tail);
  QCOMPARE(items[1], QStringList({id, u"303"_s, u"АРТ-303"_s, longName(), u"2.00"_s, u"1000.2500"_s}) + tail);
  QCOMPARE(items[2], QStringList({id, u"101"_s, u"ЧАЙ-'101'"_s, u"Чай \"Весна\" 'Люкс' 100 г"_s, u"12.00"_s, u"150.0000"_s}) + tail);

  // Cleared: the price database, the grid, the total, the whole price view.
  QCOMPARE(price(u"SELECT count(*) FROM products WHERE order_count <> 0 OR order_summ <> 0"_s), u"0"_s);
  QCOMPARE(child<FlexGrid>(w_, "MSFlexGrid1")->rows(), 1);
  QCOMPARE(child<QLabel>(w_, "Label2")->text(), QString());
  w_->switchOrderView();
  QCOMPARE(child<FlexGrid>(w_, "MSFlexGrid1")->rows(), 5);
  const int qtyCol = child<QCheckBox>(w_, "Check2")->isChecked() ? 6 : 5;
  for (int r = 1; r < 5; ++r) QCOMPARE(child<FlexGrid>(w_, "MSFlexGrid1")->textMatrix(r, qtyCol), QString());
}

void TestSendOrder::clearingAnsweredNoKeepsEverything() {
  authorize();
  orderThree();
  send(msg::Answer::No);
  QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
  QCOMPARE(child<QLabel>(w_, "Label1")->text(), u"Заказ отправлен"_s);
  checkQuantitiesKept();
  const QString first = newOrderId();
  QCOMPARE(one(kItemsOf + first), u"202:3.00:12.5000:KF-202,303:2.00:1000.2500:АРТ-303,101:12.00:150.0000:ЧАЙ-'101'"_s);

  // Pressing again sends the same quantities as a new order.
  send(msg::Answer::No);
  const QString second = newOrderId();
  QCOMPARE(second.toLongLong(), first.toLongLong() + 1);
  QCOMPARE(one(kItemsOf + second), one(kItemsOf + first));
  checkQuantitiesKept();
}

// No code stored, or a code without a name: the question; Yes opens the window (not modal).
void TestSendOrder::notAuthorized_data() {
  QTest::addColumn<QString>("id");
  QTest::addColumn<bool>("yes");
  QTest::newRow("nothing stored, No") << QString() << false;
  QTest::newRow("code without name, No") << u" 57"_s << false;
  QTest::newRow("nothing stored, Yes") << QString() << true;
}

void TestSendOrder::notAuthorized() {
  QFETCH(QString, id);
  QFETCH(bool, yes);
  if (!id.isEmpty()) WriteSetting(settings::path(), u"authentication"_s, u"id"_s, id);
  orderThree();
  const int orders = orderCount(), items = itemCount();
  send(yes ? msg::Answer::Yes : msg::Answer::No);
  QCOMPARE(rec_->texts(), QStringList{kAuthQuestion});
  QVERIFY(rec_->boxes[0].yesNo);
  const auto windows = main_->findChildren<AuthorizationDialog*>();
  QCOMPARE(windows.size(), yes ? 1 : 0);
  if (yes) {
    QVERIFY(windows[0]->isVisible() && !windows[0]->isModal());
    windows[0]->close();
  }
  checkNothingSent(orders, items);
  checkQuantitiesKept();
}

void TestSendOrder::emptyOrderWritesNothing() {
  authorize();
  openProgram([](PriceDbBuilder& b) {
    b.addProduct(u"101"_s, 1, u"ЧАЙ-101"_s, 40, 150, u"Чай"_s);
    b.addProduct(u"404"_s, 1, u"AB-404"_s, 7, 99, u"Абрикосы"_s);
  });
  const int orders = orderCount(), items = itemCount();
  auto sendEmpty = [&] {
    child<QLabel>(w_, "Label1")->clear();
    w_->sendOrder();
    QCOMPARE(child<QLabel>(w_, "Label1")->text(), u"Пустой заказ"_s);
    QCOMPARE(rec_->boxes.size(), size_t(0));
    checkNothingSent(orders, items);
  };
  toOrderView();
  sendEmpty();
  // A quantity typed and removed again.
  w_->switchOrderView();
  type(u"101"_s, u"5\b"_s);
  toOrderView();
  sendEmpty();
  // A stored sum without a quantity.
  price(u"UPDATE products SET order_summ = 99 WHERE product_id = '404'"_s);
  QCOMPARE(price(u"SELECT sum(order_summ) FROM products"_s), u"99"_s);
  sendEmpty();
}

void TestSendOrder::productWithTwoPicturesIsOneItem() {
  authorize();
  openProgram([](PriceDbBuilder& b) {
    b.addProduct(u"501"_s, 1, u"P-501"_s, 3, 250, u"Ваза с двумя фото"_s);
    b.addProduct(u"502"_s, 1, u"P-502"_s, 3, 10, u"Блокнот"_s);
    b.addImage(u"501"_s, PriceDbBuilder::jpeg(40, 30, Qt::red), u"vaza1.jpg"_s);
    b.addImage(u"501"_s, PriceDbBuilder::jpeg(40, 30, Qt::blue), u"vaza2.jpg"_s);
    b.addImage(u"502"_s, PriceDbBuilder::jpeg(40, 30, Qt::green), u"bloknot.jpg"_s);
    b.exec(u"UPDATE products SET product_ean = NULL WHERE product_id = '502'"_s);  // goes in as ''
  });
  // With thumbnails in the rows the vase shows twice.
  child<QCheckBox>(w_, "Check2")->setChecked(true);
  w_->toggleThumbnails();
  type(u"501"_s, u"4"_s);
  type(u"502"_s, u"1"_s);
  toOrderView();
  QCOMPARE(child<FlexGrid>(w_, "MSFlexGrid1")->rows(), 4);
  send(msg::Answer::No);
  QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
  const QString id = newOrderId();
  QCOMPARE(one(kItemsOf + id), u"502:1.00:10.0000:,501:4.00:250.0000:P-501"_s);
  QCOMPARE(one(u"SELECT order_total FROM uop5b_jshopping_orders WHERE order_id = "_s + id), u"1010.0000"_s);
}

// 8 digits fill the number exactly; longer ids keep all their digits.
void TestSendOrder::longOrderNumbers() {
  authorize();
  orderThree();
  for (const QString& id : {u"12345678"_s, u"1234567890"_s}) {
    QVERIFY(server_.exec(u"ALTER TABLE uop5b_jshopping_orders AUTO_INCREMENT = "_s + id));
    send(msg::Answer::No);
    QCOMPARE(one(u"SELECT concat(order_id,'|',order_number) FROM uop5b_jshopping_orders WHERE order_id = "_s + id),
             id + u'|' + id);
    QCOMPARE(one(u"SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id = "_s + id), u"3"_s);
  }
}

void TestSendOrder::decimalCommaLocale() {
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  authorize();
  openProgram([](PriceDbBuilder& b) {
    b.addProduct(u"202"_s, 1, u"KF-202"_s, 12, 12.5, u"Кофе молотый"_s);
    b.addProduct(u"203"_s, 1, u"KF-203"_s, 12, 0.35, u"Пакет"_s);
  });
  type(u"202"_s, u"3"_s);
  type(u"203"_s, u"3"_s);
  const int sumCol = child<QCheckBox>(w_, "Check2")->isChecked() ? 7 : 6;
  QCOMPARE(child<FlexGrid>(w_, "MSFlexGrid1")->textMatrix(rowOf(u"202"_s), sumCol), u"37,5"_s);
  toOrderView();
  send(msg::Answer::No);
  QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
  const QString id = newOrderId();
  QCOMPARE(one(u"SELECT concat(order_total,'|',order_subtotal) FROM uop5b_jshopping_orders WHERE order_id = "_s + id),
           u"38.5500|38.5500"_s);
  QCOMPARE(one(kItemsOf + id), u"202:3.00:12.5000:KF-202,203:3.00:0.3500:KF-203"_s);
}

// A failure after the order row is written: the last item (in name order) is
// rejected by a check, or the connection is killed while the items go in (a
// trigger slows them down). MyISAM cannot roll back: the program must clean up.
void TestSendOrder::failureLeavesNothing_data() {
  QTest::addColumn<QString>("engine");
  QTest::addColumn<bool>("killConnection");
  QTest::newRow("InnoDB, item rejected") << u"InnoDB"_s << false;
  QTest::newRow("MyISAM, item rejected") << u"MyISAM"_s << false;
  QTest::newRow("InnoDB, connection lost") << u"InnoDB"_s << true;
  QTest::newRow("MyISAM, connection lost") << u"MyISAM"_s << true;
}

void TestSendOrder::failureLeavesNothing() {
  QFETCH(QString, engine);
  QFETCH(bool, killConnection);
  QString err;
  for (const QString& table : {u"uop5b_jshopping_orders"_s, u"uop5b_jshopping_order_item"_s})
    QVERIFY2(server_.exec(u"ALTER TABLE "_s + table + u" ENGINE="_s + engine, &err), qPrintable(err));
  QCOMPARE(one(u"SELECT group_concat(ENGINE) FROM information_schema.TABLES WHERE TABLE_SCHEMA = '"_s + server_.database() +
               u"' AND TABLE_NAME IN ('uop5b_jshopping_orders','uop5b_jshopping_order_item')"_s), engine + u',' + engine);
  authorize();
  orderThree();
  const QString fault = killConnection
      ? u"CREATE TRIGGER slow_items BEFORE INSERT ON uop5b_jshopping_order_item FOR EACH ROW SET @pause = SLEEP(2)"_s
      : u"ALTER TABLE uop5b_jshopping_order_item ADD CONSTRAINT no_tea CHECK (product_ean <> 'ЧАЙ-''101''')"_s;
  QVERIFY2(server_.exec(fault, &err), qPrintable(err));
  const int orders = orderCount(), items = itemCount();

  std::atomic<bool> killed{false};
  std::thread killer([&, host = server_.host(), port = server_.port()] {
    if (!killConnection) return;
    {
      QSqlDatabase db = QSqlDatabase::addDatabase(u"QMARIADB"_s, u"send_order_killer"_s);
      db.setHostName(host);
      db.setPort(port);
      db.setUserName(u"root"_s);
      if (!db.open()) qWarning() << "killer cannot connect:" << db.lastError().text();
      QElapsedTimer t;
      t.start();
      while (db.isOpen() && !killed && t.elapsed() < 15000) {
        QSqlQuery q(db);  // inside the trigger the session shows the trigger's statement
        q.exec(u"SELECT id FROM information_schema.PROCESSLIST WHERE id <> CONNECTION_ID() AND "
               u"(info LIKE 'INSERT INTO uop5b_jshopping_order_item%' OR info = 'SET @pause = SLEEP(2)')"_s);
        if (q.next())
          killed = QSqlQuery(db).exec(u"KILL CONNECTION "_s + q.value(0).toString());
        else
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    QSqlDatabase::removeDatabase(u"send_order_killer"_s);
  });
  w_->sendOrder();
  killer.join();
  QCOMPARE(killed.load(), killConnection);
  checkErrorBox();
  if (!killConnection) QVERIFY(rec_->boxes[0].text.endsWith(u"(4025)"_s));
  QVERIFY(child<QLabel>(w_, "Label1")->text() != u"Заказ отправлен"_s);
  QTRY_COMPARE_WITH_TIMEOUT(orderCount(), orders, 10000);  // the server rolls back a killed session
  checkNothingSent(orders, items);
  checkQuantitiesKept();

  // Once the fault is gone, the same quantities go through.
  QVERIFY(server_.exec(killConnection ? u"DROP TRIGGER slow_items"_s
                                      : u"ALTER TABLE uop5b_jshopping_order_item DROP CONSTRAINT no_tea"_s));
  send(msg::Answer::No);
  QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
  QCOMPARE(orderCount(), orders + 1);
  QCOMPARE(itemCount(), items + 3);
}

void TestSendOrder::serverDownBeforeSending() {
  authorize();
  orderThree();
  server_.kill();
  w_->sendOrder();
  checkErrorBox();
  checkQuantitiesKept();
}

QTEST_MAIN(TestSendOrder)
#include "test_send_order.moc"
