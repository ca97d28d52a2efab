#pragma once
// The small data set every engine is checked with, and the files and server tables that hold it.
#include "common/TestSupport.h"

#include <QDate>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <zip.h>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QDate& d, std::ostream* os) {
    *os << d.toString(Qt::ISODate).toStdString();
}

namespace bd::dbtest {

struct Row {
    QString name;
    qint64 qty;
    double price;
    QDate day;
    QVariant notes; // null QVariant = NULL
};

inline QString longNote() {
    return QString(300, QChar('x')) + QStringLiteral(" end");
}

inline QVector<Row> rows() {
    return {
        {QStringLiteral("Ana"), 3, 12.5, QDate(2024, 1, 31), longNote()},
        {QStringLiteral("Bruno Ñandú"), -7, 0.25, QDate(1999, 12, 31),
         QStringLiteral("short; \"quoted\" note")},
        {QStringLiteral("Cé"), 42, 1000.75, QDate(2000, 2, 29), QVariant()},
    };
}

inline const QStringList& columnNames() {
    static const QStringList n = {"Name", "Qty", "Price", "Day", "Notes"};
    return n;
}
// Type numbers every engine must report, and their classes in the definition grids.
inline QVector<int> expectedTypes() {
    return {200, 3, 5, 7, 201};
}

inline QString typeClass(int t) {
    static const QVector<int> numeric = {2, 3, 4, 5, 6, 14, 17, 18, 19, 20, 21, 131, 139};
    if (numeric.contains(t)) return "ISNUMERIC";
    if (t == 201 || t == 203) return "ISMEMO";
    if (t == 7 || t == 135) return "ISDATE";
    return "ISTEXT";
}

inline double oleDate(const QDate& d) {
    return double(QDate(1899, 12, 30).daysTo(d));
}

// ---- files ----

inline bool writeSqlite(const QString& path, bool withView = false) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) return false;
    QString sql = "CREATE TABLE BdData (Name VARCHAR(50), Qty INTEGER, Price DOUBLE, Day DATE, Notes CLOB);";
    for (const auto& r : rows()) {
        QString notes = r.notes.isNull() ? "NULL" : "'" + r.notes.toString().replace("'", "''") + "'";
        sql += QStringLiteral("INSERT INTO BdData VALUES ('%1', %2, %3, '%4', %5);")
                   .arg(QString(r.name).replace("'", "''"))
                   .arg(r.qty)
                   .arg(r.price)
                   .arg(r.day.toString(Qt::ISODate), notes);
    }
    if (withView) sql += "CREATE VIEW BigOnes AS SELECT Name, Qty FROM BdData WHERE Qty > 0;";
    const bool ok = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

inline QString csvField(const QString& s) {
    if (!s.contains(',') && !s.contains('"') && !s.contains('\n')) return s;
    return '"' + QString(s).replace("\"", "\"\"") + '"';
}

inline bool writeCsv(const QString& path) {
    QString text = columnNames().join(',') + "\r\n";
    for (const auto& r : rows())
        text += QStringList{csvField(r.name), QString::number(r.qty), QString::number(r.price),
                            r.day.toString(Qt::ISODate),
                            r.notes.isNull() ? QString() : csvField(r.notes.toString())}
                    .join(',') +
                "\r\n";
    return bd::test::writeFile(path, text.toUtf8());
}

inline QString xmlEscape(QString s) {
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace("\"", "&quot;");
}

// A workbook with members given by path; written with libzip.
inline bool writeZip(const QString& path, const QVector<QPair<QString, QByteArray>>& members) {
    int err = 0;
    zip_t* z = zip_open(path.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z) return false;
    for (const auto& [name, data] : members) {
        void* copy = malloc(size_t(data.size()));
        memcpy(copy, data.constData(), size_t(data.size()));
        zip_source_t* s = zip_source_buffer(z, copy, zip_uint64_t(data.size()), 1);
        if (zip_file_add(z, name.toUtf8().constData(), s, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(s);
            zip_discard(z);
            return false;
        }
    }
    return zip_close(z) == 0;
}

// Names as shared strings, notes as inline strings, days as numbers in a date style.
inline bool writeXlsx(const QString& path) {
    QStringList shared = columnNames();
    for (const auto& r : rows())
        shared << r.name;
    QString sst =
        R"(<?xml version="1.0" encoding="UTF-8"?><sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)";
    for (const auto& s : shared)
        sst += "<si><t>" + xmlEscape(s) + "</t></si>";
    sst += "</sst>";
    QString sheet =
        R"(<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)";
    sheet += R"(<row r="1">)";
    const char* cols = "ABCDE";
    for (int c = 0; c < 5; ++c)
        sheet += QStringLiteral(R"(<c r="%1" t="s"><v>%2</v></c>)").arg(QString(QChar(cols[c])) + "1").arg(c);
    sheet += "</row>";
    int i = 0;
    for (const auto& r : rows()) {
        const int n = i + 2;
        sheet += QStringLiteral(R"(<row r="%1"><c r="A%1" t="s"><v>%2</v></c><c r="B%1"><v>%3</v></c>)"
                                R"(<c r="C%1"><v>%4</v></c><c r="D%1" s="1"><v>%5</v></c>)")
                     .arg(n)
                     .arg(5 + i)
                     .arg(r.qty)
                     .arg(r.price)
                     .arg(oleDate(r.day));
        if (!r.notes.isNull())
            sheet += QStringLiteral(R"(<c r="E%1" t="inlineStr"><is><t>%2</t></is></c>)")
                         .arg(n)
                         .arg(xmlEscape(r.notes.toString()));
        sheet += "</row>";
        ++i;
    }
    sheet += "</sheetData></worksheet>";
    const QByteArray workbook =
        R"(<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets><sheet name="BdData" sheetId="1" r:id="rId1"/></sheets></workbook>)";
    const QByteArray rels =
        R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/></Relationships>)";
    const QByteArray styles =
        R"(<?xml version="1.0" encoding="UTF-8"?><styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><numFmts count="1"><numFmt numFmtId="164" formatCode="0.00&quot; kg&quot;"/></numFmts><cellStyleXfs count="1"><xf numFmtId="14"/></cellStyleXfs><cellXfs count="3"><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="164"/></cellXfs></styleSheet>)";
    return writeZip(
        path,
        {{"[Content_Types].xml",
          R"(<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>)"},
         {"xl/workbook.xml", workbook},
         {"xl/_rels/workbook.xml.rels", rels},
         {"xl/styles.xml", styles},
         {"xl/sharedStrings.xml", sst.toUtf8()},
         {"xl/worksheets/sheet1.xml", sheet.toUtf8()}});
}

// ---- servers ----

struct Server {
    QString host, user, password, db;
    int port = 0;
};

// The server the CI scripts started, or nullopt (and the test is skipped; outside CI only).
inline std::optional<Server> server(const char* prefix) {
    const QString p = QString::fromLatin1(prefix);
    Server s;
    s.host = qEnvironmentVariable(("BD_TEST_" + p + "_HOST").toLatin1());
    s.port = qEnvironmentVariableIntValue(("BD_TEST_" + p + "_PORT").toLatin1());
    s.user = qEnvironmentVariable(("BD_TEST_" + p + "_USER").toLatin1());
    s.password = qEnvironmentVariable(("BD_TEST_" + p + "_PASSWORD").toLatin1());
    s.db = qEnvironmentVariable(("BD_TEST_" + p + "_DB").toLatin1());
    if (s.host.isEmpty()) return std::nullopt;
    return s;
}

inline bool inCi() {
    return qEnvironmentVariable("CI") == "true";
}

// A connection of Qt's own driver to the server under the given name (removed by the caller).
inline QSqlDatabase addServerDatabase(const QString& driver, const Server& s, const QString& name) {
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, name);
    db.setHostName(s.host);
    db.setPort(s.port);
    db.setUserName(s.user);
    db.setPassword(s.password);
    db.setDatabaseName(s.db);
    return db;
}

// Creates the data set's table (mixed-case names) on a server through Qt's own driver.
inline QString createServerTable(const QString& driver, const Server& s, const QString& table) {
    const QString name = "bd-setup-" + table + driver;
    QString error;
    {
        QSqlDatabase db = addServerDatabase(driver, s, name);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            const bool my = driver == "QMYSQL";
            auto q = [&](const QString& id) { return my ? '`' + id + '`' : '"' + id + '"'; };
            QSqlQuery query(db);
            QStringList stmts = {
                "DROP VIEW IF EXISTS " + q(table + "View"), "DROP TABLE IF EXISTS " + q(table),
                QStringLiteral("CREATE TABLE %1 (%2 VARCHAR(50), %3 INTEGER, %4 DOUBLE PRECISION, %5 "
                               "DATE, %6 TEXT)")
                    .arg(q(table), q("Name"), q("Qty"), q("Price"), q("Day"), q("Notes")),
                "CREATE VIEW " + q(table + "View") + " AS SELECT " + q("Name") + " FROM " + q(table)};
            for (const QString& st : stmts)
                if (!query.exec(st)) error += query.lastError().text();
            query.prepare(QStringLiteral("INSERT INTO %1 VALUES (?, ?, ?, ?, ?)").arg(q(table)));
            for (const auto& r : rows()) {
                query.addBindValue(r.name);
                query.addBindValue(r.qty);
                query.addBindValue(r.price);
                query.addBindValue(r.day);
                query.addBindValue(r.notes.isNull() ? QVariant(QMetaType::fromType<QString>()) : r.notes);
                if (!query.exec()) error += query.lastError().text();
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

} // namespace bd::dbtest
