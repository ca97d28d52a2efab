// Pivot benchmark. Run (from the checkout):
//   cmake --build build --target bench_pivot && build/bench/bench_pivot
// Optional arguments: row counts (default "1000000 10000000"), e.g. build/bench/bench_pivot 200000.
// Environment: BENCH_RUNS (default 5), BENCH_DIR (where the SQLite tables are kept, default /tmp).
//
// For each N it makes (once, then reuses) a deterministic sales table in SQLite: region (20 values
// "Region 00".."Region 19"), product (2000 values "Product 0000".."Product 1999"), year 2015-2024,
// month 1-12, amount (double 0-1000), qty (integer 1-49). It prints medians of:
//   load      the query result read through the data layer into columns (readColumns)
//   narrow    rows region, columns year; Sum, Avg, StDev of amount, Count of amount, Max of qty;
//             every subtotal and grand total
//   wide      rows region then product, columns year, same data fields and totals
//   repivot   year moved from columns to rows after the narrow pivot (engine, and through the widget)
// with the peak memory of the process against the bytes of the loaded columns.
#include "platform/db/ColumnReader.h"
#include "platform/pivot/PivotTable.h"
#include "platform/pivot/engine/PivotEngine.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sqlite3.h>
#include <string>
#include <vector>

using namespace bd::pivot;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

long statusKb(const char* key) {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key)));
    return -1;
}
void resetPeak() {
    std::ofstream f("/proc/self/clear_refs");
    f << "5";
}

bool makeTable(const std::string& path, size_t n) {
    if (QFile::exists(QString::fromStdString(path))) return true;
    const std::string tmp = path + ".part";
    std::remove(tmp.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(tmp.c_str(), &db) != SQLITE_OK) return false;
    sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;", nullptr, nullptr, nullptr);
    sqlite3_exec(db,
                 "CREATE TABLE sales(region TEXT, product TEXT, year INTEGER, month INTEGER, amount REAL, "
                 "qty INTEGER)",
                 nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO sales VALUES (?,?,?,?,?,?)", -1, &st, nullptr);
    uint64_t x = 88172645463325252ull; // xorshift: the same table every time
    auto next = [&] {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    };
    char region[16], product[16];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(region, sizeof region, "Region %02d", int(next() % 20));
        std::snprintf(product, sizeof product, "Product %04d", int(next() % 2000));
        sqlite3_bind_text(st, 1, region, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, product, -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 3, 2015 + int(next() % 10));
        sqlite3_bind_int(st, 4, 1 + int(next() % 12));
        sqlite3_bind_double(st, 5, double(next() % 1000000) / 1000.0);
        sqlite3_bind_int(st, 6, 1 + int(next() % 49));
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

engine::PivotDefinition def(std::vector<int> rows, std::vector<int> cols) {
    // columns: 0 region, 1 product, 2 year, 3 month, 4 amount, 5 qty
    engine::PivotDefinition s;
    for (int r : rows)
        s.rows.push_back({r});
    for (int c : cols)
        s.columns.push_back({c});
    s.data = {{4, engine::Agg::Sum, nullptr},
              {4, engine::Agg::Avg, nullptr},
              {4, engine::Agg::StDev, nullptr},
              {4, engine::Agg::Count, nullptr},
              {5, engine::Agg::Max, nullptr}};
    return s;
}

void benchOne(size_t n, int runs, const std::string& dir) {
    const std::string path = dir + "/bench_pivot_" + std::to_string(n) + ".db";
    auto t0 = Clock::now();
    if (!makeTable(path, n)) {
        std::printf("cannot make %s\n", path.c_str());
        return;
    }
    std::printf("\nN = %zu rows (%s, ready in %.0f ms)\n", n, path.c_str(), ms(t0, Clock::now()));
    const QString cs = QString::fromStdString("Provider=SQLite;Data Source=" + path);
    const QString sql = "SELECT region, product, year, month, amount, qty FROM sales";

    const long rssBeforeLoad = statusKb("VmRSS:");
    std::vector<double> load;
    std::shared_ptr<bd::db::ColumnarResult> data;
    const int loadRuns = n >= 5000000 ? std::min(runs, 3) : runs;
    for (int i = 0; i < loadRuns; ++i) {
        data.reset(); // one result at a time, as when the viewer reloads
        auto r = std::make_shared<bd::db::ColumnarResult>();
        QString err;
        auto a = Clock::now();
        if (!bd::db::readColumns(cs, sql, *r, &err)) {
            std::printf("load failed: %s\n", err.toStdString().c_str());
            return;
        }
        load.push_back(ms(a, Clock::now()));
        data = r;
        r.reset();
    }
    const double bytes = double(data->bytes());
    const long rssAfterLoad = statusKb("VmRSS:"), peakLoad = statusKb("VmHWM:");
    resetPeak();

    engine::Engine e;
    e.setData(data);
    const auto narrow = def({0}, {2}), wide = def({0, 1}, {2}), moved = def({0, 2}, {});
    auto a = Clock::now();
    auto first = e.compute(narrow);
    const double firstMs = ms(a, Clock::now());
    std::vector<double> tn, tw, tr, tq;
    size_t cellsN = 0, cellsW = 0;
    for (int i = 0; i < runs; ++i) {
        a = Clock::now();
        auto r1 = e.compute(narrow);
        tn.push_back(ms(a, Clock::now()));
        cellsN = size_t(r1->rowCount()) * size_t(r1->columnCount());
        a = Clock::now();
        auto r2 = e.compute(wide);
        tw.push_back(ms(a, Clock::now()));
        cellsW = size_t(r2->rowCount()) * size_t(r2->columnCount());
        a = Clock::now();
        auto r3 = e.compute(moved);
        tr.push_back(ms(a, Clock::now()));
    }
    // The same re-pivot through the widget the viewer uses (fields, formats, geometry included).
    PivotTable table;
    table.resize(1200, 800);
    table.setData(std::shared_ptr<const bd::db::ColumnarResult>(data));
    table.addField("region", "Region", RowArea);
    table.addField("year", "Year", ColumnArea);
    table.addField("product", "Product", PageArea);
    const int aggs[] = {Sum, Avg, StDev};
    for (int k = 0; k < 3; ++k) {
        PivotField* f = table.addField(QStringLiteral("amount_%1").arg(k), "amount", DataArea);
        f->setAggregate(aggs[k]);
    }
    table.recalculate();
    for (int i = 0; i < runs; ++i) {
        table.fields().item("year")->setOrientation(i % 2 ? ColumnArea : RowArea);
        a = Clock::now();
        table.recalculate();
        tq.push_back(ms(a, Clock::now()));
    }
    const long peakPivot = statusKb("VmHWM:");
    std::printf("  load (readColumns)          %9.1f ms   (%.0f MB of columns)\n", median(load),
                bytes / 1048576.0);
    std::printf("  first narrow (codes dims)   %9.1f ms\n", firstMs);
    std::printf("  narrow pivot                %9.1f ms   (%zu cells)\n", median(tn), cellsN);
    std::printf("  wide pivot                  %9.1f ms   (%zu cells)\n", median(tw), cellsW);
    std::printf("  re-pivot (engine)           %9.1f ms\n", median(tr));
    std::printf("  re-pivot (widget)           %9.1f ms\n", median(tq));
    std::printf(
        "  memory: RSS before load %.0f MB, after load %.0f MB (peak while loading %.0f MB = %.2f x)\n",
        rssBeforeLoad / 1024.0, rssAfterLoad / 1024.0, peakLoad / 1024.0, peakLoad * 1024.0 / bytes);
    std::printf("          peak while pivoting %.0f MB = %.2f x the loaded columns\n", peakPivot / 1024.0,
                peakPivot * 1024.0 / bytes);
    (void)first;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<size_t> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(size_t(std::stoull(argv[i])));
    if (sizes.empty()) sizes = {1000000, 10000000};
    const int runs = std::max(
        1, qEnvironmentVariableIntValue("BENCH_RUNS") ? qEnvironmentVariableIntValue("BENCH_RUNS") : 5);
    const std::string dir =
        qEnvironmentVariableIsEmpty("BENCH_DIR") ? "/tmp" : qgetenv("BENCH_DIR").toStdString();
    if (sizes.size() > 1) {
        // one process per size, so that each peak memory figure is its own
        for (size_t n : sizes)
            QProcess::execute(QCoreApplication::applicationFilePath(), {QString::number(n)});
        return 0;
    }
    std::printf("bench_pivot: %d runs each, medians\n", runs);
    std::fflush(stdout);
    for (size_t n : sizes)
        benchOne(n, runs, dir);
    return 0;
}
