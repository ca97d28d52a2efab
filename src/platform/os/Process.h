#pragma once
// External programs run without a shell, argument by argument, waited for in the event loop with a
// time limit. Tests swap in a recorder.
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

namespace bd::os {

struct ProcessRequest {
    QString program;
    QStringList arguments;
    int timeoutMs = 0; // 0 = no limit; measured on a monotonic clock, the process is killed at it
    QString workingDirectory;
    QByteArray standardInput;
};

struct ProcessResult {
    bool started = false;
    bool finished = false; // ended by itself; false when it was killed at the limit
    bool timedOut = false; // the limit passed first and the process was killed
    int exitCode = -1;     // -1 when it crashed, was killed or never started
    QByteArray standardOutput;
    QByteArray standardError;
};

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    virtual ProcessResult run(const ProcessRequest& r) = 0;
};

class RealProcessRunner : public ProcessRunner {
public:
    ProcessResult run(const ProcessRequest& r) override;
};

// Records each request and answers with the result of the handler (default: started, exit 0).
class RecordingProcessRunner : public ProcessRunner {
public:
    ProcessResult run(const ProcessRequest& r) override;
    QVector<ProcessRequest> requests;
    std::function<ProcessResult(const ProcessRequest&)> handler;
};

ProcessRunner& processRunner();
void setProcessRunner(ProcessRunner* r);

ProcessResult RunProcess(const ProcessRequest& r);

} // namespace bd::os
