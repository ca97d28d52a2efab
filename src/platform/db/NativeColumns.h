#pragma once
// Server results read into columns through the server's own client library, on the handle of the
// session's connection, with no QVariant per value. Each reader takes only the column types it
// converts as the generic reader does. False, with out empty, when it cannot: then the generic reader
// runs the query (and reports what failed, if anything did).
#include "platform/db/ColumnarResult.h"

#include <QString>

namespace bd::db::detail {

struct Session;

bool readMySqlColumns(Session& s, const QString& sql, ColumnarResult& out);
bool readPostgresColumns(Session& s, const QString& sql, ColumnarResult& out);
bool readOdbcColumns(Session& s, const QString& sql, ColumnarResult& out);

} // namespace bd::db::detail
