#include "base/ResultCode.h"

#include "base/Numbers.h"

int16_t ParseResultCode(const QString& commandLine) {
  if (num::leadingValue(commandLine) <= 9) return 0;
  bool ok = false;
  const short code = commandLine.trimmed().toShort(&ok);
  return ok ? code : 0;
}
