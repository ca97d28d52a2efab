#include "platform/db/Connection.h"

namespace bd::db {
bool Connection::open(const QString& connectionString, int, QString* error) {
    cs_ = connectionString;
    open_ = false;
    if (error) *error = QStringLiteral("Not available");
    return false;
}
void Connection::close() { open_ = false; }
bool Recordset::open(const QString&, Connection&, QString* error) {
    if (error) *error = QStringLiteral("Not available");
    return false;
}
} // namespace bd::db
