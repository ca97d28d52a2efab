// The field grid: its add buttons in both modes, the dimension box, the field dialog, full grids, and
// the add buttons as a person reaches them on the screen (mouse, Space, Enter) at any window width.
#include "designer/GridEditingSupport.h"
#include "designer/frmFieldProperties.h"
#include "platform/os/DialogRunner.h"

#include <QHeaderView>
#include <QTableView>
#include <QTest>

using namespace gridedit;
using namespace bd::grid;
using bd::os::Icon;

namespace {
const QString kAS = "This field was already added. To add, modify the sql query using 'AS': select field "
                    "\"as field1\"";

struct FieldGridTest : GridEditing {};
} // namespace

TEST_F(FieldGridTest, TheAddButtonByModeTypeClassAndDuplicate) {
    struct Case {
        const char* name;
        bool filters;
        QString typeClass;
        bool repeated; // pressed a second time
        QStringList measures, expectedFilters, messages;
    } cases[] = {
        {"number as a measure", false, "ISNUMERIC", false, {"F"}, {}, {}},
        {"number twice as a measure", false, "ISNUMERIC", true, {"F"}, {}, {kAS}},
        {"number as a filter", true, "ISNUMERIC", false, {}, {"F"}, {}},
        {"number twice as a filter", true, "ISNUMERIC", true, {}, {"F", "F"}, {}},
        {"text as a filter", true, "ISTEXT", false, {}, {"F"}, {}},
        {"memo as a filter", true, "ISMEMO", false, {}, {"F"}, {}},
        {"date twice as a filter", true, "ISDATE", true, {}, {"F", "F"}, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        refreshtest::TestCube u;
        bd::os::ScopedPrompter pr;
        Campos& d = *u.c;
        d.spCam->setText(1, 1, "F");
        d.spCam->setText(2, 1, "1");
        d.spCam->setCellTag(3, 1, k.typeClass);
        if (k.filters)
            d.cmdShowFilters_Click();
        else
            d.cmdSelCamCal_Click();
        ASSERT_EQ(d.spCam->cellType(3, 1), TypeButton);
        ASSERT_FALSE(d.spCam->lock(3, 1));
        d.Recarga = false;
        for (int i = 0; i < (k.repeated ? 2 : 1); ++i)
            press(*d.spCam, 3, 1);
        EXPECT_EQ(names(*d.spCal), k.measures);
        EXPECT_EQ(names(*d.spFil), k.expectedFilters);
        EXPECT_EQ(pr->texts(), k.messages);
        EXPECT_TRUE(u.viewer->Salvar);
        EXPECT_EQ(d.Recarga, !k.filters);
        EXPECT_EQ(d.FiltrosCambiados, k.filters);
        // A measure is no dimension; a filter leaves the dimension as it was.
        EXPECT_EQ(d.spCam->text(2, 1), k.filters ? "1" : "0");
        if (!k.measures.isEmpty()) {
            EXPECT_EQ(d.spCal->text(Campos::ColVisible, 1), "1");
            EXPECT_EQ(d.spCal->text(Campos::ColAgregado, 1), "Sum");
            EXPECT_EQ(d.spCal->value(Campos::ColLimiteInferior, 1).toDouble(), 0.0);
            EXPECT_EQ(d.spCal->value(Campos::ColLimiteSuperior, 1).toDouble(), 0.0);
            EXPECT_EQ(d.spCal->row(), 1);
            EXPECT_EQ(d.spCal->col(), Campos::ColMedida);
        }
        for (int r = 1; r <= k.expectedFilters.size(); ++r) {
            EXPECT_EQ(d.spFil->text(Campos::ColFiltroUsuario, r), "1");
            EXPECT_EQ(d.spFil->text(Campos::ColOperador, r), "Between");
            EXPECT_EQ(d.spFil->cellTag(Campos::ColOperador, r), k.typeClass);
            EXPECT_EQ(d.spFil->cellType(Campos::ColValorHasta, r), TypeButton);
        }
    }
}

TEST_F(FieldGridTest, MeasuresModeGivesButtonsToNumbersOnlyAndRefusesOthers) {
    field("N", "ISNUMERIC");
    field("T", "ISTEXT");
    field("M", "ISMEMO", "0");
    c().cmdSelCamCal->click(); // the button of the grid on show does nothing
    EXPECT_TRUE(c().spFil->isHidden());
    c().cmdShowFilters->click();
    for (int r = 1; r <= 3; ++r)
        EXPECT_EQ(fieldGrid().cellType(3, r), TypeButton) << r;
    EXPECT_TRUE(c().spCal->isHidden());
    EXPECT_FALSE(c().spFil->isHidden());
    EXPECT_FALSE(c().cmdShowFilters->isEnabled());
    EXPECT_TRUE(c().cmdSelCamCal->isEnabled());

    c().cmdSelCamCal->click();
    EXPECT_EQ(fieldGrid().cellType(3, 1), TypeButton);
    for (int r : {2, 3}) {
        EXPECT_EQ(fieldGrid().cellType(3, r), TypePlain) << r;
        EXPECT_TRUE(fieldGrid().lock(3, r)) << r;
    }
    EXPECT_FALSE(c().spCal->isHidden());
    EXPECT_TRUE(c().spFil->isHidden());
    EXPECT_FALSE(c().cmdSelCamCal->isEnabled());

    c().AgregarCampoASpCal(3, 2);
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].text, "Only allow numeric type");
    EXPECT_EQ(p->prompts[0].title, "The field is not numeric");
    EXPECT_EQ(p->prompts[0].icon, Icon::None);
    EXPECT_TRUE(names(measureGrid()).isEmpty());
}

TEST_F(FieldGridTest, TheDimensionBox) {
    const int memo = field("Notes", "ISMEMO", "0");
    const int measure = field("Amount", "ISNUMERIC");
    const int other = field("Units", "ISNUMERIC");
    c().AgregarCampoASpCal(3, measure); // unchecks its box
    ASSERT_EQ(fieldGrid().text(2, measure), "0");

    c().Recarga = false;
    tick(fieldGrid(), 2, memo);
    EXPECT_EQ(fieldGrid().text(2, memo), "0");
    tick(fieldGrid(), 2, measure);
    EXPECT_EQ(fieldGrid().text(2, measure), "0");
    EXPECT_FALSE(c().Recarga);
    ASSERT_EQ(p->prompts.size(), 2);
    EXPECT_EQ(p->prompts[0].text,
              "Field Notes is a Memo type. Can not be displayed. Is available for filters. ");
    EXPECT_EQ(p->prompts[0].title, "Fields");
    EXPECT_EQ(p->prompts[1].text, "This field was already added to the measures grid.");
    EXPECT_EQ(p->prompts[1].title, "Existing field");

    tick(fieldGrid(), 2, other); // unchecked by the user: the pivot loses a dimension
    EXPECT_EQ(fieldGrid().text(2, other), "0");
    EXPECT_TRUE(c().Recarga);
    EXPECT_TRUE(saveFlag());

    // A nameless row's box does not stay checked.
    tick(fieldGrid(), 2, 10);
    EXPECT_EQ(fieldGrid().text(2, 10), "0");
    EXPECT_EQ(p->prompts.size(), 2);
}

TEST_F(FieldGridTest, AFullGridIsReportedAndTheHeaderRowKeepsItsTexts) {
    const int r = field("Amount", "ISNUMERIC");
    for (Grid* g : {&measureGrid(), &filterGrid()}) {
        g->setMaxRows(3);
        for (int i = 1; i <= 3; ++i)
            g->setText(1, i, QString("X%1").arg(i));
    }
    const QString calHeader = measureGrid().text(1, 0), filHeader = filterGrid().text(1, 0);
    c().AgregarCampoASpCal(3, r);
    c().AgregarCampoASpFil(3, r);
    EXPECT_EQ(measureGrid().text(1, 0), calHeader);
    EXPECT_EQ(filterGrid().text(1, 0), filHeader);
    EXPECT_EQ(measureGrid().text(2, 0), "VISIBLE");
    EXPECT_EQ(filterGrid().text(3, 0), "FUNCTION");
    EXPECT_EQ(names(measureGrid()), QStringList({"X1", "X2", "X3"}));
    EXPECT_EQ(names(filterGrid()), QStringList({"X1", "X2", "X3"}));
    EXPECT_EQ(fieldGrid().text(2, r), "1"); // still a dimension: it did not become a measure
    EXPECT_EQ(p->prompts.size(), 2);
    EXPECT_FALSE(c().FiltrosCambiados);
}

namespace {
// Answers the field dialog: records what it was given, then types and confirms (or closes it).
struct FieldDialogAnswer {
    QString id, caption, format, type;
    bool formatVisible = false, formatEnabled = false, chartButton = false;
    int shown = 0;
    std::function<void(frmFieldProperties&)> fill;
    bd::os::ScopedDialogHandler handler{[this](QDialog* d) {
        auto* f = qobject_cast<frmFieldProperties*>(d);
        if (!f) return int(QDialog::Rejected);
        ++shown;
        id = f->txtId->text();
        caption = f->txtCaption->text();
        format = f->txtFormat->text();
        type = f->txtType->text();
        formatVisible = !f->txtFormat->isHidden();
        formatEnabled = f->txtFormat->isEnabled();
        chartButton = !f->cmdChartProperties->isHidden();
        if (!fill) {
            f->close();
            return f->result();
        }
        fill(*f);
        f->cmdAceptar->click();
        return f->result();
    }};
};
} // namespace

TEST_F(FieldGridTest, TheFieldDialogFromTheFieldName) {
    const int num = field("Amount", "ISNUMERIC");
    const int txt = field("Region", "ISTEXT");
    fieldGrid().setCellTag(Campos::TagCaption, num, "Total");
    fieldGrid().setCellTag(Campos::TagFormato, num, "#,##0.00");
    {
        FieldDialogAnswer d;
        c().spCam_DblClick(1, txt);
        EXPECT_EQ(d.shown, 1);
        EXPECT_EQ(d.caption, "Region"); // never had a caption: its name
        EXPECT_EQ(d.type, "TEXT");
        EXPECT_FALSE(d.formatVisible);
        EXPECT_FALSE(d.formatEnabled);
        EXPECT_FALSE(d.chartButton);
        EXPECT_FALSE(saveFlag()); // closed: nothing written
        EXPECT_TRUE(fieldGrid().cellTag(Campos::TagCaption, txt).isEmpty());
    }
    {
        FieldDialogAnswer d;
        d.fill = [](frmFieldProperties& f) {
            f.txtCaption->clear(); // an emptied caption keeps the old one
            f.txtFormat->setText("0.000");
        };
        c().mostrarCmdChartinFieldProperties = true;
        c().spCam_DblClick(1, num);
        EXPECT_EQ(d.id, "Amount");
        EXPECT_EQ(d.caption, "Total");
        EXPECT_EQ(d.format, "#,##0.00");
        EXPECT_EQ(d.type, "NUMERIC");
        EXPECT_TRUE(d.formatVisible);
        EXPECT_TRUE(d.chartButton);
        EXPECT_FALSE(c().mostrarCmdChartinFieldProperties);
        EXPECT_EQ(fieldGrid().cellTag(Campos::TagCaption, num), "Total");
        EXPECT_EQ(fieldGrid().cellTag(Campos::TagFormato, num), "0.000");
        EXPECT_TRUE(saveFlag());
    }
    {
        FieldDialogAnswer d;
        c().spCam_DblClick(2, num); // only the name column opens it
        c().spCam_DblClick(1, 20);  // and only on a named row
        EXPECT_EQ(d.shown, 0);
    }
}

namespace {
QRect cellInWindow(Grid& g, int col, int row, QWidget* window) {
    QTableView* v = g.view();
    const QRect r = v->visualRect(v->model()->index(row - 1, col - 1));
    return QRect(v->viewport()->mapTo(window, r.topLeft()), r.size());
}
} // namespace

TEST_F(FieldGridTest, TheArrowButtonsAreOnTheWindowAndWorkByMouseSpaceAndEnter) {
    for (const char* n : {"Amount", "Units", "Price"})
        field(n, "ISNUMERIC");
    c().VerificarNumericos();
    c().SSTab1->setCurrentIndex(1);
    c().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&c()));
    for (int width : {300, 900, 1600}) {
        SCOPED_TRACE(width);
        c().resize(width, 600);
        QCoreApplication::processEvents();
        const QRect cell = cellInWindow(fieldGrid(), 3, 1, &c());
        EXPECT_TRUE(QRect(QPoint(0, 0), c().size()).contains(cell)) << cell.x() << "+" << cell.width();
        const QRect view = fieldGrid().view()->viewport()->rect();
        EXPECT_TRUE(view.contains(fieldGrid().view()->visualRect(fieldGrid().view()->model()->index(0, 2))));
    }
    QTableView* v = fieldGrid().view();
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(v->model()->index(0, 2)).center());
    v->setFocus();
    fieldGrid().setActiveCell(3, 2);
    QTest::keyClick(v, Qt::Key_Space);
    fieldGrid().setActiveCell(3, 3);
    QTest::keyClick(v, Qt::Key_Return);
    EXPECT_EQ(names(measureGrid()), QStringList({"Amount", "Units", "Price"}));
    EXPECT_TRUE(p->prompts.isEmpty()) << texts().join(" / ").toStdString();
    c().hide();
}

TEST_F(FieldGridTest, TheFieldDialogRenamesAndFormatsThePivotFieldWhileTheViewerIsShown) {
    const int r = field("Amount", "ISNUMERIC");
    t.viewer->show();
    bd::pivot::PivotTable& dc = *t.viewer->DC;
    dc.addField("Amount", "Amount", 4);
    dc.addField("Amount", "Amount", 3); // a dimension and a data field of the same column
    FieldDialogAnswer d;
    d.fill = [](frmFieldProperties& f) {
        f.txtCaption->setText("Total");
        f.txtFormat->setText("0.0");
    };
    c().spCam_DblClick(1, r);
    ASSERT_EQ(dc.fields().count(), 2);
    for (bd::pivot::PivotField* f : dc.fields()) {
        EXPECT_EQ(f->caption(), "Total");
        EXPECT_EQ(f->numberFormat(), "0.0");
    }
    t.viewer->hide();
}
