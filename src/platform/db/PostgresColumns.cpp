// PostgreSQL results into columns: the query described first on the connection's own PGconn (its
// column types, before anything runs), then streamed by COPY in its binary form: the server sends it
// as fast as text, and numbers and dates need no parsing.
#include "platform/db/AdoTypes.h"
#include "platform/db/ColumnBuilder.h"
#include "platform/db/NativeColumns.h"
#include "platform/db/Session.h"

#include <QSqlDriver>

#include <charconv>
#include <cstring>
#include <libpq-fe.h>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bd::db::detail {
namespace {

enum class Conv { Int2, Int4, Int8, Oid, Float4, Float8, Numeric, Boolean, Date, Timestamp, Text };

// Type numbers of the server's catalog.
enum Oid : unsigned {
    kBool = 16,
    kChar = 18,
    kName = 19,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kText = 25,
    kOid = 26,
    kFloat4 = 700,
    kFloat8 = 701,
    kBpChar = 1042,
    kVarChar = 1043,
    kDate = 1082,
    kTimestamp = 1114,
    kNumeric = 1700,
};

// How a column's values are taken; nothing for the types left to the generic reader.
std::optional<Conv> conversionOf(unsigned oid) {
    switch (oid) {
    case kInt2:
        return Conv::Int2;
    case kInt4:
        return Conv::Int4;
    case kInt8:
        return Conv::Int8;
    case kOid:
        return Conv::Oid;
    case kFloat4:
        return Conv::Float4;
    case kFloat8:
        return Conv::Float8;
    case kNumeric:
        return Conv::Numeric;
    case kBool:
        return Conv::Boolean;
    case kDate:
        return Conv::Date;
    case kTimestamp:
        return Conv::Timestamp;
    case kChar:
    case kName:
    case kText:
    case kBpChar:
    case kVarChar:
        return Conv::Text;
    default:
        return std::nullopt;
    }
}

// Numbers of COPY's binary form: big-endian.
template <class T> T big(const char* p) {
    std::make_unsigned_t<T> v = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        v = decltype(v)(v << 8 | static_cast<unsigned char>(p[i]));
    return T(v);
}

// The server counts days and microseconds from 2000-01-01.
constexpr int64_t kServerEpochDays = 36526; // 2000-01-01 as an OLE day
constexpr int64_t kDayMicros = 86400LL * 1000000;

// A day number of the server's calendar, when it is a day of ours (no infinities, no years before 1).
std::optional<double> oleOfDays(int64_t days, int msecsOfDay) {
    const double ole = double(days + kServerEpochDays);
    constexpr double kFirstDay = -693593;                      // 0001-01-01
    if (ole < kFirstDay || ole > 2958465) return std::nullopt; // 9999-12-31
    const auto c = bd::dates::oleToCivil(ole);
    return oleDateTime(c.year, c.month, c.day, msecsOfDay);
}

// A float as its text form shows it (its shortest decimal form), read as a double.
double floatAsDouble(float f) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, f);
    double d = f;
    std::from_chars(text, r.ptr, d);
    return d;
}

// A numeric in its binary form (base-10000 digits, a weight, a sign) read as its decimal text would
// be: the digits and a power of ten, rounded once.
std::optional<double> numericValue(const char* p, size_t n) {
    if (n < 8) return std::nullopt;
    const int ndigits = big<int16_t>(p), weight = big<int16_t>(p + 2);
    const unsigned sign = big<uint16_t>(p + 4);
    if (sign == 0xC000) return std::numeric_limits<double>::quiet_NaN();
    if (sign == 0xD000) return std::numeric_limits<double>::infinity();
    if (sign == 0xF000) return -std::numeric_limits<double>::infinity();
    if (ndigits < 0 || n < 8 + size_t(ndigits) * 2) return std::nullopt;
    if (ndigits == 0) return 0.0;
    std::string text = sign == 0x4000 ? "-" : "";
    for (int i = 0; i < ndigits; ++i) {
        const int d = big<int16_t>(p + 8 + 2 * i);
        if (d < 0 || d > 9999) return std::nullopt;
        char four[4] = {char('0' + d / 1000), char('0' + d / 100 % 10), char('0' + d / 10 % 10),
                        char('0' + d % 10)};
        text.append(four, 4);
    }
    text += 'e' + std::to_string((weight - ndigits + 1) * 4);
    double v = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), v).ec != std::errc()) return std::nullopt;
    return v;
}

// One field's value into the sink. False when its bytes do not fit its type.
bool addField(Conv conv, const char* p, size_t n, size_t i, ColumnSink& sink) {
    switch (conv) {
    case Conv::Int2:
        if (n != 2) return false;
        sink.integer(i, big<int16_t>(p));
        return true;
    case Conv::Int4:
        if (n != 4) return false;
        sink.integer(i, big<int32_t>(p));
        return true;
    case Conv::Oid:
        if (n != 4) return false;
        sink.integer(i, big<uint32_t>(p));
        return true;
    case Conv::Int8:
        if (n != 8) return false;
        sink.integer(i, big<int64_t>(p));
        return true;
    case Conv::Float4: {
        if (n != 4) return false;
        const uint32_t bits = big<uint32_t>(p);
        float f;
        std::memcpy(&f, &bits, 4);
        sink.real(i, floatAsDouble(f));
        return true;
    }
    case Conv::Float8: {
        if (n != 8) return false;
        const uint64_t bits = big<uint64_t>(p);
        double d;
        std::memcpy(&d, &bits, 8);
        sink.real(i, d);
        return true;
    }
    case Conv::Numeric:
        if (const auto v = numericValue(p, n))
            sink.real(i, *v);
        else
            sink.null(i);
        return true;
    case Conv::Boolean:
        if (n != 1) return false;
        sink.integer(i, p[0] != 0);
        return true;
    case Conv::Date: {
        if (n != 4) return false;
        if (const auto ole = oleOfDays(big<int32_t>(p), 0))
            sink.real(i, *ole);
        else
            sink.null(i);
        return true;
    }
    case Conv::Timestamp: {
        if (n != 8) return false;
        const int64_t us = big<int64_t>(p);
        // Floor division: times before 2000 count back from the day's start. Rounded to the
        // millisecond, as the generic reader rounds.
        int64_t days = us / kDayMicros, rest = us % kDayMicros;
        if (rest < 0) {
            rest += kDayMicros;
            --days;
        }
        if (const auto ole = oleOfDays(days, int((rest + 500) / 1000)))
            sink.real(i, *ole);
        else
            sink.null(i);
        return true;
    }
    case Conv::Text:
        sink.text(i, p, n);
        return true;
    }
    return false;
}

// COPY's binary form: a signature, flags and an extension area before the first row.
constexpr char kSignature[] = "PGCOPY\n\377\r\n";
constexpr size_t kHeaderBytes = 11 + 4 + 4;

// One row of COPY's binary form into the sink, or its header, or its end (a count of -1). False when
// the bytes do not hold the columns.
bool parseRow(const char* p, size_t len, const std::vector<Conv>& convs, ColumnSink& sink, bool& header) {
    if (header) {
        if (len < kHeaderBytes || std::memcmp(p, kSignature, 11) != 0) return false;
        const size_t extension = big<uint32_t>(p + 15);
        if (len < kHeaderBytes + extension) return false;
        p += kHeaderBytes + extension;
        len -= kHeaderBytes + extension;
        header = false;
        if (len == 0) return true;
    }
    if (len < 2) return false;
    const int count = big<int16_t>(p);
    if (count == -1) return len == 2;
    if (count != int(convs.size())) return false;
    const char* end = p + len;
    p += 2;
    for (size_t i = 0; i < convs.size(); ++i) {
        if (end - p < 4) return false;
        const int32_t n = big<int32_t>(p);
        p += 4;
        if (n == -1) {
            sink.null(i);
            continue;
        }
        if (n < 0 || end - p < n || !addField(convs[i], p, size_t(n), i, sink)) return false;
        p += n;
    }
    sink.endRow();
    return p == end;
}

PGconn* pgHandle(const Session& s) {
    const QVariant v = s.db.driver() ? s.db.driver()->handle() : QVariant();
    // The name Qt registered the handle's type under: the typedef's or the struct's.
    if (!v.isValid() || (qstrcmp(v.typeName(), "PGconn*") != 0 && qstrcmp(v.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn* const*>(v.data());
}

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

// The statement without the blanks and semicolons after it, so that it can stand inside COPY ( ).
QByteArray copyStatement(const QString& sql) {
    QString q = sql;
    while (!q.isEmpty() && (q.back().isSpace() || q.back() == ';'))
        q.chop(1);
    // Line breaks around it: a comment on its last line ends there, not at the end of the command.
    return ("COPY (\n" + q + "\n) TO STDOUT (FORMAT binary)").toUtf8();
}

bool read(Session& s, const QString& sql, ColumnarResult& out) {
    PGconn* c = pgHandle(s);
    if (!c || !serverQueryAllowed(s, sql, nullptr)) return false;
    ReadOnlyScope readOnly(s);
    if (!readOnly.begin(nullptr)) return false;
    // The column types before anything runs: a type left to the generic reader costs no rows.
    const QByteArray text = sql.toUtf8();
    if (PQresultStatus(Result(PQprepare(c, "", text.constData(), 0, nullptr), &PQclear).get()) !=
        PGRES_COMMAND_OK)
        return false;
    const Result described(PQdescribePrepared(c, ""), &PQclear);
    if (PQresultStatus(described.get()) != PGRES_COMMAND_OK || PQnparams(described.get()) != 0) return false;
    const int n = PQnfields(described.get());
    if (n == 0) return false;
    std::vector<Conv> convs;
    out.columns.assign(size_t(n), ColumnData{});
    for (int i = 0; i < n; ++i) {
        const unsigned oid = PQftype(described.get(), i);
        const auto conv = conversionOf(oid);
        if (!conv) {
            out = {};
            return false;
        }
        convs.push_back(*conv);
        ColumnData& d = out.columns[size_t(i)];
        d.name = PQfname(described.get(), i);
        d.adoType = adoTypeFromPostgres(int(oid), QMetaType());
        d.kind = columnKindOf(d.adoType);
    }
    if (PQresultStatus(Result(PQexec(c, copyStatement(sql).constData()), &PQclear).get()) != PGRES_COPY_OUT) {
        out = {};
        return false;
    }
    bool ok = true;
    {
        ColumnSink sink(out);
        bool header = true;
        char* row = nullptr;
        int len;
        while ((len = PQgetCopyData(c, &row, 0)) > 0) {
            if (ok) ok = parseRow(row, size_t(len), convs, sink, header);
            PQfreemem(row);
        }
        sink.finish();
        ok = ok && len == -1;
    }
    // The outcome of the command, then nothing more.
    for (PGresult* r; (r = PQgetResult(c)) != nullptr;) {
        ok = ok && PQresultStatus(r) == PGRES_COMMAND_OK;
        PQclear(r);
    }
    if (!ok) out = {};
    return ok;
}

} // namespace

bool readPostgresColumns(Session& s, const QString& sql, ColumnarResult& out) {
    if (read(s, sql, out)) return true;
    out = {};
    return false;
}

} // namespace bd::db::detail
