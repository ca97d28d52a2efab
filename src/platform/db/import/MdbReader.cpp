#include "platform/db/import/MdbReader.h"

#include "platform/db/import/MdbCatalogCheck.h"
#include "platform/db/import/MdbGuards.h"

#include "platform/db/AdoTypes.h"
#include "platform/db/FileImport.h"
#include "platform/os/Process.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstring>
#include <locale.h>
#include <mdbtools.h>
#include <sqlite3.h>

namespace bd::db::import {
namespace {

// Longest value read from one field.
constexpr size_t kBindBytes = 256 * 1024;
// Time given to mdbtools' query printer per query.
constexpr int kQueryTimeoutMs = 10000;
// mdbtools' flags of a row's offset on its page.
constexpr int kRowOffsetMask = 0x1fff;
// Object flags of saved queries that change data, with what they are called.
struct ActionQuery {
    int flags;
    const char* what;
};
constexpr ActionQuery kActionQueries[] = {
    {16, "a crosstab query"},      {32, "a delete query"},     {48, "an update query"},
    {64, "an append query"},       {80, "a make-table query"}, {96, "a data-definition query"},
    {112, "a pass-through query"},
};

// mdbtools prints numbers with the thread's locale: read in the C locale whatever the user's is.
class CLocaleScope {
public:
    CLocaleScope() : c_(newlocale(LC_ALL_MASK, "C", nullptr)), old_(c_ ? uselocale(c_) : nullptr) {}
    ~CLocaleScope() {
        if (c_) {
            uselocale(old_);
            freelocale(c_);
        }
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t c_;
    locale_t old_;
};

enum class Target { Skip, Integer, Boolean, Real, Date, Text };

struct ColumnPlan {
    QString declared;
    Target target = Target::Text;
};

ColumnPlan planFor(int type) {
    switch (type) {
    case MDB_BOOL:
        return {"BOOLEAN", Target::Boolean};
    case MDB_BYTE:
        return {"BYTE", Target::Integer};
    case MDB_INT:
        return {"SMALLINT", Target::Integer};
    case MDB_LONGINT:
    case MDB_COMPLEX:
        return {"INTEGER", Target::Integer};
    case MDB_MONEY:
        return {"CURRENCY", Target::Real};
    case MDB_FLOAT:
        return {"SINGLE", Target::Real};
    case MDB_DOUBLE:
        return {"DOUBLE", Target::Real};
    case MDB_NUMERIC:
        return {"DECIMAL", Target::Real};
    case MDB_DATETIME:
        return {"DATE", Target::Date};
    case MDB_TEXT:
        return {"VARCHAR(255)", Target::Text};
    case MDB_MEMO:
        return {"MEMO", Target::Text};
    case MDB_REPID:
        return {"GUID", Target::Text};
    default:
        return {"BLOB", Target::Skip};
    }
}

QString quoteName(const QString& n) {
    QString q = n;
    q.replace('"', "\"\"");
    return '"' + q + '"';
}

// Which fields of the row just fetched are NULL (an empty text is not). mdbtools' bound values
// give both as "", so the row is read again from its page.
bool rowNulls(MdbTableDef* table, std::vector<bool>& isNull) {
    MdbHandle* mdb = table->entry->mdb;
    int start = 0;
    size_t size = 0;
    if (table->cur_row == 0 || mdb_find_row(mdb, int(table->cur_row - 1), &start, &size) != 0) return false;
    // mdbtools itself cracks a row into 256 fields at most.
    std::vector<MdbField> fields(std::max<size_t>(table->num_cols + 1, 256));
    const int n = mdb_crack_row(table, start & kRowOffsetMask, size, fields.data());
    if (n < 0) return false;
    for (int i = 0; i < n && i < int(table->num_cols); ++i)
        if (fields[size_t(i)].colnum >= 0 && fields[size_t(i)].colnum < int(isNull.size()))
            isNull[size_t(fields[size_t(i)].colnum)] = fields[size_t(i)].is_null;
    return true;
}

bool parseInteger(const char* p, size_t n, int64_t& v) {
    while (n > 0 && *p == ' ')
        ++p, --n;
    const auto r = std::from_chars(p, p + n, v);
    return n > 0 && r.ec == std::errc() && r.ptr == p + n;
}

bool parseReal(const char* p, size_t n, double& v) {
    while (n > 0 && *p == ' ')
        ++p, --n;
    const auto r = std::from_chars(p, p + n, v);
    return n > 0 && r.ec == std::errc() && r.ptr == p + n;
}

// A bound value that is not empty, as its column's target type (NULL when it does not parse).
inline void storeValue(RowSink& sink, int col, Target target, const char* v, size_t len) {
    int64_t i;
    double d;
    switch (target) {
    case Target::Integer:
    case Target::Boolean:
        if (parseInteger(v, len, i))
            sink.integer(col, i);
        else
            sink.null(col);
        break;
    case Target::Real:
        if (parseReal(v, len, d))
            sink.real(col, d);
        else
            sink.null(col);
        break;
    case Target::Date: {
        // Midnight is the plain date.
        size_t m = len;
        if (m == 19 && std::memcmp(v + 10, " 00:00:00", 9) == 0) m = 10;
        sink.text(col, v, m);
        break;
    }
    case Target::Text:
    case Target::Skip:
        sink.text(col, v, len);
        break;
    }
}

bool readTable(MdbCatalogEntry* entry, ImportWriter& writer, QString* error) {
    MdbTableDef* table = mdb_read_table(entry);
    if (!table) return true;
    TableSchema schema;
    schema.name = QString::fromUtf8(entry->object_name);
    // The columns mdbtools could read, not the count the page states: a damaged definition gives
    // none, or claims thousands (a table holds at most 255), each of which would get its buffer; or
    // it leaves the table no page map.
    const GPtrArray* columns = mdb_read_columns(table);
    if (!columns || columns->len > MDB_MAX_COLS || !hasPageMap(table)) {
        mdb_free_tabledef(table);
        if (error)
            *error = QStringLiteral("The table \"%1\" cannot be read: its definition is damaged.")
                         .arg(schema.name);
        return false;
    }
    mdb_rewind_table(table);
    const unsigned n = columns->len;
    std::vector<std::vector<char>> bufs(n, std::vector<char>(kBindBytes + 1));
    std::vector<int> lens(n, 0);
    std::vector<Target> targets;
    for (unsigned c = 0; c < n; ++c) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(columns, c));
        const ColumnPlan p = planFor(col->col_type);
        schema.columns << QString::fromUtf8(col->name);
        schema.declared << p.declared;
        targets.push_back(p.target);
        mdb_bind_column(table, int(c + 1), bufs[c].data(), &lens[c]);
    }
    if (writer.hasTable(schema.name)) { // a repeated name keeps the first table
        mdb_free_tabledef(table);
        return true;
    }
    RowSink* sink = writer.createTable(schema, error) ? writer.rows(error) : nullptr;
    bool ok = sink != nullptr;
    std::vector<bool> isNull(n, false);
    while (ok && mdb_fetch_row(table)) {
        bool nullsRead = false;
        for (unsigned c = 0; c < n; ++c) {
            const int col = int(c);
            const char* v = bufs[c].data();
            const size_t len = size_t(std::min<int>(std::max(lens[c], 0), int(kBindBytes)));
            if (targets[c] == Target::Skip) {
                sink->null(col);
                continue;
            }
            if (len == 0) {
                if (targets[c] == Target::Text) {
                    if (!nullsRead) {
                        std::fill(isNull.begin(), isNull.end(), true);
                        nullsRead = rowNulls(table, isNull);
                    }
                    if (nullsRead && !isNull[c]) {
                        sink->text(col, "", 0);
                        continue;
                    }
                }
                sink->null(col);
                continue;
            }
            storeValue(*sink, col, targets[c], v, len);
        }
        if (!sink->endRow()) {
            ok = false;
            if (error)
                *error = QStringLiteral("Cannot import the table \"%1\": %2").arg(schema.name, sink->error());
        }
    }
    if (sink && !writer.endRows(ok ? error : nullptr)) ok = false;
    mdb_free_tabledef(table);
    return ok;
}

// A view that cannot be read: selecting from it fails with the reason.
void addUnreadableQuery(ImportWriter& writer, const QString& name, const QString& why) {
    const QString reason = QStringLiteral("the saved query \"%1\" cannot be read here: %2").arg(name, why);
    writer.exec("CREATE VIEW " + quoteName(name) + " AS SELECT * FROM " + quoteName(reason), nullptr);
}

void addQuery(const QString& path, const QString& name, int flags, ImportWriter& writer) {
    for (const auto& a : kActionQueries)
        if (flags == a.flags)
            return addUnreadableQuery(writer, name, QStringLiteral("it is %1.").arg(a.what));
    bd::os::ProcessRequest r;
    r.program = QStringLiteral("mdb-queries");
    r.arguments = {path, name};
    r.timeoutMs = kQueryTimeoutMs;
    const bd::os::ProcessResult res = bd::os::RunProcess(r);
    if (!res.started || !res.finished || res.exitCode != 0)
        return addUnreadableQuery(writer, name, QStringLiteral("mdbtools cannot print its SQL."));
    const QString sql = accessQueryToSqlite(QString::fromUtf8(res.standardOutput).trimmed());
    QString why;
    if (sql.isEmpty() || !writer.exec("CREATE VIEW " + quoteName(name) + " AS " + sql, &why))
        return addUnreadableQuery(writer, name, why.isEmpty() ? QStringLiteral("its SQL is empty.") : why);
    // The view must also run: a name it uses may be unknown to SQLite.
    sqlite3_stmt* st = nullptr;
    const QByteArray probe = ("SELECT * FROM " + quoteName(name)).toUtf8();
    if (sqlite3_prepare_v2(writer.handle(), probe.constData(), -1, &st, nullptr) != SQLITE_OK) {
        why = QString::fromUtf8(sqlite3_errmsg(writer.handle()));
        writer.exec("DROP VIEW " + quoteName(name), nullptr);
        addUnreadableQuery(writer, name, why);
    }
    sqlite3_finalize(st);
}

} // namespace

QString accessQueryToSqlite(const QString& sql) {
    QString out;
    const int n = int(sql.size());
    for (int i = 0; i < n; ++i) {
        const QChar ch = sql[i];
        if (ch == '"') {
            // A text in double quotes ("" inside stands for one).
            QString text;
            int j = i + 1;
            for (; j < n; ++j) {
                if (sql[j] == '"') {
                    if (j + 1 < n && sql[j + 1] == '"') {
                        text += '"';
                        ++j;
                        continue;
                    }
                    break;
                }
                text += sql[j];
            }
            text.replace('\'', "''");
            out += '\'' + text + '\'';
            i = j;
            continue;
        }
        if (ch == '\'' || ch == '[') {
            const QChar close = ch == '[' ? QChar(']') : ch;
            int j = i + 1;
            while (j < n && sql[j] != close)
                ++j;
            out += sql.mid(i, j - i + 1);
            i = j;
            continue;
        }
        out += ch;
    }
    while (out.endsWith(';') || out.endsWith(' '))
        out.chop(1);
    return desktopSqlToSqlite(out);
}

bool importMdb(const QString& path, ImportWriter& writer, QString* error) {
    const CLocaleScope cLocale;
    const QString shown = QDir::toNativeSeparators(path);
    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb) {
        if (error) *error = QStringLiteral("The database \"%1\" cannot be read.").arg(shown);
        return false;
    }
    mdb_set_bind_size(mdb, kBindBytes);
    mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
    if (!catalogueSound(path) || !mdb_read_catalog(mdb, MDB_ANY)) {
        mdb_close(mdb);
        if (error) *error = QStringLiteral("The database \"%1\" has no readable catalogue.").arg(shown);
        return false;
    }
    bool ok = true;
    QList<QPair<QString, int>> queries;
    for (unsigned i = 0; i < mdb->num_catalog && ok; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_QUERY) {
            queries.append({QString::fromUtf8(entry->object_name), entry->flags});
            continue;
        }
        if (entry->object_type != MDB_TABLE || mdb_is_system_table(entry)) continue;
        ok = readTable(entry, writer, error);
    }
    mdb_close(mdb);
    if (!ok) return false;
    // Queries last: they read the tables. Names taken by a table keep the table.
    for (const auto& [name, flags] : queries)
        if (!writer.hasTable(name)) addQuery(path, name, flags, writer);
    return true;
}

} // namespace bd::db::import
