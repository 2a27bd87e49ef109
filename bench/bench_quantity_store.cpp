// A typed quantity stored durably through the price database's kept connection,
// each store a real change of another product, beside its floor: one durable
// one-row UPDATE on a kept connection with the same journal (synchronous=FULL,
// journal_mode=PERSIST). For comparison, the same UPDATE with a write-ahead log
// (one sync per commit), which the program does not use.
//
//   bench_quantity_store FOLDER     (FOLDER/varnokel.mdb is written to: use a copy)
//
// Prints: BENCH quantity_typed_store <median> ms floor <median> ms ratio <r>
//           (a digit typed on the grid: stored, total shown, cell repainted)
//         BENCH quantity_store <median> ms floor <median> ms ratio <r>
//         BENCH quantity_store_wal_floor <median> ms
#include "app/MainWindow.h"
#include "base/ProgramFolder.h"
#include "data/Database.h"
#include "data/KeptJournalVfs.h"
#include "data/PriceDatabase.h"
#include "gui/grid/FlexGrid.h"
#include "gui/price/PriceWindow.h"

#include <sqlite3.h>
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
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

// One durable one-row UPDATE on a kept connection.
class Floor {
 public:
  Floor(const QByteArray& path, const char* journal) {
    // The program's file layer: the kept journal is opened again, not made anew.
    sqlite3_open_v2(path.constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, KeptJournalVfs());
    sqlite3_exec(db_, (QByteArray("PRAGMA synchronous=FULL; PRAGMA journal_mode=") + journal).constData(), nullptr,
                 nullptr, nullptr);
    sqlite3_prepare_v2(db_, "UPDATE products SET order_count=?, order_summ=? WHERE product_id=?", -1, &st_, nullptr);
  }
  ~Floor() {
    sqlite3_finalize(st_);
    sqlite3_exec(db_, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
  }
  double update(const QByteArray& id) {
    const int q = nextQuantity();
    QElapsedTimer e;
    e.start();
    sqlite3_bind_int(st_, 1, q);
    sqlite3_bind_double(st_, 2, q * 1.5);
    sqlite3_bind_text(st_, 3, id.constData(), -1, SQLITE_STATIC);
    sqlite3_step(st_);
    sqlite3_reset(st_);
    return e.nsecsElapsed() / 1e6;
  }
  double medianOf(const std::vector<QByteArray>& ids) {
    std::vector<double> t;
    for (int i = 0; i < kRuns; ++i) t.push_back(update(ids[(i * 37) % ids.size()]));
    return median(t);
  }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* st_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_quantity_store FOLDER\n");
    return 2;
  }
  SetProgramFolder(QString::fromLocal8Bit(argv[1]));
  const QByteArray path = PriceDatabasePath().toLocal8Bit();
  const std::vector<QByteArray> ids = productIds(path);
  if (ids.size() < 100) {
    std::fprintf(stderr, "too few products in %s\n", path.constData());
    return 1;
  }
  // The three are measured in rounds, so that a disk shared with others weighs
  // on each alike. The floor's own connection is another writer: the window
  // reads the file again after it, outside the timing.
  std::vector<double> keys, stores, floors;
  {
    MainWindow main;
    main.startUp(QString());
    main.showStartupWindow();
    PriceWindow* w = main.priceWindow();
    auto* g = w->findChild<FlexGrid*>(QStringLiteral("MSFlexGrid1"));
    PriceDatabase& prices = w->database();
    QString error;
    // Empty quantity cells to type into; the file's first store stamps it.
    prices.clearQuantities(&error);
    w->loadPriceList();
    QApplication::processEvents();
    int key = 0;
    for (int round = 0; round < 3; ++round) {
      prices.catalogue(nullptr);
      for (int i = 0; i < kRuns / 3 + 1; ++i, ++key) {
        // A digit on a row that holds at most two digits yet: a real change.
        g->setRow(1 + key % 25);
        QApplication::processEvents();
        QElapsedTimer e;
        e.start();
        w->typeOnGrid('1' + key % 9);
        QApplication::processEvents();
        keys.push_back(e.nsecsElapsed() / 1e6);
      }
      for (int i = 0; i < kRuns / 3 + 1; ++i) {
        const int q = nextQuantity();
        QElapsedTimer e;
        e.start();
        if (!prices.storeQuantity(QString::fromUtf8(ids[50 + (key + i) % 50]), q, q * 1.5, &error)) {
          std::fprintf(stderr, "store failed: %s\n", qPrintable(error));
          return 1;
        }
        stores.push_back(e.nsecsElapsed() / 1e6);
      }
      Floor floor(path, "PERSIST");
      for (int i = 0; i < kRuns / 3 + 1; ++i) floors.push_back(floor.update(ids[(key * 37 + i) % ids.size()]));
    }
  }
  const double floor = median(floors);
  const double wal = Floor(path, "WAL").medianOf(ids);
  std::printf("BENCH quantity_typed_store %.3f ms floor %.3f ms ratio %.2f\n", median(keys), floor,
              median(keys) / floor);
  std::printf("BENCH quantity_store %.3f ms floor %.3f ms ratio %.2f\n", median(stores), floor, median(stores) / floor);
  std::printf("BENCH quantity_store_wal_floor %.3f ms\n", wal);
  return 0;
}
