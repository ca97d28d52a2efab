// The viewer's chart band, rebuilt from the measure grid: one tool per charted measure, then the
// chart type box.
#include "designer/Campos.h"
#include "platform/grid/GridStore.h"
#include "platform/os/Twips.h"
#include "shell/General.h"
#include "viewer/Cubo.h"

bool Campos::hasChartTool(const bd::grid::Grid& g, int r) {
    return g.text(ColVisible, r) == "1" && g.cellType(ColAgregado, r) != bd::grid::TypePlain &&
           !g.text(ColMedida, r).isEmpty() && g.text(ColTipoGrafico, r) != "None";
}

void Campos::CargarComandosGraficos() {
    using bd::toolbar::ToolStyle;
    Cubo* v = VCubo;
    if (!v) return;
    bd::toolbar::Toolbar& bar = *v->ABGraph;
    bar.clearTools();
    bd::toolbar::Band* band = bar.addBand(Cubo::BandaGrafico);
    const bd::grid::Grid& g = *spCal;
    bool hay = false;
    for (int r = 1; r <= g.maxRows(); ++r) {
        if (!hasChartTool(g, r)) continue;
        const QString nombre = g.text(ColMedida, r);
        QString caption = g.cellTag(TagCaption, r);
        if (caption.isEmpty()) caption = nombre;
        // The name is the dispatch key; the identifier keeps the measure name as written, blanks and all.
        bd::toolbar::Tool* t = band->addTool(r, QString(nombre).remove(' '), caption, ToolStyle::Check);
        t->setIdentifier(nombre);
        t->setPicture(v->picGraph);
        if (r == 1) t->setChecked(true);
        band->addSeparator();
        hay = true;
    }
    General::CargarTiposGrafico();
    bd::toolbar::Tool* combo = band->addCombo(Cubo::ComboTipoGrafico, bd::os::twipsToPixels(2500));
    combo->setList(General::colNombreGrafico.values());
    if (!hay) {
        v->SetToolChecked(Cubo::ToolSinGrafico, true); // charts off
        v->AcomodarPantalla();
    }
    bar.adjustSize();
    bar.update();
}
