// The viewer's chart: files read from the pivot, the chart toolbar's clicks and type box, and the
// chart picture.
#include "common/TestSupport.h"
#include "platform/db/ColumnarResult.h"
#include "platform/grid/GridStore.h"
#include "platform/os/AppPath.h"
#include "platform/os/Clock.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "platform/os/Twips.h"
#include "platform/pivot/NumberFormat.h"
#include "shell/General.h"
#include "shell/GeneralGrid.h"
#include "viewer/ViewerTestSupport.h"

#include <QAbstractBarSeries>
#include <QApplication>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QTest>
#include <gtest/gtest.h>

using namespace bd;
using bd::toolbar::Tool;

namespace {

// Sales by customer and year; Lee's sales sum to 0.
std::shared_ptr<db::ColumnarResult> salesResult() {
    using db::ColumnData;
    using db::ColumnKind;
    ColumnData cliente, year, importe, units;
    cliente.name = "Customer", cliente.kind = ColumnKind::Text,
    cliente.dict = {"O'Brien", "Lee", "Nunez", "Smith"};
    year.name = "Year", year.kind = ColumnKind::Integer, year.adoType = 3;
    importe.name = "Amount", importe.kind = ColumnKind::Real, importe.adoType = 5;
    units.name = "Unit Count", units.kind = ColumnKind::Integer, units.adoType = 3;
    struct Row {
        uint32_t c;
        int year;
        double importe;
        int units;
    };
    const Row rows[] = {{0, 2024, 1234.5, 3}, {1, 2024, 5, 1},  {1, 2024, -5, 1},
                        {2, 2025, 99.25, 2},  {3, 2024, 10, 4}, {3, 2025, 20, 6}};
    auto r = std::make_shared<db::ColumnarResult>();
    for (const Row& f : rows) {
        cliente.codes.push_back(f.c);
        year.ints.push_back(f.year);
        importe.reals.push_back(f.importe);
        units.ints.push_back(f.units);
    }
    r->rowCount = std::size(rows);
    r->columns = {cliente, year, importe, units};
    return r;
}

// Customers a chart finds awkward: two names equal once cut to 20 characters, markup characters, a
// NULL customer and one whose sales sum below zero.
std::shared_ptr<db::ColumnarResult> oddities() {
    using db::ColumnData;
    using db::ColumnKind;
    ColumnData cliente, year, importe, units;
    cliente.name = "Customer", cliente.kind = ColumnKind::Text,
    cliente.dict = {"Northern Enterprises Alpha", "Northern Enterprises Beta", "A <B> & C", "Debtor"};
    year.name = "Year", year.kind = ColumnKind::Integer, year.adoType = 3;
    importe.name = "Amount", importe.kind = ColumnKind::Real, importe.adoType = 5;
    units.name = "Unit Count", units.kind = ColumnKind::Integer, units.adoType = 3;
    struct Row {
        int c; // -1: NULL
        double importe;
    };
    const Row rows[] = {{0, 120000}, {1, 80000.5}, {2, 300}, {-1, 45}, {3, -2500}, {3, 500}};
    auto r = std::make_shared<db::ColumnarResult>();
    for (const Row& f : rows) {
        cliente.codes.push_back(uint32_t(std::max(0, f.c)));
        cliente.nulls.push_back(f.c < 0);
        year.ints.push_back(2024);
        importe.reals.push_back(f.importe);
        units.ints.push_back(1);
    }
    r->rowCount = std::size(rows);
    r->columns = {cliente, year, importe, units};
    return r;
}

// A shown viewer over the sales, Customer on rows, with two measures charted in the designer.
struct ChartWindow {
    test::TempHome home{false};
    test::LinkedViewer w;
    Cubo& v = *w.v;
    Campos& c = *w.c;
    explicit ChartWindow(bool conAnios = false, std::shared_ptr<db::ColumnarResult> ventas = salesResult()) {
        General::CargarTiposGrafico();
        c.txtIdCubo->setText("Sales");
        grid::Grid& cal = *c.spCal;
        cal.setText(Campos::ColMedida, 1, "Amount");
        cal.setText(Campos::ColVisible, 1, "1");
        cal.setText(Campos::ColAgregado, 1, "Sum");
        General::EscribirCelda(cal, Campos::TagCaption, 1, "Sales amount");
        cal.setText(Campos::ColTipoGrafico, 1, "Column 3D");
        cal.setText(Campos::ColTituloGrafico, 1, "Sales");
        cal.setText(Campos::ColSubtituloGrafico, 1, "2024");
        cal.setText(Campos::ColEjeX, 1, "Customer");
        cal.setText(Campos::ColEjeY, 1, "Amount");
        cal.setText(Campos::ColMedida, 2, "Unit Count");
        cal.setText(Campos::ColVisible, 2, "1");
        cal.setText(Campos::ColAgregado, 2, "Sum");

        pivot::PivotTable& dc = *v.DC;
        dc.setData(ventas);
        dc.addField("Customer", "Customer", pivot::PageArea)->setOrientation(pivot::RowArea);
        if (conAnios) dc.addField("Year", "Year", pivot::PageArea)->setOrientation(pivot::ColumnArea);
        dc.addField("Amount", "Amount", pivot::DataArea)->setNumberFormat("#,##0.00");
        dc.addField("Unit Count", "Unit Count", pivot::DataArea)->setNumberFormat("#,##0");
        dc.recalculate();
        c.CargarComandosGraficos();
        v.show();
        v.AcomodarPantalla();
    }
    QByteArray dataPage() const { return test::readFile(home.path("Charts/Data.xml")); }
    Tool* tool(const QString& measure) const {
        for (Tool* t : v.ABGraph->tools())
            if (t->identifier() == measure) return t;
        return nullptr;
    }
    QStringList checkedTools() const {
        QStringList out;
        for (Tool* t : v.ABGraph->tools())
            if (t->checked()) out << t->identifier();
        return out;
    }
    // The page's completion notice arrives from the event loop.
    void esperarCarga() { QApplication::processEvents(); }
};

const char* kRaiz =
    "<chart palette='4' xAxisName='Customer' yAxisName='Amount' caption='Sales' subcaption='2024' "
    "decimals='2' showLabels='1' enableSmartLabels='0' enableRotation='1' "
    "bgColor='FFFFFF,FFFFFF' showBorder='1' >\r\n";

} // namespace

TEST(ChartViewer, DataFileAndPageFromThePivot) {
    ChartWindow f;
    f.v.Graph(QString());
    // The apostrophe leaves the label, Lee's 0 is left out, the decimals come from "#,##0.00".
    const QByteArray expected = QByteArray(kRaiz) + "<set label='Nunez' value='99.25' />\r\n"
                                                    "<set label='OBrien' value='1234.5' />\r\n"
                                                    "<set label='Smith' value='30' />\r\n"
                                                    "\r\n</chart>\r\n";
    EXPECT_EQ(f.dataPage(), expected);
    EXPECT_EQ(f.v.lastChart, "Amount");
    EXPECT_TRUE(f.v.bGraficoDibujado);
    EXPECT_TRUE(f.v.CHATag.isEmpty());
    EXPECT_TRUE(f.v.frameCover->isHidden());

    const QString w = QString::number(f.v.CHA->width() - 45), h = QString::number(f.v.CHA->height() - 35);
    const QString data = f.home.path("Charts/Data.xml");
    const QString page = QStringList{"<html>",
                                     "<head>",
                                     "<title>Sales</title>",
                                     "</head>",
                                     "<style type=\"text/css\">",
                                     "body {",
                                     "overflow:hidden;",
                                     "}",
                                     "</style>",
                                     "<body bgcolor=\"#ffffff\">",
                                     "<object classid=\"clsid:d27cdb6e-ae6d-11cf-96b8-444553540000\" "
                                     "codebase=\"https://download.macromedia.com/pub/shockwave/cabs/flash/"
                                     "swflash.cab#version=8,0,0,0\" "
                                     "width=\"" +
                                         w + "\" height=\"" + h + "\" id=\"Column3D\" >",
                                     "<param name=\"movie\" value=\"Column3D.swf\" />",
                                     "<param name=\"FlashVars\" value=\"&dataURL=" + data + "\">",
                                     "<param name=\"quality\" value=\"high\" />",
                                     "<embed src=\"Column3D.swf\" flashVars=\"&dataURL=" + data +
                                         "\" quality=\"high\" width=\"" + w + "\" height=\"" + h +
                                         "\" name=\"Column3D\" type=\"application/x-shockwave-flash\" "
                                         "pluginspage=\"https://www.adobe.com/go/getflashplayer\" />\"",
                                     "</object>",
                                     "</body>",
                                     "</html>",
                                     ""}
                             .join("\r\n");
    EXPECT_EQ(test::readFile(f.home.path("Charts/Chart.html")), page.toUtf8());
    EXPECT_EQ(f.v.sPaginaGrafico, f.home.path("Charts/Chart.html"));
    ASSERT_TRUE(f.v.CHA->isChart());
    EXPECT_EQ(f.v.CHA->chartModel().categories, (QStringList{"Nunez", "OBrien", "Smith"}));
}

TEST(ChartViewer, OverTheResultLimitThePageTellsSoInsteadOfTheChart) {
    ChartWindow f;
    f.c.spCal->setText(Campos::ColLimiteResultados, 1, "2");
    f.v.Graph("Amount");
    EXPECT_TRUE(f.v.ChartLimited);
    EXPECT_EQ(f.dataPage().count("<set "), 2);
    EXPECT_FALSE(f.v.CHA->isChart());
    EXPECT_TRUE(f.v.CHA->plainText().contains("Maximum limit is exceeded. Was limited to: 2 results."))
        << f.v.CHA->plainText().toStdString();
    f.c.spCal->setText(Campos::ColLimiteResultados, 1, "3");
    f.v.Graph("Amount");
    EXPECT_FALSE(f.v.ChartLimited);
    EXPECT_TRUE(f.v.CHA->isChart());
}

TEST(ChartViewer, MultiSeriesBodyFromOneRowAndOneColumnField) {
    ChartWindow f(true);
    f.v.Graph("Amount");
    const QByteArray expected = QByteArray(kRaiz) +
                                "<categories>\r\n"
                                "\t<category label=\"Lee\"/>\r\n\t<category label=\"Nunez\"/>\r\n"
                                "\t<category label=\"OBrien\"/>\r\n\t<category label=\"Smith\"/>\r\n"
                                "</categories>\r\n"
                                "<dataset seriesName=\"2024\" showValues=\"0\">\r\n"
                                "\t<set value=\"0\"/>\r\n\t<set value=\"0\"/>\r\n"
                                "\t<set value=\"1234.5\"/>\r\n\t<set value=\"10\"/>\r\n"
                                "</dataset>\r\n"
                                "<dataset seriesName=\"2025\" showValues=\"0\">\r\n"
                                "\t<set value=\"0\"/>\r\n\t<set value=\"99.25\"/>\r\n"
                                "\t<set value=\"0\"/>\r\n\t<set value=\"20\"/>\r\n"
                                "</dataset>\r\n"
                                "\r\n</chart>\r\n";
    EXPECT_EQ(f.dataPage(), expected);
    EXPECT_TRUE(test::readFile(f.home.path("Charts/Chart.html")).contains("value=\"MSColumn3D.swf\""));

    // Pies have no multi-series form: one value per customer and year.
    f.c.spCal->setText(Campos::ColTipoGrafico, 1, "Pie 2D");
    f.v.Graph("Amount");
    EXPECT_TRUE(f.dataPage().contains("<set label='OBrien-2024' value='1234.5' isSliced='0'/>\r\n"))
        << f.dataPage().data();
    EXPECT_EQ(f.v.CHA->movie().chartId, "Pie2D");
}

TEST(ChartViewer, ShownOnlyWhileTool80IsUnchecked) {
    ChartWindow f;
    f.v.SetToolChecked(Cubo::ToolNoChart, true);
    f.v.Graph("Amount");
    EXPECT_FALSE(QFile::exists(f.home.path("Charts/Data.xml")));
    EXPECT_FALSE(f.v.bGraficoDibujado);

    // With no measure at all the chart is switched off.
    f.v.SetToolChecked(Cubo::ToolNoChart, false);
    f.c.spCal->setText(Campos::ColMedida, 1, "");
    f.c.spCal->setText(Campos::ColMedida, 2, "");
    f.v.Graph(QString());
    EXPECT_TRUE(f.v.ToolChecked(Cubo::ToolNoChart));
    EXPECT_FALSE(QFile::exists(f.home.path("Charts/Data.xml")));
}

TEST(ChartViewer, ToolClicksBeforeAndAfterTheFirstPage) {
    ChartWindow f;
    Tool* units = f.tool("Unit Count");
    ASSERT_TRUE(units);
    EXPECT_EQ(units->name(), "UnitCount");
    EXPECT_EQ(f.checkedTools(), QStringList{"Amount"});

    // No chart page yet: the click does nothing.
    EXPECT_TRUE(f.v.ABGraph->clickTool(units));
    EXPECT_FALSE(QFile::exists(f.home.path("Charts/Data.xml")));
    EXPECT_EQ(f.checkedTools(), QStringList{"Amount"});
    EXPECT_TRUE(f.v.AB->isEnabled());

    f.v.Graph(QString());
    f.esperarCarga();
    ASSERT_TRUE(f.v.bGraficoListo);
    EXPECT_TRUE(f.v.ABGraph->clickTool(units));
    EXPECT_EQ(f.v.lastChart, "Unit Count");
    EXPECT_EQ(f.checkedTools(), QStringList{"Unit Count"});
    EXPECT_TRUE(f.dataPage().contains("<set label='Smith' value='10' />")) << f.dataPage().data();
    EXPECT_TRUE(f.dataPage().contains("decimals='0'"));
    EXPECT_TRUE(f.dataPage().contains("caption='Unit Count'")) << "no caption, no tag: the measure name";
    // The wait timer gives the toolbars back.
    EXPECT_FALSE(f.v.AB->isEnabled());
    EXPECT_FALSE(f.v.ABGraph->isEnabled());
    EXPECT_TRUE(f.v.TimerWait->isEnabled());
    f.v.TimerWait_Timer();
    EXPECT_TRUE(f.v.ABGraph->isEnabled());

    // A tool without a measure only gives the toolbars back.
    Tool* emptyChart = f.v.ABGraph->band(Cubo::ChartBand)->addTool(99, "Blank", "Blank");
    f.v.ABGraph->clickTool(emptyChart);
    EXPECT_EQ(f.v.lastChart, "Unit Count");
    EXPECT_TRUE(f.v.bGraficoListo);
}

TEST(ChartViewer, AFailedRedrawLeavesTheToolUnchecked) {
    ChartWindow f;
    f.v.Graph(QString());
    f.esperarCarga();
    // Charts/ becomes a plain file, so neither chart file can be written.
    QDir(f.home.path("Charts")).removeRecursively();
    test::writeFile(f.home.path("Charts"), "");
    os::ScopedPrompter prompts;
    f.v.ABGraph->clickTool(f.tool("Unit Count"));
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].title, "Error drawing Chart");
    EXPECT_FALSE(f.v.bGraficoDibujado);
    EXPECT_EQ(f.checkedTools(), QStringList{"Amount"});
    EXPECT_TRUE(f.v.CHA->isHidden());
    EXPECT_TRUE(f.v.bGraficoListo);

    // The next draw that succeeds shows the chart again, without waiting for a resize.
    QFile::remove(f.home.path("Charts"));
    f.v.TimerWait_Timer();
    f.v.ABGraph->clickTool(f.tool("Unit Count"));
    EXPECT_TRUE(f.v.bGraficoDibujado);
    EXPECT_FALSE(f.v.CHA->isHidden());
    EXPECT_EQ(f.checkedTools(), QStringList{"Unit Count"});
}

TEST(ChartViewer, StoredLastChartWithoutBlanksStillFindsItsMeasure) {
    ChartWindow f;
    f.v.lastChart = "UnitCount"; // as files of earlier versions stored it
    f.v.Graph(QString());
    EXPECT_EQ(f.v.lastChart, "Unit Count");
    EXPECT_EQ(f.checkedTools(), QStringList{"Unit Count"});
    EXPECT_TRUE(f.dataPage().contains("value='10'"));
}

TEST(ChartViewer, ChoosingATypeStoresItRedrawsAndMarksTheCube) {
    ChartWindow f;
    f.v.Graph(QString());
    f.esperarCarga();
    Tool* combo = f.v.ABGraph->tool(Cubo::ChartTypeCombo);
    EXPECT_EQ(combo->text(), "Column 3D");
    ASSERT_TRUE(f.v.ABGraph->chooseInCombo(combo, "Line"));
    EXPECT_EQ(f.c.spCal->text(Campos::ColTipoGrafico, 1), "Line");
    EXPECT_TRUE(f.v.Salvar);
    EXPECT_EQ(f.v.CHA->movie().chartId, "Line");
    EXPECT_FALSE(f.v.ABGraph->isEnabled());
}

TEST(ChartViewer, NoneRemovesTheToolAndChartsTheCheckedOne) {
    ChartWindow f;
    f.v.Graph(QString());
    f.esperarCarga();
    f.v.ABGraph->clickTool(f.tool("Unit Count"));
    ASSERT_EQ(f.v.lastChart, "Unit Count");
    f.v.TimerWait_Timer();
    ASSERT_TRUE(f.v.ABGraph->chooseInCombo(f.v.ABGraph->tool(Cubo::ChartTypeCombo), "None"));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(f.c.spCal->text(Campos::ColTipoGrafico, 2), "None");
    EXPECT_EQ(f.tool("Unit Count"), nullptr);
    EXPECT_EQ(f.checkedTools(), QStringList{"Amount"});
    EXPECT_EQ(f.v.lastChart, "Amount");
    EXPECT_TRUE(f.dataPage().contains("caption='Sales'"));
    EXPECT_TRUE(f.v.frameCover->isHidden());
}

TEST(ChartViewer, PictureOfTheChartPage) {
    ChartWindow f;
    f.v.Graph(QString());
    f.esperarCarga();
    const QString bmp = f.home.path("chart.bmp");
    f.v.getChartImg(bmp);
    QImage img(bmp);
    ASSERT_FALSE(img.isNull());
    img.save(QDir::tempPath() + "/chart-picture.png");
    EXPECT_EQ(img.size(), QSize(f.v.CHA->width(), f.v.CHA->height() + os::twipsToPixels(500)));
    EXPECT_EQ(f.v.picImprimir.size(), img.size());
    // The page's own frame lies outside the picture: its edge is the page's white, not a border.
    EXPECT_EQ(img.pixelColor(0, 0), QColor(Qt::white));
}

// The example cube as shipped: two row fields give the multi-series column chart, one series per
// region and one bar per product, with the pivot's sums.
TEST(ChartViewer, ExampleCubeChartShowsItsBars) {
    test::TempHome home(true);
    ASSERT_TRUE(QFile::exists(home.path("Example.cub")));
    General::CargarTiposGrafico();
    test::LinkedViewer w;
    os::ScopedPrompter prompts;
    ASSERT_TRUE(w.v->Abrir(home.path("Example.cub")));
    w.v->resize(1000, 760);
    w.v->show();
    w.v->AcomodarPantalla();
    w.v->Graph(QString());
    QApplication::processEvents();
    EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join(" / ").toStdString();
    ASSERT_TRUE(w.v->CHA->isChart()) << w.v->CHA->errorString().toStdString();
    EXPECT_EQ(w.v->CHA->movie().chartId, "MSColumn3D");
    const browser::ChartModel& m = w.v->CHA->chartModel();
    EXPECT_EQ(m.caption, "Sales by region");

    const pivot::PivotTable& dc = *w.v->DC;
    int amount = -1;
    for (int c = 0; c < dc.resultColumns() && amount < 0; ++c)
        if (dc.dataFields().item(dc.dataFieldIndex(c))->name() == "Amount") amount = c;
    ASSERT_GE(amount, 0);
    int vistos = 0;
    for (int r = 0; r < dc.resultRows(); ++r) {
        if (dc.isTotalRow(r)) continue;
        const QString region = dc.rowHeaderText(r, 0), product = dc.rowHeaderText(r, 1);
        const int cat = int(m.categories.indexOf(product));
        auto series =
            std::find_if(m.series.begin(), m.series.end(), [&](auto& s) { return s.name == region; });
        ASSERT_GE(cat, 0) << product.toStdString();
        ASSERT_NE(series, m.series.end()) << region.toStdString();
        EXPECT_NEAR(series->values.value(cat), dc.cellValue(r, amount).toDouble(), 0.005);
        ++vistos;
    }
    EXPECT_EQ(vistos, 30);
    EXPECT_EQ(m.series.size(), 5);
    EXPECT_EQ(m.categories.size(), 6);

    // The viewer's own chart pane, and the same page at a size that shows the bars well.
    w.v->grab().save(QDir::tempPath() + "/example-chart-viewer.png");
    const QString png = QDir::tempPath() + "/example-chart.png";
    const QImage img = w.v->CHA->renderImage(QSize(900, 500));
    img.save(png);
    // Bars are drawn: plenty of pixels that are neither white nor grey.
    int color = 0;
    for (int y = 0; y < img.height(); y += 2)
        for (int x = 0; x < img.width(); x += 2) {
            const QColor c = img.pixelColor(x, y);
            if (c.saturation() > 80) ++color;
        }
    EXPECT_GT(color, img.width() * img.height() / 4 / 20) << png.toStdString();
}

namespace {
// Every text the viewer's chart shows, as a reader sees it.
QStringList DrawnTexts(browser::PageView& cha) {
    QApplication::sendPostedEvents();
    QApplication::processEvents();
    return test::sceneTexts(cha.chartView()->scene());
}
QList<double> barValues(browser::PageView& cha) {
    QList<double> out;
    auto* bars = qobject_cast<QAbstractBarSeries*>(cha.chartView()->chart()->series().value(0));
    if (bars && !bars->barSets().isEmpty())
        for (int i = 0; i < bars->barSets()[0]->count(); ++i)
            out << bars->barSets()[0]->at(i);
    return out;
}
} // namespace

// Repeated labels (cut to 20 characters), markup characters, a NULL member and a negative sum: each
// value keeps its own bar and its label as written; the value axis reads as the pivot's cells.
TEST(ChartViewer, OddNamesNullsAndNegativesKeepTheirOwnBarsAndLabels) {
    ChartWindow f(false, oddities());
    f.v.resize(1200, 900);
    f.v.Split->setTop(f.v.WindowHeight() / 2);
    f.v.AcomodarPantalla();
    f.v.Graph("Amount");
    ASSERT_TRUE(f.v.CHA->isChart()) << f.v.CHA->errorString().toStdString();
    // The NULL customer is the pivot's last member, with an empty label.
    const QStringList expected = {"A <B> & C", "Debtor", "Northern Enterprises", "Northern Enterprises",
                                  "(blank)"};
    EXPECT_EQ(f.v.CHA->chartModel().categories, expected);
    EXPECT_EQ(barValues(*f.v.CHA), (QList<double>{300, -2000, 120000, 80000.5, 45}));
    const QStringList textos = DrawnTexts(*f.v.CHA);
    EXPECT_EQ(textos.count("Northern Enterprises"), 2) << textos.join(" | ").toStdString();
    EXPECT_TRUE(textos.contains("A <B> & C")) << textos.join(" | ").toStdString();
    EXPECT_TRUE(textos.contains("Customer")); // the axis title the designer gave
    // Ticks in the measure's "#,##0.00", below zero too; the bar labels likewise.
    auto* eje = qobject_cast<QCategoryAxis*>(f.v.CHA->chartView()->chart()->axes(Qt::Vertical).value(0));
    ASSERT_NE(eje, nullptr);
    const QStringList ticks = eje->categoriesLabels();
    EXPECT_EQ(ticks.first(), pivot::formatNumber(-25000, "#,##0.00")) << ticks.join(" ").toStdString();
    EXPECT_EQ(ticks.last(), pivot::formatNumber(150000, "#,##0.00")) << ticks.join(" ").toStdString();
    EXPECT_TRUE(textos.contains(pivot::formatNumber(80000.5, "#,##0.00")))
        << textos.join(" | ").toStdString();
    EXPECT_FALSE(textos.contains("80000.50"));
}

TEST(ChartViewer, APieOfNegativeSumsSaysWhyAndAnotherTypeDrawsThem) {
    ChartWindow f(false, oddities());
    f.v.Graph(QString());
    f.esperarCarga();
    Tool* combo = f.v.ABGraph->tool(Cubo::ChartTypeCombo);
    ASSERT_TRUE(f.v.ABGraph->chooseInCombo(combo, "Pie 2D"));
    EXPECT_TRUE(f.v.CHA->chartView()->chart()->series().isEmpty());
    const QString note = browser::ChartNote(f.v.CHA->chartView()->chart());
    EXPECT_TRUE(note.contains("cannot show negative values: 1 of the 5 values")) << note.toStdString();
    EXPECT_TRUE(DrawnTexts(*f.v.CHA).contains(note));
    EXPECT_FALSE(f.v.CHA->isHidden());
    f.v.TimerWait_Timer();
    ASSERT_TRUE(f.v.ABGraph->chooseInCombo(combo, "Bar 2D"));
    EXPECT_EQ(barValues(*f.v.CHA).size(), 5);
    EXPECT_TRUE(browser::ChartNote(f.v.CHA->chartView()->chart()).isEmpty());
}

TEST(ChartViewer, AnEmptyResultShowsAnEmptyChart) {
    ChartWindow f;
    pivot::PivotField* year = f.v.DC->addField("Year", "Year", pivot::PageArea);
    year->setMemberVisible("2024", false);
    year->setMemberVisible("2025", false);
    f.v.DC->recalculate();
    os::ScopedPrompter prompts;
    f.v.Graph("Amount");
    EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join(" / ").toStdString();
    EXPECT_EQ(f.dataPage().count("<set "), 0);
    ASSERT_TRUE(f.v.CHA->isChart());
    QChart* chart = f.v.CHA->chartView()->chart();
    EXPECT_TRUE(chart->series().isEmpty());
    EXPECT_TRUE(chart->axes().isEmpty()) << "no axis, so no ticks such as 0 0 0 1 1 1";
    QStringList textos = DrawnTexts(*f.v.CHA);
    textos.removeAll("Sales\n2024"); // caption and sub-caption
    EXPECT_EQ(textos, QStringList{"No values to chart."});
}

// "None" for the measure of the first row: another measure is charted, and later redraws never bring
// the first one back as a column chart.
TEST(ChartViewer, NoneForTheFirstRowStaysNone) {
    ChartWindow f;
    f.v.Graph(QString());
    f.esperarCarga();
    ASSERT_EQ(f.v.lastChart, "Amount");
    ASSERT_TRUE(f.v.ABGraph->chooseInCombo(f.v.ABGraph->tool(Cubo::ChartTypeCombo), "None"));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(f.c.spCal->text(Campos::ColTipoGrafico, 1), "None");
    EXPECT_EQ(f.tool("Amount"), nullptr);
    EXPECT_EQ(f.v.lastChart, "Unit Count");
    EXPECT_EQ(f.checkedTools(), QStringList{"Unit Count"});
    EXPECT_TRUE(f.v.frameCover->isHidden()) << "the chart of Unit Count is shown";
    EXPECT_TRUE(f.dataPage().contains("caption='Unit Count'"));
    f.v.TimerWait_Timer();

    // The next refresh, and a cube file that still names Amount as charted last.
    for (const QString& last : {QString("Unit Count"), QString("Amount"), QString()}) {
        SCOPED_TRACE(last.toStdString());
        f.v.lastChart = last;
        f.v.Graph(QString());
        EXPECT_EQ(f.v.lastChart, "Unit Count");
        EXPECT_TRUE(f.dataPage().contains("caption='Unit Count'")) << f.dataPage().data();
        EXPECT_EQ(f.v.CHA->movie().chartId, "Column3D");
        EXPECT_EQ(f.checkedTools(), QStringList{"Unit Count"});
    }

    // Every measure set to "None": nothing is charted and the chart stays covered.
    f.c.spCal->setText(Campos::ColTipoGrafico, 2, "None");
    QFile::remove(f.home.path("Charts/Data.xml"));
    f.v.Graph(QString());
    EXPECT_FALSE(QFile::exists(f.home.path("Charts/Data.xml")));
    EXPECT_FALSE(f.v.frameCover->isHidden());
}

TEST(ChartViewer, ChartPrintGoesThroughThePrintDialog) {
    ChartWindow f;
    f.v.Graph(QString());
    f.esperarCarga();
    os::ScopedPrompter prompts;
    const QString pdf = f.home.path("chart.pdf");
    QStringList vistos;
    bool imprimir = false;
    os::ScopedDialogHandler runner([&](QDialog* d) {
        vistos << d->metaObject()->className();
        auto* pd = qobject_cast<QPrintDialog*>(d);
        if (!pd || !imprimir) return int(QDialog::Rejected);
        pd->printer()->setOutputFormat(QPrinter::PdfFormat);
        pd->printer()->setOutputFileName(pdf);
        return int(QDialog::Accepted);
    });
    Tool* tool = f.v.AB->band("&Archivo")->tool(QStringLiteral("Imprimir Gráfico"));
    ASSERT_NE(tool, nullptr);
    ASSERT_TRUE(f.v.AB->clickTool(tool)); // cancelled: nothing printed
    EXPECT_EQ(vistos, QStringList{"QPrintDialog"});
    EXPECT_FALSE(QFile::exists(pdf));
    imprimir = true;
    ASSERT_TRUE(f.v.AB->clickTool(tool));
    EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join(" / ").toStdString();
    const QByteArray bytes = test::readFile(pdf);
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_GT(bytes.size(), 2000);
}

// A drag on the pivot redraws the chart for the new layout at once.
TEST(ChartViewer, ADragOnThePivotRedrawsTheChart) {
    ChartWindow f(true);
    f.v.resize(1100, 760);
    f.v.AcomodarPantalla();
    f.v.Graph(QString());
    f.esperarCarga();
    ASSERT_TRUE(f.v.CHA->chartModel().multiSeries);
    pivot::PivotTable& dc = *f.v.DC;
    QApplication::processEvents();
    auto chip = [&](const QString& name) {
        for (int y = 0; y < dc.viewport()->height(); y += 2)
            for (int x = 0; x < dc.viewport()->width(); x += 4) {
                const pivot::PivotElement e = dc.elementAt(QPoint(x, y));
                if (e.kind == pivot::PivotElement::FieldHeader && e.field->name() == name)
                    return QPoint(x, y);
            }
        return QPoint(-1, -1);
    };
    const QPoint from = chip("Year");
    ASSERT_GE(from.x(), 0);
    const QPoint to(dc.viewport()->width() - 20, 6); // the page area
    QWidget* vp = dc.viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, from);
    for (int i = 1; i <= 10; ++i) {
        QMouseEvent move(QEvent::MouseMove, QPointF(from + (to - from) * i / 10),
                         vp->mapToGlobal(QPointF(from + (to - from) * i / 10)), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(vp, &move);
    }
    QTest::mouseRelease(vp, Qt::LeftButton, {}, to);
    ASSERT_EQ(dc.columnFields().count(), 0);
    EXPECT_FALSE(f.v.CHA->chartModel().multiSeries);
    EXPECT_TRUE(f.dataPage().contains("<set label='OBrien' value='1234.5' />")) << f.dataPage().data();
}

// Without an axis name of the designer's, the axes name what they show: the fields the labels come
// from, and the measure; a name of the designer's stands.
TEST(ChartViewer, AxisTitlesNameWhatTheAxesShow) {
    ChartWindow f;
    f.v.resize(1200, 900);
    f.v.Split->setTop(f.v.WindowHeight() / 2);
    f.v.AcomodarPantalla();
    f.c.spCal->setText(Campos::ColEjeX, 1, "");
    f.c.spCal->setText(Campos::ColEjeY, 1, "");
    struct Case {
        const char* name;
        std::function<void()> disponer;
        QString x;
    } casos[] = {
        {"one row field", [] {}, "Customer"},
        {"one row and one column field",
         [&] { f.v.DC->addField("Year", "Year", pivot::PageArea)->setOrientation(pivot::ColumnArea); },
         "Customer"},
        {"two row fields", [&] { f.v.DC->fields().item("Year")->setOrientation(pivot::RowArea); }, "Year"},
        {"as a pie: one label per value", [&] { f.c.spCal->setText(Campos::ColTipoGrafico, 1, "Pie 2D"); },
         "Customer - Year"},
    };
    for (const Case& k : casos) {
        SCOPED_TRACE(k.name);
        k.disponer();
        f.v.DC->recalculate();
        f.v.Graph("Amount");
        EXPECT_TRUE(f.dataPage().contains("xAxisName='' yAxisName=''"))
            << "the data file keeps the grid's names";
        EXPECT_EQ(f.v.CHA->chartModel().xAxisName, k.x);
        EXPECT_EQ(f.v.CHA->chartModel().yAxisName, "Amount");
    }
    f.c.spCal->setText(Campos::ColTipoGrafico, 1, "Column 3D");
    f.c.spCal->setText(Campos::ColEjeX, 1, "Buyers");
    f.v.Graph("Amount");
    EXPECT_EQ(f.v.CHA->chartModel().xAxisName, "Buyers");
    const QStringList textos = DrawnTexts(*f.v.CHA);
    EXPECT_TRUE(textos.contains("Buyers")) << textos.join(" | ").toStdString();
}
