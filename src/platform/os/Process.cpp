#include "platform/os/Process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QThread>

namespace bd::os {
namespace {
RealProcessRunner g_real;
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
    QElapsedTimer clock;
    clock.start();
    // Keep the message loop running while we wait, as the windows must stay responsive.
    while (p->state() != QProcess::NotRunning) {
        if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        p->waitForFinished(20);
        if (r.timeoutMs > 0 && clock.elapsed() > r.timeoutMs) break;
    }
    res.standardOutput = p->readAllStandardOutput();
    res.standardError = p->readAllStandardError();
    if (p->state() == QProcess::NotRunning) {
        res.finished = true;
        res.exitCode = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
        delete p;
    } else {
        // Left running past the limit: detach it and let it finish on its own.
        QObject::connect(p, &QProcess::finished, p, &QObject::deleteLater);
    }
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
