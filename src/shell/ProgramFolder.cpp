#include "shell/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString& folderSlot() {
  static QString folder;
  return folder;
}
}  // namespace

QString ProgramFolder() {
  QString& f = folderSlot();
  if (f.isEmpty()) {
    const QString env = qEnvironmentVariable("VARNOKEL_HOME");
    f = QDir::toNativeSeparators(env.isEmpty() ? QCoreApplication::applicationDirPath()
                                               : QDir(env).absolutePath());
  }
  return f;
}

void SetProgramFolder(const QString& folder) {
  folderSlot() = QDir::toNativeSeparators(QDir(folder).absolutePath());
}

QString JoinProgramPath(const QString& folder, const QString& name) {
  const QChar sep = QDir::separator();
  if (folder.endsWith(sep) || folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))) return folder + name;
  return folder + sep + name;
}

QString ProgramFile(const QString& name) { return JoinProgramPath(ProgramFolder(), name); }
