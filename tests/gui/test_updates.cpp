// Price database download and program self-update: refusal of unusable server settings,
// the flows in-process, and whole runs with a real FTP server, real curl and a stand-in
// program that the scripts restart.
#include "app/MainWindow.h"
#include "base/IniFile.h"
#include "base/ProgramEnd.h"
#include "base/ProgramFolder.h"
#include "base/Settings.h"
#include "fixtures/ftp_server.h"
#include "fixtures/program_env.h"
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
const QString kPriceQuestion = u"При обновлении прайс-листа текущий заказ будет очищен.Продолжить?"_s;
const QString kNoSettings = u"НЕТ НАСТРОЕК"_s;
const QString kUpdateError = u"Произошла ошибка при обновлении\r"_s;
const char kLeftover[] = "echo LEFTOVER\n";              // a line of an old, longer script
const QString kFolderName = u"Папка заявок 'Опт' №1"_s;  // blanks, Cyrillic, a single quote

bool setMTime(const QString& p, qint64 secs) {
  QFile f(p);
  return f.open(QIODevice::ReadWrite) &&
         f.setFileTime(QDateTime::fromSecsSinceEpoch(secs), QFileDevice::FileModificationTime);
}

// Everything under a folder: path -> kind, time and content.
QMap<QString, QByteArray> snapshot(const QString& folder) {
  QMap<QString, QByteArray> out;
  QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
  for (QFileInfo fi; it.hasNext();) {
    fi = QFileInfo(it.next());
    out[fi.filePath()] = QByteArray::number(fi.isDir()) + QByteArray::number(fi.lastModified().toMSecsSinceEpoch()) +
                         fileContent(fi.filePath());
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
  QStringList log() const {
    return QString::fromUtf8(fileContent(file("standin.log"))).split(u'\n', Qt::SkipEmptyParts);
  }

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
      return age < 0 || (writeFileContent(p, "x") && setMTime(p, now - age));
    };
    return QDir().mkpath(file("temp")) && place(file("temp/" + exeName()), downloadAge) &&
           place(file(exeName()), runningAge);
  }

  // Whole runs: starts the FTP server and prepares the program folder (the stand-in as
  // the program, settings naming the server, an old price database, old longer
  // scripts). Returns an error.
  QString startRun(FtpServer& ftp, int bytesPerSecond = 0) {
    QString error;
    if (!ftp.start(ftpFile(QString()), &error, bytesPerSecond)) return error;
    if (!QFile::copy(standin(), file("Varnokel"))) return u"no stand-in"_s;
    for (const char* script : {"update.sh", "updateexe.sh"})
      if (!writeFileContent(file(script), QByteArray(kLeftover).repeated(1000))) return u"no old script"_s;
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
    const auto row = [](const char* name, const QString& key, const QString& value, const QString& url = {}) {
      QTest::newRow(name) << key << value << url;
    };
    row("host with port", u"ftp_host"_s, u"127.0.0.1:2121"_s, u"ftp://127.0.0.1:2121/varnokel.mdb"_s);
    row("IPv6 host", u"ftp_host"_s, u"[::1]:21"_s, u"ftp://[::1]:21/varnokel.mdb"_s);
    row("Cyrillic host", u"ftp_host"_s, u"прайс.варнокел.рф"_s,
        u"ftp://xn--80asqeh.xn--80adktgjho.xn--p1ai/varnokel.mdb"_s);
    row("path with & and %", u"ftp_price_path"_s, u"/a&b 100%/прайс.mdb"_s,
        u"ftp://ftp.varnokel.ru/a%26b%20100%25/%D0%BF%D1%80%D0%B0%D0%B9%D1%81.mdb"_s);
    row("password with cmd's specials", u"ftp_password"_s, u"&calc.exe & %PATH% !x! ^|<>()\\"_s,
        u"ftp://ftp.varnokel.ru/varnokel.mdb"_s);
    for (const char* host :
         {"h & marker.exe & rem", "h\"&marker", "h%PATH%", "h|x", "h/x", "host:99999", "host:", "h x"})
      QTest::addRow("host %s", host) << u"ftp_host"_s << QString::fromUtf8(host) << QString();
    for (const char* user : {"a\"b", "a:b", "Иван"})
      QTest::addRow("user %s", user) << u"ftp_user"_s << QString::fromUtf8(user) << QString();
    for (const char* password : {"p\"&marker.exe", "пароль", "a\tb"})
      QTest::addRow("password %s", password) << u"ftp_password"_s << QString::fromUtf8(password) << QString();
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
      QVERIFY(writeFileContent(dirs[i] + "/curl.exe", "x"));
      QCOMPARE(LocateCurl(dirs[0], dirs[1], dirs[2]), JoinProgramPath(dirs[i], u"curl.exe"_s));
    }
  }

  void priceDownload_noLeavesEveryFileUntouched() {
    makePriceFile(file("varnokel.mdb"), u"OLD-1"_s);
    QVERIFY(writeFileContent(file("update.sh"), "old script\n"));
    QVERIFY(writeFileContent(file("settings.ini"),
                             "[authentication]\r\nid=7\r\n[connection]\r\nftp_host=127.0.0.1:2121\r\n"));
    const auto before = snapshot(folder_);
    msg::ScopedRecorder rec;
    rec.answers.push_back(msg::Answer::No);
    RunPriceDownload();
    QCOMPARE(rec.texts(), QStringList{kPriceQuestion});
    QCOMPARE(snapshot(folder_), before);
    QVERIFY(g_ended == 0 && started_.isEmpty());
  }

  // A flow that cannot go on says so, and the program goes on: the script's name
  // taken by a folder, temp/ taken by a file, the start failing; the check after
  // the program download finding no download copy or no program file.
  void blockedFlows_data() {
    QTest::addColumn<QString>("flow");
    QTest::addColumn<QString>("blocked");
    QTest::addColumn<QString>("told");  // the start of the box
    const QString unchecked = u"Не удалось проверить обновление ПО"_s;
    QTest::newRow("price: no script") << u"price"_s << u"update.sh"_s << kNoSettings;
    QTest::newRow("price: no start") << u"price"_s << u"start"_s << kUpdateError;
    QTest::newRow("program: no temp") << u"program"_s << u"temp"_s << kUpdateError + u"temp"_s;
    QTest::newRow("30: no script") << u"30"_s << u"updateexe.sh"_s << kNoSettings;
    QTest::newRow("30: no download copy") << u"30"_s << u"download"_s << unchecked;
    QTest::newRow("30: no program file") << u"30"_s << u"program"_s << unchecked;
  }
  void blockedFlows() {
    QFETCH(QString, flow);
    QFETCH(QString, blocked);
    QFETCH(QString, told);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (flow == u"30"_s)
      QVERIFY(placePrograms(now, blocked == u"download"_s ? -1 : 3600, blocked == u"program"_s ? -1 : 86400));
    if (blocked == u"temp"_s) QVERIFY(writeFileContent(file(blocked), "a file"));
    if (blocked.endsWith(u".sh"_s)) QVERIFY(QDir().mkdir(file(blocked)));
    startResult_ = blocked != u"start"_s;
    msg::ScopedRecorder rec;
    QVERIFY(runFlow(flow, rec));
    QVERIFY(g_ended == 0 && started_.size() == (startResult_ ? 0 : 1) && !QFileInfo(file("updateexe.sh")).isFile());
    QVERIFY2(rec.boxes.back().text.startsWith(told.section(u'\r', 0, 0)) &&
                 rec.boxes.back().text.contains(told.section(u'\r', 1)),
             qPrintable(rec.boxes.back().text));
  }

  void run_priceDownload_data() {
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("reason");  // what the script tells the restarted program
    QTest::newRow("succeeds") << QString() << QString();
    QTest::newRow("missing file") << u"missing file"_s << u"download 78"_s;
    QTest::newRow("interrupted") << u"interrupted"_s << u"download 18"_s;
    QTest::newRow("trickling server") << u"trickle"_s << u"download 28"_s;
    QTest::newRow("half file served") << u"half"_s << u"check 1"_s;
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
      QVERIFY(writeFileContent(served, QByteArray(failure == u"trickle"_s ? 1 << 20 : 64 << 20, 'v')));
      if (!curlHome.isEmpty()) QVERIFY(writeFileContent(curlHome + "/.curlrc", "limit-rate = 4M\nmax-time = 50\n"));
    } else if (failure != u"missing file"_s) {
      makePriceFile(served, u"NEW-1"_s);
    }
    const QByteArray good = fileContent(served);
    if (failure == u"half"_s) QVERIFY(writeFileContent(served, good.left(good.size() / 2)));
    FtpServer ftp;
    QCOMPARE(startRun(ftp, failure == u"trickle"_s ? 100 : 0), QString());
    const QByteArray old = fileContent(file("varnokel.mdb"));
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
    QCOMPARE(fileContent(file("varnokel.mdb")), ok ? good : old);
    QVERIFY(!has("varnokel.mdb.download") && !has("text.txt") && !has("update.reason"));
    QVERIFY(!fileContent(file("update.sh")).contains(kLeftover));
  }

  void run_programUpdate_data() {
    QTest::addColumn<int>("serverAge");   // seconds before now; -1: no program on the server
    QTest::addColumn<QString>("served");  // what the server sends: program or html
    QTest::addColumn<QString>("code");    // the last run's argument
    QTest::addColumn<QString>("message");
    const QString failed = u"Не удалось проверить обновление ПО|"_s;
    QTest::newRow("newer") << 3600 << u"program"_s << u"50"_s << u"Обновление ПО прошло успешно"_s;
    QTest::newRow("older") << 172800 << u"program"_s << u"30"_s << u"Ваша версия новее.Ваша версия "_s;
    QTest::newRow("equal") << 86400 << u"program"_s << u"30"_s << u"Обновление не требуется .Ваша версия "_s;
    QTest::newRow("download fails") << -1 << u"program"_s << u"31"_s
                                    << failed + DescribeUpdateFailure(u"download 78"_s);
    QTest::newRow("an html page") << 3600 << u"html"_s << u"31"_s << failed + DescribeUpdateFailure(u"program"_s);
  }
  void run_programUpdate() {
    QFETCH(int, serverAge);
    QFETCH(QString, served);
    QFETCH(QString, code);
    QFETCH(QString, message);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    // The server's program: the stand-in with a mark appended (it still runs).
    const QByteArray program = fileContent(standin());
    const QByteArray newProgram = served == u"html"_s ? QByteArray("<html><body>Varnokel: 404</body></html>\n")
                                                      : program + "\nVARNOKEL-NEW-VERSION\n";
    if (serverAge >= 0)
      QVERIFY(writeFileContent(ftpFile("Varnokel.exe"), newProgram) &&
              setMTime(ftpFile("Varnokel.exe"), now - serverAge));
    FtpServer ftp;
    QCOMPARE(startRun(ftp), QString());
    QVERIFY(setMTime(file("Varnokel"), now - 86400));
    QVERIFY(runStandin(u"--program"_s));
    const QStringList run = waitRun(code);
    if (message.endsWith(u' '))
      message += QLocale().toString(QDateTime::fromSecsSinceEpoch(now - 86400), QLocale::ShortFormat);
    QVERIFY2(run.contains(u"box "_s + message) && run.endsWith(u"done"_s) && run.contains(u"home "_s + folder_),
             qPrintable(log().join(u'\n')));
    const bool replaced = code == u"50"_s;
    QCOMPARE(fileContent(file("Varnokel")), replaced ? newProgram : program);
    QVERIFY(!has("temp/Varnokel.download") && !has(".Varnokel.update"));
    QCOMPARE(fileContent(file("updateexe.sh")).contains(kLeftover), !replaced);  // written afresh by 30 only
    QCOMPARE(has("temp/Varnokel"), serverAge >= 0 && served == u"program"_s);
    if (replaced) {
      QVERIFY(runOf(u"30"_s).endsWith(u"end"_s) && QFileInfo(file("Varnokel")).isExecutable());  // 30 replaced it
      QCOMPARE(QFileInfo(file("Varnokel")).lastModified().toSecsSinceEpoch(),
               now - serverAge);  // next check: no update
    }
  }

  // fault: running: the old program does not end; copy: its place is a folder;
  // broken: temp/ holds a program that does not run.
  void run_replacement_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("code");
    QTest::newRow("waits for the old program") << QString() << u"50"_s;
    QTest::newRow("old program does not end") << u"running"_s << u"51"_s;
    QTest::newRow("copy fails") << u"copy"_s << u"51"_s;
    QTest::newRow("download copy does not run") << u"broken"_s << u"51"_s;
  }
  void run_replacement() {
    QFETCH(QString, fault);
    QFETCH(QString, code);
    const QByteArray newProgram =
        fault == u"broken"_s ? QByteArray("#!/bin/sh\nexit 3\n") : fileContent(standin()) + "\nVARNOKEL-NEW-VERSION\n";
    QVERIFY(QDir().mkpath(file("temp")) && QFile::copy(standin(), file("standin")));
    QVERIFY(writeFileContent(file("temp/Varnokel"), newProgram));
    QVERIFY(fault == u"copy"_s ? QDir().mkpath(file("Varnokel")) : writeFileContent(file("Varnokel"), "old program"));
    QProcess oldProgram;  // stands for the program that wrote the script
    oldProgram.start(u"sleep"_s, {u"60"_s});
    QVERIFY(oldProgram.waitForStarted());
    const qint64 pid = oldProgram.processId();
    if (fault == u"copy"_s || fault == u"broken"_s) oldProgram.kill();  // then its id names no process
    QVERIFY(fault.isEmpty() || fault == u"running"_s || oldProgram.waitForFinished());
    QVERIFY(writeFileContent(file("updateexe.sh"),
                             ReplacementShellScript(folder_, u"Varnokel"_s, pid, {file("standin"), folder_}, {60, 2})));
    QProcess sh;
    sh.setProcessChannelMode(QProcess::ForwardedChannels);
    sh.setWorkingDirectory(folder_);
    sh.start(u"/bin/sh"_s, {u"updateexe.sh"_s});
    if (fault.isEmpty()) {
      QVERIFY(!sh.waitForFinished(1000));  // nothing happens while the old program runs
      QVERIFY(fileContent(file("Varnokel")) == "old program" && log().isEmpty());
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
      QCOMPARE(fileContent(file("Varnokel")), fault.isEmpty() ? newProgram : QByteArray("old program"));
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
    const QStringList lines = QString::fromUtf8(fileContent(data + u"/standin.log"_s)).split(u'\n');
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