#pragma once
// Reading and placing a control's geometry in twips, as the viewer's layout reckons it.
#include "platform/os/Twips.h"

#include <QWidget>
#include <algorithm>

namespace TwipsGeometry {
using bd::os::pixelsToTwips;
using bd::os::twipsToPixels;

inline int izq(const QWidget* w) {
    return pixelsToTwips(w->x());
}
inline int arriba(const QWidget* w) {
    return pixelsToTwips(w->y());
}
inline int ancho(const QWidget* w) {
    return pixelsToTwips(w->width());
}
inline int alto(const QWidget* w) {
    return pixelsToTwips(w->height());
}

// Places a control in twips; a negative size is taken as none.
inline void situar(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(twipsToPixels(left), twipsToPixels(top), std::max(0, twipsToPixels(width)),
                   std::max(0, twipsToPixels(height)));
}
inline void fijarIzq(QWidget* w, int t) {
    situar(w, t, arriba(w), ancho(w), alto(w));
}
inline void fijarAncho(QWidget* w, int t) {
    situar(w, izq(w), arriba(w), t, alto(w));
}
} // namespace TwipsGeometry
