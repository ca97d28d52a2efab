#pragma once
// Spreadsheet, csv and desktop-database files imported into an in-memory SQLite database (the readers,
// the SQLite writer and the cache are in import/).
#include "platform/db/ConnectionString.h"

#include <QString>
#include <memory>
#include <string>

namespace bd::db {

// A serialized SQLite database (the import), shared read-only by every connection to the same file.
struct ImportedDatabase {
    unsigned char* data = nullptr; // sqlite3_malloc'ed
    long long size = 0;
    ImportedDatabase() = default;
    ImportedDatabase(const ImportedDatabase&) = delete;
    ImportedDatabase& operator=(const ImportedDatabase&) = delete;
    ~ImportedDatabase();
};

// The import of the file (or folder of csv files) the choice names. Imports are cached per path,
// size and modification time, so opening the same unchanged file again costs nothing.
std::shared_ptr<const ImportedDatabase> importFile(const EngineChoice& choice, QString* error);

// Drops every cached import (tests, and to free memory).
void clearImportCache();

// The desktop engines' SQL as SQLite reads it: #date# literals become 'YYYY-MM-DD[ HH:MM:SS]' texts,
// the form in which the import stores dates. Quoted texts and [names] are left alone.
QString desktopSqlToSqlite(const QString& sql);

// A file path as given, or the one existing file whose path differs only in letter case (cubes made
// on systems that ignore case).
QString resolveFileCase(const QString& path);

} // namespace bd::db
