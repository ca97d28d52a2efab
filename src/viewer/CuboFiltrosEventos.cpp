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
constexpr uint32_t kOleWhite = 0xFFFFFF;

bool IsBetween(const QString& op) {
    return op.trimmed().toUpper() == "BETWEEN";
}
QString WithoutDots(const QString& v) {
    return v == "..." ? QString() : v;
}

// A row past the end counts as a base row: it ends any group.
bool IsMainRow(const Grid& g, int r) {
    return r > g.maxRows() || g.cellType(Cubo::ColUsrAgregarOr, r) != TypePlain;
}

void RefreshFromFilters(Campos* c) {
    if (!c) return;
    bool fromFilters = true;
    c->Refrescar(&fromFilters);
}
} // namespace

void Cubo::spUsrFil_ButtonClicked(int col, int row, int) {
    Grid& g = *spUsrFil;
    if (row < 1 || row > g.maxRows()) return;
    if (col == ColUsrDesde || col == ColUsrHasta) {
        ShowValueSelector(row);
        return;
    }
    if (col == ColUsrAgregarOr) {
        if (g.cellType(ColUsrAgregarOr, row) != TypeButton) return; // Or rows have no "+"
        g.setText(ColUsrConector, row, "Or");
        if (g.text(ColUsrCampo, row).isEmpty()) return;
        const int fresh = row + 1;
        g.setMaxRows(g.maxRows() + 1);
        g.insertRows(fresh, 1);
        for (int c = ColUsrCampo; c <= ColUsrHasta; ++c) {
            g.setText(c, fresh, g.text(c, row));
            g.setCellTag(c, fresh, g.cellTag(c, row));
            g.setTypeButtonText(c, fresh, g.typeButtonText(c, row));
        }
        // The mark column and its values query stay with the base row.
        g.setCellTag(ColUsrParentesis, fresh, QString());
        g.setText(ColUsrParentesis, fresh, QString());
        g.setText(ColUsrConector, fresh, "And");
        if (!IsBetween(g.text(ColUsrOperador, fresh))) {
            g.setCellType(ColUsrHasta, fresh, TypePlain);
            g.setText(ColUsrHasta, fresh, QString());
            g.setLock(ColUsrHasta, fresh, true);
        }
        g.setCellType(ColUsrAgregarOr, fresh, TypePlain);
        g.setText(ColUsrAgregarOr, fresh, QString());
        g.setLock(ColUsrAgregarOr, fresh, true);
        // The new row joins the Or rows that follow it.
        for (int k = fresh; k <= g.maxRows(); ++k) {
            if (IsMainRow(g, k + 1)) break;
            g.setText(ColUsrConector, k, "Or");
        }
        AplicarParentesis();
        RefreshFromFilters(Vcampos);
        return;
    }
    if (col == ColUsrQuitar) {
        if (!IsMainRow(g, row)) {
            if (bd::os::MsgBox("Are you sure to remove this row ?", bd::os::Buttons::YesNo,
                               bd::os::Icon::None, "Remove") != bd::os::Answer::Yes)
                return;
            g.deleteRows(row, 1);
            g.setMaxRows(g.maxRows() - 1);
            if (row <= g.maxRows() && IsMainRow(g, row)) g.setText(ColUsrConector, row - 1, "And");
        } else {
            if (IsMainRow(g, row + 1)) g.setText(ColUsrConector, row, "And");
            g.setTypeButtonText(ColUsrDesde, row, "...");
            g.setTypeButtonText(ColUsrHasta, row, "...");
        }
        AplicarParentesis();
        RefreshFromFilters(Vcampos);
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
        if (!IsBetween(g.text(ColUsrOperador, row))) {
            g.setTypeButtonText(ColUsrHasta, row, "...");
            g.setCellType(ColUsrHasta, row, TypePlain);
            g.setText(ColUsrHasta, row, QString());
            g.setLock(ColUsrHasta, row, true);
        } else {
            g.setTypeButtonText(ColUsrDesde, row, "...");
            g.setTypeButtonText(ColUsrHasta, row, "...");
            g.setCellType(ColUsrHasta, row, TypeButton);
            g.setTypeButtonColor(ColUsrHasta, row, kOleWhite);
            g.setText(ColUsrHasta, row, QString());
            g.setLock(ColUsrHasta, row, false);
        }
    } else if (col == ColUsrConector) {
        // The blank entry of the list stands for "And".
        spUsrFil_Change(col, row);
    } else if (col != ColUsrParentesis) {
        return;
    }
    RefreshFromFilters(Vcampos);
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
    RefreshFromFilters(Vcampos);
}

Cubo::SelectorValues Cubo::ReadSelectorValues(int row) const {
    const Grid& g = *spUsrFil;
    SelectorValues s;
    s.typeClass = g.cellTag(ColUsrOperador, row);
    s.from = WithoutDots(g.typeButtonText(ColUsrDesde, row));
    s.between = g.cellType(ColUsrHasta, row) == TypeButton;
    if (s.between) s.to = WithoutDots(g.typeButtonText(ColUsrHasta, row));
    auto limit = [&](int col) {
        const QString v = WithoutDots(g.cellTag(col, row)).trimmed();
        if (v.isEmpty()) return QString();
        double n = 0;
        if (s.typeClass == "ISNUMERIC") return frmSelectNum::ReadNumber(v, &n) ? v : QString();
        if (s.typeClass == "ISDATE") return frmSelectDate::ReadDate(v).isValid() ? v : QString();
        return v;
    };
    s.fromLimit = limit(ColUsrDesde);
    s.toLimit = limit(ColUsrHasta);
    return s;
}
