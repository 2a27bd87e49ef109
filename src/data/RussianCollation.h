#pragma once
// Name order as a Russian reader expects it: letters without regard to case,
// Ё beside Е, Latin before Cyrillic, digits and signs first. Ties are broken by
// the exact text so that the order is total.
#include <QString>
#include <QStringView>
#include <string>
#include <string_view>

struct sqlite3;

namespace collation {
// A key whose plain code-unit order is the Russian name order.
QString sortKey(QStringView text);
int compare(QStringView a, QStringView b);
// The same key built straight from UTF-8 text: its byte order is the order of
// sortKey() (UTF-8 keeps code point order).
std::string sortKeyUtf8(std::string_view utf8);
// The same, made in place over a copy of the text.
void foldUtf8InPlace(char* text, size_t size);
// Registers the order as the SQLite collation "RUSSIAN" on a connection.
bool registerWith(sqlite3* db);
}  // namespace collation
