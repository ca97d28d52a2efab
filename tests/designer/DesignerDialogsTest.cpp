// Calculated measures, chart settings, the field dialog's chart button, the cube password and its
// protection switches, the definition text boxes and the row movers.
#include "designer/GridEditingSupport.h"
#include "designer/frmChartProperties.h"
#include "designer/frmFieldProperties.h"
#include "designer/frmFormula.h"
#include "designer/frmProtect.h"
#include "platform/os/DialogRunner.h"
#include "platform/querybuilder/QueryBuilder.h"
#include "shell/General.h"
#include "shell/InsCube.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

using namespace gridedit;
using namespace bd::grid;

namespace {
struct Dialogos : Edicion {
    // Fills the formula editor and confirms it.
    void formula(const QString& id, const QString& fmt, const QString& f) {
        Campos& d = c();
        frmFormula* e = d.Formula();
        e->txtId->setText(id);
        e->txtFormat->setText(fmt);
        e->txtFormula->setText(f);
    }
};
} // namespace

TEST_F(Dialogos, CalculatedMeasureOverwritesInPlaceKeepingItsAlertBoundsAndRecipients) {
    General::sSepDecimal = ".";
    medida("Amount");
    int veces = 0;
    bd::os::ScopedDialogHandler h([&](QDialog* d) {
        ++veces;
        qobject_cast<frmFormula*>(d)->cmdAceptar->click();
        return d->result();
    });
    formula("Ratio", "", "Amount/2");
    c().SetCalculatedField();
    ASSERT_EQ(cal().text(1, 2), "Ratio");
    EXPECT_EQ(cal().typeFloatDecimalPlaces(Campos::ColLimiteInferior, 2), 2);
    cal().setText(Campos::ColLimiteInferior, 2, "5");
    cal().setCellTag(Campos::ColDestinatarios, 2, "ana@example.com");
    formula("RATIO", "0.000", "Amount/3");
    c().SetCalculatedField();
    EXPECT_EQ(nombres(cal()), QStringList({"Amount", "RATIO"}));
    EXPECT_EQ(cal().cellTag(Campos::TagFormula, 2), "Amount/3");
    EXPECT_EQ(cal().value(Campos::ColLimiteInferior, 2).toDouble(), 5.0);
    EXPECT_EQ(cal().cellTag(Campos::ColDestinatarios, 2), "ana@example.com");
    EXPECT_EQ(cal().typeFloatDecimalPlaces(Campos::ColLimiteInferior, 2), 3);
    EXPECT_TRUE(c().Recarga);
    EXPECT_TRUE(salvar());
}

TEST_F(Dialogos, CalculatedMeasureRefusals) {
    medida("Amount");
    // An ordinary measure's name: the message, then the editor again (closed the second time).
    int veces = 0;
    {
        bd::os::ScopedDialogHandler h([&](QDialog* d) {
            if (++veces == 1) qobject_cast<frmFormula*>(d)->cmdAceptar->click();
            return d->result();
        });
        formula("amount", "", "1+1");
        c().SetCalculatedField();
    }
    EXPECT_EQ(veces, 2);
    EXPECT_EQ(textos(), QStringList{"The field Amount already exists."});
    EXPECT_TRUE(cal().cellTag(Campos::TagFormula, 1).isEmpty());
    // An empty id is painted red and the editor stays.
    {
        frmFormula f;
        f.txtId->setText("  ");
        f.txtFormula->setText("1");
        f.cmdAceptar->click();
        EXPECT_FALSE(f.Cambio);
        EXPECT_TRUE(refreshtest::pintadoDeError(f.txtId));
    }
    // A full grid: a message and nothing written.
    cal().setMaxRows(1);
    {
        bd::os::ScopedDialogHandler h([&](QDialog* d) {
            qobject_cast<frmFormula*>(d)->cmdAceptar->click();
            return d->result();
        });
        formula("X", "", "1");
        c().SetCalculatedField();
    }
    EXPECT_EQ(nombres(cal()), QStringList{"Amount"});
    EXPECT_TRUE(textos().last().contains("full"));
}

TEST_F(Dialogos, ChartPropertiesStoreCountsTypeAndTotals) {
    const int r = medida("Amount");
    cal().setActiveCell(1, r);
    struct Caso {
        QString tipo, limite;
        QString col12, col19;
        bool totales = true;
    } casos[] = {{"", "12", "", "12"},              // "Default" is not kept
                 {"None", "-3", "None", "", false}, // negative limits are no counts
                 {"Pie 9D", "1.5", "", ""},         // a name not in the list
                 {"Column 2D", " 7 ", "Column 2D", "7"}};
    for (const Caso& k : casos) {
        bd::os::ScopedDialogHandler h([&](QDialog* d) {
            auto* f = qobject_cast<frmChartProperties*>(d);
            if (!k.tipo.isEmpty()) f->cmbTypeGraph->setEditText(k.tipo);
            f->txtResultLimit->setText(k.limite);
            f->chkDrawTotals->setChecked(k.totales);
            f->cmdAceptar->click();
            return d->result();
        });
        c().cmdChartProperties_Click();
        EXPECT_EQ(cal().text(Campos::ColTipoGrafico, r), k.col12) << k.tipo.toStdString();
        EXPECT_EQ(cal().text(Campos::ColLimiteResultados, r), k.col19) << k.limite.toStdString();
        EXPECT_EQ(cal().text(Campos::ColDibujarTotales, r), k.totales ? "1" : "0");
        cal().setText(Campos::ColTipoGrafico, r, QString());
    }
    cal().setText(Campos::ColTipoGrafico, r, "None");
    EXPECT_FALSE(Campos::hasChartTool(cal(), r));
}

TEST_F(Dialogos, FieldDialogsChartButtonOpensTheChartDialogAfterwards) {
    campo("Amount", "ISNUMERIC", "0");
    const int r = medida("Amount");
    cal().setActiveCell(1, r);
    QStringList vistos;
    bd::os::ScopedDialogHandler h([&](QDialog* d) {
        vistos << d->objectName();
        if (auto* f = qobject_cast<frmFieldProperties*>(d)) {
            f->txtCaption->setText("changed");
            f->cmdChartProperties->click();
        }
        return d->result();
    });
    emit cal().dblClicked(1, r);
    EXPECT_EQ(vistos, QStringList({"frmFieldProperties", "frmChartProperties"}));
    EXPECT_NE(cam().cellTag(Campos::TagCaption, 1), "changed");
}

TEST_F(Dialogos, PasswordAndProtection) {
    t.cube->vPass = "Secret";
    t.viewer->Salvar = false;
    QString typed = "sECRET";
    bool aceptar = true;
    QStringList vistos;
    bd::os::ScopedDialogHandler h([&](QDialog* d) {
        vistos << d->objectName();
        if (auto* p = d->findChild<QLineEdit*>("txtPass"); p && d->objectName() == "frmPassword") {
            EXPECT_EQ(p->echoMode(), QLineEdit::Password);
            p->setText(typed);
            d->findChild<QPushButton*>("cmdAceptar")->click();
        } else if (auto* f = qobject_cast<frmProtect*>(d)) {
            EXPECT_EQ(f->txtPass->echoMode(), QLineEdit::Password);
            EXPECT_EQ(f->txtPass->text(), "Secret");
            if (aceptar) {
                f->txtPass->setText("New");
                f->chkPdc->setChecked(true);
                f->chkAllConfig->setChecked(true);
                f->cmdAceptar->click();
            }
        }
        return d->result();
    });
    // A wrong password changes nothing.
    typed = "wrong";
    c().Protect();
    EXPECT_EQ(vistos, QStringList{"frmPassword"});
    EXPECT_FALSE(salvar());
    // Closing the protection dialog changes nothing either.
    typed = "sECRET";
    aceptar = false;
    c().Protect();
    EXPECT_FALSE(salvar());
    aceptar = true;
    c().Protect();
    EXPECT_TRUE(salvar());
    EXPECT_EQ(t.cube->vPass, "New");
    const std::pair<int, QString> filas[] = {{6, "New"}, {7, "1"}, {8, "0"}, {9, "0"}, {42, "1"}};
    for (const auto& [fila, v] : filas)
        EXPECT_EQ(c().Property(fila), v) << fila;
}

TEST_F(Dialogos, OnlyRealEditsOfTheSqlBoxSetTheFlags) {
    c().txtQuery->setPlainText("SELECT 1");
    c().setQueryStateCell("<state/>");
    c().aQ->setTag("WORK");
    c().Cambio = c().Recarga = false;
    t.viewer->Salvar = false;
    c().txtQuery->setFocus();
    for (auto k : {Qt::Key_Left, Qt::Key_End, Qt::Key_Home})
        QTest::keyClick(c().txtQuery, k);
    QTest::keyClick(c().txtQuery, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(c().txtQuery, Qt::Key_C, Qt::ControlModifier);
    EXPECT_FALSE(c().Cambio || c().Recarga || salvar());
    EXPECT_EQ(c().CeldaEstadoConsulta(), "<state/>");
    QTest::keyClick(c().txtQuery, Qt::Key_End);
    QTest::keyClicks(c().txtQuery, "2");
    EXPECT_TRUE(c().Cambio && c().Recarga && salvar());
    EXPECT_EQ(c().CeldaEstadoConsulta(), "");
    EXPECT_EQ(c().aQ->tag(), "");
    EXPECT_EQ(t.cube->CubeSqlQuery, "SELECT 12");
}

// Paste from the box's own menu, as the mouse gives it, is the user's edit.
TEST_F(Dialogos, APasteFromTheMouseMenuSetsTheFlags) {
    c().txtQuery->setPlainText("SELECT 1");
    c().Cambio = c().Recarga = false;
    t.viewer->Salvar = false;
    c().txtQuery->moveCursor(QTextCursor::End);
    QApplication::clipboard()->setText(" + 1");
    bool pegado = false;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* a : menu->actions())
            if (a->text().contains("Paste") && a->isEnabled()) {
                a->trigger();
                pegado = true;
            }
        menu->close();
    });
    QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(4, 4), c().txtQuery->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(c().txtQuery->viewport(), &ev);
    ASSERT_TRUE(pegado);
    EXPECT_TRUE(c().Cambio && c().Recarga && salvar());
    EXPECT_EQ(t.cube->CubeSqlQuery, "SELECT 1 + 1");
}

TEST_F(Dialogos, RowMovers) {
    const int a = medida("A");
    pulsar(cal(), Campos::ColAgregarRango, a); // A has an alert sub-row
    medida("B");
    medida("C");
    c().VaOnfocus = &cal();
    struct Caso {
        int fila;
        bool up;
        QStringList nombres;
        int activa;
        bool mueve;
    } casos[] = {{3, true, {"B", "A", "A", "C"}, 1, true},  // B over A's whole group
                 {1, true, {"B", "A", "A", "C"}, 1, false}, // first row: nothing
                 {3, false, {"B", "C", "A", "A"}, 4, true}, // the group below C, from its sub-row
                 {300, false, {"B", "C", "A", "A"}, 300, false}};
    for (const Caso& k : casos) {
        cal().setActiveCell(1, k.fila);
        t.viewer->Salvar = false;
        k.up ? c().MoverFilaArriba() : c().MoverFilaAbajo();
        EXPECT_EQ(nombres(cal()), k.nombres) << k.fila;
        EXPECT_EQ(cal().activeRow(), k.activa) << k.fila;
        EXPECT_EQ(cal().maxRows(), 300);
        EXPECT_EQ(salvar(), k.mueve) << k.fila;
    }
    EXPECT_EQ(cal().cellType(Campos::ColAgregado, 4), TypePlain); // the sub-row stayed a sub-row
    const int f = filtro("F", Campos::ISTEXT);
    filtro("G", Campos::ISTEXT);
    c().VaOnfocus = &fil();
    fil().setActiveCell(1, f);
    c().FiltrosCambiados = false;
    c().MoverFilaAbajo();
    EXPECT_EQ(nombres(fil()), QStringList({"G", "F"}));
    EXPECT_TRUE(c().FiltrosCambiados);
}
