#include "publishing/WebView.h"

#include "platform/os/Prompter.h"

#include <gtest/gtest.h>

using namespace bd;
using namespace bd::publishing;

TEST(WebView, ViewPageGoldenBytes) {
    const QString views = "https://views.test/";
    ViewPage p;
    p.title = "Sales & <Costs> ñ";
    p.iconUrl = "https://www.test/favicon.ico";
    p.scriptUrl = views + "script/viewscript.js";
    p.dataPage = "data.html";
    p.fontPixels = 20;
    p.menuLine = MenuLine(views, "data.html", {{"img1.jpg", "Amount"}, {"img2.jpg", "Units <b>"}});
    const QByteArray expected =
        "<HTML><HEAD>\r\n"
        "<link rel=\"shortcut icon\" href=\"https://www.test/favicon.ico\">\r\n"
        "<TITLE>Sales &amp; &lt;Costs&gt; &#241;</TITLE>\r\n"
        "</HEAD>\r\n"
        "<BODY>\r\n"
        "<TABLE class=\"menu\" ><TR>"
        "<TD><CENTER><a href=\"data.html\" target=\"ifrGrid\"><IMG "
        "SRC=\"https://views.test/img/grid.png\"><BR>"
        "&nbsp;Grid&nbsp;</a></CENTER></TD>"
        "<TD><CENTER><a href=\"img1.jpg\" target=\"ifrGrid\"><IMG "
        "SRC=\"https://views.test/img/charts.png\"><BR>"
        "&nbsp;Amount&nbsp;</a></CENTER></TD>"
        "<TD><CENTER><a href=\"img2.jpg\" target=\"ifrGrid\"><IMG "
        "SRC=\"https://views.test/img/charts.png\"><BR>"
        "&nbsp;Units &lt;b&gt;&nbsp;</a></CENTER></TD>"
        "<TD><CENTER><a href=\"#\" onclick=\"setZoomUp()\"><IMG SRC=\"https://views.test/img/zoom.png\"><BR>"
        "&nbsp;Zoom +&nbsp;</a></CENTER></TD>"
        "<TD><CENTER><a href=\"#\" onclick=\"setZoomDown()\"><IMG "
        "SRC=\"https://views.test/img/zoom.png\"><BR>"
        "&nbsp;Zoom -&nbsp;</a></CENTER></TD>"
        "<TD><CENTER><a href=\"#\" onclick=\"swapFullScreen();\"><IMG "
        "SRC=\"https://views.test/img/fullscreen.png\">"
        "<BR>&nbsp;Full Screen&nbsp;</a></CENTER></TD>"
        "</TR></TABLE>\r\n"
        "<CENTER><p><b>Sales &amp; &lt;Costs&gt; &#241;</b></p></CENTER>\r\n"
        "<iframe name=\"ifrGrid\" src=\"data.html\" frameBorder=\"0\" width=\"100%\" "
        "height=\"87%\"></iframe><br>\r\n"
        "</BODY>\r\n"
        "<STYLE type='text/css'>\r\n"
        "p { border:1px dotted gray; margin: 0; font:normal 20px verdana, arial, helvetica, sans-serif;}\r\n"
        "a { text-decoration: none;}\r\n"
        "table.menu { border:0px; margin: 0; font:normal 18px verdana, arial, helvetica, sans-serif;}\r\n"
        "td:hover { background-color: #f0f0f0;}\r\n"
        "iframe { zoom: -50%;}\r\n"
        "</STYLE>\r\n"
        "<script type=\"Text/javascript\" src=\"https://views.test/script/viewscript.js\"></script>\r\n"
        "</HTML>\r\n";
    EXPECT_EQ((ViewLines(p).join("\r\n") + "\r\n").toUtf8(), expected);
}

TEST(WebView, WithoutChartsTheMenuHasNoChartCell) {
    const QString menu = MenuLine("https://v/", "data.html", {});
    EXPECT_FALSE(menu.contains("charts.png"));
    EXPECT_EQ(menu.count("<TD>"), 4);
}

TEST(WebView, CellLimits) {
    struct Case {
        int columns, rowFields, rows;
        qint64 cells;
        CellLimit limit;
    } cases[] = {
        {10, 2, 1000, 12000, CellLimit::Fine},
        {10, 2, 1666, 19992, CellLimit::Fine},
        {1, 1, 10000, 20000, CellLimit::Fine},
        {1, 1, 10001, 20002, CellLimit::Ask},
        {10, 2, 2000, 24000, CellLimit::Ask},
        {10, 2, 5000, 60000, CellLimit::Ask},
        {10, 2, 5001, 60012, CellLimit::Cancel},
        {0, 0, 0, 0, CellLimit::Fine},
        {40000, 0, 60000, 2400000000LL, CellLimit::Cancel},
    };
    for (const Case& c : cases) {
        const qint64 n = CellCount(c.columns, c.rowFields, c.rows);
        EXPECT_EQ(n, c.cells) << c.rows;
        EXPECT_EQ(CheckCells(n), c.limit) << n;
    }
}

TEST(WebView, SizeQuestionWithAPerson) {
    os::ScopedPrompter prompts;
    EXPECT_TRUE(ConfirmCells(20000, false));
    EXPECT_TRUE(prompts->prompts.isEmpty());
    prompts->answer(os::Answer::Yes);
    prompts->answer(os::Answer::No);
    EXPECT_TRUE(ConfirmCells(24000, false));
    EXPECT_FALSE(ConfirmCells(60000, false));
    EXPECT_FALSE(ConfirmCells(60012, false));
    ASSERT_EQ(prompts->prompts.size(), 3);
    EXPECT_EQ(prompts->prompts[0].text, "You are trying to upload 24000 cells. This operation may take a "
                                        "long time. Do you want to continue ? ");
    EXPECT_EQ(prompts->prompts[0].title, "Reduce your results");
    EXPECT_EQ(prompts->prompts[0].buttons, os::Buttons::YesNo);
    EXPECT_EQ(prompts->prompts[2].text,
              "You are trying to upload 60012 cells. This operation will be canceled. ");
    EXPECT_EQ(prompts->prompts[2].title, "Filter you information and reduce your results");
    EXPECT_EQ(prompts->prompts[2].buttons, os::Buttons::Ok);
}

TEST(WebView, SizeQuestionUnattendedAsksNobody) {
    os::ScopedPrompter prompts;
    struct Case {
        qint64 cells;
        bool goesOn;
        std::string err;
    } cases[] = {
        {20000, true, ""},
        {20001, true, "Upload: 20001 cells are more than 20000: the upload goes on.\n"},
        {60000, true, "Upload: 60000 cells are more than 20000: the upload goes on.\n"},
        {60001, false, "Upload: 60001 cells are more than 60000: the upload is cancelled.\n"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(ConfirmCells(c.cells, true), c.goesOn) << c.cells;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
    }
    EXPECT_TRUE(prompts->prompts.isEmpty());
}

TEST(WebView, FontPixels) {
    struct Case {
        const char *typed, *kept, *published;
    } cases[] = {
        {"20", "20", "20"},    {"1", "1", "1"},
        {"200", "200", "200"}, {" 12 ", "12", "12"},
        {"201", "0", "15"},    {"0", "0", "15"},
        {"", "0", "15"},       {"abc", "0", "15"},
        {"-5", "0", "15"},     {"+5", "0", "15"},
        {"1.5", "0", "15"},    {"1e2", "0", "15"},
        {"0x10", "0", "15"},   {"99999999999", "0", "15"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ValidFontPixels(c.typed), c.kept) << c.typed;
        EXPECT_EQ(PublishingFontPixels(c.typed), c.published) << c.typed;
    }
}

TEST(WebView, AddressAndEmbedCode) {
    const QString url = ViewAddress("https://views.test/", "1000_2026_1", "view.html");
    EXPECT_EQ(url, "https://views.test/1000_2026_1/view.html");
    EXPECT_EQ(EmbedCode(url), "<iframe name=\"parentGrid\" src=\"https://views.test/1000_2026_1/view.html\" "
                              "frameBorder=\"0\" width=\"80%\" height=\"80%\"></iframe>");
    EXPECT_EQ(EmbedCode("https://v/?a=1&b=\"x\""),
              "<iframe name=\"parentGrid\" src=\"https://v/?a=1&amp;b=&quot;x&quot;\" frameBorder=\"0\" "
              "width=\"80%\" height=\"80%\"></iframe>");
}
