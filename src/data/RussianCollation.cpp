#include "data/RussianCollation.h"

#include <sqlite3.h>

namespace collation {
namespace {

// Primary weight of one character: case folded, Ё as Е.
char16_t fold(char16_t c) {
  if (c >= u'a' && c <= u'z') return c - 32;
  if (c >= 0x0430 && c <= 0x044F) return c - 0x20;  // а..я
  if (c == 0x0451 || c == 0x0401) return 0x0415;    // ё, Ё
  if (c >= 0x0450 && c <= 0x045F) return c - 0x50;  // other lower-case Cyrillic
  return c;
}

}  // namespace

QString sortKey(QStringView text) {
  QString key;
  key.resize(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) key[i] = QChar(fold(text[i].unicode()));
  return key;
}

void foldUtf8InPlace(char* key, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    auto b = static_cast<unsigned char>(key[i]);
    if (b >= 'a' && b <= 'z') {
      key[i] = static_cast<char>(b - 32);
    } else if ((b == 0xD0 || b == 0xD1) && i + 1 < n) {
      const auto c = static_cast<unsigned char>(key[i + 1]);
      const char16_t cp = static_cast<char16_t>(((b & 0x1F) << 6) | (c & 0x3F));
      const char16_t f = fold(cp);
      if (f != cp) {  // folded letters stay two bytes long (U+0400..U+042F)
        key[i] = static_cast<char>(0xC0 | (f >> 6));
        key[i + 1] = static_cast<char>(0x80 | (f & 0x3F));
      }
      ++i;
    }
  }
}

std::string sortKeyUtf8(std::string_view in) {
  std::string key(in);
  foldUtf8InPlace(key.data(), key.size());
  return key;
}

int compare(QStringView a, QStringView b) {
  const qsizetype n = std::min(a.size(), b.size());
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t x = fold(a[i].unicode());
    const char16_t y = fold(b[i].unicode());
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  // Same letters: upper case before lower case, Е before Ё, then code order.
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t x = a[i].unicode();
    const char16_t y = b[i].unicode();
    if (x == y) continue;
    const bool xe = (x == 0x0451 || x == 0x0401);
    const bool ye = (y == 0x0451 || y == 0x0401);
    if (xe != ye) return xe ? 1 : -1;
    return x < y ? -1 : 1;
  }
  return 0;
}

namespace {
int sqliteCompare(void*, int la, const void* a, int lb, const void* b) {
  const QString sa = QString::fromUtf8(static_cast<const char*>(a), la);
  const QString sb = QString::fromUtf8(static_cast<const char*>(b), lb);
  return compare(sa, sb);
}
}  // namespace

bool registerWith(sqlite3* db) {
  return db && sqlite3_create_collation(db, "RUSSIAN", SQLITE_UTF8, nullptr, &sqliteCompare) == SQLITE_OK;
}

}  // namespace collation
