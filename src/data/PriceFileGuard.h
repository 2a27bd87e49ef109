#pragma once
// Before the price database is opened: a rollback journal or write-ahead log
// beside varnokel.mdb is replayed into the file by SQLite, whichever file it was
// written for. A crash leaves one behind; when the file is then replaced (a new
// price list copied in by hand, a download), the old file's pages would be
// written into the new one. This looks at what lies beside the file and sets
// aside everything that does not belong to it.
//
// The program's own journal is recognised by the stamp it writes into the file
// header (user_version) before its first quantity: a journal whose saved first
// page carries the stamp belongs to a file that still carries it. The one
// transaction that writes the stamp changes nothing but the header's counters,
// so its journal belongs to a file whose first page is otherwise the same.
#include <QString>
#include <QStringList>

// Files set aside get this suffix (an older one of the same name is replaced).
inline const QString kSetAsideSuffix = QStringLiteral(".set-aside");

// stamp: the stamp this program wrote into the file, 0 when none is known.
// Returns the names of the files set aside (empty when nothing was).
QStringList SetAsideForeignLogs(const QString& dbPath, quint32 stamp);

// The user_version field of a database file's header; 0 when unreadable.
quint32 ReadFileStamp(const QString& dbPath);
