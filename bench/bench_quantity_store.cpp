// A typed quantity stored durably through the price database's kept connection,
// each store a real change of another product, beside its floor: one durable
// one-row UPDATE on a kept connection with the same journal (synchronous=FULL,
// journal_mode=PERSIST). For comparison, the same UPDATE with a write-ahead log
// (one sync per commit), which the program does not use.
//
//   bench_quantity_store FOLDER     (FOLDER/varnokel.mdb is written to: use a copy)
//
// Prints: BENCH quantity_store <median> ms floor <median> ms ratio <r>
//         BENCH quantity_store_wal_floor <median> ms
#include "base/ProgramFolder.h"
#include "data/Database.h"
#include "data/PriceDatabase.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

namespace {

constexpr int kRuns = 41;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::vector<QByteArray> productIds(const QByteArray& path) {
  std::vector<QByteArray> ids;
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT product_id FROM products ORDER BY rowid LIMIT 5000", -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) ids.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  sqlite3_finalize(st);
  sqlite3_close(db);
  return ids;
}

// Quantities never written before, so that every store changes its row.
int nextQuantity() {
  static int q = static_cast<int>(QDateTime::currentMSecsSinceEpoch() % 100000) * 10;
  return ++q;
}

double bareUpdate(const QByteArray& path, const std::vector<QByteArray>& ids, const char* journal) {
  sqlite3* db = nullptr;
  sqlite3_open(path.constData(), &db);
  sqlite3_exec(db, (QByteArray("PRAGMA synchronous=FULL; PRAGMA journal_mode=") + journal).constData(), nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "UPDATE products SET order_count=?, order_summ=? WHERE product_id=?", -1, &st, nullptr);
  std::vector<double> t;
  for (int i = 0; i < kRuns; ++i) {
    const int q = nextQuantity();
    QElapsedTimer e;
    e.start();
    sqlite3_bind_int(st, 1, q);
    sqlite3_bind_double(st, 2, q * 1.5);
    sqlite3_bind_text(st, 3, ids[(i * 37) % ids.size()].constData(), -1, SQLITE_STATIC);
    sqlite3_step(st);
    sqlite3_reset(st);
    t.push_back(e.nsecsElapsed() / 1e6);
  }
  sqlite3_finalize(st);
  sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return median(t);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_quantity_store FOLDER\n");
    return 2;
  }
  SetProgramFolder(QString::fromLocal8Bit(argv[1]));
  const QByteArray path = PriceDatabasePath().toLocal8Bit();
  const std::vector<QByteArray> ids = productIds(path);
  if (ids.empty()) {
    std::fprintf(stderr, "no products in %s\n", path.constData());
    return 1;
  }
  std::vector<double> t;
  {
    PriceDatabase prices;
    QString error;
    prices.storeQuantity(QString::fromUtf8(ids[0]), nextQuantity(), 1, &error);  // the file's first store stamps it
    for (int i = 0; i < kRuns; ++i) {
      const int q = nextQuantity();
      QElapsedTimer e;
      e.start();
      if (!prices.storeQuantity(QString::fromUtf8(ids[(i * 53) % ids.size()]), q, q * 1.5, &error)) {
        std::fprintf(stderr, "store failed: %s\n", qPrintable(error));
        return 1;
      }
      t.push_back(e.nsecsElapsed() / 1e6);
    }
  }
  const double store = median(t);
  const double floor = bareUpdate(path, ids, "PERSIST");
  const double wal = bareUpdate(path, ids, "WAL");
  std::printf("BENCH quantity_store %.3f ms floor %.3f ms ratio %.2f\n", store, floor, store / floor);
  std::printf("BENCH quantity_store_wal_floor %.3f ms\n", wal);
  return 0;
}
