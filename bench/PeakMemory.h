#pragma once
// The process's peak memory in MB, the one platform-specific call of the
// benchmarks: the resident set on POSIX systems, the working set on Windows;
// -1 where neither is known.
#include <QtGlobal>

#if defined(Q_OS_WIN)
#define PSAPI_VERSION 2  // GetProcessMemoryInfo from kernel32, no psapi library
#include <psapi.h>
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <sys/resource.h>
#endif

inline long PeakMemoryMb() {
#if defined(Q_OS_WIN)
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
  return static_cast<long>(counters.PeakWorkingSetSize / (1024 * 1024));
#elif defined(Q_OS_UNIX)
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
#if defined(Q_OS_MACOS)
  return ru.ru_maxrss / (1024 * 1024);  // bytes there
#else
  return ru.ru_maxrss / 1024;  // kilobytes
#endif
#else
  return -1;
#endif
}
