// The value buttons of the user-filter grid: the row's picker is loaded with the row's values and
// limits, shown, and what the user accepts goes into the row and re-runs the query.
#include "designer/Campos.h"
#include "platform/os/Clock.h"
#include "shell/GeneralGrid.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"
#include "viewer/ValuePicker.h"
#include "viewer/frmSelectDate.h"
#include "viewer/frmSelectNum.h"
#include "viewer/frmSelectText.h"

#include <QPointer>

using bd::grid::Grid;

namespace {
struct Resultado {
    bool aceptado = false;
    QString desde, hasta;
};

Resultado numero(const Cubo::ValoresSelector& s, const QString& campo, Campos* campos) {
    frmSelectNum* f = frmSelectNum::instance();
    const int decimales = campos ? campos->getDecimals(campo) : -1;
    f->CantDecimals = decimales == -1 ? 2 : decimales;
    f->Formato = campos ? campos->getFormat(campo) : QString();
    f->InitializeNumericFields();
    double v = 0;
    if (frmSelectNum::LeerNumero(s.limiteDesde, &v)) {
        f->TimeRange->setMin(frmSelectNum::Entero(v));
        if (s.desde.isEmpty()) {
            f->TimeRange->setLowerValue(frmSelectNum::Entero(v));
            f->FText->setText(s.limiteDesde);
        }
    }
    if (frmSelectNum::LeerNumero(s.limiteHasta, &v)) {
        f->TimeRange->setMax(frmSelectNum::Entero(v));
        if (s.hasta.isEmpty()) {
            f->TimeRange->setUpperValue(frmSelectNum::Entero(v));
            f->TText->setText(s.limiteHasta);
        }
    }
    if (!s.desde.isEmpty()) f->FText->setText(s.desde);
    if (!s.hasta.isEmpty()) f->TText->setText(s.hasta);
    f->NoRange = !s.entre;
    f->GetRange();
    Resultado r;
    r.aceptado = runValuePicker(f, [&](frmSelectNum& d) {
        r.desde = d.FText->text();
        r.hasta = d.TText->text();
    });
    return r;
}

Resultado texto(const Cubo::ValoresSelector& s, const QString& consulta, InsCube* cube) {
    frmSelectText* f = frmSelectText::instance();
    f->FTSql = consulta;
    if (!consulta.isEmpty() && cube) f->LlenarListasValores(*cube, consulta);
    if (!s.limiteDesde.isEmpty()) f->MinRange = s.limiteDesde;
    if (!s.limiteHasta.isEmpty()) f->MaxRange = s.limiteHasta;
    if (!s.desde.isEmpty())
        f->FText->setEditText(s.desde);
    else if (!s.limiteDesde.isEmpty())
        f->FText->setEditText(s.limiteDesde);
    if (!s.hasta.isEmpty())
        f->TText->setEditText(s.hasta);
    else if (!s.limiteHasta.isEmpty())
        f->TText->setEditText(s.limiteHasta);
    f->NoRange = !s.entre;
    f->GetRange();
    Resultado r;
    r.aceptado = runValuePicker(f, [&](frmSelectText& d) {
        r.desde = d.FText->currentText();
        r.hasta = d.TText->currentText();
    });
    return r;
}

// The From (or To) side of the date picker: the value with its time of day, else the limit, else now.
void ladoFecha(const QString& valor, const QDateTime& limite, QDateTimeEdit* fecha, QTimeEdit* hora,
               QDateTime& defecto) {
    const QDateTime v = frmSelectDate::LeerFecha(valor);
    if (v.isValid()) {
        General::FijarHora(v, hora);
        defecto = v;
        return;
    }
    defecto = limite.isValid() ? limite : bd::os::Now();
    fecha->setDateTime(defecto);
}

Resultado fecha(const Cubo::ValoresSelector& s) {
    frmSelectDate* f = frmSelectDate::instance();
    const QDateTime limiteDesde = frmSelectDate::LeerFecha(s.limiteDesde);
    const QDateTime limiteHasta = frmSelectDate::LeerFecha(s.limiteHasta);
    if (limiteDesde.isValid()) f->MinDate = limiteDesde;
    if (limiteHasta.isValid()) f->MaxDate = limiteHasta;
    ladoFecha(s.desde, limiteDesde, f->FDate, f->FHour, f->DefMinDate);
    ladoFecha(s.hasta, limiteHasta, f->TDate, f->THour, f->DefMaxDate);
    const QDateTime desde = frmSelectDate::LeerFecha(s.desde), hasta = frmSelectDate::LeerFecha(s.hasta);
    if (!limiteDesde.isValid() && !limiteHasta.isValid() && desde.isValid() && hasta.isValid()) {
        f->MinDate = std::min(desde, hasta);
        f->MaxDate = std::max(desde, hasta);
    }
    f->NoRange = !s.entre;
    f->GetRange();
    Resultado r;
    r.aceptado = runValuePicker(f, [&](frmSelectDate& d) {
        r.desde = frmSelectDate::TextoISO(d.FDate->dateTime());
        r.hasta = frmSelectDate::TextoISO(d.TDate->dateTime());
    });
    return r;
}
} // namespace

void Cubo::SelectorValores(int row) {
    Grid& g = *spUsrFil;
    const ValoresSelector s = LeerValoresSelector(row);
    QPointer<Cubo> self(this);
    Resultado r;
    if (s.tipo == "ISNUMERIC") {
        QString campo = g.cellTag(ColUsrCampo, row);
        if (campo.isEmpty()) campo = g.text(ColUsrCampo, row);
        r = numero(s, campo, Vcampos);
    } else if (s.tipo == "ISTEXT" || s.tipo == "ISMEMO") {
        r = texto(s, g.cellTag(ColUsrParentesis, row), VinsCube);
    } else if (s.tipo == "ISDATE") {
        r = fecha(s);
    } else {
        return;
    }
    if (!self || !r.aceptado || !spUsrFil || row > spUsrFil->maxRows()) return;
    spUsrFil->setTypeButtonText(ColUsrDesde, row, r.desde);
    if (s.entre) spUsrFil->setTypeButtonText(ColUsrHasta, row, r.hasta);
    if (Vcampos) {
        bool desdeFiltros = true;
        Vcampos->Refrescar(&desdeFiltros);
    }
}
