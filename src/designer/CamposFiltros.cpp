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
struct Pick {
    bool accepted = false;
    QString from, to;
    QString table, field, where, sql;
    bool withQuery = false;
};

// The row's values as the pickers are given them.
struct FilterRow {
    QString field, typeClass;
    QString fromLimit, toLimit, fromValue, toValue; // L1, L2, V1, V2
    bool between = false;
    bool limitsInPairs = false; // columns 4 and 7; else 5 and 6
};

Pick pickNumber(const FilterRow& f, const Campos& c) {
    frmSelectNum* p = frmSelectNum::instance();
    const int decimales = c.getDecimals(f.field);
    p->CantDecimals = decimales == -1 ? 2 : decimales;
    p->InitializeNumericFields();
    p->Formato = c.getFormat(f.field);
    const QString& from = f.limitsInPairs ? f.fromLimit : f.fromValue;
    const QString& to = f.limitsInPairs ? f.toLimit : f.toValue;
    if (conValor(from)) p->FText->setText(from);
    if (conValor(to)) p->TText->setText(to);
    p->NoRange = !f.between;
    p->GetRange();
    Pick e;
    e.accepted = runValuePicker(p, [&](frmSelectNum& d) {
        e.from = d.FText->text();
        e.to = d.TText->text();
    });
    return e;
}

Pick pickText(const FilterRow& f, const Grid& g, int row, InsCube* cube) {
    frmSelectText* p = frmSelectText::instance();
    p->FTTable = g.cellTag(DefinitionGrids::ColTablaValores, row);
    p->FTField = g.cellTag(DefinitionGrids::ColCampoValores, row);
    p->FTWhere = g.cellTag(DefinitionGrids::ColWhereValores, row);
    p->FTSql = g.cellTag(DefinitionGrids::ColSQLValores, row);
    if (!p->FTSql.isEmpty() && cube) p->FillValueLists(*cube, p->FTSql);
    if (f.limitsInPairs) {
        if (conValor(f.fromLimit)) p->FText->setEditText(f.fromLimit);
        if (conValor(f.toLimit)) p->TText->setEditText(f.toLimit);
    } else {
        if (conValor(f.fromLimit)) p->MinRange = f.fromLimit;
        if (conValor(f.toLimit)) p->MaxRange = f.toLimit;
        if (conValor(f.fromValue))
            p->FText->setEditText(f.fromValue);
        else if (conValor(f.fromLimit))
            p->FText->setEditText(f.fromLimit);
        if (conValor(f.toValue))
            p->TText->setEditText(f.toValue);
        else if (conValor(f.toLimit))
            p->TText->setEditText(f.toLimit);
    }
    p->cmdFromTBL->setVisible(true);
    p->NoRange = !f.between;
    p->GetRange();
    p->VinsCube = cube;
    Pick e;
    e.accepted = runValuePicker(p, [&](frmSelectText& d) {
        e.from = d.FText->currentText();
        e.to = d.TText->currentText();
        e.table = d.FTTable;
        e.field = d.FTField;
        e.where = d.FTWhere;
        e.sql = d.FTSql;
        e.withQuery = true;
    });
    return e;
}

// One side of the date picker from a written date; false when the text holds no date.
bool fechaEn(const QString& text, QDateTimeEdit* fecha, QTimeEdit* hora, QDateTime* valor = nullptr) {
    const QDateTime d = conValor(text) ? frmSelectDate::ReadDate(text) : QDateTime();
    if (!d.isValid()) return false;
    General::FijarHora(d, hora);
    fecha->setDateTime(d);
    if (valor) *valor = d;
    return true;
}

Pick pickDate(const FilterRow& f) {
    frmSelectDate* p = frmSelectDate::instance();
    if (f.limitsInPairs) {
        fechaEn(f.fromLimit, p->FDate, p->FHour);
        fechaEn(f.toLimit, p->TDate, p->THour);
    } else {
        const QDateTime hoy(bd::os::Now().date(), QTime(0, 0));
        if (!fechaEn(f.fromValue, p->FDate, p->FHour, &p->DefMinDate)) p->FDate->setDateTime(hoy);
        if (!fechaEn(f.toValue, p->TDate, p->THour, &p->DefMaxDate)) p->TDate->setDateTime(hoy);
    }
    p->NoRange = !f.between;
    if (p->NoRange) {
        // One value is offered: the To side would take a date that is never written.
        for (QWidget* w : std::initializer_list<QWidget*>{p->lblTo, p->TDate, p->THour, p->cmdTNow})
            w->hide();
        p->TimeRange->setUpperVisible(false);
    }
    Pick e;
    e.accepted = runValuePicker(p, [&](frmSelectDate& d) {
        e.from = frmSelectDate::IsoText(d.FDate->dateTime());
        e.to = frmSelectDate::IsoText(d.TDate->dateTime());
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
        removeFilter(row);
        return;
    }
    if (col >= ColLimiteDesde && col <= ColLimiteHasta) chooseFilterValues(col, row);
}

void Campos::chooseFilterValues(int col, int row) {
    Grid& g = *spFil;
    FilterRow f;
    f.field = g.text(ColFiltroCampo, row);
    f.typeClass = g.cellTag(ColOperador, row);
    f.fromLimit = g.typeButtonText(ColLimiteDesde, row);
    f.toLimit = g.typeButtonText(ColLimiteHasta, row);
    f.fromValue = g.typeButtonText(ColValorDesde, row);
    f.toValue = g.typeButtonText(ColValorHasta, row);
    f.between = g.cellType(ColValorHasta, row) == TypeButton;
    f.limitsInPairs = col == ColLimiteDesde || col == ColLimiteHasta;

    QPointer<Campos> self(this);
    Pick e;
    if (f.typeClass == ISNUMERIC)
        e = pickNumber(f, *this);
    else if (f.typeClass == ISTEXT || f.typeClass == ISMEMO)
        e = pickText(f, g, row, VinsCube);
    else if (f.typeClass == ISDATE)
        e = pickDate(f);
    else
        return;
    if (!self || !e.accepted || !spFil || row > spFil->maxRows()) return;
    // With another operator than Between the one value always lands in the pair's first column.
    const int primera = f.limitsInPairs ? ColLimiteDesde : ColValorDesde;
    const int segunda = f.limitsInPairs ? ColLimiteHasta : ColValorHasta;
    escribirValor(g, primera, row, e.from);
    if (f.between) escribirValor(g, segunda, row, e.to);
    if (e.withQuery) {
        g.setCellTag(ColTablaValores, row, e.table);
        g.setCellTag(ColCampoValores, row, e.field);
        g.setCellTag(ColWhereValores, row, e.where);
        g.setCellTag(ColSQLValores, row, e.sql);
    }
    markChanged();
}

void Campos::removeFilter(int row) {
    QPointer<Campos> self(this);
    if (MsgBox("Are you sure to remove this row ?", Buttons::YesNo, Icon::None, "Remove") != Answer::Yes)
        return;
    if (!self || !spFil || row > spFil->maxRows()) return;
    Grid& g = *spFil;
    const int rowCount = g.maxRows();
    g.deleteRows(row, 1);
    g.setMaxRows(rowCount);
    FiltrosCambiados = true;
    markChanged();
}

void Campos::betweenMode(int row) {
    Grid& g = *spFil;
    const bool between = g.text(ColOperador, row) == "Between";
    g.setTypeButtonText(ColValorHasta, row, kSinValor);
    g.setCellType(ColValorHasta, row, between ? TypeButton : TypePlain);
    if (between) g.setTypeButtonColor(ColValorHasta, row, 0xFFFFFF);
    g.setText(ColValorHasta, row, QString());
    g.setLock(ColValorHasta, row, !between);
}

void Campos::spFil_ComboSelChange(int col, int row) {
    if (col != ColOperador || row < 1 || row > spFil->maxRows()) return;
    betweenMode(row);
    // The viewer's user-filter row takes the new operator.
    FiltrosCambiados = true;
    markChanged();
}

void Campos::spFil_Change(int, int) {
    FiltrosCambiados = true;
    markChanged();
}

void Campos::spFil_Click(int, int) {
    DestroyBalloon();
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
    markChanged();
}

void Campos::spFil_DblClick(int col, int row) {
    FiltrosCambiados = true;
    Grid& g = *spFil;
    if (col != ColFiltroCampo || row < 1 || row > g.maxRows()) return;
    const QString name = g.text(ColFiltroCampo, row);
    if (name.isEmpty()) return;
    QPointer<Campos> self(this);
    for (int i = 1; spCam && i <= spCam->maxRows(); ++i) {
        if (spCam->text(ColCampo, i) != name) continue;
        spCam_DblClick(ColCampo, i);
        if (!self || !spFil || !spCam || row > spFil->maxRows()) return;
        g.setCellTag(TagCaption, row, spCam->cellTag(TagCaption, i));
        g.setCellTag(TagFormato, row, spCam->cellTag(TagFormato, i));
    }
}
