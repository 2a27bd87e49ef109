#include "FtpUploader.h"

#include "ProgressReporter.h"

#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>

#include <utility>

namespace {

// A value in double quotes as curl's config file reads it.
QString quoted(QString value) {
  value.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
  return QLatin1Char('"') + value + QLatin1Char('"');
}

QString line(const char* option, const QString& value) {
  return QLatin1String(option) + QStringLiteral(" = ") + quoted(value);
}

// What a curl exit code means for the one who runs the publisher.
QString curlReason(int code) {
  switch (code) {
    case 6:
      return QStringLiteral("имя FTP-сервера не найдено");
    case 7:
      return QStringLiteral("FTP-сервер не отвечает");
    case 9:
      return QStringLiteral("нет доступа к папке на FTP-сервере");
    case 25:
      return QStringLiteral("FTP-сервер не принял файл");
    case 28:
      return QStringLiteral("истекло время ожидания FTP-сервера");
    case 21:
      return QStringLiteral("FTP-сервер не дал переименовать файл");
    case 55:
    case 56:
      return QStringLiteral("связь с FTP-сервером прервалась");
    case 67:
      return QStringLiteral("FTP-сервер не принял имя пользователя или пароль");
    default:
      return QStringLiteral("curl завершился с кодом %1").arg(code);
  }
}

// The upload percentage in curl's progress bar output ("####   42.5%").
double lastPercent(const QByteArray& text) {
  static const QRegularExpression percent(QStringLiteral("(\\d+(?:\\.\\d+)?)%"));
  double last = -1;
  for (auto it = percent.globalMatch(QString::fromLatin1(text)); it.hasNext();) last = it.next().captured(1).toDouble();
  return last;
}

}  // namespace

FtpUploader::FtpUploader(FtpAccount account, ProgressReporter& progress)
    : m_account(std::move(account)), m_progress(progress) {}

QString FtpUploader::url(const QString& folder, const QString& name) const {
  return QStringLiteral("ftp://") + m_account.host + QString::fromLatin1(QUrl::toPercentEncoding(folder + name, "/"));
}

bool FtpUploader::upload(const QString& localFile, const QString& remotePath, const QString& title, QString* error) {
  const QString path = remotePath.startsWith(QLatin1Char('/')) ? remotePath : QLatin1Char('/') + remotePath;
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  const QString folder = path.left(slash + 1), name = path.mid(slash + 1);
  const QString partial =
      QStringLiteral("%1.%2.part").arg(name).arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
  const QStringList config{
      line("upload-file", localFile),
      line("url", url(folder, partial)),
      // After the transfer, in the file's folder: the temporary name becomes the real one.
      line("quote", QStringLiteral("-RNFR ") + partial),
      line("quote", QStringLiteral("-RNTO ") + name),
  };
  m_progress.begin(title, QFileInfo(localFile).size(), ProgressReporter::Unit::Bytes);
  if (runCurl(config, QFileInfo(localFile).size(), error)) {
    m_progress.end();
    return true;
  }
  m_progress.end();
  removeQuietly(folder, partial);
  *error = QStringLiteral("не удалось выгрузить %1 на FTP-сервер %2: %3; файл на сервере не изменён")
               .arg(QFileInfo(localFile).fileName(), m_account.host, *error);
  return false;
}

void FtpUploader::removeQuietly(const QString& folder, const QString& name) const {
  QString ignored;
  runCurl({line("url", url(folder, QString())), line("quote", QStringLiteral("DELE ") + name), QStringLiteral("head")},
          0, &ignored);
}

bool FtpUploader::runCurl(const QStringList& config, qint64 total, QString* error) const {
  QStringList lines{line("user", m_account.user + QLatin1Char(':') + m_account.password)};
  lines += config;
  QStringList args{QStringLiteral("-q"),
                   QStringLiteral("--config"),
                   QStringLiteral("-"),
                   QStringLiteral("--show-error"),
                   QStringLiteral("--connect-timeout"),
                   QStringLiteral("30"),
                   QStringLiteral("--speed-limit"),
                   QStringLiteral("1"),
                   QStringLiteral("--speed-time"),
                   QStringLiteral("60")};
  args << (total > 0 ? QStringLiteral("--progress-bar") : QStringLiteral("--silent"));
  if (!m_account.limitRate.isEmpty()) args << QStringLiteral("--limit-rate") << m_account.limitRate;

  QProcess curl;
  curl.setReadChannel(QProcess::StandardError);
  curl.start(m_account.curl, args);
  if (!curl.waitForStarted(30000)) {
    *error = QStringLiteral("не удалось запустить %1 (%2)").arg(m_account.curl, curl.errorString());
    return false;
  }
  curl.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
  curl.closeWriteChannel();
  QByteArray messages;
  while (curl.state() != QProcess::NotRunning) {
    curl.waitForReadyRead(200);
    const QByteArray chunk = curl.readAllStandardError();
    messages += chunk;
    const double percent = lastPercent(chunk);
    if (total > 0 && percent >= 0) m_progress.update(qint64(double(total) * percent / 100.0));
  }
  messages += curl.readAllStandardError();
  if (curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0) return true;
  // curl's own last message ("curl: (67) Access denied: 530"), without the progress bar.
  QString last;
  for (const QByteArray& l : messages.split('\n'))
    if (l.contains("curl:")) last = QString::fromLocal8Bit(l.mid(l.indexOf("curl:"))).trimmed();
  *error = curl.exitStatus() != QProcess::NormalExit ? QStringLiteral("curl прерван") : curlReason(curl.exitCode());
  if (!last.isEmpty()) *error += QStringLiteral(" (%1)").arg(last);
  return false;
}
