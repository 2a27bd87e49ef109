#include "base/ConsoleText.h"

#include <QByteArray>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cstdio>
#endif

#ifdef Q_OS_WIN
namespace {

bool usable(HANDLE h) {
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
  // A windowed program may inherit a number that names nothing.
  SetLastError(NO_ERROR);
  return GetFileType(h) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
}

}  // namespace

void WriteConsoleText(const QString& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE opened = INVALID_HANDLE_VALUE;
  if (!usable(out) && AttachConsole(ATTACH_PARENT_PROCESS)) {
    opened = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
    out = opened;
  }
  if (!usable(out)) return;
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(out, &mode)) {
    // The console shows UTF-16 whatever its code page.
    WriteConsoleW(out, reinterpret_cast<const wchar_t*>(text.utf16()), static_cast<DWORD>(text.size()), &written,
                  nullptr);
  } else {
    const QByteArray bytes = text.toUtf8();
    WriteFile(out, bytes.constData(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
  if (opened != INVALID_HANDLE_VALUE) CloseHandle(opened);
}

#else

void WriteConsoleText(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
  std::fflush(stdout);
}

#endif
