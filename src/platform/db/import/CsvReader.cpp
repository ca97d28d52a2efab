#include "platform/db/import/CsvReader.h"

#include "platform/dates/OleDate.h"
#include "platform/db/import/ImportTypes.h"
#include "platform/db/import/SourceFile.h"
#include "platform/db/import/TextEncoding.h"

#include <QDir>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace bd::db::import {
namespace {

// Chunks are cut at the first row end after this many bytes.
constexpr size_t kChunkBytes = 4u << 20;

// ---- rows and fields ----------------------------------------------------------------------------

struct Field {
    const char* p = nullptr;
    size_t n = 0;
    bool copied = false; // unquoted into the row's scratch text: not part of the chunk
};

// Splits rows into fields. A field that starts (after blanks) with a quote runs to the closing quote,
// "" standing for one quote and line ends kept; text after the closing quote is added as it stands.
// A row ends at CR, LF or CR LF outside quotes. Rows with one empty field (blank lines) are skipped.
class Tokenizer {
public:
    Tokenizer(const char* p, const char* end, char delimiter) : p_(p), end_(end), delimiter_(delimiter) {
        std::memset(stop_, 0, sizeof stop_);
        stop_[uint8_t(delimiter)] = stop_[uint8_t('\r')] = stop_[uint8_t('\n')] = true;
    }

    // The next row; endedAtLineEnd is false when it ran into the end of the text.
    bool next(std::vector<Field>& fields, bool* endedAtLineEnd = nullptr) {
        while (p_ < end_) {
            fields.clear();
            scratch_.clear();
            offsets_.clear();
            bool eol = false;
            for (;;) {
                readField(fields);
                if (p_ >= end_) break;
                if (*p_ == delimiter_) {
                    ++p_;
                    continue;
                }
                if (*p_ == '\r' && p_ + 1 < end_ && p_[1] == '\n') ++p_;
                ++p_;
                eol = true;
                break;
            }
            if (endedAtLineEnd) *endedAtLineEnd = eol;
            for (size_t i = 0; i < fields.size(); ++i)
                if (fields[i].copied) fields[i].p = scratch_.data() + offsets_[i];
            if (fields.size() == 1 && fields[0].n == 0) continue;
            return true;
        }
        return false;
    }

    const char* position() const { return p_; }

private:
    bool blank(char c) const { return c != delimiter_ && (c == ' ' || c == '\t' || c == '\v' || c == '\f'); }

    void readField(std::vector<Field>& fields) {
        const char* start = p_;
        const char* q = p_;
        while (q < end_ && blank(*q))
            ++q;
        offsets_.push_back(0);
        if (q >= end_ || *q != '"') {
            while (p_ < end_ && !stop_[uint8_t(*p_)])
                ++p_;
            fields.push_back({start, size_t(p_ - start), false});
            return;
        }
        const char* content = ++q;
        bool copied = false;
        auto toScratch = [&](const char* from, const char* to) {
            if (!copied) {
                offsets_.back() = scratch_.size();
                copied = true;
            }
            scratch_.append(from, size_t(to - from));
        };
        const char* close = nullptr;
        for (;;) {
            const char* x = static_cast<const char*>(std::memchr(q, '"', size_t(end_ - q)));
            if (!x) { // no closing quote: the rest of the text
                if (copied) toScratch(q, end_);
                close = end_;
                p_ = end_;
                break;
            }
            if (x + 1 < end_ && x[1] == '"') {
                toScratch(copied ? q : content, x + 1);
                q = x + 2;
                continue;
            }
            if (copied) toScratch(q, x);
            close = x;
            p_ = x + 1;
            break;
        }
        const char* tail = p_;
        while (p_ < end_ && !stop_[uint8_t(*p_)])
            ++p_;
        if (p_ > tail) {
            if (!copied) toScratch(content, close);
            toScratch(tail, p_);
        }
        if (copied)
            fields.push_back({nullptr, scratch_.size() - offsets_.back(), true});
        else
            fields.push_back({content, size_t(close - content), false});
    }

    const char* p_;
    const char* end_;
    char delimiter_;
    bool stop_[256];
    std::string scratch_;
    std::vector<size_t> offsets_;
};

// Where the last complete row of the text ends (the text starts at a row start); nullptr when none.
const char* lastRowEnd(const char* p, const char* end, char delimiter) {
    if (!std::memchr(p, '"', size_t(end - p))) {
        for (const char* x = end; x > p; --x)
            if (x[-1] == '\n' || x[-1] == '\r') return x;
        return nullptr;
    }
    Tokenizer t(p, end, delimiter);
    std::vector<Field> fields;
    const char* last = nullptr;
    bool eol = false;
    while (t.next(fields, &eol))
        if (eol) last = t.position();
    // Blank lines after the last row count as ended too.
    const char* x = last ? last : p;
    while (x < end && (*x == '\r' || *x == '\n'))
        ++x;
    return x > p ? x : last;
}

// ---- values -------------------------------------------------------------------------------------

inline bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

inline void trim(const char*& p, size_t& n) {
    while (n > 0 && isSpace(*p))
        ++p, --n;
    while (n > 0 && isSpace(p[n - 1]))
        --n;
}

inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// [+-]digits, at most 18 of them.
bool parseInteger(const char* p, size_t n, int64_t& v) {
    size_t i = 0;
    const bool negative = n > 0 && p[0] == '-';
    if (n > 0 && (p[0] == '+' || p[0] == '-')) i = 1;
    if (n - i < 1 || n - i > 18) return false;
    int64_t x = 0;
    for (; i < n; ++i) {
        if (!isDigit(p[i])) return false;
        x = x * 10 + (p[i] - '0');
    }
    v = negative ? -x : x;
    return true;
}

// [+-](digits[.digits] | .digits)[(e|E)[+-]digits]
bool parseReal(const char* p, size_t n, double& v) {
    size_t i = 0;
    if (n > 0 && (p[0] == '+' || p[0] == '-')) i = 1;
    const size_t intStart = i;
    while (i < n && isDigit(p[i]))
        ++i;
    size_t digits = i - intStart;
    if (i < n && p[i] == '.') {
        ++i;
        const size_t fracStart = i;
        while (i < n && isDigit(p[i]))
            ++i;
        digits += i - fracStart;
    }
    if (digits == 0) return false;
    if (i < n && (p[i] == 'e' || p[i] == 'E')) {
        ++i;
        if (i < n && (p[i] == '+' || p[i] == '-')) ++i;
        const size_t expStart = i;
        while (i < n && isDigit(p[i]))
            ++i;
        if (i == expStart) return false;
    }
    if (i != n) return false;
    const char* from = p[0] == '+' ? p + 1 : p;
    const auto r = std::from_chars(from, p + n, v);
    return r.ec == std::errc() && r.ptr == p + n;
}

enum class Kind { Null, Integer, Real, Date, Text };

struct Classified {
    Kind kind = Kind::Null;
    int64_t i = 0;
    double d = 0;
};

Classified classify(const Field& f) {
    Classified c;
    if (f.n == 0) return c;
    const char* p = f.p;
    size_t n = f.n;
    trim(p, n);
    if (n > 0 && (isDigit(p[0]) || p[0] == '-' || p[0] == '+' || p[0] == '.')) {
        if (parseInteger(p, n, c.i)) {
            c.kind = Kind::Integer;
            return c;
        }
        if (parseReal(p, n, c.d)) {
            c.kind = Kind::Real;
            return c;
        }
        if (n >= 10 && bd::dates::parseIsoDate(p, n, c.d)) {
            c.kind = Kind::Date;
            return c;
        }
    }
    c.kind = Kind::Text;
    return c;
}

// ---- first pass: chunks, encoding, types ----------------------------------------------------------

struct ChunkScan {
    int64_t offset = 0, length = 0;
    size_t rows = 0; // rows after the first
    bool hasFirstRow = false;
    std::vector<std::string> firstRow;     // raw fields of the chunk's first row
    std::vector<ColumnStats> firstStats;   // of that row alone
    std::vector<ColumnStats> stats, bytes; // of the other rows: characters as UTF-8, and as bytes
    std::vector<ColumnStats> firstBytes;
    bool validUtf8 = true;
    bool ascii = true;
};

void addToStats(const Field& f, std::vector<ColumnStats>& chars, std::vector<ColumnStats>& bytes,
                size_t col) {
    if (col >= chars.size()) chars.resize(col + 1), bytes.resize(col + 1);
    const Classified c = classify(f);
    switch (c.kind) {
    case Kind::Null:
        return;
    case Kind::Integer:
        chars[col].addInteger(c.i), bytes[col].addInteger(c.i);
        return;
    case Kind::Real:
        chars[col].addNumber(c.d), bytes[col].addNumber(c.d);
        return;
    case Kind::Date:
        chars[col].addDate(), bytes[col].addDate();
        return;
    case Kind::Text:
        chars[col].addText(uint32_t(std::min<size_t>(utf8Length(f.p, f.n), UINT32_MAX)));
        bytes[col].addText(uint32_t(std::min<size_t>(f.n, UINT32_MAX)));
        return;
    }
}

void scanChunk(const char* p, size_t n, char delimiter, ChunkScan& out) {
    out.ascii = isAscii(p, n);
    out.validUtf8 = out.ascii || isValidUtf8(p, n);
    Tokenizer t(p, p + n, delimiter);
    std::vector<Field> fields;
    if (t.next(fields)) {
        out.hasFirstRow = true;
        for (size_t c = 0; c < fields.size(); ++c) {
            out.firstRow.emplace_back(fields[c].p, fields[c].n);
            addToStats(fields[c], out.firstStats, out.firstBytes, c);
        }
        out.firstStats.resize(std::max(out.firstStats.size(), fields.size()));
        out.firstBytes.resize(out.firstStats.size());
    }
    while (t.next(fields)) {
        ++out.rows;
        for (size_t c = 0; c < fields.size(); ++c)
            addToStats(fields[c], out.stats, out.bytes, c);
        if (out.stats.size() < fields.size())
            out.stats.resize(fields.size()), out.bytes.resize(fields.size());
    }
}

struct Plan {
    std::vector<ChunkScan> chunks; // stats already merged below; firstRow kept for the header
    int64_t start = 0;             // after a byte-order mark
    TextEncoding encoding = TextEncoding::Utf8;
    bool repairUtf8 = false; // marked UTF-8 with invalid sequences
    bool ascii = true;
    size_t headerChunk = SIZE_MAX; // the chunk whose first row is the header
    QStringList header;
    std::vector<ColumnStats> stats;
};

// What the first pass has found so far, for a second pass that starts before it ends.
struct Progress {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::pair<int64_t, int64_t>> bounds; // offset and length of each chunk cut so far
    // Set under m and also read in the wait predicates; atomic so that no reader ever sees them torn.
    std::atomic<bool> allCut{false};
    std::atomic<bool> firstScanned{false};
    ChunkScan first; // chunk 0 as classified
};

// The chunks cut and waiting for a worker, and the buffers the workers are done with.
struct ScanQueue {
    struct Job {
        size_t index;
        std::vector<char> data;
    };
    std::mutex m;
    std::condition_variable cv;
    std::deque<Job> jobs;
    std::vector<std::vector<char>> spare;
    bool done = false;
};

// A worker: classifies the chunks it takes until the reader is done and no chunk waits.
void classifyChunks(ScanQueue& q, char delimiter, std::vector<ChunkScan>& chunks, Progress& progress) {
    for (;;) {
        ScanQueue::Job job;
        {
            std::unique_lock lock(q.m);
            q.cv.wait(lock, [&] { return q.done || !q.jobs.empty(); });
            if (q.jobs.empty()) return;
            job = std::move(q.jobs.front());
            q.jobs.pop_front();
        }
        ChunkScan scan;
        scanChunk(job.data.data(), job.data.size(), delimiter, scan);
        if (job.index == 0) {
            std::lock_guard p(progress.m);
            progress.first = scan;
            progress.firstScanned = true;
            progress.cv.notify_all();
        }
        std::lock_guard lock(q.m);
        scan.offset = chunks[job.index].offset;
        scan.length = chunks[job.index].length;
        chunks[job.index] = std::move(scan);
        q.spare.push_back(std::move(job.data));
        q.cv.notify_all();
    }
}

// The reader: cuts the file from start into chunks at row ends and queues them, never more than two
// per worker waiting.
bool cutChunks(const SourceFile& file, char delimiter, int64_t start, size_t workers, ScanQueue& q,
               std::vector<ChunkScan>& chunks, Progress& progress, QString* error) {
    std::vector<char> carry; // the unfinished row at the end of the last block
    int64_t offset = start;  // file offset of carry's first byte
    int64_t readAt = start;
    for (;;) {
        std::vector<char> buf;
        {
            std::unique_lock lock(q.m);
            q.cv.wait(lock, [&] { return q.jobs.size() < workers * 2; });
            if (!q.spare.empty()) {
                buf = std::move(q.spare.back());
                q.spare.pop_back();
            }
        }
        buf.assign(carry.begin(), carry.end());
        const size_t have = buf.size();
        buf.resize(have + kChunkBytes);
        const int64_t got = file.read(readAt, buf.data() + have, kChunkBytes);
        if (got < 0) {
            if (error) *error = QStringLiteral("The file cannot be read.");
            return false;
        }
        readAt += got;
        buf.resize(have + size_t(got));
        const bool atEnd = got == 0 || readAt >= file.size();
        if (buf.empty()) return true;
        const char* cut =
            atEnd ? buf.data() + buf.size() : lastRowEnd(buf.data(), buf.data() + buf.size(), delimiter);
        if (!cut) { // one row longer than the block: read on
            carry.swap(buf);
            continue;
        }
        const size_t len = size_t(cut - buf.data());
        carry.assign(buf.begin() + std::ptrdiff_t(len), buf.end());
        buf.resize(len);
        std::lock_guard lock(q.m);
        ChunkScan placeholder;
        placeholder.offset = offset;
        placeholder.length = int64_t(len);
        chunks.push_back(std::move(placeholder));
        q.jobs.push_back({chunks.size() - 1, std::move(buf)});
        {
            std::lock_guard p(progress.m);
            progress.bounds.push_back({offset, int64_t(len)});
            progress.cv.notify_all();
        }
        offset += int64_t(len);
        q.cv.notify_all();
        if (atEnd && carry.empty()) return true;
    }
}

// Reads the file once: the reader cuts chunks at row ends, workers classify them.
bool scanFile(const SourceFile& file, char delimiter, std::vector<ChunkScan>& chunks, int64_t start,
              Progress& progress, QString* error) {
    const size_t workers = size_t(importThreads());
    ScanQueue q;
    std::vector<std::thread> threads;
    for (size_t w = 0; w < workers; ++w)
        threads.emplace_back([&] { classifyChunks(q, delimiter, chunks, progress); });
    const bool ok = cutChunks(file, delimiter, start, workers, q, chunks, progress, error);
    {
        std::lock_guard lock(q.m);
        q.done = true;
        q.cv.notify_all();
    }
    for (auto& t : threads)
        t.join();
    std::lock_guard p(progress.m);
    progress.allCut = true;
    progress.firstScanned = true;
    progress.cv.notify_all();
    return ok;
}

QString decodeField(const Plan& plan, const char* p, size_t n) {
    std::string out;
    appendAsUtf8(plan.encoding, p, n, out);
    return QString::fromUtf8(out.data(), qsizetype(out.size()));
}

int64_t textStart(const SourceFile& file) {
    char head[3] = {0, 0, 0};
    return file.read(0, head, 3) == 3 && hasUtf8Bom(head, 3) ? 3 : 0;
}

// Encoding, header and column statistics from the chunks the first pass classified.
void finishPlan(bool header, Plan& plan) {
    bool valid = true;
    for (const auto& c : plan.chunks)
        valid = valid && c.validUtf8, plan.ascii = plan.ascii && c.ascii;
    plan.encoding = plan.start == 3 || valid ? TextEncoding::Utf8 : TextEncoding::Windows1252;
    plan.repairUtf8 = plan.start == 3 && !valid;
    const bool byBytes = plan.encoding == TextEncoding::Windows1252;

    for (size_t k = 0; k < plan.chunks.size(); ++k) {
        ChunkScan& c = plan.chunks[k];
        const bool isHeader = header && plan.headerChunk == SIZE_MAX && c.hasFirstRow;
        if (isHeader) {
            plan.headerChunk = k;
            for (const auto& f : c.firstRow)
                plan.header << decodeField(plan, f.data(), f.size());
        }
        auto merge = [&](const std::vector<ColumnStats>& s) {
            if (plan.stats.size() < s.size()) plan.stats.resize(s.size());
            for (size_t i = 0; i < s.size(); ++i)
                plan.stats[i].merge(s[i]);
        };
        if (!isHeader) merge(byBytes ? c.firstBytes : c.firstStats);
        merge(byBytes ? c.bytes : c.stats);
        plan.stats.resize(std::max(plan.stats.size(), c.firstRow.size()));
        // Only offsets are needed from here on.
        c.firstRow.clear(), c.stats.clear(), c.bytes.clear(), c.firstStats.clear(), c.firstBytes.clear();
    }
}

// ---- second pass: values into SQLite ------------------------------------------------------------

enum class Target { Integer, Real, Date, Text };

Target targetOf(const QString& declared) {
    if (declared == "INTEGER" || declared == "BIGINT") return Target::Integer;
    if (declared == "DOUBLE") return Target::Real;
    if (declared == "DATE") return Target::Date;
    return Target::Text;
}

struct ChunkWriter {
    const Plan& plan;
    const std::vector<Target>& targets;
    std::string text; // a converted value

    void bind(RowSink& sink, int col, const Field& f) {
        if (f.n == 0) return sink.null(col);
        const Target t = targets[size_t(col)];
        if (t == Target::Text) return bindText(sink, col, f);
        const char* p = f.p;
        size_t n = f.n;
        trim(p, n);
        if (t == Target::Integer) {
            int64_t i;
            double d;
            if (parseInteger(p, n, i)) return sink.integer(col, i);
            if (parseReal(p, n, d)) return sink.integer(col, int64_t(d));
            return sink.null(col);
        }
        if (t == Target::Real) {
            double d;
            if (parseReal(p, n, d)) return sink.real(col, d);
            return sink.null(col);
        }
        double ole;
        if (n == 10) return sink.text(col, p, n, !f.copied); // already as stored
        if (!bd::dates::parseIsoDate(p, n, ole)) return sink.null(col);
        text = bd::dates::oleToIso(ole);
        sink.text(col, text.data(), text.size());
    }

    void bindText(RowSink& sink, int col, const Field& f) {
        const bool asIs = plan.ascii || (plan.encoding == TextEncoding::Utf8 && !plan.repairUtf8) ||
                          isAscii(f.p, f.n) || (plan.repairUtf8 && isValidUtf8(f.p, f.n));
        if (asIs) return sink.text(col, f.p, f.n, !f.copied);
        text.clear();
        appendAsUtf8(plan.encoding, f.p, f.n, text);
        sink.text(col, text.data(), text.size());
    }
};

} // namespace

namespace {

// The table's columns as a plan gives them.
TableSchema schemaOf(const QString& table, bool header, const Plan& plan, std::vector<Target>& targets) {
    TableSchema schema;
    schema.name = table;
    schema.columns = uniqueColumnNames(header ? plan.header : QStringList(), int(plan.stats.size()));
    targets.clear();
    for (const auto& s : plan.stats) {
        schema.declared << s.declaredType();
        targets.push_back(targetOf(schema.declared.back()));
    }
    return schema;
}

// A plan from chunk 0 alone, when its text needs no conversion: the second pass starts on it while
// the first goes on, and starts again only if the whole file turns out to differ.
bool guessPlan(const ChunkScan& first, bool header, int64_t start, Plan& guess) {
    if (!first.hasFirstRow || !first.validUtf8) return false;
    guess = Plan{};
    guess.start = start;
    ChunkScan c = first;
    guess.chunks.push_back(std::move(c));
    finishPlan(header, guess);
    return guess.encoding == TextEncoding::Utf8 && !guess.repairUtf8;
}

bool samePlan(const Plan& a, const Plan& b) {
    if (a.encoding != b.encoding || a.repairUtf8 != b.repairUtf8 || a.header != b.header ||
        a.stats.size() != b.stats.size() || a.headerChunk != b.headerChunk)
        return false;
    for (size_t i = 0; i < a.stats.size(); ++i)
        if (a.stats[i].declaredType() != b.stats[i].declaredType()) return false;
    return true;
}

} // namespace

namespace {

// One file's import. The first pass runs on a thread of its own; the second starts on the types of
// the first chunk while it goes on, and starts again on the whole file's types when they differ.
class CsvImport {
public:
    CsvImport(const SourceFile& file, const QString& path, char delimiter, bool header)
        : file_(file), path_(path), delimiter_(delimiter), header_(header) {}
    CsvImport(const CsvImport&) = delete;
    CsvImport& operator=(const CsvImport&) = delete;
    ~CsvImport() {
        if (pass1_.joinable()) pass1_.join();
    }

    bool run(const QString& table, ImportWriter& writer, QString* error) {
        plan_.start = textStart(file_);
        pass1_ = std::thread([this] {
            scanned_ = scanFile(file_, delimiter_, plan_.chunks, plan_.start, *progress_, &scanError_);
        });
        Plan guess;
        if (earlyGuess(guess)) {
            bool done = false;
            if (!fillEarly(table, guess, writer, done, error)) return false;
            if (done) return true;
            writer.dropTable(table);
        } else if (!endScan(error)) {
            return false;
        }
        if (plan_.stats.empty()) return true; // an empty file has no table
        restart_ = false;
        using_ = &plan_;
        const TableSchema schema = schemaOf(table, header_, plan_, targets_);
        return writer.createTable(schema, error) &&
               writer.fillParallel(
                   schema, plan_.chunks.size(),
                   [this](size_t k, RowSink& s, QString* why) { return fill(k, s, why); }, error);
    }

private:
    // A plan from chunk 0 while the first pass still runs, when there is one to make.
    bool earlyGuess(Plan& guess) {
        std::unique_lock lock(progress_->m);
        progress_->cv.wait(lock, [&] { return progress_->firstScanned.load(); });
        return !progress_->allCut && guessPlan(progress_->first, header_, plan_.start, guess) &&
               !guess.stats.empty();
    }

    // The whole file's plan, once the first pass has ended.
    bool endScan(QString* error) {
        pass1_.join();
        if (!scanned_) {
            if (error) *error = scanError_;
            return false;
        }
        finishPlan(header_, plan_);
        return true;
    }

    // Fills the table on the guess; done is false when the whole file asks for other types.
    bool fillEarly(const QString& table, const Plan& guess, ImportWriter& writer, bool& done,
                   QString* error) {
        using_ = &guess;
        const TableSchema schema = schemaOf(table, header_, guess, targets_);
        if (!writer.createTable(schema, error)) {
            restart_ = true;
            return false;
        }
        // Checked while the second pass runs: a difference stops it at its next chunk.
        bool scanOk = false;
        std::thread watch([&] {
            scanOk = endScan(nullptr);
            if (!scanOk || !samePlan(plan_, guess)) restart_ = true;
        });
        QString why;
        const bool filled = writer.fillParallel(
            schema, [this](size_t k) { return chunkBounds(k, nullptr); },
            [this](size_t k, RowSink& s, QString* e) { return fill(k, s, e); }, &why);
        watch.join();
        if (!scanOk) {
            if (error) *error = scanError_;
            return false;
        }
        if (filled && !restart_) {
            done = true;
            return true;
        }
        if (!restart_) {
            if (error) *error = why;
            return false;
        }
        return true;
    }

    // Waits until chunk k is cut or the file has no more; false when it has none.
    bool chunkBounds(size_t k, std::pair<int64_t, int64_t>* b) {
        std::unique_lock lock(progress_->m);
        progress_->cv.wait(lock, [&] { return progress_->allCut || progress_->bounds.size() > k; });
        if (k >= progress_->bounds.size()) return false;
        if (b) *b = progress_->bounds[k];
        return true;
    }

    // The rows of chunk k into the sink, with the types of the plan in use.
    bool fill(size_t k, RowSink& sink, QString* why) {
        if (restart_) return false;
        std::pair<int64_t, int64_t> b;
        if (!chunkBounds(k, &b)) return true;
        std::vector<char> data(size_t(b.second));
        if (file_.read(b.first, data.data(), data.size()) != b.second) {
            if (why)
                *why = QStringLiteral("The file \"%1\" changed while it was read.")
                           .arg(QDir::toNativeSeparators(path_));
            return false;
        }
        const Plan& p = *using_;
        const int width = int(p.stats.size());
        Tokenizer t(data.data(), data.data() + data.size(), delimiter_);
        std::vector<Field> fields;
        ChunkWriter w{p, targets_, {}};
        if (k == p.headerChunk) t.next(fields);
        while (t.next(fields)) {
            const int n = std::min(int(fields.size()), width);
            for (int col = 0; col < n; ++col)
                w.bind(sink, col, fields[size_t(col)]);
            for (int col = n; col < width; ++col)
                sink.null(col);
            if (!sink.endRow()) {
                if (why) *why = sink.error();
                return false;
            }
        }
        // The rows' texts point into data: write them before it goes.
        if (!sink.finish()) {
            if (why) *why = sink.error();
            return false;
        }
        return true;
    }

    const SourceFile& file_;
    const QString path_;
    const char delimiter_;
    const bool header_;
    Plan plan_;
    // On the heap: the threads that share it never see a reused stack slot.
    const std::unique_ptr<Progress> progress_ = std::make_unique<Progress>();
    std::thread pass1_;
    bool scanned_ = false;
    QString scanError_;
    std::atomic<bool> restart_{false};
    std::vector<Target> targets_;
    const Plan* using_ = &plan_;
};

} // namespace

bool importCsv(const QString& path, const QString& table, char delimiter, bool header, ImportWriter& writer,
               QString* error) {
    SourceFile file;
    if (!file.open(path, error)) return false;
    CsvImport import(file, path, delimiter, header);
    return import.run(table, writer, error);
}

} // namespace bd::db::import
