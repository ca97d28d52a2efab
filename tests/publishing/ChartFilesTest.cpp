#include "publishing/ChartFiles.h"

#include "common/TestSupport.h"

#include <QDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

using namespace bd::charts;

namespace {

const char* kRoot =
    "<chart palette='4' xAxisName='Region' yAxisName='Amount' caption='Sales' subcaption='2024' "
    "decimals='%1' showLabels='%2' enableSmartLabels='0' enableRotation='1' "
    "bgColor='FFFFFF,FFFFFF' showBorder='1' >\r\n";

ChartSettings Settings(int decimals) {
    ChartSettings s;
    s.caption = "Sales";
    s.subCaption = "2024";
    s.xAxisName = "Region";
    s.yAxisName = "Amount";
    s.decimals = decimals;
    return s;
}

ChartPoint Pt(QStringList rows, double v, QString col = {}) {
    ChartPoint p;
    p.rowHeaders = std::move(rows);
    p.columnHeader = std::move(col);
    p.value = v;
    return p;
}

QByteArray Root(int decimals, int showLabels) {
    return QString::fromLatin1(kRoot).arg(decimals).arg(showLabels).toUtf8();
}

} // namespace

TEST(ChartFiles, SingleSeriesGoldenBytes) {
    // A label with an apostrophe and a double quote, a zero value, a total row, decimals from "#,##0.00".
    SingleSeriesData d;
    d.points = {Pt({"O'Brien"}, 1234.5), Pt({"North"}, 0), Pt({"Sou\"th"}, -7.25), Pt({"Total"}, 99)};
    d.points[3].totalRow = true;
    ChartSettings s = Settings(ChartDecimals(QString("#,##0.00"), "."));
    const ChartData r = BuildSingleSeriesXml(s, d);
    const QByteArray expected = Root(2, 1) + "<set label='OBrien' value='1234.5' />\r\n"
                                             "<set label='South' value='-7.25' />\r\n"
                                             "\r\n</chart>\r\n";
    EXPECT_EQ(r.xml.toUtf8(), expected);
    EXPECT_EQ(r.count, 2);
    EXPECT_FALSE(r.limited);
}

TEST(ChartFiles, LabelsJoinLevelsAndColumnAndAreCut) {
    SingleSeriesData d;
    d.columnFields = 1;
    d.points = {Pt({"Europe", "Spain"}, 3, "2023"), Pt({"", "Peru"}, 4, "2024")};
    d.points[0].slice = "isSliced='1'";
    ChartSettings s = Settings(0);
    s.maxLabelChars = 14;
    const QString xml = BuildSingleSeriesXml(s, d).xml;
    EXPECT_TRUE(xml.contains("<set label='Europe-Spain-2' value='3' isSliced='1'/>\r\n"))
        << xml.toStdString();
    EXPECT_TRUE(xml.contains("<set label='Peru-2024' value='4' />\r\n")) << xml.toStdString();
}

TEST(ChartFiles, TwoColumnFieldsGiveAnEmptyChart) {
    SingleSeriesData d;
    d.columnFields = 2;
    d.points = {Pt({"A"}, 1, "x"), Pt({"B"}, 2, "y")};
    EXPECT_EQ(BuildSingleSeriesXml(Settings(0), d).xml.toUtf8(), Root(0, 1) + "\r\n</chart>\r\n");
}

TEST(ChartFiles, ResultLimitAndLabelAutoHide) {
    struct Case {
        int values, limit, autoHide;
        int written;
        bool limited;
        int showLabels;
    };
    const Case cases[] = {
        {150, 150, 40, 150, false, 0}, {151, 150, 40, 150, true, 0}, {40, 150, 40, 40, false, 1},
        {41, 150, 40, 41, false, 0},   {3, 1, 40, 1, true, 1},
    };
    for (const Case& c : cases) {
        SingleSeriesData d;
        for (int i = 1; i <= c.values; ++i)
            d.points << Pt({QString("L%1").arg(i)}, i);
        ChartSettings s = Settings(0);
        s.resultLimit = c.limit;
        s.labelAutoHide = c.autoHide;
        const ChartData r = BuildSingleSeriesXml(s, d);
        EXPECT_EQ(r.count, c.written) << c.values;
        EXPECT_EQ(int(r.xml.count("<set ")), c.written) << c.values;
        EXPECT_EQ(r.limited, c.limited) << c.values;
        EXPECT_TRUE(r.xml.contains(QString("showLabels='%1'").arg(c.showLabels))) << c.values;
    }
}

TEST(ChartFiles, ChartPageGoldenBytes) {
    ChartPageInput in;
    in.title = "Sales & Costs";
    in.movieFile = "Column3D.swf";
    in.dataPath = "/opt/bd/Charts/Data.xml";
    in.width = ChartWidth(645);
    in.height = ChartHeight(335);
    const QByteArray head = "<html>\r\n<head>\r\n<title>Sales &amp; Costs</title>\r\n</head>\r\n"
                            "<style type=\"text/css\">\r\nbody {\r\noverflow:hidden;\r\n}\r\n</style>\r\n"
                            "<body bgcolor=\"#ffffff\">\r\n";
    const QByteArray expected =
        head +
        "<object classid=\"clsid:d27cdb6e-ae6d-11cf-96b8-444553540000\" "
        "codebase=\"https://download.macromedia.com/pub/shockwave/cabs/flash/swflash.cab#version=8,0,0,0\" "
        "width=\"600\" height=\"300\" id=\"Column3D\" >\r\n"
        "<param name=\"movie\" value=\"Column3D.swf\" />\r\n"
        "<param name=\"FlashVars\" value=\"&dataURL=/opt/bd/Charts/Data.xml\">\r\n"
        "<param name=\"quality\" value=\"high\" />\r\n"
        "<embed src=\"Column3D.swf\" flashVars=\"&dataURL=/opt/bd/Charts/Data.xml\" quality=\"high\" "
        "width=\"600\" height=\"300\" name=\"Column3D\" type=\"application/x-shockwave-flash\" "
        "pluginspage=\"https://www.adobe.com/go/getflashplayer\" />\"\r\n"
        "</object>\r\n</body>\r\n</html>\r\n";
    EXPECT_EQ(BuildChartHtml(in).toUtf8(), expected);

    in.limited = true;
    in.resultLimit = 150;
    EXPECT_EQ(
        BuildChartHtml(in).toUtf8(),
        head + "<br><center><b>Too many values on chart makes this unreadable.</center></b><br>\r\n"
               "<br><center><b>Maximum limit is exceeded. Was limited to: 150 results. Configure limits in: "
               "Chart properties. </center></b><br>\r\n");
}

TEST(ChartFiles, SizesNeverBelowOnePixel) {
    EXPECT_EQ(ChartWidth(0), 1);
    EXPECT_EQ(ChartHeight(-200), 1);
    EXPECT_EQ(ChartWidth(46), 1);
    EXPECT_EQ(ChartHeight(36), 1);
    ChartPageInput in;
    in.width = 0;
    in.height = -5;
    EXPECT_TRUE(BuildChartHtml(in).contains("width=\"1\" height=\"1\""));
}

TEST(ChartFiles, InsertedTextsAreEscapedForTheirPlace) {
    ChartSettings s = Settings(0);
    s.caption = "O'Neil <Top> & \"Co\"";
    SingleSeriesData d;
    d.points = {Pt({"R&D <lab>"}, 5)};
    const QString xml = BuildSingleSeriesXml(s, d).xml;
    EXPECT_TRUE(xml.contains("caption='O&apos;Neil &lt;Top&gt; &amp; &quot;Co&quot;'"));
    EXPECT_TRUE(xml.contains("<set label='R&amp;D &lt;lab&gt;' value='5' />"));

    MultiSeriesData m{{"A\"1"}, {"S&1"}, {{"S&1", "A\"1", 1}}};
    const QString body = MultiSeriesBody(m, 150, nullptr);
    EXPECT_TRUE(body.contains("<category label=\"A&quot;1\"/>"));
    EXPECT_TRUE(body.contains("<dataset seriesName=\"S&amp;1\" showValues=\"0\">"));

    ChartPageInput in;
    in.title = "</title><script>";
    in.movieFile = "Pie2D.swf";
    in.dataPath = "/home/a\"b&c/Charts/Data.xml";
    const QString html = BuildChartHtml(in);
    EXPECT_TRUE(html.contains("<title>&lt;/title&gt;&lt;script&gt;</title>"));
    EXPECT_TRUE(html.contains("value=\"&dataURL=/home/a&quot;b&amp;c/Charts/Data.xml\""));
}

TEST(ChartFiles, MultiSeriesGoldenBytes) {
    // Categories in first appearance, series in order; a missing cell and a zero are written as 0.
    MultiSeriesData m;
    m.categories = {"North", "O'Hara", "North", "South"};
    m.series = {"2023", "2024", "2023"};
    m.cells = {{"2023", "North", 10.5},
               {"2023", "O'Hara", 0},
               {"2023", "South", 3},
               {"2024", "North", 4},
               {"2024", "South", 1e16}};
    const ChartData r = BuildMultiSeriesXml(Settings(1), m);
    const QByteArray expected = Root(1, 1) +
                                "<categories>\r\n"
                                "\t<category label=\"North\"/>\r\n"
                                "\t<category label=\"OHara\"/>\r\n"
                                "\t<category label=\"South\"/>\r\n"
                                "</categories>\r\n"
                                "<dataset seriesName=\"2023\" showValues=\"0\">\r\n"
                                "\t<set value=\"10.5\"/>\r\n\t<set value=\"0\"/>\r\n\t<set value=\"3\"/>\r\n"
                                "</dataset>\r\n"
                                "<dataset seriesName=\"2024\" showValues=\"0\">\r\n"
                                "\t<set value=\"4\"/>\r\n\t<set value=\"0\"/>\r\n\t<set value=\"1E+16\"/>\r\n"
                                "</dataset>\r\n"
                                "\r\n</chart>\r\n";
    EXPECT_EQ(r.xml.toUtf8(), expected);
    EXPECT_FALSE(r.limited);

    ChartSettings s = Settings(0);
    s.resultLimit = 4;
    const ChartData cut = BuildMultiSeriesXml(s, m);
    EXPECT_TRUE(cut.limited);
    EXPECT_EQ(cut.xml.count("<set "), 4);
    EXPECT_EQ(cut.xml.count("<dataset "), cut.xml.count("</dataset>"));
    s.resultLimit = 6;
    EXPECT_FALSE(BuildMultiSeriesXml(s, m).limited);
}

TEST(ChartFiles, LayoutTable) {
    // The catalogue's multi-series ids (pies and doughnuts have none).
    auto ms = [](const QString& id) -> QString {
        if (id == "Column3D") return "MSColumn3D";
        if (id == "Line") return "MSLine";
        if (id == "StackedBar2D") return "StackedBar2D";
        return {};
    };
    struct Case {
        const char* id;
        int rows, cols;
        ChartBody body;
        const char* chosen;
    };
    const Case cases[] = {
        {"Column3D", 1, 1, ChartBody::OneColumnOneRowField, "MSColumn3D"},
        {"Column3D", 2, 0, ChartBody::TwoRowFields, "MSColumn3D"},
        {"Line", 2, 0, ChartBody::TwoRowFields, "MSLine"},
        {"StackedBar2D", 1, 1, ChartBody::OneColumnOneRowField, "StackedBar2D"},
        {"Column3D", 1, 0, ChartBody::SingleSeries, "Column3D"},
        {"Column3D", 2, 1, ChartBody::SingleSeries, "Column3D"},
        {"Column3D", 0, 1, ChartBody::SingleSeries, "Column3D"},
        {"Column3D", 3, 0, ChartBody::SingleSeries, "Column3D"},
        {"Pie2D", 1, 1, ChartBody::SingleSeries, "Pie2D"},
        {"Doughnut3D", 2, 0, ChartBody::SingleSeries, "Doughnut3D"},
    };
    for (const Case& c : cases) {
        const ChartLayout l = ChooseChartLayout(c.id, ms(c.id), c.rows, c.cols);
        EXPECT_EQ(l.body, c.body) << c.id << " " << c.rows << "x" << c.cols;
        EXPECT_EQ(l.chartId, c.chosen) << c.id << " " << c.rows << "x" << c.cols;
    }
}

TEST(ChartFiles, SliceTable) {
    // Sales/Sum 10..20, then a sub-row 30..40 of the same aggregate; Sales/Avg 0..100; Cost/Sum 0..5.
    const QList<AlertRow> rows = {
        {"Sales", "Sum", "10", "20"}, {"Sales", "", "30", "40"}, {"Sales", "Avg", "0", "100"},
        {"Cost", "Sum", "", "5"},     {"", "Sum", "0", "1000"},  {"Late", "Sum", "0", "1000"},
    };
    struct Case {
        const char* movie;
        const char* field;
        int agg;
        double value;
        const char* attr;
    };
    const Case cases[] = {
        {"Pie2D.swf", "Sales", 0, 15, "isSliced='1'"},
        {"Pie2D.swf", "Sales", 0, 25, "isSliced='0'"},
        {"Pie2D.swf", "Sales", 0, 35, "isSliced='1'"},
        {"Pie3D.swf", "Sales", 0, 20, "isSliced='1'"},
        {"Doughnut2D.swf", "Sales", 2, 50, "isSliced='1'"},
        {"Pie2D.swf", "Sales", 1, 15, "isSliced='0'"},
        {"Pie2D.swf", "Cost", 0, 0, "isSliced='1'"},
        {"Pie2D.swf", "Late", 0, 5, "isSliced='0'"},
        {"Column3D.swf", "Sales", 0, 15, ""},
        {"Doughnut3D.swf", "Sales", 0, 15, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SliceAttribute(c.movie, c.field, c.agg, c.value, rows), c.attr)
            << c.movie << " " << c.field << " " << c.value;
    EXPECT_EQ(SliceAttribute("Pie2D.swf", "Sales", 0, 15, {{"Sales", "Sum", "ten", "20"}}), "");
}

TEST(ChartFiles, DecimalsAndIntegerSettings) {
    EXPECT_EQ(ChartDecimals(std::nullopt, "."), 0);
    EXPECT_EQ(ChartDecimals(QString(""), "."), 2);
    EXPECT_EQ(ChartDecimals(QString("#,##0"), "."), 0);
    EXPECT_EQ(ChartDecimals(QString("0.000"), "."), 3);
    EXPECT_EQ(ChartDecimals(QString("#.##0,0"), ","), 1);

    EXPECT_EQ(ParseChartInt("", 150, 1, 32767), 150);
    EXPECT_EQ(ParseChartInt(" 40 ", 20, 0, 32767), 40);
    EXPECT_EQ(ParseChartInt("abc", 20, 0, 32767), 20);
    EXPECT_EQ(ParseChartInt("-3", 150, 1, 32767), 1);
    EXPECT_EQ(ParseChartInt("99999999999", 150, 1, 32767), 32767);
    EXPECT_EQ(ParseChartInt("2.5", 40, 0, 32767), 40);
}

TEST(ChartFiles, ValueTextUsesPointAndSignificantDigits) {
    EXPECT_EQ(ChartValueText(1234.5), "1234.5");
    EXPECT_EQ(ChartValueText(-0.0), "0");
    EXPECT_EQ(ChartValueText(0.1 + 0.2), "0.3");
    EXPECT_EQ(ChartValueText(123456789012345.0), "123456789012345");
    EXPECT_EQ(ChartValueText(0.00001), "1E-05");
}

TEST(ChartFiles, WriteReplacesTheFileWithUtf8Bytes) {
    bd::test::TempHome home(false);
    QDir().mkpath(home.path("Charts"));
    const QString path = home.path("Charts/Data.xml");
    ASSERT_TRUE(bd::test::writeFile(path, "old content that is longer"));
    ASSERT_TRUE(WriteChartFile(path, QString::fromUtf8("<set label='Año'/>\r\n")));
    EXPECT_EQ(bd::test::readFile(path), QByteArray("<set label='A\xc3\xb1o'/>\r\n"));
    EXPECT_FALSE(WriteChartFile(home.path("missing/Data.xml"), "x"));
}

TEST(ChartFiles, TextsXmlForbidsAreReplacedSoTheDataFileAlwaysParses) {
    const QString lone = QString(QChar(0xD800));
    const QString astral = QString::fromUtf8("\xF0\x9F\x93\x88"); // a valid surrogate pair
    ChartSettings s = Settings(0);
    s.caption = QString("Line\x0b") + "break\x01" + QChar(0xFFFE) + lone + astral;
    SingleSeriesData d;
    d.points = {Pt({QString("North\x0b") + "East"}, 5), Pt({QString("x") + QChar(0xDC00) + "y"}, 2)};
    const QString xml = BuildSingleSeriesXml(s, d).xml;
    MultiSeriesData m{
        {QString("A\x1f") + "1"}, {QString("S\x0c")}, {{QString("S\x0c"), QString("A\x1f") + "1", 1}}};
    const QString body = "<chart>" + MultiSeriesBody(m, 150, nullptr) + "</chart>";
    QStringList read;
    for (const QString& doc : {xml, body}) {
        QXmlStreamReader x(doc);
        while (!x.atEnd())
            if (x.readNext() == QXmlStreamReader::StartElement)
                for (const auto& a : x.attributes())
                    if (a.name() == QLatin1String("caption") || a.name() == QLatin1String("label") ||
                        a.name() == QLatin1String("seriesName"))
                        read << a.value().toString();
        EXPECT_FALSE(x.hasError()) << x.errorString().toStdString() << "\n" << doc.toStdString();
    }
    EXPECT_EQ(read, QStringList({"Line break \uFFFD\uFFFD" + astral, "North East", "x\uFFFDy", "A 1", "S "}));
}
