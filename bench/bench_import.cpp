// Importing a six-column csv (1 and 10 million rows) and a 1-million-row xlsx into SQLite: rows per
// second, and peak memory against the size of the imported database. Each import runs in a child
// process of its own, so its peak resident size is its own. The files are made here, deterministically,
// in a temporary folder that is removed at the end. BENCH_ROWS="1000000,10000000" changes the csv sizes,
// BENCH_XLSX_ROWS the workbook's (0 leaves it out).
#include "platform/db/ConnectionString.h"
#include "platform/db/FileImport.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <zip.h>

namespace {

// One row of the deterministic data set: id, region, product, day, quantity, amount.
struct Row {
    long long id;
    int region, product, day, qty;
    double amount;
};

Row rowAt(long long i) {
    return {i + 1,         int(i % 8),   int((i * 7919) % 1000),
            int(i % 3650), int(i % 100), double(i % 100000) / 100.0};
}

// Days since 2015-01-01 as an ISO date (2015..2024, no leap-day surprises needed: a plain table).
void isoDay(int d, char (&out)[48]) {
    static const int monthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int y = 2015;
    for (;;) {
        const int len = (y % 4 == 0) ? 366 : 365;
        if (d < len) break;
        d -= len;
        ++y;
    }
    int m = 0;
    for (;; ++m) {
        const int len = monthDays[m] + (m == 1 && y % 4 == 0 ? 1 : 0);
        if (d < len) break;
        d -= len;
    }
    std::snprintf(out, sizeof out, "%04d-%02d-%02d", y, m + 1, d + 1);
}

// OLE day number of 2015-01-01.
constexpr int kOle20150101 = 42005;

bool writeCsv(const QString& path, long long rows) {
    FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f) return false;
    std::vector<char> buf(1 << 20);
    std::setvbuf(f, buf.data(), _IOFBF, buf.size());
    std::fputs("Id,Region,Product,Day,Qty,Amount\r\n", f);
    char day[48];
    for (long long i = 0; i < rows; ++i) {
        const Row r = rowAt(i);
        isoDay(r.day, day);
        std::fprintf(f, "%lld,Region %d,Product %d,%s,%d,%.2f\r\n", r.id, r.region, r.product, day, r.qty,
                     r.amount);
    }
    return std::fclose(f) == 0;
}

bool addFile(zip_t* z, const char* name, const QString& file) {
    zip_source_t* s = zip_source_file(z, QFile::encodeName(file).constData(), 0, -1);
    return s && zip_file_add(z, name, s, ZIP_FL_OVERWRITE) >= 0;
}

bool addText(zip_t* z, const char* name, const std::string& text) {
    void* copy = std::malloc(text.size());
    std::memcpy(copy, text.data(), text.size());
    zip_source_t* s = zip_source_buffer(z, copy, text.size(), 1);
    return s && zip_file_add(z, name, s, ZIP_FL_OVERWRITE) >= 0;
}

// Texts as shared strings, the day as a number in a date style, as spreadsheet programs write them.
bool writeXlsx(const QString& path, const QString& sheetFile, long long rows) {
    const std::string ns = R"(xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";
    std::string sst = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst " + ns + ">";
    for (const char* h : {"Id", "Region", "Product", "Day", "Qty", "Amount"})
        sst += std::string("<si><t>") + h + "</t></si>";
    for (int i = 0; i < 8; ++i)
        sst += "<si><t>Region " + std::to_string(i) + "</t></si>";
    for (int i = 0; i < 1000; ++i)
        sst += "<si><t>Product " + std::to_string(i) + "</t></si>";
    sst += "</sst>";
    {
        FILE* f = std::fopen(QFile::encodeName(sheetFile).constData(), "wb");
        if (!f) return false;
        std::vector<char> buf(1 << 20);
        std::setvbuf(f, buf.data(), _IOFBF, buf.size());
        std::fprintf(f, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet %s><sheetData>", ns.c_str());
        std::fputs(R"(<row r="1">)", f);
        const char* cols = "ABCDEF";
        for (int c = 0; c < 6; ++c)
            std::fprintf(f, R"(<c r="%c1" t="s"><v>%d</v></c>)", cols[c], c);
        std::fputs("</row>", f);
        for (long long i = 0; i < rows; ++i) {
            const Row r = rowAt(i);
            const long long n = i + 2;
            std::fprintf(f,
                         R"(<row r="%lld"><c r="A%lld"><v>%lld</v></c><c r="B%lld" t="s"><v>%d</v></c>)"
                         R"(<c r="C%lld" t="s"><v>%d</v></c><c r="D%lld" s="1"><v>%d</v></c>)"
                         R"(<c r="E%lld"><v>%d</v></c><c r="F%lld"><v>%.2f</v></c></row>)",
                         n, n, r.id, n, 6 + r.region, n, 14 + r.product, n, kOle20150101 + r.day, n, r.qty, n,
                         r.amount);
        }
        std::fputs("</sheetData></worksheet>", f);
        if (std::fclose(f) != 0) return false;
    }
    int err = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z) return false;
    const bool ok =
        addText(
            z, "[Content_Types].xml",
            R"(<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>)") &&
        addText(
            z, "xl/workbook.xml",
            "<workbook " + ns +
                R"( xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets><sheet name="Sales" sheetId="1" r:id="rId1"/></sheets></workbook>)") &&
        addText(
            z, "xl/_rels/workbook.xml.rels",
            R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Target="worksheets/sheet1.xml"/></Relationships>)") &&
        addText(z, "xl/styles.xml",
                "<styleSheet " + ns +
                    R"(><cellXfs><xf numFmtId="0"/><xf numFmtId="14"/></cellXfs></styleSheet>)") &&
        addText(z, "xl/sharedStrings.xml", sst) && addFile(z, "xl/worksheets/sheet1.xml", sheetFile);
    if (!ok) {
        zip_discard(z);
        return false;
    }
    return zip_close(z) == 0;
}

long long peakKb() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long long kb = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmHWM:", 6) == 0) kb = std::atoll(line + 6);
    std::fclose(f);
    return kb;
}

long long fileSize(const QString& path) {
    return QFile(path).size();
}

// Imports the connection string in a child process and prints one line of figures.
bool measure(const char* label, const QString& connection, long long rows, long long sourceBytes) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        const long long before = peakKb();
        const bd::db::EngineChoice choice = bd::db::chooseEngine(connection, QString());
        QString error;
        QElapsedTimer t;
        t.start();
        const auto db = bd::db::importFile(choice, &error);
        const double s = double(t.nsecsElapsed()) / 1e9;
        if (!db) {
            std::fprintf(stderr, "%s: %s\n", label, qPrintable(error));
            std::_Exit(1);
        }
        const double dbMb = double(db->size) / 1048576.0;
        const double peakMb = double(peakKb()) / 1024.0;
        std::printf("%-12s %10lld rows  %7.0f MB source  %6.2f s  %6.2f M rows/s  database %6.0f MB  "
                    "peak %6.0f MB (%.2fx the database; %.0f MB before)\n",
                    label, rows, double(sourceBytes) / 1048576.0, s, double(rows) / s / 1e6, dbMb, peakMb,
                    peakMb / dbMb, double(before) / 1024.0);
        std::fflush(stdout);
        std::_Exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<long long> sizesFrom(const char* env, std::vector<long long> fallback) {
    const char* v = std::getenv(env);
    if (!v) return fallback;
    std::vector<long long> out;
    for (const QByteArray& part : QByteArray(v).split(','))
        if (part.toLongLong() > 0) out.push_back(part.toLongLong());
    return out;
}

} // namespace

int main() {
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    bool ok = true;
    for (const long long rows : sizesFrom("BENCH_ROWS", {1'000'000, 10'000'000})) {
        const QString csv = dir.filePath(QStringLiteral("sales%1.csv").arg(rows));
        QElapsedTimer t;
        t.start();
        if (!writeCsv(csv, rows)) return 1;
        std::printf("made %s (%lld rows) in %.1f s\n", qPrintable(QFileInfo(csv).fileName()), rows,
                    double(t.nsecsElapsed()) / 1e9);
        const QString cs = "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + csv +
                           ";Extended Properties=\"text;HDR=Yes;FMT=Delimited\"";
        ok = measure("csv", cs, rows, fileSize(csv)) && ok;
        QFile::remove(csv);
    }
    for (const long long rows : sizesFrom("BENCH_XLSX_ROWS", {1'000'000})) {
        const QString xlsx = dir.filePath(QStringLiteral("sales%1.xlsx").arg(rows));
        const QString sheet = dir.filePath(QStringLiteral("sheet1.xml"));
        QElapsedTimer t;
        t.start();
        if (!writeXlsx(xlsx, sheet, rows)) return 1;
        QFile::remove(sheet);
        std::printf("made %s (%lld rows) in %.1f s\n", qPrintable(QFileInfo(xlsx).fileName()), rows,
                    double(t.nsecsElapsed()) / 1e9);
        ok = measure("xlsx", "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + xlsx, rows, fileSize(xlsx)) &&
             ok;
        QFile::remove(xlsx);
    }
    return ok ? 0 : 1;
}
