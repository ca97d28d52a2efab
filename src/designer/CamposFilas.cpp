// The row movers: the active row of the focused definition grid changes places with its neighbour.
#include "designer/Campos.h"
#include "viewer/Cubo.h"

using bd::grid::Grid;

namespace {
struct RowBlock {
    int from = 0, to = 0;
    int rowCount() const { return to - from + 1; }
};

bool esSubFila(const Grid& g, int row) {
    return g.cellType(DefinitionGrids::ColAgregado, row) == bd::grid::TypePlain &&
           !g.text(DefinitionGrids::ColMedida, row).isEmpty();
}

// The rows that move together with row: in spCal a measure and its alert sub-rows (a sub-row
// moved alone would become a rule of another measure); elsewhere the row itself.
RowBlock blockOf(const Grid& g, int row, bool groups) {
    RowBlock b{row, row};
    if (!groups) return b;
    const QString name = g.text(DefinitionGrids::ColMedida, row);
    while (b.from > 1 && esSubFila(g, b.from) && g.text(DefinitionGrids::ColMedida, b.from - 1) == name)
        --b.from;
    while (b.to < g.maxRows() && esSubFila(g, b.to + 1) &&
           g.text(DefinitionGrids::ColMedida, b.to + 1) == name)
        ++b.to;
    return b;
}

// Puts the lower block above the upper one; the rows keep everything the grid's row copy carries.
void swapBlocks(Grid& g, RowBlock upper, RowBlock lower) {
    const int rowCount = g.maxRows(), n = lower.rowCount();
    g.insertRows(upper.from, n);
    for (int i = 0; i < n; ++i)
        g.copyRow(lower.from + n + i, upper.from + i);
    g.deleteRows(lower.from + n, n);
    // The rows holding data are where they were before: the count goes back too.
    g.setMaxRows(rowCount);
}
} // namespace

void Campos::MoverFilaArriba() {
    moveRow(-1);
}

void Campos::MoverFilaAbajo() {
    moveRow(1);
}

void Campos::moveRow(int paso) {
    Grid* g = VaOnfocus;
    if (!g) return;
    const int row = g->activeRow(), col = std::max(1, g->activeCol());
    if (row < 1 || row > g->maxRows()) return;
    const bool groups = g == spCal;
    const RowBlock propio = blockOf(*g, row, groups);
    int fresh = row;
    const bool oculta = g->isHidden();
    g->setRedraw(false);
    g->hide();
    if (paso < 0 && propio.from > 1) {
        const RowBlock otro = blockOf(*g, propio.from - 1, groups);
        swapBlocks(*g, otro, propio);
        fresh = row - otro.rowCount();
    } else if (paso > 0 && propio.to < g->maxRows()) {
        const RowBlock otro = blockOf(*g, propio.to + 1, groups);
        swapBlocks(*g, propio, otro);
        fresh = row + otro.rowCount();
    }
    g->setActiveCell(col, fresh);
    g->setSelection(col, fresh, col, fresh);
    g->setVisible(!oculta);
    g->setRedraw(true);
    g->setFocus();
    if (fresh == row) return;
    if (g->objectName().toUpper() == "SPFIL")
        FiltrosCambiados = true;
    else
        Recarga = true;
    if (VCubo) VCubo->Salvar = true;
}
