#include "data/KeptJournalVfs.h"

#include <sqlite3.h>

#include <cstddef>
#include <new>
#include <vector>

namespace {

sqlite3_vfs* systemVfs = nullptr;

// Adjacent writes gathered up to this size go to the file as one. The system
// layer takes at most 128 KiB less one byte per write (a page is at most 64 KiB).
constexpr std::size_t kGatherLimit = 64 * 1024;

// A journal opened through this layer: its own methods in front, the system's
// file after it in the same block SQLite allocated.
struct JournalFile {
  sqlite3_file base;
  sqlite3_file* system;
  sqlite3_int64 pendingOffset;
  std::vector<char> pending;  // bytes to write at pendingOffset
};

constexpr std::size_t kSystemFileOffset = (sizeof(JournalFile) + 7) & ~std::size_t{7};

JournalFile* journal(sqlite3_file* f) { return reinterpret_cast<JournalFile*>(f); }
sqlite3_file* systemFile(sqlite3_file* f) { return journal(f)->system; }

int flush(JournalFile* j) {
  if (j->pending.empty()) return SQLITE_OK;
  const int rc =
      j->system->pMethods->xWrite(j->system, j->pending.data(), static_cast<int>(j->pending.size()), j->pendingOffset);
  j->pending.clear();
  return rc;
}

int journalClose(sqlite3_file* f) {
  JournalFile* j = journal(f);
  const int flushed = flush(j);
  const int closed = j->system->pMethods->xClose(j->system);
  j->pending.~vector();
  return flushed != SQLITE_OK ? flushed : closed;
}

int journalWrite(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
  JournalFile* j = journal(f);
  const auto size = static_cast<std::size_t>(amount);
  const bool adjacent =
      !j->pending.empty() && offset == j->pendingOffset + static_cast<sqlite3_int64>(j->pending.size());
  if (!adjacent || j->pending.size() + size > kGatherLimit) {
    if (const int rc = flush(j); rc != SQLITE_OK) return rc;
    if (size > kGatherLimit) return j->system->pMethods->xWrite(j->system, data, amount, offset);
    j->pendingOffset = offset;
  }
  try {
    const char* bytes = static_cast<const char*>(data);
    j->pending.insert(j->pending.end(), bytes, bytes + size);
  } catch (const std::bad_alloc&) {
    if (const int rc = flush(j); rc != SQLITE_OK) return rc;
    return j->system->pMethods->xWrite(j->system, data, amount, offset);
  }
  return SQLITE_OK;
}

int journalRead(sqlite3_file* f, void* data, int amount, sqlite3_int64 offset) {
  JournalFile* j = journal(f);
  if (const int rc = flush(j); rc != SQLITE_OK) return rc;
  return j->system->pMethods->xRead(j->system, data, amount, offset);
}

int journalTruncate(sqlite3_file* f, sqlite3_int64 size) {
  JournalFile* j = journal(f);
  if (const int rc = flush(j); rc != SQLITE_OK) return rc;
  return j->system->pMethods->xTruncate(j->system, size);
}

int journalSync(sqlite3_file* f, int flags) {
  JournalFile* j = journal(f);
  if (const int rc = flush(j); rc != SQLITE_OK) return rc;
  return j->system->pMethods->xSync(j->system, flags);
}

int journalFileSize(sqlite3_file* f, sqlite3_int64* size) {
  JournalFile* j = journal(f);
  if (const int rc = flush(j); rc != SQLITE_OK) return rc;
  return j->system->pMethods->xFileSize(j->system, size);
}

int journalLock(sqlite3_file* f, int level) { return systemFile(f)->pMethods->xLock(systemFile(f), level); }

int journalUnlock(sqlite3_file* f, int level) { return systemFile(f)->pMethods->xUnlock(systemFile(f), level); }

int journalCheckReservedLock(sqlite3_file* f, int* out) {
  return systemFile(f)->pMethods->xCheckReservedLock(systemFile(f), out);
}

int journalFileControl(sqlite3_file* f, int op, void* arg) {
  if (const int rc = flush(journal(f)); rc != SQLITE_OK) return rc;
  return systemFile(f)->pMethods->xFileControl(systemFile(f), op, arg);
}

int journalSectorSize(sqlite3_file* f) { return systemFile(f)->pMethods->xSectorSize(systemFile(f)); }

int journalDeviceCharacteristics(sqlite3_file* f) {
  return systemFile(f)->pMethods->xDeviceCharacteristics(systemFile(f));
}

const sqlite3_io_methods kJournalMethods = {
    1,  // no shared memory or memory mapping: a journal uses neither
    journalClose,
    journalRead,
    journalWrite,
    journalTruncate,
    journalSync,
    journalFileSize,
    journalLock,
    journalUnlock,
    journalCheckReservedLock,
    journalFileControl,
    journalSectorSize,
    journalDeviceCharacteristics,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

int openSystemFile(sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  if (name && (flags & SQLITE_OPEN_MAIN_JOURNAL) && (flags & SQLITE_OPEN_CREATE)) {
    int exists = 0;
    if (systemVfs->xAccess(systemVfs, name, SQLITE_ACCESS_EXISTS, &exists) == SQLITE_OK && exists &&
        systemVfs->xOpen(systemVfs, name, file, flags & ~SQLITE_OPEN_CREATE, outFlags) == SQLITE_OK)
      return SQLITE_OK;
  }
  return systemVfs->xOpen(systemVfs, name, file, flags, outFlags);
}

int openFile(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  if (!(flags & SQLITE_OPEN_MAIN_JOURNAL)) return openSystemFile(name, file, flags, outFlags);
  JournalFile* j = journal(file);
  j->base.pMethods = nullptr;
  j->system = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + kSystemFileOffset);
  const int rc = openSystemFile(name, j->system, flags, outFlags);
  if (rc != SQLITE_OK) return rc;
  new (&j->pending) std::vector<char>();
  j->pendingOffset = 0;
  j->base.pMethods = &kJournalMethods;
  return SQLITE_OK;
}

sqlite3_vfs* registered() {
  static sqlite3_vfs vfs{};
  static const bool ready = [] {
    systemVfs = sqlite3_vfs_find(nullptr);
    if (!systemVfs) return false;
    vfs = *systemVfs;  // every other call, and the system layer's own data, as they are
    vfs.zName = "varnokel-kept-journal";
    vfs.pNext = nullptr;
    vfs.szOsFile = static_cast<int>(kSystemFileOffset) + systemVfs->szOsFile;
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
