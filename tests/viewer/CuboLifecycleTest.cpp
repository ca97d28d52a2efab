// The viewer's life: a new cube's designer, the drag hint, and the close sequence.
#include "common/TestSupport.h"
#include "platform/os/Clock.h"
#include "platform/os/Desktop.h"
#include "platform/os/Prompter.h"
#include "platform/os/Settings.h"
#include "shell/FrmMain.h"
#include "viewer/ViewerTestSupport.h"

#include <QApplication>
#include <gtest/gtest.h>

using namespace bd;

namespace {
struct Lifecycle : test::ViewerFixture {};
} // namespace

TEST_F(Lifecycle, NewCubeShowsItsDesignerWithTheConnectionDialogPendingOrTheFilesConnection) {
    struct Case {
        QString file, typeClass, connection;
        bool dialogPending;
    } cases[] = {
        {"", "", "", true},
        {"/data/book.xls", "EXCEL",
         "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/data/book.xls;Extended Properties=\"Excel "
         "8.0;HDR=YES\";",
         false},
        {"/data/base.mdb", "ACCESS", "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/data/base.mdb", false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.typeClass.toStdString());
        auto* cube = new InsCube;
        cube->CubeId = "Cube";
        QPointer<Cubo> v = new Cubo;
        v->VinsCube = cube;
        v->SeleccionarCampos(false, false, "", k.file, k.typeClass);
        ASSERT_TRUE(v->Vcampos);
        EXPECT_TRUE(v->Vcampos->isVisible());
        EXPECT_EQ(v->Vcampos->txtIdCubo->text(), "Cube");
        EXPECT_EQ(v->Vcampos->OpenConnectionDialog, k.dialogPending);
        EXPECT_EQ(v->Vcampos->txtConeccion->toPlainText(), k.connection);
        EXPECT_EQ(v->Vcampos->SSTab1->currentIndex(), 0);
        // A second call only brings the designer back.
        QPointer<Campos> first = v->Vcampos;
        first->hide();
        v->SeleccionarCampos();
        EXPECT_EQ(v->Vcampos, first);
        EXPECT_TRUE(first->isVisible());
        delete v.data();
    }
}

TEST_F(Lifecycle, DragHintCountsTheFirstThreeActivationsAcrossRuns) {
    test::LinkedViewer w;
    w.v->Form_Activate(); // hidden: not counted
    EXPECT_EQ(os::GetSetting("OE", "CUBO", "FRMCUBO_INIT"), "");
    w.v->show();
    for (int i = 1; i <= 5; ++i) {
        w.v->Form_Activate();
        EXPECT_EQ(os::GetSetting("OE", "CUBO", "FRMCUBO_INIT"), QString::number(std::min(i, 3)));
    }
}

TEST_F(Lifecycle, ClosingAChangedCubeKeepsTheViewerWhenTheWantedSaveDoesNotHappen) {
    struct Case {
        const char* name;
        os::Answer answer;
        bool cancelDialog, failSave, closes, saved;
    } cases[] = {
        {"No", os::Answer::No, false, false, true, false},
        {"Yes, saved", os::Answer::Yes, false, false, true, true},
        {"Yes, dialog cancelled", os::Answer::Yes, true, false, false, false},
        {"Yes, save failed", os::Answer::Yes, false, true, false, false},
    };
    int n = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ++n;
        FrmMain start;
        test::LinkedViewer w;
        QString error;
        ASSERT_TRUE(test::FillExampleCube(w, &error));
        w.cube->Vparent = &start;
        w.v->setAttribute(Qt::WA_DeleteOnClose, false);
        w.v->show();
        w.v->Salvar = true;
        prompts->prompts.clear();
        prompts->queue.clear();
        prompts->answer(k.answer);
        prompts->answer(os::Answer::No); // the example's alerts are not mailed
        const QString path = home.path(QString("close%1.cub").arg(n));
        if (!k.cancelDialog) dialogs.answers << path;
        if (k.failSave) writes.failWith = "no space";
        ASSERT_FALSE(start.isVisible());
        const bool closed = w.v->close();
        writes.failWith.clear();
        EXPECT_EQ(closed, k.closes);
        ASSERT_GE(prompts->prompts.size(), 1);
        EXPECT_EQ(prompts->prompts[0].text, "Do you want to save the changes ?");
        EXPECT_EQ(prompts->prompts[0].title, "Save");
        EXPECT_EQ(prompts->prompts[0].buttons, os::Buttons::YesNo);
        EXPECT_EQ(QFile::exists(path), k.saved);
        EXPECT_EQ(start.isVisible(), k.closes) << "the start window comes back only when the viewer goes";
        EXPECT_EQ(bool(w.v->Vcampos), !k.closes);
        if (!k.closes) {
            EXPECT_TRUE(w.v->isVisible());
            EXPECT_TRUE(w.v->Salvar);
        }
        dialogs.answers.clear();
    }
}

TEST_F(Lifecycle, CloseStopsBothTimersBeforeTheUploadQuestionAndAsksNothingUnattended) {
    for (bool unattended : {false, true}) {
        SCOPED_TRACE(unattended ? "unattended" : "user");
        FrmMain start;
        test::LinkedViewer w;
        w.cube->Vparent = &start;
        w.c->spSave->setText(1, Campos::FilaSubirAlSalir, "1");
        w.c->TimerAutoRefresh->setEnabled(true);
        w.c->TimerAutoClose->setEnabled(true);
        w.v->carradoAutomatico = unattended;
        w.v->setAttribute(Qt::WA_DeleteOnClose, false);
        w.v->show();
        QList<bool> timersRunning;
        prompts->prompts.clear();
        prompts->onAsk = [&](const os::Prompt&) {
            timersRunning << (w.c->TimerAutoRefresh->isEnabled() || w.c->TimerAutoClose->isEnabled());
        };
        prompts->answer(os::Answer::No);
        EXPECT_TRUE(w.v->close());
        prompts->onAsk = nullptr;
        if (unattended) {
            EXPECT_TRUE(prompts->prompts.isEmpty());
        } else {
            ASSERT_EQ(prompts->prompts.size(), 1);
            EXPECT_EQ(prompts->prompts[0].text,
                      "Web Upload field is checked. Do you want to upload report and send notifications ?");
            EXPECT_EQ(prompts->prompts[0].title, "Upload");
            EXPECT_EQ(timersRunning, QList<bool>{false});
        }
        EXPECT_TRUE(start.isVisible());
        EXPECT_FALSE(w.v->Vcampos);
    }
}
