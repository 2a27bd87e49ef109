// The customer's data under faults injected on purpose. After each: the files are intact,
// the total shown is the total stored, and the user was told.
#include "data/PriceStore.h"
#include "fixtures/ports.h"
#include "gui/settings/OptionsDialog.h"
#include "support/DrivenProgram.h"
#include "support/WindowTest.h"

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>
#include <cmath>

namespace {

bool intact(const QString& db) { return priceDbValue(db, u"PRAGMA quick_check"_s) == u"ok"_s; }
double storedTotal(const QString& db) {
  double t = 0;
  for (const auto& r : queryPriceDb(db, u"select order_summ from products"_s))
    if (std::isfinite(r.value(0).toDouble())) t += r.value(0).toDouble();
  return t;
}
double shownTotal(const QString& label) { return label.section(u':', 1).trimmed().toDouble(); }
// Gives the file the time it was delivered; returns the date line the price window shows for it.
QString deliver(const QString& path, const QDateTime& t) {
  return !setFileTime(path, t) ? QString()
                               : u"Прайс-лист от "_s + QLocale().toString(t.date(), QLocale::ShortFormat) + u' ' +
                                     t.toString(u"H:mm:ss"_s);
}

// Read-only for everyone, root included: the immutable attribute (root), else the permission bits.
bool setReadOnly(const QString& path, bool on) {
  if (!QFileInfo::exists(path)) return false;
  if (::geteuid() == 0) return QProcess::execute(u"chattr"_s, {on ? u"+i"_s : u"-i"_s, path}) == 0;
  return QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                         (on ? QFileDevice::Permissions() : QFileDevice::WriteOwner));
}

// The sqlite3 tool holding the statements it ran until it is killed (SIGKILL mid-work).
struct SqliteTool {
  QProcess p;
  bool start(const QString& db, const QString& statements) {
    p.start(u"sqlite3"_s, {db});
    p.write((statements + u"\n.shell echo held\n"_s).toUtf8());
    QByteArray out;
    for (QDeadlineTimer t(10000); !out.contains("held") && !t.hasExpired() && p.state() != QProcess::NotRunning;) {
      p.waitForReadyRead(100);
      out += p.readAllStandardOutput();
    }
    return out.contains("held");
  }
  void crash() {
    p.kill();
    p.waitForFinished();
  }
  ~SqliteTool() { crash(); }
};

// A full disk: a small tmpfs filled up; where nothing may be mounted, a file-size limit.
struct DiskFull {
  explicit DiskFull(const QString& folder)
      : filler(folder + u"/filler"_s), mounted(::mount("tmpfs", qPrintable(folder), "tmpfs", 0, "size=2m") == 0) {
    ::getrlimit(RLIMIT_FSIZE, &old);
  }
  void fill() {
    const rlimit tiny{1024, old.rlim_max};
    ::signal(SIGXFSZ, SIG_IGN);
    if (!mounted) ::setrlimit(RLIMIT_FSIZE, &tiny);
    if (mounted && filler.open(QIODevice::WriteOnly))
      while (filler.write(QByteArray(4096, 'x')) == 4096 && filler.flush()) {
      }
  }
  void free() {
    filler.close();  // its last write fails: remove() of the open file would stop there
    QFile::remove(filler.fileName());
    ::setrlimit(RLIMIT_FSIZE, &old);
  }
  ~DiskFull() {
    free();
    if (mounted) ::umount2(qPrintable(QFileInfo(filler).path()), MNT_DETACH);
  }
  QFile filler;
  bool mounted;
  rlimit old{};
};

// Product 2 already ordered (3 x 150 = 450); a price that is no number; a sum stored as
// Infinity by an earlier program, which never counts.
void buildSample(const QString& path) {
  PriceDbBuilder db(path);
  db.addCategory(1, u"Посуда"_s);
  db.addProduct(u"1"_s, 1, u"A-1"_s, 10, 150, u"Ведро"_s);
  db.addProduct(u"2"_s, 1, u"A-2"_s, 10, 150, u"Кружка"_s, 3, 450);
  db.addProduct(u"4"_s, 1, u"A-4"_s, 10, u"NaN"_s, u"Миска"_s);
  db.addProduct(u"5"_s, 1, u"A-5"_s, 10, qInf(), u"Таз"_s, 1, qInf());
}

struct Program : DrivenProgram {
  Program() : DrivenProgram(20000) {}
  bool open(const QString& home) { return startIn(home) && shows(1, 0); }  // showing its price list
  // Waits until a cell of the price grid holds the text (any text when none is given).
  bool shows(int row, int col, const QString& text = {}) {
    return until(driver::grid(driver::kPriceGrid), [&](const QJsonObject& g) {
      const QString c = driver::cell(g, row, col);
      return text.isEmpty() ? !c.isEmpty() : c == text;
    });
  }
  QString text(const char* path) { return driver::text(send(driver::widget(QLatin1String(path)))); }
};

}  // namespace

class DataSafetyTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TestProgramFolder> folder_;

 private slots:
  void init() {
    QLocale::setDefault(QLocale::c());
    folder_ = std::make_unique<TestProgramFolder>();
    WriteSetting(settings::path(), u"settings"_s, u"visiblesumm"_s, u"1"_s);
  }
  void cleanup() {
    for (const QString& p : {folder_->priceDb(), folder_->path(), settings::path()}) setReadOnly(p, false);
    folder_.reset();
  }

  void failedStoreShowsNothingNew_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("reason");
    QTest::newRow("held by another program") << u"held"_s << u"1"_s << u"занят другой программой"_s;
    QTest::newRow("read-only file") << u"read-only file"_s << u"1"_s << u"Нет прав на запись"_s;
    QTest::newRow("read-only folder") << u"read-only folder"_s << u"1"_s << u"Нет прав на запись"_s;
    QTest::newRow("disk full") << u"full"_s << u"1"_s << u"нет места"_s;
    QTest::newRow("product gone") << u"gone"_s << u"1"_s << u"больше нет в прайс-листе"_s;
    QTest::newRow("NaN price") << QString() << u"4"_s << u"не является числом"_s;
    QTest::newRow("Infinity price") << QString() << u"5"_s << u"не является числом"_s;
  }
  // A quantity that cannot be stored: one message with the reason, cell and total keep the
  // stored values; once the fault is gone the next key is stored.
  void failedStoreShowsNothingNew() {
    QFETCH(QString, fault);
    QFETCH(QString, product);
    QFETCH(QString, reason);
    const bool recovers = product == u"1"_s && fault != u"gone"_s;  // the fault goes away
    const QString folder = folder_->path(), db = folder_->priceDb();
    std::unique_ptr<DiskFull> disk;
    if (fault == u"full"_s) {
      disk = std::make_unique<DiskFull>(folder);
      settings::createDefault();
      WriteSetting(settings::path(), u"settings"_s, u"visiblesumm"_s, u"1"_s);
    }
    buildSample(db);
    if (fault.startsWith(u"read-only"_s)) QVERIFY(setReadOnly(fault.endsWith(u"file"_s) ? db : folder, true));
    msg::ScopedRecorder rec;
    PriceProgram win;
    const int row = win.rowOf(product);
    const QString qty = win.g->textMatrix(row, 5);
    SqliteTool other;
    if (fault == u"held"_s) QVERIFY(other.start(db, u"BEGIN IMMEDIATE;"_s));
    if (fault == u"gone"_s) QVERIFY(other.start(db, u"delete from products where product_id='1';"_s));
    if (disk) disk->fill();
    const auto total = [&] { return shownTotal(child<QLabel>(win.w, "Label2")->text()); };
    win.g->setRow(row);
    win.w->typeOnGrid('7');
    QVERIFY2(rec.texts().size() == 1 && rec.texts()[0].contains(reason), qPrintable(rec.texts().join(u'\n')));
    QCOMPARE(win.g->textMatrix(row, 5), qty);
    QCOMPARE(total(), 450.0);
    other.crash();
    if (disk) disk->free();
    for (const QString& p : {db, folder}) setReadOnly(p, false);
    win.g->setRow(row);
    win.w->typeOnGrid('7');
    QCOMPARE(win.g->textMatrix(row, 5), recovers ? u"7"_s : qty);
    QVERIFY(intact(db));
    QCOMPARE(total(), storedTotal(db));
    QCOMPARE(storedTotal(db), recovers ? 450.0 + 7 * 150 : 450.0);
  }

  // A kill after typing, another writer's crash, a new list put in by hand beside old logs:
  // the quantities survive, the date is the delivery's, nothing old reaches the new file.
  void killedWhileTypingThenNewFileByHand() {
    const QString db = folder_->priceDb();
    QVERIFY(makePriceDb(db, 2000, 1));
    const QString delivered = deliver(db, QDateTime(QDate(2024, 3, 1), QTime(10, 0, 0)));
    const QString begin = u"BEGIN; PRAGMA user_version=%1"_s.arg(priceDbValue(db, u"PRAGMA user_version"_s));
    const auto crashMidWrite = [&](const QString& file, const QString& mode) {
      SqliteTool t;
      QVERIFY(t.start(file, u"PRAGMA cache_size=5; %1; UPDATE products SET order_count=order_count+100;"_s.arg(mode)));
    };
    QString id;
    {
      Program p;
      QVERIFY(p.open(folder_->path()));
      QCOMPARE(p.text("frm_price/Label3"), delivered);
      QVERIFY(p.typeOnRow(1, u"12"_s) && p.shows(1, 5, u"12"_s));
      id = driver::cell(p.send(driver::grid(driver::kPriceGrid)), 1, 0);
    }
    const double total = storedTotal(db);
    crashMidWrite(db, begin);
    QVERIFY(QFileInfo(db + u"-journal"_s).size() > 0);
    {
      // The journal rolled back, the typed quantity kept, the date not moved by typing.
      Program p;
      QVERIFY(p.open(folder_->path()) && p.shows(1, 0, id) && p.shows(1, 5, u"12"_s));
      QCOMPARE(p.text("frm_price/Label3"), delivered);
      p.send(driver::click(u"frm_price/Command1"_s));  // the order view shows the total
      QVERIFY(p.until(driver::widget(u"frm_price/Label2"_s),
                      [&](const QJsonObject& l) { return shownTotal(driver::text(l)) == total; }));
      QVERIFY(intact(db));
    }
    // The old file's journal and another copy's log beside a new list put in by hand.
    crashMidWrite(db, begin);
    const QString other = folder_->file(u"elsewhere.mdb"_s), fresh = folder_->file(u"fresh.mdb"_s);
    QVERIFY(QFile::copy(db, other));
    crashMidWrite(other, u"PRAGMA journal_mode=WAL"_s);
    QVERIFY(QFile::rename(other + u"-wal"_s, db + u"-wal"_s));
    QVERIFY(makePriceDb(fresh, 1500, 2));
    QVERIFY(QFile::remove(db) && QFile::copy(fresh, db));
    const QString freshDelivered = deliver(db, QDateTime(QDate(2024, 5, 1), QTime(12, 30, 0)));
    {
      Program p;
      QVERIFY(p.open(folder_->path()));
      QCOMPARE(p.text("frm_price/Label3"), freshDelivered);
      QCOMPARE(p.text("frm_price/Label2"), QString());
    }
    QCOMPARE(fileContent(db), fileContent(fresh));  // opened and closed: not changed
    QVERIFY(QFileInfo::exists(db + u"-journal.set-aside"_s) && QFileInfo::exists(db + u"-wal.set-aside"_s));
  }

  // The program's connection killed again and again while it writes every row: each time
  // the file opens whole, with every row from one and the same transaction.
  void killedWhileWritingEveryRow() {
    const QString db = folder_->priceDb();
    QVERIFY(makePriceDb(db, 3000, 1));
    for (int delayMs = 10; delayMs < 300; delayMs += 24) {
      QProcess writer;
      bindToParent(writer);
      writer.start(u"" PRICE_WRITER_EXE ""_s, {db});
      QVERIFY(writer.waitForReadyRead(10000));
      QThread::msleep(delayMs);
      writer.kill();
      writer.waitForFinished();
      PriceStore store;  // rolls back what the killed writer left
      QString error;
      QVERIFY2(store.open(db, &error), qPrintable(error));
      store.close();
      QCOMPARE(priceDbValue(db, u"SELECT count(DISTINCT order_count) FROM products"_s), u"1"_s);
      QVERIFY(intact(db));
    }
    QVERIFY(priceDbValue(db, u"SELECT max(order_count) FROM products"_s).toInt() > 0);
  }

  // A second start on the same folder brings the running program forward and ends; when
  // the running one cannot be reached, it says so and ends, changing nothing.
  void oneProgramPerFolder() {
    buildSample(folder_->priceDb());
    Program first;
    QVERIFY(first.open(folder_->path()));
    const QByteArray before = fileContent(folder_->priceDb());
    int code = -1;
    Program second;  // brings the first forward and ends
    QVERIFY(second.startIn(folder_->path()) && second.waitForExit(&code) && code == 0);
    QVERIFY(first.typeOnRow(1, u"3"_s) && first.shows(1, 5, u"3"_s));
    first.kill();
    QVERIFY(before != fileContent(folder_->priceDb()));

    QLockFile held(folder_->file(u"varnokel.lock"_s));  // a program that holds the folder but does not answer
    QVERIFY(held.tryLock(0));
    const QByteArray settingsBefore = fileContent(settings::path()), dbBefore = fileContent(folder_->priceDb());
    Program third;
    QString button;
    QVERIFY(third.startIn(folder_->path()) && third.until(driver::windows(), [&](const QJsonObject& w) {
      button = driver::firstButton(w);
      return driver::text(driver::box(w)).contains(u"уже запущена"_s);
    }));
    third.send(driver::answer(button));
    QVERIFY(third.waitForExit(&code));
    QCOMPARE(fileContent(settings::path()), settingsBefore);
    QCOMPARE(fileContent(folder_->priceDb()), dbBefore);
  }

  // Settings → OK with a read-only settings.ini: a message, the dialog stays open.
  void settingsThatCannotBeWritten() {
    msg::ScopedRecorder rec;
    MainWindow main;
    main.openSettings();
    QVERIFY(main.optionsWindow());
    child<QLineEdit>(main.optionsWindow(), "Text3")->setText(u"4321"_s);
    const QByteArray before = fileContent(settings::path());
    QVERIFY(setReadOnly(settings::path(), true));
    rec.answers.push_back(msg::Answer::Yes);
    QTest::mouseClick(child<QPushButton>(main.optionsWindow(), "cmdOK"), Qt::LeftButton);
    setReadOnly(settings::path(), false);
    QVERIFY2(rec.texts().value(1).startsWith(u"Не удалось сохранить настройки"_s), qPrintable(rec.texts().join('\n')));
    QVERIFY(main.optionsWindow() && main.optionsWindow()->isVisible());
    QCOMPARE(fileContent(settings::path()), before);
  }

  // A build without servers and settings without [connection]: nothing is sent or
  // downloaded, and the user is told which setting to fill in.
  void noServerSetUp() {
    buildSample(folder_->priceDb());
    folder_->signIn(u"77"_s, u"ООО Ромашка"_s);
    msg::ScopedRecorder rec;
    rec.defaultAnswer = msg::Answer::Yes;
    PriceProgram win;
    child<QPushButton>(win.w, "Command1")->click();  // the order view
    win.w->sendOrder();
    win.main.downloadPriceList();
    win.main.downloadProgramUpdate();
    const QStringList texts = rec.texts();
    QVERIFY2(texts.size() == 3 && texts[0].contains(u"Сервер базы данных магазина не настроен"_s) &&
                 texts[0].contains(u"shop_host"_s) && texts[1].contains(u"ftp_host"_s) &&
                 texts[2].contains(u"ftp_host"_s),
             qPrintable(texts.join(u'\n')));
    QVERIFY(!QFileInfo::exists(folder_->file(u"update.sh"_s)));
    QCOMPARE(storedTotal(folder_->priceDb()), 450.0);
  }
};

QTEST_MAIN(DataSafetyTest)
#include "test_data_safety.moc"
