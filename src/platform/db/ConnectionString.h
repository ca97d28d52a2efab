#pragma once
// Connection strings in the OLE DB grammar, and the engine each one is reached through.
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace bd::db {

// key=value pairs in order of appearance. Keys compare case-insensitively; a repeated key keeps its
// last value. Values may be quoted with " or ' (a doubled quote inside stands for one) or ODBC braces, so
// they can hold ";"; line breaks count as blanks.
class ConnectionString {
public:
    ConnectionString() = default;
    static ConnectionString parse(const QString& text);

    bool has(const QString& key) const;
    QString value(const QString& key) const;
    // The first of several synonymous keys that is present ("Data Source", "Server", ...).
    QString value(const QStringList& keys) const;
    const QList<QPair<QString, QString>>& pairs() const { return pairs_; }
    // The nested list of "Extended Properties".
    ConnectionString extended() const { return parse(value("Extended Properties")); }
    // Sets a key's value (a new key goes at the end).
    void set(const QString& key, const QString& value);
    // Back to text; values that need it are quoted, keys without a value stand alone.
    QString toString() const;

private:
    QList<QPair<QString, QString>> pairs_;
};

enum class Engine {
    SQLite,     // a SQLite file, opened directly
    Excel,      // .xlsx / .xls imported into SQLite
    Access,     // .mdb / .accdb imported into SQLite
    Csv,        // .csv file, or a folder of them, imported into SQLite
    MySql,      // Qt's MySQL/MariaDB driver
    PostgreSql, // Qt's PostgreSQL driver
    Odbc,       // Qt's ODBC driver (DSN, Driver=, SQL Server through FreeTDS, Oracle with a DSN)
    Unsupported,
};

QString engineName(Engine e);

// What a connection string resolves to on this system.
struct EngineChoice {
    Engine engine = Engine::Unsupported;
    QString file;          // file engines: the path ("APP_PATH" replaced, "\" as "/")
    bool header = true;    // spreadsheets and csv: first row holds the column names (HDR)
    QChar delimiter = ','; // csv
    QString host;          // servers
    int port = 0;
    QString database;
    QString user;
    QString password;
    QString odbcString; // ODBC: the full driver connection string
    QString error;      // Unsupported: why
};

// Chooses the engine for a connection string. "APP_PATH" is replaced by appPath. With the list of
// installed ODBC drivers, a driver another system names (a MySQL, PostgreSQL or SQL Server driver) is
// replaced by the installed one of its family; the desktop drivers' files go to the file import.
EngineChoice chooseEngine(const QString& connectionString, const QString& appPath,
                          const QStringList* installedDrivers = nullptr);

// A value written so that the grammar reads it back unchanged (quoted when it needs it).
QString quoteValue(const QString& value);
// The same for an ODBC driver's string: braces where the value needs them.
QString odbcValue(const QString& value);

// "APP_PATH" replaced by the program folder (case-sensitive, as the cubes write it) in the values of
// the parsed string, so a folder holding ";" or quotes stays one value. A string without it is returned
// as it is.
QString replaceAppPath(const QString& connectionString, const QString& appPath);

} // namespace bd::db
