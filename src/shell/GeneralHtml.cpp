#include "shell/GeneralHtml.h"

#include "platform/os/Prompter.h"
#include "shell/General.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace General {
namespace {

const QString kStyleStart = QStringLiteral("<STYLE type=");
const QString kDataRule = QStringLiteral(" td.data");

// The pivot's own font, left to the program's style sheet.
const QString kPivotFont = QStringLiteral("font:normal normal normal 9.75pt normal Verdana");

// A numbered data-cell rule (" td.data0 {...}"); the rule of every data cell (" td.data {") is not.
bool isNumberedRule(const QString& line) {
    return line.startsWith(kDataRule) && !line.startsWith(kDataRule + ' ');
}

QString keptRule(QString line) {
    line.remove(kPivotFont);
    line.replace(QStringLiteral(" text-align:right;"),
                 QStringLiteral(" border:1px dotted gray; text-align:right;"));
    return line.trimmed();
}

QStringList styleSheetLines(const QString& px, const QStringList& kept) {
    const QString font = "font:normal " + px + "px verdana, arial, helvetica, sans-serif;}";
    return {
        "<STYLE type='text/css'>",
        "p {  border:1px solid gray; border-collapse:collapse; " + font,
        "table {  border:1px solid gray; border-collapse:collapse; " + font,
        "td.total {  border:1px solid gray; text-align:right; background-color:#f0f0f0; color:#000000; "
        "font-weight: bold; }",
        "td.data { border:1px dotted gray; text-align:right; background-color:#ffffff; color:#000000;  }",
        "td.field {  border:1px solid gray; text-align:center; background-color:#808080; color:#ffffff; }",
        "td.header {  border:1px solid gray; vertical-align:top; background-color:#f0f0f0; color:#000000; }",
        "td:hover { background-color: #f0f0f0; font-weight: bold; " + font,
        kept.join(QStringLiteral("\r\n")),
        "</STYLE>",
        "</BODY></HTML>"};
}

bool fail(const QString& why, QString* error) {
    if (error)
        *error = why;
    else
        bd::os::MsgBox(why, bd::os::Buttons::Ok, bd::os::Icon::Critical, "Error drawing output");
    return false;
}

} // namespace

QString HtmlText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (auto it = text.cbegin(); it != text.cend(); ++it) {
        const char32_t c = it->isHighSurrogate() && it + 1 != text.cend() && (it + 1)->isLowSurrogate()
                               ? QChar::surrogateToUcs4(*it, *(it + 1))
                               : it->unicode();
        if (c > 0xFFFF) ++it;
        switch (c) {
        case '&':
            out += QStringLiteral("&amp;");
            break;
        case '<':
            out += QStringLiteral("&lt;");
            break;
        case '>':
            out += QStringLiteral("&gt;");
            break;
        case '"':
            out += QStringLiteral("&quot;");
            break;
        case '\'':
            out += QStringLiteral("&#39;");
            break;
        default:
            if (c < 0x80)
                out += QChar(char16_t(c));
            else // a lone surrogate names no character
                out += QStringLiteral("&#%1;").arg(QChar::isSurrogate(c) ? 0xFFFDu : uint(c));
        }
    }
    return out;
}

QStringList AdjustHtmlLines(const QStringList& lines, const QString& title, const QString& fontPixels) {
    const QString t = HtmlText(title);
    QStringList out, kept;
    bool inStyle = false;
    for (QString line : lines) {
        if (!title.isEmpty() && line.startsWith(QStringLiteral("<HTML>")))
            line = "<HTML><HEAD><TITLE>" + t + "</TITLE>";
        if (!title.isEmpty() && line.startsWith(QStringLiteral("</HEAD><BODY>")))
            line = "</HEAD><BODY><CENTER><p><b>" + t + "</b></p></CENTER>";
        if (inStyle && isNumberedRule(line)) kept << keptRule(line);
        if (line.startsWith(kStyleStart)) inStyle = true;
        // The pivot's style block and whatever follows it give way to the program's style sheet.
        if (!inStyle) out << line;
    }
    return out + styleSheetLines(fontPixels, kept);
}

bool AjustarHTML(const QString& path, const QString& title, QString* error) {
    PunteroEspera();
    struct RestoreCursor {
        ~RestoreCursor() { PunteroNormal(); }
    } restoreCursor;
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("The file %1 cannot be read: %2").arg(path, in.errorString()), error);
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(in.readAll());
    in.close();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();

    const QString rewritten =
        AdjustHtmlLines(lines, title, sTamFuenteHTML).join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(rewritten.toUtf8()) < 0 || !out.commit())
        return fail(QStringLiteral("The file %1 cannot be written: %2").arg(path, out.errorString()), error);
    return true;
}

} // namespace General
