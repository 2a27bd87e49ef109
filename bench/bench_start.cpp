// Start-up as the user waits for it: the whole process, from before it is
// started to its price list painted, median of several starts with the file in
// the page cache (a user's second start). The floor is an empty maximised
// window painted by a process of its own plus the bare read of every products
// column.
//   bench_start PROGRAM_FOLDER   (the folder holds varnokel.mdb)
#include "BenchSupport.h"

#include <QByteArray>
#include <QDir>
#include <QString>

#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace {

constexpr int kRuns = 7;

struct Start {
  bench::Sample time;  // processor time: the child's user and system time
  double peakMb = 0;
  QByteArray output;
};

// Starts the harness and waits for it to leave; its output tells the grid's rows.
Start runOnce(const QString& folder, bool emptyWindow) {
  const QByteArray exe = VARNOKEL_FIRST_PAINT_EXE;
  std::vector<QByteArray> args{exe};
  if (emptyWindow) args.emplace_back("--empty-window");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  QByteArray home = "VARNOKEL_HOME=" + QDir(folder).absolutePath().toLocal8Bit();
  QByteArray platform = "QT_QPA_PLATFORM=offscreen";
  std::vector<char*> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "VARNOKEL_HOME=", 14) != 0 && std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0) env.push_back(*e);
  env.push_back(home.data());
  env.push_back(platform.data());
  env.push_back(nullptr);

  int out[2];
  if (pipe(out) != 0) bench::fail(QStringLiteral("pipe"));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

  QElapsedTimer t;
  t.start();
  pid_t pid = 0;
  if (posix_spawn(&pid, exe.constData(), &actions, nullptr, argv.data(), env.data()) != 0)
    bench::fail(QStringLiteral("cannot start %1").arg(QString::fromLocal8Bit(exe)));
  close(out[1]);
  Start s;
  char buf[256];
  ssize_t n;
  while ((n = read(out[0], buf, sizeof buf)) > 0) s.output.append(buf, n);
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  s.time.wall = bench::ms(t);
  s.time.cpu = (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
  close(out[0]);
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    bench::fail(QStringLiteral("the start ended with status %1: %2").arg(status).arg(QString::fromLocal8Bit(s.output)));
  s.peakMb = static_cast<double>(ru.ru_maxrss) / 1024.0;
  return s;
}

// Every column of every product, stepped through with the C API.
bench::Sample bareProductsRead(const QString& path) {
  sqlite3* db = bench::openReadOnly(path);
  const bench::Sample t = bench::measure([&] { bench::runBare(db, QStringLiteral("SELECT * FROM products")); });
  sqlite3_close(db);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_start PROGRAM_FOLDER\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const QString db = folder + QStringLiteral("/varnokel.mdb");
  sqlite3* probe = bench::openReadOnly(db);
  const int products = bench::column(probe, "SELECT count(*) FROM products").value(0).toInt();
  sqlite3_close(probe);

  runOnce(folder, false);  // the first start writes the default settings
  bench::Figure start, window, read;
  std::vector<double> peaks;
  for (int i = 0; i < kRuns; ++i) {
    const Start s = runOnce(folder, false);
    const QByteArray expected = "painted rows " + QByteArray::number(products + 1);
    if (!s.output.contains(expected))
      bench::fail(QStringLiteral("the price list was not shown in full: %1").arg(QString::fromLocal8Bit(s.output)));
    peaks.push_back(s.peakMb);
    const bench::Sample empty = runOnce(folder, true).time;
    const bench::Sample bare = bareProductsRead(db);
    bench::Sample floor = empty;
    floor += bare;
    start.add(s.time);
    start.addFloor(floor);
    window.add(empty);
    read.add(bare);
  }
  start.print("start_to_painted");
  window.print("start_empty_window");
  read.print("start_bare_products_read");
  bench::print("start_peak_memory", bench::median(peaks), "MB");
  return 0;
}
