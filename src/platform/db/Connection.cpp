#include "platform/db/Connection.h"

#include "platform/db/Session.h"
#include "platform/os/AppPath.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <QHash>
#include <algorithm>
#include <mutex>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

namespace bd::db {
namespace detail {

Session::~Session() {
    if (db.isValid()) db.close();
    db = QSqlDatabase();
    if (!name.isEmpty()) QSqlDatabase::removeDatabase(name);
}

QString engineSql(const Session& s, const QString& sql) {
    if (s.engine == Engine::Excel || s.engine == Engine::Access || s.engine == Engine::Csv)
        return desktopSqlToSqlite(sql);
    return sql;
}

namespace {

QString sqliteError(sqlite3* h) {
    return QString::fromUtf8(sqlite3_errmsg(h));
}

// Pragmas that only report: those that take a table or index name, and settings read without a value.
bool reportingPragma(const char* name, const char* argument) {
    static const char* const named[] = {
        "table_info",      "table_xinfo", "table_list",       "index_info",
        "index_xinfo",     "index_list",  "foreign_key_list", "foreign_key_check",
        "integrity_check", "quick_check", "collation_list",   "function_list",
        "pragma_list",     "module_list", "database_list",    "compile_options"};
    static const char* const settings[] = {
        "user_version", "schema_version", "application_id", "encoding",     "page_size",
        "page_count",   "freelist_count", "data_version",   "foreign_keys", "case_sensitive_like"};
    for (const char* n : named)
        if (sqlite3_stricmp(name, n) == 0) return true;
    if (argument) return false;
    for (const char* n : settings)
        if (sqlite3_stricmp(name, n) == 0) return true;
    return false;
}

// Functions that reach outside the database: loading code, files of the shell's extensions.
bool outsideFunction(const char* name) {
    for (const char* n : {"load_extension", "readfile", "writefile", "edit", "fts3_tokenizer"})
        if (name && sqlite3_stricmp(name, n) == 0) return true;
    return false;
}

int readOnlyAuthorizer(void* data, int action, const char* a3, const char* a4, const char*, const char*) {
    auto* guard = static_cast<SqliteGuard*>(data);
    auto deny = [&](std::string what) {
        if (guard) guard->denied = std::move(what);
        return SQLITE_DENY;
    };
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    case SQLITE_TRANSACTION: // an open transaction would hold the file's lock against its writers
    case SQLITE_SAVEPOINT:
        return deny("transaction control");
    case SQLITE_FUNCTION:
        return outsideFunction(a4) ? deny(std::string("the function ") + a4) : SQLITE_OK;
    case SQLITE_PRAGMA:
        return reportingPragma(a3, a4) ? SQLITE_OK : deny(std::string("PRAGMA ") + (a3 ? a3 : ""));
    case SQLITE_ATTACH:
        return deny("ATTACH (and VACUUM INTO)");
    case SQLITE_DETACH:
        return deny("DETACH");
    case SQLITE_UPDATE:
        // Table-valued pragmas name the schema table as if they updated it; no statement can write
        // it here (the main database is read-only, the temporary one's schema needs a denied pragma).
        if (a3 &&
            (sqlite3_stricmp(a3, "sqlite_master") == 0 || sqlite3_stricmp(a3, "sqlite_temp_master") == 0))
            return SQLITE_OK;
        return deny("writing data");
    case SQLITE_INSERT:
    case SQLITE_DELETE:
        return deny("writing data");
    default: // CREATE, DROP, ALTER, REINDEX, ANALYZE, virtual tables
        return deny("changing the database");
    }
}

// Anything but blanks, comments and semicolons.
bool holdsStatement(const char* tail) {
    const QString rest = QString::fromUtf8(tail);
    const QVector<SqlPart> parts = scanSql(rest, SqlDialect{SqlDialect::SQLite});
    for (int i = 0; i < rest.size(); ++i)
        if (parts[i] != SqlPart::LineComment && parts[i] != SqlPart::BlockComment && !rest[i].isSpace() &&
            rest[i] != ';')
            return true;
    return false;
}

QVariant dateValue(const QString& text, int type) {
    const QString t = text.trimmed();
    if (t.size() <= 10) {
        const QDate d = QDate::fromString(t, Qt::ISODate);
        if (d.isValid()) return type == ado::DBTimeStamp ? QVariant(QDateTime(d, QTime(0, 0))) : QVariant(d);
    }
    QDateTime dt = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (!dt.isValid()) dt = QDateTime::fromString(t, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!dt.isValid()) dt = QDateTime::fromString(t, QStringLiteral("yyyy-MM-dd HH:mm"));
    if (dt.isValid()) return dt;
    return text;
}

class SqliteCursor : public Cursor {
public:
    SqliteCursor(std::shared_ptr<Session> s) : session_(std::move(s)) {}
    ~SqliteCursor() override { sqlite3_finalize(st_); }

    bool start(const QString& sql, QString* error) {
        if (!prepareGuarded(session_->handle, sql.toUtf8(), &session_->guard, &st_, error)) return false;
        const int rc = sqlite3_step(st_);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            if (error) *error = stepError(session_->handle, rc, &session_->guard);
            return false;
        }
        pending_ = rc == SQLITE_ROW;
        const int n = sqlite3_column_count(st_);
        for (int i = 0; i < n; ++i) {
            Field f;
            f.name = QString::fromUtf8(sqlite3_column_name(st_, i));
            const char* decl = sqlite3_column_decltype(st_, i);
            f.type = decl ? adoTypeFromDeclared(QString::fromUtf8(decl)) : ado::Empty;
            if (f.type == ado::Empty) {
                switch (pending_ ? sqlite3_column_type(st_, i) : SQLITE_NULL) {
                case SQLITE_INTEGER:
                    f.type = ado::BigInt;
                    break;
                case SQLITE_FLOAT:
                    f.type = ado::Double;
                    break;
                case SQLITE_BLOB:
                    f.type = ado::LongVarBinary;
                    break;
                default:
                    f.type = ado::VarChar;
                    break;
                }
            }
            fields_.append(f);
        }
        return true;
    }

    QVector<Field> fields() const override { return fields_; }

    bool next(QVector<Field>& out, QString* error) override {
        if (!pending_) {
            if (done_) return false;
            const int rc = sqlite3_step(st_);
            if (rc == SQLITE_DONE) {
                done_ = true;
                return false;
            }
            if (rc != SQLITE_ROW) {
                done_ = true;
                if (error) *error = stepError(session_->handle, rc, &session_->guard);
                return false;
            }
        }
        pending_ = false;
        for (int i = 0; i < out.size(); ++i)
            out[i].value = value(i, out[i].type);
        return true;
    }

private:
    QVariant value(int i, int type) const {
        const int storage = sqlite3_column_type(st_, i);
        if (storage == SQLITE_NULL) return {};
        const ColumnKind kind = columnKindOf(type);
        if (storage == SQLITE_BLOB) {
            return QByteArray(static_cast<const char*>(sqlite3_column_blob(st_, i)),
                              sqlite3_column_bytes(st_, i));
        }
        if (storage == SQLITE_TEXT) {
            const QString s = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st_, i)),
                                                sqlite3_column_bytes(st_, i));
            if (kind == ColumnKind::DateTime) return dateValue(s, type);
            return s;
        }
        switch (kind) {
        case ColumnKind::Boolean:
            return sqlite3_column_int64(st_, i) != 0;
        case ColumnKind::Integer:
            if (storage == SQLITE_FLOAT) return sqlite3_column_double(st_, i);
            return qlonglong(sqlite3_column_int64(st_, i));
        case ColumnKind::Real:
            return sqlite3_column_double(st_, i);
        case ColumnKind::Text:
        case ColumnKind::DateTime:
            break;
        }
        if (storage == SQLITE_INTEGER) return qlonglong(sqlite3_column_int64(st_, i));
        return sqlite3_column_double(st_, i);
    }

    std::shared_ptr<Session> session_;
    sqlite3_stmt* st_ = nullptr;
    QVector<Field> fields_;
    bool pending_ = false, done_ = false;
};

int nativeType(Engine e, const QSqlField& f) {
    switch (e) {
    case Engine::MySql:
        return adoTypeFromMySql(f.typeID(), f.metaType());
    case Engine::PostgreSql:
        return adoTypeFromPostgres(f.typeID(), f.metaType());
    case Engine::Odbc:
        return adoTypeFromOdbc(f.typeID(), f.metaType());
    default:
        return adoTypeFromMeta(f.metaType());
    }
}

// Runs a statement of our own that gives no rows.
bool execute(QSqlDatabase& db, const QString& sql, QString* error) {
    QSqlQuery q(db);
    if (q.exec(sql)) return true;
    if (error) *error = q.lastError().text();
    return false;
}

class QtCursor : public Cursor {
public:
    QtCursor(std::shared_ptr<Session> s) : session_(std::move(s)), q_(session_->db), readOnly_(*session_) {}
    ~QtCursor() override {
        q_.finish();
        q_.clear();
        readOnly_.end();
    }

    bool start(const QString& sql, QString* error) {
        // The query runs in a read-only transaction where the engine has one: a function or a
        // statement that would write fails there.
        if (!readOnly_.begin(error)) return false;
        q_.setForwardOnly(true);
        q_.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
        if (!q_.exec(sql)) {
            if (error) *error = q_.lastError().text();
            return false;
        }
        const QSqlRecord r = q_.record();
        for (int i = 0; i < r.count(); ++i) {
            Field f;
            f.name = r.fieldName(i);
            f.type = nativeType(session_->engine, r.field(i));
            fields_.append(f);
        }
        return true;
    }

    QVector<Field> fields() const override { return fields_; }

    bool next(QVector<Field>& out, QString* error) override {
        if (!q_.isActive() || !q_.next()) {
            if (q_.lastError().isValid() && error) *error = q_.lastError().text();
            return false;
        }
        for (int i = 0; i < out.size(); ++i) {
            QVariant v = q_.value(i);
            if (v.isNull())
                v = QVariant();
            else if (isDateType(out[i].type)) {
                if (v.metaType().id() == QMetaType::QString)
                    v = dateValue(v.toString(), out[i].type);
                else if (out[i].type == ado::Date && v.metaType().id() == QMetaType::QDateTime &&
                         v.toDateTime().time() == QTime(0, 0))
                    v = v.toDateTime().date();
            } else if (out[i].type == ado::Numeric && v.metaType().id() == QMetaType::QString) {
                bool ok = false;
                const double d = v.toString().toDouble(&ok);
                if (ok) v = d;
            }
            out[i].value = v;
        }
        return true;
    }

private:
    std::shared_ptr<Session> session_;
    QSqlQuery q_;
    QVector<Field> fields_;
    ReadOnlyScope readOnly_;
};

} // namespace

void guardSqlite(sqlite3* h, SqliteGuard* guard) {
    if (!h) return;
    sqlite3_db_config(h, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_set_authorizer(h, readOnlyAuthorizer, guard);
}

namespace {
QString refusalMessage(const SqliteGuard* guard) {
    const std::string what = guard && !guard->denied.empty() ? guard->denied : std::string("this statement");
    return QStringLiteral("The query may only read data: %1 is not allowed.")
        .arg(QString::fromStdString(what));
}
} // namespace

QString stepError(sqlite3* h, int rc, const SqliteGuard* guard) {
    // A statement may run a denied action of its own while it steps (VACUUM INTO attaches its target).
    if (rc == SQLITE_AUTH || sqlite3_extended_errcode(h) == SQLITE_AUTH || (guard && !guard->denied.empty()))
        return refusalMessage(guard);
    return sqliteError(h);
}

bool prepareGuarded(sqlite3* h, const QByteArray& text, SqliteGuard* guard, sqlite3_stmt** st,
                    QString* error) {
    *st = nullptr;
    if (guard) guard->denied.clear();
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(h, text.constData(), int(text.size()), st, &tail);
    auto fail = [&](const QString& why) {
        sqlite3_finalize(*st);
        *st = nullptr;
        if (error) *error = why;
        return false;
    };
    if (rc != SQLITE_OK) return fail(stepError(h, rc, guard));
    if (!*st) return fail(QStringLiteral("The SQL text holds no statement."));
    if (tail && holdsStatement(tail)) return fail(secondStatementMessage());
    return true;
}

bool serverQueryAllowed(const Session& s, const QString& sql, QString* error) {
    // One statement: a second one would run outside anything this program checks or guards.
    if (secondStatementAt(sql, s.dialect) >= 0) {
        if (error) *error = secondStatementMessage();
        return false;
    }
    if (s.readOnlyTransactions) {
        const QString why = readOnlyProblem(sql, s.dialect);
        if (!why.isEmpty()) {
            if (error) *error = why;
            return false;
        }
    }
    return true;
}

bool ReadOnlyScope::begin(QString* error) {
    if (open_ || !s_.readOnlyTransactions) return true;
    if (s_.readOnlyDepth == 0 && !execute(s_.db, QStringLiteral("START TRANSACTION READ ONLY"), error))
        return false;
    ++s_.readOnlyDepth;
    open_ = true;
    return true;
}

void ReadOnlyScope::end() {
    if (!open_) return;
    open_ = false;
    if (--s_.readOnlyDepth == 0) execute(s_.db, QStringLiteral("ROLLBACK"), nullptr);
}

std::unique_ptr<Cursor> openCursor(const std::shared_ptr<Session>& s, const QString& sql, QString* error) {
    if (s->handle) {
        auto c = std::make_unique<SqliteCursor>(s);
        if (!c->start(engineSql(*s, sql), error)) return {};
        return c;
    }
    if (!serverQueryAllowed(*s, sql, error)) return {};
    auto c = std::make_unique<QtCursor>(s);
    if (!c->start(sql, error)) return {};
    return c;
}

} // namespace detail

// ---- Connection ---------------------------------------------------------------------------------

namespace {

QString nextConnectionName() {
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("bd-db-%1").arg(counter.fetchAndAddRelaxed(1) + 1);
}

// The ODBC drivers or data sources the driver manager knows; with descriptions, a data source's
// description is the name of its driver.
QStringList odbcList(bool drivers, QStringList* descriptions = nullptr) {
    QStringList out;
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return out;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLCHAR name[512], attrs[2048];
    SQLSMALLINT nameLen = 0, attrsLen = 0;
    SQLUSMALLINT dir = SQL_FETCH_FIRST;
    for (;;) {
        const SQLRETURN rc =
            drivers ? SQLDriversA(env, dir, name, sizeof name, &nameLen, attrs, sizeof attrs, &attrsLen)
                    : SQLDataSourcesA(env, dir, name, sizeof name, &nameLen, attrs, sizeof attrs, &attrsLen);
        if (!SQL_SUCCEEDED(rc)) break;
        out << QString::fromUtf8(reinterpret_cast<const char*>(name));
        if (descriptions) *descriptions << QString::fromUtf8(reinterpret_cast<const char*>(attrs));
        dir = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return out;
}

QStringList installedOdbcDrivers() {
    return odbcList(true);
}

sqlite3* handleOf(const QSqlDatabase& db) {
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0) return nullptr;
    return *static_cast<sqlite3* const*>(v.data());
}

// The driver an ODBC string reaches: its Driver=, or the driver of its data source.
QString odbcDriverOf(const ConnectionString& odbc) {
    if (odbc.has("Driver")) return odbc.value("Driver");
    const QString dsn = odbc.value("DSN");
    QStringList drivers;
    const QStringList sources = odbcList(false, &drivers);
    for (int i = 0; i < sources.size(); ++i)
        if (sources[i].compare(dsn, Qt::CaseInsensitive) == 0) return drivers.value(i);
    return {};
}

// The MariaDB driver ignores the login timeout while it waits for the server's greeting; its own
// CONN_TIMEOUT bounds that wait.
QString withDriverTimeout(const QString& odbcString, int seconds) {
    const ConnectionString odbc = ConnectionString::parse(odbcString);
    const QString driver = odbcDriverOf(odbc).toUpper();
    const bool mariadb = driver.contains("MARIADB") || driver.contains("MAODBC") || driver.contains("MYSQL");
    if (!mariadb || odbc.has("CONN_TIMEOUT")) return odbcString;
    return odbcString + QStringLiteral(";CONN_TIMEOUT=%1").arg(seconds);
}

// Qt's ODBC driver passes a string on as it is only when it holds "DRIVER=" or "SERVER="; any other it
// takes for a data source name and puts "DSN=" before it. A string that names its data source gets it
// first, without the key, so the driver manager sees it once.
QString forQtOdbc(const QString& odbcString) {
    if (odbcString.contains("DRIVER=", Qt::CaseInsensitive) ||
        odbcString.contains("SERVER=", Qt::CaseInsensitive))
        return odbcString;
    const ConnectionString cs = ConnectionString::parse(odbcString);
    if (!cs.has("DSN")) return odbcString;
    QStringList rest;
    for (const auto& [k, v] : cs.pairs())
        if (k.compare("DSN", Qt::CaseInsensitive) != 0) rest << k + '=' + odbcValue(v);
    const QString dsn = cs.value("DSN");
    return rest.isEmpty() ? dsn : dsn + ';' + rest.join(';');
}

QString odbcInfo(const QSqlDatabase& db, SQLUSMALLINT what) {
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || (qstrcmp(v.typeName(), "SQLHANDLE") != 0 && qstrcmp(v.typeName(), "void*") != 0))
        return {};
    SQLHANDLE dbc = *static_cast<SQLHANDLE const*>(v.data());
    SQLCHAR buf[256] = {};
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoA(dbc, what, buf, sizeof buf, &len))) return {};
    return QString::fromUtf8(reinterpret_cast<const char*>(buf));
}

// The first value of a one-row query of our own ("" when it fails).
QString firstValue(QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(sql) || !q.next()) return {};
    return q.value(0).toString();
}

// How the server behind an open session reads SQL text.
SqlDialect serverDialect(detail::Session& s) {
    SqlDialect d;
    if (s.engine == Engine::MySql) {
        d.kind = SqlDialect::MySql;
    } else if (s.engine == Engine::PostgreSql) {
        d.kind = SqlDialect::PostgreSql;
    } else {
        const QString dbms =
            (odbcInfo(s.db, SQL_DBMS_NAME) + ' ' + odbcInfo(s.db, SQL_DRIVER_NAME)).toUpper();
        if (dbms.contains("MYSQL") || dbms.contains("MARIADB") || dbms.contains("MAODBC"))
            d.kind = SqlDialect::MySql;
        else if (dbms.contains("POSTGRES") || dbms.contains("PSQLODBC"))
            d.kind = SqlDialect::PostgreSql;
        else if (dbms.contains("SQL SERVER") || dbms.contains("TDSODBC"))
            d.kind = SqlDialect::SqlServer;
        else if (dbms.contains("SQLITE"))
            d.kind = SqlDialect::SQLite;
    }
    if (d.kind == SqlDialect::MySql)
        d.backslashEscapes =
            !firstValue(s.db, QStringLiteral("SELECT @@SESSION.sql_mode")).contains("NO_BACKSLASH_ESCAPES");
    else if (d.kind == SqlDialect::PostgreSql)
        d.backslashEscapes = firstValue(s.db, QStringLiteral("SHOW standard_conforming_strings"))
                                 .compare("off", Qt::CaseInsensitive) == 0;
    return d;
}

// Passwords given for this run of the program only, by the connection they belong to.
struct SessionPasswords {
    std::mutex m;
    QHash<QString, QString> byConnection;
};
SessionPasswords& sessionPasswords() {
    static SessionPasswords p;
    return p;
}

// What identifies a connection apart from its password: its other keys and values.
QString connectionIdentity(const QString& connectionString) {
    QStringList parts;
    const ConnectionString cs = ConnectionString::parse(connectionString);
    for (const auto& [k, v] : cs.pairs()) {
        const QString key = k.trimmed().toUpper();
        if (key == "PASSWORD" || key == "PWD" || key == "PERSIST SECURITY INFO") continue;
        parts << key + '=' + v;
    }
    return parts.join(QChar(0));
}

bool namesPassword(const QString& connectionString) {
    const ConnectionString cs = ConnectionString::parse(connectionString);
    return cs.has("Password") || cs.has("PWD") || cs.extended().has("PWD") || cs.extended().has("Password");
}

} // namespace

void setSessionPassword(const QString& connectionString, const QString& password) {
    SessionPasswords& p = sessionPasswords();
    std::lock_guard lock(p.m);
    const QString id = connectionIdentity(replaceAppPath(connectionString, bd::os::AppPath()));
    if (password.isEmpty())
        p.byConnection.remove(id);
    else
        p.byConnection.insert(id, password);
}

namespace {

// A password given for this session only joins the string here, never the string kept.
QString withSessionPassword(const QString& cs) {
    if (namesPassword(cs)) return cs;
    SessionPasswords& p = sessionPasswords();
    std::lock_guard lock(p.m);
    const auto it = p.byConnection.constFind(connectionIdentity(cs));
    if (it == p.byConnection.constEnd()) return cs;
    ConnectionString withPassword = ConnectionString::parse(cs);
    withPassword.set(QStringLiteral("Password"), *it);
    return withPassword.toString();
}

// Each engine's way of opening a session; false with the reason in why.

// An SQLite file, read-only, through a memory map and behind the guard.
bool openSqliteFile(detail::Session& s, const EngineChoice& c, int timeout, QString* why) {
    const QString file = resolveFileCase(c.file);
    if (!QFileInfo(file).isFile()) {
        *why = QStringLiteral("The file \"%1\" does not exist.").arg(QDir::toNativeSeparators(c.file));
        return false;
    }
    s.db = QSqlDatabase::addDatabase("QSQLITE", s.name);
    s.db.setDatabaseName(file);
    s.db.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=%1").arg(timeout * 1000));
    if (!s.db.open()) {
        *why = s.db.lastError().text();
        return false;
    }
    s.handle = handleOf(s.db);
    if (!s.handle) {
        *why = QStringLiteral("The SQLite driver gives no handle.");
        return false;
    }
    // A file that is no database fails here rather than at the first query.
    if (sqlite3_exec(s.handle, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
        *why = QStringLiteral("The file \"%1\" cannot be read as a database: %2")
                   .arg(QDir::toNativeSeparators(file), QString::fromUtf8(sqlite3_errmsg(s.handle)));
        return false;
    }
    // Reading through a memory map spares a copy of every page: large scans run markedly faster.
    sqlite3_exec(s.handle, "PRAGMA mmap_size = 2147483648", nullptr, nullptr, nullptr);
    // Opened read-only, a file can still be attached, vacuumed into or extended: the guard
    // refuses that from here on.
    detail::guardSqlite(s.handle, &s.guard);
    return true;
}

// A spreadsheet, desktop-database or csv file imported into an in-memory SQLite database.
bool openImportedFile(detail::Session& s, const EngineChoice& c, QString* why) {
    s.imported = importFile(c, why);
    if (!s.imported) return false;
    s.db = QSqlDatabase::addDatabase("QSQLITE", s.name);
    s.db.setDatabaseName(":memory:");
    if (!s.db.open()) {
        *why = s.db.lastError().text();
        return false;
    }
    s.handle = handleOf(s.db);
    if (!s.handle) {
        *why = QStringLiteral("The SQLite driver gives no handle.");
        return false;
    }
    // Read-only over the shared import: nothing is copied and nothing can change it.
    if (sqlite3_deserialize(s.handle, "main", s.imported->data, s.imported->size, s.imported->size,
                            SQLITE_DESERIALIZE_READONLY) != SQLITE_OK) {
        *why = QString::fromUtf8(sqlite3_errmsg(s.handle));
        return false;
    }
    detail::guardSqlite(s.handle, &s.guard);
    return true;
}

// MySQL or PostgreSQL through its Qt driver.
bool openServer(detail::Session& s, const EngineChoice& c, int timeout, QString* why) {
    const bool my = c.engine == Engine::MySql;
    s.db = QSqlDatabase::addDatabase(my ? "QMYSQL" : "QPSQL", s.name);
    if (!s.db.isValid()) {
        *why = QStringLiteral("The database driver is not installed.");
        return false;
    }
    s.db.setHostName(c.host.isEmpty() ? QStringLiteral("localhost") : c.host);
    if (c.port > 0) s.db.setPort(c.port);
    s.db.setDatabaseName(c.database);
    s.db.setUserName(c.user);
    s.db.setPassword(c.password);
    s.db.setConnectOptions(my ? QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=%1").arg(timeout)
                              : QStringLiteral("connect_timeout=%1").arg(timeout));
    if (!s.db.open()) {
        *why = s.db.lastError().text();
        return false;
    }
    s.dialect = serverDialect(s);
    s.readOnlyTransactions = true;
    return true;
}

bool openOdbc(detail::Session& s, const EngineChoice& c, int timeout, QString* why) {
    s.db = QSqlDatabase::addDatabase("QODBC", s.name);
    if (!s.db.isValid()) {
        *why = QStringLiteral("The ODBC driver is not installed.");
        return false;
    }
    s.odbcString = c.odbcString;
    s.db.setDatabaseName(forQtOdbc(withDriverTimeout(c.odbcString, timeout)));
    s.db.setConnectOptions(
        QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%1").arg(timeout));
    if (!s.db.open()) {
        *why = s.db.lastError().text();
        return false;
    }
    s.dialect = serverDialect(s);
    s.readOnlyTransactions = s.dialect.kind == SqlDialect::MySql || s.dialect.kind == SqlDialect::PostgreSql;
    return true;
}

} // namespace

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::close() {
    session_.reset();
    engine_ = Engine::Unsupported;
}

bool Connection::open(const QString& connectionString, int timeoutSeconds, QString* error) {
    close();
    const QString appPath = bd::os::AppPath();
    cs_ = replaceAppPath(connectionString, appPath);
    lastError_.clear();
    auto fail = [&](const QString& why) {
        lastError_ = why;
        if (error) *error = why;
        return false;
    };
    const QString effective = withSessionPassword(cs_);
    EngineChoice c = chooseEngine(effective, appPath);
    if (c.engine == Engine::Odbc && c.odbcString.contains("Driver=", Qt::CaseInsensitive)) {
        const QStringList drivers = installedOdbcDrivers();
        c = chooseEngine(effective, appPath, &drivers);
    }
    if (c.engine == Engine::Unsupported) return fail(c.error);
    const int timeout = std::max(1, timeoutSeconds);

    auto s = std::make_shared<detail::Session>();
    s->engine = c.engine;
    s->name = nextConnectionName();
    QString why;
    bool opened = true;
    switch (c.engine) {
    case Engine::SQLite:
        opened = openSqliteFile(*s, c, timeout, &why);
        break;
    case Engine::Excel:
    case Engine::Access:
    case Engine::Csv:
        opened = openImportedFile(*s, c, &why);
        break;
    case Engine::MySql:
    case Engine::PostgreSql:
        opened = openServer(*s, c, timeout, &why);
        break;
    case Engine::Odbc:
        opened = openOdbc(*s, c, timeout, &why);
        break;
    case Engine::Unsupported:
        break;
    }
    if (!opened) return fail(why);
    if (s->handle) s->dialect = SqlDialect{SqlDialect::SQLite};
    engine_ = c.engine;
    session_ = std::move(s);
    return true;
}

SqlDialect Connection::dialect() const {
    return session_ ? session_->dialect : SqlDialect{};
}

sqlite3* Connection::sqliteHandle() const {
    return session_ ? session_->handle : nullptr;
}

QString Connection::quoteName(const QString& name) const {
    if (session_ && !session_->handle && session_->db.driver())
        return session_->db.driver()->escapeIdentifier(name, QSqlDriver::TableName);
    // Backticks: SQLite would read a double-quoted unknown name as a text.
    QString q = name;
    q.replace('`', "``");
    return '`' + q + '`';
}

namespace {
QStringList sqliteNames(sqlite3* h, const char* type, QString* error) {
    QStringList out;
    sqlite3_stmt* st = nullptr;
    const char* sql =
        "SELECT name FROM sqlite_master WHERE type = ?1 AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
        "ORDER BY name COLLATE NOCASE";
    if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) != SQLITE_OK) {
        if (error) *error = QString::fromUtf8(sqlite3_errmsg(h));
        return out;
    }
    sqlite3_bind_text(st, 1, type, -1, SQLITE_STATIC);
    while (sqlite3_step(st) == SQLITE_ROW)
        out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    return out;
}

QStringList sorted(QStringList l) {
    std::sort(l.begin(), l.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return l;
}
} // namespace

QStringList Connection::tables(QString* error) {
    if (!session_) {
        if (error) *error = QStringLiteral("The connection is not open.");
        return {};
    }
    if (session_->handle) return sqliteNames(session_->handle, "table", error);
    return sorted(session_->db.tables(QSql::Tables));
}

QStringList Connection::views(QString* error) {
    if (!session_) {
        if (error) *error = QStringLiteral("The connection is not open.");
        return {};
    }
    if (session_->handle) return sqliteNames(session_->handle, "view", error);
    return sorted(session_->db.tables(QSql::Views));
}

QVector<Field> Connection::columns(const QString& table, QString* error) {
    Recordset rs;
    if (!rs.open("SELECT * FROM " + quoteName(table) + " WHERE 1 = 0", *this, error)) return {};
    QVector<Field> f = rs.fields();
    for (auto& x : f)
        x.value = QVariant();
    return f;
}

QVariantList Connection::distinctValues(const QString& table, const QString& column, QString* error) {
    QVariantList out;
    Recordset rs;
    const QString c = quoteName(column);
    if (!rs.open("SELECT DISTINCT " + c + " FROM " + quoteName(table) + " WHERE " + c +
                     " IS NOT NULL ORDER BY 1",
                 *this, error))
        return out;
    for (; !rs.eof(); rs.moveNext())
        out << rs.value(0);
    if (!rs.lastError().isEmpty() && error) *error = rs.lastError();
    return out;
}

// ---- Recordset ----------------------------------------------------------------------------------

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

void Recordset::close() {
    cursor_.reset();
    fields_.clear();
    eof_ = true;
}

bool Recordset::open(const QString& sql, Connection& c, QString* error) {
    close();
    lastError_.clear();
    if (!c.isOpen()) {
        lastError_ = QStringLiteral("The connection is not open.");
        if (error) *error = lastError_;
        return false;
    }
    QString why;
    cursor_ = detail::openCursor(c.session(), sql, &why);
    if (!cursor_) {
        lastError_ = why;
        if (error) *error = why;
        return false;
    }
    fields_ = cursor_->fields();
    if (!fetch() && !lastError_.isEmpty()) {
        if (error) *error = lastError_;
        close();
        return false;
    }
    return true;
}

bool Recordset::fetch() {
    QString why;
    const bool row = cursor_->next(fields_, &why);
    eof_ = !row;
    if (!row) {
        lastError_ = why;
        for (auto& f : fields_)
            f.value = QVariant();
    }
    return row;
}

bool Recordset::moveNext() {
    if (!cursor_ || eof_) return false;
    return fetch();
}

int Recordset::indexOf(const QString& name) const {
    for (int i = 0; i < fields_.size(); ++i)
        if (fields_[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

QStringList odbcDriverNames() {
    return odbcList(true);
}
QStringList odbcDataSourceNames() {
    return odbcList(false);
}

} // namespace bd::db
