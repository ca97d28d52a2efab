#include "platform/db/FileImport.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTime>

#include <sqlite3.h>

namespace bd::db {

ImportedDatabase::~ImportedDatabase() {
    sqlite3_free(data);
}

QString resolveFileCase(const QString& path) {
    if (path.isEmpty() || QFileInfo::exists(path)) return path;
    const QString clean =
        QDir::cleanPath(QDir(path).isAbsolute() ? path : QDir::current().absoluteFilePath(path));
    const QStringList parts = clean.split('/', Qt::SkipEmptyParts);
    QString cur = clean.startsWith('/') ? QStringLiteral("/") : QString();
    for (const QString& part : parts) {
        const QString direct = QDir(cur).filePath(part);
        if (QFileInfo::exists(direct)) {
            cur = direct;
            continue;
        }
        QString found;
        for (const QString& e : QDir(cur).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            if (e.compare(part, Qt::CaseInsensitive) == 0) {
                if (!found.isEmpty()) return path; // ambiguous: keep what was given
                found = e;
            }
        if (found.isEmpty()) return path;
        cur = QDir(cur).filePath(found);
    }
    return cur;
}

QString desktopSqlToSqlite(const QString& sql) {
    static const QRegularExpression iso(QStringLiteral(
        "^\\s*(\\d{4})[-/](\\d{1,2})[-/](\\d{1,2})(?:[ T]+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?\\s*$"));
    static const QRegularExpression us(
        QStringLiteral("^\\s*(\\d{1,2})[/.-](\\d{1,2})[/"
                       ".-](\\d{2,4})(?:\\s+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?\\s*([AaPp][Mm])?)?\\s*$"));
    QString out;
    const int n = sql.size();
    for (int i = 0; i < n; ++i) {
        const QChar ch = sql[i];
        if (ch == '\'' || ch == '"' || ch == '[' || ch == '`') {
            const QChar close = ch == '[' ? QChar(']') : ch;
            int j = i + 1;
            while (j < n && sql[j] != close)
                ++j;
            out += sql.mid(i, j - i + 1);
            i = j;
            continue;
        }
        if (ch == '#') {
            const int j = sql.indexOf('#', i + 1);
            if (j > i) {
                const QString lit = sql.mid(i + 1, j - i - 1);
                int y = 0, m = 0, d = 0, h = 0, mi = 0, s = 0;
                bool time = false, ok = false;
                if (auto mt = iso.match(lit); mt.hasMatch()) {
                    y = mt.captured(1).toInt(), m = mt.captured(2).toInt(), d = mt.captured(3).toInt();
                    time = !mt.captured(4).isEmpty();
                    h = mt.captured(4).toInt(), mi = mt.captured(5).toInt(), s = mt.captured(6).toInt();
                    ok = true;
                } else if (auto mu = us.match(lit); mu.hasMatch()) {
                    // The desktop engines read #a/b/y# month first, unless that cannot be a month.
                    m = mu.captured(1).toInt(), d = mu.captured(2).toInt(), y = mu.captured(3).toInt();
                    if (m > 12 && d <= 12) std::swap(m, d);
                    if (y < 100) y += y < 30 ? 2000 : 1900;
                    time = !mu.captured(4).isEmpty();
                    h = mu.captured(4).toInt(), mi = mu.captured(5).toInt(), s = mu.captured(6).toInt();
                    const QString ampm = mu.captured(7).toUpper();
                    if (ampm == "PM" && h < 12) h += 12;
                    if (ampm == "AM" && h == 12) h = 0;
                    ok = true;
                }
                if (ok && QDate(y, m, d).isValid()) {
                    QString text = QDate(y, m, d).toString(Qt::ISODate);
                    if (time && (h || mi || s))
                        text += ' ' + QTime(h, mi, s).toString(QStringLiteral("HH:mm:ss"));
                    out += '\'' + text + '\'';
                    i = j;
                    continue;
                }
            }
        }
        out += ch;
    }
    return out;
}

} // namespace bd::db
