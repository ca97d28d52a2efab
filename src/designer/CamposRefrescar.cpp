// Loading the definition into the viewer's pivot and the cube refresh.
#include "designer/Campos.h"

#include "platform/db/Connection.h"
#include "platform/os/Clock.h"
#include "platform/os/Prompter.h"
#include "shell/General.h"
#include "shell/GeneralDb.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QAbstractButton>
#include <cstdio>

using namespace bd::grid;
using bd::os::Answer;
using bd::os::Buttons;
using bd::os::Icon;
using bd::os::MsgBox;

namespace {

// The pivot as the shared binding procedure sees it.
class PivotLink : public General::ControlDatos {
public:
    explicit PivotLink(bd::pivot::PivotTable& p) : p_(p) {}
    void setConnectionType(int type) override { p_.setConnectionType(type); }
    void setConnectionString(const QString& s) override { p_.setConnectionString(s); }

private:
    bd::pivot::PivotTable& p_;
};

// The viewer's status button, when the viewer has one.
QAbstractButton* stateButton(Cubo* c) {
    return c ? c->findChild<QAbstractButton*>(QStringLiteral("cmdConectado")) : nullptr;
}

// Runs the pivot's record source. False only when the query itself failed; a field or formula the
// pivot cannot compute leaves the others showing and its reason in fieldProblems.
bool ejecutarConsulta(bd::pivot::PivotTable& dc, QString* error, QString* fieldProblems) {
    const auto before = dc.data();
    const bool ok = dc.setAfterSql(true);
    *error = dc.lastError();
    fieldProblems->clear();
    if (ok) return true;
    if (dc.data() == before) return false; // the query did not run: the old result stays
    *fieldProblems = *error;
    return true;
}

// Tells which fields could not be computed; nobody answers a box in an unattended run.
void reportFields(const QString& problems) {
    if (problems.isEmpty()) return;
    const QString text = "These fields could not be computed; the others are shown.\n" + problems;
    if (bd::os::unattended())
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    else
        MsgBox(text, Buttons::Ok, Icon::Exclamation, QStringLiteral("Fields"));
}

// Every dimension of spCam as a page field.
void addDimensionFields(const Grid& cam, bd::pivot::PivotTable& dc) {
    for (int r = 1; r <= cam.maxRows(); ++r) {
        const QString name = cam.text(DefinitionGrids::ColCampo, r);
        if (name.isEmpty() || cam.value(DefinitionGrids::ColDimension, r).toString() != "1") continue;
        bd::pivot::PivotField* f = dc.addField(name, name, bd::pivot::PageArea);
        const QString caption = cam.cellTag(DefinitionGrids::TagCaption, r);
        if (!caption.isEmpty()) f->setCaption(caption);
        // A numeric dimension needs nothing more: this pivot orders numbers by value by itself.
    }
}

// Every visible measure of spCal (alert sub-rows aside) as a data field, in the grid's order.
void addMeasureFields(const Grid& cal, bd::pivot::PivotTable& dc) {
    for (int r = 1; r <= cal.maxRows(); ++r) {
        const QString name = cal.text(DefinitionGrids::ColMedida, r);
        if (name.isEmpty() || cal.value(DefinitionGrids::ColVisible, r).toString() != "1") continue;
        if (cal.cellType(DefinitionGrids::ColAgregado, r) == TypePlain) continue; // an alert sub-row
        const QString formula = cal.cellTag(DefinitionGrids::TagFormula, r);
        // The pivot holds one field per name: a field that is both a dimension and a shown measure
        // becomes the measure.
        if (bd::pivot::PivotField* otro = dc.fields().item(name);
            otro && otro->orientation() != bd::pivot::DataArea)
            dc.removeField(name);
        // A calculated measure is named by its id, its formula kept apart, so charts and alerts
        // find it by name.
        bd::pivot::PivotField* f = dc.addField(name, name, bd::pivot::DataArea);
        if (!formula.isEmpty()) {
            f->setFormula(formula);
        } else if (const auto codigo =
                       DefinitionGrids::AggregateCodeOf(cal.text(DefinitionGrids::ColAgregado, r))) {
            f->setAggregate(*codigo);
        }
        f->setPosition(dc.fields().count() + 1);
        const QString caption = cal.cellTag(DefinitionGrids::TagCaption, r);
        if (!caption.isEmpty()) f->setCaption(caption);
        const QString formato = cal.cellTag(DefinitionGrids::TagFormato, r);
        if (!formato.isEmpty()) f->setNumberFormat(formato);
    }
}

// Clears a window's busy flag on every way out, unless the window went away meanwhile.
struct BusyGuard {
    QPointer<Campos> c;
    bool Campos::*flag;
    ~BusyGuard() {
        if (Campos* w = c.data()) w->*flag = false;
    }
};

} // namespace

void Campos::connectRefreshHandlers() {
    connect(cmdAceptar, &QPushButton::clicked, this, &Campos::CargarDefinicionEnCubo, Qt::UniqueConnection);
}

void Campos::CargarDefinicionEnCubo() {
    QPointer<Campos> self(this);
    QPointer<Cubo> cubo = VCubo;
    if (!cubo || !VinsCube) return;
    if (!showViewerForDefinition()) return;
    const bool hayMedida = HayCampos(*spCal);

    if (!Recarga) {
        cubo->repaint();
        cubo->DC->repaint();
        hide();
        bool desdeFiltros = false;
        Refrescar(&desdeFiltros);
        return;
    }

    if (!bindPivotToCube()) return;
    bd::pivot::PivotTable& dc = *cubo->DC;
    dc.removeAllFields();
    QString sql = VinsCube->CubeSqlQuery;
    const QString filtrada = cubo->AplicarFiltro(General::LimpiarSQL(sql, VinsCube->CnnSql->dialect()));
    if (!self || !cubo) return;
    UltimaConsultaSQL = filtrada;
    dc.setRecordSource(filtrada);

    addDimensionFields(*spCam, dc);
    addMeasureFields(*spCal, dc);
    if (!hayMedida) dc.addField(QStringLiteral("1"), QStringLiteral("Count"), bd::pivot::DataArea);
    runDefinedPivot();
}

// The viewer's chart band and filter grid follow the definition, and the designer gives way to the
// viewer. False when a window went away meanwhile.
bool Campos::showViewerForDefinition() {
    QPointer<Campos> self(this);
    QPointer<Cubo> cubo = VCubo;
    CargarComandosGraficos();
    if (!self || !cubo) return false;
    if (!cubo->CHA->isVisible()) cubo->restoreChartArea();
    cubo->CHATag = "NOLOADED"; // the chart must be drawn again
    cubo->SetToolChecked(Cubo::ToolFilterPane, true);
    if (FiltrosCambiados) {
        cubo->ColorcarGrillaFiltros(false, true, false);
        if (!self || !cubo) return false;
        FiltrosCambiados = false;
    } else {
        cubo->ColorcarGrillaFiltros(false, false, false); // the pane follows the tool just checked
        if (!self || !cubo) return false;
    }
    RemoverFilasVacias();
    hide();
    cubo->show();
    return true;
}

// The binding needs an open connection; a cube loaded from its file has none yet.
bool Campos::bindPivotToCube() {
    QPointer<Campos> self(this);
    QPointer<Cubo> cubo = VCubo;
    if (!VinsCube->CnnSql || !VinsCube->CnnSql->isOpen()) {
        const bool ok = General::AbrirConexion(*VinsCube);
        if (!self || !cubo || !VinsCube) return false;
        if (!ok) return false;
    }
    PivotLink enlace(*cubo->DC);
    const bool enlazado = General::ConectarControlDatos(enlace, *VinsCube);
    if (!self || !cubo || !VinsCube) return false;
    return enlazado;
}

// Shows the pivot and runs its query; a query that fails hides it again.
void Campos::runDefinedPivot() {
    QPointer<Campos> self(this);
    QPointer<Cubo> cubo = VCubo;
    bd::pivot::PivotTable& dc = *cubo->DC;
    dc.show();
    dc.repaint();
    QString error, camposFallidos;
    if (!ejecutarConsulta(dc, &error, &camposFallidos)) {
        dc.hide();
        MsgBox(error, Buttons::Ok, Icon::Information, QStringLiteral("Error"));
        return;
    }
    reportFields(camposFallidos);
    if (!self || !cubo) return;
    FiltersNotApplied = false;
    cubo->repaint();
    cubo->Graph(QString());
    if (!self || !cubo) return;
    Recarga = false;
    cubo->MostrarToolDrag();
    if (!self) return;
    hide();
}

// One refresh: the windows it acts on (any of them may close during a question or a message), the
// queries it gives the pivot and why the last one failed.
struct Campos::RefreshRun {
    QPointer<Campos> self;
    QPointer<Cubo> cubo;
    QPointer<InsCube> cube;
    bool& fromFilters; // the caller's DesdeFiltros, which the refresh may set
    QString plain;     // the cube's SQL, cleaned
    QString filtered;  // the same with the user filters spliced in
    QString error;
    QString fieldProblems;
    // After every question or message: did the windows survive it?
    bool alive() const { return self && cubo && cube; }
};

void Campos::Refrescar(bool* DesdeFiltros) {
    if (refreshing_) return; // a timer tick or an event during a refresh starts no second one
    QPointer<Campos> self(this);
    QPointer<Cubo> cubo = VCubo;
    QPointer<InsCube> cube = VinsCube;
    if (!cubo || !cube) return;
    refreshing_ = true;
    BusyGuard busy{self, &Campos::refreshing_};
    bool local = DesdeFiltros ? *DesdeFiltros : false;
    RefreshRun run{self, cubo, cube, DesdeFiltros ? *DesdeFiltros : local, {}, {}, {}, {}};

    if (!refreshConnect(run)) return;
    if (!refreshPrepareQuery(run)) return;
    const bool ok = refreshRunQuery(run);
    if (!run.alive()) return;
    if (ok)
        refreshShowResult(run);
    else if (!run.fromFilters)
        refreshFailed(run, run.error, run.filtered);
    else
        refreshWithoutFilters(run);
}

// Opens the connection, checks that the cube has fields and binds the pivot. False ends the refresh
// (with the designer shown where the user has something to fix).
bool Campos::refreshConnect(RefreshRun& run) {
    const bool conectado = General::AbrirConexion(*run.cube);
    if (!run.alive()) return false;
    if (!conectado) {
        showConnectionRefused(run);
        return false;
    }

    if (!HayCampos(*spCam)) {
        MsgBox(QStringLiteral("No fields were found, write a SQL statement"), Buttons::Ok, Icon::Information,
               QStringLiteral("Error"));
        if (!run.alive()) return false;
        IndicarConeccion();
        GoTab(0);
        SetAbChecked();
        run.cubo->Cerrar = true;
        show();
        return false;
    }

    PivotLink enlace(*run.cubo->DC);
    const bool enlazado = General::ConectarControlDatos(enlace, *run.cube);
    if (!run.alive()) return false;
    if (!enlazado) {
        run.cube->Conectado = false;
        showConnectionRefused(run);
        return false;
    }
    return true;
}

void Campos::showConnectionRefused(RefreshRun& run) {
    IndicarConeccion();
    GoTab(0);
    SetAbChecked();
    PaintBackground(txtConeccion, ColorError);
    run.cubo->Cerrar = true;
    show();
}

// The cube's SQL cleaned, then with the user filters: the second is the one the pivot gets. A query
// that showed results and now differs by its filters counts as a filter change. False when a window
// went away meanwhile.
bool Campos::refreshPrepareQuery(RefreshRun& run) {
    QString text = run.cube->CubeSqlQuery;
    run.plain =
        General::LimpiarSQL(text, run.cube->CnnSql ? run.cube->CnnSql->dialect() : bd::db::SqlDialect{});
    run.filtered = run.cubo->AplicarFiltro(run.plain);
    if (!run.alive()) return false;
    UltimaConsultaSQL = run.filtered;
    if (run.cubo->DC->resultRows() > 0 && run.filtered != run.plain) run.fromFilters = true;

    run.cube->Conectado = true;
    IndicarConeccion();
    return true;
}

// Runs the filtered query under the wait page with "Updating..." on the viewer's status button, and
// redraws the viewer and its chart when it ran. The button gets its caption back either way.
bool Campos::refreshRunQuery(RefreshRun& run) {
    bd::pivot::PivotTable& dc = *run.cubo->DC;
    QPointer<QAbstractButton> estado = stateButton(run.cubo);
    const QString captionEstado = estado ? estado->text() : QString();
    if (estado) estado->setText(QStringLiteral("Updating..."));

    General::PunteroEspera();
    General::MostrarEspera(true);
    dc.setRecordSource(run.filtered);
    const bool ok = ejecutarConsulta(dc, &run.error, &run.fieldProblems);
    if (ok) {
        run.cubo->repaint();
        run.cubo->Graph(QString());
    }
    General::MostrarEspera(false);
    General::PunteroNormal();
    if (estado) estado->setText(captionEstado);
    return ok;
}

// The query ran: an empty result hides the pivot, any other shows it and frees the grids' names.
void Campos::refreshShowResult(RefreshRun& run) {
    FiltersNotApplied = false;
    reportFields(run.fieldProblems);
    if (!run.alive()) return;
    if (run.cubo->DC->resultRows() == 0) {
        MsgBox(QStringLiteral("The query has no results."), Buttons::Ok, Icon::Information,
               QStringLiteral("No Results"));
        if (!run.alive()) return;
        run.cubo->DC->hide();
        run.cubo->TT1.Destroy();
    } else {
        run.cubo->DC->show();
        BlockearCampos(false);
    }
}

// A query that cannot run at all: back to the designer with the connection and the SQL marked.
void Campos::refreshFailed(RefreshRun& run, const QString& descripcion, const QString& sql) {
    run.cube->Conectado = false;
    IndicarConeccion();
    GoTab(0);
    SetAbChecked();
    PaintBackground(txtQuery, ColorError);
    PaintBackground(txtConeccion, ColorError);
    run.cubo->DC->hide();
    run.cubo->Cerrar = true;
    run.cubo->hide();
    show();
    MsgBox("The component can not resolve the information provided.\n" + descripcion + "\n" + sql,
           Buttons::Ok, Icon::Information, QStringLiteral("Failed to refresh data"));
}

// The filters broke a query that works: the unfiltered result comes back before any question, then
// the user chooses what to look at.
void Campos::refreshWithoutFilters(RefreshRun& run) {
    bd::pivot::PivotTable& dc = *run.cubo->DC;
    IndicarConeccion();
    dc.setRecordSource(run.plain);
    QString errorSinFiltros;
    if (!ejecutarConsulta(dc, &errorSinFiltros, &run.fieldProblems)) {
        refreshFailed(run, errorSinFiltros, run.plain);
        return;
    }
    FiltersNotApplied = true; // UltimaConsultaSQL keeps the failed query, for "Debug Last Query"
    run.cubo->repaint();
    dc.show();
    askAboutFailedFilters(run);
}

// Clear the filters? See the filtered SQL? Check the settings that shape it?
void Campos::askAboutFailedFilters(RefreshRun& run) {
    if (MsgBox("Impossible to apply filters. Do you want to clear filters ?\n\n" + run.error, Buttons::YesNo,
               Icon::Question, QStringLiteral("Error")) == Answer::Yes) {
        if (!run.alive()) return;
        run.cubo->ClearFilters();
        FiltersNotApplied = false;
    }
    if (!run.alive()) return;

    if (MsgBox(QStringLiteral("Do you want to visualize SQL with filters applied ?"), Buttons::YesNo,
               Icon::Question, QStringLiteral("Visualize SQL")) == Answer::Yes) {
        if (!run.alive()) return;
        GoTab(4);
        SetAbChecked();
        txtViewQuery->setPlainText(run.filtered);
        run.cubo->Cerrar = true;
        show();
        setFocus();
        return;
    }
    if (!run.alive()) return;

    if (MsgBox(QStringLiteral("Do you want to check DB Options ?"), Buttons::YesNo, Icon::Question,
               QStringLiteral("Check")) == Answer::Yes) {
        if (!run.alive()) return;
        GoTab(2);
        SetAbChecked();
        show();
        for (QWidget* w :
             std::initializer_list<QWidget*>{txtDBDateFormat, txtDBHourFormat, txtDateIndicator, txtLike})
            PaintBackground(w, ColorError);
    }
}
