#pragma once
// The cells of one sheet (xlsx, xls) in a compact row-major form, and its writing into SQLite once
// every value has been seen and the column types are known.
#include "platform/db/import/ImportTypes.h"
#include "platform/db/import/SqliteWriter.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace bd::db::import {

class SheetTable {
public:
    enum Kind : uint8_t { Null, Number, Date, Boolean, Text, SharedText };

    // Texts of the workbook shared by index (xlsx shared strings).
    void setSharedTexts(const std::vector<std::string>* texts) { shared_ = texts; }
    // Rows are numbered from 0; a row may be skipped (it stays empty), never revisited.
    void startRow(size_t row);
    void number(size_t col, double v) { put(col, Number).d = v; }
    void date(size_t col, double ole) { put(col, Date).d = ole; }
    void boolean(size_t col, bool v) { put(col, Boolean).d = v ? 1 : 0; }
    void text(size_t col, const char* p, size_t n);
    void sharedText(size_t col, uint32_t index);
    void dropTrailingEmptyRows();
    size_t rowCount() const { return rowStart_.size(); }

    // Creates the table (header row = first row when header) and writes every row.
    bool write(const QString& name, bool header, ImportWriter& writer, QString* error) const;

private:
    struct Cell {
        Kind kind = Null;
        uint32_t n = 0; // text length, shared text index
        union {
            double d = 0;
            uint64_t offset; // Text: in texts_
        };
    };
    Cell& put(size_t col, Kind kind);
    // Set when the cells lie too far apart to be kept (see put); write then fails with the reason.
    bool tooSparse_ = false;
    size_t values_ = 0; // cells given a value
    Cell spare_;        // where the values go once the sheet is too sparse
    size_t rowBegin(size_t r) const { return size_t(rowStart_[r]); }
    size_t rowEnd(size_t r) const {
        return r + 1 < rowStart_.size() ? size_t(rowStart_[r + 1]) : cells_.size();
    }
    std::string_view textOf(const Cell& c) const;
    std::string cellText(const Cell& c) const;
    size_t width() const;
    std::vector<ColumnStats> columnStats(size_t first, size_t width) const;

    std::deque<Cell> cells_;
    std::vector<uint64_t> rowStart_;
    std::string texts_;
    const std::vector<std::string>* shared_ = nullptr;
};

} // namespace bd::db::import
