#include "BenchSupport.h"
#include "PeakMemory.h"

#include <QSet>

#include <sqlite3.h>
#include <sys/resource.h>
#include <time.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace bench {

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

double timeMs(const std::function<void()>& f) {
  QElapsedTimer t;
  t.start();
  f();
  return ms(t);
}

namespace {
double threadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}
}  // namespace

Sample measure(const std::function<void()>& f) {
  const double cpu0 = threadCpuMs();
  QElapsedTimer t;
  t.start();
  f();
  Sample s;
  s.wall = ms(t);
  s.cpu = threadCpuMs() - cpu0;
  return s;
}

void Figure::print(const char* name, const char* unit) const {
  std::vector<double> w, c, fw, fc;
  for (const Sample& s : runs) {
    w.push_back(s.wall);
    c.push_back(s.cpu);
  }
  for (const Sample& s : floors) {
    fw.push_back(s.wall);
    fc.push_back(s.cpu);
  }
  bench::print(name, median(w), unit, median(fw));
  bench::print((std::string(name) + "_cpu").c_str(), median(c), unit, median(fc));
}

void print(const char* name, double value, const char* unit, double floor) {
  if (floor > 0)
    std::printf("BENCH %s %.2f %s floor %.2f %s ratio %.2f\n", name, value, unit, floor, unit, value / floor);
  else
    std::printf("BENCH %s %.2f %s\n", name, value, unit);
  std::fflush(stdout);
}

void fail(const QString& why) {
  std::fprintf(stderr, "bench: %s\n", qPrintable(why));
  std::exit(1);
}

double peakMb() { return static_cast<double>(PeakMemoryMb()); }

sqlite3* openReadOnly(const QString& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
    fail(QStringLiteral("cannot open %1").arg(path));
  return db;
}

int runBare(sqlite3* db, const QString& sql) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
    fail(QStringLiteral("bare statement: %1").arg(QString::fromUtf8(sqlite3_errmsg(db))));
  int rows = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    ++rows;
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
      if (sqlite3_column_type(st, c) == SQLITE_BLOB)
        sqlite3_column_blob(st, c);
      else
        sqlite3_column_text(st, c);
    }
  }
  sqlite3_finalize(st);
  return rows;
}

QStringList column(sqlite3* db, const char* sql) {
  QStringList out;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) fail(QString::fromUtf8(sqlite3_errmsg(db)));
  while (sqlite3_step(st) == SQLITE_ROW) {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    out << (t ? QString::fromUtf8(t) : QString());
  }
  sqlite3_finalize(st);
  return out;
}

QStringList searchWords(sqlite3* db, int count, unsigned seed) {
  const QStringList names = column(db, "SELECT name_ruRU_big FROM products WHERE rowid % 97 = 0");
  if (names.isEmpty()) fail(QStringLiteral("no product names to take search words from"));
  std::mt19937 rng(seed);
  QSet<QString> seen;
  QStringList words;
  for (int tries = 0; words.size() < count && tries < count * 1000; ++tries) {
    const QString& name = names[static_cast<qsizetype>(rng() % static_cast<unsigned>(names.size()))];
    QStringList parts;
    for (const QString& w : name.split(QLatin1Char(' '), Qt::SkipEmptyParts))
      if (w.size() >= 3 && std::all_of(w.begin(), w.end(), [](QChar c) { return c.isLetter(); })) parts << w;
    if (parts.isEmpty()) continue;
    const QString& w = parts[static_cast<qsizetype>(rng() % static_cast<unsigned>(parts.size()))];
    const int length = 3 + static_cast<int>(rng() % static_cast<unsigned>(std::min<qsizetype>(4, w.size() - 2)));
    const int start = static_cast<int>(rng() % static_cast<unsigned>(w.size() - length + 1));
    const QString word = w.mid(start, length);
    if (seen.contains(word)) continue;
    seen.insert(word);
    words << word.toLower();
  }
  if (words.size() < count) fail(QStringLiteral("not enough different search words"));
  return words;
}

}  // namespace bench
