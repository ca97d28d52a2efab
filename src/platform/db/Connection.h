#pragma once
// The data layer's connection: one connection string, whatever engine it reaches.
#include "platform/db/AdoTypes.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Recordset.h"
#include "platform/db/SqlText.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <memory>

struct sqlite3;

namespace bd::db {

namespace detail {
struct Session;
}

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens the connection string ("APP_PATH" = the program folder); an open connection is closed
    // first. Servers give up after timeoutSeconds. False with a readable reason on failure.
    bool open(const QString& connectionString, int timeoutSeconds, QString* error);
    void close();
    bool isOpen() const { return session_ != nullptr; }
    // The string as opened ("APP_PATH" replaced).
    QString connectionString() const { return cs_; }
    Engine engine() const { return engine_; }
    // How the engine behind the open connection reads SQL text (Generic when closed or unknown).
    SqlDialect dialect() const;
    QString lastError() const { return lastError_; }

    // Schema lists, sorted by name.
    QStringList tables(QString* error = nullptr);
    QStringList views(QString* error = nullptr);
    // The columns of a table or view, in their order (name and type; no value).
    QVector<Field> columns(const QString& table, QString* error = nullptr);
    // The distinct non-NULL values of a column, sorted.
    QVariantList distinctValues(const QString& table, const QString& column, QString* error = nullptr);
    // A table or column name quoted for this engine's SQL.
    QString quoteName(const QString& name) const;

    // The SQLite handle of SQLite files and imported files (nullptr for other engines).
    sqlite3* sqliteHandle() const;
    std::shared_ptr<detail::Session> session() const { return session_; }

private:
    std::shared_ptr<detail::Session> session_;
    QString cs_;
    Engine engine_ = Engine::Unsupported;
    QString lastError_;
};

// A password for the connections of this run of the program to the source the string names (the
// string itself names none): used when they open, never written into a string. "" forgets it.
void setSessionPassword(const QString& connectionString, const QString& password);

// The ODBC drivers and data sources the driver manager knows.
QStringList odbcDriverNames();
QStringList odbcDataSourceNames();

} // namespace bd::db
