#include "shell/frmNavigator.h"

#include "platform/os/Clock.h"
#include "platform/os/Twips.h"

#include <QCoreApplication>

frmNavigator::frmNavigator(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("frmNavigator");
    Frame = new QFrame(this);
    Frame->setFrameShape(QFrame::Box);
    wB = new bd::browser::PageView(Frame);
    timerVisible = new bd::os::Timer(this, 1000);
    timerVisible->setEnabled(false);
    connect(timerVisible, &bd::os::Timer::timeout, this, &frmNavigator::timerVisible_Timer);
}

void frmNavigator::timerVisible_Timer() {
    show();
    repaint();
    timerVisible->setEnabled(false);
    QCoreApplication::processEvents();
}
