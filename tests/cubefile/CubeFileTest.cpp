// The cube file without a window: the saved result comes back cell for cell, older layouts still
// open, damaged or hostile members are refused before anything large is allocated, and save refuses
// what open would refuse, leaving the old file as it was.
#include "cubefile/CubeFile.h"
#include "common/TestSupport.h"
#include "cubefile/ColumnCodec.h"
#include "platform/os/FileWrites.h"
#include "platform/zip/Zip.h"

#include <QDir>
#include <QFile>
#include <bit>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

using namespace bd;
using db::ColumnarResult;
using db::ColumnData;
using db::ColumnKind;

namespace {

ColumnData column(const char* name, ColumnKind kind, int adoType) {
    ColumnData c;
    c.name = name;
    c.kind = kind;
    c.adoType = adoType;
    return c;
}

// Every kind of column, with NULLs, empty texts, dates with and without a time, 10,000 distinct
// texts, and numbers that need every width.
std::shared_ptr<ColumnarResult> sample(size_t rows) {
    auto r = std::make_shared<ColumnarResult>();
    r->rowCount = rows;
    ColumnData id = column("id", ColumnKind::Integer, 3), amount = column("amount", ColumnKind::Real, 5),
               day = column("day", ColumnKind::DateTime, 135),
               stamp = column("stamp", ColumnKind::DateTime, 135),
               name = column("name", ColumnKind::Text, 200), flag = column("flag", ColumnKind::Boolean, 11),
               big = column("big", ColumnKind::Integer, 20), none = column("none", ColumnKind::Text, 202);
    name.dict = {"", "ñandú"};
    for (int i = 0; i < 10000; ++i)
        name.dict.push_back(QString("Name %1").arg(i, 4, 10, QChar('0')).toStdString());
    id.nulls.assign(rows, 0);
    name.nulls.assign(rows, 0);
    none.nulls.assign(rows, 1);
    for (size_t i = 0; i < rows; ++i) {
        const bool null = i % 13 == 5;
        id.nulls[i] = null;
        id.ints.push_back(null ? 0 : int64_t(i) * 7 - 1000);
        const double reals[] = {0.1 * double(i), -0.0, 1e300, -3.25, double(i)};
        amount.reals.push_back(reals[i % 5]);
        day.reals.push_back(45000.0 + double(i % 400));
        stamp.reals.push_back(45000.0 + double(i % 400) + double(i % 24) / 24.0);
        name.nulls[i] = i % 17 == 3;
        name.codes.push_back(name.nulls[i] ? uint32_t(name.dict.size()) : uint32_t(i % name.dict.size()));
        flag.ints.push_back(int64_t(i % 3 == 0));
        big.ints.push_back(i % 2 ? INT64_MIN + int64_t(i) : INT64_MAX - int64_t(i));
        none.codes.push_back(0);
    }
    for (ColumnData* c : {&id, &amount, &day, &stamp, &name, &flag, &big, &none})
        r->columns.push_back(std::move(*c));
    return r;
}

// Identical cells: the same names, types, NULLs, texts and the same bits of every number.
void expectSame(const ColumnarResult& a, const ColumnarResult& b) {
    ASSERT_EQ(a.rowCount, b.rowCount);
    ASSERT_EQ(a.columns.size(), b.columns.size());
    for (size_t k = 0; k < a.columns.size(); ++k) {
        const ColumnData &x = a.columns[k], &y = b.columns[k];
        SCOPED_TRACE(x.name);
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.adoType, y.adoType);
        EXPECT_EQ(x.kind, y.kind);
        EXPECT_EQ(x.nulls, y.nulls);
        EXPECT_EQ(x.ints, y.ints);
        EXPECT_EQ(x.codes, y.codes);
        EXPECT_EQ(x.dict, y.dict);
        ASSERT_EQ(x.reals.size(), y.reals.size());
        EXPECT_TRUE(x.reals.empty() ||
                    std::memcmp(x.reals.data(), y.reals.data(), x.reals.size() * sizeof(double)) == 0);
    }
}

cubefile::CubeContents cube(std::shared_ptr<const ColumnarResult> data) {
    cubefile::CubeContents c;
    c.layout = R"({"format":"brintova-pivot-layout","version":1,"mode":3,"fields":[]})";
    c.data = std::move(data);
    for (int i = 0; i < cubefile::kGridCount; ++i)
        c.grids[size_t(i)] = QByteArray("{\"grid\":") + QByteArray::number(i) + "}";
    return c;
}

struct CubeFileUnit : ::testing::Test {
    test::TempHome home{false};
    QString path(const QString& n) { return home.path(n); }

    // The layout member of a saved cube, and a cube file holding it in place of the real one.
    QByteArray layoutMember(const QString& cub) {
        QByteArray b;
        QString error;
        EXPECT_TRUE(zip::readMember(cub, "temp.cub", b, &error, cubefile::Limits::maxLayoutMember))
            << error.toStdString();
        return b;
    }
    QString withLayout(const QByteArray& layout, const QString& name) {
        QList<zip::MemberBytes> m{{"temp.cub", layout, false}};
        for (const QString& n : cubefile::memberNames().mid(1))
            m.push_back({n, "{}", true});
        QString error;
        EXPECT_TRUE(zip::packMembers(m, path(name), &error)) << error.toStdString();
        return path(name);
    }
};

template <class T> void poke(QByteArray& b, qsizetype at, T v) {
    std::memcpy(b.data() + at, &v, sizeof v);
}

} // namespace

TEST_F(CubeFileUnit, SavedDataComesBackCellForCell) {
    // 0 rows, a few, and more than one coding piece (the NULL bitmap crosses piece boundaries).
    for (size_t rows : {size_t(0), size_t(30011), size_t(1100003)}) {
        SCOPED_TRACE(rows);
        const auto data = sample(rows);
        const QString file = path(QString("r%1.cub").arg(rows));
        QString error;
        ASSERT_TRUE(cubefile::write(file, cube(data), &error)) << error.toStdString();
        EXPECT_EQ(zip::memberNames(file, &error), cubefile::memberNames());
        cubefile::CubeContents back;
        ASSERT_TRUE(cubefile::read(file, back, &error)) << error.toStdString();
        ASSERT_TRUE(back.data);
        expectSame(*data, *back.data);
        EXPECT_EQ(back.layout, cube(data).layout);
        EXPECT_EQ(back.grids, cube(data).grids);
    }
}

// A layout member that is JSON alone (without data, or today's data as text inside it) is handed
// back as it is, for the layout's reader; a cube without data stays without.
TEST_F(CubeFileUnit, LayoutJsonAloneOpensAsStored) {
    const QByteArray legacy =
        R"({"format":"brintova-pivot-layout","version":1,"mode":3,"fields":[],"data":{"rowCount":1,"columns":[]}})";
    cubefile::CubeContents back;
    QString error;
    ASSERT_TRUE(cubefile::read(withLayout(legacy, "legacy.cub"), back, &error)) << error.toStdString();
    EXPECT_EQ(back.layout, legacy);
    EXPECT_FALSE(back.data);

    auto plain = cube(nullptr);
    ASSERT_TRUE(cubefile::write(path("plain.cub"), plain, &error));
    ASSERT_TRUE(cubefile::read(path("plain.cub"), back, &error));
    EXPECT_FALSE(back.data);
    EXPECT_EQ(back.layout, plain.layout);
}

TEST_F(CubeFileUnit, DamagedOrHostileDataIsRefused) {
    // One text column of four rows, codes 0 1 0 1: its values are the member's last four bytes.
    auto small = std::make_shared<ColumnarResult>();
    small->rowCount = 4;
    ColumnData t = column("t", ColumnKind::Text, 200);
    t.dict = {"a", "b"};
    t.codes = {0, 1, 0, 1};
    small->columns.push_back(t);
    QString error;
    ASSERT_TRUE(cubefile::write(path("small.cub"), cube(small), &error));
    const QByteArray good = layoutMember(path("small.cub"));
    const qsizetype data = 24 + cube(small).layout.size(); // the coded result's start
    const qsizetype column = data + 32;                    // its one column header
    ASSERT_EQ(good.mid(data, 8), "BDCOLUMN");

    struct Case {
        const char* what;
        std::function<void(QByteArray&)> damage;
    } cases[] = {
        {"cut in the container header", [](QByteArray& b) { b.truncate(12); }},
        {"cut before the data", [&](QByteArray& b) { b.truncate(data); }},
        {"cut in the data header", [&](QByteArray& b) { b.truncate(data + 20); }},
        {"cut in the column header", [&](QByteArray& b) { b.truncate(column + 30); }},
        {"last byte cut", [](QByteArray& b) { b.chop(1); }},
        {"a byte too many", [](QByteArray& b) { b.append('\0'); }},
        {"JSON longer than the member", [](QByteArray& b) { poke<uint64_t>(b, 16, uint64_t(1) << 40); }},
        {"newer container", [](QByteArray& b) { poke<uint32_t>(b, 8, 9); }},
        {"newer data", [&](QByteArray& b) { poke<uint32_t>(b, data + 8, 9); }},
        {"more columns than the file", [&](QByteArray& b) { poke<uint32_t>(b, data + 12, 60000); }},
        {"more rows than the file", [&](QByteArray& b) { poke<uint64_t>(b, data + 16, uint64_t(1) << 31); }},
        {"rows past the cap", [&](QByteArray& b) { poke<uint64_t>(b, data + 16, uint64_t(1) << 60); }},
        {"total bytes wrong", [&](QByteArray& b) { poke<uint64_t>(b, data + 24, uint64_t(1) << 62); }},
        {"name longer than the file", [&](QByteArray& b) { poke<uint32_t>(b, column, 0xFFFFFFF0u); }},
        {"unknown kind", [&](QByteArray& b) { poke<uint8_t>(b, column + 8, 77); }},
        {"unknown width", [&](QByteArray& b) { poke<uint8_t>(b, column + 10, 3); }},
        {"dictionary larger than the file",
         [&](QByteArray& b) { poke<uint64_t>(b, column + 24, uint64_t(1) << 40); }},
        {"dictionary texts longer than stated",
         [&](QByteArray& b) { poke<uint32_t>(b, column + 48 + 1, 2); }},
        {"payload larger than the file",
         [&](QByteArray& b) { poke<uint64_t>(b, column + 40, uint64_t(1) << 50); }},
        {"code outside the dictionary", [](QByteArray& b) { b[b.size() - 1] = 5; }},
        {"NULL code on a row that is not NULL", [](QByteArray& b) { b[b.size() - 2] = 2; }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        QByteArray bad = good;
        k.damage(bad);
        cubefile::CubeContents back;
        error.clear();
        EXPECT_FALSE(cubefile::read(withLayout(bad, "bad.cub"), back, &error));
        EXPECT_TRUE(error.contains("damaged") || error.contains("too large") || error.contains("newer"))
            << error.toStdString();
        EXPECT_FALSE(back.data);
        EXPECT_TRUE(back.layout.isEmpty());
    }
    // Any single byte of the headers changed: refused or read, never a crash or a huge allocation.
    const auto rich = sample(40);
    ASSERT_TRUE(cubefile::write(path("rich.cub"), cube(rich), &error));
    const QByteArray member = layoutMember(path("rich.cub"));
    for (qsizetype at = 0; at < std::min<qsizetype>(member.size(), data + 32 + 8 * 60); ++at)
        for (char v : {char(0), char(0x7F), char(0xFF)}) {
            QByteArray bad = member;
            bad[at] = v;
            ColumnarResult out;
            cubefile::ColumnLimits limits;
            limits.maxBytes = uint64_t(cubefile::Limits::maxDataBytes);
            const qsizetype from = std::min(data, bad.size());
            (void)cubefile::decodeColumns(bad.constData() + from, uint64_t(bad.size() - from), limits, out,
                                          &error);
        }
}

// What save refuses, open refuses too; a refused or failed save leaves the old file as it was.
TEST_F(CubeFileUnit, SaveRefusesWhatOpenWouldAndKeepsTheOldFile) {
    const QString file = path("kept.cub");
    QString error;
    ASSERT_TRUE(cubefile::write(file, cube(sample(10)), &error));
    const QByteArray old = test::readFile(file);

    auto big = cube(nullptr);
    big.grids[1] = QByteArray(cubefile::Limits::maxGridMember + 1, ' ');
    EXPECT_FALSE(cubefile::write(file, big, &error));
    EXPECT_TRUE(error.startsWith("The cube is too large to be saved: its grid temp.spCam"))
        << error.toStdString();
    EXPECT_TRUE(test::readFile(file) == old);
    // The same member written by someone else is refused on open.
    QList<zip::MemberBytes> m;
    for (int i = 0; i < cubefile::MemberCount; ++i)
        m.push_back({cubefile::memberNames()[i], i == 0 ? big.layout : big.grids[size_t(i - 1)], true});
    ASSERT_TRUE(zip::packMembers(m, path("big.cub"), &error));
    cubefile::CubeContents back;
    EXPECT_FALSE(cubefile::read(path("big.cub"), back, &error));
    EXPECT_TRUE(error.contains("too large")) << error.toStdString();

    struct FullDisk : os::FileWrites {
        bool replace(const QString&, const QString&, QString* e) override {
            *e = "disk full";
            return false;
        }
    } full;
    os::setFileWrites(&full);
    EXPECT_FALSE(cubefile::write(file, cube(sample(1000)), &error));
    os::setFileWrites(nullptr);
    EXPECT_EQ(error, "disk full");
    EXPECT_TRUE(test::readFile(file) == old);
    EXPECT_EQ(QDir(home.home()).entryList({"kept*"}, QDir::Files), QStringList{"kept.cub"})
        << "no temporary left";

    EXPECT_FALSE(cubefile::write(path("no such folder/x.cub"), cube(nullptr), &error));
    EXPECT_FALSE(cubefile::read(path("missing.cub"), back, &error));
    EXPECT_EQ(error, QString("The file %1 does not exist.").arg(path("missing.cub")));
}
