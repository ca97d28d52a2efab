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
struct Dialogs : GridEditing {
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

TEST_F(Dialogs, CalculatedMeasureOverwritesInPlaceKeepingItsAlertBoundsAndRecipients) {
    General::sSepDecimal = ".";
    measure("Amount");
    int times = 0;
    bd::os::ScopedDialogHandler h([&](QDialog* d) {
        ++times;
        qobject_cast<frmFormula*>(d)->cmdAceptar->click();
        return d->result();
    });
    formula("Ratio", "", "Amount/2");
    c().SetCalculatedField();
    ASSERT_EQ(measureGrid().text(1, 2), "Ratio");
    EXPECT_EQ(measureGrid().typeFloatDecimalPlaces(Campos::ColLimiteInferior, 2), 2);
    measureGrid().setText(Campos::ColLimiteInferior, 2, "5");
    measureGrid().setCellTag(Campos::ColDestinatarios, 2, "ana@example.com");
    formula("RATIO", "0.000", "Amount/3");
    c().SetCalculatedField();
    EXPECT_EQ(names(measureGrid()), QStringList({"Amount", "RATIO"}));
    EXPECT_EQ(measureGrid().cellTag(Campos::TagFormula, 2), "Amount/3");
    EXPECT_EQ(measureGrid().value(Campos::ColLimiteInferior, 2).toDouble(), 5.0);
    EXPECT_EQ(measureGrid().cellTag(Campos::ColDestinatarios, 2), "ana@example.com");
    EXPECT_EQ(measureGrid().typeFloatDecimalPlaces(Campos::ColLimiteInferior, 2), 3);
    EXPECT_TRUE(c().Recarga);
    EXPECT_TRUE(saveFlag());
}

TEST_F(Dialogs, CalculatedMeasureRefusals) {
    measure("Amount");
    // An ordinary measure's name: the message, then the editor again (closed the second time).
    int times = 0;
    {
        bd::os::ScopedDialogHandler h([&](QDialog* d) {
            if (++times == 1) qobject_cast<frmFormula*>(d)->cmdAceptar->click();
            return d->result();
        });
        formula("amount", "", "1+1");
        c().SetCalculatedField();
    }
    EXPECT_EQ(times, 2);
    EXPECT_EQ(texts(), QStringList{"The field Amount already exists."});
    EXPECT_TRUE(measureGrid().cellTag(Campos::TagFormula, 1).isEmpty());
    // An empty id is painted red and the editor stays.
    {
        frmFormula f;
        f.txtId->setText("  ");
        f.txtFormula->setText("1");
        f.cmdAceptar->click();
        EXPECT_FALSE(f.Cambio);
        EXPECT_TRUE(refreshtest::paintedAsError(f.txtId));
    }
    // A full grid: a message and nothing written.
    measureGrid().setMaxRows(1);
    {
        bd::os::ScopedDialogHandler h([&](QDialog* d) {
            qobject_cast<frmFormula*>(d)->cmdAceptar->click();
            return d->result();
        });
        formula("X", "", "1");
        c().SetCalculatedField();
    }
    EXPECT_EQ(names(measureGrid()), QStringList{"Amount"});
    EXPECT_TRUE(texts().last().contains("full"));
}

TEST_F(Dialogs, ChartPropertiesStoreCountsTypeAndTotals) {
    const int r = measure("Amount");
    measureGrid().setActiveCell(1, r);
    struct Case {
        QString type, limit;
        QString col12, col19;
        bool totals = true;
    } cases[] = {{"", "12", "", "12"},              // "Default" is not kept
                 {"None", "-3", "None", "", false}, // negative limits are no counts
                 {"Pie 9D", "1.5", "", ""},         // a name not in the list
                 {"Column 2D", " 7 ", "Column 2D", "7"}};
    for (const Case& k : cases) {
        bd::os::ScopedDialogHandler h([&](QDialog* d) {
            auto* f = qobject_cast<frmChartProperties*>(d);
            if (!k.type.isEmpty()) f->cmbTypeGraph->setEditText(k.type);
            f->txtResultLimit->setText(k.limit);
            f->chkDrawTotals->setChecked(k.totals);
            f->cmdAceptar->click();
            return d->result();
        });
        c().cmdChartProperties_Click();
        EXPECT_EQ(measureGrid().text(Campos::ColTipoGrafico, r), k.col12) << k.type.toStdString();
        EXPECT_EQ(measureGrid().text(Campos::ColLimiteResultados, r), k.col19) << k.limit.toStdString();
        EXPECT_EQ(measureGrid().text(Campos::ColDibujarTotales, r), k.totals ? "1" : "0");
        measureGrid().setText(Campos::ColTipoGrafico, r, QString());
    }
    measureGrid().setText(Campos::ColTipoGrafico, r, "None");
    EXPECT_FALSE(Campos::hasChartTool(measureGrid(), r));
}

TEST_F(Dialogs, FieldDialogsChartButtonOpensTheChartDialogAfterwards) {
    field("Amount", "ISNUMERIC", "0");
    const int r = measure("Amount");
    measureGrid().setActiveCell(1, r);
    QStringList seenOnes;
    bd::os::ScopedDialogHandler h([&](QDialog* d) {
        seenOnes << d->objectName();
        if (auto* f = qobject_cast<frmFieldProperties*>(d)) {
            f->txtCaption->setText("changed");
            f->cmdChartProperties->click();
        }
        return d->result();
    });
    emit measureGrid().dblClicked(1, r);
    EXPECT_EQ(seenOnes, QStringList({"frmFieldProperties", "frmChartProperties"}));
    EXPECT_NE(fieldGrid().cellTag(Campos::TagCaption, 1), "changed");
}

TEST_F(Dialogs, PasswordAndProtection) {
    t.cube->vPass = "Secret";
    t.viewer->Salvar = false;
    QString typed = "sECRET";
    bool accept = true;
    QStringList seenOnes;
    bd::os::ScopedDialogHandler h([&](QDialog* d) {
        seenOnes << d->objectName();
        if (auto* p = d->findChild<QLineEdit*>("txtPass"); p && d->objectName() == "frmPassword") {
            EXPECT_EQ(p->echoMode(), QLineEdit::Password);
            p->setText(typed);
            d->findChild<QPushButton*>("cmdAceptar")->click();
        } else if (auto* f = qobject_cast<frmProtect*>(d)) {
            EXPECT_EQ(f->txtPass->echoMode(), QLineEdit::Password);
            EXPECT_EQ(f->txtPass->text(), "Secret");
            if (accept) {
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
    EXPECT_EQ(seenOnes, QStringList{"frmPassword"});
    EXPECT_FALSE(saveFlag());
    // Closing the protection dialog changes nothing either.
    typed = "sECRET";
    accept = false;
    c().Protect();
    EXPECT_FALSE(saveFlag());
    accept = true;
    c().Protect();
    EXPECT_TRUE(saveFlag());
    EXPECT_EQ(t.cube->vPass, "New");
    const std::pair<int, QString> rows[] = {{6, "New"}, {7, "1"}, {8, "0"}, {9, "0"}, {42, "1"}};
    for (const auto& [row, v] : rows)
        EXPECT_EQ(c().Property(row), v) << row;
}

TEST_F(Dialogs, OnlyRealEditsOfTheSqlBoxSetTheFlags) {
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
    EXPECT_FALSE(c().Cambio || c().Recarga || saveFlag());
    EXPECT_EQ(c().CeldaEstadoConsulta(), "<state/>");
    QTest::keyClick(c().txtQuery, Qt::Key_End);
    QTest::keyClicks(c().txtQuery, "2");
    EXPECT_TRUE(c().Cambio && c().Recarga && saveFlag());
    EXPECT_EQ(c().CeldaEstadoConsulta(), "");
    EXPECT_EQ(c().aQ->tag(), "");
    EXPECT_EQ(t.cube->CubeSqlQuery, "SELECT 12");
}

// Paste from the box's own menu, as the mouse gives it, is the user's edit.
TEST_F(Dialogs, APasteFromTheMouseMenuSetsTheFlags) {
    c().txtQuery->setPlainText("SELECT 1");
    c().Cambio = c().Recarga = false;
    t.viewer->Salvar = false;
    c().txtQuery->moveCursor(QTextCursor::End);
    QApplication::clipboard()->setText(" + 1");
    bool pasted = false;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* a : menu->actions())
            if (a->text().contains("Paste") && a->isEnabled()) {
                a->trigger();
                pasted = true;
            }
        menu->close();
    });
    QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(4, 4), c().txtQuery->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(c().txtQuery->viewport(), &ev);
    ASSERT_TRUE(pasted);
    EXPECT_TRUE(c().Cambio && c().Recarga && saveFlag());
    EXPECT_EQ(t.cube->CubeSqlQuery, "SELECT 1 + 1");
}

TEST_F(Dialogs, RowMovers) {
    const int a = measure("A");
    press(measureGrid(), Campos::ColAgregarRango, a); // A has an alert sub-row
    measure("B");
    measure("C");
    c().VaOnfocus = &measureGrid();
    struct Case {
        int row;
        bool up;
        QStringList names;
        int active;
        bool moves;
    } cases[] = {{3, true, {"B", "A", "A", "C"}, 1, true},  // B over A's whole group
                 {1, true, {"B", "A", "A", "C"}, 1, false}, // first row: nothing
                 {3, false, {"B", "C", "A", "A"}, 4, true}, // the group below C, from its sub-row
                 {300, false, {"B", "C", "A", "A"}, 300, false}};
    for (const Case& k : cases) {
        measureGrid().setActiveCell(1, k.row);
        t.viewer->Salvar = false;
        k.up ? c().MoverFilaArriba() : c().MoverFilaAbajo();
        EXPECT_EQ(names(measureGrid()), k.names) << k.row;
        EXPECT_EQ(measureGrid().activeRow(), k.active) << k.row;
        EXPECT_EQ(measureGrid().maxRows(), 300);
        EXPECT_EQ(saveFlag(), k.moves) << k.row;
    }
    EXPECT_EQ(measureGrid().cellType(Campos::ColAgregado, 4), TypePlain); // the sub-row stayed a sub-row
    const int f = filter("F", Campos::ISTEXT);
    filter("G", Campos::ISTEXT);
    c().VaOnfocus = &filterGrid();
    filterGrid().setActiveCell(1, f);
    c().FiltrosCambiados = false;
    c().MoverFilaAbajo();
    EXPECT_EQ(names(filterGrid()), QStringList({"G", "F"}));
    EXPECT_TRUE(c().FiltrosCambiados);
}
