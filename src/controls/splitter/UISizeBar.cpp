#include "UISizeBar.h"

#include "ControlServer.h"
#include "uiAPI.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <atomic>
#include <cmath>

namespace glimford {
namespace {
std::atomic<int> g_live{0};

// Whole numbers round to the nearest, halves to the even neighbour.
int32_t roundHalfEven(double v) {
    return int32_t(std::nearbyint(v));
}

int px(int32_t twips) {
    return int(double(twips) / UISizeBar::kTwipsPerPixel + (twips >= 0 ? 0.5 : -0.5));
}

using bd::controlserver::BagReader;
using bd::controlserver::boolValue;
using bd::controlserver::colourValue;
using bd::controlserver::longValue;
} // namespace

UISizeBar::UISizeBar(QWidget* parent) : QWidget(parent) {
    ++g_live;
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A new bar points sideways, as its default orientation drags.
    setCursor(Qt::SizeHorCursor);
    place();
}

UISizeBar::~UISizeBar() {
    --g_live;
}

int UISizeBar::liveCount() {
    return g_live.load();
}

void UISizeBar::detach() {
    detached_ = true;
    onEvent = nullptr;
    onPropertyChanged = nullptr;
}

void UISizeBar::changed(int32_t dispId) {
    if (!detached_ && onPropertyChanged) onPropertyChanged(dispId);
}

void UISizeBar::raise(int32_t eventId) {
    if (detached_ || !onEvent) return;
    const BdRect r = placement();
    BdVariant args[4] = {};
    const float values[4] = {float(r.left), float(r.top), float(r.left) + float(r.width),
                             float(r.top) + float(r.height)};
    for (int i = 0; i < 4; ++i) {
        args[i].vt = BD_VT_R4;
        args[i].u.r4 = values[i];
    }
    onEvent(eventId, args, 4);
}

void UISizeBar::applyPointer() {
    if (orientation_ == Vertical)
        setCursor(Qt::SizeHorCursor);
    else if (orientation_ == Horizontal)
        setCursor(Qt::SizeVerCursor);
}

// Someone moved or sized the widget in pixels: take that as the new place.
void UISizeBar::syncFromWidget() {
    if (x() != px(left_)) left_ = x() * kTwipsPerPixel;
    if (y() != px(top_)) top_ = y() * kTwipsPerPixel;
    if (width() != std::max(0, px(width_))) width_ = width() * kTwipsPerPixel;
    if (height() != std::max(0, px(height_))) height_ = height() * kTwipsPerPixel;
}

void UISizeBar::place() {
    setGeometry(px(left_), px(top_), std::max(0, px(width_)), std::max(0, px(height_)));
}

BdRect UISizeBar::placement() {
    syncFromWidget();
    return BdRect{left_, top_, width_, height_};
}

void UISizeBar::setPlacement(const BdRect& r) {
    left_ = r.left;
    top_ = r.top;
    width_ = std::max(0, r.width);
    height_ = std::max(0, r.height);
    place();
}

void UISizeBar::setLeftTw(int32_t v) {
    syncFromWidget();
    left_ = v;
    place();
}

void UISizeBar::setTopTw(int32_t v) {
    syncFromWidget();
    top_ = v;
    place();
}

float UISizeBar::bottom() {
    const BdRect r = placement();
    return float(r.top) + float(r.height);
}

float UISizeBar::right() {
    const BdRect r = placement();
    return float(r.left) + float(r.width);
}

void UISizeBar::setOrientation(int32_t v) {
    orientation_ = v;
    syncFromWidget();
    if (v == Vertical) {
        width_ = 105;
        height_ = 2000;
    } else if (v == Horizontal) {
        width_ = 2000;
        height_ = 105;
    }
    place();
    applyPointer();
    update();
    changed(DispOrientation);
}

void UISizeBar::setBackColor(uint32_t v) {
    backColor_ = v;
    surface_ = v;
    update();
    changed(DispBackColor);
}

void UISizeBar::setHighlightColor(uint32_t v) {
    highlightColor_ = v;
    update();
    changed(DispHighlightColor);
}

void UISizeBar::setBorderStyle(int32_t v) {
    borderStyle_ = v;
    update();
    changed(DispBorderStyle);
}

bool UISizeBar::edge(int side) const {
    switch (side) {
    case BF_TOP:
        return edgeTop_;
    case BF_LEFT:
        return edgeLeft_;
    case BF_RIGHT:
        return edgeRight_;
    case BF_BOTTOM:
        return edgeBottom_;
    default:
        return false;
    }
}

void UISizeBar::setEdge(int side, bool on) {
    switch (side) {
    case BF_TOP:
        edgeTop_ = on;
        update();
        changed(DispEdgeTop);
        break;
    case BF_LEFT:
        edgeLeft_ = on;
        update();
        changed(DispEdgeLeft);
        break;
    case BF_RIGHT:
        edgeRight_ = on;
        update();
        changed(DispEdgeRight);
        break;
    case BF_BOTTOM:
        edgeBottom_ = on;
        update();
        changed(DispEdgeBottom);
        break;
    default:
        break;
    }
}

void UISizeBar::setMinLeft(int32_t v) {
    minLeft_ = v;
    changed(DispMinLeft);
}
void UISizeBar::setMaxLeft(int32_t v) {
    maxLeft_ = v;
    changed(DispMaxLeft);
}
void UISizeBar::setMinTop(int32_t v) {
    minTop_ = v;
    changed(DispMinTop);
}
void UISizeBar::setMaxTop(int32_t v) {
    maxTop_ = v;
    changed(DispMaxTop);
}
void UISizeBar::setShowBorderWhileMoving(bool v) {
    showBorderWhileMoving_ = v;
    changed(DispShowBorderWhileMoving);
}

void UISizeBar::paintEvent(QPaintEvent*) {
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        child->setCursor(Qt::ArrowCursor);
    QPainter p(this);
    p.fillRect(rect(), oleColor(surface_));
    int sides = 0;
    if (edgeTop_) sides |= BF_TOP;
    if (edgeLeft_) sides |= BF_LEFT;
    if (edgeBottom_) sides |= BF_BOTTOM;
    if (edgeRight_) sides |= BF_RIGHT;
    if (borderStyle_ != Flat && (!moving_ || showBorderWhileMoving_))
        DrawEdge(p, rect(), borderStyle_, sides);
}

void UISizeBar::mousePressEvent(QMouseEvent* e) {
    QPointer<UISizeBar> self(this);
    ++busy_;
    if (e->button() == Qt::LeftButton) moving_ = true;
    surface_ = highlightColor_;
    update();
    startX_ = roundHalfEven(e->position().x() * kTwipsPerPixel);
    startY_ = roundHalfEven(e->position().y() * kTwipsPerPixel);
    raise(EvMoveBegin);
    if (self) --busy_;
}

void UISizeBar::mouseMoveEvent(QMouseEvent* e) {
    if (!moving_) return;
    QPointer<UISizeBar> self(this);
    ++busy_;
    syncFromWidget();
    // The limit test uses the difference in the bar's own scale; bar and container both use twips.
    if (orientation_ == Vertical) {
        const double d = e->position().x() * kTwipsPerPixel - startX_;
        const double p = left_ + d;
        if (p > maxLeft_)
            setLeftTw(maxLeft_);
        else if (p < minLeft_)
            setLeftTw(minLeft_);
        else
            setLeftTw(roundHalfEven(left_ + d));
    } else if (orientation_ == Horizontal) {
        const double d = e->position().y() * kTwipsPerPixel - startY_;
        const double p = top_ + d;
        if (p > maxTop_)
            setTopTw(maxTop_);
        else if (p < minTop_)
            setTopTw(minTop_);
        else
            setTopTw(roundHalfEven(top_ + d));
    }
    update();
    raise(EvMove);
    if (self) --busy_;
}

void UISizeBar::mouseReleaseEvent(QMouseEvent*) {
    QPointer<UISizeBar> self(this);
    ++busy_;
    moving_ = false;
    surface_ = backColor_;
    update();
    raise(EvMoveComplete);
    if (self) --busy_;
}

int32_t UISizeBar::Animate(float& toX, float& toY, int32_t speed) {
    if (toX > maxLeft_) toX = float(maxLeft_);
    if (toX < minLeft_) toX = float(minLeft_);
    if (toY > maxTop_) toY = float(maxTop_);
    if (toY < minTop_) toY = float(minTop_);

    syncFromWidget();
    const bool vertical = orientation_ == Vertical;
    const int32_t target = roundHalfEven(vertical ? toX : toY);
    int32_t current = vertical ? left_ : top_;
    const int d = speed == Slow ? 250 : speed == Medium ? 100 : speed == fast ? 50 : 0;
    const int32_t step = d ? roundHalfEven(double(target - current) / d) : 0;
    if (step == 0) return 0;

    QPointer<UISizeBar> self(this);
    ++busy_;
    raise(EvMoveBegin);
    // Handlers and the message loop may end the control; stop gliding then.
    if (!self) return 0;
    while (!detached_) {
        current += step;
        if ((step < 0 && current < target) || (step > 0 && current > target)) current = target;
        if (vertical)
            setLeftTw(current);
        else
            setTopTw(current);
        raise(EvMove);
        if (!self) return 0;
        if (detached_) break;
        QCoreApplication::processEvents();
        if (!self) return 0;
        if (current == target) {
            raise(EvMoveComplete);
            if (!self) return 0;
            break;
        }
    }
    --busy_;
    return 0;
}

void UISizeBar::writeProperties(const BdPropertyBag* bag) const {
    if (!bag || !bag->write) return;
    auto put = [&](const char* name, const BdVariant& v) { bag->write(bag->context, name, &v); };
    if (backColor_ != kBackColor) put("BackColor", colourValue(backColor_));
    if (highlightColor_ != kHighlightColor) put("HighlightColor", colourValue(highlightColor_));
    if (orientation_ != Vertical) put("Orientation", longValue(orientation_));
    if (showBorderWhileMoving_) put("ShowBorderWhileMoving", boolValue(true));
    if (minLeft_ != kMin) put("MinLeft", longValue(minLeft_));
    if (maxLeft_ != kMax) put("MaxLeft", longValue(maxLeft_));
    if (minTop_ != kMin) put("MinTop", longValue(minTop_));
    if (maxTop_ != kMax) put("MaxTop", longValue(maxTop_));
    if (borderStyle_ != Raised) put("BorderStyle", longValue(borderStyle_));
    if (!edgeLeft_) put("Edge_Left", boolValue(false));
    if (!edgeRight_) put("Edge_Right", boolValue(false));
    if (!edgeTop_) put("Edge_Top", boolValue(false));
    if (!edgeBottom_) put("Edge_Bottom", boolValue(false));
}

void UISizeBar::readProperties(const BdPropertyBag* bag) {
    const BagReader r{bag};
    backColor_ = r.colour("BackColor", kBackColor);
    highlightColor_ = r.colour("HighlightColor", kHighlightColor);
    orientation_ = r.long_("Orientation", Vertical);
    if (!validOrientation(orientation_))
        orientation_ = Vertical; // a damaged bag must not leave a bar that cannot move
    minLeft_ = r.long_("MinLeft", kMin);
    minTop_ = r.long_("MinTop", kMin);
    maxLeft_ = r.long_("MaxLeft", kMax);
    maxTop_ = r.long_("MaxTop", kMax);
    showBorderWhileMoving_ = r.flag("ShowBorderWhileMoving", false);
    borderStyle_ = r.long_("BorderStyle", Raised);
    if (!validBorderStyle(borderStyle_)) borderStyle_ = Raised;
    edgeTop_ = r.flag("Edge_Top", true);
    edgeLeft_ = r.flag("Edge_Left", true);
    edgeBottom_ = r.flag("Edge_Bottom", true);
    edgeRight_ = r.flag("Edge_Right", true);
    applyPointer();
    update();
}

} // namespace glimford
