#include "app/ProgramStart.h"

#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "base/ConsoleText.h"
#include "base/ProgramFolder.h"
#include "gui/common/SendMessages.h"
#include "update/CheckCommand.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFont>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kHelp[] = "Программа заявок Варнокел " VARNOKEL_VERSION
                     "\n"
                     "Прайс-лист оптового магазина, заказ по нему и отправка заказа в магазин.\n"
                     "\n"
                     "Использование: Varnokel [КОД]\n"
                     "\n"
                     "  КОД            код результата обновления, с которым программу перезапускают\n"
                     "                 сценарии обновления: 30/31 загрузка программы, 40/41 загрузка\n"
                     "                 прайс-листа, 50/51 замена программы (успешно/неуспешно)\n"
                     "  -h, --help     показать эту справку и выйти\n"
                     "  -v, --version  показать версию и выйти\n"
                     "\n"
                     "Папка программы (settings.ini, varnokel.mdb, temp/) - папка исполняемого файла;\n"
                     "у установленной программы - ~/.local/share/Varnokel. Переменная окружения\n"
                     "VARNOKEL_HOME задаёт другую папку.\n"
                     "Подключение к базе магазина и серверу обновлений - раздел [connection] в settings.ini.\n";

bool isOption(const char* arg, const char* shortName, const char* longName) {
  return std::strcmp(arg, shortName) == 0 || std::strcmp(arg, longName) == 0;
}

QByteArray platformName(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) return argv[i + 1];
  return qgetenv("QT_QPA_PLATFORM");
}

void noDisplay(const char* detail) {
  std::fprintf(
      stderr,
      "Программа заявок Варнокел: не удалось открыть окно - нет доступного графического дисплея.\n"
      "Запустите программу в графическом сеансе (переменная DISPLAY или WAYLAND_DISPLAY должна быть задана).\n");
  if (detail && *detail) std::fprintf(stderr, "Подробности: %s\n", detail);
  std::fflush(stderr);
}

// Where the windowing system is missing, Qt ends the process with a fatal
// message while the application object is being made; this handler turns that
// into the program's own message and exit code.
QtMessageHandler previousHandler = nullptr;
void startupMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    noDisplay(text.section(QLatin1Char('\n'), 0, 0).toLocal8Bit().constData());
    std::_Exit(1);
  }
  if (previousHandler)
    previousHandler(type, context, text);
  else
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

// A start without any display fails before Qt is asked: a clear message, no abort.
bool displayMissing(int argc, char** argv) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  const QByteArray platform = platformName(argc, argv);
  const bool x11 = !qgetenv("DISPLAY").isEmpty();
  const bool wayland = !qgetenv("WAYLAND_DISPLAY").isEmpty();
  if (platform.isEmpty()) return !x11 && !wayland;
  if (platform.startsWith("xcb")) return !x11;
  if (platform.startsWith("wayland")) return !wayland;
  return false;
#else
  Q_UNUSED(argc);
  Q_UNUSED(argv);
  return false;
#endif
}

}  // namespace

void ApplyProgramFont() {
  QFont f = QApplication::font();
  // 8 points at 96 dots per inch; a condensed face where the system has one.
  f.setPixelSize(11);
  f.setStretch(QFont::SemiCondensed);
  QApplication::setFont(f);
}

int RunProgram(int argc, char** argv, const std::function<void()>& afterApplicationMade) {
  if (const int checked = RunCheckCommand(argc, argv); checked >= 0) return checked;
  for (int i = 1; i < argc; ++i) {
    if (isOption(argv[i], "-h", "--help")) {
      WriteConsoleText(QString::fromUtf8(kHelp));
      return 0;
    }
    if (isOption(argv[i], "-v", "--version")) {
      WriteConsoleText(QStringLiteral("Varnokel " VARNOKEL_VERSION "\n"));
      return 0;
    }
  }
  if (displayMissing(argc, argv)) {
    noDisplay(nullptr);
    return 1;
  }

  previousHandler = qInstallMessageHandler(startupMessageHandler);
  QApplication app(argc, argv);
  qInstallMessageHandler(previousHandler);
  QApplication::setApplicationName(QStringLiteral("Varnokel"));
  QApplication::setApplicationVersion(QStringLiteral(VARNOKEL_VERSION));
  ApplyProgramFont();
  if (afterApplicationMade) afterApplicationMade();
  // Statements name the price database without a path and scripts start the
  // program by its bare name: the program works in its own folder.
  QDir::setCurrent(ProgramFolder());
  SingleInstance instance(ProgramFolder());
  if (!instance.claim()) return 0;
  const QStringList args = QApplication::arguments().mid(1);
  MainWindow main;
  instance.onComeForward([&main] { main.ComeForward(); });
  if (!main.startUp(args.join(QLatin1Char(' ')))) return 0;
  main.showStartupWindow();
  // A send that the last run could not finish is settled once the windows show.
  QTimer::singleShot(0, &main, [] { SettleUnfinishedOrders(); });
  return app.exec();
}
