#include "platform/db/import/SqliteWriter.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <sqlite3.h>
#include <thread>

namespace bd::db::import {
namespace {

// SQLite counts every allocation under one global lock unless told not to; parallel writers would
// queue on it. Only possible before SQLite starts, so it is set when the program loads.
const bool kMemoryStatusOff = [] {
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    return true;
}();

// Rows per INSERT statement, and SQLite's limit on the values of one statement.
constexpr int kBatchRows = 32;
constexpr int kMaxStatementValues = 32766;
// An imported database may grow to this size (SQLite's default for memory databases is 1 GiB).
constexpr sqlite3_int64 kMaxDatabaseBytes = 64ll * 1024 * 1024 * 1024;
// Runs being filled or waiting to be appended, per worker.
constexpr size_t kRunsPerWorker = 2;
constexpr int kMaxThreads = 8;
// Large pages: fewer page splits while loading, and faster scans of the result.
constexpr int kPageSize = 65536;
constexpr const char* kChunkSchema = "bd_chunk";

QString quoteName(const QString& n) {
    QString q = n;
    q.replace('"', "\"\"");
    return '"' + q + '"';
}

QString createSql(const TableSchema& t, const QString& schema = QString()) {
    QStringList defs;
    for (int c = 0; c < t.columns.size(); ++c)
        defs << quoteName(t.columns[c]) + ' ' + t.declared.value(c);
    return "CREATE TABLE " + (schema.isEmpty() ? QString() : schema + '.') + quoteName(t.name) + " (" +
           defs.join(", ") + ")";
}

QString sqliteError(sqlite3* db) {
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// A database in one growing buffer (SQLite's memdb), ready for a bulk load.
sqlite3* openBuffer(QString* error) {
    sqlite3* db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK ||
        sqlite3_deserialize(db, "main", nullptr, 0, 0, SQLITE_DESERIALIZE_RESIZEABLE) != SQLITE_OK) {
        if (error) *error = QStringLiteral("Cannot create the in-memory database.");
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_int64 limit = kMaxDatabaseBytes;
    sqlite3_file_control(db, "main", SQLITE_FCNTL_SIZE_LIMIT, &limit);
    const QByteArray pragmas = "PRAGMA page_size = " + QByteArray::number(kPageSize) +
                               "; PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF";
    sqlite3_exec(db, pragmas.constData(), nullptr, nullptr, nullptr);
    return db;
}

// The buffer of a database opened by openBuffer; it outlives the connection.
unsigned char* takeBuffer(sqlite3* db, sqlite3_int64& size) {
    size = 0;
    unsigned char* data = sqlite3_serialize(db, "main", &size, SQLITE_SERIALIZE_NOCOPY);
    if (!data) data = sqlite3_serialize(db, "main", &size, 0); // an empty database has no buffer yet
    return data;
}

} // namespace

int importThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return std::clamp(int(n), 1, kMaxThreads);
}

// ---- RowSink ------------------------------------------------------------------------------------

namespace {
struct Staged {
    enum Kind : uint8_t { Null, Int, Real, Text, CopiedText } kind = Null;
    int64_t i = 0;
    double d = 0;
    const char* s = nullptr; // Text; CopiedText: offset in the arena in i
    size_t n = 0;
};
} // namespace

struct RowSinkValues {
    std::vector<Staged> values;
    std::string arena;
};

RowSink::~RowSink() {
    sqlite3_finalize(batch_);
    sqlite3_finalize(single_);
}

bool RowSink::begin(sqlite3* db, const TableSchema& table, QString* error) {
    db_ = db;
    columns_ = int(table.columns.size());
    const int rows = std::clamp(kMaxStatementValues / std::max(columns_, 1), 1, kBatchRows);
    QString marks = "(" + QString("?,").repeated(columns_);
    marks.chop(1);
    marks += ')';
    QString many = marks;
    for (int r = 1; r < rows; ++r)
        many += ',' + marks;
    const QString head = "INSERT INTO main." + quoteName(table.name) + " VALUES ";
    if (sqlite3_prepare_v2(db, (head + many).toUtf8().constData(), -1, &batch_, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, (head + marks).toUtf8().constData(), -1, &single_, nullptr) != SQLITE_OK) {
        if (error)
            *error = QStringLiteral("Cannot import the table \"%1\": %2").arg(table.name, sqliteError(db));
        return false;
    }
    batchRows_ = rows;
    staged_ = std::make_unique<RowSinkValues>();
    staged_->values.resize(size_t(rows) * size_t(columns_));
    row_ = 0;
    return true;
}

inline Staged& slot(RowSinkValues& v, int row, int columns, int col) {
    return v.values[size_t(row) * size_t(columns) + size_t(col)];
}

void RowSink::null(int col) {
    slot(*staged_, row_, columns_, col).kind = Staged::Null;
}

void RowSink::integer(int col, int64_t v) {
    Staged& s = slot(*staged_, row_, columns_, col);
    s.kind = Staged::Int;
    s.i = v;
}

void RowSink::real(int col, double v) {
    Staged& s = slot(*staged_, row_, columns_, col);
    s.kind = Staged::Real;
    s.d = v;
}

void RowSink::text(int col, const char* p, size_t n, bool stable) {
    Staged& s = slot(*staged_, row_, columns_, col);
    s.n = n;
    if (stable) {
        s.kind = Staged::Text;
        s.s = p;
    } else {
        s.kind = Staged::CopiedText;
        s.i = int64_t(staged_->arena.size());
        staged_->arena.append(p, n);
    }
}

bool RowSink::bindAndStep(sqlite3_stmt* st, int rows) {
    int param = 1;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns_; ++c, ++param) {
            const Staged& s = slot(*staged_, r, columns_, c);
            switch (s.kind) {
            case Staged::Null:
                sqlite3_bind_null(st, param);
                break;
            case Staged::Int:
                sqlite3_bind_int64(st, param, s.i);
                break;
            case Staged::Real:
                sqlite3_bind_double(st, param, s.d);
                break;
            case Staged::Text:
                sqlite3_bind_text(st, param, s.s, int(s.n), SQLITE_STATIC);
                break;
            case Staged::CopiedText:
                sqlite3_bind_text(st, param, staged_->arena.data() + s.i, int(s.n), SQLITE_STATIC);
                break;
            }
        }
    const bool ok = sqlite3_step(st) == SQLITE_DONE;
    if (!ok) error_ = sqliteError(db_);
    sqlite3_reset(st);
    return ok;
}

bool RowSink::endRow() {
    if (++row_ < batchRows_) return true;
    row_ = 0;
    const bool ok = bindAndStep(batch_, batchRows_);
    staged_->arena.clear();
    return ok;
}

bool RowSink::finish() {
    // The last rows one by one: they sit at the start of the staging area.
    const int rows = row_;
    row_ = 0;
    for (int r = 0; r < rows; ++r) {
        if (r > 0) std::copy_n(staged_->values.begin() + r * columns_, columns_, staged_->values.begin());
        if (!bindAndStep(single_, 1)) return false;
    }
    staged_->arena.clear();
    return true;
}

// ---- ImportWriter -------------------------------------------------------------------------------

ImportWriter::ImportWriter() = default;

ImportWriter::~ImportWriter() {
    sink_.reset();
    sqlite3_close(db_);
}

bool ImportWriter::fail(const QString& what, QString* error) const {
    if (error) *error = what + ": " + sqliteError(db_);
    return false;
}

bool ImportWriter::open(QString* error) {
    (void)kMemoryStatusOff;
    db_ = openBuffer(error);
    if (!db_) return false;
    if (sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(QStringLiteral("Cannot create the in-memory database"), error);
    return true;
}

bool ImportWriter::hasTable(const QString& name) const {
    return names_.contains(name.toUpper());
}

bool ImportWriter::createTable(const TableSchema& table, QString* error) {
    sink_.reset();
    if (sqlite3_exec(db_, createSql(table).toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(QStringLiteral("Cannot import the table \"%1\"").arg(table.name), error);
    names_ << table.name.toUpper();
    current_ = table;
    return true;
}

RowSink* ImportWriter::rows(QString* error) {
    if (!sink_) {
        sink_ = std::make_unique<RowSink>();
        if (!sink_->begin(db_, current_, error)) {
            sink_.reset();
            return nullptr;
        }
    }
    return sink_.get();
}

bool ImportWriter::endRows(QString* error) {
    if (!sink_) return true;
    const bool ok = sink_->finish();
    if (!ok && error)
        *error = QStringLiteral("Cannot import the table \"%1\": %2").arg(current_.name, sink_->error());
    sink_.reset();
    return ok;
}

bool ImportWriter::exec(const QString& sql, QString* error) {
    char* msg = nullptr;
    if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &msg) == SQLITE_OK) return true;
    if (error) *error = QString::fromUtf8(msg ? msg : "");
    sqlite3_free(msg);
    return false;
}

namespace {
struct Run {
    bool ready = false;
    bool ok = false;
    unsigned char* data = nullptr;
    sqlite3_int64 size = 0;
    QString error;
};

// One run of rows in a small database of its own.
void fillRun(size_t k, const TableSchema& table, const ImportWriter::ChunkFill& fill, Run& out) {
    QString error;
    sqlite3* db = openBuffer(&error);
    bool ok = db != nullptr;
    if (ok)
        ok =
            sqlite3_exec(db, createSql(table).toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK &&
            sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (db && !ok) error = sqliteError(db);
    if (ok) {
        RowSink sink;
        ok = sink.begin(db, table, &error) && fill(k, sink, &error);
        if (ok && !sink.finish()) {
            ok = false;
            error = sink.error();
        }
    }
    if (ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        ok = false;
        error = sqliteError(db);
    }
    if (ok) {
        out.data = takeBuffer(db, out.size);
        ok = out.data != nullptr;
        if (!ok) error = QStringLiteral("Cannot keep the imported data in memory.");
    }
    sqlite3_close(db);
    out.ok = ok;
    out.error = error;
}
} // namespace

bool ImportWriter::fillParallel(const TableSchema& table, size_t chunkCount, const ChunkFill& fill,
                                QString* error) {
    return fillParallel(
        table, [chunkCount](size_t k) { return k < chunkCount; }, fill, error);
}

bool ImportWriter::fillParallel(const TableSchema& table, const ChunkExists& exists, const ChunkFill& fill,
                                QString* error) {
    sink_.reset();
    static const QByteArray attach = QByteArray("ATTACH ':memory:' AS ") + kChunkSchema;
    if (sqlite3_exec(db_, "SELECT 1 FROM bd_chunk.sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK &&
        sqlite3_exec(db_, attach.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(QStringLiteral("Cannot import the table \"%1\"").arg(table.name), error);
    const QByteArray append = ("INSERT INTO main." + quoteName(table.name) + " SELECT * FROM " +
                               kChunkSchema + '.' + quoteName(table.name))
                                  .toUtf8();

    const size_t workers = size_t(importThreads());
    const size_t window = workers * kRunsPerWorker;
    std::deque<Run> runs; // by chunk number
    std::mutex m;
    std::condition_variable cv;
    size_t next = 0, appended = 0;
    bool stop = false;
    std::vector<std::thread> threads;
    for (size_t w = 0; w < workers; ++w)
        threads.emplace_back([&] {
            for (;;) {
                size_t k;
                {
                    std::unique_lock lock(m);
                    cv.wait(lock, [&] { return stop || next < appended + window; });
                    if (stop) return;
                    k = next++;
                }
                if (!exists(k)) return;
                Run run;
                fillRun(k, table, fill, run);
                std::lock_guard lock(m);
                if (runs.size() <= k) runs.resize(k + 1);
                runs[k] = std::move(run);
                runs[k].ready = true;
                cv.notify_all();
            }
        });

    bool ok = true;
    QString why;
    for (size_t k = 0; ok && exists(k); ++k) {
        Run run;
        {
            std::unique_lock lock(m);
            cv.wait(lock, [&] { return runs.size() > k && runs[k].ready; });
            run = std::move(runs[k]);
            runs[k] = Run{};
            runs[k].ready = true;
        }
        if (!run.ok) {
            ok = false;
            why = run.error;
            break;
        }
        // The connection owns the run's buffer from here and frees it with the next run.
        if (sqlite3_deserialize(db_, kChunkSchema, run.data, run.size, run.size,
                                SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY) != SQLITE_OK ||
            sqlite3_exec(db_, append.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            ok = false;
            why = sqliteError(db_);
        }
        std::lock_guard lock(m);
        appended = k + 1;
        cv.notify_all();
    }
    {
        std::lock_guard lock(m);
        stop = true;
        cv.notify_all();
    }
    for (auto& t : threads)
        t.join();
    for (auto& r : runs)
        sqlite3_free(r.data);
    if (!ok && error) *error = QStringLiteral("Cannot import the table \"%1\": %2").arg(table.name, why);
    return ok;
}

bool ImportWriter::dropTable(const QString& name) {
    names_.removeAll(name.toUpper());
    return exec("DROP TABLE main." + quoteName(name), nullptr);
}

std::shared_ptr<ImportedDatabase> ImportWriter::finish(QString* error) {
    sink_.reset();
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail(QStringLiteral("Cannot import the file"), error);
        return {};
    }
    auto out = std::make_shared<ImportedDatabase>();
    sqlite3_int64 size = 0;
    unsigned char* data = takeBuffer(db_, size);
    sqlite3_close(db_);
    db_ = nullptr;
    if (!data) {
        if (error) *error = QStringLiteral("Cannot keep the imported data in memory.");
        return {};
    }
    // The buffer grew in doublings: give back what lies past the end.
    if (auto* shrunk = static_cast<unsigned char*>(sqlite3_realloc64(data, sqlite3_uint64(size))))
        data = shrunk;
    out->data = data;
    out->size = size;
    return out;
}

} // namespace bd::db::import
