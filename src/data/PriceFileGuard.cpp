#include "data/PriceFileGuard.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr qsizetype kHeaderSize = 100;
const QByteArray kJournalMagic = QByteArray::fromHex("d9d505f920a163d7");

quint32 be32(const QByteArray& b, qsizetype at) {
  return qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(b.constData() + at));
}

int pageSizeOf(const QByteArray& header) {
  const int v = qFromBigEndian<quint16>(reinterpret_cast<const uchar*>(header.constData() + 16));
  return v == 1 ? 65536 : v;
}

QByteArray readAt(QFile& f, qint64 offset, qint64 size) {
  if (!f.seek(offset)) return {};
  QByteArray b = f.read(size);
  return b.size() == size ? b : QByteArray();
}

// The first page of the database, or nothing when it is not a database.
QByteArray firstPage(const QString& dbPath) {
  QFile f(dbPath);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray header = readAt(f, 0, kHeaderSize);
  if (!header.startsWith("SQLite format 3")) return {};
  return readAt(f, 0, pageSizeOf(header));
}

// True while another process holds the file's write locks: its journal or log is
// in use, not left behind.
bool writerActive(const QString& dbPath) {
#ifdef Q_OS_UNIX
  const int fd = ::open(QFile::encodeName(dbPath).constData(), O_RDONLY);
  if (fd < 0) return false;
  struct flock lk {};
  lk.l_type = F_WRLCK;
  lk.l_whence = SEEK_SET;
  lk.l_start = 0x40000000;  // the lock bytes every SQLite process uses
  lk.l_len = 512;
  const bool locked = ::fcntl(fd, F_GETLK, &lk) == 0 && lk.l_type != F_UNLCK;
  ::close(fd);
  return locked;
#else
  // Elsewhere a file in use cannot be renamed, so it is never set aside.
  Q_UNUSED(dbPath);
  return false;
#endif
}

// The saved copy of page 1 in a rollback journal; empty when the journal holds
// none (its transaction never reached the file) or is not a journal.
QByteArray savedFirstPage(const QString& journalPath, int pageSize) {
  QFile f(journalPath);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray h = readAt(f, 0, 28);
  if (h.isEmpty() || !h.startsWith(kJournalMagic)) return {};
  const quint32 sector = be32(h, 20);
  if (static_cast<int>(be32(h, 24)) != pageSize || sector < 32 || sector > 65536) return {};
  const qint64 record = pageSize + 8;
  qint64 count = be32(h, 8);
  if (count == 0xFFFFFFFF) count = (f.size() - sector) / record;
  for (qint64 i = 0; i < count; ++i) {
    const qint64 at = sector + i * record;
    const QByteArray no = readAt(f, at, 4);
    if (no.isEmpty()) break;
    if (be32(no, 0) == 1) return readAt(f, at + 4, pageSize);
  }
  return {};
}

// Page 1 before and after the stamping transaction differ only in the change
// counter, the stamp and the version fields.
bool sameApartFromCounters(QByteArray a, QByteArray b) {
  if (a.size() != b.size() || a.size() < kHeaderSize) return false;
  for (auto [from, to] : {std::pair{24, 28}, std::pair{60, 64}, std::pair{92, 100}})
    for (int i = from; i < to; ++i) a[i] = b[i] = 0;
  return a == b;
}

// A journal whose header is cleared (or that is empty) is not replayed by anyone.
bool journalCleared(const QString& journalPath) {
  QFile f(journalPath);
  if (!f.open(QIODevice::ReadOnly)) return false;
  return !f.read(kJournalMagic.size()).startsWith(kJournalMagic);
}

bool journalBelongs(const QString& journalPath, const QByteArray& current, quint32 stamp) {
  if (current.isEmpty()) return false;
  const QByteArray saved = savedFirstPage(journalPath, static_cast<int>(current.size()));
  if (saved.isEmpty()) return false;
  const quint32 savedStamp = be32(saved, 60);
  const quint32 currentStamp = be32(current, 60);
  if (stamp != 0 && savedStamp == stamp) return currentStamp == stamp;
  return sameApartFromCounters(saved, current);
}

bool setAside(const QString& path, QStringList* done) {
  const QString target = path + kSetAsideSuffix;
  QFile::remove(target);
  if (!QFile::rename(path, target) && !QFile::remove(path)) return false;
  done->append(QFileInfo(path).fileName());
  return true;
}

}  // namespace

quint32 ReadFileStamp(const QString& dbPath) {
  QFile f(dbPath);
  if (!f.open(QIODevice::ReadOnly)) return 0;
  const QByteArray header = readAt(f, 0, kHeaderSize);
  return header.startsWith("SQLite format 3") ? be32(header, 60) : 0;
}

QStringList SetAsideForeignLogs(const QString& dbPath, quint32 stamp) {
  QStringList done;
  const QString journal = dbPath + QStringLiteral("-journal");
  const QString wal = dbPath + QStringLiteral("-wal");
  const QString shm = dbPath + QStringLiteral("-shm");
  const bool haveJournal = QFileInfo::exists(journal);
  const bool haveWal = QFileInfo::exists(wal);
  if ((!haveJournal && !haveWal) || writerActive(dbPath)) return done;

  const QByteArray page = firstPage(dbPath);
  if (haveJournal) {
    if (journalCleared(journal))
      QFile::remove(journal);
    else if (!journalBelongs(journal, page, stamp))
      setAside(journal, &done);
  }
  if (haveWal) {
    // This program never keeps a write-ahead log: one is only ours (from an
    // earlier version) while the file itself is still marked for it.
    const bool fileInWalMode = page.size() > 19 && page.at(18) == 2;
    if (!fileInWalMode) {
      setAside(wal, &done);
      if (QFileInfo::exists(shm)) setAside(shm, &done);
    }
  }
  return done;
}
