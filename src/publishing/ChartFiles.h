#pragma once
// Writers of the chart data file (Charts/Data.xml) and the chart page (Charts/Chart.html).
// Pure functions over plain inputs: the viewer reads the pivot and fills these structs.
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace bd::charts {

// Settings of one chart run, already defaulted and clamped (see ParseChartInt).
struct ChartSettings {
    QString caption, subCaption, xAxisName, yAxisName;
    int decimals = 0;       // from the measure's number format (ChartDecimals)
    int labelAutoHide = 40; // showLabels goes to 0 above this many values
    int maxLabelChars = 20; // labels are cut to this many characters; 0 = no cut
    int resultLimit = 150;  // at most this many values
    bool drawTotals = false;
};

// One cell of the measure's result columns, in reading order (column by column, row by row).
struct ChartPoint {
    QStringList rowHeaders; // one header text per row-field level, outermost first
    QString columnHeader;   // header of the column (used with exactly one column field)
    double value = 0;
    bool totalRow = false, totalColumn = false;
    QString slice; // pie-slice attribute text from SliceAttribute, "" = none
};

struct SingleSeriesData {
    int columnFields = 0;
    QList<ChartPoint> points;
};

// Multi-series body: categories and series in reading order (repeats are dropped, first one kept),
// values looked up by (series, category); a missing cell is written as 0.
struct MultiSeriesCell {
    QString series, category;
    double value = 0;
};
struct MultiSeriesData {
    QStringList categories;
    QStringList series;
    QList<MultiSeriesCell> cells;
};

// Which body the data file gets for a pivot layout.
enum class ChartBody { SingleSeries, OneColumnOneRowField, TwoRowFields };
struct ChartLayout {
    ChartBody body = ChartBody::SingleSeries;
    QString chartId; // the multi-series id when a multi-series body is chosen
};
// multiSeriesId: the catalogue's multi-series id of chartId, "" when it has none (pies, doughnuts).
ChartLayout ChooseChartLayout(const QString& chartId, const QString& multiSeriesId, int rowFields,
                              int columnFields);

// Result of building the data file text.
struct ChartData {
    QString xml;          // the whole file, final CR LF included
    bool limited = false; // stopped at the result limit
    int count = 0;        // values written by the single-series pass
};

ChartData BuildSingleSeriesXml(const ChartSettings& s, const SingleSeriesData& data);
ChartData BuildMultiSeriesXml(const ChartSettings& s, const MultiSeriesData& data);

// The multi-series body alone (categories and datasets); limited tells whether the limit was hit.
QString MultiSeriesBody(const MultiSeriesData& data, int resultLimit, bool* limited);

// Inputs of the chart page.
struct ChartPageInput {
    QString title;     // cube description, or the cube name when that is empty
    QString movieFile; // chart id & ".swf", relative to the page
    QString dataPath;  // full path of the data file
    int width = 1, height = 1;
    bool limited = false;
    int resultLimit = 150;
};
QString BuildChartHtml(const ChartPageInput& in);

// Chart size in pixels from the chart area's size in pixels; never below 1.
int ChartWidth(int areaWidthPx);
int ChartHeight(int areaHeightPx);

// Decimals of the chart: none = no result column of the measure (0); an empty format gives 2;
// otherwise the decimals of the format with the given separator (ContarDecimales).
int ChartDecimals(const std::optional<QString>& numberFormat, const QString& decimalSeparator);

// An integer setting from its grid text: empty or not a whole number gives the default; the result
// is clamped to [min, max].
int ParseChartInt(const QString& text, int def, int min, int max);

// One measure row of the measure grid, for the pie-slice attribute.
struct AlertRow {
    QString name;          // column 1
    QString aggregateName; // column 3, "" on an alert sub-row
    QString low, high;     // columns 4 and 5
};
// Aggregate code of an aggregate name ("Sum" 0, "Count" 1, "Avg" 2, "Max" 3, "Min" 4, "StDev" 5,
// "StDevP" 6, "Var" 7, "VarP" 8), -1 when unknown.
int AggregateCode(const QString& name);
// "isSliced='1'" / "isSliced='0'" for pie and doughnut 2D / pie 3D movies, "" otherwise or when a
// bound is not a number.
QString SliceAttribute(const QString& movieFile, const QString& fieldName, int aggregateCode, double value,
                       const QList<AlertRow>& rows);

// The value as the files write it: up to 15 significant digits, "." as decimal point.
QString ChartValueText(double v);

// Writes a chart file as UTF-8, replacing an existing one; false when it cannot be written.
bool WriteChartFile(const QString& path, const QString& text);

} // namespace bd::charts
