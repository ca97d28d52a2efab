#include "publishing/WebView.h"

#include "platform/os/Prompter.h"
#include "shell/GeneralHtml.h"

#include <algorithm>
#include <cstdio>

namespace bd::publishing {

using General::HtmlText;

qint64 CellCount(int resultColumns, int rowFields, int resultRows) {
    return (qint64(resultColumns) + rowFields) * qint64(resultRows);
}

CellLimit CheckCells(qint64 cells) {
    if (cells > kCellsCancel) return CellLimit::Cancel;
    if (cells > kCellsAsk) return CellLimit::Ask;
    return CellLimit::Fine;
}

bool ConfirmCells(qint64 cells, bool unattended) {
    using namespace bd::os;
    const CellLimit limit = CheckCells(cells);
    if (limit == CellLimit::Fine) return true;
    const QString n = QString::number(cells);
    if (unattended) {
        const QString why =
            limit == CellLimit::Cancel
                ? QStringLiteral("%1 cells are more than %2: the upload is cancelled.")
                      .arg(n)
                      .arg(kCellsCancel)
                : QStringLiteral("%1 cells are more than %2: the upload goes on.").arg(n).arg(kCellsAsk);
        std::fprintf(stderr, "Upload: %s\n", qPrintable(why));
        std::fflush(stderr);
        if (limit == CellLimit::Cancel) noteUnattendedFailure();
        return limit != CellLimit::Cancel;
    }
    if (limit == CellLimit::Cancel) {
        MsgBox("You are trying to upload " + n + " cells. This operation will be canceled. ", Buttons::Ok,
               Icon::None, "Filter you information and reduce your results");
        return false;
    }
    return MsgBox("You are trying to upload " + n +
                      " cells. This operation may take a long time. Do you want to continue ? ",
                  Buttons::YesNo, Icon::None, "Reduce your results") == Answer::Yes;
}

QString ValidFontPixels(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    const int px = t.toInt(&ok);
    // Digits only: no sign, no blank inside, no decimals.
    const bool digits =
        !t.isEmpty() && std::all_of(t.cbegin(), t.cend(), [](QChar c) { return c.isDigit(); });
    return ok && digits && px >= kMinFontPixels && px <= kMaxFontPixels ? QString::number(px)
                                                                        : QStringLiteral("0");
}

QString PublishingFontPixels(const QString& row) {
    const QString px = ValidFontPixels(row);
    return px == "0" ? QString::number(General::kDefaultHtmlFontPixels) : px;
}

QString ViewAddress(const QString& viewsBase, const QString& exportId, const QString& viewPage) {
    return viewsBase + exportId + "/" + viewPage;
}

QString EmbedCode(const QString& viewAddress) {
    return "<iframe name=\"parentGrid\" src=\"" + HtmlText(viewAddress) +
           "\" frameBorder=\"0\" width=\"80%\" height=\"80%\"></iframe>";
}

namespace {
QString cell(const QString& href, const QString& attributes, const QString& picture, const QString& label) {
    return "<TD><CENTER><a href=\"" + href + "\"" + attributes + "><IMG SRC=\"" + picture + "\"><BR>&nbsp;" +
           label + "&nbsp;</a></CENTER></TD>";
}
} // namespace

QString MenuLine(const QString& viewsBase, const QString& dataPage, const QVector<ChartEntry>& charts) {
    const QString views = HtmlText(viewsBase);
    const QString inFrame = QStringLiteral(" target=\"ifrGrid\"");
    QString line = "<TABLE class=\"menu\" ><TR>";
    line += cell(HtmlText(dataPage), inFrame, views + "img/grid.png", "Grid");
    for (const ChartEntry& c : charts)
        line += cell(HtmlText(c.picture), inFrame, views + "img/charts.png", HtmlText(c.measure));
    line += cell("#", " onclick=\"setZoomUp()\"", views + "img/zoom.png", "Zoom +");
    line += cell("#", " onclick=\"setZoomDown()\"", views + "img/zoom.png", "Zoom -");
    line += cell("#", " onclick=\"swapFullScreen();\"", views + "img/fullscreen.png", "Full Screen");
    return line + "</TR></TABLE>";
}

QStringList ViewLines(const ViewPage& p) {
    const QString t = HtmlText(p.title);
    const QString font = QStringLiteral("px verdana, arial, helvetica, sans-serif;}");
    return {"<HTML><HEAD>",
            "<link rel=\"shortcut icon\" href=\"" + HtmlText(p.iconUrl) + "\">",
            "<TITLE>" + t + "</TITLE>",
            "</HEAD>",
            "<BODY>",
            p.menuLine,
            "<CENTER><p><b>" + t + "</b></p></CENTER>",
            "<iframe name=\"ifrGrid\" src=\"" + HtmlText(p.dataPage) +
                "\" frameBorder=\"0\" width=\"100%\" height=\"87%\"></iframe><br>",
            "</BODY>",
            "<STYLE type='text/css'>",
            "p { border:1px dotted gray; margin: 0; font:normal " + QString::number(p.fontPixels) + font,
            "a { text-decoration: none;}",
            "table.menu { border:0px; margin: 0; font:normal " + QString::number(p.fontPixels - 2) + font,
            "td:hover { background-color: #f0f0f0;}",
            "iframe { zoom: -50%;}",
            "</STYLE>",
            "<script type=\"Text/javascript\" src=\"" + HtmlText(p.scriptUrl) + "\"></script>",
            "</HTML>"};
}

} // namespace bd::publishing
