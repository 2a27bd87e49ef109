#pragma once
#include <QString>

// The two update flows: the price database download and the program self-update.
// Each writes a script, starts it detached and ends the program; the script
// restarts the program with a result code.

// "Получить прайс-лист": asks, writes update.bat/update.sh, starts it, ends the program.
void RunPriceDownload();
// "Обновление ПО": writes the program download script, starts it, ends the program.
void RunProgramDownload();
// Result code 30: compares the downloaded program with the running one and starts
// the replacement when it is newer. Returns true when the program is ending.
bool CompleteProgramUpdate();

// Where the update batch takes curl.exe from on Windows: the program folder, else
// the executable's folder, else the system's (System32, there since Windows 10).
// The full path; empty when there is none.
QString LocateCurl(const QString& programFolder, const QString& executableFolder, const QString& systemFolder);
