// The measure grid: "+" (an alert sub-row) and "-" (remove, with its sub-rows), the alert colours
// and recipients written back only when accepted, cell changes, and the field dialog from a measure.
#include "designer/GridEditingSupport.h"
#include "designer/frmFieldProperties.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Twips.h"
#include "publishing/frmMailSelect.h"
#include "shell/FrmColor.h"
#include "shell/General.h"

using namespace gridedit;
using namespace bd::grid;
using bd::os::Answer;

namespace {
struct MeasureGridTest : GridEditing {
    QString previousSeparator = General::sSepDecimal;
    void TearDown() override { General::sSepDecimal = previousSeparator; }
    // An alert sub-row of the row above, as "+" makes it.
    int subRow(int main) {
        press(measureGrid(), Campos::ColAgregarRango, main);
        return main + 1;
    }
};
} // namespace

TEST_F(MeasureGridTest, PlusOnRowThreeCopiesTheRuleAndShiftsTheRowsBelow) {
    measure("A");
    measure("B");
    const int r = measure("C");
    measure("D");
    measureGrid().setCellTag(Campos::TagCaption, r, "Sales C");
    measureGrid().setCellTag(Campos::TagFormato, r, "0.0");
    measureGrid().setText(Campos::ColLimiteInferior, r, "10,5");
    measureGrid().setText(Campos::ColLimiteSuperior, r, "99");
    measureGrid().setBackColor(Campos::ColLimiteSuperior, r, 0x00FF00);
    measureGrid().setForeColor(Campos::ColLimiteInferior, r, 0x0000FF);
    measureGrid().setText(Campos::ColIncluirTotales, r, "1");
    measureGrid().setCellTag(Campos::ColDestinatarios, r, "ana@example.com");
    measureGrid().setCellTag(Campos::ColResultadoAlerta, r, "<table></table>");
    measureGrid().setText(Campos::ColTipoGrafico, r, "Column 2D");

    press(measureGrid(), Campos::ColAgregarRango, r);

    EXPECT_EQ(names(measureGrid()), QStringList({"A", "B", "C", "C", "D"}));
    EXPECT_EQ(measureGrid().maxRows(), 300);
    const int s = r + 1;
    for (int col : {Campos::ColVisible, Campos::ColAgregado}) {
        EXPECT_EQ(measureGrid().cellType(col, s), TypePlain) << col;
        EXPECT_TRUE(measureGrid().lock(col, s)) << col;
        EXPECT_TRUE(measureGrid().text(col, s).isEmpty()) << col;
    }
    EXPECT_EQ(measureGrid().cellTag(Campos::TagCaption, s), "Sales C");
    EXPECT_EQ(measureGrid().cellTag(Campos::TagFormato, s), "0.0");
    EXPECT_EQ(measureGrid().value(Campos::ColLimiteInferior, s).toDouble(), 10.5);
    EXPECT_EQ(measureGrid().value(Campos::ColLimiteSuperior, s).toDouble(), 99.0);
    EXPECT_EQ(measureGrid().backColor(Campos::ColLimiteSuperior, s), 0x00FF00u);
    EXPECT_EQ(measureGrid().foreColor(Campos::ColLimiteInferior, s), 0x0000FFu);
    EXPECT_EQ(measureGrid().text(Campos::ColIncluirTotales, s), "1");
    EXPECT_EQ(measureGrid().cellTag(Campos::ColDestinatarios, s), "ana@example.com");
    EXPECT_EQ(measureGrid().typeButtonText(Campos::ColAgregarRango, s), "+");
    EXPECT_TRUE(
        measureGrid().text(Campos::ColTipoGrafico, s).isEmpty()); // chart settings stay with the main row
    EXPECT_EQ(measureGrid().text(Campos::ColTipoGrafico, r), "Column 2D");
    EXPECT_EQ(measureGrid().cellType(Campos::ColAgregado, r), TypeComboBox); // the main row is untouched
    EXPECT_EQ(measureGrid().value(Campos::ColLimiteInferior, s + 1).toDouble(),
              0.0); // D moved down with its cells
    EXPECT_TRUE(saveFlag());
    EXPECT_TRUE(measureGrid().redraw());

    // A nameless row gets no sub-row.
    press(measureGrid(), Campos::ColAgregarRango, 20);
    EXPECT_EQ(names(measureGrid()).size(), 5);
}

TEST_F(MeasureGridTest, PlusOnAFullGridIsRefused) {
    measureGrid().setMaxRows(4);
    for (const char* n : {"A", "B", "C", "D"})
        measure(n);
    press(measureGrid(), Campos::ColAgregarRango, 2);
    EXPECT_EQ(names(measureGrid()), QStringList({"A", "B", "C", "D"}));
    EXPECT_EQ(measureGrid().maxRows(), 4);
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].title, "Measures");
}

TEST_F(MeasureGridTest, MinusOnlineAndOffline) {
    struct Case {
        const char* name;
        bool visible, sub, connected;
        Answer answer;
        QStringList left, questions;
        bool reload;
    } cases[] = {
        {"shown measure online",
         true,
         false,
         true,
         Answer::Yes,
         {"A", "C"},
         {"Are you sure to remove this row ?"},
         true},
        {"shown measure online, No",
         true,
         false,
         true,
         Answer::No,
         {"A", "B", "B", "C"},
         {"Are you sure to remove this row ?"},
         false},
        {"shown measure offline",
         true,
         false,
         false,
         Answer::Yes,
         {"A", "B", "B", "C"},
         {"Are you sure to remove this row ?", "You can not remove visible fields in offline mode."},
         false},
        {"hidden measure offline",
         false,
         false,
         false,
         Answer::Yes,
         {"A", "C"},
         {"Are you sure to remove this row ?"},
         false},
        {"sub-row offline", true, true, false, Answer::Yes, {"A", "B", "C"}, {}, false},
        {"sub-row online", true, true, true, Answer::Yes, {"A", "B", "C"}, {}, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        refreshtest::TestCube u;
        bd::os::ScopedPrompter pr;
        pr->answer(k.answer);
        Grid& g = *u.c->spCal;
        for (const char* n : {"A", "B", "C"}) {
            const int r = u.c->BuscarPosicion(g);
            g.setText(1, r, n);
            g.setText(2, r, n == QString("B") && !k.visible ? "0" : "1");
            g.setText(3, r, "Sum");
            if (n == QString("B")) press(g, Campos::ColAgregarRango, r); // B's alert sub-row
        }
        ASSERT_EQ(names(g), QStringList({"A", "B", "B", "C"}));
        u.cube->Conectado = k.connected;
        u.c->Recarga = false;
        u.viewer->Salvar = false;
        press(g, Campos::ColQuitarFila, k.sub ? 3 : 2);
        EXPECT_EQ(names(g), k.left);
        EXPECT_EQ(pr->texts(), k.questions);
        if (!pr->prompts.isEmpty()) {
            EXPECT_EQ(pr->prompts[0].title, "Remove");
        }
        EXPECT_EQ(u.c->Recarga, k.reload);
        EXPECT_EQ(u.viewer->Salvar, k.left.size() < 4);
        EXPECT_EQ(g.maxRows(), 300);
        // What stays below keeps its own kind.
        const int c = int(k.left.indexOf("C")) + 1;
        EXPECT_EQ(g.cellType(Campos::ColAgregado, c), TypeComboBox);
    }
}

TEST_F(MeasureGridTest, TheAlertColoursOnlyFromAnAcceptedPick) {
    const int r = measure("A");
    struct Case {
        const char* name;
        bool back, text, accept;
    } cases[] = {
        {"back colour only", true, false, true},
        {"text colour only", false, true, true},
        {"both, closed by the close box", true, true, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const uint32_t back0 = measureGrid().backColor(Campos::ColLimiteInferior, r);
        const uint32_t text0 = measureGrid().foreColor(Campos::ColLimiteSuperior, r);
        t.viewer->Salvar = false;
        QString chosenBack, chosenText;
        bd::os::ScopedDialogHandler h([&](QDialog* d) {
            auto* f = qobject_cast<FrmColor*>(d);
            if (!f) return int(QDialog::Rejected);
            // Points on the palettes as the mouse picks them.
            if (k.back) f->Cambiar_Color(10, 20);
            if (k.text) f->Cambiar_Color2(100, 120);
            chosenBack = f->VColor;
            chosenText = f->VColor2;
            if (k.accept)
                f->cmdAceptar->click();
            else
                f->close();
            return f->result();
        });
        press(measureGrid(), Campos::ColColorAlerta, r);
        EXPECT_EQ(!chosenBack.isEmpty(), k.back);
        EXPECT_EQ(!chosenText.isEmpty(), k.text);
        const bool back = k.back && k.accept, text = k.text && k.accept;
        for (int col : {Campos::ColLimiteInferior, Campos::ColLimiteSuperior}) {
            EXPECT_EQ(measureGrid().backColor(col, r), back ? chosenBack.toUInt() : back0) << col;
            EXPECT_EQ(measureGrid().foreColor(col, r), text ? chosenText.toUInt() : text0) << col;
        }
        EXPECT_EQ(saveFlag(), k.accept);
        if (!k.accept) {
            EXPECT_TRUE(General::sColorFondo.isEmpty());
            EXPECT_TRUE(General::sColorTexto.isEmpty());
        }
    }
}

TEST_F(MeasureGridTest, RecipientsOnlyFromOk) {
    const int r = measure("A");
    measureGrid().setCellTag(Campos::ColDestinatarios, r, "old@example.com");
    for (bool accept : {false, true}) {
        SCOPED_TRACE(accept);
        QString received;
        bool notClosed = false;
        bd::os::ScopedDialogHandler h([&](QDialog* d) {
            auto* f = qobject_cast<frmMailSelect*>(d);
            if (!f) return int(QDialog::Rejected);
            received = f->txtMail->text();
            notClosed = f->CancelarUnload && f->Vcampos == &c();
            f->txtMail->setText("ana@example.com, luis@example.com");
            if (accept)
                f->cmdAceptar->click();
            else
                f->close();
            return f->result();
        });
        press(measureGrid(), Campos::ColDestinatarios, r);
        EXPECT_EQ(received, "old@example.com");
        EXPECT_TRUE(notClosed);
        EXPECT_EQ(measureGrid().cellTag(Campos::ColDestinatarios, r),
                  accept ? "ana@example.com, luis@example.com" : "old@example.com");
        EXPECT_EQ(saveFlag(), accept);
    }
}

TEST_F(MeasureGridTest, ChangesMarkTheCubeAndNamelessRowsStayHidden) {
    struct Case {
        int col;
        bool reload;
    } cases[] = {{1, true}, {2, true}, {3, true}, {4, false}, {6, false}};
    const int r = measure("A");
    for (const Case& k : cases) {
        SCOPED_TRACE(k.col);
        c().Recarga = false;
        t.viewer->Salvar = false;
        emit measureGrid().changed(k.col, r);
        EXPECT_EQ(c().Recarga, k.reload);
        EXPECT_TRUE(saveFlag());
    }
    measureGrid().setText(Campos::ColVisible, 9, "1");
    emit measureGrid().changed(Campos::ColVisible, 9);
    EXPECT_EQ(measureGrid().text(Campos::ColVisible, 9), "0");
    // The visible box of a named row is a structural edit.
    c().Recarga = false;
    tick(measureGrid(), Campos::ColVisible, r);
    EXPECT_TRUE(c().Recarga);
}

TEST_F(MeasureGridTest, TheFieldDialogFromAMeasureSetsItsTagsAndDecimals) {
    General::sSepDecimal = ".";
    struct Case {
        const char* format;
        int decimals;
    } cases[] = {{"0.000", 3}, {"", 2}, {"#,##0", 0}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.format);
        refreshtest::TestCube u;
        Campos& d = *u.c;
        d.spCam->setText(1, 1, "Amount");
        d.spCam->setCellTag(3, 1, "ISNUMERIC");
        d.spCal->setText(1, 1, "Amount");
        d.spCal->setText(2, 1, "1");
        bool button = false;
        bd::os::ScopedDialogHandler h([&](QDialog* dlg) {
            auto* f = qobject_cast<frmFieldProperties*>(dlg);
            if (!f) return int(QDialog::Rejected);
            button = !f->cmdChartProperties->isHidden();
            f->txtCaption->setText("Sales");
            f->txtFormat->setText(k.format);
            f->cmdAceptar->click();
            return f->result();
        });
        emit d.spCal->dblClicked(1, 1);
        EXPECT_TRUE(button);
        EXPECT_EQ(d.spCal->cellTag(Campos::TagCaption, 1), "Sales");
        EXPECT_EQ(d.spCal->cellTag(Campos::TagFormato, 1), k.format);
        EXPECT_EQ(d.spCam->cellTag(Campos::TagFormato, 1), k.format);
        EXPECT_EQ(d.spCal->typeFloatDecimalPlaces(Campos::ColLimiteInferior, 1), k.decimals);
        EXPECT_EQ(d.spCal->typeFloatDecimalPlaces(Campos::ColLimiteSuperior, 1), k.decimals);
    }
}

TEST_F(MeasureGridTest, ACalculatedMeasureNeverOpensTheFieldDialog) {
    field("Ratio", "ISNUMERIC");
    const int r = measure("Ratio");
    measureGrid().setCellTag(Campos::TagFormula, r, "[Amount]/[Units]");
    QStringList shownOnes;
    bd::os::ScopedDialogHandler h([&](QDialog* d) {
        shownOnes << d->objectName();
        return int(QDialog::Rejected);
    });
    emit measureGrid().dblClicked(1, r);
    // The formula editor opens instead, and a cancelled editor writes nothing.
    EXPECT_EQ(shownOnes, QStringList{"frmFormula"});
    EXPECT_EQ(measureGrid().cellTag(Campos::TagFormula, r), "[Amount]/[Units]");
}
