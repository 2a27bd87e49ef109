/* Stand-ins for the programs the Windows update scripts run, built with MinGW by
 * the test and run under wine. One program; its file name picks the part it plays:
 *
 *   curl.exe      copies STANDIN_SERVER\<path of the URL> to the -o file (the file
 *                 time too with --remote-time). 78 when the file is not there, 67
 *                 when --user differs from STANDIN_ACCOUNT (when set). With
 *                 STANDIN_CURL_BYTES only that many bytes are written; with
 *                 STANDIN_CURL_EXIT that code is returned.
 *   tasklist.exe  prints what Windows prints for  tasklist /FI "PID eq N" /NH
 *                 (wine's own prints nothing).
 *   marker.exe    must never run: it only leaves its trace in the log.
 *   anything else plays the program: --version prints "Varnokel 1.0.0";
 *                 --check-price-file FILE hands FILE's bytes to the test (folder
 *                 STANDIN_BRIDGE: request, then the answer with the exit code)
 *                 so that the real check decides; a result code is logged with the
 *                 contents of update.reason, and 30 writes updateexe.bat from
 *                 standin-on30.bat (987654321 replaced by this process's id),
 *                 starts it as the program does and stays STANDIN_LINGER_MS.
 *
 * Every run appends one line to STANDIN_LOG (UTF-8, fields separated by tabs):
 * part, process id, current folder, own path, arguments. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

static char* utf8(const wchar_t* w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, NULL, 0, NULL, NULL);
  char* s = (char*)malloc(n > 0 ? n : 1);
  if (n <= 0)
    s[0] = 0;
  else
    WideCharToMultiByte(CP_UTF8, 0, w, -1, s, n, NULL, NULL);
  return s;
}

static const wchar_t* env(const wchar_t* name) {
  static wchar_t buffers[8][4096];
  static int next = 0;
  wchar_t* b = buffers[next++ % 8];
  DWORD n = GetEnvironmentVariableW(name, b, 4096);
  return (n > 0 && n < 4096) ? b : NULL;
}

static void logLine(const wchar_t* part, int argc, wchar_t** argv, const char* extra) {
  const wchar_t* path = env(L"STANDIN_LOG");
  if (!path) return;
  wchar_t cwd[MAX_PATH * 2], self[MAX_PATH * 2];
  GetCurrentDirectoryW(MAX_PATH * 2, cwd);
  GetModuleFileNameW(NULL, self, MAX_PATH * 2);
  char line[16384];
  char* c = utf8(cwd);
  char* s = utf8(self);
  char* p = utf8(part);
  int len = snprintf(line, sizeof line, "%s\t%lu\t%s\t%s", p, (unsigned long)GetCurrentProcessId(), c, s);
  for (int i = 1; i < argc && len < (int)sizeof line; ++i) {
    char* a = utf8(argv[i]);
    len += snprintf(line + len, sizeof line - len, "\t%s", a);
    free(a);
  }
  if (extra && len < (int)sizeof line) len += snprintf(line + len, sizeof line - len, "\t%s", extra);
  if (len < (int)sizeof line - 1) line[len++] = '\n';
  HANDLE h = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h != INVALID_HANDLE_VALUE) {
    DWORD written;
    WriteFile(h, line, (DWORD)len, &written, NULL);
    CloseHandle(h);
  }
  free(c);
  free(s);
  free(p);
}

static char* readFile(const wchar_t* path, DWORD* size) {
  HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) return NULL;
  DWORD n = GetFileSize(h, NULL), got = 0;
  char* data = (char*)malloc(n + 1);
  if (n > 0 && !ReadFile(h, data, n, &got, NULL)) got = 0;
  CloseHandle(h);
  data[got] = 0;
  *size = got;
  return data;
}

static BOOL writeFile(const wchar_t* path, const char* data, DWORD size) {
  HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) return FALSE;
  DWORD written = 0;
  BOOL ok = size == 0 || (WriteFile(h, data, size, &written, NULL) && written == size);
  CloseHandle(h);
  return ok;
}

/* ---- curl.exe */

static int hexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

static int curl(int argc, wchar_t** argv) {
  const wchar_t *target = NULL, *url = NULL, *user = NULL;
  BOOL remoteTime = FALSE;
  for (int i = 1; i < argc; ++i) {
    if (wcscmp(argv[i], L"-o") == 0 && i + 1 < argc)
      target = argv[++i];
    else if (wcscmp(argv[i], L"--user") == 0 && i + 1 < argc)
      user = argv[++i];
    else if (wcscmp(argv[i], L"--remote-time") == 0)
      remoteTime = TRUE;
    else if (wcsncmp(argv[i], L"ftp://", 6) == 0)
      url = argv[i];
  }
  const wchar_t* account = env(L"STANDIN_ACCOUNT");
  const wchar_t* server = env(L"STANDIN_SERVER");
  const wchar_t* exitText = env(L"STANDIN_CURL_EXIT");
  const wchar_t* bytesText = env(L"STANDIN_CURL_BYTES");
  if (!target || !url || !server) return 2;
  if (account && (!user || wcscmp(account, user) != 0)) return 67;

  /* The file's path on the server: the URL after the host, percent-decoded. */
  wchar_t source[4096];
  size_t n = wcslen(server);
  wcsncpy(source, server, 4095);
  const wchar_t* p = wcschr(url + 6, L'/');
  for (; p && *p && n < 4090; ++p) {
    if (*p == L'%' && hexValue(p[1]) >= 0 && hexValue(p[2]) >= 0) {
      source[n++] = (wchar_t)(hexValue(p[1]) * 16 + hexValue(p[2]));
      p += 2;
    } else {
      source[n++] = *p == L'/' ? L'\\' : *p;
    }
  }
  source[n] = 0;

  DWORD size = 0;
  char* data = readFile(source, &size);
  if (!data) return 78;
  if (bytesText && (DWORD)_wtoi(bytesText) < size) size = (DWORD)_wtoi(bytesText);
  if (!writeFile(target, data, size)) return 23;
  free(data);
  if (remoteTime) {
    HANDLE from = CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE to = CreateFileW(target, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    FILETIME t;
    if (from != INVALID_HANDLE_VALUE && to != INVALID_HANDLE_VALUE && GetFileTime(from, NULL, NULL, &t))
      SetFileTime(to, NULL, NULL, &t);
    if (from != INVALID_HANDLE_VALUE) CloseHandle(from);
    if (to != INVALID_HANDLE_VALUE) CloseHandle(to);
  }
  return exitText ? _wtoi(exitText) : 0;
}

/* ---- tasklist.exe */

static int tasklist(int argc, wchar_t** argv) {
  unsigned long pid = 0;
  for (int i = 1; i < argc; ++i)
    if (_wcsnicmp(argv[i], L"PID eq ", 7) == 0) pid = wcstoul(argv[i] + 7, NULL, 10);
  HANDLE h = pid ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, (DWORD)pid) : NULL;
  DWORD code = 0;
  if (h && GetExitCodeProcess(h, &code) && code == STILL_ACTIVE) {
    wchar_t image[MAX_PATH * 2] = L"Varnokel.exe";
    DWORD length = MAX_PATH * 2;
    if (QueryFullProcessImageNameW(h, 0, image, &length)) {
      const wchar_t* base = wcsrchr(image, L'\\');
      if (base) memmove(image, base + 1, (wcslen(base + 1) + 1) * sizeof(wchar_t));
    }
    char* name = utf8(image);
    printf("%-25s %8lu %-16s %11d %12s K\r\n", name, pid, "Console", 1, "12,345");
    free(name);
  } else {
    printf("INFO: No tasks are running which match the specified criteria.\r\n");
  }
  if (h) CloseHandle(h);
  return 0;
}

/* ---- the program */

static int checkPriceFile(const wchar_t* file) {
  const wchar_t* bridge = env(L"STANDIN_BRIDGE");
  DWORD size = 0;
  char* data = readFile(file, &size);
  if (!data) return 1;
  if (!bridge) return 3;
  wchar_t request[4096], pending[4096], answer[4096];
  swprintf(request, 4096, L"%ls\\request", bridge);
  swprintf(pending, 4096, L"%ls\\request.tmp", bridge);
  swprintf(answer, 4096, L"%ls\\answer", bridge);
  DeleteFileW(answer);
  if (!writeFile(pending, data, size) || !MoveFileExW(pending, request, MOVEFILE_REPLACE_EXISTING)) return 3;
  free(data);
  for (int i = 0; i < 600; ++i) {
    char* text = readFile(answer, &size);
    if (text && size > 0) {
      int code = atoi(text);
      free(text);
      DeleteFileW(answer);
      return code;
    }
    free(text);
    Sleep(100);
  }
  return 3;
}

/* Writes updateexe.bat from the template and starts it as the program does:
 * cmd /d /v:off /c updateexe.bat in a console window of its own. */
static void startReplacement(void) {
  DWORD size = 0;
  char* text = readFile(L"standin-on30.bat", &size);
  if (!text) return;
  char pid[32];
  snprintf(pid, sizeof pid, "%lu", (unsigned long)GetCurrentProcessId());
  char* out = (char*)malloc(size * 2 + 64);
  size_t n = 0;
  for (const char* p = text; *p;) {
    if (strncmp(p, "987654321", 9) == 0) {
      memcpy(out + n, pid, strlen(pid));
      n += strlen(pid);
      p += 9;
    } else {
      out[n++] = *p++;
    }
  }
  writeFile(L"updateexe.bat", out, (DWORD)n);
  free(out);
  free(text);
  wchar_t command[] = L"cmd.exe /d /v:off /c updateexe.bat";
  STARTUPINFOW si;
  PROCESS_INFORMATION pi;
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  if (CreateProcessW(NULL, command, NULL, NULL, FALSE, CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT, NULL, NULL, &si,
                     &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

static int program(int argc, wchar_t** argv) {
  if (argc == 2 && wcscmp(argv[1], L"--version") == 0) {
    printf("Varnokel 1.0.0\r\n");
    return 0;
  }
  if (argc == 3 && wcscmp(argv[1], L"--check-price-file") == 0) {
    int code = checkPriceFile(argv[2]);
    logLine(L"check", argc, argv, code == 0 ? "ok" : "refused");
    return code;
  }
  DWORD size = 0;
  char* reason = readFile(L"update.reason", &size);
  if (reason) {
    for (char* p = reason; *p; ++p)
      if (*p == '\r' || *p == '\n') *p = ' ';
  }
  logLine(L"program", argc, argv, reason ? reason : "");
  free(reason);
  if (argc == 2 && wcscmp(argv[1], L"30") == 0) {
    startReplacement();
    const wchar_t* linger = env(L"STANDIN_LINGER_MS");
    Sleep(linger ? (DWORD)_wtoi(linger) : 1500);
  }
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  wchar_t self[MAX_PATH * 2];
  GetModuleFileNameW(NULL, self, MAX_PATH * 2);
  const wchar_t* base = wcsrchr(self, L'\\');
  base = base ? base + 1 : self;
  if (_wcsicmp(base, L"curl.exe") == 0) {
    int code = curl(argc, argv);
    char text[16];
    snprintf(text, sizeof text, "exit %d", code);
    logLine(L"curl", argc, argv, text);
    return code;
  }
  if (_wcsicmp(base, L"tasklist.exe") == 0) return tasklist(argc, argv);
  if (_wcsicmp(base, L"marker.exe") == 0) {
    logLine(L"marker", argc, argv, NULL);
    return 0;
  }
  return program(argc, argv);
}
