#pragma once
// Chart pages: the movie a page embeds, the chart data file it points at, and the Qt Charts chart
// that stands in for the movie.
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

QT_BEGIN_NAMESPACE
class QChart;
QT_END_NAMESPACE

namespace bd::browser {

// The chart movie embedded in a page (the embed tag, or the object's movie and FlashVars params).
struct ChartMovie {
    QString chartId;  // movie file stem, e.g. "Column3D", "MSLine"
    QString dataPath; // the data file, resolved against the page's folder
    QSize size;       // width and height the page gives the movie (0 when absent)
};
// nullopt when the page embeds no movie.
std::optional<ChartMovie> FindChartMovie(const QString& html, const QString& pageDir);

// The chart data file's content.
struct ChartSeries {
    QString name;
    QList<double> values; // one per category
    QList<bool> sliced;   // pie slices pulled out, one per category
    bool showValues = true;
};
struct ChartModel {
    QString caption, subCaption, xAxisName, yAxisName;
    int decimals = 2;
    bool showLabels = true;
    bool multiSeries = false;
    QStringList categories;
    QList<ChartSeries> series;
};
// Parses the data file text; false with a message in *error when it is not a chart.
bool ParseChartData(const QByteArray& xml, ChartModel* model, QString* error);

// The nearest Qt Charts drawing of a chart id.
enum class ChartKind { Column, StackedColumn, Bar, StackedBar, Line, Area, StackedArea, Pie, Doughnut };
// Unknown ids draw as columns, the default chart type.
ChartKind KindOfChart(const QString& chartId);

// The text of a value on the value axis and over the bars (the measure's own number format);
// empty: the chart's decimals, "." as decimal point.
using ValueFormatter = std::function<QString(double)>;

// A new chart (caller owns it) drawing model as chartId; animations off, so it is ready at once.
// Every name is drawn as plain text; repeated category labels keep one bar each. A pie of negative
// values and a chart without values draw no series and say why in the chart's note.
QChart* BuildChart(const QString& chartId, const ChartModel& model, const ValueFormatter& format = {});
// The note a chart built by BuildChart shows instead of its series ("" when none).
QString ChartNote(const QChart* chart);

// The values of the value axis' labels: steps of 1, 2, 2.5 or 5 times a power of ten that cover
// [minV, maxV] in about wantedSteps steps, never finer than the chart's decimals show.
QList<double> ValueTicks(double minV, double maxV, int decimals, int wantedSteps = 6);

// Value text with the chart's decimals, "." as decimal point.
QString FormatChartValue(double v, int decimals);

} // namespace bd::browser
