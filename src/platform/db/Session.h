#pragma once
// Internals shared by Connection, Recordset and the columnar reader.
#include "platform/db/ConnectionString.h"
#include "platform/db/FileImport.h"
#include "platform/db/Recordset.h"

#include <QSqlDatabase>
#include <QString>
#include <memory>

struct sqlite3;

namespace bd::db::detail {

// One open database. Recordsets keep it alive, so closing a connection under an open recordset is safe.
struct Session {
    QString name; // Qt connection name
    QSqlDatabase db;
    sqlite3* handle = nullptr; // SQLite files and imports
    std::shared_ptr<const ImportedDatabase> imported;
    Engine engine = Engine::Unsupported;
    ~Session();
};

// The SQL the session's engine reads (desktop date literals for imported files).
QString engineSql(const Session& s, const QString& sql);

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
