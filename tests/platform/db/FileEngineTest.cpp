// Desktop files imported into SQLite: the shared desktop-database fixtures, SQL dialect, read-only
// imports, the cache and the columnar reader's treatment of values.
#include "platform/db/ColumnReader.h"
#include "platform/db/Connection.h"
#include "platform/db/DbTestData.h"
#include "platform/db/FileImport.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

using namespace bd::db;
using namespace bd::dbtest;

namespace {
QString desktopDb(const QString& name) {
    return bd::test::sharedDir() + "/fixtures/desktop-db/" + name;
}

QVector<QVariantList> allRows(Connection& c, const QString& sql, QVector<Field>* fields = nullptr) {
    Recordset rs;
    QString error;
    EXPECT_TRUE(rs.open(sql, c, &error)) << error.toStdString();
    if (fields) *fields = rs.fields();
    QVector<QVariantList> out;
    for (; !rs.eof(); rs.moveNext()) {
        QVariantList r;
        for (const auto& f : rs.fields())
            r << f.value;
        out << r;
    }
    return out;
}
} // namespace

TEST(FileEngine, AccessMdbFixture) {
    const QString f = desktopDb("users.mdb");
    if (!QFileInfo::exists(f)) GTEST_SKIP() << "no shared fixture " << f.toStdString();
    Connection c;
    QString error;
    ASSERT_TRUE(c.open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + f, 10, &error))
        << error.toStdString();
    const QStringList tables = c.tables();
    for (const char* t : {"Users", "Colors", "Dictionary", "Colors Table Two", "Colors-Table Others"})
        EXPECT_TRUE(tables.contains(t)) << t;
    QVector<Field> fields;
    const auto rows =
        allRows(c, "SELECT * FROM [Users] WHERE UserBirthday >= #1/1/1976# ORDER BY UserID", &fields);
    EXPECT_EQ(rows.size(), 7);
    QStringList names, types;
    for (const auto& x : fields)
        names << x.name, types << QString::number(x.type);
    EXPECT_EQ(names, QStringList({"UserID", "UserName", "UserSex", "UserBirthday", "UserTelephone",
                                  "UserValue", "UserCategory"}));
    EXPECT_EQ(types, QStringList({"3", "200", "200", "7", "200", "3", "200"}));
    for (const auto& r : rows) {
        EXPECT_TRUE(r[3].toDate().year() >= 1976 && r[3].toDate().year() <= 2002)
            << r[3].toString().toStdString();
    }
    bool accented = false;
    for (const auto& r : rows)
        for (const QChar ch : r[1].toString())
            accented = accented || ch.unicode() > 127;
    EXPECT_TRUE(accented);
    // Names with blanks and hyphens work in brackets.
    EXPECT_FALSE(allRows(c, "SELECT * FROM [Colors-Table Others]").isEmpty());
}

TEST(FileEngine, AccessAccdbFixtureTypes) {
    const QString f = desktopDb("types2010.accdb");
    if (!QFileInfo::exists(f)) GTEST_SKIP() << "no shared fixture " << f.toStdString();
    Connection c;
    QString error;
    ASSERT_TRUE(c.open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + f, 10, &error))
        << error.toStdString();
    QVector<Field> fields;
    const auto rows = allRows(c, "SELECT * FROM Table1", &fields);
    EXPECT_EQ(rows.size(), 2);
    QStringList got;
    for (const auto& x : fields)
        got << x.name + ":" + QString::number(x.type);
    // Text, Byte, Integer, Long, Double, DateTime, Currency, Boolean.
    EXPECT_EQ(got, QStringList({"A:200", "B:200", "C:17", "D:2", "E:3", "F:5", "G:7", "H:6", "I:11"}));
    EXPECT_EQ(c.columns("Table2").size(), 89);
    EXPECT_TRUE(allRows(c, "SELECT * FROM Table4").isEmpty());
}

TEST(FileEngine, DesktopDateLiteralsBecomeIsoTexts) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"d >= #2024-01-31#", "d >= '2024-01-31'"},
        {"d < #12/31/1999 13:05:00#", "d < '1999-12-31 13:05:00'"},
        {"d = #31/12/1999#", "d = '1999-12-31'"},           // cannot be month first
        {"d = #1/2/2003 12:00:00 AM#", "d = '2003-01-02'"}, // midnight is the plain date
        {"s = '#1/2/2003#' AND [a#1/2/2003#b] = 1", "s = '#1/2/2003#' AND [a#1/2/2003#b] = 1"},
        {"x = #not a date# OR n#", "x = #not a date# OR n#"},
    };
    for (const auto& k : cases)
        EXPECT_EQ(desktopSqlToSqlite(k.in), QString(k.out)) << k.in;
}

TEST(FileEngine, ImportsAreReadOnlyAndFollowFileChanges) {
    QTemporaryDir dir;
    const QString csv = dir.path() + "/Sales.csv";
    ASSERT_TRUE(bd::test::writeFile(csv, "Region;Amount\r\nNorth;1\r\nSouth;2\r\n"));
    const QString cs = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dir.path() +
                       "/SALES.CSV;Extended Properties=\"text;HDR=Yes;FMT=Delimited(;)\"";
    Connection c;
    QString error;
    ASSERT_TRUE(c.open(cs, 10, &error)) << error.toStdString(); // letter case of the name does not matter
    EXPECT_EQ(allRows(c, "SELECT SUM(Amount) FROM [Sales.csv]")[0][0].toLongLong(), 3);
    Recordset rs;
    EXPECT_FALSE(rs.open("DELETE FROM [Sales.csv]", c, &error));
    EXPECT_EQ(error, "The query may only read data: writing data is not allowed.");

    // A changed file (size and time) is imported again; an open connection keeps its own snapshot.
    QThread::msleep(20);
    ASSERT_TRUE(bd::test::writeFile(csv, "Region;Amount\r\nNorth;10\r\nSouth;20\r\nEast;30\r\n"));
    Connection again;
    ASSERT_TRUE(again.open(cs, 10, &error)) << error.toStdString();
    EXPECT_EQ(allRows(again, "SELECT SUM(Amount) FROM [Sales.csv]")[0][0].toLongLong(), 60);
    EXPECT_EQ(allRows(c, "SELECT SUM(Amount) FROM [Sales.csv]")[0][0].toLongLong(), 3);
}

TEST(FileEngine, HeaderlessSheetsGetNumberedColumnsAndMixedColumnsStayText) {
    QTemporaryDir dir;
    const QString csv = dir.path() + "/m.csv";
    ASSERT_TRUE(bd::test::writeFile(csv, "1,a,2024-02-01\n2,7,2024-02-02 10:30:00\n\"3\",,\n"));
    Connection c;
    QString error;
    ASSERT_TRUE(c.open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + csv +
                           ";Extended Properties=\"text;HDR=NO\"",
                       10, &error))
        << error.toStdString();
    QVector<Field> f;
    const auto rows = allRows(c, "SELECT * FROM [m.csv] WHERE F3 > #2/1/2024# OR F3 IS NULL", &f);
    ASSERT_EQ(f.size(), 3);
    EXPECT_EQ(f[0].name, "F1");
    EXPECT_EQ(f[0].type, 3); // a quoted "3" is typed by its content like any other field
    EXPECT_EQ(f[1].type, 200);
    EXPECT_EQ(f[2].type, 7);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0][1].toString(), "7");
    EXPECT_EQ(rows[0][2].toDateTime(), QDateTime(QDate(2024, 2, 2), QTime(10, 30)));
}

TEST(FileEngine, MissingAndBrokenFilesSayWhy) {
    QTemporaryDir dir;
    bd::test::writeFile(dir.path() + "/bad.xlsx", "not a zip");
    bd::test::writeFile(dir.path() + "/bad.db", QByteArray(4096, 'z'));
    const struct {
        QString cs;
        QString says;
    } cases[] = {
        {"Provider=SQLite;Data Source=" + dir.path() + "/none.db", "does not exist"},
        {"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + dir.path() + "/none.xlsx", "does not exist"},
        {"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + dir.path() + "/bad.xlsx", "cannot be read"},
        {"Provider=SQLite;Data Source=" + dir.path() + "/bad.db", "cannot be read as a database"},
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dir.path() + "/bad.mdb", "does not exist"},
    };
    for (const auto& k : cases) {
        Connection c;
        QString error;
        EXPECT_FALSE(c.open(k.cs, 10, &error)) << k.cs.toStdString();
        EXPECT_TRUE(error.contains(k.says)) << error.toStdString();
        EXPECT_FALSE(c.isOpen());
    }
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/none.db")); // opening never creates a database
}

TEST(FileEngine, ColumnarReaderEncodesTextsAndKeepsNulls) {
    QTemporaryDir dir;
    const QString db = dir.path() + "/c.db";
    sqlite3* h = nullptr;
    ASSERT_EQ(sqlite3_open(db.toUtf8().constData(), &h), SQLITE_OK);
    sqlite3_exec(h,
                 "CREATE TABLE t (k TEXT, n INTEGER, d DATETIME, b BOOLEAN);"
                 "INSERT INTO t VALUES ('x', 1, '2000-01-01 12:00:00', 1), (NULL, 2, NULL, 0),"
                 "('y', 3, '1899-12-30', 0), ('x', NULL, '2000-01-02', 1);",
                 nullptr, nullptr, nullptr);
    sqlite3_close(h);
    ColumnarResult r;
    QString error;
    ASSERT_TRUE(readColumns("Data Source=" + db,
                            "SELECT k, n, d, b, n * 1.5 AS half, NULL AS blank, COUNT(*) OVER () AS c FROM t",
                            r, &error))
        << error.toStdString();
    ASSERT_EQ(r.rowCount, 4u);
    const auto& k = r.columns[0];
    EXPECT_EQ(k.dict, (std::vector<std::string>{"x", "y"})); // a NULL is no empty text
    EXPECT_EQ(k.codes, (std::vector<uint32_t>{0, 2, 1, 0})); // it is coded one past the texts
    EXPECT_TRUE(k.isNull(1));
    EXPECT_FALSE(k.isNull(0));
    EXPECT_TRUE(r.columns[1].isNull(3));
    EXPECT_EQ(r.columns[2].kind, ColumnKind::DateTime);
    EXPECT_EQ(r.columns[2].adoType, 135);
    EXPECT_DOUBLE_EQ(r.columns[2].reals[0], 36526.5);
    EXPECT_DOUBLE_EQ(r.columns[2].reals[2], 0.0);
    EXPECT_EQ(r.columns[3].kind, ColumnKind::Boolean);
    EXPECT_EQ(r.columns[3].adoType, 11);
    // Expression columns take their kind from their values; NULLs before the first value stay NULL.
    EXPECT_EQ(r.columns[4].kind, ColumnKind::Real);
    EXPECT_DOUBLE_EQ(r.columns[4].reals[1], 3.0);
    EXPECT_TRUE(r.columns[4].isNull(3));
    EXPECT_EQ(r.columns[5].kind, ColumnKind::Text);
    EXPECT_EQ(r.columns[6].kind, ColumnKind::Integer);
    EXPECT_EQ(r.columns[6].ints[0], 4);

    EXPECT_FALSE(readColumns("Data Source=" + db, "SELECT nope FROM t", r, &error));
    EXPECT_TRUE(error.contains("nope")) << error.toStdString();
}

TEST(FileEngine, LargeTableScansSplitOverThreadsGiveTheSerialResult) {
    QTemporaryDir dir;
    const QString db = dir.path() + "/big.db";
    sqlite3* h = nullptr;
    ASSERT_EQ(sqlite3_open(db.toUtf8().constData(), &h), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(h,
                     "CREATE TABLE t (id INTEGER PRIMARY KEY, k TEXT, r REAL, d DATE);"
                     "INSERT INTO t WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < "
                     "2100000) SELECT x, CASE WHEN x % 700001 = 0 THEN NULL ELSE 'k' || (x * 31 % 997) END,"
                     " x / 4.0, date('2000-01-01', '+' || (x % 5000) || ' days') FROM c;",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(h);
    // ORDER BY keeps a query from being split: the serial reading in the same order.
    const struct {
        const char* sql;
        size_t rows;
    } queries[] = {{"SELECT * FROM t", 2100000},
                   {"SELECT * FROM t WHERE r >= 1000 AND k <> 'k5 ORDER'", 2096000}};
    ColumnarResult split, serial;
    for (const auto& q : queries) {
        QString error;
        ASSERT_TRUE(readColumns("Data Source=" + db, q.sql, split, &error)) << error.toStdString();
        ASSERT_TRUE(readColumns("Data Source=" + db, QString(q.sql) + " ORDER BY id", serial, &error))
            << error.toStdString();
        EXPECT_GE(split.rowCount, q.rows - 3000) << q.sql;
        ASSERT_EQ(split.rowCount, serial.rowCount);
        for (size_t i = 0; i < 4; ++i) {
            const auto& a = split.columns[i];
            const auto& b = serial.columns[i];
            EXPECT_EQ(a.name, b.name);
            EXPECT_EQ(a.kind, b.kind);
            EXPECT_EQ(a.adoType, b.adoType);
            EXPECT_TRUE(a.nulls == b.nulls) << a.name;
            EXPECT_TRUE(a.ints == b.ints) << a.name;
            EXPECT_TRUE(a.reals == b.reals) << a.name;
            EXPECT_TRUE(a.codes == b.codes) << a.name;
            EXPECT_TRUE(a.dict == b.dict) << a.name;
        }
    }
    QString error;
    ASSERT_TRUE(readColumns("Data Source=" + db, "SELECT * FROM t", split, &error));
    EXPECT_TRUE(split.columns[1].isNull(700000));
    EXPECT_EQ(split.columns[1].dict.size(), 997u); // 997 keys; a NULL takes no text's code
    EXPECT_EQ(split.columns[1].codes[700000], 997u);
}

TEST(FileEngine, SchemaListsAndDistinctValues) {
    QTemporaryDir dir;
    ASSERT_TRUE(writeSqlite(dir.path() + "/s.db", true));
    Connection c;
    QString error;
    ASSERT_TRUE(c.open("Provider=SQLite;Data Source=" + dir.path() + "/s.db", 10, &error))
        << error.toStdString();
    EXPECT_EQ(c.tables(), QStringList({"BdData"}));
    EXPECT_EQ(c.views(), QStringList({"BigOnes"}));
    const auto cols = c.columns("BigOnes");
    ASSERT_EQ(cols.size(), 2);
    EXPECT_EQ(cols[1].name, "Qty");
    EXPECT_EQ(cols[1].type, 3);
    EXPECT_EQ(c.distinctValues("BdData", "Notes").size(), 2); // NULL is no value
    EXPECT_EQ(c.distinctValues("BdData", "Name"), QVariantList({"Ana", "Bruno Ñandú", "Cé"}));
    EXPECT_TRUE(c.distinctValues("BdData", "Nope", &error).isEmpty());
    EXPECT_TRUE(error.contains("Nope")) << error.toStdString();

    // A recordset outlives the connection it was opened on.
    Recordset rs;
    ASSERT_TRUE(rs.open("SELECT Qty FROM BdData ORDER BY Qty", c, &error));
    c.close();
    EXPECT_EQ(rs.value(0).toLongLong(), -7);
    EXPECT_TRUE(rs.moveNext());
    EXPECT_EQ(rs.value(0).toLongLong(), 3);
    EXPECT_FALSE(rs.open("SELECT 1", c, &error));
    EXPECT_EQ(error, "The connection is not open.");
}

TEST(FileEngine, XlsxCellFormsAndHeaders) {
    QTemporaryDir dir;
    const QString f = dir.path() + "/forms.xlsx";
    const QByteArray ns = R"(xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";
    const QByteArray sheet = "<worksheet " + ns + R"(><sheetData>
<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>0</v></c><c r="D1" t="inlineStr"><is><t>When</t></is></c><c r="E1" t="s"><v>1</v></c></row>
<row r="2"><c r="A2" t="s"><v>2</v></c><c r="B2"><f>1+1</f><v>2</v></c><c r="C2" t="b"><v>1</v></c><c r="D2" s="1"><v>0.5</v></c><c r="E2" t="e"><v>#DIV/0!</v></c></row>
<row r="4"><c r="A4" t="str"><f>"a"&amp;"b"</f><v>ab</v></c><c r="B4"><v>2.5</v></c><c r="C4" t="b"><v>0</v></c><c r="D4" s="1"><v>1</v></c></row>
</sheetData></worksheet>)";
    const QByteArray sst =
        "<sst " + ns +
        R"(><si><t>Key</t></si><si><r><rPr><b/></rPr><t>Sum</t></r><r><t>med</t></r><rPh><t>IGNORED</t></rPh></si><si><t xml:space="preserve"> x </t></si></sst>)";
    const QByteArray styles =
        "<styleSheet " + ns +
        R"(><numFmts><numFmt numFmtId="170" formatCode="[$-409]d\-mmm\-yyyy;@"/></numFmts><cellXfs><xf numFmtId="0"/><xf numFmtId="170"/></cellXfs></styleSheet>)";
    const QByteArray workbook =
        "<workbook " + ns +
        R"( xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><workbookPr date1904="1"/><sheets><sheet name="Data Sheet" sheetId="7" r:id="rId3"/></sheets></workbook>)";
    const QByteArray rels =
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId3" Target="/xl/worksheets/data.xml"/></Relationships>)";
    ASSERT_TRUE(writeZip(f, {{"xl/workbook.xml", workbook},
                             {"xl/_rels/workbook.xml.rels", rels},
                             {"xl/sharedStrings.xml", sst},
                             {"xl/styles.xml", styles},
                             {"xl/worksheets/data.xml", sheet}}));
    Connection c;
    QString error;
    ASSERT_TRUE(c.open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + f, 10, &error))
        << error.toStdString();
    EXPECT_EQ(c.tables(), QStringList({"Data Sheet$"}));
    QVector<Field> fields;
    const auto rows = allRows(c, "SELECT * FROM [Data Sheet$]", &fields);
    QStringList got;
    for (const auto& x : fields)
        got << x.name + ":" + QString::number(x.type);
    // A repeated name gets a number, an empty one its position.
    EXPECT_EQ(got, QStringList({"Key:200", "Key1:5", "F3:11", "When:7", "Summed:200"}));
    ASSERT_EQ(rows.size(), 3); // the empty row 3 stays a row of NULLs
    EXPECT_EQ(rows[0][0].toString(), " x ");
    EXPECT_EQ(rows[0][1].toDouble(), 2.0);
    EXPECT_EQ(rows[0][2].toBool(), true);
    EXPECT_EQ(rows[0][3].toDateTime(), QDateTime(QDate(1904, 1, 1), QTime(12, 0)));
    EXPECT_TRUE(rows[0][4].isNull()); // an error value is no value
    EXPECT_TRUE(rows[1][0].isNull());
    EXPECT_EQ(rows[2][0].toString(), "ab");
    EXPECT_EQ(rows[2][3].toDate(), QDate(1904, 1, 2));
}
