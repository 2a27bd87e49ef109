#include "update/Updates.h"

#include "data/Database.h"

#include "base/ProgramEnd.h"
#include "base/ProgramFolder.h"
#include "base/Settings.h"
#include "gui/common/MessageBoxes.h"
#include "update/ScriptStart.h"
#include "update/UpdateScripts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <optional>

namespace {

ScriptStarter& starterSlot() {
  static ScriptStarter starter;
  return starter;
}

#ifdef Q_OS_WIN
const QString kPriceScript = QStringLiteral("update.bat");
const QString kProgramScript = QStringLiteral("update.bat");
const QString kReplacementScript = QStringLiteral("updateexe.bat");
#else
const QString kPriceScript = QStringLiteral("update.sh");
const QString kProgramScript = QStringLiteral("update.sh");
const QString kReplacementScript = QStringLiteral("updateexe.sh");
#endif

// The program's file name in its folder and in temp/: the batch files name
// Varnokel.exe; elsewhere it is the running executable's own name.
QString programName() {
#ifdef Q_OS_WIN
  return QStringLiteral("Varnokel.exe");
#else
  return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
#endif
}

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

// How the scripts start the program again: this very executable; when this run
// was pointed at its folder through VARNOKEL_HOME, the restarted one is too.
RestartCommand restartCommand() {
  RestartCommand r;
  r.program = QCoreApplication::applicationFilePath();
  if (!qEnvironmentVariable("VARNOKEL_HOME").isEmpty()) r.home = QDir::fromNativeSeparators(ProgramFolder());
  return r;
}

void reportUpdateError(const QString& description) {
  msg::critical(QStringLiteral("Произошла ошибка при обновлении") + QChar('\r') + description,
                QStringLiteral("Предупреждение"));
}

enum class ScriptState { Ready, Missing, Failed };

// The old script is deleted, the text goes to text.txt, text.txt is copied to the
// script's name and deleted. Ready when the script is there afterwards; Missing
// when it is not (the copy did not happen); Failed, with *error, when one of the
// other file operations failed.
ScriptState writeScript(const QString& scriptName, const QByteArray& text, QString* error) {
  const QString script = ProgramFile(scriptName);
  const QString scratch = ProgramFile(QStringLiteral("text.txt"));

  const QFileInfo old(script);
  if (old.isFile() || old.isSymLink()) {
    QFile f(script);
    if (!f.remove()) {
      *error = QStringLiteral("Не удалось удалить файл %1: %2").arg(shown(script), f.errorString());
      return ScriptState::Failed;
    }
  }

  QFile out(scratch);
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    *error = QStringLiteral("Не удалось создать файл %1: %2").arg(shown(scratch), out.errorString());
    return ScriptState::Failed;
  }
  const bool written = out.write(text) == text.size() && out.flush();
  const QString writeError = out.errorString();
  out.close();
  if (!written) {
    QFile::remove(scratch);
    *error = QStringLiteral("Не удалось записать файл %1: %2").arg(shown(scratch), writeError);
    return ScriptState::Failed;
  }

  // A failed copy shows in the check below ("НЕТ НАСТРОЕК").
  QFile::copy(scratch, script);

  QFile scratchFile(scratch);
  if (!scratchFile.remove()) {
    *error = QStringLiteral("Не удалось удалить файл %1: %2").arg(shown(scratch), scratchFile.errorString());
    return ScriptState::Failed;
  }
  return QFileInfo(script).isFile() ? ScriptState::Ready : ScriptState::Missing;
}

// Writes the script and starts it; true when it runs and the program is ending.
bool handOver(const QString& scriptName, const QByteArray& text) {
  QString error;
  switch (writeScript(scriptName, text, &error)) {
    case ScriptState::Failed:
      reportUpdateError(error);
      return false;
    case ScriptState::Missing:
      msg::critical(QStringLiteral("НЕТ НАСТРОЕК"));
      return false;
    case ScriptState::Ready:
      break;
  }
  const QString script = ProgramFile(scriptName);
  const QString folder = ProgramFolder();
  // The price database must stand on its own before the script may replace it.
  ReleasePriceDatabase();
  const bool started = starterSlot() ? starterSlot()(script, folder, &error)
                                     : StartScriptDetached(script, folder, &error);
  if (!started) {
    reportUpdateError(QStringLiteral("Не удалось запустить %1: %2").arg(shown(script), error));
    return false;
  }
  EndProgram();
  return true;
}

// An installed program belongs to the package manager: its file is not the
// program's to replace, and the update comes with the next package.
bool leftToPackageManager() {
  if (!ProgramFolderIsUserData()) return false;
  msg::information(QStringLiteral("Программа установлена из пакета, её обновляет менеджер пакетов системы "
                                  "(например, apt upgrade).") +
                   QChar('\r') + QStringLiteral("Обновление ПО из программы не выполняется."));
  return true;
}

// The distribution server; nothing, after telling the user, when none is set up.
std::optional<DistributionServer> distributionServer() {
  DistributionServer server = ReadDistributionServer(ProgramFile(QStringLiteral("settings.ini")));
  if (!server.host.isEmpty()) return server;
  msg::critical(settings::noDistributionServerText(), QStringLiteral("Предупреждение"));
  return std::nullopt;
}

}  // namespace

bool StartScriptDetached(const QString& script, const QString& folder, QString* error) {
  QProcess p;
#ifdef Q_OS_WIN
  // As the shell opens a batch file: cmd /c with the quoted full path, in a
  // console window of its own.
  p.setProgram(qEnvironmentVariable("ComSpec", QStringLiteral("cmd.exe")));
  p.setNativeArguments(QStringLiteral("/c \"\"") + QDir::toNativeSeparators(script) + QStringLiteral("\"\""));
#else
  p.setProgram(QStringLiteral("/bin/sh"));
  p.setArguments({script});
#endif
  p.setWorkingDirectory(folder);
  if (p.startDetached()) return true;
  if (error) *error = p.errorString();
  return false;
}

void SetScriptStarter(ScriptStarter starter) { starterSlot() = std::move(starter); }

void RunPriceDownload() {
  const auto server = distributionServer();
  if (!server) return;
  if (!msg::question(QStringLiteral("При обновлении прайс-листа текущий заказ будет очищен.Продолжить?")))
    return;
  const QString folder = ProgramFolder();
#ifdef Q_OS_WIN
  const QByteArray text = PriceDownloadBatch(QDir::toNativeSeparators(folder), *server);
#else
  const QByteArray text = PriceDownloadShellScript(folder, *server, restartCommand());
#endif
  handOver(kPriceScript, text);
}

void RunProgramDownload() {
  if (leftToPackageManager()) return;
  const auto server = distributionServer();
  if (!server) return;
  const QString folder = ProgramFolder();
#ifdef Q_OS_WIN
  const QByteArray text = ProgramDownloadBatch(QDir::toNativeSeparators(folder), *server);
#else
  const QByteArray text = ProgramDownloadShellScript(folder, programName(), *server, restartCommand());
#endif
  const QString temp = ProgramFile(QStringLiteral("temp"));
  if (!QFileInfo(temp).isDir() && !QDir().mkdir(temp)) {
    reportUpdateError(QStringLiteral("Не удалось создать папку %1").arg(shown(temp)));
    return;
  }
  handOver(kProgramScript, text);
}

bool CompleteProgramUpdate() {
  if (leftToPackageManager()) return false;
  const QString folder = ProgramFolder();
  const QString name = programName();
  const QString downloaded = QDir(folder).filePath(QStringLiteral("temp/") + name);
  const QString running = QDir(folder).filePath(name);
  const QFileInfo n(downloaded);
  const QFileInfo c(running);
  if (!n.isFile() || !c.isFile()) {
    msg::information(QStringLiteral("Не удалось проверить обновление ПО"));
    return false;
  }
  // File times count to the second, as the file system of the batch files keeps them.
  const qint64 newSecs = n.lastModified().toSecsSinceEpoch();
  const qint64 currentSecs = c.lastModified().toSecsSinceEpoch();
  if (newSecs > currentSecs) {
#ifdef Q_OS_WIN
    const QByteArray text = ReplacementBatch(QDir::toNativeSeparators(folder), QCoreApplication::applicationPid());
#else
    const QByteArray text =
        ReplacementShellScript(folder, name, QCoreApplication::applicationPid(), restartCommand());
#endif
    return handOver(kReplacementScript, text);
  }
  const QString version =
      QLocale().toString(QFileInfo(running).lastModified(), QLocale::ShortFormat);
  if (newSecs < currentSecs)
    msg::information(QStringLiteral("Ваша версия новее.Ваша версия ") + version);
  else
    msg::information(QStringLiteral("Обновление не требуется .Ваша версия ") + version);
  return false;
}
