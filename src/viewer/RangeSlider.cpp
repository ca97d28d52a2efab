#include "viewer/RangeSlider.h"

#include <algorithm>

namespace {
constexpr const char* kProgId = "SliderSpanwell.Spanwell";
constexpr const char* kNames[] = {"Min", "Max", "LowerValue", "UpperValue", "UpperVisible"};
constexpr int kMinimumSize = 40; // pixels, as the control keeps itself
} // namespace

RangeSlider::RangeSlider(QWidget* container, const QString& name) : QObject(container) {
    setObjectName(name);
    ctl_ = bd::controlhost::CreateControl(kProgId, container);
    if (ctl_) {
        for (int p = 0; p < PCount; ++p)
            ids_[size_t(p)] = ctl_->dispId(kNames[p]);
        if (QWidget* w = ctl_->widget()) {
            w->setObjectName(name);
            w->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        }
        connect(ctl_, &bd::controlhost::Control::controlEvent, this,
                [this](const QString& ev, const QVariantList&) {
                    if (ev == "Change")
                        emit Change();
                    else if (ev == "Scroll")
                        emit Scroll();
                });
        return;
    }
    standIn_ = new QWidget(container);
    standIn_->setObjectName(name);
    standIn_->setMinimumSize(kMinimumSize, kMinimumSize);
    standIn_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

RangeSlider::~RangeSlider() = default;

QWidget* RangeSlider::widget() const {
    return ctl_ ? ctl_->widget() : standIn_.data();
}

int RangeSlider::get(Property p) const {
    if (ctl_) return ctl_->get(ids_[size_t(p)]).toInt();
    switch (p) {
    case PMin:
        return min_;
    case PMax:
        return max_;
    case PLower:
        return lower_;
    case PUpper:
        return upper_;
    default:
        return upperVisible_ ? 1 : 0;
    }
}

void RangeSlider::set(Property p, int v) {
    if (ctl_) {
        if (p == PUpperVisible)
            ctl_->set(ids_[size_t(p)], v != 0);
        else
            ctl_->set(ids_[size_t(p)], v);
        return;
    }
    switch (p) {
    case PMin:
        min_ = std::max(v, 0);
        max_ = std::max(max_, min_);
        break;
    case PMax:
        max_ = std::max(v, 0);
        min_ = std::min(min_, max_);
        break;
    case PLower:
        lower_ = std::clamp(v, min_, max_);
        upper_ = std::max(upper_, lower_);
        return;
    case PUpper:
        upper_ = std::clamp(v, min_, max_);
        lower_ = std::min(lower_, upper_);
        return;
    default:
        upperVisible_ = v != 0;
        return;
    }
    upper_ = std::clamp(upper_, min_, max_);
    lower_ = std::clamp(lower_, min_, max_);
}

int RangeSlider::Min() const {
    return get(PMin);
}
void RangeSlider::setMin(int v) {
    set(PMin, v);
}
int RangeSlider::Max() const {
    return get(PMax);
}
void RangeSlider::setMax(int v) {
    set(PMax, v);
}
int RangeSlider::LowerValue() const {
    return get(PLower);
}
void RangeSlider::setLowerValue(int v) {
    set(PLower, v);
}
int RangeSlider::UpperValue() const {
    return get(PUpper);
}
void RangeSlider::setUpperValue(int v) {
    set(PUpper, v);
}
bool RangeSlider::UpperVisible() const {
    return get(PUpperVisible) != 0;
}
void RangeSlider::setUpperVisible(bool on) {
    set(PUpperVisible, on ? 1 : 0);
}
