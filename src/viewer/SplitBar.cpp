#include "viewer/SplitBar.h"

#include "platform/os/Twips.h"

SplitBar::SplitBar(QWidget* container, const QString& name) : QObject(container) {
    setObjectName(name);
    bar_ = new QFrame(container);
    bar_->setObjectName(name);
    bar_->setFrameShape(QFrame::Panel);
    bar_->setFrameShadow(QFrame::Raised);
    bar_->setCursor(Qt::SizeVerCursor);
    place();
}

SplitBar::~SplitBar() = default;

void SplitBar::setTop(int twips) {
    top_ = twips;
    place();
}

void SplitBar::setLeft(int twips) {
    left_ = twips;
    place();
}

void SplitBar::setWidth(int twips) {
    width_ = twips;
    place();
}

void SplitBar::setVisible(bool on) {
    visible_ = on;
    if (bar_) bar_->setVisible(on);
}

void SplitBar::place() {
    if (!bar_) return;
    using bd::os::twipsToPixels;
    bar_->setGeometry(twipsToPixels(left_), twipsToPixels(top_), twipsToPixels(width_), twipsToPixels(AltoBarra));
}
