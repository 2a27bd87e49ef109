// The Windows build driven under wine through its remote control: a start in a
// Cyrillic folder on C:, a quantity typed, the order sent through the Windows MariaDB
// connector, close. Run by wine_checks.sh, which names the build and the prefix.
#include "base/ProgramFolder.h"
#include "base/Settings.h"
#include "fixtures/mariadb_server.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "support/DrivenProgram.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

using namespace driver;

constexpr int kStepTimeoutMs = 60000;

QString required(const char* name) {
  const QString v = qEnvironmentVariable(name);
  if (v.isEmpty()) qFatal("%s is not set; wine_checks.sh runs this test", name);
  return v;
}

// Wine passes no QT_* variable on: the platform goes on the command line.
class WineProgram : public DrivenProgram {
 public:
  WineProgram() : DrivenProgram(kStepTimeoutMs) {}
  bool start(const QString& exe, QString* error) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"WINEDEBUG"_s, u"-all"_s);
    env.remove(u"VARNOKEL_HOME"_s);
    env.remove(u"DISPLAY"_s);
    return DrivenProgram::start(u"wine"_s, {exe, u"-platform"_s, u"offscreen"_s}, env, error);
  }
};

}  // namespace

class TestWineProgram : public QObject {
  Q_OBJECT

 private slots:
  void orderFromTheWindowsProgram() {
    MariaDbServer server;
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));

    const QString folder = required("WINEPREFIX") + u"/drive_c/Заявки Варнокел"_s;
    QDir(folder).removeRecursively();
    QVERIFY(QProcess::execute(u"cp"_s, {u"-r"_s, required("VARNOKEL_WINDOWS_APP"), folder}) == 0);
    QVERIFY(QFile::copy(required("VARNOKEL_WINDOWS_QT") + u"/plugins/platforms/qoffscreen.dll"_s,
                        folder + u"/platforms/qoffscreen.dll"_s));
    QVERIFY(QFile::copy(required("VARNOKEL_WINDOWS_E2E"), folder + u"/Varnokel-e2e.exe"_s));
    QVERIFY2(makePriceDb(folder + u"/varnokel.mdb"_s, 300, 3, &error), qPrintable(error));
    SetProgramFolder(folder);
    settings::createDefault();
    TestProgramFolder::useShop(server);
    const QString lastOrderBefore =
        server.query(u"SELECT COALESCE(MAX(order_id), 0) FROM uop5b_jshopping_orders"_s).value(0).value(0);

    WineProgram program;
    QVERIFY2(program.start(u"C:\\Заявки Варнокел\\Varnokel-e2e.exe"_s, &error), qPrintable(error));
    STEP(program, widget(u"frm_main"_s), [](const QJsonObject& w) {
      return w.value(u"title"_s).toString().startsWith(u"Программа заявок Варнокел"_s);
    });
    QJsonObject shown;
    STEP(program, grid(kPriceGrid, 2), [&](const QJsonObject& g) { return (shown = g, rows(g) == 301); });

    // Sending asks to sign in first, with the demo shop's organisation code.
    const QString product = cell(shown, 1, 0), quantity = cell(shown, 1, 5) + u"7"_s;
    const auto price = [&](const QString& column) {
      return priceDbValue(folder + u"/varnokel.mdb"_s,
                          u"select %1 from products where product_id = '%2'"_s.arg(column, product));
    };
    DO(program, typeOnRow(1, u"7"_s));
    STEP(program, grid(kPriceGrid, 2), [&](const QJsonObject& g) { return cell(g, 1, 5) == quantity; });
    DO(program, sendOrder());
    STEP(program, windows(),
         [](const QJsonObject& w) { return text(box(w)).startsWith(u"Необходимо пройти авторизацию"_s); });
    ACT(program, answer(u"Да"_s));
    STEP(program, widget(u"frm_avtor"_s), [](const QJsonObject& w) { return w.value(u"visible"_s).toBool(); });
    ACT(program, click(u"frm_avtor/Text2"_s));
    ACT(program, keys(u"frm_avtor/Text2"_s, u"57"_s));
    ACT(program, click(u"frm_avtor/Command1"_s));
    STEP(program, windows(), [](const QJsonObject& w) { return !hasWindow(w, u"frm_avtor"_s); });
    ACT(program, click(u"frm_price/Command4"_s));
    STEP(program, windows(),
         [](const QJsonObject& w) { return text(box(w)) == u"Заказ отправлен успешно.Очистить текущий заказ?"_s; });

    // The shop holds the order with the customer's Cyrillic name and the item.
    const auto orders = server.query(
        u"SELECT order_id, user_id, f_name FROM uop5b_jshopping_orders WHERE order_id > "_s + lastOrderBefore);
    QCOMPARE(orders.size(), 1);
    QCOMPARE(orders[0].mid(1), (QStringList{u"57"_s, u"ООО Ромашка"_s}));
    const auto items = server.query(
        u"SELECT product_id, CAST(product_quantity AS SIGNED), product_name FROM uop5b_jshopping_order_item WHERE order_id = "_s +
        orders[0][0]);
    QCOMPARE(items, (QList<QStringList>{{product, quantity, price(u"name_ruRU"_s)}}));

    // The order is kept, the program closed: the price file holds the quantity.
    ACT(program, answer(u"Нет"_s));
    DO(program, close());
    QCOMPARE(price(u"order_count"_s), quantity);
    QVERIFY2(!QFileInfo::exists(folder + u"/varnokel.mdb-wal"_s),
             "the price file's log was not folded back on closing");
  }
};

QTEST_GUILESS_MAIN(TestWineProgram)
#include "test_wine_program.moc"
