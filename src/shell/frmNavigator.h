#pragma once
// The browser window that serves as the wait window: it shows the wait page only once a wait has
// lasted a second.
#include "platform/browser/PageView.h"

#include <QFrame>
#include <QWidget>

namespace bd::os {
class Timer;
}

class frmNavigator : public QWidget {
    Q_OBJECT
public:
    explicit frmNavigator(QWidget* parent = nullptr);
    QFrame* Frame;
    bd::browser::PageView* wB;
    bd::os::Timer* timerVisible;

    void timerVisible_Timer();
};
