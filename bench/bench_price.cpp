// The price window's figures on a large price database, each as the user waits
// for it (from the event to the grid painted), beside its floor measured in the
// same run on the same data:
//   price_reopen            the window opened again on the same file | the grid fill alone
//   category_click          a different category each time | the bare scan of every product's category
//   search_plain            a new word each time, plain layout | the bare LIKE statement
//   search_thumbnails       a new word each time, picture layout (first time) | the bare LIKE
//                           statement + fetching and decoding the pictures shown
//   scroll_page_thumbnails  one page further in the picture layout | fetching and decoding that page's pictures
//   quantity_key_press      a digit or Backspace that changes the stored row, total shown, grid repainted |
//                           one durable one-row UPDATE on a kept connection
//   send_order_500          500 lines sent to a private MariaDB, quantities cleared | the three shop
//                           statements alone on an open connection
//   session_peak_memory     the process's peak after all of the above
// Each result is checked against the statement it stands for (row counts, the
// stored quantity, the items in the shop); a figure that did not do its work
// stops the benchmark instead of being printed.
//   bench_price PROGRAM_FOLDER   (the folder holds varnokel.mdb, which is changed)
#include "BenchSupport.h"

#include "app/MainWindow.h"
#include "app/ProgramStart.h"
#include "base/Numbers.h"
#include "base/ProgramFolder.h"
#include "base/Settings.h"
#include "data/KeptJournalVfs.h"
#include "data/PriceDatabase.h"
#include "fixtures/mariadb_server.h"
#include "gui/common/MessageBoxes.h"
#include "gui/common/Twips.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceGridFill.h"
#include "gui/price/PriceWindow.h"
#include "support/PriceStatements.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTreeWidget>

#include <sqlite3.h>
#include <cstdio>

namespace {

constexpr int kRuns = 5;
constexpr int kOrderLines = 500;

// VARNOKEL_BENCH_ONLY (for profiling): the figures to run, by name
// (reopen, category, search, scroll, keys, send), each this many times more
// often when VARNOKEL_BENCH_REPEAT is set.
bool runs(const char* figure) {
  const QString only = qEnvironmentVariable("VARNOKEL_BENCH_ONLY");
  return only.isEmpty() || only.split(QLatin1Char(',')).contains(QLatin1String(figure));
}
int times(int n) { return n * std::max(1, qEnvironmentVariableIntValue("VARNOKEL_BENCH_REPEAT")); }
const int kClicks = times(15);
const int kSearches = times(15);
const int kPages = times(15);
const int kKeyPresses = times(50);
const int kSends = times(5);

// Counts the paints of a grid, so that a figure can check that it painted.
class PaintCounter : public QObject {
 public:
  using QObject::QObject;
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// The price window's controls, found as the tests find them.
struct View {
  PriceWindow* window = nullptr;
  FlexGrid* grid = nullptr;
  QLineEdit* search = nullptr;
  QCheckBox* pictures = nullptr;
  QTreeWidget* tree = nullptr;
  QLabel* counter = nullptr;
  PaintCounter* paints = nullptr;

  static View of(MainWindow& main) {
    View v;
    v.window = main.priceWindow();
    if (!v.window) bench::fail(QStringLiteral("no price window"));
    v.grid = v.window->findChild<FlexGrid*>(QStringLiteral("MSFlexGrid1"));
    v.search = v.window->findChild<QLineEdit*>(QStringLiteral("Text1"));
    v.pictures = v.window->findChild<QCheckBox*>(QStringLiteral("Check2"));
    v.tree = v.window->findChild<QTreeWidget*>(QStringLiteral("TreeView1"));
    v.counter = v.window->findChild<QLabel*>(QStringLiteral("Label1"));
    v.paints = new PaintCounter(v.grid);
    v.grid->viewport()->installEventFilter(v.paints);
    return v;
  }
  // Lets every pending event run, the grid's paint included (painted once more
  // directly if the platform did not).
  void settle() const {
    const int before = paints->paints;
    QApplication::processEvents();
    if (paints->paints == before) grid->viewport()->repaint();
  }
  int shownCount() const { return counter->text().mid(8).trimmed().toInt(); }
  // Picture keys of the rows now visible.
  std::vector<qint64> visiblePictures() const {
    std::vector<qint64> keys;
    const int first = grid->rowAt(0);
    int last = grid->rowAt(grid->viewport()->height() - 1);
    if (last < 0) last = grid->rows() - 2;
    for (int r = first; first >= 0 && r <= last; ++r)
      if (const qint64 k = grid->cellPictureKey(r + 1, 4); k >= 0) keys.push_back(k);
    return keys;
  }
};

void pressKey(QWidget* target, int key, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &release);
}

// A mouse click on a tree item, as the user makes it.
void clickItem(QTreeWidget* tree, QTreeWidgetItem* item) {
  QWidget* port = tree->viewport();
  const QPoint at = tree->visualItemRect(item).center();
  const QPoint global = port->mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(port, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(port, &release);
}

int countOf(sqlite3* db, const QString& statement) {
  return bench::column(db, QStringLiteral("SELECT count(*) FROM (%1)").arg(statement).toUtf8().constData())
      .value(0)
      .toInt();
}

QSize thumbnailBox() {
  const QSize outer = twips::toPx(0, 0, 1575, 1455).size();
  return QSize(std::max(1, outer.width() - 4), std::max(1, outer.height() - 4));
}

// What the picture layout must do at least for pictures it shows: read them in
// one statement and decode them to the box.
bench::Sample fetchAndDecode(sqlite3* db, const std::vector<qint64>& keys) {
  if (keys.empty()) return {};
  return bench::measure([&] {
    QString sql = QStringLiteral("SELECT image_thumb FROM images WHERE rowid IN (");
    for (size_t i = 0; i < keys.size(); ++i) sql += (i ? QStringLiteral(",") : QString()) + QString::number(keys[i]);
    sql += QLatin1Char(')');
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
      const auto* data = static_cast<const char*>(sqlite3_column_blob(st, 0));
      DecodePicture(QByteArray(data, sqlite3_column_bytes(st, 0)), thumbnailBox());
    }
    sqlite3_finalize(st);
  });
}

// The three shop statements of an order on an already open connection, in one
// transaction, with the values the program binds.
bench::Sample shopStatementsAlone(QSqlDatabase& db, const PendingOrder& order) {
  QSqlQuery q(db);
  auto run = [&](const QString& sql, const QVariantList& values) {
    if (!q.prepare(sql)) return false;
    for (int i = 0; i < values.size(); ++i) q.bindValue(i, values.at(i));
    return q.exec();
  };
  bool ok = true;
  const bench::Sample elapsed = bench::measure([&] {
    const QString total = num::plain(order.total);
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd H:mm:ss"));
    ok = q.exec(QStringLiteral("START TRANSACTION"));
    ok =
        ok &&
        run(QStringLiteral(
                "insert into "
                "uop5b_jshopping_orders(user_id,order_total,order_subtotal,order_tax,order_shipping,order_payment,"
                "order_discount,shipping_tax,payment_tax,order_package,currency_code,currency_code_iso,currency_"
                "exchange,"
                "order_status,order_created,order_date,invoice_date,order_m_date,shipping_method_id,delivery_times_id,"
                "payment_method_id,delivery_date,coupon_id,title,f_name,client_type) "
                "VALUES "
                "(?,?,?,'0.0000','0.0000','0.0000','0.0000','0.0000','0.0000','0.00','руб.','RUB','1.000000','1','0',?,"
                "'0000-00-00 00:00:00',?,'0','0','0','0000-00-00 00:00:00','0','1',?,'0')"),
            {QStringLiteral("57"), total, total, now, now, QStringLiteral("ООО Ромашка")});
    ok = ok && q.exec(QStringLiteral("SELECT LAST_INSERT_ID()")) && q.next();
    const qlonglong id = ok ? q.value(0).toLongLong() : 0;
    ok = ok && run(QStringLiteral("UPDATE uop5b_jshopping_orders SET order_number = ? where order_id= ?"),
                   {QString::number(id).rightJustified(8, QLatin1Char('0')), id});
    QString sql = QStringLiteral(
        "INSERT INTO uop5b_jshopping_order_item (order_id,product_id,product_ean,product_name,product_quantity,"
        "product_item_price,product_tax,files,weight,delivery_times_id,vendor_id,basicprice) Values ");
    QVariantList values;
    for (size_t i = 0; i < order.lines.size(); ++i) {
      if (i) sql += QLatin1Char(',');
      sql += QStringLiteral("(?,?,?,?,?,?,'0.0000','a:0:{}','0.0000','0','1','0.00')");
      const OrderLine& l = order.lines[i];
      values << id << l.productId << l.ean << l.name << l.quantity << l.price;
    }
    ok = ok && run(sql, values);
    ok = ok && q.exec(QStringLiteral("COMMIT"));
  });
  if (!ok) bench::fail(QStringLiteral("shop statements: %1").arg(q.lastError().text()));
  return elapsed;
}

// One durable one-row UPDATE on a connection kept open, each changing the row,
// with the program's journal (synchronous writes, the journal kept between
// them and opened again through the program's file layer). It runs on a copy of the products beside the price file, on
// the same disk, so that it can take turns with the key presses (a disk shared with others weighs on both alike)
// without writing behind the program's back.
class DurableUpdate {
 public:
  explicit DurableUpdate(const QString& dbPath) {
    copy_ = QFileInfo(dbPath).absolutePath() + QStringLiteral("/floor.mdb");
    QFile::remove(copy_);
    QFile::remove(copy_ + QStringLiteral("-journal"));
    sqlite3_open_v2(copy_.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, KeptJournalVfs());
    const QByteArray make = "ATTACH '" + dbPath.toUtf8() +
                            "' AS price; CREATE TABLE products AS SELECT * FROM price.products; "
                            "DETACH price; PRAGMA synchronous=FULL; PRAGMA journal_mode=PERSIST";
    if (sqlite3_exec(db_, make.constData(), nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db_, "UPDATE products SET order_count = ?1, order_summ = ?2 WHERE rowid = ?3", -1, &st_,
                           nullptr) != SQLITE_OK)
      bench::fail(QStringLiteral("floor copy: %1").arg(QString::fromUtf8(sqlite3_errmsg(db_))));
  }
  ~DurableUpdate() {
    sqlite3_finalize(st_);
    sqlite3_close(db_);
    QFile::remove(copy_);
    QFile::remove(copy_ + QStringLiteral("-journal"));
  }
  bench::Sample once() {
    ++round_;
    return bench::measure([&] {
      sqlite3_bind_int(st_, 1, round_);
      sqlite3_bind_double(st_, 2, 1.5 * round_);
      sqlite3_bind_int(st_, 3, 1 + round_ % 1000);
      if (sqlite3_step(st_) != SQLITE_DONE) bench::fail(QString::fromUtf8(sqlite3_errmsg(db_)));
      sqlite3_reset(st_);
    });
  }

 private:
  QString copy_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* st_ = nullptr;
  int round_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ApplyProgramFont();
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_price PROGRAM_FOLDER\n");
    return 2;
  }
  SetProgramFolder(QDir(QString::fromLocal8Bit(argv[1])).absolutePath());
  QDir::setCurrent(ProgramFolder());
  const QString dbPath = ProgramFile(QStringLiteral("varnokel.mdb"));
  settings::createDefault();
  settings::write(settings::ImageToString, QStringLiteral("0"));
  settings::write(settings::ImageThumb, QStringLiteral("0"));
  settings::write(settings::VisibleSumm, QStringLiteral("1"));

  MariaDbServer server;
  QString error;
  if (!server.start(&error)) bench::fail(QStringLiteral("MariaDB: %1").arg(error));
  settings::write({"connection", "shop_host"}, server.host());
  settings::write({"connection", "shop_port"}, QString::number(server.port()));
  settings::write({"connection", "shop_database"}, server.database());
  settings::write({"connection", "shop_user"}, server.user());
  settings::write({"connection", "shop_password"}, server.password());
  settings::write(settings::OrganisationId, QStringLiteral(" 57"));
  settings::write(settings::OrganisationName, QStringLiteral("\"ООО Ромашка\""));
  msg::ScopedRecorder answers;

  sqlite3* bare = bench::openReadOnly(dbPath);
  const int products = countOf(bare, QStringLiteral("SELECT 1 FROM products"));
  const QStringList words = bench::searchWords(bare, 2 * kSearches, 7);

  MainWindow main;
  main.startUp(QString());
  main.showNormal();
  main.resize(1366, 768);
  main.showStartupWindow();
  View v = View::of(main);
  // No quantities left from an earlier run: the orders below are exactly theirs.
  if (!v.window->database().clearQuantities(&error)) bench::fail(QStringLiteral("clearing: %1").arg(error));
  v.window->loadPriceList();
  v.settle();
  if (v.grid->rows() != products + 1) bench::fail(QStringLiteral("the list does not show every product"));

  // The window closed and opened again: the file is the same, so the products
  // read at the first opening serve again.
  if (runs("reopen")) {
    bench::Figure reopen;
    for (int i = 0; i < kRuns; ++i) {
      QPointer<PriceWindow> old = v.window;
      v.window->close();
      QApplication::processEvents();
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      if (old) bench::fail(QStringLiteral("the closed window is still there"));
      reopen.add(bench::measure([&] {
        main.openPriceWindow();
        if (!main.priceWindow()) bench::fail(QStringLiteral("the window was not opened again"));
        v = View::of(main);
        v.settle();
      }));
      if (v.grid->rows() != products + 1) bench::fail(QStringLiteral("the opened window does not show every product"));
    }
    {
      FlexGrid spare;
      spare.resize(v.grid->size());
      const std::shared_ptr<PriceCatalogue> shared = v.window->database().sharedCatalogue();
      const std::vector<CatalogueRow> all = shared->query(ProductFilter{});
      for (int i = 0; i < kRuns; ++i) {
        SetPriceGridHeaders(&spare);
        reopen.addFloor(bench::measure([&] { FillPriceGrid(&spare, shared, all, false, PriceFill::PriceList, 1555); }));
      }
    }
    reopen.print("price_reopen");
  }

  // Category clicks, a different category each time.
  if (runs("category")) {
    std::vector<qint64> parents;
    for (const QString& p : bench::column(bare, "SELECT parent_id FROM products")) parents.push_back(p.toLongLong());
    bench::Figure clicks;
    const int nodes = v.tree->topLevelItemCount();
    for (int i = 0; i < kClicks; ++i) {
      QTreeWidgetItem* node = v.tree->topLevelItem((i * 7919 + 13) % nodes);
      const QString id = node->data(0, Qt::UserRole).toString().remove(QStringLiteral("cat"));
      v.tree->scrollToItem(node);  // in sight, as the user finds it before clicking
      QApplication::processEvents();
      clicks.add(bench::measure([&] {
        clickItem(v.tree, node);
        v.settle();
      }));
      if (v.tree->currentItem() != node) bench::fail(QStringLiteral("the category was not selected"));
      const int expected = countOf(bare, stmt::filtered(false, true, id, QString()));
      if (v.grid->rows() - 1 != expected)
        bench::fail(QStringLiteral("category %1: rows differ from the statement").arg(id));
      const qint64 wanted = id.toLongLong();
      size_t hits = 0;
      clicks.addFloor(bench::measure([&] {
        for (const qint64 p : parents) hits += p == wanted;
      }));
      if (hits != size_t(expected)) bench::fail(QStringLiteral("category %1: the bare scan disagrees").arg(id));
    }
    clicks.print("category_click");
  }
  v.window->showWholeList();
  v.settle();

  // Searches, a new word each time: Enter in the search box searches its text.
  auto searchFigure = [&](const char* name, int firstWord, bool pictures) {
    bench::Figure searches;
    for (int k = 0; k < kSearches; ++k) {
      const QString word = words[firstWord + k];
      const QString upper = word.toUpper();
      v.search->setText(word);
      searches.add(bench::measure([&] {
        pressKey(v.search, Qt::Key_Return, QStringLiteral("\r"));
        v.settle();
      }));
      const int expected = countOf(bare, stmt::filtered(pictures, true, std::nullopt, upper)
                                             .replace(QStringLiteral("i.image_thumb,"), QString())
                                             .replace(QStringLiteral(",i.image_name"), QString()));
      if (v.shownCount() != expected || v.grid->rows() - 1 != expected)
        bench::fail(
            QStringLiteral("search %1: %2 rows, the statement gives %3").arg(word).arg(v.shownCount()).arg(expected));
      bench::Sample floor =
          bench::measure([&] { bench::runBare(bare, stmt::filtered(false, true, std::nullopt, upper)); });
      if (pictures) {
        const std::vector<qint64> shown = v.visiblePictures();
        floor += fetchAndDecode(bare, shown);
        // The picture file name column shows the names of the rows shown.
        const int top = v.grid->rowAt(0) + 1;
        if (const qint64 key = v.grid->cellPictureKey(top, 4); key >= 0) {
          const QString name =
              bench::column(
                  bare, QStringLiteral("SELECT image_name FROM images WHERE rowid = %1").arg(key).toUtf8().constData())
                  .value(0);
          if (v.grid->textMatrix(top, 8) != name)
            bench::fail(QStringLiteral("search %1: the picture name is not shown").arg(word));
        }
      }
      searches.addFloor(floor);
    }
    searches.print(name);
  };
  if (runs("search")) searchFigure("search_plain", 0, false);
  v.pictures->click();  // the picture layout: the list is loaded again with pictures
  v.settle();
  if (runs("search")) searchFigure("search_thumbnails", kSearches, true);

  // Scrolling the whole list with pictures by a page at a time.
  v.search->clear();
  v.window->showWholeList();
  v.settle();
  if (runs("scroll")) {
    const int first = v.grid->rowAt(0);
    const int page = std::max(1, v.grid->rowAt(v.grid->viewport()->height() - 1) - first);
    int top = products / 3;
    v.grid->setTopRow(top);
    v.settle();
    bench::Figure pages;
    for (int k = 0; k < kPages; ++k) {
      top += page;
      pages.add(bench::measure([&] {
        v.grid->setTopRow(top);
        v.settle();
      }));
      if (v.grid->topRow() != top) bench::fail(QStringLiteral("the grid did not scroll"));
      pages.addFloor(fetchAndDecode(bare, v.visiblePictures()));
    }
    pages.print("scroll_page_thumbnails");
  }

  // Quantities typed on a row of the plain list: each key changes the stored row.
  v.pictures->click();
  v.settle();
  const int keyRow = 7;
  bench::Figure presses;
  if (runs("keys")) {
    DurableUpdate durable(dbPath);
    v.grid->setRow(keyRow);
    v.grid->setCol(2);
    for (int k = 0; k < kKeyPresses; ++k) {
      const bool digit = k == 0 || k % 2 == 1;
      presses.add(bench::measure([&] {
        if (digit)
          pressKey(v.grid, Qt::Key_5, QStringLiteral("5"));
        else
          pressKey(v.grid, Qt::Key_Backspace, QString());
        v.settle();
      }));
      presses.addFloor(durable.once());
      const QString id = v.grid->textMatrix(keyRow, 0);
      const QString stored =
          bench::column(
              bare,
              QStringLiteral("SELECT order_count FROM products WHERE product_id = '%1'").arg(id).toUtf8().constData())
              .value(0);
      if (stored != v.grid->textMatrix(keyRow, 5)) bench::fail(QStringLiteral("the typed quantity was not stored"));
    }
    while (!v.grid->textMatrix(keyRow, 5).isEmpty()) pressKey(v.grid, Qt::Key_Backspace, QString());
  }

  // Sending 500 lines, the clearing question answered Yes.
  if (runs("send")) {
    PriceDatabase& db = v.window->database();
    PriceCatalogue* catalogue = db.catalogue(&error);
    if (!catalogue) bench::fail(error);
    const std::vector<CatalogueRow> all = catalogue->query(ProductFilter{});
    std::vector<std::pair<QString, double>> chosen;
    for (int i = 0; i < kOrderLines; ++i) {
      const CatalogueProduct& p = catalogue->product(all[size_t(i) * all.size() / kOrderLines].product);
      chosen.emplace_back(QString::fromUtf8(p.id.text.data(), qsizetype(p.id.text.size())), p.price.number);
    }
    // The row typed on above is cleared too.
    QSqlDatabase shop = QSqlDatabase::addDatabase(QStringLiteral("QMARIADB"), QStringLiteral("bench_shop"));
    shop.setHostName(server.host());
    shop.setPort(server.port());
    shop.setDatabaseName(server.database());
    shop.setUserName(server.user());
    shop.setPassword(server.password());
    if (!shop.open()) bench::fail(QStringLiteral("shop connection: %1").arg(shop.lastError().text()));
    QSqlQuery(shop).exec(QStringLiteral("SET SESSION sql_mode='NO_ENGINE_SUBSTITUTION'"));
    QSqlQuery(shop).exec(QStringLiteral("SET NAMES utf8mb4"));

    bench::Figure sends, first;
    for (int run = 0; run <= kSends; ++run) {
      for (const auto& [id, price] : chosen)
        if (!db.storeQuantity(id, 2, 2 * price, &error))
          bench::fail(QStringLiteral("storing the order: %1").arg(error));
      PendingOrder order;
      if (!db.readPendingOrder(&order, &error) || int(order.lines.size()) != kOrderLines)
        bench::fail(QStringLiteral("the order to send has %1 lines").arg(order.lines.size()));
      v.window->switchOrderView();  // the order view, where the button is enabled
      v.settle();
      answers.clear();
      answers.answers.push_back(msg::Answer::Yes);
      const bench::Sample t = bench::measure([&] {
        v.window->sendOrder();
        v.settle();
      });
      const auto items =
          server.query(QStringLiteral("SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id = (SELECT "
                                      "max(order_id) FROM uop5b_jshopping_orders)"));
      if (answers.boxes.size() != 1 || items.value(0).value(0).toInt() != kOrderLines ||
          v.counter->text() != QStringLiteral("Заказ отправлен"))
        bench::fail(QStringLiteral("the order was not sent: %1").arg(answers.texts().join(QStringLiteral(" | "))));
      if (countOf(bare, QStringLiteral("SELECT 1 FROM products WHERE order_count <> 0 OR order_summ <> 0")) != 0)
        bench::fail(QStringLiteral("the quantities were not cleared"));
      if (run == 0)
        first.add(t);
      else
        sends.add(t);
      sends.addFloor(shopStatementsAlone(shop, order));
      v.window->switchOrderView();  // back to the whole list
      v.settle();
    }
    shop.close();
    sends.print("send_order_500");
    first.print("send_order_500_first_of_session");
  }
  if (runs("keys")) presses.print("quantity_key_press");
  bench::print("session_peak_memory", bench::peakMb(), "MB");

  sqlite3_close(bare);
  return 0;
}
