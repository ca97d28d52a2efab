#pragma once
// The few platform drawing services the control libraries need, done with Qt: OLE colours (system
// colours taken from the application palette) and a 3-D edge drawn after the rules of the platform's
// DrawEdge. Header only, like the protocol, so a library uses it without linking the program.
#include <QColor>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QRect>
#include <cstdint>

namespace bd::controlpaint {

// Side flags of DrawEdge.
enum : int { BF_LEFT = 1, BF_TOP = 2, BF_RIGHT = 4, BF_BOTTOM = 8, BF_RECT = 15 };
// Border flags: the low two bits are the outer line, the next two the inner line.
enum : int { BDR_RAISEDOUTER = 1, BDR_SUNKENOUTER = 2, BDR_RAISEDINNER = 4, BDR_SUNKENINNER = 8 };
// System colour indexes (the low byte of an OLE system colour).
enum : uint32_t {
    COLOR_ACTIVECAPTION = 0x02,
    COLOR_BTNFACE = 0x0F,
    COLOR_BTNSHADOW = 0x10,
    COLOR_BTNHIGHLIGHT = 0x14,
    COLOR_3DDKSHADOW = 0x15,
    COLOR_3DLIGHT = 0x16,
};

inline QColor oleColor(uint32_t ole) {
    if ((ole & 0xFF000000u) != 0x80000000u)
        return QColor(int(ole & 0xFF), int((ole >> 8) & 0xFF), int((ole >> 16) & 0xFF));
    const QPalette pal = QGuiApplication::palette();
    switch (ole & 0xFFu) {
    case COLOR_ACTIVECAPTION:
    case 0x0D:
        return pal.color(QPalette::Highlight);
    case 0x05:
        return pal.color(QPalette::Base);
    case 0x06:
        return pal.color(QPalette::Dark);
    case 0x07:
    case 0x08:
        return pal.color(QPalette::Text);
    case 0x0E:
        return pal.color(QPalette::HighlightedText);
    case COLOR_BTNFACE:
        return pal.color(QPalette::Button);
    case COLOR_BTNSHADOW:
        return pal.color(QPalette::Dark);
    case 0x11:
        return pal.color(QPalette::PlaceholderText);
    case 0x12:
        return pal.color(QPalette::ButtonText);
    case COLOR_BTNHIGHLIGHT:
        return pal.color(QPalette::Light);
    case COLOR_3DDKSHADOW:
        return pal.color(QPalette::Shadow);
    case COLOR_3DLIGHT:
        return pal.color(QPalette::Midlight);
    case 0x17:
        return pal.color(QPalette::ToolTipText);
    case 0x18:
        return pal.color(QPalette::ToolTipBase);
    default:
        return pal.color(QPalette::Window);
    }
}

inline QColor systemColour(uint32_t index) {
    return oleColor(0x80000000u | index);
}

// Draws the edge over rect (pixels, inclusive like QRect) on the flagged sides.
inline void DrawEdge(QPainter& p, const QRect& rect, int edge, int sides) {
    // A raised line is light at the top left and dark at the bottom right, a sunken one the reverse;
    // the outer line uses the 3-D light / dark shadow pair, the inner one highlight / shadow.
    struct Line {
        uint32_t topLeft, bottomRight;
    };
    Line lines[2];
    int count = 0;
    if (edge & BDR_RAISEDOUTER)
        lines[count++] = {COLOR_3DLIGHT, COLOR_3DDKSHADOW};
    else if (edge & BDR_SUNKENOUTER)
        lines[count++] = {COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT};
    if (edge & BDR_RAISEDINNER)
        lines[count++] = {COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW};
    else if (edge & BDR_SUNKENINNER)
        lines[count++] = {COLOR_3DDKSHADOW, COLOR_3DLIGHT};

    QRect r = rect;
    for (int i = 0; i < count && r.width() > 0 && r.height() > 0; ++i) {
        const QColor tl = systemColour(lines[i].topLeft), br = systemColour(lines[i].bottomRight);
        if (sides & BF_TOP) p.fillRect(QRect(r.left(), r.top(), r.width(), 1), tl);
        if (sides & BF_LEFT) p.fillRect(QRect(r.left(), r.top(), 1, r.height()), tl);
        if (sides & BF_BOTTOM) p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), br);
        if (sides & BF_RIGHT) p.fillRect(QRect(r.right(), r.top(), 1, r.height()), br);
        // Each line shrinks the rectangle only on the sides it was drawn on.
        r.adjust((sides & BF_LEFT) ? 1 : 0, (sides & BF_TOP) ? 1 : 0, (sides & BF_RIGHT) ? -1 : 0,
                 (sides & BF_BOTTOM) ? -1 : 0);
    }
}

} // namespace bd::controlpaint
