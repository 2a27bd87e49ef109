// Puts files on the distribution server with the real curl: each file goes up
// under a temporary name beside its place and is then renamed into place by the
// server (RNFR/RNTO), so a client never downloads half a file and a failed
// upload leaves the server's file as it was. The password goes to curl on its
// standard input, never on a command line or into a message.
#pragma once

#include <QString>
#include <QStringList>

class ProgressReporter;

struct FtpAccount {
  QString host;  // host or host:port
  QString user;
  QString password;
  QString curl = QStringLiteral("curl");
  QString limitRate;  // empty: no limit
};

class FtpUploader {
 public:
  FtpUploader(FtpAccount account, ProgressReporter& progress);

  // Uploads localFile to remotePath (relative to the account's home, as the
  // client's download URL is). False with a Russian message on failure.
  bool upload(const QString& localFile, const QString& remotePath, const QString& title, QString* error);

 private:
  // Runs curl with the config lines on its standard input; false with a message
  // from curl's exit code and its last line. total (bytes) > 0 shows progress.
  bool runCurl(const QStringList& config, qint64 total, QString* error) const;
  QString url(const QString& folder, const QString& name) const;
  void removeQuietly(const QString& folder, const QString& name) const;

  FtpAccount m_account;
  ProgressReporter& m_progress;
};
