#pragma once
// Number notations used wherever numbers become text or text becomes a number.
#include <QString>

namespace num {

// " 12", "-3", " 12.5": one blank before a non-negative number, "." as decimal
// point, no grouping, at most 15 significant digits.
QString invariant(double value);
// The same without the leading blank: for statements, which must read the number
// whatever the user's locale.
QString plain(double value);
// The locale's default text of a number: no blank, the locale's decimal separator,
// no grouping ("37,5" in a Russian locale).
QString locale(double value);
// The number at the start of a text, "." as the only decimal point; leading blanks
// are skipped; 0 when the text does not start with a number ("?" gives 0).
double leadingValue(const QString& text);
// Reads a cell or field text in the notation it was written in: the locale's
// decimal separator or "."; falls back to the leading-number value.
double cellValue(const QString& text);
// Rounds half to even, as the width settings require.
long long roundHalfEven(double value);

}  // namespace num
