// The designer window: tabs, toolbar, activation, closing, the hint balloon, grid locks and the
// scheduler hand-off.
#include "designer/DesignerTestSupport.h"
#include "designer/frmPassword.h"
#include "platform/os/Clock.h"
#include "platform/os/Desktop.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "platform/toolbar/Toolbar.h"
#include "publishing/frmScheduler.h"
#include "shell/General.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QTabBar>
#include <QTest>

using namespace refreshtest;
using namespace designertest;
using bd::os::Answer;

namespace {
const QStringList kSalesTable = {"create table Ventas (REGION varchar(10), AMT real)",
                                 "insert into Ventas values ('N', 1)"};

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool checked(Campos& c, int id) {
    return c.AB->tool(id)->checked();
}
} // namespace

TEST(DesignerTabs, SetAbCheckedFollowsTheTab) {
    Campos c;
    const bool expected[][2] = {{true, false}, {false, true}, {false, false}, {false, false}, {false, false}};
    for (int tab = 0; tab < 5; ++tab) {
        SCOPED_TRACE(tab);
        c.SSTab1->setCurrentIndex(tab);
        c.SetAbChecked();
        EXPECT_EQ(checked(c, Campos::ToolConnection), expected[tab][0]);
        EXPECT_EQ(checked(c, Campos::ToolCube), expected[tab][1]);
    }
}

TEST(DesignerTabs, GoTabRunsDiscoveryOnlyWhenTheDefinitionChanged) {
    struct Case {
        const char* name;
        bool withFields, change;
        int tab, lastTab;
        bool discovers;
    } cases[] = {
        {"connection tab", true, false, 0, 0, false},
        {"fields already there, unchanged", true, false, 1, 1, false},
        {"no fields yet", false, false, 1, 1, true},
        {"changed", true, true, 1, 1, true},
        {"a tab with no work", true, true, 3, 3, false},
        {"no such tab", true, true, 9, 2, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TestCube t(kSalesTable);
        t.sql("select * from Ventas");
        if (k.withFields) t.c->spCam->setText(1, 1, "OLD");
        t.c->SSTab1->setCurrentIndex(2);
        t.c->Cambio = k.change;
        t.viewer->lastChart = "AMT";
        bd::os::ScopedPrompter p;
        t.c->GoTab(k.tab);
        EXPECT_EQ(t.c->SSTab1->currentIndex(), k.lastTab);
        EXPECT_EQ(t.c->spCam->text(1, 1) == "REGION", k.discovers);
        EXPECT_EQ(t.viewer->lastChart.isEmpty(), k.discovers);
        if (k.discovers) {
            EXPECT_FALSE(t.c->Cambio);
            EXPECT_EQ(t.cube->CubeSqlQuery, "select * from Ventas");
        }
    }
}

TEST(DesignerToolbar, DispatchByKeyWithAmpersandsRemovedAndUnknownIgnored) {
    bd::os::ManualClock clock;
    TestCube t(kSalesTable);
    Campos& c = *t.c;
    auto* band = c.AB->band("Designer");
    auto* withAmp = band->addTool(90, "&Configurar &Conexión", "x");
    auto* nothing = band->addTool(91, "Nada", "y");
    c.SSTab1->setCurrentIndex(2);
    c.AB->clickTool(nothing);
    EXPECT_EQ(c.SSTab1->currentIndex(), 2);
    EXPECT_TRUE(c.AB->isEnabled());
    // With the viewer on screen the toolbar waits for the viewer's timer.
    t.viewer->show();
    c.AB->clickTool(withAmp);
    EXPECT_EQ(c.SSTab1->currentIndex(), 0);
    EXPECT_TRUE(checked(c, Campos::ToolConnection));
    EXPECT_FALSE(c.AB->isEnabled());
    clock.advance(1000);
    EXPECT_TRUE(c.AB->isEnabled());
    // Tool 76 is the Next button.
    t.sql("select * from Ventas");
    c.cmbEngine->setCurrentText("OTHER");
    bd::os::ScopedPrompter p;
    c.AB->clickTool(c.AB->tool(Campos::ToolCube));
    EXPECT_EQ(c.SSTab1->currentIndex(), 1);
    EXPECT_EQ(c.spCam->text(1, 1), "REGION");
}

TEST(DesignerToolbar, AdvancedSettingsAndTheLastQuery) {
    Campos c;
    c.SSTab1->setCurrentIndex(0);
    c.SetAbChecked();
    c.cmdAdvSet_Click();
    EXPECT_EQ(c.SSTab1->currentIndex(), 2);
    EXPECT_FALSE(checked(c, Campos::ToolConnection));
    c.UltimaConsultaSQL = "select 1 where x = 2";
    c.cmdQueryEditorView->show();
    c.cmdLastQuery->click();
    EXPECT_EQ(c.SSTab1->currentIndex(), 4);
    EXPECT_EQ(c.txtViewQuery->toPlainText(), "select 1 where x = 2");
    EXPECT_TRUE(c.cmdQueryEditorView->isHidden());
}

TEST(DesignerOptions, SaveWithDataUnchecksRefreshAndOptionClicksMarkTheCube) {
    TestCube t;
    t.c->chkRefresh->setChecked(true);
    t.c->chkSaveWData->click();
    EXPECT_FALSE(t.c->chkRefresh->isChecked());
    t.c->chkSaveWData->click(); // unchecking leaves refresh alone
    EXPECT_FALSE(t.c->chkRefresh->isChecked());
    t.viewer->Salvar = false;
    QMouseEvent down(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(t.c->chkSendAlert, &down);
    EXPECT_TRUE(t.viewer->Salvar);
}

TEST(DesignerLifecycle, TheHintShowsOnTheFirstThreeActivationsOnTheFieldsTab) {
    TestCube t;
    Campos& c = *t.c;
    c.show();
    c.SSTab1->setCurrentIndex(0);
    c.Form_Activate();
    EXPECT_EQ(c.Balloon(), nullptr);
    EXPECT_EQ(General::GetSetting("OE", "CUBO", "FRMCAMPOS_INIT"), "");
    c.SSTab1->setCurrentIndex(1);
    for (int i = 1; i <= 4; ++i) {
        SCOPED_TRACE(i);
        c.DestroyBalloon();
        c.Form_Activate();
        EXPECT_EQ(c.Balloon() != nullptr, i < 4);
        EXPECT_EQ(General::GetSetting("OE", "CUBO", "FRMCAMPOS_INIT"), QString::number(std::min(i, 3)));
    }
    c.DestroyBalloon();
    c.Form_Activate();
    // Moving off the fields tab removes a balloon.
    General::SaveSetting("OE", "CUBO", "FRMCAMPOS_INIT", "0");
    c.Form_Activate();
    ASSERT_NE(c.Balloon(), nullptr);
    EXPECT_EQ(c.Balloon()->title(), "Click --> to add a measure field");
    EXPECT_EQ(c.Balloon()->text(), "At least one measure field is necessary");
    EXPECT_EQ(c.Balloon()->tipPoint(), c.mapToGlobal(QPoint(220, 105)));
    c.GoTab(0);
    EXPECT_EQ(c.Balloon(), nullptr);
}

TEST(DesignerLifecycle, TheConnectionDialogOpensOnceAfterTheActivation) {
    bd::os::ManualClock clock;
    TestCube t(kSalesTable);
    t.connection("");
    Campos& c = *t.c;
    c.OpenConnectionDialog = true;
    DataLink dl{sqliteFile(t.dbFile)};
    c.show();
    QApplication::setActiveWindow(&c);
    EXPECT_EQ(dl.shown, 0); // never inside the activation event
    QCoreApplication::processEvents();
    c.Form_Activate(); // a second activation before the dialog came
    EXPECT_FALSE(c.OpenConnectionDialog);
    EXPECT_EQ(dl.shown, 0);
    clock.advance(1000);
    EXPECT_EQ(dl.shown, 1);
    EXPECT_EQ(c.txtConeccion->toPlainText(), "Provider=SQLite;Data Source=" + t.dbFile);
    clock.advance(5000);
    c.Form_Activate();
    clock.advance(5000);
    EXPECT_EQ(dl.shown, 1);
    // Hidden before the dialog came: the next activation brings it.
    c.OpenConnectionDialog = true;
    c.Form_Activate();
    c.hide();
    clock.advance(1000);
    EXPECT_EQ(dl.shown, 1);
    EXPECT_TRUE(c.OpenConnectionDialog);
    c.show();
    c.Form_Activate();
    clock.advance(1000);
    EXPECT_EQ(dl.shown, 2);
}

TEST(DesignerLifecycle, AProtectedConfigurationAsksForThePasswordAtActivation) {
    TestCube t;
    t.cube->vPass = "CLAVE";
    Campos& c = *t.c;
    c.vProtected = true;
    c.show();
    {
        Password pw{"mala"};
        bd::os::ScopedPrompter p;
        c.Form_Activate();
        EXPECT_EQ(pw.asked, 1);
        EXPECT_FALSE(c.isVisible());
        EXPECT_EQ(p->texts(), QStringList{"Incorrect Password"});
        EXPECT_TRUE(c.vProtected);
    }
    Password pw{"clave"};
    bd::os::ScopedPrompter p;
    c.Form_Activate();
    EXPECT_TRUE(c.isVisible());
    EXPECT_FALSE(c.vProtected);
    EXPECT_TRUE(p->prompts.isEmpty());
}

TEST(DesignerLifecycle, TheCloseBoxHidesWhileTheViewerIsShownAndClosesANewCube) {
    {
        TestCube t;
        t.viewer->show();
        t.c->show();
        t.c->spCal->setText(1, 1, "AMT");
        EXPECT_FALSE(t.c->close());
        flushDeletes();
        ASSERT_TRUE(t.c);
        EXPECT_FALSE(t.c->isVisible());
        EXPECT_EQ(t.c->spCal->text(1, 1), "AMT");
        EXPECT_TRUE(t.viewer);
    }
    TestCube t; // a new cube whose viewer was never shown
    t.c->show();
    EXPECT_TRUE(t.c->close());
    flushDeletes();
    EXPECT_FALSE(t.viewer);
    EXPECT_FALSE(t.c);
}

TEST(DesignerLifecycle, CloseAbandonsACubeThatNeverReachedTheViewer) {
    struct Case {
        const char* name;
        bool viewer, fieldsOf, abandons;
    } cases[] = {{"new cube", false, false, true},
                 {"viewer shown, empty pivot", true, false, true},
                 {"viewer shown with a pivot", true, true, false}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TestCube t;
        if (k.viewer) t.viewer->show();
        if (k.fieldsOf) t.viewer->DC->addField("REGION", "Region", 1);
        t.c->show();
        t.c->cmdCancelar->click();
        const bool closeFlag = t.viewer && t.viewer->Cerrar;
        flushDeletes();
        EXPECT_EQ(!t.viewer, k.abandons);
        if (k.abandons) {
            EXPECT_TRUE(closeFlag);
        }
        if (t.c) {
            EXPECT_FALSE(t.c->isVisible());
        }
    }
}

TEST(DesignerLifecycle, HideAndOkHideTheDesigner) {
    TestCube t;
    t.c->show();
    t.c->cmdViewClose->click();
    EXPECT_FALSE(t.c->isVisible());
    EXPECT_FALSE(t.viewer->Salvar);
    t.c->show();
    t.c->cmdSetOk->click();
    EXPECT_FALSE(t.c->isVisible());
    EXPECT_TRUE(t.viewer->Salvar);
}

TEST(DesignerLifecycle, BlockearCamposLocksAndColoursTheFirstColumns) {
    Campos c; // a fresh designer starts locked
    for (bool on : {true, false, true}) {
        SCOPED_TRACE(on);
        c.BlockearCampos(on);
        for (bd::grid::Grid* g : {c.spCal.data(), c.spCam.data()})
            for (int col = 1; col <= 3; ++col) {
                SCOPED_TRACE(g->objectName().toStdString() + " col " + std::to_string(col));
                EXPECT_EQ(g->backColor(col, 7), on ? Campos::ColorLocked : Campos::ColorFree);
                EXPECT_EQ(g->lock(col, 7), col == 1 || on);
            }
    }
}

TEST(DesignerScheduler, AnUnsavedCubeIsSavedFirstAskingAgainUntilSavedOrRefused) {
    TestCube t;
    int shown = 0;
    bd::os::ScopedDialogHandler scheduler([&](QDialog* d) {
        auto* s = qobject_cast<frmScheduler*>(d);
        EXPECT_NE(s, nullptr);
        if (s) {
            EXPECT_EQ(s->VinsCube, t.cube);
            EXPECT_EQ(s->Vcampos, t.c);
            EXPECT_TRUE(s->isModal());
        }
        ++shown;
        return int(QDialog::Rejected);
    });
    // The first save dialog is cancelled, the second gives the cube its file.
    const QString target = t.home.path("x.cub");
    bd::os::ScriptedFileDialogs dialogs;
    dialogs.answers = {std::nullopt, target};
    bd::os::setFileDialogs(&dialogs);
    {
        bd::os::ScopedPrompter p;
        p->answer(Answer::Ok);
        p->answer(Answer::No);
        t.c->cmdOpenScheduler->click();
        EXPECT_EQ(p->texts(), (QStringList{"You must to save the cube first", "Do you want to save ?"}));
        EXPECT_EQ(p->prompts[0].title, "Save First");
        EXPECT_EQ(p->prompts[1].title, "Save");
        EXPECT_EQ(p->prompts[1].buttons, bd::os::Buttons::YesNo);
        EXPECT_EQ(shown, 0);
        EXPECT_TRUE(dialogs.requests.isEmpty());
        EXPECT_TRUE(t.viewer->Salvar);
    }
    bd::os::ScopedPrompter p;
    for (Answer a : {Answer::Ok, Answer::Yes, Answer::Ok, Answer::Yes})
        p->answer(a);
    t.c->OpenScheduler();
    EXPECT_EQ(p->prompts.size(), 4);
    EXPECT_EQ(dialogs.requests.size(), 2);
    EXPECT_EQ(t.cube->PathOpenCube, QFileInfo(target).absoluteFilePath());
    EXPECT_TRUE(QFileInfo::exists(target));
    EXPECT_EQ(shown, 1);
    t.c->OpenScheduler(); // saved now: straight to the dialog
    EXPECT_EQ(p->prompts.size(), 4);
    EXPECT_EQ(shown, 2);
    bd::os::setFileDialogs(nullptr);
}

namespace {
void clickTab(Campos& c, int tab) {
    QTabBar* bar = c.SSTab1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
}
} // namespace

// A tab's header runs its tool's command: SQL typed on the connection tab is read when "Cube Fields"
// is clicked, and the toolbar's checked tool and the hint follow the tab.
TEST(DesignerTabs, HeaderClicksRunTheToolsCommands) {
    TestCube t(kSalesTable);
    Campos& c = *t.c;
    c.cmbEngine->setCurrentText("OTHER");
    c.show();
    QApplication::processEvents();
    QTest::keyClicks(c.txtQuery, "select * from Ventas");
    bd::os::ScopedPrompter p;
    clickTab(c, 1);
    EXPECT_EQ(c.SSTab1->currentIndex(), 1);
    EXPECT_EQ(c.spCam->text(1, 1), "REGION") << "the typed SQL was read";
    EXPECT_EQ(t.cube->CubeSqlQuery, "select * from Ventas");
    EXPECT_TRUE(checked(c, Campos::ToolCube));
    EXPECT_FALSE(checked(c, Campos::ToolConnection));
    ASSERT_NE(c.Balloon(), nullptr) << "a numeric field and no measure: the hint";
    clickTab(c, 0);
    EXPECT_EQ(c.SSTab1->currentIndex(), 0);
    EXPECT_TRUE(checked(c, Campos::ToolConnection));
    EXPECT_EQ(c.Balloon(), nullptr);
    clickTab(c, 2);
    EXPECT_EQ(c.SSTab1->currentIndex(), 2);
    EXPECT_FALSE(checked(c, Campos::ToolConnection) || checked(c, Campos::ToolCube));
    clickTab(c, 4);
    EXPECT_EQ(c.SSTab1->currentIndex(), 4);
    // The connection tab's checks stop "Cube Fields" as the Next button would.
    c.txtConeccion->clear();
    for (int r = 1; r <= c.spCam->maxRows(); ++r)
        c.spCam->setText(1, r, "");
    clickTab(c, 0);
    clickTab(c, 1);
    EXPECT_EQ(c.SSTab1->currentIndex(), 0);
    ASSERT_FALSE(p->prompts.isEmpty());
    EXPECT_EQ(p->prompts.last().text, "Type a connection string or press \"Connect button\"");
}

// The hint is for a cube without a measure, and it lives inside the designer.
TEST(DesignerLifecycle, TheHintNeedsACubeWithoutMeasuresAndStaysInsideTheDesigner) {
    TestCube t;
    Campos& c = *t.c;
    c.show();
    c.SSTab1->setCurrentIndex(1);
    c.spCal->setText(Campos::ColMedida, 1, "AMT");
    c.Form_Activate();
    EXPECT_EQ(c.Balloon(), nullptr);
    c.spCal->setText(Campos::ColMedida, 1, "");
    c.Form_Activate();
    ASSERT_NE(c.Balloon(), nullptr);
    // A balloon window owned by the designer, over the designer's own area.
    EXPECT_TRUE(c.Balloon()->isVisible());
    EXPECT_EQ(c.Balloon()->parentWidget(), &c);
    EXPECT_TRUE(QRect(c.mapToGlobal(QPoint(0, 0)), c.size()).contains(c.Balloon()->geometry()));
    c.hide();
    EXPECT_FALSE(c.Balloon()->isVisible()) << "hidden with its window";
}

// F5 in the designer is its "Connect and Refresh".
TEST(DesignerToolbar, F5RefreshesThroughTheToolbar) {
    TestCube t(kSalesTable);
    t.sql("select * from Ventas");
    Campos& c = *t.c;
    c.show();
    c.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&c));
    bd::os::ScopedPrompter p;
    QTest::keyClick(&c, Qt::Key_F5);
    // The refresh ran: with no field discovered yet it asks for a statement.
    EXPECT_EQ(p->texts(), QStringList{"No fields were found, write a SQL statement"});
    // A busy toolbar ignores the key as it ignores clicks.
    c.AB->setEnabled(false);
    QTest::keyClick(&c, Qt::Key_F5);
    EXPECT_EQ(p->prompts.size(), 1);
}

// Return presses the default button of the designer's dialogs.
TEST(DesignerDialogs, ReturnPressesTheDefaultButton) {
    {
        frmPassword d;
        d.show();
        QTest::keyClicks(d.txtPass, "secret");
        QTest::keyClick(d.txtPass, Qt::Key_Return);
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_EQ(d.Pass, "secret");
        // Also with the focus elsewhere in the dialog.
        frmPassword e;
        e.show();
        e.txtPass->setText("x");
        e.cmdAceptar->setFocus();
        QTest::keyClick(&e, Qt::Key_Return);
        EXPECT_EQ(e.result(), QDialog::Accepted);
        EXPECT_EQ(e.Pass, "x");
    }
    {
        bd::test::TempHome home(false);
        const QString file = home.path("x.sqlite");
        bd::db::DataLinkDialog d;
        d.setKind(bd::db::DataLinkDialog::SQLite);
        d.show();
        d.txtFile->setText(file);
        d.txtFile->setFocus();
        QTest::keyClick(d.txtFile, Qt::Key_Return);
        EXPECT_EQ(d.result(), QDialog::Accepted);
    }
}
