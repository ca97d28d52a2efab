// The viewer's main toolbar: its tools, and the command each tool's name runs.
#include "common/TestSupport.h"
#include "platform/os/AppPath.h"
#include "platform/os/Clock.h"
#include "platform/os/Desktop.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "platform/zip/Zip.h"
#include "publishing/Export.h"
#include "shell/FrmMain.h"
#include "shell/General.h"
#include "viewer/RankForm.h"
#include "viewer/ViewerTestSupport.h"

#include <QDialog>
#include <QTest>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace bd;
using bd::toolbar::Tool;

namespace {

struct ToolbarFixture : ::testing::Test {
    test::TempHome home{true};
    os::ScopedPrompter prompts;
    os::ScriptedFileDialogs dialogs;
    test::ScriptedFileWrites writes;
    int dialogos = 0;
    QStringList clasesDialogo;
    os::ScopedDialogHandler runner{[this](QDialog* d) {
        ++dialogos;
        clasesDialogo << d->metaObject()->className();
        return 0;
    }};
    // The cubes the start window is asked to open, as "id|connection|query".
    struct RecordingLauncher : FrmMain::Launcher {
        QStringList created;
        void openCube(FrmMain&, const FrmMain::NewCubeArgs& a) override {
            created << a.IdCube + "|" + a.Conexion + "|" + a.Query;
        }
    } launcher;
    QStringList& created = launcher.created;
    FrmMain start;
    std::unique_ptr<test::LinkedViewer> w = std::make_unique<test::LinkedViewer>();

    void SetUp() override {
        w->cube->Vparent = &start;
        os::setFileDialogs(&dialogs);
        start.setLauncher(&launcher);
        QString error;
        ASSERT_TRUE(test::FillExampleCube(*w, &error)) << error.toStdString();
    }
    void TearDown() override {
        os::setFileDialogs(nullptr);
        if (w->v) w->v->Salvar = false;
    }
    Tool* tool(const QString& band, const QString& name) {
        auto* b = w->v->AB->band(band);
        return b ? b->tool(name) : nullptr;
    }
    bool press(const QString& band, const QString& name) {
        Tool* t = tool(band, name);
        EXPECT_NE(t, nullptr) << band.toStdString() << " " << name.toStdString();
        return t && w->v->AB->clickTool(t);
    }
};

} // namespace

TEST_F(ToolbarFixture, ChartAndFilterToolsKeepTheirIdsAndAreCheckTools) {
    Tool* grafico = tool("Band2", "noGrph");
    Tool* filters = tool("Band2", "Filters");
    ASSERT_TRUE(grafico && filters);
    EXPECT_EQ(grafico->id(), Cubo::ToolNoChart);
    EXPECT_EQ(grafico->caption(), "Charts");
    EXPECT_EQ(filters->id(), Cubo::ToolFilterPane);
    EXPECT_EQ(grafico->style(), toolbar::ToolStyle::Check);
    EXPECT_EQ(filters->style(), toolbar::ToolStyle::Check);
    // The bar's tools show the states the cube file saves.
    EXPECT_TRUE(filters->checked());
    w->v->SetToolChecked(Cubo::ToolFilterPane, false);
    EXPECT_FALSE(filters->checked());
    w->v->SetToolChecked(Cubo::ToolNoChart, true);
    EXPECT_TRUE(grafico->checked());
    EXPECT_EQ(tool("&Archivo", "Abrir Último")->caption(), "Open Last");
    EXPECT_EQ(w->v->AB->band("&Archivo")->kind(), toolbar::BandKind::Menu);
}

// Fields and Config. bring the designer to the front, also when it was left open behind the viewer.
TEST_F(ToolbarFixture, FieldsBringsTheDesignerToTheFront) {
    General::SaveSetting("OE", "CUBO", "FRMCUBO_INIT", "3"); // no drag hint over the viewer
    w->v->show();
    w->c->show();
    for (const char* tool : {"vSeleccionar Campos", "AdvConfig"}) {
        w->v->activateWindow();
        QApplication::processEvents();
        ASSERT_EQ(QApplication::activeWindow(), w->v.data());
        ASSERT_TRUE(press("Band2", QString::fromLatin1(tool)));
        QApplication::processEvents();
        EXPECT_TRUE(w->c->isVisible()) << tool;
        EXPECT_EQ(QApplication::activeWindow(), w->c.data()) << tool;
    }
}

// The menus read in the user's language: tools whose caption is not fixed show an English one.
TEST_F(ToolbarFixture, MenuCaptionsAreEnglish) {
    EXPECT_EQ(w->v->AB->band("&Archivo")->caption(), "&File");
    EXPECT_EQ(tool("&Archivo", "Nuevo")->caption(), "New");
    EXPECT_EQ(tool("Bconfig", "&Seleccionar Campos")->caption(), "Select Fields");
    EXPECT_EQ(tool("&Archivo", "Guardar")->caption(), "&Save");
}

// Every tool: its command key and what its click does. Commands of later work say they are not
// available; unknown keys do nothing.
TEST_F(ToolbarFixture, EachToolNameRunsItsCommand) {
    General::SaveSetting("OE", "CUBO", "ULTIMO", home.path("Last.cub"));
    struct Case {
        const char *band, *name, *key, *effect;
    } casos[] = {
        {"&Archivo", "Nuevo", "NUEVO", "new Dovrane||"},
        {"&Archivo", "Guardar", "GUARDAR", "save dialog"},
        {"Band2", "Guardar", "GUARDAR", "save dialog"},
        {"&Archivo", "SaveAs", "SAVEAS", "save dialog"},
        {"&Archivo", "Abrir", "ABRIR", "open dialog"},
        {"Band2", "Abrir", "ABRIR", "open dialog"},
        {"&Archivo", "Abrir Último", "ABRIR ÚLTIMO", "open Last.cub"},
        {"&Archivo", "Vista Previa", "VISTA PREVIA", "preview"},
        {"Band2", "Vista Previa", "VISTA PREVIA", "preview"},
        {"&Archivo", "Exportar", "EXPORTAR", "export"},
        {"Band2", "Exportar", "EXPORTAR", "export"},
        {"&Archivo", "Imprimir Gráfico", "IMPRIMIR GRÁFICO", "print dialog"},
        {"&Archivo", "Imprimir Pantalla", "IMPRIMIR PANTALLA", "print dialog"},
        {"&Archivo", "&Guardar Estructura", "GUARDAR ESTRUCTURA", ""},
        {"&Archivo", "Protect", "PROTECT", "protect"},
        {"Band2", "Rank", "RANK", "sort dialog"},
        {"Band2", "Filters", "FILTERS", "filters"},
        {"Band2", "noGrph", "NOGRPH", "chart"},
        {"Band2", "Conectar", "CONECTAR", "refresh"},
        {"Band2", "vSeleccionar Campos", "VSELECCIONAR CAMPOS", "designer tab 1"},
        {"Band2", "AdvConfig", "ADVCONFIG", "designer tab 2"},
        {"Band2", "Scheduler", "SCHEDULER",
         "message: You must to save the cube first message: Do you want to save ?"},
        // An unsaved cube is saved first; this user cancels the dialog.
        {"Band2", "WebView", "WEBVIEW", "save dialog message: You must save file."},
        {"Band2", "3dLine", "3DLINE", ""},
        {"Band2", "2dCombination", "2DCOMBINATION", ""},
        {"Band2", "Apilar Series", "APILAR SERIES", ""},
        {"Band2", "Graphic Limit", "GRAPHIC LIMIT", ""},
        {"Bconfig", "&Seleccionar Campos", "SELECCIONAR CAMPOS", ""},
        {"Bconfig", "Advanced Settings", "ADVANCED SETTINGS", "designer"},
        {"&Archivo", "Salir", "SALIR",
         "exit message: Email alert field is checked. Do you want to send email alerts ?"},
    };
    for (const Case& k : casos) {
        const QString name = QString::fromUtf8(k.name);
        SCOPED_TRACE(name.toStdString());
        Tool* t = tool(k.band, name);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->key(), QString::fromUtf8(k.key));
        prompts->prompts.clear();
        dialogs.requests.clear();
        created.clear();
        dialogos = 0;
        clasesDialogo.clear();
        w->c->UltimaConsultaSQL.clear();
        w->c->hide();
        w->v->show();
        const bool filters = w->v->ToolChecked(Cubo::ToolFilterPane);
        const bool grafico = w->v->ToolChecked(Cubo::ToolNoChart);
        const QPointer<Cubo> v = w->v;
        // The scheduler asks to save an unsaved cube first: this user declines.
        if (name == "Scheduler") {
            prompts->answer(os::Answer::Ok);
            prompts->answer(os::Answer::No);
        }
        // The example's alert range has cells in it: closing asks whether to mail them; this user declines.
        if (name == "Salir") prompts->answer(os::Answer::No);
        if (t->visible())
            ASSERT_TRUE(w->v->AB->clickTool(t));
        else
            w->v->AB_ToolClick(t); // the hidden chart-style tools

        QStringList efecto;
        if (!created.isEmpty()) efecto << "new " + created.join(",");
        for (const auto& r : dialogs.requests)
            efecto << (r.save ? "save dialog" : "open dialog");
        for (const QString& clase : clasesDialogo)
            efecto << (clase == "QPrintDialog" ? "print dialog"
                       : clase == "frmProtect" ? "protect"
                       : clase == "RankForm"   ? "sort dialog"
                                               : "preview");
        if (Export::loaded() && Export::instance()->isVisible()) efecto << "export";
        Export::unload();
        if (!v || !v->isVisible()) {
            efecto << "exit";
        } else {
            if (w->c->isVisible()) efecto << QString("designer tab %1").arg(w->c->SSTab1->currentIndex());
            if (w->c->isVisible() && name == "Advanced Settings") efecto.last() = "designer";
            if (filters != v->ToolChecked(Cubo::ToolFilterPane)) efecto << "filters";
            if (grafico != v->ToolChecked(Cubo::ToolNoChart)) efecto << "chart";
            if (!w->c->UltimaConsultaSQL.isEmpty()) efecto << "refresh";
        }
        for (const auto& p : prompts->prompts) {
            if (p.text.contains("not available"))
                efecto << "not available";
            else if (p.text.contains("Last.cub"))
                efecto << "open Last.cub";
            else
                efecto << "message: " + p.text;
        }
        EXPECT_EQ(efecto.join(' ').toStdString(), k.effect);
        if (v) v->Salvar = false; // the scheduler marks the cube changed
        if (v) v->TimerWait_Timer();
    }
}

TEST_F(ToolbarFixture, TheChartToolHidesAndShowsTheChartAndTheStateIsSaved) {
    w->v->show();
    ASSERT_FALSE(w->v->ToolChecked(Cubo::ToolNoChart));
    for (bool oculto : {true, false}) {
        SCOPED_TRACE(oculto);
        ASSERT_TRUE(press("Band2", "noGrph"));
        EXPECT_EQ(w->v->ToolChecked(Cubo::ToolNoChart), oculto);
        EXPECT_EQ(tool("Band2", "noGrph")->checked(), oculto);
        EXPECT_EQ(w->v->CHA->isVisibleTo(w->v), !oculto);
        // The toolbars wait for TimerWait.
        EXPECT_FALSE(w->v->AB->isEnabled());
        EXPECT_TRUE(w->v->TimerWait->isEnabled());
        w->v->TimerWait_Timer();
        EXPECT_TRUE(w->v->AB->isEnabled() && w->v->ABGraph->isEnabled());

        // The first save asks for the file, the second writes it again.
        const QString path = home.path("chart.cub");
        if (oculto) dialogs.answers << path;
        ASSERT_TRUE(press("Band2", "Guardar"));
        EXPECT_EQ(w->c->spSave->text(Campos::ColProperty, Campos::FilaSinGrafico), oculto ? "1" : "");
        test::LinkedViewer other;
        ASSERT_TRUE(other.v->Abrir(path)) << prompts->texts().join(" / ").toStdString();
        EXPECT_EQ(other.v->ToolChecked(Cubo::ToolNoChart), oculto);
        other.v->Salvar = false;
    }
    EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join(" / ").toStdString();
}

TEST_F(ToolbarFixture, TheChartToolWithoutMeasuresAsksAndLeavesTheToolbarsEnabled) {
    w->c->spCal->setMaxRows(0);
    for (os::Answer a : {os::Answer::No, os::Answer::Yes}) {
        prompts->prompts.clear();
        prompts->answer(a);
        ASSERT_TRUE(press("Band2", "noGrph"));
        ASSERT_EQ(prompts->prompts.size(), 1);
        EXPECT_EQ(prompts->prompts[0].text, "There are not measures. Do you want to define ?");
        EXPECT_EQ(prompts->prompts[0].title, "Not Measures");
        EXPECT_TRUE(w->v->AB->isEnabled());
        EXPECT_TRUE(w->v->ABGraph->isEnabled());
        EXPECT_FALSE(w->v->ToolChecked(Cubo::ToolNoChart));
        EXPECT_EQ(w->c->isVisible(), a == os::Answer::Yes);
        if (a == os::Answer::Yes) {
            EXPECT_EQ(w->c->SSTab1->currentIndex(), 1);
        }
    }
}

TEST_F(ToolbarFixture, SaveWithSaveWithDataUncheckedWritesTheLayoutWithoutData) {
    w->c->chkSaveWData->setChecked(false);
    const QString path = home.path("nodata.cub");
    dialogs.answers << path;
    ASSERT_TRUE(press("&Archivo", "Guardar"));
    QByteArray layout;
    QString error;
    ASSERT_TRUE(zip::readMember(path, "temp.cub", layout, &error)) << error.toStdString();
    EXPECT_TRUE(layout.contains("\"mode\":2")) << layout.left(200).toStdString();
}

// Open and Open Last ask about unsaved changes first; a save the user asked for that does not
// happen keeps this cube.
TEST_F(ToolbarFixture, OpenAndOpenLastAskAboutUnsavedChangesFirst) {
    dialogs.answers << home.path("first.cub");
    ASSERT_TRUE(w->v->Guardar(true, false));
    General::SaveSetting("OE", "CUBO", "ULTIMO", home.path("first.cub"));
    for (const char* name : {"Abrir", "Abrir Último"}) {
        SCOPED_TRACE(name);
        for (os::Answer a : {os::Answer::Yes, os::Answer::No}) {
            // Yes, and the save fails: this cube stays. No: the other cube replaces it unsaved.
            writes.failWith = "disk full";
            w->v->Salvar = true;
            w->c->txtDescripcion->setPlainText("unsaved edit");
            prompts->prompts.clear();
            dialogs.requests.clear();
            prompts->answer(a);
            dialogs.answers << home.path("first.cub");
            ASSERT_TRUE(press("&Archivo", QString::fromUtf8(name)));
            ASSERT_GE(prompts->prompts.size(), 1);
            EXPECT_EQ(prompts->prompts[0].text, "Do you want to save the changes ?");
            EXPECT_EQ(prompts->prompts[0].title, "Save");
            const bool opened = w->c->txtDescripcion->toPlainText() != "unsaved edit";
            EXPECT_EQ(opened, a == os::Answer::No) << prompts->texts().join(" / ").toStdString();
            writes.failWith.clear();
            dialogs.answers.clear();
        }
    }
}

// The sort dialog gets the first row field (the pivot's first field is a page field here).
TEST_F(ToolbarFixture, RankTakesTheFirstRowField) {
    ASSERT_EQ(w->v->DC->fields().item(1)->caption(), "Date");
    QString field;
    os::ScopedDialogHandler rank([&](QDialog* d) {
        auto* r = qobject_cast<RankForm*>(d);
        if (r && r->lstAxisFields->currentItem()) field = r->lstAxisFields->currentItem()->text();
        return int(QDialog::Rejected);
    });
    ASSERT_TRUE(press("Band2", "Rank"));
    EXPECT_EQ(field, "Region");
    EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join(" / ").toStdString();
}

TEST_F(ToolbarFixture, RankWithoutRowFieldsSaysSo) {
    for (auto* f : w->v->DC->rowFields())
        f->setOrientation(pivot::ColumnArea);
    ASSERT_TRUE(w->v->DC->recalculate());
    ASSERT_TRUE(press("Band2", "Rank"));
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].text, "Not rows in the cube");
    EXPECT_EQ(prompts->prompts[0].title, "Drag the headers");
    EXPECT_EQ(prompts->prompts[0].icon, os::Icon::Information);
}

TEST_F(ToolbarFixture, TheFiltersToolShowsAndHidesThePane) {
    w->v->show();
    ASSERT_TRUE(w->v->spUsrFil->isVisible());
    ASSERT_TRUE(press("Band2", "Filters"));
    EXPECT_FALSE(w->v->spUsrFil->isVisible());
    ASSERT_TRUE(press("Band2", "Filters"));
    EXPECT_TRUE(w->v->spUsrFil->isVisible());
    EXPECT_TRUE(prompts->prompts.isEmpty());

    // No filters in the designer: the tool stays unchecked and the user is offered to define them.
    w->c->spFil->setMaxRows(0);
    prompts->answer(os::Answer::No);
    ASSERT_TRUE(press("Band2", "Filters")); // off
    ASSERT_TRUE(press("Band2", "Filters")); // on: none to show
    EXPECT_FALSE(w->v->ToolChecked(Cubo::ToolFilterPane));
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].text, "Do you want to define user filters ?");
    EXPECT_EQ(prompts->prompts[0].title, "User Filters not available");
}

// An error inside a command is shown with its own description, and the toolbars the command
// disabled are enabled again.
TEST_F(ToolbarFixture, AnErrorInsideACommandIsShownAndTheToolbarsComeBack) {
    w->c->spCam->setMaxRows(0); // the refresh stops with a message, which fails here
    bool lanzado = false;
    prompts->onAsk = [&](const os::Prompt&) {
        if (lanzado) return;
        lanzado = true;
        throw std::runtime_error("the message box could not be shown");
    };
    ASSERT_TRUE(press("Band2", "Conectar"));
    prompts->onAsk = nullptr;
    ASSERT_TRUE(lanzado);
    ASSERT_EQ(prompts->prompts.size(), 2);
    EXPECT_EQ(prompts->prompts[1].text, "the message box could not be shown");
    EXPECT_TRUE(w->v->AB->isEnabled());
    EXPECT_TRUE(w->v->ABGraph->isEnabled());
    EXPECT_FALSE(w->v->TimerWait->isEnabled());
    // The next refresh runs again.
    w->c->UltimaConsultaSQL.clear();
    prompts->prompts.clear();
    ASSERT_TRUE(press("Band2", "Conectar"));
    EXPECT_EQ(prompts->prompts.size(), 1); // "No fields were found..." again, not a refresh in progress
}

// The captions name the cube: its name until it has a file, then the file; Save As follows. The
// start window offers "Open Last" as soon as the cube is saved.
TEST_F(ToolbarFixture, TitlesFollowSaveAsAndTheStartWindowOffersOpenLastAtOnce) {
    start.show();
    start.updateOpenLast();
    ASSERT_FALSE(start.lblOpenLast->isVisible());
    EXPECT_EQ(w->v->windowTitle(), "Cube  Example");
    EXPECT_EQ(w->c->windowTitle(), "Cube Designer - Example");
    const QString a = home.path("a.cub"), b = home.path("b.cub");
    dialogs.answers << a;
    ASSERT_TRUE(press("Band2", "Guardar"));
    EXPECT_EQ(w->v->windowTitle(), "Cube  " + a);
    EXPECT_EQ(w->c->windowTitle(), "Cube Designer - " + a);
    EXPECT_TRUE(start.lblOpenLast->isVisible()) << "no activation of the start window needed";
    dialogs.answers << b;
    ASSERT_TRUE(press("&Archivo", "SaveAs"));
    EXPECT_EQ(w->v->windowTitle(), "Cube  " + b);
    EXPECT_EQ(w->c->windowTitle(), "Cube Designer - " + b);
    // A cube opened into another viewer names its own file.
    test::LinkedViewer other;
    ASSERT_TRUE(other.v->Abrir(a));
    EXPECT_EQ(other.v->windowTitle(), "Cube  " + a);
    EXPECT_EQ(other.c->windowTitle(), "Cube Designer - " + a);
    EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join(" / ").toStdString();
}

// An unsaved cube's caption names it once: the default name is the caption's own word.
TEST_F(ToolbarFixture, AnUnsavedCubeIsNamedOnceInTheCaption) {
    const struct {
        QString name, viewer, designer;
    } casos[] = {{"Cube", "Cube", "Cube Designer - Cube"},
                 {"", "Cube", "Cube Designer"},
                 {"Sales", "Cube  Sales", "Cube Designer - Sales"}};
    for (const auto& k : casos) {
        w->c->txtIdCubo->setText(k.name);
        EXPECT_EQ(w->v->windowTitle(), k.viewer) << k.name.toStdString();
        EXPECT_EQ(w->c->windowTitle(), k.designer) << k.name.toStdString();
    }
}

// Ctrl+S, Ctrl+O and F5 run the toolbar's Save, Open and Refresh; a busy toolbar ignores them.
TEST_F(ToolbarFixture, KeysRunTheSaveOpenAndRefreshCommands) {
    w->v->show();
    w->v->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w->v));
    struct Case {
        QKeyCombination keys;
        const char* effect;
    } casos[] = {{Qt::ControlModifier | Qt::Key_S, "save dialog"},
                 {Qt::ControlModifier | Qt::Key_O, "open dialog"},
                 {QKeyCombination(Qt::Key_F5), "refresh"}};
    for (bool ocupada : {false, true})
        for (const Case& k : casos) {
            SCOPED_TRACE(std::string(k.effect) + (ocupada ? " while busy" : ""));
            dialogs.requests.clear();
            w->c->UltimaConsultaSQL.clear();
            w->v->AB->setEnabled(!ocupada);
            QTest::keyClick(w->v, k.keys.key(), k.keys.keyboardModifiers());
            QStringList efecto;
            for (const auto& r : dialogs.requests)
                efecto << (r.save ? "save dialog" : "open dialog");
            if (!w->c->UltimaConsultaSQL.isEmpty()) efecto << "refresh";
            EXPECT_EQ(efecto.join(' ').toStdString(), ocupada ? "" : k.effect);
            w->v->TimerWait_Timer();
        }
}
