#include "CronTable.h"

#include <QRegularExpression>

namespace schtasks {
namespace {
const QStringList kCodes = {"MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"};
// The tag that ends each task line; the shell reads it as a comment.
const QString kTag = QStringLiteral(" # brintova-deridoro task: ");

// Cron's day of week: Sunday is 0.
int cronDay(int code) {
    return (code + 1) % 7;
}

// One shell word in single quotes; cron turns an unescaped "%" into a line break, so it is escaped.
QString shellWord(const QString& s) {
    QString q = s;
    q.replace('\'', QStringLiteral("'\\''"));
    q.replace('%', QStringLiteral("\\%"));
    return '\'' + q + '\'';
}

// The words of a command as the shell splits it, after cron has turned "\%" into "%"; only the
// quoting that shellWord writes is understood.
QStringList shellWords(const QString& command) {
    QString cmd = command;
    cmd.replace(QStringLiteral("\\%"), QStringLiteral("%"));
    QStringList words;
    QString cur;
    bool inWord = false, quoted = false;
    for (int i = 0; i < cmd.size(); ++i) {
        const QChar c = cmd[i];
        if (quoted) {
            if (c == '\'')
                quoted = false;
            else
                cur += c;
        } else if (c == '\'') {
            quoted = inWord = true;
        } else if (c == '\\' && i + 1 < cmd.size()) {
            cur += cmd[++i];
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) words << cur;
            cur.clear();
            inWord = false;
        } else {
            cur += c;
            inWord = true;
        }
    }
    if (inWord) words << cur;
    return words;
}
} // namespace

std::optional<QStringList> parseDays(const QString& list) {
    QVector<bool> on(7, false);
    const QStringList parts = list.split(',');
    for (const QString& p : parts) {
        const int i = kCodes.indexOf(p.trimmed().toUpper());
        if (i < 0) return std::nullopt;
        on[i] = true;
    }
    QStringList days;
    for (int i = 0; i < 7; ++i)
        if (on[i]) days << kCodes[i];
    return days;
}

bool parseTime(const QString& text, int* hour, int* minute) {
    static const QRegularExpression re(QStringLiteral(R"(^(\d{1,2}):(\d{2})$)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch()) return false;
    *hour = m.captured(1).toInt();
    *minute = m.captured(2).toInt();
    return *hour <= 23 && *minute <= 59;
}

QString refusedName(const QString& name) {
    if (name.isEmpty()) return QStringLiteral("The task name is empty.");
    for (QChar c : name)
        if (c.category() == QChar::Other_Control || QStringLiteral("\\/:*?\"<>|%").contains(c))
            return QStringLiteral("The task name \"%1\" holds a character a task name cannot hold.")
                .arg(name);
    return QString();
}

QString refusedCube(const QString& path) {
    if (!path.startsWith('/')) return QStringLiteral("The file to run must be given by its full path.");
    for (QChar c : path)
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("The path of the file to run holds a control character.");
    // Cron reads "\%" as an escaped "%", so a backslash before a "%" cannot be written.
    if (path.contains(QStringLiteral("\\%")))
        return QStringLiteral(
            "The path of the file to run holds \"\\%\", which a crontab line cannot carry.");
    return QString();
}

QString cronLine(const Task& t, const QString& program) {
    QStringList days;
    for (const QString& d : t.days)
        days << QString::number(cronDay(kCodes.indexOf(d)));
    return QStringLiteral("%1 %2 * * %3 %4 %5 %6%7%8")
        .arg(t.minute)
        .arg(t.hour)
        .arg(days.join(','), shellWord(program), kUnattendedSwitch, shellWord(t.cube), kTag, t.name);
}

std::optional<Task> readLine(const QString& line) {
    const int tag = line.lastIndexOf(kTag);
    if (tag < 0 || line.trimmed().startsWith('#')) return std::nullopt;
    Task t;
    t.name = line.mid(tag + kTag.size());
    const QStringList fields =
        line.left(tag).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (fields.size() < 6) return std::nullopt;
    t.minute = fields[0].toInt();
    t.hour = fields[1].toInt();
    QVector<bool> on(7, false);
    for (const QString& d : fields[4].split(','))
        for (int i = 0; i < 7; ++i)
            if (cronDay(i) == d.toInt()) on[i] = true;
    for (int i = 0; i < 7; ++i)
        if (on[i]) t.days << kCodes[i];
    // The command follows the five time fields: the program, the switch, the cube.
    int command = 0;
    for (int f = 0; f < 5; ++f) {
        while (command < tag && line[command].isSpace())
            ++command;
        while (command < tag && !line[command].isSpace())
            ++command;
    }
    const QStringList words = shellWords(line.mid(command, tag - command));
    if (!words.isEmpty()) t.cube = words.last();
    return t;
}

bool isTaskLine(const QString& line, const QString& name) {
    const std::optional<Task> t = readLine(line);
    return t && t->name == name;
}

} // namespace schtasks
