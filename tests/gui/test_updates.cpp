// Price database download and program self-update: refusal of unusable server settings,
// the flows in-process, and whole runs with a real FTP server, real curl and a stand-in
// program that the scripts restart.
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "base/ProgramEnd.h"
#include "base/ProgramFolder.h"
#include "base/Settings.h"
#include "fixtures/ftp_server.h"
#include "fixtures/sample_data.h"
#include "gui/common/MessageBoxes.h"
#include "update/ScriptStart.h"
#include "update/UpdateFailure.h"
#include "update/UpdateScripts.h"
#include "update/Updates.h"

#include <QApplication>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

int g_ended = 0;
const QString kAppTitle = u"Программа заявок Варнокел"_s;
const QString kPriceQuestion = u"При обновлении прайс-листа текущий заказ будет очищен.Продолжить?"_s;
const QString kNoSettings = u"НЕТ НАСТРОЕК"_s;
const QString kUpdateError = u"Произошла ошибка при обновлении\r"_s;
const QString kFolderName = u"Папка заявок 'Опт' №1"_s;  // blanks, Cyrillic, a single quote

QByteArray readAll(const QString& p) {
  QFile f(p);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
bool writeAll(const QString& p, const QByteArray& b) {
  QFile f(p);
  return f.open(QIODevice::WriteOnly) && f.write(b) == b.size();
}
bool setMTime(const QString& p, qint64 secs) {
  QFile f(p);
  return f.open(QIODevice::ReadWrite) &&
         f.setFileTime(QDateTime::fromSecsSinceEpoch(secs), QFileDevice::FileModificationTime);
}
QString shortTime(qint64 secs) { return QLocale().toString(QDateTime::fromSecsSinceEpoch(secs), QLocale::ShortFormat); }

// Everything under a folder: path -> kind, time and content.
QMap<QString, QByteArray> snapshot(const QString& folder) {
  QMap<QString, QByteArray> out;
  QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
  for (QFileInfo fi; it.hasNext();) {
    fi = QFileInfo(it.next());
    out[fi.filePath()] = QByteArray::number(fi.isDir()) + QByteArray::number(fi.lastModified().toMSecsSinceEpoch()) +
                         readAll(fi.filePath());
  }
  return out;
}

void makePriceFile(const QString& path, const QString& id) {
  PriceDbBuilder b(path);
  b.addCategory(1, u"Краски"_s);
  b.addProduct(id, 1, u"4600000000001"_s, 5, 12.5, u"Эмаль "_s + id, 3, 37.5);
}

}  // namespace

class TestUpdates : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> tmp_;
  QString folder_;                          // the program folder of the current test
  QList<QPair<QString, QString>> started_;  // script, folder
  bool startResult_ = true;

  QString file(const QString& name) const { return QDir(folder_).filePath(name); }
  bool has(const QString& name) const { return QFileInfo::exists(file(name)); }
  QString ftpFile(const QString& name) const { return tmp_->filePath(u"ftp/"_s + name); }
  QString exeName() const { return QFileInfo(QCoreApplication::applicationFilePath()).fileName(); }
  QString standin() const { return QStringLiteral(UPDATE_STANDIN_EXE); }
  QStringList log() const { return QString::fromUtf8(readAll(file("standin.log"))).split(u'\n', Qt::SkipEmptyParts); }

  // The stand-in run started with `args`, up to its "done" or "end"; empty while unfinished.
  QStringList runOf(const QString& args) const {
    const QStringList l = log();
    const int i = l.indexOf(u"start "_s + args);
    for (int j = i + 1; i >= 0 && j < l.size() && !l.at(j).startsWith(u"start "_s); ++j)
      if (l.at(j) == u"done"_s || l.at(j) == u"end"_s) return l.mid(i, j - i + 1);
    return {};
  }

  QStringList waitRun(const QString& args) const {
    QStringList run;
    for (QDeadlineTimer t(60000); (run = runOf(args)).isEmpty() && !t.hasExpired();) QTest::qWait(100);
    return run;
  }

  // In-process: "price" (answered Yes), "program", or "30" (the check after the
  // program download). Returns whether the program goes on.
  bool runFlow(const QString& flow, msg::ScopedRecorder& rec) {
    if (flow == u"30"_s) return MainWindow().startUp(flow);
    if (flow == u"price"_s) rec.answers.push_back(msg::Answer::Yes);
    flow == u"price"_s ? RunPriceDownload() : RunProgramDownload();
    return true;
  }

  // A downloaded copy in temp/ and the running program file, aged in seconds (-1: none).
  bool placePrograms(qint64 now, int downloadAge, int runningAge) {
    const auto place = [&](const QString& p, int age) {
      return age < 0 || (writeAll(p, "x") && setMTime(p, now - age));
    };
    return QDir().mkpath(file("temp")) && place(file("temp/" + exeName()), downloadAge) &&
           place(file(exeName()), runningAge);
  }

  // Whole runs: starts the FTP server and prepares the program folder (the stand-in as
  // the program, settings naming the server, an old price database). Returns an error.
  QString startRun(FtpServer& ftp, int bytesPerSecond = 0) {
    QString error;
    if (!ftp.start(ftpFile(QString()), &error, bytesPerSecond)) return error;
    if (!QFile::copy(standin(), file("Varnokel"))) return u"no stand-in"_s;
    makePriceFile(file("varnokel.mdb"), u"OLD-1"_s);
    WriteSetting(file("settings.ini"), u"connection"_s, u"ftp_host"_s, ftp.hostWithPort());
    return error;
  }

  // Starts the stand-in as a user would (from another folder, VARNOKEL_HOME naming it).
  // timeout: VARNOKEL_TEST_UPDATE_TIMEOUT for the scripts it writes.
  bool runStandin(const QString& arg, const QString& curlHome = {}, const QString& timeout = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"VARNOKEL_HOME"_s, folder_);
    if (!curlHome.isEmpty()) env.insert(u"CURL_HOME"_s, curlHome);
    if (!timeout.isEmpty()) env.insert(u"VARNOKEL_TEST_UPDATE_TIMEOUT"_s, timeout);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.setWorkingDirectory(tmp_->path());
    p.start(file("Varnokel"), {arg});
    return p.waitForStarted(10000) && p.waitForFinished(60000) && p.exitCode() == 0;
  }

 private slots:
  void initTestCase() {
    SetEndProgramHandler([] { ++g_ended; });
    QVERIFY2(!QStandardPaths::findExecutable(u"curl"_s).isEmpty(), "curl is not on PATH");
    SetScriptStarter([this](const QString& script, const QString& folder, QString* error) {
      started_.append({script, folder});
      if (!startResult_) *error = u"kein Start"_s;
      return startResult_;
    });
  }

  void init() {
    qunsetenv("VARNOKEL_HOME");
    tmp_ = std::make_unique<QTemporaryDir>();
    folder_ = tmp_->filePath(kFolderName);
    QVERIFY(QDir().mkpath(folder_) && QDir().mkpath(ftpFile(QString())));
    SetProgramFolder(folder_);
    // The build names no server: the tests name theirs.
    WriteSetting(file("settings.ini"), u"connection"_s, u"ftp_host"_s, u"127.0.0.1:2121"_s);
    g_ended = 0;
    started_.clear();
    startResult_ = true;
  }

  void serverSettings_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("url");  // of the price database; empty: refused with a message
    QTest::newRow("host with port") << "ftp_host"
                                    << "127.0.0.1:2121"
                                    << "ftp://127.0.0.1:2121/varnokel.mdb";
    QTest::newRow("IPv6 host") << "ftp_host"
                               << "[::1]:21"
                               << "ftp://[::1]:21/varnokel.mdb";
    QTest::newRow("Cyrillic host") << "ftp_host"
                                   << "прайс.варнокел.рф"
                                   << "ftp://xn--80asqeh.xn--80adktgjho.xn--p1ai/varnokel.mdb";
    QTest::newRow("path with & and %") << "ftp_price_path"
                                       << "/a&b 100%/прайс.mdb"
                                       << "ftp://ftp.varnokel.ru/a%26b%20100%25/%D0%BF%D1%80%D0%B0%D0%B9%D1%81.mdb";
    QTest::newRow("password with cmd's specials") << "ftp_password"
                                                  << "&calc.exe & %PATH% !x! ^|<>()\\"
                                                  << "ftp://ftp.varnokel.ru/varnokel.mdb";
    for (const char* host :
         {"h & marker.exe & rem", "h\"&marker", "h%PATH%", "h|x", "h/x", "host:99999", "host:", "h x"})
      QTest::addRow("host %s", host) << "ftp_host" << host << "";
    for (const char* user : {"a\"b", "a:b", "Иван"}) QTest::addRow("user %s", user) << "ftp_user" << user << "";
    for (const char* password : {"p\"&marker.exe", "пароль", "a\tb"})
      QTest::addRow("password %s", password) << "ftp_password" << password << "";
  }
  void serverSettings() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, url);
    if (key != u"ftp_host"_s) WriteSetting(file("settings.ini"), u"connection"_s, u"ftp_host"_s, u"ftp.varnokel.ru"_s);
    WriteSetting(file("settings.ini"), u"connection"_s, key, value);
    const DistributionServer s = ReadDistributionServer(file("settings.ini"));
    QCOMPARE(DistributionServerProblem(s).isEmpty(), !url.isEmpty());
    if (!url.isEmpty()) {
      QCOMPARE(s.url(s.pricePath), url);
      return;
    }
    QVERIFY(PriceDownloadBatch(s).isEmpty() && PriceDownloadShellScript(folder_, s, {u"/x/V"_s, {}}).isEmpty());
    msg::ScopedRecorder rec;  // refused before anything is written or started
    QVERIFY(runFlow(u"price"_s, rec));
    QCOMPARE(rec.texts().value(1), kUpdateError + DistributionServerProblem(s));
    QVERIFY(rec.texts().value(1).contains(key) && !has("update.sh") && started_.isEmpty() && g_ended == 0);
  }

  void curlLocation() {  // program folder, else beside the executable, else the system's
    const QStringList dirs{file("program"), file("exe"), file("system")};
    for (const QString& d : dirs) QVERIFY(QDir().mkpath(d));
    QCOMPARE(LocateCurl(dirs[0], dirs[1], dirs[2]), QString());
    for (int i = 2; i >= 0; --i) {
      QVERIFY(writeAll(dirs[i] + "/curl.exe", "x"));
      QCOMPARE(LocateCurl(dirs[0], dirs[1], dirs[2]), JoinProgramPath(dirs[i], u"curl.exe"_s));
    }
  }

  // ---------------------------------------------------------------- flows in-process

  void priceDownload_noLeavesEveryFileUntouched() {
    makePriceFile(file("varnokel.mdb"), u"OLD-1"_s);
    QVERIFY(writeAll(file("update.sh"), "old script\n"));
    QVERIFY(writeAll(file("settings.ini"), "[authentication]\r\nid=7\r\n[connection]\r\nftp_host=127.0.0.1:2121\r\n"));
    const auto before = snapshot(folder_);
    msg::ScopedRecorder rec;
    rec.answers.push_back(msg::Answer::No);
    RunPriceDownload();
    QCOMPARE(rec.texts(), QStringList{kPriceQuestion});
    QVERIFY(rec.boxes[0].yesNo && rec.boxes[0].icon == msg::Icon::Question && rec.boxes[0].title == kAppTitle);
    QCOMPARE(snapshot(folder_), before);
    QVERIFY(g_ended == 0 && started_.isEmpty());
  }

  // Each flow writes its script over an old, longer one, starts it and ends the program;
  // blocked: a name taken by a folder (temp: by a file), "start": the start fails.
  void flows_data() {
    QTest::addColumn<QString>("flow");
    QTest::addColumn<QString>("blocked");
    for (const char* flow : {"price", "program", "30"}) QTest::addRow("%s", flow) << flow << "";
    QTest::newRow("price: no script") << "price"
                                      << "update.sh";
    QTest::newRow("price: no start") << "price"
                                     << "start";
    QTest::newRow("program: no temp") << "program"
                                      << "temp";
    QTest::newRow("30: no script") << "30"
                                   << "updateexe.sh";
  }
  void flows() {
    QFETCH(QString, flow);
    QFETCH(QString, blocked);
    const bool ok = blocked.isEmpty(), price = flow == u"price"_s, noScript = blocked.endsWith(u".sh"_s);
    const QString script = file(flow == u"30"_s ? "updateexe.sh" : "update.sh");
    if (!noScript) QVERIFY(writeAll(script, QByteArray(5000, 'x')));
    if (flow == u"30"_s) QVERIFY(placePrograms(QDateTime::currentSecsSinceEpoch(), 3600, 86400));
    if (blocked == u"temp"_s) QVERIFY(writeAll(file(blocked), "a file"));
    if (noScript) QVERIFY(QDir().mkdir(file(blocked)));
    startResult_ = blocked != u"start"_s;
    msg::ScopedRecorder rec;
    QCOMPARE(runFlow(flow, rec), flow != u"30"_s || !ok);
    QCOMPARE(g_ended, ok ? 1 : 0);
    QCOMPARE(started_.size(), noScript || blocked == u"temp"_s ? 0 : 1);
    QCOMPARE(int(rec.boxes.size()), int(price) + int(!ok));
    QVERIFY(!QFileInfo(file("text.txt")).isFile());
    if (ok) {
      DistributionServer s;
      s.host = u"127.0.0.1:2121"_s;
      const RestartCommand r{QCoreApplication::applicationFilePath(), QString()};
      QCOMPARE(readAll(script), price ? PriceDownloadShellScript(folder_, s, r)
                                : flow == u"30"_s
                                    ? ReplacementShellScript(folder_, exeName(), QCoreApplication::applicationPid(), r)
                                    : ProgramDownloadShellScript(folder_, exeName(), s, r));
      QCOMPARE(started_.value(0), qMakePair(script, folder_));
      return;
    }
    const msg::Box& b = rec.boxes.back();
    QCOMPARE(b.icon, msg::Icon::Critical);
    QCOMPARE(b.title, noScript ? kAppTitle : u"Предупреждение"_s);
    if (noScript)
      QCOMPARE(b.text, kNoSettings);
    else
      QVERIFY2(b.text.startsWith(kUpdateError) && (blocked != u"temp"_s || b.text.contains(blocked)),
               qPrintable(b.text));
  }

  void completion_data() {
    QTest::addColumn<int>("downloadAge");  // seconds before now; -1: no download copy
    QTest::addColumn<int>("runningAge");   // -1: no running program file
    QTest::addColumn<QString>("message");
    QTest::newRow("no download copy") << -1 << 86400 << u"Не удалось проверить обновление ПО"_s;
    QTest::newRow("no program file") << 3600 << -1 << u"Не удалось проверить обновление ПО"_s;
  }
  void completion() {
    QFETCH(int, downloadAge);
    QFETCH(int, runningAge);
    QFETCH(QString, message);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QVERIFY(placePrograms(now, downloadAge, runningAge));
    QVERIFY(writeAll(file("updateexe.sh"), QByteArray(5000, 'x')));
    msg::ScopedRecorder rec;
    QVERIFY(runFlow(u"30"_s, rec));
    QVERIFY(g_ended == 0 && started_.isEmpty());
    QCOMPARE(rec.texts(), QStringList{message});
    QVERIFY(rec.boxes[0].icon == msg::Icon::None && rec.boxes[0].title == kAppTitle);
    QCOMPARE(readAll(file("updateexe.sh")), QByteArray(5000, 'x'));
  }

  // ---------------------------------------------------------------- whole runs

  void run_priceDownload_data() {
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("reason");  // what the script tells the restarted program
    QTest::newRow("succeeds") << ""
                              << "";
    QTest::newRow("missing file") << "missing file"
                                  << "download 78";
    QTest::newRow("server down") << "server down"
                                 << "download 7";
    QTest::newRow("interrupted") << "interrupted"
                                 << "download 18";
    QTest::newRow("trickling server") << "trickle"
                                      << "download 28";
    for (const char* served : {"half", "foreign"}) QTest::addRow("%s file served", served) << served << "check 1";
  }
  void run_priceDownload() {
    QFETCH(QString, failure);
    QFETCH(QString, reason);
    const bool ok = failure.isEmpty();
    const QString curlHome = failure == u"interrupted"_s ? tmp_->path() : QString();
    const QString served = ftpFile("varnokel.mdb");
    if (!curlHome.isEmpty() || failure == u"trickle"_s) {
      // Bigger than the socket buffers; fetched at a limited rate and the server
      // stopped mid-way, or sent at 100 bytes a second.
      QVERIFY(writeAll(served, QByteArray(failure == u"trickle"_s ? 1 << 20 : 64 << 20, 'v')));
      if (!curlHome.isEmpty()) QVERIFY(writeAll(curlHome + "/.curlrc", "limit-rate = 4M\nmax-time = 50\n"));
    } else if (failure != u"missing file"_s) {
      makePriceFile(served, u"NEW-1"_s);
    }
    const QByteArray good = readAll(served);
    if (failure == u"half"_s) QVERIFY(writeAll(served, good.left(good.size() / 2)));
    if (failure == u"foreign"_s) {
      QVERIFY(QFile::remove(served));
      PriceDbBuilder(served).exec(u"DROP TABLE images"_s);
    }
    FtpServer ftp;
    QCOMPARE(startRun(ftp, failure == u"trickle"_s ? 100 : 0), QString());
    if (failure == u"server down"_s) ftp.stop();
    const QByteArray old = readAll(file("varnokel.mdb"));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(runStandin(u"--price"_s, curlHome, failure == u"trickle"_s ? u"3"_s : QString()));
    if (!curlHome.isEmpty()) {
      QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(file("varnokel.mdb.download")).size() > 0, 30000);
      ftp.stop();
    }
    const QStringList run = waitRun(ok ? u"40"_s : u"41"_s);
    const QString shown = ok ? u"Прайс-лист обновлен"_s : u"Прайс-лист не обновлен|"_s + DescribeUpdateFailure(reason);
    QVERIFY2(run.contains(u"box "_s + shown) && run.endsWith(u"done"_s) && run.contains(u"home "_s + folder_) &&
                 run.contains(u"cwd "_s + folder_),
             qPrintable(log().join(u'\n')));
    QVERIFY(runOf(ok ? u"41"_s : u"40"_s).isEmpty() && runOf(u"--price"_s).endsWith(u"end"_s));
    QCOMPARE(readAll(file("varnokel.mdb")), ok ? good : old);
    QVERIFY(!has("varnokel.mdb.download") && !has("text.txt") && !has("update.reason") && has("update.sh"));
    if (failure == u"trickle"_s) QVERIFY2(timer.elapsed() < 30000, "a trickle is given up on in bounded time");
  }

  void run_programUpdate_data() {
    QTest::addColumn<int>("serverAge");   // seconds before now; -1: no program on the server
    QTest::addColumn<QString>("served");  // what the server sends: program or html
    QTest::addColumn<QString>("code");    // the last run's argument
    QTest::addColumn<QString>("message");
    QTest::newRow("newer") << 3600 << "program"
                           << "50"
                           << "Обновление ПО прошло успешно";
    QTest::newRow("older") << 172800 << "program"
                           << "30"
                           << "Ваша версия новее.Ваша версия ";
    QTest::newRow("equal") << 86400 << "program"
                           << "30"
                           << "Обновление не требуется .Ваша версия ";
    const QString failed = u"Не удалось проверить обновление ПО"_s;
    QTest::newRow("download fails") << -1 << "program"
                                    << "31" << failed + u'|' + DescribeUpdateFailure(u"download 78"_s);
    QTest::newRow("an html page") << 3600 << "html"
                                  << "31" << failed + u'|' + DescribeUpdateFailure(u"program"_s);
  }
  void run_programUpdate() {
    QFETCH(int, serverAge);
    QFETCH(QString, served);
    QFETCH(QString, code);
    QFETCH(QString, message);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    // The server's program: the stand-in with a mark appended (it still runs).
    const QByteArray program = readAll(standin());
    const QByteArray newProgram = served == u"html"_s ? QByteArray("<html><body>Varnokel: 404</body></html>\n")
                                                      : program + "\nVARNOKEL-NEW-VERSION\n";
    if (serverAge >= 0)
      QVERIFY(writeAll(ftpFile("Varnokel.exe"), newProgram) && setMTime(ftpFile("Varnokel.exe"), now - serverAge));
    FtpServer ftp;
    QCOMPARE(startRun(ftp), QString());
    QVERIFY(setMTime(file("Varnokel"), now - 86400));
    QVERIFY(runStandin(u"--program"_s));
    const QStringList run = waitRun(code);
    if (message.endsWith(u' ')) message += shortTime(now - 86400);
    QVERIFY2(run.contains(u"box "_s + message) && run.endsWith(u"done"_s) && run.contains(u"home "_s + folder_),
             qPrintable(log().join(u'\n')));
    const bool replaced = code == u"50"_s;
    QCOMPARE(readAll(file("Varnokel")), replaced ? newProgram : program);
    QVERIFY(!has("temp/Varnokel.download") && !has(".Varnokel.update") && has("updateexe.sh") == replaced);
    QCOMPARE(has("temp/Varnokel"), serverAge >= 0 && served == u"program"_s);
    if (replaced) {
      QVERIFY(runOf(u"30"_s).endsWith(u"end"_s) && QFileInfo(file("Varnokel")).isExecutable());  // 30 replaced it
      QCOMPARE(QFileInfo(file("Varnokel")).lastModified().toSecsSinceEpoch(),
               now - serverAge);  // next check: no update
      QCOMPARE(readAll(file("temp/Varnokel")), newProgram);
    }
  }

  void run_replacement_data() {
    QTest::addColumn<QString>("fault");  // running: the old program does not end; copy: its place is a folder;
    QTest::addColumn<QString>("code");   // broken: temp/ holds a program that does not run
    QTest::newRow("waits for the old program") << ""
                                               << "50";
    QTest::newRow("old program does not end") << "running"
                                              << "51";
    QTest::newRow("copy fails") << "copy"
                                << "51";
    QTest::newRow("download copy does not run") << "broken"
                                                << "51";
  }
  void run_replacement() {
    QFETCH(QString, fault);
    QFETCH(QString, code);
    const QByteArray newProgram =
        fault == u"broken"_s ? QByteArray("#!/bin/sh\nexit 3\n") : readAll(standin()) + "\nVARNOKEL-NEW-VERSION\n";
    QVERIFY(QDir().mkpath(file("temp")) && QFile::copy(standin(), file("standin")));
    QVERIFY(writeAll(file("temp/Varnokel"), newProgram));
    QVERIFY(fault == u"copy"_s ? QDir().mkpath(file("Varnokel")) : writeAll(file("Varnokel"), "old program"));
    QProcess oldProgram;  // stands for the program that wrote the script
    oldProgram.start(u"sleep"_s, {u"60"_s});
    QVERIFY(oldProgram.waitForStarted());
    const qint64 pid = oldProgram.processId();
    if (fault == u"copy"_s || fault == u"broken"_s) oldProgram.kill();  // then its id names no process
    QVERIFY(fault.isEmpty() || fault == u"running"_s || oldProgram.waitForFinished());
    QVERIFY(writeAll(file("updateexe.sh"),
                     ReplacementShellScript(folder_, u"Varnokel"_s, pid, {file("standin"), folder_}, {60, 2})));
    QProcess sh;
    sh.setProcessChannelMode(QProcess::ForwardedChannels);
    sh.setWorkingDirectory(folder_);
    sh.start(u"/bin/sh"_s, {u"updateexe.sh"_s});
    if (fault.isEmpty()) {
      QVERIFY(!sh.waitForFinished(1000));  // nothing happens while the old program runs
      QVERIFY(readAll(file("Varnokel")) == "old program" && log().isEmpty());
      oldProgram.kill();
      oldProgram.waitForFinished();  // reaped, or its id would still answer kill -0
    }
    QVERIFY(sh.waitForFinished(60000));
    const QStringList run = runOf(code);
    const QString reason = fault == u"broken"_s ? u"program"_s : fault;
    QVERIFY2(run.contains(fault.isEmpty() ? u"box Обновление ПО прошло успешно"_s
                                          : u"box ПО не обновлено|"_s + DescribeUpdateFailure(reason)),
             qPrintable(log().join(u'\n')));
    if (fault == u"copy"_s)
      QVERIFY(QFileInfo(file("Varnokel")).isDir() && QDir(file("Varnokel")).isEmpty() && !has(".Varnokel.update"));
    else
      QCOMPARE(readAll(file("Varnokel")), fault.isEmpty() ? newProgram : QByteArray("old program"));
    oldProgram.kill();
  }

  // An executable folder this user cannot write (an unprivileged user: root
  // writes anywhere): the program keeps its files in the per-user folder.
  void run_perUserFolder() {
    QVERIFY(QFile::setPermissions(tmp_->path(), QFile::permissions(tmp_->path()) | QFile::ExeOther | QFile::ReadOther));
    const QString home = tmp_->filePath(u"home"_s), installed = tmp_->filePath(u"installed"_s);
    QVERIFY(QDir().mkpath(home) && QDir().mkpath(installed) && QFile::copy(standin(), installed + u"/Varnokel"_s));
    QVERIFY(QProcess::execute(u"chown"_s, {u"65534:65534"_s, home}) == 0);
    QVERIFY(QFile::setPermissions(installed, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"VARNOKEL_HOME"_s);
    env.remove(u"XDG_DATA_HOME"_s);
    env.insert(u"HOME"_s, home);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(home);
    p.start(u"setpriv"_s,
            {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, installed + u"/Varnokel"_s, u"40"_s});
    QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
    const QString data = home + u"/.local/share/Varnokel"_s;
    const QStringList lines = QString::fromUtf8(readAll(data + u"/standin.log"_s)).split(u'\n');
    QVERIFY2(lines.contains(u"cwd "_s + data) && lines.contains(u"box Прайс-лист обновлен"_s),
             qPrintable(lines.join(u'\n')));
    QVERIFY(QFileInfo(data + u"/settings.ini"_s).isFile() &&
            QDir(installed).entryList(QDir::Files) == QStringList{u"Varnokel"_s});
  }
};

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TestUpdates t;
  return QTest::qExec(&t, argc, argv);
}

#include "test_updates.moc"