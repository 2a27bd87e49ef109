// Writes to a price file through the program's own connection until it is killed:
// every transaction adds one to the quantity of every product. Prints "ready" once
// the quantities are all zero.
#include "data/PriceStore.h"

#include <sqlite3.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  PriceStore store;
  QString error;
  if (!store.open(QString::fromLocal8Bit(argv[1]), &error)) {
    std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
    return 1;
  }
  const auto run = [&](const char* sql) { return sqlite3_exec(store.handle(), sql, nullptr, nullptr, nullptr); };
  for (bool first = true;
       run(first ? "UPDATE products SET order_count=0" : "UPDATE products SET order_count=order_count+1") == SQLITE_OK;
       first = false) {
    if (first) {
      std::puts("ready");
      std::fflush(stdout);
    }
  }
  std::fprintf(stderr, "%s\n", sqlite3_errmsg(store.handle()));
  return 1;
}
