#pragma once
// The benches' sales table and memory figures: a deterministic SQLite table made once per row count
// and kept (region, product, year, month, amount, qty), and the process's resident and peak memory.
#include <QFile>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sqlite3.h>
#include <string>

namespace {

inline long statusKb(const char* key) {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key)));
    return -1;
}
inline void resetPeak() {
    std::ofstream f("/proc/self/clear_refs");
    f << "5";
}

// The rows of the sales table, one call of row(region, product, year, month, amount, qty) each: the
// same rows every time, for the SQLite table and for the server tables alike.
template <class F> void forEachSalesRow(size_t n, F&& row) {
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
        const int year = 2015 + int(next() % 10);
        const int month = 1 + int(next() % 12);
        const double amount = double(next() % 1000000) / 1000.0;
        const int qty = 1 + int(next() % 49);
        row(region, product, year, month, amount, qty);
    }
}

inline bool makeTable(const std::string& path, size_t n) {
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
    forEachSalesRow(
        n, [&](const char* region, const char* product, int year, int month, double amount, int qty) {
            sqlite3_bind_text(st, 1, region, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, product, -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(st, 3, year);
            sqlite3_bind_int(st, 4, month);
            sqlite3_bind_double(st, 5, amount);
            sqlite3_bind_int(st, 6, qty);
            sqlite3_step(st);
            sqlite3_reset(st);
        });
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

inline std::string salesTablePath(const std::string& dir, size_t n) {
    return dir + "/bench_pivot_" + std::to_string(n) + ".db";
}

} // namespace
