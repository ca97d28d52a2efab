#include "platform/browser/ChartPage.h"

#include <QAbstractBarSeries>
#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsView>
#include <QHorizontalBarSeries>
#include <QHorizontalStackedBarSeries>
#include <QLegend>
#include <QLineSeries>
#include <QPieSeries>
#include <QPieSlice>
#include <QRegularExpression>
#include <QSet>
#include <QStackedBarSeries>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>

namespace bd::browser {

namespace {

QString Unescape(const QString& s) {
    static const QRegularExpression ent(QStringLiteral("&(amp|lt|gt|quot|apos|#[0-9]+|#[xX][0-9a-fA-F]+);"));
    QString out;
    qsizetype last = 0;
    for (auto it = ent.globalMatch(s); it.hasNext();) {
        const auto m = it.next();
        out += s.mid(last, m.capturedStart() - last);
        const QString e = m.captured(1);
        if (e == "amp")
            out += '&';
        else if (e == "lt")
            out += '<';
        else if (e == "gt")
            out += '>';
        else if (e == "quot")
            out += '"';
        else if (e == "apos")
            out += '\'';
        else {
            bool ok = false;
            const uint code = (e[1] == 'x' || e[1] == 'X') ? e.mid(2).toUInt(&ok, 16) : e.mid(1).toUInt(&ok);
            if (ok && code > 0 && code <= 0x10FFFF)
                out += QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
        }
        last = m.capturedEnd();
    }
    return out + s.mid(last);
}

// Attributes of one tag, names lower-cased, values unescaped.
QHash<QString, QString> Attributes(const QString& tag) {
    static const QRegularExpression attr(
        QStringLiteral("([A-Za-z_:][-A-Za-z0-9_:.]*)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+))"));
    QHash<QString, QString> a;
    for (auto it = attr.globalMatch(tag); it.hasNext();) {
        const auto m = it.next();
        const QString v = m.capturedStart(2) >= 0   ? m.captured(2)
                          : m.capturedStart(3) >= 0 ? m.captured(3)
                                                    : m.captured(4);
        const QString name = m.captured(1).toLower();
        if (!a.contains(name)) a.insert(name, Unescape(v));
    }
    return a;
}

QList<QHash<QString, QString>> Tags(const QString& html, const QString& name) {
    const QRegularExpression re("<" + name + "\\b[^>]*>", QRegularExpression::CaseInsensitiveOption);
    QList<QHash<QString, QString>> tags;
    for (auto it = re.globalMatch(html); it.hasNext();)
        tags << Attributes(it.next().captured(0).mid(name.size() + 1));
    return tags;
}

QString DataPathOf(const QString& flashVars, const QString& pageDir) {
    static const QRegularExpression re(QStringLiteral("(?:^|&)dataURL="),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(flashVars);
    if (!m.hasMatch()) return {};
    QString p = flashVars.mid(m.capturedEnd()); // a path may itself hold "&": it runs to the end
    if (p.startsWith("file:", Qt::CaseInsensitive)) p = QUrl(p).toLocalFile();
    if (p.isEmpty()) return {};
    return QDir::cleanPath(QDir(pageDir).absoluteFilePath(p));
}

QString ChartIdOf(const QString& movie) {
    QString f = QFileInfo(movie).fileName();
    if (f.endsWith(".swf", Qt::CaseInsensitive)) f.chop(4);
    return f;
}

QString Esc(const QString& s) {
    return s.toHtmlEscaped();
}

} // namespace

std::optional<ChartMovie> FindChartMovie(const QString& html, const QString& pageDir) {
    ChartMovie m;
    QString movie, vars;
    for (const auto& e : Tags(html, "embed")) {
        if (e.value("src").isEmpty()) continue;
        movie = e.value("src");
        vars = e.value("flashvars");
        m.size = QSize(e.value("width").toInt(), e.value("height").toInt());
        break;
    }
    if (movie.isEmpty()) {
        for (const auto& p : Tags(html, "param")) {
            const QString n = p.value("name").toLower();
            if (n == "movie")
                movie = p.value("value");
            else if (n == "flashvars")
                vars = p.value("value");
        }
        for (const auto& o : Tags(html, "object")) {
            m.size = QSize(o.value("width").toInt(), o.value("height").toInt());
            break;
        }
    }
    if (movie.isEmpty()) return std::nullopt;
    m.chartId = ChartIdOf(movie);
    m.dataPath = DataPathOf(vars, pageDir);
    return m;
}

bool ParseChartData(const QByteArray& xml, ChartModel* model, QString* error) {
    ChartModel md;
    QXmlStreamReader r(xml);
    auto num = [](QStringView v) {
        bool ok = false;
        const double d = v.trimmed().toDouble(&ok);
        return ok && std::isfinite(d) ? d : 0.0;
    };
    bool root = false;
    ChartSeries single;
    ChartSeries* dataset = nullptr;
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement) continue;
        const auto n = r.name();
        const auto a = r.attributes();
        if (!root) {
            if (n != u"chart") {
                r.raiseError(QStringLiteral("The data file holds no chart."));
                break;
            }
            root = true;
            md.caption = a.value("caption").toString();
            md.subCaption = a.value("subcaption").toString();
            md.xAxisName = a.value("xAxisName").toString();
            md.yAxisName = a.value("yAxisName").toString();
            bool ok = false;
            const int d = a.value("decimals").toInt(&ok);
            md.decimals = ok ? std::clamp(d, 0, 10) : 2;
            md.showLabels = a.value("showLabels") != u"0";
        } else if (n == u"category") {
            md.categories << a.value("label").toString();
        } else if (n == u"dataset") {
            md.multiSeries = true;
            ChartSeries s;
            s.name = a.value("seriesName").toString();
            s.showValues = a.value("showValues") != u"0";
            md.series << s;
            dataset = &md.series.last();
        } else if (n == u"set") {
            if (dataset) {
                dataset->values << num(a.value("value"));
                dataset->sliced << false;
            } else {
                md.categories << a.value("label").toString();
                single.values << num(a.value("value"));
                single.sliced << (a.value("isSliced") == u"1");
            }
        }
    }
    if (!r.hasError() && !root) r.raiseError(QStringLiteral("The data file is empty."));
    if (r.hasError()) {
        if (error) *error = r.errorString();
        return false;
    }
    if (md.multiSeries) {
        for (ChartSeries& s : md.series) {
            while (s.values.size() < md.categories.size())
                s.values << 0, s.sliced << false;
            s.values.resize(md.categories.size());
            s.sliced.resize(md.categories.size());
        }
    } else {
        md.series = {single};
    }
    *model = md;
    return true;
}

ChartKind KindOfChart(const QString& chartId) {
    QString id = chartId.toLower();
    if (id.startsWith("ms")) id = id.mid(2);
    if (id.startsWith("scroll")) id = id.mid(6);
    if (id.endsWith("2d") || id.endsWith("3d")) id.chop(2);
    if (id == "column") return ChartKind::Column;
    if (id == "stackedcolumn") return ChartKind::StackedColumn;
    if (id == "bar") return ChartKind::Bar;
    if (id == "stackedbar") return ChartKind::StackedBar;
    if (id == "line") return ChartKind::Line;
    if (id == "area") return ChartKind::Area;
    if (id == "stackedarea") return ChartKind::StackedArea;
    if (id == "pie") return ChartKind::Pie;
    if (id == "doughnut") return ChartKind::Doughnut;
    return ChartKind::Column;
}

QString FormatChartValue(double v, int decimals) {
    return QString::number(v, 'f', std::clamp(decimals, 0, 10));
}

QList<double> ValueTicks(double minV, double maxV, int decimals, int wantedSteps) {
    const double kWantedSteps = std::max(1, wantedSteps);
    if (!std::isfinite(minV) || !std::isfinite(maxV)) minV = 0, maxV = 1;
    if (maxV < minV) std::swap(minV, maxV);
    if (maxV - minV <= 0) maxV = minV + 1;
    const int shown = std::clamp(decimals, 0, 10);
    const double raw = (maxV - minV) / kWantedSteps;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / magnitude;
    // 2.5 only where the decimals shown can write it (25, 2.5 with one decimal, not 0.25 with one).
    const bool quarter = magnitude * std::pow(10.0, shown) >= 10 - 1e-9;
    double step = (norm <= 1                  ? 1
                   : norm <= 2                ? 2
                   : (norm <= 2.5 && quarter) ? 2.5
                   : norm <= 5                ? 5
                                              : 10) *
                  magnitude;
    // A step finer than the shown decimals would print the same label twice ("0 0 1 1").
    step = std::max(step, std::pow(10.0, -shown));
    const double lo = std::floor(minV / step + 1e-9), hi = std::max(lo + 1, std::ceil(maxV / step - 1e-9));
    QList<double> ticks;
    for (double k = lo; k <= hi; ++k) {
        const double t = k * step;
        ticks << (std::abs(t) < step * 1e-9 ? 0.0 : t);
    }
    return ticks;
}

namespace {

const QString kInvisible = QStringLiteral("\u200B"); // zero-width space
const char* const kNoteProperty = "bdChartNote";

// Qt Charts reads every label, title and legend entry as rich text: names are escaped so that
// "<", ">" and "&" show as written.
QString Plain(const QString& s) {
    return s.toHtmlEscaped();
}

// Category axes merge equal labels (and drop null ones): each repeat gets one more zero-width space,
// so every value keeps its own category while the label reads the same.
QStringList CategoryKeys(const QStringList& labels) {
    QStringList keys;
    QSet<QString> seen;
    for (const QString& l : labels) {
        QString k = Plain(l);
        if (k.isEmpty()) k = kInvisible;
        while (seen.contains(k))
            k += kInvisible;
        seen.insert(k);
        keys << k;
    }
    return keys;
}

QString Title(const ChartModel& m) {
    QString t;
    if (!m.caption.isEmpty()) t = "<b>" + Esc(m.caption) + "</b>";
    if (!m.subCaption.isEmpty()) t += (t.isEmpty() ? "" : "<br>") + Esc(m.subCaption);
    return t;
}

QString ValueText(double v, int decimals, const ValueFormatter& format) {
    return format ? format(v) : FormatChartValue(v, decimals);
}

// The value axis: a label on each tick, in the measure's own format.
constexpr int kMostValueSteps = 6;
// Below this height (pixels) a chart's legend stands at its right.
constexpr double kLowChartHeight = 240;
// The room a value label needs from the next one, in label heights: closer labels are cut to "...".
constexpr double kValueLabelSpacing = 1.6;

void FillValueAxis(QCategoryAxis* val, const ChartModel& m, double minV, double maxV,
                   const ValueFormatter& format, int steps) {
    for (const QString& old : val->categoriesLabels())
        val->remove(old);
    const QList<double> ticks = ValueTicks(minV, maxV, m.decimals, steps);
    const double step = ticks[1] - ticks[0];
    val->setStartValue(ticks.first() - step); // so that the first tick has its label too
    QSet<QString> seen;
    for (double t : ticks) {
        QString label = Plain(ValueText(t, m.decimals, format));
        while (seen.contains(label))
            label += kInvisible;
        seen.insert(label);
        val->append(label, t);
    }
    val->setRange(ticks.first(), ticks.last());
}

// As many value labels as the plot's height has room for; the axis title only when the plot is
// high enough to show it whole.
void FitValueAxis(QChart* chart, QCategoryAxis* val, const ChartModel& m, double minV, double maxV,
                  const ValueFormatter& format, bool horizontal) {
    // Only a chart laid out for drawing: a view not shown yet has no size of its own.
    const QList<QGraphicsView*> views = chart->scene() ? chart->scene()->views() : QList<QGraphicsView*>();
    const bool drawn = std::any_of(views.begin(), views.end(), [](const QGraphicsView* v) {
        return v->isVisible() || v->testAttribute(Qt::WA_DontShowOnScreen);
    });
    const QRectF plot = chart->plotArea();
    if (!drawn || plot.isEmpty()) return;
    const QFontMetricsF labels(val->labelsFont());
    const double room = horizontal ? plot.width() : plot.height();
    double label = labels.height();
    if (horizontal)
        for (const QString& l : val->categoriesLabels())
            label = std::max(label, labels.horizontalAdvance(l));
    const int steps = std::clamp(int(room / (label * kValueLabelSpacing)), 1, kMostValueSteps);
    if (steps != val->property("bdSteps").toInt()) {
        val->setProperty("bdSteps", steps);
        FillValueAxis(val, m, minV, maxV, format, steps);
    }
    if (!horizontal)
        val->setTitleVisible(QFontMetricsF(val->titleFont()).horizontalAdvance(val->titleText()) <= room);
}

QCategoryAxis* ValueAxis(const ChartModel& m, double minV, double maxV, const ValueFormatter& format) {
    auto* val = new QCategoryAxis;
    val->setTitleText(Plain(m.yAxisName));
    val->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    val->setProperty("bdSteps", kMostValueSteps);
    FillValueAxis(val, m, minV, maxV, format, kMostValueSteps);
    return val;
}

void AddAxes(QChart* chart, const ChartModel& m, bool horizontal, double minV, double maxV,
             const ValueFormatter& format) {
    auto* cat = new QBarCategoryAxis;
    QStringList cats = CategoryKeys(m.categories);
    if (horizontal) std::reverse(cats.begin(), cats.end()); // Qt puts the first at the bottom
    cat->append(cats);
    cat->setTitleText(Plain(m.xAxisName));
    cat->setLabelsVisible(m.showLabels);
    if (!horizontal && m.categories.size() > 8) cat->setLabelsAngle(-90);
    QCategoryAxis* val = ValueAxis(m, minV, maxV, format);
    chart->addAxis(cat, horizontal ? Qt::AlignLeft : Qt::AlignBottom);
    chart->addAxis(val, horizontal ? Qt::AlignBottom : Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(cat);
        s->attachAxis(val);
    }
    QObject::connect(chart, &QChart::plotAreaChanged, val,
                     [=] { FitValueAxis(chart, val, m, minV, maxV, format, horizontal); });
    // A low chart keeps its height for the plot: the legend goes beside it.
    QObject::connect(chart, &QGraphicsWidget::geometryChanged, chart, [chart] {
        chart->legend()->setAlignment(chart->size().height() < kLowChartHeight ? Qt::AlignRight
                                                                               : Qt::AlignBottom);
    });
}

// Value labels in the value axis' format (Qt's own bar and point labels know no fixed decimals),
// kept over their points whenever the plot area moves.
void AddValueLabels(QChart* chart, QAbstractSeries* series, const QList<double>& values, int decimals,
                    bool horizontal, const ValueFormatter& format) {
    QList<QGraphicsSimpleTextItem*> items;
    QFont f = chart->font();
    f.setPointSizeF(f.pointSizeF() * 0.9);
    for (double v : values) {
        auto* t = new QGraphicsSimpleTextItem(ValueText(v, decimals, format), chart);
        t->setFont(f);
        t->setBrush(QColor(0x33, 0x33, 0x33));
        t->setZValue(100);
        items << t;
    }
    auto place = [chart, series, values, items, horizontal] {
        for (int i = 0; i < items.size(); ++i) {
            const QPointF at =
                chart->mapToPosition(horizontal ? QPointF(values[i], i) : QPointF(i, values[i]), series);
            const QRectF r = items[i]->boundingRect();
            if (horizontal)
                items[i]->setPos(at.x() + (values[i] < 0 ? -r.width() - 4 : 4), at.y() - r.height() / 2);
            else
                items[i]->setPos(at.x() - r.width() / 2, at.y() + (values[i] < 0 ? 2 : -r.height() - 2));
        }
    };
    QObject::connect(chart, &QChart::plotAreaChanged, chart, place);
    place();
}

// A chart that draws no series says why, in the middle of its plot area (plain text).
QChart* WithNote(QChart* chart, const QString& note) {
    chart->legend()->setVisible(false);
    chart->setProperty(kNoteProperty, note);
    auto* t = new QGraphicsSimpleTextItem(note, chart);
    t->setBrush(QColor(0x55, 0x55, 0x55));
    t->setZValue(100);
    auto place = [chart, t] {
        const QRectF area = chart->plotArea(), r = t->boundingRect();
        t->setPos(area.center().x() - r.width() / 2, area.center().y() - r.height() / 2);
    };
    QObject::connect(chart, &QChart::plotAreaChanged, chart, place);
    place();
    return chart;
}

QChart* BuildPie(QChart* chart, ChartKind kind, const ChartModel& m, const ValueFormatter& format) {
    const ChartSeries s = m.series.value(0);
    const int n = int(m.categories.size());
    int negatives = 0;
    for (int i = 0; i < n; ++i)
        negatives += s.values.value(i) < 0;
    // A slice is a share of a whole: negative values have none.
    if (negatives > 0)
        return WithNote(chart, QStringLiteral("A pie chart cannot show negative values: %1 of the %2 values "
                                              "are below zero. Choose another chart type for this measure.")
                                   .arg(negatives)
                                   .arg(n));
    auto* pie = new QPieSeries;
    for (int i = 0; i < n; ++i) {
        const double v = s.values.value(i);
        auto* slice = pie->append(Plain(m.categories[i] + ": " + ValueText(v, m.decimals, format)), v);
        slice->setLabelVisible(m.showLabels);
        slice->setExploded(s.sliced.value(i));
        slice->setExplodeDistanceFactor(0.12);
    }
    pie->setPieSize(0.62);
    if (kind == ChartKind::Doughnut) pie->setHoleSize(0.3);
    chart->addSeries(pie);
    if (!m.showLabels) {
        chart->legend()->setVisible(true);
        chart->legend()->setAlignment(Qt::AlignRight);
    }
    return chart;
}

constexpr double kTitleScale = 1.15;
constexpr int kChartMargin = 6;
// Room kept beyond the extreme values for the value labels, as a share of the value range; horizontal
// bars need more, their labels standing beside the bars.
constexpr double kLabelRoom = 0.08;
constexpr double kLabelRoomHorizontal = 0.15;

QChart* NewChart(const ChartModel& m, bool multi) {
    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setTheme(QChart::ChartThemeLight);
    chart->setBackgroundBrush(Qt::white);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(kChartMargin, kChartMargin, kChartMargin, kChartMargin));
    chart->setTitle(Title(m));
    QFont tf = chart->titleFont();
    tf.setPointSizeF(tf.pointSizeF() * kTitleScale);
    chart->setTitleFont(tf);
    chart->legend()->setVisible(multi);
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

// The range of the value axis, zero always inside it.
struct ValueRange {
    double min = 0, max = 0;

    // Room for the value labels, below the bars of negative values too.
    void widen(double share) {
        const double room = (max - min) * share;
        if (max > 0) max += room;
        if (min < 0) min -= room;
    }
};

// Stacked kinds add up per category.
ValueRange RangeOf(ChartKind kind, const ChartModel& m) {
    const bool stacked =
        kind == ChartKind::StackedColumn || kind == ChartKind::StackedBar || kind == ChartKind::StackedArea;
    ValueRange r;
    for (int i = 0; i < int(m.categories.size()); ++i) {
        double pos = 0, neg = 0;
        for (const ChartSeries& s : m.series) {
            const double v = s.values.value(i);
            if (stacked)
                (v >= 0 ? pos : neg) += v;
            else
                r.min = std::min(r.min, v), r.max = std::max(r.max, v);
        }
        if (stacked) r.min = std::min(r.min, neg), r.max = std::max(r.max, pos);
    }
    return r;
}

QAbstractBarSeries* NewBarSeries(ChartKind kind) {
    switch (kind) {
    case ChartKind::Column:
        return new QBarSeries;
    case ChartKind::StackedColumn:
        return new QStackedBarSeries;
    case ChartKind::Bar:
        return new QHorizontalBarSeries;
    default:
        return new QHorizontalStackedBarSeries;
    }
}

QChart* BuildBars(QChart* chart, ChartKind kind, const ChartModel& m, bool multi, ValueRange range,
                  const ValueFormatter& format) {
    const int n = int(m.categories.size());
    QAbstractBarSeries* bars = NewBarSeries(kind);
    const bool horizontal = kind == ChartKind::Bar || kind == ChartKind::StackedBar;
    bool values = false;
    QList<double> shown;
    for (const ChartSeries& s : m.series) {
        auto* set = new QBarSet(Plain(multi ? s.name : m.yAxisName));
        for (int i = 0; i < n; ++i)
            set->append(s.values.value(horizontal ? n - 1 - i : i));
        bars->append(set);
        values = values || s.showValues;
        if (shown.isEmpty())
            for (int i = 0; i < n; ++i)
                shown << set->at(i);
    }
    chart->addSeries(bars);
    if (!multi) range.widen(horizontal ? kLabelRoomHorizontal : kLabelRoom);
    AddAxes(chart, m, horizontal, range.min, range.max, format);
    if (!multi && values) AddValueLabels(chart, bars, shown, m.decimals, horizontal, format);
    return chart;
}

// Lines and areas; a stacked area stands on the sum of the series before it.
QChart* BuildLines(QChart* chart, ChartKind kind, const ChartModel& m, bool multi, ValueRange range,
                   const ValueFormatter& format) {
    const int n = int(m.categories.size());
    QList<double> below(n, 0.0);
    for (const ChartSeries& s : m.series) {
        auto* line = new QLineSeries;
        line->setName(Plain(multi ? s.name : m.yAxisName));
        QLineSeries* lower = nullptr;
        if (kind == ChartKind::StackedArea) lower = new QLineSeries;
        for (int i = 0; i < n; ++i) {
            const double v = s.values.value(i);
            if (lower) {
                lower->append(i, below[i]);
                below[i] += v;
                line->append(i, below[i]);
            } else {
                line->append(i, v);
            }
        }
        if (kind == ChartKind::Line) {
            line->setPointsVisible(true);
            chart->addSeries(line);
        } else {
            auto* area = new QAreaSeries(line, lower);
            area->setName(line->name());
            area->setOpacity(multi && kind == ChartKind::Area ? 0.6 : 1.0);
            chart->addSeries(area);
        }
    }
    range.widen(kLabelRoom);
    AddAxes(chart, m, false, range.min, range.max, format);
    if (!multi && m.series.value(0).showValues && !chart->series().isEmpty())
        AddValueLabels(chart, chart->series().first(), m.series.value(0).values, m.decimals, false, format);
    return chart;
}

} // namespace

QString ChartNote(const QChart* chart) {
    return chart ? chart->property(kNoteProperty).toString() : QString();
}

QChart* BuildChart(const QString& chartId, const ChartModel& m, const ValueFormatter& format) {
    const bool multi = m.multiSeries && m.series.size() > 0;
    QChart* chart = NewChart(m, multi);
    if (m.categories.isEmpty() || m.series.isEmpty())
        return WithNote(chart, QStringLiteral("No values to chart."));
    const ChartKind kind = KindOfChart(chartId);
    switch (kind) {
    case ChartKind::Pie:
    case ChartKind::Doughnut:
        return BuildPie(chart, kind, m, format);
    case ChartKind::Column:
    case ChartKind::StackedColumn:
    case ChartKind::Bar:
    case ChartKind::StackedBar:
        return BuildBars(chart, kind, m, multi, RangeOf(kind, m), format);
    case ChartKind::Line:
    case ChartKind::Area:
    case ChartKind::StackedArea:
        return BuildLines(chart, kind, m, multi, RangeOf(kind, m), format);
    }
    return chart;
}

} // namespace bd::browser
