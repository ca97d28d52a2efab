#include "platform/grid/GridStore.h"

#include <algorithm>

namespace bd::grid {

bool isValidCellType(int t) {
    return t == TypePlain || t == TypeFloat || t == TypeButton || t == TypeComboBox || t == TypeCheckBox;
}

bool Format::empty() const {
    return *this == Format();
}

bool Cell::operator==(const Cell& o) const {
    if (text != o.text || tag != o.tag) return false;
    const Format none;
    return (format ? *format : none) == (o.format ? *o.format : none);
}

void GridStore::setMaxRows(int n) {
    n = std::max(0, n);
    rows_.resize(size_t(n) + 1);
}

void GridStore::setMaxCols(int n) {
    n = std::max(0, n);
    cols_.resize(size_t(n) + 1);
    for (auto& r : rows_)
        if (r && r->size() > size_t(n) + 1) r->resize(size_t(n) + 1);
}

const Cell* GridStore::cell(int col, int row) const {
    if (!contains(col, row)) return nullptr;
    const auto& r = rows_[size_t(row)];
    if (!r || size_t(col) >= r->size()) return nullptr;
    return &(*r)[size_t(col)];
}

Cell& GridStore::cellRef(int col, int row) {
    auto& r = rows_[size_t(row)];
    if (!r) r = std::make_unique<Row>();
    if (r->size() <= size_t(col)) r->resize(size_t(col) + 1);
    return (*r)[size_t(col)];
}

bool GridStore::rowHasData(int row) const {
    if (row < 0 || row > maxRows() || !rows_[size_t(row)]) return false;
    for (const Cell& c : *rows_[size_t(row)])
        if (c.hasData()) return true;
    return false;
}

int GridStore::lastRowWithData() const {
    for (int r = maxRows(); r >= 1; --r)
        if (rowHasData(r)) return r;
    return 0;
}

void GridStore::insertRowsGrowing(int row, int n) {
    if (n <= 0 || row < 1 || row > maxRows() + 1) return;
    std::vector<std::unique_ptr<Row>> blank;
    blank.resize(size_t(n));
    rows_.insert(rows_.begin() + row, std::make_move_iterator(blank.begin()),
                 std::make_move_iterator(blank.end()));
}

void GridStore::deleteRowsShrinking(int row, int n) {
    if (n <= 0 || row < 1 || row > maxRows()) return;
    n = std::min(n, maxRows() - row + 1);
    rows_.erase(rows_.begin() + row, rows_.begin() + row + n);
}

void GridStore::insertRows(int row, int n) {
    if (n <= 0 || row < 1 || row > maxRows() + 1) return;
    const int oldMax = maxRows();
    insertRowsGrowing(row, n);
    // Keep the old count, but never let a row with data fall off.
    int keep = oldMax;
    for (int r = maxRows(); r > oldMax; --r)
        if (rowHasData(r)) {
            keep = r;
            break;
        }
    rows_.resize(size_t(keep) + 1);
}

void GridStore::deleteRows(int row, int n) {
    if (n <= 0 || row < 1 || row > maxRows()) return;
    const int oldMax = maxRows();
    deleteRowsShrinking(row, n);
    setMaxRows(oldMax);
}

void GridStore::copyRow(int from, int to) {
    if (from < 0 || to < 0 || from > maxRows() || to > maxRows() || from == to) return;
    rows_[size_t(to)] = rows_[size_t(from)] ? std::make_unique<Row>(*rows_[size_t(from)]) : nullptr;
}

bool GridStore::operator==(const GridStore& o) const {
    if (maxRows() != o.maxRows() || maxCols() != o.maxCols() || !(sheet_ == o.sheet_) || cols_ != o.cols_)
        return false;
    const Cell none;
    for (int r = 0; r <= maxRows(); ++r)
        for (int c = 0; c <= maxCols(); ++c) {
            const Cell* a = cell(c, r);
            const Cell* b = o.cell(c, r);
            if (!((a ? *a : none) == (b ? *b : none))) return false;
        }
    return true;
}

} // namespace bd::grid
