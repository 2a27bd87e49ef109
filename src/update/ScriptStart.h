#pragma once
// Starting an update script as a process of its own that outlives the program.
#include <QString>
#include <functional>

// Starts the script detached, with the program folder as its working directory:
// on Windows through the command interpreter, elsewhere with /bin/sh. False and
// a description in *error when the start failed.
bool StartScriptDetached(const QString& script, const QString& folder, QString* error);

// Replaces how the update flows start their script (tests record the call and
// run the script themselves). An empty function restores the detached start.
using ScriptStarter = std::function<bool(const QString& script, const QString& folder, QString* error)>;
void SetScriptStarter(ScriptStarter starter);
