// The viewer's user filters into the cube's SQL: reads spUsrFil and the designer's syntax settings.
#include "designer/Campos.h"
#include "platform/db/Connection.h"
#include "platform/os/Prompter.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"
#include "viewer/UserFilterSql.h"

#include <cstdio>

namespace {
UserFilterSql::Syntax syntaxOf(Campos* c, InsCube* cube) {
    UserFilterSql::Syntax s;
    // Literals are written for the engine that runs the query, whatever the engine box says.
    if (cube && cube->CnnSql && cube->CnnSql->isOpen()) s.dialect = cube->CnnSql->dialect();
    s.locale = QLocale();
    if (!c) return s;
    s.likeSeparator = c->txtLike->text();
    s.dateIndicator = c->txtDateIndicator->text();
    s.dbDateFormat = c->txtDBDateFormat->text();
    s.dbHourFormat = c->txtDBHourFormat->text();
    s.toDateTemplate = c->cmdDBToDate->text();
    s.fillDelimiter = [c](UserFilterSql::Syntax& x) {
        c->VerificarMotorDB();
        x.dateIndicator = c->txtDateIndicator->text();
        x.toDateTemplate = c->cmdDBToDate->text();
    };
    return s;
}

// The filled-in settings stay in the designer and travel with the cube.
void writeBack(Campos* c, const UserFilterSql::Syntax& s) {
    if (!c) return;
    if (c->txtDBDateFormat->text() != s.dbDateFormat) c->txtDBDateFormat->setText(s.dbDateFormat);
    if (c->txtDBHourFormat->text() != s.dbHourFormat) c->txtDBHourFormat->setText(s.dbHourFormat);
}
} // namespace

QString Cubo::AplicarFiltro(const QString& vSql) {
    QVector<UserFilterSql::Row> rows;
    bd::grid::Grid& g = *spUsrFil;
    for (int r = 1; r <= g.maxRows(); ++r) {
        UserFilterSql::Row row;
        const QString tag = g.cellTag(ColUsrCampo, r);
        row.field = tag.isEmpty() ? g.text(ColUsrCampo, r) : tag;
        row.op = g.text(ColUsrOperador, r);
        row.typeClass = g.cellTag(ColUsrOperador, r);
        row.from = g.typeButtonText(ColUsrDesde, r);
        row.to = g.typeButtonText(ColUsrHasta, r);
        row.mark = g.text(ColUsrParentesis, r);
        row.connector = g.text(ColUsrConector, r);
        rows.push_back(row);
    }
    UserFilterSql::Syntax s = syntaxOf(Vcampos, VinsCube);
    const UserFilterSql::Result res = UserFilterSql::AplicarFiltro(vSql, rows, s);
    writeBack(Vcampos, s);
    if (!res.refused.isEmpty()) {
        // One message for all of them; nobody answers a box in an unattended run.
        const QString text = res.refused.join("\r\n");
        if (bd::os::unattended())
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        else
            bd::os::MsgBox(text, bd::os::Buttons::Ok, bd::os::Icon::Exclamation, "Filter");
    }
    return res.sql;
}

void Cubo::AplicarParentesis() {
    bd::grid::Grid& g = *spUsrFil;
    const int n = g.maxRows();
    for (int r = 1; r <= n; ++r) {
        g.setCellType(ColUsrParentesis, r, bd::grid::TypePlain);
        g.setLock(ColUsrConector, r, false);
    }
    QVector<UserFilterSql::MarkRow> rows;
    for (int r = 1; r <= n; ++r)
        rows.push_back({g.text(ColUsrParentesis, r), g.text(ColUsrConector, r),
                        g.cellType(ColUsrAgregarOr, r) == bd::grid::TypePlain, false});
    UserFilterSql::AplicarParentesis(rows);
    for (int r = 1; r <= n; ++r) {
        g.setText(ColUsrParentesis, r, rows[r - 1].mark);
        g.setText(ColUsrConector, r, rows[r - 1].connector);
        g.setLock(ColUsrConector, r, rows[r - 1].connectorLocked);
    }
}

void Cubo::ClearFilters() {
    bd::grid::Grid& g = *spUsrFil;
    for (int r = 1; r <= g.maxRows(); ++r) {
        g.setTypeButtonText(ColUsrDesde, r, "...");
        g.setTypeButtonText(ColUsrHasta, r, "...");
    }
}

QString Cubo::GetNombreCampo(const QString& sql, const QString& field) {
    return UserFilterSql::GetNombreCampo(sql, field, syntaxOf(nullptr, VinsCube).dialect);
}

QString Cubo::FormarFechaSQL(const QString& value) {
    UserFilterSql::Syntax s = syntaxOf(Vcampos, VinsCube);
    const QString out = UserFilterSql::FormarFechaSQL(value, s);
    writeBack(Vcampos, s);
    return out;
}
