/* Stands in for Windows' tasklist.exe under wine, whose own tasklist prints
 * nothing. Answers what the update scripts ask,
 *     tasklist /FI "PID eq N" [/NH]
 * in Windows's layout: a row for process N while it runs, else the INFO line.
 * Built by the tests with x86_64-w64-mingw32-gcc. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  unsigned long pid = 0;
  int header = 1;
  for (int i = 1; i < argc; ++i) {
    if (_stricmp(argv[i], "/NH") == 0) {
      header = 0;
    } else if (_stricmp(argv[i], "/FI") == 0 && i + 1 < argc) {
      if (sscanf(argv[++i], "PID eq %lu", &pid) != 1) {
        fprintf(stderr, "ERROR: Invalid argument/option - '%s'.\r\n", argv[i]);
        return 1;
      }
    }
  }
  HANDLE process = pid ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, (DWORD)pid) : NULL;
  DWORD code = 0;
  if (!process || !GetExitCodeProcess(process, &code) || code != STILL_ACTIVE) {
    printf("INFO: No tasks are running which match the specified criteria.\r\n");
    return 0;
  }
  char path[MAX_PATH] = "unknown";
  DWORD size = MAX_PATH;
  QueryFullProcessImageNameA(process, 0, path, &size);
  const char* name = strrchr(path, '\\') ? strrchr(path, '\\') + 1 : path;
  printf("\r\n");
  if (header)
    printf("Image Name                     PID Session Name        Session#    Mem Usage\r\n"
           "========================= ======== ================ =========== ============\r\n");
  printf("%-25.25s %8lu %-16s %11d %10s K\r\n", name, pid, "Console", 1, "10,240");
  CloseHandle(process);
  return 0;
}
