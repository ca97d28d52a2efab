#include "platform/db/import/MdbGuards.h"

#include <set>

namespace bd::db::import {
namespace {

// Header flags: the data follows in the row, or sits in one other row; otherwise a chain.
constexpr uint32_t kInlineValue = 0x80000000u;
constexpr uint32_t kSingleRowValue = 0x40000000u;
constexpr uint32_t kUnknownKinds = 0xf0000000u;
// Each row of a chain starts with the page and row of the next one.
constexpr size_t kChainLink = 4;

} // namespace

bool longValueBytes(MdbHandle* mdb, const MdbColumn& col, std::vector<uint8_t>& out) {
    out.clear();
    if (col.cur_value_len < MDB_MEMO_OVERHEAD || col.cur_value_start < 0 ||
        size_t(col.cur_value_start) + size_t(col.cur_value_len) > sizeof mdb->pg_buf)
        return true;
    const uint8_t* header = mdb->pg_buf + col.cur_value_start;
    const uint32_t flags = le32(header);
    if (flags & kInlineValue) {
        out.assign(header + MDB_MEMO_OVERHEAD, header + col.cur_value_len);
        return true;
    }
    void* page = nullptr;
    int start = 0;
    size_t length = 0;
    int next = int(le32(header + 4));
    if (flags & kSingleRowValue) {
        if (mdb_find_pg_row(mdb, next, &page, &start, &length) == 0) {
            const auto* row = static_cast<const uint8_t*>(page) + start;
            out.assign(row, row + length);
        }
        return true;
    }
    if (flags & kUnknownKinds) return true;
    std::set<int> seen;
    while (next != 0) {
        if (!seen.insert(next).second) return false;
        if (mdb_find_pg_row(mdb, next, &page, &start, &length) != 0 || length < kChainLink) return true;
        const auto* row = static_cast<const uint8_t*>(page) + start;
        out.insert(out.end(), row + kChainLink, row + length);
        next = int(le32(row));
    }
    return true;
}

} // namespace bd::db::import
