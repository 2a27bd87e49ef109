// Checks of the test and demo tooling itself: the price database generator, the
// hand-built price databases, the private MariaDB server with the shop's tables,
// and the FTP server the downloads are tested against.

#include "fixtures/ftp_server.h"
#include "fixtures/mariadb_server.h"
#include "fixtures/sample_data.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QList<QStringList> sqliteRows(const QString& file, const QString& sql)
{
    QList<QStringList> rows;
    const QString name = QStringLiteral("tooling_%1").arg(QString::number(quintptr(&rows)));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open())
            qFatal("cannot open %s", qPrintable(file));
        QSqlQuery q(db);
        if (!q.exec(sql))
            qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << (q.value(i).isNull() ? QStringLiteral("<NULL>") : q.value(i).toString());
            rows << row;
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

QString scalar(const QString& file, const QString& sql)
{
    const auto rows = sqliteRows(file, sql);
    return rows.isEmpty() || rows.first().isEmpty() ? QString() : rows.first().first();
}

QByteArray tableDigest(const QString& file, const QString& sql)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    for (const QStringList& row : sqliteRows(file, sql))
        h.addData(row.join(QChar(0x1f)).toUtf8() + '\n');
    return h.result().toHex();
}

int curl(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("curl"), QStringList{QStringLiteral("-s"), QStringLiteral("--max-time"),
                                                QStringLiteral("20")} + args);
    if (!p.waitForFinished(30000))
        return -1;
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

class TestTooling : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void generatorIsDeterministic();
    void generatorWritesEdgeRows();
    void builderWritesExactRows();
    void mariaDbStrictSchemaAndSeed();
    void ftpServesFilesToCurl();

private:
    QTemporaryDir m_tmp;
    QString m_db3000;
};

void TestTooling::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    m_db3000 = m_tmp.filePath(QStringLiteral("varnokel.mdb"));
    QString error;
    QVERIFY2(makePriceDb(m_db3000, 3000, 1, &error), qPrintable(error));
}

void TestTooling::generatorIsDeterministic()
{
    const QString a = m_tmp.filePath(QStringLiteral("a.mdb"));
    const QString b = m_tmp.filePath(QStringLiteral("b.mdb"));
    const QString c = m_tmp.filePath(QStringLiteral("c.mdb"));
    QString error;
    QVERIFY2(makePriceDb(a, 400, 7, &error), qPrintable(error));
    QVERIFY2(makePriceDb(b, 400, 7, &error), qPrintable(error));
    QVERIFY2(makePriceDb(c, 400, 8, &error), qPrintable(error));
    QVERIFY(!QFile::exists(a + QStringLiteral(".tmp")));

    const QString products = QStringLiteral("SELECT * FROM products ORDER BY rowid");
    const QString categories = QStringLiteral("SELECT * FROM categories ORDER BY rowid");
    const QString images = QStringLiteral("SELECT product_id, image_name, length(image_thumb) FROM images ORDER BY rowid");
    QCOMPARE(tableDigest(a, products), tableDigest(b, products));
    QCOMPARE(tableDigest(a, categories), tableDigest(b, categories));
    QCOMPARE(tableDigest(a, images), tableDigest(b, images));
    QVERIFY(tableDigest(a, products) != tableDigest(c, products));
    QCOMPARE(scalar(a, QStringLiteral("SELECT count(*) FROM products")), QStringLiteral("400"));

    // Regenerating over an existing file replaces it.
    QVERIFY2(makePriceDb(a, 50, 7, &error), qPrintable(error));
    QCOMPARE(scalar(a, QStringLiteral("SELECT count(*) FROM products")), QStringLiteral("50"));
}

void TestTooling::generatorWritesEdgeRows()
{
    const QString& f = m_db3000;
    QCOMPARE(scalar(f, QStringLiteral("SELECT count(*) FROM products")), QStringLiteral("3000"));
    QCOMPARE(scalar(f, QStringLiteral("SELECT count(DISTINCT product_id) FROM products")), QStringLiteral("3000"));
    QCOMPARE(scalar(f, QStringLiteral("SELECT count(*) FROM categories")), QStringLiteral("40"));
    QCOMPARE(scalar(f, QStringLiteral("SELECT count(*) FROM products WHERE parent_id NOT IN "
                                      "(SELECT category_id FROM categories)")),
             QStringLiteral("0"));
    QCOMPARE(scalar(f, QStringLiteral("SELECT count(*) FROM products WHERE order_count <> 0 OR order_summ <> 0")),
             QStringLiteral("0"));
    QCOMPARE(scalar(f, QStringLiteral("SELECT count(*) FROM products WHERE length(name_ruRU) NOT BETWEEN 20 AND 70")),
             QStringLiteral("0"));
    QCOMPARE(scalar(f, QStringLiteral("SELECT count(*) FROM products WHERE product_quantity NOT BETWEEN 0 AND 400")),
             QStringLiteral("0"));
    for (int q : {99, 100, 250})
        QVERIFY(scalar(f, QStringLiteral("SELECT count(*) FROM products WHERE product_quantity = %1").arg(q)) != "0");
    QVERIFY(scalar(f, QStringLiteral("SELECT count(*) FROM products WHERE product_price = 150")) != "0");
    QVERIFY(scalar(f, QStringLiteral("SELECT count(*) FROM products WHERE product_price = 12.5")) != "0");
    QVERIFY(scalar(f, QStringLiteral("SELECT count(*) FROM products WHERE product_price = 99.9")) != "0");
    QVERIFY(scalar(f, QStringLiteral("SELECT count(*) FROM products WHERE product_ean LIKE 'А-%'")) != "0");
    QVERIFY(scalar(f, QStringLiteral("SELECT count(*) FROM products WHERE product_ean GLOB '[0-9]*'")) != "0");

    // Names: upper-case copy, apostrophe, double quote, lower-case start, Ё/ё, Latin.
    const auto names = sqliteRows(f, QStringLiteral("SELECT name_ruRU, name_ruRU_big FROM products ORDER BY rowid"));
    bool apostrophe = false, quote = false, lower = false, yo = false, latin = false;
    QStringList inOrder;
    for (const QStringList& r : names) {
        QCOMPARE(r.at(1), r.at(0).toUpper());
        const QString& n = r.at(0);
        inOrder << n;
        apostrophe |= n.contains(QLatin1Char('\''));
        quote |= n.contains(QLatin1Char('"'));
        lower |= n.at(0).isLower();
        yo |= n.contains(QChar(0x0401)) || n.contains(QChar(0x0451));
        for (QChar ch : n)
            latin |= (ch >= QLatin1Char('A') && ch <= QLatin1Char('z') && ch.isLetter());
    }
    QVERIFY(apostrophe);
    QVERIFY(quote);
    QVERIFY(lower);
    QVERIFY(yo);
    QVERIFY(latin);
    QVERIFY(!names.isEmpty());
    QStringList sorted = inOrder;
    sorted.sort();
    QVERIFY(sorted != inOrder);
    QCOMPARE(scalar(f, QStringLiteral("SELECT count(*) FROM products WHERE name_ruRU = 'Печенье д''Артаньян сахарное 150 г'")),
             QStringLiteral("1"));

    // Pictures: ~90% of products, one empty blob, a shared file name, none in image_full.
    const int withImages = scalar(f, QStringLiteral("SELECT count(DISTINCT product_id) FROM images")).toInt();
    QVERIFY2(withImages > 2500 && withImages < 2900, qPrintable(QString::number(withImages)));
    QCOMPARE(scalar(f, QStringLiteral("SELECT count(*) FROM images WHERE image_thumb IS NOT NULL AND length(image_thumb) = 0 "
                                      "AND typeof(image_thumb) = 'blob'")),
             QStringLiteral("1"));
    QCOMPARE(scalar(f, QStringLiteral("SELECT count(*) FROM images WHERE image_thumb IS NULL")), QStringLiteral("0"));
    QCOMPARE(scalar(f, QStringLiteral("SELECT count(*) FROM images WHERE image_full IS NOT NULL")), QStringLiteral("0"));
    QCOMPARE(scalar(f, QStringLiteral("SELECT count(*) FROM (SELECT image_name FROM images GROUP BY image_name "
                                      "HAVING count(DISTINCT product_id) > 1)")),
             QStringLiteral("1"));
    QCOMPARE(scalar(f, QStringLiteral("SELECT count(DISTINCT image_thumb) FROM images WHERE image_name IN (SELECT image_name "
                                      "FROM images GROUP BY image_name HAVING count(*) > 1)")),
             QStringLiteral("2"));
    QCOMPARE(scalar(f, QStringLiteral("SELECT count(*) FROM images i JOIN products p ON p.product_id = i.product_id "
                                      "WHERE i.image_name <> p.product_ean || '.jpg'")),
             QStringLiteral("1"));

    // Every non-empty picture is a real 160x120 JPEG of a few kilobytes.
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("pictures"));
    db.setDatabaseName(f);
    QVERIFY(db.open());
    {
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("SELECT image_thumb FROM images WHERE length(image_thumb) > 0")));
        int count = 0;
        qint64 total = 0;
        while (q.next()) {
            const QByteArray bytes = q.value(0).toByteArray();
            total += bytes.size();
            QBuffer buf;
            buf.setData(bytes);
            QImageReader reader(&buf, "jpeg");
            QCOMPARE(reader.format(), QByteArray("jpeg"));
            const QImage img = reader.read();
            QVERIFY2(!img.isNull(), qPrintable(reader.errorString()));
            QCOMPARE(img.size(), QSize(160, 120));
            ++count;
        }
        QCOMPARE(count, withImages - 1);
        const qint64 average = total / count;
        QVERIFY2(average >= 2500 && average <= 7000, qPrintable(QString::number(average)));
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("pictures"));
}

void TestTooling::builderWritesExactRows()
{
    const QString f = m_tmp.filePath(QStringLiteral("built.mdb"));
    {
        PriceDbBuilder b(f);
        b.addCategory(5, QStringLiteral("Посуда"));
        b.addProduct(QStringLiteral("17"), 5, QStringLiteral("А-1"), 12, 99.9, QStringLiteral("Кружка ёмкая"));
        b.addProduct(QStringLiteral("18"), 5, QStringLiteral("А-2"), QVariant(), QStringLiteral("12,5"),
                     QStringLiteral("d'Артаньян"), 3, 37.5);
        b.addImage(QStringLiteral("17"), PriceDbBuilder::jpeg(40, 30, Qt::red), QStringLiteral("А-1.jpg"));
        b.addImage(QStringLiteral("18"), QByteArray(""), QStringLiteral("А-2.jpg"));
        b.addImage(QStringLiteral("18"), QByteArray(), QStringLiteral("А-2b.jpg"));
        b.addImage(QStringLiteral("18"), PriceDbBuilder::png(8, 8, Qt::blue), QStringLiteral("А-2.png"));
        const auto rows = b.query(QStringLiteral("SELECT name_ruRU_big, product_quantity, typeof(product_price), "
                                                 "order_count FROM products ORDER BY rowid"));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0), (QStringList{QStringLiteral("КРУЖКА ЁМКАЯ"), QStringLiteral("12"), QStringLiteral("real"),
                                          QStringLiteral("0")}));
        QCOMPARE(rows.at(1), (QStringList{QStringLiteral("D'АРТАНЬЯН"), QString(), QStringLiteral("text"),
                                          QStringLiteral("3")}));
    }
    const auto imgs = sqliteRows(f, QStringLiteral("SELECT image_name, typeof(image_thumb), length(image_thumb) "
                                                   "FROM images ORDER BY image_id"));
    QCOMPARE(imgs.size(), 4);
    QCOMPARE(imgs.at(1), (QStringList{QStringLiteral("А-2.jpg"), QStringLiteral("blob"), QStringLiteral("0")}));
    QCOMPARE(imgs.at(2).at(1), QStringLiteral("null"));
    QVERIFY(!QImage::fromData(PriceDbBuilder::jpeg(40, 30, Qt::red), "JPG").isNull());
    QVERIFY(!QImage::fromData(PriceDbBuilder::png(8, 8, Qt::blue), "PNG").isNull());
}

void TestTooling::mariaDbStrictSchemaAndSeed()
{
    QElapsedTimer timer;
    timer.start();
    MariaDbServer server;
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    qInfo("MariaDB ready with schema and seed in %lld ms on port %d", timer.elapsed(), server.port());
    QVERIFY(server.pid() > 0);
    QVERIFY(server.port() > 0);

    // The server keeps its default strict mode: a partial insert fails...
    const auto mode = server.query(QStringLiteral("SELECT @@SESSION.sql_mode"));
    QVERIFY(!mode.isEmpty());
    QVERIFY2(mode.first().first().contains(QLatin1String("STRICT_TRANS_TABLES")), qPrintable(mode.first().first()));
    const QString partial = QStringLiteral("INSERT INTO uop5b_jshopping_orders (user_id) VALUES (57)");
    QVERIFY(!server.exec(partial, &error));
    QVERIFY2(error.contains(QLatin1String("doesn't have a default value")), qPrintable(error));
    // ...and succeeds once the session is relaxed as the shop software does it.
    QVERIFY(server.exec(QStringLiteral("SET SESSION sql_mode='NO_ENGINE_SUBSTITUTION'"), &error));
    QVERIFY2(server.exec(partial, &error), qPrintable(error));
    QCOMPARE(server.query(QStringLiteral("SELECT order_number, CAST(order_date AS CHAR) FROM uop5b_jshopping_orders "
                                         "WHERE order_id = LAST_INSERT_ID()")),
             (QList<QStringList>{{QString(), QStringLiteral("0000-00-00 00:00:00")}}));

    // Demo data, Cyrillic intact.
    QCOMPARE(server.query(QStringLiteral("SELECT user_id, f_name FROM uop5b_jshopping_users "
                                         "WHERE user_id IN (3, 57, 58) ORDER BY user_id")),
             (QList<QStringList>{{QStringLiteral("3"), QStringLiteral("ООО \"Вектор\"")},
                                 {QStringLiteral("57"), QStringLiteral("ООО Ромашка")},
                                 {QStringLiteral("58"), QStringLiteral("ИП Петров")}}));
    QCOMPARE(server.query(QStringLiteral("SELECT product_name, product_quantity, product_item_price FROM "
                                         "uop5b_jshopping_order_item WHERE order_id = 1001 ORDER BY order_item_id"))
                 .value(1),
             (QStringList{QStringLiteral("Печенье д'Артаньян сахарное 150 г"), QStringLiteral("20.00"),
                          QStringLiteral("45.0000")}));
    QCOMPARE(server.query(QStringLiteral("SELECT count(*) FROM uop5b_jshopping_orders o WHERE order_id < 1100 AND user_id IN (57, 58) AND "
                                         "NOT EXISTS (SELECT 1 FROM uop5b_jshopping_order_item i WHERE i.order_id = o.order_id)"))
                 .value(0).value(0),
             QStringLiteral("1"));
    QCOMPARE(server.query(QStringLiteral("SELECT count(*) FROM uop5b_jshopping_orders o WHERE order_id < 1100 AND user_id IN (57, 58) AND "
                                         "NOT EXISTS (SELECT 1 FROM uop5b_jshopping_order_history h WHERE h.order_id = o.order_id)"))
                 .value(0).value(0),
             QStringLiteral("1"));
    QCOMPARE(server.query(QStringLiteral("SELECT min(order_status) < 7, max(order_status) > 7 FROM uop5b_jshopping_orders"))
                 .value(0),
             (QStringList{QStringLiteral("1"), QStringLiteral("1")}));
    QCOMPARE(server.query(QStringLiteral("SELECT DATE_FORMAT(status_date_added, '%Y-%m-%d %H:%i:%s') FROM "
                                         "uop5b_jshopping_order_history WHERE order_id = 1001 ORDER BY status_date_added"))
                 .size(),
             3);

    // The program's account reaches the database over TCP, with utf8mb4 names.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMARIADB"), QStringLiteral("shop_user"));
        db.setHostName(server.host());
        db.setPort(server.port());
        db.setDatabaseName(server.database());
        db.setUserName(server.user());
        db.setPassword(server.password());
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("SET NAMES utf8mb4")));
        QVERIFY(q.exec(QStringLiteral("SELECT f_name FROM uop5b_jshopping_users WHERE user_id = 58")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("ИП Петров"));
        QSqlQuery bad(db);
        QVERIFY(!bad.exec(QStringLiteral("INSERT INTO uop5b_jshopping_order_history (order_id) VALUES (1)")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("shop_user"));

    // Reloading restores the demo content.
    QVERIFY(server.exec(QStringLiteral("DELETE FROM uop5b_jshopping_order_item")));
    QVERIFY2(server.reloadSchema(&error), qPrintable(error));
    QCOMPARE(server.query(QStringLiteral("SELECT count(*) FROM uop5b_jshopping_order_item")).value(0).value(0),
             QStringLiteral("11"));
    QCOMPARE(server.query(QStringLiteral("SELECT count(*) FROM uop5b_jshopping_orders")).value(0).value(0),
             QStringLiteral("6"));

    // A killed server is gone at once: connections fail.
    const qint64 pid = server.pid();
    server.kill();
    QVERIFY(!server.isRunning());
#ifdef Q_OS_LINUX
    QVERIFY(!QFile::exists(QStringLiteral("/proc/%1").arg(pid)));
#endif
    QVERIFY(!server.exec(QStringLiteral("SELECT 1")));
    server.stop();
}

void TestTooling::ftpServesFilesToCurl()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QVERIFY(QFile::copy(m_db3000, home.filePath(QStringLiteral("varnokel.mdb"))));
    FtpServer ftp;
    QString error;
    QVERIFY2(ftp.start(home.path(), &error), qPrintable(error));
    QVERIFY(ftp.port() > 0);
    QCOMPARE(ftp.hostWithPort(), QStringLiteral("127.0.0.1:%1").arg(ftp.port()));

    const QString url = QStringLiteral("ftp://%1/varnokel.mdb").arg(ftp.hostWithPort());
    const QString out = m_tmp.filePath(QStringLiteral("downloaded.mdb"));
    QCOMPARE(curl({QStringLiteral("--user"), QStringLiteral("zorvik_price:4817Stock!"), QStringLiteral("-o"), out, url}), 0);
    QFile a(m_db3000), b(out);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QVERIFY(a.readAll() == b.readAll());

    QCOMPARE(curl({QStringLiteral("--user"), QStringLiteral("zorvik_price:wrong"), QStringLiteral("-o"),
                   m_tmp.filePath(QStringLiteral("x")), url}),
             67);
    QVERIFY(curl({QStringLiteral("--user"), QStringLiteral("zorvik_price:4817Stock!"), QStringLiteral("-o"),
                  m_tmp.filePath(QStringLiteral("y")),
                  QStringLiteral("ftp://%1/missing.mdb").arg(ftp.hostWithPort())})
            != 0);

    const QString closed = QStringLiteral("ftp://%1/varnokel.mdb").arg(ftp.hostWithPort());
    ftp.stop();
    QVERIFY(!ftp.isRunning());
    QVERIFY(curl({QStringLiteral("--user"), QStringLiteral("zorvik_price:4817Stock!"), QStringLiteral("-o"),
                  m_tmp.filePath(QStringLiteral("z")), closed})
            != 0);
}

QTEST_MAIN(TestTooling)
#include "test_tooling.moc"
