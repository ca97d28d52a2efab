#include "platform/pivot/engine/PivotEngine.h"

#include "platform/pivot/engine/Formula.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
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
    case Agg::Count: return n;
    case Agg::Sum: return n > 0 ? std::optional<double>(sum) : std::nullopt;
    case Agg::Avg: return n > 0 ? std::optional<double>(sum / n) : std::nullopt;
    case Agg::Max: return n > 0 ? std::optional<double>(max) : std::nullopt;
    case Agg::Min: return n > 0 ? std::optional<double>(min) : std::nullopt;
    case Agg::StDev: return n > 1 ? std::optional<double>(std::sqrt(m / (n - 1))) : std::nullopt;
    case Agg::StDevP: return n > 0 ? std::optional<double>(std::sqrt(m / n)) : std::nullopt;
    case Agg::Var: return n > 1 ? std::optional<double>(m / (n - 1)) : std::nullopt;
    case Agg::VarP: return n > 0 ? std::optional<double>(m / n) : std::nullopt;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------------
// Open addressing map uint64 -> uint32

namespace {

struct KeyMap {
    static constexpr uint64_t kEmpty = ~uint64_t(0);
    std::vector<uint64_t> keys;
    std::vector<uint32_t> vals;
    size_t mask = 0, count = 0;

    explicit KeyMap(size_t cap = 1024) { reset(cap); }
    void reset(size_t cap) {
        size_t c = 16;
        while (c < cap * 2) c <<= 1;
        keys.assign(c, kEmpty);
        vals.assign(c, 0);
        mask = c - 1;
        count = 0;
    }
    static size_t hash(uint64_t k) { return size_t((k * 0x9E3779B97F4A7C15ull) >> 20 ^ (k * 0x9E3779B97F4A7C15ull)); }
    // Returns the value for k, inserting next (and returning it) when absent.
    uint32_t get(uint64_t k, uint32_t next, bool& inserted) {
        size_t i = hash(k) & mask;
        while (true) {
            if (keys[i] == k) {
                inserted = false;
                return vals[i];
            }
            if (keys[i] == kEmpty) break;
            i = (i + 1) & mask;
        }
        if ((count + 1) * 2 > keys.size()) {
            grow();
            return get(k, next, inserted);
        }
        keys[i] = k;
        vals[i] = next;
        ++count;
        inserted = true;
        return next;
    }
    int64_t find(uint64_t k) const {
        size_t i = hash(k) & mask;
        while (true) {
            if (keys[i] == k) return vals[i];
            if (keys[i] == kEmpty) return -1;
            i = (i + 1) & mask;
        }
    }
    void grow() {
        std::vector<uint64_t> ok = std::move(keys);
        std::vector<uint32_t> ov = std::move(vals);
        keys.assign(ok.size() * 2, kEmpty);
        vals.assign(ok.size() * 2, 0);
        mask = keys.size() - 1;
        for (size_t j = 0; j < ok.size(); ++j) {
            if (ok[j] == kEmpty) continue;
            size_t i = hash(ok[j]) & mask;
            while (keys[i] != kEmpty) i = (i + 1) & mask;
            keys[i] = ok[j];
            vals[i] = ov[j];
        }
    }
};

template <class F> void parallelFor(int threads, F&& f) {
    if (threads <= 1) {
        f(0);
        return;
    }
    std::vector<std::thread> ts;
    for (int t = 1; t < threads; ++t) ts.emplace_back([&f, t] { f(t); });
    f(0);
    for (auto& th : ts) th.join();
}

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
        std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", (long long)y, (long long)m,
                      (long long)d, (long long)(secs / 3600), (long long)(secs / 60 % 60), (long long)(secs % 60));
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
        for (size_t i = 0; i < n; ++i) out[i] = l[size_t(v[i] - lutMin)];
        break;
    }
    case Mode::Codes:
        std::memcpy(out, codes.data() + begin, n * sizeof(uint32_t));
        return; // nulls already coded
    }
    if (hasNull) {
        const uint8_t* nl = c.nulls.data() + begin;
        for (size_t i = 0; i < n; ++i)
            if (nl[i]) out[i] = nullCode;
    }
}

// ---------------------------------------------------------------------------------------------------
// Engine

Engine::Engine() = default;
Engine::~Engine() = default;

void Engine::setData(std::shared_ptr<const db::ColumnarResult> data) {
    data_ = std::move(data);
    dims_.assign(data_ ? data_->columns.size() : 0, nullptr);
}

void Engine::setCollation(std::function<int(const std::string&, const std::string&)> cmp) {
    collate_ = std::move(cmp);
    for (auto& d : dims_) d.reset(); // label order depends on it
}

std::shared_ptr<const Dimension> Engine::dimension(int column) {
    if (!data_ || column < 0 || column >= int(data_->columns.size())) return nullptr;
    if (dims_[column]) return dims_[column];
    const ColumnData& c = data_->columns[column];
    const size_t N = data_->rowCount;
    auto d = std::make_shared<Dimension>();
    d->column = column;
    d->kind = c.kind;
    bool anyNull = false;
    if (!c.nulls.empty())
        for (size_t i = 0; i < N && !anyNull; ++i) anyNull = c.nulls[i] != 0;
    switch (c.kind) {
    case ColumnKind::Text:
        d->mode = Dimension::Mode::TextCodes;
        d->labels = c.dict;
        d->numeric.assign(c.dict.size(), 0);
        break;
    case ColumnKind::Integer:
    case ColumnKind::Boolean: {
        int64_t lo = 0, hi = -1;
        bool first = true;
        for (size_t i = 0; i < N; ++i) {
            if (anyNull && c.nulls[i]) continue;
            const int64_t v = c.ints[i];
            if (first) lo = hi = v, first = false;
            else lo = std::min(lo, v), hi = std::max(hi, v);
        }
        std::vector<int64_t> values;
        if (!first && uint64_t(hi - lo) < (1u << 22)) {
            std::vector<uint8_t> present(size_t(hi - lo) + 1, 0);
            for (size_t i = 0; i < N; ++i)
                if (!(anyNull && c.nulls[i])) present[size_t(c.ints[i] - lo)] = 1;
            d->mode = Dimension::Mode::IntTable;
            d->lutMin = lo;
            d->lut.assign(present.size(), 0);
            for (size_t v = 0; v < present.size(); ++v)
                if (present[v]) {
                    d->lut[v] = uint32_t(values.size());
                    values.push_back(lo + int64_t(v));
                }
        } else if (!first) {
            std::unordered_map<int64_t, uint32_t> seen;
            for (size_t i = 0; i < N; ++i)
                if (!(anyNull && c.nulls[i])) seen.emplace(c.ints[i], 0);
            for (auto& kv : seen) values.push_back(kv.first);
            std::sort(values.begin(), values.end());
            for (size_t j = 0; j < values.size(); ++j) seen[values[j]] = uint32_t(j);
            d->mode = Dimension::Mode::Codes;
            d->codes.resize(N);
            const uint32_t nc = uint32_t(values.size());
            for (size_t i = 0; i < N; ++i) d->codes[i] = (anyNull && c.nulls[i]) ? nc : seen[c.ints[i]];
        } else {
            d->mode = Dimension::Mode::Codes;
            d->codes.assign(N, 0);
        }
        for (int64_t v : values) {
            d->labels.push_back(c.kind == ColumnKind::Boolean ? (v ? "True" : "False") : std::to_string(v));
            d->numeric.push_back(double(v));
        }
        break;
    }
    case ColumnKind::Real:
    case ColumnKind::DateTime: {
        std::unordered_map<double, uint32_t> seen;
        for (size_t i = 0; i < N; ++i)
            if (!(anyNull && c.nulls[i])) seen.emplace(c.reals[i] == 0 ? 0.0 : c.reals[i], 0);
        std::vector<double> values;
        for (auto& kv : seen) values.push_back(kv.first);
        std::sort(values.begin(), values.end());
        for (size_t j = 0; j < values.size(); ++j) seen[values[j]] = uint32_t(j);
        d->mode = Dimension::Mode::Codes;
        d->codes.resize(N);
        const uint32_t nc = uint32_t(values.size());
        for (size_t i = 0; i < N; ++i)
            d->codes[i] = (anyNull && c.nulls[i]) ? nc : seen[c.reals[i] == 0 ? 0.0 : c.reals[i]];
        for (double v : values) {
            d->labels.push_back(c.kind == ColumnKind::DateTime ? dateLabel(v) : numberLabel(v));
            d->numeric.push_back(v);
        }
        break;
    }
    }
    if (anyNull) {
        d->hasNull = true;
        d->labels.emplace_back();
        d->numeric.push_back(0);
    }
    // Label order: text by collation, numbers and dates by value; the null member last.
    std::vector<uint32_t> order(d->labels.size());
    std::iota(order.begin(), order.end(), 0u);
    const uint32_t nullCode = d->hasNull ? d->cardinality() - 1 : ~0u;
    const bool text = c.kind == ColumnKind::Text;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        if ((a == nullCode) != (b == nullCode)) return b == nullCode;
        if (!text) return d->numeric[a] < d->numeric[b];
        const int r = collate_ ? collate_(d->labels[a], d->labels[b]) : d->labels[a].compare(d->labels[b]);
        return r < 0;
    });
    d->rank.assign(order.size(), 0);
    for (size_t i = 0; i < order.size(); ++i) d->rank[order[i]] = uint32_t(i);
    dims_[column] = d;
    return d;
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

double PivotResult::records(uint32_t rn, uint32_t cn) const {
    const int64_t s = slotOf(rn, cn);
    return s < 0 ? 0 : cellRecords[size_t(s)];
}

std::optional<double> PivotResult::nodeValue(uint32_t rn, uint32_t cn, int d, int guard) const {
    if (d < 0 || d >= int(spec.data.size()) || guard > 32) return std::nullopt;
    const int64_t s = slotOf(rn, cn);
    if (s < 0) return std::nullopt;
    const double recs = cellRecords[size_t(s)];
    if (recs <= 0) return std::nullopt;
    const DataField& df = spec.data[d];
    if (df.formula)
        return df.formula->eval([&](int ref) { return nodeValue(rn, cn, ref, guard + 1); });
    if (df.column < 0) {
        Stats one;
        one.n = recs;
        one.sum = recs;
        one.min = one.max = one.mean = 1;
        return one.value(df.agg);
    }
    const int m = measureOf[d];
    if (measureIsText[m] && df.agg != Agg::Count) return std::nullopt;
    return cellStats[size_t(s) * measures + m].value(df.agg);
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
    while (nodes[n].level > level + 1) n = nodes[n].parent;
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
    std::vector<double> rows;
    std::vector<Stats> stats;
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
    for (size_t i = L; i-- > 0;) after[i] = after[i + 1] * cards[i];
    std::vector<KeyMap> maps;
    for (size_t i = 0; i < L; ++i) maps.emplace_back(64);
    t.tupleNodes.resize(tupleKeys.size() * (L + 1));
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

std::shared_ptr<const PivotResult> Engine::compute(const PivotSpec& spec, std::string* error) {
    auto fail = [&](const std::string& m) {
        if (error) *error = m;
        return std::shared_ptr<const PivotResult>();
    };
    if (!data_) return fail("The pivot has no data.");
    const db::ColumnarResult& D = *data_;
    const size_t N = D.rowCount;
    auto res = std::make_shared<PivotResult>();
    res->spec = spec;

    // Dimensions
    std::vector<std::shared_ptr<const Dimension>> groupDims;
    for (const auto& f : spec.rows) {
        auto d = dimension(f.column);
        if (!d) return fail("The pivot names a row field that is not in the query.");
        res->rowDims.push_back(d);
        groupDims.push_back(d);
    }
    for (const auto& f : spec.columns) {
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
    for (const auto& p : spec.pages) {
        auto d = dimension(p.column);
        if (!d) return fail("The pivot names a page field that is not in the query.");
        if (p.hidden.empty()) continue;
        PageFilter pf{d, std::vector<uint8_t>(d->cardinality(), 1)};
        for (uint32_t c = 0; c < d->cardinality(); ++c)
            if (p.hidden.count(d->labels[c])) pf.keep[c] = 0;
        filters.push_back(std::move(pf));
    }
    // Measures: one accumulator per distinct column used by a plain data field.
    res->measureOf.assign(spec.data.size(), -1);
    std::vector<int> measureCols;
    for (size_t i = 0; i < spec.data.size(); ++i) {
        const DataField& df = spec.data[i];
        if (df.formula) {
            for (int r : df.formula->references())
                if (r < 0 || r >= int(spec.data.size())) return fail("A calculated field names an unknown field.");
            continue;
        }
        if (df.column < 0) continue;
        if (df.column >= int(D.columns.size())) return fail("The pivot names a data field that is not in the query.");
        auto it = std::find(measureCols.begin(), measureCols.end(), df.column);
        if (it == measureCols.end()) {
            measureCols.push_back(df.column);
            it = measureCols.end() - 1;
        }
        res->measureOf[i] = int(it - measureCols.begin());
    }
    for (const auto& f : spec.rows)
        if (f.sortMode != 0 && (f.sortData < 0 || f.sortData >= int(spec.data.size())))
            return fail("A field is sorted by a data field that does not exist.");
    for (const auto& f : spec.columns)
        if (f.sortMode != 0 && (f.sortData < 0 || f.sortData >= int(spec.data.size())))
            return fail("A field is sorted by a data field that does not exist.");
    const size_t M = measureCols.size();
    res->measures = M;
    for (int c : measureCols) res->measureIsText.push_back(D.columns[c].kind == ColumnKind::Text);

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

    // Scan in parallel chunks: each thread fills its own partial.
    const size_t cellBytes = 8 + sizeof(Stats) * M;
    int hw = maxThreads_ > 0 ? maxThreads_ : int(std::max(1u, std::thread::hardware_concurrency()));
    int T = int(std::clamp<size_t>(N / 65536, 1, size_t(hw)));
    bool dense = keySpace <= denseLimit_;
    if (dense) {
        const size_t budget = size_t(192) << 20;
        while (T > 1 && keySpace * cellBytes * T > budget) --T;
        if (keySpace * cellBytes * T > budget * 2) dense = false;
    }
    std::vector<Partial> parts(T);
    const size_t chunk = (N + T - 1) / std::max(T, 1);
    parallelFor(T, [&](int t) {
        Partial& P = parts[t];
        if (dense) {
            P.rows.assign(keySpace, 0);
            P.stats.assign(keySpace * M, Stats{});
        }
        const size_t begin = std::min(N, size_t(t) * chunk), end = std::min(N, begin + chunk);
        constexpr size_t B = 2048;
        uint32_t codes[B];
        uint64_t keys[B];
        uint8_t skip[B];
        uint32_t slot[B];
        for (size_t b = begin; b < end; b += B) {
            const size_t n = std::min(B, end - b);
            std::memset(skip, 0, n);
            std::fill(keys, keys + n, 0);
            for (const auto& f : filters) {
                f.dim->code(D.columns[f.dim->column], b, n, codes);
                for (size_t i = 0; i < n; ++i) skip[i] |= !f.keep[codes[i]];
            }
            for (size_t g = 0; g < G; ++g) {
                groupDims[g]->code(D.columns[groupDims[g]->column], b, n, codes);
                const uint64_t s = stride[g];
                for (size_t i = 0; i < n; ++i) keys[i] += codes[i] * s;
            }
            if (dense) {
                for (size_t i = 0; i < n; ++i) slot[i] = uint32_t(keys[i]);
            } else {
                for (size_t i = 0; i < n; ++i) {
                    if (skip[i]) continue;
                    bool ins;
                    slot[i] = P.map.get(keys[i], uint32_t(P.rows.size()), ins);
                    if (ins) {
                        P.rows.push_back(0);
                        P.stats.resize(P.stats.size() + M);
                        P.keyOf.push_back(keys[i]);
                    }
                }
            }
            for (size_t i = 0; i < n; ++i)
                if (!skip[i]) P.rows[slot[i]] += 1;
            for (size_t m = 0; m < M; ++m) {
                const ColumnData& c = D.columns[measureCols[m]];
                const uint8_t* nl = c.nulls.empty() ? nullptr : c.nulls.data() + b;
                Stats* st = P.stats.data() + m;
                switch (c.kind) {
                case ColumnKind::Integer:
                case ColumnKind::Boolean: {
                    const int64_t* v = c.ints.data() + b;
                    for (size_t i = 0; i < n; ++i)
                        if (!skip[i] && !(nl && nl[i])) st[size_t(slot[i]) * M].add(double(v[i]));
                    break;
                }
                case ColumnKind::Real:
                case ColumnKind::DateTime: {
                    const double* v = c.reals.data() + b;
                    for (size_t i = 0; i < n; ++i)
                        if (!skip[i] && !(nl && nl[i])) st[size_t(slot[i]) * M].add(v[i]);
                    break;
                }
                case ColumnKind::Text:
                    for (size_t i = 0; i < n; ++i)
                        if (!skip[i] && !(nl && nl[i])) st[size_t(slot[i]) * M].n += 1;
                    break;
                }
            }
        }
    });
    // Merge the partials into the first.
    Partial& F = parts[0];
    if (dense) {
        if (T > 1) {
            const size_t per = (keySpace + T - 1) / T;
            parallelFor(T, [&](int t) {
                const size_t lo = std::min<size_t>(keySpace, t * per), hi = std::min<size_t>(keySpace, lo + per);
                for (int p = 1; p < T; ++p)
                    for (size_t k = lo; k < hi; ++k) {
                        if (parts[p].rows[k] == 0) continue;
                        F.rows[k] += parts[p].rows[k];
                        for (size_t m = 0; m < M; ++m) F.stats[k * M + m].merge(parts[p].stats[k * M + m]);
                    }
            });
            for (int p = 1; p < T; ++p) parts[p] = Partial{};
        }
    } else {
        for (int p = 1; p < T; ++p) {
            Partial& P = parts[p];
            for (size_t s = 0; s < P.rows.size(); ++s) {
                bool ins;
                const uint32_t to = F.map.get(P.keyOf[s], uint32_t(F.rows.size()), ins);
                if (ins) {
                    F.rows.push_back(0);
                    F.stats.resize(F.stats.size() + M);
                    F.keyOf.push_back(P.keyOf[s]);
                }
                F.rows[to] += P.rows[s];
                for (size_t m = 0; m < M; ++m) F.stats[size_t(to) * M + m].merge(P.stats[s * M + m]);
            }
            P = Partial{};
        }
    }

    // Finest cells and the tuples of each axis.
    const size_t K = spec.rows.size(), C = spec.columns.size();
    uint64_t colSpace = 1;
    std::vector<uint32_t> rowCards, colCards;
    for (size_t i = 0; i < K; ++i) rowCards.push_back(std::max(1u, groupDims[i]->cardinality()));
    for (size_t i = 0; i < C; ++i) {
        colCards.push_back(std::max(1u, groupDims[K + i]->cardinality()));
        colSpace *= colCards.back();
    }
    std::vector<uint32_t> finestSlot, finestRow, finestCol;
    std::vector<uint64_t> rowKeys, colKeys;
    KeyMap rowMap(1024), colMap(64);
    auto addFinest = [&](uint64_t key, uint32_t s) {
        bool ins;
        const uint64_t rk = key / colSpace, ck = key % colSpace;
        const uint32_t rt = rowMap.get(rk, uint32_t(rowKeys.size()), ins);
        if (ins) rowKeys.push_back(rk);
        const uint32_t ct = colMap.get(ck, uint32_t(colKeys.size()), ins);
        if (ins) colKeys.push_back(ck);
        finestSlot.push_back(s);
        finestRow.push_back(rt);
        finestCol.push_back(ct);
        res->recordCount += size_t(F.rows[s]);
    };
    if (dense) {
        for (uint64_t k = 0; k < keySpace; ++k)
            if (F.rows[k] > 0) addFinest(k, uint32_t(k));
    } else {
        for (size_t s = 0; s < F.rows.size(); ++s)
            if (F.rows[s] > 0) addFinest(F.keyOf[s], uint32_t(s));
    }
    AxisTree rt = buildTree(rowKeys, rowCards), ct = buildTree(colKeys, colCards);
    res->rowNodes = std::move(rt.nodes);
    res->colNodes = std::move(ct.nodes);
    const uint64_t R = res->rowNodes.size(), CN = res->colNodes.size();
    res->colNodeCount = uint32_t(CN);

    // Roll the finest cells up into every (row level, column level) pair.
    res->denseCells = R * CN <= std::min<uint64_t>(denseLimit_ * 4, uint64_t(1) << 26) && R * CN * cellBytes <= (size_t(512) << 20);
    if (res->denseCells) {
        res->cellRecords.assign(R * CN, 0);
        res->cellStats.assign(R * CN * M, Stats{});
        std::vector<std::pair<int, int>> pairs;
        for (size_t i = 0; i <= K; ++i)
            for (size_t j = 0; j <= C; ++j) pairs.push_back({int(i), int(j)});
        const int PT = std::min<int>(int(pairs.size()), finestSlot.size() > 4096 ? hw : 1);
        parallelFor(PT, [&](int t) {
            for (size_t p = size_t(t); p < pairs.size(); p += size_t(PT)) {
                const auto [i, j] = pairs[p];
                for (size_t f = 0; f < finestSlot.size(); ++f) {
                    const uint64_t rn = rt.tupleNodes[size_t(finestRow[f]) * (K + 1) + i];
                    const uint64_t cn = ct.tupleNodes[size_t(finestCol[f]) * (C + 1) + j];
                    const size_t to = rn * CN + cn, from = finestSlot[f];
                    res->cellRecords[to] += F.rows[from];
                    for (size_t m = 0; m < M; ++m) res->cellStats[to * M + m].merge(F.stats[from * M + m]);
                }
            }
        });
    } else {
        res->slotMap = std::make_shared<PivotResult::SlotMap>();
        KeyMap& sm = res->slotMap->map;
        sm.reset(finestSlot.size() * 2);
        for (size_t i = 0; i <= K; ++i)
            for (size_t j = 0; j <= C; ++j)
                for (size_t f = 0; f < finestSlot.size(); ++f) {
                    const uint64_t rn = rt.tupleNodes[size_t(finestRow[f]) * (K + 1) + i];
                    const uint64_t cn = ct.tupleNodes[size_t(finestCol[f]) * (C + 1) + j];
                    bool ins;
                    const uint32_t to = sm.get(rn * CN + cn, uint32_t(res->cellRecords.size()), ins);
                    if (ins) {
                        res->cellRecords.push_back(0);
                        res->cellStats.resize(res->cellStats.size() + M);
                    }
                    const size_t from = finestSlot[f];
                    res->cellRecords[to] += F.rows[from];
                    for (size_t m = 0; m < M; ++m)
                        res->cellStats[size_t(to) * M + m].merge(F.stats[from * M + m]);
                }
    }
    parts.clear();

    if (res->recordCount == 0 || spec.data.empty()) return res; // nothing to show: no lines at all

    // Lay out the lines: children sorted by label or by a data field, subtotals after each group.
    auto layout = [&](const std::vector<PivotResult::Node>& nodes, const std::vector<AxisField>& fields,
                      const std::vector<std::shared_ptr<const Dimension>>& dims, bool rowsAxis,
                      std::vector<PivotResult::Line>& out, int dataCount) {
        std::vector<std::vector<uint32_t>> kids(nodes.size());
        for (size_t n = 1; n < nodes.size(); ++n) kids[size_t(nodes[n].parent)].push_back(uint32_t(n));
        for (size_t n = 0; n < nodes.size(); ++n) {
            auto& ch = kids[n];
            if (ch.size() < 2) continue;
            const int lvl = nodes[ch[0]].level - 1;
            const AxisField& f = fields[size_t(lvl)];
            const Dimension& dim = *dims[size_t(lvl)];
            if (f.sortMode != 0) {
                std::vector<std::pair<std::optional<double>, uint32_t>> keyed;
                for (uint32_t c : ch)
                    keyed.push_back({rowsAxis ? res->nodeValue(c, 0, f.sortData) : res->nodeValue(0, c, f.sortData), c});
                const bool desc = f.sortMode == 2;
                std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
                    if (a.first.has_value() != b.first.has_value()) return a.first.has_value();
                    if (a.first && *a.first != *b.first) return desc ? *a.first > *b.first : *a.first < *b.first;
                    return dim.rank[nodes[a.second].code] < dim.rank[nodes[b.second].code];
                });
                for (size_t i = 0; i < ch.size(); ++i) ch[i] = keyed[i].second;
            } else {
                std::sort(ch.begin(), ch.end(), [&](uint32_t a, uint32_t b) {
                    const uint32_t ra = dim.rank[nodes[a].code], rb = dim.rank[nodes[b].code];
                    return f.descending ? ra > rb : ra < rb;
                });
            }
        }
        const int L = int(fields.size());
        auto push = [&](uint32_t node, int depth, bool total) {
            if (rowsAxis) out.push_back({node, depth, total, -1});
            else
                for (int d = 0; d < dataCount; ++d) out.push_back({node, depth, total, d});
        };
        std::vector<std::pair<uint32_t, bool>> stack; // (node, children done)
        if (L == 0) {
            push(0, 0, false);
            return;
        }
        for (auto it = kids[0].rbegin(); it != kids[0].rend(); ++it) stack.push_back({*it, false});
        while (!stack.empty()) {
            auto [n, done] = stack.back();
            stack.pop_back();
            const int lvl = nodes[n].level;
            if (lvl == L) {
                push(n, L, false);
            } else if (done) {
                if (spec.subtotals) push(n, lvl, true);
            } else {
                stack.push_back({n, true});
                for (auto it = kids[n].rbegin(); it != kids[n].rend(); ++it) stack.push_back({*it, false});
            }
        }
        if (spec.grandTotals) push(0, 0, true);
    };
    layout(res->rowNodes, spec.rows, res->rowDims, true, res->rowLines, 0);
    layout(res->colNodes, spec.columns, res->colDims, false, res->colLines, int(spec.data.size()));
    return res;
}

} // namespace bd::pivot::engine
