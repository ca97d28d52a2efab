// The new-cube chooser: its picture buttons and hint, the file dialog, the information dialogs of the
// server kinds, the arguments it gives NuevoCubo, unusable files, and new cubes made from a file.
#include "common/TestSupport.h"
#include "designer/Campos.h"
#include "designer/ConnectionInfoDialogs.h"
#include "designer/FrmNewCube.h"
#include "designer/RefreshTestCube.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/FileImport.h"
#include "platform/os/Desktop.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "shell/FrmMain.h"
#include "shell/General.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct RecordingLauncher : FrmMain::Launcher {
    std::vector<FrmMain::NewCubeArgs> opened;
    void openCube(FrmMain&, const FrmMain::NewCubeArgs& a) override { opened.push_back(a); }
    void quit() override {}
};

// A start window with the language texts loaded, a scripted file dialog and scripted prompts. The
// chooser is opened through the start window's "New Cube" and driven by `drive`.
struct Wizard : ::testing::Test {
    bd::test::TempHome home;
    RecordingLauncher launcher;
    bd::os::ScriptedFileDialogs dialogs;
    bd::os::ScopedPrompter p;
    FrmMain main;

    void SetUp() override {
        General::CargarIdioma();
        General::sIdioma = "en";
        bd::os::setFileDialogs(&dialogs);
        main.setLauncher(&launcher);
        main.show();
    }
    void TearDown() override {
        bd::os::setFileDialogs(nullptr);
        main.setLauncher(nullptr);
    }

    // Runs "New Cube"; drive gets the chooser and every other modal dialog shown meanwhile.
    void newCube(const std::function<void(QDialog*)>& drive) {
        bd::os::ScopedDialogHandler h([&](QDialog* d) {
            drive(d);
            return d->result();
        });
        main.cmdNuevoCubo->click();
    }
    // Runs "New Cube" and clicks one button of the chooser; info dialogs are answered by info.
    void choose(QToolButton* FrmNewCube::*button, const std::function<void(QDialog*)>& info = {}) {
        newCube([&](QDialog* d) {
            if (auto* ch = qobject_cast<FrmNewCube*>(d)) {
                (ch->*button)->click();
                EXPECT_FALSE(ch->isVisible());
            } else if (info) {
                info(d);
            }
        });
    }
};

} // namespace

TEST_F(Wizard, CancelOrAnEmptyNameCreatesNothingAndTheChooserStays) {
    dialogs.answers = {std::nullopt, QString(), std::nullopt};
    bool visible = true;
    newCube([&](QDialog* d) {
        auto* ch = qobject_cast<FrmNewCube*>(d);
        ASSERT_TRUE(ch);
        ch->cmdExcel->click();
        ch->cmdExcel->click();
        ch->cmdAccess->click();
        visible = ch->isVisible();
        ch->reject();
    });
    EXPECT_TRUE(visible);
    EXPECT_TRUE(launcher.opened.empty());
    ASSERT_EQ(dialogs.requests.size(), 3);
    const QString titles[] = {"Choose an MS Excel file", "Choose an MS Excel file",
                              "Choose an MS Access file"};
    const QString filters[] = {"Excel Files|*.xls;*.xlsx;*.csv|all|*.*",
                               "Excel Files|*.xls;*.xlsx;*.csv|all|*.*", "Access db|*.mdb;*.accdb|all|*.*"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(dialogs.requests[i].title, titles[i]);
        EXPECT_EQ(dialogs.requests[i].filter, filters[i]);
        EXPECT_FALSE(dialogs.requests[i].save);
    }
    EXPECT_TRUE(p->prompts.isEmpty());
}

TEST_F(Wizard, AChosenFileGivesNuevoCuboItsKindAndPath) {
    const QString csv = home.path("sales.csv");
    ASSERT_TRUE(bd::test::writeFile(csv, "Region,Amount\nN,1\n"));
    const QString mdb = bd::test::sharedDir() + "/fixtures/desktop-db/users.mdb";
    const QString xls = bd::test::fixturesDir() + "/db/bddata.xls";
    struct Case {
        QToolButton* FrmNewCube::*button;
        QString dbFile, type;
    } cases[] = {{&FrmNewCube::cmdExcel, csv, "EXCEL"},
                 {&FrmNewCube::cmdExcel, xls, "EXCEL"},
                 {&FrmNewCube::cmdAccess, mdb, "ACCESS"}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.dbFile.toStdString());
        launcher.opened.clear();
        dialogs.answers = {k.dbFile};
        choose(k.button);
        ASSERT_EQ(launcher.opened.size(), 1u) << p->texts().join("|").toStdString();
        const FrmMain::NewCubeArgs& a = launcher.opened[0];
        EXPECT_EQ(a.IdCube, "Nuevo Cubo");
        EXPECT_EQ(a.Conexion, "");
        EXPECT_EQ(a.Query, "");
        EXPECT_FALSE(a.Abrir);
        EXPECT_FALSE(a.CuboEjemplo);
        EXPECT_EQ(a.PathCubo, "");
        EXPECT_EQ(a.PathMSFile, QFileInfo(k.dbFile).absoluteFilePath());
        EXPECT_EQ(a.Tipo, k.type);
    }
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("|").toStdString();
}

TEST_F(Wizard, ServerKindsShowTheirInstructionsAndGoOnHoweverTheyAreClosed) {
    enum Closing { Ok, CloseButton, Escape };
    struct Case {
        QToolButton* FrmNewCube::*button;
        QString dialog, title, key, type;
        Closing closing;
    } cases[] = {
        {&FrmNewCube::cmdSql, "frmSqlCon", "Sql Server", "frmSqlCon.lblgen", "MSSQL", Ok},
        {&FrmNewCube::cmdOracle, "frmOracleCon", "Oracle", "frmOracleCon.lblgen", "ORACLE", CloseButton},
        {&FrmNewCube::cmdMySql, "frmMySqlCon", "MySql", "frmMySqlCon.lblgen", "MYSQL", Escape},
        {&FrmNewCube::cmdOtroTipo, "", "", "", "OTHER", Ok},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.type.toStdString());
        launcher.opened.clear();
        QStringList seenOnes;
        choose(k.button, [&](QDialog* d) {
            seenOnes << d->objectName();
            auto* info = qobject_cast<ConnectionInfoDialog*>(d);
            ASSERT_TRUE(info);
            EXPECT_EQ(d->windowTitle(), k.title);
            const QString text = main.GLV(k.key).replace("\r\n", "\n");
            EXPECT_GT(text.size(), 80);
            EXPECT_EQ(info->lblGen->text(), text);
            EXPECT_EQ(info->cmdAceptar->text(), "OK");
            EXPECT_FALSE(info->picture->pixmap().isNull());
            if (k.closing == Ok) info->cmdAceptar->click();
            if (k.closing == CloseButton) d->close();
            if (k.closing == Escape) QTest::keyClick(d, Qt::Key_Escape);
            EXPECT_FALSE(d->isVisible());
        });
        EXPECT_EQ(seenOnes, k.dialog.isEmpty() ? QStringList() : QStringList{k.dialog});
        ASSERT_EQ(launcher.opened.size(), 1u);
        const FrmMain::NewCubeArgs& a = launcher.opened[0];
        EXPECT_EQ(a.IdCube, "New Cube");
        EXPECT_EQ(a.Conexion, "");
        EXPECT_EQ(a.Query, "");
        EXPECT_FALSE(a.Abrir || a.CuboEjemplo);
        EXPECT_EQ(a.PathCubo, "");
        EXPECT_EQ(a.PathMSFile, "");
        EXPECT_EQ(a.Tipo, k.type);
    }
    EXPECT_TRUE(dialogs.requests.isEmpty());
}

TEST_F(Wizard, TheHintFollowsThePointerAndStaysWhenItLeaves) {
    newCube([&](QDialog* d) {
        auto* ch = qobject_cast<FrmNewCube*>(d);
        ASSERT_TRUE(ch);
        // The headless screen gives the pointer to the first window under it, stacked or not.
        main.hide();
        EXPECT_EQ(ch->windowTitle(), "Choose a database type");
        EXPECT_EQ(ch->lblDatos->text(), main.GLV("FrmNewCube.lblDatos").replace("\r\n", "\n"));
        EXPECT_FALSE(ch->lblDatos->text().isEmpty());
        EXPECT_EQ(ch->Label1->text(), "");
        const std::pair<QToolButton*, QString> buttons[] = {
            {ch->cmdSql, "Microsoft Sql Server"}, {ch->cmdAccess, "Access"}, {ch->cmdExcel, "Excel"},
            {ch->cmdMySql, "MySql Server"},       {ch->cmdOracle, "Oracle"}, {ch->cmdOtroTipo, "Other"}};
        for (const auto& [button, hint] : buttons) {
            QTest::mouseMove(button);
            EXPECT_EQ(ch->Label1->text(), hint) << button->objectName().toStdString();
            EXPECT_FALSE(button->icon().isNull());
        }
        // Off the buttons, the last hint stays.
        QTest::mouseMove(ch->lblDatos);
        EXPECT_EQ(ch->Label1->text(), "Other");
        QTest::mouseMove(ch->cmdSql);
        EXPECT_EQ(ch->Label1->text(), "Microsoft Sql Server");
        ch->grab().save(QDir::tempPath() + "/brintova-new-cube-chooser.png");
        frmOracleCon info(&main, ch);
        info.show();
        info.grab().save(QDir::tempPath() + "/brintova-oracle-info.png");
        ch->reject();
    });
    EXPECT_TRUE(launcher.opened.empty());
}

// A file that cannot make a cube is told in a message and the chooser stays for another choice.
TEST_F(Wizard, AnUnusableFileIsReportedAndTheChooserStaysUsable) {
    const QString folder = home.path("a folder.xlsx");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString fakeWorkbook = home.path("not a workbook.xlsx");
    ASSERT_TRUE(bd::test::writeFile(fakeWorkbook, "just some text\n"));
    const QString pipe = home.path("pipe.csv");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString good = home.path("good.csv");
    ASSERT_TRUE(bd::test::writeFile(good, "A,B\n1,2\n"));
    struct Case {
        QString dbFile, message;
    } cases[] = {
        {home.path("gone.xlsx"), "cannot be opened: No such file or directory."},
        {folder, "cannot be opened: it is not a data file."},
        {pipe, "cannot be opened: it is not a data file."},
        {fakeWorkbook, "cannot be read"},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    // Whoever runs as root reads every file.
    if (::geteuid() != 0) {
        const QString closed = home.path("locked.csv");
        ASSERT_TRUE(bd::test::writeFile(closed, "A\n1\n"));
        ASSERT_EQ(::chmod(QFile::encodeName(closed).constData(), 0), 0);
        all.push_back({closed, "cannot be opened: Permission denied."});
    }
    for (const Case& k : all) {
        SCOPED_TRACE(k.dbFile.toStdString());
        p->prompts.clear();
        dialogs.answers = {k.dbFile, good};
        bool stayed = false;
        newCube([&](QDialog* d) {
            auto* ch = qobject_cast<FrmNewCube*>(d);
            ASSERT_TRUE(ch);
            ch->cmdExcel->click();
            stayed = ch->isVisible() && ch->result() == 0;
            // Nothing is lost: the next choice goes through.
            ch->cmdExcel->click();
        });
        EXPECT_TRUE(stayed);
        ASSERT_EQ(p->prompts.size(), 1);
        EXPECT_EQ(p->prompts[0].title, "Error");
        EXPECT_TRUE(p->prompts[0].text.contains(QDir::toNativeSeparators(k.dbFile)))
            << p->prompts[0].text.toStdString();
        EXPECT_TRUE(p->prompts[0].text.contains(k.message)) << p->prompts[0].text.toStdString();
        ASSERT_EQ(launcher.opened.size(), 1u);
        EXPECT_EQ(launcher.opened.back().PathMSFile, good);
        launcher.opened.clear();
    }
}

TEST(NewCubeFiles, ConnectionStringsForTheChoosersFileKinds) {
    using bd::db::Engine;
    struct Case {
        QString dbFile, type, expectedConnection;
        Engine engine;
    } cases[] = {
        {"/d/Sales.xlsx", "EXCEL",
         "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/d/Sales.xlsx;Extended Properties=\"Excel "
         "8.0;HDR=YES\";",
         Engine::Excel},
        {"/d/old.xls", "EXCEL",
         "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/d/old.xls;Extended Properties=\"Excel "
         "8.0;HDR=YES\";",
         Engine::Excel},
        {"/d/Sales.CSV", "EXCEL",
         "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/d/Sales.CSV;Extended "
         "Properties=\"text;HDR=YES;FMT=Delimited\";",
         Engine::Csv},
        {"/d/db.mdb", "ACCESS", "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/d/db.mdb", Engine::Access},
        {"/d/a;b=c.accdb", "ACCESS", "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=\"/d/a;b=c.accdb\"",
         Engine::Access},
        {"/d/x.xlsx", "OTHER", "", Engine::Unsupported},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.dbFile.toStdString());
        const QString cs = Campos::dataFileConnection(k.dbFile, k.type);
        EXPECT_EQ(cs, k.expectedConnection);
        const bd::db::EngineChoice e = bd::db::chooseEngine(cs, "/app");
        EXPECT_EQ(e.engine, k.engine);
        if (k.engine != Engine::Unsupported) {
            EXPECT_EQ(e.file, k.dbFile);
        }
    }
}

namespace {

// The cube the real start window made: its viewer, from the windows on screen.
QPointer<Cubo> newViewer() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* v = qobject_cast<Cubo*>(w)) return v;
    return nullptr;
}

struct EndToEnd {
    QToolButton* FrmNewCube::*button;
    QString dbFile, type;
    QString table; // the list entry to take, "" = the first one
    QString sql, measure, dimension;
};

// From "New Cube" to a shown viewer over the file: the designer opens with the file's first table
// in its query, Next discovers the fields, and OK runs the query into the pivot.
void endToEnd(const EndToEnd& e) {
    bd::test::TempHome home;
    General::CargarIdioma();
    General::sIdioma = "en";
    bd::db::clearImportCache();
    bd::os::ScriptedFileDialogs dialogs;
    dialogs.answers = {e.dbFile};
    bd::os::setFileDialogs(&dialogs);
    bd::os::ScopedPrompter p;
    FrmMain main;
    main.show();
    {
        bd::os::ScopedDialogHandler h([&](QDialog* d) {
            if (auto* ch = qobject_cast<FrmNewCube*>(d)) (ch->*e.button)->click();
            return d->result();
        });
        main.cmdNuevoCubo->click();
    }
    bd::os::setFileDialogs(nullptr);
    QPointer<Cubo> viewer = newViewer();
    ASSERT_TRUE(viewer) << p->texts().join("|").toStdString();
    QPointer<Campos> c = viewer->Vcampos;
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->isVisible());
    EXPECT_EQ(c->txtConeccion->toPlainText(), Campos::dataFileConnection(e.dbFile, e.type));
    EXPECT_EQ(c->cmbEngine->currentText(), e.type);
    EXPECT_EQ(viewer->VinsCube->DBEngine, e.type);
    ASSERT_GT(c->cmbTbl->count(), 0);
    if (!e.table.isEmpty()) {
        c->cmbTbl->setCurrentText(e.table);
        c->cmbTbl_Click();
    }
    EXPECT_EQ(c->txtQuery->toPlainText(), e.sql);
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("|").toStdString();

    c->cmdSiguiente->click();
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("|").toStdString();
    EXPECT_EQ(c->SSTab1->currentIndex(), 1);
    ASSERT_TRUE(Campos::HayCampos(*c->spCam));
    EXPECT_TRUE(c->EstaEnGrilla(*c->spCam, e.measure));
    EXPECT_TRUE(c->EstaEnGrilla(*c->spCam, e.dimension));
    c->spCal->setText(Campos::ColMedida, 1, e.measure);
    c->spCal->setText(Campos::ColVisible, 1, "1");
    c->spCal->setText(Campos::ColAgregado, 1, "Sum");
    c->cmdAceptar->click();
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("|").toStdString();
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_GT(viewer->DC->fields().count(), 0);
    EXPECT_GT(viewer->DC->resultRows(), 0);
    delete viewer.data();
}

} // namespace

TEST(NewCubeFromAFile, CsvChosenAsExcel) {
    bd::test::TempHome data(false);
    const QString csv = data.path("sales.csv");
    ASSERT_TRUE(bd::test::writeFile(csv, "Region,Amount\nNorth,10\nSouth,2.5\nNorth,4\n"));
    endToEnd({&FrmNewCube::cmdExcel, csv, "EXCEL", "TBL --> sales.csv", "SELECT * FROM [SALES.CSV]", "Amount",
              "Region"});
}

TEST(NewCubeFromAFile, AccessDatabase) {
    endToEnd({&FrmNewCube::cmdAccess, bd::test::sharedDir() + "/fixtures/desktop-db/users.mdb", "ACCESS",
              "TBL --> Users", "SELECT * FROM USERS", "UserValue", "UserName"});
}
