// How the rows are scanned: the grouping method and how many partials.
#include "platform/pivot/engine/Compute.h"

#include <algorithm>

namespace bd::pivot::engine {

namespace {
// A ranged scan keeps a row's NULL flags in the 32 bits above its key.
constexpr size_t kRangedMaxMeasures = 32;
} // namespace

ScanPlan chooseScanPlan(const ComputeContext& context, uint64_t keySpace, const CellLayout& layout) {
    const Tuning& tuning = context.tuning;
    const size_t rows = context.rows();
    const size_t cellBytes = layout.partialWidth() * sizeof(double);
    const size_t chunkRows = tuning.rowsPerScanTask;
    ScanPlan plan;
    plan.tasks = int(std::clamp<size_t>(rows / chunkRows, 1, size_t(context.threads)));
    bool dense = keySpace <= tuning.denseLimit;
    bool ranged = false;
    // Per-task copies: fewer tasks rather than copies beyond the budget, but at least half of them.
    int fit = plan.tasks;
    while (fit > 1 && keySpace * cellBytes * fit > tuning.copiesBudget)
        --fit;
    if (dense && keySpace <= 2 * (rows / size_t(plan.tasks)) &&
        keySpace * cellBytes * fit <= tuning.copiesBudget && fit * 2 >= plan.tasks)
        plan.tasks = fit;
    if (dense && (keySpace * cellBytes * plan.tasks > tuning.copiesBudget ||
                  keySpace > std::max<size_t>(tuning.smallKeySpace, 2 * (rows / size_t(plan.tasks))))) {
        // per-task copies would be large or mostly empty
        if (keySpace * cellBytes <= tuning.rangedBudget && keySpace < (uint64_t(1) << 32) &&
            layout.measureCount() <= kRangedMaxMeasures)
            ranged = true;
        else
            dense = false;
    }
    // Small copies: more of them than threads, so that a thread that gets no core holds up little.
    if (dense && !ranged && keySpace * cellBytes * size_t(context.manyTasks()) <= tuning.smallCopiesBudget)
        plan.tasks = int(std::clamp<size_t>(rows / chunkRows, 1, size_t(context.manyTasks())));
    plan.method = ranged  ? ScanPlan::Method::Ranged
                  : dense ? ScanPlan::Method::Copies
                          : ScanPlan::Method::Hashed;
    if (ranged) plan.tasks = 1;
    plan.keyRanges = keySpace > tuning.parallelKeys ? context.manyTasks() : 1;
    return plan;
}

} // namespace bd::pivot::engine
