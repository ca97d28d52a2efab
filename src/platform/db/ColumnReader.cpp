#include "platform/db/ColumnReader.h"

#include "platform/db/AdoTypes.h"
#include "platform/db/Connection.h"
#include "platform/db/Session.h"

#include <QDate>
#include <QDateTime>

#include <cstring>
#include <sqlite3.h>
#include <string_view>
#include <unordered_map>

namespace bd::db {
namespace {

struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept {
        // FNV-1a: short dimension texts, hashed once per row.
        uint64_t h = 1469598103934665603ull;
        for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
        return size_t(h);
    }
};
struct Eq {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return a == b; }
};

// Builds one column, whatever the source.
struct Builder {
    ColumnData* col = nullptr;
    std::unordered_map<std::string, uint32_t, Hash, Eq> codes;
    std::string last;       // the previous text and its code: sorted or grouped data repeats
    uint32_t lastCode = UINT32_MAX;
    size_t rows = 0;
    bool kindKnown = true;  // false: expression column, kind taken from its first value
    size_t leadingNulls = 0;

    void null() {
        if (!kindKnown) {
            ++leadingNulls;
            ++rows;
            return;
        }
        if (col->nulls.empty()) col->nulls.assign(rows, 0);
        col->nulls.push_back(1);
        switch (col->kind) {
        case ColumnKind::Integer:
        case ColumnKind::Boolean: col->ints.push_back(0); break;
        case ColumnKind::Real:
        case ColumnKind::DateTime: col->reals.push_back(0); break;
        case ColumnKind::Text: col->codes.push_back(code(std::string_view())); break;
        }
        ++rows;
    }
    void settle(ColumnKind k, int adoType) {
        if (kindKnown) return;
        kindKnown = true;
        col->kind = k;
        col->adoType = adoType;
        const size_t n = leadingNulls;
        rows = 0;
        for (size_t i = 0; i < n; ++i) null();
    }
    void notNull() {
        if (!col->nulls.empty()) col->nulls.push_back(0);
        ++rows;
    }
    uint32_t code(std::string_view s) {
        if (lastCode != UINT32_MAX && s == last) return lastCode;
        auto it = codes.find(s);
        uint32_t c;
        if (it == codes.end()) {
            c = uint32_t(col->dict.size());
            col->dict.emplace_back(s);
            codes.emplace(std::string(s), c);
        } else {
            c = it->second;
        }
        last.assign(s.data(), s.size());
        lastCode = c;
        return c;
    }
    void text(std::string_view s) {
        col->codes.push_back(code(s));
        notNull();
    }
    void integer(int64_t v) {
        col->ints.push_back(v);
        notNull();
    }
    void real(double v) {
        col->reals.push_back(v);
        notNull();
    }
    // An integer column that meets a fraction becomes a real one.
    void promoteToReal() {
        col->reals.assign(col->ints.begin(), col->ints.end());
        col->ints.clear();
        col->ints.shrink_to_fit();
        col->kind = ColumnKind::Real;
        if (col->adoType != ado::Numeric) col->adoType = ado::Double;
    }
};

// Numbers in a date column: unix seconds, Julian days or OLE dates, told apart by size.
double numberToOleDate(double v) {
    if (v >= 1e8) return v / 86400.0 + 25569.0;
    if (v >= 1e6) return v - 2415018.5;
    return v;
}

bool readSqlite(Connection& c, const QString& sql, ColumnarResult& out, QString* error) {
    sqlite3* h = c.sqliteHandle();
    const QByteArray text = detail::engineSql(*c.session(), sql).toUtf8();
    sqlite3_stmt* st = nullptr;
    const int prc = sqlite3_prepare_v2(h, text.constData(), int(text.size()), &st, nullptr);
    if (prc != SQLITE_OK || !st) {
        if (error)
            *error = prc != SQLITE_OK ? QString::fromUtf8(sqlite3_errmsg(h)) : QStringLiteral("The SQL text holds no statement.");
        sqlite3_finalize(st);
        return false;
    }
    const int n = sqlite3_column_count(st);
    out.columns.assign(size_t(n), ColumnData{});
    std::vector<Builder> b(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        ColumnData& col = out.columns[size_t(i)];
        col.name = sqlite3_column_name(st, i);
        const char* decl = sqlite3_column_decltype(st, i);
        const int t = decl ? adoTypeFromDeclared(QString::fromUtf8(decl)) : ado::Empty;
        b[size_t(i)].col = &col;
        if (t == ado::Empty) {
            b[size_t(i)].kindKnown = false;
            col.kind = ColumnKind::Text;
            col.adoType = ado::VarChar;
        } else {
            col.adoType = t;
            col.kind = columnKindOf(t);
        }
    }
    int rc;
    size_t rows = 0;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        for (int i = 0; i < n; ++i) {
            Builder& x = b[size_t(i)];
            const int storage = sqlite3_column_type(st, i);
            if (storage == SQLITE_NULL) {
                x.null();
                continue;
            }
            if (!x.kindKnown) {
                if (storage == SQLITE_INTEGER) x.settle(ColumnKind::Integer, ado::BigInt);
                else if (storage == SQLITE_FLOAT) x.settle(ColumnKind::Real, ado::Double);
                else x.settle(ColumnKind::Text, storage == SQLITE_BLOB ? ado::LongVarBinary : ado::VarChar);
            }
            switch (x.col->kind) {
            case ColumnKind::Integer:
                if (storage == SQLITE_FLOAT) {
                    const double d = sqlite3_column_double(st, i);
                    if (d != double(int64_t(d))) {
                        x.promoteToReal();
                        x.real(d);
                    } else {
                        x.integer(int64_t(d));
                    }
                } else {
                    x.integer(sqlite3_column_int64(st, i));
                }
                break;
            case ColumnKind::Boolean: x.integer(sqlite3_column_int64(st, i) != 0); break;
            case ColumnKind::Real: x.real(sqlite3_column_double(st, i)); break;
            case ColumnKind::DateTime: {
                if (storage == SQLITE_TEXT) {
                    const char* s = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
                    const size_t len = size_t(sqlite3_column_bytes(st, i));
                    double ole;
                    if (parseIsoDate(s, len, ole)) x.real(ole);
                    else x.null();
                } else {
                    x.real(numberToOleDate(sqlite3_column_double(st, i)));
                }
                break;
            }
            case ColumnKind::Text: {
                const char* s = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
                x.text(std::string_view(s ? s : "", size_t(sqlite3_column_bytes(st, i))));
                break;
            }
            }
        }
        ++rows;
    }
    // Columns that held nothing but NULL stay texts.
    for (auto& x : b)
        if (!x.kindKnown) x.settle(ColumnKind::Text, ado::VarChar);
    if (rc != SQLITE_DONE) {
        if (error) *error = QString::fromUtf8(sqlite3_errmsg(h));
        sqlite3_finalize(st);
        out = {};
        return false;
    }
    sqlite3_finalize(st);
    out.rowCount = rows;
    return true;
}

double toOleDate(const QVariant& v) {
    QDateTime dt;
    if (v.metaType().id() == QMetaType::QDate) dt = QDateTime(v.toDate(), QTime(0, 0));
    else dt = v.toDateTime();
    const QDate d = dt.date();
    const QTime t = dt.time();
    return double(QDate(1899, 12, 30).daysTo(d)) + (t.msecsSinceStartOfDay() / 86400000.0);
}

bool readGeneric(Connection& c, const QString& sql, ColumnarResult& out, QString* error) {
    Recordset rs;
    if (!rs.open(sql, c, error)) return false;
    const int n = rs.fieldCount();
    out.columns.assign(size_t(n), ColumnData{});
    std::vector<Builder> b(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        ColumnData& col = out.columns[size_t(i)];
        col.name = rs.field(i).name.toStdString();
        col.adoType = rs.field(i).type;
        col.kind = columnKindOf(col.adoType);
        b[size_t(i)].col = &col;
    }
    size_t rows = 0;
    for (; !rs.eof(); rs.moveNext()) {
        for (int i = 0; i < n; ++i) {
            Builder& x = b[size_t(i)];
            const QVariant& v = rs.field(i).value;
            if (v.isNull()) {
                x.null();
                continue;
            }
            switch (x.col->kind) {
            case ColumnKind::Integer:
            case ColumnKind::Boolean: x.integer(v.toLongLong()); break;
            case ColumnKind::Real: x.real(v.toDouble()); break;
            case ColumnKind::DateTime: x.real(toOleDate(v)); break;
            case ColumnKind::Text: {
                const QByteArray s = v.toString().toUtf8();
                x.text(std::string_view(s.constData(), size_t(s.size())));
                break;
            }
            }
        }
        ++rows;
    }
    if (!rs.lastError().isEmpty()) {
        if (error) *error = rs.lastError();
        out = {};
        return false;
    }
    out.rowCount = rows;
    return true;
}

} // namespace

bool readColumns(const QString& connectionString, const QString& sql, ColumnarResult& out, QString* error) {
    out = {};
    Connection c;
    if (!c.open(connectionString, 10, error)) return false;
    if (c.sqliteHandle()) return readSqlite(c, sql, out, error);
    return readGeneric(c, sql, out, error);
}

} // namespace bd::db
