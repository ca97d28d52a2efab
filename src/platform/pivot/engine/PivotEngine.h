#pragma once
// The pivot engine: groups a columnar query result on dictionary-coded dimensions and keeps mergeable
// accumulators per finest cell, so every subtotal and grand total rolls up without rescanning rows.
// Plain C++ (no Qt). Every index here (columns, rows, result rows and columns, levels, data fields)
// counts from 0.
#include "platform/db/ColumnarResult.h"
#include "platform/pivot/engine/Tuning.h"

#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace bd::pivot::engine {

// Aggregate codes as the measure grid hands them over.
enum class Agg : int {
    Sum = 0,
    Count = 1,
    Avg = 2,
    Max = 3,
    Min = 4,
    StDev = 5,
    StDevP = 6,
    Var = 7,
    VarP = 8
};
constexpr int kAggCount = 9;

// Mergeable accumulator: count of non-null values, sum, min, max, mean and M2 (sum of squared
// deviations from the mean), merged with Chan's formula.
struct Stats {
    double n = 0, sum = 0, min = std::numeric_limits<double>::infinity(),
           max = -std::numeric_limits<double>::infinity(), mean = 0, m2 = 0;
    void add(double x) {
        n += 1;
        sum += x;
        if (x < min) min = x;
        if (x > max) max = x;
        const double d = x - mean;
        mean += d / n;
        m2 += d * (x - mean);
    }
    void merge(const Stats& o);
    // Empty when the aggregate has no value (no non-null values; fewer than two for the sample ones).
    std::optional<double> value(Agg a) const;
};

class Formula; // calculated data fields (Formula.h)

// The label of a dimension's NULL member: unlike "", the label of an empty text.
inline constexpr const char* kNullLabel = "(blank)";

// One dimension: the distinct values of a column, coded 0..cardinality-1 (the null member, when the
// column has NULLs, is the last code and has the label kNullLabel).
struct Dimension {
    int column = -1;
    db::ColumnKind kind = db::ColumnKind::Text;
    std::vector<std::string> labels; // by code
    std::vector<double> numeric;     // by code: the value numbers and dates sort by
    bool hasNull = false;
    uint32_t cardinality() const { return uint32_t(labels.size()); }
    std::vector<uint32_t> rank;               // by code: position in ascending label order (nulls last)
    int find(const std::string& label) const; // code of a label, -1 when absent

    // How rows are coded.
    // Small1 / Small2: the codes of the rows in one or two bytes (NULLs included), kept once a large
    // column is first used: a pivot reads far fewer bytes than from the column's own values.
    enum class Mode { TextCodes, IntTable, Codes, Small1, Small2 } mode = Mode::Codes;
    int64_t lutMin = 0;
    std::vector<uint32_t> lut;    // IntTable: value - lutMin -> code
    std::vector<uint32_t> codes;  // Codes: per row
    std::vector<uint8_t> small1;  // Small1: per row
    std::vector<uint16_t> small2; // Small2: per row
    void code(const db::ColumnData& c, size_t begin, size_t n, uint32_t* out) const;
};

struct AxisField {
    int column = -1;
    bool descending = false; // label order
    int sortMode = 0;        // 0 by label, 1 ascending by a data field, 2 descending
    int sortData = -1;       // the data field that ranks it
};

struct PageField {
    int column = -1;
    std::unordered_set<std::string> hidden; // member labels left out
};

struct DataField {
    int column = -1; // -1: the record count field (each record counts 1)
    Agg agg = Agg::Sum;
    std::shared_ptr<const Formula> formula; // set: a calculated field over other data fields
};

struct PivotDefinition {
    std::vector<AxisField> rows, columns;
    std::vector<PageField> pages;
    std::vector<DataField> data;
    bool subtotals = true;
    bool grandTotals = true;
};

class PivotResult;
struct Scratch; // buffers kept between pivots (Compute.h)

class Engine {
public:
    Engine();
    ~Engine();
    // Takes the data; dimensions are coded on first use and kept.
    void setData(std::shared_ptr<const db::ColumnarResult> data);
    std::shared_ptr<const db::ColumnarResult> data() const { return data_; }
    // Text collation for label order (default: byte order). Returns <0, 0, >0.
    void setCollation(std::function<int(const std::string&, const std::string&)> cmp);
    void setMaxThreads(int n) { maxThreads_ = n; }
    // Key spaces up to this many cells group in dense arrays, larger ones by open addressing.
    void setDenseLimit(uint64_t cells) { tuning_.denseLimit = cells; }

    std::shared_ptr<const Dimension> dimension(int column);
    // Computes the pivot. A def naming a column that does not exist yields an error, never a crash.
    std::shared_ptr<const PivotResult> compute(const PivotDefinition& def, std::string* error = nullptr);

private:
    int threads() const; // at most this many at once: maxThreads, or one per core

    std::shared_ptr<const db::ColumnarResult> data_;
    std::vector<std::shared_ptr<Dimension>> dims_;
    std::function<int(const std::string&, const std::string&)> collate_;
    int maxThreads_ = 0;
    Tuning tuning_;
    // Scratch kept between pivots so large buffers are not faulted in again each time.
    std::shared_ptr<Scratch> scratch_;
};

// The laid-out result (no lines at all without records or without data fields). Rows: one line per row member
// tuple, a subtotal line after each group, the grand total last. Columns: the same for the column fields,
// times the data fields (innermost). Row header levels 0..rowFields-1; column header levels
// 0..columnFields-1, then one more level (index columnFields) holding the data field's caption.
class PivotResult {
public:
    struct Line {
        uint32_t node = 0;
        int depth = 0;      // prefix length: the number of fields this line is broken down by
        bool total = false; // a subtotal or grand total line
        int data = -1;      // columns: the data field
    };
    struct Node {
        int level = 0; // prefix length
        int parent = -1;
        uint32_t code = 0; // member code of the field at level-1
    };

    int rowCount() const { return int(rowLines.size()); }
    int columnCount() const { return int(colLines.size()); }
    std::optional<double> value(int row, int col) const;
    // Value of data field d at a row node and column node (used for sorting and calculated fields).
    std::optional<double> nodeValue(uint32_t rowNode, uint32_t colNode, int d, int depthGuard = 0) const;
    double records(uint32_t rowNode, uint32_t colNode) const;

    // Label of the member at `level` for the line; "" above a total's depth; totals read
    // "<member> Total" or "Grand Total".
    std::string rowLabel(int row, int level) const;
    std::string columnLabel(int col, int level) const; // level columnFields: "" (the caller knows captions)
    bool isTotalRow(int row) const { return row >= 0 && row < rowCount() && rowLines[row].total; }
    bool isTotalColumn(int col) const { return col >= 0 && col < columnCount() && colLines[col].total; }
    int dataFieldOf(int col) const { return col >= 0 && col < columnCount() ? colLines[col].data : -1; }

    std::vector<Line> rowLines, colLines;
    std::vector<Node> rowNodes, colNodes;
    std::vector<std::shared_ptr<const Dimension>> rowDims, colDims;
    PivotDefinition def;
    size_t recordCount = 0; // records that passed the page selections

    // Aggregated cells: (rowNode, colNode) -> slot; per slot `stride` doubles: the record count, then
    // per measure column the fields its aggregates need (count with NULLs, sum, M2, min, max).
    struct MeasureLayout {
        int n = -1, sum = -1, m2 = -1, min = -1, max = -1;
        bool text = false;
    };
    std::vector<int> measureOf; // data field -> measure (-1: record count / calculated)
    std::vector<MeasureLayout> layoutOf;
    size_t stride = 1;
    bool denseCells = true;
    uint32_t colNodeCount = 0;
    std::vector<double> cells;
    Stats statsAt(size_t slot, int measure) const;
    struct SlotMap;
    std::shared_ptr<SlotMap> slotMap; // sparse slots
    int64_t slotOf(uint32_t rowNode, uint32_t colNode) const;

private:
    std::string lineLabel(const std::vector<Line>& lines, const std::vector<Node>& nodes,
                          const std::vector<std::shared_ptr<const Dimension>>& dims, int i, int level) const;
};

} // namespace bd::pivot::engine
