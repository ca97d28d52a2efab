// The viewer's answers to the user's work on the pivot: dragged headers re-lay the table and mark
// the cube changed, a header or row member opens the sort dialog for its field, a result cell opens
// its measure's properties; the status bar counts the result.
#include "designer/Campos.h"
#include "platform/os/DialogRunner.h"
#include "shell/General.h"
#include "viewer/Cubo.h"
#include "viewer/RankForm.h"

#include <QApplication>
#include <exception>

using bd::pivot::PivotElement;
using bd::pivot::PivotField;

void Cubo::connectPivotEvents() {
    using bd::pivot::PivotTable;
    connect(DC, &PivotTable::hintRemoval, this, &Cubo::DC_HintRemoval);
    connect(DC, &PivotTable::elementDoubleClicked, this, &Cubo::DC_DblClick);
    connect(DC, &PivotTable::mouseButtonPressed, this, &Cubo::DC_MouseDown);
    connect(DC, &PivotTable::layoutChangedByUser, this, &Cubo::DC_LayoutChange);
    connect(DC, &PivotTable::chartRedraw, this, &Cubo::DC_ChartRedraw);
}

void Cubo::MostrarToolDrag() {
    General::MostrarGlobo(TT1, "Drag and drop", HelpText, 100, spUsrFil && spUsrFil->isVisible() ? 210 : 70,
                          this);
}

void Cubo::DC_HintRemoval() {
    TT1.Destroy();
}

void Cubo::DC_MouseDown(int button, PivotElement e) {
    if (button == 2) DC_DblClick(e);
}

void Cubo::DC_DblClick(PivotElement e) {
    // A failure here ends the handler without a word.
    try {
        if (e.kind == PivotElement::FieldHeader) {
            if (e.field) MostrarRanking(e.field);
            return;
        }
        if (e.kind == PivotElement::RowMember) {
            if (PivotField* f = DC->rowFields().item(e.index)) MostrarRanking(f);
            return;
        }
        const int row = measureRowOf(e);
        if (row < 1 || !Vcampos) return;
        Vcampos->VaOnfocus = Vcampos->spCal;
        Vcampos->spCal->setActiveCell(Campos::ColMedida, row);
        Vcampos->cmdFieldProperties_Click();
    } catch (const std::exception&) {
    }
}

int Cubo::measureRowOf(const PivotElement& e) const {
    // The cell's own data field names its measure: a caption may be shared, and the measure grid's
    // first row need not be a data field at all.
    PivotField* field = nullptr;
    if (e.kind == PivotElement::Cell)
        field = DC->dataFieldAt(e.row, e.column);
    else if (e.column >= 0)
        field = DC->dataFields().item(DC->dataFieldIndex(e.column));
    if (!field || !Vcampos) return 0;
    const bd::grid::Grid& cal = *Vcampos->spCal;
    for (int r = 1; r <= cal.maxRows(); ++r) {
        const QString name = cal.text(Campos::ColMedida, r);
        // Alert sub-rows repeat their measure's name.
        if (name.isEmpty() || cal.cellType(Campos::ColAgregado, r) == bd::grid::TypePlain) continue;
        if (name.compare(field->name(), Qt::CaseInsensitive) == 0) return r;
    }
    return 0;
}

void Cubo::DC_LayoutChange() {
    TT1.Destroy();
    DC->refresh();
    update();
    Salvar = true;
    QPointer<Cubo> self(this);
    Graph(QString());
    if (self) IndicarCantidades(false);
}

void Cubo::DC_ChartRedraw() {
    // The page fields' choices are part of the saved layout.
    Salvar = true;
    Graph(QString());
}

void Cubo::IndicarCantidades(bool Encero) {
    if (Encero) {
        sizePanel->setText("Rows: 0 , Measure Columns: 0 ");
        return;
    }
    sizePanel->setText(QString("Rows: %1 , Columns: %2")
                           .arg(DC->resultRows())
                           .arg(DC->resultColumns() + DC->rowFields().count()));
}

void Cubo::MostrarRanking(PivotField* field) {
    QPointer<RankForm> form;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* open = qobject_cast<RankForm*>(w)) {
            form = open;
            break;
        }
    if (!form) {
        form = new RankForm(this);
        form->setPivotCube(DC);
        connect(form, &RankForm::sortChanged, this, [this] { Salvar = true; });
    }
    form->setSelectedField(field);
    if (!form || form->isVisible()) return;
    QPointer<Cubo> self(this);
    bd::os::runDialog(form);
    if (form) delete form.data();
    if (self) Graph(QString());
}
