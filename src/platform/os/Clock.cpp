#include "platform/os/Clock.h"

#include <QSet>
#include <algorithm>
#include <vector>

namespace bd::os {
namespace {
ManualClock* g_manual = nullptr;
std::vector<Timer*>& timers() {
    static std::vector<Timer*> t;
    return t;
}
qint64 msOf(const QDateTime& t) {
    return t.toMSecsSinceEpoch();
}
} // namespace

QDateTime Now() {
    return g_manual ? g_manual->now() : QDateTime::currentDateTime();
}

int MinuteMs() {
    static const int ms = [] {
        bool ok = false;
        const int v = qEnvironmentVariableIntValue("BD_TEST_MINUTE_MS", &ok);
        return ok && v > 0 ? v : 60000;
    }();
    return ms;
}

double SecondsSinceMidnight() {
    const QTime t = Now().time();
    return t.msecsSinceStartOfDay() / 1000.0;
}

ManualClock::ManualClock(QDateTime start) : now_(std::move(start)) {
    g_manual = this;
    for (Timer* t : timers())
        if (t->isEnabled()) t->setEnabled(true); // re-arm against this clock
}
ManualClock::~ManualClock() {
    if (g_manual == this) g_manual = nullptr;
}

void ManualClock::advance(qint64 ms) {
    const qint64 end = msOf(now_) + ms;
    for (;;) {
        Timer* next = nullptr;
        for (Timer* t : timers())
            if (t->isEnabled() && t->dueAt() <= end && (!next || t->dueAt() < next->dueAt())) next = t;
        if (!next) break;
        now_ = QDateTime::fromMSecsSinceEpoch(std::max(next->dueAt(), msOf(now_)));
        next->fireFromClock();
    }
    now_ = QDateTime::fromMSecsSinceEpoch(end);
}

ManualClock* manualClock() {
    return g_manual;
}

Timer::Timer(QObject* parent, int intervalMs) : QObject(parent), interval_(intervalMs) {
    timers().push_back(this);
    connect(&qt_, &QTimer::timeout, this, [this] {
        if (singleShot_) setEnabled(false);
        emit timeout();
    });
}

Timer::~Timer() {
    auto& v = timers();
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

void Timer::setInterval(int ms) {
    interval_ = ms;
    if (enabled_) arm();
}

void Timer::setEnabled(bool on) {
    enabled_ = on;
    if (on)
        arm();
    else
        qt_.stop();
}

void Timer::arm() {
    if (g_manual) {
        qt_.stop();
        due_ = msOf(g_manual->now()) + std::max(1, interval_);
    } else if (interval_ > 0) {
        qt_.start(interval_);
    }
}

void Timer::fireFromClock() {
    if (singleShot_)
        enabled_ = false;
    else
        due_ += std::max(1, interval_);
    emit timeout();
}

} // namespace bd::os
