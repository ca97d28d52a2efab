#include "platform/db/ColumnReader.h"

#include "platform/dates/OleDate.h"
#include "platform/db/AdoTypes.h"
#include "platform/db/ColumnBuilder.h"
#include "platform/db/Connection.h"
#include "platform/db/NativeColumns.h"
#include "platform/db/Session.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QRegularExpression>

#include <condition_variable>
#include <cstring>
#include <deque>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <mutex>
#include <optional>
#include <sqlite3.h>
#include <string_view>
#include <thread>

namespace bd::db {
namespace {

using detail::Builder;
using detail::FlatDict;
using detail::kNullText;
using detail::TextBatch;
using detail::TextEncoder;

void settleNullTexts(ColumnarResult& r) {
    for (ColumnData& c : r.columns) {
        if (c.kind != ColumnKind::Text || c.nulls.empty()) continue;
        const uint32_t nullCode = uint32_t(c.dict.size());
        for (uint32_t& code : c.codes)
            if (code == kNullText) code = nullCode;
    }
}

// Numbers in a date column: unix seconds, Julian days or OLE dates, told apart by size.
double numberToOleDate(double v) {
    if (v >= 1e8) return bd::dates::oleFromUnixSeconds(v);
    if (v >= 1e6) return bd::dates::oleFromJulianDay(v);
    return v;
}

// The columns a statement gives, with their kinds where declared (room for expectRows values when
// known); an undeclared one (an expression) takes its kind from its first value.
void declareColumns(sqlite3_stmt* st, ColumnarResult& out, std::vector<Builder>& b, size_t expectRows) {
    const int n = sqlite3_column_count(st);
    out.columns.assign(size_t(n), ColumnData{});
    b = std::vector<Builder>(static_cast<size_t>(n));
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
            continue;
        }
        col.adoType = t;
        col.kind = columnKindOf(t);
        // known row count (a range of a split scan): no regrowing, no copies left behind
        if (expectRows) {
            if (col.kind == ColumnKind::Text)
                col.codes.reserve(expectRows);
            else if (col.kind == ColumnKind::Real || col.kind == ColumnKind::DateTime)
                col.reals.reserve(expectRows);
            else
                col.ints.reserve(expectRows);
        }
    }
}

// One non-NULL value of a column that is not piped, converted to the column's kind.
inline void storeSqliteValue(Builder& x, sqlite3_value* v, int storage) {
    if (!x.kindKnown) {
        if (storage == SQLITE_INTEGER)
            x.settle(ColumnKind::Integer, ado::BigInt);
        else if (storage == SQLITE_FLOAT)
            x.settle(ColumnKind::Real, ado::Double);
        else
            x.settle(ColumnKind::Text, storage == SQLITE_BLOB ? ado::LongVarBinary : ado::VarChar);
    }
    switch (x.col->kind) {
    case ColumnKind::Integer:
        if (storage == SQLITE_FLOAT) {
            const double d = sqlite3_value_double(v);
            if (d != double(int64_t(d))) {
                x.promoteToReal();
                x.real(d);
            } else {
                x.integer(int64_t(d));
            }
        } else {
            x.integer(sqlite3_value_int64(v));
        }
        break;
    case ColumnKind::Boolean:
        x.integer(sqlite3_value_int64(v) != 0);
        break;
    case ColumnKind::Real:
        x.real(sqlite3_value_double(v));
        break;
    case ColumnKind::DateTime: {
        if (storage == SQLITE_TEXT) {
            const char* s = reinterpret_cast<const char*>(sqlite3_value_text(v));
            const size_t len = size_t(sqlite3_value_bytes(v));
            double ole;
            if (parseIsoDate(s, len, ole))
                x.real(ole);
            else
                x.null();
        } else {
            x.real(numberToOleDate(sqlite3_value_double(v)));
        }
        break;
    }
    case ColumnKind::Text: {
        const char* s = reinterpret_cast<const char*>(sqlite3_value_text(v));
        x.text(std::string_view(s ? s : "", size_t(sqlite3_value_bytes(v))));
        break;
    }
    }
}

// One value of a piped text column: its bytes into the batch for the encoder thread.
inline void pipeSqliteValue(Builder& x, TextBatch& batch, size_t j, sqlite3_value* v, int storage) {
    std::string& bytes = batch.bytes[j];
    if (storage == SQLITE_NULL) {
        batch.nullRows[j].push_back(uint32_t(batch.ends[j].size()));
        x.null();
    } else {
        const char* s = reinterpret_cast<const char*>(sqlite3_value_text(v));
        bytes.append(s ? s : "", size_t(sqlite3_value_bytes(v)));
        x.notNull();
    }
    batch.ends[j].push_back(uint32_t(bytes.size()));
}

// One statement on one handle, straight into columns. pipelined: texts are encoded on a second thread.
bool readSqlite(sqlite3* h, const QByteArray& text, ColumnarResult& out, QString* error, bool pipelined,
                detail::SqliteGuard* guard, size_t expectRows = 0) {
    sqlite3_stmt* st = nullptr;
    if (!detail::prepareGuarded(h, text, guard, &st, error)) return false;
    std::vector<Builder> b;
    declareColumns(st, out, b, expectRows);
    const int n = int(b.size());
    // Declared text columns go to the encoder thread.
    std::vector<ColumnData*> pipedCols;
    std::vector<int> pipeSlot(size_t(n), -1);
    for (int i = 0; i < n; ++i)
        if (pipelined && b[size_t(i)].kindKnown && out.columns[size_t(i)].kind == ColumnKind::Text) {
            pipeSlot[size_t(i)] = int(pipedCols.size());
            pipedCols.push_back(&out.columns[size_t(i)]);
            b[size_t(i)].piped = true;
        }
    std::unique_ptr<TextEncoder> encoder;
    std::unique_ptr<TextBatch> batch;
    if (!pipedCols.empty()) {
        encoder = std::make_unique<TextEncoder>(pipedCols);
        batch = encoder->take();
    }
    int rc;
    size_t rows = 0;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        for (int i = 0; i < n; ++i) {
            Builder& x = b[size_t(i)];
            // One locked call per value; the value accessors after it take no lock.
            sqlite3_value* v = sqlite3_column_value(st, i);
            const int storage = sqlite3_value_type(v);
            if (x.piped)
                pipeSqliteValue(x, *batch, size_t(pipeSlot[size_t(i)]), v, storage);
            else if (storage == SQLITE_NULL)
                x.null();
            else
                storeSqliteValue(x, v, storage);
        }
        ++rows;
        if (batch && ++batch->rows == TextEncoder::kBatchRows) {
            encoder->submit(std::move(batch));
            batch = encoder->take();
        }
    }
    if (encoder) {
        encoder->submit(std::move(batch));
        encoder->finish();
    }
    // Columns that held nothing but NULL stay texts.
    for (auto& x : b)
        if (!x.kindKnown) x.settle(ColumnKind::Text, ado::VarChar);
    if (rc != SQLITE_DONE) {
        if (error) *error = detail::stepError(h, rc, guard);
        sqlite3_finalize(st);
        out = {};
        return false;
    }
    sqlite3_finalize(st);
    out.rowCount = rows;
    return true;
}

// ---- parallel scan of a whole table ----

// "SELECT columns FROM table [WHERE condition]" and nothing more: such a scan can be split on rowid
// ranges. Quoted texts are blanked before the clauses that would forbid it are looked for.
bool splittableScan(const QString& sql, QString& columns, QString& table, QString& condition) {
    static const QRegularExpression re(
        QStringLiteral(
            "^\\s*SELECT\\s+(.+?)\\s+FROM\\s+(\"[^\"]+\"|\\[[^\\]]+\\]|`[^`]+`|[A-Za-z_][A-Za-z0-9_$]*)"
            "(?:\\s+WHERE\\s+(.+?))?\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const auto m = re.match(sql);
    if (!m.hasMatch()) return false;
    columns = m.captured(1);
    table = m.captured(2);
    condition = m.captured(3);
    static const QRegularExpression distinct(QStringLiteral("\\bDISTINCT\\b"),
                                             QRegularExpression::CaseInsensitiveOption);
    // An odd quote count means FROM or WHERE was found inside a quoted name.
    if (columns.contains('(') || columns.contains('\'') || columns.count('"') % 2 ||
        columns.count('[') != columns.count(']') || columns.contains(distinct))
        return false;
    QString bare = condition;
    static const QRegularExpression texts(QStringLiteral("'[^']*'"));
    bare.remove(texts);
    if (bare.contains('\'') || bare.contains(';') || bare.count('"') % 2) return false;
    static const QRegularExpression clauses(
        QStringLiteral("\\b(GROUP|ORDER|LIMIT|UNION|EXCEPT|INTERSECT|HAVING|WINDOW|OFFSET|JOIN)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return !bare.contains(clauses);
}

// A private handle on the same data, for one worker.
sqlite3* openWorkerHandle(const detail::Session& s) {
    sqlite3* h = nullptr;
    if (s.imported) {
        if (sqlite3_open_v2(":memory:", &h, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
                SQLITE_OK ||
            sqlite3_deserialize(h, "main", s.imported->data, s.imported->size, s.imported->size,
                                SQLITE_DESERIALIZE_READONLY) != SQLITE_OK) {
            sqlite3_close(h);
            return nullptr;
        }
        detail::guardSqlite(h, nullptr);
        return h;
    }
    const QByteArray path = QFile::encodeName(s.db.databaseName());
    if (sqlite3_open_v2(path.constData(), &h, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(h);
        return nullptr;
    }
    detail::guardSqlite(h, nullptr);
    // No memory-mapped reads: the mapped file would count against the process beside the columns
    // (twice the memory at the peak), for about 5% of speed.
    return h;
}

template <class T> void release(std::vector<T>& v) {
    std::vector<T>().swap(v);
}

// Joins the parts into out, one column at a time: a column's parts are copied into it in parallel and
// freed as soon as they are copied, so the whole result is never held twice. Texts are re-coded into
// the first part's dictionary (first-seen order overall).
void mergeParts(ColumnarResult& out, std::vector<ColumnarResult>& parts) {
    const size_t K = parts.size(), n = parts[0].columns.size();
    std::vector<size_t> offset(K + 1, 0);
    for (size_t k = 0; k < K; ++k)
        offset[k + 1] = offset[k] + parts[k].rowCount;
    const size_t total = offset[K];
    out = {};
    out.columns.resize(n);
    for (size_t i = 0; i < n; ++i) {
        ColumnData& w = out.columns[i];
        ColumnData& first = parts[0].columns[i];
        w.name = first.name;
        w.adoType = first.adoType;
        w.kind = first.kind;
        std::vector<std::vector<uint32_t>> map(K);
        if (w.kind == ColumnKind::Text) {
            FlatDict dict(&w.dict);
            for (const auto& t : first.dict)
                dict.code(t);
            for (size_t k = 1; k < K; ++k) {
                const auto& d = parts[k].columns[i].dict;
                map[k].resize(d.size());
                for (size_t c = 0; c < d.size(); ++c)
                    map[k][c] = dict.code(d[c]);
            }
        }
        bool anyNull = false;
        for (const auto& p : parts)
            anyNull |= !p.columns[i].nulls.empty();
        if (anyNull) w.nulls.resize(total);
        const bool text = w.kind == ColumnKind::Text,
                   real = w.kind == ColumnKind::Real || w.kind == ColumnKind::DateTime;
        if (text)
            w.codes.resize(total);
        else if (real)
            w.reals.resize(total);
        else
            w.ints.resize(total);
        auto copyPart = [&](size_t k) {
            ColumnData& p = parts[k].columns[i];
            const size_t at = offset[k], rows = parts[k].rowCount;
            if (anyNull) {
                if (p.nulls.empty())
                    std::fill(w.nulls.begin() + ptrdiff_t(at), w.nulls.begin() + ptrdiff_t(at + rows), 0);
                else
                    std::copy(p.nulls.begin(), p.nulls.begin() + ptrdiff_t(rows),
                              w.nulls.begin() + ptrdiff_t(at));
            }
            if (text) {
                if (k == 0)
                    std::copy(p.codes.begin(), p.codes.end(), w.codes.begin() + ptrdiff_t(at));
                else
                    for (size_t r = 0; r < rows; ++r)
                        w.codes[at + r] = p.codes[r] == kNullText ? kNullText : map[k][p.codes[r]];
            } else if (real) {
                std::copy(p.reals.begin(), p.reals.end(), w.reals.begin() + ptrdiff_t(at));
            } else {
                std::copy(p.ints.begin(), p.ints.end(), w.ints.begin() + ptrdiff_t(at));
            }
            release(p.nulls);
            release(p.codes);
            release(p.reals);
            release(p.ints);
            release(p.dict);
        };
        std::vector<std::thread> copies;
        for (size_t k = 1; k < K; ++k)
            copies.emplace_back(copyPart, k);
        copyPart(0);
        for (auto& t : copies)
            t.join();
#ifdef __GLIBC__
        // Once large blocks have been freed, malloc takes blocks of the parts' size from its heaps,
        // which keep freed pages: hand them back before the next column is allocated.
        malloc_trim(0);
#endif
    }
    out.rowCount = total;
}

// Splits a plain scan of a large rowid table over several handles. False (out untouched) when the
// query or the table does not lend itself to it, or anything fails: the caller then reads serially.
bool readSqliteParallel(const detail::Session& s, const QString& sql, ColumnarResult& out) {
    QString columns, table, condition;
    if (!splittableScan(sql, columns, table, condition)) return false;
    const unsigned hw = std::thread::hardware_concurrency();
    const int workers = int(std::min(4u, std::max(1u, hw / 2)));
    if (workers < 2) return false;
    long long lo = 0, hi = -1;
    {
        sqlite3_stmt* st = nullptr;
        // Two subqueries: SQLite finds a lone min() or max() of the rowid without a scan.
        const QByteArray q =
            ("SELECT (SELECT min(_rowid_) FROM " + table + "), (SELECT max(_rowid_) FROM " + table + ")")
                .toUtf8();
        if (sqlite3_prepare_v2(s.handle, q.constData(), -1, &st, nullptr) != SQLITE_OK) return false;
        if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_type(st, 0) != SQLITE_NULL) {
            lo = sqlite3_column_int64(st, 0);
            hi = sqlite3_column_int64(st, 1);
        }
        sqlite3_finalize(st);
    }
    constexpr long long kMinRows = 2'000'000;
    if (hi - lo + 1 < kMinRows) return false;

    std::vector<ColumnarResult> parts(static_cast<size_t>(workers));
    std::vector<char> ok(static_cast<size_t>(workers), 0);
    std::vector<std::thread> threads;
    const long long step = (hi - lo) / workers + 1;
    for (int w = 0; w < workers; ++w) {
        const long long a = lo + step * w, b = a + step;
        QString text = "SELECT " + columns + " FROM " + table + " WHERE ";
        if (!condition.isEmpty()) text += '(' + condition + ") AND ";
        text += "_rowid_ >= " + QString::number(a) + " AND _rowid_ < " + QString::number(b);
        const QByteArray q = text.toUtf8();
        threads.emplace_back([&s, &parts, &ok, w, q, step] {
            sqlite3* h = openWorkerHandle(s);
            if (!h) return;
            ok[size_t(w)] = readSqlite(h, q, parts[size_t(w)], nullptr, false, nullptr, size_t(step));
            sqlite3_close(h);
        });
    }
    for (auto& t : threads)
        t.join();
    for (int w = 0; w < workers; ++w) {
        if (!ok[size_t(w)] || parts[size_t(w)].columns.size() != parts[0].columns.size()) return false;
        for (size_t i = 0; i < parts[0].columns.size(); ++i)
            if (parts[size_t(w)].columns[i].kind != parts[0].columns[i].kind ||
                parts[size_t(w)].columns[i].adoType != parts[0].columns[i].adoType)
                return false; // expression columns typed differently per range: read serially
    }
    mergeParts(out, parts);
    return true;
}

// A date value as an OLE number; nothing for a date no calendar has (a zero date read as text).
std::optional<double> toOleDate(const QVariant& v) {
    QDateTime dt;
    if (v.metaType().id() == QMetaType::QDate)
        dt = QDateTime(v.toDate(), QTime(0, 0));
    else
        dt = v.toDateTime();
    const QDate d = dt.date();
    if (!d.isValid()) return std::nullopt;
    return detail::oleDateTime(d.year(), d.month(), d.day(), dt.time().msecsSinceStartOfDay());
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
            case ColumnKind::Boolean:
                x.integer(v.toLongLong());
                break;
            case ColumnKind::Real:
                x.real(v.toDouble());
                break;
            case ColumnKind::DateTime:
                if (const auto ole = toOleDate(v))
                    x.real(*ole);
                else
                    x.null();
                break;
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

// The server's own client library where the engine has one and the result's types allow it.
bool nativeServerRead(detail::Session& s, const QString& sql, ColumnarResult& out) {
    switch (s.engine) {
    case Engine::MySql:
        return detail::readMySqlColumns(s, sql, out);
    case Engine::PostgreSql:
        return detail::readPostgresColumns(s, sql, out);
    case Engine::Odbc:
        return detail::readOdbcColumns(s, sql, out);
    default:
        return false;
    }
}

} // namespace

bool readColumns(const QString& connectionString, const QString& sql, ColumnarResult& out, QString* error) {
    out = {};
    Connection c;
    if (!c.open(connectionString, 10, error)) return false;
    bool ok = false;
    if (c.sqliteHandle()) {
        const QString text = detail::engineSql(*c.session(), sql);
        ok = readSqliteParallel(*c.session(), text, out);
        if (!ok) {
            out = {};
            ok = readSqlite(c.sqliteHandle(), text.toUtf8(), out, error, true, &c.session()->guard);
        }
    } else if (nativeServerRead(*c.session(), sql, out)) {
        ok = true;
    } else {
        out = {};
        ok = readGeneric(c, sql, out, error);
    }
    if (ok) settleNullTexts(out);
    return ok;
}

} // namespace bd::db
