#include "platform/db/ConnectionString.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace bd::db {

ConnectionString ConnectionString::parse(const QString& input) {
    QString text = input;
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));

    ConnectionString cs;
    const int n = text.size();
    int i = 0;
    while (i < n) {
        // Key, up to "=" ("==" stands for a literal "=" inside a key).
        QString key;
        bool hasValue = false;
        while (i < n && text[i] != ';') {
            if (text[i] == '=') {
                if (i + 1 < n && text[i + 1] == '=') {
                    key += '=';
                    i += 2;
                    continue;
                }
                hasValue = true;
                ++i;
                break;
            }
            key += text[i++];
        }
        QString value;
        if (hasValue) {
            while (i < n && text[i] == ' ')
                ++i;
            // A value closed by its quote or ODBC brace, the closing character doubled inside it;
            // anything after the closing character is dropped.
            auto readEnclosed = [&](QChar close) {
                ++i;
                while (i < n) {
                    if (text[i] == close) {
                        if (i + 1 < n && text[i + 1] == close) {
                            value += close;
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    value += text[i++];
                }
                while (i < n && text[i] != ';')
                    ++i;
            };
            if (i < n && (text[i] == '"' || text[i] == '\'')) {
                readEnclosed(text[i]);
            } else if (i < n && text[i] == '{') {
                readEnclosed('}');
            } else {
                while (i < n && text[i] != ';')
                    value += text[i++];
                value = value.trimmed();
            }
        }
        if (i < n && text[i] == ';') ++i;
        key = key.trimmed();
        if (key.isEmpty()) continue;
        bool replaced = false;
        for (auto& p : cs.pairs_) {
            if (p.first.compare(key, Qt::CaseInsensitive) == 0) {
                p.second = value;
                replaced = true;
                break;
            }
        }
        if (!replaced) cs.pairs_.append({key, value});
    }
    return cs;
}

bool ConnectionString::has(const QString& key) const {
    for (const auto& p : pairs_)
        if (p.first.compare(key, Qt::CaseInsensitive) == 0) return true;
    return false;
}

QString ConnectionString::value(const QString& key) const {
    for (const auto& p : pairs_)
        if (p.first.compare(key, Qt::CaseInsensitive) == 0) return p.second;
    return {};
}

QString ConnectionString::value(const QStringList& keys) const {
    for (const auto& k : keys)
        if (has(k)) return value(k);
    return {};
}

void ConnectionString::set(const QString& key, const QString& value) {
    for (auto& p : pairs_)
        if (p.first.compare(key, Qt::CaseInsensitive) == 0) {
            p.second = value;
            return;
        }
    pairs_.append({key, value});
}

QString odbcValue(const QString& v) {
    // A leading quote too: the program reads its own ODBC strings back in the connection-string grammar
    // (to put the DSN first), where a quote opens a quoted value and would be lost.
    if (!v.contains(';') && !v.contains('{') && !v.contains('}') && !v.contains('=') && v == v.trimmed() &&
        !v.startsWith('"') && !v.startsWith('\''))
        return v;
    QString e = v;
    e.replace('}', "}}");
    return '{' + e + '}';
}

QString quoteValue(const QString& v) {
    // A leading quote or brace opens an enclosed value; ";" ends a plain one; outer blanks are trimmed.
    const bool plain = !v.startsWith('{') && !v.startsWith('"') && !v.startsWith('\'') && !v.contains(';') &&
                       !v.contains('=') && !v.contains('}') && !v.contains('"') && v == v.trimmed() &&
                       !v.contains('\n') && !v.contains('\r');
    if (plain) return v;
    QString e = v;
    e.replace('"', "\"\"");
    return '"' + e + '"';
}

QString ConnectionString::toString() const {
    QStringList parts;
    for (const auto& p : pairs_) {
        QString k = p.first;
        k.replace('=', "==");
        parts << (p.second.isEmpty() ? k : k + '=' + quoteValue(p.second));
    }
    return parts.join(';');
}

QString engineName(Engine e) {
    switch (e) {
    case Engine::SQLite:
        return QStringLiteral("SQLite");
    case Engine::Excel:
        return QStringLiteral("Excel");
    case Engine::Access:
        return QStringLiteral("Access");
    case Engine::Csv:
        return QStringLiteral("Csv");
    case Engine::MySql:
        return QStringLiteral("MySql");
    case Engine::PostgreSql:
        return QStringLiteral("PostgreSql");
    case Engine::Odbc:
        return QStringLiteral("Odbc");
    case Engine::Unsupported:
        break;
    }
    return QStringLiteral("Unsupported");
}

QString replaceAppPath(const QString& connectionString, const QString& appPath) {
    static const QLatin1String kAppPath("APP_PATH");
    if (!connectionString.contains(kAppPath)) return connectionString;
    ConnectionString cs = ConnectionString::parse(connectionString);
    const auto pairs = cs.pairs();
    for (const auto& [key, value] : pairs) {
        if (!value.contains(kAppPath)) continue;
        // The nested list holds values of its own.
        const bool nested =
            key.compare("Extended Properties", Qt::CaseInsensitive) == 0 && value.contains('=');
        cs.set(key, nested ? replaceAppPath(value, appPath) : QString(value).replace(kAppPath, appPath));
    }
    return cs.toString();
}

namespace {

const QStringList kHostKeys = {"Data Source", "Server", "Host", "Address", "Addr", "Network Address"};
const QStringList kDbKeys = {"Initial Catalog", "Database", "DB"};
const QStringList kUserKeys = {"User ID", "UID", "User", "User Name", "Username"};
const QStringList kPasswordKeys = {"Password", "PWD"};

QString odbcPairs(const QList<QPair<QString, QString>>& pairs) {
    QStringList parts;
    for (const auto& p : pairs) {
        if (p.first.compare("Driver", Qt::CaseInsensitive) == 0) {
            QString d = p.second;
            if (d.startsWith('{') && d.endsWith('}')) d = d.mid(1, d.size() - 2);
            // A "}" in the name doubled, or it would close the braces and what follows would be read
            // as keys of their own.
            parts << "Driver={" + d.replace('}', "}}") + '}';
        } else {
            parts << p.first + '=' + odbcValue(p.second);
        }
    }
    return parts.join(';');
}

// The data-access library's own names for the ODBC keys.
QString odbcKey(const QString& key) {
    static const QList<QPair<QString, QString>> map = {
        {"User ID", "UID"}, {"Password", "PWD"}, {"Data Source", "DSN"}, {"Initial Catalog", "Database"}};
    for (const auto& [ole, odbc] : map)
        if (key.compare(ole, Qt::CaseInsensitive) == 0) return odbc;
    return key;
}

// A driver named as another system installs it, replaced by the installed driver of the same family.
QString installedDriverFor(QString name, const QStringList& installed) {
    if (name.startsWith('{') && name.endsWith('}')) name = name.mid(1, name.size() - 2);
    for (const QString& d : installed)
        if (d.compare(name, Qt::CaseInsensitive) == 0) return d;
    const QString n = name.toUpper();
    QStringList wanted;
    if (n.contains("MYSQL") || n.contains("MARIADB"))
        wanted = {"MariaDB Unicode", "MariaDB", "MySQL"};
    else if (n.contains("POSTGRES") || n.contains("PSQL"))
        wanted = {"PostgreSQL Unicode", "PostgreSQL"};
    else if (n.contains("SQL SERVER") || n.contains("SQL NATIVE CLIENT"))
        wanted = {"FreeTDS"};
    for (const QString& w : wanted)
        for (const QString& d : installed)
            if (d.startsWith(w, Qt::CaseInsensitive)) return d;
    return name;
}

bool integratedSecurity(const ConnectionString& cs) {
    const QString is = cs.value("Integrated Security").trimmed().toUpper();
    const QString tc = cs.value("Trusted_Connection").trimmed().toUpper();
    return is == "SSPI" || is == "TRUE" || is == "YES" || tc == "YES" || tc == "TRUE";
}

// "host,port", "host:port" and "host\instance" as Windows tools write them.
void splitHost(QString host, EngineChoice& c, QString* instance = nullptr) {
    host = host.trimmed();
    if (host.startsWith("tcp:", Qt::CaseInsensitive)) host = host.mid(4);
    const int bs = host.indexOf('\\');
    if (bs >= 0) {
        if (instance) *instance = host.mid(bs + 1);
        host = host.left(bs);
    }
    const int comma = host.lastIndexOf(',');
    const int colon = host.count(':') == 1 ? host.indexOf(':') : -1;
    const int sep = comma >= 0 ? comma : colon;
    if (sep >= 0) {
        bool ok = false;
        const int p = host.mid(sep + 1).trimmed().toInt(&ok);
        if (ok) c.port = p;
        host = host.left(sep).trimmed();
    }
    if (host == "." || host.compare("(local)", Qt::CaseInsensitive) == 0) host = "127.0.0.1";
    c.host = host;
}

// The host, port, database and login of a database server; a named instance into *instance.
void serverKeys(const ConnectionString& cs, EngineChoice& c, QString* instance = nullptr) {
    splitHost(cs.value(kHostKeys), c, instance);
    bool ok = false;
    const int p = cs.value("Port").toInt(&ok);
    if (ok) c.port = p;
    c.database = cs.value(kDbKeys);
    c.user = cs.value(kUserKeys);
    c.password = cs.value(kPasswordKeys);
}

QString filePath(QString path) {
    path = path.trimmed();
    path.replace('\\', '/');
    return path;
}

EngineChoice fileEngine(const ConnectionString& cs, const QString& file, bool jet) {
    EngineChoice c;
    c.file = filePath(file);
    const ConnectionString ext = cs.extended();
    const QString hdr = ext.value("HDR").trimmed().toUpper();
    c.header = !(hdr == "NO" || hdr == "FALSE" || hdr == "0");
    const QString fmt = ext.value("FMT").trimmed();
    // Read from the raw text: the delimiter may be the list's own ";".
    static const QRegularExpression delimited(QStringLiteral("FMT\\s*=\\s*Delimited\\((.)\\)"),
                                              QRegularExpression::CaseInsensitiveOption);
    if (const auto m = delimited.match(cs.value("Extended Properties")); m.hasMatch())
        c.delimiter = m.captured(1).at(0);
    else if (fmt.compare("TabDelimited", Qt::CaseInsensitive) == 0)
        c.delimiter = '\t';

    const QString suffix = QFileInfo(c.file).suffix().toLower();
    bool textDriver = false;
    for (const auto& p : ext.pairs())
        if (p.first.trimmed().compare("text", Qt::CaseInsensitive) == 0) textDriver = true;
    bool excelDriver = false;
    for (const auto& p : ext.pairs())
        if (p.first.trimmed().startsWith("Excel", Qt::CaseInsensitive)) excelDriver = true;

    if (suffix == "xlsb") {
        c.error =
            QStringLiteral("Binary workbooks (.xlsb) cannot be read on this system; save the file as .xlsx.");
    } else if (suffix == "xls" || suffix == "xlsx" || suffix == "xlsm") {
        c.engine = Engine::Excel;
    } else if (suffix == "mdb" || suffix == "accdb") {
        c.engine = Engine::Access;
    } else if (suffix == "csv" || suffix == "txt" || suffix == "tab" || textDriver) {
        c.engine = Engine::Csv;
        if (suffix == "tab" && fmt.isEmpty()) c.delimiter = '\t';
    } else if (jet) {
        c.engine = excelDriver ? Engine::Excel : Engine::Access;
    } else {
        c.engine = Engine::SQLite;
    }
    if (!c.error.isEmpty()) c.engine = Engine::Unsupported;
    return c;
}

EngineChoice unsupported(const QString& why) {
    EngineChoice c;
    c.error = why;
    return c;
}

// The port SQL Server listens on unless told otherwise, and the protocol FreeTDS speaks to it.
constexpr int kSqlServerPort = 1433;
const QLatin1String kTdsVersion("7.4");

bool hasOdbcKeys(const ConnectionString& cs) {
    return cs.has("DSN") || cs.has("Driver") || cs.has("FILEDSN");
}

// ODBC, explicit or implied by DSN= / Driver=. Through MSDASQL the data source may be its Data
// Source, or stand with the rest of the ODBC string in Extended Properties.
EngineChoice odbcEngine(const ConnectionString& cs, const QStringList* installedDrivers) {
    if (!hasOdbcKeys(cs) && !cs.has("Data Source") && !hasOdbcKeys(cs.extended()))
        return unsupported(
            QStringLiteral("An ODBC connection needs a data source (DSN=) or a driver (Driver=)."));
    QList<QPair<QString, QString>> rest;
    for (const auto& kv : cs.pairs())
        if (kv.first.compare("Provider", Qt::CaseInsensitive) != 0 &&
            kv.first.compare("Persist Security Info", Qt::CaseInsensitive) != 0 &&
            kv.first.compare("Extended Properties", Qt::CaseInsensitive) != 0)
            rest.append({odbcKey(kv.first), kv.second});
    // MSDASQL keeps the ODBC string itself in Extended Properties.
    const QString inner = cs.value("Extended Properties");
    if (!inner.isEmpty()) rest += ConnectionString::parse(inner).pairs();
    // The ODBC grammar cannot write "=" in a key ("==" is the connection string's own escape): written
    // as it is, the rest of the key would become part of its value.
    for (const auto& kv : rest)
        if (kv.first.contains('='))
            return unsupported(
                QStringLiteral(
                    "The key \"%1\" cannot be passed to an ODBC driver: an ODBC key holds no \"=\".")
                    .arg(kv.first));
    const ConnectionString odbc = ConnectionString::parse(odbcPairs(rest));
    // The desktop drivers of other systems: their files are read by our own import.
    const QString driver = odbc.value("Driver").toUpper();
    const QString file = odbc.value(QStringList{"DBQ", "DefaultDir"});
    if (!file.isEmpty() && driver.contains("MICROSOFT ACCESS DRIVER")) {
        EngineChoice c = fileEngine(cs, file, true);
        if (c.engine == Engine::Excel || c.engine == Engine::Csv) c.engine = Engine::Access;
        return c;
    }
    if (!file.isEmpty() && driver.contains("MICROSOFT EXCEL DRIVER")) {
        EngineChoice c = fileEngine(cs, file, true);
        c.engine = Engine::Excel;
        return c;
    }
    if (!file.isEmpty() && driver.contains("MICROSOFT TEXT DRIVER")) {
        EngineChoice c = fileEngine(cs, file, true);
        c.engine = Engine::Csv;
        return c;
    }
    if (installedDrivers && odbc.has("Driver")) {
        const QString substitute = installedDriverFor(odbc.value("Driver"), *installedDrivers);
        for (auto& kv : rest)
            if (kv.first.compare("Driver", Qt::CaseInsensitive) == 0) kv.second = substitute;
    }
    EngineChoice c;
    c.engine = Engine::Odbc;
    c.odbcString = odbcPairs(rest);
    return c;
}

EngineChoice sqliteEngine(const QString& dataSource) {
    if (dataSource.trimmed().isEmpty())
        return unsupported(QStringLiteral("No database file (Data Source) is given."));
    EngineChoice c;
    c.engine = Engine::SQLite;
    c.file = filePath(dataSource);
    return c;
}

// SQL Server is reached through FreeTDS's ODBC driver.
EngineChoice sqlServerEngine(const ConnectionString& cs) {
    if (integratedSecurity(cs))
        return unsupported(QStringLiteral("Integrated Windows security is not available on this system; "
                                          "give a user name (User ID) and a password."));
    EngineChoice c;
    c.engine = Engine::Odbc;
    QString instance;
    serverKeys(cs, c, &instance);
    QList<QPair<QString, QString>> odbc = {{"Driver", "FreeTDS"}, {"Server", c.host}};
    if (!instance.isEmpty())
        odbc.append({"Instance", instance});
    else
        odbc.append({"Port", QString::number(c.port > 0 ? c.port : kSqlServerPort)});
    if (!c.database.isEmpty()) odbc.append({"Database", c.database});
    odbc.append({"UID", c.user});
    odbc.append({"PWD", c.password});
    odbc.append({QStringLiteral("TDS_Version"), kTdsVersion});
    odbc.append({QStringLiteral("ClientCharset"), QStringLiteral("UTF-8")});
    c.odbcString = odbcPairs(odbc);
    return c;
}

// MySQL / MariaDB and PostgreSQL, through Qt's own drivers.
EngineChoice serverEngine(Engine engine, const ConnectionString& cs) {
    EngineChoice c;
    c.engine = engine;
    serverKeys(cs, c);
    return c;
}

// Oracle only through an ODBC data source.
EngineChoice oracleEngine(const ConnectionString& cs) {
    if (!cs.has("DSN"))
        return unsupported(
            QStringLiteral("There is no Oracle provider on this system; use an ODBC data source "
                           "(DSN=...) for the Oracle database."));
    EngineChoice c;
    c.engine = Engine::Odbc;
    c.user = cs.value(kUserKeys);
    c.password = cs.value(kPasswordKeys);
    c.odbcString = odbcPairs({{"DSN", cs.value("DSN")}, {"UID", c.user}, {"PWD", c.password}});
    return c;
}

bool startsWithAny(const QString& text, std::initializer_list<const char*> prefixes) {
    for (const char* prefix : prefixes)
        if (text.startsWith(QLatin1String(prefix))) return true;
    return false;
}

} // namespace

EngineChoice chooseEngine(const QString& connectionString, const QString& appPath,
                          const QStringList* installedDrivers) {
    const ConnectionString cs = ConnectionString::parse(replaceAppPath(connectionString, appPath));
    if (cs.pairs().isEmpty()) return unsupported(QStringLiteral("The connection string is empty."));

    const QString provider = cs.value("Provider").trimmed();
    const QString p = provider.toUpper();
    const QString dataSource = cs.value(QStringList{"Data Source", "DBQ", "Database"});

    if (p.startsWith("MSDASQL") || (p.isEmpty() && hasOdbcKeys(cs))) return odbcEngine(cs, installedDrivers);
    if (startsWithAny(p, {"SQLITE", "SYSTEM.DATA.SQLITE"})) return sqliteEngine(dataSource);
    if (startsWithAny(p, {"MICROSOFT.JET.OLEDB", "MICROSOFT.ACE.OLEDB"})) {
        if (dataSource.trimmed().isEmpty())
            return unsupported(QStringLiteral("No file (Data Source) is given."));
        return fileEngine(cs, dataSource, true);
    }
    if (startsWithAny(p, {"SQLOLEDB", "SQLNCLI", "MSOLEDBSQL", "SQLSERVER"})) return sqlServerEngine(cs);
    if (startsWithAny(p, {"MYSQL", "MARIADB"})) return serverEngine(Engine::MySql, cs);
    if (startsWithAny(p, {"POSTGRESQL", "PGNP", "PGSQL"})) return serverEngine(Engine::PostgreSql, cs);
    if (startsWithAny(p, {"ORAOLEDB", "MSDAORA"})) return oracleEngine(cs);
    if (p.isEmpty()) {
        if (dataSource.trimmed().isEmpty())
            return unsupported(QStringLiteral("The connection string names neither a provider nor a file."));
        return fileEngine(cs, dataSource, false);
    }
    return unsupported(QStringLiteral("The provider \"%1\" is not available on this system.").arg(provider));
}

} // namespace bd::db
