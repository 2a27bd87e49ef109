#pragma once
// The program folder: settings.ini, varnokel.mdb, temp/ and the update scripts
// live there. It is the executable's folder unless the environment variable
// VARNOKEL_HOME names another one (tests and the demo use it).
//
// An installed program (Linux package or `cmake --install`) cannot keep its
// files beside the executable: when the executable's folder is not writable, or
// it is the bin/ folder of an installation (share/applications/varnokel.desktop
// beside it), the program folder is the per-user data folder
// ~/.local/share/Varnokel ($XDG_DATA_HOME/Varnokel), on Windows
// %LOCALAPPDATA%\Varnokel (an install under C:\Program Files), created on first use.
#include <QString>

QString ProgramFolder();
// For tests: points the program at another folder for the rest of the run.
void SetProgramFolder(const QString& folder);
// Folder + one separator + name; a folder that already ends with a separator
// (a drive root) gets no second one.
QString JoinProgramPath(const QString& folder, const QString& name);
// Full path of a file in the program folder.
QString ProgramFile(const QString& name);

// True when the program folder is the per-user data folder of an installed
// program: the executable belongs to the package manager, not to the program.
bool ProgramFolderIsUserData();
// The per-user data folder (whether or not it is in use).
QString UserDataFolder();
// The rule itself, for a given executable folder: true when that folder cannot
// hold the program's files.
bool ExecutableFolderIsInstalled(const QString& executableFolder);
