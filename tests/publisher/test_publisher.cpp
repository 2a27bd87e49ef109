// The price publisher against a real MariaDB catalogue, a picture folder and the FTP server;
// what it publishes is downloaded and read by the client's own script, statements and check.
#include <QtTest>

#include "base/IniFile.h"
#include "base/Settings.h"
#include "data/PriceFileCheck.h"
#include "fixtures/ftp_server.h"
#include "fixtures/mariadb_server.h"
#include "fixtures/ports.h"
#include "fixtures/program_env.h"
#include "support/DrivenProgram.h"
#include "support/PriceStatements.h"

using namespace driver;
using namespace Qt::StringLiterals;

namespace {

// Quotes, Cyrillic, ё; a product in two categories; unpublished products and categories;
// a variant without a category; products without pictures; a picture file missing.
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

// A thumbnail as the shop stores it; read back as text it still shows its name.
QByteArray pictureBytes(const QString& name) { return "\xFF\xD8\xFF\xE0" + name.toUtf8() + "\xFF\xD9"; }
QString picture(const char* name) { return QString::fromUtf8(pictureBytes(QLatin1String(name))); }

}  // namespace

class TestPublisher : public QObject {
  Q_OBJECT

  MariaDbServer m_shop;
  FtpServer m_ftp;
  QTemporaryDir m_dir;

  QString path(const QString& name) const { return m_dir.filePath(name); }
  QString serverFile() const { return path(u"ftp/varnokel.mdb"_s); }

  ProgramRun publish(const QStringList& args, const std::function<void(QProcess&)>& during = {}) {
    const QString settings =
        QStringLiteral(
            "# servers of the test\nshop-host=127.0.0.1\nshop-port=%1\nshop-database=%2\nshop-user=%3\n"
            "shop-password=%4\npictures=%5\nftp-host=%6\nftp-user=%7\nftp-password=%8\n")
            .arg(m_shop.port())
            .arg(m_shop.database(), m_shop.user(), m_shop.password(), path(u"pictures"_s), m_ftp.hostWithPort(),
                 m_ftp.user(), m_ftp.password());
    writeFileContent(path(u"publish.conf"_s), settings.toUtf8());
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(PUBLISHER_EXE), QStringList{u"--config"_s, path(u"publish.conf"_s)} + args);
    p.waitForStarted();
    if (during) during(p);
    p.waitForFinished(180000);
    ProgramRun r{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                 QString::fromUtf8(p.readAll()),
                 {}};  // out: both channels
    for (const QString& secret : {m_shop.password(), m_ftp.password(), u"неверный-пароль"_s})
      if (r.out.contains(secret)) r.out += u"\nPASSWORD PRINTED"_s;
    return r;
  }

 private slots:
  void initTestCase() {
    QString error;
    QVERIFY2(m_shop.start(&error), qPrintable(error));
    QVERIFY2(m_shop.runSqlFile(QStringLiteral(VARNOKEL_SOURCE_DIR "/tools/shop_catalogue_schema.sql"), &error),
             qPrintable(error));
    QVERIFY2(m_shop.runSqlText(QString::fromUtf8(kCatalogue), &error), qPrintable(error));
    QVERIFY(QDir().mkpath(path(u"pictures"_s)) && QDir().mkpath(path(u"ftp"_s)));
    for (const QString& name : {u"tea.jpg"_s, u"tea2.jpg"_s, u"candy.jpg"_s, u"off.jpg"_s})
      QVERIFY(writeFileContent(path(u"pictures/thumb_"_s + name), pictureBytes(name)));
    QVERIFY(writeFileContent(path(u"pictures/full_tea.jpg"_s), QByteArray(1 << 20, 'F')));  // takes a while to upload
    QVERIFY(writeFileContent(serverFile(), "the price list clients download today"));
    QVERIFY2(m_ftp.start(path(u"ftp"_s), &error), qPrintable(error));
  }

  // The whole road: the client's "Получить прайс-лист" takes exactly what was published;
  // the order sent lands in the shop database the catalogue came from.
  void wholeRoad() {
    QVERIFY(writeFileContent(path(u"Varnokel.exe"_s), "MZ a new program"));
    const ProgramRun r = publish({u"--program"_s, path(u"Varnokel.exe"_s)});
    QVERIFY2(r.code == 0 && r.out.contains(u"thumb_lost.jpg"_s) && !r.out.contains(u"PASSWORD"_s), qPrintable(r.out));
    // Only the two files in place on the server, nothing half-named beside them.
    QCOMPARE(QDir(path(u"ftp"_s)).entryList(QDir::Files), QStringList({u"Varnokel.exe"_s, u"varnokel.mdb"_s}));
    QCOMPARE(fileContent(path(u"ftp/Varnokel.exe"_s)), QByteArray("MZ a new program"));

    TestProgramFolder folder;  // a first start: no price list yet
    folder.useShop(m_shop);
    folder.signIn(u"57"_s, u"ООО Ромашка"_s);
    for (const auto& [key, value] :
         {std::pair{"ftp_host", m_ftp.hostWithPort()}, {"ftp_user", m_ftp.user()}, {"ftp_password", m_ftp.password()}})
      QVERIFY(WriteSetting(settings::path(), u"connection"_s, QLatin1String(key), value));
    // The restarted program inherits the input and output of the first, which a
    // shell in between keeps open: the same remote control reaches both.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"VARNOKEL_HOME"_s, folder.path());
    DrivenProgram program;
    QString error;
    QVERIFY2(program.start(u"/bin/sh"_s, {u"-c"_s, u"\"$0\"; exec sleep 600"_s, QStringLiteral(VARNOKEL_E2E_EXE)}, env,
                           &error),
             qPrintable(error));
    DO(program, settle(u"frm_main"_s));
    ACT(program, menu(u"getprice"_s));
    STEP(program, windows(), [](const QJsonObject& w) { return text(box(w)).contains(u"Продолжить?"_s); });
    ACT(program, answer(u"Да"_s));
    // The restarted program's ready line puts each answer one command late: every
    // step waits until what it reads holds.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(folder.priceDb()), 60000);
    QString ok;
    STEP(program, windows(),
         [&](const QJsonObject& w) { return (ok = firstButton(w), text(box(w)) == u"Прайс-лист обновлен"_s); });
    ACT(program, answer(ok));

    // What arrived is what was published, as the client's own statements read it.
    const QString got = folder.priceDb();
    QCOMPARE(queryPriceDb(got, u"select category_id,name_ruRU from categories order by name_ruRU"_s),
             QList<QStringList>({{"2", "Бытовая химия «Люкс» д'Артаньян"}, {"1", "Чай и кофе"}}));
    QCOMPARE(
        queryPriceDb(got, stmt::list(true, true)),
        QList<QStringList>({
            {"102", "4601234567890", "Конфеты \"Мишка на Севере\" д'Артаньян", "2.5", picture("candy.jpg"), "0.99", "0",
             "0.0", "candy.jpg"},
            {"106", "А-106", "Мыло без файла картинки", "7", "", "99.0", "0", "0.0", ""},
            {"101", "А-101", "Чай чёрный «Ахмад» 100 г", "12", picture("tea.jpg"), "150.5", "0", "0.0", "tea.jpg"},
            {"101", "А-101", "Чай чёрный «Ахмад» 100 г", "12", picture("tea2.jpg"), "150.5", "0", "0.0", "tea2.jpg"},
            {"103", "Ё-103", "ёлочная игрушка шар", "0", "", "45.0", "0", "0.0", ""},
        }));
    // Each product under its first published category by product_ordering; names for the search in capitals.
    QCOMPARE(queryPriceDb(got, u"select product_id, parent_id, name_ruRU_big from products order by 1"_s),
             QList<QStringList>({{"101", "1", "ЧАЙ ЧЁРНЫЙ «АХМАД» 100 Г"},
                                 {"102", "1", "КОНФЕТЫ \"МИШКА НА СЕВЕРЕ\" Д'АРТАНЬЯН"},
                                 {"103", "2", "ЁЛОЧНАЯ ИГРУШКА ШАР"},
                                 {"106", "2", "МЫЛО БЕЗ ФАЙЛА КАРТИНКИ"}}));

    const QMap<QString, QString> typed{{"102", "3"}, {"106", "2"}};
    for (auto it = typed.cbegin(); it != typed.cend(); ++it) {
      int row = 0;
      STEP(program, grid(kPriceGrid), [&](const QJsonObject& g) {
        for (row = rows(g) - 1; row > 0 && cell(g, row, 0) != it.key();) --row;
        return row > 0;
      });
      DO(program, typeOnRow(row, it.value()));
      STEP(program, grid(kPriceGrid), [&](const QJsonObject& g) { return cell(g, row, 5).endsWith(it.value()); });
    }
    DO(program, sendOrder());
    STEP(program, windows(), [](const QJsonObject& w) { return text(box(w)).startsWith(u"Заказ отправлен"_s); });
    // The newest order: the customer, each product with its quantity and published price, the total.
    QCOMPARE(
        m_shop.query(u"SELECT o.user_id, i.product_id, i.product_quantity, i.product_item_price, o.order_total "
                     "FROM uop5b_jshopping_orders o JOIN uop5b_jshopping_order_item i USING (order_id) "
                     "WHERE order_id = (SELECT MAX(order_id) FROM uop5b_jshopping_orders) ORDER BY i.product_id"_s),
        QList<QStringList>(
            {{"57", "102", "3.00", "0.9900", "200.9700"}, {"57", "106", "2.00", "99.0000", "200.9700"}}));
  }

  // Runs that fail or stay local leave the server's file and an --output file that works
  // alone; a failure says why (a bad option by name) and never prints a password.
  void serverFileKept_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("said");
    QTest::newRow("bad option value") << QStringList{"--shop-port", "x"} << 1 << "--shop-port";
    QTest::newRow("not a program") << QStringList{"--program", path("publish.conf")} << 1 << "--program";
    // Servers and accounts have no defaults but the build's; given nowhere, nothing is done.
    QTest::newRow("no shop server") << QStringList{"--shop-host", "", "--output", path("kept.mdb")} << 1
                                    << "--shop-host";
    QTest::newRow("no ftp account") << QStringList{"--ftp-user", " "} << 1 << "--ftp-user";
    QTest::newRow("shop unreachable, --output over a file")
        << QStringList{"--shop-port", QString::number(freeLoopbackPort()), "--output", path("kept.mdb")} << 2
        << "Ошибка: ";
    QTest::newRow("empty catalogue") << QStringList{"--table-prefix", "empty_"} << 2 << "Ошибка: ";
    QTest::newRow("picture folder missing") << QStringList{"--pictures", path("nowhere")} << 3 << "Ошибка: ";
    QTest::newRow("ftp refuses the password") << QStringList{"--ftp-password", "неверный-пароль"} << 5 << "Ошибка: ";
    QTest::newRow("ftp server stops mid-upload")
        << QStringList{"--full-pictures", "--limit-rate", "200k"} << 5 << "Ошибка: ";
    QTest::newRow("--dry-run") << QStringList{"--dry-run", "--output", path("dry.mdb")} << 0 << "без файла 1";
    QTest::newRow("--output --full-pictures")
        << QStringList{"--output", path("full.mdb"), "--full-pictures"} << 0 << "товаров 4";
  }
  void serverFileKept() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, said);
    const bool stopMidUpload = args.contains(u"--limit-rate"_s);
    QVERIFY(writeFileContent(path(u"kept.mdb"_s), "a price list that works"));
    const QByteArray before = fileContent(serverFile());
    const ProgramRun r = publish(args, [&](QProcess& p) {
      // Once part of the file has arrived under its temporary name, the server goes away.
      for (QDeadlineTimer t(60000); stopMidUpload && !t.hasExpired() && p.state() == QProcess::Running;) {
        const auto parts = QDir(path(u"ftp"_s)).entryInfoList({u"*.part"_s}, QDir::Files);
        if (!parts.isEmpty() && parts.first().size() > 0) break;
        p.waitForFinished(50);
      }
      if (stopMidUpload) m_ftp.stop();
    });
    QVERIFY2(r.code == code && r.out.contains(said) && !r.out.contains(u"PASSWORD"_s),
             qPrintable(u"exit %1\n%2"_s.arg(r.code).arg(r.out)));
    QCOMPARE(fileContent(serverFile()), before);
    QCOMPARE(fileContent(path(u"kept.mdb"_s)), QByteArray("a price list that works"));
    QVERIFY(!QFileInfo::exists(path(u"dry.mdb"_s)) &&
            QDir(m_dir.path()).entryList({u".*.mdb.*"_s}, QDir::Files | QDir::Hidden).isEmpty());
    // A server that went away keeps what it received under the temporary name.
    const QStringList parts = QDir(path(u"ftp"_s)).entryList({u"*.part"_s}, QDir::Files);
    QCOMPARE(parts.size(), stopMidUpload ? 1 : 0);
    for (const QString& part : parts) QFile::remove(path(u"ftp/"_s + part));
    QVERIFY(m_ftp.isRunning() || m_ftp.start(path(u"ftp"_s)));  // for the rows after
    if (code != 0 || !args.contains(u"--full-pictures"_s)) return;
    QString reason;
    QVERIFY2(CheckPriceDatabaseFile(path(u"full.mdb"_s), &reason), qPrintable(reason));
    QCOMPARE(
        queryPriceDb(path(u"full.mdb"_s), u"select image_name, length(image_full) from images order by image_id"_s),
        QList<QStringList>({{"tea.jpg", "1048576"}, {"tea2.jpg", ""}, {"candy.jpg", ""}}));
  }
};

QTEST_GUILESS_MAIN(TestPublisher)
#include "test_publisher.moc"
