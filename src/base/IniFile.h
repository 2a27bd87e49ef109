#pragma once
// settings.ini: an INI file read and written with the rules of the Windows
// profile-file functions, stored in the ANSI code page 1251 on every platform.
#include <QByteArray>
#include <QString>
#include <vector>

// Writes the default 13 lines when no file exists at path.
void CreateDefaultSettings(const QString& path);
// The file as read once, for several keys read together.
class IniSnapshot {
 public:
  explicit IniSnapshot(const QString& path);
  // The value of the key, or the default when the file, section or key is
  // missing. Surrounding blanks and one pair of enclosing quotes are dropped; at
  // most 254 characters come back.
  QString value(const QString& section, const QString& key, const QString& defaultValue) const;

 private:
  std::vector<QByteArray> lines_;
};

// One key read from the file as it is now (see IniSnapshot::value).
QString ReadSetting(const QString& path, const QString& section, const QString& key, const QString& defaultValue);
// Sets the key, creating the file, the section and the key as needed. Other lines
// stay byte for byte. Line breaks in the value are written as blanks. False, with
// the reason in *error, when the file cannot be read or written.
bool WriteSetting(const QString& path, const QString& section, const QString& key, const QString& value,
                  QString* error = nullptr);

// The default content of a new settings file.
QByteArray DefaultSettingsContent();

namespace cp1251 {
QByteArray encode(const QString& text);
QString decode(const QByteArray& bytes);
}  // namespace cp1251
