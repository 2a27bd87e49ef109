#pragma once
// What every benchmark shares: medians, the output line, peak memory, the
// bare SQLite helpers that floors are made of, and search words.
//   BENCH <name> <value> <unit> [floor <value> <unit> ratio <value/floor>]
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

struct sqlite3;

namespace bench {

double median(std::vector<double> values);
double ms(const QElapsedTimer& timer);
// Runs f once and returns its time in milliseconds.
double timeMs(const std::function<void()>& f);

// One run's wall time and the processor time of this thread (the machine is
// shared: the processor time shows the work done whatever the load), in ms.
struct Sample {
  double wall = 0;
  double cpu = 0;
  Sample& operator+=(const Sample& o) {
    wall += o.wall;
    cpu += o.cpu;
    return *this;
  }
};
Sample measure(const std::function<void()>& f);

// The runs of one figure and of its floor; printed as two lines, the wall
// times as <name> and the processor times as <name>_cpu, each a median.
struct Figure {
  std::vector<Sample> runs, floors;
  void add(Sample run) { runs.push_back(run); }
  void addFloor(Sample floor) { floors.push_back(floor); }
  void print(const char* name, const char* unit = "ms") const;
};

// One figure line; a floor <= 0 prints none.
void print(const char* name, double value, const char* unit, double floor = -1);
// Stops the benchmark with a message: a figure that did not do its work is not printed.
[[noreturn]] void fail(const QString& why);

// Peak resident memory of this process so far, in MB.
double peakMb();

// A read-only SQLite handle of the benchmark's own.
sqlite3* openReadOnly(const QString& path);
// Prepares and steps a statement to its end, reading every column as the
// program would; returns the number of rows.
int runBare(sqlite3* db, const QString& sql);
// One text column of a statement.
QStringList column(sqlite3* db, const char* sql);

// Words a user might type, each different (by their upper case) and each found
// in some product's name: fragments of 3 to 6 letters of name_ruRU_big, lower-cased.
QStringList searchWords(sqlite3* db, int count, unsigned seed);

}  // namespace bench
