#pragma once
// The value pickers' two-thumb slider `TimeRange`: the "SliderSpanwell.Spanwell" control through the
// control host, reached by dispatch id. When that control is not registered a stand-in keeps the same
// numbers by the same rules, so a picker still works with its boxes alone.
#include "platform/controlhost/ControlHost.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <array>

class RangeSlider : public QObject {
    Q_OBJECT
public:
    explicit RangeSlider(QWidget* container, const QString& name);
    ~RangeSlider() override;

    int Min() const;
    void setMin(int v);
    int Max() const;
    void setMax(int v);
    int LowerValue() const;
    void setLowerValue(int v);
    int UpperValue() const;
    void setUpperValue(int v);
    bool UpperVisible() const;
    void setUpperVisible(bool on);

    QWidget* widget() const;
    // The hosted control, nullptr for the stand-in.
    bd::controlhost::Control* control() const { return ctl_; }

signals:
    void Change();
    void Scroll();

private:
    enum Property { PMin, PMax, PLower, PUpper, PUpperVisible, PCount };
    int get(Property p) const;
    void set(Property p, int v);
    QPointer<bd::controlhost::Control> ctl_;
    std::array<int, PCount> ids_{};
    QPointer<QWidget> standIn_;
    // The stand-in's values, kept in the control's order Min <= Lower <= Upper <= Max.
    int min_ = 0, max_ = 100, lower_ = 25, upper_ = 75;
    bool upperVisible_ = true;
};
