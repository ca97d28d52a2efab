#pragma once
// The splash window shown while the program starts; `Listo` turns True when its time is over.
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

namespace bd::os {
class Timer;
}

class frmSplash : public QWidget {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr);
    bool Listo = false;
    // How long the splash stays (ms); tests shorten it.
    static int DisplayMs;

    void Form_Load();
    void Timer1_Timer();
    void lblChange_Click();

    QLabel* img;
    QFrame* fr;
    QLabel* lblChange;
    bd::os::Timer* Timer1;

private:
    QPixmap pB; // the built-in picture
};
