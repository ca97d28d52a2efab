#pragma once
// The auto-close countdown: twenty seconds in which the user may keep the cube open; then the viewer
// closes unattended and the program ends.
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

class Campos;
class InsCube;
namespace bd::os {
class Timer;
}

class frmClose : public QWidget {
    Q_OBJECT
public:
    explicit frmClose(QWidget* parent = nullptr);

    QPointer<InsCube> VinsCube;
    QPointer<Campos> Vcampos; // its viewer is the one to close

    QLabel* lblAutoclose;
    QPushButton* cmdCancel;
    bd::os::Timer* Timer; // one tick a second, from the load

    static constexpr int CountdownSeconds = 20;
    // Still counting down (not cancelled, not run out).
    bool counting() const;

    void Timer_Timer();
    void cmdCancel_Click();

protected:
    // The close box cancels, as the button does.
    void closeEvent(QCloseEvent* e) override;

private:
    void closeCube();
    int ticks_ = 0;
};
