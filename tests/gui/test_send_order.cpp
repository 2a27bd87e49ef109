// Sending an order into the shop database (a private MariaDB server with strict
// mode, a real price database file): the order row, its number, the item rows,
// the questions. Failures during the send are covered by test_send_failures.
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "fixtures/mariadb_server.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "gui/common/MessageBoxes.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceWindow.h"
#include "gui/settings/AuthorizationDialog.h"

#include "support/Widgets.h"

#include <QtTest>
#include <QtWidgets>

#include <sqlite3.h>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kAuthQuestion = u"Необходимо пройти авторизацию.Открыть окно авторизации?"_s;
const QString kClearQuestion = u"Заказ отправлен успешно.Очистить текущий заказ?"_s;
const QString kItemsOf =
    u"SELECT group_concat(concat(product_id,':',product_quantity,':',product_item_price,':',"
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
    folder_.reset();
  }

  void sendsThreeProductsWithEveryColumn();
  void notAuthorized_data();
  void notAuthorized();
  void emptyOrderWritesNothing();
  void productWithTwoPicturesIsOneItem();
  void decimalCommaAndLongNumbers();
  void serverDownBeforeSending();  // last: the server stays down

 private:
  void openProgram(const std::function<void(PriceDbBuilder&)>& fill);
  void orderThree();
  void authorize(const QString& name = u"ООО Ромашка"_s) { folder_->signIn(u"57"_s, name); }
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
  QString newOrderId() { return one(u"SELECT max(order_id) FROM uop5b_jshopping_orders"_s); }
  // A query on the price database: values joined by ':', rows by ','.
  QString price(const QString& sql) {
    QStringList rows;
    for (const QStringList& r : queryPriceDb(folder_->priceDb(), sql)) rows << r.join(u':');
    return rows.join(u',');
  }
  // Orders and items beyond the sample data (its orders end at 1006).
  void checkNothingSent() {
    QCOMPARE(one(u"SELECT concat((SELECT count(*) FROM uop5b_jshopping_orders WHERE order_id > 1006), ':', "
                 u"(SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id > 1006))"_s),
             u"0:0"_s);
  }
  void checkQuantitiesKept() {
    QCOMPARE(price(u"SELECT product_id, order_count, printf('%g', order_summ) FROM products WHERE order_count > 0 "
                   u"ORDER BY product_id"_s),
             u"101:12:1800,202:3:37.5,303:2:2000.5"_s);
    QCOMPARE(child<FlexGrid>(w_, "MSFlexGrid1")->rows(), 4);
    QCOMPARE(child<QLabel>(w_, "Label2")->text(), u"Сумма заказа : 3838"_s);
  }

  MariaDbServer server_;
  std::unique_ptr<TestProgramFolder> folder_;
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<msg::ScopedRecorder> rec_;
  PriceWindow* w_ = nullptr;
};

void TestSendOrder::init() {
  QString err;
  QVERIFY2(server_.reloadSchema(&err), qPrintable(err));
  folder_ = std::make_unique<TestProgramFolder>();
  folder_->useShop(server_);
  WriteSetting(settings::path(), u"settings"_s, u"visiblesumm"_s, u"1"_s);
  rec_ = std::make_unique<msg::ScopedRecorder>();
}

void TestSendOrder::openProgram(const std::function<void(PriceDbBuilder&)>& fill) {
  {
    PriceDbBuilder b(folder_->priceDb());
    b.addCategory(1, u"Бакалея"_s);
    fill(b);
  }
  main_ = std::make_unique<MainWindow>();
  main_->showStartupWindow();
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

void TestSendOrder::sendsThreeProductsWithEveryColumn() {
  authorize(u"ООО 'Ромашка' и \"Ко\""_s);
  orderThree();
  // Answered No: everything stays, and pressing again sends the same quantities as a new order.
  send(msg::Answer::No);
  QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
  checkQuantitiesKept();
  const QString first = newOrderId();
  QCOMPARE(one(kItemsOf + first), u"202:3.00:12.5000:KF-202,303:2.00:1000.2500:АРТ-303,101:12.00:150.0000:ЧАЙ-'101'"_s);

  send(msg::Answer::Yes);
  QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
  QCOMPARE(child<QLabel>(w_, "Label1")->text(), u"Заказ отправлен"_s);

  // The order row, every column; the number is the id padded to 8 digits; dated now.
  const QString id = newOrderId();
  QCOMPARE(id.toLongLong(), first.toLongLong() + 1);
  QCOMPARE(one(u"SELECT concat_ws('|',order_number,user_id,order_total,order_subtotal,order_tax,order_shipping,"
               u"order_payment,order_discount,shipping_tax,payment_tax,order_package,currency_code,currency_code_iso,"
               u"currency_exchange,order_status,order_created,invoice_date,shipping_method_id,delivery_times_id,"
               u"payment_method_id,delivery_date,coupon_id,title,client_type,f_name,"
               u"abs(timestampdiff(SECOND,order_date,now())) < 5 AND order_m_date >= order_date) "
               u"FROM uop5b_jshopping_orders WHERE order_id = "_s +
               id),
           id.rightJustified(8, u'0') +
               u"|57|3838.0000|3838.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.00|руб.|"
               u"RUB|1.000000|1|0|0000-00-00 00:00:00|0|0|0|0000-00-00 00:00:00|0|1|0|"
               u"ООО 'Ромашка' и \"Ко\"|1"_s);
  // The items, one per product, in name order.
  QStringList items;
  for (const QStringList& r : server_.query(u"SELECT order_id,product_id,product_ean,product_name,product_quantity,"
                                            u"product_item_price,product_tax,files,weight,delivery_times_id,vendor_id,"
                                            u"basicprice FROM uop5b_jshopping_order_item WHERE order_id = "_s +
                                            id + u" ORDER BY order_item_id"_s))
    items << r.join(u'|');
  const QString tail = u"|0.0000|a:0:{}|0.0000|0|1|0.00"_s;
  QCOMPARE(items, (QStringList{id + u"|202|KF-202|Кофе молотый ёмкость 250 г|3.00|12.5000"_s + tail,
                               id + u"|303|АРТ-303|"_s + longName() + u"|2.00|1000.2500"_s + tail,
                               id + u"|101|ЧАЙ-'101'|Чай \"Весна\" 'Люкс' 100 г|12.00|150.0000"_s + tail}));

  // Cleared: the price database, the grid, the total, the whole price view.
  QCOMPARE(price(u"SELECT count(*) FROM products WHERE order_count <> 0 OR order_summ <> 0"_s), u"0"_s);
  QCOMPARE(child<FlexGrid>(w_, "MSFlexGrid1")->rows(), 1);
  QCOMPARE(child<QLabel>(w_, "Label2")->text(), QString());
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
  send(yes ? msg::Answer::Yes : msg::Answer::No);
  QCOMPARE(rec_->texts(), QStringList{kAuthQuestion});
  QVERIFY(rec_->boxes[0].yesNo);
  const auto windows = main_->findChildren<AuthorizationDialog*>();
  QCOMPARE(windows.size(), yes ? 1 : 0);
  if (yes) {
    QVERIFY(windows[0]->isVisible() && !windows[0]->isModal());
    windows[0]->close();
  }
  checkNothingSent();
  checkQuantitiesKept();
}

void TestSendOrder::emptyOrderWritesNothing() {
  authorize();
  openProgram([](PriceDbBuilder& b) {
    b.addProduct(u"101"_s, 1, u"ЧАЙ-101"_s, 40, 150, u"Чай"_s);
    b.addProduct(u"404"_s, 1, u"AB-404"_s, 7, 99, u"Абрикосы"_s);
  });
  auto sendEmpty = [&] {
    child<QLabel>(w_, "Label1")->clear();
    w_->sendOrder();
    QCOMPARE(child<QLabel>(w_, "Label1")->text(), u"Пустой заказ"_s);
    QCOMPARE(rec_->boxes.size(), size_t(0));
    checkNothingSent();
  };
  toOrderView();
  sendEmpty();
  // A quantity typed and removed again.
  w_->switchOrderView();
  type(u"101"_s, u"5\b"_s);
  toOrderView();
  sendEmpty();
  // A stored sum without a quantity.
  sqlite3* db = nullptr;
  sqlite3_open(folder_->priceDb().toUtf8().constData(), &db);
  QCOMPARE(sqlite3_exec(db, "UPDATE products SET order_summ = 99 WHERE product_id = '404'", nullptr, nullptr, nullptr),
           SQLITE_OK);
  sqlite3_close(db);
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

// A decimal comma in the user's locale never reaches the shop; 8 digits fill the
// order number exactly, longer ids keep all their digits.
void TestSendOrder::decimalCommaAndLongNumbers() {
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  authorize();
  openProgram([](PriceDbBuilder& b) {
    b.addProduct(u"202"_s, 1, u"KF-202"_s, 12, 12.5, u"Кофе молотый"_s);
    b.addProduct(u"203"_s, 1, u"KF-203"_s, 12, 0.35, u"Пакет"_s);
  });
  type(u"202"_s, u"3"_s);
  type(u"203"_s, u"3"_s);
  toOrderView();
  for (const QString& id : {u"12345678"_s, u"1234567890"_s}) {
    QVERIFY(server_.exec(u"ALTER TABLE uop5b_jshopping_orders AUTO_INCREMENT = "_s + id));
    send(msg::Answer::No);
    QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
    QCOMPARE(one(u"SELECT concat_ws('|',order_number,order_total,order_subtotal) FROM uop5b_jshopping_orders "
                 u"WHERE order_id = "_s +
                 id),
             id + u"|38.5500|38.5500"_s);
    QCOMPARE(one(kItemsOf + id), u"202:3.00:12.5000:KF-202,203:3.00:0.3500:KF-203"_s);
  }
}

void TestSendOrder::serverDownBeforeSending() {
  authorize();
  orderThree();
  server_.kill();
  w_->sendOrder();
  QCOMPARE(rec_->boxes.size(), size_t(1));
  QCOMPARE(rec_->boxes[0].icon, msg::Icon::Critical);
  QVERIFY2(rec_->boxes[0].text.startsWith(u"Заказ не отправлен: "_s), qPrintable(rec_->boxes[0].text));
  checkQuantitiesKept();
}

QTEST_MAIN(TestSendOrder)
#include "test_send_order.moc"
