// ODBC results into columns (not yet: the generic reader reads them).
#include "platform/db/NativeColumns.h"

namespace bd::db::detail {

bool readOdbcColumns(Session&, const QString&, ColumnarResult&) {
    return false;
}

} // namespace bd::db::detail
