#include "base/Numbers.h"

#include <QLocale>
#include <cmath>

namespace num {

QString plain(double value) {
  if (value == 0) return QStringLiteral("0");
  QString s = QString::number(value, 'g', 15);
  if (s.contains(QLatin1Char('e'))) s = QString::number(value, 'f', 0);
  return s;
}

QString invariant(double value) {
  const QString s = plain(value);
  return value < 0 ? s : QStringLiteral(" ") + s;
}

QString locale(double value) {
  QLocale loc;
  loc.setNumberOptions(QLocale::OmitGroupSeparator);
  QString s = loc.toString(value, 'g', 15);
  if (s.contains(QLatin1Char('e'), Qt::CaseInsensitive)) s = loc.toString(value, 'f', 0);
  return s;
}

double leadingValue(const QString& text) {
  int i = 0;
  const int n = text.size();
  while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t'))) ++i;
  const int start = i;
  if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) ++i;
  const int digitsStart = i;
  while (i < n && text[i].isDigit() && text[i].unicode() < 128) ++i;
  if (i < n && text[i] == QLatin1Char('.')) {
    ++i;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) ++i;
  }
  if (i == digitsStart || (i == digitsStart + 1 && text[digitsStart] == QLatin1Char('.'))) return 0;
  int end = i;
  if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
    int j = i + 1;
    if (j < n && (text[j] == QLatin1Char('-') || text[j] == QLatin1Char('+'))) ++j;
    const int expDigits = j;
    while (j < n && text[j].isDigit() && text[j].unicode() < 128) ++j;
    if (j > expDigits) end = j;
  }
  bool ok = false;
  const double v = text.mid(start, end - start).toDouble(&ok);
  return ok ? v : 0;
}

double cellValue(const QString& text) {
  const QString t = text.trimmed();
  QLocale loc;
  bool ok = false;
  double v = loc.toDouble(t, &ok);
  if (ok) return v;
  v = QLocale::c().toDouble(t, &ok);
  if (ok) return v;
  return leadingValue(t);
}

long long roundHalfEven(double value) { return static_cast<long long>(std::nearbyint(value)); }

}  // namespace num
