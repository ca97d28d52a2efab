#include "platform/zip/Zip.h"
#include "platform/db/DbTestData.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bd;

namespace {
QStringList tree(const QString& root) {
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
}
} // namespace

TEST(Zip, PackAndUnpackKeepEachFileUnderItsName) {
    QTemporaryDir dir;
    ASSERT_TRUE(test::writeFile(dir.filePath("src/temp.cub"), "layout"));
    ASSERT_TRUE(test::writeFile(dir.filePath("other/spCam.grd"), QByteArray(100000, 'g')));
    QString error;
    const QString archive = dir.filePath("cube.cub");
    ASSERT_TRUE(zip::pack({dir.filePath("src/temp.cub"), dir.filePath("other/spCam.grd")}, archive, &error))
        << error.toStdString();
    EXPECT_EQ(zip::memberNames(archive, &error), QStringList({"temp.cub", "spCam.grd"}));
    ASSERT_TRUE(zip::unpack(archive, dir.filePath("out"), &error)) << error.toStdString();
    EXPECT_EQ(test::readFile(dir.filePath("out/temp.cub")), "layout");
    EXPECT_EQ(test::readFile(dir.filePath("out/spCam.grd")), QByteArray(100000, 'g'));
    QByteArray member;
    EXPECT_TRUE(zip::readMember(archive, "temp.cub", member, &error));
    EXPECT_EQ(member, "layout");
    EXPECT_FALSE(zip::readMember(archive, "temp.cub", member, &error, 3)); // over the cap
}

TEST(Zip, CraftedArchiveWritesNothingOutsideItsFolder) {
    QTemporaryDir dir;
    const QString archive = dir.filePath("evil.zip");
    ASSERT_TRUE(dbtest::writeZip(archive, {{"../x", "up"},
                                           {"/abs", "absolute"},
                                           {"a\\..\\b", "backslashes"},
                                           {"..\\y", "up again"},
                                           {"sub/deep.txt", "folder"},
                                           {"C:evil", "drive"},
                                           {"big.bin", QByteArray(5000, 'b')},
                                           {"ok.txt", "fine"},
                                           {"link.txt", "through a link"}}));
    // A link planted in the target folder must not carry a member outside.
    QDir().mkpath(dir.filePath("target"));
    ASSERT_TRUE(test::writeFile(dir.filePath("outside.txt"), "keep"));
    ASSERT_TRUE(QFile::link(dir.filePath("outside.txt"), dir.filePath("target/link.txt")));

    zip::UnpackLimits limits;
    limits.maxMemberBytes = 1000;
    QString error;
    EXPECT_FALSE(zip::unpack(archive, dir.filePath("target"), &error, limits));
    for (const char* refused : {"../x", "/abs", "a\\..\\b", "..\\y", "sub/deep.txt", "C:evil", "big.bin"})
        EXPECT_TRUE(error.contains(refused)) << refused << " in " << error.toStdString();
    EXPECT_EQ(tree(dir.path()),
              QStringList({"evil.zip", "outside.txt", "target", "target/link.txt", "target/ok.txt"}));
    EXPECT_EQ(test::readFile(dir.filePath("outside.txt")), "keep");
    EXPECT_FALSE(QFileInfo(dir.filePath("target/link.txt")).isSymLink());
    EXPECT_EQ(test::readFile(dir.filePath("target/link.txt")), "through a link");
    EXPECT_EQ(test::readFile(dir.filePath("target/ok.txt")), "fine");
}

TEST(Zip, FailedPackLeavesTheOldArchiveByteIdentical) {
    QTemporaryDir dir;
    ASSERT_TRUE(test::writeFile(dir.filePath("a.txt"), "a"));
    const QString archive = dir.filePath("cube.cub");
    QString error;
    ASSERT_TRUE(zip::pack({dir.filePath("a.txt")}, archive, &error));
    const QByteArray before = test::readFile(archive);

    const QStringList bad[] = {{dir.filePath("a.txt"), dir.filePath("missing.txt")},
                               {dir.filePath("a.txt"), dir.filePath("a.txt")},
                               {}};
    for (const auto& files : bad) {
        error.clear();
        EXPECT_FALSE(zip::pack(files, archive, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(test::readFile(archive), before);
    }
    EXPECT_EQ(tree(dir.path()), QStringList({"a.txt", "cube.cub"})); // no temporary file left behind
}

TEST(Zip, UnreadableArchiveFails) {
    QTemporaryDir dir;
    ASSERT_TRUE(test::writeFile(dir.filePath("bad.cub"), "not a zip"));
    QString error;
    EXPECT_FALSE(zip::unpack(dir.filePath("bad.cub"), dir.filePath("out"), &error));
    EXPECT_TRUE(error.contains("bad.cub")) << error.toStdString();
    EXPECT_FALSE(zip::unpack(dir.filePath("none.cub"), dir.filePath("out"), &error));
}
