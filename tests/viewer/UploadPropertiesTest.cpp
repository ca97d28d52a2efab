// The designer's upload properties: the dialog filled from the property sheet, the rows written back
// on OK only, the cube marked changed when a row changed, and the clipboard buttons.
#include "common/TestSupport.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "platform/os/Settings.h"
#include "publishing/frmUploadProperties.h"
#include "shell/General.h"
#include "shell/GeneralWeb.h"
#include "viewer/ViewerTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <gtest/gtest.h>

using namespace bd;

namespace {

struct UploadPropsFixture : ::testing::Test {
    test::TempHome home{false};
    os::ScopedPrompter prompts;
    test::LinkedViewer w;
    Campos& c = *w.c;
    void SetUp() override {
        General::InicializarNombres();
        os::SaveSetting("OE", "Web", "ViewsBase", "https://views.test/views/");
    }
    QString row(int r) const { return c.Property(r); }
    void put(int r, const QString& t) { c.spSave->setText(Campos::ColProperty, r, t); }
    // Opens the dialog from the designer's button; fill answers it.
    void abrir(const std::function<int(frmUploadProperties&)>& fill) {
        os::ScopedDialogHandler h([&](QDialog* d) {
            auto* dlg = qobject_cast<frmUploadProperties*>(d);
            EXPECT_NE(dlg, nullptr);
            return dlg ? fill(*dlg) : int(QDialog::Rejected);
        });
        c.cmdUpProperties->click();
    }
};

} // namespace

TEST_F(UploadPropsFixture, TheDialogShowsTheRowsAndACompleteAddress) {
    ASSERT_TRUE(w.cube->IdExportCube.isEmpty());
    put(Campos::FilaSubirAlSalir, "1");
    put(Campos::FilaMailsSubida, "a@test; b@test");
    bool shown = false;
    abrir([&](frmUploadProperties& d) {
        shown = true;
        EXPECT_EQ(d.windowTitle(), "Upload config");
        EXPECT_FALSE(w.cube->IdExportCube.isEmpty()); // given when the dialog opens
        EXPECT_EQ(d.txtUrl->text(), "https://views.test/views/" + w.cube->IdExportCube + "/view.html");
        EXPECT_TRUE(d.chkUpload->isChecked());
        EXPECT_EQ(d.txtMailAlert->text(), "a@test; b@test");
        EXPECT_EQ(d.txtFontPix->text(), "15"); // empty row: the size in force
        return int(QDialog::Rejected);
    });
    EXPECT_TRUE(shown);
    put(Campos::FilaPixelesFuente, "22");
    abrir([&](frmUploadProperties& d) {
        EXPECT_EQ(d.txtFontPix->text(), "22");
        return int(QDialog::Rejected);
    });
}

TEST_F(UploadPropsFixture, OkWritesTheRowsAndMarksTheCubeChanged) {
    put(Campos::FilaSubirAlSalir, "1");
    abrir([&](frmUploadProperties& d) {
        d.chkUpload->setChecked(false);
        d.txtMailAlert->setText("boss@test");
        d.txtFontPix->setText("abc");
        d.txtFontPix_Validate(); // leaving the box
        EXPECT_EQ(d.txtFontPix->text(), "0");
        d.cmdAceptar->click();
        EXPECT_TRUE(d.Cambio);
        EXPECT_FALSE(d.isVisible());
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(row(Campos::FilaSubirAlSalir), "0");
    EXPECT_EQ(row(Campos::FilaMailsSubida), "boss@test");
    EXPECT_EQ(row(Campos::FilaPixelesFuente), "0");
    EXPECT_TRUE(w.v->Salvar);
}

TEST_F(UploadPropsFixture, FontSizeOutOfRangeByTheKeyboardIsStoredAsZero) {
    abrir([&](frmUploadProperties& d) {
        d.txtFontPix->setText("250"); // OK pressed without leaving the box
        d.cmdAceptar_Click();
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(row(Campos::FilaPixelesFuente), "0");
    abrir([&](frmUploadProperties& d) {
        d.txtFontPix->setText(" 18 ");
        d.cmdAceptar_Click();
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(row(Campos::FilaPixelesFuente), "18");
}

TEST_F(UploadPropsFixture, ClosingOrAnUnchangedOkChangesNothing) {
    put(Campos::FilaMailsSubida, "x@test");
    abrir([&](frmUploadProperties& d) {
        d.txtMailAlert->setText("other@test");
        d.close(); // the close box
        return int(QDialog::Rejected);
    });
    EXPECT_EQ(row(Campos::FilaMailsSubida), "x@test");
    EXPECT_EQ(row(Campos::FilaSubirAlSalir), "");
    EXPECT_FALSE(w.v->Salvar);

    // Stored as the dialog shows them: "0" for the check box and the size in force.
    put(Campos::FilaSubirAlSalir, "0");
    put(Campos::FilaPixelesFuente, "15");
    abrir([&](frmUploadProperties& d) {
        d.cmdAceptar_Click();
        return int(QDialog::Accepted);
    });
    EXPECT_FALSE(w.v->Salvar);
}

TEST_F(UploadPropsFixture, CopyTheAddressAndTheEmbedCode) {
    abrir([&](frmUploadProperties& d) {
        const QString url = d.txtUrl->text();
        d.cmdCopyUrl->click();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), url);
        d.cmdEmbebed->click();
        EXPECT_EQ(QGuiApplication::clipboard()->text(),
                  "<iframe name=\"parentGrid\" src=\"" + url +
                      "\" frameBorder=\"0\" width=\"80%\" height=\"80%\"></iframe>");
        return int(QDialog::Rejected);
    });
    ASSERT_EQ(prompts->prompts.size(), 2);
    EXPECT_EQ(prompts->prompts[0].text, "The url was copied to clipboard");
    EXPECT_EQ(prompts->prompts[1].text, "The embebed code was copied to clipboard");
    for (const os::Prompt& p : prompts->prompts) {
        EXPECT_EQ(p.title, "Ok");
        EXPECT_EQ(p.icon, os::Icon::Information);
    }
}
