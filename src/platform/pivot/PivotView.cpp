// Painting and mouse work of the pivot table: only the visible part of the result is painted, straight
// from the engine's result; field headers are dragged between the page, row, column and data areas.
#include "platform/os/DialogRunner.h"
#include "platform/pivot/PageFieldList.h"
#include "platform/pivot/PivotTable.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <algorithm>

namespace bd::pivot {

namespace {
const QColor kFieldBack(0x80, 0x80, 0x80), kHeaderBack(0xf0, 0xf0, 0xf0), kGrid(0xc8, 0xc8, 0xc8),
    kAreaBack(0xe4, 0xe8, 0xee);
constexpr int kPad = 6;
constexpr int kChipGap = 4;               // between two field chips
constexpr int kListArrowW = 14;           // the list arrow at the right of a page field's chip
const QColor kHintText(0x70, 0x70, 0x70); // "Drop ... fields here"

// Widths are measured on a sample, so that a result of hundreds of thousands of cells lays out at
// once: the first and the last rows of each column; past the first columns, the far ones repeat
// their widths, but for the last few.
constexpr int kSampleCells = 200000;                    // cells measured over all columns together
constexpr int kSampleRowsMin = 5, kSampleRowsMax = 400; // first rows measured per column
constexpr int kSampleHeaderRows = 2000;                 // first rows measured per row header level
constexpr int kSampleTailRows = 40;                     // last rows measured besides
constexpr int kMeasuredColumns = 2000, kMeasuredLastColumns = 100;
constexpr int kMinColumnW = 70; // a data column or a row header level
constexpr int kMaxRowHeaderW = 320, kMaxColumnW = 260;
} // namespace

PivotTable::PivotTable(QWidget* parent) : QAbstractScrollArea(parent) {
    qRegisterMetaType<bd::pivot::PivotElement>();
    setData(std::shared_ptr<const db::ColumnarResult>());
    viewport()->setMouseTracking(true);
    viewport()->setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::StrongFocus);
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
}

int PivotTable::headerRows() const {
    // one row for the data and column field buttons, one per column level (the data level included)
    return 1 + int(area(ColumnArea).size()) + 1;
}
int PivotTable::bodyTop() const {
    return pageH_ + headerRows() * rowH_;
}
int PivotTable::cornerWidth() const {
    int w = 0;
    for (int lw : levelW_)
        w += lw;
    return w;
}

void PivotTable::updateGeometryCache() {
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics fm(bold); // totals are bold: size everything for them
    rowH_ = fm.height() + 8;
    pageH_ = rowH_ + 8;
    const int k = int(area(RowArea).size());
    const int rows = result_ ? result_->rowCount() : 0, cols = result_ ? result_->columnCount() : 0;
    const int sample =
        std::min(rows, std::clamp(kSampleCells / std::max(1, cols), kSampleRowsMin, kSampleRowsMax));
    const int tail = std::min(kSampleTailRows, sample);
    // Without row fields the corner holds the drop hint.
    levelW_.assign(size_t(std::max(1, k)),
                   std::max(90, fm.horizontalAdvance(tr("Drop row fields here")) + 2 * kPad));
    const auto rf = area(RowArea);
    for (int l = 0; l < k; ++l) {
        int w = fm.horizontalAdvance(rf[size_t(l)]->caption()) + 3 * kPad + 12;
        const int rowSample = std::min(rows, kSampleHeaderRows);
        for (int r = 0; r < rowSample; ++r)
            w = std::max(w, fm.horizontalAdvance(rowHeaderText(r, l)) + 2 * kPad);
        for (int r = std::max(rowSample, rows - kSampleTailRows); r < rows; ++r)
            w = std::max(w, fm.horizontalAdvance(rowHeaderText(r, l)) + 2 * kPad);
        levelW_[size_t(l)] = std::clamp(w, kMinColumnW, kMaxRowHeaderW);
    }
    const int m = int(area(ColumnArea).size());
    colX_.assign(size_t(cols) + 1, 0);
    for (int c = 0; c < cols; ++c) {
        if (c >= kMeasuredColumns && c < cols - kMeasuredLastColumns) { // a far column
            const size_t same = size_t(c - kMeasuredColumns);
            colX_[size_t(c) + 1] = colX_[size_t(c)] + (colX_[same + 1] - colX_[same]);
            continue;
        }
        int w = kMinColumnW;
        for (int l = 0; l <= m; ++l)
            w = std::max(w, fm.horizontalAdvance(columnHeaderText(c, l)) + 2 * kPad);
        for (int r = 0; r < sample; ++r)
            w = std::max(w, fm.horizontalAdvance(cellText(r, c)) + 2 * kPad);
        for (int r = std::max(sample, rows - tail); r < rows; ++r)
            w = std::max(w, fm.horizontalAdvance(cellText(r, c)) + 2 * kPad);
        colX_[size_t(c) + 1] = colX_[size_t(c)] + std::min(w, kMaxColumnW);
    }
    const int cornerW = cornerWidth();
    const int contentW = colX_.back(), contentH = rows * rowH_;
    const QSize vs = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, contentW - (vs.width() - cornerW)));
    horizontalScrollBar()->setPageStep(std::max(1, vs.width() - cornerW));
    verticalScrollBar()->setRange(0, std::max(0, contentH - (vs.height() - bodyTop())));
    verticalScrollBar()->setPageStep(std::max(1, vs.height() - bodyTop()));
}

void PivotTable::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    ensure();
    updateGeometryCache();
}

void PivotTable::scrollContentsBy(int, int) {
    viewport()->update();
}

QString PivotTable::chipText(const PivotField* f) const {
    // A page field that shows only some members says so.
    return f->orientation() == PageArea && !f->hidden_.isEmpty() ? f->caption() + QStringLiteral(" *")
                                                                 : f->caption();
}

int PivotTable::chipWidth(const PivotField* f) const {
    // Two pixels to spare: a text measured to fit exactly may still be elided.
    return QFontMetrics(font()).horizontalAdvance(chipText(f)) + 2 * kPad + 2 +
           (f->orientation() == PageArea ? kListArrowW : 0);
}

int PivotTable::columnAreaStart() const {
    const int cornerW = cornerWidth();
    // The data chips may reach past the row headers: the column chips then start after them.
    const auto data = area(DataArea);
    int x = 2;
    for (PivotField* f : data)
        x += chipWidth(f) + kChipGap;
    if (data.empty()) x += QFontMetrics(font()).horizontalAdvance(tr("Drop data fields here")) + 2 * kPad;
    return std::max(cornerW, x);
}

std::vector<PivotTable::Button> PivotTable::buttons() const {
    std::vector<Button> out;
    // Chips of one header row follow each other with a gap, so none covers another.
    auto place = [&](const std::vector<PivotField*>& fs, int area, int x, int y) {
        for (PivotField* f : fs) {
            out.push_back({QRect(x, y + 2, chipWidth(f), rowH_ - 4), f, area});
            x += out.back().rect.width() + kChipGap;
        }
    };
    place(area(PageArea), PageArea, 4, 4);
    place(area(DataArea), DataArea, 2, pageH_);
    place(area(ColumnArea), ColumnArea, columnAreaStart() + 2, pageH_);
    // row field chips sit over their own header columns in the last header row
    const auto rf = area(RowArea);
    int x = 0;
    const int y = pageH_ + (headerRows() - 1) * rowH_;
    for (size_t l = 0; l < rf.size(); ++l) {
        out.push_back({QRect(x + 2, y + 2, levelW_[l] - 4, rowH_ - 4), rf[l], RowArea});
        x += levelW_[l];
    }
    return out;
}

// What one paint covers: the viewport, the scroll offsets, the header sizes and the visible rows
// and columns of the result.
struct PivotTable::PaintFrame {
    QRect view;
    QFont bold;
    int cornerW, hs, vs, top, headerRows;
    int rowLevels, columnLevels, columns;
    int firstRow, lastRow, firstCol;
};

PivotTable::PaintFrame PivotTable::paintFrame() const {
    PaintFrame f;
    f.view = viewport()->rect();
    f.bold = font();
    f.bold.setBold(true);
    f.cornerW = cornerWidth();
    f.hs = horizontalScrollBar()->value();
    f.vs = verticalScrollBar()->value();
    f.top = bodyTop();
    f.headerRows = headerRows();
    f.rowLevels = int(area(RowArea).size());
    f.columnLevels = int(area(ColumnArea).size());
    f.columns = resultColumns();
    f.firstRow = std::max(0, f.vs / rowH_);
    f.lastRow = std::min(resultRows() - 1, (f.vs + f.view.height() - f.top) / rowH_);
    f.firstCol = std::max(0, int(std::upper_bound(colX_.begin(), colX_.end(), f.hs) - colX_.begin()) - 1);
    return f;
}

void PivotTable::paintEvent(QPaintEvent*) {
    ensure();
    QPainter p(viewport());
    const PaintFrame f = paintFrame();
    p.fillRect(f.view, Qt::white);
    paintDropAreas(p, f);
    paintCells(p, f);
    paintRowHeaders(p, f);
    paintColumnHeaders(p, f);
    paintCorner(p, f);
    paintFieldButtons(p);
}

// The page area and the data/column band, with a hint in each area that holds no field.
void PivotTable::paintDropAreas(QPainter& p, const PaintFrame& f) const {
    const int width = f.view.width();
    p.fillRect(QRect(0, 0, width, pageH_), kAreaBack);
    p.fillRect(QRect(0, pageH_, width, rowH_), kAreaBack);
    p.setPen(kHintText);
    if (area(PageArea).empty())
        p.drawText(QRect(8, 0, width, pageH_), Qt::AlignVCenter, tr("Drop page fields here"));
    if (area(ColumnArea).empty())
        p.drawText(QRect(columnAreaStart() + 8, pageH_, width, rowH_), Qt::AlignVCenter,
                   tr("Drop column fields here"));
    if (area(DataArea).empty())
        p.drawText(QRect(6, pageH_, columnAreaStart(), rowH_), Qt::AlignVCenter, tr("Drop data fields here"));
}

void PivotTable::paintCells(QPainter& p, const PaintFrame& f) const {
    p.save();
    p.setClipRect(QRect(f.cornerW, f.top, f.view.width() - f.cornerW, f.view.height() - f.top));
    for (int r = f.firstRow; r <= f.lastRow; ++r) {
        const int y = f.top + r * rowH_ - f.vs;
        for (int c = f.firstCol; c < f.columns; ++c) {
            const int x = f.cornerW + colX_[size_t(c)] - f.hs;
            if (x > f.view.width()) break;
            const QRect cell(x, y, colX_[size_t(c) + 1] - colX_[size_t(c)], rowH_);
            const CellFormat cf = formatFor(r, c);
            p.fillRect(cell, r == currentRow_ && c == currentColumn_ ? cf.back.darker(115) : cf.back);
            p.setPen(kGrid);
            p.drawRect(cell.adjusted(0, 0, -1, -1));
            p.setPen(cf.fore);
            p.setFont(cf.total ? f.bold : font());
            p.drawText(cell.adjusted(kPad, 0, -kPad, 0), Qt::AlignRight | Qt::AlignVCenter, cellText(r, c));
        }
    }
    p.restore();
}

// A row header shows its text where it differs from the row above (and on the first visible row).
void PivotTable::paintRowHeaders(QPainter& p, const PaintFrame& f) const {
    const int k = f.rowLevels;
    p.save();
    p.setClipRect(QRect(0, f.top, f.cornerW, f.view.height() - f.top));
    for (int r = f.firstRow; r <= f.lastRow; ++r) {
        const int y = f.top + r * rowH_ - f.vs;
        const bool total = isTotalRow(r);
        int x = 0;
        bool differs = r == f.firstRow;
        for (int l = 0; l < std::max(1, k); ++l) {
            const QString t = k ? rowHeaderText(r, l) : QString();
            if (!differs && (r == 0 || rowHeaderText(r - 1, l) != t)) differs = true;
            const QRect cell(x, y, levelW_[size_t(l)], rowH_);
            p.fillRect(cell, kHeaderBack);
            p.setPen(kGrid);
            p.drawLine(cell.topRight(), cell.bottomRight());
            if (differs || total) p.drawLine(cell.topLeft(), cell.topRight());
            p.setPen(Qt::black);
            p.setFont(total ? f.bold : font());
            if (differs || total)
                p.drawText(cell.adjusted(kPad, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter, t);
            x += levelW_[size_t(l)];
        }
    }
    p.restore();
}

// Levels 0..m, the last holds the data captions; a header shows its text where it or a level above
// differs from the column on its left.
void PivotTable::paintColumnHeaders(QPainter& p, const PaintFrame& f) const {
    p.save();
    p.setClipRect(QRect(f.cornerW, pageH_ + rowH_, f.view.width() - f.cornerW, (f.headerRows - 1) * rowH_));
    for (int l = 0; l <= f.columnLevels; ++l) {
        const int y = pageH_ + (1 + l) * rowH_;
        for (int c = f.firstCol; c < f.columns; ++c) {
            const int x = f.cornerW + colX_[size_t(c)] - f.hs;
            if (x > f.view.width()) break;
            const QString t = columnHeaderText(c, l);
            bool differs = c == f.firstCol;
            for (int u = 0; u <= l && !differs; ++u)
                differs = columnHeaderText(c - 1, u) != columnHeaderText(c, u);
            const QRect cell(x, y, colX_[size_t(c) + 1] - colX_[size_t(c)], rowH_);
            p.fillRect(cell, kHeaderBack);
            p.setPen(kGrid);
            p.drawLine(cell.bottomLeft(), cell.bottomRight());
            if (differs) p.drawLine(cell.topLeft(), cell.bottomLeft());
            p.setPen(Qt::black);
            p.setFont(isTotalColumn(c) ? f.bold : font());
            if (differs) p.drawText(cell.adjusted(kPad, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter, t);
        }
    }
    p.restore();
}

// Above the row headers: the row field chips' band, with the drop hint when there are none.
void PivotTable::paintCorner(QPainter& p, const PaintFrame& f) const {
    p.fillRect(QRect(0, pageH_ + rowH_, f.cornerW, (f.headerRows - 1) * rowH_), kAreaBack);
    if (f.rowLevels) return;
    p.setPen(kHintText);
    p.drawText(QRect(6, pageH_ + (f.headerRows - 1) * rowH_, f.cornerW, rowH_), Qt::AlignVCenter,
               tr("Drop row fields here"));
}

// The field chips (a page field's with its list arrow), and the one being dragged under the pointer.
void PivotTable::paintFieldButtons(QPainter& p) const {
    const QFontMetrics fm(font());
    for (const Button& b : buttons()) {
        if (dragging_ && b.field == pressField_) continue;
        p.fillRect(b.rect, kFieldBack);
        p.setPen(Qt::white);
        p.setFont(font());
        const QString text = chipText(b.field);
        if (b.area == PageArea)
            p.drawText(b.rect.adjusted(b.rect.width() - kListArrowW, 0, 0, 0), Qt::AlignCenter,
                       QStringLiteral("\u25BE"));
        const QRect textRect = b.rect.adjusted(kPad, 0, b.area == PageArea ? -kListArrowW : -kPad, 0);
        p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                   fm.elidedText(text, Qt::ElideRight, textRect.width()));
    }
    if (dragging_ && pressField_) {
        const QRect r(dragPos_ - QPoint(10, rowH_ / 2),
                      QSize(fm.horizontalAdvance(pressField_->caption()) + 2 * kPad, rowH_ - 4));
        p.setOpacity(0.75);
        p.fillRect(r, kFieldBack.darker(130));
        p.setPen(Qt::white);
        p.drawText(r.adjusted(kPad, 0, 0, 0), Qt::AlignVCenter, pressField_->caption());
    }
}

PivotElement PivotTable::elementAt(const QPoint& pos) const {
    ensure();
    PivotElement e;
    for (const Button& b : buttons())
        if (b.rect.contains(pos)) {
            e.kind = PivotElement::FieldHeader;
            e.field = b.field;
            e.index = b.field->position();
            return e;
        }
    const int cornerW = cornerWidth();
    const int hs = horizontalScrollBar()->value(), vs = verticalScrollBar()->value(), top = bodyTop();
    auto colAt = [&](int x) {
        const int cx = x - cornerW + hs;
        if (cx < 0 || colX_.size() < 2 || cx >= colX_.back()) return -1;
        return int(std::upper_bound(colX_.begin(), colX_.end(), cx) - colX_.begin()) - 1;
    };
    if (pos.y() >= top) {
        const int r = (pos.y() - top + vs) / rowH_;
        if (r >= resultRows()) return e;
        if (pos.x() < cornerW) {
            const auto rf = area(RowArea);
            int x = 0;
            for (size_t l = 0; l < levelW_.size(); ++l) {
                if (pos.x() < x + levelW_[l]) {
                    if (l < rf.size()) {
                        e.kind = PivotElement::RowMember;
                        e.field = rf[l];
                        e.index = int(l);
                        e.row = r;
                    }
                    return e;
                }
                x += levelW_[l];
            }
            return e;
        }
        const int c = colAt(pos.x());
        if (c < 0) return e;
        e.kind = PivotElement::Cell;
        e.row = r;
        e.column = c;
        return e;
    }
    const int hy = pos.y() - pageH_ - rowH_;
    if (hy >= 0 && pos.x() >= cornerW) {
        const int l = hy / rowH_, c = colAt(pos.x());
        const auto cf = area(ColumnArea);
        if (c >= 0) {
            e.kind = PivotElement::ColumnMember;
            e.field = l < int(cf.size()) ? cf[size_t(l)] : nullptr;
            e.index = l;
            e.column = c;
        }
    }
    return e;
}

QRect PivotTable::chipRect(const PivotField* f) const {
    ensure();
    for (const Button& b : buttons())
        if (b.field == f) return b.rect;
    return {};
}

PivotElement PivotTable::elementUnderPointer() const {
    return elementAt(lastMouse_);
}

int PivotTable::dropArea(const QPoint& p) const {
    const int cornerW = cornerWidth();
    if (!viewport()->rect().contains(p)) return -1;
    if (p.y() < pageH_) return PageArea;
    if (p.y() < pageH_ + rowH_) return p.x() < columnAreaStart() ? DataArea : ColumnArea;
    if (p.x() < cornerW) return RowArea;
    if (p.y() < bodyTop()) return ColumnArea;
    return DataArea;
}

int PivotTable::dropPosition(int a, const QPoint& p) const {
    int pos = 0;
    for (const Button& b : buttons())
        if (b.area == a && b.field != pressField_ && b.rect.center().x() < p.x()) ++pos;
    return pos;
}

void PivotTable::mousePressEvent(QMouseEvent* e) {
    lastMouse_ = e->position().toPoint();
    emit hintRemoval();
    const PivotElement el = elementAt(lastMouse_);
    if (el.kind == PivotElement::Cell)
        setCurrentCell(el.row, el.column);
    else if (el.column >= 0)
        currentColumn_ = el.column;
    const int button = e->button() == Qt::LeftButton     ? 1
                       : e->button() == Qt::RightButton  ? 2
                       : e->button() == Qt::MiddleButton ? 4
                                                         : 0;
    if (e->button() == Qt::LeftButton && el.kind == PivotElement::FieldHeader) {
        pressField_ = el.field;
        pressPos_ = lastMouse_;
        dragging_ = false;
    }
    emit mouseButtonPressed(button, el);
}

void PivotTable::mouseMoveEvent(QMouseEvent* e) {
    lastMouse_ = e->position().toPoint();
    if (pressField_ && (e->buttons() & Qt::LeftButton)) {
        if (!dragging_ && (lastMouse_ - pressPos_).manhattanLength() >= QApplication::startDragDistance())
            dragging_ = true;
        if (dragging_) {
            dragPos_ = lastMouse_;
            viewport()->update();
        }
    }
}

void PivotTable::mouseReleaseEvent(QMouseEvent* e) {
    lastMouse_ = e->position().toPoint();
    PivotField* f = pressField_;
    const bool wasDrag = dragging_;
    pressField_ = nullptr;
    dragging_ = false;
    viewport()->update();
    if (!f || e->button() != Qt::LeftButton) return;
    if (!wasDrag) {
        if (f->orientation() == PageArea)
            for (const Button& b : buttons())
                if (b.field == f) {
                    pageList(f, b.rect);
                    break;
                }
        return;
    }
    const int a = dropArea(lastMouse_);
    // dimensions move between the page, row and column areas; data fields reorder among themselves
    if (a < 0 || (a == DataArea) != (f->orientation() == DataArea)) return;
    const int oldArea = f->orientation(), oldPos = f->position();
    int pos = dropPosition(a, lastMouse_);
    if (a != oldArea) f->setOrientation(a);
    f->setPosition(pos);
    if (f->orientation() == oldArea && f->position() == oldPos) return;
    recalculate();
    emit layoutChangedByUser();
}

void PivotTable::mouseDoubleClickEvent(QMouseEvent* e) {
    lastMouse_ = e->position().toPoint();
    pressField_ = nullptr;
    dragging_ = false;
    emit elementDoubleClicked(elementAt(lastMouse_));
}

void PivotTable::pageList(PivotField* f, const QRect& chip) {
    PageFieldList list(f->caption(), f->members(), f->hidden_, this);
    // Under the chip, inside the screen.
    QPoint at = viewport()->mapToGlobal(chip.bottomLeft() + QPoint(0, 2));
    list.resize(std::max(list.width(), chip.width()), list.height());
    if (const QScreen* s = screen()) {
        const QRect a = s->availableGeometry();
        at.setX(std::clamp(at.x(), a.left(), std::max(a.left(), a.right() - list.width())));
        if (at.y() + list.height() > a.bottom())
            at.setY(std::max(a.top(), viewport()->mapToGlobal(chip.topLeft()).y() - list.height() - 2));
    }
    list.move(at);
    const QPointer<PivotTable> self(this);
    if (bd::os::runDialog(&list) != QDialog::Accepted || !self) return;
    const QSet<QString> hidden = list.hiddenMembers();
    if (hidden == f->hidden_) return;
    f->setHiddenMembers(hidden);
    recalculate();
    emit chartRedraw();
}

} // namespace bd::pivot
