#pragma once
// Reads of a desktop database that mdbtools makes without checking what the file says.
#include <cstddef>
#include <cstdint>
#include <glib.h> // before mdbtools, which includes it inside its extern "C"
#include <mdbtools.h>
#include <vector>

namespace bd::db::import {

// Long values (memo texts, OLE data) have a 12-byte header in the row and their data after it, in
// one other row, or in a chain of rows. mdbtools follows a chain without noticing when it comes back
// to a row it has read; this reader stops there.
// The bytes of the long value whose header the current row holds at the column's place, in chain
// order. False when the chain comes back on itself (what was read before that point is kept).
bool longValueBytes(MdbHandle* mdb, const MdbColumn& col, std::vector<uint8_t>& out);

// mdbtools finds a table's data pages through its page map, and reads through a null pointer when a
// damaged definition left it none.
inline bool hasPageMap(const MdbTableDef* table) {
    return table->usage_map != nullptr && table->map_sz > 0;
}

inline uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace bd::db::import
