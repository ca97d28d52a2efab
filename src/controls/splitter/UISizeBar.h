#pragma once
// The splitter bar: a thin bar dragged with the left button inside limits set by its container.
// Positions, sizes and limits are in container units (twips, 15 to the pixel); the widget itself
// sits on whole pixels.
#include "ControlProtocol.h"

#include <QWidget>
#include <cstdint>
#include <functional>

namespace glimford {

enum sbOrientationEnum : int32_t { Vertical = 0, Horizontal = 1 };
enum sbBorderStyleEnum : int32_t { Flat = 0, Raised = 5, Etched = 6, Sunken = 10, Bump = 9 };
enum sbSpeedEnum : int32_t { Slow = 0, Medium = 1, fast = 2 };

// Dispatch ids of the bar's interface, in interface order, and of its event interface.
enum : int32_t {
    DispAnimate = 1,
    DispBackColor,
    DispBorderStyle,
    DispBottom,
    DispEdgeBottom,
    DispEdgeLeft,
    DispEdgeRight,
    DispEdgeTop,
    DispHighlightColor,
    DispMaxLeft,
    DispMaxTop,
    DispMinLeft,
    DispMinTop,
    DispOrientation,
    DispRight,
    DispShowBorderWhileMoving
};
enum : int32_t { EvMoveBegin = 1, EvMove = 2, EvMoveComplete = 3 };

class UISizeBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTwipsPerPixel = 15;
    static constexpr uint32_t kBackColor = 0x8000000Fu;
    static constexpr uint32_t kHighlightColor = 0x80000010u;
    static constexpr int32_t kMin = 0, kMax = 99999;

    explicit UISizeBar(QWidget* parent = nullptr);
    ~UISizeBar() override;
    static int liveCount();

    static bool validOrientation(int32_t v) { return v == Vertical || v == Horizontal; }
    static bool validBorderStyle(int32_t v) {
        return v == Flat || v == Raised || v == Etched || v == Sunken || v == Bump;
    }

    int32_t orientation() const { return orientation_; }
    void setOrientation(int32_t v);
    uint32_t backColor() const { return backColor_; }
    void setBackColor(uint32_t v);
    uint32_t highlightColor() const { return highlightColor_; }
    void setHighlightColor(uint32_t v);
    int32_t borderStyle() const { return borderStyle_; }
    void setBorderStyle(int32_t v);
    bool edge(int side) const; // side: one BF_ flag
    void setEdge(int side, bool on);
    int32_t minLeft() const { return minLeft_; }
    int32_t maxLeft() const { return maxLeft_; }
    int32_t minTop() const { return minTop_; }
    int32_t maxTop() const { return maxTop_; }
    void setMinLeft(int32_t v);
    void setMaxLeft(int32_t v);
    void setMinTop(int32_t v);
    void setMaxTop(int32_t v);
    bool showBorderWhileMoving() const { return showBorderWhileMoving_; }
    void setShowBorderWhileMoving(bool v);
    float bottom();
    float right();
    bool moving() const { return moving_; }

    int32_t Animate(float& toX, float& toY, int32_t speed);

    BdRect placement();
    void setPlacement(const BdRect& r);

    void readProperties(const BdPropertyBag* bag);
    void writeProperties(const BdPropertyBag* bag) const;

    // Hooks of the server object; cleared when the host lets the control go.
    std::function<void(int32_t eventId, BdVariant* args, int32_t argc)> onEvent;
    std::function<void(int32_t dispId)> onPropertyChanged;
    void detach();
    bool busy() const { return busy_ > 0; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void raise(int32_t eventId);
    void changed(int32_t dispId);
    void applyPointer();
    void syncFromWidget();
    void place();
    void setLeftTw(int32_t v);
    void setTopTw(int32_t v);

    int32_t orientation_ = Vertical;
    uint32_t backColor_ = kBackColor;
    uint32_t highlightColor_ = kHighlightColor;
    int32_t minLeft_ = kMin, minTop_ = kMin, maxLeft_ = kMax, maxTop_ = kMax;
    bool showBorderWhileMoving_ = false;
    int32_t borderStyle_ = Raised;
    bool edgeTop_ = true, edgeLeft_ = true, edgeRight_ = true, edgeBottom_ = true;
    bool moving_ = false;
    int32_t startX_ = 0, startY_ = 0;
    uint32_t surface_ = kBackColor; // the colour the bar is painted in now
    int32_t left_ = 0, top_ = 0, width_ = 105, height_ = 2000;
    int busy_ = 0; // inside one of its own events or its glide

    bool detached_ = false;
};

} // namespace glimford
