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
class EnlacePivote : public General::ControlDatos {
public:
    explicit EnlacePivote(bd::pivot::PivotTable& p) : p_(p) {}
    void setConnectionType(int type) override { p_.setConnectionType(type); }
    void setConnectionString(const QString& s) override { p_.setConnectionString(s); }

private:
    bd::pivot::PivotTable& p_;
};

// The viewer's status button, when the viewer has one.
QAbstractButton* botonEstado(Cubo* c) {
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
void avisarCampos(const QString& problems) {
    if (problems.isEmpty()) return;
    const QString text = "These fields could not be computed; the others are shown.\n" + problems;
    if (bd::os::unattended())
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    else
        MsgBox(text, Buttons::Ok, Icon::Exclamation, QStringLiteral("Fields"));
}

// Clears a window's busy flag on every way out, unless the window went away meanwhile.
struct Ocupado {
    QPointer<Campos> c;
    bool Campos::*flag;
    ~Ocupado() {
        if (c) (c.data()->*flag) = false;
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
    bd::pivot::PivotTable& dc = *cubo->DC;

    CargarComandosGraficos();
    if (!self || !cubo) return;
    if (!cubo->CHA->isVisible()) cubo->SetToolChecked(Cubo::ToolSinGrafico, false);
    cubo->CHATag = "NOLOADED"; // the chart must be drawn again
    cubo->SetToolChecked(Cubo::ToolPanelFiltros, true);
    if (FiltrosCambiados) {
        cubo->ColorcarGrillaFiltros(false, true, false);
        if (!self || !cubo) return;
        FiltrosCambiados = false;
    }
    RemoverFilasVacias();
    hide();
    cubo->show();
    const bool hayMedida = HayCampos(*spCal);

    if (!Recarga) {
        cubo->repaint();
        dc.repaint();
        hide();
        bool desdeFiltros = false;
        Refrescar(&desdeFiltros);
        return;
    }

    // The binding needs an open connection; a cube loaded from its file has none yet.
    if (!VinsCube->CnnSql || !VinsCube->CnnSql->isOpen()) {
        const bool ok = General::AbrirConexion(*VinsCube);
        if (!self || !cubo || !VinsCube) return;
        if (!ok) return;
    }
    EnlacePivote enlace(dc);
    const bool enlazado = General::ConectarControlDatos(enlace, *VinsCube);
    if (!self || !cubo || !VinsCube) return;
    if (!enlazado) return;

    dc.removeAllFields();
    QString sql = VinsCube->CubeSqlQuery;
    const QString filtrada = cubo->AplicarFiltro(General::LimpiarSQL(sql, VinsCube->CnnSql->dialect()));
    if (!self || !cubo) return;
    UltimaConsultaSQL = filtrada;
    dc.setRecordSource(filtrada);

    const Grid& cam = *spCam;
    for (int r = 1; r <= cam.maxRows(); ++r) {
        const QString nombre = cam.text(ColCampo, r);
        if (nombre.isEmpty() || cam.value(ColDimension, r).toString() != "1") continue;
        bd::pivot::PivotField* f = dc.addField(nombre, nombre, bd::pivot::PageArea);
        const QString caption = cam.cellTag(TagCaption, r);
        if (!caption.isEmpty()) f->setCaption(caption);
        // A numeric dimension needs nothing more: this pivot orders numbers by value by itself.
    }

    const Grid& cal = *spCal;
    for (int r = 1; r <= cal.maxRows(); ++r) {
        const QString nombre = cal.text(ColMedida, r);
        if (nombre.isEmpty() || cal.value(ColVisible, r).toString() != "1") continue;
        if (cal.cellType(ColAgregado, r) == TypePlain) continue; // an alert sub-row
        const QString formula = cal.cellTag(TagFormula, r);
        // The pivot holds one field per name: a field that is both a dimension and a shown measure
        // becomes the measure.
        if (bd::pivot::PivotField* otro = dc.fields().item(nombre);
            otro && otro->orientation() != bd::pivot::DataArea)
            dc.removeField(nombre);
        // A calculated measure is named by its id, its formula kept apart, so charts and alerts
        // find it by name.
        bd::pivot::PivotField* f = dc.addField(nombre, nombre, bd::pivot::DataArea);
        if (!formula.isEmpty()) {
            f->setFormula(formula);
        } else if (const auto codigo = CodigoAgregado(cal.text(ColAgregado, r))) {
            f->setAggregate(*codigo);
        }
        f->setPosition(dc.fields().count() + 1);
        const QString caption = cal.cellTag(TagCaption, r);
        if (!caption.isEmpty()) f->setCaption(caption);
        const QString formato = cal.cellTag(TagFormato, r);
        if (!formato.isEmpty()) f->setNumberFormat(formato);
    }
    if (!hayMedida) dc.addField(QStringLiteral("1"), QStringLiteral("Count"), bd::pivot::DataArea);

    dc.show();
    dc.repaint();
    QString error, camposFallidos;
    if (!ejecutarConsulta(dc, &error, &camposFallidos)) {
        dc.hide();
        MsgBox(error, Buttons::Ok, Icon::Information, QStringLiteral("Error"));
        return;
    }
    avisarCampos(camposFallidos);
    if (!self || !cubo) return;
    FiltrosSinAplicar = false;
    cubo->repaint();
    cubo->Graph(QString());
    if (!self || !cubo) return;
    Recarga = false;
    cubo->MostrarToolDrag();
    if (!self) return;
    hide();
}

void Campos::Refrescar(bool* DesdeFiltros) {
    if (refrescando_) return; // a timer tick or an event during a refresh starts no second one
    QPointer<Campos> self(this);
    QPointer<Cubo> cubo = VCubo;
    QPointer<InsCube> cube = VinsCube;
    if (!cubo || !cube) return;
    refrescando_ = true;
    Ocupado ocupado{self, &Campos::refrescando_};
    bool local = DesdeFiltros ? *DesdeFiltros : false;
    bool& desdeFiltros = DesdeFiltros ? *DesdeFiltros : local;
    // After every question or message: did the windows survive it?
    auto vivos = [&] { return self && cubo && cube; };

    auto conexionRechazada = [&] {
        IndicarConeccion();
        GoTab(0);
        SetAbChecked();
        PintarFondo(txtConeccion, ColorError);
        cubo->Cerrar = true;
        show();
    };

    const bool conectado = General::AbrirConexion(*cube);
    if (!vivos()) return;
    if (!conectado) {
        conexionRechazada();
        return;
    }

    if (!HayCampos(*spCam)) {
        MsgBox(QStringLiteral("No fields were found, write a SQL statement"), Buttons::Ok, Icon::Information,
               QStringLiteral("Error"));
        if (!vivos()) return;
        IndicarConeccion();
        GoTab(0);
        SetAbChecked();
        cubo->Cerrar = true;
        show();
        return;
    }

    bd::pivot::PivotTable& dc = *cubo->DC;
    EnlacePivote enlace(dc);
    const bool enlazado = General::ConectarControlDatos(enlace, *cube);
    if (!vivos()) return;
    if (!enlazado) {
        cube->Conectado = false;
        conexionRechazada();
        return;
    }

    QString texto = cube->CubeSqlQuery;
    const QString plana =
        General::LimpiarSQL(texto, cube->CnnSql ? cube->CnnSql->dialect() : bd::db::SqlDialect{});
    const QString filtrada = cubo->AplicarFiltro(plana);
    if (!vivos()) return;
    UltimaConsultaSQL = filtrada;
    if (dc.resultRows() > 0 && filtrada != plana) desdeFiltros = true;

    cube->Conectado = true;
    IndicarConeccion();

    QPointer<QAbstractButton> estado = botonEstado(cubo);
    const QString captionEstado = estado ? estado->text() : QString();
    if (estado) estado->setText(QStringLiteral("Updating..."));
    auto restaurarEstado = [&] {
        if (estado) estado->setText(captionEstado);
    };

    General::PunteroEspera();
    General::MostrarEspera(true);
    dc.setRecordSource(filtrada);
    QString error, camposFallidos;
    const bool ok = ejecutarConsulta(dc, &error, &camposFallidos);
    if (ok) {
        cubo->repaint();
        cubo->Graph(QString());
    }
    General::MostrarEspera(false);
    General::PunteroNormal();
    restaurarEstado();
    if (!vivos()) return;

    auto noSeActualizo = [&](const QString& descripcion, const QString& sql) {
        cube->Conectado = false;
        IndicarConeccion();
        GoTab(0);
        SetAbChecked();
        PintarFondo(txtQuery, ColorError);
        PintarFondo(txtConeccion, ColorError);
        cubo->DC->hide();
        cubo->Cerrar = true;
        cubo->hide();
        show();
        MsgBox("The component can not resolve the information provided.\n" + descripcion + "\n" + sql,
               Buttons::Ok, Icon::Information, QStringLiteral("Failed to refresh data"));
    };

    if (ok) {
        FiltrosSinAplicar = false;
        avisarCampos(camposFallidos);
        if (!vivos()) return;
        if (dc.resultRows() == 0) {
            MsgBox(QStringLiteral("The query has no results."), Buttons::Ok, Icon::Information,
                   QStringLiteral("No Results"));
            if (!vivos()) return;
            cubo->DC->hide();
        } else {
            dc.show();
            BlockearCampos(false);
        }
        return;
    }

    if (!desdeFiltros) {
        noSeActualizo(error, filtrada);
        return;
    }

    // The filters broke a query that works: the unfiltered result comes back before any question.
    IndicarConeccion();
    dc.setRecordSource(plana);
    QString errorSinFiltros;
    if (!ejecutarConsulta(dc, &errorSinFiltros, &camposFallidos)) {
        noSeActualizo(errorSinFiltros, plana);
        return;
    }
    FiltrosSinAplicar = true; // UltimaConsultaSQL keeps the failed query, for "Debug Last Query"
    cubo->repaint();
    dc.show();

    if (MsgBox("Impossible to apply filters. Do you want to clear filters ?\n\n" + error, Buttons::YesNo,
               Icon::Question, QStringLiteral("Error")) == Answer::Yes) {
        if (!vivos()) return;
        cubo->ClearFilters();
        FiltrosSinAplicar = false;
    }
    if (!vivos()) return;

    if (MsgBox(QStringLiteral("Do you want to visualize SQL with filters applied ?"), Buttons::YesNo,
               Icon::Question, QStringLiteral("Visualize SQL")) == Answer::Yes) {
        if (!vivos()) return;
        GoTab(4);
        SetAbChecked();
        txtViewQuery->setPlainText(filtrada);
        cubo->Cerrar = true;
        show();
        setFocus();
        return;
    }
    if (!vivos()) return;

    if (MsgBox(QStringLiteral("Do you want to check DB Options ?"), Buttons::YesNo, Icon::Question,
               QStringLiteral("Check")) == Answer::Yes) {
        if (!vivos()) return;
        GoTab(2);
        SetAbChecked();
        show();
        for (QWidget* w :
             std::initializer_list<QWidget*>{txtDBDateFormat, txtDBHourFormat, txtDateIndicator, txtLike})
            PintarFondo(w, ColorError);
    }
}
