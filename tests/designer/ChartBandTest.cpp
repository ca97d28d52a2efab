// The viewer's chart band as the designer rebuilds it from the measure grid.
#include "common/TestSupport.h"
#include "designer/Campos.h"
#include "platform/grid/GridStore.h"
#include "shell/General.h"
#include "shell/GeneralGrid.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QApplication>
#include <gtest/gtest.h>

using bd::toolbar::Tool;
using bd::toolbar::ToolStyle;

namespace {

struct ViewerAndDesigner {
    QPointer<Cubo> v = new Cubo;
    QPointer<Campos> c = new Campos;
    ViewerAndDesigner() {
        v->VinsCube = new InsCube;
        c->VinsCube = v->VinsCube;
        c->VCubo = v;
        v->Vcampos = c;
    }
    ~ViewerAndDesigner() {
        v->Salvar = false;
        delete v.data();
    }
};

struct MeasureRow {
    int row;
    const char *name, *visible, *caption, *chartType;
    bool subRow;
};

void fill(bd::grid::Grid& measureGrid, std::initializer_list<MeasureRow> rows) {
    for (const MeasureRow& m : rows) {
        measureGrid.setText(Campos::ColMedida, m.row, m.name);
        measureGrid.setText(Campos::ColVisible, m.row, m.visible);
        if (m.subRow)
            measureGrid.setCellType(Campos::ColAgregado, m.row, bd::grid::TypePlain);
        else
            measureGrid.setText(Campos::ColAgregado, m.row, "Sum");
        if (*m.caption) General::EscribirCelda(measureGrid, Campos::TagCaption, m.row, m.caption);
        measureGrid.setText(Campos::ColTipoGrafico, m.row, m.chartType);
    }
}

// One line per tool: style, id, name, caption, identifier, checked.
QStringList bandTools(const Cubo& v) {
    QStringList out;
    for (Tool* t : v.ABGraph->band(Cubo::ChartBand)->tools()) {
        switch (t->style()) {
        case ToolStyle::Separator:
            out << "|";
            break;
        case ToolStyle::Combo:
            out << "combo " + t->name();
            break;
        default:
            out << QString("%1 %2 [%3] <%4>%5")
                       .arg(t->id())
                       .arg(t->name(), t->caption(), t->identifier(), t->checked() ? " checked" : "");
        }
    }
    return out;
}

} // namespace

TEST(ChartBand, OneToolPerChartedMeasureThenTheTypeBox) {
    ViewerAndDesigner p;
    fill(*p.c->spCal, {
                          {1, "Amount", "1", "Sales amount", "", false},
                          {2, "Amount", "1", "", "", true},          // alert sub-row
                          {3, "Unit Price", "1", "", "Line", false}, // blanks, no caption
                          {4, "Cost", "0", "", "", false},           // not visible
                          {5, "Margin", "1", "", "None", false},     // never charted
                          {6, "", "1", "", "", false},               // empty name: skipped, scan goes on
                          {7, "Quantity", "1", "Units", "Pie 2D", false},
                      });
    p.c->CargarComandosGraficos();
    const QStringList expected{"1 Amount [Sales amount] <Amount> checked",
                               "|",
                               "3 UnitPrice [Unit Price] <Unit Price>",
                               "|",
                               "7 Quantity [Units] <Quantity>",
                               "|",
                               "combo cmbChartType"};
    EXPECT_EQ(bandTools(*p.v), expected);
    Tool* combo = p.v->ABGraph->tool(Cubo::ChartTypeCombo);
    ASSERT_TRUE(combo);
    EXPECT_EQ(combo->list(), General::colNombreGrafico.values());
    EXPECT_EQ(combo->list().first(), "None");
    EXPECT_EQ(combo->list().size(), 17);
    EXPECT_EQ(p.v->ABGraph->tool(1)->picture().cacheKey(), p.v->picGraph.cacheKey());
    EXPECT_FALSE(p.v->ToolChecked(Cubo::ToolNoChart));

    // A rebuild replaces the band, it does not add to it.
    p.c->spCal->setText(Campos::ColTipoGrafico, 3, "None");
    p.c->CargarComandosGraficos();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(bandTools(*p.v), (QStringList{expected[0], "|", expected[4], "|", expected[6]}));
    EXPECT_EQ(p.v->ABGraph->actions().size(), 5);
}

TEST(ChartBand, WithoutMeasuresOnlyTheTypeBoxAndTheChartHidden) {
    ViewerAndDesigner p;
    p.v->show();
    p.v->AcomodarPantalla();
    ASSERT_FALSE(p.v->CHA->isHidden());
    fill(*p.c->spCal, {{1, "Cost", "0", "", "", false}, {2, "Cost", "1", "", "", true}});
    p.c->CargarComandosGraficos();
    EXPECT_EQ(bandTools(*p.v), QStringList{"combo cmbChartType"});
    EXPECT_TRUE(p.v->ToolChecked(Cubo::ToolNoChart)) << "tool 80 checked is the chart switched off";
    EXPECT_TRUE(p.v->CHA->isHidden());
    EXPECT_TRUE(p.v->ABGraph->isHidden());
}
