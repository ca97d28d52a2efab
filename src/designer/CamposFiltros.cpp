// The filter grid spFil: operators, limits and default values through the value pickers, Delete on a
// pair, removing a row, the field dialog from a filter's name, and the field lookups the filter grids
// share (a field's display format and its decimals).
#include "designer/Campos.h"

#include "platform/os/Clock.h"
#include "platform/os/Prompter.h"
#include "shell/General.h"
#include "shell/GeneralGrid.h"
#include "shell/InsCube.h"
#include "viewer/ValuePicker.h"
#include "viewer/frmSelectDate.h"
#include "viewer/frmSelectNum.h"
#include "viewer/frmSelectText.h"

using namespace bd::grid;
using bd::os::Answer;
using bd::os::Buttons;
using bd::os::Icon;
using bd::os::MsgBox;

QString Campos::getFormat(const QString& Campo) const {
    const bd::grid::Grid& g = *spCam;
    for (int r = 1; r <= g.maxRows(); ++r)
        if (g.text(ColCampo, r) == Campo) return g.cellTag(TagFormato, r);
    return {};
}

int Campos::getDecimals(const QString& Campo) const {
    const bd::grid::Grid& g = *spCam;
    for (int r = 1; r <= g.maxRows(); ++r) {
        if (g.text(ColCampo, r) != Campo) continue;
        const QString formato = g.cellTag(TagFormato, r);
        return formato.isEmpty() ? -1 : General::ContarDecimales(formato);
    }
    return -1;
}

namespace {

constexpr int VkDelete = 46;
const QString kSinValor = QStringLiteral("...");

// A button text that holds a value: "..." (and a text never set) hold none.
bool conValor(const QString& t) {
    return !t.isEmpty() && t != kSinValor;
}

// What a picker gives back: its From and To texts, and for the text picker its values query.
struct Eleccion {
    bool aceptada = false;
    QString desde, hasta;
    QString tabla, campo, where, sql;
    bool conConsulta = false;
};

// The row's values as the pickers are given them.
struct FilaFiltro {
    QString campo, clase;
    QString fromLimit, toLimit, valorDesde, valorHasta; // L1, L2, V1, V2
    bool entre = false;
    bool parLimites = false; // columns 4 and 7; else 5 and 6
};

Eleccion elegirNumero(const FilaFiltro& f, const Campos& c) {
    frmSelectNum* p = frmSelectNum::instance();
    const int decimales = c.getDecimals(f.campo);
    p->CantDecimals = decimales == -1 ? 2 : decimales;
    p->InitializeNumericFields();
    p->Formato = c.getFormat(f.campo);
    const QString& desde = f.parLimites ? f.fromLimit : f.valorDesde;
    const QString& hasta = f.parLimites ? f.toLimit : f.valorHasta;
    if (conValor(desde)) p->FText->setText(desde);
    if (conValor(hasta)) p->TText->setText(hasta);
    p->NoRange = !f.entre;
    p->GetRange();
    Eleccion e;
    e.aceptada = runValuePicker(p, [&](frmSelectNum& d) {
        e.desde = d.FText->text();
        e.hasta = d.TText->text();
    });
    return e;
}

Eleccion elegirTexto(const FilaFiltro& f, const Grid& g, int row, InsCube* cube) {
    frmSelectText* p = frmSelectText::instance();
    p->FTTable = g.cellTag(DefinitionGrids::ColTablaValores, row);
    p->FTField = g.cellTag(DefinitionGrids::ColCampoValores, row);
    p->FTWhere = g.cellTag(DefinitionGrids::ColWhereValores, row);
    p->FTSql = g.cellTag(DefinitionGrids::ColSQLValores, row);
    if (!p->FTSql.isEmpty() && cube) p->FillValueLists(*cube, p->FTSql);
    if (f.parLimites) {
        if (conValor(f.fromLimit)) p->FText->setEditText(f.fromLimit);
        if (conValor(f.toLimit)) p->TText->setEditText(f.toLimit);
    } else {
        if (conValor(f.fromLimit)) p->MinRange = f.fromLimit;
        if (conValor(f.toLimit)) p->MaxRange = f.toLimit;
        if (conValor(f.valorDesde))
            p->FText->setEditText(f.valorDesde);
        else if (conValor(f.fromLimit))
            p->FText->setEditText(f.fromLimit);
        if (conValor(f.valorHasta))
            p->TText->setEditText(f.valorHasta);
        else if (conValor(f.toLimit))
            p->TText->setEditText(f.toLimit);
    }
    p->cmdFromTBL->setVisible(true);
    p->NoRange = !f.entre;
    p->GetRange();
    p->VinsCube = cube;
    Eleccion e;
    e.aceptada = runValuePicker(p, [&](frmSelectText& d) {
        e.desde = d.FText->currentText();
        e.hasta = d.TText->currentText();
        e.tabla = d.FTTable;
        e.campo = d.FTField;
        e.where = d.FTWhere;
        e.sql = d.FTSql;
        e.conConsulta = true;
    });
    return e;
}

// One side of the date picker from a written date; false when the text holds no date.
bool fechaEn(const QString& texto, QDateTimeEdit* fecha, QTimeEdit* hora, QDateTime* valor = nullptr) {
    const QDateTime d = conValor(texto) ? frmSelectDate::ReadDate(texto) : QDateTime();
    if (!d.isValid()) return false;
    General::FijarHora(d, hora);
    fecha->setDateTime(d);
    if (valor) *valor = d;
    return true;
}

Eleccion elegirFecha(const FilaFiltro& f) {
    frmSelectDate* p = frmSelectDate::instance();
    if (f.parLimites) {
        fechaEn(f.fromLimit, p->FDate, p->FHour);
        fechaEn(f.toLimit, p->TDate, p->THour);
    } else {
        const QDateTime hoy(bd::os::Now().date(), QTime(0, 0));
        if (!fechaEn(f.valorDesde, p->FDate, p->FHour, &p->DefMinDate)) p->FDate->setDateTime(hoy);
        if (!fechaEn(f.valorHasta, p->TDate, p->THour, &p->DefMaxDate)) p->TDate->setDateTime(hoy);
    }
    p->NoRange = !f.entre;
    if (p->NoRange) {
        // One value is offered: the To side would take a date that is never written.
        for (QWidget* w : std::initializer_list<QWidget*>{p->lblTo, p->TDate, p->THour, p->cmdTNow})
            w->hide();
        p->TimeRange->setUpperVisible(false);
    }
    Eleccion e;
    e.aceptada = runValuePicker(p, [&](frmSelectDate& d) {
        e.desde = frmSelectDate::IsoText(d.FDate->dateTime());
        e.hasta = frmSelectDate::IsoText(d.TDate->dateTime());
    });
    return e;
}

// A value button's caption and cell value, written together.
void escribirValor(Grid& g, int col, int row, const QString& v) {
    g.setTypeButtonText(col, row, v);
    g.setText(col, row, v);
}

} // namespace

void Campos::spFil_ButtonClicked(int col, int row, int) {
    FiltrosCambiados = true;
    Grid& g = *spFil;
    if (row < 1 || row > g.maxRows()) return;
    if (g.text(ColFiltroCampo, row).isEmpty() || g.cellTag(ColOperador, row).isEmpty()) return;
    if (col == ColQuitarFiltro) {
        quitarFiltro(row);
        return;
    }
    if (col >= ColLimiteDesde && col <= ColLimiteHasta) elegirValoresFiltro(col, row);
}

void Campos::elegirValoresFiltro(int col, int row) {
    Grid& g = *spFil;
    FilaFiltro f;
    f.campo = g.text(ColFiltroCampo, row);
    f.clase = g.cellTag(ColOperador, row);
    f.fromLimit = g.typeButtonText(ColLimiteDesde, row);
    f.toLimit = g.typeButtonText(ColLimiteHasta, row);
    f.valorDesde = g.typeButtonText(ColValorDesde, row);
    f.valorHasta = g.typeButtonText(ColValorHasta, row);
    f.entre = g.cellType(ColValorHasta, row) == TypeButton;
    f.parLimites = col == ColLimiteDesde || col == ColLimiteHasta;

    QPointer<Campos> self(this);
    Eleccion e;
    if (f.clase == ISNUMERIC)
        e = elegirNumero(f, *this);
    else if (f.clase == ISTEXT || f.clase == ISMEMO)
        e = elegirTexto(f, g, row, VinsCube);
    else if (f.clase == ISDATE)
        e = elegirFecha(f);
    else
        return;
    if (!self || !e.aceptada || !spFil || row > spFil->maxRows()) return;
    // With another operator than Between the one value always lands in the pair's first column.
    const int primera = f.parLimites ? ColLimiteDesde : ColValorDesde;
    const int segunda = f.parLimites ? ColLimiteHasta : ColValorHasta;
    escribirValor(g, primera, row, e.desde);
    if (f.entre) escribirValor(g, segunda, row, e.hasta);
    if (e.conConsulta) {
        g.setCellTag(ColTablaValores, row, e.tabla);
        g.setCellTag(ColCampoValores, row, e.campo);
        g.setCellTag(ColWhereValores, row, e.where);
        g.setCellTag(ColSQLValores, row, e.sql);
    }
    marcarCambiado();
}

void Campos::quitarFiltro(int row) {
    QPointer<Campos> self(this);
    if (MsgBox("Are you sure to remove this row ?", Buttons::YesNo, Icon::None, "Remove") != Answer::Yes)
        return;
    if (!self || !spFil || row > spFil->maxRows()) return;
    Grid& g = *spFil;
    const int filas = g.maxRows();
    g.deleteRows(row, 1);
    g.setMaxRows(filas);
    FiltrosCambiados = true;
    marcarCambiado();
}

void Campos::modoEntre(int row) {
    Grid& g = *spFil;
    const bool entre = g.text(ColOperador, row) == "Between";
    g.setTypeButtonText(ColValorHasta, row, kSinValor);
    g.setCellType(ColValorHasta, row, entre ? TypeButton : TypePlain);
    if (entre) g.setTypeButtonColor(ColValorHasta, row, 0xFFFFFF);
    g.setText(ColValorHasta, row, QString());
    g.setLock(ColValorHasta, row, !entre);
}

void Campos::spFil_ComboSelChange(int col, int row) {
    if (col != ColOperador || row < 1 || row > spFil->maxRows()) return;
    modoEntre(row);
    // The viewer's user-filter row takes the new operator.
    FiltrosCambiados = true;
    marcarCambiado();
}

void Campos::spFil_Change(int, int) {
    FiltrosCambiados = true;
    marcarCambiado();
}

void Campos::spFil_Click(int, int) {
    DestruirGlobo();
}

void Campos::spFil_GotFocus() {
    VaOnfocus = spFil;
}

void Campos::spFil_KeyDown(int keyCode, int) {
    if (keyCode != VkDelete) return;
    Grid& g = *spFil;
    const int col = g.activeCol(), row = g.activeRow();
    if (row < 1 || row > g.maxRows()) return;
    std::pair<int, int> par;
    if (col == ColLimiteDesde || col == ColLimiteHasta)
        par = {ColLimiteDesde, ColLimiteHasta};
    else if (col == ColValorDesde || col == ColValorHasta)
        par = {ColValorDesde, ColValorHasta};
    else
        return;
    for (int c : {par.first, par.second}) {
        g.setText(c, row, QString());
        g.setTypeButtonText(c, row, kSinValor);
    }
    FiltrosCambiados = true;
    marcarCambiado();
}

void Campos::spFil_DblClick(int col, int row) {
    FiltrosCambiados = true;
    Grid& g = *spFil;
    if (col != ColFiltroCampo || row < 1 || row > g.maxRows()) return;
    const QString nombre = g.text(ColFiltroCampo, row);
    if (nombre.isEmpty()) return;
    QPointer<Campos> self(this);
    for (int i = 1; spCam && i <= spCam->maxRows(); ++i) {
        if (spCam->text(ColCampo, i) != nombre) continue;
        spCam_DblClick(ColCampo, i);
        if (!self || !spFil || !spCam || row > spFil->maxRows()) return;
        g.setCellTag(TagCaption, row, spCam->cellTag(TagCaption, i));
        g.setCellTag(TagFormato, row, spCam->cellTag(TagFormato, i));
    }
}
