// The field lookups the filter grids share: the display format and the decimals of a field.
#include "designer/Campos.h"
#include "shell/General.h"

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
