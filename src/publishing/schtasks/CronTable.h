#pragma once
// The crontab lines of scheduled tasks: one line per task, tagged with its name at the end, that starts
// the program unattended on the task's cube.
#include <QString>
#include <QStringList>
#include <optional>

namespace schtasks {

// The switch that starts the program unattended.
inline const QString kUnattendedSwitch = QStringLiteral("--unattended");

struct Task {
    QString name;
    QStringList days; // weekday codes "MON".."SUN", Monday first
    int hour = 0, minute = 0;
    QString cube; // full path of the cube file
};

// The weekday codes of a "/D" list ("MON,FRI", any case); nothing when a code is unknown or the list
// is empty. The codes come back Monday first, each once.
std::optional<QStringList> parseDays(const QString& list);
// "hh:mm" with an hour 0-23 and a minute 0-59.
bool parseTime(const QString& text, int* hour, int* minute);
// Why a name or a cube path cannot go into a crontab line; empty when it can.
QString refusedName(const QString& name);
QString refusedCube(const QString& path);

// The line that runs program unattended on the task's cube at its days and time.
QString cronLine(const Task& t, const QString& program);
// A task line of ours, read back; nothing for any other line.
std::optional<Task> readLine(const QString& line);
// Whether a line is the one of the task named so.
bool isTaskLine(const QString& line, const QString& name);

} // namespace schtasks
