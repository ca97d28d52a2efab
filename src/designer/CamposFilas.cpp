// The row movers: the active row of the focused definition grid changes places with its neighbour.
#include "designer/Campos.h"
#include "viewer/Cubo.h"

using bd::grid::Grid;

namespace {
struct Bloque {
    int desde = 0, hasta = 0;
    int filas() const { return hasta - desde + 1; }
};

bool esSubFila(const Grid& g, int row) {
    return g.cellType(DefinitionGrids::ColAgregado, row) == bd::grid::TypePlain &&
           !g.text(DefinitionGrids::ColMedida, row).isEmpty();
}

// The rows that move together with row: in spCal a measure and its alert sub-rows (a sub-row
// moved alone would become a rule of another measure); elsewhere the row itself.
Bloque bloqueDe(const Grid& g, int row, bool grupos) {
    Bloque b{row, row};
    if (!grupos) return b;
    const QString nombre = g.text(DefinitionGrids::ColMedida, row);
    while (b.desde > 1 && esSubFila(g, b.desde) && g.text(DefinitionGrids::ColMedida, b.desde - 1) == nombre)
        --b.desde;
    while (b.hasta < g.maxRows() && esSubFila(g, b.hasta + 1) &&
           g.text(DefinitionGrids::ColMedida, b.hasta + 1) == nombre)
        ++b.hasta;
    return b;
}

// Puts the lower block above the upper one; the rows keep everything the grid's row copy carries.
void intercambiar(Grid& g, Bloque upper, Bloque lower) {
    const int filas = g.maxRows(), n = lower.filas();
    g.insertRows(upper.desde, n);
    for (int i = 0; i < n; ++i)
        g.copyRow(lower.desde + n + i, upper.desde + i);
    g.deleteRows(lower.desde + n, n);
    // The rows holding data are where they were before: the count goes back too.
    g.setMaxRows(filas);
}
} // namespace

void Campos::MoverFilaArriba() {
    moverFila(-1);
}

void Campos::MoverFilaAbajo() {
    moverFila(1);
}

void Campos::moverFila(int paso) {
    Grid* g = VaOnfocus;
    if (!g) return;
    const int row = g->activeRow(), col = std::max(1, g->activeCol());
    if (row < 1 || row > g->maxRows()) return;
    const bool grupos = g == spCal;
    const Bloque propio = bloqueDe(*g, row, grupos);
    int nueva = row;
    const bool oculta = g->isHidden();
    g->setRedraw(false);
    g->hide();
    if (paso < 0 && propio.desde > 1) {
        const Bloque otro = bloqueDe(*g, propio.desde - 1, grupos);
        intercambiar(*g, otro, propio);
        nueva = row - otro.filas();
    } else if (paso > 0 && propio.hasta < g->maxRows()) {
        const Bloque otro = bloqueDe(*g, propio.hasta + 1, grupos);
        intercambiar(*g, propio, otro);
        nueva = row + otro.filas();
    }
    g->setActiveCell(col, nueva);
    g->setSelection(col, nueva, col, nueva);
    g->setVisible(!oculta);
    g->setRedraw(true);
    g->setFocus();
    if (nueva == row) return;
    if (g->objectName().toUpper() == "SPFIL")
        FiltrosCambiados = true;
    else
        Recarga = true;
    if (VCubo) VCubo->Salvar = true;
}
