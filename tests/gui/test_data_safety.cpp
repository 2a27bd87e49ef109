// The customer's data under faults injected on purpose: another program holding
// the price file, read-only file and folder, a full disk, a product gone, prices
// that are no number, a hard kill while typing followed by a new file put in by
// hand, two programs on one folder, a settings file that cannot be written, and
// a build with no servers set up. After each: the files are intact, the total
// shown is the total stored, and the user was told.
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "gui/common/MessageBoxes.h"
#include "gui/settings/OptionsDialog.h"
#include "support/DrivenProgram.h"
#include "support/PriceProgram.h"
#include "support/Widgets.h"

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QPushButton>
#include <QtTest>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// ---- the files as they are on disk

QString one(const QString& db, const QString& sql) {
  const auto rows = queryPriceDb(db, sql);
  return rows.isEmpty() ? QString() : rows.first().value(0);
}
bool intact(const QString& db) { return one(db, u"PRAGMA quick_check"_s) == u"ok"_s; }
// The sum of the stored sums that are numbers.
double storedTotal(const QString& db) {
  double t = 0;
  for (const auto& r : queryPriceDb(db, u"select order_summ from products"_s))
    if (std::isfinite(r.value(0).toDouble())) t += r.value(0).toDouble();
  return t;
}
double shownTotal(const QString& label) { return label.section(u':', 1).trimmed().toDouble(); }
QByteArray digest(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1) : QByteArray();
}
void setTime(const QString& path, const QDateTime& t) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(t, QFileDevice::FileModificationTime));
}
QString dateLabel(const QDateTime& t) {
  return u"Прайс-лист от "_s + QLocale().toString(t.date(), QLocale::ShortFormat) + u' ' + t.toString(u"H:mm:ss"_s);
}

// ---- faults

// Read-only for everyone, root included: the immutable attribute (root), else
// the permission bits.
bool setReadOnly(const QString& path, bool on) {
  if (!QFileInfo::exists(path)) return false;
  if (::geteuid() == 0) return QProcess::execute(u"chattr"_s, {on ? u"+i"_s : u"-i"_s, path}) == 0;
  return QFile::setPermissions(path, on ? QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                        : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// The sqlite3 tool with statements run, kept waiting until finished or killed.
class SqliteTool {
 public:
  bool start(const QString& db, const QString& statements) {
    p_.start(u"sqlite3"_s, {db});
    p_.write((statements + u"\n.shell echo held\n"_s).toUtf8());
    QByteArray out;
    QDeadlineTimer t(10000);
    while (!out.contains("held") && !t.hasExpired() && p_.state() != QProcess::NotRunning) {
      p_.waitForReadyRead(100);
      out += p_.readAllStandardOutput();
    }
    return out.contains("held");
  }
  void crash() {  // SIGKILL in the middle of its work
    p_.kill();
    p_.waitForFinished();
  }
  void finish() {
    p_.closeWriteChannel();
    p_.waitForFinished();
  }
  ~SqliteTool() { crash(); }

 private:
  QProcess p_;
};

// A full disk: the program folder on a small tmpfs of its own, filled up; where
// nothing may be mounted, a file-size limit on this process instead.
class DiskFull {
 public:
  explicit DiskFull(const QString& folder) : folder_(folder) {
    mounted_ = ::mount("tmpfs", folder.toLocal8Bit().constData(), "tmpfs", 0, "size=2m") == 0;
    ::getrlimit(RLIMIT_FSIZE, &old_);
  }
  void fill() {
    const rlimit tiny{1024, old_.rlim_max};
    if (!mounted_) {
      ::signal(SIGXFSZ, SIG_IGN);
      ::setrlimit(RLIMIT_FSIZE, &tiny);
      return;
    }
    QFile filler(folder_ + u"/filler"_s);
    filler.open(QIODevice::WriteOnly);
    while (filler.write(QByteArray(4096, 'x')) == 4096 && filler.flush()) {
    }
  }
  void free() {
    QFile::remove(folder_ + u"/filler"_s);
    ::setrlimit(RLIMIT_FSIZE, &old_);
  }
  ~DiskFull() {
    free();
    if (mounted_) ::umount2(folder_.toLocal8Bit().constData(), MNT_DETACH);
  }

 private:
  QString folder_;
  bool mounted_ = false;
  rlimit old_{};
};

// ---- the sample: product 2 already ordered (3 x 150 = 450)

void buildSample(const QString& path) {
  PriceDbBuilder db(path);
  db.addCategory(1, u"Посуда"_s);
  db.addProduct(u"1"_s, 1, u"A-1"_s, 10, 150, u"Ведро"_s);
  db.addProduct(u"2"_s, 1, u"A-2"_s, 10, 150, u"Кружка"_s, 3, 450);
  db.addProduct(u"4"_s, 1, u"A-4"_s, 10, u"NaN"_s, u"Миска"_s);
  // A sum stored as Infinity by an earlier program never counts.
  db.addProduct(u"5"_s, 1, u"A-5"_s, 10, qInf(), u"Таз"_s, 1, qInf());
}

struct Window : PriceProgram {
  void type(const QString& id, int key) {
    g->setRow(rowOf(id));
    w->typeOnGrid(key);
  }
  QString total() const { return child<QLabel>(w, "Label2")->text(); }
};

// ---- the real program in a process of its own, driven through its remote control

QString cell(const QJsonObject& g, int row, int col) { return g[u"cells"_s][row][col].toString(); }

struct Program : DrivenProgram {
  Program() : DrivenProgram(20000) {}
  bool start(const QString& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"VARNOKEL_HOME"_s, home);
    QString error;
    return DrivenProgram::start(QStringLiteral(VARNOKEL_E2E_EXE), {}, env, &error);
  }
  bool until(const QJsonObject& command, const std::function<bool(const QJsonObject&)>& condition) {
    bool met = false;
    waitFor(command, condition, &met);
    return met;
  }
  // Waits until a cell of the price grid holds the text (any text when none is given).
  bool shows(int row, int col, const QString& text = {}) {
    return until(driver::grid(kGrid), [&](const QJsonObject& g) {
      return text.isEmpty() ? !cell(g, row, col).isEmpty() : cell(g, row, col) == text;
    });
  }
  QString text(const char* path) { return driver::text(send(driver::widget(QLatin1String(path)))); }
  bool typeOnRow(int row, const QString& keys) {
    return send(driver::clickCell(kGrid, row, 2))[u"ok"_s].toBool() &&
           send(driver::keys(kGrid, keys))[u"ok"_s].toBool();
  }
  const QString kGrid = u"frm_price/MSFlexGrid1"_s;
};

}  // namespace

class DataSafetyTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    QLocale::setDefault(QLocale::c());
    folder_ = std::make_unique<TestProgramFolder>();
    WriteSetting(settings::path(), u"settings"_s, u"visiblesumm"_s, u"1"_s);
  }
  void cleanup() {
    setReadOnly(folder_->priceDb(), false);
    setReadOnly(folder_->path(), false);
    setReadOnly(settings::path(), false);
    folder_.reset();
  }

  void failedStoreShowsNothingNew_data();
  void failedStoreShowsNothingNew();
  void killedWhileTypingThenNewFileByHand();
  void oneProgramPerFolder();
  void settingsThatCannotBeWritten();
  void noServerSetUp();

 private:
  std::unique_ptr<TestProgramFolder> folder_;
};

void DataSafetyTest::failedStoreShowsNothingNew_data() {
  QTest::addColumn<QString>("fault");
  QTest::addColumn<QString>("product");
  QTest::addColumn<QString>("reason");
  QTest::addColumn<bool>("recovers");
  const struct {
    const char *name, *fault, *product, *reason;
    bool recovers;
  } rows[] = {{"held by another program", "held", "1", "занят другой программой", true},
              {"read-only file", "read-only file", "1", "Нет прав на запись", true},
              {"read-only folder", "read-only folder", "1", "Нет прав на запись", true},
              {"disk full", "full", "1", "нет места", true},
              {"product gone", "gone", "1", "больше нет в прайс-листе", false},
              {"NaN price", "", "4", "не является числом", false},
              {"Infinity price", "", "5", "не является числом", false}};
  for (const auto& r : rows) QTest::newRow(r.name) << r.fault << r.product << QString::fromUtf8(r.reason) << r.recovers;
}

// A quantity that cannot be stored: one message with the reason, the cells keep
// the stored values, the total shown is the total stored.
void DataSafetyTest::failedStoreShowsNothingNew() {
  QFETCH(QString, fault);
  QFETCH(QString, product);
  QFETCH(QString, reason);
  QFETCH(bool, recovers);
  const QString folder = folder_->path();
  const QString db = folder_->priceDb();
  std::unique_ptr<DiskFull> disk;
  if (fault == u"full"_s) {
    disk = std::make_unique<DiskFull>(folder);
    settings::createDefault();
    WriteSetting(settings::path(), u"settings"_s, u"visiblesumm"_s, u"1"_s);
  }
  buildSample(db);
  if (fault == u"read-only file"_s) QVERIFY(setReadOnly(db, true));
  if (fault == u"read-only folder"_s) QVERIFY(setReadOnly(folder, true));
  msg::ScopedRecorder rec;
  {
    Window win;
    const int row = win.rowOf(product);
    const QString qty = win.g->textMatrix(row, 5), sum = win.g->textMatrix(row, 6);
    SqliteTool other;
    if (fault == u"held"_s) QVERIFY(other.start(db, u"BEGIN IMMEDIATE;"_s));
    if (fault == u"gone"_s)
      QCOMPARE(QProcess::execute(u"sqlite3"_s, {db, u"delete from products where product_id='1'"_s}), 0);
    if (disk) disk->fill();
    win.type(product, '7');
    QCOMPARE(rec.boxes.size(), size_t(1));
    QVERIFY2(rec.boxes[0].text.contains(reason), qPrintable(rec.boxes[0].text));
    QCOMPARE(win.g->textMatrix(row, 5), qty);
    QCOMPARE(win.g->textMatrix(row, 6), sum);
    QCOMPARE(shownTotal(win.total()), 450.0);
    // The fault goes away: the next key is stored.
    other.finish();
    if (disk) disk->free();
    setReadOnly(db, false);
    setReadOnly(folder, false);
    win.type(product, '7');
    QCOMPARE(win.g->textMatrix(row, 5), recovers ? u"7"_s : qty);
    QCOMPARE(rec.boxes.size(), size_t(recovers ? 1 : 2));
    QVERIFY(intact(db));
    QCOMPARE(shownTotal(win.total()), storedTotal(db));
    QCOMPARE(storedTotal(db), recovers ? 450.0 + 7 * 150 : 450.0);
  }
}

// A hard kill after typing, a crash in the middle of another program's write,
// then a new price list put in by hand beside the old file's journal and a
// foreign log: the quantities survive the kill, the price date is the date the
// file was delivered, and nothing of the old file reaches the new one.
void DataSafetyTest::killedWhileTypingThenNewFileByHand() {
  const QString db = folder_->priceDb();
  QVERIFY(makePriceDb(db, 2000, 1));
  const QDateTime delivered(QDate(2024, 3, 1), QTime(10, 0, 0));
  setTime(db, delivered);
  // A writer killed while it has written part of a large change.
  const QString begin = u"BEGIN; PRAGMA user_version=%1"_s.arg(one(db, u"PRAGMA user_version"_s));
  const auto crashMidWrite = [&](const QString& file, const QString& mode) {
    SqliteTool t;
    QVERIFY(t.start(file, u"PRAGMA cache_size=5; %1; UPDATE products SET order_count=order_count+100;"_s.arg(mode)));
    t.crash();
  };
  QString id;
  {
    Program p;
    QVERIFY(p.start(folder_->path()));
    QVERIFY(p.shows(1, 0));
    QCOMPARE(p.text("frm_price/Label3"), dateLabel(delivered));
    QVERIFY(p.typeOnRow(1, u"12"_s));
    QVERIFY(p.shows(1, 5, u"12"_s));
    id = cell(p.send(driver::grid(p.kGrid)), 1, 0);
    p.kill();
  }
  const double total = storedTotal(db);
  QVERIFY(total > 0);
  crashMidWrite(db, begin);
  QVERIFY(QFileInfo(db + u"-journal"_s).size() > 0);
  {
    // The same file: its journal is rolled back, the typed quantity stays, and
    // typing did not move the date.
    Program p;
    QVERIFY(p.start(folder_->path()));
    QVERIFY(p.shows(1, 0, id));
    QVERIFY(p.shows(1, 5, u"12"_s));
    QCOMPARE(p.text("frm_price/Label3"), dateLabel(delivered));
    p.send(driver::click(u"frm_price/Command1"_s));  // the order view shows the total
    QVERIFY(p.until(driver::widget(u"frm_price/Label2"_s),
                    [&](const QJsonObject& l) { return shownTotal(l[u"text"_s].toString()) == total; }));
    QVERIFY(intact(db));
    QCOMPARE(storedTotal(db), total);
    p.kill();
  }
  // A journal of the old file, and the log of someone else's copy killed while
  // writing, beside a new list put in by hand with its own time.
  crashMidWrite(db, begin);
  const QString other = folder_->file(u"elsewhere.mdb"_s);
  QVERIFY(QFile::copy(db, other));
  crashMidWrite(other, u"PRAGMA journal_mode=WAL"_s);
  QVERIFY(QFile::rename(other + u"-wal"_s, db + u"-wal"_s));
  const QString fresh = folder_->file(u"fresh.mdb"_s);
  QVERIFY(makePriceDb(fresh, 1500, 2));
  const QDateTime freshTime(QDate(2024, 5, 1), QTime(12, 30, 0));
  QVERIFY(QFile::remove(db) && QFile::copy(fresh, db));
  setTime(fresh, freshTime);
  setTime(db, freshTime);
  {
    Program p;
    QVERIFY(p.start(folder_->path()));
    QVERIFY(p.shows(1, 0));
    QCOMPARE(p.text("frm_price/Label3"), dateLabel(freshTime));
    QCOMPARE(p.text("frm_price/Label2"), QString());
    p.kill();
  }
  QCOMPARE(digest(db), digest(fresh));  // opened and closed: not changed
  QVERIFY(QFileInfo::exists(db + u"-journal.set-aside"_s) && QFileInfo::exists(db + u"-wal.set-aside"_s));
}

// A second start on the same folder brings the running program forward and
// ends; when the running one cannot be reached, it says so and ends.
void DataSafetyTest::oneProgramPerFolder() {
  buildSample(folder_->priceDb());
  Program first;
  QVERIFY(first.start(folder_->path()));
  QVERIFY(first.shows(1, 0));
  const QByteArray before = digest(folder_->priceDb());
  int code = -1;
  {
    Program second;
    QVERIFY(second.start(folder_->path()));
    QVERIFY(second.waitForExit(&code));
    QCOMPARE(code, 0);
  }
  QVERIFY(first.typeOnRow(1, u"3"_s));
  QVERIFY(first.shows(1, 5, u"3"_s));
  first.kill();
  QVERIFY(before != digest(folder_->priceDb()));

  // A program that holds the folder but does not answer.
  QLockFile held(folder_->file(u"varnokel.lock"_s));
  QVERIFY(held.tryLock(0));
  const QByteArray settingsBefore = digest(settings::path()), dbBefore = digest(folder_->priceDb());
  Program third;
  QVERIFY(third.start(folder_->path()));
  QString button;
  QVERIFY(third.until(driver::windows(), [&](const QJsonObject& w) {
    button = w[u"boxes"_s][0][u"buttons"_s][0].toString();
    return w[u"boxes"_s][0][u"text"_s].toString().contains(u"уже запущена"_s);
  }));
  third.send(driver::answer(button));
  QVERIFY(third.waitForExit(&code));
  QCOMPARE(digest(settings::path()), settingsBefore);
  QCOMPARE(digest(folder_->priceDb()), dbBefore);
}

// Settings → OK with a read-only settings.ini: a message, the dialog stays open.
void DataSafetyTest::settingsThatCannotBeWritten() {
  msg::ScopedRecorder rec;
  MainWindow main;
  main.openSettings();
  OptionsDialog* d = main.optionsWindow();
  QVERIFY(d);
  child<QLineEdit>(d, "Text3")->setText(u"4321"_s);
  const QByteArray before = digest(settings::path());
  QVERIFY(setReadOnly(settings::path(), true));
  rec.answers.push_back(msg::Answer::Yes);
  QTest::mouseClick(child<QPushButton>(d, "cmdOK"), Qt::LeftButton);
  setReadOnly(settings::path(), false);
  QCOMPARE(rec.boxes.size(), size_t(2));  // the question, then the failure
  QVERIFY(rec.boxes[1].text.startsWith(u"Не удалось сохранить настройки"_s));
  QVERIFY(main.optionsWindow() && main.optionsWindow()->isVisible());
  QCOMPARE(digest(settings::path()), before);
}

// A build without servers and settings without [connection]: nothing is sent
// or downloaded, and the user is told where to set the servers up.
void DataSafetyTest::noServerSetUp() {
  buildSample(folder_->priceDb());
  folder_->signIn(u"77"_s, u"ООО Ромашка"_s);
  msg::ScopedRecorder rec;
  rec.defaultAnswer = msg::Answer::Yes;
  Window win;
  child<QPushButton>(win.w, "Command1")->click();  // the order view
  win.w->sendOrder();
  win.main.downloadPriceList();
  win.main.downloadProgramUpdate();
  const QStringList texts = rec.texts();
  QCOMPARE(texts.size(), 3);
  QVERIFY2(texts[0].contains(u"Сервер базы данных магазина не настроен"_s) && texts[0].contains(u"shop_host"_s),
           qPrintable(texts[0]));
  for (const QString& t : texts.mid(1))
    QVERIFY2(t.contains(u"Сервер обновлений не настроен"_s) && t.contains(u"ftp_host"_s), qPrintable(t));
  QVERIFY(!QFileInfo::exists(folder_->file(u"update.sh"_s)));
  QCOMPARE(storedTotal(folder_->priceDb()), 450.0);
}

QTEST_MAIN(DataSafetyTest)
#include "test_data_safety.moc"
