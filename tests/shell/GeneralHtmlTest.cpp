#include "shell/GeneralHtml.h"

#include "common/TestSupport.h"
#include "platform/os/Prompter.h"
#include "shell/General.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using bd::test::readFile;
using bd::test::writeFile;

namespace {

// An export in the pivot's line layout: head, table, then its style block with the rule of every data
// cell and two numbered rules.
const QByteArray kExport =
    "<HTML><HEAD>\r\n"
    "<META http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\r\n"
    "</HEAD><BODY>\r\n"
    "<TABLE cellspacing=\"0\" cellpadding=\"2\">\r\n"
    "<TR>\r\n"
    "<TD class=\"data0\">1,5</TD>\r\n"
    "</TR>\r\n"
    "</TABLE>\r\n"
    "<STYLE type=\"text/css\">\r\n"
    " td.field { font:normal normal bold 9.75pt normal Verdana; }\r\n"
    " td.data { font:normal normal normal 9.75pt normal Verdana; text-align:right; }\r\n"
    " td.data0 { font:normal normal normal 9.75pt normal Verdana; text-align:right; }\r\n"
    " td.data1 { font:normal normal normal 9.75pt normal Verdana; text-align:right; }\r\n"
    "</STYLE>\r\n"
    "</BODY></HTML>\r\n";

QByteArray styleSheet(const QByteArray& px, const QByteArray& kept) {
    const QByteArray font = "font:normal " + px + "px verdana, arial, helvetica, sans-serif;}";
    return "<STYLE type='text/css'>\r\n"
           "p {  border:1px solid gray; border-collapse:collapse; " +
           font +
           "\r\n"
           "table {  border:1px solid gray; border-collapse:collapse; " +
           font +
           "\r\n"
           "td.total {  border:1px solid gray; text-align:right; background-color:#f0f0f0; color:#000000; "
           "font-weight: bold; }\r\n"
           "td.data { border:1px dotted gray; text-align:right; background-color:#ffffff; color:#000000;  "
           "}\r\n"
           "td.field {  border:1px solid gray; text-align:center; background-color:#808080; color:#ffffff; "
           "}\r\n"
           "td.header {  border:1px solid gray; vertical-align:top; background-color:#f0f0f0; color:#000000; "
           "}\r\n"
           "td:hover { background-color: #f0f0f0; font-weight: bold; " +
           font + "\r\n" + kept + "\r\n</STYLE>\r\n</BODY></HTML>\r\n";
}

// The pivot's font goes, the ";" after it stays (an empty declaration).
const QByteArray kKept = "td.data0 { ; border:1px dotted gray; text-align:right; }\r\n"
                         "td.data1 { ; border:1px dotted gray; text-align:right; }";

const QByteArray kTable = "<TABLE cellspacing=\"0\" cellpadding=\"2\">\r\n"
                          "<TR>\r\n"
                          "<TD class=\"data0\">1,5</TD>\r\n"
                          "</TR>\r\n"
                          "</TABLE>\r\n";

struct Folder {
    bd::test::TempHome home{false};
    QTemporaryDir dir;
    QString path(const QString& n) const { return dir.filePath(n); }
    QStringList entries() const { return QDir(dir.path()).entryList(QDir::Files); }
};

} // namespace

TEST(AjustarHTML, GoldenBytesWithAndWithoutATitle) {
    Folder f;
    General::sTamFuenteHTML = "15";
    const QString file = f.path("Sales report.html");
    ASSERT_TRUE(writeFile(file, kExport));
    ASSERT_TRUE(General::AjustarHTML(file, QString()));
    EXPECT_EQ(readFile(file).toStdString(),
              QByteArray("<HTML><HEAD>\r\n"
                         "<META http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\r\n"
                         "</HEAD><BODY>\r\n" +
                         kTable + styleSheet("15", kKept))
                  .toStdString());

    // The title enters the head and the body as text, never as markup.
    ASSERT_TRUE(writeFile(file, kExport));
    General::sTamFuenteHTML = "20";
    ASSERT_TRUE(General::AjustarHTML(file, "Sales <b>&</b> \"Año\""));
    const QByteArray t = "Sales &lt;b&gt;&amp;&lt;/b&gt; &quot;A&#241;o&quot;";
    EXPECT_EQ(readFile(file).toStdString(),
              QByteArray("<HTML><HEAD><TITLE>" + t +
                         "</TITLE>\r\n"
                         "<META http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\r\n"
                         "</HEAD><BODY><CENTER><p><b>" +
                         t + "</b></p></CENTER>\r\n" + kTable + styleSheet("20", kKept))
                  .toStdString());
    // The rewrite replaced the file: nothing of it is left beside the export or in the program folder.
    EXPECT_EQ(f.entries(), QStringList{"Sales report.html"});
    EXPECT_FALSE(QFile::exists(f.home.path("temp.html")));
    General::sTamFuenteHTML = "15";
}

TEST(AjustarHTML, RulesKeptDroppedAndASecondRun) {
    const QStringList head = {"<HTML><HEAD>", "</HEAD><BODY>", "<TABLE>", "</TABLE>"};
    struct Case {
        const char* what;
        QStringList style;
        QString kept;
    } cases[] = {
        {"no numbered rule: an empty line",
         {"<STYLE type=\"text/css\">", " td.data { text-align:right; }"},
         ""},
        {"a rule with a blank after data is dropped",
         {"<STYLE type=\"text/css\">", " td.data  { x }", " td.data7 { color:red; text-align:right; }"},
         "td.data7 { color:red; border:1px dotted gray; text-align:right; }"},
        {"rules before the style block are not taken",
         {" td.data1 { text-align:right; }", "<STYLE type=\"text/css\">", " td.data2 { text-align:right;}"},
         "td.data2 { border:1px dotted gray; text-align:right;}"},
        {"the second run's own rules no longer begin with a blank",
         {"<STYLE type='text/css'>", "td.data0 {  border:1px dotted gray; text-align:right; }"},
         ""},
    };
    for (const Case& c : cases) {
        const QStringList out = General::AdjustHtmlLines(head + c.style, QString(), "15");
        // The lines before the style block stay, the style block is the program's.
        const int at = out.indexOf("<STYLE type='text/css'>");
        ASSERT_GE(at, 0) << c.what;
        EXPECT_EQ(out.mid(0, at), head + c.style.mid(0, c.style.indexOf(QRegularExpression("<STYLE.*"))))
            << c.what;
        EXPECT_EQ(out.value(at + 8), c.kept) << c.what;
        EXPECT_EQ(out.size(), at + 11) << c.what;
    }
}

TEST(AjustarHTML, AFileThatCannotBeReadIsReportedAndNothingIsWritten) {
    Folder f;
    bd::os::ScopedPrompter prompts;
    const QString missing = f.path("missing.html");
    EXPECT_FALSE(General::AjustarHTML(missing, "T"));
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].title, "Error drawing output");
    EXPECT_EQ(prompts->prompts[0].icon, bd::os::Icon::Critical);
    EXPECT_TRUE(prompts->prompts[0].text.startsWith("The file " + missing + " cannot be read"));
    EXPECT_TRUE(f.entries().isEmpty());
    // With a place for the reason, the caller reports it.
    QString why;
    EXPECT_FALSE(General::AjustarHTML(missing, "T", &why));
    EXPECT_TRUE(why.startsWith("The file "));
    EXPECT_EQ(prompts->prompts.size(), 1);
}

TEST(HtmlText, MarkupAndNonAsciiBecomeReferences) {
    EXPECT_EQ(General::HtmlText("a<b>&\"c\"'d' ñ € 😀"),
              "a&lt;b&gt;&amp;&quot;c&quot;&#39;d&#39; &#241; &#8364; &#128512;");
    EXPECT_EQ(General::HtmlText(""), "");
    EXPECT_EQ(General::HtmlText(QString(QChar(0xD800)) + "x" + QChar(0xDC00)), "&#65533;x&#65533;");
}
