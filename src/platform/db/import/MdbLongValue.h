#pragma once
// Long values (memo texts, OLE data) of a desktop database: a 12-byte header in the row, the data
// after it, in one other row, or in a chain of rows. mdbtools follows a chain without noticing when it
// comes back to a row it has read; this reader stops there.
#include <cstddef>
#include <cstdint>
#include <glib.h> // before mdbtools, which includes it inside its extern "C"
#include <mdbtools.h>
#include <vector>

namespace bd::db::import {

// The bytes of the long value whose header the current row holds at the column's place, in chain
// order. False when the chain comes back on itself (what was read before that point is kept).
bool longValueBytes(MdbHandle* mdb, const MdbColumn& col, std::vector<uint8_t>& out);

inline uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace bd::db::import
