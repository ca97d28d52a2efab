#pragma once
// A query result read straight into columns: the hand-off from the data layer to the pivot engine.
// Plain C++ (no Qt) so the pivot's hot path never touches Qt types.
#include <cstdint>
#include <string>
#include <vector>

namespace bd::db {

enum class ColumnKind : uint8_t {
    Integer,  // ints
    Real,     // reals
    DateTime, // reals: OLE date (days since 1899-12-30, fraction = time of day)
    Text,     // codes into dict (dictionary-encoded as read)
    Boolean,  // ints (0/1)
};

struct ColumnData {
    std::string name;
    int adoType = 200; // the data-access type number (3, 5, 7, 131, 135, 200, 201, 203, 205 ...)
    ColumnKind kind = ColumnKind::Text;
    std::vector<uint8_t> nulls;    // 1 = NULL; empty means "no NULL in this column"
    std::vector<int64_t> ints;     // Integer, Boolean
    std::vector<double> reals;     // Real, DateTime
    std::vector<uint32_t> codes;   // Text: index into dict; a NULL row's code is dict.size()
    std::vector<std::string> dict; // Text: distinct values (UTF-8), in first-seen order

    bool isNull(size_t row) const { return !nulls.empty() && nulls[row] != 0; }
    size_t bytes() const {
        size_t b = nulls.size() + ints.size() * 8 + reals.size() * 8 + codes.size() * 4;
        for (const auto& s : dict)
            b += s.size() + sizeof(std::string);
        return b;
    }
};

struct ColumnarResult {
    std::vector<ColumnData> columns;
    size_t rowCount = 0;
    size_t bytes() const {
        size_t b = 0;
        for (const auto& c : columns)
            b += c.bytes();
        return b;
    }
};

} // namespace bd::db
