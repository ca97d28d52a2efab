#pragma once
// Reading and placing a control's geometry in twips, as the viewer's layout reckons it.
#include "platform/os/Twips.h"

#include <QWidget>
#include <algorithm>

namespace TwipsGeometry {
using bd::os::pixelsToTwips;
using bd::os::twipsToPixels;

inline int leftTwips(const QWidget* w) {
    return pixelsToTwips(w->x());
}
inline int topTwips(const QWidget* w) {
    return pixelsToTwips(w->y());
}
inline int widthTwips(const QWidget* w) {
    return pixelsToTwips(w->width());
}
inline int heightTwips(const QWidget* w) {
    return pixelsToTwips(w->height());
}

// Places a control in twips; a negative size is taken as none.
inline void placeTwips(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(twipsToPixels(left), twipsToPixels(top), std::max(0, twipsToPixels(width)),
                   std::max(0, twipsToPixels(height)));
}
inline void setLeftTwips(QWidget* w, int t) {
    placeTwips(w, t, topTwips(w), widthTwips(w), heightTwips(w));
}
inline void setWidthTwips(QWidget* w, int t) {
    placeTwips(w, leftTwips(w), topTwips(w), t, heightTwips(w));
}
} // namespace TwipsGeometry
