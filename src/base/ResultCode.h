#pragma once
#include <QString>
#include <cstdint>

// The result code a finished update passes on the command line: the whole
// command line's value when it is above 9 and a whole 16-bit number; else 0.
int16_t ParseResultCode(const QString& commandLine);
