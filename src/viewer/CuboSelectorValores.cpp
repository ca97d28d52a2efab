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
struct Picked {
    bool accepted = false;
    QString from, to;
};

Picked pickNumber(const Cubo::SelectorValues& s, const QString& field, Campos* fields) {
    frmSelectNum* f = frmSelectNum::instance();
    const int decimales = fields ? fields->getDecimals(field) : -1;
    f->CantDecimals = decimales == -1 ? 2 : decimales;
    f->Formato = fields ? fields->getFormat(field) : QString();
    f->InitializeNumericFields();
    double v = 0;
    if (frmSelectNum::ReadNumber(s.fromLimit, &v)) {
        f->TimeRange->setMin(frmSelectNum::WholeNumber(v));
        if (s.from.isEmpty()) {
            f->TimeRange->setLowerValue(frmSelectNum::WholeNumber(v));
            f->FText->setText(s.fromLimit);
        }
    }
    if (frmSelectNum::ReadNumber(s.toLimit, &v)) {
        f->TimeRange->setMax(frmSelectNum::WholeNumber(v));
        if (s.to.isEmpty()) {
            f->TimeRange->setUpperValue(frmSelectNum::WholeNumber(v));
            f->TText->setText(s.toLimit);
        }
    }
    if (!s.from.isEmpty()) f->FText->setText(s.from);
    if (!s.to.isEmpty()) f->TText->setText(s.to);
    f->NoRange = !s.between;
    f->GetRange();
    Picked r;
    r.accepted = runValuePicker(f, [&](frmSelectNum& d) {
        r.from = d.FText->text();
        r.to = d.TText->text();
    });
    return r;
}

Picked pickText(const Cubo::SelectorValues& s, const QString& query, InsCube* cube) {
    frmSelectText* f = frmSelectText::instance();
    f->FTSql = query;
    if (!query.isEmpty() && cube) f->FillValueLists(*cube, query);
    if (!s.fromLimit.isEmpty()) f->MinRange = s.fromLimit;
    if (!s.toLimit.isEmpty()) f->MaxRange = s.toLimit;
    if (!s.from.isEmpty())
        f->FText->setEditText(s.from);
    else if (!s.fromLimit.isEmpty())
        f->FText->setEditText(s.fromLimit);
    if (!s.to.isEmpty())
        f->TText->setEditText(s.to);
    else if (!s.toLimit.isEmpty())
        f->TText->setEditText(s.toLimit);
    f->NoRange = !s.between;
    f->GetRange();
    Picked r;
    r.accepted = runValuePicker(f, [&](frmSelectText& d) {
        r.from = d.FText->currentText();
        r.to = d.TText->currentText();
    });
    return r;
}

// The From (or To) side of the date picker: the value with its time of day, else the limit, else now.
void setDateSide(const QString& value, const QDateTime& limit, QDateTimeEdit* pickDate, QTimeEdit* time,
                 QDateTime& defecto) {
    const QDateTime v = frmSelectDate::ReadDate(value);
    if (v.isValid()) {
        General::FijarHora(v, time);
        defecto = v;
        return;
    }
    defecto = limit.isValid() ? limit : bd::os::Now();
    pickDate->setDateTime(defecto);
}

Picked pickDate(const Cubo::SelectorValues& s) {
    frmSelectDate* f = frmSelectDate::instance();
    const QDateTime fromLimit = frmSelectDate::ReadDate(s.fromLimit);
    const QDateTime toLimit = frmSelectDate::ReadDate(s.toLimit);
    if (fromLimit.isValid()) f->MinDate = fromLimit;
    if (toLimit.isValid()) f->MaxDate = toLimit;
    setDateSide(s.from, fromLimit, f->FDate, f->FHour, f->DefMinDate);
    setDateSide(s.to, toLimit, f->TDate, f->THour, f->DefMaxDate);
    const QDateTime from = frmSelectDate::ReadDate(s.from), to = frmSelectDate::ReadDate(s.to);
    if (!fromLimit.isValid() && !toLimit.isValid() && from.isValid() && to.isValid()) {
        f->MinDate = std::min(from, to);
        f->MaxDate = std::max(from, to);
    }
    f->NoRange = !s.between;
    f->GetRange();
    Picked r;
    r.accepted = runValuePicker(f, [&](frmSelectDate& d) {
        r.from = frmSelectDate::IsoText(d.FDate->dateTime());
        r.to = frmSelectDate::IsoText(d.TDate->dateTime());
    });
    return r;
}
} // namespace

void Cubo::ShowValueSelector(int row) {
    Grid& g = *spUsrFil;
    const SelectorValues s = ReadSelectorValues(row);
    QPointer<Cubo> self(this);
    Picked r;
    if (s.typeClass == "ISNUMERIC") {
        QString field = g.cellTag(ColUsrCampo, row);
        if (field.isEmpty()) field = g.text(ColUsrCampo, row);
        r = pickNumber(s, field, Vcampos);
    } else if (s.typeClass == "ISTEXT" || s.typeClass == "ISMEMO") {
        r = pickText(s, g.cellTag(ColUsrParentesis, row), VinsCube);
    } else if (s.typeClass == "ISDATE") {
        r = pickDate(s);
    } else {
        return;
    }
    if (!self || !r.accepted || !spUsrFil || row > spUsrFil->maxRows()) return;
    spUsrFil->setTypeButtonText(ColUsrDesde, row, r.from);
    if (s.between) spUsrFil->setTypeButtonText(ColUsrHasta, row, r.to);
    if (Vcampos) {
        bool fromFilters = true;
        Vcampos->Refrescar(&fromFilters);
    }
}
