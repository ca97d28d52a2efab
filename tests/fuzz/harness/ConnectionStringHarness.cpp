// Connection strings as a cube names its source: parsed, the program folder put in, the engine
// chosen and, for ODBC, the driver's string built. Input: the program folder on the first line, the
// connection string after it.
#include "FuzzSupport.h"

#include "platform/db/ConnectionString.h"

#include <QSet>
#include <algorithm>

namespace bd::fuzz {
namespace {

using Pairs = QList<QPair<QString, QString>>;

// The ODBC grammar as a driver manager reads it: key=value pairs split at ";", a value in braces
// running to the closing brace ("}}" inside standing for one), outer blanks of a key dropped; merged,
// a repeated key keeps its first place and its last value, as the program's own reading does.
Pairs parseOdbc(const QString& s, bool merge = true) {
    Pairs out;
    int i = 0;
    const int n = int(s.size());
    while (i < n) {
        QString key;
        while (i < n && s[i] != '=' && s[i] != ';')
            key += s[i++];
        QString value;
        if (i < n && s[i] == '=') {
            ++i;
            if (i < n && s[i] == '{') {
                for (++i; i < n; ++i) {
                    if (s[i] == '}') {
                        if (i + 1 < n && s[i + 1] == '}') {
                            value += '}';
                            ++i;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    value += s[i];
                }
                while (i < n && s[i] != ';')
                    ++i;
            } else {
                while (i < n && s[i] != ';')
                    value += s[i++];
            }
        }
        if (i < n) ++i;
        key = key.trimmed();
        if (key.isEmpty()) continue;
        // A repeated key: compared as the program keeps it, the last value in the first place.
        auto same = std::find_if(out.begin(), out.end(), [&](const auto& p) {
            return p.first.compare(key, Qt::CaseInsensitive) == 0;
        });
        if (merge && same != out.end())
            same->second = value;
        else
            out.append({key, value});
    }
    return out;
}

QString lastValue(const Pairs& pairs, const QString& key, int* count) {
    QString v;
    *count = 0;
    for (const auto& [k, value] : pairs)
        if (k.compare(key, Qt::CaseInsensitive) == 0) {
            v = value;
            ++*count;
        }
    return v;
}

void checkParse(const QString& text) {
    const db::ConnectionString cs = db::ConnectionString::parse(text);
    QSet<QString> keys;
    for (const auto& [k, v] : cs.pairs()) {
        require(!k.isEmpty() && k == k.trimmed(), "a key is trimmed and not empty");
        require(!keys.contains(k.toUpper()), "a repeated key keeps one value");
        keys.insert(k.toUpper());
    }
    require(db::ConnectionString::parse(cs.toString()).pairs() == cs.pairs(),
            "a parsed string written back parses to the same pairs");
    for (const auto& [k, v] : cs.pairs()) {
        require(db::ConnectionString::parse("k=" + db::quoteValue(v)).value("k") == v,
                "a quoted value reads back unchanged");
    }
}

void checkAppPath(const QString& text, const QString& appPath) {
    const db::ConnectionString before = db::ConnectionString::parse(text);
    const db::ConnectionString after = db::ConnectionString::parse(db::replaceAppPath(text, appPath));
    require(after.pairs().size() == before.pairs().size(), "the program folder adds or removes no key");
    for (int i = 0; i < before.pairs().size(); ++i) {
        const auto& [k, v] = before.pairs()[i];
        require(after.pairs()[i].first == k, "the program folder changes no key");
        if (k.compare("Extended Properties", Qt::CaseInsensitive) != 0 || !v.contains('='))
            require(after.pairs()[i].second == QString(v).replace("APP_PATH", appPath),
                    "the program folder takes the place of APP_PATH and nothing else changes");
    }
}

void checkEngine(const QString& text, const QString& appPath) {
    static const QStringList drivers = {"MariaDB Unicode", "PostgreSQL Unicode", "FreeTDS", "SQLite3"};
    const db::EngineChoice c = db::chooseEngine(text, appPath, &drivers);
    require(c.engine != db::Engine::Unsupported || !c.error.isEmpty(), "an unsupported string says why");
    if (c.engine != db::Engine::Odbc) return;
    require(!c.odbcString.isEmpty(), "an ODBC choice has a driver string");
    // The program reads its own driver string back (to add a time-out, to put the DSN first): both
    // readings must agree, or the driver gets other values than the program meant.
    const Pairs odbc = parseOdbc(c.odbcString);
    if (odbc != db::ConnectionString::parse(c.odbcString).pairs())
        fail("the driver string reads the same in the ODBC grammar and in the program's: " +
             QString::fromLatin1(c.odbcString.toUtf8().toPercentEncoding(" {};=()*.,")));
    // The password the string names reaches the driver as it is.
    const db::ConnectionString cs = db::ConnectionString::parse(db::replaceAppPath(text, appPath));
    if (cs.has("Password") == cs.has("PWD") || cs.extended().has("PWD") || cs.extended().has("Password"))
        return;
    const QString password = cs.value(QStringList{"Password", "PWD"});
    int count = 0;
    const QString given = lastValue(parseOdbc(c.odbcString, false), "PWD", &count);
    require(count == 1 && given == password, "the password reaches the driver string as it was given");
}

} // namespace

void connectionString(const uint8_t* data, size_t size) {
    const QString input = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const int nl = int(input.indexOf('\n'));
    if (nl < 0) return;
    // A folder name holds no line break; everything else (";", quotes, braces) it may.
    const QString appPath = input.left(nl).remove('\r');
    const QString text = input.mid(nl + 1);
    checkParse(text);
    if (!appPath.isEmpty()) checkAppPath(text, appPath);
    checkEngine(text, appPath.isEmpty() ? homeDir() : appPath);
}

} // namespace bd::fuzz
