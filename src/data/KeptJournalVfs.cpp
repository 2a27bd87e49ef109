#include "data/KeptJournalVfs.h"

#include <sqlite3.h>

namespace {

sqlite3_vfs* systemVfs = nullptr;

int openFile(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  if (name && (flags & SQLITE_OPEN_MAIN_JOURNAL) && (flags & SQLITE_OPEN_CREATE)) {
    int exists = 0;
    if (systemVfs->xAccess(systemVfs, name, SQLITE_ACCESS_EXISTS, &exists) == SQLITE_OK && exists &&
        systemVfs->xOpen(systemVfs, name, file, flags & ~SQLITE_OPEN_CREATE, outFlags) == SQLITE_OK)
      return SQLITE_OK;
  }
  return systemVfs->xOpen(systemVfs, name, file, flags, outFlags);
}

sqlite3_vfs* registered() {
  static sqlite3_vfs vfs{};
  static const bool ready = [] {
    systemVfs = sqlite3_vfs_find(nullptr);
    if (!systemVfs) return false;
    vfs = *systemVfs;  // every other call, and the system layer's own data, as they are
    vfs.zName = "varnokel-kept-journal";
    vfs.pNext = nullptr;
    vfs.xOpen = openFile;
    return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK;
  }();
  return ready ? &vfs : nullptr;
}

}  // namespace

const char* KeptJournalVfs() {
  const sqlite3_vfs* vfs = registered();
  return vfs ? vfs->zName : nullptr;
}
