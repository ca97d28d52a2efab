// The designer's two minute timers: auto-refresh and auto-close, their minutes boxes and the
// auto-close countdown they open.
#include "designer/Campos.h"

#include "platform/os/Clock.h"
#include "shell/General.h"
#include "shell/frmClose.h"
#include "viewer/Cubo.h"

#include <cmath>

namespace {
// The minutes of a timer box; false for "", "0" and anything but a positive number (a negative or
// zero count would be reached at the first tick).
bool readMinutes(const QString& text, double* m) {
    QString t = text.trimmed();
    t.replace(',', '.');
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !(v > 0) || !std::isfinite(v)) return false;
    *m = v;
    return true;
}

// Starts timer with the minutes of text, counting from now, or stops it.
void armTimer(bd::os::Timer* timer, const QString& text, double* minutes, double* ticks) {
    *ticks = 0;
    if (readMinutes(text, minutes)) {
        timer->setEnabled(true); // re-armed: the first tick is a whole minute away
    } else {
        *minutes = 0;
        timer->setEnabled(false);
    }
}
} // namespace

void Campos::connectTimerHandlers() {
    connect(TimerAutoRefresh, &bd::os::Timer::timeout, this, &Campos::TimerAutoRefresh_Timer);
    connect(TimerAutoClose, &bd::os::Timer::timeout, this, &Campos::TimerAutoClose_Timer);
    // Both minutes are saved with the cube, so typing in either is an unsaved change.
    for (QLineEdit* box : {txtAutorefresh, txtAutoClose}) {
        connect(box, &QLineEdit::textEdited, this, [this] {
            if (VCubo) VCubo->Salvar = true;
        });
        box->installEventFilter(this);
    }
}

void Campos::PrenderTimerAutorefresh() {
    armTimer(TimerAutoRefresh, txtAutorefresh->text(), &AutoRefreshMinutes, &autoRefreshTicks_);
}

void Campos::PrenderTimerAutoClose() {
    armTimer(TimerAutoClose, txtAutoClose->text(), &AutoCloseMinutes, &autoCloseTicks_);
}

void Campos::TimerAutoRefresh_Timer() {
    // Reached or passed: a tick that came late, or minutes lowered below the count, still refresh.
    if (++autoRefreshTicks_ < AutoRefreshMinutes) return;
    autoRefreshTicks_ = 0;
    Refrescar();
}

void Campos::TimerAutoClose_Timer() {
    if (++autoCloseTicks_ < AutoCloseMinutes) return;
    autoCloseTicks_ = 0;
    // A cube closes once: the countdown closes it, or its cancel leaves the timer off.
    TimerAutoClose->setEnabled(false);
    if (countdown_) return;
    auto* f = new frmClose;
    f->Vcampos = this;
    f->VinsCube = VinsCube;
    countdown_ = f;
    f->show();
}

void Campos::applyMinutes(QLineEdit* box, void (Campos::*start)()) {
    QString t = box->text();
    const bool numero = General::isNumeric(t);
    t.remove('.');
    t.remove(',');
    t = t.trimmed();
    double m = 0;
    box->setText(numero && readMinutes(t, &m) ? t : QStringLiteral("0"));
    (this->*start)();
}

void Campos::txtAutorefresh_LostFocus() {
    applyMinutes(txtAutorefresh, &Campos::PrenderTimerAutorefresh);
}

void Campos::txtAutoClose_LostFocus() {
    applyMinutes(txtAutoClose, &Campos::PrenderTimerAutoClose);
}

frmClose* Campos::countdown() const {
    return countdown_;
}

void Campos::stopMinuteTimers() {
    TimerAutoRefresh->setEnabled(false);
    TimerAutoClose->setEnabled(false);
    // A countdown still counting has no cube left to close.
    if (countdown_ && countdown_->counting()) countdown_->close();
}
