// Price list download and self-update: unusable server settings, the flows in-process, and
// whole runs with a real FTP server, curl and a stand-in program the scripts restart.
#include "base/ProgramEnd.h"
#include "base/ProgramFolder.h"
#include "fixtures/ftp_server.h"
#include "support/WindowTest.h"
#include "update/ScriptStart.h"
#include "update/UpdateFailure.h"
#include "update/UpdateScripts.h"
#include "update/Updates.h"

namespace {

int g_ended = 0;
const char kLeftover[] = "echo LEFTOVER\n";  // a line of an old, longer script
const QByteArray kNewMark = "\nVARNOKEL-NEW-VERSION\n";

bool setMTime(const QString& p, qint64 secs) { return setFileTime(p, QDateTime::fromSecsSinceEpoch(secs)); }

void makePriceFile(const QString& path, const QString& id) {
  PriceDbBuilder(path).addProduct(id, 1, u"4600000000001"_s, 5, 12.5, u"Эмаль "_s + id, 3, 37.5);
}

// Runs a program to its end; `env` values replace the inherited ones, empty ones remove them.
bool runToEnd(const QString& exe, const QStringList& args, const QString& cwd, const QMap<QString, QString>& env) {
  QProcess p;
  QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
  for (auto it = env.begin(); it != env.end(); ++it) it->isEmpty() ? e.remove(it.key()) : e.insert(it.key(), *it);
  p.setProcessEnvironment(e);
  p.setProcessChannelMode(QProcess::ForwardedChannels);
  p.setWorkingDirectory(cwd);
  p.start(exe, args);
  return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace

class TestUpdates : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> tmp_;
  QString folder_;  // the program folder: blanks, Cyrillic, a single quote
  int started_ = 0;
  bool startResult_ = true;

  QString file(const QString& name) const { return QDir(folder_).filePath(name); }
  bool has(const QString& name) const { return QFileInfo::exists(file(name)); }
  QString ftpFile(const QString& name) const { return tmp_->filePath(u"ftp/"_s + name); }
  QString standin() const { return QStringLiteral(UPDATE_STANDIN_EXE); }
  QStringList log() const {
    return QString::fromUtf8(fileContent(file("standin.log"))).split(u'\n', Qt::SkipEmptyParts);
  }

  // The last run of the chain, with `code`, showed `told`, ran in the program folder and finished.
  void expectRun(const QString& code, const QString& told) const {
    for (QDeadlineTimer t(60000); !log().contains(u"done"_s) && !t.hasExpired();) QTest::qWait(100);
    const QStringList l = log(), run = l.mid(l.indexOf("start " + code));
    const bool shown =
        std::any_of(run.begin(), run.end(), [&](const QString& s) { return s.startsWith("box " + told); });
    QVERIFY2(l.contains("start " + code) && shown && run.endsWith(u"done"_s) && run.contains("cwd " + folder_) &&
                 run.contains("home " + folder_),
             qPrintable(l.join(u'\n')));
  }

 private slots:
  void initTestCase() {
    SetEndProgramHandler([] { ++g_ended; });
    SetScriptStarter([this](const QString&, const QString&, QString* error) {
      ++started_;
      if (!startResult_) *error = u"kein Start"_s;
      return startResult_;
    });
  }

  void init() {
    qunsetenv("VARNOKEL_HOME");
    tmp_ = std::make_unique<QTemporaryDir>();
    folder_ = tmp_->filePath(u"Папка заявок 'Опт' №1"_s);
    QVERIFY(QDir().mkpath(folder_) && QDir().mkpath(ftpFile(QString())));
    SetProgramFolder(folder_);
    // The build names no server: the tests name theirs.
    WriteSetting(file("settings.ini"), u"connection"_s, u"ftp_host"_s, u"127.0.0.1:2121"_s);
    g_ended = started_ = 0;
    startResult_ = true;
  }

  void serverUrl_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("url");  // of the price database
    QTest::newRow("IPv6 host") << u"ftp_host"_s << u"[::1]:21"_s << u"ftp://[::1]:21/varnokel.mdb"_s;
    QTest::newRow("Cyrillic host") << u"ftp_host"_s << u"прайс.варнокел.рф"_s
                                   << u"ftp://xn--80asqeh.xn--80adktgjho.xn--p1ai/varnokel.mdb"_s;
    QTest::newRow("path with & and %") << u"ftp_price_path"_s << u"/a&b 100%/прайс.mdb"_s
                                       << u"ftp://127.0.0.1:2121/a%26b%20100%25/%D0%BF%D1%80%D0%B0%D0%B9%D1%81.mdb"_s;
  }
  void serverUrl() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, url);
    WriteSetting(file("settings.ini"), u"connection"_s, key, value);
    const DistributionServer s = ReadDistributionServer(file("settings.ini"));
    QCOMPARE(DistributionServerProblem(s), QString());
    QCOMPARE(s.url(s.pricePath), url);
  }

  void curlLocation() {  // program folder, else beside the executable, else the system's
    const QStringList dirs{file("program"), file("exe"), file("system")};
    QCOMPARE(LocateCurl(dirs[0], dirs[1], dirs[2]), QString());
    for (int i = 2; i >= 0; --i) {
      QVERIFY(QDir().mkpath(dirs[i]) && writeFileContent(dirs[i] + "/curl.exe", "x"));
      QCOMPARE(LocateCurl(dirs[0], dirs[1], dirs[2]), JoinProgramPath(dirs[i], u"curl.exe"_s));
    }
  }

  // A flow that cannot go on says why, writes and starts nothing, keeps the price list: an unsafe
  // server setting (named), No, a path taken, the start failing, a download or program missing.
  void blockedFlows_data() {
    QTest::addColumn<QString>("flow");
    QTest::addColumn<QString>("blocked");
    QTest::addColumn<QString>("told");  // in the last box
    const auto refused = [](const char* key, std::initializer_list<const char*> values) {
      for (const char* v : values)
        QTest::addRow("%s %s", key, v) << u"price"_s << QString::fromUtf8(key) + u'=' + QString::fromUtf8(v)
                                       << QString::fromUtf8(key);
    };
    refused("ftp_host", {"h & marker.exe & rem", "h\"&marker", "h%PATH%", "h|x", "h/x", "host:99999", "host:", "h x"});
    refused("ftp_user", {"a\"b", "a:b", "Иван"});
    refused("ftp_password", {"p\"&marker.exe", "пароль", "a\tb"});
    const QString error = u"Произошла ошибка при обновлении"_s, unchecked = u"Не удалось проверить обновление ПО"_s;
    QTest::newRow("price: answered No") << u"price"_s << u"no"_s << u"При обновлении прайс-листа"_s;
    QTest::newRow("price: no script") << u"price"_s << u"update.sh"_s << u"НЕТ НАСТРОЕК"_s;
    QTest::newRow("price: no start") << u"price"_s << u"start"_s << error;
    QTest::newRow("program: no temp") << u"program"_s << u"temp"_s << error;
    QTest::newRow("30: no script") << u"30"_s << u"updateexe.sh"_s << u"НЕТ НАСТРОЕК"_s;
    QTest::newRow("30: no download copy") << u"30"_s << u"download"_s << unchecked;
    QTest::newRow("30: no program file") << u"30"_s << u"program"_s << unchecked;
  }
  void blockedFlows() {
    QFETCH(QString, flow);
    QFETCH(QString, blocked);
    QFETCH(QString, told);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QVERIFY(QDir().mkpath(file("temp")));
    if (flow == u"30"_s && blocked != u"download"_s)  // downloaded an hour ago, the running one a day ago
      QVERIFY(writeFileContent(file("temp/" + exe), "x") && setMTime(file("temp/" + exe), now - 3600));
    if (flow == u"30"_s && blocked != u"program"_s)
      QVERIFY(writeFileContent(file(exe), "x") && setMTime(file(exe), now - 86400));
    if (blocked == u"temp"_s) QVERIFY(QDir(file("temp")).removeRecursively() && writeFileContent(file("temp"), "f"));
    if (blocked.endsWith(u".sh"_s)) QVERIFY(QDir().mkdir(file(blocked)));
    if (blocked.contains(u'='))
      WriteSetting(file("settings.ini"), u"connection"_s, blocked.section(u'=', 0, 0), blocked.section(u'=', 1));
    makePriceFile(file("varnokel.mdb"), u"OLD-1"_s);
    const QByteArray price = fileContent(file("varnokel.mdb"));
    startResult_ = blocked != u"start"_s;
    msg::ScopedRecorder rec;
    if (flow == u"30"_s) {  // the check after the program download
      QVERIFY(MainWindow().startUp(flow));
    } else {
      rec.answers.push_back(blocked == u"no"_s ? msg::Answer::No : msg::Answer::Yes);
      flow == u"price"_s ? RunPriceDownload() : RunProgramDownload();
    }
    QVERIFY2(rec.boxes.back().text.contains(told), qPrintable(rec.boxes.back().text));
    QVERIFY(g_ended == 0 && started_ == (startResult_ ? 0 : 1) && !QFileInfo(file("updateexe.sh")).isFile());
    QVERIFY(fileContent(file("varnokel.mdb")) == price && (blocked != u"no"_s || !has("update.sh")));
  }

  // A download run by the scripts the program writes, ending in the restarted program.
  void run_download_data() {
    QTest::addColumn<QString>("flow");  // price | program
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("code");  // the last run's argument
    QTest::addColumn<QString>("told");  // the start of its box
    const auto failed = [](const QString& flow, const char* reason) {
      return (flow == u"price"_s ? u"Прайс-лист не обновлен|"_s : u"Не удалось проверить обновление ПО|"_s) +
             DescribeUpdateFailure(QString::fromUtf8(reason));
    };
    const QString price = u"price"_s, program = u"program"_s;
    QTest::newRow("price") << price << QString() << u"40"_s << u"Прайс-лист обновлен"_s;
    QTest::newRow("price: missing file") << price << u"missing file"_s << u"41"_s << failed(price, "download 78");
    QTest::newRow("price: trickling server") << price << u"trickle"_s << u"41"_s << failed(price, "download 28");
    QTest::newRow("price: half file served") << price << u"half"_s << u"41"_s << failed(price, "check 1");
    QTest::newRow("program: newer") << program << u"newer"_s << u"50"_s << u"Обновление ПО прошло успешно"_s;
    QTest::newRow("program: older") << program << u"older"_s << u"30"_s << u"Ваша версия новее"_s;
    QTest::newRow("program: equal") << program << u"equal"_s << u"30"_s << u"Обновление не требуется"_s;
    QTest::newRow("program: missing file") << program << u"missing file"_s << u"31"_s << failed(program, "download 78");
    QTest::newRow("program: an html page") << program << u"html"_s << u"31"_s << failed(program, "program");
  }
  void run_download() {
    QFETCH(QString, flow);
    QFETCH(QString, fault);
    QFETCH(QString, code);
    QFETCH(QString, told);
    const bool price = flow == u"price"_s, trickle = fault == u"trickle"_s;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QString served = ftpFile(price ? u"varnokel.mdb"_s : u"Varnokel.exe"_s);
    if (trickle) QVERIFY(writeFileContent(served, QByteArray(1 << 20, 'v')));  // sent at 100 bytes a second
    if (price && (fault.isEmpty() || fault == u"half"_s)) makePriceFile(served, u"NEW-1"_s);
    const int age = fault == u"newer"_s ? 3600 : fault == u"older"_s ? 172800 : 86400;
    if (!price && fault != u"missing file"_s)  // the stand-in with a mark appended (it still runs), or a web page
      QVERIFY(writeFileContent(
                  served, fault == u"html"_s ? QByteArray("<html>404</html>\n") : fileContent(standin()) + kNewMark) &&
              setMTime(served, now - age));
    const QByteArray good = fileContent(served);
    if (fault == u"half"_s) QVERIFY(writeFileContent(served, good.left(good.size() / 2)));
    FtpServer ftp;
    QString error;
    QVERIFY2(ftp.start(ftpFile(QString()), &error, trickle ? 100 : 0), qPrintable(error));
    WriteSetting(file("settings.ini"), u"connection"_s, u"ftp_host"_s, ftp.hostWithPort());
    QVERIFY(QFile::copy(standin(), file("Varnokel")) && setMTime(file("Varnokel"), now - 86400));
    for (const char* script : {"update.sh", "updateexe.sh"})
      QVERIFY(writeFileContent(file(script), QByteArray(kLeftover).repeated(1000)));
    makePriceFile(file("varnokel.mdb"), u"OLD-1"_s);
    const QString target = file(price ? "varnokel.mdb" : "Varnokel");
    const QByteArray old = fileContent(target);
    // Started as a user would: from another folder, VARNOKEL_HOME naming the program folder.
    QVERIFY(runToEnd(file("Varnokel"), {"--" + flow}, tmp_->path(),
                     {{"VARNOKEL_HOME", folder_}, {"VARNOKEL_TEST_UPDATE_TIMEOUT", trickle ? u"3"_s : QString()}}));
    expectRun(code, told);
    const bool replaced = code == u"40"_s || code == u"50"_s;
    QCOMPARE(fileContent(target), replaced ? good : old);
    QVERIFY(!has("update.reason"));
    // The scripts are written afresh (the program's by the check with 30 only).
    QCOMPARE(fileContent(file(price ? "update.sh" : "updateexe.sh")).contains(kLeftover), !price && !replaced);
    if (!price && replaced)  // the server's time: the next check finds no update
      QCOMPARE(QFileInfo(target).lastModified().toSecsSinceEpoch(), now - age);
  }

  // The replacement script: running: the old program does not end; copy: its place is
  // a folder; broken: temp/ holds a program that does not run.
  void run_replacement_data() {
    QTest::addColumn<QString>("fault");
    QTest::newRow("waits for the old program") << QString();
    QTest::newRow("old program does not end") << u"running"_s;
    QTest::newRow("copy fails") << u"copy"_s;
    QTest::newRow("download copy does not run") << u"broken"_s;
  }
  void run_replacement() {
    QFETCH(QString, fault);
    const QByteArray newProgram =
        fault == u"broken"_s ? QByteArray("#!/bin/sh\nexit 3\n") : fileContent(standin()) + kNewMark;
    QVERIFY(QDir().mkpath(file("temp")) && QFile::copy(standin(), file("standin")) &&
            writeFileContent(file("temp/Varnokel"), newProgram));
    QVERIFY(fault == u"copy"_s ? QDir().mkpath(file("Varnokel")) : writeFileContent(file("Varnokel"), "old program"));
    QProcess oldProgram;  // stands for the program that wrote the script
    oldProgram.start(u"sleep"_s, {u"60"_s});
    QVERIFY(oldProgram.waitForStarted());
    const qint64 pid = oldProgram.processId();
    if (fault == u"copy"_s || fault == u"broken"_s) oldProgram.kill();  // then its id names no process
    QVERIFY(fault.isEmpty() || fault == u"running"_s || oldProgram.waitForFinished());
    qputenv("VARNOKEL_HOME", folder_.toUtf8());  // as the program passes it on
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
    const QString reason = fault == u"broken"_s ? u"program"_s : fault;
    expectRun(fault.isEmpty() ? u"50"_s : u"51"_s,
              fault.isEmpty() ? u"Обновление ПО прошло успешно"_s : "ПО не обновлено|" + DescribeUpdateFailure(reason));
    const QByteArray kept = fault == u"copy"_s ? QByteArray() : QByteArray("old program");
    QVERIFY(fault != u"copy"_s || QFileInfo(file("Varnokel")).isDir());  // the folder stays a folder
    QCOMPARE(fileContent(file("Varnokel")), fault.isEmpty() ? newProgram : kept);
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
    QVERIFY(runToEnd(u"setpriv"_s, {"--reuid=65534", "--regid=65534", "--clear-groups", installed + "/Varnokel", "40"},
                     home, {{"VARNOKEL_HOME", {}}, {"XDG_DATA_HOME", {}}, {"HOME", home}}));
    const QString data = home + u"/.local/share/Varnokel"_s;
    const QStringList lines = QString::fromUtf8(fileContent(data + u"/standin.log"_s)).split(u'\n');
    QVERIFY2(lines.contains("cwd " + data) && lines.contains(u"box Прайс-лист обновлен"_s),
             qPrintable(lines.join('\n')));
    QCOMPARE(QDir(installed).entryList(QDir::Files), QStringList{u"Varnokel"_s});
  }
};

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TestUpdates t;
  return QTest::qExec(&t, argc, argv);
}

#include "test_updates.moc"
