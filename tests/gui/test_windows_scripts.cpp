// The Windows update batch files run by a real command interpreter: wine's cmd in
// a private prefix, with stand-ins for curl.exe, the program and tasklist.exe built
// by MinGW (tests/standin/windows_standin.c). Each row writes the batch the program
// would write, starts it as the program does (cmd /d /v:off /c update.bat from the
// program folder) and follows the chain of restarts through the stand-ins' log.
#include "data/PriceFileCheck.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "fixtures/wine.h"
#include "update/UpdateScripts.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Program folders a customer may have (under C: unless said otherwise).
const QString kCyrillic = u"Program Files/Варнокел заявки"_s;
const QString kSpecials = u"Варнокел & Ко (опт) 100% !x! ^y; z, a=b"_s;
const QString kOutsideCp1251 = u"users/Zoë/Варнокел"_s;
const QString kPercentPath = u"x%PATH%y"_s;
const QString kDriveRoot = u"R:"_s;
const QString kPerUser = u"per-user"_s;  // %LOCALAPPDATA%\Varnokel, the program in a read-only folder
const int kPid = 987654321;              // stands for the program's process id in the replacement batch

// A user and a password full of what the command interpreter would act on.
const QString kHostileUser = u"u&marker.exe&rem ^|<>!%PATH%(x);,="_s;
const QString kHostilePassword = u"&marker.exe & echo %PATH% !x! ^ | < > ( ) ; , = \\"_s;

}  // namespace

class TestWindowsScripts : public QObject {
  Q_OBJECT

  WinePrefix wine_;
  QTemporaryDir tmp_;
  QByteArray standin_, newProgram_, oldPrice_, newPrice_;
  int row_ = 0;

  QString tmp(const QString& name) const { return tmp_.filePath(name); }

  static bool freshFolder(const QString& path) {
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return QDir(path).removeRecursively() && QDir().mkpath(path);
  }

  // The program folder of a row, made anew.
  QString programFolder(const QString& where) {
    QString path;
    if (where == kDriveRoot) {
      path = tmp(u"drive-r-%1"_s.arg(row_));
      if (!wine_.mapDrive(u'R', path)) return {};
    } else if (where == kPerUser) {
      path = wine_.localAppData() + u"/Varnokel"_s;
    } else {
      path = wine_.driveC() + u'/' + where;
    }
    return freshFolder(path) ? path : QString();
  }

  // The log lines of one part ("program", "curl", "check", "marker"), split in fields.
  QList<QStringList> logOf(const QString& part) const {
    QList<QStringList> out;
    for (const QString& line : QString::fromUtf8(fileContent(tmp(u"log.txt"_s))).split(u'\n', Qt::SkipEmptyParts))
      if (line.startsWith(part + u'\t')) out << line.split(u'\t');
    return out;
  }

  // Answers the program stand-in's --check-price-file with the real check.
  void serveCheck() {
    const QString request = tmp(u"bridge/request"_s);
    if (!QFileInfo::exists(request)) return;
    const QString copy = tmp(u"bridge/checked.mdb"_s);
    QFile::remove(copy);
    QFile::rename(request, copy);
    const bool ok = CheckPriceDatabaseFile(copy);
    writeFileContent(tmp(u"bridge/answer.tmp"_s), ok ? "0" : "1");
    QFile::rename(tmp(u"bridge/answer.tmp"_s), tmp(u"bridge/answer"_s));
  }

  // Waits for the program run with `code` (answering checks meanwhile).
  QStringList waitProgramRun(const QString& code) {
    for (QDeadlineTimer t(90000); !t.hasExpired(); QTest::qWait(50)) {
      serveCheck();
      for (const QStringList& run : logOf(u"program"_s))
        if (run.value(4) == code) return run;
    }
    return {};
  }

 private slots:
  void initTestCase() {
    QString error;
    QVERIFY2(wine_.create(&error), qPrintable(error));
    const QString exe = tmp(u"standin.exe"_s);
    QVERIFY2(BuildWindowsProgram(QStringLiteral(VARNOKEL_SOURCE_DIR "/tests/standin/windows_standin.c"), exe, &error),
             qPrintable(error));
    standin_ = fileContent(exe);
    newProgram_ = standin_ + "\nVARNOKEL-NEW-VERSION\n";
    QVERIFY(writeFileContent(wine_.system32() + u"/tasklist.exe"_s, standin_));
    for (QByteArray* bytes : {&oldPrice_, &newPrice_}) {
      const QString id = bytes == &oldPrice_ ? u"OLD-1"_s : u"NEW-1"_s;
      PriceDbBuilder(tmp(id)).addProduct(id, 1, u"4600000000001"_s, 5, 12.5, u"Эмаль "_s + id);
      *bytes = fileContent(tmp(id));
    }
    QVERIFY(!oldPrice_.isEmpty() && oldPrice_ != newPrice_ && QDir().mkpath(tmp(u"bridge"_s)));
  }

  void run_data() {
    QTest::addColumn<QString>("where");   // the program folder
    QTest::addColumn<QString>("flow");    // price | program (download, 30, replacement)
    QTest::addColumn<QString>("fault");   // what goes wrong; empty: nothing
    QTest::addColumn<QString>("code");    // the result code of the last run
    QTest::addColumn<QString>("reason");  // update.reason as the last run finds it
    const auto row = [](const char* name, const QString& where, const QString& flow, const QString& fault,
                        const QString& code, const QString& reason = {}) {
      QTest::newRow(name) << where << flow << fault << code << reason;
    };
    for (const QString& where : {kCyrillic, kSpecials, kOutsideCp1251, kPercentPath, kDriveRoot}) {
      QTest::addRow("price, %s", qPrintable(where)) << where << u"price"_s << QString() << u"40"_s << QString();
      QTest::addRow("self-update, %s", qPrintable(where)) << where << u"program"_s << QString() << u"50"_s << QString();
    }
    row("price, per-user folder", kPerUser, u"price"_s, {}, u"40"_s);
    row("price, the system's curl", kCyrillic, u"price"_s, u"system curl"_s, u"40"_s);
    row("price, hostile account and path", kSpecials, u"price"_s, u"hostile"_s, u"40"_s);
    row("half written, connection lost", kSpecials, u"price"_s, u"half 18"_s, u"41"_s, u"download 18"_s);
    row("half written, reported complete", kDriveRoot, u"price"_s, u"half 0"_s, u"41"_s, u"check 1"_s);
    row("empty file", kOutsideCp1251, u"price"_s, u"empty"_s, u"41"_s, u"check 1"_s);
    row("program truncated", kSpecials, u"program"_s, u"truncated"_s, u"31"_s, u"program"_s);
    row("old program still running", kOutsideCp1251, u"program"_s, u"running"_s, u"51"_s, u"running"_s);
  }

  void run() {
    QFETCH(QString, where);
    QFETCH(QString, flow);
    QFETCH(QString, fault);
    QFETCH(QString, code);
    QFETCH(QString, reason);
    ++row_;
    const QString folder = programFolder(where);
    QVERIFY(!folder.isEmpty());
    const bool perUser = where == kPerUser, systemCurl = fault == u"system curl"_s, price = flow == u"price"_s;
    const QString exeFolder = perUser ? wine_.driveC() + u"/Program Files/Varnokel"_s : folder;
    const QString server = tmp(u"server-%1"_s.arg(row_));
    const QString curl = (systemCurl ? wine_.system32() : exeFolder) + u"/curl.exe"_s;
    QVERIFY((!perUser || freshFolder(exeFolder)) && QDir().mkpath(server + u"/a&b %PATH% !x!"_s) &&
            QDir().mkpath(folder + u"/temp"_s));
    QFile::remove(tmp(u"log.txt"_s));

    // The program folder as the program leaves it, and the server's files.
    QVERIFY(writeFileContent(exeFolder + u"/Varnokel.exe"_s, standin_) &&
            writeFileContent(folder + u"/varnokel.mdb"_s, oldPrice_) && writeFileContent(curl, standin_) &&
            writeFileContent(folder + u"/marker.exe"_s, standin_));
    if (perUser) QVERIFY(QFile::setPermissions(exeFolder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QByteArray served = price ? newPrice_ : newProgram_;
    if (fault == u"empty"_s) served.clear();
    if (fault == u"truncated"_s) served = standin_.left(standin_.size() / 3);
    DistributionServer account;
    account.host = u"ftp.example.ru:2121"_s;
    if (fault == u"hostile"_s) {
      account.user = kHostileUser;
      account.password = kHostilePassword;
      account.pricePath = u"/a&b %PATH% !x!/varnokel.mdb"_s;
    }
    QVERIFY(writeFileContent(server + (price ? account.pricePath : u"/Varnokel.exe"_s), served));

    const BatchPlaces places{!perUser, !perUser && !systemCurl};
    const QByteArray batch = price ? PriceDownloadBatch(account, places) : ProgramDownloadBatch(account, places);
    const QByteArray replacement = ReplacementBatch(kPid, places, {60, 5});
    QVERIFY(!batch.isEmpty() && writeFileContent(folder + u"/update.bat"_s, batch) &&
            writeFileContent(folder + u"/standin-on30.bat"_s, replacement));
    for (const QByteArray& text : {batch, replacement})
      QVERIFY2(std::all_of(text.begin(), text.end(), [](char c) { return uchar(c) < 0x80; }), "a batch is not ASCII");

    // The stand-ins take the account the batch must pass on (curl exits 67 on
    // another), what the server holds, and the faults to act out.
    QProcessEnvironment env = wine_.environment();
    env.insert(u"STANDIN_LOG"_s, wine_.windowsPath(tmp(u"log.txt"_s)));
    env.insert(u"STANDIN_BRIDGE"_s, wine_.windowsPath(tmp(u"bridge"_s)));
    env.insert(u"STANDIN_SERVER"_s, wine_.windowsPath(server));
    env.insert(u"STANDIN_ACCOUNT"_s, account.user + u':' + account.password);
    if (fault.startsWith(u"half "_s)) {
      env.insert(u"STANDIN_CURL_BYTES"_s, QString::number(served.size() / 2));
      env.insert(u"STANDIN_CURL_EXIT"_s, fault.mid(5));
    }
    env.insert(u"STANDIN_LINGER_MS"_s, fault == u"running"_s ? u"15000"_s : u"1500"_s);
    if (!places.programInFolder || !places.curlInFolder) {  // as the program passes them
      env.insert(u"VARNOKEL_EXE"_s, wine_.windowsPath(exeFolder + u"/Varnokel.exe"_s));
      env.insert(u"VARNOKEL_CURL"_s, wine_.windowsPath(curl));
    }

    QVERIFY(wine_.runBatch(folder, u"update.bat"_s, env, 120000, [this] { serveCheck(); }));
    const QStringList last = waitProgramRun(code);
    const QString log = QString::fromUtf8(fileContent(tmp(u"log.txt"_s)));
    QVERIFY2(!last.isEmpty(), qPrintable(log));

    // The program ran from its own place, in the program folder, and found the
    // reason (or none); no value from the settings ever ran as a command.
    QCOMPARE(last.value(2).toLower(), wine_.windowsPath(folder).toLower());
    QCOMPARE(last.value(3).toLower(), wine_.windowsPath(exeFolder + u"/Varnokel.exe"_s).toLower());
    const QString found = last.value(5).trimmed();  // "program" stands for "program <any exit code>"
    QCOMPARE(reason.contains(u' ') ? found : found.section(u' ', 0, 0), reason);
    QVERIFY2(logOf(u"marker"_s).isEmpty(), qPrintable(log));

    // The files: the new one in place only after success, the old one intact otherwise.
    const bool ok = reason.isEmpty();
    if (price) {
      QCOMPARE(fileContent(folder + u"/varnokel.mdb"_s), ok ? newPrice_ : oldPrice_);
      QVERIFY(!QFileInfo::exists(folder + u"/varnokel.mdb.download"_s));
    } else {
      QCOMPARE(fileContent(exeFolder + u"/Varnokel.exe"_s), ok ? newProgram_ : standin_);
      QCOMPARE(fileContent(folder + u"/temp/Varnokel.exe"_s), fault == u"running"_s || ok ? newProgram_ : QByteArray());
      QVERIFY(!QFileInfo::exists(folder + u"/temp/Varnokel.download.exe"_s) &&
              !QFileInfo::exists(folder + u"/Varnokel.new.exe"_s));
    }
    if (systemCurl) QFile::remove(curl);
  }
};

QTEST_GUILESS_MAIN(TestWindowsScripts)
#include "test_windows_scripts.moc"
