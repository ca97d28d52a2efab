#pragma once
// The engine's tuning numbers, in one place. None of them changes a result, only how it is computed:
// which grouping method, how many tasks, which buffers are kept. The defaults were measured on the
// pivot benchmark (bench/bench_pivot.cpp).
#include <cstddef>
#include <cstdint>

namespace bd::pivot::engine {

constexpr size_t kMiB = size_t(1) << 20;

struct Tuning {
    // Parallel passes cut their work into this many tasks per thread, so that a thread that gets no
    // core on a busy machine holds up little.
    int tasksPerThread = 4;
    // Rows coded and grouped at a time (stack buffers of keys and codes).
    static constexpr size_t batchRows = 2048;

    // Scan plan.
    // Fewest rows worth a task of their own in a scan (and in the other passes over the rows).
    size_t rowsPerScanTask = 65536;
    // Key spaces up to this many cells group in dense arrays, larger ones by open addressing.
    uint64_t denseLimit = uint64_t(1) << 24;
    // Per-thread dense copies of the cells: at most this many bytes together.
    size_t copiesBudget = 32 * kMiB;
    // Per-thread copies this small come more than one per thread (tasksPerThread per thread).
    size_t smallCopiesBudget = 4 * kMiB;
    // A key space up to this many cells may have per-thread copies even when most cells stay empty.
    uint64_t smallKeySpace = 4096;
    // One shared dense array split by key range: at most this many bytes.
    size_t rangedBudget = 256 * kMiB;
    // Ranged scan: rows are bucketed by key range in blocks of at most this many bytes of payload
    // (but at least rowsPerScanTask rows), and of at most maxBlockRows rows.
    size_t blockBytes = 32 * kMiB;
    size_t maxBlockRows = size_t(1) << 20;

    // Passes over the key space, the finest cells and the result cells.
    // Key spaces and lists of finest cells larger than this are passed over in parallel.
    size_t parallelKeys = 65536;
    // Key spaces up to this many cells get a key -> finest cell index (so finest cells come in key
    // order); larger ones are gathered by hashing.
    uint64_t indexLimit = uint64_t(1) << 25;
    // Column tuples are numbered through a table while the column key space is at most this.
    uint64_t columnTableLimit = uint64_t(1) << 20;
    // Result cells are a dense (row node x column node) array up to this many cells (and at most
    // denseResultFactor x denseLimit of them) and this many bytes; a hashed set of slots beyond.
    uint64_t denseResultCells = uint64_t(1) << 26;
    uint64_t denseResultFactor = 4;
    size_t denseResultBytes = 256 * kMiB;
    // Result cells (doubles) above this are zeroed in parallel.
    size_t parallelZeroCells = size_t(1) << 20;
    // A roll-up level with more source cells than this merges in parallel.
    size_t parallelRollUp = 32768;
    // Sorting more children than this by label runs in parallel.
    size_t parallelLabelSort = 16384;

    // Buffers kept between pivots, so that large ones are not faulted in again each time: result cell
    // buffers of more than keptCellsMin doubles, at most keptBuffers of them and keptBytes together.
    size_t keptCellsMin = 65536;
    size_t keptBuffers = 3;
    size_t keptBytes = 96 * kMiB;

    // Dimensions.
    // Integer columns whose values span fewer than this code through a lookup table.
    uint64_t intTableRange = uint64_t(1) << 22;
    // Columns of at least this many rows keep their codes in one or two bytes per row.
    size_t smallCodesRows = size_t(1) << 16;
};

} // namespace bd::pivot::engine
