// The result's aggregated cells: first the finest level from the partials, then every other (row
// level, column level) pair rolled up from the finest cells.
#include "platform/pivot/engine/Compute.h"
#include "platform/pivot/engine/ThreadPool.h"

#include <algorithm>

namespace bd::pivot::engine {

size_t placeFinestCells(const ComputeContext& context, const FinestCells& finest, const AxisTrees& trees,
                        PivotResult& result) {
    const Tuning& tuning = context.tuning;
    const uint64_t rowNodes = result.rowNodes.size(), colNodes = result.colNodes.size();
    const size_t width = result.stride;
    result.colNodeCount = uint32_t(colNodes);
    result.denseCells =
        rowNodes * colNodes <=
            std::min<uint64_t>(tuning.denseLimit * tuning.denseResultFactor, tuning.denseResultCells) &&
        rowNodes * colNodes * width * sizeof(double) <= tuning.denseResultBytes;
    const size_t count = finest.size(), rowFields = trees.rows.levels, colFields = trees.cols.levels;
    auto& finestSlot = context.scratch.finestSlot;
    finestSlot.resize(count);
    if (result.denseCells) {
        const int tasks = count > tuning.parallelKeys ? context.manyTasks() : 1;
        parallelFor(context.threads, tasks, [&](int t) {
            for (size_t f = count * size_t(t) / size_t(tasks), e = count * size_t(t + 1) / size_t(tasks);
                 f < e; ++f)
                finestSlot[f] = trees.slotKey(f, rowFields, colFields, colNodes);
        });
        return rowNodes * colNodes;
    }
    // Hashed: a slot for every cell of every level that has records.
    size_t slots = 0;
    result.slotMap = std::make_shared<PivotResult::SlotMap>();
    KeyMap& map = result.slotMap->map;
    map.reset(count * 2);
    for (size_t i = 0; i <= rowFields; ++i)
        for (size_t j = 0; j <= colFields; ++j)
            for (size_t f = 0; f < count; ++f) {
                bool inserted;
                const uint32_t slot = map.get(trees.slotKey(f, i, j, colNodes), uint32_t(slots), inserted);
                if (inserted) ++slots;
                if (i == rowFields && j == colFields) finestSlot[f] = slot;
            }
    return slots;
}

void allocateCells(const ComputeContext& context, size_t slots, PivotResult& result) {
    const Tuning& tuning = context.tuning;
    const size_t need = slots * result.stride;
    {
        std::lock_guard<std::mutex> lock(context.scratch.m);
        auto& kept = context.scratch.cells;
        size_t best = kept.size(); // the smallest kept buffer that is large enough
        for (size_t i = 0; i < kept.size(); ++i)
            if (kept[i].capacity() >= need &&
                (best == kept.size() || kept[i].capacity() < kept[best].capacity()))
                best = i;
        if (need > tuning.keptCellsMin && best < kept.size()) {
            result.cells = std::move(kept[best]);
            kept.erase(kept.begin() + std::ptrdiff_t(best));
        }
    }
    result.cells.resize(need);
    const int tasks = need > tuning.parallelZeroCells ? context.manyTasks() : 1;
    parallelFor(context.threads, tasks, [&](int t) {
        std::fill(result.cells.begin() + std::ptrdiff_t(need * size_t(t) / size_t(tasks)),
                  result.cells.begin() + std::ptrdiff_t(need * size_t(t + 1) / size_t(tasks)), 0.0);
    });
}

void mergePartials(const ComputeContext& context, const ScanPlan& plan, uint64_t keySpace,
                   const FinestCells& finest, const std::vector<Partial>& partials, const CellLayout& layout,
                   PivotResult& result) {
    const size_t width = layout.cellWidth(), partialWidth = layout.partialWidth();
    const auto& finestSlot = context.scratch.finestSlot;
    const auto& keys = finest.keys;
    double* cells = result.cells.data();
    const int tasks = plan.tasks;
    // per range: one partial cell in aggregated form
    std::vector<std::vector<double>> finished(size_t(std::max(plan.keyRanges, context.manyTasks())),
                                              std::vector<double>(width));
    if (!finest.inKeyOrder) {
        double* one = finished[0].data();
        for (size_t f = 0; f < keys.size(); ++f)
            for (auto [p, slot] : finest.sources[f]) {
                layout.finish(partials[size_t(p)].cells.data() + size_t(slot) * partialWidth, one);
                layout.merge(cells + finestSlot[f] * width, one);
            }
        return;
    }
    const KeyRanges ranges(keySpace, plan.keyRanges);
    parallelFor(context.threads, plan.keyRanges, [&](int range) {
        const auto [lo, hi] = ranges(range);
        double* one = finished[size_t(range)].data();
        if (plan.dense()) {
            // finest keys are in key order
            auto it = std::lower_bound(keys.begin(), keys.end(), lo);
            for (size_t f = size_t(it - keys.begin()); f < keys.size() && keys[f] < hi; ++f)
                for (int p = 0; p < tasks; ++p) {
                    const double* c = partials[size_t(p)].cells.data() + keys[f] * partialWidth;
                    if (c[0] <= 0) continue;
                    if (tasks == 1) { // the only source of a zeroed cell
                        layout.finish(c, cells + finestSlot[f] * width);
                        continue;
                    }
                    layout.finish(c, one);
                    layout.merge(cells + finestSlot[f] * width, one);
                }
            return;
        }
        for (int p = 0; p < tasks; ++p) {
            const Partial& partial = partials[size_t(p)];
            for (size_t slot = 0; slot < partial.keyOf.size(); ++slot) {
                const uint64_t k = partial.keyOf[slot];
                if (k < lo || k >= hi) continue;
                layout.finish(partial.cells.data() + slot * partialWidth, one);
                layout.merge(cells + finestSlot[finest.keyIndex[k]] * width, one);
            }
        }
    });
}

namespace {

// Rolls up level by level: (i, j) from (i, j + 1) while j < C, else from (i + 1, C), so each level
// merges the cells of a finer level that is already complete, not the finest cells again. When the
// finest cells are in key order, every level's list of cells stays in row order, so a range cut where
// the target row node changes never shares a target with its neighbour: large levels roll up in
// parallel. Without the order, a target's sources are anywhere in the list.
class RollUp {
public:
    RollUp(const ComputeContext& context, const AxisTrees& trees, const CellLayout& layout,
           PivotResult& result)
        : context_(context), layout_(layout), result_(result), rowFields_(trees.rows.levels),
          colFields_(trees.cols.levels), width_(layout.cellWidth()), cells_(result.cells.data()),
          levels_(context.scratch.level) {
        if (levels_.size() < (rowFields_ + 1) * (colFields_ + 1))
            levels_.resize((rowFields_ + 1) * (colFields_ + 1)); // never shrunk: keeps the lists' pages
        for (auto& l : levels_)
            l.clear();
    }

    // The finest level's list, and the records that passed the page selections.
    void listFinestCells(const FinestCells& finest, const AxisTrees& trees) {
        auto& list = level(rowFields_, colFields_);
        const size_t count = finest.size();
        list.resize(count);
        const int tasks = count > context_.tuning.parallelKeys ? context_.manyTasks() : 1;
        std::vector<double> records(size_t(tasks), 0.0);
        const auto& finestSlot = context_.scratch.finestSlot;
        parallelFor(context_.threads, tasks, [&](int t) {
            const size_t lo = count * size_t(t) / size_t(tasks), hi = count * size_t(t + 1) / size_t(tasks);
            double n = 0;
            for (size_t f = lo; f < hi; ++f) {
                list[f] = {trees.rows.nodeOf(trees.tuples.finestRow[f], rowFields_),
                           trees.cols.nodeOf(trees.tuples.finestCol[f], colFields_)};
                n += cells_[finestSlot[f] * width_];
            }
            records[size_t(t)] = n;
        });
        for (double n : records)
            result_.recordCount += size_t(n);
    }

    void run(bool inKeyOrder) {
        for (size_t i = rowFields_ + 1; i-- > 0;)
            for (size_t j = colFields_ + 1; j-- > 0;)
                if (i != rowFields_ || j != colFields_) rollUpLevel(i, j, inKeyOrder);
    }

private:
    std::vector<CellRef>& level(size_t i, size_t j) { return levels_[i * (colFields_ + 1) + j]; }

    size_t slotOf(CellRef cell) const {
        const uint64_t key = uint64_t(cell.rowNode) * result_.colNodeCount + cell.colNode;
        return result_.denseCells ? size_t(key) : size_t(result_.slotMap->map.find(key));
    }

    void rollUpLevel(size_t i, size_t j, bool inKeyOrder) {
        const bool colStep = j < colFields_;
        const auto& source = colStep ? level(i, j + 1) : level(i + 1, j);
        auto& out = level(i, j);
        const auto& rowNodes = result_.rowNodes;
        const auto& colNodes = result_.colNodes;
        auto target = [&](const CellRef& c) {
            return colStep ? CellRef{c.rowNode, uint32_t(colNodes[c.colNode].parent)}
                           : CellRef{uint32_t(rowNodes[c.rowNode].parent), c.colNode};
        };
        auto merge = [&](size_t lo, size_t hi, std::vector<CellRef>& list) {
            for (size_t x = lo; x < hi; ++x) {
                const CellRef t = target(source[x]);
                double* to = cells_ + slotOf(t) * width_;
                if (to[0] == 0) list.push_back(t);
                layout_.merge(to, cells_ + slotOf(source[x]) * width_);
            }
        };
        const bool parallel =
            source.size() > context_.tuning.parallelRollUp && i >= 1 && result_.denseCells && inKeyOrder;
        const int ranges = parallel ? context_.manyTasks() : 1;
        if (ranges == 1) {
            merge(0, source.size(), out);
            return;
        }
        std::vector<size_t> cut(size_t(ranges) + 1, source.size());
        cut[0] = 0;
        for (int r = 1; r < ranges; ++r) {
            size_t x = std::max(cut[size_t(r) - 1], source.size() * size_t(r) / size_t(ranges));
            while (x > 0 && x < source.size() && target(source[x]).rowNode == target(source[x - 1]).rowNode)
                ++x;
            cut[size_t(r)] = x;
        }
        std::vector<std::vector<CellRef>> lists(static_cast<size_t>(ranges));
        parallelFor(context_.threads, ranges,
                    [&](int r) { merge(cut[size_t(r)], cut[size_t(r) + 1], lists[size_t(r)]); });
        for (auto& l : lists)
            out.insert(out.end(), l.begin(), l.end());
    }

    const ComputeContext& context_;
    const CellLayout& layout_;
    PivotResult& result_;
    const size_t rowFields_, colFields_, width_;
    double* cells_;
    std::vector<std::vector<CellRef>>& levels_;
};

} // namespace

void rollUp(const ComputeContext& context, const FinestCells& finest, const AxisTrees& trees,
            const CellLayout& layout, PivotResult& result) {
    RollUp rollUp(context, trees, layout, result);
    rollUp.listFinestCells(finest, trees);
    rollUp.run(finest.inKeyOrder);
}

} // namespace bd::pivot::engine
