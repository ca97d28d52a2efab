// Calculated measures: the formula editor's result becomes a row of spCal whose formula tag holds
// the expression the pivot evaluates.
#include "designer/Campos.h"
#include "designer/frmFormula.h"

#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "shell/General.h"
#include "viewer/Cubo.h"

using namespace bd::grid;
using bd::os::Buttons;
using bd::os::Icon;
using bd::os::MsgBox;

namespace {
constexpr int kDecimalesSinFormato = 2;

bool esSubFila(const Grid& g, int row) {
    return g.cellType(DefinitionGrids::ColAgregado, row) == TypePlain;
}

struct FormulaTarget {
    int row = 0;             // 0: no row of that id
    QString ordinaryMeasure; // the name of an ordinary measure that holds the id
};

// The calculated measure of that id (any letter case): its main row. Its alert sub-rows carry the
// formula too and must not be taken for the measure.
FormulaTarget findTarget(const Grid& g, const QString& id) {
    FormulaTarget d;
    const QString buscado = id.toUpper();
    for (int r = 1; r <= g.maxRows(); ++r) {
        const QString name = g.text(DefinitionGrids::ColMedida, r);
        if (name.isEmpty() || name.toUpper() != buscado) continue;
        if (g.cellTag(DefinitionGrids::TagFormula, r).isEmpty()) {
            d.ordinaryMeasure = name;
            return d;
        }
        if (d.row == 0 && !esSubFila(g, r)) d.row = r;
    }
    return d;
}
} // namespace

frmFormula* Campos::Formula() {
    if (!formula_) formula_ = new frmFormula(this);
    return formula_;
}

void Campos::SetCalculatedField() {
    QPointer<Campos> self(this);
    QPointer<frmFormula> f = Formula();
    struct DeleteOnExit {
        QPointer<frmFormula>& f;
        ~DeleteOnExit() {
            if (f) delete f.data();
        }
    } descargar{f};
    f->lstAvailFields->clear();
    for (int r = 1; r <= spCal->maxRows(); ++r) {
        const QString name = spCal->text(ColMedida, r);
        if (!name.isEmpty() && spCal->text(ColVisible, r) == "1") f->lstAvailFields->addItem(name);
    }
    FormulaTarget destino;
    for (;;) {
        f->Cambio = false;
        bd::os::runDialog(f);
        if (!self || !f || !spCal || !f->Cambio) return;
        destino = findTarget(*spCal, f->txtId->text());
        if (destino.ordinaryMeasure.isEmpty()) break;
        MsgBox("The field " + destino.ordinaryMeasure + " already exists.", Buttons::Ok, Icon::Information,
               "Existing field");
        if (!self || !f) return;
    }
    Grid& g = *spCal;
    const bool fresh = destino.row == 0;
    const int row = fresh ? BuscarPosicion(g) : destino.row;
    if (row == 0) {
        MsgBox("The measure grid is full: remove a row to add a calculated field.", Buttons::Ok,
               Icon::Information, "Measures");
        return;
    }
    if (VCubo) VCubo->Salvar = true;
    Recarga = true;
    const QString formato = f->txtFormat->text();
    const int decimales = formato.isEmpty() ? kDecimalesSinFormato : General::ContarDecimales(formato);
    const QString sep = General::sSepDecimal.isEmpty() ? QStringLiteral(".") : General::sSepDecimal;
    g.setText(ColMedida, row, f->txtId->text());
    g.setText(ColVisible, row, "1");
    g.setLock(ColAgregado, row, true);
    // A measure edited again keeps its alert bounds, colours and recipients.
    if (fresh)
        for (int c : {ColLimiteInferior, ColLimiteSuperior})
            g.setText(c, row, "0" + sep + "00");
    // The alert sub-rows below follow their measure.
    int ultima = row;
    if (!fresh)
        while (ultima < g.maxRows() && esSubFila(g, ultima + 1) &&
               g.text(ColMedida, ultima + 1).toUpper() == g.text(ColMedida, row).toUpper())
            ++ultima;
    for (int r = row; r <= ultima; ++r) {
        if (r != row) g.setText(ColMedida, r, f->txtId->text());
        g.setCellTag(TagCaption, r, f->txtCaption->text());
        g.setCellTag(TagFormato, r, formato);
        g.setCellTag(TagFormula, r, f->txtFormula->text());
        for (int c : {ColLimiteInferior, ColLimiteSuperior})
            g.setTypeFloatDecimalPlaces(c, r, decimales);
    }
}
