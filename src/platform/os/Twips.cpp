#include "platform/os/Twips.h"

#include <QApplication>
#include <QPalette>

namespace bd::os {

bool isSystemColor(uint32_t ole) {
    return (ole & 0xFF000000u) == 0x80000000u;
}

QColor oleToColor(uint32_t ole) {
    if (isSystemColor(ole)) {
        const QPalette pal = qApp ? QApplication::palette() : QPalette();
        switch (ole & 0xFFu) {
        case 0x00:
            return pal.color(QPalette::Window); // scroll bars
        case 0x01:
            return pal.color(QPalette::Window); // desktop
        case 0x04:
            return pal.color(QPalette::Window); // menu
        case 0x05:
            return pal.color(QPalette::Base); // window background
        case 0x06:
            return pal.color(QPalette::Dark); // window frame
        case 0x07:
            return pal.color(QPalette::Text); // menu text
        case 0x08:
            return pal.color(QPalette::Text); // window text
        case 0x0D:
            return pal.color(QPalette::Highlight); // highlight
        case 0x0E:
            return pal.color(QPalette::HighlightedText); // highlight text
        case 0x0F:
            return pal.color(QPalette::Button); // button face
        case 0x10:
            return pal.color(QPalette::Dark); // button shadow
        case 0x11:
            return pal.color(QPalette::PlaceholderText); // grey text
        case 0x12:
            return pal.color(QPalette::ButtonText); // button text
        case 0x14:
            return pal.color(QPalette::Light); // button highlight
        case 0x15:
            return pal.color(QPalette::Shadow); // 3-D dark shadow
        case 0x16:
            return pal.color(QPalette::Midlight); // 3-D light
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

uint32_t colorToOle(const QColor& c) {
    return uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16);
}

} // namespace bd::os
