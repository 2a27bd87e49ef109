// Publishing the price list of a large shop: varnokel-publish --output reads the
// catalogue from a local MariaDB, the thumbnails from the picture folder, writes,
// checks and puts the price database in place. Its floor writes the same rows
// and the same picture files into SQLite with the C API in one transaction and
// syncs the file to disk, nothing else. Both run as processes of their own; time is the whole process,
// memory its peak resident size.
//
//   bench_publish SOURCE_PRICE_DB WORK_DIR [--products N] [--runs R]
//
// The shop's tables are filled from SOURCE_PRICE_DB (made by make_price_db):
// its categories, its products (every tenth also in a second category) and one
// picture per product image row, whose bytes become the thumbnail files
// WORK_DIR/pictures/thumb_<name> (made once, kept for later runs).
// Prints: BENCH publish_<N>_time ... and BENCH publish_<N>_peak_memory ...
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "../tools/price_schema.h"
#include "fixtures/mariadb_server.h"

extern char** environ;

namespace {

struct Product {
  QByteArray id, ean, name;
  qint64 category = 0;
  qint64 quantity = 0;
  double price = 0;
  std::vector<QByteArray> pictures;  // file names, as the shop keeps them
};

struct Source {
  std::vector<std::pair<qint64, QByteArray>> categories;
  std::vector<Product> products;
};

QByteArray text(sqlite3_stmt* st, int col) {
  return QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st, col)), sqlite3_column_bytes(st, col));
}

// The source's rows; with thumbnails (written to the picture folder) when pictureFolder is given.
bool readSource(const QString& path, int limit, const QString& pictureFolder, Source* s) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return false;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT category_id, name_ruRU FROM categories ORDER BY category_id", -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) s->categories.emplace_back(sqlite3_column_int64(st, 0), text(st, 1));
  sqlite3_finalize(st);
  sqlite3_prepare_v2(db,
                     "SELECT product_id, parent_id, product_ean, product_quantity, product_price, name_ruRU "
                     "FROM products ORDER BY CAST(product_id AS INTEGER) LIMIT ?",
                     -1, &st, nullptr);
  sqlite3_bind_int(st, 1, limit);
  QHash<QByteArray, size_t> byId;
  while (sqlite3_step(st) == SQLITE_ROW) {
    Product p{text(st, 0),
              text(st, 2),
              text(st, 5),
              sqlite3_column_int64(st, 1),
              sqlite3_column_int64(st, 3),
              sqlite3_column_double(st, 4),
              {}};
    byId.insert(p.id, s->products.size());
    s->products.push_back(std::move(p));
  }
  sqlite3_finalize(st);
  sqlite3_prepare_v2(db,
                     pictureFolder.isEmpty() ? "SELECT product_id FROM images ORDER BY rowid"
                                             : "SELECT product_id, image_thumb FROM images ORDER BY rowid",
                     -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) {
    const auto it = byId.constFind(text(st, 0));
    if (it == byId.constEnd()) continue;
    Product& p = s->products[*it];
    const QByteArray name = "p" + p.id + "_" + QByteArray::number(qsizetype(p.pictures.size())) + ".jpg";
    p.pictures.push_back(name);
    if (pictureFolder.isEmpty()) continue;
    QFile f(pictureFolder + QStringLiteral("/thumb_") + QString::fromLatin1(name));
    if (!f.open(QIODevice::WriteOnly) ||
        f.write(static_cast<const char*>(sqlite3_column_blob(st, 1)), sqlite3_column_bytes(st, 1)) < 0)
      return false;
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return !s->products.empty();
}

QByteArray sqlText(const QByteArray& s) {
  QByteArray e = s;
  e.replace("\\", "\\\\").replace("'", "\\'");
  return "'" + e + "'";
}

// The shop's catalogue tables filled with the source's rows.
bool loadShop(MariaDbServer& shop, const Source& s, QString* error) {
  if (!shop.runSqlFile(QStringLiteral(VARNOKEL_SOURCE_DIR "/tools/shop_catalogue_schema.sql"), error)) return false;
  QByteArray sql = "SET SESSION sql_mode='NO_ENGINE_SUBSTITUTION';\n";
  auto batches = [&](const char* head, size_t count, auto row) {
    for (size_t i = 0; i < count; ++i) {
      sql += (i % 2000 == 0 ? QByteArray(head) : QByteArray(",")) + row(i);
      if (i % 2000 == 1999 || i + 1 == count) sql += ";\n";
    }
  };
  batches("INSERT INTO uop5b_jshopping_categories (category_id, category_publish, ordering, `name_ru-RU`) VALUES ",
          s.categories.size(), [&](size_t i) {
            return "(" + QByteArray::number(s.categories[i].first) + ",1," + QByteArray::number(qsizetype(i)) + "," +
                   sqlText(s.categories[i].second) + ")";
          });
  batches(
      "INSERT INTO uop5b_jshopping_products (product_id, product_ean, product_quantity, product_price, "
      "product_publish, image, `name_ru-RU`) VALUES ",
      s.products.size(), [&](size_t i) {
        const Product& p = s.products[i];
        return "(" + p.id + "," + sqlText(p.ean) + "," + QByteArray::number(p.quantity) + "," +
               QByteArray::number(p.price, 'f', 2) + ",1," + sqlText(p.pictures.empty() ? "" : p.pictures[0]) + "," +
               sqlText(p.name) + ")";
      });
  batches("INSERT INTO uop5b_jshopping_products_to_categories VALUES ", s.products.size(), [&](size_t i) {
    const Product& p = s.products[i];
    QByteArray row = "(" + p.id + "," + QByteArray::number(p.category) + ",1)";
    if (i % 10 == 0 && s.categories.size() > 1) {
      const qint64 other = s.categories[(i / 10) % s.categories.size()].first;
      if (other != p.category) row += ",(" + p.id + "," + QByteArray::number(other) + ",2)";
    }
    return row;
  });
  std::vector<std::pair<const Product*, size_t>> pictures;
  for (const Product& p : s.products)
    for (size_t k = 0; k < p.pictures.size(); ++k) pictures.emplace_back(&p, k);
  batches("INSERT INTO uop5b_jshopping_products_images (product_id, image_name, ordering) VALUES ", pictures.size(),
          [&](size_t i) {
            const auto& [p, k] = pictures[i];
            return "(" + p->id + "," + sqlText(p->pictures[k]) + "," + QByteArray::number(qsizetype(k)) + ")";
          });
  return shop.runSqlText(QString::fromUtf8(sql), error);
}

struct ChildRun {
  bool ok = false;
  double ms = 0;
  double peakMb = 0;
};

// Our own resident size now: a child's peak cannot read below it (the child
// starts as a copy of this process until its exec).
double residentMb() {
  QFile f(QStringLiteral("/proc/self/statm"));
  if (!f.open(QIODevice::ReadOnly)) return 0;
  return double(f.readAll().split(' ').value(1).toLongLong()) * double(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// Runs a program to its end with its output thrown away; wall time and peak memory.
ChildRun runChild(const QStringList& args) {
  std::vector<QByteArray> bytes;
  for (const QString& a : args) bytes.push_back(a.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& b : bytes) argv.push_back(b.data());
  argv.push_back(nullptr);
  // The child starts as a copy of this process, and its peak starts from this
  // process's peak: bring that down to what is resident now.
  QFile clear(QStringLiteral("/proc/self/clear_refs"));
  if (clear.open(QIODevice::WriteOnly)) clear.write("5");
  clear.close();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  QElapsedTimer t;
  t.start();
  pid_t pid = 0;
  ChildRun r;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) == pid) {
      r.ms = double(t.nsecsElapsed()) / 1e6;
      r.peakMb = double(usage.ru_maxrss) / 1024.0;
      r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  return r;
}

// The floor, run as a child: the same rows and picture files into a new SQLite file.
int writeFloor(const QString& source, int limit, const QString& pictureFolder, const QString& output) {
  Source s;
  if (!readSource(source, limit, QString(), &s)) return 1;
  QFile::remove(output);
  sqlite3* db = nullptr;
  if (sqlite3_open(output.toUtf8().constData(), &db) != SQLITE_OK) return 1;
  bool ok =
      sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;", nullptr, nullptr, nullptr) == SQLITE_OK &&
      sqlite3_exec(db, kPriceSchemaSql, nullptr, nullptr, nullptr) == SQLITE_OK &&
      sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_stmt *cat = nullptr, *prod = nullptr, *img = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO categories VALUES (?,?)", -1, &cat, nullptr);
  sqlite3_prepare_v2(db,
                     "INSERT INTO products (product_id, parent_id, product_ean, product_quantity, product_price, "
                     "name_ruRU, name_ruRU_big, order_count, order_summ) VALUES (?,?,?,?,?,?,?,0,0)",
                     -1, &prod, nullptr);
  sqlite3_prepare_v2(db, "INSERT INTO images (product_id, image_thumb, image_name) VALUES (?,?,?)", -1, &img, nullptr);
  auto step = [&](sqlite3_stmt* st) {
    ok = ok && sqlite3_step(st) == SQLITE_DONE;
    sqlite3_reset(st);
  };
  for (const auto& [id, name] : s.categories) {
    sqlite3_bind_int64(cat, 1, id);
    sqlite3_bind_text(cat, 2, name.constData(), int(name.size()), SQLITE_STATIC);
    step(cat);
  }
  std::vector<char> buffer(1 << 20);
  for (const Product& p : s.products) {
    const QByteArray big = QString::fromUtf8(p.name).toUpper().toUtf8();
    sqlite3_bind_text(prod, 1, p.id.constData(), int(p.id.size()), SQLITE_STATIC);
    sqlite3_bind_int64(prod, 2, p.category);
    sqlite3_bind_text(prod, 3, p.ean.constData(), int(p.ean.size()), SQLITE_STATIC);
    sqlite3_bind_int64(prod, 4, p.quantity);
    sqlite3_bind_double(prod, 5, p.price);
    sqlite3_bind_text(prod, 6, p.name.constData(), int(p.name.size()), SQLITE_STATIC);
    sqlite3_bind_text(prod, 7, big.constData(), int(big.size()), SQLITE_STATIC);
    step(prod);
    for (const QByteArray& name : p.pictures) {
      FILE* f = std::fopen((pictureFolder.toLocal8Bit() + "/thumb_" + name).constData(), "rb");
      const size_t n = f ? std::fread(buffer.data(), 1, buffer.size(), f) : 0;
      if (f) std::fclose(f);
      sqlite3_bind_text(img, 1, p.id.constData(), int(p.id.size()), SQLITE_STATIC);
      sqlite3_bind_blob(img, 2, buffer.data(), int(n), SQLITE_STATIC);
      sqlite3_bind_text(img, 3, name.constData(), int(name.size()), SQLITE_STATIC);
      step(img);
    }
  }
  sqlite3_finalize(cat);
  sqlite3_finalize(prod);
  sqlite3_finalize(img);
  ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  // On disk before it counts as written, as the publisher's --output file.
  const int fd = ::open(output.toLocal8Bit().constData(), O_RDONLY);
  ok = ok && fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  return ok ? 0 : 1;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void print(const QByteArray& name, double value, double floor, const char* unit) {
  std::printf("BENCH %s %.1f %s floor %.1f %s ratio %.2f\n", name.constData(), value, unit, floor, unit, value / floor);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments();
  if (args.size() == 6 && args.at(1) == QLatin1String("--floor"))
    return writeFloor(args.at(2), args.at(3).toInt(), args.at(4), args.at(5));
  int products = 100000, runs = 3;
  for (int i = 3; i + 1 < args.size(); i += 2) {
    if (args.at(i) == QLatin1String("--products")) products = args.at(i + 1).toInt();
    if (args.at(i) == QLatin1String("--runs")) runs = std::max(1, args.at(i + 1).toInt());
  }
  if (args.size() < 3 || products < 1) {
    std::fprintf(stderr, "usage: bench_publish SOURCE_PRICE_DB WORK_DIR [--products N] [--runs R]\n");
    return 2;
  }
  const QString source = args.at(1);
  const QDir work(args.at(2));
  const QString pictures = work.filePath(QStringLiteral("pictures-%1").arg(products));
  const QString marker = pictures + QStringLiteral("/.complete");
  Source s;
  const bool cached = QFileInfo::exists(marker) && QFileInfo(marker).lastModified() > QFileInfo(source).lastModified();
  QDir().mkpath(pictures);
  if (!readSource(source, products, cached ? QString() : pictures, &s)) {
    std::fprintf(stderr, "bench_publish: cannot read %s or write %s\n", qPrintable(source), qPrintable(pictures));
    return 1;
  }
  if (!cached) QFile(marker).open(QIODevice::WriteOnly);

  MariaDbServer shop;
  QString error;
  if (!shop.start(&error) || !loadShop(shop, s, &error)) {
    std::fprintf(stderr, "bench_publish: shop database: %s\n", qPrintable(error));
    return 1;
  }
  const QString config = work.filePath(QStringLiteral("publish.conf"));
  QFile conf(config);
  conf.open(QIODevice::WriteOnly);
  conf.write(
      QStringLiteral("shop-host=%1\nshop-port=%2\nshop-database=%3\nshop-user=%4\nshop-password=%5\npictures=%6\n")
          .arg(shop.host())
          .arg(shop.port())
          .arg(shop.database(), shop.user(), shop.password(), pictures)
          .toUtf8());
  conf.close();

  const qsizetype productCount = qsizetype(s.products.size());
  s = {};
  malloc_trim(0);
  const QString output = work.filePath(QStringLiteral("varnokel.mdb"));
  const QString floorOutput = work.filePath(QStringLiteral("floor.mdb"));
  std::vector<double> ms, mb, floorMs, floorMb;
  for (int i = 0; i < runs; ++i) {
    const ChildRun r = runChild(
        {QStringLiteral(PUBLISHER_EXE), QStringLiteral("--config"), config, QStringLiteral("--output"), output});
    const ChildRun f = runChild({QCoreApplication::applicationFilePath(), QStringLiteral("--floor"), source,
                                 QString::number(products), pictures, floorOutput});
    if (!r.ok || !f.ok) {
      std::fprintf(stderr, "bench_publish: %s failed\n", r.ok ? "the floor" : "varnokel-publish");
      return 1;
    }
    ms.push_back(r.ms);
    mb.push_back(r.peakMb);
    floorMs.push_back(f.ms);
    floorMb.push_back(f.peakMb);
  }
  const QByteArray name = "publish_" + QByteArray::number(productCount);
  print(name + "_time", median(ms), median(floorMs), "ms");
  print(name + "_peak_memory", median(mb), median(floorMb), "MB");
  std::printf("# price database %.1f MB, floor file %.1f MB; peaks cannot read below %.1f MB (this process)\n",
              double(QFileInfo(output).size()) / 1048576.0, double(QFileInfo(floorOutput).size()) / 1048576.0,
              residentMb());
  return 0;
}
