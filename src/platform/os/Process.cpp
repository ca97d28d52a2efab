#include "platform/os/Process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>

namespace bd::os {
namespace {
RealProcessRunner g_real;
// How long a killed program gets to be reaped.
constexpr int kKillWaitMs = 5000;
ProcessRunner* g_runner = nullptr;
} // namespace

ProcessResult RealProcessRunner::run(const ProcessRequest& r) {
    ProcessResult res;
    auto* p = new QProcess;
    if (!r.workingDirectory.isEmpty()) p->setWorkingDirectory(r.workingDirectory);
    p->start(r.program, r.arguments);
    if (!p->waitForStarted(5000)) {
        delete p;
        return res;
    }
    res.started = true;
    if (!r.standardInput.isEmpty()) p->write(r.standardInput);
    p->closeWriteChannel();
    QElapsedTimer clock; // monotonic: a clock change cannot shorten or stretch the wait
    clock.start();
    // Keep the message loop running while we wait, as the windows must stay responsive.
    while (p->state() != QProcess::NotRunning) {
        if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (p->waitForFinished(20) || p->state() == QProcess::NotRunning) break;
        if (r.timeoutMs > 0 && clock.elapsed() >= r.timeoutMs) {
            // A program past its limit is ended, so nothing keeps running that nobody waits for.
            res.timedOut = true;
            p->kill();
            p->waitForFinished(kKillWaitMs);
            break;
        }
    }
    res.standardOutput = p->readAllStandardOutput();
    res.standardError = p->readAllStandardError();
    res.finished = !res.timedOut && p->state() == QProcess::NotRunning;
    if (res.finished) res.exitCode = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
    delete p;
    return res;
}

ProcessResult RecordingProcessRunner::run(const ProcessRequest& r) {
    requests.push_back(r);
    if (handler) return handler(r);
    ProcessResult res;
    res.started = true;
    res.finished = true;
    res.exitCode = 0;
    return res;
}

ProcessRunner& processRunner() {
    return g_runner ? *g_runner : g_real;
}
void setProcessRunner(ProcessRunner* r) {
    g_runner = r;
}
ProcessResult RunProcess(const ProcessRequest& r) {
    return processRunner().run(r);
}

} // namespace bd::os
