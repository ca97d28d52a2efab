// The measure grid spCal: the visible box, the alert colours and recipients, "+" (an alert sub-row)
// and "-" (remove), cell changes, clicks and the field dialog from a measure's name.
#include "designer/Campos.h"
#include "designer/GridRedraw.h"
#include "designer/frmFormula.h"

#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "publishing/frmMailSelect.h"
#include "shell/FrmColor.h"
#include "shell/General.h"
#include "shell/GeneralGrid.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

using namespace bd::grid;
using bd::os::Answer;
using bd::os::Buttons;
using bd::os::Icon;
using bd::os::MsgBox;

namespace {

// A main measure row has its visible box; an alert sub-row has a plain cell there and in column 3.
bool esSubFila(const Grid& g, int row) {
    return g.cellType(DefinitionGrids::ColAgregado, row) == TypePlain;
}

// One cell of a row onto another cell of the same column: text, tag and every setting that differs.
void copiarCelda(Grid& g, int col, int from, int to) {
    if (g.cellType(col, to) != g.cellType(col, from)) g.setCellType(col, to, g.cellType(col, from));
    if (g.lock(col, to) != g.lock(col, from)) g.setLock(col, to, g.lock(col, from));
    if (g.backColor(col, to) != g.backColor(col, from)) g.setBackColor(col, to, g.backColor(col, from));
    if (g.foreColor(col, to) != g.foreColor(col, from)) g.setForeColor(col, to, g.foreColor(col, from));
    if (g.typeButtonText(col, to) != g.typeButtonText(col, from))
        g.setTypeButtonText(col, to, g.typeButtonText(col, from));
    if (g.typeButtonColor(col, to) != g.typeButtonColor(col, from))
        g.setTypeButtonColor(col, to, g.typeButtonColor(col, from));
    if (g.typeButtonPicture(col, to) != g.typeButtonPicture(col, from))
        g.setTypeButtonPicture(col, to, g.typeButtonPicture(col, from));
    if (g.typeFloatDecimalChar(col, to) != g.typeFloatDecimalChar(col, from))
        g.setTypeFloatDecimalChar(col, to, g.typeFloatDecimalChar(col, from));
    if (g.typeFloatDecimalPlaces(col, to) != g.typeFloatDecimalPlaces(col, from))
        g.setTypeFloatDecimalPlaces(col, to, g.typeFloatDecimalPlaces(col, from));
    if (g.typeComboBoxList(col, to) != g.typeComboBoxList(col, from))
        g.setTypeComboBoxList(col, to, g.typeComboBoxList(col, from));
    g.setText(col, to, g.text(col, from));
    g.setCellTag(col, to, g.cellTag(col, from));
}

} // namespace

void Campos::spCal_ButtonClicked(int col, int row, int) {
    Grid& g = *spCal;
    if (row < 1 || row > g.maxRows()) return;
    RedrawOff sr{&g};
    switch (col) {
    case ColVisible:
        if (!g.text(ColMedida, row).isEmpty()) Recarga = true;
        break;
    case ColColorAlerta:
        chooseAlertColors(row);
        break;
    case ColDestinatarios:
        chooseRecipients(row);
        break;
    case ColAgregarRango:
        addAlertRange(row);
        break;
    case ColQuitarFila:
        removeMeasure(row);
        break;
    default:
        break;
    }
}

void Campos::chooseAlertColors(int row) {
    QPointer<Campos> self(this);
    General::ElegirColores(this);
    if (!self || !spCal || row > spCal->maxRows()) return;
    Grid& g = *spCal;
    if (!General::sColorFondo.isEmpty()) {
        const uint32_t c = General::sColorFondo.toUInt();
        g.setBackColor(ColLimiteSuperior, row, c);
        g.setBackColor(ColLimiteInferior, row, c);
    }
    if (!General::sColorTexto.isEmpty()) {
        const uint32_t c = General::sColorTexto.toUInt();
        g.setForeColor(ColLimiteSuperior, row, c);
        g.setForeColor(ColLimiteInferior, row, c);
    }
    if (!General::sColorFondo.isEmpty() || !General::sColorTexto.isEmpty()) markChanged();
}

void Campos::chooseRecipients(int row) {
    const QString destinatarios = General::LeerCelda(*spCal, ColDestinatarios, row);
    QPointer<Campos> self(this);
    QPointer<frmMailSelect> f = new frmMailSelect(this);
    f->Vcampos = this;
    f->CancelarUnload = true;
    f->txtMail->setText(destinatarios);
    bd::os::runDialog(f);
    if (!self || !f) return;
    // A list closed without OK leaves the rule's recipients as they were.
    if (f->Cambio && spCal && row <= spCal->maxRows() && f->txtMail->text() != destinatarios) {
        General::EscribirCelda(*spCal, ColDestinatarios, row, f->txtMail->text());
        markChanged();
    }
    f->CancelarUnload = false;
    delete f.data();
}

void Campos::addAlertRange(int row) {
    Grid& g = *spCal;
    if (g.text(ColMedida, row).isEmpty()) return;
    // The inserted row pushes the last one out when every row is in use.
    if (BuscarPosicion(g) == 0) {
        MsgBox("The measure grid is full: remove a row to add an alert range.", Buttons::Ok,
               Icon::Information, "Measures");
        return;
    }
    const int fresh = row + 1;
    g.insertRows(fresh, 1);
    for (int c = ColMedida; c <= ColQuitarFila; ++c)
        copiarCelda(g, c, row, fresh);
    g.setText(ColVisible, fresh, "0");
    for (int c : {ColVisible, ColAgregado}) {
        g.setCellType(c, fresh, TypePlain);
        g.setText(c, fresh, QString());
        g.setLock(c, fresh, true);
    }
    g.setRedraw(true);
    g.repaintNow();
    markChanged();
}

void Campos::removeMeasure(int row) {
    Grid& g = *spCal;
    const QString name = g.text(ColMedida, row);
    if (name.isEmpty()) return;
    QPointer<Campos> self(this);
    const bool principal = g.cellType(ColVisible, row) == TypeCheckBox;
    if (principal &&
        MsgBox("Are you sure to remove this row ?", Buttons::YesNo, Icon::None, "Remove") != Answer::Yes)
        return;
    if (!self || !spCal || row > spCal->maxRows()) return;
    if (g.value(ColVisible, row).toString() == "1") {
        if (!VinsCube || !VinsCube->Conectado) {
            MsgBox("You can not remove visible fields in offline mode.");
            return;
        }
        Recarga = true;
    }
    // A main row takes its alert sub-rows with it: left behind they would belong to the measure above.
    int n = 1;
    if (principal)
        while (row + n <= g.maxRows() && g.text(ColMedida, row + n) == name && esSubFila(g, row + n))
            ++n;
    g.deleteRows(row, n);
    markChanged();
}

void Campos::spCal_Change(int col, int row) {
    markChanged();
    if (col < ColMedida || col > ColAgregado) return;
    Recarga = true;
    // A nameless row cannot be shown.
    if (col == ColVisible && spCal->text(ColMedida, row).isEmpty()) spCal->setText(ColVisible, row, "0");
}

void Campos::spCal_Click(int, int) {
    DestroyBalloon();
    markChanged();
}

void Campos::spCal_GotFocus() {
    VaOnfocus = spCal;
}

void Campos::spCal_DblClick(int col, int row) {
    Grid& g = *spCal;
    if (col != ColMedida || row < 1 || row > g.maxRows()) return;
    // A calculated measure belongs to the formula editor, never to the field dialog.
    if (!g.cellTag(TagFormula, row).isEmpty()) {
        frmFormula* f = Formula();
        f->txtId->setText(g.text(ColMedida, row));
        f->txtCaption->setText(g.cellTag(TagCaption, row));
        f->txtFormat->setText(g.cellTag(TagFormato, row));
        f->txtFormula->setText(g.cellTag(TagFormula, row));
        SetCalculatedField();
        return;
    }
    const QString name = g.text(ColMedida, row);
    if (name.isEmpty()) return;
    QPointer<Campos> self(this);
    for (int i = 1; spCam && i <= spCam->maxRows(); ++i) {
        if (spCam->text(ColCampo, i) != name) continue;
        mostrarCmdChartinFieldProperties = true;
        spCam_DblClick(ColCampo, i);
        if (!self || !spCal || !spCam || row > spCal->maxRows()) return;
        const QString formato = spCam->cellTag(TagFormato, i);
        g.setCellTag(TagCaption, row, spCam->cellTag(TagCaption, i));
        g.setCellTag(TagFormato, row, formato);
        const int decimales = formato.isEmpty() ? 2 : General::ContarDecimales(formato);
        for (int c : {ColLimiteInferior, ColLimiteSuperior})
            g.setTypeFloatDecimalPlaces(c, row, decimales);
    }
}
