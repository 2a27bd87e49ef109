// The price database download and the program self-update: the batch texts byte
// for byte, the flows in-process (files, messages, program end), and whole update
// runs with a real FTP server, real curl and a stand-in program that the scripts
// restart.
#include "fixtures/ftp_server.h"
#include "fixtures/sample_data.h"
#include "shell/ProgramEnd.h"
#include "shell/ProgramFolder.h"
#include "shell/frm_main.h"
#include "shell/ini.h"
#include "shell/messages.h"
#include "shell/public_var.h"
#include "update/ScriptStart.h"
#include "update/UpdateScripts.h"
#include "update/Updates.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

int g_ended = 0;

struct StartedScript {
  QString script;
  QString folder;
};

const QString kAppTitle = QStringLiteral("Программа заявок Варнокел");
const QString kPriceQuestion = QStringLiteral("При обновлении прайс-листа текущий заказ будет очищен.Продолжить?");

// cp1251 bytes of the Windows folder C:\Программы\Варнокел Опт, written out by hand.
const QString kWinFolder = QStringLiteral("C:\\Программы\\Варнокел Опт");
const QByteArray kWinFolderBytes = QByteArray("C:\\") +
                                   "\xCF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xFB" + "\\" +
                                   "\xC2\xE0\xF0\xED\xEE\xEA\xE5\xEB" + " " + "\xCE\xEF\xF2";

// A folder name with blanks, Cyrillic letters and a single quote.
const QString kFolderName = QStringLiteral("Папка заявок 'Опт' №1");

QByteArray crlf(const QList<QByteArray>& lines) {
  QByteArray out;
  for (const QByteArray& l : lines) out += l + "\r\n";
  return out + "\r\n";
}

QByteArray readAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QByteArray();
  return f.readAll();
}

bool writeAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return f.write(bytes) == bytes.size();
}

bool setMTime(const QString& path, const QDateTime& when) {
  QFile f(path);
  if (!f.open(QIODevice::ReadWrite)) return false;
  return f.setFileTime(when, QFileDevice::FileModificationTime);
}

// Everything under a folder: relative path -> size, time and content hash.
QMap<QString, QString> snapshot(const QString& folder) {
  QMap<QString, QString> out;
  QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString p = it.next();
    const QFileInfo fi(p);
    QString v = fi.isDir() ? QStringLiteral("dir")
                           : QString::number(fi.size()) + QLatin1Char(' ') +
                                 QString::fromLatin1(
                                     QCryptographicHash::hash(readAll(p), QCryptographicHash::Sha1).toHex());
    v += QLatin1Char(' ') + QString::number(fi.lastModified().toMSecsSinceEpoch());
    out.insert(QDir(folder).relativeFilePath(p), v);
  }
  return out;
}

// Product ids of a price database; empty when it does not open as one.
QStringList productIds(const QString& path) {
  QStringList ids;
  const QString name = QStringLiteral("check-%1").arg(QRandomGenerator::global()->generate());
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (db.open()) {
      QSqlQuery q(db);
      if (q.exec(QStringLiteral("SELECT product_id FROM products ORDER BY product_id")))
        while (q.next()) ids << q.value(0).toString();
      db.close();
    }
  }
  QSqlDatabase::removeDatabase(name);
  return ids;
}

void makePriceFile(const QString& path, const QString& productId) {
  PriceDbBuilder b(path);
  b.addCategory(1, QStringLiteral("Краски"));
  b.addProduct(productId, 1, QStringLiteral("4600000000001"), 5, 12.5, QStringLiteral("Эмаль ") + productId, 3,
               37.5);
  b.close();
}

QStringList readLog(const QString& folder) {
  return QString::fromUtf8(readAll(QDir(folder).filePath(QStringLiteral("standin.log"))))
      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The lines of the stand-in run started with `args`, up to its "done" or "end";
// empty while that run has not finished.
QStringList runOf(const QStringList& log, const QString& args) {
  const int i = log.indexOf(QStringLiteral("start ") + args);
  if (i < 0) return {};
  for (int j = i + 1; j < log.size(); ++j) {
    if (log.at(j) == QLatin1String("done") || log.at(j) == QLatin1String("end")) return log.mid(i, j - i + 1);
    if (log.at(j).startsWith(QLatin1String("start "))) return {};
  }
  return {};
}

qint64 deadPid() {
  QProcess p;
  p.start(QStringLiteral("sleep"), {QStringLiteral("60")});
  if (!p.waitForStarted()) return 0;
  const qint64 pid = p.processId();
  p.kill();
  p.waitForFinished();
  return pid;
}

}  // namespace

class TestUpdates : public QObject {
  Q_OBJECT

private:
  std::unique_ptr<QTemporaryDir> tmp_;
  QString folder_;  // the program folder of the current test
  QList<StartedScript> started_;
  bool startResult_ = true;

  QString file(const QString& name) const { return QDir(folder_).filePath(name); }
  QString exeName() const { return QFileInfo(QCoreApplication::applicationFilePath()).fileName(); }

  // In-process runs: the flows write their script and "start" it into started_.
  void recordStarts() {
    SetScriptStarter([this](const QString& script, const QString& folder, QString* error) {
      started_.append({script, folder});
      if (!startResult_) *error = QStringLiteral("kein Start");
      return startResult_;
    });
  }

  QString standin() const { return QStringLiteral(UPDATE_STANDIN_EXE); }

  // The program folder of a whole update run: the stand-in as the program,
  // settings pointing at the test's FTP server and an old price database.
  void prepareRunFolder(const QString& ftpHost) {
    QVERIFY(QFile::copy(standin(), file(QStringLiteral("Varnokel"))));
    QVERIFY(QFile::setPermissions(file(QStringLiteral("Varnokel")),
                                  QFile::permissions(standin()) | QFileDevice::ExeOwner));
    makePriceFile(file(QStringLiteral("varnokel.mdb")), QStringLiteral("OLD-1"));
    WriteSetting(file(QStringLiteral("settings.ini")), QStringLiteral("connection"), QStringLiteral("ftp_host"),
                 ftpHost);
  }

  // Starts the stand-in like a user would start the program (from another
  // folder, with VARNOKEL_HOME naming the program folder) and waits for it.
  void runStandin(const QString& arg, const QProcessEnvironment& extra = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VARNOKEL_HOME"), folder_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const QString& k : extra.keys()) env.insert(k, extra.value(k));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.setWorkingDirectory(tmp_->path());
    p.start(file(QStringLiteral("Varnokel")), {arg});
    QVERIFY2(p.waitForStarted(10000), qPrintable(p.errorString()));
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
  }

  QString ftpHome() const { return QDir(tmp_->path()).filePath(QStringLiteral("ftp")); }

private slots:
  void initTestCase() {
    qunsetenv("VARNOKEL_HOME");
    SetEndProgramHandler([] { ++g_ended; });
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty(), "curl is not on PATH");
  }

  void init() {
    tmp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp_->isValid());
    folder_ = QDir(tmp_->path()).filePath(kFolderName);
    QVERIFY(QDir().mkpath(folder_));
    QVERIFY(QDir().mkpath(ftpHome()));
    SetProgramFolder(folder_);
    g_ended = 0;
    started_.clear();
    startResult_ = true;
    LastErrorText.clear();
    recordStarts();
  }

  void cleanup() {
    SetScriptStarter({});
    qunsetenv("VARNOKEL_HOME");
    tmp_.reset();
  }

  // ---------------------------------------------------------------- batch texts

  void priceBatch_isExactText() {
    const QByteArray expected = crlf({
        "@ECHO OFF",
        "chcp 1251",
        "ECHO !!!!!DOWNLOADING PRICE !!!!!",
        "\"" + kWinFolderBytes +
            "\\curl.exe\" --connect-timeout 15 --speed-limit 1 --speed-time 60"
            " --user zorvik_price:4817Stock! -o \"" +
            kWinFolderBytes + "\\varnokel.mdb.download\" ftp://ftp.varnokel.ru/varnokel.mdb",
        "If errorlevel 1 ECHO !!!!!UPDATE ERROR!!!!!!!! & goto end2",
        "move /Y \"" + kWinFolderBytes + "\\varnokel.mdb.download\" \"" + kWinFolderBytes + "\\varnokel.mdb\"",
        "If errorlevel 1 ECHO !!!!!UPDATE ERROR!!!!!!!! & goto end2",
        "start Varnokel.exe 40",
        "goto :EOF",
        ":end2",
        "if exist \"" + kWinFolderBytes + "\\varnokel.mdb.download\" del /F /Q \"" + kWinFolderBytes +
            "\\varnokel.mdb.download\"",
        "start Varnokel.exe 41",
        "exit",
    });
    const QByteArray text = PriceDownloadBatch(kWinFolder, DistributionServer());
    QCOMPARE(text, expected);
    QVERIFY(text.endsWith("exit\r\n\r\n"));
    QVERIFY(!text.contains("\n\n"));
    QCOMPARE(text.count("\r\n"), 14);
  }

  void programBatch_isExactText() {
    const QByteArray expected = crlf({
        "@ECHO OFF",
        "chcp 1251",
        "ECHO !!!!!DOWNLOADING PROGRAMM !!!!!",
        "\"" + kWinFolderBytes +
            "\\curl.exe\" --connect-timeout 15 --speed-limit 1 --speed-time 60 --remote-time"
            " --user zorvik_price:4817Stock! -o \"" +
            kWinFolderBytes + "\\temp\\Varnokel.exe.download\" ftp://ftp.varnokel.ru/Varnokel.exe",
        "If errorlevel 1 ECHO !!!!!DOWNLOAD ERROR!!!!!!!! & goto end2",
        "move /Y \"" + kWinFolderBytes + "\\temp\\Varnokel.exe.download\" \"" + kWinFolderBytes +
            "\\temp\\Varnokel.exe\"",
        "If errorlevel 1 ECHO !!!!!DOWNLOAD ERROR!!!!!!!! & goto end2",
        "start Varnokel.exe 30",
        "goto :EOF",
        ":end2",
        "if exist \"" + kWinFolderBytes + "\\temp\\Varnokel.exe.download\" del /F /Q \"" + kWinFolderBytes +
            "\\temp\\Varnokel.exe.download\"",
        "start Varnokel.exe 31",
        "exit",
    });
    QCOMPARE(ProgramDownloadBatch(kWinFolder, DistributionServer()), expected);
  }

  void replacementBatch_isExactText() {
    const QByteArray expected = crlf({
        "@ECHO OFF",
        "chcp 1251",
        "ECHO !!!!!UPDATE !!!!!",
        "set /a WAITED=0",
        ":wait",
        "tasklist /FI \"PID eq 4321\" /NH 2>NUL | find \" 4321 \" >NUL",
        "If errorlevel 1 goto copy",
        "If %WAITED% GEQ 30 goto copy",
        "set /a WAITED+=1",
        "ping -n 2 127.0.0.1 >NUL",
        "goto wait",
        ":copy",
        "xcopy \"" + kWinFolderBytes + "\\temp\\Varnokel.exe\" \"" + kWinFolderBytes + "\\Varnokel.exe\" /Y",
        "If errorlevel 1 ECHO !!!!!UPDATE ERROR!!!!!!!! & goto end2",
        "start Varnokel.exe 50",
        "goto :EOF",
        ":end2",
        "start Varnokel.exe 51",
        "exit",
    });
    QCOMPARE(ReplacementBatch(kWinFolder, 4321), expected);
  }

  void batches_plainFolderAndOwnServer() {
    DistributionServer s;
    s.host = QStringLiteral("files.example.org:2121");
    const QByteArray text = PriceDownloadBatch(QStringLiteral("C:\\Prog"), s);
    QVERIFY(text.contains(
        "\r\n\"C:\\Prog\\curl.exe\" --connect-timeout 15 --speed-limit 1 --speed-time 60 --user "
        "zorvik_price:4817Stock! -o \"C:\\Prog\\varnokel.mdb.download\" ftp://files.example.org:2121/varnokel.mdb\r\n"));
    // A drive root keeps its separator; the file name follows after one more.
    QVERIFY(PriceDownloadBatch(QStringLiteral("C:\\"), s).contains("\"C:\\\\curl.exe\""));
    // Characters the command interpreter would read are kept out of its way.
    s.password = QStringLiteral("50% & more");
    s.programPath = QStringLiteral("/новая версия/Varnokel.exe");
    const QByteArray p = ProgramDownloadBatch(QStringLiteral("D:\\100%"), s);
    QVERIFY(p.contains("--user \"zorvik_price:50%% & more\" -o \"D:\\100%%\\temp\\Varnokel.exe.download\""));
    QVERIFY(p.contains(" ftp://files.example.org:2121/%%D0%%BD%%D0%%BE%%D0%%B2%%D0%%B0%%D1%%8F%%20%%D0%%B2"));
  }

  void distributionServer_fromSettings() {
    const QString ini = file(QStringLiteral("settings.ini"));
    DistributionServer d = ReadDistributionServer(ini);  // no file at all
    QCOMPARE(d.host, QStringLiteral("ftp.varnokel.ru"));
    QCOMPARE(d.user, QStringLiteral("zorvik_price"));
    QCOMPARE(d.password, QStringLiteral("4817Stock!"));
    QCOMPARE(d.url(d.pricePath), QStringLiteral("ftp://ftp.varnokel.ru/varnokel.mdb"));
    QCOMPARE(d.url(d.programPath), QStringLiteral("ftp://ftp.varnokel.ru/Varnokel.exe"));
    WriteSetting(ini, QStringLiteral("connection"), QStringLiteral("ftp_host"), QStringLiteral("127.0.0.1:2121"));
    WriteSetting(ini, QStringLiteral("connection"), QStringLiteral("ftp_user"), QStringLiteral("?"));
    WriteSetting(ini, QStringLiteral("connection"), QStringLiteral("ftp_password"), QStringLiteral("geheim"));
    WriteSetting(ini, QStringLiteral("connection"), QStringLiteral("ftp_program_path"), QStringLiteral("linux/Varnokel"));
    d = ReadDistributionServer(ini);
    QCOMPARE(d.host, QStringLiteral("127.0.0.1:2121"));
    QCOMPARE(d.user, QStringLiteral("zorvik_price"));
    QCOMPARE(d.password, QStringLiteral("geheim"));
    QCOMPARE(d.url(d.pricePath), QStringLiteral("ftp://127.0.0.1:2121/varnokel.mdb"));
    QCOMPARE(d.url(d.programPath), QStringLiteral("ftp://127.0.0.1:2121/linux/Varnokel"));
  }

  // ---------------------------------------------------------------- shell scripts

  void shellQuote_survivesTheShell() {
    const QStringList samples = {kFolderName, QStringLiteral("a'b''c"), QStringLiteral("$HOME `id` \"x\" \\n *"),
                                 QStringLiteral(""), QStringLiteral("/tmp/Пробел и 'кавычка'")};
    for (const QString& s : samples) {
      QProcess sh;
      sh.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("printf '%s' ") + ShellQuote(s)});
      QVERIFY(sh.waitForFinished(10000));
      QCOMPARE(QString::fromUtf8(sh.readAllStandardOutput()), s);
    }
  }

  void shellScripts_parseAndQuote() {
    const RestartCommand r{QStringLiteral("/opt/Варнокел 'x'/Varnokel"), folder_};
    const QList<QByteArray> scripts = {
        PriceDownloadShellScript(folder_, DistributionServer(), r),
        ProgramDownloadShellScript(folder_, QStringLiteral("Varnokel"), DistributionServer(), r),
        ReplacementShellScript(folder_, QStringLiteral("Varnokel"), 1234, r),
    };
    for (const QByteArray& s : scripts) {
      QVERIFY(s.startsWith("#!/bin/sh\n"));
      QVERIFY(!s.contains('\r'));
      QVERIFY(s.contains("VARNOKEL_HOME=" + ShellQuote(folder_).toUtf8() + "\nexport VARNOKEL_HOME\n"));
      QVERIFY(s.endsWith("exec " + ShellQuote(r.program).toUtf8() + " \"$code\"\n"));
      QVERIFY(writeAll(file(QStringLiteral("check.sh")), s));
      QProcess sh;  // syntax check only
      sh.start(QStringLiteral("/bin/sh"), {QStringLiteral("-n"), file(QStringLiteral("check.sh"))});
      QVERIFY(sh.waitForFinished(10000));
      QCOMPARE(sh.exitCode(), 0);
    }
    QVERIFY(scripts[0].contains(
        "curl --connect-timeout 15 --speed-limit 1 --speed-time 60 --user 'zorvik_price:4817Stock!' -o " +
        ShellQuote(folder_ + QStringLiteral("/varnokel.mdb.download")).toUtf8() +
        " 'ftp://ftp.varnokel.ru/varnokel.mdb' && mv -f "));
    QVERIFY(scripts[1].contains("--remote-time --user 'zorvik_price:4817Stock!' -o " +
                                ShellQuote(folder_ + QStringLiteral("/temp/Varnokel.download")).toUtf8() +
                                " 'ftp://ftp.varnokel.ru/Varnokel.exe'"));
    QVERIFY(scripts[2].contains("while kill -0 1234 2>/dev/null"));
    // Without VARNOKEL_HOME the restarted program finds its folder by itself.
    QVERIFY(!PriceDownloadShellScript(folder_, DistributionServer(), {QStringLiteral("/x/Varnokel"), QString()})
                 .contains("VARNOKEL_HOME"));
  }

  // ---------------------------------------------------------------- price download flow

  void priceDownload_noLeavesEveryFileUntouched() {
    makePriceFile(file(QStringLiteral("varnokel.mdb")), QStringLiteral("OLD-1"));
    QVERIFY(writeAll(file(QStringLiteral("update.sh")), "old script\n"));
    QVERIFY(writeAll(file(QStringLiteral("settings.ini")), "[authentication]\r\nid=7\r\n"));
    const auto before = snapshot(folder_);
    msg::ScopedRecorder rec;
    rec.answers.push_back(msg::Answer::No);
    RunPriceDownload();
    QCOMPARE(int(rec.boxes.size()), 1);
    QCOMPARE(rec.boxes[0].text, kPriceQuestion);
    QCOMPARE(rec.boxes[0].title, kAppTitle);
    QVERIFY(rec.boxes[0].yesNo);
    QCOMPARE(rec.boxes[0].icon, msg::Icon::Question);
    QCOMPARE(snapshot(folder_), before);
    QCOMPARE(g_ended, 0);
    QVERIFY(started_.isEmpty());
  }

  void priceDownload_writesScriptStartsItAndEnds() {
    QVERIFY(writeAll(file(QStringLiteral("update.sh")), QByteArray(5000, 'x')));
    WriteSetting(file(QStringLiteral("settings.ini")), QStringLiteral("connection"), QStringLiteral("ftp_host"),
                 QStringLiteral("127.0.0.1:2121"));
    msg::ScopedRecorder rec;
    rec.answers.push_back(msg::Answer::Yes);
    RunPriceDownload();
    QCOMPARE(rec.texts(), QStringList{kPriceQuestion});
    DistributionServer s;
    s.host = QStringLiteral("127.0.0.1:2121");
    const QByteArray expected =
        PriceDownloadShellScript(folder_, s, {QCoreApplication::applicationFilePath(), QString()});
    QCOMPARE(readAll(file(QStringLiteral("update.sh"))), expected);  // replaced, not appended
    QVERIFY(expected.contains("ftp://127.0.0.1:2121/varnokel.mdb"));
    QVERIFY(!QFileInfo::exists(file(QStringLiteral("text.txt"))));
    QCOMPARE(started_.size(), 1);
    QCOMPARE(started_[0].script, file(QStringLiteral("update.sh")));
    QCOMPARE(started_[0].folder, folder_);
    QCOMPARE(g_ended, 1);
  }

  void priceDownload_restartKeepsProgramFolder() {
    qputenv("VARNOKEL_HOME", folder_.toUtf8());
    msg::ScopedRecorder rec;
    rec.answers.push_back(msg::Answer::Yes);
    RunPriceDownload();
    QVERIFY(readAll(file(QStringLiteral("update.sh")))
                .contains("VARNOKEL_HOME=" + ShellQuote(folder_).toUtf8() + "\nexport VARNOKEL_HOME\n"));
    QCOMPARE(g_ended, 1);
  }

  void priceDownload_scriptNotCreated_showsNoSettings() {
    QVERIFY(QDir().mkdir(file(QStringLiteral("update.sh"))));  // the copy cannot land
    msg::ScopedRecorder rec;
    rec.answers.push_back(msg::Answer::Yes);
    RunPriceDownload();
    QCOMPARE(int(rec.boxes.size()), 2);
    QCOMPARE(rec.boxes[1].text, QStringLiteral("НЕТ НАСТРОЕК"));
    QCOMPARE(rec.boxes[1].icon, msg::Icon::Critical);
    QCOMPARE(rec.boxes[1].title, kAppTitle);
    QVERIFY(!QFileInfo::exists(file(QStringLiteral("text.txt"))));
    QVERIFY(started_.isEmpty());
    QCOMPARE(g_ended, 0);
  }

  void priceDownload_fileError_showsUpdateError() {
    QVERIFY(QDir().mkdir(file(QStringLiteral("text.txt"))));  // text.txt cannot be written
    msg::ScopedRecorder rec;
    rec.answers.push_back(msg::Answer::Yes);
    RunPriceDownload();
    QCOMPARE(int(rec.boxes.size()), 2);
    const msg::Box& b = rec.boxes[1];
    QVERIFY2(b.text.startsWith(QStringLiteral("Произошла ошибка при обновлении\r")), qPrintable(b.text));
    QCOMPARE(b.title, QStringLiteral("Предупреждение"));
    QCOMPARE(b.icon, msg::Icon::Critical);
    QVERIFY(!LastErrorText.isEmpty());
    QCOMPARE(b.text.mid(b.text.indexOf(QLatin1Char('\r')) + 1), LastErrorText);
    QVERIFY(LastErrorText.contains(QStringLiteral("text.txt")));
    QVERIFY(!QFileInfo::exists(file(QStringLiteral("update.sh"))));
    QVERIFY(started_.isEmpty());
    QCOMPARE(g_ended, 0);
  }

  void priceDownload_startFails_keepsRunning() {
    startResult_ = false;
    msg::ScopedRecorder rec;
    rec.answers.push_back(msg::Answer::Yes);
    RunPriceDownload();
    QCOMPARE(int(rec.boxes.size()), 2);
    QVERIFY(rec.boxes[1].text.startsWith(QStringLiteral("Произошла ошибка при обновлении\r")));
    QCOMPARE(g_ended, 0);
  }

  // ---------------------------------------------------------------- program download flow

  void programDownload_createsTempWritesScriptAndEnds() {
    QVERIFY(writeAll(file(QStringLiteral("update.sh")), QByteArray(5000, 'x')));
    QVERIFY(!QFileInfo::exists(file(QStringLiteral("temp"))));
    msg::ScopedRecorder rec;
    RunProgramDownload();
    QVERIFY(rec.boxes.empty());  // no question for this one
    QVERIFY(QFileInfo(file(QStringLiteral("temp"))).isDir());
    QCOMPARE(readAll(file(QStringLiteral("update.sh"))),
             ProgramDownloadShellScript(folder_, exeName(), DistributionServer(),
                                        {QCoreApplication::applicationFilePath(), QString()}));
    QVERIFY(!QFileInfo::exists(file(QStringLiteral("text.txt"))));
    QCOMPARE(started_.size(), 1);
    QCOMPARE(started_[0].script, file(QStringLiteral("update.sh")));
    QCOMPARE(g_ended, 1);
  }

  void programDownload_scriptNotCreated_showsNoSettings() {
    QVERIFY(QDir().mkdir(file(QStringLiteral("update.sh"))));
    msg::ScopedRecorder rec;
    RunProgramDownload();
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("НЕТ НАСТРОЕК")});
    QCOMPARE(rec.boxes[0].icon, msg::Icon::Critical);
    QVERIFY(!QFileInfo::exists(file(QStringLiteral("text.txt"))));
    QCOMPARE(g_ended, 0);
  }

  void programDownload_tempCannotBeCreated_showsUpdateError() {
    QVERIFY(writeAll(file(QStringLiteral("temp")), "a file, not a folder"));
    msg::ScopedRecorder rec;
    RunProgramDownload();
    QCOMPARE(int(rec.boxes.size()), 1);
    QVERIFY(rec.boxes[0].text.startsWith(QStringLiteral("Произошла ошибка при обновлении\r")));
    QCOMPARE(rec.boxes[0].title, QStringLiteral("Предупреждение"));
    QCOMPARE(rec.boxes[0].icon, msg::Icon::Critical);
    QVERIFY(LastErrorText.contains(QStringLiteral("temp")));
    QVERIFY(!QFileInfo::exists(file(QStringLiteral("update.sh"))));
    QCOMPARE(g_ended, 0);
  }

  // ---------------------------------------------------------------- result codes after the restart

  void resultCodes_showTheirMessages() {
    const QList<QPair<QString, QString>> cases = {
        {QStringLiteral("40"), QStringLiteral("Прайс-лист обновлен")},
        {QStringLiteral("41"), QStringLiteral("Прайс-лист не обновлен")},
        {QStringLiteral("31"), QStringLiteral("Не удалось проверить обновление ПО")},
        {QStringLiteral("50"), QStringLiteral("Обновление ПО прошло успешно")},
        {QStringLiteral("51"), QStringLiteral("ПО не обновлено")},
    };
    for (const auto& c : cases) {
      msg::ScopedRecorder rec;
      frm_main w;
      QVERIFY(w.MDIForm_Load(c.first));
      QCOMPARE(rec.texts(), QStringList{c.second});
    }
  }

  void completion_data() {
    QTest::addColumn<int>("downloadAge");  // seconds before now; -1: no download copy
    QTest::addColumn<int>("runningAge");   // -1: no running program file
    QTest::addColumn<QString>("message");  // empty: the replacement starts
    QTest::newRow("newer") << 3600 << 86400 << QString();
    QTest::newRow("older") << 172800 << 86400 << QStringLiteral("Ваша версия новее.Ваша версия ");
    QTest::newRow("equal") << 86400 << 86400 << QStringLiteral("Обновление не требуется .Ваша версия ");
    QTest::newRow("no download copy") << -1 << 86400 << QStringLiteral("Не удалось проверить обновление ПО");
    QTest::newRow("no program file") << 3600 << -1 << QStringLiteral("Не удалось проверить обновление ПО");
  }

  void completion() {
    QFETCH(int, downloadAge);
    QFETCH(int, runningAge);
    QFETCH(QString, message);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QVERIFY(QDir().mkdir(file(QStringLiteral("temp"))));
    const QString downloaded = file(QStringLiteral("temp/") + exeName());
    const QString running = file(exeName());
    if (downloadAge >= 0) {
      QVERIFY(writeAll(downloaded, "new program"));
      QVERIFY(setMTime(downloaded, QDateTime::fromSecsSinceEpoch(now - downloadAge)));
    }
    if (runningAge >= 0) {
      QVERIFY(writeAll(running, "old program"));
      QVERIFY(setMTime(running, QDateTime::fromSecsSinceEpoch(now - runningAge)));
    }
    QVERIFY(writeAll(file(QStringLiteral("updateexe.sh")), QByteArray(5000, 'x')));

    msg::ScopedRecorder rec;
    frm_main w;
    const bool goesOn = w.MDIForm_Load(QStringLiteral("30"));
    if (message.isEmpty()) {
      QVERIFY(!goesOn);
      QVERIFY(rec.boxes.empty());
      QCOMPARE(readAll(file(QStringLiteral("updateexe.sh"))),
               ReplacementShellScript(folder_, exeName(), QCoreApplication::applicationPid(),
                                      {QCoreApplication::applicationFilePath(), QString()}));
      QVERIFY(!QFileInfo::exists(file(QStringLiteral("text.txt"))));
      QCOMPARE(started_.size(), 1);
      QCOMPARE(started_[0].script, file(QStringLiteral("updateexe.sh")));
      QCOMPARE(g_ended, 1);
      return;
    }
    QVERIFY(goesOn);
    QCOMPARE(g_ended, 0);
    QVERIFY(started_.isEmpty());
    QCOMPARE(int(rec.boxes.size()), 1);
    QCOMPARE(rec.boxes[0].icon, msg::Icon::None);
    QCOMPARE(rec.boxes[0].title, kAppTitle);
    if (message.endsWith(QLatin1Char(' '))) {
      const QString when =
          QLocale().toString(QDateTime::fromSecsSinceEpoch(now - runningAge), QLocale::ShortFormat);
      QCOMPARE(rec.boxes[0].text, message + when);
    } else {
      QCOMPARE(rec.boxes[0].text, message);
    }
    QCOMPARE(readAll(file(QStringLiteral("updateexe.sh"))), QByteArray(5000, 'x'));
  }

  void completion_scriptNotCreated_showsNoSettingsAndGoesOn() {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QVERIFY(QDir().mkdir(file(QStringLiteral("temp"))));
    QVERIFY(writeAll(file(QStringLiteral("temp/") + exeName()), "new"));
    QVERIFY(writeAll(file(exeName()), "old"));
    QVERIFY(setMTime(file(exeName()), QDateTime::fromSecsSinceEpoch(now - 86400)));
    QVERIFY(QDir().mkdir(file(QStringLiteral("updateexe.sh"))));
    msg::ScopedRecorder rec;
    frm_main w;
    QVERIFY(w.MDIForm_Load(QStringLiteral("30")));
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("НЕТ НАСТРОЕК")});
    QCOMPARE(rec.boxes[0].icon, msg::Icon::Critical);
    QCOMPARE(g_ended, 0);
  }

  // ---------------------------------------------------------------- whole runs: price database

  void run_priceDownload_succeeds() {
    FtpServer ftp;
    QString error;
    makePriceFile(QDir(ftpHome()).filePath(QStringLiteral("varnokel.mdb")), QStringLiteral("NEW-1"));
    QVERIFY2(ftp.start(ftpHome(), &error), qPrintable(error));
    prepareRunFolder(ftp.hostWithPort());
    runStandin(QStringLiteral("--price"));
    QTRY_VERIFY_WITH_TIMEOUT(!runOf(readLog(folder_), QStringLiteral("40")).isEmpty(), 60000);
    const QStringList log = readLog(folder_);
    const QStringList first = runOf(log, QStringLiteral("--price"));
    QCOMPARE(first.last(), QStringLiteral("end"));
    QVERIFY(first.contains(QStringLiteral("box ") + kPriceQuestion));
    const QStringList second = runOf(log, QStringLiteral("40"));
    QVERIFY(second.contains(QStringLiteral("home ") + folder_));
    QVERIFY(second.contains(QStringLiteral("cwd ") + folder_));
    QVERIFY(second.contains(QStringLiteral("box Прайс-лист обновлен")));
    QCOMPARE(second.last(), QStringLiteral("done"));
    QCOMPARE(productIds(file(QStringLiteral("varnokel.mdb"))), QStringList{QStringLiteral("NEW-1")});
    QCOMPARE(readAll(file(QStringLiteral("varnokel.mdb"))),
             readAll(QDir(ftpHome()).filePath(QStringLiteral("varnokel.mdb"))));
    QVERIFY(!QFileInfo::exists(file(QStringLiteral("varnokel.mdb.download"))));
    QVERIFY(!QFileInfo::exists(file(QStringLiteral("text.txt"))));
    QVERIFY(QFileInfo(file(QStringLiteral("update.sh"))).isFile());
  }

  void run_priceDownload_fails_data() {
    QTest::addColumn<QString>("failure");
    QTest::newRow("wrong password") << QStringLiteral("password");
    QTest::newRow("missing file") << QStringLiteral("missing");
    QTest::newRow("server down") << QStringLiteral("down");
  }

  void run_priceDownload_fails() {
    QFETCH(QString, failure);
    FtpServer ftp;
    QString error;
    if (failure != QLatin1String("missing"))
      makePriceFile(QDir(ftpHome()).filePath(QStringLiteral("varnokel.mdb")), QStringLiteral("NEW-1"));
    QVERIFY2(ftp.start(ftpHome(), &error), qPrintable(error));
    const QString host = ftp.hostWithPort();
    if (failure == QLatin1String("down")) ftp.stop();
    prepareRunFolder(host);
    if (failure == QLatin1String("password"))
      WriteSetting(file(QStringLiteral("settings.ini")), QStringLiteral("connection"), QStringLiteral("ftp_password"),
                   QStringLiteral("wrong"));
    const QByteArray old = readAll(file(QStringLiteral("varnokel.mdb")));
    runStandin(QStringLiteral("--price"));
    QTRY_VERIFY_WITH_TIMEOUT(!runOf(readLog(folder_), QStringLiteral("41")).isEmpty(), 60000);
    QVERIFY(runOf(readLog(folder_), QStringLiteral("41")).contains(QStringLiteral("box Прайс-лист не обновлен")));
    QVERIFY(runOf(readLog(folder_), QStringLiteral("40")).isEmpty());
    QCOMPARE(readAll(file(QStringLiteral("varnokel.mdb"))), old);
    QCOMPARE(productIds(file(QStringLiteral("varnokel.mdb"))), QStringList{QStringLiteral("OLD-1")});
    QVERIFY(!QFileInfo::exists(file(QStringLiteral("varnokel.mdb.download"))));
  }

  void run_priceDownload_interrupted() {
    // A file bigger than the socket buffers can hold, fetched through a curl that
    // limits its rate, and the server stopped once the download is under way.
    QByteArray big(64 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i) big[i] = char((i * 131) >> 7);
    QVERIFY(writeAll(QDir(ftpHome()).filePath(QStringLiteral("varnokel.mdb")), big));
    const QString bin = QDir(tmp_->path()).filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    const QString realCurl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    QVERIFY(writeAll(QDir(bin).filePath(QStringLiteral("curl")),
                     "#!/bin/sh\nexec " + ShellQuote(realCurl).toUtf8() + " --limit-rate 4M --max-time 50 \"$@\"\n"));
    QVERIFY(QFile::setPermissions(QDir(bin).filePath(QStringLiteral("curl")),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    FtpServer ftp;
    QString error;
    QVERIFY2(ftp.start(ftpHome(), &error), qPrintable(error));
    prepareRunFolder(ftp.hostWithPort());
    const QByteArray old = readAll(file(QStringLiteral("varnokel.mdb")));
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("PATH"), bin + QLatin1Char(':') + qEnvironmentVariable("PATH"));
    runStandin(QStringLiteral("--price"), extra);
    const QString partial = file(QStringLiteral("varnokel.mdb.download"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(partial).size() > 0, 30000);
    ftp.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!runOf(readLog(folder_), QStringLiteral("41")).isEmpty() ||
                                 !runOf(readLog(folder_), QStringLiteral("40")).isEmpty(),
                             60000);
    QVERIFY(runOf(readLog(folder_), QStringLiteral("40")).isEmpty());
    QVERIFY(runOf(readLog(folder_), QStringLiteral("41")).contains(QStringLiteral("box Прайс-лист не обновлен")));
    QCOMPARE(readAll(file(QStringLiteral("varnokel.mdb"))), old);
    QCOMPARE(productIds(file(QStringLiteral("varnokel.mdb"))), QStringList{QStringLiteral("OLD-1")});
    QVERIFY(!QFileInfo::exists(partial));
  }

  // ---------------------------------------------------------------- whole runs: program update

  void run_programUpdate_data() {
    QTest::addColumn<int>("serverAge");  // seconds before now; -1: no program on the server
    QTest::addColumn<QString>("outcome");
    QTest::newRow("server copy newer") << 3600 << QStringLiteral("50");
    QTest::newRow("server copy older") << 172800 << QStringLiteral("older");
    QTest::newRow("same time") << 86400 << QStringLiteral("equal");
    QTest::newRow("download fails") << -1 << QStringLiteral("31");
  }

  void run_programUpdate() {
    QFETCH(int, serverAge);
    QFETCH(QString, outcome);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QString serverCopy = QDir(ftpHome()).filePath(QStringLiteral("Varnokel.exe"));
    // The server's program: the stand-in with a mark appended (it still runs).
    const QByteArray newProgram = readAll(standin()) + "\nVARNOKEL-NEW-VERSION\n";
    if (serverAge >= 0) {
      QVERIFY(writeAll(serverCopy, newProgram));
      QVERIFY(setMTime(serverCopy, QDateTime::fromSecsSinceEpoch(now - serverAge)));
    }
    FtpServer ftp;
    QString error;
    QVERIFY2(ftp.start(ftpHome(), &error), qPrintable(error));
    prepareRunFolder(ftp.hostWithPort());
    const QString program = file(QStringLiteral("Varnokel"));
    QVERIFY(setMTime(program, QDateTime::fromSecsSinceEpoch(now - 86400)));
    const QByteArray oldProgram = readAll(program);
    runStandin(QStringLiteral("--program"));
    const QString versionText =
        QLocale().toString(QDateTime::fromSecsSinceEpoch(now - 86400), QLocale::ShortFormat);

    if (outcome == QLatin1String("50")) {
      QTRY_VERIFY_WITH_TIMEOUT(!runOf(readLog(folder_), QStringLiteral("50")).isEmpty(), 60000);
      const QStringList log = readLog(folder_);
      QCOMPARE(runOf(log, QStringLiteral("--program")).last(), QStringLiteral("end"));
      QCOMPARE(runOf(log, QStringLiteral("30")).last(), QStringLiteral("end"));  // replacement started
      const QStringList last = runOf(log, QStringLiteral("50"));
      QVERIFY(last.contains(QStringLiteral("box Обновление ПО прошло успешно")));
      QVERIFY(last.contains(QStringLiteral("home ") + folder_));
      QCOMPARE(readAll(program), newProgram);
      QVERIFY(QFileInfo(program).isExecutable());
      QCOMPARE(QFileInfo(program).lastModified().toSecsSinceEpoch(), now - serverAge);
      QCOMPARE(readAll(file(QStringLiteral("temp/Varnokel"))), newProgram);
      QVERIFY(QFileInfo(file(QStringLiteral("updateexe.sh"))).isFile());
      QVERIFY(!QFileInfo::exists(file(QStringLiteral(".Varnokel.update"))));
      QVERIFY(!QFileInfo::exists(file(QStringLiteral("temp/Varnokel.download"))));
      // The program now carries the server copy's time: the next check finds no update.
      QVERIFY(QFile::remove(file(QStringLiteral("standin.log"))));
      runStandin(QStringLiteral("30"));
      QVERIFY(runOf(readLog(folder_), QStringLiteral("30"))
                  .contains(QStringLiteral("box Обновление не требуется .Ваша версия ") +
                            QLocale().toString(QDateTime::fromSecsSinceEpoch(now - serverAge), QLocale::ShortFormat)));
      return;
    }
    const QString code = outcome == QLatin1String("31") ? QStringLiteral("31") : QStringLiteral("30");
    QTRY_VERIFY_WITH_TIMEOUT(!runOf(readLog(folder_), code).isEmpty(), 60000);
    const QStringList run = runOf(readLog(folder_), code);
    QCOMPARE(run.last(), QStringLiteral("done"));
    if (outcome == QLatin1String("31"))
      QVERIFY(run.contains(QStringLiteral("box Не удалось проверить обновление ПО")));
    else if (outcome == QLatin1String("older"))
      QVERIFY2(run.contains(QStringLiteral("box Ваша версия новее.Ваша версия ") + versionText),
               qPrintable(run.join(QLatin1Char('\n'))));
    else
      QVERIFY2(run.contains(QStringLiteral("box Обновление не требуется .Ваша версия ") + versionText),
               qPrintable(run.join(QLatin1Char('\n'))));
    QCOMPARE(readAll(program), oldProgram);
    QVERIFY(!QFileInfo::exists(file(QStringLiteral("updateexe.sh"))));
    QVERIFY(!QFileInfo::exists(file(QStringLiteral("temp/Varnokel.download"))));
    QCOMPARE(QFileInfo::exists(file(QStringLiteral("temp/Varnokel"))), serverAge >= 0);
  }

  void run_replacement_waitsForTheOldProgram() {
    QVERIFY(QDir().mkpath(file(QStringLiteral("temp"))));
    QVERIFY(QFile::copy(standin(), file(QStringLiteral("Varnokel"))));
    const QByteArray newProgram = readAll(standin()) + "\nVARNOKEL-NEW-VERSION\n";
    QVERIFY(writeAll(file(QStringLiteral("temp/Varnokel")), newProgram));
    QProcess oldProgram;  // stands for the program that wrote the script
    oldProgram.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    QVERIFY(oldProgram.waitForStarted());
    QVERIFY(writeAll(file(QStringLiteral("updateexe.sh")),
                     ReplacementShellScript(folder_, QStringLiteral("Varnokel"), oldProgram.processId(),
                                            {file(QStringLiteral("Varnokel")), folder_})));
    QProcess sh;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    sh.setProcessEnvironment(env);
    sh.setProcessChannelMode(QProcess::ForwardedChannels);
    sh.setWorkingDirectory(folder_);
    sh.start(QStringLiteral("/bin/sh"), {file(QStringLiteral("updateexe.sh"))});
    QVERIFY(sh.waitForStarted());
    // While the old program runs nothing is copied.
    QVERIFY(!sh.waitForFinished(1500));
    QCOMPARE(readAll(file(QStringLiteral("Varnokel"))), readAll(standin()));
    QVERIFY(readLog(folder_).isEmpty());
    oldProgram.kill();
    QVERIFY(oldProgram.waitForFinished());
    QVERIFY(sh.waitForFinished(60000));
    QCOMPARE(sh.exitCode(), 0);
    QVERIFY(runOf(readLog(folder_), QStringLiteral("50")).contains(QStringLiteral("box Обновление ПО прошло успешно")));
    QCOMPARE(readAll(file(QStringLiteral("Varnokel"))), newProgram);
  }

  void run_replacement_copyFails() {
    // The program's place is taken by a folder: the copy cannot replace it.
    QVERIFY(QDir().mkpath(file(QStringLiteral("temp"))));
    QVERIFY(QDir().mkpath(file(QStringLiteral("Varnokel"))));
    QVERIFY(writeAll(file(QStringLiteral("temp/Varnokel")), "new program"));
    QVERIFY(QDir().mkpath(file(QStringLiteral("bin"))));
    QVERIFY(QFile::copy(standin(), file(QStringLiteral("bin/standin"))));
    QVERIFY(writeAll(file(QStringLiteral("updateexe.sh")),
                     ReplacementShellScript(folder_, QStringLiteral("Varnokel"), deadPid(),
                                            {file(QStringLiteral("bin/standin")), folder_})));
    QProcess sh;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    sh.setProcessEnvironment(env);
    sh.setProcessChannelMode(QProcess::ForwardedChannels);
    sh.setWorkingDirectory(folder_);
    sh.start(QStringLiteral("/bin/sh"), {file(QStringLiteral("updateexe.sh"))});
    QVERIFY(sh.waitForFinished(60000));
    const QStringList run = runOf(readLog(folder_), QStringLiteral("51"));
    QVERIFY2(run.contains(QStringLiteral("box ПО не обновлено")), qPrintable(readLog(folder_).join(QLatin1Char('\n'))));
    QVERIFY(QFileInfo(file(QStringLiteral("Varnokel"))).isDir());
    QVERIFY(QDir(file(QStringLiteral("Varnokel"))).isEmpty());
    QVERIFY(!QFileInfo::exists(file(QStringLiteral(".Varnokel.update"))));
  }
};

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TestUpdates t;
  return QTest::qExec(&t, argc, argv);
}

#include "test_updates.moc"
