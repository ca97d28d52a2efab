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
//   scroll    rows region, product and year in the widget, scrolled down by a page, repainted at once
// with the peak memory of the process against the bytes of the loaded columns.
#include "SalesTable.h"
#include "platform/db/ColumnReader.h"
#include "platform/pivot/PivotTable.h"
#include "platform/pivot/engine/PivotEngine.h"

#include "BenchTiming.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sqlite3.h>
#include <string>
#include <vector>

using namespace bd::pivot;
using bench::Clock;
using bench::median;
using bench::ms;

namespace {

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
    const std::string path = salesTablePath(dir, n);
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

    // The widest pivot in the widget (rows region, product and year: 440,021 row lines), shown and
    // scrolled a page at a time; each step repaints at once.
    PivotTable wideTable;
    wideTable.resize(1200, 800);
    wideTable.setData(std::shared_ptr<const bd::db::ColumnarResult>(data));
    wideTable.addField("region", "Region", RowArea);
    wideTable.addField("product", "Product", RowArea);
    wideTable.addField("year", "Year", RowArea);
    const int wideAggs[] = {Sum, Avg, StDev, Count};
    for (int k = 0; k < 4; ++k)
        wideTable.addField(QStringLiteral("amount_%1").arg(k), "amount", DataArea)->setAggregate(wideAggs[k]);
    wideTable.addField("qty", "qty", DataArea)->setAggregate(Max);
    wideTable.recalculate();
    wideTable.show();
    QCoreApplication::processEvents();
    QScrollBar* bar = wideTable.verticalScrollBar();
    std::vector<double> tp;
    const int pages = 40;
    for (int i = 0; i < pages; ++i) {
        a = Clock::now();
        bar->setValue(bar->value() + bar->pageStep());
        wideTable.viewport()->repaint();
        tp.push_back(ms(a, Clock::now()));
    }
    const int wideLines = wideTable.resultRows();
    wideTable.hide();
    std::printf("  load (readColumns)          %9.1f ms   (%.0f MB of columns)\n", median(load),
                bytes / 1048576.0);
    std::printf("  first narrow (codes dims)   %9.1f ms\n", firstMs);
    std::printf("  narrow pivot                %9.1f ms   (%zu cells)\n", median(tn), cellsN);
    std::printf("  wide pivot                  %9.1f ms   (%zu cells)\n", median(tw), cellsW);
    std::printf("  re-pivot (engine)           %9.1f ms\n", median(tr));
    std::printf("  re-pivot (widget)           %9.1f ms\n", median(tq));
    std::printf("  scroll wide pivot a page    %9.1f ms   (%d row lines, median of %d pages, max %.1f ms)\n",
                median(tp), wideLines, pages, *std::max_element(tp.begin(), tp.end()));
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
