#pragma once
// A run with no person at the machine, as a scheduled task starts it: the program opens its cube with
// every message box answering by itself, waits for the cube's auto-close, and ends with an exit status
// that tells whether everything was done. A run that cannot finish is stopped within a bound.
#include <QString>

class QApplication;

namespace UnattendedRun {

// The switch our scheduled tasks start the program with.
inline constexpr const char* kSwitch = "--unattended";

// Exit statuses of an unattended run.
enum ExitStatus {
    Done = 0,
    SomethingFailed = 1, // it ended by itself, but a mail, an upload or another step failed
    CannotRun = 2,       // the cube could not be opened, or it has no auto-close time
    TimedOut = 3,        // it did not end within its bound and was stopped
};

// Before the application exists: takes the switch out of the arguments and, when there is no display
// to show windows on, runs on the offscreen platform. True when the run is unattended.
bool prepare(int& argc, char** argv);

// Runs the start window on the command line's cube and returns the run's exit status.
int run(QApplication& app);

} // namespace UnattendedRun
