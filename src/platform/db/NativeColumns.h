#pragma once
// Server results read into columns through the server's own client library, on the handle of the
// session's connection, with no QVariant per value. Each reader takes only the column types it
// converts as the generic reader does. False, with out empty, when it cannot: then the generic reader
// runs the query (and reports what failed, if anything did).
#include "platform/db/ColumnarResult.h"

#include <QString>
#include <cstddef>

namespace bd::db::detail {

struct Session;

bool readMySqlColumns(Session& s, const QString& sql, ColumnarResult& out);
bool readPostgresColumns(Session& s, const QString& sql, ColumnarResult& out);
bool readOdbcColumns(Session& s, const QString& sql, ColumnarResult& out);

// Whether the ODBC driver of the session gives texts as UTF-8 when asked for narrow characters (the
// ODBC reader then takes them as they come).
bool odbcNarrowTextIsUtf8(const Session& s);
// Well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isUtf8(const char* text, size_t n);

} // namespace bd::db::detail
