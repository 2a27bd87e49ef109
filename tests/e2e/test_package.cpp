// The program as it is delivered: the command line's --help and --version, a
// clear refusal to start without a display, and the Debian package built with
// CPack from this build folder.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
  bool finished = false, crashed = false;
  int code = -1;
  QString out, err;
  QString describe() const {
    return QStringLiteral("code %1 crashed %2\nstdout: %3\nstderr: %4").arg(code).arg(crashed).arg(out, err);
  }
};

// The environment of a start without any display.
QProcessEnvironment headless() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "VARNOKEL_TEST_DRIVER"})
    env.remove(QLatin1String(name));
  env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
  return env;
}

Run run(const QString& program, const QStringList& args, const QProcessEnvironment& env = headless(),
        int timeoutMs = 120000) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.setWorkingDirectory(QStringLiteral(VARNOKEL_BINARY_DIR));
  p.start(program, args);
  Run r;
  r.finished = p.waitForFinished(timeoutMs);
  if (!r.finished) p.kill(), p.waitForFinished(5000);
  r.crashed = p.exitStatus() == QProcess::CrashExit;
  r.code = p.exitCode();
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError()) + p.errorString();
  return r;
}

}  // namespace

class TestPackage : public QObject {
  Q_OBJECT

 private slots:
  // "--version" itself: on the packaged program below.
  void helpAndVersionWithoutDisplay() {
    const QString help = QStringLiteral("Программа заявок Варнокел " VARNOKEL_VERSION "\n");
    for (const auto& [option, start] :
         {std::pair{"-v", QStringLiteral("Varnokel " VARNOKEL_VERSION "\n")}, {"--help", help}, {"-h", help}}) {
      const Run r = run(QStringLiteral(VARNOKEL_EXE), {QLatin1String(option)});
      QVERIFY2(r.finished && !r.crashed && r.code == 0 && r.out.startsWith(start), qPrintable(r.describe()));
    }
  }

  void startWithoutDisplayFailsClearly_data() {
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("display");
    QTest::newRow("no display, default platform") << QString() << QString();
    QTest::newRow("no display, xcb") << QStringLiteral("xcb") << QString();
    // A display that names no server: Qt itself finds out, the program still ends cleanly.
    QTest::newRow("unreachable display") << QStringLiteral("xcb") << QStringLiteral(":4711");
  }

  void startWithoutDisplayFailsClearly() {
    QFETCH(QString, platform);
    QFETCH(QString, display);
    QTemporaryDir home;
    QProcessEnvironment env = headless();
    env.insert(QStringLiteral("VARNOKEL_HOME"), home.path());
    if (!platform.isEmpty()) env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    if (!display.isEmpty()) env.insert(QStringLiteral("DISPLAY"), display);
    const Run r = run(QStringLiteral(VARNOKEL_EXE), {}, env, 30000);
    QVERIFY2(r.finished && !r.crashed && r.code != 0, qPrintable(r.describe()));
    QVERIFY2(r.err.contains(QStringLiteral("нет доступного графического дисплея")), qPrintable(r.describe()));
    // Nothing was started, so nothing was written.
    QVERIFY(QDir(home.path()).isEmpty(QDir::NoDotAndDotDot | QDir::AllEntries));
  }

  void debianPackageHoldsTheProgram() {
    QTemporaryDir out, unpacked;
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const Run made = run(QStringLiteral("cpack"),
                         {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), out.path(),
                          QStringLiteral("--config"), QStringLiteral(VARNOKEL_BINARY_DIR "/CPackConfig.cmake")},
                         env);
    QVERIFY2(made.finished && made.code == 0, qPrintable(made.describe()));
    const QStringList debs = QDir(out.path()).entryList({QStringLiteral("varnokel_" VARNOKEL_VERSION "_*.deb")});
    QCOMPARE(debs.size(), 1);
    const QString deb = out.filePath(debs.first());
    QVERIFY(run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, unpacked.path()}, env).code == 0);

    // The program and the shop's price publisher, runnable; no test or other tool of the build.
    QCOMPARE(QDir(unpacked.filePath(QStringLiteral("usr/bin"))).entryList(QDir::Files),
             (QStringList{"Varnokel", "varnokel-publish"}));
    for (const char* program : {"Varnokel", "varnokel-publish"}) {
      const Run v = run(unpacked.filePath(QStringLiteral("usr/bin/") + program), {QStringLiteral("--version")});
      QVERIFY2(v.code == 0 && v.out.trimmed() == QLatin1String(program) + QStringLiteral(" " VARNOKEL_VERSION),
               qPrintable(v.describe()));
    }
    // The desktop entry starts the installed program by name and shows its icon.
    for (const char* icon : {"128x128/apps/varnokel.png", "scalable/apps/varnokel.svg"})
      QVERIFY2(QFile::exists(unpacked.filePath(QStringLiteral("usr/share/icons/hicolor/") + icon)), icon);
    QFile desktop(unpacked.filePath(QStringLiteral("usr/share/applications/varnokel.desktop")));
    QVERIFY(desktop.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktop.readAll());
    QVERIFY(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
    for (const char* line : {"\nExec=Varnokel\n", "\nIcon=varnokel\n", "\nType=Application\n"})
      QVERIFY2(entry.contains(QLatin1String(line)), line);
    QVERIFY(entry.contains(QStringLiteral("Name[ru]=Программа заявок Варнокел")));

    const Run depends = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QStringLiteral("Depends")}, env);
    QStringList names;
    for (const QString& d : depends.out.split(QLatin1Char(','), Qt::SkipEmptyParts))
      names << d.trimmed().section(QLatin1Char(' '), 0, 0);
    for (const char* want : {"libqt6widgets6", "libqt6gui6", "libqt6sql6", "libqt6sql6-sqlite", "libqt6sql6-mysql",
                             "libsqlite3-0", "curl"})
      QVERIFY2(names.contains(QLatin1String(want)), qPrintable(want + QStringLiteral(" missing from ") + depends.out));

    // The end-to-end remote control is not in the shipped program.
    QFile shipped(unpacked.filePath(QStringLiteral("usr/bin/Varnokel")));
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    const QByteArray bytes = shipped.readAll();
    for (const char* word : {"VARNOKEL_TEST_DRIVER", "@@driver", "clickCell"}) QVERIFY2(!bytes.contains(word), word);
    QFile driven(QStringLiteral(VARNOKEL_E2E_EXE));
    QVERIFY(driven.open(QIODevice::ReadOnly) && driven.readAll().contains("VARNOKEL_TEST_DRIVER"));
  }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "test_package.moc"
