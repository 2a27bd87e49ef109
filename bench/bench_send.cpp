// Sending an order of 500 lines to a local MariaDB server ("Отправить заказ"
// pressed in the order view, the clearing question answered No), beside its
// floor: the same three statements (order row, number, 500 items) with the same
// bound values, run bare in one transaction on an already open connection.
// Prints: BENCH send_order_500 <median> ms floor <median> ms ratio <r>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <sqlite3.h>

#include "../tools/price_schema.h"
#include "fixtures/mariadb_server.h"
#include "gui/price/PriceWindow.h"
#include "base/ProgramFolder.h"
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "gui/common/MessageBoxes.h"
#include "base/Numbers.h"
#include "base/Settings.h"

namespace {

// A window's control by its objectName.
template <class T>
T* child(const QObject* window, const char* name) {
  return window->findChild<T*>(QLatin1String(name));
}


constexpr int kProducts = 5000;
constexpr int kLines = 500;
constexpr int kRuns = 9;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double ms(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

QString productName(int i) {
  static const char* const words[] = {"Чай", "Кофе", "Набор", "Ёлочная", "гирлянда", "фарфоровый", "сервиз",
                                      "«Весна»", "'Люкс'", "молотый", "упаковка", "Абрикосы", "сушёные"};
  QString s;
  int k = i * 7919;
  while (s.size() < 20 + i % 50) {
    s += QString::fromUtf8(words[k % 13]) + QLatin1Char(' ');
    k = k / 13 + i + 3;
  }
  return s + QString::number(i);
}

bool makePriceDb(const QString& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) return false;
  bool ok = sqlite3_exec(db, kPriceSchemaSql, nullptr, nullptr, nullptr) == SQLITE_OK &&
            sqlite3_exec(db, "BEGIN; INSERT INTO categories VALUES (1,'Бакалея');", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_stmt* st = nullptr;
  ok = ok && sqlite3_prepare_v2(db,
                                "INSERT INTO products (product_id,parent_id,product_ean,product_quantity,product_price,"
                                "name_ruRU,name_ruRU_big,order_count,order_summ) VALUES (?,1,?,100,?,?,?,?,?)",
                                -1, &st, nullptr) == SQLITE_OK;
  for (int i = 0; ok && i < kProducts; ++i) {
    const QByteArray id = QByteArray::number(10000 + i);
    const QByteArray ean = "ART-" + id;
    const QByteArray name = productName(i).toUtf8();
    const QByteArray big = productName(i).toUpper().toUtf8();
    const double price = 10 + (i % 997) * 1.25;
    const int count = i % (kProducts / kLines) == 0 ? 1 + i % 9 : 0;
    sqlite3_bind_text(st, 1, id.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, ean.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(st, 3, price);
    sqlite3_bind_text(st, 4, name.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 5, big.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 6, count);
    sqlite3_bind_double(st, 7, count * price);
    ok = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

struct Line {
  QString id, ean, name, quantity, price;
};

// The order as the program sends it, read once for the floor.
std::vector<Line> orderedLines(const QString& path, double* total) {
  std::vector<Line> lines;
  *total = 0;
  sqlite3* db = nullptr;
  sqlite3_open(path.toUtf8().constData(), &db);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT product_id,product_ean,name_ruRU,order_count,product_price,order_summ FROM products "
                     "WHERE order_count > 0",
                     -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) {
    auto text = [&](int c) { return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c))); };
    lines.push_back({text(0), text(1), text(2), num::plain(sqlite3_column_double(st, 3)),
                     num::plain(sqlite3_column_double(st, 4))});
    *total += sqlite3_column_double(st, 5);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return lines;
}

bool run(QSqlQuery& q, const QString& sql, const QVariantList& values = {}) {
  if (!q.prepare(sql)) return false;
  for (int i = 0; i < values.size(); ++i) q.bindValue(i, values.at(i));
  return q.exec();
}

// The three statements bare, in one transaction.
double floorRun(QSqlDatabase& db, const std::vector<Line>& lines, double total) {
  QElapsedTimer t;
  t.start();
  QSqlQuery q(db);
  const QString totalText = num::plain(total);
  const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd H:mm:ss"));
  bool ok = q.exec(QStringLiteral("START TRANSACTION"));
  ok = ok && run(q, QStringLiteral(
      "insert into uop5b_jshopping_orders(user_id,order_total,order_subtotal,order_tax,order_shipping,order_payment,"
      "order_discount,shipping_tax,payment_tax,order_package,currency_code,currency_code_iso,currency_exchange,"
      "order_status,order_created,order_date,invoice_date,order_m_date,shipping_method_id,delivery_times_id,"
      "payment_method_id,delivery_date,coupon_id,title,f_name,client_type) "
      "VALUES (?,?,?,'0.0000','0.0000','0.0000','0.0000','0.0000','0.0000','0.00','руб.','RUB','1.000000','1','0',?,"
      "'0000-00-00 00:00:00',?,'0','0','0','0000-00-00 00:00:00','0','1',?,'0')"),
      {QStringLiteral("57"), totalText, totalText, now, now, QStringLiteral("ООО Ромашка")});
  ok = ok && q.exec(QStringLiteral("SELECT LAST_INSERT_ID()")) && q.next();
  const qlonglong id = ok ? q.value(0).toLongLong() : 0;
  ok = ok && run(q, QStringLiteral("UPDATE uop5b_jshopping_orders SET order_number = ? where order_id= ?"),
                 {QString::number(id).rightJustified(8, QLatin1Char('0')), id});
  QString sql = QStringLiteral(
      "INSERT INTO uop5b_jshopping_order_item (order_id,product_id,product_ean,product_name,product_quantity,"
      "product_item_price,product_tax,files,weight,delivery_times_id,vendor_id,basicprice) Values ");
  QVariantList values;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) sql += QLatin1Char(',');
    sql += QStringLiteral("(?,?,?,?,?,?,'0.0000','a:0:{}','0.0000','0','1','0.00')");
    values << id << lines[i].id << lines[i].ean << lines[i].name << lines[i].quantity << lines[i].price;
  }
  ok = ok && run(q, sql, values);
  ok = ok && q.exec(QStringLiteral("COMMIT"));
  const double elapsed = ms(t);
  if (!ok) {
    std::fprintf(stderr, "floor statement failed: %s\n", qPrintable(q.lastError().text()));
    return -1;
  }
  return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  MariaDbServer server;
  QString err;
  if (!server.start(&err)) {
    std::fprintf(stderr, "cannot start MariaDB: %s\n", qPrintable(err));
    return 1;
  }
  QTemporaryDir dir;
  SetProgramFolder(dir.path());
  settings::createDefault();
  auto set = [](const char* section, const char* key, const QString& value) {
    WriteSetting(settings::path(), QLatin1String(section), QLatin1String(key), value);
  };
  set("connection", "shop_host", server.host());
  set("connection", "shop_port", QString::number(server.port()));
  set("connection", "shop_database", server.database());
  set("connection", "shop_user", server.user());
  set("connection", "shop_password", server.password());
  set("authentication", "id", QStringLiteral(" 57"));
  set("authentication", "login", QStringLiteral("\"ООО Ромашка\""));
  const QString priceDb = dir.path() + QStringLiteral("/varnokel.mdb");
  if (!makePriceDb(priceDb)) {
    std::fprintf(stderr, "cannot write the price database\n");
    return 1;
  }
  double total = 0;
  const std::vector<Line> lines = orderedLines(priceDb, &total);
  if (int(lines.size()) != kLines) {
    std::fprintf(stderr, "expected %d ordered lines, have %zu\n", kLines, lines.size());
    return 1;
  }

  msg::ScopedRecorder answers;  // the clearing question is answered No
  MainWindow mainWindow;
  mainWindow.ShowStartupWindow();
  PriceWindow* w = mainWindow.priceWindow();
  w->switchOrderView();  // the order view

  auto itemsOfLastOrder = [&] {
    const auto rows = server.query(QStringLiteral(
        "SELECT count(*) FROM uop5b_jshopping_order_item WHERE order_id = (SELECT max(order_id) FROM uop5b_jshopping_orders)"));
    return rows.isEmpty() ? -1 : rows[0][0].toInt();
  };

  std::vector<double> sends;
  for (int r = 0; r <= kRuns; ++r) {
    answers.clear();
    QElapsedTimer t;
    t.start();
    w->sendOrder();
    const double elapsed = ms(t);
    if (answers.boxes.size() != 1 || itemsOfLastOrder() != kLines) {
      std::fprintf(stderr, "the order was not sent: %s\n", qPrintable(answers.texts().join(QStringLiteral(" | "))));
      return 1;
    }
    if (r > 0) sends.push_back(elapsed);  // the first run warms up
  }

  std::vector<double> floors;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMARIADB"), QStringLiteral("bench_floor"));
    db.setHostName(server.host());
    db.setPort(server.port());
    db.setDatabaseName(server.database());
    db.setUserName(server.user());
    db.setPassword(server.password());
    if (!db.open()) {
      std::fprintf(stderr, "floor connection: %s\n", qPrintable(db.lastError().text()));
      return 1;
    }
    QSqlQuery q(db);
    q.exec(QStringLiteral("SET SESSION sql_mode='NO_ENGINE_SUBSTITUTION'"));
    q.exec(QStringLiteral("SET NAMES utf8mb4"));
    for (int r = 0; r <= kRuns; ++r) {
      const double f = floorRun(db, lines, total);
      if (f < 0) return 1;
      if (r > 0) floors.push_back(f);
    }
    db.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("bench_floor"));

  const double send = median(sends);
  const double floor = median(floors);
  std::printf("BENCH send_order_500 %.1f ms floor %.1f ms ratio %.2f\n", send, floor, send / floor);
  return 0;
}
