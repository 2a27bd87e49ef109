// The road of one order through the real program: the executable runs in a
// process of its own, in a program folder of its own (a generated price list,
// settings pointing at a private shop database), and is driven with real mouse
// clicks and key strokes through its remote control (VARNOKEL_TEST_DRIVER=1).
// Every step waits on what the windows show and what the databases hold.

#include "fixtures/mariadb_server.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <functional>

namespace {

constexpr int kStepTimeoutMs = 30000;

// The program under test, started with the remote control on.
class Program {
public:
  ~Program() {
    if (proc_.state() != QProcess::NotRunning) {
      proc_.kill();
      proc_.waitForFinished(5000);
    }
  }

  bool start(const QString& home, const QStringList& args, QString* error) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VARNOKEL_HOME"), home);
    return start(QStringLiteral(VARNOKEL_EXE), env, args, error);
  }

  bool start(const QString& exe, QProcessEnvironment env, const QStringList& args, QString* error) {
    env.insert(QStringLiteral("VARNOKEL_TEST_DRIVER"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    proc_.setProcessEnvironment(env);
    proc_.setProcessChannelMode(QProcess::SeparateChannels);
    proc_.start(exe, args);
    if (!proc_.waitForStarted(10000)) {
      *error = proc_.errorString();
      return false;
    }
    const QJsonObject ready = nextReply();
    if (!ready.value(QStringLiteral("ready")).toBool()) {
      *error = QStringLiteral("no ready line; stderr: ") + QString::fromLocal8Bit(proc_.readAllStandardError());
      return false;
    }
    return true;
  }

  // One command, its one answer.
  QJsonObject send(const QJsonObject& command) {
    proc_.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
    proc_.waitForBytesWritten(5000);
    return nextReply();
  }

  // Asks until the answer satisfies the condition or the time is up; returns the last answer.
  QJsonObject waitFor(const QJsonObject& command, const std::function<bool(const QJsonObject&)>& condition,
                      bool* met, int timeoutMs = kStepTimeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QJsonObject last;
    *met = false;
    while (true) {
      last = send(command);
      if (last.value(QStringLiteral("ok")).toBool() && condition(last)) {
        *met = true;
        return last;
      }
      if (deadline.hasExpired() || proc_.state() == QProcess::NotRunning) return last;
      QThread::msleep(20);
    }
  }

  bool waitForExit(int* code, int timeoutMs = kStepTimeoutMs) {
    if (!proc_.waitForFinished(timeoutMs)) return false;
    *code = proc_.exitStatus() == QProcess::NormalExit ? proc_.exitCode() : -1;
    return true;
  }

  QString errors() { return QString::fromLocal8Bit(proc_.readAllStandardError()); }

private:
  QJsonObject nextReply() {
    QDeadlineTimer deadline(kStepTimeoutMs);
    while (true) {
      while (proc_.canReadLine()) {
        const QByteArray line = proc_.readLine().trimmed();
        if (line.startsWith("@@driver ")) return QJsonDocument::fromJson(line.mid(9)).object();
      }
      if (deadline.hasExpired() || proc_.state() == QProcess::NotRunning)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("no answer")}};
      proc_.waitForReadyRead(100);
    }
  }

  QProcess proc_;
};

QJsonObject cmd(const QString& name, const QJsonObject& args = {}) {
  QJsonObject o = args;
  o.insert(QStringLiteral("cmd"), name);
  return o;
}
QJsonObject widget(const QString& path) { return cmd(QStringLiteral("widget"), {{QStringLiteral("path"), path}}); }
QJsonObject grid(const QString& path, int count = 200) {
  return cmd(QStringLiteral("grid"), {{QStringLiteral("path"), path}, {QStringLiteral("count"), count}});
}
QJsonObject windows() { return cmd(QStringLiteral("windows")); }

QString cell(const QJsonObject& g, int row, int col) {
  return g.value(QStringLiteral("cells")).toArray().at(row).toArray().at(col).toString();
}
int rows(const QJsonObject& g) { return g.value(QStringLiteral("rows")).toInt(); }
QString text(const QJsonObject& w) { return w.value(QStringLiteral("text")).toString(); }

// The first visible message box, or an empty object.
QJsonObject box(const QJsonObject& ws) {
  const QJsonArray boxes = ws.value(QStringLiteral("boxes")).toArray();
  return boxes.isEmpty() ? QJsonObject() : boxes.first().toObject();
}
bool showsBox(const QJsonObject& ws, const QString& textShown) {
  return box(ws).value(QStringLiteral("text")).toString() == textShown;
}
bool hasWindow(const QJsonObject& ws, const QString& name) {
  for (const auto& v : ws.value(QStringLiteral("windows")).toArray())
    if (v.toObject().value(QStringLiteral("name")).toString() == name) return true;
  for (const auto& v : ws.value(QStringLiteral("children")).toArray())
    if (v.toObject().value(QStringLiteral("name")).toString() == name) return true;
  return false;
}

double number(QString s) { return s.trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(); }

QString dump(const QJsonObject& o) { return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)); }

// Rows of the price database, read beside the running program.
QList<QStringList> priceRows(const QString& file, const QString& sql) {
  QList<QStringList> out;
  const QString name = QStringLiteral("e2e_price");
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(file);
    if (!db.open()) qFatal("cannot open %s", qPrintable(file));
    QSqlQuery q(db);
    if (!q.exec(sql)) qFatal("%s failed", qPrintable(sql));
    while (q.next()) {
      QStringList row;
      for (int i = 0; i < q.record().count(); ++i) row << q.value(i).toString();
      out << row;
    }
  }
  QSqlDatabase::removeDatabase(name);
  return out;
}

}  // namespace

#define STEP(program, command, ...)                                                    \
  do {                                                                                       \
    bool met_ = false;                                                                       \
    const QJsonObject last_ = (program).waitFor((command), __VA_ARGS__, &met_);              \
    if (!met_) QFAIL(qPrintable(QStringLiteral("waited in vain; last answer: ") + dump(last_))); \
  } while (0)

#define ACT(program, command)                                                                \
  do {                                                                                       \
    const QJsonObject r_ = (program).send(command);                                          \
    if (!r_.value(QStringLiteral("ok")).toBool()) QFAIL(qPrintable(QStringLiteral("action refused: ") + dump(r_))); \
  } while (0)

class TestE2e : public QObject {
  Q_OBJECT

private slots:
  void initTestCase();
  void roadOfOneOrder();
  void installedProgramKeepsItsFilesPerUser();

private:
  MariaDbServer server_;
};

void TestE2e::initTestCase() {
  QString error;
  QVERIFY2(server_.start(&error), qPrintable(error));
}

void TestE2e::roadOfOneOrder() {
  QElapsedTimer clock;
  clock.start();
  TestProgramFolder folder;
  folder.useShop(server_);
  QString error;
  QVERIFY2(makePriceDb(folder.priceDb(), 300, 7, &error), qPrintable(error));

  // What the user will pick: the category with the most products and a word
  // that at least three of its names share.
  const auto biggest = priceRows(folder.priceDb(),
                                 "select c.category_id, c.name_ruRU, count(*) from categories c join products p "
                                 "on p.parent_id = c.category_id group by 1, 2 order by 3 desc, 1 limit 1");
  QVERIFY(!biggest.isEmpty());
  const QString categoryId = biggest.first().at(0);
  const QString categoryName = biggest.first().at(1);
  const int categorySize = biggest.first().at(2).toInt();
  const auto names = priceRows(folder.priceDb(),
                               "select product_id, name_ruRU_big from products where parent_id = " + categoryId);
  QMap<QString, int> wordCounts;
  for (const auto& r : names)
    for (const QString& w : r.at(1).split(QLatin1Char(' '), Qt::SkipEmptyParts))
      if (w.size() >= 5 && !w.at(0).isDigit()) ++wordCounts[w];
  QString word;
  for (auto it = wordCounts.cbegin(); it != wordCounts.cend(); ++it)
    if (it.value() >= 3 && (word.isEmpty() || it.value() > wordCounts.value(word))) word = it.key();
  QVERIFY2(!word.isEmpty(), "the generated category has no shared word");
  const QString typed = word.left(6).toLower();  // typed in lower case; the search is case-blind
  QSet<QString> matchingTyped;
  for (const auto& r : names)
    if (r.at(1).contains(typed.toUpper())) matchingTyped.insert(r.at(0));

  const auto before = server_.query("SELECT COALESCE(MAX(order_id), 0) FROM uop5b_jshopping_orders");
  const qlonglong lastOrderBefore = before.first().first().toLongLong();

  Program program;
  QVERIFY2(program.start(folder.path(), {}, &error), qPrintable(error));

  // 1. The price list opens with the whole price and the category tree.
  STEP(program, windows(), [](const QJsonObject& w) {
    return hasWindow(w, QStringLiteral("frm_main")) && hasWindow(w, QStringLiteral("frm_price"));
  });
  STEP(program, widget(QStringLiteral("frm_main")),
       [](const QJsonObject& w) { return w.value(QStringLiteral("title")).toString().startsWith(QStringLiteral("Программа заявок Варнокел")); });
  STEP(program, grid(QStringLiteral("frm_price/MSFlexGrid1"), 1), [](const QJsonObject& g) { return rows(g) == 301; });
  STEP(program, cmd(QStringLiteral("tree"), {{QStringLiteral("path"), QStringLiteral("frm_price/TreeView1")}}),
       [&](const QJsonObject& t) {
         for (const auto& v : t.value(QStringLiteral("items")).toArray())
           if (v.toObject().value(QStringLiteral("text")).toString() == categoryName) return true;
         return false;
       });

  // 2. A category.
  ACT(program, cmd(QStringLiteral("clickItem"), {{QStringLiteral("path"), QStringLiteral("frm_price/TreeView1")},
                                                  {QStringLiteral("text"), categoryName}}));
  QSet<QString> categoryIds;
  for (const auto& n : names) categoryIds.insert(n.at(0));
  STEP(program, grid(QStringLiteral("frm_price/MSFlexGrid1")), [&](const QJsonObject& g) {
    if (rows(g) != categorySize + 1) return false;
    for (int r = 1; r < rows(g); ++r)
      if (!categoryIds.contains(cell(g, r, 0))) return false;
    return true;
  });
  STEP(program, widget(QStringLiteral("frm_price/Text2")), [&](const QJsonObject& w) { return text(w) == categoryName; });
  STEP(program, widget(QStringLiteral("frm_price/Label1")), [&](const QJsonObject& w) {
    return text(w) == QStringLiteral("Выведено ") + QString::number(categorySize);
  });

  // 3. A search inside the category: typed into the search box, then Enter.
  ACT(program, cmd(QStringLiteral("click"), {{QStringLiteral("path"), QStringLiteral("frm_price/Text1")}}));
  ACT(program, cmd(QStringLiteral("keys"), {{QStringLiteral("path"), QStringLiteral("frm_price/Text1")},
                                             {QStringLiteral("text"), typed}}));
  ACT(program, cmd(QStringLiteral("keys"), {{QStringLiteral("path"), QStringLiteral("frm_price/Text1")},
                                             {QStringLiteral("key"), QStringLiteral("Return")}}));
  STEP(program, widget(QStringLiteral("frm_price/Text1")), [&](const QJsonObject& w) { return text(w) == typed; });
  QJsonObject found;
  STEP(program, grid(QStringLiteral("frm_price/MSFlexGrid1")), [&](const QJsonObject& g) {
    if (rows(g) != matchingTyped.size() + 1) return false;
    for (int r = 1; r < rows(g); ++r)
      if (!matchingTyped.contains(cell(g, r, 0))) return false;
    found = g;
    return true;
  });
  QVERIFY(rows(found) >= 4);

  // 4. Quantities on three rows: a click on the row, then the digits.
  const QStringList quantities{QStringLiteral("3"), QStringLiteral("12"), QStringLiteral("1")};
  QStringList orderedIds;
  double expectedTotal = 0;
  for (int i = 0; i < 3; ++i) {
    const int row = i + 1;
    ACT(program, cmd(QStringLiteral("clickCell"), {{QStringLiteral("path"), QStringLiteral("frm_price/MSFlexGrid1")},
                                                    {QStringLiteral("row"), row},
                                                    {QStringLiteral("col"), 2}}));
    STEP(program, grid(QStringLiteral("frm_price/MSFlexGrid1"), 1),
         [&](const QJsonObject& g) { return g.value(QStringLiteral("rowSel")).toInt() == row; });
    ACT(program, cmd(QStringLiteral("keys"), {{QStringLiteral("path"), QStringLiteral("frm_price/MSFlexGrid1")},
                                               {QStringLiteral("text"), quantities.at(i)}}));
    // The digits go after what the cell shows (a "0" on a row not ordered yet).
    const QString shownQuantity = cell(found, row, 5) + quantities.at(i);
    const double price = number(cell(found, row, 4));
    const double sum = price * quantities.at(i).toDouble();
    expectedTotal += sum;
    STEP(program, grid(QStringLiteral("frm_price/MSFlexGrid1")), [&](const QJsonObject& g) {
      return cell(g, row, 5) == shownQuantity && qAbs(number(cell(g, row, 6)) - sum) < 0.005;
    });
    orderedIds << cell(found, row, 0);
  }
  STEP(program, widget(QStringLiteral("frm_price/Label2")), [&](const QJsonObject& w) {
    return text(w).startsWith(QStringLiteral("Сумма заказа :")) &&
           qAbs(number(text(w).mid(14)) - expectedTotal) < 0.005;
  });
  // Every key stroke went into the price database.
  const auto stored = priceRows(folder.priceDb(),
                                "select product_id, order_count from products where order_count > 0 order by product_id");
  QCOMPARE(stored.size(), 3);
  for (const auto& r : stored) QCOMPARE(r.at(1), quantities.at(orderedIds.indexOf(r.at(0))));

  // 5. The order view: only the ordered products, sending enabled, search disabled.
  ACT(program, cmd(QStringLiteral("click"), {{QStringLiteral("path"), QStringLiteral("frm_price/Command1")}}));
  STEP(program, grid(QStringLiteral("frm_price/MSFlexGrid1")), [&](const QJsonObject& g) {
    if (rows(g) != 4) return false;
    QStringList ids;
    for (int r = 1; r < 4; ++r) ids << cell(g, r, 0);
    ids.sort();
    QStringList want = orderedIds;
    want.sort();
    return ids == want;
  });
  STEP(program, widget(QStringLiteral("frm_price/Command4")),
       [](const QJsonObject& w) { return w.value(QStringLiteral("enabled")).toBool(); });
  STEP(program, widget(QStringLiteral("frm_price/Text1")),
       [](const QJsonObject& w) { return !w.value(QStringLiteral("enabled")).toBool(); });
  STEP(program, widget(QStringLiteral("frm_price/Label2")),
       [&](const QJsonObject& w) { return qAbs(number(text(w).mid(14)) - expectedTotal) < 0.005; });

  // 6. Sending without a sign-in leads to the authorization window.
  ACT(program, cmd(QStringLiteral("click"), {{QStringLiteral("path"), QStringLiteral("frm_price/Command4")}}));
  STEP(program, windows(), [](const QJsonObject& w) {
    return showsBox(w, QStringLiteral("Необходимо пройти авторизацию.Открыть окно авторизации?"));
  });
  ACT(program, cmd(QStringLiteral("answer"), {{QStringLiteral("button"), QStringLiteral("Да")}}));
  STEP(program, widget(QStringLiteral("frm_avtor")), [](const QJsonObject& w) {
    return w.value(QStringLiteral("visible")).toBool() && w.value(QStringLiteral("title")).toString() == QStringLiteral("Авторизация");
  });
  ACT(program, cmd(QStringLiteral("click"), {{QStringLiteral("path"), QStringLiteral("frm_avtor/Text2")}}));
  ACT(program, cmd(QStringLiteral("keys"), {{QStringLiteral("path"), QStringLiteral("frm_avtor/Text2")},
                                             {QStringLiteral("text"), QStringLiteral("57")}}));
  STEP(program, widget(QStringLiteral("frm_avtor/Text2")), [](const QJsonObject& w) { return text(w) == QStringLiteral("57"); });
  ACT(program, cmd(QStringLiteral("click"), {{QStringLiteral("path"), QStringLiteral("frm_avtor/Command1")}}));
  STEP(program, windows(), [](const QJsonObject& w) { return !hasWindow(w, QStringLiteral("frm_avtor")); });
  {
    QFile ini(folder.file(QStringLiteral("settings.ini")));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray content = ini.readAll();
    QVERIFY2(QRegularExpression(QStringLiteral("\\bid= ?57\r\n")).match(QString::fromLatin1(content)).hasMatch(),
             content.constData());
    QVERIFY2(content.contains("login=\"\xce\xce\xce \xd0\xee\xec\xe0\xf8\xea\xe0\""), content.constData());  // cp1251
  }

  // 7. Sending again: the order and its items reach the shop, the quantities are cleared.
  ACT(program, cmd(QStringLiteral("click"), {{QStringLiteral("path"), QStringLiteral("frm_price/Command4")}}));
  STEP(program, windows(), [](const QJsonObject& w) {
    return showsBox(w, QStringLiteral("Заказ отправлен успешно.Очистить текущий заказ?"));
  });
  const auto orders = server_.query(
      QStringLiteral("SELECT order_id, order_number, user_id, order_total, f_name, order_status FROM uop5b_jshopping_orders "
                     "WHERE order_id > %1")
          .arg(lastOrderBefore));
  QCOMPARE(orders.size(), 1);
  const QString orderId = orders.first().at(0);
  QCOMPARE(orders.first().at(1), orderId.rightJustified(8, QLatin1Char('0')));
  QCOMPARE(orders.first().at(2), QStringLiteral("57"));
  QVERIFY(qAbs(orders.first().at(3).toDouble() - expectedTotal) < 0.005);
  QCOMPARE(orders.first().at(4), QStringLiteral("ООО Ромашка"));
  const auto items = server_.query(
      "SELECT product_id, product_quantity, product_name FROM uop5b_jshopping_order_item WHERE order_id = " + orderId +
      " ORDER BY product_id");
  QCOMPARE(items.size(), 3);
  for (const auto& it : items) {
    const int i = orderedIds.indexOf(it.at(0));
    QVERIFY2(i >= 0, qPrintable(it.at(0)));
    QCOMPARE(it.at(1).toDouble(), quantities.at(i).toDouble());
  }
  ACT(program, cmd(QStringLiteral("answer"), {{QStringLiteral("button"), QStringLiteral("Да")}}));
  STEP(program, grid(QStringLiteral("frm_price/MSFlexGrid1"), 1), [](const QJsonObject& g) { return rows(g) == 1; });
  STEP(program, widget(QStringLiteral("frm_price/Label1")),
       [](const QJsonObject& w) { return text(w) == QStringLiteral("Заказ отправлен"); });
  STEP(program, widget(QStringLiteral("frm_price/Label2")), [](const QJsonObject& w) { return text(w).isEmpty(); });
  QCOMPARE(priceRows(folder.priceDb(), "select count(*) from products where order_count <> 0 or order_summ <> 0")
               .first()
               .first(),
           QStringLiteral("0"));

  // 8. The orders window: today's orders of the customer, the new one among them.
  ACT(program, cmd(QStringLiteral("menu"), {{QStringLiteral("name"), QStringLiteral("Orders")}}));
  int orderRow = -1;
  STEP(program, grid(QStringLiteral("frm_orders/MSFlexGrid1")), [&](const QJsonObject& g) {
    for (int r = 1; r < rows(g); ++r)
      if (cell(g, r, 1) == orderId) {
        orderRow = r;
        return true;
      }
    return false;
  });
  STEP(program, windows(), [](const QJsonObject& w) {
    return w.value(QStringLiteral("bar")).toArray().contains(QStringLiteral("Заказы"));
  });
  // The shop moves the order on; the window shows it after "Обновить".
  QVERIFY(server_.exec("INSERT INTO uop5b_jshopping_order_history (order_id, order_status_id, status_date_added, "
                       "customer_notify, comments, include_comment) VALUES (" +
                       orderId + ", 2, NOW(), 0, 'Заказ принят в работу', 0)"));
  ACT(program, cmd(QStringLiteral("click"), {{QStringLiteral("path"), QStringLiteral("frm_orders/Command2")}}));
  STEP(program, grid(QStringLiteral("frm_orders/MSFlexGrid1")), [&](const QJsonObject& g) {
    for (int r = 1; r < rows(g); ++r)
      if (cell(g, r, 1) == orderId) {
        orderRow = r;
        return true;
      }
    return false;
  });
  ACT(program, cmd(QStringLiteral("clickCell"), {{QStringLiteral("path"), QStringLiteral("frm_orders/MSFlexGrid1")},
                                                  {QStringLiteral("row"), orderRow},
                                                  {QStringLiteral("col"), 1}}));
  STEP(program, grid(QStringLiteral("frm_orders/MSFlexGrid3")), [&](const QJsonObject& g) {
    if (rows(g) != 4) return false;
    QStringList shown, want;
    for (int r = 1; r < 4; ++r) shown << cell(g, r, 1);
    for (const auto& it : items) want << it.at(2);
    shown.sort();
    want.sort();
    return shown == want;
  });
  STEP(program, grid(QStringLiteral("frm_orders/MSFlexGrid2")), [](const QJsonObject& g) {
    return rows(g) == 2 && cell(g, 1, 1) == QStringLiteral("Заказ принят в работу");
  });

  // 9. Closing ends the program.
  ACT(program, cmd(QStringLiteral("close"), {{QStringLiteral("path"), QStringLiteral("frm_main")}}));
  int code = -2;
  QVERIFY2(program.waitForExit(&code), "the program did not end after its main window closed");
  QCOMPARE(code, 0);

  // 10. Restarted by a finished price download with result code 40.
  Program again;
  QVERIFY2(again.start(folder.path(), {QStringLiteral("40")}, &error), qPrintable(error));
  STEP(again, windows(), [](const QJsonObject& w) { return showsBox(w, QStringLiteral("Прайс-лист обновлен")); });
  const QJsonObject shown = box(again.send(windows()));
  QCOMPARE(shown.value(QStringLiteral("title")).toString(), QStringLiteral("Программа заявок Варнокел"));
  const QJsonArray buttons = shown.value(QStringLiteral("buttons")).toArray();
  QCOMPARE(buttons.size(), 1);
  ACT(again, cmd(QStringLiteral("answer"), {{QStringLiteral("button"), buttons.first().toString()}}));
  STEP(again, grid(QStringLiteral("frm_price/MSFlexGrid1"), 1), [](const QJsonObject& g) { return rows(g) == 301; });
  STEP(again, windows(), [](const QJsonObject& w) { return box(w).isEmpty(); });
  ACT(again, cmd(QStringLiteral("close"), {{QStringLiteral("path"), QStringLiteral("frm_main")}}));
  QVERIFY2(again.waitForExit(&code), "the restarted program did not end");
  QCOMPARE(code, 0);

  qInfo("E2E road of one order: %lld ms", static_cast<long long>(clock.elapsed()));
}

// `cmake --install` into a prefix of its own; the installed program, started as
// from the desktop entry, keeps its folder in the user's data folder and leaves
// its own updates to the package manager.
void TestE2e::installedProgramKeepsItsFilesPerUser() {
  const QString cmake = QStandardPaths::findExecutable(QStringLiteral("cmake"));
  if (cmake.isEmpty()) QSKIP("cmake is not on PATH");
  QTemporaryDir prefix, home;
  QProcess install;
  install.start(cmake, {QStringLiteral("--install"), QStringLiteral(VARNOKEL_BINARY_DIR), QStringLiteral("--prefix"), prefix.path()});
  QVERIFY(install.waitForFinished(60000));
  QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
  const QString exe = prefix.filePath(QStringLiteral("bin/Varnokel"));
  QVERIFY(QFileInfo(exe).isExecutable());
  QVERIFY(QFileInfo::exists(prefix.filePath(QStringLiteral("share/applications/varnokel.desktop"))));
  QVERIFY(QFileInfo::exists(prefix.filePath(QStringLiteral("share/icons/hicolor/128x128/apps/varnokel.png"))));
  QVERIFY(QFileInfo::exists(prefix.filePath(QStringLiteral("share/icons/hicolor/scalable/apps/varnokel.svg"))));

  const QString userFolder = home.filePath(QStringLiteral(".local/share/Varnokel"));
  QVERIFY(!QFileInfo::exists(userFolder));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("VARNOKEL_HOME"));
  env.remove(QStringLiteral("XDG_DATA_HOME"));
  env.insert(QStringLiteral("HOME"), home.path());
  Program program;
  QString error;
  QVERIFY2(program.start(exe, env, {}, &error), qPrintable(error));
  // No price list has been downloaded yet: whatever the program says about
  // that is acknowledged, as a user would.
  QJsonObject state;
  STEP(program, windows(), [&](const QJsonObject& w) {
    state = w;
    return hasWindow(w, QStringLiteral("frm_price")) || !box(w).isEmpty();
  });
  while (!box(state).isEmpty()) {
    ACT(program, cmd(QStringLiteral("answer"),
                     {{QStringLiteral("button"), box(state).value(QStringLiteral("buttons")).toArray().first().toString()}}));
    STEP(program, windows(), [&](const QJsonObject& w) {
      state = w;
      return hasWindow(w, QStringLiteral("frm_price")) || !box(w).isEmpty();
    });
  }
  QVERIFY(QFileInfo(userFolder).isDir());
  QVERIFY(QFileInfo::exists(userFolder + QStringLiteral("/settings.ini")));
  QVERIFY(!QFileInfo::exists(prefix.filePath(QStringLiteral("bin/settings.ini"))));

  ACT(program, cmd(QStringLiteral("menu"), {{QStringLiteral("name"), QStringLiteral("updatepo")}}));
  STEP(program, windows(), [](const QJsonObject& w) {
    return box(w).value(QStringLiteral("text")).toString().contains(QStringLiteral("менеджер пакетов"));
  });
  ACT(program, cmd(QStringLiteral("answer"),
                   {{QStringLiteral("button"), box(program.send(windows())).value(QStringLiteral("buttons")).toArray().first().toString()}}));
  STEP(program, windows(), [](const QJsonObject& w) { return box(w).isEmpty() && hasWindow(w, QStringLiteral("frm_main")); });
  QVERIFY(!QFileInfo::exists(userFolder + QStringLiteral("/update.sh")));
  QVERIFY(!QFileInfo::exists(userFolder + QStringLiteral("/temp")));

  ACT(program, cmd(QStringLiteral("close"), {{QStringLiteral("path"), QStringLiteral("frm_main")}}));
  int code = -2;
  QVERIFY2(program.waitForExit(&code), "the installed program did not end");
  QCOMPARE(code, 0);
}

QTEST_GUILESS_MAIN(TestE2e)
#include "test_e2e.moc"
