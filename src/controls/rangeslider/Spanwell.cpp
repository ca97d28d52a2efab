#include "Spanwell.h"

#include "ControlPaint.h"
#include "ControlServer.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>

namespace spanwell {

using namespace bd::controlpaint;

// A thumb: a 15 x 15 picture the control draws and whose mouse the control handles.
class Thumb : public QWidget {
public:
    Thumb(Spanwell* owner, bool upper) : QWidget(owner), owner_(owner), upper_(upper) {
        setFixedSize(Spanwell::kThumbSize, Spanwell::kThumbSize);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    bool upper() const { return upper_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        owner_->paintThumb(this, p);
    }
    // A thumb keeps the mouse from button down to button up, so every move of a drag arrives here.
    void mousePressEvent(QMouseEvent* e) override { owner_->thumbDown(this, e->position().x()); }
    void mouseMoveEvent(QMouseEvent* e) override { owner_->thumbMove(this, e->position().x()); }
    void mouseReleaseEvent(QMouseEvent*) override { owner_->thumbUp(this); }

private:
    Spanwell* owner_;
    bool upper_;
};

namespace {
std::atomic<int> g_live{0};

using bd::controlserver::BagReader;
using bd::controlserver::boolValue;
using bd::controlserver::colourValue;
using bd::controlserver::longValue;

// Whole numbers round to the nearest, halves to the even neighbour.
int whole(double v) {
    return int(std::nearbyint(v));
}

int px(int32_t twips) {
    return whole(double(twips) / Spanwell::kTwipsPerPixel);
}

int32_t clampLong(int32_t v, int32_t lo, int32_t hi) {
    return std::max(lo, std::min(v, hi));
}

// A line as the platform draws it: from the first point up to, not including, the last.
void gdiLine(QPainter& p, int x1, int y1, int x2, int y2, const QColor& c) {
    const int dx = x2 - x1, dy = y2 - y1;
    const int steps = std::max(std::abs(dx), std::abs(dy));
    for (int i = 0; i < steps; ++i)
        p.fillRect(QRect(x1 + whole(double(dx) * i / steps), y1 + whole(double(dy) * i / steps), 1, 1), c);
}

// The thumbs' outlines: H 3-D highlight, S button shadow, D 3-D dark shadow.
enum Shade : char { H = 'H', S = 'S', D = 'D' };
struct Stroke {
    int x1, y1, x2, y2;
    Shade shade;
};
const Stroke kLowerDisabled[] = {{1, 13, 13, 13, S}, {7, 1, 13, 13, H}, {0, 14, 14, 14, H},
                                 {2, 13, 8, 1, H},   {7, 2, 13, 13, S}, {0, 14, 7, 0, S}};
const Stroke kLowerPressed[] = {{0, 14, 7, 0, D},   {1, 13, 7, 1, S},  {7, 2, 13, 13, S},
                                {1, 13, 13, 13, S}, {7, 0, 14, 14, H}, {0, 14, 14, 14, H}};
const Stroke kLowerNormal[] = {{7, 0, 14, 14, D},  {0, 14, 14, 14, D}, {7, 1, 13, 13, S},
                               {1, 13, 13, 13, S}, {0, 14, 7, 0, H},   {1, 13, 7, 1, H}};
const Stroke kUpperDisabled[] = {{1, 1, 13, 1, H},  {1, 0, 7, 12, H}, {13, 0, 7, 13, S},
                                 {14, 0, 7, 14, H}, {0, 0, 14, 0, S}, {0, 0, 7, 14, S}};
const Stroke kUpperPressed[] = {{13, 0, 7, 13, S}, {14, 0, 7, 14, H}, {1, 1, 13, 1, S},
                                {1, 1, 7, 13, S},  {0, 0, 14, 0, D},  {0, 0, 7, 14, D}};
const Stroke kUpperNormal[] = {{14, 0, 7, 14, D}, {13, 0, 7, 13, S}, {0, 0, 14, 0, H}, {0, 0, 7, 14, H}};

QColor shadeColour(Shade s) {
    switch (s) {
    case H:
        return systemColour(COLOR_BTNHIGHLIGHT);
    case S:
        return systemColour(COLOR_BTNSHADOW);
    default:
        return systemColour(COLOR_3DDKSHADOW);
    }
}

template <size_t N> void strokes(QPainter& p, const Stroke (&lines)[N]) {
    for (const Stroke& s : lines)
        gdiLine(p, s.x1, s.y1, s.x2, s.y2, shadeColour(s.shade));
}

// The bar between the thumbs: a plain surface in the control's colour.
class Fill : public QWidget {
public:
    Fill(QWidget* parent, const uint32_t* colour) : QWidget(parent), colour_(colour) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), oleColor(*colour_));
    }

private:
    const uint32_t* colour_;
};

} // namespace

Spanwell::Spanwell(QWidget* parent) : QWidget(parent) {
    ++g_live;
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(kMinimumSize, kMinimumSize);
    shpFill = new Fill(this, &color_);
    shpFill->setObjectName("shpFill");
    picTop = new Thumb(this, true);
    picTop->setObjectName("picTop");
    picBottom = new Thumb(this, false);
    picBottom->setObjectName("picBottom");
    applyPointers();
    place();
    UpdatePosition();
}

Spanwell::~Spanwell() {
    --g_live;
}

int Spanwell::liveCount() {
    return g_live.load();
}

void Spanwell::detach() {
    detached_ = true;
    onEvent = nullptr;
    onPropertyChanged = nullptr;
}

void Spanwell::changed(int32_t dispId) {
    if (!detached_ && onPropertyChanged) onPropertyChanged(dispId);
}

void Spanwell::raise(int32_t eventId) {
    if (!detached_ && onEvent) onEvent(eventId, nullptr, 0);
}

// ---- properties ---------------------------------------------------------------------------------

void Spanwell::setBorderStyle(int32_t v) {
    borderStyle_ = v;
    update();
    changed(DispBorderStyle);
}

void Spanwell::setColor(uint32_t v) {
    color_ = v;
    shpFill->update();
    changed(DispColor);
}

void Spanwell::setControlEnabled(bool on) {
    setEnabled(on);
    changed(DispEnabled);
}

void Spanwell::setMin(int32_t v) {
    v = std::max(v, 0);
    min_ = v;
    if (max_ < v) max_ = v;
    upperValue_ = clampLong(upperValue_, min_, max_);
    lowerValue_ = clampLong(lowerValue_, min_, max_);
    UpdatePosition();
    changed(DispMin);
}

void Spanwell::setMax(int32_t v) {
    v = std::max(v, 0);
    max_ = v;
    if (v < min_) min_ = v;
    upperValue_ = clampLong(upperValue_, min_, max_);
    lowerValue_ = clampLong(lowerValue_, min_, max_);
    UpdatePosition();
    changed(DispMax);
}

void Spanwell::setUpperValue(int32_t v) {
    v = clampLong(v, min_, max_);
    upperValue_ = v;
    if (v < lowerValue_) lowerValue_ = v;
    UpdatePosition();
    changed(DispUpperValue);
}

void Spanwell::setLowerValue(int32_t v) {
    v = clampLong(v, min_, max_);
    lowerValue_ = v;
    if (upperValue_ < v) upperValue_ = v;
    UpdatePosition();
    changed(DispLowerValue);
}

void Spanwell::setLowerLocked(bool on) {
    lowerLocked_ = on;
    applyPointers();
    picBottom->update();
    changed(DispLowerLocked);
}

void Spanwell::setUpperLocked(bool on) {
    upperLocked_ = on;
    applyPointers();
    picTop->update();
    changed(DispUpperLocked);
}

void Spanwell::setLowerVisible(bool on) {
    lowerVisible_ = on;
    picBottom->setVisible(on);
    changed(DispLowerVisible);
}

void Spanwell::setUpperVisible(bool on) {
    upperVisible_ = on;
    picTop->setVisible(on);
    changed(DispUpperVisible);
}

void Spanwell::applyPointers() {
    picBottom->setCursor(lowerLocked_ ? Qt::ArrowCursor : Qt::SizeHorCursor);
    picTop->setCursor(upperLocked_ ? Qt::ArrowCursor : Qt::SizeHorCursor);
}

// ---- layout -------------------------------------------------------------------------------------

void Spanwell::UpdatePosition() {
    TrackWidth = whole(widthPx() - kTrackMargin);
    ValueSpan = int64_t(max_) - min_;
    UnitsPerPixel = TrackWidth > 0 ? double(ValueSpan) / TrackWidth : 0;
    // With no span or no track the thumbs stay where they were.
    if (ValueSpan > 0 && TrackWidth > 0) {
        topLeft_ = double(upperValue_ - min_) / double(ValueSpan) * TrackWidth;
        bottomLeft_ = double(lowerValue_ - min_) / double(ValueSpan) * TrackWidth;
    }
    picTop->move(whole(topLeft_), 0);
    picBottom->move(whole(bottomLeft_), whole(heightPx() - kThumbSize));
    const double barLeft = bottomLeft_ + kThumbCentre;
    const double barWidth = std::max(topLeft_ - bottomLeft_, double(kMinimumBar));
    const double barHeight = heightPx() - 2 * kThumbSize - 7;
    shpFill->setGeometry(whole(barLeft), kThumbSize + 4, whole(barWidth), std::max(0, whole(barHeight)));
}

int32_t Spanwell::valueAt(double d) const {
    if (TrackWidth <= 0 || ValueSpan <= 0) return min_;
    // Computed from the span, not from a rounded units-per-pixel: the track's end is exactly Max.
    const double v = std::nearbyint(double(min_) + double(ValueSpan) * d / TrackWidth);
    if (v <= min_) return min_;
    if (v >= max_) return max_;
    return int32_t(v);
}

void Spanwell::keepMinimumSize() {
    if (heightPx() < kMinimumSize) height_ = kMinimumSize * kTwipsPerPixel;
    if (widthPx() < kMinimumSize) width_ = kMinimumSize * kTwipsPerPixel;
}

void Spanwell::place() {
    placing_ = true;
    setGeometry(px(left_), px(top_), std::max(0, px(width_)), std::max(0, px(height_)));
    placing_ = false;
}

// Someone moved or sized the widget in pixels: take that as the new place.
void Spanwell::syncFromWidget() {
    if (x() != px(left_)) left_ = x() * kTwipsPerPixel;
    if (y() != px(top_)) top_ = y() * kTwipsPerPixel;
    if (width() != px(width_)) width_ = width() * kTwipsPerPixel;
    if (height() != px(height_)) height_ = height() * kTwipsPerPixel;
}

BdRect Spanwell::placement() {
    syncFromWidget();
    return BdRect{left_, top_, width_, height_};
}

void Spanwell::setPlacement(const BdRect& r) {
    left_ = r.left;
    top_ = r.top;
    width_ = std::max(0, r.width);
    height_ = std::max(0, r.height);
    keepMinimumSize();
    place();
    UpdatePosition();
}

void Spanwell::resizeEvent(QResizeEvent*) {
    if (!placing_) {
        syncFromWidget();
        const int32_t w = width_, h = height_;
        keepMinimumSize();
        if (w != width_ || h != height_) place();
    }
    UpdatePosition();
}

void Spanwell::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange) {
        picTop->update();
        picBottom->update();
        update();
    }
    QWidget::changeEvent(e);
}

// ---- dragging -----------------------------------------------------------------------------------

void Spanwell::thumbDown(Thumb* t, double x) {
    const bool upper = t->upper();
    if (upper ? upperLocked_ : lowerLocked_) return;
    (upper ? DraggingUpper : DraggingLower) = true;
    SavedOther = upper ? lowerValue_ : upperValue_;
    GrabX = whole(x);
    t->update();
}

void Spanwell::thumbMove(Thumb* t, double x) {
    const bool upper = t->upper();
    if (!(upper ? DraggingUpper : DraggingLower)) return;
    // The pointer's offset on the track, the grab point kept under it.
    const double d = std::clamp(double(whole(t->x() + x - GrabX)), 0.0, double(std::max(TrackWidth, 0)));
    const int32_t v = valueAt(d);
    if (upper) {
        upperValue_ = lowerLocked_ ? std::max(v, SavedOther) : v;
        lowerValue_ = std::min(upperValue_, SavedOther);
    } else {
        lowerValue_ = upperLocked_ ? std::min(v, SavedOther) : v;
        upperValue_ = std::max(lowerValue_, SavedOther);
    }
    UpdatePosition();
    QPointer<Spanwell> self(this);
    ++busy_;
    raise(EvScroll);
    if (!self) return;
    --busy_;
    changed(upper ? DispUpperValue : DispLowerValue);
}

// Every release over a thumb reports a change, also on a locked thumb that never moved.
void Spanwell::thumbUp(Thumb* t) {
    const bool upper = t->upper();
    (upper ? DraggingUpper : DraggingLower) = false;
    UpdatePosition();
    t->update();
    QPointer<Spanwell> self(this);
    ++busy_;
    raise(EvChange);
    if (!self) return;
    --busy_;
    changed(upper ? DispUpperValue : DispLowerValue);
}

// ---- painting -----------------------------------------------------------------------------------

// The host's back colour, which the control and its thumbs take as their own.
QColor Spanwell::ambientBackColor() const {
    const QWidget* host = parentWidget();
    return host ? host->palette().color(host->backgroundRole()) : palette().color(QPalette::Window);
}

void Spanwell::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), ambientBackColor());
    const QRect track(QPoint(kTrackInset, kThumbSize),
                      QPoint(whole(widthPx() - kTrackInset) - 1, whole(heightPx() - kThumbSize) - 1));
    const int style = isEnabled() ? borderStyle_ : swEtched;
    switch (style) {
    case swRaised:
    case swSunken:
        p.fillRect(track, systemColour(COLOR_BTNFACE));
        DrawEdge(p, track,
                 style == swRaised ? BDR_RAISEDOUTER | BDR_RAISEDINNER : BDR_SUNKENOUTER | BDR_SUNKENINNER,
                 BF_RECT);
        break;
    case swBump:
        DrawEdge(p, track, BDR_RAISEDOUTER | BDR_SUNKENINNER, BF_RECT);
        break;
    case swEtched:
        DrawEdge(p, track, BDR_SUNKENOUTER | BDR_RAISEDINNER, BF_RECT);
        break;
    default:
        break;
    }
}

void Spanwell::paintThumb(Thumb* t, QPainter& p) const {
    const QColor ambient = ambientBackColor();
    const QColor face = systemColour(COLOR_BTNFACE);
    const bool upper = t->upper();
    for (int a = 0; a < kThumbSize; ++a) {
        // The lower thumb is widest at the bottom row, the upper one at the top row.
        const int y = upper ? a : kThumbSize - 1 - a;
        gdiLine(p, 0, y, kThumbSize, y, ambient);
        gdiLine(p, whole(a / 2.0), y, whole(kThumbSize - 1 - a / 2.0), y, face);
    }
    const bool disabled = !isEnabled() || (upper ? upperLocked_ : lowerLocked_);
    const bool pressed = upper ? DraggingUpper : DraggingLower;
    if (upper) {
        if (disabled)
            strokes(p, kUpperDisabled);
        else if (pressed)
            strokes(p, kUpperPressed);
        else
            strokes(p, kUpperNormal);
    } else {
        if (disabled)
            strokes(p, kLowerDisabled);
        else if (pressed)
            strokes(p, kLowerPressed);
        else
            strokes(p, kLowerNormal);
    }
}

// ---- persistence --------------------------------------------------------------------------------

void Spanwell::clampValues() {
    min_ = std::max(min_, 0);
    max_ = std::max(max_, min_);
    lowerValue_ = clampLong(lowerValue_, min_, max_);
    upperValue_ = clampLong(upperValue_, lowerValue_, max_);
}

void Spanwell::writeProperties(const BdPropertyBag* bag) const {
    if (!bag || !bag->write) return;
    auto put = [&](const char* name, const BdVariant& v) { bag->write(bag->context, name, &v); };
    if (min_ != kMin) put("Min", longValue(min_));
    if (max_ != kMax) put("Max", longValue(max_));
    if (lowerValue_ != kLowerValue) put("LowerValue", longValue(lowerValue_));
    if (upperValue_ != kUpperValue) put("UpperValue", longValue(upperValue_));
    if (color_ != kColor) put("Color", colourValue(color_));
    if (!lowerVisible_) put("LowerVisible", boolValue(false));
    if (!upperVisible_) put("UpperVisible", boolValue(false));
    if (lowerLocked_) put("LowerLocked", boolValue(true));
    if (upperLocked_) put("UpperLocked", boolValue(true));
    if (borderStyle_ != kBorderStyle) put("BorderStyle", longValue(borderStyle_));
}

// A bag from a file may hold values that break the order of the thumbs: they are brought back into it.
void Spanwell::readProperties(const BdPropertyBag* bag) {
    const BagReader r{bag};
    min_ = r.long_("Min", kMin);
    max_ = r.long_("Max", kMax);
    lowerValue_ = r.long_("LowerValue", kLowerValue);
    upperValue_ = r.long_("UpperValue", kUpperValue);
    color_ = r.colour("Color", kColor);
    lowerVisible_ = r.flag("LowerVisible", true);
    upperVisible_ = r.flag("UpperVisible", true);
    lowerLocked_ = r.flag("LowerLocked", false);
    upperLocked_ = r.flag("UpperLocked", false);
    borderStyle_ = r.long_("BorderStyle", kBorderStyle);
    clampValues();
    picBottom->setVisible(lowerVisible_);
    picTop->setVisible(upperVisible_);
    applyPointers();
    UpdatePosition();
    update();
    picTop->update();
    picBottom->update();
    shpFill->update();
}

void Spanwell::initNew() {
    readProperties(nullptr);
}

} // namespace spanwell
