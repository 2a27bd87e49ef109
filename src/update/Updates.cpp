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

namespace {

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

// A script's text and the variables its process gets.
struct ScriptText {
  QByteArray text;
  ScriptVariables variables;
};

// Writes the script and starts it; true when it runs and the program is ending.
bool handOver(const QString& scriptName, const ScriptText& script) {
  QString error;
  switch (writeScript(scriptName, script.text, &error)) {
    case ScriptState::Failed:
      reportUpdateError(error);
      return false;
    case ScriptState::Missing:
      msg::critical(QStringLiteral("НЕТ НАСТРОЕК"));
      return false;
    case ScriptState::Ready:
      break;
  }
  const QString path = ProgramFile(scriptName);
  // The price database must stand on its own before the script may replace it.
  ReleasePriceDatabase();
  if (!StartScript(path, ProgramFolder(), script.variables, &error)) {
    reportUpdateError(QStringLiteral("Не удалось запустить %1: %2").arg(shown(path), error));
    return false;
  }
  EndProgram();
  return true;
}

// An installed program belongs to the package manager or the installer: its file
// is not the program's to replace, and the update comes with the next package.
bool leftToPackageManager() {
  if (!ProgramFolderIsUserData()) return false;
#ifdef Q_OS_WIN
  msg::information(QStringLiteral("Программа установлена в папку, недоступную для записи; её обновляет программа "
                                  "установки (установите новую версию поверх прежней).") +
                   QChar('\r') + QStringLiteral("Обновление ПО из программы не выполняется."));
#else
  msg::information(QStringLiteral("Программа установлена из пакета, её обновляет менеджер пакетов системы "
                                  "(например, apt upgrade).") +
                   QChar('\r') + QStringLiteral("Обновление ПО из программы не выполняется."));
#endif
  return true;
}

// The distribution server from settings.ini; false (and a message) when its
// settings cannot go into a script.
bool usableServer(DistributionServer* server) {
  *server = ReadDistributionServer(ProgramFile(QStringLiteral("settings.ini")));
  if (server->host.isEmpty()) {
    msg::critical(settings::noDistributionServerText(), QStringLiteral("Предупреждение"));
    return false;
  }
  const QString problem = DistributionServerProblem(*server);
  if (problem.isEmpty()) return true;
  reportUpdateError(problem);
  return false;
}

#ifdef Q_OS_WIN
bool sameFolder(const QString& a, const QString& b) {
  return QDir::cleanPath(QFileInfo(a).absoluteFilePath())
             .compare(QDir::cleanPath(QFileInfo(b).absoluteFilePath()), Qt::CaseInsensitive) == 0;
}

// Where the batch finds the program and curl.exe; false (and a message) when a
// download needs curl.exe and there is none.
bool batchPlaces(BatchPlaces* places, ScriptVariables* variables, bool download = true) {
  const QString exe = QCoreApplication::applicationFilePath();
  places->programInFolder = sameFolder(QCoreApplication::applicationDirPath(), ProgramFolder()) &&
                            QFileInfo(exe).fileName().compare(QStringLiteral("Varnokel.exe"), Qt::CaseInsensitive) == 0;
  const QString curl =
      LocateCurl(ProgramFolder(), QCoreApplication::applicationDirPath(),
                 qEnvironmentVariable("SystemRoot", QStringLiteral("C:\\Windows")) + QStringLiteral("\\System32"));
  *variables = {{QStringLiteral("VARNOKEL_EXE"), shown(exe)}, {QStringLiteral("VARNOKEL_CURL"), shown(curl)}};
  if (!download) return true;
  if (curl.isEmpty()) {
    reportUpdateError(QStringLiteral("Не найдена программа загрузки curl.exe. Положите её в папку программы (%1).")
                          .arg(shown(ProgramFolder())));
    return false;
  }
  places->curlInFolder = sameFolder(QFileInfo(curl).path(), ProgramFolder());
  return true;
}
#endif

// The download script of this system (a batch on Windows, a shell script
// elsewhere) for the configured server; false (and a message) when the server
// or curl.exe is not usable.
template <typename Batch, typename Shell>
bool downloadScript(ScriptText* script, Batch batch, Shell shell) {
  DistributionServer server;
  if (!usableServer(&server)) return false;
  const UpdateTimeouts timeouts = UpdateTimeoutsFromEnvironment();
#ifdef Q_OS_WIN
  Q_UNUSED(shell);
  BatchPlaces places;
  if (!batchPlaces(&places, &script->variables)) return false;
  script->text = batch(server, places, timeouts);
#else
  Q_UNUSED(batch);
  script->text = shell(server, timeouts);
#endif
  return true;
}

}  // namespace

QString LocateCurl(const QString& programFolder, const QString& executableFolder, const QString& systemFolder) {
  for (const QString& folder : {programFolder, executableFolder, systemFolder}) {
    const QString path = JoinProgramPath(folder, QStringLiteral("curl.exe"));
    if (!folder.isEmpty() && QFileInfo(path).isFile()) return path;
  }
  return {};
}

void RunPriceDownload() {
  // Nothing is asked when no server is set up at all.
  if (ReadDistributionServer(ProgramFile(QStringLiteral("settings.ini"))).host.isEmpty()) {
    msg::critical(settings::noDistributionServerText(), QStringLiteral("Предупреждение"));
    return;
  }
  if (!msg::question(QStringLiteral("При обновлении прайс-листа текущий заказ будет очищен.Продолжить?"))) return;
  ScriptText script;
  const auto shellScript = [](const DistributionServer& server, const UpdateTimeouts& timeouts) {
    return PriceDownloadShellScript(ProgramFolder(), server, restartCommand(), timeouts);
  };
  if (downloadScript(&script, PriceDownloadBatch, shellScript)) handOver(kPriceScript, script);
}

void RunProgramDownload() {
  if (leftToPackageManager()) return;
  ScriptText script;
  const auto shellScript = [](const DistributionServer& server, const UpdateTimeouts& timeouts) {
    return ProgramDownloadShellScript(ProgramFolder(), programName(), server, restartCommand(), timeouts);
  };
  if (!downloadScript(&script, ProgramDownloadBatch, shellScript)) return;
  const QString temp = ProgramFile(QStringLiteral("temp"));
  if (!QFileInfo(temp).isDir() && !QDir().mkdir(temp)) {
    reportUpdateError(QStringLiteral("Не удалось создать папку %1").arg(shown(temp)));
    return;
  }
  handOver(kProgramScript, script);
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
    ScriptText script;
#ifdef Q_OS_WIN
    BatchPlaces places;
    batchPlaces(&places, &script.variables, false);
    script.text = ReplacementBatch(QCoreApplication::applicationPid(), places, UpdateTimeoutsFromEnvironment());
#else
    script.text = ReplacementShellScript(folder, name, QCoreApplication::applicationPid(), restartCommand(),
                                         UpdateTimeoutsFromEnvironment());
#endif
    return handOver(kReplacementScript, script);
  }
  const QString version = QLocale().toString(QFileInfo(running).lastModified(), QLocale::ShortFormat);
  if (newSecs < currentSecs)
    msg::information(QStringLiteral("Ваша версия новее.Ваша версия ") + version);
  else
    msg::information(QStringLiteral("Обновление не требуется .Ваша версия ") + version);
  return false;
}
