// Cube file benchmark: a cube saved with its data and opened again. Run (from the checkout):
//   cmake --build build --target bench_cube_file && build/bench/bench_cube_file
// Optional arguments: row counts (default "1000000 10000000"). Environment: BENCH_RUNS (default 3),
// BENCH_DIR (where the tables and cubes are kept, default /tmp).
//
// Over the pivot bench's sales table (made once, then reused) it prints, per row count:
//   save       the layout and the loaded result written as a cube file (coding, zip, replace)
//   open       the cube file read, its result decoded, the layout applied and the pivot painted
//   member     the layout member's size against the bytes of the loaded columns
//   peak       the peak memory of the process while saving and while opening, against those bytes
// Save and open each run in a process of their own, so that each peak is its own. Targets at 10
// million rows: save and open 1.0 s or less, member 0.5x or less, peak 2x or less; at 1 million 150 ms.
#include "SalesTable.h"
#include "cubefile/CubeFile.h"
#include "platform/db/ColumnReader.h"
#include "platform/pivot/PivotTable.h"
#include "platform/zip/Zip.h"

#include "BenchTiming.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace bd::pivot;
using bench::Clock;
using bench::median;
using bench::ms;

namespace {

// The narrow pivot of the pivot bench: rows region, columns year, five data fields.
void narrowLayout(PivotTable& t) {
    t.addField("region", "Region", RowArea);
    t.addField("year", "Year", ColumnArea);
    t.addField("product", "Product", PageArea);
    const int aggs[] = {Sum, Avg, StDev, Count};
    for (int k = 0; k < 4; ++k)
        t.addField(QStringLiteral("amount_%1").arg(k), "amount", DataArea)->setAggregate(aggs[k]);
    t.addField("qty", "qty", DataArea)->setAggregate(Max);
}

bd::cubefile::CubeContents contents(const PivotTable& t) {
    bd::cubefile::CubeContents c;
    c.layout = t.layoutJson(3, false);
    c.data = t.data();
    for (auto& g : c.grids)
        g = "{}";
    return c;
}

int save(size_t n, int runs, const std::string& dir, const QString& cube) {
    const std::string table = salesTablePath(dir, n);
    if (!makeTable(table, n)) {
        std::printf("cannot make %s\n", table.c_str());
        return 1;
    }
    auto data = std::make_shared<bd::db::ColumnarResult>();
    QString error;
    if (!bd::db::readColumns(QString::fromStdString("Provider=SQLite;Data Source=" + table),
                             "SELECT region, product, year, month, amount, qty FROM sales", *data, &error)) {
        std::printf("load failed: %s\n", qPrintable(error));
        return 1;
    }
    const double bytes = double(data->bytes());
    PivotTable t;
    t.resize(1200, 800);
    t.setData(std::shared_ptr<const bd::db::ColumnarResult>(data));
    data.reset();
    narrowLayout(t);
    t.recalculate();
    resetPeak();
    const long before = statusKb("VmRSS:");
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto a = Clock::now();
        if (!bd::cubefile::write(cube, contents(t), &error)) {
            std::printf("save failed: %s\n", qPrintable(error));
            return 1;
        }
        times.push_back(ms(a, Clock::now()));
    }
    const long peak = statusKb("VmHWM:");
    QByteArray member;
    QString why;
    bd::zip::readMember(cube, "temp.cub", member, &why, bd::cubefile::Limits::maxLayoutMember);
    std::printf("  save                        %9.1f ms   (%.0f MB of columns)\n", median(times),
                bytes / 1048576.0);
    std::printf("  layout member               %9.1f MB   = %.2f x the loaded columns (file %.1f MB)\n",
                double(member.size()) / 1048576.0, double(member.size()) / bytes,
                double(QFileInfo(cube).size()) / 1048576.0);
    std::printf("  peak while saving           %9.0f MB   = %.2f x the loaded columns (%.0f MB before)\n",
                peak / 1024.0, peak * 1024.0 / bytes, before / 1024.0);
    return 0;
}

int open(int runs, const QString& cube) {
    std::vector<double> times;
    double bytes = 0;
    long peak = 0;
    for (int i = 0; i < runs; ++i) {
        resetPeak();
        const auto a = Clock::now();
        bd::cubefile::CubeContents c;
        QString error;
        if (!bd::cubefile::read(cube, c, &error)) {
            std::printf("open failed: %s\n", qPrintable(error));
            return 1;
        }
        PivotTable t;
        t.resize(1200, 800);
        if (!t.loadLayoutJson(c.layout, c.data, &error)) {
            std::printf("layout failed: %s\n", qPrintable(error));
            return 1;
        }
        c = {};
        t.show();
        t.viewport()->repaint();
        QCoreApplication::processEvents();
        times.push_back(ms(a, Clock::now()));
        bytes = double(t.data()->bytes());
        peak = std::max(peak, statusKb("VmHWM:"));
    }
    std::printf("  open to the pivot shown     %9.1f ms   (first %.1f ms)\n", median(times), times.front());
    std::printf("  peak while opening          %9.0f MB   = %.2f x the loaded columns\n", peak / 1024.0,
                peak * 1024.0 / bytes);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = std::max(
        1, qEnvironmentVariableIntValue("BENCH_RUNS") ? qEnvironmentVariableIntValue("BENCH_RUNS") : 3);
    const std::string dir =
        qEnvironmentVariableIsEmpty("BENCH_DIR") ? "/tmp" : qgetenv("BENCH_DIR").toStdString();
    auto cubeFor = [&](size_t n) {
        return QString::fromStdString(dir + "/bench_cube_" + std::to_string(n) + ".cub");
    };
    // Children: "--save N" and "--open N", one process each.
    if (argc == 3 && std::string(argv[1]) == "--save") {
        const size_t n = size_t(std::stoull(argv[2]));
        return save(n, runs, dir, cubeFor(n));
    }
    if (argc == 3 && std::string(argv[1]) == "--open")
        return open(runs, cubeFor(size_t(std::stoull(argv[2]))));

    std::vector<size_t> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(size_t(std::stoull(argv[i])));
    if (sizes.empty()) sizes = {1000000, 10000000};
    std::printf("bench_cube_file: %d runs each, medians\n", runs);
    std::fflush(stdout);
    for (size_t n : sizes) {
        std::printf("\nN = %zu rows\n", n);
        std::fflush(stdout);
        QProcess::execute(QCoreApplication::applicationFilePath(), {"--save", QString::number(n)});
        QProcess::execute(QCoreApplication::applicationFilePath(), {"--open", QString::number(n)});
        QFile::remove(cubeFor(n));
    }
    return 0;
}
