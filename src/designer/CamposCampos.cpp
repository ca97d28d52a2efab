// Field discovery: the query's columns become rows of spCam; fields that left the query leave every
// grid. Also the cell types and locks that a loaded cube file needs restored.
#include "designer/Campos.h"

#include "platform/db/Connection.h"
#include "platform/db/Recordset.h"
#include "platform/os/Prompter.h"
#include "platform/os/Twips.h"
#include "shell/General.h"
#include "shell/GeneralDb.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QPalette>

using namespace bd::grid;

namespace {

// Screen updating of the grids goes back on however the procedure ends.
class SinRedibujo {
public:
    explicit SinRedibujo(std::initializer_list<Grid*> grids) {
        for (Grid* g : grids)
            if (g) {
                grids_.push_back(g);
                g->setRedraw(false);
            }
    }
    ~SinRedibujo() { encender(); }
    void encender() {
        for (const QPointer<Grid>& g : grids_)
            if (g) g->setRedraw(true);
        grids_.clear();
    }

private:
    QVector<QPointer<Grid>> grids_;
};

bool mismoNombre(const QString& a, const QString& b) {
    return a.toUpper() == b.toUpper();
}

} // namespace

void Campos::PintarFondo(QWidget* control, uint32_t ole) {
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
        if (!t.isEmpty() && mismoNombre(t, Campo)) return true;
    }
    return false;
}

bool Campos::EsNumericoEnGrilla(Grid& Grilla, const QString& Campo) {
    for (int r = 1; r <= Grilla.maxRows(); ++r) {
        const QString t = Grilla.text(1, r);
        if (!t.isEmpty() && mismoNombre(t, Campo) && Grilla.cellTag(ColTipoCampo, r) == ISNUMERIC)
            return true;
    }
    return false;
}

bool Campos::EstaEnquery(const QString& Campo) {
    if (!VinsCube || !VinsCube->RsSql || !VinsCube->RsSql->isOpen()) return false;
    for (const bd::db::Field& f : VinsCube->RsSql->fields())
        if (mismoNombre(f.name, Campo)) return true;
    return false;
}

void Campos::QuitarFilaEnCalculados(const QString& Campo) {
    Grid& g = *spCal;
    // Main rows and their alert sub-rows carry the same name and go together.
    for (int r = 1; r <= g.maxRows();) {
        const QString t = g.text(ColMedida, r);
        if (!t.isEmpty() && mismoNombre(t, Campo))
            g.deleteRows(r, 1);
        else
            ++r;
    }
}

void Campos::QuitarFilaEnFiltros(const QString& Campo) {
    Grid& f = *spFil;
    for (int r = 1; r <= f.maxRows();) {
        const QString t = f.text(ColFiltroCampo, r);
        if (!t.isEmpty() && mismoNombre(t, Campo)) {
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
        const QString nombre = tag.isEmpty() ? u.text(Cubo::ColUsrCampo, r) : tag;
        if (!nombre.isEmpty() && mismoNombre(nombre, Campo)) {
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
            const QString nombre = g.text(ColCampo, r);
            if (nombre.isEmpty() || EstaEnquery(nombre)) {
                ++r;
                continue;
            }
            Recarga = true;
            QuitarFilaEnCalculados(nombre);
            QuitarFilaEnFiltros(nombre);
            g.deleteRows(r, 1);
            quitado = true;
        }
    }
}

void Campos::VerificarNumericos() {
    Grid& g = *spCam;
    SinRedibujo sr{&g};
    for (int r = 1; r <= g.maxRows(); ++r) {
        if (g.cellTag(ColTipoCampo, r) == ISNUMERIC) {
            g.setCellType(ColTipoCampo, r, TypeButton);
            g.setLock(ColTipoCampo, r, false);
            g.setTypeButtonPicture(ColTipoCampo, r, picFlecha);
            g.setTypeButtonColor(ColTipoCampo, r, 0xFFFFFF);
        } else {
            g.setCellType(ColTipoCampo, r, TypePlain);
            g.setLock(ColTipoCampo, r, true);
        }
    }
    sr.encender();
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
    if (iniciando_) return; // GoTab with 1 runs discovery itself when fields are missing
    if (txtConeccion->toPlainText().isEmpty() || txtQuery->toPlainText().isEmpty()) {
        GoTab(0);
        return;
    }
    if (!VinsCube) return;
    QPointer<Campos> self(this);
    iniciando_ = true;
    struct Fin {
        QPointer<Campos> c;
        ~Fin() {
            if (c) c->iniciando_ = false;
        }
    } fin{self};

    SinRedibujo sr{spCam, spCal};
    auto colaDeError = [&](const QString& descripcion) {
        General::PunteroNormal();
        General::MostrarEspera(false);
        sr.encender();
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
        PintarFondo(txtConeccion, ColorError);
        sr.encender();
        IndicarConeccion();
        return;
    }
    IndicarConeccion();

    General::sUltimoError.clear();
    if (!General::AbrirRecordset(*VinsCube)) {
        Cambio = true;
        PintarFondo(txtQuery, ColorError);
        GoTab(0);
        SetAbChecked();
        colaDeError(General::sUltimoError);
        return;
    }
    bd::db::Recordset& rs = *VinsCube->RsSql;
    if (rs.fieldCount() == 0) {
        rs.close();
        if (VCubo) {
            VCubo->Graph(QString());
            if (VCubo) VCubo->IndicarCantidades(true);
        }
        colaDeError(
            QStringLiteral("No results were found. Check connection parameters and the SQL statement."));
        return;
    }

    BorrarCamposNoEnQuery();

    bool hayNumericos = false;
    const QVector<bd::db::Field> campos = rs.fields();
    Grid& g = *spCam;
    for (const bd::db::Field& f : campos) {
        if (EstaEnGrilla(g, f.name)) {
            if (EsNumericoEnGrilla(g, f.name)) hayNumericos = true;
            continue;
        }
        const QString clase = ClaseDeTipo(f.type);
        if (clase.isEmpty()) {
            bd::os::MsgBox("Field " + f.name + " is a Image type. Can not be displayed", bd::os::Buttons::Ok,
                           bd::os::Icon::Information, QStringLiteral("Fields"));
            if (!self || !VinsCube) return;
            continue;
        }
        int r = BuscarPosicion(g);
        if (r == 0) { // every row in use: the grid grows instead of losing the field
            g.setMaxRows(g.maxRows() + 1);
            r = g.maxRows();
        }
        g.setText(ColCampo, r, f.name);
        g.setText(ColDimension, r, clase == ISMEMO ? "0" : "1");
        g.setCellTag(ColTipoCampo, r, clase);
        Recarga = true;
        if (clase == ISNUMERIC) hayNumericos = true;
    }
    if (hayNumericos) MostrarToolMeasure();
    BlockearCampos(false);
    rs.close();
    VolverAFilasDefinicion(*spCam);
    VolverAFilasDefinicion(*spCal);
    sr.encender();
    VerificarNumericos();
}
