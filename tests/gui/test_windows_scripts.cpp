// The Windows update batches run by wine's cmd as the program starts them, with stand-ins
// for curl.exe, the program and tasklist.exe logging the chain of restarts.
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
const QString kDriveRoot = u"R:"_s;
const QString kPerUser = u"per-user"_s;  // %LOCALAPPDATA%\Varnokel, the program in a read-only folder

bool freshFolder(const QString& path) {
  QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  return QDir(path).removeRecursively() && QDir().mkpath(path);
}

}  // namespace

class TestWindowsScripts : public QObject {
  Q_OBJECT

  WinePrefix wine_;
  QTemporaryDir tmp_;
  QByteArray standin_, newProgram_, oldPrice_, newPrice_;

  QString tmp(const QString& name) const { return tmp_.filePath(name); }

  QString programFolder(const QString& where) {
    QString path = wine_.driveC() + u'/' + where;
    if (where == kPerUser) path = wine_.localAppData() + u"/Varnokel"_s;
    if (where == kDriveRoot) path = tmp(u"drive-r"_s);
    return freshFolder(path) ? path : QString();
  }

  // Answers the program stand-in's --check-price-file with the real check.
  void serveCheck() {
    if (!QFile::exists(tmp(u"bridge/request"_s))) return;
    QFile::remove(tmp(u"bridge/checked.mdb"_s));
    QFile::rename(tmp(u"bridge/request"_s), tmp(u"bridge/checked.mdb"_s));
    writeFileContent(tmp(u"bridge/answer.tmp"_s), CheckPriceDatabaseFile(tmp(u"bridge/checked.mdb"_s)) ? "0" : "1");
    QFile::rename(tmp(u"bridge/answer.tmp"_s), tmp(u"bridge/answer"_s));
  }

  QStringList waitProgramRun(const QString& code) {
    for (QDeadlineTimer t(90000); !t.hasExpired(); QTest::qWait(50)) {
      serveCheck();
      for (const QString& line : QString::fromUtf8(fileContent(tmp(u"log.txt"_s))).split(u'\n'))
        if (line.startsWith(u"program\t"_s) && line.section(u'\t', 4, 4) == code) return line.split(u'\t');
    }
    return {};
  }

  QByteArray priceFile(const QString& id) {
    PriceDbBuilder(tmp(id)).addProduct(id, 1, u"4600000000001"_s, 5, 12.5, u"Эмаль "_s + id);
    return fileContent(tmp(id));
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
    oldPrice_ = priceFile(u"OLD-1"_s);
    newPrice_ = priceFile(u"NEW-1"_s);
    QVERIFY(writeFileContent(wine_.system32() + u"/tasklist.exe"_s, standin_) && QDir().mkpath(tmp(u"bridge"_s)));
    QVERIFY(QDir().mkpath(tmp(u"drive-r"_s)) && wine_.mapDrive(u'R', tmp(u"drive-r"_s)));
  }

  void run_data() {
    QTest::addColumn<QString>("where");   // the program folder
    QTest::addColumn<QString>("flow");    // price | program (download, 30, replacement)
    QTest::addColumn<QString>("fault");   // what goes wrong; empty: nothing
    QTest::addColumn<QString>("code");    // the result code of the last run
    QTest::addColumn<QString>("reason");  // update.reason as the last run finds it
    const auto row = [](const char* name, const QString& where, const char* flow, const char* fault, const char* code,
                        const char* reason) {
      QTest::addRow("%s, %s", name, qPrintable(where)) << where << QString::fromUtf8(flow) << QString::fromUtf8(fault)
                                                       << QString::fromUtf8(code) << QString::fromUtf8(reason);
    };
    for (const QString& where : {kCyrillic, kSpecials, kOutsideCp1251, u"x%PATH%y"_s, kDriveRoot}) {
      row("price", where, "price", "", "40", "");
      row("self-update", where, "program", "", "50", "");
    }
    row("price, per-user folder", kPerUser, "price", "", "40", "");
    row("price, the system's curl", kCyrillic, "price", "system curl", "40", "");
    row("half written, connection lost", kSpecials, "price", "half 18", "41", "download 18");
    row("half written, reported complete", kDriveRoot, "price", "half 0", "41", "check 1");
    row("empty file", kOutsideCp1251, "price", "empty", "41", "check 1");
    row("program truncated", kSpecials, "program", "truncated", "31", "program");
    row("old program running", kOutsideCp1251, "program", "running", "51", "running");
  }

  void run() {
    QFETCH(QString, where);
    QFETCH(QString, flow);
    QFETCH(QString, fault);
    QFETCH(QString, code);
    QFETCH(QString, reason);
    const QString folder = programFolder(where);
    const bool perUser = where == kPerUser, systemCurl = fault == u"system curl"_s, price = flow == u"price"_s;
    const QString exeFolder = perUser ? wine_.driveC() + u"/Program Files/Varnokel"_s : folder;
    const QString server = tmp(u"server"_s);
    const QString curl = (systemCurl ? wine_.system32() : exeFolder) + u"/curl.exe"_s;
    QVERIFY(!folder.isEmpty() && (!perUser || freshFolder(exeFolder)) && freshFolder(server) &&
            QDir().mkpath(server + u"/a&b %PATH% !x!"_s) && QDir().mkpath(folder + u"/temp"_s));
    QFile::remove(tmp(u"log.txt"_s));
    QVERIFY(writeFileContent(exeFolder + u"/Varnokel.exe"_s, standin_) &&
            writeFileContent(folder + u"/varnokel.mdb"_s, oldPrice_) && writeFileContent(curl, standin_) &&
            writeFileContent(folder + u"/marker.exe"_s, standin_));
    if (perUser) QVERIFY(QFile::setPermissions(exeFolder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QByteArray served = price ? newPrice_ : newProgram_;
    if (fault == u"empty"_s) served.clear();
    if (fault == u"truncated"_s) served = standin_.left(standin_.size() / 3);
    DistributionServer account;  // full of what the command interpreter would act on
    account.host = u"ftp.example.ru:2121"_s;
    account.user = u"u&marker.exe&rem ^|<>!%PATH%(x);,="_s;
    account.password = u"&marker.exe & echo %PATH% !x! ^ | < > ( ) ; , = \\"_s;
    account.pricePath = u"/a&b %PATH% !x!/varnokel.mdb"_s;
    QVERIFY(writeFileContent(server + (price ? account.pricePath : u"/Varnokel.exe"_s), served));
    const BatchPlaces places{!perUser, !perUser && !systemCurl};
    const QByteArray batch = price ? PriceDownloadBatch(account, places) : ProgramDownloadBatch(account, places);
    QVERIFY(!batch.isEmpty() && writeFileContent(folder + u"/update.bat"_s, batch) &&
            writeFileContent(folder + u"/standin-on30.bat"_s, ReplacementBatch(987654321, places, {60, 5})));

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
    QVERIFY2(!last.isEmpty() && !log.contains(u"marker\t"_s), qPrintable(log));  // no setting ran as a command

    // The program ran from its own place, in the program folder, and found the reason (or none).
    QCOMPARE(last.value(2).toLower(), wine_.windowsPath(folder).toLower());
    QCOMPARE(last.value(3).toLower(), wine_.windowsPath(exeFolder + u"/Varnokel.exe"_s).toLower());
    const QString found = last.value(5).trimmed();  // "program" stands for "program <any exit code>"
    QCOMPARE(reason.contains(u' ') ? found : found.section(u' ', 0, 0), reason);
    // The new file in place only after success, the old one intact otherwise.
    const bool ok = reason.isEmpty();
    if (price)
      QCOMPARE(fileContent(folder + u"/varnokel.mdb"_s), ok ? newPrice_ : oldPrice_);
    else
      QCOMPARE(fileContent(exeFolder + u"/Varnokel.exe"_s), ok ? newProgram_ : standin_);
    if (systemCurl) QFile::remove(curl);
  }
};

QTEST_GUILESS_MAIN(TestWindowsScripts)
#include "test_windows_scripts.moc"
