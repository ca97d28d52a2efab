#include "designer/NewCubePictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

// Everything is drawn on a 100-unit square and scaled to the side asked for.
constexpr qreal kUnits = 100.0;

const QColor kOutline(0x44, 0x4b, 0x55);
const QColor kPaper(0xfb, 0xfb, 0xf8);

// A page with its top right corner folded down.
void drawPage(QPainter& p) {
    const qreal l = 18, t = 6, r = 82, b = 94, fold = 18;
    QPainterPath page;
    page.moveTo(l, t);
    page.lineTo(r - fold, t);
    page.lineTo(r, t + fold);
    page.lineTo(r, b);
    page.lineTo(l, b);
    page.closeSubpath();
    p.setPen(QPen(kOutline, 2.5));
    p.setBrush(kPaper);
    p.drawPath(page);
    QPainterPath corner;
    corner.moveTo(r - fold, t);
    corner.lineTo(r - fold, t + fold);
    corner.lineTo(r, t + fold);
    p.setBrush(QColor(0xdd, 0xdf, 0xe2));
    p.drawPath(corner);
}

// A drum: the usual sign for a database. The label is written on its body.
void drawDrum(QPainter& p, const QRectF& box, const QColor& colour, const QString& label) {
    const qreal lid = box.height() * 0.22;
    const QRectF top(box.left(), box.top(), box.width(), lid);
    const QRectF bottom(box.left(), box.bottom() - lid, box.width(), lid);
    QPainterPath body;
    body.moveTo(box.left(), box.top() + lid / 2);
    body.lineTo(box.left(), box.bottom() - lid / 2);
    body.arcTo(bottom, 180, 180);
    body.lineTo(box.right(), box.top() + lid / 2);
    body.arcTo(top, 0, -180);
    QLinearGradient shade(box.topLeft(), box.topRight());
    shade.setColorAt(0, colour.darker(125));
    shade.setColorAt(0.45, colour.lighter(135));
    shade.setColorAt(1, colour.darker(140));
    p.setPen(QPen(kOutline, 2.5));
    p.setBrush(shade);
    p.drawPath(body);
    p.setBrush(colour.lighter(160));
    p.drawEllipse(top);
    // The bands between the drum's plates.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(colour.darker(170), 1.5));
    for (qreal f : {0.42, 0.68}) {
        const qreal y = box.top() + box.height() * f;
        p.drawArc(QRectF(box.left(), y - lid / 2, box.width(), lid), 180 * 16, 180 * 16);
    }
    if (label.isEmpty()) return;
    QFont font("Sans");
    font.setBold(true);
    font.setPixelSize(int(box.height() * 0.24));
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(box.left(), box.top() + lid, box.width(), box.height() - 2 * lid).translated(0, 2),
               Qt::AlignCenter, label);
}

void drawSheet(QPainter& p) {
    drawPage(p);
    const qreal l = 27, t = 32, w = 46, h = 52;
    const int cols = 3, rows = 5;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x4c, 0x9a, 0x5e));
    p.drawRect(QRectF(l, t, w, h / rows));
    p.setPen(QPen(QColor(0x6b, 0x77, 0x80), 1.2));
    p.setBrush(Qt::NoBrush);
    for (int c = 0; c <= cols; ++c)
        p.drawLine(QPointF(l + w * c / cols, t), QPointF(l + w * c / cols, t + h));
    for (int r = 0; r <= rows; ++r)
        p.drawLine(QPointF(l, t + h * r / rows), QPointF(l + w, t + h * r / rows));
}

void drawDesktopDatabase(QPainter& p) {
    drawPage(p);
    p.setPen(QPen(QColor(0x9a, 0xa2, 0xab), 2));
    for (qreal y : {22.0, 30.0})
        p.drawLine(QPointF(27, y), QPointF(58, y));
    drawDrum(p, QRectF(30, 42, 40, 44), QColor(0x9c, 0x3d, 0x3d), QString());
}

void drawPlug(QPainter& p) {
    const QColor body(0x70, 0x78, 0x84);
    p.setPen(QPen(kOutline, 2.5));
    // Cable.
    QPainterPath cable;
    cable.moveTo(50, 74);
    cable.cubicTo(50, 90, 22, 84, 18, 96);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kOutline, 5, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(cable);
    // Prongs.
    p.setPen(QPen(kOutline, 2));
    p.setBrush(QColor(0xc9, 0xcd, 0xd2));
    p.drawRect(QRectF(34, 8, 8, 22));
    p.drawRect(QRectF(58, 8, 8, 22));
    // Body.
    QLinearGradient shade(QPointF(24, 0), QPointF(76, 0));
    shade.setColorAt(0, body.darker(120));
    shade.setColorAt(0.45, body.lighter(140));
    shade.setColorAt(1, body.darker(130));
    p.setPen(QPen(kOutline, 2.5));
    p.setBrush(shade);
    p.drawRoundedRect(QRectF(24, 28, 52, 34), 8, 8);
    p.drawRoundedRect(QRectF(38, 60, 24, 16), 4, 4);
}

} // namespace

QPixmap newCubePicture(const QString& kind, int side) {
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / kUnits, side / kUnits);
    const QRectF drum(22, 8, 56, 84);
    if (kind == "EXCEL")
        drawSheet(p);
    else if (kind == "ACCESS")
        drawDesktopDatabase(p);
    else if (kind == "MSSQL")
        drawDrum(p, drum, QColor(0x4a, 0x5d, 0x7e), "SQL");
    else if (kind == "MYSQL")
        drawDrum(p, drum, QColor(0x2f, 0x7f, 0x8f), "My");
    else if (kind == "ORACLE")
        drawDrum(p, drum, QColor(0xa8, 0x4a, 0x32), "Ora");
    else
        drawPlug(p);
    return pm;
}
