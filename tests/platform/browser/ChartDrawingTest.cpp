// What the drawn chart shows for awkward data: names with markup characters, repeated and empty
// labels, negative values in a pie, no values at all, and the value axis' ticks and format.
#include "platform/browser/ChartPage.h"

#include "common/TestSupport.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPieSeries>
#include <QPieSlice>
#include <gtest/gtest.h>

#include <memory>

using namespace bd::browser;

namespace {

// A chart laid out at a readable size, never shown.
struct Drawn {
    std::unique_ptr<QChartView> view;
    explicit Drawn(QChart* chart, QSize size = QSize(1000, 560)) : view(std::make_unique<QChartView>(chart)) {
        view->setAttribute(Qt::WA_DontShowOnScreen);
        view->resize(size);
        chart->resize(size);
        view->show();
        QApplication::sendPostedEvents();
        QApplication::processEvents();
    }
    QChart* chart() const { return view->chart(); }
    // Every text the scene shows, as a reader sees it (zero-width marks removed).
    QStringList texts() const { return bd::test::sceneTexts(view->scene()); }
    QStringList categoryLabels() const {
        QStringList out;
        for (QAbstractAxis* a : chart()->axes())
            if (auto* c = qobject_cast<QBarCategoryAxis*>(a))
                for (QString s : c->categories())
                    out << s.remove(QChar(0x200B));
        return out;
    }
};

ChartModel Single(const QStringList& labels, const QList<double>& values) {
    ChartModel m;
    m.caption = "Sales";
    m.categories = labels;
    m.series = {{"", values, QList<bool>(values.size(), false), true}};
    return m;
}

} // namespace

TEST(ChartDrawing, NamesWithMarkupCharactersAreShownAsWritten) {
    ChartModel m = Single({"A <B>", "R&D", "x > y", "<i>plain</i>"}, {10, 20, 30, 40});
    m.caption = "Q&A <2024>";
    m.xAxisName = "Customer <name>";
    m.yAxisName = "Amount & tax";
    for (const char* id : {"Column3D", "Bar2D", "Line", "Pie2D"}) {
        SCOPED_TRACE(id);
        Drawn d(BuildChart(id, m));
        const QStringList texts = d.texts();
        EXPECT_TRUE(d.chart()->title().contains("Q&amp;A &lt;2024&gt;"));
        const bool pie = QString(id) == "Pie2D";
        for (const QString& name : m.categories) {
            const bool found = std::any_of(texts.begin(), texts.end(), [&](const QString& t) {
                return pie ? t.startsWith(name + ": ") : t == name;
            });
            EXPECT_TRUE(found) << name.toStdString() << " not in " << texts.join(" | ").toStdString();
        }
        if (!pie) {
            EXPECT_TRUE(texts.contains("Customer <name>")) << texts.join(" | ").toStdString();
            EXPECT_TRUE(texts.contains("Amount & tax")) << texts.join(" | ").toStdString();
        }
    }
    // Series names in the legend.
    ChartModel ms;
    ms.multiSeries = true;
    ms.categories = {"North", "South"};
    ms.series = {{"<2023>", {1, 2}, {false, false}, false}, {"H&M", {3, 4}, {false, false}, false}};
    Drawn d(BuildChart("MSColumn3D", ms));
    const QStringList texts = d.texts();
    EXPECT_TRUE(texts.contains("<2023>")) << texts.join(" | ").toStdString();
    EXPECT_TRUE(texts.contains("H&M")) << texts.join(" | ").toStdString();
}

TEST(ChartDrawing, RepeatedAndEmptyLabelsKeepOneBarEach) {
    // Labels cut to 20 characters collide; a NULL member has an empty label.
    const QStringList labels = {"Northern Enterprises", "Northern Enterprises", "", "South", ""};
    const QList<double> values = {100, 200, 300, 400, 500};
    for (const char* id : {"Column3D", "Bar2D", "Line"}) {
        SCOPED_TRACE(id);
        Drawn d(BuildChart(id, Single(labels, values)));
        const QStringList shown = d.categoryLabels();
        QStringList expected = labels;
        if (QString(id) == "Bar2D") std::reverse(expected.begin(), expected.end());
        EXPECT_EQ(shown, expected);
        QList<double> drawn;
        if (auto* bars = qobject_cast<QAbstractBarSeries*>(d.chart()->series().at(0))) {
            ASSERT_EQ(bars->barSets().size(), 1);
            for (int i = 0; i < bars->barSets()[0]->count(); ++i)
                drawn << bars->barSets()[0]->at(i);
            if (QString(id) == "Bar2D") std::reverse(drawn.begin(), drawn.end());
        } else if (auto* line = qobject_cast<QLineSeries*>(d.chart()->series().at(0))) {
            for (const QPointF& p : line->points())
                drawn << p.y();
        }
        EXPECT_EQ(drawn, values);
        // Both "Northern Enterprises" labels are drawn, each under its own bar.
        EXPECT_EQ(d.texts().count("Northern Enterprises"), 2) << d.texts().join(" | ").toStdString();
    }
}

TEST(ChartDrawing, APieOfNegativeValuesSaysWhyInsteadOfDrawingSlices) {
    for (const char* id : {"Pie2D", "Pie3D", "Doughnut2D"}) {
        SCOPED_TRACE(id);
        Drawn d(BuildChart(id, Single({"North", "South", "East"}, {50, -20, 30})));
        ASSERT_EQ(d.chart()->series().size(), 0);
        EXPECT_TRUE(ChartNote(d.chart()).contains("cannot show negative values: 1 of the 3 values"))
            << ChartNote(d.chart()).toStdString();
        EXPECT_TRUE(d.texts().contains(ChartNote(d.chart())));
    }
    // Without negatives the slices are the values themselves.
    Drawn ok(BuildChart("Pie2D", Single({"North", "South"}, {50, 30})));
    auto* pie = qobject_cast<QPieSeries*>(ok.chart()->series().at(0));
    ASSERT_NE(pie, nullptr);
    EXPECT_EQ(pie->slices().at(0)->value(), 50);
    EXPECT_EQ(pie->slices().at(0)->label(), "North: 50.00");
    EXPECT_TRUE(ChartNote(ok.chart()).isEmpty());
    // A column chart shows negative values below the axis, which reaches below zero.
    Drawn col(BuildChart("Column3D", Single({"North", "South"}, {50, -20})));
    auto* val = qobject_cast<QCategoryAxis*>(col.chart()->axes(Qt::Vertical).at(0));
    ASSERT_NE(val, nullptr);
    EXPECT_LT(val->min(), -19.99);
}

TEST(ChartDrawing, AnEmptyResultIsAnEmptyChartWithoutTicks) {
    ChartModel empty;
    empty.caption = "Sales";
    empty.decimals = 0;
    for (const char* id : {"Column3D", "MSColumn3D", "Pie2D", "Line"}) {
        SCOPED_TRACE(id);
        Drawn d(BuildChart(id, empty));
        EXPECT_TRUE(d.chart()->series().isEmpty());
        EXPECT_TRUE(d.chart()->axes().isEmpty());
        EXPECT_EQ(ChartNote(d.chart()), "No values to chart.");
        QStringList texts = d.texts();
        texts.removeAll("Sales");
        EXPECT_EQ(texts, QStringList{"No values to chart."});
    }
}

TEST(ChartDrawing, ValueTicksAreRoundAndNeverRepeatALabel) {
    struct Case {
        double lo, hi;
        int decimals;
        QList<double> want;
    } cases[] = {
        {0, 1641.87, 2, {0, 500, 1000, 1500, 2000}},
        {-150, 800, 0, {-200, 0, 200, 400, 600, 800}},
        {0, 0.6, 0, {0, 1}},      // whole numbers only: no "0 0 0 1 1 1"
        {0, 0.006, 2, {0, 0.01}}, // two decimals: steps of 0.01 at least
        {0, 3, 0, {0, 1, 2, 3}},  //
        {0, 0, 0, {0, 1}},        // nothing to show: one step
        {0, 864000, 2, {0, 200000, 400000, 600000, 800000, 1000000}},
    };
    for (const Case& c : cases) {
        const QList<double> got = ValueTicks(c.lo, c.hi, c.decimals);
        ASSERT_EQ(got.size(), c.want.size()) << c.lo << ".." << c.hi;
        for (int i = 0; i < got.size(); ++i)
            EXPECT_NEAR(got[i], c.want[i], 1e-9) << c.lo << ".." << c.hi << " #" << i;
    }
}

TEST(ChartDrawing, TheValueAxisAndBarLabelsUseTheGivenFormat) {
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    const ValueFormatter money = [en](double v) { return "$" + en.toString(v, 'f', 2); };
    ChartModel m = Single({"Laptop", "Mouse"}, {748246.69, 16089.5});
    m.yAxisName = "Amount";
    Drawn d(BuildChart("Column3D", m, money));
    auto* val = qobject_cast<QCategoryAxis*>(d.chart()->axes(Qt::Vertical).at(0));
    ASSERT_NE(val, nullptr);
    EXPECT_EQ(val->categoriesLabels(), QStringList({"$0.00", "$200,000.00", "$400,000.00", "$600,000.00",
                                                    "$800,000.00", "$1,000,000.00"}));
    const QStringList texts = d.texts();
    EXPECT_TRUE(texts.contains("$748,246.69")) << texts.join(" | ").toStdString();
    EXPECT_TRUE(texts.contains("$800,000.00"));
    EXPECT_FALSE(texts.contains("800000.00"));
}

// A chart in a low pane (a new cube's chart takes a quarter of the viewer) still reads: its labels are
// not cut to "...".
TEST(ChartDrawing, ALowChartKeepsItsLabelsWhole) {
    ChartModel one = Single({"East", "North", "South", "West"}, {99.99, 200.5, 256, 150});
    one.yAxisName = "Amount";
    ChartModel multi = one;
    multi.multiSeries = true;
    multi.series = {{"Ann", {0, 120.5, 200.25, 0}, QList<bool>(4, false), false},
                    {"Bob", {99.99, 80, 0, 0}, QList<bool>(4, false), false}};
    for (const int height : {130, 160, 220}) {
        for (const ChartModel* m : {&one, &multi}) {
            SCOPED_TRACE(height);
            Drawn d(BuildChart(m->multiSeries ? "MSColumn3D" : "Column3D", *m), QSize(1500, height));
            for (const QString& t : d.texts())
                EXPECT_FALSE(t.endsWith("...") || t.endsWith(QChar(0x2026))) << t.toStdString();
        }
    }
}
