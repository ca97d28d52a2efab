#include "publishing/ChartFiles.h"

#include "platform/pivot/NumberFormat.h"

#include <QHash>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace bd::charts {

namespace {

const QString CRLF = QStringLiteral("\r\n");
const QString kCodebase =
    QStringLiteral("https://download.macromedia.com/pub/shockwave/cabs/flash/swflash.cab");
const QString kPlayerPage = QStringLiteral("https://www.adobe.com/go/getflashplayer");

// Characters that XML 1.0 does not allow in a document: control characters other than tab and the
// line ends (spreadsheets put \x0b for a line break in a cell) become a blank, the non-characters
// U+FFFE and U+FFFF and lone surrogates the replacement character.
constexpr char16_t kReplacement = 0xFFFD;

bool isXmlControl(char16_t u) {
    return u < 0x20 && u != '\t' && u != '\n' && u != '\r';
}

// Escapes for an attribute value (either quote) or element text; ordinary text passes unchanged.
QString Esc(const QString& s) {
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            out += c;
            out += s[++i];
            continue;
        }
        if (c.isSurrogate() || c.unicode() == 0xFFFE || c.unicode() == 0xFFFF) {
            out += QChar(kReplacement);
            continue;
        }
        if (isXmlControl(c.unicode())) {
            out += ' ';
            continue;
        }
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&apos;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString EscText(const QString& s) {
    QString out = s;
    out.replace('&', QLatin1String("&amp;"))
        .replace('<', QLatin1String("&lt;"))
        .replace('>', QLatin1String("&gt;"));
    return out;
}

QString NoApos(QString s) {
    return s.remove('\'');
}

QString RootLine(const ChartSettings& s, int showLabels) {
    return QStringLiteral("<chart palette='4' xAxisName='") + Esc(s.xAxisName) + "' yAxisName='" +
           Esc(s.yAxisName) + "' caption='" + Esc(s.caption) + "' subcaption='" + Esc(s.subCaption) +
           "' decimals='" + QString::number(s.decimals) + "' showLabels='" + QString::number(showLabels) +
           "' enableSmartLabels='0' enableRotation='1' bgColor='FFFFFF,FFFFFF' showBorder='1' >";
}

QString Wrap(const ChartSettings& s, int showLabels, const QString& body) {
    // One print statement: root, CR LF, body (lines end in CR LF), CR LF, closing element, CR LF.
    return RootLine(s, showLabels) + CRLF + body + CRLF + "</chart>" + CRLF;
}

QStringList Distinct(const QStringList& in) {
    QStringList out;
    for (const QString& s : in)
        if (!out.contains(s)) out << s;
    return out;
}

} // namespace

ChartLayout ChooseChartLayout(const QString& chartId, const QString& multiSeriesId, int rowFields,
                              int columnFields) {
    ChartLayout l;
    l.chartId = chartId;
    if (multiSeriesId.isEmpty()) return l;
    if (rowFields == 1 && columnFields == 1)
        l.body = ChartBody::OneColumnOneRowField;
    else if (rowFields == 2 && columnFields == 0)
        l.body = ChartBody::TwoRowFields;
    else
        return l;
    l.chartId = multiSeriesId;
    return l;
}

QString ChartValueText(double v) {
    if (v == 0) return QStringLiteral("0"); // also -0
    // Locale-free: always "." as decimal point, never group separators.
    return QString::number(v, 'g', 15).toUpper();
}

ChartData BuildSingleSeriesXml(const ChartSettings& s, const SingleSeriesData& data) {
    ChartData r;
    QString body;
    for (const ChartPoint& p : data.points) {
        if (!s.drawTotals && (p.totalColumn || p.totalRow)) continue;
        QString label;
        for (const QString& h : p.rowHeaders) {
            if (!label.isEmpty()) label += '-';
            label += NoApos(h);
        }
        label.remove('"');
        if (data.columnFields >= 2) break; // no values can be labelled: the chart stays empty
        if (data.columnFields == 1) {
            if (!label.isEmpty()) label += '-';
            label += NoApos(p.columnHeader).remove('"');
        }
        if (s.maxLabelChars > 0) label = label.left(s.maxLabelChars);
        if (p.value == 0 || !std::isfinite(p.value)) continue;
        if (r.count >= s.resultLimit) {
            r.limited = true;
            break;
        }
        body += "<set label='" + Esc(label) + "' value='" + ChartValueText(p.value) + "' " + p.slice + "/>" +
                CRLF;
        ++r.count;
    }
    r.xml = Wrap(s, r.count > s.labelAutoHide ? 0 : 1, body);
    return r;
}

QString MultiSeriesBody(const MultiSeriesData& data, int resultLimit, bool* limited) {
    const QStringList cats = Distinct(data.categories);
    const QStringList series = Distinct(data.series);
    QHash<QPair<QString, QString>, double> values;
    for (const MultiSeriesCell& c : data.cells) {
        const auto key = qMakePair(c.series, c.category);
        if (!values.contains(key)) values.insert(key, c.value);
    }
    bool hit = false;
    QString body = "<categories>" + CRLF;
    for (const QString& c : cats)
        body += "\t<category label=\"" + Esc(NoApos(c)) + "\"/>" + CRLF;
    body += "</categories>" + CRLF;
    int count = 0;
    for (const QString& se : series) {
        body += "<dataset seriesName=\"" + Esc(NoApos(se)) + "\" showValues=\"0\">" + CRLF;
        for (const QString& c : cats) {
            if (count >= resultLimit) {
                hit = true;
                break;
            }
            const double v = values.value(qMakePair(se, c), 0.0);
            body += "\t<set value=\"" + ChartValueText(std::isfinite(v) ? v : 0.0) + "\"/>" + CRLF;
            ++count;
        }
        // The open dataset is closed even when the limit cuts it, so the file stays well-formed.
        body += "</dataset>" + CRLF;
        if (hit) break;
    }
    if (limited) *limited = hit;
    return body;
}

ChartData BuildMultiSeriesXml(const ChartSettings& s, const MultiSeriesData& data) {
    ChartData r;
    const QString body = MultiSeriesBody(data, s.resultLimit, &r.limited);
    r.xml = Wrap(s, 1, body); // the multi-series count never reaches showLabels
    return r;
}

QString BuildChartHtml(const ChartPageInput& in) {
    QStringList l{"<html>",
                  "<head>",
                  "<title>" + EscText(in.title) + "</title>",
                  "</head>",
                  "<style type=\"text/css\">",
                  "body {",
                  "overflow:hidden;",
                  "}",
                  "</style>",
                  "<body bgcolor=\"#ffffff\">"};
    if (in.limited) {
        l << "<br><center><b>Too many values on chart makes this unreadable.</center></b><br>"
          << "<br><center><b>Maximum limit is exceeded. Was limited to: " + QString::number(in.resultLimit) +
                 " results. Configure limits in: Chart properties. </center></b><br>";
        return l.join(CRLF) + CRLF;
    }
    const QString w = QString::number(std::max(1, in.width)), h = QString::number(std::max(1, in.height));
    const QString m = Esc(in.movieFile), p = Esc(in.dataPath);
    l << "<object classid=\"clsid:d27cdb6e-ae6d-11cf-96b8-444553540000\" codebase=\"" + kCodebase +
             "#version=8,0,0,0\" width=\"" + w + "\" height=\"" + h + "\" id=\"Column3D\" >"
      << "<param name=\"movie\" value=\"" + m + "\" />"
      << "<param name=\"FlashVars\" value=\"&dataURL=" + p + "\">"
      << "<param name=\"quality\" value=\"high\" />"
      << "<embed src=\"" + m + "\" flashVars=\"&dataURL=" + p + "\" quality=\"high\" width=\"" + w +
             "\" height=\"" + h +
             "\" name=\"Column3D\" type=\"application/x-shockwave-flash\" pluginspage=\"" + kPlayerPage +
             "\" />\""
      << "</object>"
      << "</body>"
      << "</html>";
    return l.join(CRLF) + CRLF;
}

int ChartWidth(int areaWidthPx) {
    return std::max(1, areaWidthPx - 45);
}
int ChartHeight(int areaHeightPx) {
    return std::max(1, areaHeightPx - 35);
}

int ChartDecimals(const std::optional<QString>& numberFormat, const QString& decimalSeparator) {
    if (!numberFormat) return 0;
    if (numberFormat->isEmpty()) return 2;
    return bd::pivot::ContarDecimales(*numberFormat, decimalSeparator);
}

int ParseChartInt(const QString& text, int def, int min, int max) {
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok) return std::clamp(def, min, max);
    return int(std::clamp<qlonglong>(v, min, max));
}

int AggregateCode(const QString& name) {
    static const QStringList names{"Sum", "Count", "Avg", "Max", "Min", "StDev", "StDevP", "Var", "VarP"};
    return int(names.indexOf(name));
}

QString SliceAttribute(const QString& movieFile, const QString& fieldName, int aggregateCode, double value,
                       const QList<AlertRow>& rows) {
    if (movieFile != "Pie2D.swf" && movieFile != "Doughnut2D.swf" && movieFile != "Pie3D.swf") return {};
    auto bound = [](const QString& t, bool* ok) {
        if (t.trimmed().isEmpty()) {
            *ok = true;
            return 0.0;
        }
        QString n = t.trimmed();
        double d = n.toDouble(ok);
        if (!*ok) d = n.replace(',', '.').toDouble(ok);
        return d;
    };
    int code = 0;
    for (const AlertRow& r : rows) {
        if (r.name.isEmpty()) break;
        const int c = AggregateCode(r.aggregateName);
        if (c >= 0) code = c;
        if (r.name != fieldName || code != aggregateCode) continue;
        bool okLow = false, okHigh = false;
        const double low = bound(r.low, &okLow), high = bound(r.high, &okHigh);
        if (!okLow || !okHigh) return {}; // an unreadable bound: no attribute
        if (low <= value && value <= high) return QStringLiteral("isSliced='1'");
    }
    return QStringLiteral("isSliced='0'");
}

bool WriteChartFile(const QString& path, const QString& text) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(text.toUtf8());
    return f.commit();
}

} // namespace bd::charts
