// The road of one order through the real program: the executable runs in a
// process and a program folder of its own (a generated price list, settings
// pointing at a private shop database) and is driven with real clicks and key
// strokes through its remote control (VARNOKEL_TEST_DRIVER=1). Every step waits
// on what the windows show and what the databases hold.

#include "fixtures/mariadb_server.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "support/DrivenProgram.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

using namespace driver;

// The program under test, driven through its remote control; home: its folder.
struct Program : DrivenProgram {
  bool start(const QString& exe, const QStringList& args, QString* error, const QString& home = {},
             QProcessEnvironment env = QProcessEnvironment::systemEnvironment()) {
    if (!home.isEmpty()) env.insert(u"VARNOKEL_HOME"_s, home);
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    return DrivenProgram::start(exe, args, env, error);
  }
  // Closing the main window ends the program well.
  void close() {
    ACT(*this, at(u"close"_s, u"frm_main"_s));
    int code = -2;
    QVERIFY2(waitForExit(&code), "the program did not end after its main window closed");
    QCOMPARE(code, 0);
  }
};

bool showsBox(const QJsonObject& ws, const QString& textShown) { return text(box(ws)) == textShown; }
double number(QString s) { return s.trimmed().replace(u',', u'.').toDouble(); }

}  // namespace

class TestE2e : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QString error;
    QVERIFY2(server_.start(&error), qPrintable(error));
  }
  void roadOfOneOrder();
  void installedProgramKeepsItsFilesPerUser();

 private:
  MariaDbServer server_;
};

void TestE2e::roadOfOneOrder() {
  TestProgramFolder folder;
  folder.useShop(server_);
  QString error;
  QVERIFY2(makePriceDb(folder.priceDb(), 300, 7, &error), qPrintable(error));
  const auto price = [&](const QString& sql) { return queryPriceDb(folder.priceDb(), sql); };

  // What the user will pick: the biggest category and the start of a name that most of its names share.
  const auto biggest = price(
      u"select c.category_id, c.name_ruRU, count(*) from categories c join products p "
      u"on p.parent_id = c.category_id group by 1, 2 order by 3 desc, 1 limit 1"_s);
  QVERIFY(!biggest.isEmpty());
  const QString inCategory = u"from products where parent_id = "_s + biggest.first().at(0);
  const QString categoryName = biggest.first().at(1);
  const QString typed =
      price(u"select substr(name_ruRU_big, 1, 5), count(*) "_s + inCategory + u" group by 1 order by 2 desc limit 1"_s)
          .value(0)
          .value(0)
          .toLower();  // the search is case-blind
  const auto ids = [&](const QString& where) {
    QSet<QString> out;
    for (const auto& r : price(u"select product_id "_s + inCategory + where)) out << r.at(0);
    return out;
  };
  const QSet<QString> categoryIds = ids({}),
                      matching = ids(u" and name_ruRU_big like '%"_s + typed.toUpper() + u"%'"_s);
  const QString lastOrderBefore =
      server_.query(u"SELECT COALESCE(MAX(order_id), 0) FROM uop5b_jshopping_orders"_s)[0][0];
  // The grid shows exactly the products of a set.
  const auto showsOnly = [](const QSet<QString>& ids) {
    return [ids](const QJsonObject& g) {
      for (int r = 1; r < rows(g); ++r)
        if (!ids.contains(cell(g, r, 0))) return false;
      return rows(g) == ids.size() + 1;
    };
  };
  const QString priceGrid = u"frm_price/MSFlexGrid1"_s;

  Program program;
  QVERIFY2(program.start(VARNOKEL_E2E_EXE, {}, &error, folder.path()), qPrintable(error));

  // 1. The whole price.
  STEP(program, windows(),
       [](const QJsonObject& w) { return hasWindow(w, u"frm_main"_s) && hasWindow(w, u"frm_price"_s); });
  STEP(program, grid(priceGrid, 1), [](const QJsonObject& g) { return rows(g) == 301; });

  // 2. A category.
  ACT(program, at(u"clickItem"_s, u"frm_price/TreeView1"_s, {{u"text"_s, categoryName}}));
  STEP(program, grid(priceGrid), showsOnly(categoryIds));
  STEP(program, widget(u"frm_price/Text2"_s), [&](const QJsonObject& w) { return text(w) == categoryName; });
  STEP(program, widget(u"frm_price/Label1"_s),
       [&](const QJsonObject& w) { return text(w) == u"Выведено "_s + QString::number(categoryIds.size()); });

  // 3. A search inside the category: typed into the search box, then Enter.
  ACT(program, click(u"frm_price/Text1"_s));
  ACT(program, keys(u"frm_price/Text1"_s, typed));
  ACT(program, at(u"keys"_s, u"frm_price/Text1"_s, {{u"key"_s, u"Return"_s}}));
  QJsonObject found;
  STEP(program, grid(priceGrid), [&](const QJsonObject& g) { return showsOnly(matching)(g) && (found = g, true); });
  QVERIFY(rows(found) >= 4);

  // 4. Quantities on three rows: a click on the row, then the digits (after the "0" shown).
  const QStringList quantities{u"3"_s, u"12"_s, u"1"_s};
  QStringList orderedIds;
  double expectedTotal = 0;
  for (int row = 1; row <= 3; ++row) {
    const QString quantity = quantities.at(row - 1);
    ACT(program, clickCell(priceGrid, row, 2));
    STEP(program, grid(priceGrid, 1), [&](const QJsonObject& g) { return g.value(u"rowSel"_s).toInt() == row; });
    ACT(program, keys(priceGrid, quantity));
    const QString shown = cell(found, row, 5) + quantity;
    const double sum = number(cell(found, row, 4)) * quantity.toDouble();
    expectedTotal += sum;
    STEP(program, grid(priceGrid),
         [&](const QJsonObject& g) { return cell(g, row, 5) == shown && qAbs(number(cell(g, row, 6)) - sum) < 0.005; });
    orderedIds << cell(found, row, 0);
  }
  const auto showsTotal = [&](const QJsonObject& w) {
    return text(w).startsWith(u"Сумма заказа :"_s) && qAbs(number(text(w).mid(14)) - expectedTotal) < 0.005;
  };
  STEP(program, widget(u"frm_price/Label2"_s), showsTotal);
  // Every key stroke went into the price database.
  const auto stored = price(u"select product_id, order_count from products where order_count > 0"_s);
  QCOMPARE(stored.size(), 3);
  for (const auto& r : stored) QCOMPARE(r.at(1), quantities.at(orderedIds.indexOf(r.at(0))));

  // 5. The order view: only the ordered products, sending enabled, search disabled.
  ACT(program, click(u"frm_price/Command1"_s));
  STEP(program, grid(priceGrid), showsOnly(QSet<QString>(orderedIds.begin(), orderedIds.end())));
  STEP(program, widget(u"frm_price/Command4"_s), [](const QJsonObject& w) { return w.value(u"enabled"_s).toBool(); });
  STEP(program, widget(u"frm_price/Text1"_s), [](const QJsonObject& w) { return !w.value(u"enabled"_s).toBool(); });
  STEP(program, widget(u"frm_price/Label2"_s), showsTotal);

  // 6. Sending without a sign-in leads to the authorization window.
  ACT(program, click(u"frm_price/Command4"_s));
  STEP(program, windows(),
       [](const QJsonObject& w) { return showsBox(w, u"Необходимо пройти авторизацию.Открыть окно авторизации?"_s); });
  ACT(program, answer(u"Да"_s));
  STEP(program, widget(u"frm_avtor"_s), [](const QJsonObject& w) {
    return w.value(u"visible"_s).toBool() && w.value(u"title"_s).toString() == u"Авторизация"_s;
  });
  ACT(program, click(u"frm_avtor/Text2"_s));
  ACT(program, keys(u"frm_avtor/Text2"_s, u"57"_s));
  ACT(program, click(u"frm_avtor/Command1"_s));
  STEP(program, windows(), [](const QJsonObject& w) { return !hasWindow(w, u"frm_avtor"_s); });
  // 7. Sending again: the order and its items reach the shop, the quantities are cleared.
  ACT(program, click(u"frm_price/Command4"_s));
  STEP(program, windows(),
       [](const QJsonObject& w) { return showsBox(w, u"Заказ отправлен успешно.Очистить текущий заказ?"_s); });
  const auto orders = server_.query(
      u"SELECT order_id, order_number, user_id, order_total, f_name FROM "
      u"uop5b_jshopping_orders WHERE order_id > "_s +
      lastOrderBefore);
  QCOMPARE(orders.size(), 1);
  const QString orderId = orders[0][0];
  QCOMPARE(orders[0][1], orderId.rightJustified(8, u'0'));
  QCOMPARE(orders[0][2], u"57"_s);
  QVERIFY(qAbs(orders[0][3].toDouble() - expectedTotal) < 0.005);
  QCOMPARE(orders[0][4], u"ООО Ромашка"_s);
  const auto items = server_.query(
      u"SELECT product_id, product_quantity, product_name FROM uop5b_jshopping_order_item "
      u"WHERE order_id = "_s +
      orderId);
  QCOMPARE(items.size(), 3);
  QSet<QString> itemNames;
  for (const auto& it : items) {
    QVERIFY2(orderedIds.contains(it[0]), qPrintable(it[0]));
    QCOMPARE(it[1].toDouble(), quantities.at(orderedIds.indexOf(it[0])).toDouble());
    itemNames << it[2];
  }
  ACT(program, answer(u"Да"_s));
  STEP(program, grid(priceGrid, 1), [](const QJsonObject& g) { return rows(g) == 1; });
  STEP(program, widget(u"frm_price/Label1"_s), [](const QJsonObject& w) { return text(w) == u"Заказ отправлен"_s; });
  STEP(program, widget(u"frm_price/Label2"_s), [](const QJsonObject& w) { return text(w).isEmpty(); });
  QCOMPARE(price(u"select count(*) from products where order_count <> 0 or order_summ <> 0"_s)[0][0], u"0"_s);

  // 8. The orders window: today's orders of the customer; the shop moves the new
  // one on and "Обновить" shows its history; a click shows its items.
  ACT(program, cmd(u"menu"_s, {{u"name"_s, u"Orders"_s}}));
  int orderRow = -1;
  const auto listsOrder = [&](const QJsonObject& g) {
    for (int r = 1; r < rows(g); ++r)
      if (cell(g, r, 1) == orderId) return (orderRow = r) > 0;
    return false;
  };
  STEP(program, grid(u"frm_orders/MSFlexGrid1"_s), listsOrder);
  STEP(program, windows(), [](const QJsonObject& w) { return w.value(u"bar"_s).toArray().contains(u"Заказы"_s); });
  QVERIFY(
      server_.exec(u"INSERT INTO uop5b_jshopping_order_history (order_id, order_status_id, status_date_added, "
                   u"customer_notify, comments, include_comment) VALUES ("_s +
                   orderId + u", 2, NOW(), 0, 'Заказ принят в работу', 0)"_s));
  ACT(program, click(u"frm_orders/Command2"_s));
  STEP(program, grid(u"frm_orders/MSFlexGrid1"_s), listsOrder);
  // Clicks made while the refresh still waits on the shop are not taken: the
  // user clicks again, as a person would.
  const auto showsItems = [&](const QJsonObject& g) {
    return rows(g) == 4 && QSet<QString>{cell(g, 1, 1), cell(g, 2, 1), cell(g, 3, 1)} == itemNames;
  };
  bool itemsShown = false;
  for (int attempt = 0; attempt < 20 && !itemsShown; ++attempt) {
    ACT(program, clickCell(u"frm_orders/MSFlexGrid1"_s, orderRow, 1));
    QTest::qWait(250);
    itemsShown = showsItems(program.send(grid(u"frm_orders/MSFlexGrid3"_s)));
  }
  STEP(program, grid(u"frm_orders/MSFlexGrid3"_s), showsItems);
  STEP(program, grid(u"frm_orders/MSFlexGrid2"_s),
       [](const QJsonObject& g) { return rows(g) == 2 && cell(g, 1, 1) == u"Заказ принят в работу"_s; });

  program.close();

  // 10. Restarted by a finished price download with result code 40: the message, then the list.
  Program again;
  QVERIFY2(again.start(VARNOKEL_E2E_EXE, {u"40"_s}, &error, folder.path()), qPrintable(error));
  STEP(again, windows(), [](const QJsonObject& w) { return showsBox(w, u"Прайс-лист обновлен"_s); });
  const QJsonObject shown = box(again.send(windows()));
  QCOMPARE(shown.value(u"title"_s).toString(), u"Программа заявок Варнокел"_s);
  QCOMPARE(shown.value(u"buttons"_s).toArray(), QJsonArray{u"OK"_s});
  ACT(again, answer(u"OK"_s));
  STEP(again, grid(priceGrid, 1), [](const QJsonObject& g) { return rows(g) == 301; });
  STEP(again, windows(), [](const QJsonObject& w) { return box(w).isEmpty(); });
  again.close();
}

// `cmake --install` into a prefix of its own; the installed program, started as
// from the desktop entry, keeps its folder in the user's data folder and leaves
// its own updates to the package manager.
void TestE2e::installedProgramKeepsItsFilesPerUser() {
  QTemporaryDir prefix, home;
  QProcess install;
  install.start(u"cmake"_s, {u"--install"_s, QStringLiteral(VARNOKEL_BINARY_DIR), u"--prefix"_s, prefix.path()});
  QVERIFY(install.waitForFinished(60000));
  QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
  const QString exe = prefix.filePath(u"bin/Varnokel"_s);
  QVERIFY(QFileInfo(exe).isExecutable());
  // The installed program carries no remote control: its driven twin takes its
  // place, with the same folder rules.
  QVERIFY(QFile::remove(exe) && QFile::copy(QStringLiteral(VARNOKEL_E2E_EXE), exe));

  const QString userFolder = home.filePath(u".local/share/Varnokel"_s);
  QVERIFY(!QFileInfo::exists(userFolder));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(u"VARNOKEL_HOME"_s);
  env.remove(u"XDG_DATA_HOME"_s);
  env.insert(u"HOME"_s, home.path());
  Program program;
  QString error;
  QVERIFY2(program.start(exe, {}, &error, {}, env), qPrintable(error));
  // No price list yet: whatever the program says about that is acknowledged, as a user would.
  QJsonObject state;
  const auto settled = [&](const QJsonObject& w) {
    state = w;
    return hasWindow(w, u"frm_price"_s) || !box(w).isEmpty();
  };
  STEP(program, windows(), settled);
  while (!box(state).isEmpty()) {
    ACT(program, answer(box(state).value(u"buttons"_s).toArray().at(0).toString()));
    STEP(program, windows(), settled);
  }
  QVERIFY(QFileInfo::exists(userFolder + u"/settings.ini"_s));
  QVERIFY(!QFileInfo::exists(prefix.filePath(u"bin/settings.ini"_s)));

  ACT(program, cmd(u"menu"_s, {{u"name"_s, u"updatepo"_s}}));
  STEP(program, windows(), [](const QJsonObject& w) { return text(box(w)).contains(u"менеджер пакетов"_s); });
  ACT(program, answer(u"OK"_s));
  STEP(program, windows(), [](const QJsonObject& w) { return box(w).isEmpty() && hasWindow(w, u"frm_main"_s); });
  QVERIFY(!QFileInfo::exists(userFolder + u"/update.sh"_s));
  QVERIFY(!QFileInfo::exists(userFolder + u"/temp"_s));

  program.close();
}

QTEST_GUILESS_MAIN(TestE2e)
#include "test_e2e.moc"
