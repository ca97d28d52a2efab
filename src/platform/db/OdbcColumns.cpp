// ODBC results into columns: a statement of our own on the connection's ODBC handle, its columns
// bound to arrays, and blocks of rows fetched at once (one driver call per block, not per value).
#include "platform/db/AdoTypes.h"
#include "platform/db/ColumnBuilder.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/NativeColumns.h"
#include "platform/db/Session.h"

#include <QSqlDriver>
#include <QStringView>

#include <charconv>
#include <cstring>
#include <memory>
#include <odbcinst.h>
#include <optional>
#include <sql.h>
#include <sqlext.h>
#include <vector>

namespace bd::db::detail {
namespace {

enum class Conv { Integer, Unsigned, Float, Real, Date, Timestamp, Text };

// Rows fetched at once, and the most the bound arrays of a block may take.
constexpr SQLULEN kBlockRows = 1024;
constexpr size_t kBlockBytes = size_t(16) << 20;
// Room for a text value; a longer value sends the whole read to the generic reader (it reads texts in
// pieces).
constexpr SQLULEN kMaxTextChars = 8000;

struct Column {
    Conv conv = Conv::Text;
    bool narrow = false; // a text taken as the driver's UTF-8 bytes
    SQLSMALLINT cType = 0;
    SQLLEN width = 0; // bytes of one value in the array
    std::vector<char> data;
    std::vector<SQLLEN> indicators;
};

// How a column's values are taken; nothing for the types left to the generic reader.
std::optional<Conv> conversionOf(SQLSMALLINT type, bool isUnsigned) {
    switch (type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
        return Conv::Text;
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIT:
        return Conv::Integer;
    case SQL_BIGINT:
        return isUnsigned ? Conv::Unsigned : Conv::Integer;
    case SQL_REAL:
        return Conv::Float;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        return Conv::Real;
    case SQL_TYPE_DATE:
    case SQL_DATE: // as drivers of the second ODBC version name it
        return Conv::Date;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
        return Conv::Timestamp;
    default:
        return std::nullopt;
    }
}

// The value type Qt's driver gives a column, where the type numbers depend on it.
QMetaType qtMeta(SQLSMALLINT type, bool isUnsigned) {
    switch (type) {
    case SQL_INTEGER:
        return QMetaType(isUnsigned ? QMetaType::UInt : QMetaType::Int);
    case SQL_SMALLINT:
        return QMetaType(isUnsigned ? QMetaType::UShort : QMetaType::Short);
    case SQL_BIGINT:
        return QMetaType(isUnsigned ? QMetaType::ULongLong : QMetaType::LongLong);
    default:
        return QMetaType(QMetaType::QString);
    }
}

void bindArrays(Column& c, SQLULEN chars, SQLULEN rows) {
    switch (c.conv) {
    case Conv::Integer:
        c.cType = SQL_C_SBIGINT;
        c.width = sizeof(SQLBIGINT);
        break;
    case Conv::Unsigned:
        c.cType = SQL_C_UBIGINT;
        c.width = sizeof(SQLUBIGINT);
        break;
    case Conv::Float: // taken as a double: some drivers misplace bound arrays of floats
    case Conv::Real:
        c.cType = SQL_C_DOUBLE;
        c.width = sizeof(double);
        break;
    case Conv::Date:
        c.cType = SQL_C_DATE; // the older name takes the same structure, and every driver knows it
        c.width = sizeof(SQL_DATE_STRUCT);
        break;
    case Conv::Timestamp:
        c.cType = SQL_C_TIMESTAMP;
        c.width = sizeof(SQL_TIMESTAMP_STRUCT);
        break;
    case Conv::Text:
        if (c.narrow) {
            // UTF-8: up to four bytes a character, and the terminator.
            c.cType = SQL_C_CHAR;
            c.width = SQLLEN(chars * 4 + 1);
        } else {
            // UTF-16, a character outside the basic plane taking two units, and the terminator.
            c.cType = SQL_C_WCHAR;
            c.width = SQLLEN((chars * 2 + 1) * sizeof(SQLWCHAR));
        }
        break;
    }
    c.data.assign(size_t(c.width) * rows, 0);
    c.indicators.assign(rows, 0);
}

// A float as its text form shows it (its shortest decimal form), read as a double: what the generic
// reader gets.
double floatAsDouble(float f) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, f);
    double d = f;
    std::from_chars(text, r.ptr, d);
    return d;
}

// A date the calendar knows, or nothing.
std::optional<double> oleOf(int year, int month, int day, int msecsOfDay) {
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > bd::dates::daysInMonth(year, month))
        return std::nullopt;
    return oleDateTime(year, month, day, msecsOfDay);
}

// UTF-16 as UTF-8: ASCII straight, the rest as Qt converts it.
void addText(ColumnSink& sink, size_t i, const SQLWCHAR* p, size_t units, std::string& scratch) {
    scratch.resize(units);
    for (size_t k = 0; k < units; ++k) {
        if (p[k] >= 0x80) {
            const QByteArray utf8 =
                QStringView(reinterpret_cast<const char16_t*>(p), qsizetype(units)).toUtf8();
            sink.text(i, utf8.constData(), size_t(utf8.size()));
            return;
        }
        scratch[k] = char(p[k]);
    }
    sink.text(i, scratch.data(), units);
}

} // namespace

// No stray or missing continuation bytes, no overlong forms, no surrogates, nothing past U+10FFFF.
// Runs of ASCII are passed over eight bytes at a time.
bool isUtf8(const char* text, size_t n) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = p + n;
    while (p < end) {
        if (end - p >= 8) {
            uint64_t w;
            std::memcpy(&w, p, 8);
            if ((w & 0x8080808080808080ull) == 0) {
                p += 8;
                continue;
            }
        }
        const unsigned c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        size_t len;
        unsigned lo = 0x80, hi = 0xBF; // the range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (size_t(end - p) < len || p[1] < lo || p[1] > hi) return false;
        for (size_t k = 2; k < len; ++k)
            if ((p[k] & 0xC0) != 0x80) return false;
        p += len;
    }
    return true;
}

namespace {

// One value of a fetched block into the sink. False when the driver cut it short.
bool addValue(ColumnSink& sink, size_t i, const Column& c, SQLULEN row, std::string& scratch) {
    const SQLLEN ind = c.indicators[row];
    if (ind == SQL_NULL_DATA) {
        sink.null(i);
        return true;
    }
    const char* v = c.data.data() + size_t(c.width) * row;
    switch (c.conv) {
    case Conv::Integer:
        sink.integer(i, *reinterpret_cast<const SQLBIGINT*>(v));
        return true;
    case Conv::Unsigned:
        sink.integer(i, int64_t(*reinterpret_cast<const SQLUBIGINT*>(v)));
        return true;
    case Conv::Float:
        // Drivers widen a single-precision value in ways of their own when it is bound: the
        // value its text shows, as the generic reader gets it.
        sink.real(i, floatAsDouble(float(*reinterpret_cast<const double*>(v))));
        return true;
    case Conv::Real:
        sink.real(i, *reinterpret_cast<const double*>(v));
        return true;
    case Conv::Date: {
        const auto& d = *reinterpret_cast<const SQL_DATE_STRUCT*>(v);
        if (const auto ole = oleOf(d.year, d.month, d.day, 0))
            sink.real(i, *ole);
        else
            sink.null(i);
        return true;
    }
    case Conv::Timestamp: {
        const auto& t = *reinterpret_cast<const SQL_TIMESTAMP_STRUCT*>(v);
        // Whole milliseconds of the fraction (nanoseconds), as the generic reader takes them.
        const int ms = ((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + int(t.fraction / 1000000);
        const auto ole =
            t.hour < 24 && t.minute < 60 && t.second < 60 ? oleOf(t.year, t.month, t.day, ms) : std::nullopt;
        if (ole)
            sink.real(i, *ole);
        else
            sink.null(i);
        return true;
    }
    case Conv::Text:
        if (ind < 0 || ind >= c.width) return false; // unknown length or cut short
        if (c.narrow) {
            if (!isUtf8(v, size_t(ind))) return false;
            sink.text(i, v, size_t(ind));
            return true;
        }
        addText(sink, i, reinterpret_cast<const SQLWCHAR*>(v), size_t(ind) / sizeof(SQLWCHAR), scratch);
        return true;
    }
    return false;
}

SQLHDBC odbcHandle(const Session& s) {
    const QVariant v = s.db.driver() ? s.db.driver()->handle() : QVariant();
    if (!v.isValid() || (qstrcmp(v.typeName(), "SQLHANDLE") != 0 && qstrcmp(v.typeName(), "void*") != 0))
        return nullptr;
    return *static_cast<SQLHANDLE const*>(v.data());
}

struct Statement {
    SQLHSTMT h = SQL_NULL_HSTMT;
    ~Statement() {
        if (h) SQLFreeHandle(SQL_HANDLE_STMT, h);
    }
};

// Whether the driver hands texts over as UTF-8 when asked for narrow characters: a literal with a
// character of each UTF-8 length read back through a bound narrow column. Drivers convert narrow
// texts to the connection's or the program's character set, which may not be UTF-8.
bool narrowTextIsUtf8(SQLHDBC dbc) {
    static const char kText[] = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"; // aé€ and an emoji
    Statement st;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st.h))) return false;
    std::u16string sql = u"SELECT '" + QString::fromUtf8(kText).toStdU16String() + u"'";
    if (!SQL_SUCCEEDED(SQLExecDirectW(st.h, reinterpret_cast<SQLWCHAR*>(sql.data()), SQLINTEGER(sql.size()))))
        return false;
    char value[64] = {};
    SQLLEN length = 0;
    const bool ok = SQL_SUCCEEDED(SQLBindCol(st.h, 1, SQL_C_CHAR, value, sizeof value, &length)) &&
                    SQL_SUCCEEDED(SQLFetch(st.h)) && length == SQLLEN(sizeof kText - 1) &&
                    std::memcmp(value, kText, sizeof kText - 1) == 0;
    SQLFreeStmt(st.h, SQL_CLOSE);
    SQLFreeStmt(st.h, SQL_UNBIND);
    return ok;
}

// Whether the user set one of a driver's options: in the connection string (under any of its names),
// in the data source it names, or in the driver's own section of the driver list.
bool userSets(const QString& odbcString, const QStringList& names) {
    const ConnectionString cs = ConnectionString::parse(odbcString);
    for (const QString& name : names)
        if (cs.has(name)) return true;
    auto inIni = [&](const QString& section, const char* file) {
        if (section.isEmpty()) return false;
        const QByteArray s = section.toUtf8();
        for (const QString& name : names) {
            char value[64] = {};
            if (SQLGetPrivateProfileString(s.constData(), name.toUtf8().constData(), "", value, sizeof value,
                                           file) > 0)
                return true;
        }
        return false;
    };
    const QString dsn = cs.value("DSN");
    QString driver = cs.value("Driver");
    if (driver.isEmpty() && !dsn.isEmpty()) {
        char value[256] = {};
        SQLGetPrivateProfileString(dsn.toUtf8().constData(), "Driver", "", value, sizeof value, "odbc.ini");
        driver = QString::fromUtf8(value);
    }
    return inIni(dsn, "odbc.ini") || inIni(driver, "odbcinst.ini");
}

bool driverNameContains(SQLHDBC dbc, const char* part) {
    SQLCHAR driver[256] = {};
    SQLSMALLINT length = 0;
    return SQL_SUCCEEDED(SQLGetInfoA(dbc, SQL_DRIVER_NAME, driver, sizeof driver, &length)) &&
           QByteArray(reinterpret_cast<const char*>(driver)).toLower().contains(part);
}

// The PostgreSQL driver reads a whole result into memory of its own before it gives the first row,
// every value a separate allocation, unless it reads through a cursor a block of rows at a time: then
// its memory stays small and is reused instead of growing with the result (for a million rows the
// whole result takes longer than the reading). Its own connection attributes turn that on for one
// read, where the user did not choose either way.
class PostgresCursorFetch {
public:
    PostgresCursorFetch(SQLHDBC dbc, const QString& odbcString) : dbc_(dbc) {
        if (!driverNameContains(dbc, "psqlodbc") || userSets(odbcString, {"UseDeclareFetch", "B6", "CX"}))
            return;
        SQLINTEGER on = -1;
        if (!SQL_SUCCEEDED(SQLGetConnectAttr(dbc, kDeclareFetch, &on, 0, nullptr)) || on != 0 ||
            !SQL_SUCCEEDED(SQLGetConnectAttr(dbc, kFetchRows, &rows_, 0, nullptr)) ||
            !SQL_SUCCEEDED(SQLSetConnectAttr(dbc, kDeclareFetch, reinterpret_cast<SQLPOINTER>(1), 0)))
            return;
        set_ = true;
        if (!userSets(odbcString, {"Fetch", "A7"}))
            SQLSetConnectAttr(dbc, kFetchRows, reinterpret_cast<SQLPOINTER>(SQLLEN(kCursorRows)), 0);
    }
    ~PostgresCursorFetch() {
        if (!set_) return;
        SQLSetConnectAttr(dbc_, kDeclareFetch, reinterpret_cast<SQLPOINTER>(0), 0);
        SQLSetConnectAttr(dbc_, kFetchRows, reinterpret_cast<SQLPOINTER>(SQLLEN(rows_)), 0);
    }
    PostgresCursorFetch(const PostgresCursorFetch&) = delete;
    PostgresCursorFetch& operator=(const PostgresCursorFetch&) = delete;

private:
    // The driver's attribute numbers, and the rows one fetch from the cursor takes.
    static constexpr SQLINTEGER kDeclareFetch = 65539, kFetchRows = 65541;
    static constexpr SQLINTEGER kCursorRows = 10000;
    SQLHDBC dbc_;
    bool set_ = false;
    SQLINTEGER rows_ = 0;
};

bool read(Session& s, const QString& sql, ColumnarResult& out) {
    SQLHDBC dbc = odbcHandle(s);
    if (!dbc || !serverQueryAllowed(s, sql, nullptr)) return false;
    // Asked before the read-only transaction: a server that refuses the literal leaves no failed
    // statement inside it.
    const bool narrow = narrowTextIsUtf8(dbc);
    ReadOnlyScope readOnly(s);
    if (!readOnly.begin(nullptr)) return false;
    PostgresCursorFetch cursorFetch(dbc, s.odbcString);
    Statement st;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st.h))) return false;
    SQLSetStmtAttr(st.h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
    std::u16string text = sql.toStdU16String();
    if (!SQL_SUCCEEDED(
            SQLExecDirectW(st.h, reinterpret_cast<SQLWCHAR*>(text.data()), SQLINTEGER(text.size()))))
        return false;
    SQLSMALLINT n = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(st.h, &n)) || n <= 0) return false;
    std::vector<Column> cols(static_cast<size_t>(n));
    std::vector<SQLULEN> chars(static_cast<size_t>(n), 0);
    out.columns.assign(size_t(n), ColumnData{});
    size_t rowBytes = 0;
    for (SQLUSMALLINT i = 0; i < SQLUSMALLINT(n); ++i) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT nameLength = 0, type = 0, decimals = 0, nullable = 0;
        SQLULEN size = 0;
        SQLLEN isUnsigned = SQL_FALSE;
        if (!SQL_SUCCEEDED(
                SQLDescribeColW(st.h, i + 1, name, 256, &nameLength, &type, &size, &decimals, &nullable)) ||
            nameLength >= 256)
            return false;
        SQLColAttributeW(st.h, i + 1, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned);
        const auto conv = conversionOf(type, isUnsigned == SQL_TRUE);
        if (!conv) return false;
        cols[i].conv = *conv;
        cols[i].narrow = narrow;
        chars[i] = size == 0 || size > kMaxTextChars ? kMaxTextChars : size;
        ColumnData& d = out.columns[i];
        d.name = QString::fromUtf16(reinterpret_cast<const char16_t*>(name), nameLength).toStdString();
        d.adoType = adoTypeFromOdbc(type, qtMeta(type, isUnsigned == SQL_TRUE));
        d.kind = columnKindOf(d.adoType);
        bindArrays(cols[i], chars[i], 1);
        rowBytes += size_t(cols[i].width);
    }
    SQLULEN rows = std::clamp<SQLULEN>(SQLULEN(kBlockBytes / std::max<size_t>(rowBytes, 1)), 1, kBlockRows);
    SQLSetStmtAttr(st.h, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
    SQLSetStmtAttr(st.h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0);
    // A driver may take fewer rows per block than asked.
    if (!SQL_SUCCEEDED(SQLGetStmtAttr(st.h, SQL_ATTR_ROW_ARRAY_SIZE, &rows, 0, nullptr)) || rows == 0)
        return false;
    SQLULEN fetched = 0;
    std::vector<SQLUSMALLINT> status(rows, 0);
    SQLSetStmtAttr(st.h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLSetStmtAttr(st.h, SQL_ATTR_ROW_STATUS_PTR, status.data(), 0);
    for (SQLUSMALLINT i = 0; i < SQLUSMALLINT(n); ++i) {
        bindArrays(cols[i], chars[i], rows);
        if (!SQL_SUCCEEDED(SQLBindCol(st.h, i + 1, cols[i].cType, cols[i].data.data(), cols[i].width,
                                      cols[i].indicators.data())))
            return false;
    }
    ColumnSink sink(out);
    std::string scratch;
    bool ok = true;
    SQLRETURN rc;
    while (ok && SQL_SUCCEEDED(rc = SQLFetch(st.h))) {
        for (SQLULEN r = 0; ok && r < fetched; ++r) {
            if (status[r] != SQL_ROW_SUCCESS && status[r] != SQL_ROW_SUCCESS_WITH_INFO) {
                ok = status[r] == SQL_ROW_NOROW;
                continue;
            }
            for (size_t i = 0; ok && i < cols.size(); ++i)
                ok = addValue(sink, i, cols[i], r, scratch);
            // A row given up half way is never ended: the columns' second thread would take its
            // missing values from past the end of the batch.
            if (ok) sink.endRow();
        }
    }
    sink.finish();
    // Unbind before the arrays go.
    SQLFreeStmt(st.h, SQL_CLOSE);
    SQLFreeStmt(st.h, SQL_UNBIND);
    return ok && rc == SQL_NO_DATA;
}

} // namespace

bool odbcNarrowTextIsUtf8(const Session& s) {
    const SQLHDBC dbc = odbcHandle(s);
    return dbc && narrowTextIsUtf8(dbc);
}

bool readOdbcColumns(Session& s, const QString& sql, ColumnarResult& out) {
    if (read(s, sql, out)) return true;
    out = {};
    return false;
}

} // namespace bd::db::detail
