#pragma once
// The program folder: settings.ini, varnokel.mdb, temp/ and the update scripts
// live there. It is the executable's folder unless the environment variable
// VARNOKEL_HOME names another one (tests and the demo use it).
#include <QString>

QString ProgramFolder();
// For tests: points the program at another folder for the rest of the run.
void SetProgramFolder(const QString& folder);
// Folder + one separator + name; a folder that already ends with a separator
// (a drive root) gets no second one.
QString JoinProgramPath(const QString& folder, const QString& name);
// Full path of a file in the program folder.
QString ProgramFile(const QString& name);
