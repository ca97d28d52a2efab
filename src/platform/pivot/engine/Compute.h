#pragma once
// The phases of Engine::compute, in the order it runs them (internal to the engine):
//   bind the definition to the data; pack the keys; lay out the cells; choose the scan plan; scan the
//   rows into partials; collect the finest cells; split them into row and column tuples; build the
//   axis trees; place, merge and roll up the result cells; lay out the lines.
#include "platform/pivot/engine/CellLayout.h"
#include "platform/pivot/engine/KeyMap.h"
#include "platform/pivot/engine/PivotEngine.h"
#include "platform/pivot/engine/Tuning.h"

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace bd::pivot::engine {

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

// A cell of one (row level, column level) pair during the roll-up.
struct CellRef {
    uint32_t rowNode, colNode;
};

// Lists and buffers kept between pivots, so that their pages are not faulted in again for every pivot.
struct Scratch {
    std::mutex m;                             // guards cells: results hand their buffers back from any thread
    std::vector<std::vector<uint64_t>> found; // per key range: the keys that have records
    std::vector<uint64_t> finestKey, finestSlot;
    std::vector<uint32_t> finestRow, finestCol;
    std::vector<std::vector<CellRef>> level; // roll-up: the cells of each (row level, column level)
    std::vector<uint32_t> rowKey;            // ranged scan: a block's row keys
    Buffer partial, payload;                 // ranged scan: the shared cells, a block's rows
    std::vector<Buffer> partials;            // per-task dense partials
    std::vector<std::vector<double>> cells;  // freed result cells, for the next result
};

struct PivotResult::SlotMap {
    KeyMap map;
};

// What every phase reads.
struct ComputeContext {
    const db::ColumnarResult& data;
    const PivotDefinition& def;
    const Tuning& tuning;
    Scratch& scratch;
    int threads; // run at most this many at once

    size_t rows() const { return data.rowCount; }
    // Tasks for a parallel pass with plenty of work.
    int manyTasks() const { return tuning.tasksPerThread * threads; }
};

// --- Bind the definition to the data ------------------------------------------------------------

struct PageFilter {
    std::shared_ptr<const Dimension> dimension;
    std::vector<uint8_t> keep; // by member code
};

struct Binding {
    std::vector<std::shared_ptr<const Dimension>> groupDims; // the row fields, then the column fields
    std::vector<PageFilter> filters;                         // page fields with members left out
    std::vector<int> measureColumns; // the column of each measure: one per column of plain data fields
};

// Fills binding, and the result's dimensions and measureOf. Returns the error of a definition that
// names what the data does not have, "" when it is sound.
std::string bindDefinition(Engine& engine, const PivotDefinition& def, PivotResult& result, Binding& binding);

// --- Pack the keys ------------------------------------------------------------------------------

// A row's packed key: its codes of the row fields, then of the column fields, in mixed radix, so that
// key order is row tuple order first.
class KeyCoder {
public:
    static constexpr uint64_t kSkip = ~uint64_t(0); // the key of a row the page selections leave out

    // False when the combinations of members do not fit in a key.
    bool init(const db::ColumnarResult& data, const Binding& binding);
    uint64_t space() const { return space_; }
    // Keys of rows [begin, begin + n); codes: room for n codes.
    void keysOf(size_t begin, size_t n, uint64_t* keys, uint32_t* codes) const;

private:
    const db::ColumnarResult* data_ = nullptr;
    const Binding* binding_ = nullptr;
    std::vector<uint64_t> stride_; // per group field
    uint64_t space_ = 1;
};

// --- Choose the scan plan -----------------------------------------------------------------------

struct ScanPlan {
    enum class Method {
        Copies, // few cells next to the rows: each task its own dense partial over its chunk of rows
        Ranged, // many cells, still indexable: rows are partitioned by key range and each task fills
                // its own slice of one dense array (one copy of the cells, however many threads)
        Hashed, // huge key spaces: each task its own open-addressing partial
    };
    Method method = Method::Copies;
    int tasks = 1;     // partials: row chunks for Copies and Hashed, 1 for Ranged
    int keyRanges = 1; // tasks of the passes over the key space
    bool dense() const { return method != Method::Hashed; }
};

ScanPlan chooseScanPlan(const ComputeContext& context, uint64_t keySpace, const CellLayout& layout);

// --- Scan the rows into partials ----------------------------------------------------------------

struct Partial {
    Buffer cells;                // partialWidth doubles per cell: by key (dense) or by slot (Hashed)
    KeyMap map{16};              // Hashed: key -> slot
    std::vector<uint64_t> keyOf; // Hashed: slot -> key
};

// One partial per task (Ranged: one shared). A Ranged scan notes each key range's keys with records
// in scratch.found as it goes.
std::vector<Partial> scanIntoPartials(const ComputeContext& context, const ScanPlan& plan,
                                      const KeyCoder& keys, const CellLayout& layout);

// Gives the partials' dense buffers back to the scratch, for the next pivot.
void keepPartials(Scratch& scratch, const ScanPlan& plan, std::vector<Partial>& partials);

// --- Collect the finest cells -------------------------------------------------------------------

// The key space cut into `count` ranges of one length (the last ones may be short or empty).
class KeyRanges {
public:
    KeyRanges(uint64_t space, int count)
        : space_(space), perRange_((space + uint64_t(count) - 1) / uint64_t(count)) {}
    std::pair<size_t, size_t> operator()(int range) const {
        const size_t lo = std::min<size_t>(space_, size_t(range) * perRange_);
        return {lo, std::min<size_t>(space_, lo + perRange_)};
    }

private:
    uint64_t space_;
    size_t perRange_;
};

// Every key some partial holds: in key order when the key space allows an index.
struct FinestCells {
    explicit FinestCells(std::vector<uint64_t>& keyList) : keys(keyList) {}
    size_t size() const { return keys.size(); }

    std::vector<uint64_t>& keys;                                // by finest cell
    bool inKeyOrder = false;                                    // indexed: the keys sorted
    std::vector<uint32_t> keyIndex;                             // Hashed and indexed: key -> finest cell
    std::vector<std::vector<std::pair<int, uint32_t>>> sources; // not indexed: (partial, slot) per cell

    // Once the partials are merged: frees the index and the sources.
    void dropSources() {
        sources.clear();
        keyIndex.clear();
        keyIndex.shrink_to_fit();
    }
};

FinestCells collectFinestCells(const ComputeContext& context, const ScanPlan& plan, uint64_t keySpace,
                               const CellLayout& layout, const std::vector<Partial>& partials);

// --- Split the finest cells into row and column tuples ------------------------------------------

struct AxisTuples {
    AxisTuples(std::vector<uint32_t>& rowOfFinest, std::vector<uint32_t>& colOfFinest)
        : finestRow(rowOfFinest), finestCol(colOfFinest) {}

    std::vector<uint32_t> rowCards, colCards; // members per field (at least 1)
    uint64_t colSpace = 1;                    // column keys: 0..colSpace-1
    std::vector<uint64_t> rowKeys, colKeys;   // by tuple: its key on its axis (rows in key order when
                                              // the finest cells are; columns in first-seen or key order)
    std::vector<uint32_t>& finestRow;         // finest cell -> row tuple
    std::vector<uint32_t>& finestCol;         // finest cell -> column tuple
};

AxisTuples splitIntoTuples(const ComputeContext& context, const Binding& binding, const FinestCells& finest);

// --- Build the axis trees -----------------------------------------------------------------------

// The node tree of one axis: node 0 the root (the grand total), then a node per distinct prefix of
// the tuples.
struct AxisTree {
    size_t levels = 0; // fields on the axis
    std::vector<PivotResult::Node> nodes;
    std::vector<uint32_t> tupleNodes; // tuple * (levels + 1) + level -> the tuple's node at that level
    uint32_t nodeOf(size_t tuple, size_t level) const { return tupleNodes[tuple * (levels + 1) + level]; }
};

AxisTree buildAxisTree(const std::vector<uint64_t>& tupleKeys, const std::vector<uint32_t>& cards);

// --- Place, merge and roll up the result cells --------------------------------------------------

struct AxisTrees {
    const AxisTree& rows;
    const AxisTree& cols;
    const AxisTuples& tuples;
    // The slot key of finest cell f's nodes at row level i and column level j.
    uint64_t slotKey(size_t f, size_t i, size_t j, uint64_t colNodeCount) const {
        return uint64_t(rows.nodeOf(tuples.finestRow[f], i)) * colNodeCount +
               cols.nodeOf(tuples.finestCol[f], j);
    }
};

// Chooses dense or hashed result cells and gives each finest cell its slot (scratch.finestSlot);
// returns the number of slots. The trees' nodes are the result's by now (rowNodes, colNodes).
size_t placeFinestCells(const ComputeContext& context, const FinestCells& finest, const AxisTrees& trees,
                        PivotResult& result);
// The result's cells, zeroed: a kept buffer when one is large enough.
void allocateCells(const ComputeContext& context, size_t slots, PivotResult& result);
// Merges the partials into the finest cells of the result.
void mergePartials(const ComputeContext& context, const ScanPlan& plan, uint64_t keySpace,
                   const FinestCells& finest, const std::vector<Partial>& partials, const CellLayout& layout,
                   PivotResult& result);
// Every other (row level, column level) cell rolled up from the finest ones; sets recordCount.
void rollUp(const ComputeContext& context, const FinestCells& finest, const AxisTrees& trees,
            const CellLayout& layout, PivotResult& result);

// --- Lay out the lines --------------------------------------------------------------------------

// The lines of one axis: children sorted by label or by a data field, subtotals after each group.
void layOutLines(const ComputeContext& context, bool rowsAxis, PivotResult& result);

} // namespace bd::pivot::engine
