// The program as it is delivered: the command line's --help and --version, a
// clear refusal to start without a display, and the Debian package built with
// CPack from this build folder.
#include "fixtures/ports.h"
#include "fixtures/program_env.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// The environment of a start without any display.
QProcessEnvironment headless() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "VARNOKEL_TEST_DRIVER"})
    env.remove(QLatin1String(name));
  env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
  return env;
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
    // Nothing was started, so nothing was written.
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
    QStringList names;
    for (const QString& d : depends.out.split(QLatin1Char(','), Qt::SkipEmptyParts))
      names << d.trimmed().section(QLatin1Char(' '), 0, 0);
    for (const char* want : {"libqt6widgets6", "libqt6gui6", "libqt6sql6", "libqt6sql6-sqlite", "libqt6sql6-mysql",
                             "libsqlite3-0", "curl"})
      QVERIFY2(names.contains(QLatin1String(want)), qPrintable(want + u" missing from "_s + depends.out));

    // The end-to-end remote control is not in the shipped program.
    const QByteArray bytes = fileContent(unpacked.filePath(u"usr/bin/Varnokel"_s));
    for (const char* word : {"VARNOKEL_TEST_DRIVER", "@@driver", "clickCell"}) QVERIFY2(!bytes.contains(word), word);
    QVERIFY(fileContent(QStringLiteral(VARNOKEL_E2E_EXE)).contains("VARNOKEL_TEST_DRIVER"));
  }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "test_package.moc"
