#pragma once
// The query result of a cube saved with its data, in a binary form of our own: a small versioned
// header with counts, then each column whole (its name, type, NULL bitmap, dictionary of texts and
// values packed to the fewest bytes that hold them). Every column is coded and decoded on its own,
// several at a time.
#include "platform/db/ColumnarResult.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>

namespace bd::cubefile {

// What a coded result may hold; a larger one is refused before anything is allocated.
struct ColumnLimits {
    uint64_t maxBytes = 0; // the whole coded result
    uint64_t maxRows = UINT32_MAX - 1;
    uint64_t maxColumns = 65535;
};

// The coded size of a result, computed without coding it; the plan is reused by encodeColumns.
class ColumnPlan {
public:
    explicit ColumnPlan(const db::ColumnarResult& data);
    ~ColumnPlan();
    uint64_t bytes() const;
    // Writes the coded result into out, which holds bytes() bytes.
    void write(char* out) const;

private:
    struct Column;
    void writeColumnHead(char* out, size_t k) const;
    void writeRows(char* out, size_t k, size_t from, size_t to) const;
    const db::ColumnarResult& data_;
    std::unique_ptr<Column[]> columns_;
    uint64_t bytes_ = 0;
};

// True when the bytes start like a coded result.
bool looksLikeColumns(const char* data, uint64_t size);

// Decodes a coded result. False with the reason when it is damaged or beyond the limits; out is then
// left empty.
bool decodeColumns(const char* data, uint64_t size, const ColumnLimits& limits, db::ColumnarResult& out,
                   QString* error);

} // namespace bd::cubefile
