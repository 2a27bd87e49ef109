// Sending an order into a private MariaDB with the shop's tables (InnoDB and MyISAM), clean
// and failing: what the shop and the price file hold, what the user was told; the sign-in check.
#include "fixtures/mariadb_server.h"
#include "gui/common/SendMessages.h"
#include "gui/common/ShopTask.h"
#include "gui/settings/AuthorizationDialog.h"
#include "support/WindowTest.h"

#include <QtNetwork>

namespace {

// A relay in front of the test server: it drops the connection once the next COMMIT reached it.
class Relay : public QObject {
 public:
  bool cutAfterCommit = true;  // one-shot
  const bool closeAfterCut;

  Relay(int target, bool closeAfterCut) : closeAfterCut(closeAfterCut), target_(quint16(target)) {
    if (!listener_.listen(QHostAddress::LocalHost)) qFatal("relay: no port");
    port_ = listener_.serverPort();
    connect(&listener_, &QTcpServer::newConnection, this, &Relay::accept);
  }
  int port() const { return port_; }
  bool reopen() { return listener_.isListening() || listener_.listen(QHostAddress::LocalHost, port_); }

 private:
  void accept() {
    while (QTcpSocket* client = listener_.nextPendingConnection()) {
      auto* shop = new QTcpSocket(client);
      shop->connectToHost(QHostAddress::LocalHost, target_);
      connect(shop, &QTcpSocket::readyRead, client, [client, shop] { client->write(shop->readAll()); });
      connect(shop, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
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
};

const QString kClearQuestion = u"Заказ отправлен успешно.Очистить текущий заказ?"_s;
const QString kOrdered = u"101:12:1800,202:3:37.5,303:2:2000.5"_s;  // product:quantity:sum
// 200 characters: Cyrillic letters and quotes of every kind.
const QString kLongName = u"Набор «Дача» 'Премиум' \"XL\" ёлочная гирлянда "_s.repeated(5).left(200);

enum Fault { Unreachable, Kill, LockPastTimeout, CancelWhileWriting, MissingItemsTable, TotalTooLarge };

}  // namespace

class TestSendOrder : public QObject {
  Q_OBJECT

  MariaDbServer server_;
  std::unique_ptr<TestProgramFolder> folder_;
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<msg::ScopedRecorder> rec_;
  std::unique_ptr<Relay> relay_;
  PriceWindow* w_ = nullptr;

  // Signed in with code (none when null); four products out of name order, 303 with two
  // picture rows; with order, three ordered (total 3838) and shown in the order view.
  void open(const QString& code = u"57"_s, const QString& engine = u"InnoDB"_s, const QString& sql = {},
            bool order = true) {
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
      b.addProduct(u"303"_s, 1, u"АРТ-303"_s, 5, 1000.25, kLongName);
      b.addProduct(u"101"_s, 1, u"ЧАЙ-'101'"_s, 40, 150, u"Чай \"Весна\" 'Люкс' 100 г"_s);
      b.addProduct(u"202"_s, 1, u"KF-202"_s, 12, 12.5, u"Кофе молотый ёмкость 250 г"_s);
      b.addProduct(u"404"_s, 1, u"ЯХТ-404"_s, 1, 6000000000.0, u"Яхта океанская"_s);
      b.addImage(u"303"_s, PriceDbBuilder::jpeg(40, 30, Qt::red), u"a1.jpg"_s);
      b.addImage(u"303"_s, PriceDbBuilder::jpeg(40, 30, Qt::blue), u"a2.jpg"_s);
      b.exec(u"UPDATE products SET product_ean = NULL WHERE product_id = '202'"_s);  // goes in as ''
      if (!sql.isEmpty()) b.exec(sql);
    }
    rec_ = std::make_unique<msg::ScopedRecorder>();
    main_ = std::make_unique<MainWindow>();
    main_->showStartupWindow();
    w_ = main_->priceWindow();
    QVERIFY(w_);
    showPictureRows(w_);
    if (!order) return;
    for (const auto& [id, keys] : {std::pair{u"101"_s, u"12"_s}, {u"202"_s, u"3"_s}, {u"303"_s, u"2"_s}})
      type(id, keys);
    w_->switchOrderView();
  }
  void type(const QString& productId, const QString& keys) {
    auto* grid = child<FlexGrid>(w_, "MSFlexGrid1");
    grid->setRow(rowOf(grid, productId));
    for (QChar c : keys) w_->typeOnGrid(c.unicode());
  }
  void send(msg::Answer answer) {
    rec_->clear();
    rec_->answers = {answer};
    w_->sendOrder();
  }
  QString one(const QString& sql) { return server_.query(sql).value(0).value(0); }
  // New orders in the shop as "orders:items" (the sample orders end at 1006; a missing table holds none).
  QString shopHolds() {
    const QString items = one(u"SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id > 1006"_s);
    return one(u"SELECT count(*) FROM uop5b_jshopping_orders WHERE order_id > 1006"_s) + u':' +
           (items.isEmpty() ? u"0"_s : items);
  }
  QString quantities() {
    return priceDbValue(folder_->priceDb(),
                        u"SELECT group_concat(product_id || ':' || order_count || ':' || "
                        u"printf('%g', order_summ)) FROM (SELECT * FROM products WHERE "
                        u"order_count <> 0 OR order_summ <> 0 ORDER BY product_id)"_s);
  }
  QString lastBox() const { return rec_->boxes.empty() ? QString() : rec_->boxes.back().text; }
  bool cancelBusy() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == QLatin1String(shoptask::kDialogName) && w->isVisible()) {
        QTest::mouseClick(w->findChild<QPushButton*>(QLatin1String(shoptask::kCancelName)), Qt::LeftButton);
        return true;
      }
    return false;
  }
 private slots:
  void initTestCase() {
    QString err;
    QVERIFY2(server_.start(&err), qPrintable(err));
    // Strict mode, as the shop's server keeps it: the order rows meet its NOT NULL columns.
    QVERIFY(!server_.exec(u"INSERT INTO uop5b_jshopping_orders (user_id) VALUES (57)"_s, &err));
    QVERIFY2(err.contains(u"doesn't have a default value"_s), qPrintable(err));
  }
  void cleanup() {
    server_.exec(u"UNLOCK TABLES"_s);
    main_.reset();
    rec_.reset();
    relay_.reset();
    QVERIFY(WaitForShopTasks(40000));
    QLocale::setDefault(QLocale::c());
    folder_.reset();
  }

  // In the user's locale (decimal comma); an id longer than 8 digits keeps them all.
  void sendsEveryColumn() {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    open();
    QVERIFY(server_.exec(u"ALTER TABLE uop5b_jshopping_orders AUTO_INCREMENT = 1234567890"_s));
    const QString name = u"ООО 'Ромашка' и \"Ко\""_s;
    folder_->signIn(u"57"_s, name);
    send(msg::Answer::Yes);
    QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
    QCOMPARE(quantities(), QString());

    const QString id = one(u"SELECT max(order_id) FROM uop5b_jshopping_orders"_s);
    QCOMPARE(one(u"SELECT concat_ws('|',order_number,user_id,order_total,order_subtotal,currency_code_iso,"
                 u"order_status,f_name,abs(timestampdiff(SECOND,order_date,now())) < 5) "
                 u"FROM uop5b_jshopping_orders WHERE order_id = "_s +
                 id),
             id.rightJustified(8, u'0') + u"|57|3838.0000|3838.0000|RUB|1|"_s + name + u"|1"_s);
    QCOMPARE(one(u"SELECT group_concat(concat(product_id,':',product_quantity,':',product_item_price,':',"
                 u"ifnull(product_ean,''),':',product_name) ORDER BY order_item_id) "
                 u"FROM uop5b_jshopping_order_item WHERE order_id = "_s +
                 id),
             u"202:3.00:12.5000::Кофе молотый ёмкость 250 г,303:2.00:1000.2500:АРТ-303:"_s + kLongName +
                 u",101:12.00:150.0000:ЧАЙ-'101':Чай \"Весна\" 'Люкс' 100 г"_s);
  }

  // A stored sum without a quantity, then a quantity typed and removed again.
  void emptyOrderWritesNothing() {
    open(u"57"_s, u"InnoDB"_s, u"UPDATE products SET order_summ = 99 WHERE product_id = '404'"_s, false);
    for (const QString& keys : {QString(), u"5\b"_s}) {
      type(u"101"_s, keys);
      w_->switchOrderView();
      w_->sendOrder();
      QCOMPARE(child<QLabel>(w_, "Label1")->text(), u"Пустой заказ"_s);
      QCOMPARE(shopHolds(), u"0:0"_s);
      w_->switchOrderView();
    }
  }

  void failures_data() {
    QTest::addColumn<QString>("engine");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("told");       // the reason in "Заказ не отправлен: …"
    QTest::addColumn<QString>("toldLater");  // the start of what the next start says ("" when nothing)
    QTest::newRow("shop unreachable") << u"InnoDB"_s << int(Unreachable) << u"нет связи с сервером"_s << QString();
    QTest::newRow("total beyond decimal(14,4)")
        << u"InnoDB"_s << int(TotalTooLarge) << u"12000003838 больше"_s << QString();
    for (const QString& engine : {u"InnoDB"_s, u"MyISAM"_s}) {
      const auto row = [&](const char* name, Fault fault, const QString& told, const QString& later = {}) {
        QTest::addRow("%s, %s", qPrintable(engine), name) << engine << int(fault) << told << later;
      };
      row("killed mid-send", Kill, u"прервалась.\rЕсли часть"_s,
          engine == u"MyISAM"_s ? u"Незавершённый заказ от "_s : u"Заказ от "_s);
      row("table locked past the timeout", LockPastTimeout, u"занята другим пользователем"_s);
      row("cancelled while writing", CancelWhileWriting, u"отправка отменена"_s);
      row("items table missing", MissingItemsTable, u"нет нужной таблицы"_s);
    }
  }

  void failures() {
    QFETCH(QString, engine);
    QFETCH(int, fault);
    QFETCH(QString, told);
    QFETCH(QString, toldLater);
    const bool yacht = fault == TotalTooLarge;
    open(u"57"_s, engine,
         yacht ? u"UPDATE products SET order_count = 2, order_summ = 12000000000 WHERE product_id = '404'"_s
               : QString());
    if (fault == LockPastTimeout || fault == CancelWhileWriting)  // the wait goes on until the shop holds nothing
      QVERIFY(server_.exec(u"SET GLOBAL lock_wait_timeout = 2, innodb_lock_wait_timeout = 2"_s));
    if (fault == Kill || fault == LockPastTimeout || fault == CancelWhileWriting)
      QVERIFY(server_.exec(u"LOCK TABLES uop5b_jshopping_order_item WRITE"_s));
    QTimer poll;  // kills the server or cancels once the send waits on the locked items table
    connect(&poll, &QTimer::timeout, this, [&] {
      if (one(u"SELECT count(*) FROM information_schema.PROCESSLIST WHERE INFO LIKE "
              u"'INSERT INTO uop5b_jshopping_order_item%'"_s) != u"1"_s)
        return;
      poll.stop();
      if (fault == Kill)
        server_.kill();
      else
        QTimer::singleShot(400, this, [this] { cancelBusy(); });
    });
    if (fault == Kill || fault == CancelWhileWriting) poll.start(50);
    if (fault == Unreachable) folder_->useShop(server_.host(), closedPort());
    if (fault == MissingItemsTable) QVERIFY(server_.exec(u"DROP TABLE uop5b_jshopping_order_item"_s));
    child<QLabel>(w_, "Label1")->setText(u"Заказ отправлен"_s);  // left from an earlier send
    w_->sendOrder();

    QVERIFY2(rec_->boxes.size() == 1 && lastBox().startsWith(u"Заказ не отправлен: "_s) && lastBox().contains(told),
             qPrintable(lastBox()));
    QCOMPARE(child<QLabel>(w_, "Label1")->text(), u"Заказ не отправлен"_s);
    server_.exec(u"UNLOCK TABLES"_s);
    if (fault == Kill) QVERIFY(server_.restart());
    // What the failure left at once: only a MyISAM order row written before the kill.
    QCOMPARE(shopHolds(), fault == Kill && engine == u"MyISAM"_s ? u"1:0"_s : u"0:0"_s);
    rec_->clear();
    SettleUnfinishedOrders();  // as at the next start; item rows left alone are cleared quietly
    QCOMPARE(rec_->boxes.size(), size_t(toldLater.isEmpty() ? 0 : 1));
    QVERIFY2(lastBox().startsWith(toldLater), qPrintable(lastBox()));
    QCOMPARE(shopHolds(), u"0:0"_s);
    QCOMPARE(quantities(), kOrdered + (yacht ? u",404:2:1.2e+10"_s : QString()));
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
    open();
    relay_ = std::make_unique<Relay>(server_.port(), !shopAnswersAfterwards);
    folder_->useShop(server_.host(), relay_->port());
    send(msg::Answer::No);
    QVERIFY(!relay_->cutAfterCommit);
    if (shopAnswersAfterwards) {
      QCOMPARE(rec_->texts(), QStringList{kClearQuestion});
      QCOMPARE(quantities(), kOrdered);  // answered No
    } else {
      QVERIFY2(lastBox().startsWith(u"Не удалось узнать, записан ли заказ в магазин"_s), qPrintable(lastBox()));
      QCOMPARE(quantities(), kOrdered);
      QVERIFY(relay_->reopen());
      send(msg::Answer::Yes);  // the user tries again
      const QString number = one(u"SELECT order_number FROM uop5b_jshopping_orders WHERE order_id > 1006"_s);
      QVERIFY2(rec_->texts().value(0).contains(u"под номером "_s + number), qPrintable(rec_->texts().join(u'|')));
      QCOMPARE(quantities(), QString());
    }
    QCOMPARE(shopHolds(), u"1:3"_s);
  }

  // A server that never answers: the windows stay responsive, keys typed meanwhile
  // reach nothing, and "Отмена" ends the wait at once.
  void silentServer() {
    open();
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    folder_->useShop(server_.host(), silent.serverPort());
    auto* grid = child<FlexGrid>(w_, "MSFlexGrid1");
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
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_7);
        dialogShown = cancelBusy();
      });
      action();
      QVERIFY2(dialogShown, name);
      QCOMPARE(rec_->boxes.size(), size_t(std::string_view(name) == "send"));
    }
    QCOMPARE(quantities(), kOrdered);
    QCOMPARE(settings::text(settings::OrganisationId), u"57"_s);
  }

  void organisationCodes_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("told");  // in the first message
    QTest::newRow("no name") << QString() << u"Необходимо пройти авторизацию"_s;
    for (const QString& code : {u""_s, u"57abc"_s, u"57' OR '1'='1"_s})
      QTest::newRow(qPrintable(u'"' + code + u'"')) << code << u"Код организации не является числом"_s;
    QTest::newRow("057") << u"057"_s << kClearQuestion;
  }

  // A code without a name asks to sign in (Yes opens the authorization window). A code
  // counts only as the whole number it spells (at sign-in: checkCode).
  void organisationCodes() {
    QFETCH(QString, code);
    QFETCH(QString, told);
    open(code);
    if (code.isNull()) settings::write(settings::OrganisationId, u" 57"_s);
    send(msg::Answer::Yes);
    QVERIFY2(rec_->texts().value(0).contains(told), qPrintable(rec_->texts().join(u'|')));
    QCOMPARE(main_->findChildren<AuthorizationDialog*>().size(), code.isNull() ? 1 : 0);
    QCOMPARE(shopHolds(), told == kClearQuestion ? u"1:3"_s : u"0:0"_s);
  }

  void checkCode_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("told");  // the reason a code is refused; empty: stored with its shop name
    QTest::newRow("unknown") << u"999"_s << u"Неправильно указан код организации"_s;
    QTest::newRow("empty") << u""_s << u"Введите код организации"_s;
    for (const QString& code : {u"57abc"_s, u"57' OR '1'='1"_s})
      QTest::newRow(qPrintable(code)) << code << u"Код организации не является числом"_s;
    QTest::newRow("guillemets in name") << u"72"_s << QString();
    QTest::newRow("quotes in name") << u"3"_s << QString();
  }

  // A code counts only as the whole number it spells and known to the shop; the
  // password is not checked. The file keeps " 72" and the quoted name in cp1251.
  void checkCode() {
    QFETCH(QString, typed);
    QFETCH(QString, told);
    TestProgramFolder folder;
    folder.useShop(server_);
    folder.signIn(u"1"_s, u"Прежняя организация"_s);  // a failed check keeps it
    const QByteArray before = fileContent(settings::path());
    msg::ScopedRecorder rec;
    MainWindow main;
    ShowAuthorizationDialog(&main, false);
    QCOMPARE(main.findChildren<AuthorizationDialog*>().size(), 1);
    QPointer<AuthorizationDialog> w = main.findChildren<AuthorizationDialog*>().first();
    QVERIFY(w->isVisible() && !w->isModal());
    w->findChild<QLineEdit*>(u"Text2"_s)->setText(typed);
    QLineEdit* password = w->findChild<QLineEdit*>(u"Text1"_s);
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QTest::keyClick(password, Qt::Key_Return);  // as the button "Вход" (clicked by test_e2e)
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!told.isEmpty()) {
      QVERIFY2(rec.texts().size() == 1 && rec.texts()[0].contains(told), qPrintable(rec.texts().join(u'|')));
      QVERIFY(w && w->isVisible());
      QCOMPARE(fileContent(settings::path()), before);
      return;
    }
    const QString login = server_.query(u"SELECT f_name FROM uop5b_jshopping_users WHERE user_id = "_s + typed)[0][0];
    const QString text = cp1251::decode(fileContent(settings::path()));
    QVERIFY2(text.contains(u"\r\nid= "_s + typed + u"\r\nlogin=\""_s + login + u"\"\r\n"_s), qPrintable(text));
    QVERIFY(!w);  // closed and gone
  }
};

QTEST_MAIN(TestSendOrder)
#include "test_send_order.moc"
