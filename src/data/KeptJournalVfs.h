#pragma once
// The file system layer the price file is opened through: the system's own,
// with two changes to its rollback journal.
//
// - A journal kept between transactions (journal_mode PERSIST) is opened again
//   as the existing file it is. Opened as if new, SQLite syncs the folder once
//   more on every transaction, for a name that was made durable when the
//   journal was first created.
// - The journal's records, which SQLite writes as three pieces each (page
//   number, page, checksum), reach the file as one write per run of adjacent
//   pieces. Nothing is held back past the journal's next sync, read, size
//   query, truncation or close; so the layer is for connections that sync
//   (synchronous NORMAL or FULL), where the journal is always synced before
//   the first page of the database file is written.

// The layer's name for sqlite3_open_v2, registered on first use; nullptr (the
// system's layer) if that fails.
const char* KeptJournalVfs();
