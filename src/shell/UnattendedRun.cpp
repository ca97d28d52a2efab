#include "shell/UnattendedRun.h"

#include "designer/Campos.h"
#include "platform/os/Clock.h"
#include "platform/os/Desktop.h"
#include "platform/os/Prompter.h"
#include "shell/FrmMain.h"
#include "shell/GeneralFiles.h"
#include "viewer/Cubo.h"

#include <QApplication>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace UnattendedRun {
namespace {

// Bounds of a run, in minutes of the minute timers: the start-up with the opening of the cube, and
// what may follow the cube's auto-close (the countdown, the alert mails and the upload).
constexpr int kOpenLimitMinutes = 30;
constexpr int kCloseLimitMinutes = 30;
// How long a message box shows its countdown before it answers by itself, where a display shows it.
constexpr int kBoxCountdownSeconds = 10;

void say(const QString& text) {
    std::fprintf(stderr, "Unattended run: %s\n", text.toUtf8().constData());
    std::fflush(stderr);
}

// Ends the process when its deadline passes. It runs on a thread of its own, so a step that blocks
// the program's own thread (a query that never returns) cannot hold it.
class Watchdog {
public:
    Watchdog() = default;
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    // A new deadline, minutes from now, and what to say when it passes.
    void arm(int minutes, const QString& why) {
        std::lock_guard<std::mutex> lock(m_);
        why_ = why;
        deadline_ = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(qint64(minutes) * bd::os::MinuteMs());
        if (!thread_.joinable()) thread_ = std::thread([this] { watch(); });
        cv_.notify_all();
    }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(m_);
        while (!stop_) {
            if (cv_.wait_until(lock, deadline_) == std::cv_status::timeout && !stop_ &&
                std::chrono::steady_clock::now() >= deadline_) {
                say(why_);
                ::_exit(TimedOut);
            }
        }
    }
    std::mutex m_;
    std::condition_variable cv_;
    std::chrono::steady_clock::time_point deadline_;
    QString why_;
    bool stop_ = false;
    std::thread thread_;
};

// Nobody is at the machine to look at what the run would open (the published view): it is named on
// standard error instead of starting a browser that no one closes.
class NobodysDesktop : public bd::os::Desktop {
public:
    bool openFile(const QString& path) override { return tell(path); }
    bool openUrl(const QString& url) override { return tell(url); }

private:
    static bool tell(const QString& what) {
        say("not opened, nobody is here to see it: " + what);
        return false;
    }
};

Cubo* shownViewer() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* v = qobject_cast<Cubo*>(w); v && v->isVisible()) return v;
    return nullptr;
}

} // namespace

bool prepare(int& argc, char** argv) {
    bool found = false;
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], kSwitch) == 0)
            found = true;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    // Cron gives no display; Qt would refuse to start without one.
    if (found && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return found;
}

int run(QApplication& app) {
    // On the offscreen platform nobody could see a countdown: the boxes answer at once.
    bd::os::setUnattended(true, QGuiApplication::platformName() == "offscreen" ? 0 : kBoxCountdownSeconds);
    static NobodysDesktop nobody;
    bd::os::setDesktop(&nobody);
    const QString cube = "the cube \"" + QStringList(app.arguments().mid(1)).join(' ') + '"';
    Watchdog watchdog;
    watchdog.arm(kOpenLimitMinutes,
                 QStringLiteral("%1 did not open within %2 minutes and was stopped (its data source did not "
                                "answer).")
                     .arg(cube)
                     .arg(kOpenLimitMinutes));
    FrmMain* start = FrmMain::start(app);

    Cubo* viewer = shownViewer();
    Campos* designer = viewer ? viewer->Vcampos.data() : nullptr;
    int status = Done;
    if (!viewer) {
        say(cube + " could not be opened.");
        status = CannotRun;
    } else if (!designer || !designer->TimerAutoClose->isEnabled()) {
        say(cube + " has no auto-close time, so it would never close.");
        status = CannotRun;
    }
    if (status == Done) {
        const int limit = int(std::ceil(designer->AutoCloseMinutes)) + kCloseLimitMinutes;
        watchdog.arm(limit,
                     QStringLiteral("%1 did not close within %2 minutes, its auto-close time and %3 for "
                                    "its alerts and upload, and was stopped (a data source, the mail "
                                    "relay or the upload did not answer).")
                         .arg(cube)
                         .arg(limit)
                         .arg(kCloseLimitMinutes));
        status = app.exec();
    } else {
        start->MatarApp();
    }
    // The countdown ends the program without tidying up; no one will start it again to do so.
    General::BorrarGraficosTemporales();
    if (status != Done) return status;
    return bd::os::unattendedFailed() ? SomethingFailed : Done;
}

} // namespace UnattendedRun
