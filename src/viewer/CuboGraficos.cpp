// The viewer's chart: the measure charted, the chart data and page read from the pivot, the chart
// toolbar's clicks and type box, and the picture of the chart for publishing.
#include "designer/Campos.h"
#include "platform/grid/GridStore.h"
#include "platform/os/AppPath.h"
#include "platform/os/Clock.h"
#include "platform/os/Printer.h"
#include "platform/os/Prompter.h"
#include "platform/os/Twips.h"
#include "platform/pivot/NumberFormat.h"
#include "publishing/ChartFiles.h"
#include "shell/General.h"
#include "shell/ImprimirFormulario.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QScreen>

namespace {

using bd::grid::Grid;
using bd::grid::TypePlain;
using bd::toolbar::Tool;
using bd::toolbar::ToolStyle;

// The measure tools' picture: a small bar chart.
QIcon ChartIcon() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2f, 0x6f, 0xb5));
    p.drawRect(2, 8, 3, 7);
    p.drawRect(7, 3, 3, 12);
    p.drawRect(12, 6, 3, 9);
    return QIcon(pm);
}

QString WithoutSpaces(QString s) {
    return s.remove(' ');
}

bool IsMainMeasureRow(const Grid& g, int row) {
    return g.cellType(Campos::ColAgregado, row) != TypePlain;
}

// The result columns of one measure, and their cells.
class MeasureCells {
public:
    MeasureCells(const bd::pivot::PivotTable& dc, const QString& measure)
        : dc_(dc), fields_(dc.dataFields()), measure_(measure) {}

    bd::pivot::PivotField* field(int column) const { return fields_.item(dc_.dataFieldIndex(column)); }
    bool holds(int column) const {
        auto* f = field(column);
        return f && f->name() == measure_;
    }
    // The first result column of the measure gives its data field.
    bd::pivot::PivotField* measureField() const {
        for (int c = 0; c < dc_.resultColumns(); ++c)
            if (holds(c)) return field(c);
        return nullptr;
    }
    double value(int row, int column) const { return dc_.cellValue(row, column).toDouble(); }

private:
    const bd::pivot::PivotTable& dc_;
    const bd::pivot::PivotFieldList fields_;
    const QString measure_;
};

// The value axis and the value labels read as the pivot's cells do.
bd::browser::ValueFormatter CellFormatter(const QString& mask, int decimals) {
    return [mask, decimals](double v) {
        return mask.trimmed().isEmpty() ? QLocale().toString(v, 'f', decimals)
                                        : bd::pivot::formatNumber(v, mask);
    };
}

// The alert rules of the designer's measure grid, which the pie-slice attribute reads.
QList<bd::charts::AlertRow> AlertRows(const Grid& cal) {
    QList<bd::charts::AlertRow> alertas;
    for (int r = 1; r <= cal.maxRows(); ++r) {
        const QString name = cal.text(Campos::ColMedida, r);
        if (name.isEmpty()) break;
        alertas << bd::charts::AlertRow{
            name, IsMainMeasureRow(cal, r) ? cal.text(Campos::ColAgregado, r) : QString(),
            cal.text(Campos::ColLimiteInferior, r), cal.text(Campos::ColLimiteSuperior, r)};
    }
    return alertas;
}

// One point per cell of the measure, with its row headers; slices marked only when the designer's
// alert rules are at hand.
bd::charts::SingleSeriesData SingleSeries(const bd::pivot::PivotTable& dc, const MeasureCells& cells,
                                          const QString& chartId, const Campos* fields) {
    using namespace bd::charts;
    const QList<AlertRow> alertas = fields ? AlertRows(*fields->spCal) : QList<AlertRow>();
    const QString movie = chartId + ".swf";
    const int rowLevels = dc.rowFields().count(), columnLevels = dc.columnFields().count();
    SingleSeriesData d;
    d.columnFields = columnLevels;
    for (int c = 0; c < dc.resultColumns(); ++c) {
        if (!cells.holds(c)) continue;
        auto* f = cells.field(c);
        for (int r = 0; r < dc.resultRows(); ++r) {
            ChartPoint p;
            for (int l = 0; l < rowLevels; ++l)
                p.rowHeaders << dc.rowHeaderText(r, l);
            if (columnLevels == 1) p.columnHeader = dc.columnHeaderText(c, 0);
            p.value = cells.value(r, c);
            p.totalRow = dc.isTotalRow(r);
            p.totalColumn = dc.isTotalColumn(c);
            if (fields && p.value != 0)
                p.slice = SliceAttribute(movie, f->name(), f->aggregate(), p.value, alertas);
            d.points << p;
        }
    }
    return d;
}

// Series from the column headers, or with two row fields from the outer row field, totals left out.
bd::charts::MultiSeriesData MultiSeries(const bd::pivot::PivotTable& dc, const MeasureCells& cells,
                                        bool dosFilas) {
    bd::charts::MultiSeriesData d;
    const int rows = dc.resultRows();
    for (int r = 0; r < rows; ++r) {
        if (dc.isTotalRow(r)) continue;
        d.categories << dc.rowHeaderText(r, dosFilas ? 1 : 0);
        if (dosFilas) d.series << dc.rowHeaderText(r, 0);
    }
    for (int c = 0; c < dc.resultColumns(); ++c) {
        if (!cells.holds(c) || (!dosFilas && dc.isTotalColumn(c))) continue;
        if (!dosFilas) d.series << dc.columnHeaderText(c, 0);
        for (int r = 0; r < rows; ++r) {
            if (dc.isTotalRow(r) || !dc.cellValue(r, c).isValid()) continue;
            const QString series = dosFilas ? dc.rowHeaderText(r, 0) : dc.columnHeaderText(c, 0);
            d.cells << bd::charts::MultiSeriesCell{series, dc.rowHeaderText(r, dosFilas ? 1 : 0),
                                                   cells.value(r, c)};
        }
        if (dosFilas) break; // the measure's one column
    }
    return d;
}

} // namespace

void Cubo::ImpGr() {
    QPrinter printer(QPrinter::HighResolution);
    // The document (and a PDF's proposed file) is named after the cube.
    QString name = VinsCube ? QFileInfo(VinsCube->PathOpenCube).completeBaseName() : QString();
    if (name.isEmpty() && VinsCube) name = VinsCube->CubeId;
    printer.setDocName(name.isEmpty() ? QStringLiteral("Chart") : name + " chart");
    if (!bd::os::runPrintDialog(&printer, this, "Chart Print")) return;
    if (!CHA->print(&printer))
        bd::os::MsgBox("The chart could not be printed.", bd::os::Buttons::Ok, bd::os::Icon::Information,
                       "Chart Print");
}

void Cubo::StartCharts() {
    picGraph = ChartIcon();
    // The cover hides what lies under it: a chart not drawn yet or being redrawn.
    frameCover->setAutoFillBackground(true);
    ABGraph->addBand(ChartBand);
    connect(ABGraph, &bd::toolbar::Toolbar::toolClick, this, &Cubo::ClickBarraGrafico);
    connect(ABGraph, &bd::toolbar::Toolbar::comboChange, this, &Cubo::ElegirTipoGrafico);
    connect(CHA, &bd::browser::PageView::loadCompleted, this, &Cubo::GraficoCargado);
}

void Cubo::OcultarChart(bool vVisible) {
    frameCover->setGeometry(CHA->geometry());
    frameCover->setVisible(!vVisible);
    if (!vVisible) frameCover->raise();
}

bool Cubo::chartTypeIsNone(const QString& measure) const {
    if (measure.isEmpty() || !Vcampos) return false;
    const Grid& g = *Vcampos->spCal;
    bool none = false;
    for (int r = 1; r <= g.maxRows(); ++r) {
        if (!IsMainMeasureRow(g, r) || g.text(Campos::ColMedida, r) != measure) continue;
        if (g.text(Campos::ColTipoGrafico, r) != "None") return false;
        none = true;
    }
    return none;
}

QString Cubo::firstChartedMeasure() const {
    if (!Vcampos) return {};
    const Grid& g = *Vcampos->spCal;
    for (int r = 1; r <= g.maxRows(); ++r)
        if (Campos::hasChartTool(g, r)) return g.text(Campos::ColMedida, r);
    return {};
}

QString Cubo::ChartMeasure(const QString& name) const {
    if (name.isEmpty() || !Vcampos) return name;
    const Grid& g = *Vcampos->spCal;
    for (int r = 1; r <= g.maxRows(); ++r)
        if (g.text(Campos::ColMedida, r) == name) return name;
    const QString wanted = WithoutSpaces(name);
    for (int r = 1; r <= g.maxRows(); ++r) {
        const QString t = g.text(Campos::ColMedida, r);
        if (!t.isEmpty() && WithoutSpaces(t) == wanted) return t;
    }
    return name;
}

void Cubo::ToolChekBar(Tool* vTool, bd::toolbar::Toolbar* AB_) {
    if (!AB_) return;
    for (Tool* t : AB_->tools())
        t->setChecked(false);
    if (vTool) vTool->setChecked(true);
}

void Cubo::Graph(const QString& NombreCampo) {
    IndicarCantidades(false);
    // Tool 80 checked means the chart is switched off.
    if (ToolChecked(ToolNoChart) || !isVisible() || !Vcampos) return;
    const Grid& cal = *Vcampos->spCal;

    QString measure = NombreCampo;
    if (measure.isEmpty() && !lastChart.isEmpty()) measure = ChartMeasure(lastChart);
    if (measure.isEmpty()) measure = cal.text(Campos::ColMedida, 1);
    measure = ChartMeasure(measure);
    // Only a tool names a measure set to "None"; otherwise the first measure that has a chart
    // stands in for it, or nothing is charted.
    if (NombreCampo.isEmpty() && chartTypeIsNone(measure)) {
        measure = firstChartedMeasure();
        if (measure.isEmpty()) {
            OcultarChart(false);
            return;
        }
    }
    if (NombreCampo.isEmpty())
        for (Tool* t : ABGraph->tools())
            if (t->style() != ToolStyle::Separator && t->style() != ToolStyle::Combo &&
                t->identifier() == measure) {
                ToolChekBar(t, ABGraph);
                break;
            }
    if (measure.isEmpty()) {
        SetToolChecked(ToolNoChart, true); // charts off
        AcomodarPantalla();
        return;
    }

    int row = 0;
    for (int r = 1; r <= cal.maxRows() && !row; ++r)
        if (IsMainMeasureRow(cal, r) && cal.text(Campos::ColMedida, r) == measure &&
            cal.text(Campos::ColTipoGrafico, r) != "None")
            row = r;
    auto cellText = [&](int col) { return row ? cal.text(col, row) : QString(); };

    QString caption = cellText(Campos::ColTituloGrafico);
    if (caption.isEmpty()) caption = row ? cal.cellTag(Campos::TagCaption, row) : QString();
    if (caption.isEmpty()) caption = measure;
    const int maxChars = bd::charts::ParseChartInt(cellText(Campos::ColMaxCaracteres), 20, 0, 32767);
    const int autoHide = bd::charts::ParseChartInt(cellText(Campos::ColOcultarEtiquetas), 40, 0, 32767);
    const int limit = bd::charts::ParseChartInt(cellText(Campos::ColLimiteResultados), 150, 1, 32767);
    const bool totals = cellText(Campos::ColDibujarTotales) == "1";

    const QString typeClass = cellText(Campos::ColTipoGrafico);
    Tool* combo = ABGraph->tool(ChartTypeCombo);
    QString chartId = General::sGraficoDefId;
    if (typeClass.isEmpty()) {
        if (combo) combo->setText(General::sGraficoDefNombre);
    } else {
        if (combo) combo->setText(typeClass);
        // A name the catalogue lacks draws with the default type.
        chartId = General::colIdGrafico.item(typeClass).value_or(General::sGraficoDefId);
        if (chartId == "None") chartId = General::sGraficoDefId;
    }

    lastChart = measure;
    General::PunteroEspera();
    OcultarChart(false);
    GraphChart(chartId, measure, autoHide, maxChars, limit, caption, cellText(Campos::ColSubtituloGrafico),
               cellText(Campos::ColEjeX), cellText(Campos::ColEjeY), totals);
    CHATag.clear();
    OcultarChart(true);
    General::PunteroNormal();
}

void Cubo::GraphChart(const QString& ChartId, const QString& NombreCampo, int AutoHide, int MaxChars,
                      int ResultLimit, const QString& Caption, const QString& SubCaption, const QString& EjeX,
                      const QString& EjeY, bool DibujarTotales) {
    using namespace bd::charts;
    IndicarCantidades(false);
    if (ToolChecked(ToolNoChart)) return;

    const bd::pivot::PivotTable& dc = *DC;
    const MeasureCells cells(dc, NombreCampo);
    ChartSettings s;
    s.caption = Caption;
    s.subCaption = SubCaption;
    s.xAxisName = EjeX;
    s.yAxisName = EjeY;
    s.labelAutoHide = AutoHide;
    s.maxLabelChars = MaxChars;
    s.resultLimit = ResultLimit;
    s.drawTotals = DibujarTotales;
    bd::pivot::PivotField* measureField = cells.measureField();
    const std::optional<QString> format =
        measureField ? std::optional<QString>(measureField->numberFormat()) : std::nullopt;
    s.decimals = ChartDecimals(format, General::sSepDecimal);
    ChartLimited = false;
    CHA->setValueFormatter(CellFormatter(format.value_or(QString()), s.decimals));

    const ChartLayout layout =
        ChooseChartLayout(ChartId, General::colGraficoMS.item(ChartId).value_or(QString()),
                          dc.rowFields().count(), dc.columnFields().count());
    CHA->setAxisTitles(categoryAxisTitle(layout.body), measureField ? measureField->caption() : NombreCampo);
    const ChartData done =
        layout.body == ChartBody::SingleSeries
            ? BuildSingleSeriesXml(s, SingleSeries(dc, cells, ChartId, Vcampos))
            : BuildMultiSeriesXml(s, MultiSeries(dc, cells, layout.body == ChartBody::TwoRowFields));
    ChartLimited = done.limited;
    showChartPage(layout.chartId, done.xml, ResultLimit);
}

void Cubo::showChartPage(const QString& chartId, const QString& xml, int resultLimit) {
    using namespace bd::charts;
    auto fallo = [this](const QString& why) {
        CHA->hide();
        bd::os::MsgBox(why, bd::os::Buttons::Ok, bd::os::Icon::Information, "Error drawing Chart");
    };
    const QString folder = bd::os::AppPath() + "/Charts";
    const QString page = folder + "/Chart.html", dataPage = folder + "/Data.xml";
    ChartPageInput in;
    if (Vcampos) {
        in.title = Vcampos->txtDescripcion->toPlainText();
        if (in.title.isEmpty()) in.title = Vcampos->txtIdCubo->text();
    }
    in.movieFile = chartId + ".swf";
    in.dataPath = dataPage;
    in.width = ChartWidth(CHA->width());
    in.height = ChartHeight(CHA->height());
    in.limited = ChartLimited;
    in.resultLimit = resultLimit;

    if (!QDir().mkpath(folder) || !WriteChartFile(dataPage, xml) ||
        !WriteChartFile(page, BuildChartHtml(in))) {
        fallo(QString("The chart files cannot be written in %1.").arg(QDir::toNativeSeparators(folder)));
        return;
    }
    sPaginaGrafico = page;
    if (!CHA->navigate(page)) {
        fallo(CHA->errorString());
        return;
    }
    CHA->show(); // a failed draw before hid it
    bGraficoDibujado = true;
}

QString Cubo::categoryAxisTitle(bd::charts::ChartBody body) const {
    const bd::pivot::PivotFieldList rows = DC->rowFields(), columns = DC->columnFields();
    auto caption = [](bd::pivot::PivotField* f) { return f ? f->caption() : QString(); };
    if (body == bd::charts::ChartBody::TwoRowFields) return caption(rows.item(1));
    if (body == bd::charts::ChartBody::OneColumnOneRowField) return caption(rows.item(0));
    // One label per value: the row headers, then the column's with one column field.
    QStringList parts;
    for (bd::pivot::PivotField* f : rows)
        parts << f->caption();
    if (columns.count() == 1) parts << caption(columns.item(0));
    return parts.join(" - ");
}

void Cubo::GraficoCargado() {
    bGraficoListo = true;
}

void Cubo::ClickBarraGrafico(Tool* tool) {
    if (!bGraficoListo) return; // no page yet, or a redraw is under way
    bGraficoListo = false;
    ABGraph->setEnabled(false);
    AB->setEnabled(false);
    const QString measure = tool ? tool->identifier() : QString();
    if (!measure.isEmpty()) {
        bGraficoDibujado = false;
        const QPointer<Tool> guard(tool);
        Graph(measure);
        if (bGraficoDibujado && guard) ToolChekBar(guard, ABGraph);
    }
    bGraficoListo = true;
    TimerWait->setEnabled(true);
}

void Cubo::ElegirTipoGrafico(Tool* tool) {
    if (!tool || !Vcampos) return;
    Grid& cal = *Vcampos->spCal;
    const QString measure = ChartMeasure(lastChart);
    int row = 0;
    for (int r = 1; r <= cal.maxRows(); ++r) {
        if (!IsMainMeasureRow(cal, r)) continue;
        const QString name = cal.text(Campos::ColMedida, r);
        if (name.isEmpty()) return;
        if (name == measure) {
            row = r;
            break;
        }
    }
    if (!row) return; // the charted measure is not in the grid: nothing to store
    const QString typeClass = tool->text();
    cal.setText(Campos::ColTipoGrafico, row, typeClass);
    Salvar = true;
    ABGraph->setEnabled(false);
    Graph(QString());
    TimerWait->setEnabled(true);
    if (typeClass == "None") {
        Vcampos->CargarComandosGraficos();
        OcultarChart(false);
        AcomodarPantalla();
        auto findTool = [this](auto&& matches) -> Tool* {
            for (Tool* t : ABGraph->tools())
                if (t->style() != ToolStyle::Combo && t->style() != ToolStyle::Separator && matches(t))
                    return t;
            return nullptr;
        };
        Tool* checked = findTool([](Tool* t) { return t->checked(); });
        // The band checks only the first row's tool: with that row set to "None", the measure
        // charted in its place is the one to show.
        if (!checked) {
            const QString actual = ChartMeasure(lastChart);
            checked = findTool([&actual](Tool* t) { return t->identifier() == actual; });
        }
        if (checked) {
            ABGraph->setEnabled(false);
            ClickBarraGrafico(checked);
        }
    }
}

void Cubo::getChartImg(const QString& path) {
    using bd::os::twipsToPixels;
    // The capture form: the chart's width, its height plus 500 twips; the browser overhangs the form
    // by 35 twips on each side so that its frame falls outside.
    QWidget form(nullptr, Qt::Window | Qt::FramelessWindowHint);
    form.setObjectName("frmNavigatorChartExport");
    form.setAttribute(Qt::WA_DontShowOnScreen);
    form.resize(std::max(1, CHA->width()), std::max(1, CHA->height() + twipsToPixels(500)));
    auto* wB = new bd::browser::PageView(&form);
    wB->setObjectName("wB");
    wB->setValueFormatter(CHA->valueFormatter());
    wB->setAxisTitles(CHA->categoryAxisTitle(), CHA->valueAxisTitle());
    wB->setGeometry(twipsToPixels(-35), twipsToPixels(-35), form.width() + twipsToPixels(80),
                    form.height() + twipsToPixels(80));
    bool loaded = false;
    connect(wB, &bd::browser::PageView::loadCompleted, &form, [&loaded] { loaded = true; });
    wB->navigate(sPaginaGrafico);
    form.move(QApplication::primaryScreen()
                  ? QApplication::primaryScreen()->geometry().width() + twipsToPixels(300)
                  : 0,
              0);
    form.show();
    // The picture is of the page just loaded in the capture form, not of the viewer's own chart.
    while (!loaded || wB->readyState() != bd::browser::PageView::Complete)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QApplication::sendPostedEvents();
    picImprimir = ImprimirFormulario::CapturarFormulario(&form);
    if (!picImprimir.save(path, "BMP"))
        bd::os::MsgBox(
            QString("The chart picture cannot be saved in %1.").arg(QDir::toNativeSeparators(path)),
            bd::os::Buttons::Ok, bd::os::Icon::Information, "Chart picture");
}
