// Sending, signing in and the orders window against a shop server that fails:
// killed, paused, locked, missing a table, losing the answer to COMMIT, never
// answering; values the shop would cut; organisation codes that are not numbers.
// After each case: what the shop holds, what the price database holds and what
// the user was told. InnoDB and MyISAM tables (MyISAM cannot roll back).
#include "app/MainWindow.h"
#include "base/Settings.h"
#include "fixtures/mariadb_server.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "gui/common/MessageBoxes.h"
#include "gui/common/SendMessages.h"
#include "gui/common/ShopTask.h"
#include "gui/grid/FlexGrid.h"
#include "gui/orders/OrdersWindow.h"
#include "gui/price/PriceWindow.h"
#include "gui/settings/AuthorizationDialog.h"

#include <QtTest>
#include <QtWidgets>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// A loopback relay in front of the test server. It passes everything on, or
// lets the next COMMIT reach the server and drops its answer with the
// connection, or refuses connections, or accepts them and never answers.
class Relay {
 public:
  enum Mode { Pass, Refuse, Silent };
  std::atomic<int> mode{Pass};
  std::atomic<bool> cutAfterCommit{false};  // one-shot; then mode becomes afterCut
  std::atomic<int> afterCut{Pass};

  explicit Relay(int target) : target_(target) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(listen_, 16) != 0)
      qFatal("relay: no port");
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }
  ~Relay() {
    stop_ = true;
    acceptor_.join();
    for (auto& t : pumps_) t.join();
    ::close(listen_);
    for (int fd : held_) ::close(fd);
  }
  int port() const { return port_; }
  // Connections accepted in silent mode whose client has not hung up.
  int silentClientsWaiting() {
    std::lock_guard<std::mutex> lock(m_);
    int open = 0;
    for (int fd : held_) {
      pollfd p{fd, POLLIN, 0};
      char c;
      if (::poll(&p, 1, 0) == 0 || ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) > 0) ++open;
    }
    return open;
  }
  void hangUpSilentClients() {
    std::lock_guard<std::mutex> lock(m_);
    for (int fd : held_) ::close(fd);
    held_.clear();
  }

 private:
  void acceptLoop() {
    while (!stop_) {
      pollfd p{listen_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      const int client = ::accept(listen_, nullptr, nullptr);
      if (client < 0) continue;
      if (mode == Refuse) {
        ::close(client);
      } else if (mode == Silent) {
        std::lock_guard<std::mutex> lock(m_);
        held_.push_back(client);
      } else {
        pumps_.emplace_back([this, client] { pump(client); });
      }
    }
  }
  void pump(int client) {
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(target_));
    if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      char buf[65536];
      bool cut = false;
      while (!stop_ && !cut) {
        pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(p, 2, 100) <= 0) continue;
        if (p[0].revents) {
          const ssize_t n = ::recv(client, buf, sizeof buf, 0);
          if (n <= 0 || ::send(server, buf, n, MSG_NOSIGNAL) != n) break;
          if (cutAfterCommit && QByteArray::fromRawData(buf, n).contains("\x03"
                                                                         "COMMIT")) {
            pollfd answer{server, POLLIN, 0};
            ::poll(&answer, 1, 5000);  // the server has committed once it answers
            cutAfterCommit = false;
            mode = afterCut.load();
            cut = true;
          }
        }
        if (!cut && p[1].revents) {
          const ssize_t n = ::recv(server, buf, sizeof buf, 0);
          if (n <= 0 || ::send(client, buf, n, MSG_NOSIGNAL) != n) break;
        }
      }
    }
    ::close(server);
    ::close(client);
  }

  int target_, port_ = 0, listen_ = -1;
  std::atomic<bool> stop_{false};
  std::thread acceptor_;
  std::vector<std::thread> pumps_;  // grown only by the acceptor
  std::mutex m_;
  std::vector<int> held_;
};

const QString kOrdered = u"101:12,202:3,303:2"_s;

enum Fault {
  Kill,
  PauseThenKill,
  LockPastTimeout,
  CancelWhileWriting,
  MissingItemsTable,
  TotalTooLarge,
  NarrowerColumn
};

}  // namespace

class TestSendFailures : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QString err;
    QVERIFY2(server_.start(&err), qPrintable(err));
  }
  void cleanup() {
    server_.exec(u"UNLOCK TABLES"_s);
    server_.exec(u"SET GLOBAL lock_wait_timeout = 86400, innodb_lock_wait_timeout = 50"_s);
    main_.reset();
    rec_.reset();
    relay_.reset();
    QVERIFY(WaitForShopTasks(40000));
    folder_.reset();
  }

  void failures_data();
  void failures();
  void commitAnswerLost_data();
  void commitAnswerLost();
  void silentServer();
  void organisationCodes_data();
  void organisationCodes();

 private:
  void prepare(const QString& engine, const QString& code = u"57"_s);
  void type(const QString& productId, const QString& keys);
  // New orders in the shop as "orders:items" (the sample orders end at 1006).
  QString shopHolds() {
    const QString orders = one(u"SELECT count(*) FROM uop5b_jshopping_orders WHERE order_id > 1006"_s);
    const QString items = one(u"SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id > 1006"_s);
    return orders + u':' + (items.isEmpty() ? u"0"_s : items);
  }
  QString quantities() {
    QStringList out;
    for (const QStringList& r : queryPriceDb(folder_->priceDb(),
                                             u"SELECT product_id, order_count FROM products "
                                             u"WHERE order_count > 0 ORDER BY product_id"_s))
      out << r.join(u':');
    return out.join(u',');
  }
  QString one(const QString& sql) {
    const auto rows = server_.query(sql);
    return rows.isEmpty() || rows.first().isEmpty() ? QString() : rows.first().first();
  }
  QString lastBox() const { return rec_->boxes.empty() ? QString() : rec_->boxes.back().text; }
  // Runs fault() once the send waits on the locked items table.
  void whenItemsWait(const std::function<void()>& fault);
  QWidget* busyDialog() const {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == QLatin1String(shoptask::kDialogName) && w->isVisible()) return w;
    return nullptr;
  }

  MariaDbServer server_;
  std::unique_ptr<TestProgramFolder> folder_;
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<msg::ScopedRecorder> rec_;
  std::unique_ptr<Relay> relay_;
  PriceWindow* w_ = nullptr;
  QTimer poll_;
};

void TestSendFailures::prepare(const QString& engine, const QString& code) {
  QString err;
  QVERIFY2(server_.reloadSchema(&err), qPrintable(err));
  for (const char* table : {"uop5b_jshopping_orders", "uop5b_jshopping_order_item"})
    QVERIFY(server_.exec(u"ALTER TABLE %1 ENGINE=%2"_s.arg(QLatin1String(table), engine), &err));
  folder_ = std::make_unique<TestProgramFolder>();
  folder_->useShop(server_);
  folder_->signIn(code, u"ООО Ромашка"_s);
  {
    PriceDbBuilder b(folder_->priceDb());
    b.addCategory(1, u"Бакалея"_s);
    b.addProduct(u"101"_s, 1, u"ЧАЙ-101"_s, 40, 150, u"Чай «Весна» 100 г"_s);
    b.addProduct(u"202"_s, 1, u"KF-202"_s, 12, 12.5, u"Кофе молотый 250 г"_s);
    b.addProduct(u"303"_s, 1, u"АРТ-303"_s, 5, 1000.25, u"Самовар электрический"_s);
    b.addProduct(u"404"_s, 1, u"ЯХТ-404"_s, 1, 6000000000.0, u"Яхта океанская"_s);
  }
  rec_ = std::make_unique<msg::ScopedRecorder>();
  main_ = std::make_unique<MainWindow>();
  main_->showStartupWindow();
  w_ = main_->priceWindow();
  QVERIFY(w_);
  type(u"101"_s, u"12"_s);
  type(u"202"_s, u"3"_s);
  type(u"303"_s, u"2"_s);
  w_->switchOrderView();
  QVERIFY(w_->findChild<QPushButton*>(u"Command4"_s)->isEnabled());
}

void TestSendFailures::type(const QString& productId, const QString& keys) {
  auto* grid = w_->findChild<FlexGrid*>(u"MSFlexGrid1"_s);
  for (int r = 1; r < grid->rows(); ++r)
    if (grid->textMatrix(r, 0) == productId) {
      grid->setRow(r);
      for (QChar c : keys) w_->typeOnGrid(c.unicode());
      return;
    }
  QFAIL(qPrintable(productId));
}

void TestSendFailures::whenItemsWait(const std::function<void()>& fault) {
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

void TestSendFailures::failures_data() {
  QTest::addColumn<QString>("engine");
  QTest::addColumn<int>("fault");
  QTest::addColumn<QString>("told");       // the start of the warning box
  QTest::addColumn<QString>("toldLater");  // what the next start says ("" when nothing)
  const QString lost = u"Заказ не отправлен: связь с сервером базы данных магазина прервалась.\rЕсли часть заказа"_s;
  for (const QString& engine : {u"InnoDB"_s, u"MyISAM"_s}) {
    const QString afterKill = engine == u"MyISAM"_s ? u"Незавершённый заказ от "_s : u"Заказ от "_s;
    const auto row = [&](const char* name) { return &QTest::newRow(qPrintable(engine + u' ' + QLatin1String(name))); };
    *row("killed mid-send") << engine << int(Kill) << lost << afterKill;
    *row("paused then killed") << engine << int(PauseThenKill) << lost << afterKill;
    *row("table locked past the timeout")
        << engine << int(LockPastTimeout)
        << u"Заказ не отправлен: таблица базы данных магазина занята другим пользователем."_s << QString();
    *row("cancelled while writing") << engine << int(CancelWhileWriting)
                                    << u"Заказ не отправлен: отправка отменена.\rКоличества"_s << QString();
    *row("items table missing") << engine << int(MissingItemsTable)
                                << u"Заказ не отправлен: в базе данных магазина нет нужной таблицы."_s << QString();
    *row("total beyond decimal(14,4)")
        << engine << int(TotalTooLarge)
        << u"Заказ не отправлен: сумма заказа 12000003838 больше, чем может принять магазин (не более 9999999999.9999)."_s
        << QString();
    *row("column narrower than expected")
        << engine << int(NarrowerColumn)
        << u"Заказ не отправлен: сервер базы данных магазина не принял заказ.\rКоличества в прайс-листе сохранены.\r"
           u"Data truncated for column 'product_name'"_s
        << QString();
  }
}

void TestSendFailures::failures() {
  QFETCH(QString, engine);
  QFETCH(int, fault);
  QFETCH(QString, told);
  QFETCH(QString, toldLater);
  prepare(engine);
  QString expectedQuantities = kOrdered;
  switch (fault) {
    case Kill:
    case PauseThenKill:
      QVERIFY(server_.exec(u"LOCK TABLES uop5b_jshopping_order_item WRITE"_s));
      whenItemsWait([this, fault] {
        if (fault == Kill) return server_.kill();
        server_.pause();
        QTimer::singleShot(1000, this, [this] { server_.kill(); });
      });
      break;
    case LockPastTimeout:
    case CancelWhileWriting:  // the wait goes on until the shop holds nothing of the order
      QVERIFY(server_.exec(u"SET GLOBAL lock_wait_timeout = 2, innodb_lock_wait_timeout = 2"_s));
      QVERIFY(server_.exec(u"LOCK TABLES uop5b_jshopping_order_item WRITE"_s));
      if (fault == CancelWhileWriting)
        whenItemsWait([this] {
          QTimer::singleShot(400, this, [this] {
            QVERIFY(busyDialog());
            QTest::mouseClick(busyDialog()->findChild<QPushButton*>(QLatin1String(shoptask::kCancelName)),
                              Qt::LeftButton);
          });
        });
      break;
    case MissingItemsTable:
      QVERIFY(server_.exec(u"DROP TABLE uop5b_jshopping_order_item"_s));
      break;
    case TotalTooLarge:
      w_->switchOrderView();
      type(u"404"_s, u"2"_s);
      w_->switchOrderView();
      expectedQuantities = u"101:12,202:3,303:2,404:2"_s;
      break;
    case NarrowerColumn:
      QVERIFY(server_.exec(u"DELETE FROM uop5b_jshopping_order_item"_s));
      QVERIFY(server_.exec(u"ALTER TABLE uop5b_jshopping_order_item MODIFY product_name VARCHAR(12) NOT NULL"_s));
      break;
  }
  w_->findChild<QLabel*>(u"Label1"_s)->setText(u"Заказ отправлен"_s);  // left from an earlier send
  w_->sendOrder();

  QCOMPARE(rec_->boxes.size(), size_t(1));
  QVERIFY2(lastBox().startsWith(told), qPrintable(lastBox()));
  QCOMPARE(rec_->boxes.back().title, u"Предупреждение"_s);
  QCOMPARE(rec_->boxes.back().icon, msg::Icon::Critical);
  QCOMPARE(w_->findChild<QLabel*>(u"Label1"_s)->text(), u"Заказ не отправлен"_s);
  QCOMPARE(quantities(), expectedQuantities);
  const bool killed = fault == Kill || fault == PauseThenKill;
  server_.exec(u"UNLOCK TABLES"_s);
  if (!killed) QCOMPARE(shopHolds(), u"0:0"_s);  // at once, not later

  if (killed) {
    QString err;
    QVERIFY2(server_.restart(&err), qPrintable(err));
    QVERIFY(QFile::exists(folder_->file(u"unfinished_orders.json"_s)));
    QCOMPARE(shopHolds(), engine == u"MyISAM"_s ? u"1:0"_s : u"0:0"_s);  // what the failure left
    rec_->clear();
    SettleUnfinishedOrders();  // as at the next start
    QCOMPARE(rec_->boxes.size(), size_t(1));
    QVERIFY2(lastBox().startsWith(toldLater), qPrintable(lastBox()));
  }
  if (fault == LockPastTimeout || fault == CancelWhileWriting) {  // only item rows could be left: cleared quietly
    rec_->clear();
    SettleUnfinishedOrders();
    QVERIFY(rec_->boxes.empty());
  }
  QCOMPARE(shopHolds(), u"0:0"_s);
  QVERIFY(!QFile::exists(folder_->file(u"unfinished_orders.json"_s)));
  QCOMPARE(quantities(), expectedQuantities);
}

void TestSendFailures::commitAnswerLost_data() {
  QTest::addColumn<QString>("engine");
  QTest::addColumn<bool>("shopAnswersAfterwards");
  for (const QString& engine : {u"InnoDB"_s, u"MyISAM"_s}) {
    QTest::newRow(qPrintable(engine + u" looked up at once"_s)) << engine << true;
    QTest::newRow(qPrintable(engine + u" looked up at the resend"_s)) << engine << false;
  }
}

// The connection drops after COMMIT reached the server: the order is in the shop
// and is never reported as failed; sending again does not make a second one.
void TestSendFailures::commitAnswerLost() {
  QFETCH(QString, engine);
  QFETCH(bool, shopAnswersAfterwards);
  prepare(engine);
  relay_ = std::make_unique<Relay>(server_.port());
  folder_->useShop(server_.host(), relay_->port());
  relay_->afterCut = shopAnswersAfterwards ? Relay::Pass : Relay::Refuse;
  relay_->cutAfterCommit = true;
  rec_->answers = {msg::Answer::No};
  w_->sendOrder();
  QCOMPARE(shopHolds(), u"1:3"_s);
  auto* label = w_->findChild<QLabel*>(u"Label1"_s);
  if (shopAnswersAfterwards) {
    QCOMPARE(rec_->texts(), QStringList{u"Заказ отправлен успешно.Очистить текущий заказ?"_s});
    QCOMPARE(label->text(), u"Заказ отправлен"_s);
  } else {
    QCOMPARE(rec_->boxes.size(), size_t(1));
    QVERIFY2(lastBox().startsWith(u"Не удалось узнать, записан ли заказ в магазин: связь с сервером базы данных "
                                  u"магазина прервалась."_s),
             qPrintable(lastBox()));
    QCOMPARE(label->text(), u"Заказ не подтверждён"_s);
    QCOMPARE(quantities(), kOrdered);
    relay_->mode = Relay::Pass;
    rec_->clear();
    rec_->answers = {msg::Answer::Yes};
    w_->sendOrder();  // the user tries again
    const QString number = one(u"SELECT order_number FROM uop5b_jshopping_orders WHERE order_id > 1006"_s);
    QCOMPARE(rec_->texts(), (QStringList{u"Этот заказ уже записан в магазин под номером %1 при прошлой отправке; "
                                         u"второй раз он не отправлен."_s.arg(number),
                                         u"Заказ отправлен успешно.Очистить текущий заказ?"_s}));
    QCOMPARE(quantities(), QString());
  }
  QCOMPARE(shopHolds(), u"1:3"_s);
  QCOMPARE(one(u"SELECT length(order_hash) FROM uop5b_jshopping_orders WHERE order_id > 1006"_s), u"32"_s);
  QVERIFY(!QFile::exists(folder_->file(u"unfinished_orders.json"_s)));
}

// A server that accepts connections and never answers: the windows stay
// responsive, keys typed meanwhile reach nothing, and "Отмена" ends the wait at
// once, while the connection is still waiting for the server.
void TestSendFailures::silentServer() {
  prepare(u"InnoDB"_s);
  relay_ = std::make_unique<Relay>(server_.port());
  relay_->mode = Relay::Silent;
  folder_->useShop(server_.host(), relay_->port());
  auto* grid = w_->findChild<FlexGrid*>(u"MSFlexGrid1"_s);
  const QString cellBefore = grid->textMatrix(1, 5);
  AuthorizationDialog signIn;
  signIn.findChild<QLineEdit*>(u"Text2"_s)->setText(u"58"_s);
  const std::vector<std::pair<const char*, std::function<void()>>> actions{
      {"send", [this] { w_->sendOrder(); }},
      {"orders", [this] { main_->openOrdersWindow(); }},
      {"sign-in", [&signIn] { signIn.confirmOrganisation(); }}};
  for (const auto& [name, action] : actions) {
    rec_->clear();
    bool dialogShown = false;
    QTimer::singleShot(700, this, [&] {
      QWidget* busy = busyDialog();
      dialogShown = busy != nullptr;
      grid->setFocus();
      QTest::keyClick(grid, Qt::Key_7);
      if (busy) QTest::mouseClick(busy->findChild<QPushButton*>(QLatin1String(shoptask::kCancelName)), Qt::LeftButton);
    });
    action();
    QVERIFY2(dialogShown, name);
    QVERIFY2(relay_->silentClientsWaiting() == 1, name);  // returned before the connection gave up
    relay_->hangUpSilentClients();
    const QStringList expected =
        std::string_view(name) == "send"
            ? QStringList{u"Заказ не отправлен: отправка отменена.\rКоличества в прайс-листе сохранены."_s}
            : QStringList{};
    QCOMPARE(rec_->texts(), expected);
  }
  QCOMPARE(grid->textMatrix(1, 5), cellBefore);
  QCOMPARE(quantities(), kOrdered);
  QCOMPARE(settings::text(settings::OrganisationId), u"57"_s);
  QCOMPARE(shopHolds(), u"0:0"_s);
}

void TestSendFailures::organisationCodes_data() {
  QTest::addColumn<QString>("code");
  QTest::addColumn<bool>("accepted");
  for (const QString& code : {u"abc"_s, u""_s, u"57abc"_s, u"5.7"_s})
    QTest::newRow(qPrintable(u'"' + code + u'"')) << code << false;
  for (const QString& code : {u"057"_s, u"+57"_s}) QTest::newRow(qPrintable(code)) << code << true;
}

// A code counts only as the whole number it spells, at sign-in, sending and in
// the orders window; anything else is refused and nothing is sent or listed.
void TestSendFailures::organisationCodes() {
  QFETCH(QString, code);
  QFETCH(bool, accepted);
  prepare(u"InnoDB"_s, code);
  const QString refused = u"Произошла ошибка при запросе\rКод организации не является числом: «%1»"_s.arg(code);

  rec_->clear();
  rec_->answers = {msg::Answer::No};
  w_->sendOrder();
  QCOMPARE(rec_->texts(), QStringList{accepted ? u"Заказ отправлен успешно.Очистить текущий заказ?"_s : refused});
  QCOMPARE(shopHolds(), accepted ? u"1:3"_s : u"0:0"_s);
  if (accepted) QCOMPARE(one(u"SELECT user_id FROM uop5b_jshopping_orders WHERE order_id > 1006"_s), u"57"_s);
  QCOMPARE(quantities(), kOrdered);

  rec_->clear();
  main_->openOrdersWindow();
  main_->ordersWindow()->showOpenOrders();  // the open orders of 57: 1002, and the one just sent
  auto* orders = main_->ordersWindow()->findChild<FlexGrid*>(u"MSFlexGrid1"_s);
  QCOMPARE(orders->rows(), accepted ? 3 : 1);
  if (accepted) QCOMPARE(orders->textMatrix(1, 1), u"1002"_s);
  QCOMPARE(rec_->texts().contains(refused), !accepted);

  rec_->clear();
  folder_->signIn(u"58"_s, u"ИП Петров"_s);
  AuthorizationDialog signIn;
  signIn.findChild<QLineEdit*>(u"Text2"_s)->setText(code);
  signIn.confirmOrganisation();
  const QString told = code.isEmpty() ? u"Введите код организации"_s : refused;
  QCOMPARE(rec_->texts(), accepted ? QStringList{} : QStringList{told});
  QCOMPARE(settings::text(settings::OrganisationId), accepted ? u"57"_s : u"58"_s);
  QCOMPARE(settings::text(settings::OrganisationName), accepted ? u"ООО Ромашка"_s : u"ИП Петров"_s);
}

QTEST_MAIN(TestSendFailures)
#include "test_send_failures.moc"
