// A new cube made through the designer alone: the data-link dialog, Test, Next, discovery, OK.
#include "designer/DesignerTestSupport.h"
#include "platform/db/DbTestData.h"
#include "platform/os/Clock.h"
#include "platform/os/Prompter.h"
#include "shell/General.h"

#include <QApplication>

using namespace designertest;
using bd::os::Answer;

namespace {

struct Source {
    std::function<void(bd::db::DataLinkDialog&)> fill;
    QString engine;    // chosen in the designer
    QString table;     // the list entry to take, "" = the first one
    QString sql;       // the SQL that entry gives
    QString measure;   // a numeric column
    QString dimension; // a text column
};

void newCube(const Source& f) {
    bd::test::TempHome home(false);
    bd::os::ManualClock clock;
    bd::os::ScopedPrompter p;
    QPointer<InsCube> cube = new InsCube;
    cube->CubeId = "Nuevo";
    cube->ShowCube(false, false, {}, {}, {});
    QPointer<Cubo> viewer = cube->viewer;
    ASSERT_TRUE(viewer);
    QPointer<Campos> c = viewer->Vcampos;
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->isVisible());
    EXPECT_FALSE(viewer->isVisible());

    // The activation opens the data-link dialog a moment later.
    DataLink dl{f.fill};
    c->Form_Activate();
    clock.advance(1000);
    ASSERT_EQ(dl.shown, 1);
    ASSERT_GT(c->cmbTbl->count(), 0) << c->txtConeccion->toPlainText().toStdString();
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("|").toStdString();

    c->comProbarCnn->click();
    ASSERT_EQ(p->texts(), QStringList{"The connection test was successful"});

    // The kind chosen in the dialog gave the engine: Next does not ask for it.
    EXPECT_EQ(c->cmbEngine->currentText(), f.engine);
    EXPECT_FALSE(refreshtest::paintedAsError(c->cmbEngine));
    if (!f.table.isEmpty()) {
        c->cmbTbl->setCurrentText(f.table);
        c->cmbTbl_Click();
    }
    EXPECT_EQ(c->txtQuery->toPlainText(), f.sql);
    c->cmdSiguiente->click();
    ASSERT_EQ(p->prompts.size(), 1) << p->texts().join("|").toStdString();
    EXPECT_EQ(c->SSTab1->currentIndex(), 1);
    EXPECT_EQ(General::GetSetting("OE", "CUBO", "LASTCNN"), c->txtConeccion->toPlainText());
    EXPECT_EQ(General::GetSetting("OE", "CUBO", "LASTSQL"), f.sql);
    ASSERT_TRUE(Campos::HayCampos(*c->spCam));
    EXPECT_TRUE(c->EstaEnGrilla(*c->spCam, f.measure));
    EXPECT_TRUE(c->EstaEnGrilla(*c->spCam, f.dimension));

    // The measure the user adds with the grid's arrow.
    c->spCal->setText(Campos::ColMedida, 1, f.measure);
    c->spCal->setText(Campos::ColVisible, 1, "1");
    c->spCal->setText(Campos::ColAgregado, 1, "Sum");
    c->cmdAceptar->click();
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_FALSE(c->isVisible());
    EXPECT_GT(viewer->DC->fields().count(), 0);
    EXPECT_GT(viewer->DC->resultRows(), 0);
    EXPECT_EQ(p->prompts.size(), 1) << p->texts().join("|").toStdString();
    delete viewer.data();
}

std::function<void(bd::db::DataLinkDialog&)> server(bd::db::DataLinkDialog::Kind k,
                                                    const bd::dbtest::Server& s) {
    return [k, s](bd::db::DataLinkDialog& d) {
        d.setKind(k);
        d.txtHost->setText(s.host);
        d.txtPort->setValue(s.port);
        d.txtDatabase->setText(s.db);
        d.txtUser->setText(s.user);
        d.txtPassword->setText(s.password);
        d.chkSavePassword->setChecked(true);
    };
}

std::optional<bd::dbtest::Server> testServer(const char* prefix) {
    auto s = bd::dbtest::server(prefix);
    if (!s && bd::dbtest::inCi()) ADD_FAILURE() << "CI must provide the test servers";
    return s;
}

} // namespace

TEST(DesignerNewCube, FromASqliteFile) {
    bd::test::TempHome data(false);
    const QString dbFile = data.path("ventas.db");
    refreshtest::runSql(dbFile, {"create table Ventas (REGION varchar(10), AMT real)",
                                 "insert into Ventas values ('N', 1), ('S', 2)"});
    newCube({sqliteFile(dbFile), "OTHER", {}, "SELECT * FROM `Ventas`", "AMT", "REGION"});
}

TEST(DesignerNewCube, FromMariaDbThroughTheDataLinkDialog) {
    const auto s = testServer("MYSQL");
    if (!s) GTEST_SKIP() << "no MYSQL test server";
    ASSERT_EQ(bd::dbtest::createServerTable("QMYSQL", *s, "DesignerCube"), "");
    newCube({server(bd::db::DataLinkDialog::MySql, *s), "MYSQL", "TBL --> DesignerCube",
             "SELECT * FROM `DesignerCube`", "Qty", "Name"});
}

TEST(DesignerNewCube, FromPostgreSqlKeepingTheMixedCaseName) {
    const auto s = testServer("PGSQL");
    if (!s) GTEST_SKIP() << "no PGSQL test server";
    ASSERT_EQ(bd::dbtest::createServerTable("QPSQL", *s, "DesignerCube"), "");
    newCube({server(bd::db::DataLinkDialog::PostgreSql, *s), "OTHER", "TBL --> DesignerCube",
             "SELECT * FROM \"DesignerCube\"", "Qty", "Name"});
}

// The pane of an offered filter stands at the first OK of a new cube, whatever size the viewer
// takes: the saved size of the last viewer brings no resize after the viewer is shown.
TEST(DesignerNewCube, AnOfferedFilterShowsItsPaneAtTheFirstOk) {
    for (const bool savedSize : {false, true}) {
        SCOPED_TRACE(savedSize ? "size of the last viewer" : "first viewer");
        bd::test::TempHome home(false);
        bd::os::ManualClock clock;
        bd::os::ScopedPrompter p;
        const QString dbFile = home.path("ventas.db");
        refreshtest::runSql(dbFile, {"create table Ventas (REGION varchar(10), AMT real)",
                                     "insert into Ventas values ('N', 1), ('S', 2)"});
        if (savedSize) {
            Cubo previous;
            previous.resize(900, 700);
            General::SaveSetting("OE", "CUBO", "VIEWER_GEOMETRY", previous.saveGeometry().toBase64());
        }
        QPointer<InsCube> cube = new InsCube;
        cube->ShowCube(false, false, {}, {}, {});
        QPointer<Cubo> viewer = cube->viewer;
        ASSERT_TRUE(viewer);
        QPointer<Campos> c = viewer->Vcampos;
        DataLink dl{sqliteFile(dbFile)};
        c->Form_Activate();
        clock.advance(1000);
        c->cmdSiguiente->click();
        ASSERT_TRUE(c->EstaEnGrilla(*c->spCam, "REGION"));
        c->spCal->setText(Campos::ColMedida, 1, "AMT");
        c->spCal->setText(Campos::ColVisible, 1, "1");
        c->spCal->setText(Campos::ColAgregado, 1, "Sum");
        c->cmdShowFilters_Click();
        for (int r = 1; r <= c->spCam->maxRows(); ++r)
            if (c->spCam->text(Campos::ColCampo, r) == "REGION") c->spCam_ButtonClicked(3, r, false);
        // The designer belongs to its viewer's window: the window manager keeps it above the viewer.
        EXPECT_EQ(c->parentWidget(), viewer.data());
        EXPECT_TRUE(c->isWindow());
        c->cmdAceptar->click();
        ASSERT_TRUE(viewer->isVisible());
        EXPECT_TRUE(viewer->ToolChecked(Cubo::ToolFilterPane));
        EXPECT_TRUE(viewer->spUsrFil->isVisible());
        EXPECT_EQ(viewer->spUsrFil->maxRows(), 1);
        EXPECT_GE(viewer->spUsrFil->height(), 40);
        EXPECT_TRUE(viewer->SplitFil->Visible());
        EXPECT_GE(viewer->DC->y(), viewer->spUsrFil->geometry().bottom());
        delete viewer.data();
    }
}
