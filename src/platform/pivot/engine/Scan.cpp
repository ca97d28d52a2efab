// Scanning the rows into partial cells, by the plan's method.
#include "platform/pivot/engine/Compute.h"
#include "platform/pivot/engine/ThreadPool.h"

#include <algorithm>
#include <cstring>

namespace bd::pivot::engine {

namespace {

constexpr size_t kBatch = Tuning::batchRows;

// Rows go block by block: each block's rows are copied, key and values together, into one bucket per
// key range, and each range's slice of the cells (small enough to stay in cache) then takes its bucket
// in one sequential read. Reading the rows of a range straight from the columns would touch nearly
// every line of them once per range.
class RangedScan {
public:
    RangedScan(const ComputeContext& context, const KeyCoder& keys, const CellLayout& layout, Partial& shared)
        : context_(context), keys_(keys), layout_(layout), shared_(shared),
          ranges_(context.rows() > context.tuning.rowsPerScanTask ? context.manyTasks() : 1),
          payloadWidth_(1 + layout.measureCount()) {
        // keys per range: a power of two, so a row's range is a shift (a division per row costs more
        // than the rest of its sorting); the last ranges may be empty
        while ((size_t(1) << rangeShift_) * size_t(ranges_) < keys.space())
            ++rangeShift_;
        perRange_ = size_t(1) << rangeShift_;
        const Tuning& tuning = context.tuning;
        blockRows_ = std::min<size_t>(
            context.rows(),
            std::max<size_t>(
                tuning.rowsPerScanTask,
                std::min<size_t>(tuning.maxBlockRows, tuning.blockBytes / (payloadWidth_ * sizeof(double)))));
    }

    void run() {
        Scratch& scratch = context_.scratch;
        if (scratch.rowKey.size() < blockRows_) scratch.rowKey.resize(blockRows_);
        if (scratch.payload.size() < blockRows_ * payloadWidth_)
            scratch.payload.resize(blockRows_ * payloadWidth_);
        shared_.cells = std::move(scratch.partial);
        const size_t cellCount = keys_.space() * layout_.partialWidth();
        if (shared_.cells.size() < cellCount) shared_.cells.resize(cellCount);
        start_.resize(size_t(ranges_) * size_t(ranges_));
        count_.resize(size_t(ranges_) * size_t(ranges_));
        const size_t rows = context_.rows();
        for (size_t block = 0; block < rows; block += blockRows_) {
            const size_t blockSize = std::min(blockRows_, rows - block);
            parallelFor(context_.threads, ranges_, [&](int chunk) { bucketRows(chunk, block, blockSize); });
            parallelFor(context_.threads, ranges_, [&](int range) { accumulateRange(range, block); });
        }
        parallelFor(context_.threads, ranges_, [&](int range) { noteKeys(range); });
    }

private:
    std::pair<size_t, size_t> keysOfRange(int range) const {
        const size_t lo = std::min<size_t>(keys_.space(), size_t(range) * perRange_);
        return {lo, std::min<size_t>(keys_.space(), lo + perRange_)};
    }

    // Chunk `chunk` of the block sorts its own rows by range, within its own part of the payload.
    void bucketRows(int chunk, size_t block, size_t blockSize) {
        const size_t ranges = size_t(ranges_), chunkRows = (blockSize + ranges - 1) / ranges;
        const size_t begin = std::min(blockSize, size_t(chunk) * chunkRows),
                     end = std::min(blockSize, begin + chunkRows);
        uint32_t* rowKey = context_.scratch.rowKey.data();
        uint32_t codes[kBatch];
        uint64_t keys[kBatch];
        size_t* perRange = count_.data() + size_t(chunk) * ranges; // rows of each range
        std::fill(perRange, perRange + ranges, 0);
        for (size_t b = begin; b < end; b += kBatch) {
            const size_t n = std::min(kBatch, end - b);
            keys_.keysOf(block + b, n, keys, codes);
            for (size_t i = 0; i < n; ++i) {
                rowKey[b + i] = keys[i] == KeyCoder::kSkip ? ~0u : uint32_t(keys[i]);
                if (keys[i] != KeyCoder::kSkip) ++perRange[keys[i] >> rangeShift_];
            }
        }
        size_t* at = start_.data() + size_t(chunk) * ranges;
        size_t next = begin;
        for (size_t r = 0; r < ranges; ++r)
            at[r] = next, next += perRange[r];
        std::vector<size_t> fill(at, at + ranges);
        double* payload = context_.scratch.payload.data();
        const size_t measures = layout_.measureCount();
        for (size_t i = begin; i < end; ++i) {
            const uint32_t key = rowKey[i];
            if (key == ~0u) continue;
            const size_t row = block + i;
            double* q = payload + (fill[key >> rangeShift_]++) * payloadWidth_;
            uint64_t head = key, bit = uint64_t(1) << 32; // the key, with the NULL flags above it
            for (size_t m = 0; m < measures; ++m, bit <<= 1) {
                const CellLayout::Measure& d = layout_.measure(m);
                if (d.nulls && d.nulls[row]) head |= bit;
                q[1 + m] = d.reals ? d.reals[row] : d.ints ? double(d.ints[row]) : 0.0;
            }
            std::memcpy(q, &head, sizeof head);
        }
    }

    // The range's slice of the cells takes the range's rows of every chunk.
    void accumulateRange(int range, size_t block) {
        const size_t width = layout_.partialWidth();
        double* cells = shared_.cells.data();
        if (block == 0) {
            const auto [lo, hi] = keysOfRange(range);
            std::fill(cells + lo * width, cells + hi * width, 0.0);
        }
        const double* payload = context_.scratch.payload.data();
        const size_t ranges = size_t(ranges_);
        for (size_t chunk = 0; chunk < ranges; ++chunk) {
            const size_t from = start_[chunk * ranges + size_t(range)],
                         to = from + count_[chunk * ranges + size_t(range)];
            for (size_t i = from; i < to; ++i) {
                const double* q = payload + i * payloadWidth_;
                uint64_t head;
                std::memcpy(&head, q, sizeof head);
                const uint64_t nullMask = head >> 32;
                layout_.addWith(
                    cells + size_t(uint32_t(head)) * width,
                    [&](size_t m) { return (nullMask >> m & 1) != 0; }, [&](size_t m) { return q[1 + m]; });
            }
        }
    }

    void noteKeys(int range) {
        const size_t width = layout_.partialWidth();
        const auto [lo, hi] = keysOfRange(range);
        auto& found = context_.scratch.found[size_t(range)];
        for (size_t k = lo; k < hi; ++k)
            if (shared_.cells[k * width] > 0) found.push_back(k);
    }

    const ComputeContext& context_;
    const KeyCoder& keys_;
    const CellLayout& layout_;
    Partial& shared_;
    const int ranges_;          // key ranges, and chunks of each block
    int rangeShift_ = 0;        // key >> rangeShift_: the key's range
    size_t perRange_ = 1;       // keys per range
    const size_t payloadWidth_; // doubles per row in the payload: key and flags, then the values
    size_t blockRows_ = 0;
    std::vector<size_t> start_, count_; // (chunk, range): where its rows start in the payload, how many
};

// Each task its own partial over its chunk of rows: a dense array by key, or open addressing.
void scanChunks(const ComputeContext& context, const ScanPlan& plan, const KeyCoder& keys,
                const CellLayout& layout, std::vector<Partial>& partials) {
    const size_t rows = context.rows(), width = layout.partialWidth();
    const size_t chunk = (rows + size_t(plan.tasks) - 1) / size_t(std::max(plan.tasks, 1));
    const bool dense = plan.dense();
    if (dense) {
        auto& kept = context.scratch.partials;
        if (kept.size() < partials.size()) kept.resize(partials.size());
        for (size_t p = 0; p < partials.size(); ++p) {
            partials[p].cells = std::move(kept[p]);
            partials[p].cells.resize(keys.space() * width);
        }
    }
    parallelFor(context.threads, plan.tasks, [&](int task) {
        Partial& partial = partials[size_t(task)];
        const size_t begin = std::min(rows, size_t(task) * chunk), end = std::min(rows, begin + chunk);
        if (dense) {
            std::fill(partial.cells.begin(), partial.cells.end(), 0.0);
        } else {
            const size_t expected = std::min<size_t>(end - begin, keys.space());
            partial.map.reset(expected / 2 + 16);
            partial.cells.reserve(expected * width / 2 + width);
        }
        uint32_t codes[kBatch];
        uint64_t rowKeys[kBatch];
        for (size_t b = begin; b < end; b += kBatch) {
            const size_t n = std::min(kBatch, end - b);
            keys.keysOf(b, n, rowKeys, codes);
            for (size_t i = 0; i < n; ++i) {
                if (rowKeys[i] == KeyCoder::kSkip) continue;
                size_t slot;
                if (dense) {
                    slot = size_t(rowKeys[i]);
                } else {
                    bool inserted;
                    slot = partial.map.get(rowKeys[i], uint32_t(partial.keyOf.size()), inserted);
                    if (inserted) {
                        partial.keyOf.push_back(rowKeys[i]);
                        partial.cells.resize(partial.cells.size() + width, 0.0);
                    }
                }
                layout.add(partial.cells.data() + slot * width, b + i);
            }
        }
    });
}

} // namespace

std::vector<Partial> scanIntoPartials(const ComputeContext& context, const ScanPlan& plan,
                                      const KeyCoder& keys, const CellLayout& layout) {
    auto& found = context.scratch.found;
    found.resize(size_t(std::max(plan.keyRanges, context.manyTasks())));
    for (auto& f : found)
        f.clear();
    std::vector<Partial> partials(size_t(plan.tasks));
    if (plan.method == ScanPlan::Method::Ranged)
        RangedScan(context, keys, layout, partials[0]).run();
    else
        scanChunks(context, plan, keys, layout, partials);
    return partials;
}

void keepPartials(Scratch& scratch, const ScanPlan& plan, std::vector<Partial>& partials) {
    if (plan.method == ScanPlan::Method::Ranged)
        scratch.partial = std::move(partials[0].cells);
    else if (plan.dense())
        for (size_t p = 0; p < partials.size(); ++p)
            scratch.partials[p] = std::move(partials[p].cells);
    partials.clear();
    partials.shrink_to_fit();
}

} // namespace bd::pivot::engine
