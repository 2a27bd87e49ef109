// The real program in a process and a program folder of its own, driven with real
// clicks and key strokes through its remote control; every step waits on what the
// windows show and the databases hold: what follows a sent order, the installed
// program, --help and --version, the refusal to start without a display, the package.
#include "fixtures/mariadb_server.h"
#include "fixtures/ports.h"
#include "fixtures/program_env.h"
#include "fixtures/sample_data.h"
#include "support/DrivenProgram.h"

#include <QtTest>

using namespace Qt::StringLiterals;

using namespace driver;

namespace {

QProcessEnvironment headless() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "VARNOKEL_TEST_DRIVER"})
    env.remove(QLatin1String(name));
  env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
  return env;
}

}  // namespace

class TestE2e : public QObject {
  Q_OBJECT
  MariaDbServer server_;

 private slots:
  void initTestCase() {
    QString error;
    QVERIFY2(server_.start(&error), qPrintable(error));
  }
  // A sent order: the quantities cleared, then the orders window lists it; the shop
  // moves it on and "Обновить" shows its history; a click shows its items.
  void sentOrderInTheOrdersWindow() {
    TestProgramFolder folder;
    folder.useShop(server_);
    folder.signIn(u"57"_s, u"ООО Ромашка"_s);
    QString error;
    QVERIFY2(makePriceDb(folder.priceDb(), 300, 7, &error), qPrintable(error));
    const QString ordersGrid = u"frm_orders/MSFlexGrid1"_s;
    DrivenProgram program;
    QVERIFY2(program.startIn(folder.path(), &error), qPrintable(error));
    QJsonObject first;
    STEP(program, grid(kPriceGrid, 2), [&](const QJsonObject& g) { return (first = g, rows(g) == 301); });
    DO(program, typeOnRow(1, u"4"_s));
    STEP(program, grid(kPriceGrid, 2),
         [&](const QJsonObject& g) { return cell(g, 1, 5) == cell(first, 1, 5) + u"4"_s; });
    DO(program, sendOrder());
    STEP(program, windows(),
         [](const QJsonObject& w) { return text(box(w)) == u"Заказ отправлен успешно.Очистить текущий заказ?"_s; });
    const QString orderId = server_.query(u"SELECT MAX(order_id) FROM uop5b_jshopping_orders"_s)[0][0];
    ACT(program, answer(u"Да"_s));
    STEP(program, grid(kPriceGrid, 1), [](const QJsonObject& g) { return rows(g) == 1; });
    QCOMPARE(
        queryPriceDb(folder.priceDb(), u"select count(*) from products where order_count <> 0 or order_summ <> 0"_s),
        QList<QStringList>{{u"0"_s}});

    ACT(program, menu(u"Orders"_s));
    int orderRow = -1;
    const auto listsOrder = [&](const QJsonObject& g) {
      for (int r = 1; r < rows(g); ++r)
        if (cell(g, r, 1) == orderId) return (orderRow = r) > 0;
      return false;
    };
    STEP(program, grid(ordersGrid), listsOrder);
    QVERIFY(
        server_.exec(u"INSERT INTO uop5b_jshopping_order_history (order_id, order_status_id, status_date_added, "
                     u"customer_notify, comments, include_comment) VALUES ("_s +
                     orderId + u", 2, NOW(), 0, 'Заказ принят в работу', 0)"_s));
    ACT(program, click(u"frm_orders/Command2"_s));
    STEP(program, grid(ordersGrid), listsOrder);
    // Clicks made while the refresh waits on the shop are not taken: the user clicks again.
    const auto showsItem = [&](const QJsonObject& g) { return rows(g) == 2 && cell(g, 1, 1) == cell(first, 1, 2); };
    for (int attempt = 0; attempt < 20 && !showsItem(program.send(grid(u"frm_orders/MSFlexGrid3"_s))); ++attempt) {
      ACT(program, clickCell(ordersGrid, orderRow, 1));
      QTest::qWait(250);
    }
    STEP(program, grid(u"frm_orders/MSFlexGrid3"_s), showsItem);
    STEP(program, grid(u"frm_orders/MSFlexGrid2"_s),
         [](const QJsonObject& g) { return rows(g) == 2 && cell(g, 1, 1) == u"Заказ принят в работу"_s; });
    DO(program, close());
  }
  // Installed and started as from the desktop entry, the program keeps its folder in the
  // user's data folder and leaves its updates to the package manager.
  void installedProgramKeepsItsFilesPerUser() {
    QTemporaryDir prefix, home;
    QProcess install;
    install.start(u"cmake"_s, {u"--install"_s, QStringLiteral(VARNOKEL_BINARY_DIR), u"--prefix"_s, prefix.path()});
    QVERIFY(install.waitForFinished(60000));
    QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
    const QString exe = prefix.filePath(u"bin/Varnokel"_s);
    QVERIFY(QFileInfo(exe).isExecutable());
    // Its driven twin, with the same folder rules, in its place.
    QVERIFY(QFile::remove(exe) && QFile::copy(QStringLiteral(VARNOKEL_E2E_EXE), exe));

    const QString userFolder = home.filePath(u".local/share/Varnokel"_s);
    QVERIFY(!QFileInfo::exists(userFolder));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"VARNOKEL_HOME"_s);
    env.remove(u"XDG_DATA_HOME"_s);
    env.insert(u"HOME"_s, home.path());
    DrivenProgram program;
    QString error;
    QVERIFY2(program.start(exe, {}, env, &error), qPrintable(error));
    DO(program, settle(u"frm_price"_s));  // no price list yet
    QVERIFY(QFileInfo::exists(userFolder + u"/settings.ini"_s) &&
            !QFileInfo::exists(prefix.filePath(u"bin/settings.ini"_s)));

    ACT(program, menu(u"updatepo"_s));
    STEP(program, windows(), [](const QJsonObject& w) { return text(box(w)).contains(u"менеджер пакетов"_s); });
    ACT(program, answer(u"OK"_s));
    STEP(program, windows(), [](const QJsonObject& w) { return box(w).isEmpty() && hasWindow(w, u"frm_main"_s); });
    QVERIFY(!QFileInfo::exists(userFolder + u"/update.sh"_s) && !QFileInfo::exists(userFolder + u"/temp"_s));
    DO(program, close());
  }

  void helpAndVersionWithoutDisplay() {
    const QString help = QStringLiteral("Программа заявок Варнокел " VARNOKEL_VERSION "\n");
    for (const auto& [option, start] :
         {std::pair{"-v", QStringLiteral("Varnokel " VARNOKEL_VERSION "\n")}, {"--help", help}, {"-h", help}}) {
      const ProgramRun r = runProgram(QStringLiteral(VARNOKEL_EXE), {QLatin1String(option)}, headless());
      QVERIFY2(r.code == 0 && r.out.startsWith(start), qPrintable(r.describe()));
    }
  }

  void startWithoutDisplayFailsClearly_data() {
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("display");
    QTest::newRow("no display, default platform") << QString() << QString();
    QTest::newRow("no display, xcb") << u"xcb"_s << QString();
    // A display that names no server: Qt itself finds out, the program still ends cleanly.
    QTest::newRow("unreachable display") << u"xcb"_s << u":4711"_s;
  }

  void startWithoutDisplayFailsClearly() {
    QFETCH(QString, platform);
    QFETCH(QString, display);
    QTemporaryDir home;
    QProcessEnvironment env = headless();
    env.insert(u"VARNOKEL_HOME"_s, home.path());
    if (!platform.isEmpty()) env.insert(u"QT_QPA_PLATFORM"_s, platform);
    if (!display.isEmpty()) env.insert(u"DISPLAY"_s, display);
    const ProgramRun r = runProgram(QStringLiteral(VARNOKEL_EXE), {}, env, {}, 30000);
    QVERIFY2(r.code > 0, qPrintable(r.describe()));
    QVERIFY2(r.err.contains(u"нет доступного графического дисплея"_s), qPrintable(r.describe()));
    QVERIFY(QDir(home.path()).isEmpty(QDir::NoDotAndDotDot | QDir::AllEntries));
  }

  void debianPackageHoldsTheProgram() {
    QTemporaryDir out, unpacked;
    const ProgramRun made = runProgram(u"cpack"_s, {u"-G"_s, u"DEB"_s, u"-B"_s, out.path(), u"--config"_s,
                                                    QStringLiteral(VARNOKEL_BINARY_DIR "/CPackConfig.cmake")});
    QVERIFY2(made.code == 0, qPrintable(made.describe()));
    const QStringList debs = QDir(out.path()).entryList({QStringLiteral("varnokel_" VARNOKEL_VERSION "_*.deb")});
    QCOMPARE(debs.size(), 1);
    const QString deb = out.filePath(debs.first());
    QVERIFY(runProgram(u"dpkg-deb"_s, {u"-x"_s, deb, unpacked.path()}).code == 0);

    // The program and the shop's price publisher, runnable; no test or other tool of the build.
    QCOMPARE(QDir(unpacked.filePath(u"usr/bin"_s)).entryList(QDir::Files),
             (QStringList{"Varnokel", "varnokel-publish"}));
    for (const char* program : {"Varnokel", "varnokel-publish"}) {
      const ProgramRun v = runProgram(unpacked.filePath(u"usr/bin/"_s + program), {u"--version"_s}, headless());
      QVERIFY2(v.code == 0 && v.out.trimmed() == QLatin1String(program) + QStringLiteral(" " VARNOKEL_VERSION),
               qPrintable(v.describe()));
    }
    // The desktop entry starts the installed program by name and shows its icon.
    for (const char* icon : {"128x128/apps/varnokel.png", "scalable/apps/varnokel.svg"})
      QVERIFY2(QFile::exists(unpacked.filePath(u"usr/share/icons/hicolor/"_s + icon)), icon);
    const QString entry =
        QString::fromUtf8(fileContent(unpacked.filePath(u"usr/share/applications/varnokel.desktop"_s)));
    QVERIFY(entry.startsWith(u"[Desktop Entry]\n"_s));
    for (const QString& line : {u"\nExec=Varnokel\n"_s, u"\nIcon=varnokel\n"_s, u"\nType=Application\n"_s,
                                u"\nName[ru]=Программа заявок Варнокел"_s})
      QVERIFY2(entry.contains(line), qPrintable(line));

    const ProgramRun depends = runProgram(u"dpkg-deb"_s, {u"-f"_s, deb, u"Depends"_s});
    const QStringList names = depends.out.simplified().remove(QRegularExpression(u" \\([^)]*\\)"_s)).split(u", "_s);
    for (const char* want : {"libqt6widgets6", "libqt6gui6", "libqt6sql6", "libqt6sql6-sqlite", "libqt6sql6-mysql",
                             "libsqlite3-0", "curl"})
      QVERIFY2(names.contains(QLatin1String(want)), qPrintable(want + u" missing from "_s + depends.out));

    // The end-to-end remote control is not in the shipped program.
    const QByteArray bytes = fileContent(unpacked.filePath(u"usr/bin/Varnokel"_s));
    for (const char* word : {"VARNOKEL_TEST_DRIVER", "@@driver", "clickCell"}) QVERIFY2(!bytes.contains(word), word);
    QVERIFY(fileContent(QStringLiteral(VARNOKEL_E2E_EXE)).contains("VARNOKEL_TEST_DRIVER"));
  }
};

QTEST_GUILESS_MAIN(TestE2e)
#include "test_e2e.moc"
