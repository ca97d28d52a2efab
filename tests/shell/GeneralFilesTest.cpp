#include "shell/GeneralFiles.h"

#include "common/TestSupport.h"
#include "platform/os/Desktop.h"
#include "platform/os/Prompter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using bd::test::writeFile;

TEST(GeneralFiles, BorrarArchivoDeletesFilesAndPatternsQuietly) {
    QTemporaryDir dir;
    for (const char* n : {"a.html", "b.html", "c.xml", "keep.htm"})
        writeFile(dir.filePath(n), "x");
    QDir().mkpath(dir.filePath("d.html"));
    bd::os::ScopedPrompter p;
    General::BorrarArchivo(dir.filePath("*.html"));
    General::BorrarArchivo(dir.filePath("none.txt"));
    General::BorrarArchivo(dir.filePath("*.nothing"));
    General::BorrarArchivo(dir.filePath("nofolder/*.x"));
    QString windowsStyle = dir.filePath("c.xml");
    windowsStyle.replace('/', '\\');
    General::BorrarArchivo(windowsStyle);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"d.html", "keep.htm"}));
    EXPECT_TRUE(p->prompts.isEmpty());
}

TEST(GeneralFiles, BorrarGraficosTemporalesClearsChartPagesAndData) {
    bd::test::TempHome home(false);
    writeFile(home.path("Charts/Data.xml"), "x");
    writeFile(home.path("Charts/chart.swf"), "x");
    General::BorrarGraficosTemporales(); // no html present: the xml goes all the same
    EXPECT_FALSE(QFile::exists(home.path("Charts/Data.xml")));
    writeFile(home.path("Charts/Chart.html"), "x");
    General::BorrarGraficosTemporales();
    EXPECT_FALSE(QFile::exists(home.path("Charts/Chart.html")));
    EXPECT_TRUE(QFile::exists(home.path("Charts/chart.swf")));
}

TEST(GeneralFiles, ExisteArchivoFindsNormalFilesOnly) {
    QTemporaryDir dir;
    writeFile(dir.filePath("mails.txt"), "x");
    writeFile(dir.filePath(".hidden"), "x");
    QDir().mkpath(dir.filePath("folder"));
    EXPECT_TRUE(General::ExisteArchivo(dir.filePath("mails.txt")));
    EXPECT_TRUE(General::ExisteArchivo(dir.filePath("*.txt")));
    EXPECT_FALSE(General::ExisteArchivo(dir.filePath("folder")));
    EXPECT_FALSE(General::ExisteArchivo(dir.filePath(".hidden")));
    EXPECT_FALSE(General::ExisteArchivo(dir.filePath("none.txt")));
    EXPECT_FALSE(General::ExisteArchivo(""));
}

TEST(GeneralFiles, AbrirArchivoAndAbrirURLGoToTheDesktop) {
    bd::os::RecordingDesktop d;
    bd::os::setDesktop(&d);
    General::AbrirArchivo("/tmp/export.xls");
    General::AbrirURL("https://example.invalid/view.html");
    bd::os::setDesktop(nullptr);
    EXPECT_EQ(d.opened, QStringList({"/tmp/export.xls"}));
    EXPECT_EQ(d.urls, QStringList({"https://example.invalid/view.html"}));
}

TEST(GeneralFiles, CompressionReportsSuccessAndShowsFailuresOnce) {
    QTemporaryDir dir;
    writeFile(dir.filePath("m/temp.cub"), "layout");
    bd::os::ScopedPrompter p;
    const QString cube = dir.filePath("c.cub");
    EXPECT_TRUE(General::ComprimirArchivos({dir.filePath("m/temp.cub")}, cube));
    EXPECT_TRUE(General::DescomprimirArchivo(cube, dir.filePath("open")));
    EXPECT_EQ(bd::test::readFile(dir.filePath("open/temp.cub")), "layout");
    EXPECT_TRUE(p->prompts.isEmpty());

    const QByteArray before = bd::test::readFile(cube);
    EXPECT_FALSE(General::ComprimirArchivos({dir.filePath("m/missing")}, cube));
    EXPECT_EQ(bd::test::readFile(cube), before);
    writeFile(dir.filePath("broken.cub"), "no zip");
    EXPECT_FALSE(General::DescomprimirArchivo(dir.filePath("broken.cub"), dir.filePath("open2")));
    ASSERT_EQ(p->prompts.size(), 2);
    for (const auto& pr : p->prompts) {
        EXPECT_TRUE(pr.title.isEmpty());
        EXPECT_EQ(pr.buttons, bd::os::Buttons::Ok);
        EXPECT_FALSE(pr.text.isEmpty());
    }
}
