#include "base/IniFile.h"

#include <QFile>
#include <QSaveFile>
#include <array>
#include <optional>

namespace cp1251 {
namespace {

// Code points of the bytes 0x80..0xFF; 0 marks the one unassigned byte (0x98).
constexpr std::array<char16_t, 128> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0000, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

std::optional<char> encodeChar(char16_t c) {
  if (c < 0x80) return static_cast<char>(c);
  if (c >= 0x0410 && c <= 0x044F) return static_cast<char>(0xC0 + (c - 0x0410));
  for (size_t i = 0; i < 64; ++i)
    if (kHigh[i] == c && c != 0) return static_cast<char>(0x80 + i);
  return std::nullopt;
}

}  // namespace

QByteArray encode(const QString& text) {
  QByteArray out;
  out.reserve(text.size());
  for (QChar ch : text) out.append(encodeChar(ch.unicode()).value_or('?'));
  return out;
}

QString decode(const QByteArray& bytes) {
  QString out;
  out.reserve(bytes.size());
  for (char b : bytes) {
    const auto u = static_cast<unsigned char>(b);
    if (u < 0x80)
      out.append(QChar(u));
    else if (u >= 0xC0)
      out.append(QChar(char16_t(0x0410 + (u - 0xC0))));
    else
      out.append(kHigh[u - 0x80] ? QChar(kHigh[u - 0x80]) : QChar(0xFFFD));
  }
  return out;
}

}  // namespace cp1251

namespace {

constexpr int kBufferChars = 254;  // 255-character buffer less its terminator

// Splits the file into lines; CR LF, LF and CR all end a line.
std::vector<QByteArray> splitLines(const QByteArray& data) {
  std::vector<QByteArray> lines;
  qsizetype start = 0;
  for (qsizetype i = 0; i < data.size(); ++i) {
    if (data[i] == '\r' || data[i] == '\n') {
      lines.push_back(data.mid(start, i - start));
      if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < data.size()) lines.push_back(data.mid(start));
  return lines;
}

std::optional<QString> sectionName(const QByteArray& line) {
  const QByteArray t = line.trimmed();
  if (!t.startsWith('[')) return std::nullopt;
  const qsizetype close = t.indexOf(']');
  if (close < 0) return std::nullopt;
  return cp1251::decode(t.mid(1, close - 1).trimmed());
}

std::optional<QString> keyName(const QByteArray& line) {
  const qsizetype eq = line.indexOf('=');
  if (eq < 0) return std::nullopt;
  return cp1251::decode(line.left(eq).trimmed());
}

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

QString unquote(QString v) {
  v = v.trimmed();
  if (v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\'')) && v.back() == v.front())
    v = v.mid(1, v.size() - 2);
  return v;
}

QString cut(const QString& v) { return v.size() > kBufferChars ? v.left(kBufferChars) : v; }

}  // namespace

QByteArray DefaultSettingsContent() {
  static const char* const lines[] = {"[authentication]", "id=?",          "login=?",  "[settings]", "imagetostring=?",
                                      "imagethumb=?",     "visiblesumm=0", "[forms]",  "name=6000",  "remainder=1000",
                                      "price=1000",       "order=1000",    "summ=1000"};
  QByteArray out;
  for (const char* l : lines) out += QByteArray(l) + "\r\n";
  return out;
}

void CreateDefaultSettings(const QString& path) {
  if (QFile::exists(path)) return;
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return;
  f.write(DefaultSettingsContent());
}

IniSnapshot::IniSnapshot(const QString& path) {
  QFile f(path);
  if (f.open(QIODevice::ReadOnly)) lines_ = splitLines(f.readAll());
}

QString IniSnapshot::value(const QString& section, const QString& key, const QString& defaultValue) const {
  bool inSection = false;
  for (const auto& line : lines_) {
    if (auto s = sectionName(line)) {
      if (inSection) break;
      inSection = sameName(*s, section);
      continue;
    }
    if (!inSection) continue;
    auto k = keyName(line);
    if (k && sameName(*k, key)) return cut(unquote(cp1251::decode(line.mid(line.indexOf('=') + 1))));
  }
  return cut(defaultValue.trimmed());
}

QString ReadSetting(const QString& path, const QString& section, const QString& key, const QString& defaultValue) {
  return IniSnapshot(path).value(section, key, defaultValue);
}

bool WriteSetting(const QString& path, const QString& section, const QString& key, const QString& value,
                  QString* error) {
  auto fail = [&](const QFileDevice& f) {
    if (error) *error = f.errorString();
    return false;
  };
  QString clean = value;
  clean.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));

  QByteArray data;
  {
    QFile f(path);
    if (f.exists() && !f.open(QIODevice::ReadOnly)) return fail(f);
    if (f.isOpen()) data = f.readAll();
  }
  const QByteArray keyBytes = cp1251::encode(key.trimmed());
  const QByteArray valueBytes = cp1251::encode(clean);

  // Find the section and the key line by their byte spans, so that every other
  // byte of the file stays as it was.
  std::vector<std::pair<qsizetype, qsizetype>> spans;  // [start, end) of each line's text
  std::vector<qsizetype> nexts;                        // start of the next line
  for (qsizetype i = 0, start = 0; i <= data.size(); ++i) {
    if (i == data.size()) {
      if (start < data.size()) {
        spans.push_back({start, i});
        nexts.push_back(i);
      }
      break;
    }
    if (data[i] == '\r' || data[i] == '\n') {
      const qsizetype end = i;
      if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
      spans.push_back({start, end});
      nexts.push_back(i + 1);
      start = i + 1;
    }
  }
  auto lineAt = [&](size_t n) { return data.mid(spans[n].first, spans[n].second - spans[n].first); };

  std::optional<size_t> sectionLine;
  std::optional<size_t> lastContent;
  for (size_t n = 0; n < spans.size(); ++n) {
    const QByteArray line = lineAt(n);
    if (auto s = sectionName(line)) {
      if (sectionLine) break;
      if (sameName(*s, section)) {
        sectionLine = n;
        lastContent = n;
      }
      continue;
    }
    if (!sectionLine) continue;
    if (!line.trimmed().isEmpty()) lastContent = n;
    auto k = keyName(line);
    if (k && sameName(*k, key)) {
      const QByteArray replaced = line.left(line.indexOf('=')).trimmed() + '=' + valueBytes;
      data.replace(spans[n].first, spans[n].second - spans[n].first, replaced);
      goto save;
    }
  }
  if (sectionLine) {
    const qsizetype at = nexts[*lastContent];
    QByteArray insert = keyBytes + '=' + valueBytes + "\r\n";
    if (at == data.size() && spans[*lastContent].second == data.size()) insert.prepend("\r\n");
    data.insert(at, insert);
  } else {
    if (!data.isEmpty() && !data.endsWith('\n') && !data.endsWith('\r')) data += "\r\n";
    data += '[' + cp1251::encode(section.trimmed()) + "]\r\n" + keyBytes + '=' + valueBytes + "\r\n";
  }
save:
  QSaveFile out(path);
  if (!out.open(QIODevice::WriteOnly)) return fail(out);
  out.write(data);
  if (!out.commit()) return fail(out);
  return true;
}
