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
struct MedidasTest : Edicion {
    QString separadorPrevio = General::sSepDecimal;
    void TearDown() override { General::sSepDecimal = separadorPrevio; }
    // An alert sub-row of the row above, as "+" makes it.
    int subFila(int main) {
        pulsar(cal(), Campos::ColAgregarRango, main);
        return main + 1;
    }
};
} // namespace

TEST_F(MedidasTest, PlusOnRowThreeCopiesTheRuleAndShiftsTheRowsBelow) {
    medida("A");
    medida("B");
    const int r = medida("C");
    medida("D");
    cal().setCellTag(Campos::TagCaption, r, "Sales C");
    cal().setCellTag(Campos::TagFormato, r, "0.0");
    cal().setText(Campos::ColLimiteInferior, r, "10,5");
    cal().setText(Campos::ColLimiteSuperior, r, "99");
    cal().setBackColor(Campos::ColLimiteSuperior, r, 0x00FF00);
    cal().setForeColor(Campos::ColLimiteInferior, r, 0x0000FF);
    cal().setText(Campos::ColIncluirTotales, r, "1");
    cal().setCellTag(Campos::ColDestinatarios, r, "ana@example.com");
    cal().setCellTag(Campos::ColResultadoAlerta, r, "<table></table>");
    cal().setText(Campos::ColTipoGrafico, r, "Column 2D");

    pulsar(cal(), Campos::ColAgregarRango, r);

    EXPECT_EQ(nombres(cal()), QStringList({"A", "B", "C", "C", "D"}));
    EXPECT_EQ(cal().maxRows(), 300);
    const int s = r + 1;
    for (int col : {Campos::ColVisible, Campos::ColAgregado}) {
        EXPECT_EQ(cal().cellType(col, s), TypePlain) << col;
        EXPECT_TRUE(cal().lock(col, s)) << col;
        EXPECT_TRUE(cal().text(col, s).isEmpty()) << col;
    }
    EXPECT_EQ(cal().cellTag(Campos::TagCaption, s), "Sales C");
    EXPECT_EQ(cal().cellTag(Campos::TagFormato, s), "0.0");
    EXPECT_EQ(cal().value(Campos::ColLimiteInferior, s).toDouble(), 10.5);
    EXPECT_EQ(cal().value(Campos::ColLimiteSuperior, s).toDouble(), 99.0);
    EXPECT_EQ(cal().backColor(Campos::ColLimiteSuperior, s), 0x00FF00u);
    EXPECT_EQ(cal().foreColor(Campos::ColLimiteInferior, s), 0x0000FFu);
    EXPECT_EQ(cal().text(Campos::ColIncluirTotales, s), "1");
    EXPECT_EQ(cal().cellTag(Campos::ColDestinatarios, s), "ana@example.com");
    EXPECT_EQ(cal().typeButtonText(Campos::ColAgregarRango, s), "+");
    EXPECT_TRUE(cal().text(Campos::ColTipoGrafico, s).isEmpty()); // chart settings stay with the main row
    EXPECT_EQ(cal().text(Campos::ColTipoGrafico, r), "Column 2D");
    EXPECT_EQ(cal().cellType(Campos::ColAgregado, r), TypeComboBox);          // the main row is untouched
    EXPECT_EQ(cal().value(Campos::ColLimiteInferior, s + 1).toDouble(), 0.0); // D moved down with its cells
    EXPECT_TRUE(salvar());
    EXPECT_TRUE(cal().redraw());

    // A nameless row gets no sub-row.
    pulsar(cal(), Campos::ColAgregarRango, 20);
    EXPECT_EQ(nombres(cal()).size(), 5);
}

TEST_F(MedidasTest, PlusOnAFullGridIsRefused) {
    cal().setMaxRows(4);
    for (const char* n : {"A", "B", "C", "D"})
        medida(n);
    pulsar(cal(), Campos::ColAgregarRango, 2);
    EXPECT_EQ(nombres(cal()), QStringList({"A", "B", "C", "D"}));
    EXPECT_EQ(cal().maxRows(), 4);
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].title, "Measures");
}

TEST_F(MedidasTest, MinusOnlineAndOffline) {
    struct Caso {
        const char* nombre;
        bool visible, sub, conectado;
        Answer respuesta;
        QStringList quedan, preguntas;
        bool recarga;
    } casos[] = {
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
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.nombre);
        refreshtest::CuboDePrueba u;
        bd::os::ScopedPrompter pr;
        pr->answer(k.respuesta);
        Grid& g = *u.c->spCal;
        for (const char* n : {"A", "B", "C"}) {
            const int r = u.c->BuscarPosicion(g);
            g.setText(1, r, n);
            g.setText(2, r, n == QString("B") && !k.visible ? "0" : "1");
            g.setText(3, r, "Sum");
            if (n == QString("B")) pulsar(g, Campos::ColAgregarRango, r); // B's alert sub-row
        }
        ASSERT_EQ(nombres(g), QStringList({"A", "B", "B", "C"}));
        u.cube->Conectado = k.conectado;
        u.c->Recarga = false;
        u.viewer->Salvar = false;
        pulsar(g, Campos::ColQuitarFila, k.sub ? 3 : 2);
        EXPECT_EQ(nombres(g), k.quedan);
        EXPECT_EQ(pr->texts(), k.preguntas);
        if (!pr->prompts.isEmpty()) {
            EXPECT_EQ(pr->prompts[0].title, "Remove");
        }
        EXPECT_EQ(u.c->Recarga, k.recarga);
        EXPECT_EQ(u.viewer->Salvar, k.quedan.size() < 4);
        EXPECT_EQ(g.maxRows(), 300);
        // What stays below keeps its own kind.
        const int c = int(k.quedan.indexOf("C")) + 1;
        EXPECT_EQ(g.cellType(Campos::ColAgregado, c), TypeComboBox);
    }
}

TEST_F(MedidasTest, TheAlertColoursOnlyFromAnAcceptedPick) {
    const int r = medida("A");
    struct Caso {
        const char* nombre;
        bool fondo, texto, aceptar;
    } casos[] = {
        {"back colour only", true, false, true},
        {"text colour only", false, true, true},
        {"both, closed by the close box", true, true, false},
    };
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.nombre);
        const uint32_t fondo0 = cal().backColor(Campos::ColLimiteInferior, r);
        const uint32_t texto0 = cal().foreColor(Campos::ColLimiteSuperior, r);
        t.viewer->Salvar = false;
        QString elegidoFondo, elegidoTexto;
        bd::os::ScopedDialogHandler h([&](QDialog* d) {
            auto* f = qobject_cast<FrmColor*>(d);
            if (!f) return int(QDialog::Rejected);
            // Points on the palettes as the mouse picks them.
            if (k.fondo) f->Cambiar_Color(10, 20);
            if (k.texto) f->Cambiar_Color2(100, 120);
            elegidoFondo = f->VColor;
            elegidoTexto = f->VColor2;
            if (k.aceptar)
                f->cmdAceptar->click();
            else
                f->close();
            return f->result();
        });
        pulsar(cal(), Campos::ColColorAlerta, r);
        EXPECT_EQ(!elegidoFondo.isEmpty(), k.fondo);
        EXPECT_EQ(!elegidoTexto.isEmpty(), k.texto);
        const bool fondo = k.fondo && k.aceptar, texto = k.texto && k.aceptar;
        for (int col : {Campos::ColLimiteInferior, Campos::ColLimiteSuperior}) {
            EXPECT_EQ(cal().backColor(col, r), fondo ? elegidoFondo.toUInt() : fondo0) << col;
            EXPECT_EQ(cal().foreColor(col, r), texto ? elegidoTexto.toUInt() : texto0) << col;
        }
        EXPECT_EQ(salvar(), k.aceptar);
        if (!k.aceptar) {
            EXPECT_TRUE(General::sColorFondo.isEmpty());
            EXPECT_TRUE(General::sColorTexto.isEmpty());
        }
    }
}

TEST_F(MedidasTest, RecipientsOnlyFromOk) {
    const int r = medida("A");
    cal().setCellTag(Campos::ColDestinatarios, r, "old@example.com");
    for (bool aceptar : {false, true}) {
        SCOPED_TRACE(aceptar);
        QString recibido;
        bool sinCerrar = false;
        bd::os::ScopedDialogHandler h([&](QDialog* d) {
            auto* f = qobject_cast<frmMailSelect*>(d);
            if (!f) return int(QDialog::Rejected);
            recibido = f->txtMail->text();
            sinCerrar = f->CancelarUnload && f->Vcampos == &c();
            f->txtMail->setText("ana@example.com, luis@example.com");
            if (aceptar)
                f->cmdAceptar->click();
            else
                f->close();
            return f->result();
        });
        pulsar(cal(), Campos::ColDestinatarios, r);
        EXPECT_EQ(recibido, "old@example.com");
        EXPECT_TRUE(sinCerrar);
        EXPECT_EQ(cal().cellTag(Campos::ColDestinatarios, r),
                  aceptar ? "ana@example.com, luis@example.com" : "old@example.com");
        EXPECT_EQ(salvar(), aceptar);
    }
}

TEST_F(MedidasTest, ChangesMarkTheCubeAndNamelessRowsStayHidden) {
    struct Caso {
        int col;
        bool recarga;
    } casos[] = {{1, true}, {2, true}, {3, true}, {4, false}, {6, false}};
    const int r = medida("A");
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.col);
        c().Recarga = false;
        t.viewer->Salvar = false;
        emit cal().changed(k.col, r);
        EXPECT_EQ(c().Recarga, k.recarga);
        EXPECT_TRUE(salvar());
    }
    cal().setText(Campos::ColVisible, 9, "1");
    emit cal().changed(Campos::ColVisible, 9);
    EXPECT_EQ(cal().text(Campos::ColVisible, 9), "0");
    // The visible box of a named row is a structural edit.
    c().Recarga = false;
    marcar(cal(), Campos::ColVisible, r);
    EXPECT_TRUE(c().Recarga);
}

TEST_F(MedidasTest, TheFieldDialogFromAMeasureSetsItsTagsAndDecimals) {
    General::sSepDecimal = ".";
    struct Caso {
        const char* formato;
        int decimales;
    } casos[] = {{"0.000", 3}, {"", 2}, {"#,##0", 0}};
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.formato);
        refreshtest::CuboDePrueba u;
        Campos& d = *u.c;
        d.spCam->setText(1, 1, "Amount");
        d.spCam->setCellTag(3, 1, "ISNUMERIC");
        d.spCal->setText(1, 1, "Amount");
        d.spCal->setText(2, 1, "1");
        bool boton = false;
        bd::os::ScopedDialogHandler h([&](QDialog* dlg) {
            auto* f = qobject_cast<frmFieldProperties*>(dlg);
            if (!f) return int(QDialog::Rejected);
            boton = !f->cmdChartProperties->isHidden();
            f->txtCaption->setText("Sales");
            f->txtFormat->setText(k.formato);
            f->cmdAceptar->click();
            return f->result();
        });
        emit d.spCal->dblClicked(1, 1);
        EXPECT_TRUE(boton);
        EXPECT_EQ(d.spCal->cellTag(Campos::TagCaption, 1), "Sales");
        EXPECT_EQ(d.spCal->cellTag(Campos::TagFormato, 1), k.formato);
        EXPECT_EQ(d.spCam->cellTag(Campos::TagFormato, 1), k.formato);
        EXPECT_EQ(d.spCal->typeFloatDecimalPlaces(Campos::ColLimiteInferior, 1), k.decimales);
        EXPECT_EQ(d.spCal->typeFloatDecimalPlaces(Campos::ColLimiteSuperior, 1), k.decimales);
    }
}

TEST_F(MedidasTest, ACalculatedMeasureNeverOpensTheFieldDialog) {
    campo("Ratio", "ISNUMERIC");
    const int r = medida("Ratio");
    cal().setCellTag(Campos::TagFormula, r, "[Amount]/[Units]");
    QStringList mostrados;
    bd::os::ScopedDialogHandler h([&](QDialog* d) {
        mostrados << d->objectName();
        return int(QDialog::Rejected);
    });
    emit cal().dblClicked(1, r);
    // The formula editor opens instead, and a cancelled editor writes nothing.
    EXPECT_EQ(mostrados, QStringList{"frmFormula"});
    EXPECT_EQ(cal().cellTag(Campos::TagFormula, r), "[Amount]/[Units]");
}
