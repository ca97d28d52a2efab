// The finest cells (the keys that have records) and their row and column tuples.
#include "platform/pivot/engine/Compute.h"
#include "platform/pivot/engine/ThreadPool.h"

#include <algorithm>
#include <atomic>

namespace bd::pivot::engine {

namespace {

// Copies: a key is a finest cell when any task's copy has records there.
void noteKeysOfCopies(const ComputeContext& context, const ScanPlan& plan, const KeyRanges& ranges,
                      size_t width, const std::vector<Partial>& partials) {
    parallelFor(context.threads, plan.keyRanges, [&](int range) {
        const auto [lo, hi] = ranges(range);
        auto& found = context.scratch.found[size_t(range)];
        for (size_t k = lo; k < hi; ++k)
            for (int p = 0; p < plan.tasks; ++p)
                if (partials[size_t(p)].cells[k * width] > 0) {
                    found.push_back(k);
                    break;
                }
    });
}

// Hashed partials over a key space small enough to index: the keys are marked in the index, which then
// lists them in key order.
void noteKeysThroughIndex(const ComputeContext& context, const ScanPlan& plan, const KeyRanges& ranges,
                          uint64_t keySpace, const std::vector<Partial>& partials, FinestCells& finest) {
    finest.keyIndex.assign(keySpace, ~0u);
    parallelFor(context.threads, plan.keyRanges, [&](int range) {
        const auto [lo, hi] = ranges(range);
        for (int p = 0; p < plan.tasks; ++p)
            for (uint64_t k : partials[size_t(p)].keyOf)
                if (k >= lo && k < hi) finest.keyIndex[k] = 0;
        auto& found = context.scratch.found[size_t(range)];
        for (size_t k = lo; k < hi; ++k)
            if (finest.keyIndex[k] == 0) found.push_back(k);
    });
}

// Huge key spaces: the keys in first-seen order, each with the partial cells that hold it.
void gatherByHashing(const ScanPlan& plan, const std::vector<Partial>& partials, FinestCells& finest) {
    KeyMap all(1024);
    for (int p = 0; p < plan.tasks; ++p) {
        const auto& keyOf = partials[size_t(p)].keyOf;
        for (size_t slot = 0; slot < keyOf.size(); ++slot) {
            bool inserted;
            const uint32_t f = all.get(keyOf[slot], uint32_t(finest.keys.size()), inserted);
            if (inserted) {
                finest.keys.push_back(keyOf[slot]);
                finest.sources.emplace_back();
            }
            finest.sources[f].push_back({p, uint32_t(slot)});
        }
    }
}

// Numbers the tuples in parallel (finest cells in key order, column tuples through a table): count
// the row tuples each range of finest cells starts and note the column tuples present, then number
// them (columns in key order).
class ParallelTupleNumbering {
public:
    ParallelTupleNumbering(const ComputeContext& context, const FinestCells& finest, AxisTuples& tuples,
                           std::vector<uint32_t>& colTable)
        : context_(context), finest_(finest), tuples_(tuples), colTable_(colTable),
          ranges_(context.manyTasks()), rowStarts_(size_t(ranges_) + 1, 0),
          seen_(new std::atomic<uint8_t>[size_t(tuples.colSpace)]) {
        for (size_t c = 0; c < size_t(tuples.colSpace); ++c)
            seen_[c].store(0, std::memory_order_relaxed);
    }

    void run() {
        parallelFor(context_.threads, ranges_, [&](int range) { pass(range, false); });
        for (int r = 0; r < ranges_; ++r)
            rowStarts_[size_t(r) + 1] += rowStarts_[size_t(r)];
        tuples_.rowKeys.resize(rowStarts_[size_t(ranges_)]);
        for (size_t c = 0; c < size_t(tuples_.colSpace); ++c)
            if (seen_[c].load(std::memory_order_relaxed))
                colTable_[c] = uint32_t(tuples_.colKeys.size()), tuples_.colKeys.push_back(c);
        parallelFor(context_.threads, ranges_, [&](int range) { pass(range, true); });
    }

private:
    void pass(int range, bool number) {
        const size_t count = finest_.size();
        const size_t lo = count * size_t(range) / size_t(ranges_),
                     hi = count * size_t(range + 1) / size_t(ranges_);
        const auto& keys = finest_.keys;
        const uint64_t colSpace = tuples_.colSpace;
        uint64_t previousRow = lo == 0 ? ~uint64_t(0) : keys[lo - 1] / colSpace;
        uint64_t rowBegin = 1, rowEnd = 0, rowKey = 0; // keys of the current row tuple
        // Only the numbering pass reads its start: the counting pass of range - 1 writes it.
        size_t at = number ? rowStarts_[size_t(range)] : 0, rowsStarted = 0;
        for (size_t f = lo; f < hi; ++f) {
            const uint64_t key = keys[f];
            if (key < rowBegin || key >= rowEnd)
                rowKey = key / colSpace, rowBegin = rowKey * colSpace, rowEnd = rowBegin + colSpace;
            const size_t colKey = size_t(key - rowBegin);
            if (!number) {
                if (rowKey != previousRow) ++rowsStarted, previousRow = rowKey;
                if (!seen_[colKey].load(std::memory_order_relaxed))
                    seen_[colKey].store(1, std::memory_order_relaxed);
                continue;
            }
            if (rowKey != previousRow) tuples_.rowKeys[at++] = rowKey, previousRow = rowKey;
            tuples_.finestRow[f] = uint32_t(at - 1);
            tuples_.finestCol[f] = colTable_[colKey];
        }
        if (!number) rowStarts_[size_t(range) + 1] = rowsStarted;
    }

    const ComputeContext& context_;
    const FinestCells& finest_;
    AxisTuples& tuples_;
    std::vector<uint32_t>& colTable_;
    const int ranges_;
    std::vector<size_t> rowStarts_; // by range + 1: the row tuples the range starts, then their sum
    std::unique_ptr<std::atomic<uint8_t>[]> seen_; // by column key
};

// Numbers the tuples one finest cell after another: rows in key order when the finest cells are,
// otherwise through a map; columns through the table when there is one, otherwise through a map.
void numberTuples(const FinestCells& finest, AxisTuples& tuples, std::vector<uint32_t>& colTable) {
    const bool sorted = finest.inKeyOrder;
    const uint64_t colSpace = tuples.colSpace;
    KeyMap colMap(64);
    KeyMap rowMap(sorted ? 16 : 1024);
    uint64_t lastRow = ~uint64_t(0);
    uint64_t rowBegin = 1, rowEnd = 0, rowKey = 0; // keys of the current row tuple (sorted keys)
    for (size_t f = 0; f < finest.size(); ++f) {
        bool inserted;
        const uint64_t key = finest.keys[f];
        if (!sorted || key < rowBegin || key >= rowEnd) {
            rowKey = key / colSpace;
            rowBegin = rowKey * colSpace;
            rowEnd = rowBegin + colSpace;
        }
        const uint64_t colKey = key - rowBegin;
        if (sorted) {
            if (rowKey != lastRow) tuples.rowKeys.push_back(rowKey), lastRow = rowKey;
            tuples.finestRow[f] = uint32_t(tuples.rowKeys.size() - 1);
        } else {
            tuples.finestRow[f] = rowMap.get(rowKey, uint32_t(tuples.rowKeys.size()), inserted);
            if (inserted) tuples.rowKeys.push_back(rowKey);
        }
        if (!colTable.empty()) {
            uint32_t& tuple = colTable[size_t(colKey)];
            if (tuple == ~0u) tuple = uint32_t(tuples.colKeys.size()), tuples.colKeys.push_back(colKey);
            tuples.finestCol[f] = tuple;
        } else {
            tuples.finestCol[f] = colMap.get(colKey, uint32_t(tuples.colKeys.size()), inserted);
            if (inserted) tuples.colKeys.push_back(colKey);
        }
    }
}

} // namespace

FinestCells collectFinestCells(const ComputeContext& context, const ScanPlan& plan, uint64_t keySpace,
                               const CellLayout& layout, const std::vector<Partial>& partials) {
    FinestCells finest(context.scratch.finestKey);
    finest.keys.clear();
    finest.inKeyOrder = plan.dense() || keySpace <= context.tuning.indexLimit;
    if (!finest.inKeyOrder) {
        gatherByHashing(plan, partials, finest);
        return finest;
    }
    const KeyRanges ranges(keySpace, plan.keyRanges);
    if (plan.method == ScanPlan::Method::Copies)
        noteKeysOfCopies(context, plan, ranges, layout.partialWidth(), partials);
    else if (plan.method == ScanPlan::Method::Hashed)
        noteKeysThroughIndex(context, plan, ranges, keySpace, partials, finest);
    // (a ranged scan noted its keys as it went)
    for (auto& found : context.scratch.found)
        finest.keys.insert(finest.keys.end(), found.begin(), found.end());
    if (plan.method == ScanPlan::Method::Hashed)
        for (size_t f = 0; f < finest.keys.size(); ++f)
            finest.keyIndex[finest.keys[f]] = uint32_t(f);
    return finest;
}

AxisTuples splitIntoTuples(const ComputeContext& context, const Binding& binding, const FinestCells& finest) {
    AxisTuples tuples(context.scratch.finestRow, context.scratch.finestCol);
    const size_t rowFields = context.def.rows.size(), colFields = context.def.columns.size();
    for (size_t i = 0; i < rowFields; ++i)
        tuples.rowCards.push_back(std::max(1u, binding.groupDims[i]->cardinality()));
    for (size_t i = 0; i < colFields; ++i) {
        tuples.colCards.push_back(std::max(1u, binding.groupDims[rowFields + i]->cardinality()));
        tuples.colSpace *= tuples.colCards.back();
    }
    tuples.finestRow.resize(finest.size());
    tuples.finestCol.resize(finest.size());
    // Keys are in key order (row fields outermost) when indexed, so a row tuple's finest cells are adjacent.
    std::vector<uint32_t> colTable(
        tuples.colSpace <= context.tuning.columnTableLimit ? size_t(tuples.colSpace) : 0, ~0u);
    if (finest.inKeyOrder && !colTable.empty() && finest.size() > context.tuning.parallelKeys)
        ParallelTupleNumbering(context, finest, tuples, colTable).run();
    else
        numberTuples(finest, tuples, colTable);
    return tuples;
}

} // namespace bd::pivot::engine
