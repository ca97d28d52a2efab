// Start-up of the program: registration, the first cube, the start window and its buttons.
#include "common/TestSupport.h"
#include "platform/os/Clock.h"
#include "platform/os/Process.h"
#include "platform/os/Prompter.h"
#include "platform/os/Registry.h"
#include "platform/os/Settings.h"
#include "shell/FrmMain.h"
#include "shell/General.h"
#include "shell/frmNavigator.h"
#include "shell/frmSplash.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace bd;

namespace {
// Records the cubes the start window would open and the ends of the program it would ask for.
struct RecordingLauncher : FrmMain::Launcher {
    std::vector<FrmMain::NewCubeArgs> opened;
    int quits = 0;
    void openCube(FrmMain&, const FrmMain::NewCubeArgs& a) override { opened.push_back(a); }
    void quit() override { ++quits; }
};

struct StartWindow : FrmMain {
    explicit StartWindow(RecordingLauncher& launcher) { setLauncher(&launcher); }
};

struct StartupFixture : ::testing::Test {
    test::TempHome home;
    RecordingLauncher launcher;
    std::vector<FrmMain::NewCubeArgs>& opened = launcher.opened;
    void SetUp() override { frmSplash::DisplayMs = 1; }
    void TearDown() override { frmSplash::DisplayMs = 1500; }
    QString hkcr(const QString& key) {
        return os::registry().value("HKEY_CLASSES_ROOT\\" + key).value_or("<missing>");
    }
};
} // namespace

TEST_F(StartupFixture, FirstStartRegistersTheCubeTypeOnceAndOnlyWhenItSucceeded) {
    const QString exe = QDir(home.home()).absolutePath() + "/brintova-deridoro";
    os::RecordingProcessRunner runner;
    os::setProcessRunner(&runner);
    {
        StartWindow w(launcher);
        w.Form_Load();
        os::setProcessRunner(nullptr);
        // The desktop's caches are rebuilt by the tools that are installed, on the folders written.
        QStringList ran;
        for (const auto& r : runner.requests)
            ran << QFileInfo(r.program).fileName() + " " + r.arguments.join(' ');
        QStringList expected;
        if (!QStandardPaths::findExecutable("update-mime-database").isEmpty())
            expected << "update-mime-database " + home.config() + "/data/mime";
        if (!QStandardPaths::findExecutable("update-desktop-database").isEmpty())
            expected << "update-desktop-database " + home.config() + "/data/applications";
        EXPECT_EQ(ran, expected);
        EXPECT_EQ(hkcr(".cub"), "Cubefile");
        EXPECT_EQ(hkcr("Cubefile"), "Cube Data File");
        EXPECT_EQ(hkcr("Cubefile\\shell\\open\\command"), exe + " %1");
        EXPECT_EQ(hkcr("Cubefile\\DefaultIcon"), exe + ",0");
        EXPECT_EQ(os::GetSetting("OE", "Init", "Extension"), "YES");
        const QString desktop =
            QString::fromUtf8(test::readFile(home.config() + "/data/applications/brintova-deridoro.desktop"));
        EXPECT_TRUE(desktop.contains("Exec=\"" + exe + "\" %f")) << desktop.toStdString();
        EXPECT_TRUE(QFile::exists(home.config() + "/data/mime/packages/brintova-deridoro-cubefile.xml"));
    }
    // Second start: nothing is written again.
    os::registry().deleteKey("HKEY_CLASSES_ROOT\\.cub");
    {
        StartWindow w(launcher);
        w.Form_Load();
        EXPECT_EQ(hkcr(".cub"), "<missing>");
    }
}

TEST_F(StartupFixture, ProgramPathADesktopEntryCannotCarryIsRefused) {
    for (const QString& bad :
         {QString("/opt/a\nExec=/bin/sh"), QString("/opt/a\rb"), QString("/opt/tab\there")}) {
        EXPECT_FALSE(General::RegistrarExtension(bad, ".cub", "Cubefile", "Cube Data File"));
        EXPECT_FALSE(QFile::exists(home.config() + "/data/applications/brintova-deridoro.desktop"));
    }
}

TEST_F(StartupFixture, FailedRegistrationStoresNoYes) {
    os::FileRegistry failing(home.config() + "/other.json");
    failing.failWrites = true;
    os::setRegistry(&failing);
    StartWindow w(launcher);
    w.ComprobarExtension();
    os::setRegistry(nullptr);
    EXPECT_EQ(os::GetSetting("OE", "Init", "Extension"), "");
}

TEST_F(StartupFixture, InitialCubeFromCommandLineOrFile) {
    const QString cube = home.path("my cubes/sales.cub");
    test::writeFile(cube, "x");
    const QString absCube = QFileInfo(cube).absoluteFilePath();
    struct Case {
        const char* name;
        QString commandLine;
        QByteArray initialFile; // empty = no file
        QString expected;       // "" = nothing opened
    };
    const std::vector<Case> cases = {
        {"existing path with blanks", cube, {}, absCube},
        {"blanks around", "  " + cube + "  ", {}, absCube},
        {"quoted path", "\"" + cube + "\"", {}, absCube},
        {"missing file is still handed on", "/nowhere/x.cub", {}, "/nowhere/x.cub"},
        {"from InitialCube.txt with CR LF", "", (cube + "\r\n").toUtf8(), absCube},
        {"command line wins over the file", "/nowhere/y.cub", (cube + "\r\n").toUtf8(), "/nowhere/y.cub"},
        {"missing file named in InitialCube.txt", "", "/nowhere/z.cub\r\n", ""},
        {"nothing at all", "", {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(home.path("InitialCube.txt"));
        if (!c.initialFile.isEmpty()) test::writeFile(home.path("InitialCube.txt"), c.initialFile);
        opened.clear();
        StartWindow w(launcher);
        w.commandLine = c.commandLine;
        w.AbrirCuboInicial();
        if (c.expected.isEmpty()) {
            EXPECT_TRUE(opened.empty());
        } else {
            ASSERT_EQ(opened.size(), 1u);
            EXPECT_EQ(opened[0].PathCubo, c.expected);
            EXPECT_EQ(opened[0].IdCube, "Cubo");
            EXPECT_FALSE(opened[0].Abrir);
            EXPECT_FALSE(opened[0].CuboEjemplo);
        }
    }
}

TEST_F(StartupFixture, ButtonsPassTheirArguments) {
    os::SaveSetting("OE", "CUBO", "ULTIMO", "/cubes/last.cub");
    StartWindow w(launcher);
    w.cmdAbrirCubo_Click();
    w.cmdAbrirEjemplo_Click();
    w.lblOpenLast_Click();
    ASSERT_EQ(opened.size(), 3u);
    struct Row {
        QString id;
        bool open, sample;
        QString path;
    };
    const Row expected[] = {{"Nuevo Cubo", true, false, ""},
                            {"Cubo", false, true, ""},
                            {"Nuevo Cubo", true, false, "/cubes/last.cub"}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(opened[i].IdCube, expected[i].id);
        EXPECT_EQ(opened[i].Abrir, expected[i].open);
        EXPECT_EQ(opened[i].CuboEjemplo, expected[i].sample);
        EXPECT_EQ(opened[i].PathCubo, expected[i].path);
        EXPECT_EQ(opened[i].Conexion, "");
        EXPECT_EQ(opened[i].Query, "");
        EXPECT_EQ(opened[i].PathMSFile, "");
        EXPECT_EQ(opened[i].Tipo, "");
    }
}

TEST_F(StartupFixture, OpenLastFollowsTheRecordedCubeAndTheWindowIsReadable) {
    {
        StartWindow w(launcher);
        w.Form_Load();
        EXPECT_TRUE(w.isVisible());
        EXPECT_FALSE(w.lblOpenLast->isVisible());
        EXPECT_FALSE(w.splash->isVisible());
        EXPECT_EQ(w.GLV("cmdAceptar"), "OK");
    }
    os::SaveSetting("OE", "CUBO", "ULTIMO", "/cubes/last.cub");
    StartWindow w(launcher);
    w.Form_Load();
    EXPECT_TRUE(w.lblOpenLast->isVisible());
    EXPECT_TRUE(w.cmdNuevoCubo->isVisible() && w.cmdAbrirCubo->isVisible() && w.cmdAbrirEjemplo->isVisible());
    const QImage shot = w.grab().toImage();
    EXPECT_GT(shot.width(), 300);
    shot.save(QDir::tempPath() + "/brintova-start-window.png");
}

TEST_F(StartupFixture, AnErrorInTheLoadStepIsReportedAndTheStartWindowStillShows) {
    // A registry that throws instead of answering: the failure comes from inside the load step.
    struct ThrowingRegistry : os::FileRegistry {
        using os::FileRegistry::FileRegistry;
        bool createKey(const QString&) override { throw std::runtime_error("boom"); }
    } throwing(home.config() + "/other.json");
    os::ScopedPrompter p;
    os::setRegistry(&throwing);
    StartWindow w(launcher);
    w.Form_Load();
    os::setRegistry(nullptr);
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].text, "An error occurred when starting the application");
    EXPECT_EQ(p->prompts[0].title, "Error");
    EXPECT_EQ(p->prompts[0].icon, os::Icon::Critical);
    EXPECT_TRUE(w.isVisible());
}

TEST_F(StartupFixture, SplashShowsItsPictureAndLabelThenGetsReady) {
    os::ManualClock clock;
    frmSplash s;
    frmSplash::DisplayMs = 1500;
    s.Form_Load();
    EXPECT_FALSE(s.img->pixmap().isNull());
    EXPECT_TRUE(s.lblChange->text().contains("Replace this image with your own company."));
    clock.advance(1499);
    EXPECT_FALSE(s.Listo);
    clock.advance(1);
    EXPECT_TRUE(s.Listo);
    EXPECT_FALSE(s.Timer1->isEnabled());
}

TEST_F(StartupFixture, ClosingTheStartWindowDeletesTheChartFiles) {
    test::writeFile(home.path("Charts/Chart.html"), "x");
    test::writeFile(home.path("Charts/Data.xml"), "x");
    test::writeFile(home.path("Charts/keep.swf"), "x");
    StartWindow w(launcher);
    w.show();
    w.close();
    EXPECT_EQ(launcher.quits, 1);
    EXPECT_FALSE(QFile::exists(home.path("Charts/Chart.html")));
    EXPECT_FALSE(QFile::exists(home.path("Charts/Data.xml")));
    EXPECT_TRUE(QFile::exists(home.path("Charts/keep.swf")));
}

TEST(WaitWindow, ShowsOnlyAfterASecond) {
    test::TempHome home;
    os::ManualClock clock;
    General::MostrarEspera(true);
    ASSERT_NE(General::WaitWindow(), nullptr);
    EXPECT_EQ(General::WaitWindow()->wB->readyState(), 4);
    clock.advance(999);
    EXPECT_FALSE(General::WaitWindow()->isVisible());
    clock.advance(1);
    EXPECT_TRUE(General::WaitWindow()->isVisible());
    EXPECT_TRUE(General::WaitWindow()->wB->plainText().contains("Please wait"));
    General::MostrarEspera(false);
    EXPECT_EQ(General::WaitWindow(), nullptr);

    // A wait that ends within the second never shows the window.
    General::MostrarEspera(true);
    QPointer<frmNavigator> w = General::WaitWindow();
    clock.advance(500);
    General::MostrarEspera(false);
    EXPECT_TRUE(w.isNull());
}

// Ctrl+O on the start window is its "Open Cube"; "Open Last" appears as soon as a last cube is
// recorded, whenever the window comes back.
TEST_F(StartupFixture, CtrlOOpensACubeAndOpenLastFollowsTheRecordedCube) {
    StartWindow w(launcher);
    w.Form_Load();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(opened[0].Abrir);
    EXPECT_EQ(opened[0].PathCubo, "");
    EXPECT_FALSE(w.lblOpenLast->isVisible());
    // A viewer records a cube and closes: the start window shows itself again.
    os::SaveSetting("OE", "CUBO", "ULTIMO", "/cubes/last.cub");
    w.hide();
    w.Terminar();
    EXPECT_TRUE(w.lblOpenLast->isVisible());
}
