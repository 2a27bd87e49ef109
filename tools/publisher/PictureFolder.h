// The shop's product-picture folder: the files of a picture name by the
// thumbnail and full-size name patterns ({name} stands for the picture's name).
#pragma once

#include <QByteArray>
#include <QString>

class PictureFolder {
 public:
  PictureFolder(QString folder, QString thumbPattern, QString fullPattern);

  // False with a Russian message when the folder is missing or not readable.
  bool check(QString* error) const;

  enum class Read { Ok, Missing, Failed };
  // The bytes of the thumbnail or the full picture of a picture name, as stored.
  // Missing: no such file, or a name that is not a plain file name (a name from
  // the database never leads out of the folder). Failed: the file exists but
  // cannot be read; *error says why.
  Read thumbnail(const QString& name, QByteArray* bytes, QString* error) const;
  Read full(const QString& name, QByteArray* bytes, QString* error) const;
  // Whether the thumbnail file is there, without reading it.
  bool hasThumbnail(const QString& name) const;

  QString folder() const { return m_folder; }
  QString thumbPath(const QString& name) const { return path(m_thumb, name); }

 private:
  QString path(const QString& pattern, const QString& name) const;
  Read read(const QString& pattern, const QString& name, QByteArray* bytes, QString* error) const;

  QString m_folder, m_thumb, m_full;
};
