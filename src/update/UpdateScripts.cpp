#include "update/UpdateScripts.h"

#include "base/IniFile.h"
#include "base/Settings.h"

#include <QStringList>
#include <QUrl>

namespace {

const QString kBatchProgram = QStringLiteral("Varnokel.exe");
const QString kPriceFile = QStringLiteral("varnokel.mdb");

// ---- batch files

// Lines joined by CR LF, one more CR LF after the last, in code page 1251.
QByteArray batchBytes(const QStringList& lines) {
  QString text;
  for (const QString& line : lines) text += line + QStringLiteral("\r\n");
  text += QStringLiteral("\r\n");
  return cp1251::encode(text);
}

// The command interpreter expands %NAME% even between double quotes; a literal
// percent sign is written twice.
QString batchLiteral(QString text) { return text.replace(QLatin1Char('%'), QStringLiteral("%%")); }

QString batchQuoted(const QString& path) {
  return QLatin1Char('"') + batchLiteral(path) + QLatin1Char('"');
}

// The --user argument: bare as long as nothing in it means something to the
// command interpreter, else between double quotes.
QString batchUserArgument(const DistributionServer& server) {
  QString account = server.user + QLatin1Char(':') + server.password;
  static const QString special = QStringLiteral(" \t,;=&|<>^()%\"");
  bool plain = true;
  for (QChar c : account)
    if (special.contains(c)) plain = false;
  if (plain) return account;
  account.remove(QLatin1Char('"'));
  return batchQuoted(account);
}

QString curlBatchLine(const QString& folder, const DistributionServer& server, const QString& extraOptions,
                      const QString& target, const QString& remotePath) {
  return batchQuoted(folder + QStringLiteral("\\curl.exe")) + QLatin1Char(' ') + CurlTimeoutOptions() +
         extraOptions + QStringLiteral(" --user ") + batchUserArgument(server) + QStringLiteral(" -o ") +
         batchQuoted(target) + QLatin1Char(' ') + batchLiteral(server.url(remotePath));
}

// ---- shell scripts

QString shellPath(const QString& folder, const QString& name) {
  if (folder.endsWith(QLatin1Char('/'))) return folder + name;
  return folder + QLatin1Char('/') + name;
}

QString shellHeader(const QString& comment) {
  return QStringLiteral("#!/bin/sh\n") + comment;
}

QString shellRestart(const RestartCommand& restart) {
  QString s;
  if (!restart.home.isEmpty())
    s += QStringLiteral("VARNOKEL_HOME=") + ShellQuote(restart.home) + QStringLiteral("\nexport VARNOKEL_HOME\n");
  s += QStringLiteral("exec ") + ShellQuote(restart.program) + QStringLiteral(" \"$code\"\n");
  return s;
}

QString curlShellCommand(const DistributionServer& server, const QString& extraOptions, const QString& target,
                         const QString& remotePath) {
  return QStringLiteral("curl ") + CurlTimeoutOptions() + extraOptions + QStringLiteral(" --user ") +
         ShellQuote(server.user + QLatin1Char(':') + server.password) + QStringLiteral(" -o ") +
         ShellQuote(target) + QLatin1Char(' ') + ShellQuote(server.url(remotePath));
}

// Download into `partial`, rename it to `target` when curl succeeded; otherwise
// remove what came and pick the failure code.
QString shellDownload(const QString& curl, const QString& partial, const QString& target, int okCode,
                      int failCode, const QString& errorEcho) {
  return QStringLiteral("if ") + curl + QStringLiteral(" && mv -f ") + ShellQuote(partial) + QLatin1Char(' ') +
         ShellQuote(target) + QStringLiteral("; then\n  code=") + QString::number(okCode) +
         QStringLiteral("\nelse\n  echo ") + ShellQuote(errorEcho) + QStringLiteral("\n  rm -f ") +
         ShellQuote(partial) + QStringLiteral("\n  code=") + QString::number(failCode) + QStringLiteral("\nfi\n");
}

}  // namespace

QString DistributionServer::url(const QString& path) const {
  QString p = path.startsWith(QLatin1Char('/')) ? path : QLatin1Char('/') + path;
  return QStringLiteral("ftp://") + host + QString::fromLatin1(QUrl::toPercentEncoding(p, "/"));
}

DistributionServer ReadDistributionServer(const QString& settingsFile) {
  const settings::DistributionAccount a = settings::distributionAccount(settingsFile);
  return {a.host, a.user, a.password, a.pricePath, a.programPath};
}

QString CurlTimeoutOptions() {
  return QStringLiteral("--connect-timeout 15 --speed-limit 1 --speed-time 60");
}

QString PriceDownloadName() { return kPriceFile + QStringLiteral(".download"); }
QString ProgramDownloadName(const QString& programName) { return programName + QStringLiteral(".download"); }

namespace {

// The download batch: curl into a partial file, which replaces the target only
// when the download succeeded; the program restarts with okCode or failCode.
struct BatchDownload {
  QString title, errorLine, curlOptions, partial, target, serverPath;
  int okCode, failCode;
};

QByteArray downloadBatch(const QString& folder, const DistributionServer& server, const BatchDownload& d) {
  return batchBytes({
      QStringLiteral("@ECHO OFF"),
      QStringLiteral("chcp 1251"),
      d.title,
      curlBatchLine(folder, server, d.curlOptions, d.partial, d.serverPath),
      d.errorLine,
      QStringLiteral("move /Y ") + batchQuoted(d.partial) + QLatin1Char(' ') + batchQuoted(d.target),
      d.errorLine,
      QStringLiteral("start ") + kBatchProgram + QLatin1Char(' ') + QString::number(d.okCode),
      QStringLiteral("goto :EOF"),
      QStringLiteral(":end2"),
      QStringLiteral("if exist ") + batchQuoted(d.partial) + QStringLiteral(" del /F /Q ") + batchQuoted(d.partial),
      QStringLiteral("start ") + kBatchProgram + QLatin1Char(' ') + QString::number(d.failCode),
      QStringLiteral("exit"),
  });
}

}  // namespace

QByteArray PriceDownloadBatch(const QString& folder, const DistributionServer& server) {
  return downloadBatch(folder, server,
                       {QStringLiteral("ECHO !!!!!DOWNLOADING PRICE !!!!!"),
                        QStringLiteral("If errorlevel 1 ECHO !!!!!UPDATE ERROR!!!!!!!! & goto end2"), QString(),
                        folder + QLatin1Char('\\') + PriceDownloadName(), folder + QLatin1Char('\\') + kPriceFile,
                        server.pricePath, 40, 41});
}

QByteArray ProgramDownloadBatch(const QString& folder, const DistributionServer& server) {
  return downloadBatch(folder, server,
                       {QStringLiteral("ECHO !!!!!DOWNLOADING PROGRAMM !!!!!"),
                        QStringLiteral("If errorlevel 1 ECHO !!!!!DOWNLOAD ERROR!!!!!!!! & goto end2"),
                        QStringLiteral(" --remote-time"),
                        folder + QStringLiteral("\\temp\\") + ProgramDownloadName(kBatchProgram),
                        folder + QStringLiteral("\\temp\\") + kBatchProgram, server.programPath, 30, 31});
}

QByteArray ReplacementBatch(const QString& folder, qint64 waitPid) {
  const QString pid = QString::number(waitPid);
  return batchBytes({
      QStringLiteral("@ECHO OFF"),
      QStringLiteral("chcp 1251"),
      QStringLiteral("ECHO !!!!!UPDATE !!!!!"),
      // The program that wrote this file is ending; wait for it, 30 s at most.
      QStringLiteral("set /a WAITED=0"),
      QStringLiteral(":wait"),
      QStringLiteral("tasklist /FI \"PID eq ") + pid + QStringLiteral("\" /NH 2>NUL | find \" ") + pid +
          QStringLiteral(" \" >NUL"),
      QStringLiteral("If errorlevel 1 goto copy"),
      QStringLiteral("If %WAITED% GEQ 30 goto copy"),
      QStringLiteral("set /a WAITED+=1"),
      QStringLiteral("ping -n 2 127.0.0.1 >NUL"),
      QStringLiteral("goto wait"),
      QStringLiteral(":copy"),
      QStringLiteral("xcopy ") + batchQuoted(folder + QStringLiteral("\\temp\\") + kBatchProgram) +
          QLatin1Char(' ') + batchQuoted(folder + QLatin1Char('\\') + kBatchProgram) + QStringLiteral(" /Y"),
      QStringLiteral("If errorlevel 1 ECHO !!!!!UPDATE ERROR!!!!!!!! & goto end2"),
      QStringLiteral("start ") + kBatchProgram + QStringLiteral(" 50"),
      QStringLiteral("goto :EOF"),
      QStringLiteral(":end2"),
      QStringLiteral("start ") + kBatchProgram + QStringLiteral(" 51"),
      QStringLiteral("exit"),
  });
}

QString ShellQuote(const QString& text) {
  QString s = text;
  s.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
  return QLatin1Char('\'') + s + QLatin1Char('\'');
}

QByteArray PriceDownloadShellScript(const QString& folder, const DistributionServer& server,
                                    const RestartCommand& restart) {
  const QString partial = shellPath(folder, PriceDownloadName());
  const QString target = shellPath(folder, kPriceFile);
  QString s = shellHeader(QStringLiteral(
      "# Price database download, written by the program just before it ended.\n"
      "# The new database lands in a temporary file and replaces the old one only\n"
      "# when curl succeeded; then the program starts again with 40 (or 41).\n"));
  s += QStringLiteral("echo '!!!!!DOWNLOADING PRICE !!!!!'\n");
  s += QStringLiteral("cd ") + ShellQuote(folder) + QStringLiteral(" || exit 1\n");
  s += shellDownload(curlShellCommand(server, QString(), partial, server.pricePath), partial, target, 40, 41,
                     QStringLiteral("!!!!!UPDATE ERROR!!!!!!!!"));
  s += shellRestart(restart);
  return s.toUtf8();
}

QByteArray ProgramDownloadShellScript(const QString& folder, const QString& programName,
                                      const DistributionServer& server, const RestartCommand& restart) {
  const QString temp = shellPath(folder, QStringLiteral("temp"));
  const QString partial = shellPath(temp, ProgramDownloadName(programName));
  const QString target = shellPath(temp, programName);
  QString s = shellHeader(QStringLiteral(
      "# Program download, written by the program just before it ended.\n"
      "# The server's copy (with the server's file time) lands in temp/ only when\n"
      "# complete; then the program starts again with 30 (or 31).\n"));
  s += QStringLiteral("echo '!!!!!DOWNLOADING PROGRAMM !!!!!'\n");
  s += QStringLiteral("cd ") + ShellQuote(folder) + QStringLiteral(" || exit 1\n");
  s += shellDownload(curlShellCommand(server, QStringLiteral(" --remote-time"), partial, server.programPath),
                     partial, target, 30, 31, QStringLiteral("!!!!!DOWNLOAD ERROR!!!!!!!!"));
  s += shellRestart(restart);
  return s.toUtf8();
}

QByteArray ReplacementShellScript(const QString& folder, const QString& programName, qint64 waitPid,
                                  const RestartCommand& restart) {
  const QString source = shellPath(shellPath(folder, QStringLiteral("temp")), programName);
  const QString target = shellPath(folder, programName);
  const QString staging = shellPath(folder, QLatin1Char('.') + programName + QStringLiteral(".update"));
  QString s = shellHeader(QStringLiteral(
      "# Program replacement, written by the program just before it ended.\n"
      "# Waits until that program has ended (30 s at most), puts temp/'s copy in\n"
      "# its place and starts the program again with 50 (or 51).\n"));
  s += QStringLiteral("echo '!!!!!UPDATE !!!!!'\n");
  s += QStringLiteral("cd ") + ShellQuote(folder) + QStringLiteral(" || exit 1\n");
  s += QStringLiteral("waited=0\n"
                      "while kill -0 ") +
       QString::number(waitPid) +
       QStringLiteral(" 2>/dev/null && [ \"$waited\" -lt 300 ]; do\n"
                      "  sleep 0.1\n"
                      "  waited=$((waited + 1))\n"
                      "done\n");
  s += QStringLiteral("if [ -f ") + ShellQuote(source) + QStringLiteral(" ] && [ ! -d ") + ShellQuote(target) +
       QStringLiteral(" ] && cp -p ") + ShellQuote(source) + QLatin1Char(' ') + ShellQuote(staging) +
       QStringLiteral(" && chmod +x ") + ShellQuote(staging) + QStringLiteral(" && mv -f ") +
       ShellQuote(staging) + QLatin1Char(' ') + ShellQuote(target) +
       QStringLiteral("; then\n  code=50\nelse\n  echo '!!!!!UPDATE ERROR!!!!!!!!'\n  rm -f ") +
       ShellQuote(staging) + QStringLiteral("\n  code=51\nfi\n");
  s += shellRestart(restart);
  return s.toUtf8();
}
