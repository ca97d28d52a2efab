#pragma once
// Shared procedure of the General module that gives the pivot's HTML export the program's own look:
// a title in the head and above the table, and the program's style sheet (font size sTamFuenteHTML)
// in place of the pivot's, keeping the pivot's numbered data-cell rules.
#include <QString>
#include <QStringList>

namespace General {

// The page font size in pixels until a cube's upload properties give another.
constexpr int kDefaultHtmlFontPixels = 15;

// Text for an HTML page or attribute: markup characters and everything outside ASCII as character
// references, so the text reads the same whatever encoding a browser assumes.
QString HtmlText(const QString& text);

// The rewritten lines of an export (its lines without line ends), title "" keeping the head and body
// lines as exported.
QStringList AdjustHtmlLines(const QStringList& lines, const QString& title, const QString& fontPixels);

// Rewrites the export file with AdjustHtmlLines and sTamFuenteHTML, lines ending in CR LF. The
// rewrite goes to a file beside the export that replaces it only when complete, so a failure leaves
// the export as it was. On failure: false, with the reason in *error, or, without error, in a box
// titled "Error drawing output".
bool AjustarHTML(const QString& path, const QString& title, QString* error = nullptr);

} // namespace General
