#pragma once
// Reads a whole query result into columns (the pivot's fast path).
#include "platform/db/ColumnarResult.h"

#include <QString>

namespace bd::db {

// connectionString in the cube's grammar ("APP_PATH" already replaced or not: both work).
// Returns false with a readable error when the connection or the query fails.
bool readColumns(const QString& connectionString, const QString& sql, ColumnarResult& out, QString* error);

} // namespace bd::db
