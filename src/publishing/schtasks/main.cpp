// bd-schtasks: weekly tasks that open a cube unattended, kept in the user's crontab.
//
//   bd-schtasks /Create /SC WEEKLY /D MON,FRI /TN name /ST hh:mm /TR "\"/path/cube.cub\""
//   bd-schtasks /Delete /TN name [/F]
//   bd-schtasks /Query          one "name TAB days TAB hh:mm TAB cube" line per task
//
// Switches are read in any case, as the task scheduler reads them. Exit status: 0 done, 1 refused or
// failed (the reason on standard error), 2 a delete found no such task. The environment variable
// BRINTOVA_CRONTAB names a file used in place of the user's crontab.
#include "CronTable.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSaveFile>
#include <cstdio>

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitNoSuchTask = 2;
constexpr int kCrontabTimeoutMs = 20000;

int fail(const QString& reason, int status = kExitFailed) {
    std::fprintf(stderr, "ERROR: %s\n", reason.toUtf8().constData());
    return status;
}

// The crontab as lines: the test file when one is named, else the user's own.
QStringList readCrontab(QString* error) {
    const QString file = qEnvironmentVariable("BRINTOVA_CRONTAB");
    QByteArray text;
    if (!file.isEmpty()) {
        QFile f(file);
        if (f.exists() && !f.open(QIODevice::ReadOnly)) {
            *error = "The crontab file " + file + " cannot be read: " + f.errorString();
            return {};
        }
        text = f.readAll();
    } else {
        QProcess p;
        p.start(QStringLiteral("crontab"), {QStringLiteral("-l")});
        if (!p.waitForFinished(kCrontabTimeoutMs) || p.exitStatus() != QProcess::NormalExit) {
            *error = QStringLiteral("The crontab program could not be run.");
            return {};
        }
        const QString said = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        // A user without a crontab yet has an empty one.
        if (p.exitCode() != 0 && !said.startsWith(QStringLiteral("no crontab"))) {
            *error = "The crontab could not be read: " + said;
            return {};
        }
        text = p.readAllStandardOutput();
    }
    QStringList lines = QString::fromUtf8(text).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

bool writeCrontab(const QStringList& lines, QString* error) {
    QByteArray text;
    for (const QString& l : lines)
        text += l.toUtf8() + '\n';
    const QString file = qEnvironmentVariable("BRINTOVA_CRONTAB");
    if (!file.isEmpty()) {
        QSaveFile f(file);
        if (f.open(QIODevice::WriteOnly) && f.write(text) == text.size() && f.commit()) return true;
        *error = "The crontab file " + file + " cannot be written: " + f.errorString();
        return false;
    }
    QProcess p;
    p.start(QStringLiteral("crontab"), {QStringLiteral("-")});
    p.write(text);
    p.closeWriteChannel();
    if (p.waitForFinished(kCrontabTimeoutMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    *error =
        "The crontab could not be written: " + QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    return false;
}

// "/SWITCH value" pairs and lone flags, switch names upper-cased.
QHash<QString, QString> options(const QStringList& args, QString* error) {
    static const QStringList valued = {"/SC", "/D", "/TN", "/ST", "/TR"};
    static const QStringList flags = {"/F"};
    QHash<QString, QString> out;
    for (int i = 1; i < args.size(); ++i) {
        const QString key = args[i].toUpper();
        if (flags.contains(key)) {
            out.insert(key, QString());
        } else if (valued.contains(key) && i + 1 < args.size()) {
            out.insert(key, args[++i]);
        } else {
            *error = "Invalid argument or option: " + args[i];
            return {};
        }
    }
    return out;
}

// The task's file: the /TR value without the double quotes around it.
QString cubeOf(QString tr) {
    if (tr.size() >= 2 && tr.startsWith('"') && tr.endsWith('"')) tr = tr.mid(1, tr.size() - 2);
    return tr;
}

int create(const QHash<QString, QString>& o) {
    for (const char* need : {"/SC", "/D", "/TN", "/ST", "/TR"})
        if (!o.contains(QLatin1String(need))) return fail(QStringLiteral("%1 is missing.").arg(need));
    if (o["/SC"].toUpper() != "WEEKLY")
        return fail(QStringLiteral("Only weekly tasks (/SC WEEKLY) are kept."));
    schtasks::Task t;
    t.name = o["/TN"];
    t.cube = cubeOf(o["/TR"]);
    const std::optional<QStringList> days = schtasks::parseDays(o["/D"]);
    if (!days) return fail("Invalid days: \"" + o["/D"] + "\" (MON, TUE, WED, THU, FRI, SAT, SUN).");
    t.days = *days;
    if (!schtasks::parseTime(o["/ST"], &t.hour, &t.minute))
        return fail("Invalid start time: \"" + o["/ST"] + "\" (hh:mm, 00:00 to 23:59).");
    for (const QString& why : {schtasks::refusedName(t.name), schtasks::refusedCube(t.cube)})
        if (!why.isEmpty()) return fail(why);

    QString error;
    QStringList lines = readCrontab(&error);
    if (!error.isEmpty()) return fail(error);
    for (const QString& l : lines)
        if (schtasks::isTaskLine(l, t.name)) return fail("The task \"" + t.name + "\" already exists.");
    lines << schtasks::cronLine(t, QCoreApplication::applicationDirPath() + "/brintova-deridoro");
    if (!writeCrontab(lines, &error)) return fail(error);
    std::printf("SUCCESS: The scheduled task \"%s\" has been created.\n", t.name.toUtf8().constData());
    return 0;
}

int remove(const QHash<QString, QString>& o) {
    if (!o.contains("/TN")) return fail(QStringLiteral("/TN is missing."));
    const QString name = o["/TN"];
    QString error;
    QStringList lines = readCrontab(&error);
    if (!error.isEmpty()) return fail(error);
    const qsizetype before = lines.size();
    lines.removeIf([&](const QString& l) { return schtasks::isTaskLine(l, name); });
    if (lines.size() == before) return fail("The task \"" + name + "\" does not exist.", kExitNoSuchTask);
    if (!writeCrontab(lines, &error)) return fail(error);
    std::printf("SUCCESS: The scheduled task \"%s\" was deleted.\n", name.toUtf8().constData());
    return 0;
}

int query() {
    QString error;
    const QStringList lines = readCrontab(&error);
    if (!error.isEmpty()) return fail(error);
    for (const QString& l : lines)
        if (const std::optional<schtasks::Task> t = schtasks::readLine(l))
            std::printf("%s\t%s\t%02d:%02d\t%s\n", t->name.toUtf8().constData(),
                        t->days.join(',').toUtf8().constData(), t->hour, t->minute,
                        t->cube.toUtf8().constData());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return fail(
            QStringLiteral("Usage: bd-schtasks /Create /SC WEEKLY /D days /TN name /ST hh:mm /TR file | "
                           "/Delete /TN name [/F] | /Query"));
    QString error;
    const QHash<QString, QString> o = options(args, &error);
    if (!error.isEmpty()) return fail(error);
    const QString verb = args.first().toUpper();
    if (verb == "/CREATE") return create(o);
    if (verb == "/DELETE") return remove(o);
    if (verb == "/QUERY" && o.isEmpty()) return query();
    return fail("Invalid argument or option: " + args.first());
}
