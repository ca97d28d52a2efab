#pragma once
// The range slider: a horizontal track with two triangular thumbs that pick a lower and an upper whole
// number between Min and Max. The upper thumb hangs from the top edge, the lower one stands on the
// bottom edge, and a coloured bar joins them. The control draws in pixels; its placement in the
// container is in twips (15 to the pixel).
#include "ControlProtocol.h"

#include <QWidget>
#include <cstdint>
#include <functional>

namespace spanwell {

enum swBorderStyle : int32_t { swFlat = 0, swRaised = 1, swSunken = 2, swBump = 3, swEtched = 4 };

// Dispatch ids of the control's interface, in interface order, and of its event interface.
enum : int32_t {
    DispBorderStyle = 1,
    DispColor,
    DispEnabled,
    DispUpdatePosition,
    DispMin,
    DispLowerLocked,
    DispLowerVisible,
    DispMax,
    DispUpperLocked,
    DispUpperVisible,
    DispUpperValue,
    DispLowerValue
};
enum : int32_t { EvChange = 1, EvScroll = 2 };

class Thumb;

class Spanwell : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTwipsPerPixel = 15;
    static constexpr int kThumbSize = 15;   // both thumbs are square
    static constexpr int kTrackMargin = 17; // control width minus the usable track width
    static constexpr int kMinimumSize = 40; // neither side of the control gets smaller
    static constexpr int kThumbCentre = 7;  // the bar starts at the centre of the lower thumb
    static constexpr int kMinimumBar = 2;   // the bar never gets narrower
    static constexpr int kTrackInset = 4;   // the track rectangle's left and right margins
    static constexpr int32_t kMin = 0, kMax = 100, kLowerValue = 25, kUpperValue = 75;
    static constexpr uint32_t kColor = 0x80000002u;
    static constexpr int32_t kBorderStyle = swEtched;

    explicit Spanwell(QWidget* parent = nullptr);
    ~Spanwell() override;
    static int liveCount();

    int32_t borderStyle() const { return borderStyle_; }
    void setBorderStyle(int32_t v);
    uint32_t color() const { return color_; }
    void setColor(uint32_t v);
    void setControlEnabled(bool on);
    int32_t min() const { return min_; }
    void setMin(int32_t v);
    int32_t max() const { return max_; }
    void setMax(int32_t v);
    int32_t lowerValue() const { return lowerValue_; }
    void setLowerValue(int32_t v);
    int32_t upperValue() const { return upperValue_; }
    void setUpperValue(int32_t v);
    bool lowerLocked() const { return lowerLocked_; }
    void setLowerLocked(bool on);
    bool upperLocked() const { return upperLocked_; }
    void setUpperLocked(bool on);
    bool lowerVisible() const { return lowerVisible_; }
    void setLowerVisible(bool on);
    bool upperVisible() const { return upperVisible_; }
    void setUpperVisible(bool on);

    // Lays out the thumbs and the bar from the values.
    void UpdatePosition();

    BdRect placement();
    void setPlacement(const BdRect& r);

    void initNew();
    void readProperties(const BdPropertyBag* bag);
    void writeProperties(const BdPropertyBag* bag) const;

    // Hooks of the server object; cleared when the host lets the control go.
    std::function<void(int32_t eventId, BdVariant* args, int32_t argc)> onEvent; // no arguments
    std::function<void(int32_t dispId)> onPropertyChanged;
    void detach();
    bool busy() const { return busy_ > 0; }

    // The thumbs' mouse handlers (x in the thumb's own pixels).
    void thumbDown(Thumb* t, double x);
    void thumbMove(Thumb* t, double x);
    void thumbUp(Thumb* t);
    void paintThumb(Thumb* t, QPainter& p) const;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void changeEvent(QEvent* e) override;

private:
    void raise(int32_t eventId);
    void changed(int32_t dispId);
    void applyPointers();
    void keepMinimumSize();
    void place();
    void syncFromWidget();
    double widthPx() const { return double(width_) / kTwipsPerPixel; }
    double heightPx() const { return double(height_) / kTwipsPerPixel; }
    // The value of a track offset d (0 to TrackWidth), rounded and kept inside [Min, Max].
    int32_t valueAt(double d) const;
    void clampValues();
    QColor ambientBackColor() const;

    Thumb* picTop;    // upper thumb
    Thumb* picBottom; // lower thumb
    QWidget* shpFill; // bar between the thumbs

    int32_t TrackWidth = 0;
    int64_t ValueSpan = 0;
    double UnitsPerPixel = 0;
    bool DraggingLower = false;
    bool DraggingUpper = false;
    int32_t GrabX = 0;
    int32_t SavedOther = 0;

    int32_t min_ = kMin, max_ = kMax, lowerValue_ = kLowerValue, upperValue_ = kUpperValue;
    bool lowerLocked_ = false, lowerVisible_ = true, upperLocked_ = false, upperVisible_ = true;
    int32_t borderStyle_ = kBorderStyle;
    uint32_t color_ = kColor;
    double topLeft_ = 0, bottomLeft_ = 0;                      // thumb lefts in pixels, kept unrounded
    int32_t left_ = 0, top_ = 0, width_ = 3000, height_ = 600; // placement in twips
    bool placing_ = false;
    int busy_ = 0; // inside one of its own events
    bool detached_ = false;
};

} // namespace spanwell
