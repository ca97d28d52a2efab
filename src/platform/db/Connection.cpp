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

#include <algorithm>
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
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(session_->handle, text.constData(), int(text.size()), &st_, nullptr) !=
            SQLITE_OK) {
            if (error) *error = sqliteError(session_->handle);
            return false;
        }
        if (!st_) {
            if (error) *error = QStringLiteral("The SQL text holds no statement.");
            return false;
        }
        const int rc = sqlite3_step(st_);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            if (error) *error = sqliteError(session_->handle);
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
                if (error) *error = sqliteError(session_->handle);
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

class QtCursor : public Cursor {
public:
    QtCursor(std::shared_ptr<Session> s) : session_(std::move(s)), q_(session_->db) {}

    bool start(const QString& sql, QString* error) {
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
};

} // namespace

std::unique_ptr<Cursor> openCursor(const std::shared_ptr<Session>& s, const QString& sql, QString* error) {
    if (s->handle) {
        auto c = std::make_unique<SqliteCursor>(s);
        if (!c->start(engineSql(*s, sql), error)) return {};
        return c;
    }
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

// The ODBC drivers or data sources the driver manager knows.
QStringList odbcList(bool drivers) {
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
    EngineChoice c = chooseEngine(cs_, appPath);
    if (c.engine == Engine::Odbc && c.odbcString.contains("Driver=", Qt::CaseInsensitive)) {
        const QStringList drivers = installedOdbcDrivers();
        c = chooseEngine(cs_, appPath, &drivers);
    }
    if (c.engine == Engine::Unsupported) return fail(c.error);
    const int timeout = std::max(1, timeoutSeconds);

    auto s = std::make_shared<detail::Session>();
    s->engine = c.engine;
    s->name = nextConnectionName();
    switch (c.engine) {
    case Engine::SQLite: {
        const QString file = resolveFileCase(c.file);
        if (!QFileInfo(file).isFile())
            return fail(
                QStringLiteral("The file \"%1\" does not exist.").arg(QDir::toNativeSeparators(c.file)));
        s->db = QSqlDatabase::addDatabase("QSQLITE", s->name);
        s->db.setDatabaseName(file);
        s->db.setConnectOptions(
            QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=%1").arg(timeout * 1000));
        if (!s->db.open()) return fail(s->db.lastError().text());
        s->handle = handleOf(s->db);
        if (!s->handle) return fail(QStringLiteral("The SQLite driver gives no handle."));
        // A file that is no database fails here rather than at the first query.
        if (sqlite3_exec(s->handle, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
            SQLITE_OK)
            return fail(
                QStringLiteral("The file \"%1\" cannot be read as a database: %2")
                    .arg(QDir::toNativeSeparators(file), QString::fromUtf8(sqlite3_errmsg(s->handle))));
        // Reading through a memory map spares a copy of every page: large scans run markedly faster.
        sqlite3_exec(s->handle, "PRAGMA mmap_size = 2147483648", nullptr, nullptr, nullptr);
        break;
    }
    case Engine::Excel:
    case Engine::Access:
    case Engine::Csv: {
        QString why;
        s->imported = importFile(c, &why);
        if (!s->imported) return fail(why);
        s->db = QSqlDatabase::addDatabase("QSQLITE", s->name);
        s->db.setDatabaseName(":memory:");
        if (!s->db.open()) return fail(s->db.lastError().text());
        s->handle = handleOf(s->db);
        if (!s->handle) return fail(QStringLiteral("The SQLite driver gives no handle."));
        // Read-only over the shared import: nothing is copied and nothing can change it.
        if (sqlite3_deserialize(s->handle, "main", s->imported->data, s->imported->size, s->imported->size,
                                SQLITE_DESERIALIZE_READONLY) != SQLITE_OK)
            return fail(QString::fromUtf8(sqlite3_errmsg(s->handle)));
        break;
    }
    case Engine::MySql:
    case Engine::PostgreSql: {
        const bool my = c.engine == Engine::MySql;
        s->db = QSqlDatabase::addDatabase(my ? "QMYSQL" : "QPSQL", s->name);
        if (!s->db.isValid()) return fail(QStringLiteral("The database driver is not installed."));
        s->db.setHostName(c.host.isEmpty() ? QStringLiteral("localhost") : c.host);
        if (c.port > 0) s->db.setPort(c.port);
        s->db.setDatabaseName(c.database);
        s->db.setUserName(c.user);
        s->db.setPassword(c.password);
        s->db.setConnectOptions(my ? QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=%1").arg(timeout)
                                   : QStringLiteral("connect_timeout=%1").arg(timeout));
        if (!s->db.open()) return fail(s->db.lastError().text());
        break;
    }
    case Engine::Odbc: {
        s->db = QSqlDatabase::addDatabase("QODBC", s->name);
        if (!s->db.isValid()) return fail(QStringLiteral("The ODBC driver is not installed."));
        s->db.setDatabaseName(c.odbcString);
        s->db.setConnectOptions(
            QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%1").arg(timeout));
        if (!s->db.open()) return fail(s->db.lastError().text());
        break;
    }
    case Engine::Unsupported:
        break;
    }
    engine_ = c.engine;
    session_ = std::move(s);
    return true;
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
