#pragma once
// Time goes through one clock, and the program's timers through one timer class, so that tests
// advance time instead of waiting.
#include <QDateTime>
#include <QObject>
#include <QTimer>

namespace bd::os {

QDateTime Now();
// Seconds since midnight, like the platform's Timer function.
double SecondsSinceMidnight();

// One minute of the program's minute timers, in ms: 60000. Tests that run the whole program set the
// environment variable BD_TEST_MINUTE_MS to make it shorter.
int MinuteMs();

// Manual clock for tests: while installed, Now() is its time and Timer objects only fire from advance().
class ManualClock {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 1, 15), QTime(10, 30, 0)));
    ~ManualClock();
    void set(const QDateTime& t) { now_ = t; }
    // Moves time forward, firing due timers in time order.
    void advance(qint64 ms);
    QDateTime now() const { return now_; }

private:
    QDateTime now_;
};

ManualClock* manualClock();

// A window timer: interval in ms, enabled flag, timeout signal. With the real clock it is a QTimer;
// under a ManualClock it fires from ManualClock::advance.
class Timer : public QObject {
    Q_OBJECT
public:
    explicit Timer(QObject* parent = nullptr, int intervalMs = 0);
    ~Timer() override;
    void setInterval(int ms);
    int interval() const { return interval_; }
    void setEnabled(bool on);
    bool isEnabled() const { return enabled_; }
    void setSingleShot(bool s) { singleShot_ = s; }
    qint64 dueAt() const { return due_; }
    void fireFromClock(); // used by ManualClock
signals:
    void timeout();

private:
    void arm();
    QTimer qt_;
    int interval_ = 0;
    bool enabled_ = false;
    bool singleShot_ = false;
    qint64 due_ = 0;
};

} // namespace bd::os
