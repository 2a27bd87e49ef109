// Sending an order into the shop database: a private MariaDB server with strict
// mode and the shop's tables, a real price database file. A clean send writes
// every column; then a shop that fails: unreachable, killed, locked, missing a
// table, losing the answer to COMMIT, never answering; values the shop would cut;
// organisation codes that are not numbers. After each case: what the shop holds,
// what the price database holds and what the user was told. InnoDB and MyISAM
// tables (MyISAM cannot roll back).
#include "app/MainWindow.h"
#include "base/Settings.h"
#include "fixtures/mariadb_server.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "gui/common/MessageBoxes.h"
#include "gui/common/SendMessages.h"
#include "gui/common/ShopTask.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceWindow.h"
#include "gui/settings/AuthorizationDialog.h"
#include "support/Widgets.h"

#include <sqlite3.h>
#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A loopback relay in front of the test server, run by the event loop in which
// the windows wait for the shop. It passes everything on, or lets the next
// COMMIT reach the server and drops its answer with the connection, or holds
// connections and never answers; closed, it refuses them.
class Relay : public QObject {
 public:
  bool silent = false;
  bool cutAfterCommit = false;  // one-shot
  bool closeAfterCut = false;

  explicit Relay(int target) : target_(quint16(target)) {
    if (!listener_.listen(QHostAddress::LocalHost)) qFatal("relay: no port");
    port_ = listener_.serverPort();
    connect(&listener_, &QTcpServer::newConnection, this, &Relay::accept);
  }
  int port() const { return port_; }
  bool reopen() { return listener_.isListening() || listener_.listen(QHostAddress::LocalHost, port_); }
  // Connections held silently whose client has not hung up.
  int silentClientsWaiting() {
    QCoreApplication::processEvents();
    return int(std::count_if(held_.begin(), held_.end(),
                             [](QTcpSocket* s) { return s->state() == QAbstractSocket::ConnectedState; }));
  }
  void hangUpSilentClients() {
    qDeleteAll(held_);
    held_.clear();
  }

 private:
  void accept() {
    while (QTcpSocket* client = listener_.nextPendingConnection()) {
      if (silent) {
        held_ << client;
        continue;
      }
      auto* shop = new QTcpSocket(client);
      shop->connectToHost(QHostAddress::LocalHost, target_);
      connect(shop, &QTcpSocket::readyRead, client, [client, shop] { client->write(shop->readAll()); });
      connect(shop, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
      connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
      connect(client, &QTcpSocket::readyRead, shop, [this, client, shop] {
        const QByteArray bytes = client->readAll();
        shop->write(bytes);
        if (!cutAfterCommit || !bytes.contains(QByteArray("\x03", 1) + "COMMIT")) return;
        shop->disconnect(client);
        shop->waitForReadyRead(5000);  // the server has committed once it answers
        cutAfterCommit = false;
        if (closeAfterCut) listener_.close();
        client->abort();
        client->deleteLater();
      });
    }
  }

  QTcpServer listener_;
  quint16 target_, port_ = 0;
  QList<QTcpSocket*> held_;
};

const QString kClearQuestion = u"Заказ отправлен успешно.Очистить текущий заказ?"_s;
const QString kOrdered = u"101:12:1800,202:3:37.5,303:2:2000.5"_s;  // product:quantity:sum
const QString kItemsOf =
    u"SELECT group_concat(concat(product_id,':',product_quantity,':',product_item_price,':',"
    u"ifnull(product_ean,''),':',product_name) ORDER BY order_item_id) FROM uop5b_jshopping_order_item "
    u"WHERE order_id = "_s;

// 200 characters: Cyrillic letters and quotes of every kind.
QString longName() {
  QString s = u"Набор «Дача» 'Премиум' \"XL\" "_s;
  while (s.size() < 200) s += u"ёлочная гирлянда "_s;
  return s.left(200);
}

enum Fault { Unreachable, Kill, LockPastTimeout, CancelWhileWriting, MissingItemsTable, TotalTooLarge, NarrowerColumn };

}  // namespace

class TestSendOrder : public QObject {
  Q_OBJECT

  MariaDbServer server_;
  std::unique_ptr<TestProgramFolder> folder_;
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<msg::ScopedRecorder> rec_;
  std::unique_ptr<Relay> relay_;
  PriceWindow* w_ = nullptr;
  QTimer poll_;

  // The price window on a price list of category 1 and what fill adds; the shop's
  // order tables on the given engine; signed in with code (none when null).
  void open(const std::function<void(PriceDbBuilder&)>& fill, const QString& code = u"57"_s,
            const QString& engine = u"InnoDB"_s) {
    QString err;
    QVERIFY2(server_.reloadSchema(&err), qPrintable(err));
    for (const char* table : {"uop5b_jshopping_orders", "uop5b_jshopping_order_item"})
      QVERIFY(server_.exec(u"ALTER TABLE %1 ENGINE=%2"_s.arg(QLatin1String(table), engine), &err));
    folder_ = std::make_unique<TestProgramFolder>();
    folder_->useShop(server_);
    if (!code.isNull()) folder_->signIn(code, u"ООО Ромашка"_s);
    {
      PriceDbBuilder b(folder_->priceDb());
      b.addCategory(1, u"Бакалея"_s);
      fill(b);
    }
    rec_ = std::make_unique<msg::ScopedRecorder>();
    main_ = std::make_unique<MainWindow>();
    main_->showStartupWindow();
    w_ = main_->priceWindow();
    QVERIFY(w_);
  }
  // Four products stored out of name order, three of them ordered (total 3838),
  // shown in the order view.
  void orderThree(const QString& code = u"57"_s, const QString& engine = u"InnoDB"_s) {
    open(
        [](PriceDbBuilder& b) {
          b.addProduct(u"303"_s, 1, u"АРТ-303"_s, 5, 1000.25, longName());
          b.addProduct(u"101"_s, 1, u"ЧАЙ-'101'"_s, 40, 150, u"Чай \"Весна\" 'Люкс' 100 г"_s);
          b.addProduct(u"202"_s, 1, u"KF-202"_s, 12, 12.5, u"Кофе молотый ёмкость 250 г"_s);
          b.addProduct(u"404"_s, 1, u"ЯХТ-404"_s, 1, 6000000000.0, u"Яхта океанская"_s);
        },
        code, engine);
    type(u"101"_s, u"12"_s);
    type(u"202"_s, u"3"_s);
    type(u"303"_s, u"2"_s);
    toOrderView();
  }
  void type(const QString& productId, const QString& keys) {
    auto* grid = child<FlexGrid>(w_, "MSFlexGrid1");
    int r = 1;
    while (r < grid->rows() && grid->textMatrix(r, 0) != productId) ++r;
    QVERIFY2(r < grid->rows(), qPrintable(productId));
    grid->setRow(r);
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
  QString one(const QString& sql) { return server_.query(sql).value(0).value(0); }
  QString newOrderId() { return one(u"SELECT max(order_id) FROM uop5b_jshopping_orders"_s); }
  // New orders in the shop as "orders:items" (the sample orders end at 1006; a missing table holds none).
  QString shopHolds() {
    const QString items = one(u"SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id > 1006"_s);
    return one(u"SELECT count(*) FROM uop5b_jshopping_orders WHERE order_id > 1006"_s) + u':' +
           (items.isEmpty() ? u"0"_s : items);
  }
  // The ordered products of the price database as product:quantity:sum.
  QString quantities() {
    QStringList out;
    for (const QStringList& r : queryPriceDb(folder_->priceDb(),
                                             u"SELECT product_id, order_count, printf('%g', order_summ) FROM products "
                                             u"WHERE order_count <> 0 OR order_summ <> 0 ORDER BY product_id"_s))
      out << r.join(u':');
    return out.join(u',');
  }
  QString lastBox() const { return rec_->boxes.empty() ? QString() : rec_->boxes.back().text; }
  QWidget* busyDialog() const {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == QLatin1String(shoptask::kDialogName) && w->isVisible()) return w;
    return nullptr;
  }
  void cancelBusy() {
    QTest::mouseClick(busyDialog()->findChild<QPushButton*>(QLatin1String(shoptask::kCancelName)), Qt::LeftButton);
  }
  // Runs fault() once the send waits on the locked items table.
  void whenItemsWait(const std::function<void()>& fault) {
    poll_.disconnect();
    poll_.setInterval(50);
    connect(&poll_, &QTimer::timeout, this, [this, fault] {
      if (one(u"SELECT count(*) FROM information_schema.PROCESSLIST WHERE INFO LIKE "
              u"'INSERT INTO uop5b_jshopping_order_item%'"_s) == u"1"_s) {
        poll_.stop();
        fault();
      }
    });
    poll_.start();
  }

 private slots:
  void initTestCase() {
    QString err;
    QVERIFY2(server_.start(&err), qPrintable(err));
    QVERIFY(one(u"SELECT @@GLOBAL.sql_mode"_s).contains(u"STRICT_TRANS_TABLES"_s));
  }
  void cleanup() {
    server_.exec(u"UNLOCK TABLES"_s);
    server_.exec(u"SET GLOBAL lock_wait_timeout = 86400, innodb_lock_wait_timeout = 50"_s);
    main_.reset();
    rec_.reset();
    relay_.reset();
    QVERIFY(WaitForShopTasks(40000));
    QLocale::setDefault(QLocale::c());
    folder_.reset();
  }

  void sendsEveryColumn() {
    orderThree();
    const QString name = u"ООО 'Ромашка' и \"Ко\""_s;
    folder_->signIn(u"57"_s, name);
    // Answered No: everything stays, and pressing again sends the same quantities as a new order.
    send(msg::Answer::No);
    QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
    QCOMPARE(quantities(), kOrdered);
    const QString first = newOrderId();
    send(msg::Answer::Yes);
    QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
    QCOMPARE(child<QLabel>(w_, "Label1")->text(), u"Заказ отправлен"_s);
    QCOMPARE(quantities(), QString());
    QCOMPARE(child<FlexGrid>(w_, "MSFlexGrid1")->rows(), 1);

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
                 u"RUB|1.000000|1|0|0000-00-00 00:00:00|0|0|0|0000-00-00 00:00:00|0|1|0|"_s +
                 name + u"|1"_s);
    // The items, one per product, in name order; the first send wrote the same.
    QCOMPARE(one(kItemsOf + id), u"202:3.00:12.5000:KF-202:Кофе молотый ёмкость 250 г,303:2.00:1000.2500:АРТ-303:"_s +
                                     longName() + u",101:12.00:150.0000:ЧАЙ-'101':Чай \"Весна\" 'Люкс' 100 г"_s);
    QCOMPARE(server_.query(u"SELECT DISTINCT product_tax,files,weight,delivery_times_id,vendor_id,basicprice FROM "
                           u"uop5b_jshopping_order_item WHERE order_id = "_s +
                           id),
             (QList<QStringList>{{"0.0000", "a:0:{}", "0.0000", "0", "1", "0.00"}}));
    QCOMPARE(one(kItemsOf + first), one(kItemsOf + id));
  }

  // A code without a name (nothing stored at all: test_e2e): the question; Yes opens
  // the authorization window, not modal; nothing is sent.
  void notAuthorized() {
    orderThree(QString());
    settings::write(settings::OrganisationId, u" 57"_s);
    send(msg::Answer::Yes);
    QCOMPARE(rec_->texts(), QStringList{u"Необходимо пройти авторизацию.Открыть окно авторизации?"_s});
    const auto windows = main_->findChildren<AuthorizationDialog*>();
    QVERIFY(windows.size() == 1 && windows[0]->isVisible() && !windows[0]->isModal());
    QCOMPARE(shopHolds(), u"0:0"_s);
    QCOMPARE(quantities(), kOrdered);
  }

  // Nothing ordered, a quantity typed and removed again, a stored sum without a quantity.
  void emptyOrderWritesNothing() {
    open([](PriceDbBuilder& b) {
      b.addProduct(u"101"_s, 1, u"ЧАЙ-101"_s, 40, 150, u"Чай"_s);
      b.addProduct(u"404"_s, 1, u"AB-404"_s, 7, 99, u"Абрикосы"_s);
    });
    for (int step = 0; step < 3; ++step) {
      if (step == 1) type(u"101"_s, u"5\b"_s);
      if (step == 2) {
        sqlite3* db = nullptr;
        sqlite3_open(folder_->priceDb().toUtf8().constData(), &db);
        QCOMPARE(
            sqlite3_exec(db, "UPDATE products SET order_summ = 99 WHERE product_id = '404'", nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(db);
      }
      toOrderView();
      w_->sendOrder();
      QCOMPARE(child<QLabel>(w_, "Label1")->text(), u"Пустой заказ"_s);
      QCOMPARE(rec_->boxes.size(), size_t(0));
      QCOMPARE(shopHolds(), u"0:0"_s);
      w_->switchOrderView();
      child<QLabel>(w_, "Label1")->clear();
    }
  }

  // One item per product, though the vase has two pictures and shows twice with
  // thumbnails in the rows; a decimal comma in the user's locale never reaches the
  // shop; 8 digits fill the order number exactly, longer ids keep all their digits.
  void itemsAsTheShopReadsThem() {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    open([](PriceDbBuilder& b) {
      b.addProduct(u"501"_s, 1, u"P-501"_s, 3, 250, u"Ваза с двумя фото"_s);
      b.addProduct(u"502"_s, 1, u"P-502"_s, 3, 0.35, u"Блокнот"_s);
      b.addImage(u"501"_s, PriceDbBuilder::jpeg(40, 30, Qt::red), u"vaza1.jpg"_s);
      b.addImage(u"501"_s, PriceDbBuilder::jpeg(40, 30, Qt::blue), u"vaza2.jpg"_s);
      b.addImage(u"502"_s, PriceDbBuilder::jpeg(40, 30, Qt::green), u"bloknot.jpg"_s);
      b.exec(u"UPDATE products SET product_ean = NULL WHERE product_id = '502'"_s);  // goes in as ''
    });
    child<QCheckBox>(w_, "Check2")->setChecked(true);
    w_->toggleThumbnails();
    type(u"501"_s, u"4"_s);
    type(u"502"_s, u"3"_s);
    toOrderView();
    QCOMPARE(child<FlexGrid>(w_, "MSFlexGrid1")->rows(), 4);
    for (const QString& id : {u"12345678"_s, u"1234567890"_s}) {
      QVERIFY(server_.exec(u"ALTER TABLE uop5b_jshopping_orders AUTO_INCREMENT = "_s + id));
      send(msg::Answer::No);
      QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
      QCOMPARE(one(u"SELECT concat_ws('|',order_number,order_total,order_subtotal) FROM uop5b_jshopping_orders "
                   u"WHERE order_id = "_s +
                   id),
               id + u"|1001.0500|1001.0500"_s);
      QCOMPARE(one(kItemsOf + id), u"502:3.00:0.3500::Блокнот,501:4.00:250.0000:P-501:Ваза с двумя фото"_s);
    }
  }

  void failures_data() {
    QTest::addColumn<QString>("engine");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("told");       // the reason in "Заказ не отправлен: …"
    QTest::addColumn<QString>("toldLater");  // the start of what the next start says ("" when nothing)
    QTest::newRow("shop unreachable") << u"InnoDB"_s << int(Unreachable) << u"нет связи с сервером"_s << QString();
    QTest::newRow("total beyond decimal(14,4)")
        << u"InnoDB"_s << int(TotalTooLarge) << u"сумма заказа 12000003838 больше, чем может принять магазин"_s
        << QString();
    for (const QString& engine : {u"InnoDB"_s, u"MyISAM"_s}) {
      const auto row = [&](const char* name, Fault fault, const QString& told, const QString& later = {}) {
        QTest::addRow("%s, %s", qPrintable(engine), name) << engine << int(fault) << told << later;
      };
      row("killed mid-send", Kill, u"прервалась.\rЕсли часть"_s,
          engine == u"MyISAM"_s ? u"Незавершённый заказ от "_s : u"Заказ от "_s);
      row("table locked past the timeout", LockPastTimeout, u"занята другим пользователем"_s);
      row("cancelled while writing", CancelWhileWriting, u"отправка отменена"_s);
      row("items table missing", MissingItemsTable, u"нет нужной таблицы"_s);
      row("column narrower than expected", NarrowerColumn, u"Data truncated for column 'product_name'"_s);
    }
  }

  void failures() {
    QFETCH(QString, engine);
    QFETCH(int, fault);
    QFETCH(QString, told);
    QFETCH(QString, toldLater);
    orderThree(u"57"_s, engine);
    QString expected = kOrdered;
    if (fault == LockPastTimeout || fault == CancelWhileWriting)  // the wait goes on until the shop holds nothing
      QVERIFY(server_.exec(u"SET GLOBAL lock_wait_timeout = 2, innodb_lock_wait_timeout = 2"_s));
    if (fault == Kill || fault == LockPastTimeout || fault == CancelWhileWriting)
      QVERIFY(server_.exec(u"LOCK TABLES uop5b_jshopping_order_item WRITE"_s));
    if (fault == Kill) whenItemsWait([this] { server_.kill(); });
    if (fault == CancelWhileWriting) whenItemsWait([this] { QTimer::singleShot(400, this, [this] { cancelBusy(); }); });
    if (fault == Unreachable) folder_->useShop(server_.host(), closedPort());
    if (fault == MissingItemsTable) QVERIFY(server_.exec(u"DROP TABLE uop5b_jshopping_order_item"_s));
    if (fault == NarrowerColumn)
      QVERIFY(server_.exec(u"DELETE FROM uop5b_jshopping_order_item"_s) &&
              server_.exec(u"ALTER TABLE uop5b_jshopping_order_item MODIFY product_name VARCHAR(12) NOT NULL"_s));
    if (fault == TotalTooLarge) {
      w_->switchOrderView();
      type(u"404"_s, u"2"_s);
      toOrderView();
      expected += u",404:2:1.2e+10"_s;
    }
    child<QLabel>(w_, "Label1")->setText(u"Заказ отправлен"_s);  // left from an earlier send
    w_->sendOrder();

    QCOMPARE(rec_->boxes.size(), size_t(1));
    QVERIFY2(lastBox().startsWith(u"Заказ не отправлен: "_s) && lastBox().contains(told), qPrintable(lastBox()));
    QCOMPARE(rec_->boxes.back().icon, msg::Icon::Critical);
    QCOMPARE(child<QLabel>(w_, "Label1")->text(), u"Заказ не отправлен"_s);
    QCOMPARE(quantities(), expected);
    server_.exec(u"UNLOCK TABLES"_s);
    if (fault == Kill) {
      QString err;
      QVERIFY2(server_.restart(&err), qPrintable(err));
      QCOMPARE(shopHolds(), engine == u"MyISAM"_s ? u"1:0"_s : u"0:0"_s);  // what the failure left
    } else {
      QCOMPARE(shopHolds(), u"0:0"_s);  // at once, not later
    }
    rec_->clear();
    SettleUnfinishedOrders();  // as at the next start; item rows left alone are cleared quietly
    QCOMPARE(rec_->boxes.size(), size_t(toldLater.isEmpty() ? 0 : 1));
    QVERIFY2(lastBox().startsWith(toldLater), qPrintable(lastBox()));
    QCOMPARE(shopHolds(), u"0:0"_s);
    QVERIFY(!QFile::exists(folder_->file(u"unfinished_orders.json"_s)));
    QCOMPARE(quantities(), expected);
  }

  void commitAnswerLost_data() {
    QTest::addColumn<bool>("shopAnswersAfterwards");
    QTest::newRow("looked up at once") << true;
    QTest::newRow("looked up at the resend") << false;
  }

  // The connection drops after COMMIT reached the server: the order is in the shop
  // and is never reported as failed; sending again does not make a second one.
  void commitAnswerLost() {
    QFETCH(bool, shopAnswersAfterwards);
    orderThree();
    relay_ = std::make_unique<Relay>(server_.port());
    folder_->useShop(server_.host(), relay_->port());
    relay_->closeAfterCut = !shopAnswersAfterwards;
    relay_->cutAfterCommit = true;
    send(msg::Answer::No);
    QVERIFY(!relay_->cutAfterCommit);
    QCOMPARE(shopHolds(), u"1:3"_s);
    auto* label = child<QLabel>(w_, "Label1");
    if (shopAnswersAfterwards) {
      QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
      QCOMPARE(label->text(), u"Заказ отправлен"_s);
    } else {
      QCOMPARE(rec_->boxes.size(), size_t(1));
      QVERIFY2(lastBox().startsWith(u"Не удалось узнать, записан ли заказ в магазин: связь с сервером базы данных "
                                    u"магазина прервалась."_s),
               qPrintable(lastBox()));
      QCOMPARE(label->text(), u"Заказ не подтверждён"_s);
      QCOMPARE(quantities(), kOrdered);
      QVERIFY(relay_->reopen());
      send(msg::Answer::Yes);  // the user tries again
      const QString number = one(u"SELECT order_number FROM uop5b_jshopping_orders WHERE order_id > 1006"_s);
      QCOMPARE(rec_->texts(), (QStringList{u"Этот заказ уже записан в магазин под номером %1 при прошлой отправке; "
                                           u"второй раз он не отправлен."_s.arg(number),
                                           kClearQuestion}));
      QCOMPARE(quantities(), QString());
    }
    QCOMPARE(shopHolds(), u"1:3"_s);
    QVERIFY(!QFile::exists(folder_->file(u"unfinished_orders.json"_s)));
  }

  // A server that accepts connections and never answers: the windows stay
  // responsive, keys typed meanwhile reach nothing, and "Отмена" ends the wait at
  // once, while the connection is still waiting for the server.
  void silentServer() {
    orderThree();
    relay_ = std::make_unique<Relay>(server_.port());
    relay_->silent = true;
    folder_->useShop(server_.host(), relay_->port());
    auto* grid = child<FlexGrid>(w_, "MSFlexGrid1");
    const QString cellBefore = grid->textMatrix(1, 5);
    AuthorizationDialog signIn;
    child<QLineEdit>(&signIn, "Text2")->setText(u"58"_s);
    const std::vector<std::pair<const char*, std::function<void()>>> actions{
        {"send", [this] { w_->sendOrder(); }},
        {"orders", [this] { main_->openOrdersWindow(); }},
        {"sign-in", [&signIn] { signIn.confirmOrganisation(); }}};
    for (const auto& [name, action] : actions) {
      rec_->clear();
      bool dialogShown = false;
      QTimer::singleShot(700, this, [&] {
        dialogShown = busyDialog() != nullptr;
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_7);
        if (dialogShown) cancelBusy();
      });
      action();
      QVERIFY2(dialogShown, name);
      QVERIFY2(relay_->silentClientsWaiting() == 1, name);  // returned before the connection gave up
      relay_->hangUpSilentClients();
      QCOMPARE(rec_->texts(),
               std::string_view(name) == "send"
                   ? QStringList{u"Заказ не отправлен: отправка отменена.\rКоличества в прайс-листе сохранены."_s}
                   : QStringList{});
    }
    QCOMPARE(grid->textMatrix(1, 5), cellBefore);
    QCOMPARE(quantities(), kOrdered);
    QCOMPARE(settings::text(settings::OrganisationId), u"57"_s);
    QCOMPARE(shopHolds(), u"0:0"_s);
  }

  void organisationCodes_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("accepted");
    for (const QString& code : {u""_s, u"57abc"_s, u"5.7"_s, u"57' OR '1'='1"_s})
      QTest::newRow(qPrintable(u'"' + code + u'"')) << code << false;
    for (const QString& code : {u"057"_s, u"+57"_s}) QTest::newRow(qPrintable(code)) << code << true;
  }

  // A code counts only as the whole number it spells, at sending and at sign-in
  // (the orders window: test_history); anything else is refused and nothing is sent.
  void organisationCodes() {
    QFETCH(QString, code);
    QFETCH(bool, accepted);
    orderThree(code);
    const QString refused = u"Произошла ошибка при запросе\rКод организации не является числом: «%1»"_s.arg(code);

    send(msg::Answer::No);
    QCOMPARE(rec_->texts(), QStringList{accepted ? kClearQuestion : refused});
    QCOMPARE(shopHolds(), accepted ? u"1:3"_s : u"0:0"_s);
    if (accepted) QCOMPARE(one(u"SELECT user_id FROM uop5b_jshopping_orders WHERE order_id > 1006"_s), u"57"_s);

    rec_->clear();
    folder_->signIn(u"58"_s, u"ИП Петров"_s);
    AuthorizationDialog signIn;
    child<QLineEdit>(&signIn, "Text2")->setText(code);
    signIn.confirmOrganisation();
    const QString told = code.isEmpty() ? u"Введите код организации"_s : refused;
    QCOMPARE(rec_->texts(), accepted ? QStringList{} : QStringList{told});
    QCOMPARE(settings::text(settings::OrganisationId), accepted ? u"57"_s : u"58"_s);
    QCOMPARE(settings::text(settings::OrganisationName), accepted ? u"ООО Ромашка"_s : u"ИП Петров"_s);
  }
};

QTEST_MAIN(TestSendOrder)
#include "test_send_order.moc"
