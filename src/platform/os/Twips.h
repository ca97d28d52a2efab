#pragma once
// Twips convert at 15 per pixel (96 dpi); OLE colours stay OLE values and convert here.
#include <QColor>
#include <cstdint>

namespace bd::os {

constexpr int kTwipsPerPixel = 15;
inline int twipsToPixels(double twips) {
    return int(twips / kTwipsPerPixel + (twips >= 0 ? 0.5 : -0.5));
}
inline int pixelsToTwips(int px) {
    return px * kTwipsPerPixel;
}

// An OLE colour: 0x00BBGGRR, or 0x800000nn for system colour nn.
QColor oleToColor(uint32_t ole);
uint32_t colorToOle(const QColor& c);
bool isSystemColor(uint32_t ole);

} // namespace bd::os
