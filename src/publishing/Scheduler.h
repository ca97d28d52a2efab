#pragma once
// Scheduled tasks: the task scheduler's command lines as the scheduler window builds them, and their
// run through our scheduler program (bd-schtasks, in the program folder), which keeps one line per
// task in the user's crontab.
#include <QString>
#include <QStringList>

namespace bd::publishing {

// Weekday codes of the scheduler, Monday first.
inline const QStringList DayCodes = {"MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"};

// The task name of a typed identifier: every blank becomes "_", nothing else changes.
QString TaskName(const QString& id);
// Appends an item to a comma list.
void Concatena(QString& list, const QString& item);
// A typed hour or minute as the box keeps it: "00" for what is no number, otherwise without "." and
// "," and with a leading "0" when one character long. No range check.
QString ValidarNumero(const QString& text);

// A task name the scheduler can hold: not empty, no control character and none of \ / : * ? " < > | %.
bool IsValidTaskName(const QString& name);
// A cube path a task can carry: no double quote and no line break.
bool IsSchedulablePath(const QString& path);

QString DeleteCommand(const QString& name);
// Empty (refused) when no day is given.
QString CreateCommand(const QString& days, const QString& name, const QString& hour, const QString& minute,
                      const QString& cubePath);
// Our own listing of the scheduled tasks (one "name TAB days TAB hh:mm TAB cube" line each).
QString QueryCommand();

// A command line split into arguments as the scheduler tool's own start-up splits it: blanks part
// arguments outside double quotes; 2n backslashes before a quote give n and toggle quoting, 2n+1 give
// n and a literal quote; other backslashes stand as they are.
QStringList SplitArguments(const QString& line);

// Where our scheduler program lives: beside the program, in the program folder.
QString SchedulerProgram();
// How long one scheduler command may take.
constexpr int kSchedulerTimeoutMs = 30000;

struct SchedulerResult {
    bool ok = false;
    bool noSuchTask = false; // a delete found no task of that name (the end state asked for)
    QString reason;          // why it failed, as one sentence
    QString output;          // what the program printed (the listing of a query)
};
// Splits the command line, runs it through the process seam with our program in place of the tool
// and waits for it.
SchedulerResult RunScheduler(const QString& commandLine);

struct ScheduledTask {
    QString name, days, time, cube;
};
QList<ScheduledTask> ReadTaskList(const QString& output);

} // namespace bd::publishing
