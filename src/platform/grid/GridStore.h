#pragma once
// Sparse cell storage behind the grid widget. Rows are slots that stay empty (null) until a cell of
// the row is written, so a grid of 100,000 rows costs little until it is filled, and inserting or
// deleting rows only moves row pointers.
//
// Addressing: columns 0..maxCols and rows 0..maxRows; row 0 is the column-header row, column 0 the
// row-header column. Formatting resolves cell -> column -> sheet -> built-in default, so a whole-column
// setting reaches rows inserted later.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace bd::grid {

// Cell type numbers, as callers store and compare them.
enum CellType : int { TypePlain = 1, TypeFloat = 2, TypeButton = 7, TypeComboBox = 8, TypeCheckBox = 10 };
bool isValidCellType(int t);

// Formatting a cell, a column or the whole sheet may set; an unset member falls through.
struct Format {
    std::optional<int> type;
    std::optional<bool> lock;
    std::optional<uint32_t> backColor;
    std::optional<uint32_t> foreColor;
    std::optional<QString> buttonText;
    std::optional<uint32_t> buttonColor;
    std::optional<QString> buttonPicture;
    std::optional<QChar> floatDecimalChar;
    std::optional<int> floatDecimalPlaces;
    std::optional<QStringList> comboList;
    std::optional<bool> comboEditable;

    bool empty() const;
    bool operator==(const Format&) const = default;
};

struct Cell {
    QString text; // float cells keep a canonical number ("12.5", "-3") or ""
    QString tag;
    std::unique_ptr<Format> format; // only when the cell overrides something

    Cell() = default;
    Cell(const Cell& o)
        : text(o.text), tag(o.tag), format(o.format ? std::make_unique<Format>(*o.format) : nullptr) {}
    Cell& operator=(const Cell& o) {
        if (this != &o) {
            text = o.text;
            tag = o.tag;
            format = o.format ? std::make_unique<Format>(*o.format) : nullptr;
        }
        return *this;
    }
    Cell(Cell&&) = default;
    Cell& operator=(Cell&&) = default;
    bool empty() const { return text.isEmpty() && tag.isEmpty() && (!format || format->empty()); }
    bool hasData() const { return !text.isEmpty() || !tag.isEmpty(); }
    bool operator==(const Cell& o) const;
};

struct Column {
    Format format;
    std::optional<double> width; // in characters of the grid font
    bool hidden = false;
    bool operator==(const Column&) const = default;
};

// Built-in defaults.
constexpr uint32_t kDefaultBackColor = 0x80000005u;   // system window colour
constexpr uint32_t kDefaultForeColor = 0x80000008u;   // system window text
constexpr uint32_t kDefaultButtonColor = 0x8000000Fu; // system button face
constexpr double kDefaultColWidth = 9.0;

class GridStore {
public:
    GridStore() {
        setMaxRows(0);
        setMaxCols(0);
    }

    int maxRows() const { return int(rows_.size()) - 1; }
    int maxCols() const { return int(cols_.size()) - 1; }
    // Shrinking drops the rows or columns beyond the new count.
    void setMaxRows(int n);
    void setMaxCols(int n);
    bool contains(int col, int row) const {
        return col >= 0 && row >= 0 && col <= maxCols() && row <= maxRows();
    }

    const Cell* cell(int col, int row) const;
    Cell& cellRef(int col, int row); // creates it; (col,row) must be in range

    // Formatting levels (for the file and for resolving).
    const Format& sheetFormat() const { return sheet_; }
    Format& sheetFormat() { return sheet_; }
    const Column& column(int col) const { return cols_[size_t(col)]; }
    Column& column(int col) { return cols_[size_t(col)]; }

    // Resolved formatting of one cell.
    template <class T> T resolve(int col, int row, std::optional<T> Format::*m, T def) const {
        if (const Cell* c = cell(col, row); c && c->format && (c->format.get()->*m))
            return *(c->format.get()->*m);
        if (col >= 0 && col <= maxCols() && (cols_[size_t(col)].format.*m))
            return *(cols_[size_t(col)].format.*m);
        if (sheet_.*m) return *(sheet_.*m);
        return def;
    }

    // Writes one formatting member at an address where -1 spans a whole row, column or the sheet.
    // A column or sheet write replaces the overrides below it, as a fresh setting of the whole range.
    template <class T> void setFormat(int col, int row, std::optional<T> Format::*m, const T& v) {
        if (col < 0 && row < 0) {
            sheet_.*m = v;
            for (auto& c : cols_)
                c.format.*m = std::nullopt;
            forEachCell([&](Cell& c) { clearMember(c, m); });
        } else if (row < 0) {
            if (col > maxCols()) return;
            cols_[size_t(col)].format.*m = v;
            for (size_t r = 1; r < rows_.size(); ++r)
                if (rows_[r] && size_t(col) < rows_[r]->size()) clearMember((*rows_[r])[size_t(col)], m);
        } else if (col < 0) {
            if (row > maxRows()) return;
            for (int c = 1; c <= maxCols(); ++c)
                setCellMember(c, row, m, v);
        } else if (contains(col, row)) {
            setCellMember(col, row, m, v);
        }
    }

    // Rows move with everything they hold. Inserting keeps the row count unless rows holding data
    // would fall off the end, in which case the grid grows; deleting keeps the count and blank rows
    // come in at the end.
    void insertRows(int row, int n);
    void deleteRows(int row, int n);
    // The raw moves under those two: the count grows or shrinks by n.
    void insertRowsGrowing(int row, int n);
    void deleteRowsShrinking(int row, int n);
    void copyRow(int from, int to);
    bool rowHasData(int row) const;
    // The last row 1..maxRows with any text or tag; 0 when none.
    int lastRowWithData() const;

    bool operator==(const GridStore& o) const;

    template <class F> void forEachCell(F f) {
        for (auto& r : rows_)
            if (r)
                for (auto& c : *r)
                    f(c);
    }
    // Calls f(col, row, cell) for every stored non-empty cell.
    template <class F> void forEachStoredCell(F f) const {
        for (size_t r = 0; r < rows_.size(); ++r)
            if (rows_[r])
                for (size_t c = 0; c < rows_[r]->size(); ++c)
                    if (!(*rows_[r])[c].empty()) f(int(c), int(r), (*rows_[r])[c]);
    }

    // The same for the cells of one row.
    template <class F> void forEachStoredCellInRow(int row, F f) const {
        if (row < 0 || size_t(row) >= rows_.size() || !rows_[size_t(row)]) return;
        const Row& r = *rows_[size_t(row)];
        for (size_t c = 0; c < r.size(); ++c)
            if (!r[c].empty()) f(int(c), row, r[c]);
    }

private:
    using Row = std::vector<Cell>;
    template <class T> static void clearMember(Cell& c, std::optional<T> Format::*m) {
        if (c.format) {
            c.format.get()->*m = std::nullopt;
            if (c.format->empty()) c.format.reset();
        }
    }
    template <class T> void setCellMember(int col, int row, std::optional<T> Format::*m, const T& v) {
        Cell& c = cellRef(col, row);
        if (!c.format) c.format = std::make_unique<Format>();
        c.format.get()->*m = v;
    }

    std::vector<std::unique_ptr<Row>> rows_; // index = row number, 0 = header row
    std::vector<Column> cols_;               // index = column number, 0 = row headers
    Format sheet_;
};

} // namespace bd::grid
