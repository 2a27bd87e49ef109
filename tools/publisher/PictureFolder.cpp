#include "PictureFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

namespace {

bool isPlainFileName(const QString& name) {
  return !name.isEmpty() && name != u"." && name != u".." && !name.contains(QLatin1Char('/')) &&
         !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

}  // namespace

PictureFolder::PictureFolder(QString folder, QString thumbPattern, QString fullPattern)
    : m_folder(std::move(folder)), m_thumb(std::move(thumbPattern)), m_full(std::move(fullPattern)) {}

bool PictureFolder::check(QString* error) const {
  const QFileInfo info(m_folder);
  if (!info.isDir())
    *error = QStringLiteral("нет папки картинок товаров %1 (параметр --pictures)").arg(m_folder);
  else if (!info.isReadable() || !info.isExecutable())
    *error = QStringLiteral("нет доступа к папке картинок товаров %1").arg(m_folder);
  else
    return true;
  return false;
}

QString PictureFolder::path(const QString& pattern, const QString& name) const {
  return QDir(m_folder).filePath(QString(pattern).replace(QLatin1String("{name}"), name));
}

bool PictureFolder::hasThumbnail(const QString& name) const {
  return isPlainFileName(name) && QFileInfo(path(m_thumb, name)).isFile();
}

PictureFolder::Read PictureFolder::thumbnail(const QString& name, QByteArray* bytes, QString* error) const {
  return read(m_thumb, name, bytes, error);
}

PictureFolder::Read PictureFolder::full(const QString& name, QByteArray* bytes, QString* error) const {
  return read(m_full, name, bytes, error);
}

PictureFolder::Read PictureFolder::read(const QString& pattern, const QString& name, QByteArray* bytes,
                                        QString* error) const {
  if (!isPlainFileName(name)) return Read::Missing;
  QFile file(path(pattern, name));
  if (!file.open(QIODevice::ReadOnly)) {
    if (!file.exists()) return Read::Missing;
    *error = QStringLiteral("не удалось прочитать картинку %1: %2").arg(file.fileName(), file.errorString());
    return Read::Failed;
  }
  *bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    *error = QStringLiteral("не удалось прочитать картинку %1: %2").arg(file.fileName(), file.errorString());
    return Read::Failed;
  }
  return Read::Ok;
}
