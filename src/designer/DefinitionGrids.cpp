#include "designer/DefinitionGrids.h"

#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

using bd::grid::Grid;
using namespace bd::grid;

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr double kAnchoColumna = 17;

QPixmap flecha() {
    QPixmap pm(14, 10);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0, 90, 180));
    p.setPen(Qt::NoPen);
    QPainterPath path;
    path.moveTo(0, 3);
    path.lineTo(8, 3);
    path.lineTo(8, 0);
    path.lineTo(14, 5);
    path.lineTo(8, 10);
    path.lineTo(8, 7);
    path.lineTo(0, 7);
    path.closeSubpath();
    p.drawPath(path);
    return pm;
}

void encabezados(Grid& g, const QStringList& h) {
    for (int c = 0; c < h.size(); ++c)
        g.setText(c + 1, 0, h[c]);
}

} // namespace

const QStringList& DefinitionGrids::Aggregates() {
    static const QStringList l{"Sum", "Max", "Min", "Avg", "Count", "StDev", "StDevP", "Var", "VarP"};
    return l;
}

const QStringList& DefinitionGrids::Operators() {
    static const QStringList l{"=", "Between", "Like", ">", "<"};
    return l;
}

const QStringList& DefinitionGrids::Engines() {
    static const QStringList l{"ACCESS", "EXCEL", "MSSQL", "MYSQL", "ORACLE", "OTHER"};
    return l;
}

bool DefinitionGrids::IsAdoNumber(int t) {
    switch (t) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 14:
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
    case 131:
    case 139:
        return true;
    default:
        return false;
    }
}

QString DefinitionGrids::TypeClassOf(int t) {
    if (t == 205) return {};
    if (IsAdoNumber(t)) return ISNUMERIC;
    if (t == 201 || t == 203) return ISMEMO;
    if (t == 7 || t == 135) return ISDATE;
    return ISTEXT;
}

std::optional<int> DefinitionGrids::AggregateCodeOf(const QString& text) {
    static const std::pair<const char*, int> codigos[] = {{"DCSum", 0},    {"DCCount", 1}, {"DCAvg", 2},
                                                          {"DCMax", 3},    {"DCMin", 4},   {"DCStDev", 5},
                                                          {"DCStDevP", 6}, {"DCVar", 7},   {"DCVarP", 8}};
    const QString name = "DC" + text;
    for (const auto& [n, c] : codigos)
        if (name == QLatin1String(n)) return c;
    return std::nullopt;
}

DefinitionGrids::DefinitionGrids(QWidget* parent) {
    if (Grid::picture(picFlecha).isNull()) Grid::setPicture(picFlecha, flecha());
    spCam = new Grid(parent);
    spCam->setObjectName("spCam");
    spCal = new Grid(parent);
    spCal->setObjectName("spCal");
    spFil = new Grid(parent);
    spFil->setObjectName("spFil");
    prepareSpCam();
    prepareSpCal();
    prepareSpFil();
}

void DefinitionGrids::prepareSpCam() {
    Grid& g = *spCam;
    g.setMaxCols(SpCamColumns);
    g.setMaxRows(DefinitionRows);
    encabezados(g, {"FIELD", "VISIBLE", "-->"});
    g.setColWidth(-1, kAnchoColumna);
    g.setLock(ColCampo, -1, true);
    g.setCellType(ColDimension, -1, TypeCheckBox);
    g.setLock(ColTipoCampo, -1, true);
}

void DefinitionGrids::prepareSpCal() {
    Grid& g = *spCal;
    g.setMaxCols(SpCalColumns);
    g.setMaxRows(DefinitionRows);
    encabezados(g, {"MEASURE", "VISIBLE", "FUNCTION",  "ALERT FROM",  "ALERT TO",   "TOTALS",      "COLOR",
                    "RESULT",  "MAILS",   "+",         "-",           "CHART",      "TITLE",       "SUBTITLE",
                    "X AXIS",  "Y AXIS",  "MAX CHARS", "HIDE LABELS", "MAX VALUES", "DRAW TOTALS", ""});
    g.setColWidth(-1, kAnchoColumna);
    g.setLock(ColMedida, -1, true);
    g.setCellType(ColVisible, -1, TypeCheckBox);
    g.setCellType(ColAgregado, -1, TypeComboBox);
    g.setTypeComboBoxList(ColAgregado, -1, Aggregates());
    for (int c : {ColLimiteInferior, ColLimiteSuperior}) {
        g.setCellType(c, -1, TypeFloat);
        g.setTypeFloatDecimalPlaces(c, -1, 2);
        g.setTypeFloatDecimalChar(c, -1, QLocale().decimalPoint().at(0));
    }
    g.setCellType(ColIncluirTotales, -1, TypeCheckBox);
    const std::pair<int, const char*> botones[] = {
        {ColColorAlerta, "Color"}, {ColDestinatarios, "Mails"}, {ColAgregarRango, "+"}, {ColQuitarFila, "-"}};
    for (const auto& [c, text] : botones) {
        g.setCellType(c, -1, TypeButton);
        g.setTypeButtonText(c, -1, text);
    }
    // Kept for the program, not for typing: the alert result, the chart settings (written by their
    // dialog) and the spare last column.
    for (int c = ColResultadoAlerta; c <= SpCalColumns; ++c)
        if (c == ColResultadoAlerta || c >= ColTipoGrafico) {
            g.setLock(c, -1, true);
            g.setColHidden(c, true);
        }
}

void DefinitionGrids::prepareSpFil() {
    Grid& g = *spFil;
    g.setMaxCols(SpFilColumns);
    g.setMaxRows(DefinitionRows);
    encabezados(g, {"FIELD", "VISIBLE", "FUNCTION", "MIN RANGE", "FILTER FROM", "FILTER TO", "MAX RANGE", "-",
                    "TABLE", "FIELD", "WHERE", "SQL"});
    g.setColWidth(-1, kAnchoColumna);
    g.setLock(ColFiltroCampo, -1, true);
    g.setCellType(ColFiltroUsuario, -1, TypeCheckBox);
    g.setCellType(ColOperador, -1, TypeComboBox);
    g.setTypeComboBoxList(ColOperador, -1, Operators());
    for (int c = ColLimiteDesde; c <= ColLimiteHasta; ++c) {
        g.setCellType(c, -1, TypeButton);
        g.setTypeButtonText(c, -1, "...");
        g.setTypeButtonColor(c, -1, kWhite);
    }
    g.setCellType(ColQuitarFiltro, -1, TypeButton);
    g.setTypeButtonText(ColQuitarFiltro, -1, "-");
    for (int c = ColTablaValores; c <= ColSQLValores; ++c) {
        g.setLock(c, -1, true);
        g.setColHidden(c, true);
    }
}

bool DefinitionGrids::HayCampos(const Grid& Grilla) {
    for (int r = 1; r <= Grilla.maxRows(); ++r)
        if (!Grilla.text(1, r).isEmpty()) return true;
    return false;
}

void DefinitionGrids::RemoverFilasVacias() {
    Grid& g = *spCal;
    int ultima = 0;
    for (int r = 1; r <= g.maxRows(); ++r)
        if (!g.text(ColMedida, r).isEmpty()) ultima = r;
    // One pass from the bottom: each empty row above the last named one goes; nothing else moves
    // but the rows under it, and no events run in between.
    const bool redraw = g.redraw();
    g.setRedraw(false);
    for (int r = ultima - 1; r >= 1; --r)
        if (g.text(ColMedida, r).isEmpty()) g.deleteRows(r, 1);
    BackToDefinitionRows(g);
    g.setRedraw(redraw);
}

void DefinitionGrids::BackToDefinitionRows(Grid& Grilla) {
    Grilla.setMaxRows(std::max(DefinitionRows, Grilla.store().lastRowWithData()));
}
