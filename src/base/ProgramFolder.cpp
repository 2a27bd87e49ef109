#include "base/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {
QString& folderSlot() {
  static QString folder;
  return folder;
}
bool& userDataSlot() {
  static bool userData = false;
  return userData;
}
}  // namespace

QString UserDataFolder() {
  // ~/.local/share/Varnokel whatever the running executable is called.
  return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
      .filePath(QStringLiteral("Varnokel"));
}

bool ExecutableFolderIsInstalled(const QString& executableFolder) {
  const QDir dir(executableFolder);
  // Whether this user may create files there is found out by making one: on
  // Windows the folder's access rights decide (C:\Program Files), not a mode bit.
  QTemporaryFile probe(dir.absoluteFilePath(QStringLiteral(".varnokel-write-test-XXXXXX")));
  if (!probe.open()) return true;
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  // <prefix>/bin with the desktop entry in <prefix>/share: an installation,
  // even where this user may write (root, or a private prefix).
  return dir.dirName() == QLatin1String("bin") &&
         QFileInfo::exists(dir.absoluteFilePath(QStringLiteral("../share/applications/varnokel.desktop")));
#else
  return false;
#endif
}

QString ProgramFolder() {
  QString& f = folderSlot();
  if (f.isEmpty()) {
    const QString env = qEnvironmentVariable("VARNOKEL_HOME");
    if (!env.isEmpty()) {
      f = QDir::toNativeSeparators(QDir(env).absolutePath());
    } else {
      const QString exeDir = QCoreApplication::applicationDirPath();
      if (!exeDir.isEmpty() && ExecutableFolderIsInstalled(exeDir)) {
        const QString data = UserDataFolder();
        QDir().mkpath(data);
        userDataSlot() = true;
        f = QDir::toNativeSeparators(data);
      } else {
        f = QDir::toNativeSeparators(exeDir);
      }
    }
  }
  return f;
}

void SetProgramFolder(const QString& folder) {
  folderSlot() = QDir::toNativeSeparators(QDir(folder).absolutePath());
  userDataSlot() = false;
}

bool ProgramFolderIsUserData() {
  ProgramFolder();
  return userDataSlot();
}

QString JoinProgramPath(const QString& folder, const QString& name) {
  const QChar sep = QDir::separator();
  if (folder.endsWith(sep) || folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))
    return folder + name;
  return folder + sep + name;
}

QString ProgramFile(const QString& name) { return JoinProgramPath(ProgramFolder(), name); }
