#pragma once
// Internals of the column readers: the dictionary of a text column, the builder of one column and the
// thread that dictionary-encodes texts beside a scan. Shared by the SQLite and the server readers.
#include "platform/dates/OleDate.h"
#include "platform/db/AdoTypes.h"
#include "platform/db/ColumnarResult.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

namespace bd::db::detail {

// The code a NULL text gets while a column is read; settleNullTexts gives it its final value. A NULL
// must not take the code of "": the empty text is a member of its own.
constexpr uint32_t kNullText = UINT32_MAX;

inline uint64_t hashBytes(const char* p, size_t n) noexcept {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
    while (n >= 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        h = (h ^ v) * 0xbf58476d1ce4e5b9ull;
        h ^= h >> 31;
        p += 8;
        n -= 8;
    }
    uint64_t v = 0;
    if (n != 0) std::memcpy(&v, p, n); // an empty view may have no data pointer
    h = (h ^ v) * 0x94d049bb133111ebull;
    return h ^ (h >> 29);
}

// Dictionary of a text column: open addressing over codes into the column's dict.
class FlatDict {
public:
    explicit FlatDict(std::vector<std::string>* dict) : dict_(dict), slots_(1024, 0), mask_(1023) {}
    uint32_t code(std::string_view s) {
        if (s.data() == nullptr) s = std::string_view("", 0); // copies below must not see a null pointer
        if (lastCode_ != UINT32_MAX && s == last_) return lastCode_;
        const uint64_t h = hashBytes(s.data(), s.size());
        size_t i = size_t(h) & mask_;
        for (;;) {
            const uint32_t slot = slots_[i];
            if (slot == 0) break;
            const uint32_t c = slot - 1;
            if (hashes_[c] == h && (*dict_)[c] == s) return remember(s, c);
            i = (i + 1) & mask_;
        }
        const uint32_t c = uint32_t(dict_->size());
        dict_->emplace_back(s);
        hashes_.push_back(h);
        slots_[i] = c + 1;
        if (hashes_.size() * 2 > slots_.size()) grow();
        return remember(s, c);
    }

private:
    uint32_t remember(std::string_view s, uint32_t c) {
        last_.assign(s.data(), s.size());
        lastCode_ = c;
        return c;
    }
    void grow() {
        slots_.assign(slots_.size() * 2, 0);
        mask_ = slots_.size() - 1;
        for (uint32_t c = 0; c < hashes_.size(); ++c) {
            size_t i = size_t(hashes_[c]) & mask_;
            while (slots_[i] != 0)
                i = (i + 1) & mask_;
            slots_[i] = c + 1;
        }
    }
    std::vector<std::string>* dict_;
    std::vector<uint32_t> slots_; // 0 = free, else code + 1
    std::vector<uint64_t> hashes_;
    size_t mask_;
    std::string last_; // grouped or sorted data repeats the previous text
    uint32_t lastCode_ = UINT32_MAX;
};

// Builds one column, whatever the source.
struct Builder {
    ColumnData* col = nullptr;
    std::unique_ptr<FlatDict> dict;
    size_t rows = 0;
    bool piped = false;    // texts encoded by the encoder thread; this side keeps only the NULL flags
    bool kindKnown = true; // false: expression column, kind taken from its first value
    size_t leadingNulls = 0;

    void null() {
        if (piped) {
            if (col->nulls.empty()) col->nulls.assign(rows, 0);
            col->nulls.push_back(1);
            ++rows;
            return;
        }
        if (!kindKnown) {
            ++leadingNulls;
            ++rows;
            return;
        }
        if (col->nulls.empty()) col->nulls.assign(rows, 0);
        col->nulls.push_back(1);
        switch (col->kind) {
        case ColumnKind::Integer:
        case ColumnKind::Boolean:
            col->ints.push_back(0);
            break;
        case ColumnKind::Real:
        case ColumnKind::DateTime:
            col->reals.push_back(0);
            break;
        case ColumnKind::Text:
            col->codes.push_back(kNullText);
            break;
        }
        ++rows;
    }
    void settle(ColumnKind k, int adoType) {
        if (kindKnown) return;
        kindKnown = true;
        col->kind = k;
        col->adoType = adoType;
        const size_t n = leadingNulls;
        rows = 0;
        for (size_t i = 0; i < n; ++i)
            null();
    }
    void notNull() {
        if (!col->nulls.empty()) col->nulls.push_back(0);
        ++rows;
    }
    uint32_t code(std::string_view s) {
        if (!dict) dict = std::make_unique<FlatDict>(&col->dict);
        return dict->code(s);
    }
    void text(std::string_view s) {
        col->codes.push_back(code(s));
        notNull();
    }
    void integer(int64_t v) {
        col->ints.push_back(v);
        notNull();
    }
    void real(double v) {
        col->reals.push_back(v);
        notNull();
    }
    // An integer column that meets a fraction becomes a real one.
    void promoteToReal() {
        col->reals.assign(col->ints.begin(), col->ints.end());
        col->ints.clear();
        col->ints.shrink_to_fit();
        col->kind = ColumnKind::Real;
        if (col->adoType != ado::Numeric) col->adoType = ado::Double;
    }
};

// Dictionary encoding of the text columns runs beside SQLite's scan, on its own thread: the scanning
// side only copies the bytes of each batch of rows.
struct TextBatch {
    std::vector<std::string> bytes;              // per piped column
    std::vector<std::vector<uint32_t>> ends;     // per piped column, one end offset per row
    std::vector<std::vector<uint32_t>> nullRows; // per piped column, the rows (in the batch) that are NULL
    size_t rows = 0;
};

class TextEncoder {
public:
    static constexpr size_t kBatchRows = 16384;
    explicit TextEncoder(std::vector<ColumnData*> cols) : cols_(std::move(cols)) {
        for (auto* c : cols_)
            dicts_.push_back(std::make_unique<FlatDict>(&c->dict));
        for (int i = 0; i < 4; ++i)
            free_.push_back(newBatch());
        thread_ = std::thread([this] { run(); });
    }
    ~TextEncoder() { finish(); }

    std::unique_ptr<TextBatch> take() {
        std::unique_lock lock(m_);
        cv_.wait(lock, [&] { return !free_.empty(); });
        auto b = std::move(free_.front());
        free_.pop_front();
        return b;
    }
    void submit(std::unique_ptr<TextBatch> b) {
        {
            std::lock_guard lock(m_);
            full_.push_back(std::move(b));
        }
        cv_.notify_all();
    }
    void finish() {
        if (!thread_.joinable()) return;
        {
            std::lock_guard lock(m_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    std::unique_ptr<TextBatch> newBatch() const {
        auto b = std::make_unique<TextBatch>();
        b->bytes.resize(cols_.size());
        b->ends.resize(cols_.size());
        b->nullRows.resize(cols_.size());
        for (auto& e : b->ends)
            e.reserve(kBatchRows);
        return b;
    }
    void run() {
        for (;;) {
            std::unique_ptr<TextBatch> b;
            {
                std::unique_lock lock(m_);
                cv_.wait(lock, [&] { return !full_.empty() || done_; });
                if (full_.empty()) return;
                b = std::move(full_.front());
                full_.pop_front();
            }
            for (size_t j = 0; j < cols_.size(); ++j) {
                auto& codes = cols_[j]->codes;
                const std::string& bytes = b->bytes[j];
                const std::vector<uint32_t>& nulls = b->nullRows[j];
                size_t nextNull = 0;
                uint32_t from = 0, row = 0;
                for (const uint32_t end : b->ends[j]) {
                    if (nextNull < nulls.size() && nulls[nextNull] == row) {
                        codes.push_back(kNullText);
                        ++nextNull;
                    } else {
                        codes.push_back(dicts_[j]->code(std::string_view(bytes.data() + from, end - from)));
                    }
                    from = end;
                    ++row;
                }
                b->bytes[j].clear();
                b->ends[j].clear();
                b->nullRows[j].clear();
            }
            b->rows = 0;
            {
                std::lock_guard lock(m_);
                free_.push_back(std::move(b));
            }
            cv_.notify_all();
        }
    }

    std::vector<ColumnData*> cols_;
    std::vector<std::unique_ptr<FlatDict>> dicts_;
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::unique_ptr<TextBatch>> free_, full_;
    bool done_ = false;
    std::thread thread_;
};

// Rows of a result whose column kinds are known before the first row (the servers' readers). The
// reading thread only gathers each batch of rows into buffers it reuses; a second thread adds the batch
// to the columns (their growth and their new memory) and dictionary-encodes its texts.
class ColumnSink {
public:
    static constexpr uint32_t kBatchRows = 16384;

    // out.columns holds the columns, their names, types and kinds.
    explicit ColumnSink(ColumnarResult& out) : out_(out) {
        const size_t n = out.columns.size();
        for (size_t i = 0; i < n; ++i)
            dicts_.push_back(out.columns[i].kind == ColumnKind::Text
                                 ? std::make_unique<FlatDict>(&out.columns[i].dict)
                                 : nullptr);
        for (int k = 0; k < 3; ++k) {
            auto batch = std::make_unique<Batch>();
            batch->parts.resize(n);
            free_.push_back(std::move(batch));
        }
        batch_ = take();
        thread_ = std::thread([this] { run(); });
    }
    ~ColumnSink() { finish(); }
    ColumnSink(const ColumnSink&) = delete;
    ColumnSink& operator=(const ColumnSink&) = delete;

    void null(size_t i) {
        Part& p = batch_->parts[i];
        p.nullRows.push_back(batch_->rows);
        switch (out_.columns[i].kind) {
        case ColumnKind::Text:
            p.ends.push_back(uint32_t(p.bytes.size()));
            break;
        case ColumnKind::Real:
        case ColumnKind::DateTime:
            p.reals.push_back(0);
            break;
        default:
            p.ints.push_back(0);
        }
    }
    void integer(size_t i, int64_t v) { batch_->parts[i].ints.push_back(v); }
    void real(size_t i, double v) { batch_->parts[i].reals.push_back(v); }
    // A text column's value (bytes of UTF-8).
    void text(size_t i, const char* p, size_t n) {
        Part& part = batch_->parts[i];
        part.bytes.append(p, n);
        part.ends.push_back(uint32_t(part.bytes.size()));
        full_ |= part.bytes.size() > kBatchBytes;
    }
    void endRow() {
        if (++batch_->rows == kBatchRows || full_) {
            submit(std::move(batch_));
            batch_ = take();
            full_ = false;
        }
    }
    // The rows are all there (or the read is given up): waits for the second thread.
    void finish() {
        if (!thread_.joinable()) return;
        if (batch_ && batch_->rows) submit(std::move(batch_));
        {
            std::lock_guard lock(m_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
        out_.rowCount = rows_;
    }

private:
    // A batch's texts stay well inside the 32-bit offsets of a batch.
    static constexpr size_t kBatchBytes = size_t(1) << 26;

    // One column's values in a batch: numbers (0 for a NULL), or text bytes with one end per row.
    struct Part {
        std::vector<int64_t> ints;
        std::vector<double> reals;
        std::string bytes;
        std::vector<uint32_t> ends;
        std::vector<uint32_t> nullRows;
    };
    struct Batch {
        std::vector<Part> parts;
        uint32_t rows = 0;
    };

    std::unique_ptr<Batch> take() {
        std::unique_lock lock(m_);
        cv_.wait(lock, [&] { return !free_.empty(); });
        auto b = std::move(free_.front());
        free_.pop_front();
        return b;
    }
    void submit(std::unique_ptr<Batch> b) {
        {
            std::lock_guard lock(m_);
            filled_.push_back(std::move(b));
        }
        cv_.notify_all();
    }
    void run() {
        for (;;) {
            std::unique_ptr<Batch> b;
            {
                std::unique_lock lock(m_);
                cv_.wait(lock, [&] { return !filled_.empty() || done_; });
                if (filled_.empty()) return;
                b = std::move(filled_.front());
                filled_.pop_front();
            }
            add(*b);
            {
                std::lock_guard lock(m_);
                free_.push_back(std::move(b));
            }
            cv_.notify_all();
        }
    }
    // A result past its first batch is likely large: room for a million rows at once spares the
    // copies (and the fresh pages) of the first doublings. Pages not written cost nothing.
    template <class T> static void makeRoom(std::vector<T>& v, size_t rows) {
        constexpr size_t kLargeResult = size_t(1) << 20;
        if (rows > kBatchRows && v.capacity() < kLargeResult) v.reserve(kLargeResult);
    }
    void add(Batch& b) {
        for (size_t i = 0; i < b.parts.size(); ++i) {
            Part& p = b.parts[i];
            ColumnData& c = out_.columns[i];
            const size_t total = rows_ + b.rows;
            if (c.kind == ColumnKind::Text)
                makeRoom(c.codes, total);
            else if (c.kind == ColumnKind::Real || c.kind == ColumnKind::DateTime)
                makeRoom(c.reals, total);
            else
                makeRoom(c.ints, total);
            // The flags appear with the first NULL (which may be in the first row).
            if (!p.nullRows.empty() || !c.nulls.empty()) {
                c.nulls.resize(rows_ + b.rows, 0);
                for (const uint32_t r : p.nullRows)
                    c.nulls[rows_ + r] = 1;
            }
            if (c.kind == ColumnKind::Text) {
                size_t nextNull = 0;
                uint32_t from = 0;
                for (uint32_t r = 0; r < b.rows; ++r) {
                    const uint32_t end = p.ends[r];
                    if (nextNull < p.nullRows.size() && p.nullRows[nextNull] == r) {
                        c.codes.push_back(kNullText);
                        ++nextNull;
                    } else {
                        c.codes.push_back(
                            dicts_[i]->code(std::string_view(p.bytes.data() + from, end - from)));
                    }
                    from = end;
                }
            } else {
                c.ints.insert(c.ints.end(), p.ints.begin(), p.ints.end());
                c.reals.insert(c.reals.end(), p.reals.begin(), p.reals.end());
            }
            p.ints.clear();
            p.reals.clear();
            p.bytes.clear();
            p.ends.clear();
            p.nullRows.clear();
        }
        rows_ += b.rows;
        b.rows = 0;
    }

    ColumnarResult& out_;
    std::vector<std::unique_ptr<FlatDict>> dicts_;
    std::unique_ptr<Batch> batch_;
    bool full_ = false;
    size_t rows_ = 0; // added to the columns (second thread until finish)
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::unique_ptr<Batch>> free_, filled_;
    bool done_ = false;
    std::thread thread_;
};

// The OLE number of a date and the milliseconds of its time of day, as the generic reader makes it.
inline double oleDateTime(int64_t year, int month, int day, int msecsOfDay) {
    return bd::dates::civilToOle(year, month, day, 0, 0, msecsOfDay / 1000.0);
}

} // namespace bd::db::detail
