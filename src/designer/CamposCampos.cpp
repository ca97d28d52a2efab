// The field grid spCam: field discovery (the query's columns become rows; fields that left the query
// leave every grid), the cell types and locks that a loaded cube file needs restored, the user's
// edits of the grid, the switch between the measure and filter grids beside it, and the two
// procedures that make a field a measure or a filter.
#include "designer/Campos.h"
#include "designer/GridRedraw.h"

#include "designer/frmFieldProperties.h"
#include "platform/db/Connection.h"
#include "platform/db/Recordset.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "platform/os/Twips.h"
#include "shell/General.h"
#include "shell/GeneralDb.h"
#include "shell/GeneralGrid.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QHeaderView>
#include <QPalette>
#include <QScrollBar>
#include <QTableView>

using namespace bd::grid;
using bd::os::MsgBox;

namespace {

bool sameName(const QString& a, const QString& b) {
    return a.toUpper() == b.toUpper();
}

} // namespace

void Campos::PaintBackground(QWidget* control, uint32_t ole) {
    if (!control) return;
    QPalette p = control->palette();
    p.setColor(QPalette::Base, bd::os::oleToColor(ole));
    control->setPalette(p);
}

int Campos::BuscarPosicion(Grid& Grilla) {
    for (int r = 1; r <= Grilla.maxRows(); ++r)
        if (Grilla.text(1, r).isEmpty()) return r;
    return 0;
}

bool Campos::EstaEnGrilla(Grid& Grilla, const QString& Campo) {
    for (int r = 1; r <= Grilla.maxRows(); ++r) {
        const QString t = Grilla.text(1, r);
        if (!t.isEmpty() && sameName(t, Campo)) return true;
    }
    return false;
}

bool Campos::EsNumericoEnGrilla(Grid& Grilla, const QString& Campo) {
    for (int r = 1; r <= Grilla.maxRows(); ++r) {
        const QString t = Grilla.text(1, r);
        if (!t.isEmpty() && sameName(t, Campo) && Grilla.cellTag(ColTipoCampo, r) == ISNUMERIC) return true;
    }
    return false;
}

bool Campos::EstaEnquery(const QString& Campo) {
    if (!VinsCube || !VinsCube->RsSql || !VinsCube->RsSql->isOpen()) return false;
    for (const bd::db::Field& f : VinsCube->RsSql->fields())
        if (sameName(f.name, Campo)) return true;
    return false;
}

void Campos::QuitarFilaEnCalculados(const QString& Campo) {
    Grid& g = *spCal;
    // Main rows and their alert sub-rows carry the same name and go together.
    for (int r = 1; r <= g.maxRows();) {
        const QString t = g.text(ColMedida, r);
        if (!t.isEmpty() && sameName(t, Campo))
            g.deleteRows(r, 1);
        else
            ++r;
    }
}

void Campos::QuitarFilaEnFiltros(const QString& Campo) {
    Grid& f = *spFil;
    for (int r = 1; r <= f.maxRows();) {
        const QString t = f.text(ColFiltroCampo, r);
        if (!t.isEmpty() && sameName(t, Campo)) {
            f.deleteRows(r, 1);
            FiltrosCambiados = true;
        } else {
            ++r;
        }
    }
    if (!VCubo || !VCubo->spUsrFil) return;
    // The user-filter grid shows captions; its field name is the cell tag. Its row count is the
    // number of conditions, so it shrinks with each row taken out.
    Grid& u = *VCubo->spUsrFil;
    bool quitadas = false;
    for (int r = 1; r <= u.maxRows();) {
        const QString tag = u.cellTag(Cubo::ColUsrCampo, r);
        const QString name = tag.isEmpty() ? u.text(Cubo::ColUsrCampo, r) : tag;
        if (!name.isEmpty() && sameName(name, Campo)) {
            u.deleteRows(r, 1);
            u.setMaxRows(u.maxRows() - 1);
            FiltrosCambiados = true;
            quitadas = true;
        } else {
            ++r;
        }
    }
    if (quitadas) VCubo->AplicarParentesis();
}

void Campos::BorrarCamposNoEnQuery() {
    // Pass after pass until one removes nothing: however many fields vanished, all of them go.
    for (bool quitado = true; quitado;) {
        quitado = false;
        Grid& g = *spCam;
        for (int r = 1; r <= g.maxRows();) {
            const QString name = g.text(ColCampo, r);
            if (name.isEmpty() || EstaEnquery(name)) {
                ++r;
                continue;
            }
            Recarga = true;
            QuitarFilaEnCalculados(name);
            QuitarFilaEnFiltros(name);
            g.deleteRows(r, 1);
            quitado = true;
        }
    }
}

void Campos::VerificarNumericos() {
    Grid& g = *spCam;
    RedrawOff sr{&g};
    // Only what differs is written: a cell that already is what it must be keeps no setting of its
    // own, so an empty grid stays as its columns make it.
    for (int r = 1; r <= g.maxRows(); ++r) {
        const bool numerico = g.cellTag(ColTipoCampo, r) == ISNUMERIC;
        const int tipo = numerico ? TypeButton : TypePlain;
        if (g.cellType(ColTipoCampo, r) != tipo) g.setCellType(ColTipoCampo, r, tipo);
        if (g.lock(ColTipoCampo, r) == numerico) g.setLock(ColTipoCampo, r, !numerico);
        if (!numerico) continue;
        if (g.typeButtonPicture(ColTipoCampo, r) != picFlecha)
            g.setTypeButtonPicture(ColTipoCampo, r, picFlecha);
        if (g.typeButtonColor(ColTipoCampo, r) != 0xFFFFFF) g.setTypeButtonColor(ColTipoCampo, r, 0xFFFFFF);
    }
    sr.restore();
    g.repaintNow();
}

void Campos::BlockearColumnasSpCal() {
    spFil->setLock(ColFiltroCampo, -1, true);
    Grid& g = *spCal;
    for (int r = 1; r <= g.maxRows(); ++r) {
        if (!g.cellTag(TagFormula, r).isEmpty()) g.setLock(ColAgregado, r, true);
        if (g.cellType(ColAgregado, r) == TypePlain) {
            g.setLock(ColVisible, r, true);
            g.setLock(ColAgregado, r, true);
        }
    }
}

void Campos::Iniciar() {
    if (starting_) return; // GoTab with 1 runs discovery itself when fields are missing
    if (txtConeccion->toPlainText().isEmpty() || txtQuery->toPlainText().isEmpty()) {
        GoTab(0);
        return;
    }
    if (!VinsCube) return;
    QPointer<Campos> self(this);
    starting_ = true;
    struct ClearOnExit {
        QPointer<Campos> c;
        ~ClearOnExit() {
            if (c) c->starting_ = false;
        }
    } fin{self};

    RedrawOff sr{spCam, spCal};
    auto colaDeError = [&](const QString& descripcion) {
        General::PunteroNormal();
        General::MostrarEspera(false);
        sr.restore();
        bd::os::MsgBox(descripcion, bd::os::Buttons::Ok, bd::os::Icon::Information,
                       QStringLiteral("Error starting fields"));
    };

    // The text boxes are written only when they differ, so that their change handlers stay quiet.
    if (txtConeccion->toPlainText() != VinsCube->CubeConnectionString)
        txtConeccion->setPlainText(VinsCube->CubeConnectionString);
    if (txtQuery->toPlainText() != VinsCube->CubeSqlQuery) txtQuery->setPlainText(VinsCube->CubeSqlQuery);
    if (SSTab1->currentIndex() != 1) {
        GoTab(1);
        if (!self || !VinsCube) return;
    }

    const bool abierta = General::AbrirConexion(*VinsCube);
    if (!self || !VinsCube) return;
    if (!abierta) {
        PaintBackground(txtConeccion, ColorError);
        sr.restore();
        IndicarConeccion();
        return;
    }
    IndicarConeccion();

    QString problem;
    if (!openFieldsRecordset(&problem)) {
        colaDeError(problem);
        return;
    }
    bd::db::Recordset& rs = *VinsCube->RsSql;
    BorrarCamposNoEnQuery();
    bool hayNumericos = false;
    const QVector<bd::db::Field> campos = rs.fields();
    if (!addQueryFields(campos, &hayNumericos)) return;
    if (hayNumericos) MostrarToolMeasure();
    BlockearCampos(false);
    rs.close();
    BackToDefinitionRows(*spCam);
    BackToDefinitionRows(*spCal);
    sr.restore();
    VerificarNumericos();
}

// The cube's query opened for its fields; false with the reason when it fails or returns no field.
bool Campos::openFieldsRecordset(QString* problem) {
    General::sUltimoError.clear();
    if (!General::AbrirRecordset(*VinsCube)) {
        Cambio = true;
        PaintBackground(txtQuery, ColorError);
        GoTab(0);
        SetAbChecked();
        *problem = General::sUltimoError;
        return false;
    }
    bd::db::Recordset& rs = *VinsCube->RsSql;
    if (rs.fieldCount() == 0) {
        rs.close();
        if (VCubo) {
            VCubo->Graph(QString());
            if (VCubo) VCubo->IndicarCantidades(true);
        }
        *problem =
            QStringLiteral("No results were found. Check connection parameters and the SQL statement.");
        return false;
    }
    return true;
}

// The query's fields that spCam lacks go into its first free rows (an image field is refused);
// anyNumeric is set when a field of the grid is numeric. False when the window went away.
bool Campos::addQueryFields(const QVector<bd::db::Field>& fields, bool* anyNumeric) {
    QPointer<Campos> self(this);
    Grid& g = *spCam;
    for (const bd::db::Field& f : fields) {
        if (EstaEnGrilla(g, f.name)) {
            if (EsNumericoEnGrilla(g, f.name)) *anyNumeric = true;
            continue;
        }
        const QString typeClass = TypeClassOf(f.type);
        if (typeClass.isEmpty()) {
            bd::os::MsgBox("Field " + f.name + " is a Image type. Can not be displayed", bd::os::Buttons::Ok,
                           bd::os::Icon::Information, QStringLiteral("Fields"));
            if (!self || !VinsCube) return false;
            continue;
        }
        int r = BuscarPosicion(g);
        if (r == 0) { // every row in use: the grid grows instead of losing the field
            g.setMaxRows(g.maxRows() + 1);
            r = g.maxRows();
        }
        g.setText(ColCampo, r, f.name);
        g.setText(ColDimension, r, typeClass == ISMEMO ? "0" : "1");
        g.setCellTag(ColTipoCampo, r, typeClass);
        Recarga = true;
        if (typeClass == ISNUMERIC) *anyNumeric = true;
    }
    return true;
}

// ---- the grid beside spCam ----

namespace {
// The face of a mode button; its text keeps the platform's colours, so the disabled button of the
// grid on show reads as such.
void colorModo(QPushButton* b, uint32_t ole) {
    QPalette p = b->palette();
    p.setColor(QPalette::Button, bd::os::oleToColor(ole));
    b->setPalette(p);
}
} // namespace

void Campos::cmdSelCamCal_Click() {
    spFil->hide();
    spCal->show();
    cmdShowFilters->setEnabled(true);
    cmdSelCamCal->setEnabled(false);
    colorModo(cmdShowFilters, ColorModeInactive);
    colorModo(cmdSelCamCal, ColorModeActive);
    spCal->setFocus();
    VerificarNumericos();
}

void Campos::cmdShowFilters_Click() {
    // Both grids share one cell of the layout, so the filter grid takes the measure grid's place.
    spFil->setGeometry(spCal->geometry());
    spFil->show();
    spCal->hide();
    spFil->setFocus();
    cmdShowFilters->setEnabled(false);
    cmdSelCamCal->setEnabled(true);
    colorModo(cmdSelCamCal, ColorModeInactive);
    colorModo(cmdShowFilters, ColorModeActive);
    Grid& g = *spCam;
    {
        RedrawOff sr{&g};
        for (int r = 1; r <= g.maxRows() && !g.text(ColCampo, r).isEmpty(); ++r) {
            g.setCellType(ColTipoCampo, r, TypeButton);
            g.setLock(ColTipoCampo, r, false);
            g.setTypeButtonPicture(ColTipoCampo, r, picFlecha);
            g.setTypeButtonColor(ColTipoCampo, r, 0xFFFFFF);
        }
    }
    g.repaintNow();
}

void Campos::fitSpCamWidth() {
    QTableView* v = spCam->view();
    const int width = v->horizontalHeader()->length() + v->verticalHeader()->sizeHint().width() +
                      v->verticalScrollBar()->sizeHint().width() + 2 * v->frameWidth();
    spCam->setFixedWidth(width);
}

void Campos::markChanged() {
    if (VCubo) VCubo->Salvar = true;
}

void Campos::connectGridHandlers() {
    connect(cmdSelCamCal, &QPushButton::clicked, this, &Campos::cmdSelCamCal_Click);
    connect(cmdShowFilters, &QPushButton::clicked, this, &Campos::cmdShowFilters_Click);
    connect(spCam, &Grid::buttonClicked, this, &Campos::spCam_ButtonClicked);
    connect(spCam, &Grid::changed, this, &Campos::spCam_Change);
    connect(spCam, &Grid::clicked, this, &Campos::spCam_Click);
    connect(spCam, &Grid::dblClicked, this, &Campos::spCam_DblClick);
    connect(spCam, &Grid::gotFocus, this, &Campos::spCam_GotFocus);
    connect(spCal, &Grid::buttonClicked, this, &Campos::spCal_ButtonClicked);
    connect(spCal, &Grid::changed, this, &Campos::spCal_Change);
    connect(spCal, &Grid::clicked, this, &Campos::spCal_Click);
    connect(spCal, &Grid::dblClicked, this, &Campos::spCal_DblClick);
    connect(spCal, &Grid::gotFocus, this, &Campos::spCal_GotFocus);
    connect(spFil, &Grid::buttonClicked, this, &Campos::spFil_ButtonClicked);
    connect(spFil, &Grid::changed, this, &Campos::spFil_Change);
    connect(spFil, &Grid::clicked, this, &Campos::spFil_Click);
    connect(spFil, &Grid::dblClicked, this, &Campos::spFil_DblClick);
    connect(spFil, &Grid::comboSelChange, this, &Campos::spFil_ComboSelChange);
    connect(spFil, &Grid::gotFocus, this, &Campos::spFil_GotFocus);
    connect(spFil, &Grid::keyDown, this, &Campos::spFil_KeyDown);
    connect(spCam->view()->horizontalHeader(), &QHeaderView::sectionResized, this, &Campos::fitSpCamWidth);
    fitSpCamWidth();
}

// ---- fields into measures and filters ----

bool Campos::ExisteCampoEnGrilla(const QString& Name) const {
    const Grid& g = *spCal;
    for (int r = 1; r <= g.maxRows(); ++r) {
        const QString t = g.text(ColMedida, r);
        if (!t.isEmpty() && t == Name) return true;
    }
    return false;
}

bool Campos::ExisteCampoEnGrillaSpFil(const QString& Name) const {
    const Grid& g = *spFil;
    for (int r = 1; r <= g.maxRows(); ++r) {
        const QString t = g.text(ColFiltroCampo, r);
        if (!t.isEmpty() && t == Name) return true;
    }
    return false;
}

void Campos::AgregarCampoASpCal(int Col, int Row) {
    Grid& cam = *spCam;
    if (cam.cellTag(Col, Row) != ISNUMERIC) {
        MsgBox("Only allow numeric type", bd::os::Buttons::Ok, bd::os::Icon::None,
               "The field is not numeric");
        return;
    }
    const QString name = cam.text(ColCampo, Row);
    if (ExisteCampoEnGrilla(name)) {
        MsgBox("This field was already added. To add, modify the sql query using 'AS': select field "
               "\"as field1\"",
               bd::os::Buttons::Ok, bd::os::Icon::Information, "Existing field");
        return;
    }
    if (name.isEmpty()) return;
    Grid& cal = *spCal;
    const int r = BuscarPosicion(cal);
    if (r == 0) { // row 0 is the header row
        MsgBox("The measure grid is full: remove a measure to add another.", bd::os::Buttons::Ok,
               bd::os::Icon::Information, "Measures");
        return;
    }
    cam.setText(ColDimension, Row, "0");
    cal.setText(ColMedida, r, name);
    cal.setText(ColVisible, r, "1");
    cal.setText(ColAgregado, r, Aggregates().first());
    cal.setText(ColLimiteInferior, r, "0,00");
    cal.setText(ColLimiteSuperior, r, "0,00");
    cal.setCol(ColMedida);
    cal.setRow(r);
    Recarga = true;
}

void Campos::AgregarCampoASpFil(int, int Row) {
    const QString name = spCam->text(ColCampo, Row);
    if (name.isEmpty()) return;
    Grid& fil = *spFil;
    const int r = BuscarPosicion(fil);
    if (r == 0) { // row 0 is the header row
        MsgBox("The filter grid is full: remove a filter to add another.", bd::os::Buttons::Ok,
               bd::os::Icon::Information, "Filters");
        return;
    }
    fil.setText(ColFiltroCampo, r, name);
    fil.setText(ColFiltroUsuario, r, "1");
    fil.setText(ColOperador, r, "Between");
    fil.setCellTag(ColOperador, r, spCam->cellTag(ColTipoCampo, Row));
    betweenMode(r);
    // The viewer's user-filter grid is rebuilt from the new row.
    FiltrosCambiados = true;
    markChanged();
}

// ---- spCam events ----

void Campos::spCam_ButtonClicked(int col, int row, int) {
    Grid& g = *spCam;
    if (row < 1 || row > g.maxRows()) return;
    if (col == ColTipoCampo) {
        markChanged();
        if (!spCal->isHidden())
            AgregarCampoASpCal(ColTipoCampo, row);
        else if (!spFil->isHidden())
            AgregarCampoASpFil(ColTipoCampo, row);
        return;
    }
    if (col != ColDimension) return;
    const QString name = g.text(ColCampo, row);
    auto desmarcar = [&] {
        RedrawOff sr{&g};
        g.setText(ColDimension, row, "0");
    };
    if (g.cellTag(ColTipoCampo, row) == ISMEMO) {
        desmarcar();
        MsgBox("Field " + name + " is a Memo type. Can not be displayed. Is available for filters. ",
               bd::os::Buttons::Ok, bd::os::Icon::Information, "Fields");
    } else if (!name.isEmpty() && ExisteCampoEnGrilla(name)) {
        // A field is a dimension or a measure, never both.
        desmarcar();
        MsgBox("This field was already added to the measures grid.", bd::os::Buttons::Ok,
               bd::os::Icon::Information, "Existing field");
    } else if (!name.isEmpty()) {
        Recarga = true;
    }
}

void Campos::spCam_Change(int col, int row) {
    markChanged();
    if (col == ColDimension && spCam->text(ColCampo, row).isEmpty()) spCam->setText(ColDimension, row, "0");
}

void Campos::spCam_Click(int, int) {
    DestroyBalloon();
    markChanged();
}

void Campos::spCam_GotFocus() {
    VaOnfocus = spCam;
}

void Campos::spCam_DblClick(int col, int row) {
    Grid& g = *spCam;
    if (col != ColCampo || row < 1 || row > g.maxRows()) return;
    const QString name = g.text(ColCampo, row);
    if (name.isEmpty()) return;
    const QString typeClass = g.cellTag(ColTipoCampo, row);
    QPointer<Campos> self(this);
    QPointer<frmFieldProperties> f = new frmFieldProperties(this);
    f->txtId->setText(name);
    const QString caption = g.cellTag(TagCaption, row);
    f->txtCaption->setText(caption.isEmpty() ? name : caption);
    if (typeClass != ISNUMERIC) {
        f->txtFormat->setEnabled(false);
        f->HideFormat();
    } else {
        f->txtFormat->setText(g.cellTag(TagFormato, row));
        f->txtFormat->setEnabled(true);
    }
    f->Vcampos = this;
    if (mostrarCmdChartinFieldProperties) {
        f->cmdChartProperties->show();
        mostrarCmdChartinFieldProperties = false;
    }
    f->txtType->setText(typeClass.mid(2));
    const int resultado = bd::os::runDialog(f);
    if (!self || !f) return;
    if (f->Cambio && spCam && row <= spCam->maxRows()) {
        const QString id = f->txtId->text(), nuevo = f->txtCaption->text(), formato = f->txtFormat->text();
        const bool visor = VCubo && VCubo->isVisible();
        auto camposDelPivote = [&](auto aplicar) {
            // The field may not be in the pivot.
            for (bd::pivot::PivotField* pf : VCubo->DC->fields())
                if (pf && pf->name().compare(id, Qt::CaseInsensitive) == 0) aplicar(pf);
        };
        if (!nuevo.isEmpty() && !id.isEmpty()) {
            g.setCellTag(TagCaption, row, nuevo);
            if (visor) camposDelPivote([&](bd::pivot::PivotField* pf) { pf->setCaption(nuevo); });
        }
        g.setCellTag(TagFormato, row, formato);
        if (!formato.isEmpty() && !id.isEmpty() && visor)
            camposDelPivote([&](bd::pivot::PivotField* pf) { pf->setNumberFormat(formato); });
        markChanged();
        General::EnfocarControl(this);
    }
    delete f.data();
    if (resultado == frmFieldProperties::ChartRequested) cmdChartProperties_Click();
}

void Campos::cmdFieldProperties_Click() {
    Grid* g = VaOnfocus;
    const int row = g ? g->activeRow() : 0;
    if (!g || row < 1 || row > g->maxRows() || g->text(1, row).isEmpty()) {
        MsgBox("Select a field in the measure , dimension or filter grid.", bd::os::Buttons::Ok,
               bd::os::Icon::Information, "Select a field");
        return;
    }
    if (g == spCam)
        spCam_DblClick(ColCampo, row);
    else if (g == spCal)
        spCal_DblClick(ColMedida, row);
    else if (g == spFil)
        spFil_DblClick(ColFiltroCampo, row);
}
