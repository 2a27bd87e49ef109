#pragma once
// Texts of the update scripts.
//
// On Windows the program writes batch files for the command interpreter
// (update.bat, updateexe.bat): ASCII text, every line ended by CR LF and one more
// CR LF at the end. A batch changes to its own folder (pushd "%~dp0") and names
// every file relative to it, so the folder's name (Cyrillic, blanks, & ( ) % ! ^,
// characters outside any code page) never appears in the text. Elsewhere the
// program writes POSIX shell scripts with the same steps (update.sh,
// updateexe.sh), UTF-8 with LF, run by /bin/sh.
//
// Both kinds download into a temporary file and put it in place only when the
// download has succeeded and the file works: a price database must pass the
// program's own check (--check-price-file), a program must answer --version with
// its name. Any failure leaves the old file as it was, writes the reason into
// update.reason and restarts the program with the failure code. The replacement
// script first waits (bounded) for the program that started it to end.
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

  // "ftp://" + host + path, the host in its ASCII form, the path percent-encoded.
  QString url(const QString& path) const;
};

// Reads ftp_host, ftp_user, ftp_password, ftp_price_path and ftp_program_path of
// [connection]; a missing key, "?" or an empty value keeps the default.
DistributionServer ReadDistributionServer(const QString& settingsFile);

// Why these settings cannot go into an update script (in Russian, naming the key
// of settings.ini); empty when they can. The host must be a host name or address
// (an optional :port after it); the user and the password must be printable
// Latin characters without a double quote, and the user without a colon. Every
// value that passes is written so that neither cmd nor sh reads anything into it.
QString DistributionServerProblem(const DistributionServer& server);

// Time limits of the scripts: a transfer slower than 1 KB/s for stallSeconds is
// given up on; the replacement waits waitSeconds at most for the old program.
struct UpdateTimeouts {
  int stallSeconds = 60;
  int waitSeconds = 30;
};
// The limits above; VARNOKEL_TEST_UPDATE_TIMEOUT=N (1..60) sets both to N seconds,
// so that tests of a stalled transfer or a program that does not end run quickly.
UpdateTimeouts UpdateTimeoutsFromEnvironment();
// curl's options for them: a dead server fails within 15 s, a stalled or
// trickling transfer after stallSeconds below 1 KB/s.
QString CurlTimeoutOptions(const UpdateTimeouts& timeouts = {});

// The file beside the scripts that tells the restarted program why an update failed.
QString UpdateReasonFileName();  // "update.reason"

// ---- Windows batch files.

// Where the batch finds the program and curl.exe: in its own folder (named
// Varnokel.exe and curl.exe), or elsewhere, given by full path in the environment
// variables VARNOKEL_EXE and VARNOKEL_CURL of the script's process.
struct BatchPlaces {
  bool programInFolder = true;
  bool curlInFolder = true;
};

// update.bat of "Получить прайс-лист": downloads varnokel.mdb.download, checks it,
// puts it in place; restarts with 40 or 41. Empty when the server is unusable.
QByteArray PriceDownloadBatch(const DistributionServer& server, const BatchPlaces& places = {},
                              const UpdateTimeouts& timeouts = {});
// update.bat of "Обновление ПО": downloads temp\Varnokel.download.exe, checks that
// it runs, renames it to temp\Varnokel.exe; restarts with 30 or 31.
QByteArray ProgramDownloadBatch(const DistributionServer& server, const BatchPlaces& places = {},
                                const UpdateTimeouts& timeouts = {});
// updateexe.bat: waits for process waitPid to end, copies temp\Varnokel.exe to
// Varnokel.new.exe, checks that the copy runs and renames it over Varnokel.exe;
// restarts with 50 or 51.
QByteArray ReplacementBatch(qint64 waitPid, const BatchPlaces& places = {}, const UpdateTimeouts& timeouts = {});

// ---- POSIX shell scripts. folder: the program folder as a POSIX path.

// How a script starts the program again (and checks a price database with it):
// the executable, and the program folder to pass in VARNOKEL_HOME (empty: the
// variable is left alone).
struct RestartCommand {
  QString program;
  QString home;
};

// A word for sh that stands for exactly this text: single quotes, with every
// single quote written as '\''.
QString ShellQuote(const QString& text);

// Empty when the server is unusable.
QByteArray PriceDownloadShellScript(const QString& folder, const DistributionServer& server,
                                    const RestartCommand& restart, const UpdateTimeouts& timeouts = {});
// Downloads into folder/temp/programName.
QByteArray ProgramDownloadShellScript(const QString& folder, const QString& programName,
                                      const DistributionServer& server, const RestartCommand& restart,
                                      const UpdateTimeouts& timeouts = {});
// Waits for process waitPid to end, then replaces folder/programName with
// folder/temp/programName (copy to a temporary name beside it, check, rename).
QByteArray ReplacementShellScript(const QString& folder, const QString& programName, qint64 waitPid,
                                  const RestartCommand& restart, const UpdateTimeouts& timeouts = {});
