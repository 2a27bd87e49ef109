#include "base/OrganisationCode.h"

bool ParseOrganisationCode(const QString& text, qlonglong* value) {
  const QString t = text.trimmed();
  qsizetype i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) negative = t[i++] == QLatin1Char('-');
  if (i == t.size()) return false;
  while (i + 1 < t.size() && t[i] == QLatin1Char('0')) ++i;  // leading zeros
  const QString digits = t.mid(i);
  if (digits.size() > 18) return false;
  qlonglong n = 0;
  for (QChar c : digits) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    n = n * 10 + (c.unicode() - '0');
  }
  *value = negative ? -n : n;
  return true;
}

QString OrganisationCodeRefusal(const QString& text) {
  return QStringLiteral("Код организации не является числом: «") + text + QStringLiteral("»");
}
