#pragma once
// Whether a file is a complete price database: it opens as an SQLite database,
// passes SQLite's quick check and holds the three tables with every column the
// program reads. A downloaded or published file replaces the working one only
// when this says yes.
#include <QString>

// True when the file at path is a usable price database; otherwise false and a
// reason in Russian in *reason (when given).
bool CheckPriceDatabaseFile(const QString& path, QString* reason = nullptr);
