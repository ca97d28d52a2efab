#pragma once
// The few platform drawing services the bar needs, done with Qt: OLE colours (system colours taken
// from the application palette) and a 3-D edge drawn after the rules of the platform's DrawEdge.
#include <QColor>
#include <QRect>
#include <cstdint>

class QPainter;

namespace glimford {

// Side flags of DrawEdge.
enum : int { BF_LEFT = 1, BF_TOP = 2, BF_RIGHT = 4, BF_BOTTOM = 8, BF_RECT = 15 };
// Border flags: the low two bits are the outer line, the next two the inner line.
enum : int { BDR_RAISEDOUTER = 1, BDR_SUNKENOUTER = 2, BDR_RAISEDINNER = 4, BDR_SUNKENINNER = 8 };

QColor oleColor(uint32_t ole);

// Draws the edge over rect (pixels, inclusive like QRect) on the flagged sides.
void DrawEdge(QPainter& p, const QRect& rect, int edge, int sides);

} // namespace glimford
