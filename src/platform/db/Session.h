#pragma once
// Internals shared by Connection, Recordset and the columnar reader.
#include "platform/db/ConnectionString.h"
#include "platform/db/FileImport.h"
#include "platform/db/Recordset.h"
#include "platform/db/SqlText.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace bd::db::detail {

// Read-only guard of a SQLite handle: the authorizer lets a statement read, never write, attach,
// vacuum, change a setting or load code; what it refused last is kept for the message.
struct SqliteGuard {
    std::string denied;
};
void guardSqlite(sqlite3* h, SqliteGuard* guard);
// Prepares one statement under the guard. False with the reason (a refused action, a second
// statement, no statement at all) and no statement left behind.
bool prepareGuarded(sqlite3* h, const QByteArray& text, SqliteGuard* guard, sqlite3_stmt** st,
                    QString* error);
// The message for a failed step: a refused action in the guard's words, else SQLite's own.
QString stepError(sqlite3* h, int rc, const SqliteGuard* guard);

// One open database. Recordsets keep it alive, so closing a connection under an open recordset is safe.
struct Session {
    QString name; // Qt connection name
    QSqlDatabase db;
    sqlite3* handle = nullptr; // SQLite files and imports
    std::shared_ptr<const ImportedDatabase> imported;
    Engine engine = Engine::Unsupported;
    QString odbcString; // ODBC: the driver's connection string, from the user's
    SqlDialect dialect;
    SqliteGuard guard;                 // SQLite handles
    int readOnlyDepth = 0;             // servers: open cursors inside the read-only transaction
    bool readOnlyTransactions = false; // servers whose engine has them (MySQL/MariaDB, PostgreSQL)
    ~Session();
};

// The SQL the session's engine reads (desktop date literals for imported files).
QString engineSql(const Session& s, const QString& sql);

// The checks a query to a server passes before it runs: one statement only, and nothing that writes
// where the engine has read-only transactions. False with the reason.
bool serverQueryAllowed(const Session& s, const QString& sql, QString* error);

// The read-only transaction queries to a server run in, where the engine has one. Scopes on one
// session nest: the outermost opens the transaction, and rolls it back when it ends.
class ReadOnlyScope {
public:
    explicit ReadOnlyScope(Session& s) : s_(s) {}
    ~ReadOnlyScope() { end(); }
    ReadOnlyScope(const ReadOnlyScope&) = delete;
    ReadOnlyScope& operator=(const ReadOnlyScope&) = delete;
    bool begin(QString* error);
    void end();

private:
    Session& s_;
    bool open_ = false;
};

class Cursor {
public:
    virtual ~Cursor() = default;
    // Names and types, known once the query has run.
    virtual QVector<Field> fields() const = 0;
    // Next row's values into fields; false at the end or on error (error set).
    virtual bool next(QVector<Field>& fields, QString* error) = 0;
};

std::unique_ptr<Cursor> openCursor(const std::shared_ptr<Session>& s, const QString& sql, QString* error);

} // namespace bd::db::detail
