#pragma once
// The file system layer the price file is opened through: the system's own,
// except that a rollback journal kept between transactions (journal_mode
// PERSIST) is opened again as the existing file it is. Opened as if new,
// SQLite syncs the folder once more on every transaction, for a name that was
// made durable when the journal was first created.

// The layer's name for sqlite3_open_v2, registered on first use; nullptr (the
// system's layer) if that fails.
const char* KeptJournalVfs();
