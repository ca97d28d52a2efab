#include "uiAPI.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

namespace glimford {
namespace {
enum : uint32_t {
    COLOR_BTNFACE = 0x0F,
    COLOR_BTNSHADOW = 0x10,
    COLOR_BTNHIGHLIGHT = 0x14,
    COLOR_3DDKSHADOW = 0x15,
    COLOR_3DLIGHT = 0x16,
};
QColor sys(uint32_t index) {
    return oleColor(0x80000000u | index);
}
} // namespace

QColor oleColor(uint32_t ole) {
    if ((ole & 0xFF000000u) == 0x80000000u) {
        const QPalette pal = QGuiApplication::palette();
        switch (ole & 0xFFu) {
        case 0x05:
            return pal.color(QPalette::Base);
        case 0x06:
            return pal.color(QPalette::Dark);
        case 0x07:
        case 0x08:
            return pal.color(QPalette::Text);
        case 0x0D:
            return pal.color(QPalette::Highlight);
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
    return QColor(int(ole & 0xFF), int((ole >> 8) & 0xFF), int((ole >> 16) & 0xFF));
}

void DrawEdge(QPainter& p, const QRect& rect, int edge, int sides) {
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
        const QColor tl = sys(lines[i].topLeft), br = sys(lines[i].bottomRight);
        if (sides & BF_TOP) p.fillRect(QRect(r.left(), r.top(), r.width(), 1), tl);
        if (sides & BF_LEFT) p.fillRect(QRect(r.left(), r.top(), 1, r.height()), tl);
        if (sides & BF_BOTTOM) p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), br);
        if (sides & BF_RIGHT) p.fillRect(QRect(r.right(), r.top(), 1, r.height()), br);
        // Each line shrinks the rectangle only on the sides it was drawn on.
        r.adjust((sides & BF_LEFT) ? 1 : 0, (sides & BF_TOP) ? 1 : 0, (sides & BF_RIGHT) ? -1 : 0,
                 (sides & BF_BOTTOM) ? -1 : 0);
    }
}

} // namespace glimford
