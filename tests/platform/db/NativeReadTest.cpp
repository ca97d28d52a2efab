// The servers' own client libraries read a result into the same columns as the generic reader does
// through Qt's drivers: type numbers, kinds, NULLs and values, type by type and at the edges.
#include "platform/dates/OleDate.h"
#include "platform/db/ColumnReader.h"
#include "platform/db/Connection.h"
#include "platform/db/DbTestData.h"
#include "platform/db/NativeColumns.h"
#include "platform/db/Session.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>
#include <functional>
#include <iomanip>

using namespace bd::db;
using namespace bd::dbtest;

namespace {

using NativeReader = std::function<bool(detail::Session&, const QString&, ColumnarResult&)>;

struct Case {
    const char* name;
    const char* prefix;   // test server variables
    const char* qtDriver; // for the setup
    const char* provider;
    NativeReader read;
    QStringList setup;   // after DROP TABLE; the table is bd_native_<name>
    QString unsupported; // a query whose column the native reader leaves to the generic one
};

QString table(const Case& c) {
    return QStringLiteral("bd_native_%1").arg(QString(c.name).toLower());
}

const QString kLong = QString(5000, QChar('x')) + QStringLiteral("é");
// Characters at the edges of each UTF-8 length, a combining mark, joined and paired emoji, and two
// characters whose Latin-1 bytes happen to be UTF-8 for a third.
const QString kEdges = QStringLiteral("\x7f"
                                      "\u0080\u07ff\u0800\ufffd\uffff\U00010000\U0010ffff"
                                      "e\u0301 \u00c3\u00a9");
const QString kEmoji =
    QStringLiteral("\U0001F469\u200D\U0001F469\u200D\U0001F467 \U0001F1EA\U0001F1F8 \u00c3\u00a9");
const QString kEdgeRow = "INSERT INTO T (id, vc, tx) VALUES (5, '" + kEdges + "', '" + kEmoji + "')";

const QStringList kMariaDbTable = {
    "CREATE TABLE T (id INT, ti TINYINT, tu TINYINT UNSIGNED, si SMALLINT, iu INT UNSIGNED, bi BIGINT, "
    "bu BIGINT UNSIGNED, yr YEAR, fl FLOAT, db DOUBLE, de DECIMAL(30,8), d DATE, dt DATETIME(6), "
    "ts TIMESTAMP(3) NULL, vc VARCHAR(40), ch CHAR(5), tx TEXT, en ENUM('a','b'))",
    "INSERT INTO T VALUES (1, 7, 200, -300, 4000000000, 9007199254740993, 18446744073709551615, 2024, "
    "0.1, 0.30000000000000004, -1234567890123.12345678, '2024-02-29', '1999-12-31 23:59:59.999999', "
    "'2001-02-03 04:05:06.789', 'Bruno \\tÑandú\\n\\\\ 😀', 'ab', '', 'b')",
    "INSERT INTO T VALUES (2, -128, 0, 32767, 0, -9223372036854775807 - 1, 0, 1901, 123.456, -1e300, 0, "
    "'0001-01-01', '1899-12-30 00:00:00.000999', NULL, '', '', 'tail', 'a')",
    "INSERT INTO T (id) VALUES (3)",
    "INSERT INTO T (id, tx) VALUES (4, '" + kLong + "')",
    kEdgeRow};

const QStringList kPostgresTable = {
    "CREATE TABLE T (id int, s smallint, i int, b bigint, o oid, f4 real, f8 double precision, "
    "n numeric(30,8), nb numeric, bo boolean, d date, ts timestamp(6), vc varchar(40), ch char(5), "
    "tx text, nm name)",
    "INSERT INTO T VALUES (1, -32768, 2147483647, 9007199254740993, 4000000000, 0.1, "
    "0.30000000000000004, -1234567890123.12345678, 12345678901234567890.123456789, true, "
    "'2024-02-29', '1999-12-31 23:59:59.999999', E'Bruno \\tÑandú\\n\\\\ 😀', 'ab', '', 'nm')",
    "INSERT INTO T VALUES (2, 0, -1, -9223372036854775808, 0, 123.456, -1e300, 0, 0.000001, false, "
    "'0001-01-01', '1899-12-30 00:00:00.000999', '', '', 'tail', '')",
    "INSERT INTO T (id) VALUES (3)",
    "INSERT INTO T (id, tx) VALUES (4, '" + kLong + "')",
    kEdgeRow};

const Case kCases[] = {
    {"MariaDB", "MYSQL", "QMYSQL", "Provider=MySQLProv;", detail::readMySqlColumns, kMariaDbTable,
     "SELECT id, CAST('10:11:12' AS TIME) AS t FROM T"},
    {"PostgreSQL", "PGSQL", "QPSQL", "Provider=PostgreSQL;", detail::readPostgresColumns, kPostgresTable,
     "SELECT id, now() - now() AS t FROM T"},
    {"MariaDBOdbc", "MYSQL", "QMYSQL", "Driver={MariaDB Unicode};", detail::readOdbcColumns, kMariaDbTable,
     "SELECT id, CAST('10:11:12' AS TIME) AS t FROM T"},
    {"PostgreSQLOdbc", "PGSQL", "QPSQL", "Provider=MSDASQL;Driver={PostgreSQL Unicode};",
     detail::readOdbcColumns, kPostgresTable, "SELECT id, CAST('ab' AS bytea) AS t FROM T"},
    // Options the user wrote: a character set that is not UTF-8 (texts then come as UTF-16), the
    // driver's own cursor switched off, and three rows a fetch from the cursor.
    {"MariaDBOdbcLatin1", "MYSQL", "QMYSQL", "Driver={MariaDB Unicode};CHARSET=latin1;",
     detail::readOdbcColumns, kMariaDbTable, "SELECT id, CAST('10:11:12' AS TIME) AS t FROM T"},
    {"PostgreSQLOdbcNoCursor", "PGSQL", "QPSQL",
     "Provider=MSDASQL;Driver={PostgreSQL Unicode};UseDeclareFetch=0;", detail::readOdbcColumns,
     kPostgresTable, "SELECT id, CAST('ab' AS bytea) AS t FROM T"},
    {"PostgreSQLOdbcFetch3", "PGSQL", "QPSQL", "Provider=MSDASQL;Driver={PostgreSQL Unicode};Fetch=3;",
     detail::readOdbcColumns, kPostgresTable, "SELECT id, CAST('ab' AS bytea) AS t FROM T"},
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

// The generic reader's date number: the date and the milliseconds of its time of day.
double oleOf(const QVariant& v) {
    const QDateTime dt =
        v.metaType().id() == QMetaType::QDate ? QDateTime(v.toDate(), QTime(0, 0)) : v.toDateTime();
    return bd::dates::civilToOle(dt.date().year(), dt.date().month(), dt.date().day(), 0, 0,
                                 dt.time().msecsSinceStartOfDay() / 1000.0);
}

// Runs statements through Qt's own driver for the server: "" or what failed.
QString runOn(const Server& s, const char* qtDriver, const QStringList& statements) {
    const QString name = QStringLiteral("bd-native-setup");
    QString error;
    {
        QSqlDatabase db = addServerDatabase(qtDriver, s, name);
        if (!db.open()) return db.lastError().text();
        QSqlQuery q(db);
        for (const QString& st : statements)
            if (!q.exec(st)) error += st + ": " + q.lastError().text() + "\n";
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

QString connectionString(const Server& s, const QString& provider) {
    return QStringLiteral("%1Server=%2;Port=%3;Database=%4;User ID=%5;Password=%6")
        .arg(provider, s.host)
        .arg(s.port)
        .arg(s.db, s.user, s.password);
}

class NativeRead : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        const auto s = server(GetParam().prefix);
        if (!s) {
            if (inCi()) FAIL() << "CI must provide the test servers";
            GTEST_SKIP() << "no " << GetParam().prefix << " test server";
        }
        const QString t = table(GetParam());
        QStringList setup = {"DROP TABLE IF EXISTS " + t};
        for (QString st : GetParam().setup)
            setup << st.replace(QRegularExpression("\\bT\\b"), t);
        const QString failed = runOn(*s, GetParam().qtDriver, setup);
        ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
        cs = connectionString(*s, GetParam().provider);
        QString error;
        ASSERT_TRUE(c.open(cs, 10, &error)) << error.toStdString();
    }
    // The case's query with its table's name.
    QString unsupported() const {
        return QString(GetParam().unsupported).replace(QRegularExpression("\\bT\\b"), table(GetParam()));
    }
    QString cs;
    Connection c;
};

TEST_P(NativeRead, EveryTypeAgreesWithTheGenericReader) {
    const QString sql = "SELECT * FROM " + table(GetParam()) + " ORDER BY id";
    ColumnarResult native;
    ASSERT_TRUE(GetParam().read(*c.session(), sql, native));
    EXPECT_EQ(c.session()->readOnlyDepth, 0); // the read-only transaction ended with the read

    Recordset rs;
    QString error;
    ASSERT_TRUE(rs.open(sql, c, &error)) << error.toStdString();
    ASSERT_EQ(int(native.columns.size()), rs.fieldCount());
    size_t row = 0;
    for (; !rs.eof(); rs.moveNext(), ++row) {
        ASSERT_LT(row, native.rowCount);
        for (int i = 0; i < rs.fieldCount(); ++i) {
            const ColumnData& col = native.columns[size_t(i)];
            const Field& f = rs.field(i);
            SCOPED_TRACE(f.name.toStdString() + " row " + std::to_string(row));
            EXPECT_EQ(QString::fromStdString(col.name), f.name);
            EXPECT_EQ(col.adoType, f.type);
            EXPECT_EQ(col.kind, columnKindOf(f.type));
            ASSERT_EQ(col.isNull(row), f.isNull());
            if (f.isNull()) continue;
            switch (col.kind) {
            case ColumnKind::Integer:
            case ColumnKind::Boolean:
                // Qt's ODBC driver reads a tiny integer as an unsigned one (-128 as 4294967168).
                if (f.type == ado::TinyInt && f.value.toLongLong() > 255)
                    EXPECT_EQ(col.ints[row], int8_t(f.value.toLongLong()));
                else
                    EXPECT_EQ(col.ints[row], f.value.toLongLong());
                break;
            case ColumnKind::Real:
                EXPECT_EQ(col.reals[row], f.value.toDouble())
                    << std::setprecision(17) << col.reals[row] << " " << f.value.toDouble();
                break;
            case ColumnKind::DateTime:
                EXPECT_EQ(col.reals[row], oleOf(f.value)) << f.value.toString().toStdString();
                break;
            case ColumnKind::Text:
                EXPECT_EQ(col.dict[col.codes[row]], f.value.toString().toUtf8().toStdString());
                break;
            }
        }
    }
    EXPECT_EQ(row, native.rowCount);
    EXPECT_EQ(row, size_t(GetParam().setup.size() - 1));

    // The column reader takes the same road and gives the same columns.
    ColumnarResult viaReader;
    ASSERT_TRUE(readColumns(cs, sql, viaReader, &error)) << error.toStdString();
    EXPECT_EQ(viaReader.rowCount, native.rowCount);
    for (size_t i = 0; i < native.columns.size(); ++i) {
        EXPECT_EQ(viaReader.columns[i].ints, native.columns[i].ints);
        EXPECT_EQ(viaReader.columns[i].dict, native.columns[i].dict);
    }
}

TEST_P(NativeRead, OtherTypesAndFailuresAreLeftToTheGenericReader) {
    ColumnarResult out;
    // A type of its own: nothing is read natively, and the column reader still reads it.
    EXPECT_FALSE(GetParam().read(*c.session(), unsupported(), out));
    EXPECT_EQ(out.columns.size(), 0u);
    QString error;
    ASSERT_TRUE(readColumns(cs, unsupported(), out, &error)) << error.toStdString();
    EXPECT_EQ(out.rowCount, size_t(GetParam().setup.size() - 1));
    // Texts longer than a bound ODBC array holds, with a column after them: read whole, whichever reader
    // takes them.
    for (const int n : {9000, 40000}) {
        ASSERT_TRUE(readColumns(cs,
                                QStringLiteral("SELECT id, repeat('x', %1) AS t, id AS k FROM %2 ORDER BY id")
                                    .arg(n)
                                    .arg(table(GetParam())),
                                out, &error))
            << error.toStdString();
        ASSERT_EQ(out.columns.size(), 3u);
        EXPECT_EQ(out.columns[1].dict, std::vector<std::string>{std::string(size_t(n), 'x')});
        EXPECT_EQ(out.columns[2].ints, out.columns[0].ints);
    }
    // A query the server refuses, one that would write, a second statement: the generic reader
    // reports them in its own words.
    for (const QString& bad :
         {QStringLiteral("SELECT nosuchcolumn FROM ") + table(GetParam()),
          QStringLiteral("DELETE FROM ") + table(GetParam()), QStringLiteral("SELECT 1; SELECT 2")}) {
        EXPECT_FALSE(GetParam().read(*c.session(), bad, out)) << bad.toStdString();
        EXPECT_FALSE(readColumns(cs, bad, out, &error)) << bad.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(c.session()->readOnlyDepth, 0);
    // The connection is still good for the next query.
    EXPECT_TRUE(GetParam().read(*c.session(), "SELECT id FROM " + table(GetParam()), out));
    EXPECT_EQ(out.rowCount, size_t(GetParam().setup.size() - 1));
}

INSTANTIATE_TEST_SUITE_P(Servers, NativeRead, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The ODBC reader takes texts as the driver's narrow bytes only where those are UTF-8: not where the
// user's string sets a character set that is not. (MariaDB's three-byte utf8 is UTF-8 for what it holds.)
TEST(ServersOdbcText, NarrowOnlyWhereTheDriverGivesUtf8) {
    const struct {
        const char* prefix;
        const char* provider;
        bool utf8;
    } cases[] = {
        {"MYSQL", "Driver={MariaDB Unicode};", true},
        {"MYSQL", "Driver={MariaDB Unicode};CHARSET=latin1;", false},
        {"MYSQL", "Driver={MariaDB Unicode};CHARSET=utf8;", true},
        {"PGSQL", "Provider=MSDASQL;Driver={PostgreSQL Unicode};", true},
    };
    int tried = 0;
    for (const auto& k : cases) {
        const auto s = server(k.prefix);
        if (!s) continue;
        ++tried;
        Connection c;
        QString error;
        ASSERT_TRUE(c.open(connectionString(*s, k.provider), 10, &error)) << error.toStdString();
        EXPECT_EQ(detail::odbcNarrowTextIsUtf8(*c.session()), k.utf8) << k.provider;
    }
    if (tried == 0) GTEST_SKIP() << "no test server";
}

// Bytes that are not UTF-8 (a Latin-1 column sent without conversion) are left to the generic reader.
TEST(ServersOdbcText, BytesThatAreNotUtf8GoToTheGenericReader) {
    const auto s = server("MYSQL");
    if (!s) GTEST_SKIP() << "no MYSQL test server";
    const QString failed =
        runOn(*s, "QMYSQL",
              {"DROP TABLE IF EXISTS bd_native_latin1",
               "CREATE TABLE bd_native_latin1 (id INT, t VARCHAR(10) CHARACTER SET latin1)",
               "INSERT INTO bd_native_latin1 VALUES (1, 'plain'), (2, 'caf\u00e9')"});
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
    Connection c;
    QString error;
    ASSERT_TRUE(
        c.open(connectionString(*s, "Driver={MariaDB Unicode};INITSTMT={SET character_set_results=NULL};"),
               10, &error))
        << error.toStdString();
    ASSERT_TRUE(detail::odbcNarrowTextIsUtf8(*c.session())); // the literal comes back in the connection's set
    ColumnarResult out;
    EXPECT_TRUE(detail::readOdbcColumns(*c.session(), "SELECT t FROM bd_native_latin1 WHERE id = 1", out));
    EXPECT_FALSE(detail::readOdbcColumns(*c.session(), "SELECT t FROM bd_native_latin1 ORDER BY id", out));
    EXPECT_EQ(out.columns.size(), 0u);
    EXPECT_EQ(c.session()->readOnlyDepth, 0);
}

// The PostgreSQL driver reads through a cursor of its own for the ODBC reader, unless the user's string
// chooses; either way the connection is left as the user's string made it.
TEST(ServersOdbcCursor, PostgresReadsThroughACursorOnlyForTheReader) {
    const auto s = server("PGSQL");
    if (!s) GTEST_SKIP() << "no PGSQL test server";
    const QString failed =
        runOn(*s, "QPSQL",
              {"DROP TABLE IF EXISTS bd_native_cursor", "CREATE TABLE bd_native_cursor (id int)",
               "INSERT INTO bd_native_cursor SELECT generate_series(1, 5)"});
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
    // A query that counts the open cursors sees its own when it runs through one.
    const QString cursors = QStringLiteral("SELECT (SELECT count(*) FROM pg_cursors) AS n");
    const struct {
        const char* options;
        bool readerCursor, ownCursor; // for the ODBC reader; for the program's other queries
    } cases[] = {
        {"", true, false},
        {"UseDeclareFetch=0;", false, false},
        {"UseDeclareFetch=1;", true, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.options);
        Connection c;
        QString error;
        ASSERT_TRUE(c.open(
            connectionString(*s, QStringLiteral("Provider=MSDASQL;Driver={PostgreSQL Unicode};") + k.options),
            10, &error))
            << error.toStdString();
        ColumnarResult out;
        ASSERT_TRUE(detail::readOdbcColumns(*c.session(), cursors, out));
        ASSERT_EQ(out.rowCount, 1u);
        EXPECT_EQ(out.columns[0].ints[0] > 0, k.readerCursor);
        Recordset rs;
        ASSERT_TRUE(rs.open(cursors, c, &error)) << error.toStdString();
        EXPECT_EQ(rs.field(0).value.toLongLong() > 0, k.ownCursor);
    }
    // A failure in a later block of the cursor: nothing is kept, the generic reader reports it, and the
    // connection reads again.
    Connection c;
    QString error;
    const QString cs = connectionString(*s, "Provider=MSDASQL;Driver={PostgreSQL Unicode};Fetch=2;");
    ASSERT_TRUE(c.open(cs, 10, &error)) << error.toStdString();
    const QString late = "SELECT id, 1 / (id - 4) AS q FROM bd_native_cursor ORDER BY id";
    ColumnarResult out;
    EXPECT_FALSE(detail::readOdbcColumns(*c.session(), late, out));
    EXPECT_EQ(out.columns.size(), 0u);
    EXPECT_FALSE(readColumns(cs, late, out, &error));
    EXPECT_TRUE(error.contains("division by zero")) << error.toStdString();
    EXPECT_EQ(c.session()->readOnlyDepth, 0);
    ASSERT_TRUE(detail::readOdbcColumns(*c.session(), "SELECT id FROM bd_native_cursor ORDER BY id", out));
    EXPECT_EQ(out.columns[0].ints, (std::vector<int64_t>{1, 2, 3, 4, 5}));
}

// A data source that sets the driver's cursor either way is followed.
TEST(ServersOdbcCursor, ADataSourceThatChoosesIsFollowed) {
    const auto s = server("PGSQL");
    if (!s) GTEST_SKIP() << "no PGSQL test server";
    // The driver manager reads where the user's data sources are once, at its first call.
    QTemporaryDir dir;
    const QString ini = dir.filePath("odbc.ini");
    QString sources;
    for (const char* k : {"bdpgplain", "bdpgnocursor"})
        sources += QStringLiteral("[%1]\nDriver=PostgreSQL Unicode\nServername=%2\nPort=%3\nDatabase=%4\n%5")
                       .arg(k, s->host)
                       .arg(s->port)
                       .arg(s->db, qstrcmp(k, "bdpgnocursor") == 0 ? "UseDeclareFetch=0\n" : "");
    ASSERT_TRUE(bd::test::writeFile(ini, sources.toUtf8()));
    const QByteArray old = qgetenv("ODBCINI");
    qputenv("ODBCINI", ini.toLocal8Bit());
    if (!odbcDataSourceNames().contains("bdpgnocursor"))
        GTEST_SKIP() << "the driver manager read its files before";
    for (const auto& [dsn, cursor] : {std::pair{"bdpgplain", true}, std::pair{"bdpgnocursor", false}}) {
        SCOPED_TRACE(dsn);
        Connection c;
        QString error;
        ASSERT_TRUE(
            c.open(QStringLiteral("Provider=MSDASQL;DSN=%1;UID=%2;PWD=%3").arg(dsn, s->user, s->password), 10,
                   &error))
            << error.toStdString();
        ColumnarResult out;
        ASSERT_TRUE(detail::readOdbcColumns(
            *c.session(), QStringLiteral("SELECT (SELECT count(*) FROM pg_cursors) AS n"), out));
        EXPECT_EQ(out.columns[0].ints.at(0) > 0, cursor);
    }
    qputenv("ODBCINI", old);
}

// Well-formed UTF-8 only, as Qt's decoder sees it: every one- and two-byte string, every three-byte
// string, and the four-byte edges, each alone and after a run of ASCII that the check skips in words.
TEST(Utf8Check, AgreesWithQtsDecoder) {
    auto qtValid = [](const std::string& b) { // after a letter: Qt drops a leading byte order mark
        const std::string t = "a" + b;
        return QString::fromUtf8(t.data(), qsizetype(t.size())).toUtf8().toStdString() == t;
    };
    auto check = [&](const std::string& b) {
        for (const std::string& lead :
             {std::string(), std::string("abcdefg"), std::string("abcdefghijklmno")}) {
            const std::string t = lead + b;
            if (detail::isUtf8(t.data(), t.size()) != qtValid(t)) {
                ADD_FAILURE() << "bytes " << QByteArray::fromStdString(b).toHex(' ').toStdString();
                return false;
            }
        }
        return true;
    };
    for (int a = 0; a < 256; ++a) {
        if (!check(std::string(1, char(a)))) return;
        for (int b = 0; b < 256; ++b) {
            if (!check({char(a), char(b)})) return;
            if (a >= 0xE0 && a <= 0xEF)
                for (int c = 0; c < 256; ++c)
                    if (!check({char(a), char(b), char(c)})) return;
        }
    }
    for (const char* edge :
         {"\xF0\x90\x80\x80", "\xF0\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",
          "\xF0\x9F\x98\x80", "\xF0\x9F\x98", "\xF0\x9F\x98\x80\x80", "\xF0\x9F\x28\x80", "\xF3\xBF\xBF\xBF"})
        check(edge);
    EXPECT_TRUE(detail::isUtf8("", 0));
}

} // namespace
