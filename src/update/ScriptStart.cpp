#include "update/ScriptStart.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace {

ScriptStarter& starterSlot() {
  static ScriptStarter starter;
  return starter;
}

#ifdef Q_OS_WIN
// Qt starts a detached process without a window when the caller has no console
// (a windowed program), with the caller's standard handles. The update script
// runs in a console window of its own instead, as a batch file opened from the
// desktop does, so the user sees the download and its end.
void newConsoleWindow(QProcess::CreateProcessArguments* args) {
  args->flags &= ~static_cast<DWORD>(CREATE_NO_WINDOW | DETACHED_PROCESS);
  args->flags |= CREATE_NEW_CONSOLE;
  args->startupInfo->dwFlags &= ~static_cast<DWORD>(STARTF_USESTDHANDLES);
  args->inheritHandles = false;
}
#endif

}  // namespace

bool StartScriptDetached(const QString& script, const QString& folder, const ScriptVariables& variables,
                         QString* error) {
  QProcess p;
  const QString name = QFileInfo(script).fileName();
#ifdef Q_OS_WIN
  // By its bare name from its own folder: no folder name (with % or ! in it) is
  // ever read by the command interpreter. /d: no AutoRun commands; /v:off: no
  // delayed expansion of ! whatever the registry says.
  p.setProgram(qEnvironmentVariable("ComSpec", QStringLiteral("cmd.exe")));
  p.setNativeArguments(QStringLiteral("/d /v:off /c ") + name);
  p.setCreateProcessArgumentsModifier(newConsoleWindow);
#else
  p.setProgram(QStringLiteral("/bin/sh"));
  p.setArguments({name});
#endif
  if (!variables.isEmpty()) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& [key, value] : variables) env.insert(key, value);
    p.setProcessEnvironment(env);
  }
  p.setWorkingDirectory(folder);
  if (p.startDetached()) return true;
  if (error) *error = p.errorString();
  return false;
}

void SetScriptStarter(ScriptStarter starter) { starterSlot() = std::move(starter); }

bool StartScript(const QString& script, const QString& folder, const ScriptVariables& variables, QString* error) {
  if (starterSlot()) return starterSlot()(script, folder, error);
  return StartScriptDetached(script, folder, variables, error);
}
