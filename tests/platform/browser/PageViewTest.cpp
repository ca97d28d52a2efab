#include "platform/browser/PageView.h"

#include "common/TestSupport.h"
#include "publishing/ChartFiles.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QGraphicsSimpleTextItem>
#include <QHorizontalBarSeries>
#include <QHorizontalStackedBarSeries>
#include <QLineSeries>
#include <QPieSeries>
#include <QPieSlice>
#include <QPrinter>
#include <QProcess>
#include <QSignalSpy>
#include <QStackedBarSeries>
#include <QStandardPaths>
#include <QValueAxis>
#include <gtest/gtest.h>

using namespace bd::browser;
namespace charts = bd::charts;

namespace {

// Writes Charts/Data.xml and Charts/Chart.html the way the viewer does, into a private folder.
struct ChartFolder {
    bd::test::TempHome home{false};
    QString dir = home.path("Charts");
    ChartFolder() { QDir().mkpath(dir); }
    QString page() const { return dir + "/Chart.html"; }
    QString data() const { return dir + "/Data.xml"; }

    void write(const QString& chartId, const QString& xml, bool limited = false) {
        charts::WriteChartFile(data(), xml);
        charts::ChartPageInput in;
        in.title = "Example cube";
        in.movieFile = chartId + ".swf";
        in.dataPath = data();
        in.width = 600;
        in.height = 300;
        in.limited = limited;
        charts::WriteChartFile(page(), charts::BuildChartHtml(in));
    }
    void single(const QString& chartId, const QList<std::pair<QString, double>>& values,
                const QList<bool>& sliced = {}) {
        charts::ChartSettings s;
        s.caption = "Sales by region";
        s.subCaption = "Year 2024";
        s.xAxisName = "Region";
        s.yAxisName = "Amount";
        s.decimals = 2;
        charts::SingleSeriesData d;
        for (int i = 0; i < values.size(); ++i) {
            charts::ChartPoint p;
            p.rowHeaders = {values[i].first};
            p.value = values[i].second;
            if (sliced.value(i)) p.slice = "isSliced='1'";
            d.points << p;
        }
        write(chartId, charts::BuildSingleSeriesXml(s, d).xml);
    }
};

const QList<std::pair<QString, double>> kRegions = {
    {"North", 1250.5}, {"South", 980}, {"East", 1520.25}, {"West", 640}, {"O'Hara Co", 310}};

QString Shot(const QString& name) {
    return QDir::temp().filePath(name);
}

} // namespace

TEST(ChartPage, FindsTheMovieInTheWrittenPage) {
    charts::ChartPageInput in;
    in.movieFile = "MSColumn3D.swf";
    in.dataPath = "/srv/a&b \"x\"/Charts/Data.xml";
    in.width = 555;
    in.height = 265;
    const auto m = FindChartMovie(charts::BuildChartHtml(in), "/srv");
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->chartId, "MSColumn3D");
    EXPECT_EQ(m->dataPath, "/srv/a&b \"x\"/Charts/Data.xml");
    EXPECT_EQ(m->size, QSize(555, 265));

    // Only the object's params, a relative data file.
    const QString objectOnly = "<object width='10' height='20'><param name=\"movie\" value=\"Pie2D.swf\" />"
                               "<param name=\"FlashVars\" value=\"&dataURL=Data.xml\"></object>";
    const auto o = FindChartMovie(objectOnly, "/opt/app/Charts");
    ASSERT_TRUE(o.has_value());
    EXPECT_EQ(o->chartId, "Pie2D");
    EXPECT_EQ(o->dataPath, "/opt/app/Charts/Data.xml");

    in.limited = true;
    EXPECT_FALSE(FindChartMovie(charts::BuildChartHtml(in), "/srv").has_value());
}

TEST(ChartPage, ReadsSingleAndMultiSeriesData) {
    ChartModel m;
    QString err;
    ASSERT_TRUE(ParseChartData("<chart caption='C' subcaption='S' xAxisName='X' yAxisName='Y' decimals='1' "
                               "showLabels='0' >\r\n<set label='A' value='1.5' isSliced='1'/>\r\n"
                               "<set label='B' value='-2' />\r\n\r\n</chart>\r\n",
                               &m, &err))
        << err.toStdString();
    EXPECT_FALSE(m.multiSeries);
    EXPECT_EQ(m.caption, "C");
    EXPECT_EQ(m.decimals, 1);
    EXPECT_FALSE(m.showLabels);
    EXPECT_EQ(m.categories, QStringList({"A", "B"}));
    ASSERT_EQ(m.series.size(), 1);
    EXPECT_EQ(m.series[0].values, QList<double>({1.5, -2}));
    EXPECT_EQ(m.series[0].sliced, QList<bool>({true, false}));

    charts::MultiSeriesData d{{"N", "S"}, {"2023", "2024"}, {{"2023", "N", 1}, {"2024", "S", 4}}};
    ASSERT_TRUE(ParseChartData(charts::BuildMultiSeriesXml({}, d).xml.toUtf8(), &m, &err));
    EXPECT_TRUE(m.multiSeries);
    ASSERT_EQ(m.series.size(), 2);
    EXPECT_EQ(m.series[1].name, "2024");
    EXPECT_EQ(m.series[1].values, QList<double>({0, 4}));
    EXPECT_FALSE(m.series[1].showValues);

    EXPECT_FALSE(ParseChartData("<chart><set label='A' value='1'/>", &m, &err));
    EXPECT_FALSE(err.isEmpty());
    EXPECT_FALSE(ParseChartData("<html/>", &m, &err));
}

TEST(ChartPage, EveryCatalogueIdHasItsNearestDrawing) {
    using K = ChartKind;
    const std::pair<const char*, K> ids[] = {
        {"Area2D", K::Area},
        {"Bar2D", K::Bar},
        {"Column2D", K::Column},
        {"Column3D", K::Column},
        {"Line", K::Line},
        {"Doughnut2D", K::Doughnut},
        {"Doughnut3D", K::Doughnut},
        {"Pie2D", K::Pie},
        {"Pie3D", K::Pie},
        {"ScrollArea2D", K::Area},
        {"ScrollColumn2D", K::Column},
        {"ScrollLine2D", K::Line},
        {"StackedArea2D", K::StackedArea},
        {"StackedBar2D", K::StackedBar},
        {"StackedColumn2D", K::StackedColumn},
        {"StackedColumn3D", K::StackedColumn},
        {"MSArea", K::Area},
        {"MSBar2D", K::Bar},
        {"MSColumn2D", K::Column},
        {"MSColumn3D", K::Column},
        {"MSLine", K::Line},
        {"Radar", K::Column},
    };
    ChartModel m;
    m.categories = {"a", "b", "c"};
    m.series = {{"s1", {1, 2, 3}, {false, true, false}, true},
                {"s2", {3, 2, 1}, {false, false, false}, true}};
    m.multiSeries = true;
    for (const auto& [id, kind] : ids) {
        EXPECT_EQ(KindOfChart(id), kind) << id;
        std::unique_ptr<QChart> c(BuildChart(id, m));
        ASSERT_FALSE(c->series().isEmpty()) << id;
        QAbstractSeries* s = c->series().first();
        switch (kind) {
        case K::Column:
            EXPECT_EQ(s->type(), QAbstractSeries::SeriesTypeBar) << id;
            break;
        case K::StackedColumn:
            EXPECT_EQ(s->type(), QAbstractSeries::SeriesTypeStackedBar) << id;
            break;
        case K::Bar:
            EXPECT_EQ(s->type(), QAbstractSeries::SeriesTypeHorizontalBar) << id;
            break;
        case K::StackedBar:
            EXPECT_EQ(s->type(), QAbstractSeries::SeriesTypeHorizontalStackedBar) << id;
            break;
        case K::Line:
            EXPECT_EQ(s->type(), QAbstractSeries::SeriesTypeLine) << id;
            break;
        case K::Area:
        case K::StackedArea:
            EXPECT_EQ(s->type(), QAbstractSeries::SeriesTypeArea) << id;
            break;
        case K::Pie:
        case K::Doughnut:
            EXPECT_EQ(s->type(), QAbstractSeries::SeriesTypePie) << id;
            break;
        }
        const bool pie = kind == K::Pie || kind == K::Doughnut;
        EXPECT_EQ(c->series().size(), pie || kind == K::Column || kind == K::Bar ||
                                              kind == K::StackedColumn || kind == K::StackedBar
                                          ? 1
                                          : 2)
            << id;
    }
    // Stacked areas sit on the series below.
    std::unique_ptr<QChart> c(BuildChart("StackedArea2D", m));
    auto* top = qobject_cast<QAreaSeries*>(c->series().at(1));
    ASSERT_NE(top->lowerSeries(), nullptr);
    EXPECT_EQ(top->upperSeries()->at(0).y(), 4);
    EXPECT_EQ(top->lowerSeries()->at(0).y(), 1);
}

TEST(PageView, ColumnChartPageIsDrawnWithItsValuesAndCaptions) {
    ChartFolder f;
    f.single("Column3D", kRegions);
    PageView view;
    QSignalSpy done(&view, &PageView::loadCompleted);
    EXPECT_EQ(view.readyState(), PageView::Uninitialized);
    ASSERT_TRUE(view.navigate(f.page())) << view.errorString().toStdString();
    EXPECT_EQ(view.readyState(), PageView::Complete);
    EXPECT_EQ(view.title(), "Example cube");
    ASSERT_TRUE(view.isChart());
    EXPECT_EQ(view.movie().chartId, "Column3D");
    ASSERT_TRUE(done.wait(1000));
    EXPECT_EQ(done.at(0).at(0).toString(), QFileInfo(f.page()).absoluteFilePath());

    QChart* chart = view.chartView()->chart();
    EXPECT_TRUE(chart->title().contains("Sales by region"));
    EXPECT_TRUE(chart->title().contains("Year 2024"));
    auto* bars = qobject_cast<QBarSeries*>(chart->series().at(0));
    ASSERT_NE(bars, nullptr);
    QStringList labels;
    for (QGraphicsItem* i : chart->childItems())
        if (auto* t = dynamic_cast<QGraphicsSimpleTextItem*>(i)) labels << t->text();
    EXPECT_EQ(labels, QStringList({"1250.50", "980.00", "1520.25", "640.00", "310.00"}));
    QBarSet* set = bars->barSets().at(0);
    ASSERT_EQ(set->count(), 5);
    EXPECT_EQ(set->at(2), 1520.25);
    auto* cat = qobject_cast<QBarCategoryAxis*>(chart->axes(Qt::Horizontal).at(0));
    EXPECT_EQ(cat->categories(), QStringList({"North", "South", "East", "West", "OHara Co"}));
    EXPECT_EQ(cat->titleText(), "Region");
    auto* val = qobject_cast<QCategoryAxis*>(chart->axes(Qt::Vertical).at(0));
    ASSERT_NE(val, nullptr);
    EXPECT_EQ(val->titleText(), "Amount");
    // Ticks of 500 with the data file's two decimals, the first one labelled too.
    EXPECT_EQ(val->categoriesLabels(), QStringList({"0.00", "500.00", "1000.00", "1500.00", "2000.00"}));

    const QImage img = view.renderImage(QSize(640, 400));
    EXPECT_EQ(img.size(), QSize(640, 400));
    EXPECT_TRUE(img.save(Shot("bd-chart-column.png")));
    // Not shown and at another size too.
    EXPECT_EQ(view.renderImage(QSize(300, 200)).size(), QSize(300, 200));
}

TEST(PageView, PieSlicesMarkedSlicedArePulledOut) {
    ChartFolder f;
    f.single("Pie2D", kRegions, {false, false, true, false, false});
    PageView view;
    ASSERT_TRUE(view.navigate(QUrl::fromLocalFile(f.page()).toString()));
    auto* pie = qobject_cast<QPieSeries*>(view.chartView()->chart()->series().at(0));
    ASSERT_NE(pie, nullptr);
    ASSERT_EQ(pie->count(), 5);
    QList<bool> exploded;
    for (QPieSlice* s : pie->slices())
        exploded << s->isExploded();
    EXPECT_EQ(exploded, QList<bool>({false, false, true, false, false}));
    EXPECT_EQ(pie->slices().at(2)->label(), "East: 1520.25");
    EXPECT_TRUE(pie->slices().at(2)->isLabelVisible());
    EXPECT_TRUE(view.renderImage(QSize(640, 400)).save(Shot("bd-chart-pie.png")));
}

TEST(PageView, MultiSeriesChartHasOneSetPerSeries) {
    ChartFolder f;
    charts::ChartSettings s;
    s.caption = "Sales by region and year";
    charts::MultiSeriesData d{
        {"North", "South", "East"},
        {"2023", "2024"},
        {{"2023", "North", 10}, {"2023", "South", 7}, {"2024", "North", 12}, {"2024", "East", 9}}};
    f.write("MSColumn3D", charts::BuildMultiSeriesXml(s, d).xml);
    PageView view;
    ASSERT_TRUE(view.navigate(f.page()));
    auto* bars = qobject_cast<QBarSeries*>(view.chartView()->chart()->series().at(0));
    ASSERT_NE(bars, nullptr);
    ASSERT_EQ(bars->count(), 2);
    EXPECT_EQ(bars->barSets().at(1)->label(), "2024");
    EXPECT_EQ(bars->barSets().at(1)->at(1), 0);
    EXPECT_TRUE(view.chartView()->chart()->legend()->isVisible());
    EXPECT_TRUE(view.renderImage(QSize(640, 400)).save(Shot("bd-chart-mscolumn.png")));
}

TEST(PageView, LimitPageIsShownAsText) {
    ChartFolder f;
    f.single("Column3D", kRegions);
    f.write("Column3D", "", true);
    PageView view;
    ASSERT_TRUE(view.navigate(f.page()));
    EXPECT_FALSE(view.isChart());
    EXPECT_EQ(view.readyState(), PageView::Complete);
    EXPECT_TRUE(view.plainText().contains("Too many values on chart makes this unreadable."));
    EXPECT_TRUE(view.plainText().contains("Maximum limit is exceeded. Was limited to: 150 results."));
    EXPECT_TRUE(view.renderImage(QSize(500, 120)).save(Shot("bd-chart-limit.png")));
}

TEST(PageView, UnreadablePagesAndDataCompleteWithAReason) {
    ChartFolder f;
    PageView view;
    QSignalSpy done(&view, &PageView::loadCompleted);
    EXPECT_FALSE(view.navigate(f.dir + "/Missing.html"));
    EXPECT_EQ(view.readyState(), PageView::Complete);
    EXPECT_FALSE(view.errorString().isEmpty());

    f.write("Column3D", "<chart><set label='A'"); // cut-off data file
    EXPECT_FALSE(view.navigate(f.page()));
    EXPECT_FALSE(view.isChart());
    EXPECT_TRUE(view.plainText().contains("Data.xml"));
    EXPECT_TRUE(done.wait(1000));
    EXPECT_EQ(done.count(), 2);
}

TEST(PageView, PrintsChartAndTextPagesToPdf) {
    ChartFolder f;
    f.single("Bar2D", kRegions);
    PageView view;
    view.resize(700, 400);
    ASSERT_TRUE(view.navigate(f.page()));
    for (const QString& name : {QString("chart.pdf"), QString("text.pdf")}) {
        if (name == "text.pdf") {
            f.write("Column3D", "", true);
            ASSERT_TRUE(view.navigate(f.page()));
        }
        QPrinter printer(QPrinter::ScreenResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(f.dir + "/" + name);
        ASSERT_TRUE(view.print(&printer)) << name.toStdString();
        const QByteArray pdf = bd::test::readFile(f.dir + "/" + name);
        EXPECT_TRUE(pdf.startsWith("%PDF")) << name.toStdString();
        EXPECT_GT(pdf.size(), 1000) << name.toStdString();
        if (name == "chart.pdf") {
            // The whole chart is on the page, wider than high on a landscape one.
            EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
            if (!QStandardPaths::findExecutable("pdftotext").isEmpty()) {
                QProcess text;
                text.start("pdftotext", {f.dir + "/" + name, "-"});
                text.waitForFinished(20000);
                const QString printed = QString::fromUtf8(text.readAllStandardOutput());
                for (const char* label : {"North", "South", "East", "West", "OHara Co", "Sales by region"})
                    EXPECT_TRUE(printed.contains(label)) << label << " not in " << printed.toStdString();
            }
        }
    }
}

TEST(PageView, EveryKindRendersOffscreen) {
    ChartFolder f;
    PageView view; // never shown
    for (const char* id : {"Bar2D", "Line", "Area2D", "StackedColumn3D", "Doughnut2D"}) {
        f.single(id, kRegions, {true});
        ASSERT_TRUE(view.navigate(f.page())) << id;
        const QImage img = view.renderImage(QSize(480, 300));
        // Something besides the white page was drawn.
        int dark = 0;
        for (int y = 0; y < img.height(); y += 4)
            for (int x = 0; x < img.width(); x += 4)
                dark += qGray(img.pixel(x, y)) < 200;
        EXPECT_GT(dark, 100) << id;
        img.save(Shot(QString("bd-chart-%1.png").arg(id)));
    }
}

TEST(ChartPage, ShowLabelsOffHidesCategoryLabelsAndPieLabels) {
    ChartModel m;
    m.categories = {"a", "b"};
    m.series = {{"", {1, 2}, {false, false}, true}};
    m.xAxisName = "X";
    for (bool show : {true, false}) {
        m.showLabels = show;
        std::unique_ptr<QChart> col(BuildChart("Column2D", m));
        EXPECT_EQ(col->axes(Qt::Horizontal).at(0)->labelsVisible(), show);
        std::unique_ptr<QChart> pie(BuildChart("Pie3D", m));
        auto* s = qobject_cast<QPieSeries*>(pie->series().at(0));
        EXPECT_EQ(s->slices().at(0)->isLabelVisible(), show);
        EXPECT_EQ(pie->legend()->isVisible(), !show); // names stay readable in the legend
    }
}

TEST(PageView, PlainPageIsShownAsTextWithItsTitle) {
    ChartFolder f;
    bd::test::writeFile(f.home.path("wait.html"), "<html><head><title>Please &amp; wait</title></head>"
                                                  "<body><p>Loading data...</p></body></html>\r\n");
    PageView view;
    ASSERT_TRUE(view.navigate(f.home.path("wait.html")));
    EXPECT_FALSE(view.isChart());
    EXPECT_EQ(view.title(), "Please & wait");
    EXPECT_TRUE(view.plainText().contains("Loading data..."));
}
