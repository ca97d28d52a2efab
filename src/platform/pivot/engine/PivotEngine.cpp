#include "platform/pivot/engine/PivotEngine.h"

#include "platform/pivot/engine/Formula.h"
#include "platform/pivot/engine/KeyMap.h"
#include "platform/pivot/engine/ThreadPool.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <mutex>
#include <numeric>
#include <thread>
#include <unordered_map>

namespace bd::pivot::engine {

using db::ColumnData;
using db::ColumnKind;

// ---------------------------------------------------------------------------------------------------
// Stats

void Stats::merge(const Stats& o) {
    if (o.n == 0) return;
    if (n == 0) {
        *this = o;
        return;
    }
    const double N = n + o.n, d = o.mean - mean;
    mean += d * o.n / N;
    m2 += o.m2 + d * d * n * o.n / N;
    n = N;
    sum += o.sum;
    if (o.min < min) min = o.min;
    if (o.max > max) max = o.max;
}

std::optional<double> Stats::value(Agg a) const {
    const double m = m2 > 0 ? m2 : 0;
    switch (a) {
    case Agg::Count:
        return n;
    case Agg::Sum:
        return n > 0 ? std::optional<double>(sum) : std::nullopt;
    case Agg::Avg:
        return n > 0 ? std::optional<double>(sum / n) : std::nullopt;
    case Agg::Max:
        return n > 0 ? std::optional<double>(max) : std::nullopt;
    case Agg::Min:
        return n > 0 ? std::optional<double>(min) : std::nullopt;
    case Agg::StDev:
        return n > 1 ? std::optional<double>(std::sqrt(m / (n - 1))) : std::nullopt;
    case Agg::StDevP:
        return n > 0 ? std::optional<double>(std::sqrt(m / n)) : std::nullopt;
    case Agg::Var:
        return n > 1 ? std::optional<double>(m / (n - 1)) : std::nullopt;
    case Agg::VarP:
        return n > 0 ? std::optional<double>(m / n) : std::nullopt;
    }
    return std::nullopt;
}

namespace {

std::string numberLabel(double v) {
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, p) : std::string();
}

// OLE date (days since 1899-12-30) as "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss".
std::string dateLabel(double ole) {
    const double dayf = std::floor(ole);
    int64_t secs = int64_t(std::llround((ole - dayf) * 86400.0));
    int64_t z = int64_t(dayf) - 25569 + 719468; // days since 1970-01-01, then civil-from-days
    if (secs >= 86400) {
        secs -= 86400;
        ++z;
    }
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = yoe + era * 400;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    char buf[128];
    if (secs == 0)
        std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld", (long long)y, (long long)m, (long long)d);
    else
        std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", (long long)y,
                      (long long)m, (long long)d, (long long)(secs / 3600), (long long)(secs / 60 % 60),
                      (long long)(secs % 60));
    return buf;
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// Dimension

int Dimension::find(const std::string& label) const {
    for (size_t i = 0; i < labels.size(); ++i)
        if (labels[i] == label) return int(i);
    return -1;
}

void Dimension::code(const ColumnData& c, size_t begin, size_t n, uint32_t* out) const {
    const uint32_t nullCode = cardinality() - 1;
    switch (mode) {
    case Mode::TextCodes:
        std::memcpy(out, c.codes.data() + begin, n * sizeof(uint32_t));
        break;
    case Mode::IntTable: {
        const int64_t* v = c.ints.data() + begin;
        const uint32_t* l = lut.data();
        for (size_t i = 0; i < n; ++i)
            out[i] = l[size_t(v[i] - lutMin)];
        break;
    }
    case Mode::Codes:
        std::memcpy(out, codes.data() + begin, n * sizeof(uint32_t));
        return; // nulls already coded
    case Mode::Small1: {
        const uint8_t* s = small1.data() + begin;
        for (size_t i = 0; i < n; ++i)
            out[i] = s[i];
        return;
    }
    case Mode::Small2: {
        const uint16_t* s = small2.data() + begin;
        for (size_t i = 0; i < n; ++i)
            out[i] = s[i];
        return;
    }
    }
    if (hasNull) {
        const uint8_t* nl = c.nulls.data() + begin;
        for (size_t i = 0; i < n; ++i)
            if (nl[i]) out[i] = nullCode;
    }
}

// ---------------------------------------------------------------------------------------------------
// Engine

namespace {
// Leaves new elements uninitialised: big buffers are allocated by the calling thread (one arena, handed
// back to the system when freed) and zeroed by the worker that uses them.
template <class T> struct NoInitAlloc : std::allocator<T> {
    template <class U> struct rebind { using other = NoInitAlloc<U>; };
    NoInitAlloc() = default;
    template <class U> NoInitAlloc(const NoInitAlloc<U>&) noexcept {}
    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <class U, class... A> void construct(U* p, A&&... a) {
        ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
    }
};
using Buffer = std::vector<double, NoInitAlloc<double>>;
} // namespace

// A cell of one (row level, column level) pair during the roll-up.
struct CellRef {
    uint32_t rn, cn;
};

struct Engine::Scratch {
    std::mutex m;
    // Per-pivot lists, kept so that their pages are not faulted in again for every pivot.
    std::vector<std::vector<uint64_t>> found;
    std::vector<uint64_t> finestKey, finestSlot;
    std::vector<uint32_t> finestRow, finestCol;
    std::vector<std::vector<CellRef>> level;
    std::vector<uint32_t> rowKey;
    Buffer partial, payload;
    std::vector<Buffer> partials;           // per-thread dense partials, kept for the next pivot
    std::vector<std::vector<double>> cells; // freed result cells, for the next result
};

Engine::Engine() : scratch_(std::make_shared<Scratch>()) {}
Engine::~Engine() = default;

void Engine::setData(std::shared_ptr<const db::ColumnarResult> data) {
    data_ = std::move(data);
    dims_.assign(data_ ? data_->columns.size() : 0, nullptr);
}

void Engine::setCollation(std::function<int(const std::string&, const std::string&)> cmp) {
    collate_ = std::move(cmp);
    for (auto& d : dims_)
        d.reset(); // label order depends on it
}

// ---------------------------------------------------------------------------------------------------
// Coding a column into a dimension

namespace {

bool hasNulls(const ColumnData& c, size_t rows) {
    if (c.nulls.empty()) return false;
    for (size_t i = 0; i < rows; ++i)
        if (c.nulls[i] != 0) return true;
    return false;
}

// Integers and booleans: through a lookup table when their values span little, otherwise each row's
// code by the sorted distinct values.
void codeIntegers(Dimension& d, const ColumnData& c, size_t rows, bool anyNull, const Tuning& tuning) {
    int64_t lo = 0, hi = -1;
    bool first = true;
    for (size_t i = 0; i < rows; ++i) {
        if (anyNull && c.nulls[i]) continue;
        const int64_t v = c.ints[i];
        if (first)
            lo = hi = v, first = false;
        else
            lo = std::min(lo, v), hi = std::max(hi, v);
    }
    std::vector<int64_t> values; // the distinct values, ascending
    if (!first && uint64_t(hi - lo) < tuning.intTableRange) {
        std::vector<uint8_t> present(size_t(hi - lo) + 1, 0);
        for (size_t i = 0; i < rows; ++i)
            if (!(anyNull && c.nulls[i])) present[size_t(c.ints[i] - lo)] = 1;
        d.mode = Dimension::Mode::IntTable;
        d.lutMin = lo;
        d.lut.assign(present.size(), 0);
        for (size_t v = 0; v < present.size(); ++v)
            if (present[v]) {
                d.lut[v] = uint32_t(values.size());
                values.push_back(lo + int64_t(v));
            }
    } else if (!first) {
        std::unordered_map<int64_t, uint32_t> seen;
        for (size_t i = 0; i < rows; ++i)
            if (!(anyNull && c.nulls[i])) seen.emplace(c.ints[i], 0);
        for (auto& kv : seen)
            values.push_back(kv.first);
        std::sort(values.begin(), values.end());
        for (size_t j = 0; j < values.size(); ++j)
            seen[values[j]] = uint32_t(j);
        d.mode = Dimension::Mode::Codes;
        d.codes.resize(rows);
        const uint32_t nullCode = uint32_t(values.size());
        for (size_t i = 0; i < rows; ++i)
            d.codes[i] = (anyNull && c.nulls[i]) ? nullCode : seen[c.ints[i]];
    } else {
        d.mode = Dimension::Mode::Codes;
        d.codes.assign(rows, 0);
    }
    for (int64_t v : values) {
        d.labels.push_back(c.kind == ColumnKind::Boolean ? (v ? "True" : "False") : std::to_string(v));
        d.numeric.push_back(double(v));
    }
}

// Numbers and dates: each row's code by the sorted distinct values (-0 counts as 0).
void codeReals(Dimension& d, const ColumnData& c, size_t rows, bool anyNull) {
    std::unordered_map<double, uint32_t> seen;
    for (size_t i = 0; i < rows; ++i)
        if (!(anyNull && c.nulls[i])) seen.emplace(c.reals[i] == 0 ? 0.0 : c.reals[i], 0);
    std::vector<double> values;
    for (auto& kv : seen)
        values.push_back(kv.first);
    std::sort(values.begin(), values.end());
    for (size_t j = 0; j < values.size(); ++j)
        seen[values[j]] = uint32_t(j);
    d.mode = Dimension::Mode::Codes;
    d.codes.resize(rows);
    const uint32_t nullCode = uint32_t(values.size());
    for (size_t i = 0; i < rows; ++i)
        d.codes[i] = (anyNull && c.nulls[i]) ? nullCode : seen[c.reals[i] == 0 ? 0.0 : c.reals[i]];
    for (double v : values) {
        d.labels.push_back(c.kind == ColumnKind::DateTime ? dateLabel(v) : numberLabel(v));
        d.numeric.push_back(v);
    }
}

// Label order: text by collation, numbers and dates by value; the null member last.
void rankLabels(Dimension& d, const std::function<int(const std::string&, const std::string&)>& collate) {
    std::vector<uint32_t> order(d.labels.size());
    std::iota(order.begin(), order.end(), 0u);
    const uint32_t nullCode = d.hasNull ? d.cardinality() - 1 : ~0u;
    const bool text = d.kind == ColumnKind::Text;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        if ((a == nullCode) != (b == nullCode)) return b == nullCode;
        if (!text) return d.numeric[a] < d.numeric[b];
        const int r = collate ? collate(d.labels[a], d.labels[b]) : d.labels[a].compare(d.labels[b]);
        return r < 0;
    });
    d.rank.assign(order.size(), 0);
    for (size_t i = 0; i < order.size(); ++i)
        d.rank[order[i]] = uint32_t(i);
}

// A large column's codes in one or two bytes per row. Texts already have four-byte codes in the
// column: only one-byte ones are worth their memory.
void packSmallCodes(Dimension& d, const ColumnData& c, size_t rows, int threads, const Tuning& tuning) {
    constexpr uint32_t kOneByteCodes = 256, kTwoByteCodes = 65536;
    const bool oneByte = d.cardinality() <= kOneByteCodes;
    if (rows < tuning.smallCodesRows || d.cardinality() > kTwoByteCodes ||
        !(d.mode == Dimension::Mode::IntTable || (d.mode == Dimension::Mode::TextCodes && oneByte)))
        return;
    if (oneByte)
        d.small1.resize(rows);
    else
        d.small2.resize(rows);
    const int tasks = tuning.tasksPerThread * threads;
    constexpr size_t kBatch = Tuning::batchRows;
    parallelFor(threads, tasks, [&](int t) {
        uint32_t codes[kBatch];
        for (size_t b = rows * size_t(t) / size_t(tasks), e = rows * size_t(t + 1) / size_t(tasks); b < e;
             b += kBatch) {
            const size_t n = std::min<size_t>(kBatch, e - b);
            d.code(c, b, n, codes);
            for (size_t i = 0; i < n; ++i)
                if (oneByte)
                    d.small1[b + i] = uint8_t(codes[i]);
                else
                    d.small2[b + i] = uint16_t(codes[i]);
        }
    });
    d.mode = oneByte ? Dimension::Mode::Small1 : Dimension::Mode::Small2;
    d.lut.clear();
    d.lut.shrink_to_fit();
}

} // namespace

std::shared_ptr<const Dimension> Engine::dimension(int column) {
    if (!data_ || column < 0 || column >= int(data_->columns.size())) return nullptr;
    if (dims_[column]) return dims_[column];
    const ColumnData& c = data_->columns[column];
    const size_t rows = data_->rowCount;
    auto d = std::make_shared<Dimension>();
    d->column = column;
    d->kind = c.kind;
    const bool anyNull = hasNulls(c, rows);
    switch (c.kind) {
    case ColumnKind::Text:
        d->mode = Dimension::Mode::TextCodes;
        d->labels = c.dict;
        d->numeric.assign(c.dict.size(), 0);
        break;
    case ColumnKind::Integer:
    case ColumnKind::Boolean:
        codeIntegers(*d, c, rows, anyNull, tuning_);
        break;
    case ColumnKind::Real:
    case ColumnKind::DateTime:
        codeReals(*d, c, rows, anyNull);
        break;
    }
    if (anyNull) {
        d->hasNull = true;
        d->labels.emplace_back();
        d->numeric.push_back(0);
    }
    rankLabels(*d, collate_);
    packSmallCodes(*d, c, rows, threads(), tuning_);
    dims_[column] = d;
    return d;
}

int Engine::threads() const {
    return maxThreads_ > 0 ? maxThreads_ : int(std::max(1u, std::thread::hardware_concurrency()));
}

// ---------------------------------------------------------------------------------------------------
// PivotResult

struct PivotResult::SlotMap {
    KeyMap map;
};

int64_t PivotResult::slotOf(uint32_t rn, uint32_t cn) const {
    const uint64_t k = uint64_t(rn) * colNodeCount + cn;
    if (denseCells) return int64_t(k);
    return slotMap->map.find(k);
}

Stats PivotResult::statsAt(size_t slot, int m) const {
    const double* c = cells.data() + slot * stride;
    const MeasureLayout& l = layoutOf[size_t(m)];
    Stats st;
    st.n = l.n >= 0 ? c[l.n] : c[0];
    if (st.n <= 0) return st;
    if (l.sum >= 0) st.sum = c[l.sum], st.mean = st.sum / st.n;
    if (l.m2 >= 0) st.m2 = c[l.m2];
    if (l.min >= 0) st.min = c[l.min];
    if (l.max >= 0) st.max = c[l.max];
    return st;
}

double PivotResult::records(uint32_t rn, uint32_t cn) const {
    const int64_t s = slotOf(rn, cn);
    return s < 0 ? 0 : cells[size_t(s) * stride];
}

std::optional<double> PivotResult::nodeValue(uint32_t rn, uint32_t cn, int d, int guard) const {
    if (d < 0 || d >= int(def.data.size()) || guard > 32) return std::nullopt;
    const int64_t s = slotOf(rn, cn);
    if (s < 0) return std::nullopt;
    const double recs = cells[size_t(s) * stride];
    if (recs <= 0) return std::nullopt;
    const DataField& df = def.data[d];
    if (df.formula) return df.formula->eval([&](int ref) { return nodeValue(rn, cn, ref, guard + 1); });
    if (df.column < 0) {
        Stats one;
        one.n = recs;
        one.sum = recs;
        one.min = one.max = one.mean = 1;
        return one.value(df.agg);
    }
    const int m = measureOf[d];
    if (layoutOf[m].text && df.agg != Agg::Count) return std::nullopt;
    return statsAt(size_t(s), m).value(df.agg);
}

std::optional<double> PivotResult::value(int row, int col) const {
    if (row < 0 || row >= rowCount() || col < 0 || col >= columnCount()) return std::nullopt;
    return nodeValue(rowLines[row].node, colLines[col].node, colLines[col].data);
}

std::string PivotResult::lineLabel(const std::vector<Line>& lines, const std::vector<Node>& nodes,
                                   const std::vector<std::shared_ptr<const Dimension>>& dims, int i,
                                   int level) const {
    if (i < 0 || i >= int(lines.size()) || level < 0 || level >= int(dims.size())) return {};
    const Line& l = lines[i];
    if (l.total && l.depth == 0) return level == 0 ? "Grand Total" : std::string();
    if (level >= l.depth) return {};
    int n = int(l.node);
    while (nodes[n].level > level + 1)
        n = nodes[n].parent;
    std::string s = dims[level]->labels[nodes[n].code];
    if (l.total && level == l.depth - 1) s += " Total";
    return s;
}

std::string PivotResult::rowLabel(int row, int level) const {
    return lineLabel(rowLines, rowNodes, rowDims, row, level);
}
std::string PivotResult::columnLabel(int col, int level) const {
    return lineLabel(colLines, colNodes, colDims, col, level);
}

// ---------------------------------------------------------------------------------------------------
// compute

namespace {

struct Partial {
    Buffer cells; // W doubles per cell
    KeyMap map{16};
    std::vector<uint64_t> keyOf; // sparse: slot -> key
};

// Builds the node tree of one axis from the distinct tuple keys.
struct AxisTree {
    std::vector<PivotResult::Node> nodes;
    std::vector<uint32_t> tupleNodes; // tuple * (levels + 1) + level
};

AxisTree buildTree(const std::vector<uint64_t>& tupleKeys, const std::vector<uint32_t>& cards) {
    const size_t L = cards.size();
    AxisTree t;
    t.nodes.push_back({0, -1, 0});
    std::vector<uint64_t> after(L + 1, 1); // after[i] = product of cards[i..L-1]
    for (size_t i = L; i-- > 0;)
        after[i] = after[i + 1] * cards[i];
    t.tupleNodes.resize(tupleKeys.size() * (L + 1));
    if (std::is_sorted(tupleKeys.begin(), tupleKeys.end())) {
        // Sorted tuples share each prefix with their neighbours: a new node wherever a prefix changes.
        std::vector<uint64_t> last(L + 1, ~uint64_t(0));
        std::vector<uint32_t> node(L + 1, 0);
        for (size_t tu = 0; tu < tupleKeys.size(); ++tu) {
            bool changed = false;
            uint32_t* out = t.tupleNodes.data() + tu * (L + 1);
            out[0] = 0;
            for (size_t i = 1; i <= L; ++i) {
                const uint64_t prefix = tupleKeys[tu] / after[i];
                if (changed || prefix != last[i]) {
                    changed = true;
                    last[i] = prefix;
                    node[i] = uint32_t(t.nodes.size());
                    t.nodes.push_back({int(i), int(node[i - 1]), uint32_t(prefix % cards[i - 1])});
                }
                out[i] = node[i];
            }
        }
        return t;
    }
    std::vector<KeyMap> maps;
    for (size_t i = 0; i < L; ++i)
        maps.emplace_back(64);
    for (size_t tu = 0; tu < tupleKeys.size(); ++tu) {
        uint32_t parent = 0;
        t.tupleNodes[tu * (L + 1)] = 0;
        for (size_t i = 1; i <= L; ++i) {
            const uint64_t prefix = tupleKeys[tu] / after[i];
            bool ins;
            const uint32_t id = maps[i - 1].get(prefix, uint32_t(t.nodes.size()), ins);
            if (ins) t.nodes.push_back({int(i), int(parent), uint32_t(prefix % cards[i - 1])});
            t.tupleNodes[tu * (L + 1) + i] = id;
            parent = id;
        }
    }
    return t;
}

} // namespace

std::shared_ptr<const PivotResult> Engine::compute(const PivotDefinition& def, std::string* error) {

    auto fail = [&](const std::string& m) {
        if (error) *error = m;
        return std::shared_ptr<const PivotResult>();
    };
    if (!data_) return fail("The pivot has no data.");
    const db::ColumnarResult& D = *data_;
    const size_t N = D.rowCount;
    // The result hands its cell buffer back for the next pivot.
    std::weak_ptr<Scratch> pool = scratch_;
    std::shared_ptr<PivotResult> res(new PivotResult, [pool](PivotResult* r) {
        if (auto p = pool.lock(); p && r->cells.capacity() > (1u << 16)) {
            std::lock_guard<std::mutex> lock(p->m);
            // a few buffers, so that pivots of different sizes in turn each find one
            auto& kept = p->cells;
            size_t bytes = r->cells.capacity() * sizeof(double);
            for (const auto& c : kept)
                bytes += c.capacity() * sizeof(double);
            if (kept.size() < 3 && bytes <= (size_t(96) << 20)) kept.push_back(std::move(r->cells));
        }
        delete r;
    });
    res->def = def;

    // Dimensions
    std::vector<std::shared_ptr<const Dimension>> groupDims;
    for (const auto& f : def.rows) {
        auto d = dimension(f.column);
        if (!d) return fail("The pivot names a row field that is not in the query.");
        res->rowDims.push_back(d);
        groupDims.push_back(d);
    }
    for (const auto& f : def.columns) {
        auto d = dimension(f.column);
        if (!d) return fail("The pivot names a column field that is not in the query.");
        res->colDims.push_back(d);
        groupDims.push_back(d);
    }
    struct PageFilter {
        std::shared_ptr<const Dimension> dim;
        std::vector<uint8_t> keep;
    };
    std::vector<PageFilter> filters;
    for (const auto& p : def.pages) {
        auto d = dimension(p.column);
        if (!d) return fail("The pivot names a page field that is not in the query.");
        if (p.hidden.empty()) continue;
        PageFilter pf{d, std::vector<uint8_t>(d->cardinality(), 1)};
        for (uint32_t c = 0; c < d->cardinality(); ++c)
            if (p.hidden.count(d->labels[c])) pf.keep[c] = 0;
        filters.push_back(std::move(pf));
    }
    // Measures: one accumulator per distinct column used by a plain data field.
    res->measureOf.assign(def.data.size(), -1);
    std::vector<int> measureCols;
    for (size_t i = 0; i < def.data.size(); ++i) {
        const DataField& df = def.data[i];
        if (df.formula) {
            for (int r : df.formula->references())
                if (r < 0 || r >= int(def.data.size()))
                    return fail("A calculated field names an unknown field.");
            continue;
        }
        if (df.column < 0) continue;
        if (df.column >= int(D.columns.size()))
            return fail("The pivot names a data field that is not in the query.");
        auto it = std::find(measureCols.begin(), measureCols.end(), df.column);
        if (it == measureCols.end()) {
            measureCols.push_back(df.column);
            it = measureCols.end() - 1;
        }
        res->measureOf[i] = int(it - measureCols.begin());
    }
    for (const auto& f : def.rows)
        if (f.sortMode != 0 && (f.sortData < 0 || f.sortData >= int(def.data.size())))
            return fail("A field is sorted by a data field that does not exist.");
    for (const auto& f : def.columns)
        if (f.sortMode != 0 && (f.sortData < 0 || f.sortData >= int(def.data.size())))
            return fail("A field is sorted by a data field that does not exist.");
    const size_t M = measureCols.size();

    // Packed key: row fields then column fields, mixed radix.
    const size_t G = groupDims.size();
    std::vector<uint64_t> stride(G, 1);
    long double space = 1;
    for (size_t i = G; i-- > 0;) {
        stride[i] = uint64_t(space);
        space *= groupDims[i]->cardinality() ? groupDims[i]->cardinality() : 1;
    }
    if (space > 1.8e19L) return fail("Too many combinations of members to lay out.");
    const uint64_t keySpace = uint64_t(space);

    // What each measure column needs. A thread's partial keeps per cell W doubles: the record count,
    // then per measure its count (only with NULLs), a shift K (the cell's first value) with the
    // shifted sum and sum of squares, or a plain sum, and min / max, as its aggregates ask. Shifted
    // sums cost no division per row; they turn into (count, sum, M2) when the partials are merged.
    struct Meas {
        const uint8_t* nulls = nullptr;
        const double* reals = nullptr;
        const int64_t* ints = nullptr;
        int pN = -1, pK = -1, pS = -1, pSS = -1, pMin = -1, pMax = -1;
    };
    std::vector<Meas> meas(M);
    size_t W = 1, AW = 1;
    res->layoutOf.assign(M, {});
    for (size_t m = 0; m < M; ++m) {
        const ColumnData& c = D.columns[measureCols[m]];
        bool sum = false, var = false, mn = false, mx = false;
        for (size_t i = 0; i < def.data.size(); ++i) {
            if (res->measureOf[i] != int(m)) continue;
            const Agg a = def.data[i].agg;
            sum |= a == Agg::Sum || a == Agg::Avg;
            var |= a == Agg::StDev || a == Agg::StDevP || a == Agg::Var || a == Agg::VarP;
            mn |= a == Agg::Min;
            mx |= a == Agg::Max;
        }
        Meas& d = meas[m];
        auto& L = res->layoutOf[m];
        L.text = c.kind == ColumnKind::Text;
        bool anyNull = false;
        for (size_t i = 0; i < c.nulls.size() && !anyNull; ++i)
            anyNull = c.nulls[i] != 0;
        if (anyNull) d.nulls = c.nulls.data(), d.pN = int(W++), L.n = int(AW++);
        if (L.text) continue;
        if (c.kind == ColumnKind::Integer || c.kind == ColumnKind::Boolean)
            d.ints = c.ints.data();
        else
            d.reals = c.reals.data();
        if (var)
            d.pK = int(W++), d.pS = int(W++), d.pSS = int(W++), L.sum = int(AW++), L.m2 = int(AW++);
        else if (sum)
            d.pS = int(W++), L.sum = int(AW++);
        if (mn) d.pMin = int(W++), L.min = int(AW++);
        if (mx) d.pMax = int(W++), L.max = int(AW++);
    }
    res->stride = AW;
    const auto& LO = res->layoutOf;
    // Merges one cell into another: (count, sum, M2) by Chan's formula, min and max.
    auto mergeInto = [&](double* to, const double* from) {
        const double rA = to[0], rB = from[0];
        if (rB <= 0) return;
        for (size_t m = 0; m < M; ++m) {
            const auto& l = LO[m];
            const double nA = l.n >= 0 ? to[l.n] : rA, nB = l.n >= 0 ? from[l.n] : rB;
            if (nB <= 0) continue;
            if (nA <= 0) {
                if (l.sum >= 0) to[l.sum] = from[l.sum];
                if (l.m2 >= 0) to[l.m2] = from[l.m2];
                if (l.min >= 0) to[l.min] = from[l.min];
                if (l.max >= 0) to[l.max] = from[l.max];
            } else {
                if (l.m2 >= 0) {
                    // (mean B - mean A)^2 nA nB / (nA + nB), with one division
                    const double t = from[l.sum] * nA - to[l.sum] * nB;
                    to[l.m2] += from[l.m2] + t * t / (nA * nB * (nA + nB));
                }
                if (l.sum >= 0) to[l.sum] += from[l.sum];
                if (l.min >= 0 && from[l.min] < to[l.min]) to[l.min] = from[l.min];
                if (l.max >= 0 && from[l.max] > to[l.max]) to[l.max] = from[l.max];
            }
            if (l.n >= 0) to[l.n] += nB;
        }
        to[0] = rA + rB;
    };
    // A partial's cell in the same form as an aggregated one.
    auto fromPartial = [&](const double* c, double* out) {
        out[0] = c[0];
        for (size_t m = 0; m < M; ++m) {
            const Meas& d = meas[m];
            const auto& l = LO[m];
            const double n = d.pN >= 0 ? c[d.pN] : c[0];
            if (l.n >= 0) out[l.n] = n;
            if (n <= 0) continue;
            if (d.pK >= 0) {
                const double K = c[d.pK], S = c[d.pS], SS = c[d.pSS];
                out[l.sum] = n * K + S;
                out[l.m2] = std::max(0.0, SS - S * S / n);
            } else if (d.pS >= 0) {
                out[l.sum] = c[d.pS];
            }
            if (d.pMin >= 0) out[l.min] = c[d.pMin];
            if (d.pMax >= 0) out[l.max] = c[d.pMax];
        }
    };

    // Adds one row into a partial's cell.
    auto accumulateWith = [&](double* c, auto&& isNull, auto&& valueOf) {
        const double r0 = c[0];
        c[0] = r0 + 1;
        for (size_t m = 0; m < M; ++m) {
            const Meas& d = meas[m];
            if (isNull(m)) continue;
            double n0 = r0;
            if (d.pN >= 0) {
                n0 = c[d.pN];
                c[d.pN] = n0 + 1;
            }
            if (!d.reals && !d.ints) continue;
            const double x = valueOf(m);
            if (d.pK >= 0) {
                if (n0 == 0) c[d.pK] = x;
                const double dd = x - c[d.pK];
                c[d.pS] += dd;
                c[d.pSS] += dd * dd;
            } else if (d.pS >= 0) {
                c[d.pS] += x;
            }
            if (d.pMin >= 0 && (n0 == 0 || x < c[d.pMin])) c[d.pMin] = x;
            if (d.pMax >= 0 && (n0 == 0 || x > c[d.pMax])) c[d.pMax] = x;
        }
    };
    auto accumulate = [&](double* c, size_t row) {
        accumulateWith(
            c, [&](size_t m) { return meas[m].nulls && meas[m].nulls[row]; },
            [&](size_t m) { return meas[m].reals ? meas[m].reals[row] : double(meas[m].ints[row]); });
    };
    // Packed keys of rows [b, b + n); skipped rows (page selections) get kSkip.
    constexpr uint64_t kSkip = ~uint64_t(0);
    auto keysOf = [&](size_t b, size_t n, uint64_t* keys, uint32_t* codes) {
        std::fill(keys, keys + n, 0);
        for (size_t g = 0; g < G; ++g) {
            groupDims[g]->code(D.columns[groupDims[g]->column], b, n, codes);
            const uint64_t st = stride[g];
            for (size_t i = 0; i < n; ++i)
                keys[i] += codes[i] * st;
        }
        for (const auto& f : filters) {
            f.dim->code(D.columns[f.dim->column], b, n, codes);
            for (size_t i = 0; i < n; ++i)
                if (!f.keep[codes[i]]) keys[i] = kSkip;
        }
    };
    constexpr size_t B = 2048;

    // Three ways to scan, all in parallel:
    // - few cells next to the rows: each thread its own dense partial over its chunk of rows;
    // - many cells, still indexable: rows are partitioned by key range and each thread fills its own
    //   slice of one dense array (one copy of the cells, however many threads);
    // - huge key spaces: each thread its own open-addressing partial.
    const size_t partBytes = W * sizeof(double);
    const int hw = threads();
    int T = int(std::clamp<size_t>(N / 65536, 1, size_t(hw)));
    bool dense = keySpace <= tuning_.denseLimit;
    bool ranged = false;
    // per-thread copies: fewer threads rather than copies beyond the budget, but at least half of them
    const size_t budget = size_t(32) << 20;
    int fit = T;
    while (fit > 1 && keySpace * partBytes * fit > budget)
        --fit;
    if (dense && keySpace <= 2 * (N / size_t(T)) && keySpace * partBytes * fit <= budget && fit * 2 >= T)
        T = fit;
    if (dense &&
        (keySpace * partBytes * T > budget || keySpace > std::max<size_t>(4096, 2 * (N / size_t(T))))) {
        // per-thread copies would be large or mostly empty
        if (keySpace * partBytes <= (size_t(256) << 20) && keySpace < (uint64_t(1) << 32) && M <= 32)
            ranged = true;
        else
            dense = false;
    }
    // Small copies: more of them than threads, so that a thread that gets no core holds up little.
    if (dense && !ranged && keySpace * partBytes * size_t(4 * hw) <= (size_t(4) << 20))
        T = int(std::clamp<size_t>(N / 65536, 1, size_t(4 * hw)));
    std::vector<Partial> parts(ranged ? 1 : T);
    const int KT = keySpace > 65536 ? 4 * hw : 1; // key ranges for the passes over the key space
    auto& found = scratch_->found;
    found.resize(static_cast<size_t>(std::max(KT, 4 * hw)));
    for (auto& f : found)
        f.clear();
    if (ranged) {
        // Rows go block by block: each block's rows are copied, key and values together, into one
        // bucket per key range, and each range's slice of the cells (small enough to stay in cache)
        // then takes its bucket in one sequential read. Reading the rows of a range straight from the
        // columns would touch nearly every line of them once per range.
        const int RT = N > 65536 ? 4 * hw : 1;
        // keys per range: a power of two, so a row's range is a shift (a division per row costs more
        // than the rest of its sorting); the last ranges may be empty
        int perShift = 0;
        while ((size_t(1) << perShift) * size_t(RT) < keySpace)
            ++perShift;
        const size_t per = size_t(1) << perShift;
        const size_t PW = 1 + M; // payload per row: key with the NULL mask above it, then the values
        const size_t blockRows = std::min<size_t>(
            N, std::max<size_t>(
                   65536, std::min<size_t>(size_t(1) << 20, (size_t(32) << 20) / (PW * sizeof(double)))));
        std::vector<uint32_t>& rowKey = scratch_->rowKey;
        if (rowKey.size() < blockRows) rowKey.resize(blockRows);
        Buffer& payload = scratch_->payload;
        if (payload.size() < blockRows * PW) payload.resize(blockRows * PW);
        Partial& P = parts[0];
        P.cells = std::move(scratch_->partial);
        if (P.cells.size() < keySpace * W) P.cells.resize(keySpace * W);
        // (chunk t, range r): where chunk t's rows of range r start in the payload, and how many
        std::vector<size_t> start(size_t(RT) * RT), count(size_t(RT) * RT);
        for (size_t b0 = 0; b0 < N; b0 += blockRows) {
            const size_t bn = std::min(blockRows, N - b0), rchunk = (bn + RT - 1) / RT;
            // Each chunk sorts its own rows by range, within its own part of the payload.
            parallelFor(hw, RT, [&](int t) {
                const size_t begin = std::min(bn, size_t(t) * rchunk), end = std::min(bn, begin + rchunk);
                uint32_t codes[B];
                uint64_t keys[B];
                size_t* h = count.data() + size_t(t) * RT;
                std::fill(h, h + RT, 0);
                for (size_t b = begin; b < end; b += B) {
                    const size_t n = std::min(B, end - b);
                    keysOf(b0 + b, n, keys, codes);
                    for (size_t i = 0; i < n; ++i) {
                        rowKey[b + i] = keys[i] == kSkip ? ~0u : uint32_t(keys[i]);
                        if (keys[i] != kSkip) ++h[keys[i] >> perShift];
                    }
                }
                size_t* at = start.data() + size_t(t) * RT;
                size_t next = begin;
                for (int r = 0; r < RT; ++r)
                    at[r] = next, next += h[r];
                std::vector<size_t> fill(at, at + RT);
                for (size_t i = begin; i < end; ++i) {
                    const uint32_t k = rowKey[i];
                    if (k == ~0u) continue;
                    const size_t row = b0 + i;
                    double* q = payload.data() + (fill[k >> perShift]++) * PW;
                    uint64_t head = k, bit = uint64_t(1) << 32;
                    for (size_t m = 0; m < M; ++m, bit <<= 1) {
                        const Meas& d = meas[m];
                        if (d.nulls && d.nulls[row]) head |= bit;
                        q[1 + m] = d.reals ? d.reals[row] : d.ints ? double(d.ints[row]) : 0.0;
                    }
                    std::memcpy(q, &head, sizeof head);
                }
            });
            // Each range's slice of the cells (small enough to stay in cache) takes its rows.
            parallelFor(hw, RT, [&](int r) {
                if (b0 == 0) {
                    const size_t lo = std::min<size_t>(keySpace, size_t(r) * per),
                                 hi = std::min<size_t>(keySpace, lo + per);
                    std::fill(P.cells.begin() + lo * W, P.cells.begin() + hi * W, 0.0);
                }
                for (int t = 0; t < RT; ++t) {
                    const size_t from = start[size_t(t) * RT + r], to = from + count[size_t(t) * RT + r];
                    for (size_t i = from; i < to; ++i) {
                        const double* q = payload.data() + i * PW;
                        uint64_t head;
                        std::memcpy(&head, q, sizeof head);
                        const uint64_t nullMask = head >> 32;
                        accumulateWith(
                            P.cells.data() + size_t(uint32_t(head)) * W,
                            [&](size_t m) { return (nullMask >> m & 1) != 0; },
                            [&](size_t m) { return q[1 + m]; });
                    }
                }
            });
        }
        parallelFor(hw, RT, [&](int r) {
            const size_t lo = std::min<size_t>(keySpace, size_t(r) * per),
                         hi = std::min<size_t>(keySpace, lo + per);
            for (size_t k = lo; k < hi; ++k)
                if (P.cells[k * W] > 0) found[size_t(r)].push_back(k);
        });
        T = 1;
    } else {
        const size_t chunk = (N + T - 1) / std::max(T, 1);
        if (dense) {
            if (scratch_->partials.size() < parts.size()) scratch_->partials.resize(parts.size());
            for (size_t p = 0; p < parts.size(); ++p) {
                parts[p].cells = std::move(scratch_->partials[p]);
                parts[p].cells.resize(keySpace * W);
            }
        }
        parallelFor(hw, T, [&](int t) {
            Partial& P = parts[t];
            const size_t begin = std::min(N, size_t(t) * chunk), end = std::min(N, begin + chunk);
            if (dense)
                std::fill(P.cells.begin(), P.cells.end(), 0.0);
            else {
                P.map.reset(std::min<size_t>(end - begin, keySpace) / 2 + 16);
                P.cells.reserve(std::min<size_t>(end - begin, keySpace) * W / 2 + W);
            }
            uint32_t codes[B];
            uint64_t keys[B];
            for (size_t b = begin; b < end; b += B) {
                const size_t n = std::min(B, end - b);
                keysOf(b, n, keys, codes);
                for (size_t i = 0; i < n; ++i) {
                    if (keys[i] == kSkip) continue;
                    size_t slot;
                    if (dense) {
                        slot = size_t(keys[i]);
                    } else {
                        bool ins;
                        slot = P.map.get(keys[i], uint32_t(P.keyOf.size()), ins);
                        if (ins) {
                            P.keyOf.push_back(keys[i]);
                            P.cells.resize(P.cells.size() + W, 0.0);
                        }
                    }
                    accumulate(P.cells.data() + slot * W, b + i);
                }
            }
        });
    }

    // The finest cells: every key some thread saw, in key order when the key space allows an index.
    auto& finestKey = scratch_->finestKey;
    finestKey.clear();
    std::vector<uint32_t> keyIndex;                                 // key -> finest (dense index)
    std::vector<std::vector<std::pair<int, uint32_t>>> finestParts; // huge key spaces: (partial, slot)
    const bool indexed = dense || keySpace <= (uint64_t(1) << 25);
    const size_t perKey = (keySpace + KT - 1) / KT;
    auto keyRange = [&](int t) {
        const size_t lo = std::min<size_t>(keySpace, size_t(t) * perKey);
        return std::pair<size_t, size_t>(lo, std::min<size_t>(keySpace, lo + perKey));
    };
    if (indexed) {
        if (ranged) {
            // noted while scanning
        } else if (dense) {
            parallelFor(hw, KT, [&](int t) {
                const auto [lo, hi] = keyRange(t);
                for (size_t k = lo; k < hi; ++k)
                    for (int p = 0; p < T; ++p)
                        if (parts[p].cells[k * W] > 0) {
                            found[size_t(t)].push_back(k);
                            break;
                        }
            });
        } else {
            keyIndex.assign(keySpace, ~0u);
            parallelFor(hw, KT, [&](int t) {
                const auto [lo, hi] = keyRange(t);
                for (int p = 0; p < T; ++p)
                    for (uint64_t k : parts[p].keyOf)
                        if (k >= lo && k < hi) keyIndex[k] = 0;
                for (size_t k = lo; k < hi; ++k)
                    if (keyIndex[k] == 0) found[size_t(t)].push_back(k);
            });
        }
        for (auto& f : found)
            finestKey.insert(finestKey.end(), f.begin(), f.end());
        if (!dense)
            for (size_t f = 0; f < finestKey.size(); ++f)
                keyIndex[finestKey[f]] = uint32_t(f);
    } else {
        KeyMap all(1024);
        for (int p = 0; p < T; ++p)
            for (size_t s = 0; s < parts[p].keyOf.size(); ++s) {
                bool ins;
                const uint32_t f = all.get(parts[p].keyOf[s], uint32_t(finestKey.size()), ins);
                if (ins) {
                    finestKey.push_back(parts[p].keyOf[s]);
                    finestParts.emplace_back();
                }
                finestParts[f].push_back({p, uint32_t(s)});
            }
    }

    // The tuples of each axis and their node trees.
    const size_t K = def.rows.size(), C = def.columns.size();
    uint64_t colSpace = 1;
    std::vector<uint32_t> rowCards, colCards;
    for (size_t i = 0; i < K; ++i)
        rowCards.push_back(std::max(1u, groupDims[i]->cardinality()));
    for (size_t i = 0; i < C; ++i) {
        colCards.push_back(std::max(1u, groupDims[K + i]->cardinality()));
        colSpace *= colCards.back();
    }
    const size_t F = finestKey.size();
    auto& finestRow = scratch_->finestRow;
    auto& finestCol = scratch_->finestCol;
    finestRow.resize(F);
    finestCol.resize(F);
    std::vector<uint64_t> rowKeys, colKeys;
    {
        // Keys are in key order (row fields outermost), so a row tuple's finest cells are adjacent.
        KeyMap colMap(64);
        std::vector<uint32_t> colIdx(colSpace <= (uint64_t(1) << 20) ? size_t(colSpace) : 0, ~0u);
        uint64_t lastRow = ~uint64_t(0);
        KeyMap rowMap(indexed ? 16 : 1024);
        uint64_t rowBegin = 1, rowEnd = 0, rowAt = 0; // keys of the current row tuple (sorted keys)
        if (indexed && !colIdx.empty() && F > 65536) {
            // In parallel: count the row tuples each range of finest cells starts and note the column
            // tuples present, then number them (columns in key order).
            const int FT = 4 * hw;
            std::vector<size_t> starts(size_t(FT) + 1, 0);
            std::unique_ptr<std::atomic<uint8_t>[]> seen(new std::atomic<uint8_t>[size_t(colSpace)]);
            for (size_t c = 0; c < size_t(colSpace); ++c)
                seen[c].store(0, std::memory_order_relaxed);
            auto pass = [&](int t, bool number) {
                const size_t lo = F * size_t(t) / size_t(FT), hi = F * size_t(t + 1) / size_t(FT);
                uint64_t prev = lo == 0 ? ~uint64_t(0) : finestKey[lo - 1] / colSpace;
                uint64_t b = 1, e = 0, rk = 0;
                // Only the numbering pass reads its start: the counting pass of range t-1 writes it.
                size_t pos = number ? starts[size_t(t)] : 0, n = 0;
                for (size_t f = lo; f < hi; ++f) {
                    const uint64_t key = finestKey[f];
                    if (key < b || key >= e) rk = key / colSpace, b = rk * colSpace, e = b + colSpace;
                    const size_t ck = size_t(key - b);
                    if (!number) {
                        if (rk != prev) ++n, prev = rk;
                        if (!seen[ck].load(std::memory_order_relaxed))
                            seen[ck].store(1, std::memory_order_relaxed);
                        continue;
                    }
                    if (rk != prev) rowKeys[pos++] = rk, prev = rk;
                    finestRow[f] = uint32_t(pos - 1);
                    finestCol[f] = colIdx[ck];
                }
                if (!number) starts[size_t(t) + 1] = n;
            };
            parallelFor(hw, FT, [&](int t) { pass(t, false); });
            for (int t = 0; t < FT; ++t)
                starts[size_t(t) + 1] += starts[size_t(t)];
            rowKeys.resize(starts[size_t(FT)]);
            for (size_t c = 0; c < size_t(colSpace); ++c)
                if (seen[c].load(std::memory_order_relaxed))
                    colIdx[c] = uint32_t(colKeys.size()), colKeys.push_back(c);
            parallelFor(hw, FT, [&](int t) { pass(t, true); });
        }
        for (size_t f = rowKeys.empty() ? 0 : F; f < F; ++f) {
            bool ins;
            const uint64_t key = finestKey[f];
            if (!indexed || key < rowBegin || key >= rowEnd) {
                rowAt = key / colSpace;
                rowBegin = rowAt * colSpace;
                rowEnd = rowBegin + colSpace;
            }
            const uint64_t rk = rowAt, ck = key - rowBegin;
            if (indexed) {
                if (rk != lastRow) rowKeys.push_back(rk), lastRow = rk;
                finestRow[f] = uint32_t(rowKeys.size() - 1);
            } else {
                finestRow[f] = rowMap.get(rk, uint32_t(rowKeys.size()), ins);
                if (ins) rowKeys.push_back(rk);
            }
            if (!colIdx.empty()) {
                uint32_t& ci = colIdx[size_t(ck)];
                if (ci == ~0u) ci = uint32_t(colKeys.size()), colKeys.push_back(ck);
                finestCol[f] = ci;
            } else {
                finestCol[f] = colMap.get(ck, uint32_t(colKeys.size()), ins);
                if (ins) colKeys.push_back(ck);
            }
        }
    }
    AxisTree rt = buildTree(rowKeys, rowCards), ct = buildTree(colKeys, colCards);
    res->rowNodes = std::move(rt.nodes);
    res->colNodes = std::move(ct.nodes);
    const uint64_t R = res->rowNodes.size(), CN = res->colNodes.size();
    res->colNodeCount = uint32_t(CN);
    auto finestSlotKey = [&](size_t f, size_t i, size_t j) {
        const uint64_t rn = rt.tupleNodes[size_t(finestRow[f]) * (K + 1) + i];
        const uint64_t cn = ct.tupleNodes[size_t(finestCol[f]) * (C + 1) + j];
        return rn * CN + cn;
    };

    // Aggregated cells: first the finest level from the partials, then every other (row level,
    // column level) pair rolled up from the finest cells.
    res->denseCells = R * CN <= std::min<uint64_t>(tuning_.denseLimit * 4, uint64_t(1) << 26) &&
                      R * CN * AW * sizeof(double) <= (size_t(256) << 20);
    auto& finestSlot = scratch_->finestSlot;
    finestSlot.resize(F);
    size_t slots = 0;
    if (res->denseCells) {
        slots = R * CN;
        const int FT = F > 65536 ? 4 * hw : 1;
        parallelFor(hw, FT, [&](int t) {
            for (size_t f = F * size_t(t) / size_t(FT), e = F * size_t(t + 1) / size_t(FT); f < e; ++f)
                finestSlot[f] = finestSlotKey(f, K, C);
        });
    } else {
        res->slotMap = std::make_shared<PivotResult::SlotMap>();
        KeyMap& sm = res->slotMap->map;
        sm.reset(F * 2);
        for (size_t i = 0; i <= K; ++i)
            for (size_t j = 0; j <= C; ++j)
                for (size_t f = 0; f < F; ++f) {
                    bool ins;
                    const uint32_t s = sm.get(finestSlotKey(f, i, j), uint32_t(slots), ins);
                    if (ins) ++slots;
                    if (i == K && j == C) finestSlot[f] = s;
                }
    }
    {
        std::lock_guard<std::mutex> lock(scratch_->m);
        auto& kept = scratch_->cells;
        const size_t need = slots * AW;
        size_t best = kept.size();
        for (size_t i = 0; i < kept.size(); ++i)
            if (kept[i].capacity() >= need &&
                (best == kept.size() || kept[i].capacity() < kept[best].capacity()))
                best = i;
        if (need > (1u << 16) && best < kept.size()) {
            res->cells = std::move(kept[best]);
            kept.erase(kept.begin() + std::ptrdiff_t(best));
        }
    }
    res->cells.resize(slots * AW);
    {
        const int ZT = slots * AW > (1u << 20) ? 4 * hw : 1;
        const size_t total = slots * AW;
        parallelFor(hw, ZT, [&](int t) {
            std::fill(res->cells.begin() + total * t / ZT, res->cells.begin() + total * (t + 1) / ZT, 0.0);
        });
    }
    double* cells = res->cells.data();
    {
        std::vector<std::vector<double>> tmp(static_cast<size_t>(std::max(KT, 4 * hw)),
                                             std::vector<double>(AW));
        if (dense || indexed) {
            parallelFor(hw, KT, [&](int t) {
                const auto [lo, hi] = keyRange(t);
                double* one = tmp[size_t(t)].data();
                if (dense) {
                    // finest keys are in key order
                    auto it = std::lower_bound(finestKey.begin(), finestKey.end(), lo);
                    for (size_t f = size_t(it - finestKey.begin()); f < F && finestKey[f] < hi; ++f)
                        for (int p = 0; p < T; ++p) {
                            const double* c = parts[p].cells.data() + finestKey[f] * W;
                            if (c[0] <= 0) continue;
                            if (T == 1) { // the only source of a zeroed cell
                                fromPartial(c, cells + finestSlot[f] * AW);
                                continue;
                            }
                            fromPartial(c, one);
                            mergeInto(cells + finestSlot[f] * AW, one);
                        }
                } else {
                    for (int p = 0; p < T; ++p)
                        for (size_t s = 0; s < parts[p].keyOf.size(); ++s) {
                            const uint64_t k = parts[p].keyOf[s];
                            if (k < lo || k >= hi) continue;
                            fromPartial(parts[p].cells.data() + s * W, one);
                            mergeInto(cells + finestSlot[keyIndex[k]] * AW, one);
                        }
                }
            });
        } else {
            double* one = tmp[0].data();
            for (size_t f = 0; f < F; ++f)
                for (auto [p, s] : finestParts[f]) {
                    fromPartial(parts[p].cells.data() + size_t(s) * W, one);
                    mergeInto(cells + finestSlot[f] * AW, one);
                }
        }
    }
    if (ranged)
        scratch_->partial = std::move(parts[0].cells);
    else if (dense)
        for (size_t p = 0; p < parts.size(); ++p)
            scratch_->partials[p] = std::move(parts[p].cells);
    parts.clear();
    parts.shrink_to_fit();
    finestParts.clear();
    keyIndex.clear();
    keyIndex.shrink_to_fit();
    // Roll up level by level: (i, j) from (i, j + 1) while j < C, else from (i + 1, C), so each level
    // merges the cells of a finer level that is already complete, not the finest cells again. When the
    // finest cells are in key order, every level's list of cells stays in row order, so a range cut
    // where the target row node changes never shares a target with its neighbour: large levels roll up
    // in parallel. Without the order, a target's sources are anywhere in the list.
    using Entry = CellRef;
    auto slotFor = [&](uint32_t rn, uint32_t cn) {
        const uint64_t k = uint64_t(rn) * CN + cn;
        return res->denseCells ? size_t(k) : size_t(res->slotMap->map.find(k));
    };
    auto& level = scratch_->level;
    if (level.size() < (K + 1) * (C + 1))
        level.resize((K + 1) * (C + 1)); // never shrunk: keeps the lists' pages
    for (auto& l : level)
        l.clear();
    {
        auto& fin = level[K * (C + 1) + C];
        fin.resize(F);
        const int FT = F > 65536 ? 4 * hw : 1;
        std::vector<double> recs(size_t(FT), 0.0);
        parallelFor(hw, FT, [&](int t) {
            const size_t lo = F * size_t(t) / size_t(FT), hi = F * size_t(t + 1) / size_t(FT);
            double n = 0;
            for (size_t f = lo; f < hi; ++f) {
                fin[f] = {rt.tupleNodes[size_t(finestRow[f]) * (K + 1) + K],
                          ct.tupleNodes[size_t(finestCol[f]) * (C + 1) + C]};
                n += cells[finestSlot[f] * AW];
            }
            recs[size_t(t)] = n;
        });
        for (double n : recs)
            res->recordCount += size_t(n);
    }
    const auto& rowNodesV = res->rowNodes;
    const auto& colNodesV = res->colNodes;
    for (size_t ii = K + 1; ii-- > 0;)
        for (size_t jj = C + 1; jj-- > 0;) {
            if (ii == K && jj == C) continue;
            const bool colStep = jj < C;
            const auto& src = colStep ? level[ii * (C + 1) + jj + 1] : level[(ii + 1) * (C + 1) + jj];
            auto& out = level[ii * (C + 1) + jj];
            auto target = [&](const Entry& e) {
                return colStep ? Entry{e.rn, uint32_t(colNodesV[e.cn].parent)}
                               : Entry{uint32_t(rowNodesV[e.rn].parent), e.cn};
            };
            auto run = [&](size_t lo, size_t hi, std::vector<Entry>& list) {
                for (size_t x = lo; x < hi; ++x) {
                    const Entry t = target(src[x]);
                    double* to = cells + slotFor(t.rn, t.cn) * AW;
                    if (to[0] == 0) list.push_back(t);
                    mergeInto(to, cells + slotFor(src[x].rn, src[x].cn) * AW);
                }
            };
            const int RT = (src.size() > 32768 && ii >= 1 && res->denseCells && indexed) ? 4 * hw : 1;
            if (RT == 1) {
                run(0, src.size(), out);
                continue;
            }
            std::vector<size_t> cut(size_t(RT) + 1, src.size());
            cut[0] = 0;
            for (int t = 1; t < RT; ++t) {
                size_t x = std::max(cut[size_t(t) - 1], src.size() * size_t(t) / size_t(RT));
                while (x > 0 && x < src.size() && target(src[x]).rn == target(src[x - 1]).rn)
                    ++x;
                cut[size_t(t)] = x;
            }
            std::vector<std::vector<Entry>> parts2(static_cast<size_t>(RT));
            parallelFor(hw, RT, [&](int t) { run(cut[size_t(t)], cut[size_t(t) + 1], parts2[size_t(t)]); });
            for (auto& p2 : parts2)
                out.insert(out.end(), p2.begin(), p2.end());
        }

    if (res->recordCount == 0 || def.data.empty()) return res; // nothing to show: no lines at all

    // Lay out the lines: children sorted by label or by a data field, subtotals after each group.
    auto layout = [&](const std::vector<PivotResult::Node>& nodes, const std::vector<AxisField>& fields,
                      const std::vector<std::shared_ptr<const Dimension>>& dims, bool rowsAxis,
                      std::vector<PivotResult::Line>& out, int dataCount) {
        // children of node n: kid[first[n] .. first[n + 1])
        std::vector<uint32_t> first(nodes.size() + 1, 0), kid(nodes.size() ? nodes.size() - 1 : 0);
        for (size_t n = 1; n < nodes.size(); ++n)
            ++first[size_t(nodes[n].parent) + 1];
        for (size_t n = 0; n < nodes.size(); ++n)
            first[n + 1] += first[n];
        {
            std::vector<uint32_t> at(first.begin(), first.end() - 1);
            for (size_t n = 1; n < nodes.size(); ++n)
                kid[at[size_t(nodes[n].parent)]++] = uint32_t(n);
        }
        struct Kids {
            uint32_t* b;
            uint32_t* e;
            size_t size() const { return size_t(e - b); }
            uint32_t* begin() const { return b; }
            uint32_t* end() const { return e; }
            std::reverse_iterator<uint32_t*> rbegin() const { return std::reverse_iterator<uint32_t*>(e); }
            std::reverse_iterator<uint32_t*> rend() const { return std::reverse_iterator<uint32_t*>(b); }
            uint32_t& operator[](size_t i) const { return b[i]; }
        };
        auto kids = [&](size_t n) { return Kids{kid.data() + first[n], kid.data() + first[n + 1]}; };
        std::vector<uint32_t> byLabel; // parents whose children go in label order
        size_t byLabelKids = 0;
        for (size_t n = 0; n < nodes.size(); ++n) {
            const Kids ch = kids(n);
            if (ch.size() < 2) continue;
            const int lvl = nodes[ch[0]].level - 1;
            const AxisField& f = fields[size_t(lvl)];
            const Dimension& dim = *dims[size_t(lvl)];
            if (f.sortMode != 0) {
                std::vector<std::pair<std::optional<double>, uint32_t>> keyed;
                for (uint32_t c : ch)
                    keyed.push_back(
                        {rowsAxis ? res->nodeValue(c, 0, f.sortData) : res->nodeValue(0, c, f.sortData), c});
                const bool desc = f.sortMode == 2;
                std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
                    if (a.first.has_value() != b.first.has_value()) return a.first.has_value();
                    if (a.first && *a.first != *b.first)
                        return desc ? *a.first > *b.first : *a.first < *b.first;
                    return dim.rank[nodes[a.second].code] < dim.rank[nodes[b.second].code];
                });
                for (size_t i = 0; i < ch.size(); ++i)
                    ch[i] = keyed[i].second;
            } else {
                byLabel.push_back(uint32_t(n));
                byLabelKids += ch.size();
            }
        }
        // Label orders, in parallel when there are many: siblings have distinct members, so distinct ranks.
        const int ST = byLabelKids > 16384 ? int(std::min<size_t>(byLabel.size(), size_t(4 * hw))) : 1;
        parallelFor(hw, ST, [&](int t) {
            std::vector<uint64_t> keyed;
            for (size_t x = size_t(t); x < byLabel.size(); x += size_t(ST)) {
                const Kids ch = kids(byLabel[x]);
                const int lvl = nodes[ch[0]].level - 1;
                const Dimension& dim = *dims[size_t(lvl)];
                keyed.resize(ch.size());
                for (size_t i = 0; i < ch.size(); ++i)
                    keyed[i] = uint64_t(dim.rank[nodes[ch[i]].code]) << 32 | ch[i];
                std::sort(keyed.begin(), keyed.end());
                if (fields[size_t(lvl)].descending) std::reverse(keyed.begin(), keyed.end());
                for (size_t i = 0; i < ch.size(); ++i)
                    ch[i] = uint32_t(keyed[i]);
            }
        });
        const int L = int(fields.size());
        auto push = [&](uint32_t node, int depth, bool total) {
            if (rowsAxis)
                out.push_back({node, depth, total, -1});
            else
                for (int d = 0; d < dataCount; ++d)
                    out.push_back({node, depth, total, d});
        };
        out.reserve((nodes.size() + 1) * size_t(rowsAxis ? 1 : std::max(dataCount, 1)));
        std::vector<std::pair<uint32_t, bool>> stack; // (node, children done)
        if (L == 0) {
            push(0, 0, false);
            return;
        }
        for (auto it = kids(0).rbegin(); it != kids(0).rend(); ++it)
            stack.push_back({*it, false});
        while (!stack.empty()) {
            auto [n, done] = stack.back();
            stack.pop_back();
            const int lvl = nodes[n].level;
            if (lvl == L) {
                push(n, L, false);
            } else if (done) {
                if (def.subtotals) push(n, lvl, true);
            } else {
                stack.push_back({n, true});
                for (auto it = kids(n).rbegin(); it != kids(n).rend(); ++it)
                    stack.push_back({*it, false});
            }
        }
        if (def.grandTotals) push(0, 0, true);
    };
    layout(res->rowNodes, def.rows, res->rowDims, true, res->rowLines, 0);
    layout(res->colNodes, def.columns, res->colDims, false, res->colLines, int(def.data.size()));
    return res;
}

} // namespace bd::pivot::engine
