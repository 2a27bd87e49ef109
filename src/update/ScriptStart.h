#pragma once
// Starting an update script as a process of its own that outlives the program.
#include <QList>
#include <QPair>
#include <QString>
#include <functional>

// Variables added to the script's environment (name, value).
using ScriptVariables = QList<QPair<QString, QString>>;

// Starts the script detached, in the program folder, by its bare file name: on
// Windows as `cmd /d /v:off /c update.bat` in a console window of its own (the
// user sees the download), elsewhere as `/bin/sh update.sh`. False and a
// description in *error when the start failed.
bool StartScriptDetached(const QString& script, const QString& folder, const ScriptVariables& variables,
                         QString* error);

// Replaces how the update flows start their script (tests record the call and
// run the script themselves). An empty function restores the detached start.
using ScriptStarter = std::function<bool(const QString& script, const QString& folder, QString* error)>;
void SetScriptStarter(ScriptStarter starter);
// The starter in use: the one set, or the detached start.
bool StartScript(const QString& script, const QString& folder, const ScriptVariables& variables, QString* error);
