#pragma once
// The web view of a cube: the page font size, the size limits of an upload, the menu of the frame
// page and the frame page "view.html" itself, the view's address and its embed code. Pure
// functions over plain inputs: the viewer gathers the pieces and uploads the files.
#include <QString>
#include <QVector>

namespace bd::publishing {

// Above this many cells an upload asks whether to go on; above kCellsCancel it is cancelled.
constexpr qint64 kCellsAsk = 20000;
constexpr qint64 kCellsCancel = 60000;
// Font sizes of the published page that the upload properties accept.
constexpr int kMinFontPixels = 1;
constexpr int kMaxFontPixels = 200;

// Cells of an upload: (result columns + row fields) x result rows.
qint64 CellCount(int resultColumns, int rowFields, int resultRows);

enum class CellLimit { Fine, Ask, Cancel };
CellLimit CheckCells(qint64 cells);

// The size question of an upload answered: true = go on. With a person the boxes ask and tell;
// without one (an unattended run) an upload above kCellsAsk goes on and one above kCellsCancel is
// cancelled, each with its reason on standard error.
bool ConfirmCells(qint64 cells, bool unattended);

// A font size as the upload properties keep it: a whole number kMinFontPixels..kMaxFontPixels as
// typed (blanks trimmed), anything else "0".
QString ValidFontPixels(const QString& text);
// The page font size of a publishing from the cube's row: that size, or the default when the row
// is empty, "0" or no accepted size.
QString PublishingFontPixels(const QString& row);

// The published view: views base & export id & "/" & view page.
QString ViewAddress(const QString& viewsBase, const QString& exportId, const QString& viewPage);
// The embed code of a view: one iframe element named "parentGrid".
QString EmbedCode(const QString& viewAddress);

// One chart of the menu: its picture file ("img1.jpg") and the measure it shows.
struct ChartEntry {
    QString picture;
    QString measure;
};

// The menu line of the frame page: the grid cell, the chart cells (only when charts are shown), the
// zoom cells and the full-screen cell, in one table row.
QString MenuLine(const QString& viewsBase, const QString& dataPage, const QVector<ChartEntry>& charts);

struct ViewPage {
    QString title;
    QString iconUrl;
    QString scriptUrl;
    QString menuLine; // from MenuLine
    QString dataPage; // "data.html"
    int fontPixels = 15;
};
// The frame page's lines, without line ends; inserted texts are HTML-escaped.
QStringList ViewLines(const ViewPage& page);

} // namespace bd::publishing
