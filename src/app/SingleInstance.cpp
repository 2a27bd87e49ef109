#include "app/SingleInstance.h"

#include "base/ProgramFolder.h"
#include "gui/common/MessageBoxes.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#ifdef VARNOKEL_LOCAL_SOCKET
#include <QLocalServer>
#include <QLocalSocket>
#endif

namespace {

constexpr int kAnswerWaitMs = 2000;

QString serverNameFor(const QString& folder) {
  QString canonical = QFileInfo(folder).canonicalFilePath();
  if (canonical.isEmpty()) canonical = QDir(folder).absolutePath();
#ifdef Q_OS_WIN
  canonical = canonical.toLower();
#endif
  return QStringLiteral("Varnokel-") +
         QString::fromLatin1(QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

}  // namespace

SingleInstance::SingleInstance(const QString& folder)
    : folder_(folder),
      serverName_(serverNameFor(folder)),
      lock_(JoinProgramPath(folder, QStringLiteral("varnokel.lock"))) {
  // A running program keeps its lock however long it runs; a lock left by a
  // program that ended without removing it is taken over.
  lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim() {
  if (!lock_.tryLock(0)) {
    // A folder where no lock file can be made cannot be written by anyone.
    if (lock_.error() != QLockFile::LockFailedError) return true;
    if (askRunningToComeForward()) return false;
    msg::information(QStringLiteral("Программа заявок уже запущена с папкой %1. Перейдите в её окно или закройте её, "
                                    "прежде чем запускать программу снова.")
                         .arg(QDir::toNativeSeparators(folder_)));
    return false;
  }
#ifdef VARNOKEL_LOCAL_SOCKET
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(serverName_);         // a socket left by a program that ended
  if (!server_->listen(serverName_)) return true;  // works on; later starts are told it runs
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* s = server_->nextPendingConnection()) {
      connect(s, &QLocalSocket::readyRead, this, [this, s] {
        if (s->readAll().contains("forward") && comeForward_) comeForward_();
        s->write("ok\n");
        s->flush();
        s->disconnectFromServer();
      });
      connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
    }
  });
#endif
  return true;
}

bool SingleInstance::askRunningToComeForward() {
#ifndef VARNOKEL_LOCAL_SOCKET
  // A build without local sockets cannot reach the running program: the user is told.
  return false;
#else
  QLocalSocket s;
  s.connectToServer(serverName_);
  if (!s.waitForConnected(kAnswerWaitMs)) return false;
  s.write("forward\n");
  if (!s.waitForBytesWritten(kAnswerWaitMs)) return false;
  // The answer comes once the window has been brought forward.
  return s.waitForReadyRead(kAnswerWaitMs) && s.readAll().startsWith("ok");
#endif
}
