// The price publisher run as the shop's administrator runs it: against a real
// MariaDB holding the shop's catalogue tables, the picture folder, and the real
// FTP server with real curl; what it publishes is downloaded with the client's
// own download script and read with the client's own statements and check.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include "data/PriceFileCheck.h"
#include "fixtures/ftp_server.h"
#include "fixtures/mariadb_server.h"
#include "fixtures/ports.h"
#include "support/PriceStatements.h"
#include "update/UpdateScripts.h"

namespace {

// Quotes, Cyrillic and ё; a product in two categories; unpublished products and
// categories; a variant without a category; products without pictures; a
// picture whose file is missing.
const char* const kCatalogue = R"SQL(
SET SESSION sql_mode = 'NO_ENGINE_SUBSTITUTION';
INSERT INTO uop5b_jshopping_categories (category_id, category_publish, ordering, `name_ru-RU`) VALUES
  (1, 1, 2, 'Чай и кофе'), (2, 1, 1, 'Бытовая химия «Люкс» д''Артаньян'), (3, 0, 3, 'Архив');
INSERT INTO uop5b_jshopping_products
  (product_id, parent_id, product_ean, product_quantity, product_price, product_publish, image, `name_ru-RU`) VALUES
  (101, 0, 'А-101', 12.00, 150.500000, 1, 'tea.jpg', 'Чай чёрный «Ахмад» 100 г'),
  (102, 0, '4601234567890', 2.50, 0.990000, 1, 'candy.jpg', 'Конфеты "Мишка на Севере" д''Артаньян'),
  (103, 0, 'Ё-103', 0.00, 45.000000, 1, '', 'ёлочная игрушка шар'),
  (104, 0, 'А-104', 5.00, 10.000000, 0, 'off.jpg', 'Снятый с продажи товар'),
  (105, 0, 'А-105', 5.00, 10.000000, 1, '', 'Товар только в архиве'),
  (106, 0, 'А-106', 7.00, 99.000000, 1, 'lost.jpg', 'Мыло без файла картинки'),
  (107, 101, 'А-107', 1.00, 150.500000, 1, '', 'Вариант чая без категории');
INSERT INTO uop5b_jshopping_products_to_categories VALUES
  (101, 1, 1), (102, 2, 5), (102, 1, 2), (103, 3, 1), (103, 2, 3), (104, 1, 3), (105, 3, 2), (106, 2, 4);
INSERT INTO uop5b_jshopping_products_images (image_id, product_id, image_name, ordering) VALUES
  (11, 101, 'tea2.jpg', 1), (12, 101, 'tea.jpg', 2), (13, 102, 'candy.jpg', 1), (14, 104, 'off.jpg', 1),
  (15, 106, 'lost.jpg', 1);
CREATE TABLE empty_categories LIKE uop5b_jshopping_categories;
CREATE TABLE empty_products LIKE uop5b_jshopping_products;
CREATE TABLE empty_products_to_categories LIKE uop5b_jshopping_products_to_categories;
CREATE TABLE empty_products_images LIKE uop5b_jshopping_products_images;
)SQL";

QByteArray pictureBytes(const QString& name) {
  return QByteArray("\xFF\xD8\xFF\xE0\x00", 5) + name.toUtf8() + QByteArray("\x00\xFF\xD9", 3);
}

QString digest(const QByteArray& bytes) {
  return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QByteArray fileBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Rows of a statement on an SQLite file; pictures read as their digest.
QList<QStringList> sqliteRows(const QString& path, const QString& sql) {
  QList<QStringList> rows;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("read"));
    db.setDatabaseName(path);
    db.open();
    QSqlQuery q(db);
    q.exec(sql);
    while (q.next()) {
      QStringList row;
      for (int i = 0; i < q.record().count(); ++i) {
        const QVariant v = q.value(i);
        row << (v.isNull()                            ? QStringLiteral("NULL")
                : v.typeId() == QMetaType::QByteArray ? digest(v.toByteArray())
                                                      : v.toString());
      }
      rows << row;
    }
  }
  QSqlDatabase::removeDatabase(QStringLiteral("read"));
  return rows;
}

QString hex(const QString& name) { return digest(pictureBytes(name)); }
// A full-size picture big enough for an upload to take a few seconds at a limited rate.
const QByteArray kFullPicture = QByteArray(1 << 20, 'F');

struct Run {
  int code = -1;
  QString out, err;
};

}  // namespace

class TestPublisher : public QObject {
  Q_OBJECT

  MariaDbServer m_shop;
  FtpServer m_ftp;
  QTemporaryDir m_dir;
  QByteArray m_serverFile;  // what the server holds before each failure

  QString path(const QString& name) const { return m_dir.filePath(name); }
  QString serverFile() const { return path(QStringLiteral("ftp/varnokel.mdb")); }

  // The publisher with a settings file for the servers of this test, then args.
  Run publish(const QStringList& args, const std::function<void(QProcess&)>& during = {}) {
    const QString settings =
        QStringLiteral(
            "# servers of the test\nshop-host=127.0.0.1\nshop-port=%1\nshop-password=%2\n"
            "pictures=%3\nftp-host=%4\nftp-password=%5\n")
            .arg(m_shop.port())
            .arg(m_shop.password(), path(QStringLiteral("pictures")), m_ftp.hostWithPort(), m_ftp.password());
    writeFile(path(QStringLiteral("publish.conf")), settings.toUtf8());
    QProcess p;
    p.start(QStringLiteral(PUBLISHER_EXE),
            QStringList{QStringLiteral("--config"), path(QStringLiteral("publish.conf"))} + args);
    p.waitForStarted();
    if (during) during(p);
    p.waitForFinished(180000);
    Run r{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
    for (const QString& secret : {m_shop.password(), m_ftp.password(), QStringLiteral("неверный-пароль")})
      if ((r.out + r.err).contains(secret)) r.err += QStringLiteral("\nPASSWORD PRINTED");
    return r;
  }

  // "Получить прайс-лист" as the client runs it: its own download script, with
  // echo standing in for the program it starts again with the result code.
  QString clientDownload(const QString& folder) {
    DistributionServer server;
    server.host = m_ftp.hostWithPort();
    server.password = m_ftp.password();
    QDir().mkpath(folder);
    writeFile(folder + QStringLiteral("/update.sh"),
              PriceDownloadShellScript(folder, server, {QStringLiteral("/bin/echo"), QString()}));
    QProcess sh;
    sh.start(QStringLiteral("/bin/sh"), {folder + QStringLiteral("/update.sh")});
    sh.waitForFinished(60000);
    return QString::fromUtf8(sh.readAllStandardOutput()).trimmed().section(QLatin1Char('\n'), -1);
  }

 private slots:
  void initTestCase() {
    QString error;
    QVERIFY2(m_shop.start(&error), qPrintable(error));
    QVERIFY2(m_shop.runSqlFile(QStringLiteral(VARNOKEL_SOURCE_DIR "/tools/shop_catalogue_schema.sql"), &error),
             qPrintable(error));
    QVERIFY2(m_shop.runSqlText(QString::fromUtf8(kCatalogue), &error), qPrintable(error));
    QVERIFY(QDir().mkpath(path(QStringLiteral("pictures"))) && QDir().mkpath(path(QStringLiteral("ftp"))));
    for (const char* name : {"tea.jpg", "tea2.jpg", "candy.jpg", "off.jpg"})
      QVERIFY(writeFile(path(QStringLiteral("pictures/thumb_%1").arg(QLatin1String(name))),
                        pictureBytes(QLatin1String(name))));
    QVERIFY(writeFile(path(QStringLiteral("pictures/full_tea.jpg")), kFullPicture));
    QVERIFY(writeFile(serverFile(), "the price list clients download today"));
    QVERIFY2(m_ftp.start(path(QStringLiteral("ftp")), &error), qPrintable(error));
  }

  void init() {
    QString error;
    if (!m_ftp.isRunning()) QVERIFY2(m_ftp.start(path(QStringLiteral("ftp")), &error), qPrintable(error));
    m_serverFile = fileBytes(serverFile());
  }

  void publishesWhatTheClientReads() {
    QVERIFY(writeFile(path(QStringLiteral("Varnokel.exe")), "MZ a new program"));
    const Run r = publish({QStringLiteral("--program"), path(QStringLiteral("Varnokel.exe"))});
    QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
    QVERIFY2(r.err.contains(QStringLiteral("thumb_lost.jpg")) && !r.err.contains(QStringLiteral("PASSWORD")),
             qPrintable(r.err));
    // Only the two files in place on the server, nothing half-named beside them.
    QCOMPARE(QDir(path(QStringLiteral("ftp"))).entryList(QDir::Files),
             QStringList({QStringLiteral("Varnokel.exe"), QStringLiteral("varnokel.mdb")}));
    QCOMPARE(fileBytes(path(QStringLiteral("ftp/Varnokel.exe"))), QByteArray("MZ a new program"));

    QCOMPARE(clientDownload(path(QStringLiteral("client"))), QStringLiteral("40"));
    const QString got = path(QStringLiteral("client/varnokel.mdb"));
    QString reason;
    QVERIFY2(CheckPriceDatabaseFile(got, &reason), qPrintable(reason));
    QCOMPARE(sqliteRows(got, QStringLiteral("select category_id,name_ruRU from categories order by name_ruRU")),
             QList<QStringList>({{"2", "Бытовая химия «Люкс» д'Артаньян"}, {"1", "Чай и кофе"}}));
    // The client's whole price list with thumbnails: id, article, name, stock,
    // thumbnail, price, order quantity and sum, picture name.
    QCOMPARE(sqliteRows(got, stmt::list(true, true)),
             QList<QStringList>({
                 {"102", "4601234567890", "Конфеты \"Мишка на Севере\" д'Артаньян", "2.5", hex("candy.jpg"), "0.99",
                  "0", "0", "candy.jpg"},
                 {"106", "А-106", "Мыло без файла картинки", "7", "NULL", "99", "0", "0", "NULL"},
                 {"101", "А-101", "Чай чёрный «Ахмад» 100 г", "12", hex("tea.jpg"), "150.5", "0", "0", "tea.jpg"},
                 {"101", "А-101", "Чай чёрный «Ахмад» 100 г", "12", hex("tea2.jpg"), "150.5", "0", "0", "tea2.jpg"},
                 {"103", "Ё-103", "ёлочная игрушка шар", "0", "NULL", "45", "0", "0", "NULL"},
             }));
    // Each product under its first published category by product_ordering; names for the search in capitals.
    QCOMPARE(sqliteRows(got, QStringLiteral("select product_id, parent_id, name_ruRU_big from products order by 1")),
             QList<QStringList>({{"101", "1", "ЧАЙ ЧЁРНЫЙ «АХМАД» 100 Г"},
                                 {"102", "1", "КОНФЕТЫ \"МИШКА НА СЕВЕРЕ\" Д'АРТАНЬЯН"},
                                 {"103", "2", "ЁЛОЧНАЯ ИГРУШКА ШАР"},
                                 {"106", "2", "МЫЛО БЕЗ ФАЙЛА КАРТИНКИ"}}));
    QCOMPARE(sqliteRows(got, QStringLiteral("select image_id, image_full from images order by 1")),
             QList<QStringList>({{"1", "NULL"}, {"2", "NULL"}, {"3", "NULL"}}));
  }

  void failuresLeaveTheServerFile_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("stopServerMidUpload");
    const QString unusedPort = QString::number(freeLoopbackPort());
    QTest::newRow("bad option value") << QStringList{"--shop-port", "x"} << 1 << false;
    QTest::newRow("not a program") << QStringList{"--program", path("publish.conf")} << 1 << false;
    QTest::newRow("shop unreachable") << QStringList{"--shop-port", unusedPort} << 2 << false;
    QTest::newRow("shop unreachable, --output over a file")
        << QStringList{"--shop-port", unusedPort, "--output", path("kept.mdb")} << 2 << false;
    QTest::newRow("empty catalogue") << QStringList{"--table-prefix", "empty_"} << 2 << false;
    QTest::newRow("picture folder missing") << QStringList{"--pictures", path("nowhere")} << 3 << false;
    QTest::newRow("ftp refuses the password") << QStringList{"--ftp-password", "неверный-пароль"} << 5 << false;
    QTest::newRow("ftp server stops mid-upload") << QStringList{"--full-pictures", "--limit-rate", "200k"} << 5 << true;
  }

  void failuresLeaveTheServerFile() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(bool, stopServerMidUpload);
    QVERIFY(writeFile(path(QStringLiteral("kept.mdb")), "a price list that works"));
    const Run r = publish(args, [&](QProcess& p) {
      if (!stopServerMidUpload) return;
      // Once part of the file has arrived under its temporary name, the server goes away.
      QDeadlineTimer deadline(60000);
      while (!deadline.hasExpired() && p.state() == QProcess::Running) {
        const auto parts = QDir(path(QStringLiteral("ftp"))).entryInfoList({QStringLiteral("*.part")}, QDir::Files);
        if (!parts.isEmpty() && parts.first().size() > 0) break;
        p.waitForFinished(50);
      }
      m_ftp.stop();
    });
    QVERIFY2(r.code == code, qPrintable(QStringLiteral("exit %1\n%2%3").arg(r.code).arg(r.out, r.err)));
    QVERIFY2(r.err.contains(QStringLiteral("Ошибка: ")) && !r.err.contains(QStringLiteral("PASSWORD")),
             qPrintable(r.err));
    QCOMPARE(fileBytes(serverFile()), m_serverFile);
    QCOMPARE(fileBytes(path(QStringLiteral("kept.mdb"))), QByteArray("a price list that works"));
    // A server that went away keeps what it received under the temporary name.
    const QStringList parts = QDir(path(QStringLiteral("ftp"))).entryList({QStringLiteral("*.part")}, QDir::Files);
    QCOMPARE(parts.size(), stopServerMidUpload ? 1 : 0);
    for (const QString& part : parts) QFile::remove(path(QStringLiteral("ftp/") + part));
  }

  void localRuns_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("printed");
    QTest::addColumn<QString>("written");
    QTest::newRow("--output") << QStringList{"--output", path("out.mdb")} << "товаров 4" << path("out.mdb");
    QTest::newRow("--output --full-pictures")
        << QStringList{"--output", path("full.mdb"), "--full-pictures"} << "картинок 3" << path("full.mdb");
    QTest::newRow("--dry-run") << QStringList{"--dry-run", "--output", path("dry.mdb")} << "без файла 1" << QString();
    QTest::newRow("--help") << QStringList{"--help"} << "Коды завершения" << QString();
    QTest::newRow("--version") << QStringList{"--version"} << "varnokel-publish " VARNOKEL_VERSION << QString();
  }

  // Runs that leave the server alone.
  void localRuns() {
    QFETCH(QStringList, args);
    QFETCH(QString, printed);
    QFETCH(QString, written);
    const Run r = publish(args);
    QVERIFY2(r.code == 0 && r.out.contains(printed), qPrintable(r.out + r.err));
    QCOMPARE(fileBytes(serverFile()), m_serverFile);
    QCOMPARE(QFileInfo::exists(path(QStringLiteral("dry.mdb"))), false);
    QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral(".*.mdb.*")}, QDir::Files | QDir::Hidden), QStringList());
    if (written.isEmpty()) return;
    QString reason;
    QVERIFY2(CheckPriceDatabaseFile(written, &reason), qPrintable(reason));
    const bool full = args.contains(QStringLiteral("--full-pictures"));
    QCOMPARE(sqliteRows(written, QStringLiteral("select image_name, image_full from images order by image_id")),
             QList<QStringList>({{"tea.jpg", full ? digest(kFullPicture) : QStringLiteral("NULL")},
                                 {"tea2.jpg", "NULL"},
                                 {"candy.jpg", "NULL"}}));
  }
};

QTEST_GUILESS_MAIN(TestPublisher)
#include "test_publisher.moc"
