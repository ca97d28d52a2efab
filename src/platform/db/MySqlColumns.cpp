// MySQL / MariaDB results into columns: the query prepared on the connection's own MYSQL handle, its
// rows streamed in the binary protocol (numbers and dates arrive as numbers, not as text to parse).
#include "platform/db/AdoTypes.h"
#include "platform/db/ColumnBuilder.h"
#include "platform/db/NativeColumns.h"
#include "platform/db/Session.h"

#include <QSqlDriver>

#include <charconv>
#include <memory>
#include <mysql.h>
#include <vector>

namespace bd::db::detail {
namespace {

enum class Conv { Integer, Float, Double, Decimal, Date, DateTime, Text };

// The value type Qt's driver gives a field: the type numbers depend on it as they do there.
QMetaType qtMeta(const MYSQL_FIELD& f) {
    const bool isUnsigned = f.flags & UNSIGNED_FLAG;
    switch (f.type) {
    case MYSQL_TYPE_TINY:
        return QMetaType(isUnsigned ? QMetaType::UChar : QMetaType::Char);
    case MYSQL_TYPE_SHORT:
        return QMetaType(isUnsigned ? QMetaType::UShort : QMetaType::Short);
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_INT24:
        return QMetaType(isUnsigned ? QMetaType::UInt : QMetaType::Int);
    case MYSQL_TYPE_YEAR:
        return QMetaType(QMetaType::Int);
    case MYSQL_TYPE_LONGLONG:
        return QMetaType(isUnsigned ? QMetaType::ULongLong : QMetaType::LongLong);
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
        return QMetaType(QMetaType::Double);
    case MYSQL_TYPE_DATE:
        return QMetaType(QMetaType::QDate);
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_TIMESTAMP:
        return QMetaType(QMetaType::QDateTime);
    default:
        return QMetaType(QMetaType::QString);
    }
}

// How a field's values are taken; nothing for the types left to the generic reader (times, bits,
// binary strings, geometry), whose values Qt's driver shapes in ways of its own.
std::optional<Conv> conversionOf(const MYSQL_FIELD& f) {
    switch (f.type) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_YEAR:
    case MYSQL_TYPE_LONGLONG:
        return Conv::Integer;
    case MYSQL_TYPE_FLOAT:
        return Conv::Float;
    case MYSQL_TYPE_DOUBLE:
        return Conv::Double;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
        return Conv::Decimal;
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
        return Conv::Date;
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_TIMESTAMP:
        return Conv::DateTime;
    case MYSQL_TYPE_NULL:
        return Conv::Text;
    case MYSQL_TYPE_STRING:
    case MYSQL_TYPE_VAR_STRING:
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_BLOB:
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_ENUM:
    case MYSQL_TYPE_SET:
        if (f.flags & BINARY_FLAG) return std::nullopt;
        return Conv::Text;
    default:
        return std::nullopt;
    }
}

// A text longer than this is fetched again into a buffer of its size.
constexpr unsigned long kTextBuffer = 4096;

struct Column {
    Conv conv = Conv::Text;
    std::vector<char> buffer;
    unsigned long length = 0;
    my_bool isNull = 0;
    my_bool error = 0;
    union {
        long long integer;
        float f;
        double d;
        MYSQL_TIME time;
    } value{};
};

// A float as the text protocol would show it (its shortest decimal form), read as a double.
double floatAsDouble(float f) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, f);
    double d = f;
    std::from_chars(text, r.ptr, d);
    return d;
}

// A date the calendar knows (Qt's date type has no year 0 nor zero months or days), or nothing.
std::optional<double> oleOf(const MYSQL_TIME& t, bool withTime) {
    if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 ||
        int(t.day) > bd::dates::daysInMonth(t.year, int(t.month)))
        return std::nullopt;
    int ms = 0;
    if (withTime) {
        if (t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
        // Rounded to the millisecond, as the generic reader rounds (999.5 ms and up: the next second).
        ms = int(((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + (t.second_part + 500) / 1000);
    }
    return oleDateTime(t.year, int(t.month), int(t.day), ms);
}

using Statement = std::unique_ptr<MYSQL_STMT, decltype(&mysql_stmt_close)>;
using Result = std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)>;

MYSQL* mysqlHandle(const Session& s) {
    const QVariant v = s.db.driver() ? s.db.driver()->handle() : QVariant();
    // The name Qt registered the handle's type under: the typedef's or the struct's.
    if (!v.isValid() || (qstrcmp(v.typeName(), "MYSQL*") != 0 && qstrcmp(v.typeName(), "st_mysql*") != 0))
        return nullptr;
    return *static_cast<MYSQL* const*>(v.data());
}

// The column as the data layer describes it, and where the driver puts its values.
bool bindColumn(const MYSQL_FIELD& field, Column& c, MYSQL_BIND& b, ColumnData& d) {
    const auto conv = conversionOf(field);
    if (!conv) return false;
    c.conv = *conv;
    d.name = std::string(field.name, field.name_length);
    d.adoType = adoTypeFromMySql(int(field.type), qtMeta(field));
    d.kind = columnKindOf(d.adoType);
    b = MYSQL_BIND{};
    b.is_null = &c.isNull;
    b.length = &c.length;
    b.error = &c.error;
    switch (c.conv) {
    case Conv::Integer:
        b.buffer_type = MYSQL_TYPE_LONGLONG;
        b.is_unsigned = (field.flags & UNSIGNED_FLAG) ? 1 : 0;
        b.buffer = &c.value.integer;
        break;
    case Conv::Float:
        b.buffer_type = MYSQL_TYPE_FLOAT;
        b.buffer = &c.value.f;
        break;
    case Conv::Double:
        b.buffer_type = MYSQL_TYPE_DOUBLE;
        b.buffer = &c.value.d;
        break;
    case Conv::Date:
    case Conv::DateTime:
        b.buffer_type = c.conv == Conv::Date ? MYSQL_TYPE_DATE : MYSQL_TYPE_DATETIME;
        b.buffer = &c.value.time;
        b.buffer_length = sizeof(MYSQL_TIME);
        break;
    case Conv::Decimal:
    case Conv::Text:
        c.buffer.resize(std::min<unsigned long>(field.length + 1, kTextBuffer));
        b.buffer_type = MYSQL_TYPE_STRING;
        b.buffer = c.buffer.data();
        b.buffer_length = (unsigned long)c.buffer.size();
        break;
    }
    return true;
}

// The fetched value of column i into the sink; false when a long text could not be fetched again.
inline bool storeValue(MYSQL_STMT* st, unsigned i, Column& c, ColumnSink& sink, std::vector<char>& longText) {
    if (c.isNull) {
        sink.null(i);
        return true;
    }
    switch (c.conv) {
    case Conv::Integer:
        sink.integer(i, c.value.integer);
        break;
    case Conv::Float:
        sink.real(i, floatAsDouble(c.value.f));
        break;
    case Conv::Double:
        sink.real(i, c.value.d);
        break;
    case Conv::Date:
    case Conv::DateTime:
        if (const auto ole = oleOf(c.value.time, c.conv == Conv::DateTime))
            sink.real(i, *ole);
        else
            sink.null(i);
        break;
    case Conv::Decimal: {
        double v = 0;
        const char* p = c.buffer.data();
        const size_t len = std::min<size_t>(c.length, c.buffer.size());
        if (std::from_chars(p, p + len, v).ec == std::errc())
            sink.real(i, v);
        else
            sink.null(i);
        break;
    }
    case Conv::Text: {
        if (c.length <= c.buffer.size()) {
            sink.text(i, c.buffer.data(), c.length);
            break;
        }
        // Longer than the buffer: the whole value again, into one of its size.
        longText.resize(c.length);
        MYSQL_BIND whole = MYSQL_BIND{};
        unsigned long length = 0;
        whole.buffer_type = MYSQL_TYPE_STRING;
        whole.buffer = longText.data();
        whole.buffer_length = c.length;
        whole.length = &length;
        const bool fetched = mysql_stmt_fetch_column(st, &whole, i, 0) == 0;
        sink.text(i, longText.data(), std::min<size_t>(length, longText.size()));
        return fetched;
    }
    }
    return true;
}

bool read(Session& s, const QString& sql, ColumnarResult& out) {
    MYSQL* m = mysqlHandle(s);
    if (!m || !serverQueryAllowed(s, sql, nullptr)) return false;
    ReadOnlyScope readOnly(s);
    if (!readOnly.begin(nullptr)) return false;
    Statement st(mysql_stmt_init(m), &mysql_stmt_close);
    const QByteArray text = sql.toUtf8();
    if (!st || mysql_stmt_prepare(st.get(), text.constData(), (unsigned long)text.size()) != 0 ||
        mysql_stmt_param_count(st.get()) != 0)
        return false;
    const Result meta(mysql_stmt_result_metadata(st.get()), &mysql_free_result);
    if (!meta) return false;
    const unsigned n = mysql_num_fields(meta.get());
    const MYSQL_FIELD* fields = mysql_fetch_fields(meta.get());
    std::vector<Column> cols(n);
    std::vector<MYSQL_BIND> binds(n);
    out.columns.assign(n, ColumnData{});
    for (unsigned i = 0; i < n; ++i)
        if (!bindColumn(fields[i], cols[i], binds[i], out.columns[i])) return false;
    if (mysql_stmt_execute(st.get()) != 0 || mysql_stmt_bind_result(st.get(), binds.data()) != 0) {
        out = {};
        return false;
    }
    ColumnSink sink(out);
    std::vector<char> longText;
    bool failed = false;
    int rc = 0;
    while (!failed && ((rc = mysql_stmt_fetch(st.get())) == 0 || rc == MYSQL_DATA_TRUNCATED)) {
        for (unsigned i = 0; i < n; ++i)
            if (!storeValue(st.get(), i, cols[i], sink, longText)) failed = true;
        sink.endRow();
    }
    sink.finish();
    if (failed || rc != MYSQL_NO_DATA) {
        out = {};
        return false;
    }
    return true;
}

} // namespace

bool readMySqlColumns(Session& s, const QString& sql, ColumnarResult& out) {
    if (read(s, sql, out)) return true;
    out = {};
    return false;
}

} // namespace bd::db::detail
