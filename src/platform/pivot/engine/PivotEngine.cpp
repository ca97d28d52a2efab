#include "platform/pivot/engine/PivotEngine.h"

#include "platform/dates/OleDate.h"
#include "platform/pivot/engine/Compute.h"
#include "platform/pivot/engine/Formula.h"
#include "platform/pivot/engine/ThreadPool.h"

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

// ---------------------------------------------------------------------------------------------------
// Member labels

namespace {

std::string numberLabel(double v) {
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, p) : std::string();
}

// OLE date (days since 1899-12-30) as "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss".
std::string dateLabel(double ole) {
    return bd::dates::oleToIso(ole);
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
        // A NULL row's number is no value of the column and may lie outside the table.
        const uint8_t* nl = hasNull ? c.nulls.data() + begin : nullptr;
        for (size_t i = 0; i < n; ++i)
            out[i] = nl && nl[i] ? nullCode : l[size_t(v[i] - lutMin)];
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
    if (!first && uint64_t(hi) - uint64_t(lo) < tuning.intTableRange) {
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
        d->labels.emplace_back(kNullLabel);
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
// compute: the phases in order (Compute.h)

namespace {

// A new result that hands its cell buffer back to the scratch when it is freed: a few buffers, so
// that pivots of different sizes in turn each find one.
std::shared_ptr<PivotResult> newResult(const std::shared_ptr<Scratch>& scratch, const Tuning& tuning) {
    std::weak_ptr<Scratch> keep = scratch;
    const size_t minCells = tuning.keptCellsMin, maxBuffers = tuning.keptBuffers, maxBytes = tuning.keptBytes;
    return std::shared_ptr<PivotResult>(new PivotResult, [=](PivotResult* r) {
        if (auto s = keep.lock(); s && r->cells.capacity() > minCells) {
            std::lock_guard<std::mutex> lock(s->m);
            auto& kept = s->cells;
            size_t bytes = r->cells.capacity() * sizeof(double);
            for (const auto& c : kept)
                bytes += c.capacity() * sizeof(double);
            if (kept.size() < maxBuffers && bytes <= maxBytes) kept.push_back(std::move(r->cells));
        }
        delete r;
    });
}

} // namespace

std::shared_ptr<const PivotResult> Engine::compute(const PivotDefinition& def, std::string* error) {
    auto fail = [&](const std::string& message) {
        if (error) *error = message;
        return std::shared_ptr<const PivotResult>();
    };
    if (!data_) return fail("The pivot has no data.");
    std::shared_ptr<PivotResult> result = newResult(scratch_, tuning_);
    result->def = def;
    Binding binding;
    if (const std::string why = bindDefinition(*this, def, *result, binding); !why.empty()) return fail(why);
    KeyCoder keys;
    if (!keys.init(*data_, binding)) return fail("Too many combinations of members to lay out.");
    const CellLayout layout(*data_, def, result->measureOf, binding.measureColumns);
    result->layoutOf = layout.cellLayout();
    result->stride = layout.cellWidth();
    const ComputeContext context{*data_, def, tuning_, *scratch_, threads()};

    const ScanPlan plan = chooseScanPlan(context, keys.space(), layout);
    std::vector<Partial> partials = scanIntoPartials(context, plan, keys, layout);
    FinestCells finest = collectFinestCells(context, plan, keys.space(), layout, partials);

    const AxisTuples tuples = splitIntoTuples(context, binding, finest);
    AxisTree rowTree = buildAxisTree(tuples.rowKeys, tuples.rowCards);
    AxisTree colTree = buildAxisTree(tuples.colKeys, tuples.colCards);
    result->rowNodes = std::move(rowTree.nodes);
    result->colNodes = std::move(colTree.nodes);
    const AxisTrees trees{rowTree, colTree, tuples};

    const size_t slots = placeFinestCells(context, finest, trees, *result);
    allocateCells(context, slots, *result);
    mergePartials(context, plan, keys.space(), finest, partials, layout, *result);
    keepPartials(*scratch_, plan, partials);
    finest.dropSources();
    rollUp(context, finest, trees, layout, *result);

    if (result->recordCount == 0 || def.data.empty()) return result; // nothing to show: no lines at all
    layOutLines(context, true, *result);
    layOutLines(context, false, *result);
    return result;
}

} // namespace bd::pivot::engine
