#include "update/UpdateScripts.h"

#include "base/Settings.h"

#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace {

const QString kProgram = QStringLiteral("Varnokel.exe");
const QString kPriceFile = QStringLiteral("varnokel.mdb");
const QString kPricePartial = QStringLiteral("varnokel.mdb.download");
// The name the version check looks for in the output of --version.
const QString kProgramMark = QStringLiteral("Varnokel");

bool isAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

bool isAsciiLetterOrDigit(QChar c) {
  return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
         isAsciiDigit(c);
}

// Printable Latin characters without the ones listed.
bool printableAscii(const QString& text, const QString& refused) {
  return std::all_of(text.begin(), text.end(),
                     [&](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F && !refused.contains(c); });
}

// host[:port], [ipv6][:port]; the host name in its ASCII (punycode) form, or
// empty when it is not a host name.
QString asciiHost(const QString& host) {
  QString name = host, port;
  bool hasPort = false;
  if (host.startsWith(QLatin1Char('['))) {
    const int close = host.indexOf(QLatin1Char(']'));
    if (close < 0) return {};
    name = host.mid(1, close - 1);
    const QString rest = host.mid(close + 1);
    if (!rest.isEmpty()) {
      if (!rest.startsWith(QLatin1Char(':'))) return {};
      hasPort = true;
      port = rest.mid(1);
    }
    const auto ipv6 = [](QChar c) {
      return isAsciiDigit(c) || c == QLatin1Char(':') || c == QLatin1Char('.') ||
             (c >= QLatin1Char('a') && c <= QLatin1Char('f')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
    };
    if (name.isEmpty() || !std::all_of(name.begin(), name.end(), ipv6)) return {};
    name = QLatin1Char('[') + name + QLatin1Char(']');
  } else {
    const int colon = host.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
      hasPort = true;
      name = host.left(colon);
      port = host.mid(colon + 1);
    }
    name = name.isEmpty() ? QString() : QString::fromLatin1(QUrl::toAce(name));
    const auto hostChar = [](QChar c) {
      return isAsciiLetterOrDigit(c) || c == QLatin1Char('-') || c == QLatin1Char('.');
    };
    if (name.isEmpty() || name.startsWith(QLatin1Char('-')) || name.startsWith(QLatin1Char('.')) ||
        !std::all_of(name.begin(), name.end(), hostChar))
      return {};
  }
  if (!hasPort) return name;
  bool ok = false;
  const int number = port.toInt(&ok);
  if (!ok || number < 1 || number > 65535 || !std::all_of(port.begin(), port.end(), isAsciiDigit)) return {};
  return name + QLatin1Char(':') + port;
}

// ---- batch files

// Lines joined by CR LF, one more CR LF after the last. Every line is ASCII: the
// values in it have passed DistributionServerProblem().
QByteArray batchBytes(const QStringList& lines) {
  QString text;
  for (const QString& line : lines) text += line + QStringLiteral("\r\n");
  text += QStringLiteral("\r\n");
  return text.toLatin1();
}

// The command interpreter expands %NAME% even between double quotes; a literal
// percent sign is written twice.
QString batchLiteral(QString text) { return text.replace(QLatin1Char('%'), QStringLiteral("%%")); }

// One argument of a program started from the batch: bare as long as nothing in
// it means something to the command interpreter, else between double quotes,
// percent signs doubled, and backslashes before the closing quote doubled so that
// the program's own command-line parsing does not take the quote as escaped.
QString batchArgument(const QString& text) {
  static const QString plain = QStringLiteral("_.-:!@#$+/~");
  if (!text.isEmpty() &&
      std::all_of(text.begin(), text.end(), [](QChar c) { return isAsciiLetterOrDigit(c) || plain.contains(c); }))
    return text;
  int trailing = 0;
  while (trailing < text.size() && text.at(text.size() - 1 - trailing) == QLatin1Char('\\')) ++trailing;
  return QLatin1Char('"') + batchLiteral(text) + QString(trailing, QLatin1Char('\\')) + QLatin1Char('"');
}

QString batchProgram(const BatchPlaces& places) {
  return places.programInFolder ? kProgram : QStringLiteral("\"%VARNOKEL_EXE%\"");
}

QString batchStart(const BatchPlaces& places, int code) {
  return (places.programInFolder ? QStringLiteral("start ") + kProgram
                                 : QStringLiteral("start \"\" \"%VARNOKEL_EXE%\"")) +
         QLatin1Char(' ') + QString::number(code);
}

QString batchCurl(const DistributionServer& server, const BatchPlaces& places, const UpdateTimeouts& timeouts,
                  const QString& extraOptions, const QString& target, const QString& remotePath) {
  return (places.curlInFolder ? QStringLiteral("\"curl.exe\"") : QStringLiteral("\"%VARNOKEL_CURL%\"")) +
         QLatin1Char(' ') + CurlTimeoutOptions(timeouts) + extraOptions + QStringLiteral(" --user ") +
         batchArgument(server.user + QLatin1Char(':') + server.password) + QStringLiteral(" -o ") + target +
         QLatin1Char(' ') + batchLiteral(server.url(remotePath));
}

// The failure branch of one step: the original's error line, the reason kept for
// update.reason, the jump to the failure end.
QString batchFail(const QString& condition, const QString& errorEcho, const QString& reason) {
  return condition + QLatin1Char(' ') + errorEcho + QStringLiteral(" & set \"RESULT=") + reason +
         QStringLiteral("\" & goto end2");
}

// The start of every batch: the original's first lines, then the batch's own
// folder as the current one and a clean failure reason.
QStringList batchHead(const QString& title, const QString& partial) {
  return {QStringLiteral("@ECHO OFF"),
          QStringLiteral("chcp 1251"),
          QStringLiteral("setlocal EnableExtensions DisableDelayedExpansion"),
          QStringLiteral("pushd \"%~dp0\""),
          title,
          QStringLiteral("set \"RESULT=\""),
          QStringLiteral("if exist ") + UpdateReasonFileName() + QStringLiteral(" del /F /Q ") + UpdateReasonFileName(),
          QStringLiteral("if exist ") + partial + QStringLiteral(" del /F /Q ") + partial};
}

// The end of every batch: success restarts with okCode; the failure end removes
// the partial file, writes the reason and restarts with failCode.
QStringList batchTail(const BatchPlaces& places, const QString& partial, int okCode, int failCode) {
  return {batchStart(places, okCode),
          QStringLiteral("goto :EOF"),
          QStringLiteral(":end2"),
          QStringLiteral("if exist ") + partial + QStringLiteral(" del /F /Q ") + partial,
          QStringLiteral(">") + UpdateReasonFileName() + QStringLiteral(" echo %RESULT%"),
          batchStart(places, failCode),
          QStringLiteral("exit")};
}

// Runs `program --version` and requires exit code 0 and the program's name in
// what it prints. A negative exit code (a crash) fails as well.
QStringList batchVersionCheck(const QString& program, const QString& errorEcho) {
  return {program + QStringLiteral(" --version >temp\\version.txt"),
          batchFail(QStringLiteral("if %ERRORLEVEL% NEQ 0"), errorEcho, QStringLiteral("program %ERRORLEVEL%")),
          QStringLiteral("find \"") + kProgramMark + QStringLiteral("\" temp\\version.txt >NUL"),
          batchFail(QStringLiteral("If errorlevel 1"), errorEcho, QStringLiteral("program"))};
}

// ---- shell scripts

QString shellHeader(const QString& comment, const QString& title, const QString& folder, const QString& fail) {
  return QStringLiteral("#!/bin/sh\n") + comment + QStringLiteral("echo ") + ShellQuote(title) +
         QStringLiteral("\ncd ") + ShellQuote(folder) + QStringLiteral(" || exit 1\nrm -f ") + UpdateReasonFileName() +
         QStringLiteral("\n") + fail;
}

// fail REASON: the error line, the partial file removed, the reason written and
// the failure code chosen.
QString shellFail(const QString& errorEcho, const QString& partial, int failCode) {
  return QStringLiteral("fail() {\n  echo ") + ShellQuote(errorEcho) + QStringLiteral("\n  rm -f ") +
         ShellQuote(partial) + QStringLiteral("\n  echo \"$1\" > ") + UpdateReasonFileName() +
         QStringLiteral("\n  code=") + QString::number(failCode) + QStringLiteral("\n}\n");
}

QString shellRestart(const RestartCommand& restart) {
  QString s;
  if (!restart.home.isEmpty())
    s += QStringLiteral("VARNOKEL_HOME=") + ShellQuote(restart.home) + QStringLiteral("\nexport VARNOKEL_HOME\n");
  s += QStringLiteral("exec ") + ShellQuote(restart.program) + QStringLiteral(" \"$code\"\n");
  return s;
}

QString shellCurl(const DistributionServer& server, const UpdateTimeouts& timeouts, const QString& extraOptions,
                  const QString& target, const QString& remotePath) {
  return QStringLiteral("curl ") + CurlTimeoutOptions(timeouts) + extraOptions + QStringLiteral(" --user ") +
         ShellQuote(server.user + QLatin1Char(':') + server.password) + QStringLiteral(" -o ") + ShellQuote(target) +
         QLatin1Char(' ') + ShellQuote(server.url(remotePath));
}

// `program --version` must end with 0 and print the program's name.
QString shellVersionCheck(const QString& program, const QString& indent) {
  return indent + ShellQuote(program) + QStringLiteral(" --version > temp/version.txt 2>/dev/null; rc=$?\n") + indent +
         QStringLiteral("if [ \"$rc\" -ne 0 ]; then\n") + indent + QStringLiteral("  fail \"program $rc\"\n") + indent +
         QStringLiteral("elif ! grep -q ") + kProgramMark + QStringLiteral(" temp/version.txt; then\n") + indent +
         QStringLiteral("  fail program\n");
}

// The lines after a version check: move from to to unless the check failed.
QString shellMoveUnlessFailed(const QString& from, const QString& to, const QString& failure, const QString& indent) {
  return indent + QStringLiteral("elif ! mv -f ") + from + QLatin1Char(' ') + to + QStringLiteral("; then\n") + indent +
         QStringLiteral("  fail ") + failure + QLatin1Char('\n') + indent + QStringLiteral("fi\n");
}

// After curl: a failed transfer ends the script, a complete one is checked
// (check: lines that set rc and fail on a bad file) and moved from partial to target.
QString shellCheckedDownload(const QString& check, const QString& partial, const QString& target) {
  return QStringLiteral("if [ \"$rc\" -ne 0 ]; then\n  fail \"download $rc\"\nelse\n") + check +
         shellMoveUnlessFailed(partial, target, QStringLiteral("replace"), QStringLiteral("  ")) +
         QStringLiteral("fi\n");
}

}  // namespace

QString DistributionServer::url(const QString& path) const {
  QString p = path.startsWith(QLatin1Char('/')) ? path : QLatin1Char('/') + path;
  return QStringLiteral("ftp://") + asciiHost(host) + QString::fromLatin1(QUrl::toPercentEncoding(p, "/"));
}

DistributionServer ReadDistributionServer(const QString& settingsFile) {
  const settings::DistributionAccount a = settings::distributionAccount(settingsFile);
  return {a.host, a.user, a.password, a.pricePath, a.programPath};
}

QString DistributionServerProblem(const DistributionServer& server) {
  const QString where = QStringLiteral(" в settings.ini (раздел [connection], ключ %1)");
  if (asciiHost(server.host).isEmpty())
    return QStringLiteral("Недопустимое имя сервера обновлений") + where.arg(QStringLiteral("ftp_host")) +
           QStringLiteral(
               ": «%1». Укажите имя или адрес сервера, при необходимости с номером порта через "
               "двоеточие (например, ftp.example.ru:2121).")
               .arg(server.host);
  if (server.user.isEmpty() || !printableAscii(server.user, QStringLiteral("\":")))
    return QStringLiteral("Недопустимое имя пользователя сервера обновлений") + where.arg(QStringLiteral("ftp_user")) +
           QStringLiteral(": допустимы латинские буквы, цифры и знаки, кроме двоеточия и двойной кавычки.");
  if (!printableAscii(server.password, QStringLiteral("\"")))
    return QStringLiteral("Недопустимый пароль сервера обновлений") + where.arg(QStringLiteral("ftp_password")) +
           QStringLiteral(": допустимы латинские буквы, цифры и знаки, кроме двойной кавычки.");
  return {};
}

UpdateTimeouts UpdateTimeoutsFromEnvironment() {
  UpdateTimeouts t;
  bool ok = false;
  const int seconds = qEnvironmentVariableIntValue("VARNOKEL_TEST_UPDATE_TIMEOUT", &ok);
  if (ok && seconds >= 1 && seconds <= 60) t.stallSeconds = t.waitSeconds = seconds;
  return t;
}

QString CurlTimeoutOptions(const UpdateTimeouts& timeouts) {
  return QStringLiteral("--connect-timeout 15 --speed-limit 1024 --speed-time %1").arg(timeouts.stallSeconds);
}

QString UpdateReasonFileName() { return QStringLiteral("update.reason"); }

QByteArray PriceDownloadBatch(const DistributionServer& server, const BatchPlaces& places,
                              const UpdateTimeouts& timeouts) {
  if (!DistributionServerProblem(server).isEmpty()) return {};
  const QString error = QStringLiteral("ECHO !!!!!UPDATE ERROR!!!!!!!!");
  QStringList lines = batchHead(QStringLiteral("ECHO !!!!!DOWNLOADING PRICE !!!!!"), kPricePartial);
  lines << batchCurl(server, places, timeouts, QStringLiteral(" --remote-time"), kPricePartial, server.pricePath)
        << batchFail(QStringLiteral("If errorlevel 1"), error, QStringLiteral("download %ERRORLEVEL%"))
        << batchProgram(places) + QStringLiteral(" --check-price-file ") + kPricePartial
        << batchFail(QStringLiteral("if %ERRORLEVEL% NEQ 0"), error, QStringLiteral("check %ERRORLEVEL%"))
        << QStringLiteral("move /Y ") + kPricePartial + QLatin1Char(' ') + kPriceFile + QStringLiteral(" >NUL")
        << batchFail(QStringLiteral("if exist ") + kPricePartial, error, QStringLiteral("replace"));
  return batchBytes(lines + batchTail(places, kPricePartial, 40, 41));
}

QByteArray ProgramDownloadBatch(const DistributionServer& server, const BatchPlaces& places,
                                const UpdateTimeouts& timeouts) {
  if (!DistributionServerProblem(server).isEmpty()) return {};
  const QString partial = QStringLiteral("temp\\Varnokel.download.exe");
  const QString error = QStringLiteral("ECHO !!!!!DOWNLOAD ERROR!!!!!!!!");
  QStringList lines = batchHead(QStringLiteral("ECHO !!!!!DOWNLOADING PROGRAMM !!!!!"), partial);
  lines << batchCurl(server, places, timeouts, QStringLiteral(" --remote-time"), partial, server.programPath)
        << batchFail(QStringLiteral("If errorlevel 1"), error, QStringLiteral("download %ERRORLEVEL%"))
        << batchVersionCheck(partial, error)
        << QStringLiteral("move /Y ") + partial + QStringLiteral(" temp\\") + kProgram + QStringLiteral(" >NUL")
        << batchFail(QStringLiteral("if exist ") + partial, error, QStringLiteral("replace"));
  return batchBytes(lines + batchTail(places, partial, 30, 31));
}

QByteArray ReplacementBatch(qint64 waitPid, const BatchPlaces& places, const UpdateTimeouts& timeouts) {
  const QString pid = QString::number(waitPid);
  const QString staging = QStringLiteral("Varnokel.new.exe");
  const QString error = QStringLiteral("ECHO !!!!!UPDATE ERROR!!!!!!!!");
  QStringList lines = batchHead(QStringLiteral("ECHO !!!!!UPDATE !!!!!"), staging);
  // The program that wrote this file is ending; wait for it, but not forever:
  // a copy over a running program would fail or leave half a file.
  lines << QStringLiteral("set /a WAITED=0") << QStringLiteral(":wait")
        << QStringLiteral("tasklist /FI \"PID eq ") + pid + QStringLiteral("\" /NH 2>NUL | find \" ") + pid +
               QStringLiteral(" \" >NUL")
        << QStringLiteral("If errorlevel 1 goto copy")
        << batchFail(QStringLiteral("If %WAITED% GEQ ") + QString::number(timeouts.waitSeconds), error,
                     QStringLiteral("running"))
        << QStringLiteral("set /a WAITED+=1") << QStringLiteral("ping -n 2 127.0.0.1 >NUL")
        << QStringLiteral("goto wait")
        << QStringLiteral(":copy")
        // A copy beside the program, checked, then renamed over it: the folder
        // never holds half a program.
        << QStringLiteral("copy /Y /B temp\\") + kProgram + QLatin1Char(' ') + staging + QStringLiteral(" >NUL")
        << batchFail(QStringLiteral("if not exist ") + staging, error, QStringLiteral("copy"))
        << batchVersionCheck(staging, error)
        << QStringLiteral("move /Y ") + staging + QLatin1Char(' ') + kProgram + QStringLiteral(" >NUL")
        << batchFail(QStringLiteral("if exist ") + staging, error, QStringLiteral("copy"));
  return batchBytes(lines + batchTail(places, staging, 50, 51));
}

QString ShellQuote(const QString& text) {
  QString s = text;
  s.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
  return QLatin1Char('\'') + s + QLatin1Char('\'');
}

QByteArray PriceDownloadShellScript(const QString& folder, const DistributionServer& server,
                                    const RestartCommand& restart, const UpdateTimeouts& timeouts) {
  if (!DistributionServerProblem(server).isEmpty()) return {};
  QString s = shellHeader(QStringLiteral("# Price database download, written by the program just before it ended.\n"
                                         "# The new database lands in a temporary file and replaces the old one only\n"
                                         "# when curl succeeded and the program accepts the file; then the program\n"
                                         "# starts again with 40 (or 41, the reason in update.reason).\n"),
                          QStringLiteral("!!!!!DOWNLOADING PRICE !!!!!"), folder,
                          shellFail(QStringLiteral("!!!!!UPDATE ERROR!!!!!!!!"), kPricePartial, 41));
  s += QStringLiteral("code=40\nrm -f ") + kPricePartial + QLatin1Char('\n');
  s += shellCurl(server, timeouts, QStringLiteral(" --remote-time"), kPricePartial, server.pricePath) +
       QStringLiteral("; rc=$?\n");
  const QString check = QStringLiteral("  ") + ShellQuote(restart.program) + QStringLiteral(" --check-price-file ") +
                        kPricePartial +
                        QStringLiteral("; rc=$?\n  if [ \"$rc\" -ne 0 ]; then\n    fail \"check $rc\"\n");
  s += shellCheckedDownload(check, kPricePartial, kPriceFile);
  s += shellRestart(restart);
  return s.toUtf8();
}

QByteArray ProgramDownloadShellScript(const QString& folder, const QString& programName,
                                      const DistributionServer& server, const RestartCommand& restart,
                                      const UpdateTimeouts& timeouts) {
  if (!DistributionServerProblem(server).isEmpty()) return {};
  const QString partial = QStringLiteral("temp/") + programName + QStringLiteral(".download");
  QString s = shellHeader(QStringLiteral("# Program download, written by the program just before it ended.\n"
                                         "# The server's copy (with the server's file time) lands in temp/ only when\n"
                                         "# complete and when it runs; then the program starts again with 30 (or 31,\n"
                                         "# the reason in update.reason).\n"),
                          QStringLiteral("!!!!!DOWNLOADING PROGRAMM !!!!!"), folder,
                          shellFail(QStringLiteral("!!!!!DOWNLOAD ERROR!!!!!!!!"), partial, 31));
  s += QStringLiteral("code=30\nrm -f ") + ShellQuote(partial) + QLatin1Char('\n');
  s += shellCurl(server, timeouts, QStringLiteral(" --remote-time"), partial, server.programPath) +
       QStringLiteral("; rc=$?\n");
  const QString check = QStringLiteral("  chmod +x ") + ShellQuote(partial) + QLatin1Char('\n') +
                        shellVersionCheck(partial, QStringLiteral("  "));
  s += shellCheckedDownload(check, ShellQuote(partial), ShellQuote(QStringLiteral("temp/") + programName));
  s += shellRestart(restart);
  return s.toUtf8();
}

QByteArray ReplacementShellScript(const QString& folder, const QString& programName, qint64 waitPid,
                                  const RestartCommand& restart, const UpdateTimeouts& timeouts) {
  const QString source = QStringLiteral("temp/") + programName;
  const QString staging = QLatin1Char('.') + programName + QStringLiteral(".update");
  QString s = shellHeader(QStringLiteral("# Program replacement, written by the program just before it ended.\n"
                                         "# Waits (bounded) until that program has ended, copies temp/'s copy beside\n"
                                         "# it, checks that the copy runs, renames it over the program and starts the\n"
                                         "# program again with 50 (or 51, the reason in update.reason).\n"),
                          QStringLiteral("!!!!!UPDATE !!!!!"), folder,
                          shellFail(QStringLiteral("!!!!!UPDATE ERROR!!!!!!!!"), staging, 51));
  s += QStringLiteral("code=50\nwaited=0\nwhile kill -0 ") + QString::number(waitPid) +
       QStringLiteral(" 2>/dev/null; do\n  if [ \"$waited\" -ge ") + QString::number(timeouts.waitSeconds * 10) +
       QStringLiteral(" ]; then\n    fail running\n    break\n  fi\n  sleep 0.1\n  waited=$((waited + 1))\ndone\n");
  s += QStringLiteral("if [ \"$code\" -eq 50 ]; then\n  if [ -d ") + ShellQuote(programName) +
       QStringLiteral(" ] || ! cp -p ") + ShellQuote(source) + QLatin1Char(' ') + ShellQuote(staging) +
       QStringLiteral(" || ! chmod +x ") + ShellQuote(staging) + QStringLiteral("; then\n    fail copy\n  else\n") +
       shellVersionCheck(QStringLiteral("./") + staging, QStringLiteral("    ")) +
       shellMoveUnlessFailed(ShellQuote(staging), ShellQuote(programName), QStringLiteral("copy"),
                             QStringLiteral("    ")) +
       QStringLiteral("  fi\nfi\n");
  s += shellRestart(restart);
  return s.toUtf8();
}
