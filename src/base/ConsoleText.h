#pragma once
// Text for the person who typed the command (--help, --version).
#include <QString>

// Writes the text to standard output as UTF-8. A Windows program built as a
// windowed one has no console of its own: there the text goes to the console
// of the command prompt that started it, in the console's own characters, or,
// when the output is redirected to a file or pipe, into that as UTF-8.
void WriteConsoleText(const QString& text);
