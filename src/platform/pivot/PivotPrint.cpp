// Printing: the table drawn page by page, scaled to the page's width (landscape when the table is
// wider than a portrait page), the headers repeated on every page and every cell on one line.
#include "platform/os/DialogRunner.h"
#include "platform/pivot/PivotTable.h"

#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <algorithm>

namespace bd::pivot {

namespace {

constexpr double kPrintFontPoints = 8;
constexpr double kMinPrintScale = 0.6; // smaller is unreadable: the columns go on to more pages
constexpr int kMeasuredRows = 20000;   // rows measured for the widths: the first ones and the last 100
const QColor kPrintHeaderBack(0xe8, 0xe8, 0xe8), kPrintTotalBack(0xf2, 0xf2, 0xf2),
    kPrintGrid(0xa0, 0xa0, 0xa0);

// The table's measures on one device, in its pixels.
struct Sheet {
    QFont font, bold, title;
    double rowH = 0, pad = 0, titleH = 0, pageFieldsH = 0, footerH = 0;
    int rowLevels = 0, columnLevels = 0;
    std::vector<double> levelW; // row header columns (one when there is no row field)
    std::vector<double> colW;   // one per result column
    QString header, pageFields;
    double corner() const {
        double w = 0;
        for (double x : levelW)
            w += x;
        return w;
    }
    double width() const {
        double w = corner();
        for (double x : colW)
            w += x;
        return w;
    }
    int headerRows() const { return columnLevels + 1; }
    double topBlock() const { return titleH + pageFieldsH + headerRows() * rowH; }
};

Sheet measure(const PivotTable& t, const QString& header, QPaintDevice* device) {
    Sheet s;
    s.font = t.font();
    s.font.setPointSizeF(kPrintFontPoints);
    s.bold = s.font;
    s.bold.setBold(true);
    s.title = s.bold;
    s.title.setPointSizeF(kPrintFontPoints * 1.4);
    const QFontMetricsF fm(s.bold, device), tm(s.title, device);
    s.pad = fm.height() * 0.35;
    s.rowH = fm.height() + s.pad;
    s.header = header;
    s.titleH = header.isEmpty() ? 0 : tm.height() * 1.5;
    QStringList pages;
    for (PivotField* f : t.pageFields())
        pages << f->caption() + ": " + f->selectionText();
    s.pageFields = pages.join(QStringLiteral("     "));
    s.pageFieldsH = pages.isEmpty() ? 0 : s.rowH * 1.4;
    s.footerH = s.rowH * 1.5;
    const auto rowFields = t.rowFields(), columnFields = t.columnFields();
    s.rowLevels = rowFields.count();
    s.columnLevels = columnFields.count();

    const int rows = t.resultRows(), cols = t.resultColumns();
    std::vector<int> sample;
    for (int r = 0; r < rows; ++r) {
        if (r >= kMeasuredRows && r < rows - 100) r = rows - 100;
        sample.push_back(r);
    }
    auto w = [&](const QString& text) { return fm.horizontalAdvance(text) + 2 * s.pad; };
    s.levelW.assign(size_t(std::max(1, s.rowLevels)), 0);
    for (int l = 0; l < s.rowLevels; ++l) {
        double x = w(rowFields.item(l)->caption());
        for (int r : sample)
            x = std::max(x, w(t.rowHeaderText(r, l)));
        s.levelW[size_t(l)] = x;
    }
    // The corner holds the column fields' captions too.
    double captions = 0;
    for (int l = 0; l < s.columnLevels; ++l)
        captions = std::max(captions, w(columnFields.item(l)->caption()));
    if (captions > s.corner()) s.levelW.back() += captions - s.corner();
    s.levelW.front() = std::max(s.levelW.front(), 4 * s.pad);
    s.colW.assign(size_t(cols), 0);
    for (int c = 0; c < cols; ++c) {
        double x = 4 * s.pad;
        for (int l = 0; l <= s.columnLevels; ++l)
            x = std::max(x, w(t.columnHeaderText(c, l)));
        for (int r : sample)
            x = std::max(x, w(t.cellText(r, c)));
        s.colW[size_t(c)] = x;
    }
    return s;
}

QRectF pageRect(const QPrinter* printer) {
    return printer->pageLayout().paintRectPixels(printer->resolution());
}

// The scale that fits the table's width on the page, and the column bands each page holds.
struct Plan {
    double scale = 1;
    std::vector<std::pair<int, int>> bands; // [first, last) result columns
    int rowsPerPage = 1;
    int pages = 1;
};

Plan plan(const Sheet& s, const QRectF& page) {
    Plan p;
    const double wide = s.width();
    p.scale = wide > page.width() ? std::max(kMinPrintScale, page.width() / wide) : 1.0;
    const double room = page.width() / p.scale - s.corner();
    const int cols = int(s.colW.size());
    for (int c = 0; c < cols;) {
        int e = c;
        double used = 0;
        while (e < cols && (e == c || used + s.colW[size_t(e)] <= room + 0.5))
            used += s.colW[size_t(e++)];
        p.bands.push_back({c, e});
        c = e;
    }
    if (p.bands.empty()) p.bands.push_back({0, 0});
    const double rowsRoom = page.height() / p.scale - s.topBlock() - s.footerH;
    p.rowsPerPage = std::max(1, int(rowsRoom / s.rowH));
    return p;
}

void cell(QPainter& p, const Sheet& s, const QRectF& r, const QString& text, int align, const QColor& back,
          bool bold, bool grid = true) {
    if (back.isValid()) p.fillRect(r, back);
    if (grid) {
        p.setPen(QPen(kPrintGrid, 0));
        p.drawRect(r);
    }
    p.setPen(Qt::black);
    p.setFont(bold ? s.bold : s.font);
    // One line, never wrapped: the width was measured for it.
    p.drawText(r.adjusted(s.pad, 0, -s.pad, 0), align | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

void drawPage(QPainter& p, const PivotTable& t, const Sheet& s, const Plan& plan, int rowStart, int rowEnd,
              std::pair<int, int> band, int number) {
    const auto rowFields = t.rowFields(), columnFields = t.columnFields();
    double y = 0;
    if (!s.header.isEmpty()) {
        p.setFont(s.title);
        p.setPen(Qt::black);
        p.drawText(QRectF(0, 0, s.width() * 4, s.titleH), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   s.header);
        y += s.titleH;
    }
    if (!s.pageFields.isEmpty()) {
        p.setFont(s.font);
        p.drawText(QRectF(0, y, s.width() * 4, s.rowH), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   s.pageFields);
        y += s.pageFieldsH;
    }
    const double corner = s.corner();
    // Header rows: the column levels, then the data captions with the row fields' captions.
    for (int l = 0; l < s.headerRows(); ++l, y += s.rowH) {
        if (l < s.columnLevels) {
            cell(p, s, QRectF(0, y, corner, s.rowH), columnFields.item(l)->caption(), Qt::AlignLeft,
                 kPrintHeaderBack, true);
        } else {
            double x = 0;
            for (size_t k = 0; k < s.levelW.size(); ++k) {
                const QString caption = int(k) < s.rowLevels ? rowFields.item(int(k))->caption() : QString();
                cell(p, s, QRectF(x, y, s.levelW[k], s.rowH), caption, Qt::AlignLeft, kPrintHeaderBack, true);
                x += s.levelW[k];
            }
        }
        double x = corner;
        for (int c = band.first; c < band.second; ++c) {
            bool differs = c == band.first;
            for (int u = 0; u <= l && !differs; ++u)
                differs = t.columnHeaderText(c - 1, u) != t.columnHeaderText(c, u);
            cell(p, s, QRectF(x, y, s.colW[size_t(c)], s.rowH),
                 differs ? t.columnHeaderText(c, l) : QString(), Qt::AlignLeft, kPrintHeaderBack,
                 t.isTotalColumn(c));
            x += s.colW[size_t(c)];
        }
    }
    for (int r = rowStart; r < rowEnd; ++r, y += s.rowH) {
        const bool total = t.isTotalRow(r);
        double x = 0;
        for (size_t l = 0; l < s.levelW.size(); ++l) {
            QString text;
            if (int(l) < s.rowLevels) {
                bool differs = r == rowStart || total;
                for (int u = 0; u <= int(l) && !differs; ++u)
                    differs = t.rowHeaderText(r - 1, u) != t.rowHeaderText(r, u);
                if (differs) text = t.rowHeaderText(r, int(l));
            }
            cell(p, s, QRectF(x, y, s.levelW[l], s.rowH), text, Qt::AlignLeft,
                 total ? kPrintTotalBack : QColor(), total);
            x += s.levelW[l];
        }
        for (int c = band.first; c < band.second; ++c) {
            const bool inTotal = total || t.isTotalColumn(c);
            cell(p, s, QRectF(x, y, s.colW[size_t(c)], s.rowH), t.cellText(r, c), Qt::AlignRight,
                 inTotal ? kPrintTotalBack : QColor(), inTotal);
            x += s.colW[size_t(c)];
        }
    }
    double bandW = corner;
    for (int c = band.first; c < band.second; ++c)
        bandW += s.colW[size_t(c)];
    p.setFont(s.font);
    p.setPen(Qt::black);
    p.drawText(QRectF(0, y + s.rowH * 0.5, bandW, s.rowH),
               Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
               QStringLiteral("Page %1 of %2").arg(number).arg(plan.pages));
}

} // namespace

void PivotTable::fitPrinterToTable(QPrinter* printer) const {
    if (!printer || printer->printerState() == QPrinter::Active) return;
    ensure();
    const Sheet s = measure(*this, printHeader_, printer);
    QPageLayout layout = printer->pageLayout();
    layout.setOrientation(QPageLayout::Portrait);
    const double portrait = layout.paintRectPixels(printer->resolution()).width();
    printer->setPageOrientation(s.width() > portrait ? QPageLayout::Landscape : QPageLayout::Portrait);
}

void PivotTable::print(QPrinter* printer) const {
    if (!printer) return;
    ensure();
    fitPrinterToTable(printer);
    const Sheet s = measure(*this, printHeader_, printer);
    Plan pl = plan(s, pageRect(printer));
    const int rows = resultRows();
    const int rowPages = std::max(1, (rows + pl.rowsPerPage - 1) / pl.rowsPerPage);
    pl.pages = rowPages * int(pl.bands.size());
    QPainter p;
    if (!p.begin(printer)) return;
    p.scale(pl.scale, pl.scale);
    int number = 0;
    for (const auto& band : pl.bands) // down, then over
        for (int page = 0; page < rowPages; ++page) {
            if (number > 0) printer->newPage();
            const int first = page * pl.rowsPerPage;
            drawPage(p, *this, s, pl, first, std::min(rows, first + pl.rowsPerPage), band, ++number);
        }
    p.end();
}

void PivotTable::printPreview() {
    QPrinter printer(QPrinter::HighResolution);
    fitPrinterToTable(&printer);
    QPrintPreviewDialog dlg(&printer, this);
    connect(&dlg, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { print(p); });
    bd::os::runDialog(&dlg);
}

} // namespace bd::pivot
