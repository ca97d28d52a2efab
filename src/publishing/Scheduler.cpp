#include "publishing/Scheduler.h"

#include "platform/os/AppPath.h"
#include "platform/os/Process.h"
#include "shell/General.h"

namespace bd::publishing {
namespace {
// Exit statuses of bd-schtasks besides 0 (done) and 1 (refused or failed, reason on stderr).
constexpr int kExitNoSuchTask = 2;

QString quoted(const QString& s) {
    return '"' + s + '"';
}
} // namespace

QString TaskName(const QString& id) {
    return QString(id).replace(' ', '_');
}

void Concatena(QString& list, const QString& item) {
    list = list.isEmpty() ? item : list + ',' + item;
}

QString ValidarNumero(const QString& text) {
    if (!General::isNumeric(text)) return QStringLiteral("00");
    QString t = text;
    t.remove('.').remove(',');
    if (t.size() == 1) t.prepend('0');
    return t;
}

bool IsValidTaskName(const QString& name) {
    if (name.isEmpty()) return false;
    for (QChar c : name)
        if (c.category() == QChar::Other_Control || QStringLiteral("\\/:*?\"<>|%").contains(c)) return false;
    return true;
}

bool IsSchedulablePath(const QString& path) {
    return !path.contains('"') && !path.contains('\n') && !path.contains('\r');
}

QString DeleteCommand(const QString& name) {
    return "schtasks /delete /tn " + quoted(name) + " /f";
}

QString CreateCommand(const QString& days, const QString& name, const QString& hour, const QString& minute,
                      const QString& cubePath) {
    // Without a day the tool would read /TN as the day list.
    if (days.isEmpty()) return QString();
    return "SchTasks /Create /SC WEEKLY /D " + days + " /TN " + quoted(name) + "  /ST " + hour + ':' +
           minute + " /TR \"\\\"" + cubePath + "\\\"";
}

QString QueryCommand() {
    return QStringLiteral("schtasks /query");
}

QStringList SplitArguments(const QString& line) {
    QStringList args;
    QString cur;
    bool inArg = false, inQuotes = false;
    for (int i = 0; i < line.size();) {
        const QChar c = line[i];
        if (!inQuotes && (c == ' ' || c == '\t')) {
            if (inArg) args << cur;
            cur.clear();
            inArg = false;
            ++i;
            continue;
        }
        inArg = true;
        if (c == '\\') {
            int n = 0;
            while (i < line.size() && line[i] == '\\')
                ++n, ++i;
            if (i < line.size() && line[i] == '"') {
                cur += QString(n / 2, '\\');
                if (n % 2) {
                    cur += '"';
                    ++i;
                }
            } else {
                cur += QString(n, '\\');
            }
            continue;
        }
        if (c == '"')
            inQuotes = !inQuotes;
        else
            cur += c;
        ++i;
    }
    if (inArg) args << cur;
    return args;
}

QString SchedulerProgram() {
    return bd::os::AppPath() + "/bd-schtasks";
}

SchedulerResult RunScheduler(const QString& commandLine) {
    SchedulerResult out;
    QStringList args = SplitArguments(commandLine);
    if (args.isEmpty() || args.first().compare("schtasks", Qt::CaseInsensitive) != 0) {
        out.reason = "Not a scheduler command: " + commandLine;
        return out;
    }
    args.removeFirst();
    bd::os::ProcessRequest r;
    r.program = SchedulerProgram();
    r.arguments = args;
    r.timeoutMs = kSchedulerTimeoutMs;
    const bd::os::ProcessResult res = bd::os::RunProcess(r);
    out.output = QString::fromUtf8(res.standardOutput);
    QString said = QString::fromUtf8(res.standardError).trimmed();
    if (said.startsWith(QStringLiteral("ERROR: "))) said = said.mid(7);
    if (!res.started)
        out.reason = "The scheduler program " + r.program + " could not be started.";
    else if (res.timedOut)
        out.reason = "The scheduler program did not answer within " +
                     QString::number(kSchedulerTimeoutMs / 1000) + " seconds.";
    else if (!res.finished || res.exitCode < 0)
        out.reason = QStringLiteral("The scheduler program ended abnormally.");
    else if (res.exitCode != 0)
        out.reason = said.isEmpty()
                         ? "The scheduler program failed (exit status " + QString::number(res.exitCode) + ")."
                         : said;
    out.noSuchTask = res.finished && res.exitCode == kExitNoSuchTask;
    out.ok = res.finished && res.exitCode == 0;
    return out;
}

QList<ScheduledTask> ReadTaskList(const QString& output) {
    QList<ScheduledTask> tasks;
    for (const QString& line : output.split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split('\t');
        if (f.size() < 4) continue;
        tasks.push_back({f[0], f[1], f[2], f.mid(3).join('\t')});
    }
    return tasks;
}

} // namespace bd::publishing
