#pragma once
// How the accumulators of one cell are laid out: in a partial cell while the rows are scanned, and in
// an aggregated cell of the result (PivotResult::MeasureLayout), with the steps between them.
// A partial cell keeps partialWidth doubles: the record count, then per measure its count (only when
// the column has NULLs), a shift K (the cell's first value) with the shifted sum and sum of squares,
// or a plain sum, and min / max, as its aggregates ask. Shifted sums cost no division per row; they
// turn into (count, sum, M2) when a partial cell is finished into an aggregated one.
#include "platform/pivot/engine/PivotEngine.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace bd::pivot::engine {

class CellLayout {
public:
    // measureColumns: the column of each measure; measureOf: data field -> measure (-1: none).
    CellLayout(const db::ColumnarResult& data, const PivotDefinition& def, const std::vector<int>& measureOf,
               const std::vector<int>& measureColumns);

    // One measure's column and its places in a partial cell (-1: not kept).
    struct Measure {
        const uint8_t* nulls = nullptr; // set only when the column has NULLs
        const double* reals = nullptr;  // Real, DateTime
        const int64_t* ints = nullptr;  // Integer, Boolean (neither: a text column, counted only)
        int count = -1, shift = -1, sum = -1, sumSquares = -1, min = -1, max = -1;
    };

    size_t measureCount() const { return measures_.size(); }
    const Measure& measure(size_t m) const { return measures_[m]; }
    size_t partialWidth() const { return partialWidth_; }
    size_t cellWidth() const { return cellWidth_; }
    const std::vector<PivotResult::MeasureLayout>& cellLayout() const { return cells_; }

    // Adds row `row` of the columns into a partial cell. add and addWith are the scans' innermost
    // step: always inlined into their loops over the rows.
    [[gnu::always_inline]] void add(double* cell, size_t row) const {
        addWith(
            cell, [&](size_t m) { return measures_[m].nulls && measures_[m].nulls[row]; },
            [&](size_t m) {
                return measures_[m].reals ? measures_[m].reals[row] : double(measures_[m].ints[row]);
            });
    }
    // Adds one row into a partial cell: isNull(m) and valueOf(m) give its value of measure m.
    template <class IsNull, class ValueOf>
    [[gnu::always_inline]] void addWith(double* cell, IsNull&& isNull, ValueOf&& valueOf) const;
    // A partial cell in the form of an aggregated one.
    void finish(const double* partial, double* out) const;
    // Merges one aggregated cell into another: (count, sum, M2) by Chan's formula, min and max.
    void merge(double* to, const double* from) const;

private:
    std::vector<Measure> measures_;
    std::vector<PivotResult::MeasureLayout> cells_;
    size_t partialWidth_ = 1, cellWidth_ = 1;
};

template <class IsNull, class ValueOf>
[[gnu::always_inline]] inline void CellLayout::addWith(double* cell, IsNull&& isNull,
                                                       ValueOf&& valueOf) const {
    const double records = cell[0];
    cell[0] = records + 1;
    for (size_t m = 0; m < measures_.size(); ++m) {
        const Measure& d = measures_[m];
        if (isNull(m)) continue;
        double before = records; // the measure's values in the cell before this one
        if (d.count >= 0) {
            before = cell[d.count];
            cell[d.count] = before + 1;
        }
        if (!d.reals && !d.ints) continue;
        const double x = valueOf(m);
        if (d.shift >= 0) {
            if (before == 0) cell[d.shift] = x;
            const double dx = x - cell[d.shift];
            cell[d.sum] += dx;
            cell[d.sumSquares] += dx * dx;
        } else if (d.sum >= 0) {
            cell[d.sum] += x;
        }
        if (d.min >= 0 && (before == 0 || x < cell[d.min])) cell[d.min] = x;
        if (d.max >= 0 && (before == 0 || x > cell[d.max])) cell[d.max] = x;
    }
}

inline void CellLayout::finish(const double* partial, double* out) const {
    out[0] = partial[0];
    for (size_t m = 0; m < measures_.size(); ++m) {
        const Measure& d = measures_[m];
        const auto& l = cells_[m];
        const double n = d.count >= 0 ? partial[d.count] : partial[0];
        if (l.n >= 0) out[l.n] = n;
        if (n <= 0) continue;
        if (d.shift >= 0) {
            const double shift = partial[d.shift], sum = partial[d.sum], squares = partial[d.sumSquares];
            out[l.sum] = n * shift + sum;
            out[l.m2] = std::max(0.0, squares - sum * sum / n);
        } else if (d.sum >= 0) {
            out[l.sum] = partial[d.sum];
        }
        if (d.min >= 0) out[l.min] = partial[d.min];
        if (d.max >= 0) out[l.max] = partial[d.max];
    }
}

inline void CellLayout::merge(double* to, const double* from) const {
    const double recordsA = to[0], recordsB = from[0];
    if (recordsB <= 0) return;
    for (size_t m = 0; m < cells_.size(); ++m) {
        const auto& l = cells_[m];
        const double nA = l.n >= 0 ? to[l.n] : recordsA, nB = l.n >= 0 ? from[l.n] : recordsB;
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
    to[0] = recordsA + recordsB;
}

} // namespace bd::pivot::engine
