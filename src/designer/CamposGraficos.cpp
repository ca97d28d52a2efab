// The viewer's chart band, rebuilt from the measure grid: one tool per charted measure, then the
// chart type box.
#include "designer/Campos.h"
#include "designer/frmChartProperties.h"
#include "platform/grid/GridStore.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "platform/os/Twips.h"
#include "shell/General.h"
#include "viewer/Cubo.h"

bool Campos::hasChartTool(const bd::grid::Grid& g, int r) {
    return g.text(ColVisible, r) == "1" && g.cellType(ColAgregado, r) != bd::grid::TypePlain &&
           !g.text(ColMedida, r).isEmpty() && g.text(ColTipoGrafico, r) != "None";
}

using bd::grid::Grid;

void Campos::CargarComandosGraficos() {
    using bd::toolbar::ToolStyle;
    Cubo* v = VCubo;
    if (!v) return;
    bd::toolbar::Toolbar& bar = *v->ABGraph;
    bar.clearTools();
    bd::toolbar::Band* band = bar.addBand(Cubo::ChartBand);
    const bd::grid::Grid& g = *spCal;
    bool hay = false;
    for (int r = 1; r <= g.maxRows(); ++r) {
        if (!hasChartTool(g, r)) continue;
        const QString name = g.text(ColMedida, r);
        QString caption = g.cellTag(TagCaption, r);
        if (caption.isEmpty()) caption = name;
        // The name is the dispatch key; the identifier keeps the measure name as written, blanks and all.
        bd::toolbar::Tool* t = band->addTool(r, QString(name).remove(' '), caption, ToolStyle::Check);
        t->setIdentifier(name);
        t->setPicture(v->picGraph);
        if (r == 1) t->setChecked(true);
        band->addSeparator();
        hay = true;
    }
    General::CargarTiposGrafico();
    bd::toolbar::Tool* combo = band->addCombo(Cubo::ChartTypeCombo, bd::os::twipsToPixels(2500));
    combo->setList(General::colNombreGrafico.values());
    if (!hay) {
        v->SetToolChecked(Cubo::ToolNoChart, true); // charts off
        v->AcomodarPantalla();
    }
    bar.adjustSize();
    bar.update();
}

void Campos::cmdChartProperties_Click() {
    using bd::os::Buttons;
    using bd::os::Icon;
    Grid& g = *spCal;
    const int row = g.activeRow();
    if (row >= 1 && row <= g.maxRows() && g.cellType(ColAgregado, row) == bd::grid::TypePlain) {
        bd::os::MsgBox("The field is range type.", Buttons::Ok, Icon::Information, "Select a valid field");
        return;
    }
    if (row < 1 || row > g.maxRows() || g.text(ColMedida, row).isEmpty()) {
        bd::os::MsgBox("Select a field in the measure grid.", Buttons::Ok, Icon::None, "Select a field");
        return;
    }
    QPointer<Campos> self(this);
    QPointer<frmChartProperties> f = new frmChartProperties(this);
    QLineEdit* const cajas[] = {f->txtTitle,   f->txtSubTitle, f->txtxAxis,      f->txtyAxis,
                                f->txtMaxChar, f->txtAutohide, f->txtResultLimit};
    if (!g.text(ColTipoGrafico, row).isEmpty()) f->cmbTypeGraph->setEditText(g.text(ColTipoGrafico, row));
    for (int i = 0; i < int(std::size(cajas)); ++i)
        if (!g.text(ColTituloGrafico + i, row).isEmpty())
            cajas[i]->setText(g.text(ColTituloGrafico + i, row));
    f->chkDrawTotals->setChecked(g.text(ColDibujarTotales, row) == "1");
    f->Vcampos = this;
    f->setWindowTitle(f->windowTitle() + ". Field: " + g.text(ColMedida, row));
    bd::os::runDialog(f);
    if (!self || !f) return;
    if (f->Cambio && spCal && row <= spCal->maxRows()) {
        g.setText(ColTipoGrafico, row, f->cmbTypeGraph->currentText());
        for (int i = 0; i < int(std::size(cajas)); ++i)
            g.setText(ColTituloGrafico + i, row, cajas[i]->text());
        g.setText(ColDibujarTotales, row, f->chkDrawTotals->isChecked() ? "1" : "0");
        if (VCubo) VCubo->Salvar = true;
        CargarComandosGraficos();
        bool desdeFiltros = false;
        Refrescar(&desdeFiltros);
    }
    if (f) delete f.data();
}
