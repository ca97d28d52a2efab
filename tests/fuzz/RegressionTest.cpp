// Every committed fuzz input (the seeds and the findings kept as regression cases) run through its
// harness in the ordinary build: a fixed finding stays fixed.
#include "FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/resource.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define BD_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define BD_SANITIZED 1
#endif

namespace {

// The fuzzers' memory bound (-rss_limit_mb=2048) held here as a limit on the process's data, so an
// input that makes a reader ask for more fails here too. A sanitizer's shadow memory counts as data:
// there the fuzzers' own bounds stand alone.
void limitMemory() {
#ifndef BD_SANITIZED
    constexpr rlim_t kMaxData = rlim_t(2048) << 20;
    rlimit l{};
    if (getrlimit(RLIMIT_DATA, &l) == 0 && (l.rlim_cur == RLIM_INFINITY || l.rlim_cur > kMaxData)) {
        l.rlim_cur = kMaxData;
        setrlimit(RLIMIT_DATA, &l);
    }
#endif
}

class FuzzCorpus : public ::testing::TestWithParam<bd::fuzz::Target> {};

TEST_P(FuzzCorpus, EveryInputKeepsTheReadersContract) {
    bd::fuzz::initProcess();
    bd::fuzz::setFailureThrows(true);
    limitMemory();
    const bd::fuzz::Target t = GetParam();
    const QDir dir(QStringLiteral(BD_FUZZ_CORPUS) + '/' + t.name);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    EXPECT_FALSE(files.isEmpty()) << "no corpus for " << t.name;
    for (const QString& name : files) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = f.readAll();
        try {
            t.run(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
        } catch (const bd::fuzz::Finding& finding) {
            ADD_FAILURE() << t.name << '/' << name.toStdString() << ": " << finding.what.toStdString();
        } catch (const std::bad_alloc&) {
            ADD_FAILURE() << t.name << '/' << name.toStdString() << ": more memory than the bound";
        }
    }
}

// A finding shown on a file that may not be kept here: the desktop-database fixture beside the project,
// its table definitions claiming 4,000 columns. mdbtools then reads no columns (the reader took the
// missing list for one) or thousands (each got a 256 KB buffer); the import must refuse it instead.
TEST(FuzzFindings, DesktopDatabaseTablesClaimingThousandsOfColumnsAreRefused) {
    QFile f(QStringLiteral(BD_SHARED_DIR) + "/fixtures/desktop-db/users.mdb");
    if (!f.open(QIODevice::ReadOnly)) GTEST_SKIP() << "no desktop-database fixtures beside the project";
    QByteArray bytes = f.readAll();
    constexpr int kPage = 4096, kColumnCount = 45, kCatalogPage = 2;
    for (int p = 0; p < bytes.size() / kPage; ++p) {
        char* page = bytes.data() + p * kPage;
        if (p == kCatalogPage || page[0] != 2 || page[1] != 1) continue; // table definitions only
        page[kColumnCount] = char(4000 & 0xFF);
        page[kColumnCount + 1] = char(4000 >> 8);
    }
    bd::fuzz::initProcess();
    bd::fuzz::setFailureThrows(true);
    limitMemory();
    try {
        bd::fuzz::importMdb(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    } catch (const bd::fuzz::Finding& finding) {
        ADD_FAILURE() << finding.what.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Fuzz, FuzzCorpus, ::testing::ValuesIn(bd::fuzz::targets()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
