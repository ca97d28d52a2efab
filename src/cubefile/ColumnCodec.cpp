// Layout of a coded result (little-endian):
//   header   magic "BDCOLUMN", u32 version, u32 column count, u64 row count, u64 total bytes
//   column   u32 name bytes, i32 type number, u8 kind, u8 encoding, u8 width, u8 flags, u32 zero,
//            i64 base, u64 dictionary entries, u64 dictionary bytes, u64 payload bytes
//   payload  name, NULL bitmap (when flagged), dictionary lengths (u32 each), dictionary texts,
//            one value per row of `width` bytes
// Values are stored as the difference from `base` (whole numbers, dictionary codes, and reals that
// are all whole, such as dates without a time) or, for other reals, as the doubles themselves.
#include "cubefile/ColumnCodec.h"

#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

static_assert(std::endian::native == std::endian::little, "the coded result is little-endian");

namespace bd::cubefile {

using db::ColumnData;
using db::ColumnKind;

namespace {

constexpr char kMagic[8] = {'B', 'D', 'C', 'O', 'L', 'U', 'M', 'N'};
constexpr uint32_t kVersion = 1;
constexpr uint64_t kHeaderBytes = 32;
constexpr uint64_t kColumnHeaderBytes = 48;
constexpr uint64_t kMaxNameBytes = 64 * 1024;
// Rows coded or decoded by one task: a multiple of 8 (the NULL bitmap) large enough to be worth a
// thread's time.
constexpr size_t kRowsPerTask = size_t(1) << 20;

enum Encoding : uint8_t { Offsets = 1, RawReals = 2 };
enum Flags : uint8_t { HasNulls = 1 };

template <class T> void put(char*& p, T v) {
    std::memcpy(p, &v, sizeof v);
    p += sizeof v;
}
template <class T> T get(const char*& p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    p += sizeof v;
    return v;
}

uint8_t widthFor(uint64_t range) {
    return range <= 0xFF ? 1 : range <= 0xFFFF ? 2 : range <= 0xFFFFFFFFull ? 4 : 8;
}

// Runs task(0..count-1) on the machine's cores.
void parallelFor(size_t count, const std::function<void(size_t)>& task) {
    const size_t threads = std::min<size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
    std::atomic<size_t> next{0};
    auto run = [&] {
        for (size_t i; (i = next.fetch_add(1)) < count;)
            task(i);
    };
    std::vector<std::thread> pool;
    for (size_t t = 1; t < threads; ++t)
        pool.emplace_back(run);
    run();
    for (auto& t : pool)
        t.join();
}

size_t taskCount(uint64_t rows) {
    return std::max<size_t>(1, size_t((rows + kRowsPerTask - 1) / kRowsPerTask));
}

// A real that a whole number holds exactly (not -0, not NaN), as that number.
bool wholeReal(double v, int64_t& out) {
    if (!(v >= -9.0e18 && v <= 9.0e18)) return false;
    out = int64_t(v);
    return std::bit_cast<uint64_t>(double(out)) == std::bit_cast<uint64_t>(v);
}

template <class W> void writeOffsetsAs(char* out, const int64_t* v, size_t n, int64_t base) {
    for (size_t i = 0; i < n; ++i) {
        const W w = W(uint64_t(v[i]) - uint64_t(base));
        std::memcpy(out + i * sizeof(W), &w, sizeof(W));
    }
}

template <class W> void writeCodesAs(char* out, const uint32_t* v, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const W w = W(v[i]);
        std::memcpy(out + i * sizeof(W), &w, sizeof(W));
    }
}

template <class W> void writeWholeRealsAs(char* out, const double* v, size_t n, int64_t base) {
    for (size_t i = 0; i < n; ++i) {
        const W w = W(uint64_t(int64_t(v[i])) - uint64_t(base));
        std::memcpy(out + i * sizeof(W), &w, sizeof(W));
    }
}

template <class W> uint64_t readAs(const char* p, size_t i) {
    W w;
    std::memcpy(&w, p + i * sizeof(W), sizeof(W));
    return uint64_t(w);
}

uint64_t readOffset(const char* p, size_t i, uint8_t width) {
    switch (width) {
    case 1:
        return readAs<uint8_t>(p, i);
    case 2:
        return readAs<uint16_t>(p, i);
    case 4:
        return readAs<uint32_t>(p, i);
    default:
        return readAs<uint64_t>(p, i);
    }
}

} // namespace

// ---- coding -------------------------------------------------------------------------------------

struct ColumnPlan::Column {
    uint8_t encoding = Offsets, width = 1, flags = 0;
    int64_t base = 0;
    uint64_t dictBytes = 0, payload = 0, offset = 0; // offset of the column header in the output
    uint64_t valuesAt = 0, nullsAt = 0;              // within the output
};

ColumnPlan::ColumnPlan(const db::ColumnarResult& data)
    : data_(data), columns_(new Column[data.columns.size()]) {
    const uint64_t rows = data.rowCount;
    parallelFor(data.columns.size(), [&](size_t k) {
        const ColumnData& c = data.columns[k];
        Column& p = columns_[k];
        p.flags = c.nulls.empty() ? 0 : HasNulls;
        switch (c.kind) {
        case ColumnKind::Text:
            p.width = widthFor(c.dict.size()); // a NULL's code is one past the dictionary
            for (const auto& s : c.dict)
                p.dictBytes += s.size();
            break;
        case ColumnKind::Integer:
        case ColumnKind::Boolean:
            if (!c.ints.empty()) {
                const auto [lo, hi] = std::minmax_element(c.ints.begin(), c.ints.end());
                p.base = *lo;
                p.width = widthFor(uint64_t(*hi) - uint64_t(*lo));
            }
            break;
        case ColumnKind::Real:
        case ColumnKind::DateTime: {
            int64_t lo = INT64_MAX, hi = INT64_MIN, w = 0;
            bool whole = true;
            for (double v : c.reals) {
                if (!wholeReal(v, w)) {
                    whole = false;
                    break;
                }
                lo = std::min(lo, w);
                hi = std::max(hi, w);
            }
            const uint8_t width = c.reals.empty() ? 1 : whole ? widthFor(uint64_t(hi) - uint64_t(lo)) : 8;
            if (width < 8) {
                p.base = c.reals.empty() ? 0 : lo;
                p.width = width;
            } else {
                p.encoding = RawReals;
                p.width = 8;
            }
            break;
        }
        }
    });
    uint64_t at = kHeaderBytes;
    for (size_t k = 0; k < data.columns.size(); ++k) {
        const ColumnData& c = data.columns[k];
        Column& p = columns_[k];
        p.offset = at;
        const uint64_t nulls = p.flags & HasNulls ? (rows + 7) / 8 : 0;
        p.nullsAt = at + kColumnHeaderBytes + c.name.size();
        p.valuesAt = p.nullsAt + nulls + 4 * c.dict.size() + p.dictBytes;
        p.payload = p.valuesAt + rows * p.width - at - kColumnHeaderBytes;
        at += kColumnHeaderBytes + p.payload;
    }
    bytes_ = at;
}

ColumnPlan::~ColumnPlan() = default;

uint64_t ColumnPlan::bytes() const {
    return bytes_;
}

void ColumnPlan::write(char* out) const {
    const uint64_t rows = data_.rowCount;
    char* h = out;
    std::memcpy(h, kMagic, sizeof kMagic);
    h += sizeof kMagic;
    put<uint32_t>(h, kVersion);
    put<uint32_t>(h, uint32_t(data_.columns.size()));
    put<uint64_t>(h, rows);
    put<uint64_t>(h, bytes_);

    // One task per column for its header, name and dictionary, then one per piece of its rows.
    const size_t pieces = taskCount(rows);
    const size_t columns = data_.columns.size();
    parallelFor(columns * (1 + pieces), [&](size_t t) {
        const size_t k = t / (1 + pieces), part = t % (1 + pieces);
        if (part == 0) return writeColumnHead(out, k);
        const size_t from = (part - 1) * kRowsPerTask, to = std::min<size_t>(rows, from + kRowsPerTask);
        if (from < to) writeRows(out, k, from, to);
    });
}

void ColumnPlan::writeColumnHead(char* out, size_t k) const {
    const ColumnData& c = data_.columns[k];
    const Column& p = columns_[k];
    char* q = out + p.offset;
    put<uint32_t>(q, uint32_t(c.name.size()));
    put<int32_t>(q, c.adoType);
    put<uint8_t>(q, uint8_t(c.kind));
    put<uint8_t>(q, p.encoding);
    put<uint8_t>(q, p.width);
    put<uint8_t>(q, p.flags);
    put<uint32_t>(q, 0);
    put<int64_t>(q, p.base);
    put<uint64_t>(q, c.dict.size());
    put<uint64_t>(q, p.dictBytes);
    put<uint64_t>(q, p.payload);
    std::memcpy(q, c.name.data(), c.name.size());
    q = out + p.nullsAt + (p.flags & HasNulls ? (data_.rowCount + 7) / 8 : 0);
    for (const auto& s : c.dict)
        put<uint32_t>(q, uint32_t(s.size()));
    for (const auto& s : c.dict) {
        std::memcpy(q, s.data(), s.size());
        q += s.size();
    }
}

// Rows from..to of column k: their null bits, then their values in the column's encoding.
void ColumnPlan::writeRows(char* out, size_t k, size_t from, size_t to) const {
    const ColumnData& c = data_.columns[k];
    const Column& p = columns_[k];
    if (p.flags & HasNulls) {
        char* bits = out + p.nullsAt + from / 8;
        std::memset(bits, 0, (to - from + 7) / 8);
        for (size_t r = from; r < to; ++r)
            if (c.nulls[r]) bits[(r - from) / 8] |= char(1u << (r % 8));
    }
    char* v = out + p.valuesAt + from * p.width;
    const size_t n = to - from;
    if (c.kind == ColumnKind::Text) {
        const uint32_t* src = c.codes.data() + from;
        switch (p.width) {
        case 1:
            return writeCodesAs<uint8_t>(v, src, n);
        case 2:
            return writeCodesAs<uint16_t>(v, src, n);
        default:
            return writeCodesAs<uint32_t>(v, src, n);
        }
    }
    if (p.encoding == RawReals) {
        std::memcpy(v, c.reals.data() + from, n * sizeof(double));
        return;
    }
    if (c.kind == ColumnKind::Real || c.kind == ColumnKind::DateTime) {
        const double* src = c.reals.data() + from;
        switch (p.width) {
        case 1:
            return writeWholeRealsAs<uint8_t>(v, src, n, p.base);
        case 2:
            return writeWholeRealsAs<uint16_t>(v, src, n, p.base);
        default:
            return writeWholeRealsAs<uint32_t>(v, src, n, p.base);
        }
    }
    const int64_t* src = c.ints.data() + from;
    switch (p.width) {
    case 1:
        return writeOffsetsAs<uint8_t>(v, src, n, p.base);
    case 2:
        return writeOffsetsAs<uint16_t>(v, src, n, p.base);
    case 4:
        return writeOffsetsAs<uint32_t>(v, src, n, p.base);
    default:
        return writeOffsetsAs<uint64_t>(v, src, n, p.base);
    }
}

// ---- decoding -----------------------------------------------------------------------------------

bool looksLikeColumns(const char* data, uint64_t size) {
    return size >= sizeof kMagic && std::memcmp(data, kMagic, sizeof kMagic) == 0;
}

namespace {

struct ColumnHeader {
    uint32_t nameBytes = 0;
    int32_t adoType = 0;
    uint8_t kind = 0, encoding = 0, width = 0, flags = 0;
    uint32_t reserved = 0;
    int64_t base = 0;
    uint64_t dictCount = 0, dictBytes = 0, payload = 0;
    const char* name = nullptr;
    const char* nulls = nullptr;
    const char* dict = nullptr;
    const char* values = nullptr;
};

// Reads and checks one column header at p, within end; nothing is allocated.
bool readColumnHeader(const char*& p, const char* end, uint64_t rows, ColumnHeader& h) {
    if (uint64_t(end - p) < kColumnHeaderBytes) return false;
    h.nameBytes = get<uint32_t>(p);
    h.adoType = get<int32_t>(p);
    h.kind = get<uint8_t>(p);
    h.encoding = get<uint8_t>(p);
    h.width = get<uint8_t>(p);
    h.flags = get<uint8_t>(p);
    h.reserved = get<uint32_t>(p);
    h.base = get<int64_t>(p);
    h.dictCount = get<uint64_t>(p);
    h.dictBytes = get<uint64_t>(p);
    h.payload = get<uint64_t>(p);
    const uint64_t room = uint64_t(end - p);
    if (h.kind > uint8_t(ColumnKind::Boolean) || h.reserved != 0 || (h.flags & ~HasNulls) != 0) return false;
    if (h.width != 1 && h.width != 2 && h.width != 4 && h.width != 8) return false;
    const auto kind = ColumnKind(h.kind);
    const bool real = kind == ColumnKind::Real || kind == ColumnKind::DateTime;
    if (h.encoding != Offsets && !(real && h.encoding == RawReals && h.width == 8)) return false;
    if (real && h.encoding == Offsets && h.width == 8) return false; // not exact as a double
    if (kind != ColumnKind::Text && (h.dictCount != 0 || h.dictBytes != 0)) return false;
    if (kind == ColumnKind::Text && (h.base != 0 || h.width == 8)) return false;
    if (h.nameBytes > kMaxNameBytes || h.payload > room || h.dictCount > room / 4 || h.dictBytes > room)
        return false;
    const uint64_t nulls = h.flags & HasNulls ? (rows + 7) / 8 : 0;
    const uint64_t expected = h.nameBytes + nulls + 4 * h.dictCount + h.dictBytes + rows * h.width;
    if (expected != h.payload) return false;
    h.name = p;
    h.nulls = h.name + h.nameBytes;
    h.dict = h.nulls + nulls;
    h.values = h.dict + 4 * h.dictCount + h.dictBytes;
    p += h.payload;
    return true;
}

// The column's name, type and dictionary, and room for its rows.
bool startColumn(const ColumnHeader& h, uint64_t rows, ColumnData& c) {
    c.name.assign(h.name, h.nameBytes);
    c.adoType = h.adoType;
    c.kind = ColumnKind(h.kind);
    const char* lengths = h.dict;
    const char* text = h.dict + 4 * h.dictCount;
    uint64_t used = 0;
    c.dict.reserve(h.dictCount);
    for (uint64_t i = 0; i < h.dictCount; ++i) {
        const uint32_t n = get<uint32_t>(lengths);
        if (n > h.dictBytes - used) return false;
        c.dict.emplace_back(text + used, n);
        used += n;
    }
    if (used != h.dictBytes) return false;
    if (h.flags & HasNulls) c.nulls.resize(rows);
    switch (c.kind) {
    case ColumnKind::Text:
        c.codes.resize(rows);
        break;
    case ColumnKind::Integer:
    case ColumnKind::Boolean:
        c.ints.resize(rows);
        break;
    case ColumnKind::Real:
    case ColumnKind::DateTime:
        c.reals.resize(rows);
        break;
    }
    return true;
}

// Rows from..to of a column; false when a text code is outside the dictionary.
bool decodeRows(const ColumnHeader& h, size_t from, size_t to, ColumnData& c) {
    if (h.flags & HasNulls)
        for (size_t r = from; r < to; ++r)
            c.nulls[r] = uint8_t((uint8_t(h.nulls[r / 8]) >> (r % 8)) & 1);
    const auto base = uint64_t(h.base);
    switch (c.kind) {
    case ColumnKind::Text: {
        const uint64_t n = h.dictCount;
        bool ok = true;
        for (size_t r = from; r < to; ++r) {
            const uint64_t code = readOffset(h.values, r, h.width);
            // A NULL text is coded one past the dictionary, and only a NULL.
            ok &= code < n || (code == n && c.isNull(r));
            c.codes[r] = uint32_t(code);
        }
        return ok;
    }
    case ColumnKind::Integer:
    case ColumnKind::Boolean:
        for (size_t r = from; r < to; ++r)
            c.ints[r] = int64_t(base + readOffset(h.values, r, h.width));
        return true;
    case ColumnKind::Real:
    case ColumnKind::DateTime:
        if (h.encoding == RawReals)
            std::memcpy(c.reals.data() + from, h.values + from * 8, (to - from) * 8);
        else
            for (size_t r = from; r < to; ++r)
                c.reals[r] = double(int64_t(base + readOffset(h.values, r, h.width)));
        return true;
    }
    return false;
}

} // namespace

bool decodeColumns(const char* data, uint64_t size, const ColumnLimits& limits, db::ColumnarResult& out,
                   QString* error) {
    out = {};
    auto fail = [&](const QString& why) {
        out = {};
        if (error) *error = why;
        return false;
    };
    const QString damaged = QStringLiteral("the stored data is damaged.");
    if (size < kHeaderBytes || !looksLikeColumns(data, size)) return fail(damaged);
    const char* p = data + sizeof kMagic;
    const uint32_t version = get<uint32_t>(p);
    const uint32_t count = get<uint32_t>(p);
    const uint64_t rows = get<uint64_t>(p);
    const uint64_t total = get<uint64_t>(p);
    if (version > kVersion) return fail(QStringLiteral("the stored data was written by a newer version."));
    if (version < 1 || total != size) return fail(damaged);
    if (size > limits.maxBytes || rows > limits.maxRows || count > limits.maxColumns)
        return fail(QStringLiteral("the stored data is too large."));
    if (count > (size - kHeaderBytes) / kColumnHeaderBytes) return fail(damaged);
    // Rows are backed by the columns' bytes: without a column a row count would be unchecked (and a
    // pivot would count billions of rows that hold nothing).
    if (count == 0 && rows != 0) return fail(damaged);

    const char* end = data + size;
    std::vector<ColumnHeader> headers(count);
    for (ColumnHeader& h : headers)
        if (!readColumnHeader(p, end, rows, h)) return fail(damaged);
    if (p != end) return fail(damaged);

    out.rowCount = size_t(rows);
    out.columns.resize(count);
    std::atomic<bool> ok{true};
    parallelFor(count, [&](size_t k) {
        if (!startColumn(headers[k], rows, out.columns[k])) ok = false;
    });
    if (!ok) return fail(damaged);
    const size_t pieces = taskCount(rows);
    parallelFor(size_t(count) * pieces, [&](size_t t) {
        const size_t k = t / pieces, from = (t % pieces) * kRowsPerTask;
        const size_t to = std::min<size_t>(size_t(rows), from + kRowsPerTask);
        if (from < to && !decodeRows(headers[k], from, to, out.columns[k])) ok = false;
    });
    if (!ok) return fail(damaged);
    return true;
}

} // namespace bd::cubefile
