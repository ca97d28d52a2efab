#include "viewer/SplitBar.h"

#include "platform/controlhost/ControlHost.h"
#include "platform/os/Twips.h"

SplitBar::SplitBar(QWidget* container, const QString& name) : QObject(container) {
    setObjectName(name);
    ctl_ = bd::controlhost::CreateControl("Glimford.UISizeBar", container);
    if (ctl_) {
        ctl_->set("Orientation", 1); // horizontal: a wide bar dragged up and down
        if (QWidget* w = ctl_->widget()) w->setObjectName(name);
        connect(ctl_, &bd::controlhost::Control::controlEvent, this,
                [this](const QString& ev, const QVariantList&) {
                    if (ev == "MoveComplete") emit MoveComplete();
                });
        return;
    }
    bar_ = new QFrame(container);
    bar_->setObjectName(name);
    bar_->setFrameShape(QFrame::Panel);
    bar_->setFrameShadow(QFrame::Raised);
    bar_->setCursor(Qt::SizeVerCursor);
    place();
}

SplitBar::~SplitBar() = default;

QWidget* SplitBar::widget() const {
    return ctl_ ? ctl_->widget() : bar_.data();
}

int SplitBar::Top() const {
    return ctl_ ? ctl_->get("Top").toInt() : top_;
}
int SplitBar::Left() const {
    return ctl_ ? ctl_->get("Left").toInt() : left_;
}
int SplitBar::Width() const {
    return ctl_ ? ctl_->get("Width").toInt() : width_;
}
int SplitBar::Height() const {
    return ctl_ ? ctl_->get("Height").toInt() : BarHeight;
}
int SplitBar::MinTop() const {
    return ctl_ ? ctl_->get("MinTop").toInt() : minTop_;
}
int SplitBar::MaxTop() const {
    return ctl_ ? ctl_->get("MaxTop").toInt() : maxTop_;
}

void SplitBar::setTop(int twips) {
    top_ = twips;
    if (ctl_)
        ctl_->set("Top", twips);
    else
        place();
}

void SplitBar::setLeft(int twips) {
    left_ = twips;
    if (ctl_)
        ctl_->set("Left", twips);
    else
        place();
}

void SplitBar::setWidth(int twips) {
    width_ = twips;
    if (ctl_)
        ctl_->set("Width", twips);
    else
        place();
}

void SplitBar::setMinTop(int twips) {
    minTop_ = twips;
    if (ctl_) ctl_->set("MinTop", twips);
}

void SplitBar::setMaxTop(int twips) {
    maxTop_ = twips;
    if (ctl_) ctl_->set("MaxTop", twips);
}

void SplitBar::setVisible(bool on) {
    visible_ = on;
    if (ctl_)
        ctl_->set("Visible", on);
    else if (bar_)
        bar_->setVisible(on);
}

void SplitBar::place() {
    if (!bar_) return;
    using bd::os::twipsToPixels;
    bar_->setGeometry(twipsToPixels(left_), twipsToPixels(top_), twipsToPixels(width_),
                      twipsToPixels(BarHeight));
}
