#pragma once
// The SQLite side of every file import: one in-memory database that grows in a single buffer, tables
// created with their declared types, rows bound into prepared multi-row INSERTs inside one
// transaction. Large tables are written in parallel: each worker fills a small database of its own
// with a run of rows, and the runs are appended to the table in file order by SQLite's own record
// copy, so no value is converted twice.
#include "platform/db/FileImport.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace bd::db::import {

struct TableSchema {
    QString name;
    QStringList columns;
    QStringList declared; // SQLite declared types, one per column
};

struct RowSinkValues;

// Binds the values of one row after another; a batch of rows goes to SQLite in one statement.
class RowSink {
public:
    RowSink() = default;
    RowSink(const RowSink&) = delete;
    RowSink& operator=(const RowSink&) = delete;
    ~RowSink();

    bool begin(sqlite3* db, const TableSchema& table, QString* error);
    void null(int col);
    void integer(int col, int64_t v);
    void real(int col, double v);
    // Every column of a row is set before endRow(). The text is copied unless stable: it then has to
    // stay valid until finish().
    void text(int col, const char* s, size_t n, bool stable = false);
    bool endRow();
    bool finish(); // flushes the last rows
    const QString& error() const { return error_; }

private:
    bool bindAndStep(sqlite3_stmt* st, int rows);
    sqlite3* db_ = nullptr;
    sqlite3_stmt* batch_ = nullptr;
    sqlite3_stmt* single_ = nullptr;
    int columns_ = 0;
    int batchRows_ = 1;
    int row_ = 0; // rows staged for the batch so far
    QString error_;
    std::unique_ptr<RowSinkValues> staged_;
};

class ImportWriter {
public:
    ImportWriter();
    ImportWriter(const ImportWriter&) = delete;
    ImportWriter& operator=(const ImportWriter&) = delete;
    ~ImportWriter();

    bool open(QString* error);
    // False also when a table of that name (any letter case) exists already: the caller skips it.
    bool hasTable(const QString& name) const;
    bool createTable(const TableSchema& table, QString* error);
    // Rows of the last created table, in order, on this thread.
    RowSink* rows(QString* error);
    bool endRows(QString* error);
    // Rows of the last created table from chunkCount runs filled in parallel by fill(k, sink), which
    // returns false with an error to stop the import. Runs are appended in the order of k.
    using ChunkFill = std::function<bool(size_t k, RowSink& sink, QString* error)>;
    bool fillParallel(const TableSchema& table, size_t chunkCount, const ChunkFill& fill, QString* error);
    // The same while the runs are still being found: exists(k) waits until run k is known and says
    // whether there is one (when k is not, no later one is).
    using ChunkExists = std::function<bool(size_t k)>;
    bool fillParallel(const TableSchema& table, const ChunkExists& exists, const ChunkFill& fill,
                      QString* error);
    // Drops a table made here (an import that starts again with other types).
    bool dropTable(const QString& name);
    // Arbitrary SQL on the database (views).
    bool exec(const QString& sql, QString* error);
    sqlite3* handle() const { return db_; }
    // Commits and hands the database over; the writer is done.
    std::shared_ptr<ImportedDatabase> finish(QString* error);

private:
    bool fail(const QString& what, QString* error) const;
    sqlite3* db_ = nullptr;
    TableSchema current_;
    std::unique_ptr<RowSink> sink_;
    QStringList names_; // upper-cased table names
};

// Threads for parallel parsing and writing.
int importThreads();

} // namespace bd::db::import
