// The user's edits of the user-filter grid: Or rows, removal, clearing values, connectors and
// operators. Every edit re-runs the cube's query with the filters.
#include "designer/Campos.h"
#include "platform/os/Prompter.h"
#include "viewer/Cubo.h"
#include "viewer/frmSelectDate.h"
#include "viewer/frmSelectNum.h"

using bd::grid::Grid;
using bd::grid::TypeButton;
using bd::grid::TypePlain;

namespace {
constexpr int VkDelete = 46;
constexpr uint32_t BlancoOle = 0xFFFFFF;

bool EsEntre(const QString& op) {
    return op.trimmed().toUpper() == "BETWEEN";
}
QString SinPuntos(const QString& v) {
    return v == "..." ? QString() : v;
}

// A row past the end counts as a base row: it ends any group.
bool FilaBase(const Grid& g, int r) {
    return r > g.maxRows() || g.cellType(Cubo::ColUsrAgregarOr, r) != TypePlain;
}

void RefrescarDesdeFiltros(Campos* c) {
    if (!c) return;
    bool desdeFiltros = true;
    c->Refrescar(&desdeFiltros);
}
} // namespace

void Cubo::spUsrFil_ButtonClicked(int col, int row, int) {
    Grid& g = *spUsrFil;
    if (row < 1 || row > g.maxRows()) return;
    if (col == ColUsrDesde || col == ColUsrHasta) {
        SelectorValores(row);
        return;
    }
    if (col == ColUsrAgregarOr) {
        if (g.cellType(ColUsrAgregarOr, row) != TypeButton) return; // Or rows have no "+"
        g.setText(ColUsrConector, row, "Or");
        if (g.text(ColUsrCampo, row).isEmpty()) return;
        const int nueva = row + 1;
        g.setMaxRows(g.maxRows() + 1);
        g.insertRows(nueva, 1);
        for (int c = ColUsrCampo; c <= ColUsrHasta; ++c) {
            g.setText(c, nueva, g.text(c, row));
            g.setCellTag(c, nueva, g.cellTag(c, row));
            g.setTypeButtonText(c, nueva, g.typeButtonText(c, row));
        }
        // The mark column and its values query stay with the base row.
        g.setCellTag(ColUsrParentesis, nueva, QString());
        g.setText(ColUsrParentesis, nueva, QString());
        g.setText(ColUsrConector, nueva, "And");
        if (!EsEntre(g.text(ColUsrOperador, nueva))) {
            g.setCellType(ColUsrHasta, nueva, TypePlain);
            g.setText(ColUsrHasta, nueva, QString());
            g.setLock(ColUsrHasta, nueva, true);
        }
        g.setCellType(ColUsrAgregarOr, nueva, TypePlain);
        g.setText(ColUsrAgregarOr, nueva, QString());
        g.setLock(ColUsrAgregarOr, nueva, true);
        // The new row joins the Or rows that follow it.
        for (int k = nueva; k <= g.maxRows(); ++k) {
            if (FilaBase(g, k + 1)) break;
            g.setText(ColUsrConector, k, "Or");
        }
        AplicarParentesis();
        RefrescarDesdeFiltros(Vcampos);
        return;
    }
    if (col == ColUsrQuitar) {
        if (!FilaBase(g, row)) {
            if (bd::os::MsgBox("Are you sure to remove this row ?", bd::os::Buttons::YesNo,
                               bd::os::Icon::None, "Remove") != bd::os::Answer::Yes)
                return;
            g.deleteRows(row, 1);
            g.setMaxRows(g.maxRows() - 1);
            if (row <= g.maxRows() && FilaBase(g, row)) g.setText(ColUsrConector, row - 1, "And");
        } else {
            if (FilaBase(g, row + 1)) g.setText(ColUsrConector, row, "And");
            g.setTypeButtonText(ColUsrDesde, row, "...");
            g.setTypeButtonText(ColUsrHasta, row, "...");
        }
        AplicarParentesis();
        RefrescarDesdeFiltros(Vcampos);
    }
}

void Cubo::spUsrFil_Change(int col, int row) {
    Grid& g = *spUsrFil;
    if (col != ColUsrConector || row < 1 || row > g.maxRows()) return;
    const QString t = g.text(ColUsrConector, row);
    if (t != "Or" && t != "And") g.setText(ColUsrConector, row, "And");
}

void Cubo::spUsrFil_ComboSelChange(int col, int row) {
    Grid& g = *spUsrFil;
    if (row < 1 || row > g.maxRows()) return;
    if (col == ColUsrOperador) {
        if (!EsEntre(g.text(ColUsrOperador, row))) {
            g.setTypeButtonText(ColUsrHasta, row, "...");
            g.setCellType(ColUsrHasta, row, TypePlain);
            g.setText(ColUsrHasta, row, QString());
            g.setLock(ColUsrHasta, row, true);
        } else {
            g.setTypeButtonText(ColUsrDesde, row, "...");
            g.setTypeButtonText(ColUsrHasta, row, "...");
            g.setCellType(ColUsrHasta, row, TypeButton);
            g.setTypeButtonColor(ColUsrHasta, row, BlancoOle);
            g.setText(ColUsrHasta, row, QString());
            g.setLock(ColUsrHasta, row, false);
        }
    } else if (col == ColUsrConector) {
        // The blank entry of the list stands for "And".
        spUsrFil_Change(col, row);
    } else if (col != ColUsrParentesis) {
        return;
    }
    RefrescarDesdeFiltros(Vcampos);
}

void Cubo::spUsrFil_KeyDown(int keyCode, int) {
    Grid& g = *spUsrFil;
    const int col = g.activeCol(), row = g.activeRow();
    if (keyCode != VkDelete || col < ColUsrCampo || col > ColUsrHasta || row < 1 || row > g.maxRows()) return;
    g.setText(ColUsrDesde, row, QString());
    g.setTypeButtonText(ColUsrDesde, row, "...");
    if (g.cellType(ColUsrHasta, row) == TypeButton) {
        g.setText(ColUsrHasta, row, QString());
        g.setTypeButtonText(ColUsrHasta, row, "...");
    }
    RefrescarDesdeFiltros(Vcampos);
}

Cubo::ValoresSelector Cubo::LeerValoresSelector(int row) const {
    const Grid& g = *spUsrFil;
    ValoresSelector s;
    s.tipo = g.cellTag(ColUsrOperador, row);
    s.desde = SinPuntos(g.typeButtonText(ColUsrDesde, row));
    s.entre = g.cellType(ColUsrHasta, row) == TypeButton;
    if (s.entre) s.hasta = SinPuntos(g.typeButtonText(ColUsrHasta, row));
    auto limite = [&](int col) {
        const QString v = SinPuntos(g.cellTag(col, row)).trimmed();
        if (v.isEmpty()) return QString();
        double n = 0;
        if (s.tipo == "ISNUMERIC") return frmSelectNum::LeerNumero(v, &n) ? v : QString();
        if (s.tipo == "ISDATE") return frmSelectDate::LeerFecha(v).isValid() ? v : QString();
        return v;
    };
    s.limiteDesde = limite(ColUsrDesde);
    s.limiteHasta = limite(ColUsrHasta);
    return s;
}
