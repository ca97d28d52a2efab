#pragma once
// Delimited text files. Two passes over the file in parallel chunks cut at row ends: the first
// decides the encoding and each column's type, the second parses the values straight into SQLite.
#include "platform/db/import/SqliteWriter.h"

namespace bd::db::import {

// Imports the file as the table named table. delimiter is one ASCII character.
bool importCsv(const QString& path, const QString& table, char delimiter, bool header, ImportWriter& writer,
               QString* error);

} // namespace bd::db::import
