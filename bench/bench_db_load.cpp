// Rows per second reading a 10-million-row, six-column SQLite table into columns (the pivot's load).
// Prints SQLite's own scan as the reference, the columnar reader and the row-by-row recordset path.
#include "platform/db/ColumnReader.h"
#include "platform/db/Connection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <sqlite3.h>

namespace {
constexpr long long kRows = 10'000'000;

bool makeTable(const QString& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) return false;
    const QByteArray sql =
        QByteArray(
            "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
            "CREATE TABLE sales (id INTEGER, region VARCHAR(20), product VARCHAR(20), day DATE, qty INTEGER,"
            " amount DOUBLE);"
            "INSERT INTO sales WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < ") +
        QByteArray::number(kRows) +
        ") SELECT x, 'Region ' || (x % 8), 'Product ' || ((x * 7919) % 1000),"
        " date('2015-01-01', '+' || (x % 3650) || ' days'), x % 100, (x % 100000) / 100.0 FROM c;";
    char* err = nullptr;
    const bool ok = sqlite3_exec(db, sql.constData(), nullptr, nullptr, &err) == SQLITE_OK;
    if (!ok) std::fprintf(stderr, "%s\n", err);
    sqlite3_free(err);
    sqlite3_close(db);
    return ok;
}

double sqliteScan(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM sales", -1, &st, nullptr);
    QElapsedTimer t;
    t.start();
    long long rows = 0, sink = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        sink += sqlite3_column_int64(st, 0) + sqlite3_column_bytes(st, 1) + sqlite3_column_bytes(st, 2) +
                sqlite3_column_bytes(st, 3) + sqlite3_column_int64(st, 4) +
                (long long)sqlite3_column_double(st, 5);
        ++rows;
    }
    const double s = t.nsecsElapsed() / 1e9;
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (sink == 42) std::puts("");
    return rows / s;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath("bench.db");
    QElapsedTimer t;
    t.start();
    if (!makeTable(path)) return 1;
    std::printf("made %lld rows x 6 columns in %.1f s\n", kRows, t.nsecsElapsed() / 1e9);
    const QString cs = "Provider=SQLite;Data Source=" + path;

    std::printf("SQLite's own scan:           %6.2f M rows/s\n", sqliteScan(path) / 1e6);

    for (int run = 0; run < 2; ++run) {
        bd::db::ColumnarResult r;
        QString error;
        t.restart();
        if (!bd::db::readColumns(cs, "SELECT * FROM sales", r, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        const double s = t.nsecsElapsed() / 1e9;
        std::printf(
            "readColumns (run %d):         %6.2f M rows/s  (%zu rows, %.0f MB in columns, %zu products)\n",
            run + 1, r.rowCount / s / 1e6, r.rowCount, r.bytes() / 1e6, r.columns[2].dict.size());
    }

    {
        // A condition splits as well; ORDER BY keeps the query in one scan, texts encoded beside it.
        bd::db::ColumnarResult r;
        QString error;
        t.restart();
        bd::db::readColumns(cs, "SELECT * FROM sales WHERE qty >= 0", r, &error);
        std::printf("readColumns, WHERE:           %6.2f M rows/s\n",
                    r.rowCount / (t.nsecsElapsed() / 1e9) / 1e6);
        t.restart();
        bd::db::readColumns(cs, "SELECT * FROM sales ORDER BY _rowid_", r, &error);
        std::printf("readColumns, one scan (ORDER): %6.2f M rows/s\n",
                    r.rowCount / (t.nsecsElapsed() / 1e9) / 1e6);
    }
    {
        bd::db::Connection c;
        bd::db::Recordset rs;
        QString error;
        c.open(cs, 10, &error);
        t.restart();
        rs.open("SELECT * FROM sales LIMIT 1000000", c, &error);
        long long rows = 0;
        for (; !rs.eof(); rs.moveNext())
            ++rows;
        std::printf("Recordset, row by row:       %6.2f M rows/s  (first %lld rows)\n",
                    rows / (t.nsecsElapsed() / 1e9) / 1e6, rows);
    }
    std::printf("target: >= 4 M rows/s for readColumns\n");
    return 0;
}
