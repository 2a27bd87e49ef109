// The program as it is delivered: the command line's --help and --version, a
// clear refusal to start without a display, and the Debian package built with
// CPack from this build folder.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
  int code = -1;
  bool crashed = false;
  bool finished = false;
  QString out, err;
};

// The environment of a start without any display.
QProcessEnvironment headless() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("WAYLAND_DISPLAY"));
  env.remove(QStringLiteral("QT_QPA_PLATFORM"));
  env.remove(QStringLiteral("VARNOKEL_TEST_DRIVER"));
  env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
  return env;
}

Run run(const QString& program, const QStringList& args, const QProcessEnvironment& env, const QString& dir = QString(),
        int timeoutMs = 120000) {
  QProcess p;
  p.setProcessEnvironment(env);
  if (!dir.isEmpty()) p.setWorkingDirectory(dir);
  p.start(program, args);
  Run r;
  if (!p.waitForStarted(10000)) {
    r.err = p.errorString();
    return r;
  }
  r.finished = p.waitForFinished(timeoutMs);
  if (!r.finished) p.kill(), p.waitForFinished(5000);
  r.crashed = p.exitStatus() == QProcess::CrashExit;
  r.code = p.exitCode();
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError());
  return r;
}

QString describe(const Run& r) {
  return QStringLiteral("code %1%2\nstdout: %3\nstderr: %4")
      .arg(r.code)
      .arg(r.crashed ? QStringLiteral(" (crashed)") : QString(), r.out, r.err);
}

}  // namespace

class TestPackage : public QObject {
  Q_OBJECT

 private slots:
  void helpAndVersionWithoutDisplay();
  void startWithoutDisplayFailsClearly_data();
  void startWithoutDisplayFailsClearly();
  void debianPackageHoldsTheProgram();
};

void TestPackage::helpAndVersionWithoutDisplay() {
  const QString exe = QStringLiteral(VARNOKEL_EXE);
  for (const QString& option : {QStringLiteral("--version"), QStringLiteral("-v")}) {
    const Run r = run(exe, {option}, headless());
    QVERIFY2(r.finished && !r.crashed && r.code == 0, qPrintable(describe(r)));
    QCOMPARE(r.out.trimmed(), QStringLiteral("Varnokel " VARNOKEL_VERSION));
  }
  for (const QString& option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
    const Run r = run(exe, {option}, headless());
    QVERIFY2(r.finished && !r.crashed && r.code == 0, qPrintable(describe(r)));
    QVERIFY2(r.out.startsWith(QStringLiteral("Программа заявок Варнокел " VARNOKEL_VERSION)), qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("Использование: Varnokel [КОД]")));
    QVERIFY(r.out.contains(QStringLiteral("--version")));
    QVERIFY(r.out.contains(QStringLiteral("VARNOKEL_HOME")));
    QVERIFY(r.err.isEmpty());
  }
}

void TestPackage::startWithoutDisplayFailsClearly_data() {
  QTest::addColumn<QString>("platform");
  QTest::addColumn<QString>("display");
  QTest::newRow("no display, default platform") << QString() << QString();
  QTest::newRow("no display, xcb") << QStringLiteral("xcb") << QString();
  // A display that names no server: Qt itself finds out, the program still ends cleanly.
  QTest::newRow("unreachable display") << QStringLiteral("xcb") << QStringLiteral(":4711");
}

void TestPackage::startWithoutDisplayFailsClearly() {
  QFETCH(QString, platform);
  QFETCH(QString, display);
  QTemporaryDir home;
  QProcessEnvironment env = headless();
  env.insert(QStringLiteral("VARNOKEL_HOME"), home.path());
  if (!platform.isEmpty()) env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
  if (!display.isEmpty()) env.insert(QStringLiteral("DISPLAY"), display);
  const Run r = run(QStringLiteral(VARNOKEL_EXE), {}, env, QString(), 30000);
  QVERIFY2(r.finished, "the program hung without a display");
  QVERIFY2(!r.crashed, qPrintable(describe(r)));
  QVERIFY2(r.code != 0, qPrintable(describe(r)));
  QVERIFY2(r.err.contains(QStringLiteral("нет доступного графического дисплея")), qPrintable(describe(r)));
  // Nothing was started, so nothing was written.
  QVERIFY(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

void TestPackage::debianPackageHoldsTheProgram() {
  const QString cpack = QStandardPaths::findExecutable(QStringLiteral("cpack"));
  const QString dpkgDeb = QStandardPaths::findExecutable(QStringLiteral("dpkg-deb"));
  if (cpack.isEmpty() || dpkgDeb.isEmpty())
    QSKIP("cpack or dpkg-deb is missing (scripts/install-deps.sh installs them)");
  QTemporaryDir out;
  QVERIFY(out.isValid());
  const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  const QString build = QStringLiteral(VARNOKEL_BINARY_DIR);
  const Run made = run(cpack,
                       {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), out.path(),
                        QStringLiteral("--config"), build + QStringLiteral("/CPackConfig.cmake")},
                       env, build);
  QVERIFY2(made.finished && made.code == 0, qPrintable(describe(made)));
  const QStringList debs = QDir(out.path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
  QCOMPARE(debs.size(), 1);
  const QString deb = out.filePath(debs.first());
  QVERIFY2(debs.first().startsWith(QStringLiteral("varnokel_" VARNOKEL_VERSION "_")), qPrintable(debs.first()));

  const Run list = run(dpkgDeb, {QStringLiteral("-c"), deb}, env);
  QVERIFY2(list.code == 0, qPrintable(describe(list)));
  QStringList files;
  for (const QString& line : list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
    files << line.section(QLatin1Char(' '), -1);
  for (const QString& want :
       {QStringLiteral("./usr/bin/Varnokel"), QStringLiteral("./usr/share/applications/varnokel.desktop"),
        QStringLiteral("./usr/share/icons/hicolor/128x128/apps/varnokel.png"),
        QStringLiteral("./usr/share/icons/hicolor/scalable/apps/varnokel.svg")})
    QVERIFY2(files.contains(want), qPrintable(want + QStringLiteral(" missing from\n") + list.out));
  // The program and the shop's price publisher: no test or other tool of the build goes along.
  QVERIFY2(files.contains(QStringLiteral("./usr/bin/varnokel-publish")), qPrintable(list.out));
  for (const QString& f : files)
    if (f.startsWith(QStringLiteral("./usr/bin/")))
      QVERIFY2(f == QStringLiteral("./usr/bin/Varnokel") || f == QStringLiteral("./usr/bin/varnokel-publish") ||
                   f == QStringLiteral("./usr/bin/"),
               qPrintable(f));
  const QString exeLine = list.out.split(QLatin1Char('\n')).filter(QStringLiteral("./usr/bin/Varnokel")).value(0);
  QVERIFY2(exeLine.startsWith(QStringLiteral("-rwxr-xr-x")), qPrintable(exeLine));

  const Run depends = run(dpkgDeb, {QStringLiteral("-f"), deb, QStringLiteral("Depends")}, env);
  QVERIFY2(depends.code == 0, qPrintable(describe(depends)));
  QStringList names;
  for (const QString& d : depends.out.split(QLatin1Char(','), Qt::SkipEmptyParts))
    names << d.trimmed().section(QLatin1Char(' '), 0, 0);
  for (const QString& want :
       {QStringLiteral("libqt6widgets6"), QStringLiteral("libqt6gui6"), QStringLiteral("libqt6sql6"),
        QStringLiteral("libqt6sql6-sqlite"), QStringLiteral("libqt6sql6-mysql"), QStringLiteral("libsqlite3-0"),
        QStringLiteral("curl")})
    QVERIFY2(names.contains(want), qPrintable(want + QStringLiteral(" missing from Depends: ") + depends.out));

  // The desktop entry starts the installed program by name and shows its icon.
  QTemporaryDir unpacked;
  const Run x = run(dpkgDeb, {QStringLiteral("-x"), deb, unpacked.path()}, env);
  QVERIFY2(x.code == 0, qPrintable(describe(x)));
  QFile desktop(unpacked.filePath(QStringLiteral("usr/share/applications/varnokel.desktop")));
  QVERIFY(desktop.open(QIODevice::ReadOnly));
  const QString entry = QString::fromUtf8(desktop.readAll());
  QVERIFY(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
  QVERIFY(entry.contains(QStringLiteral("\nExec=Varnokel\n")));
  QVERIFY(entry.contains(QStringLiteral("\nIcon=varnokel\n")));
  QVERIFY(entry.contains(QStringLiteral("\nType=Application\n")));
  QVERIFY(entry.contains(QStringLiteral("Name[ru]=Программа заявок Варнокел")));
  // The packaged program answers like the built one.
  const Run v = run(unpacked.filePath(QStringLiteral("usr/bin/Varnokel")), {QStringLiteral("--version")}, headless());
  QVERIFY2(v.code == 0 && v.out.trimmed() == QStringLiteral("Varnokel " VARNOKEL_VERSION), qPrintable(describe(v)));
  const Run p =
      run(unpacked.filePath(QStringLiteral("usr/bin/varnokel-publish")), {QStringLiteral("--version")}, headless());
  QVERIFY2(p.code == 0 && p.out.trimmed() == QStringLiteral("varnokel-publish " VARNOKEL_VERSION),
           qPrintable(describe(p)));
  // The end-to-end remote control is not in the shipped program.
  QFile shipped(unpacked.filePath(QStringLiteral("usr/bin/Varnokel")));
  QVERIFY(shipped.open(QIODevice::ReadOnly));
  const QByteArray bytes = shipped.readAll();
  for (const char* word : {"VARNOKEL_TEST_DRIVER", "@@driver", "clickCell"}) QVERIFY2(!bytes.contains(word), word);
  QFile driven(QStringLiteral(VARNOKEL_E2E_EXE));
  QVERIFY(driven.open(QIODevice::ReadOnly) && driven.readAll().contains("VARNOKEL_TEST_DRIVER"));
}

QTEST_GUILESS_MAIN(TestPackage)
#include "test_package.moc"
