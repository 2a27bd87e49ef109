#pragma once
// Texts of the update scripts.
//
// On Windows the program writes batch files for the command interpreter
// (update.bat, updateexe.bat): 8-bit text in code page 1251, every line ended by
// CR LF and one more CR LF at the end. Elsewhere it writes POSIX shell scripts
// with the same steps (update.sh, updateexe.sh), UTF-8 with LF, run by /bin/sh.
//
// Both kinds download into a temporary file and put it in place only when the
// download has succeeded, so a failed or interrupted download leaves the old file
// as it was; the replacement script first waits (at most 30 s) for the program
// that started it to end, then copies.
#include <QByteArray>
#include <QString>

// The distribution server: an FTP server with the price database and the program.
// Keys of section [connection] in settings.ini, else the build's values.
struct DistributionServer {
  QString host;  // may carry ":port"; empty when no server is set up
  QString user = QStringLiteral("zorvik_price");
  QString password = QStringLiteral("4817Stock!");
  QString pricePath = QStringLiteral("/varnokel.mdb");
  QString programPath = QStringLiteral("/Varnokel.exe");

  // "ftp://" + host + path, the path percent-encoded where it must be.
  QString url(const QString& path) const;
};

// Reads ftp_host, ftp_user, ftp_password, ftp_price_path and ftp_program_path of
// [connection]; a missing key, "?" or an empty value keeps the default.
DistributionServer ReadDistributionServer(const QString& settingsFile);

// Timeouts of every download: a dead server fails within 15 s, a stalled
// transfer after 60 s without data.
QString CurlTimeoutOptions();

// ---- Windows batch files. folder: the program folder as a Windows path.

// Temporary names the downloads land in before they replace the real file.
QString PriceDownloadName();    // "varnokel.mdb.download"
QString ProgramDownloadName(const QString& programName);  // name + ".download"

// update.bat of "Получить прайс-лист".
QByteArray PriceDownloadBatch(const QString& folder, const DistributionServer& server);
// update.bat of "Обновление ПО": downloads into folder\temp\Varnokel.exe.
QByteArray ProgramDownloadBatch(const QString& folder, const DistributionServer& server);
// updateexe.bat: waits for process waitPid to end, then copies temp\Varnokel.exe
// over Varnokel.exe.
QByteArray ReplacementBatch(const QString& folder, qint64 waitPid);

// ---- POSIX shell scripts. folder: the program folder as a POSIX path.

// How a script starts the program again: the executable, and the program folder
// to pass in VARNOKEL_HOME (empty: the variable is left alone).
struct RestartCommand {
  QString program;
  QString home;
};

// A word for sh that stands for exactly this text: single quotes, with every
// single quote written as '\''.
QString ShellQuote(const QString& text);

QByteArray PriceDownloadShellScript(const QString& folder, const DistributionServer& server,
                                    const RestartCommand& restart);
// Downloads into folder/temp/programName.
QByteArray ProgramDownloadShellScript(const QString& folder, const QString& programName,
                                      const DistributionServer& server, const RestartCommand& restart);
// Waits for process waitPid to end, then replaces folder/programName with
// folder/temp/programName (copy to a temporary name beside it, then rename).
QByteArray ReplacementShellScript(const QString& folder, const QString& programName, qint64 waitPid,
                                  const RestartCommand& restart);
