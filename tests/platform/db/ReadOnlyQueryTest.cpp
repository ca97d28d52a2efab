// A cube's SQL runs as one read-only statement on every engine: what would write, attach, vacuum,
// load code or run a second statement is refused with a message, and nothing changes.
#include "platform/db/ColumnReader.h"
#include "platform/db/Connection.h"
#include "platform/db/DbTestData.h"
#include "platform/db/SqlText.h"

#include <QFileInfo>
#include <QTemporaryDir>

using namespace bd::db;
using namespace bd::dbtest;

namespace {

// Runs sql through both readers; "" when both read it, else the recordset's reason.
QString refusal(Connection& c, const QString& cs, const QString& sql, int* rows = nullptr) {
    Recordset rs;
    QString error;
    if (!rs.open(sql, c, &error)) return error.isEmpty() ? QStringLiteral("(no reason)") : error;
    int n = 0;
    for (; !rs.eof(); rs.moveNext())
        ++n;
    if (rows) *rows = n;
    ColumnarResult cols;
    QString colError;
    if (!readColumns(cs, sql, cols, &colError)) return "columnar: " + colError;
    return {};
}

QString columnarRefusal(const QString& cs, const QString& sql) {
    ColumnarResult cols;
    QString error;
    return readColumns(cs, sql, cols, &error) ? QString() : error;
}

} // namespace

TEST(ReadOnlyQuery, SqliteRefusesWhatWouldWriteAttachOrLoad) {
    QTemporaryDir dir;
    const QString file = dir.filePath("data.db");
    ASSERT_TRUE(writeSqlite(file));
    const QString cs = "Provider=SQLite;Data Source=" + file;
    Connection c;
    QString error;
    ASSERT_TRUE(c.open(cs, 10, &error)) << error.toStdString();
    EXPECT_EQ(c.dialect().kind, SqlDialect::SQLite);
    const QString created = dir.filePath("created.db");
    const struct {
        QString sql;
        const char* reason;
    } refused[] = {
        {"VACUUM INTO '" + created + "'", "ATTACH (and VACUUM INTO) is not allowed"},
        {"ATTACH DATABASE '" + created + "' AS other", "ATTACH (and VACUUM INTO) is not allowed"},
        {"SELECT * FROM BdData; ATTACH DATABASE '" + created + "' AS other", "more than one statement"},
        {"SELECT 1;\nVACUUM INTO '" + created + "'", "more than one statement"},
        {"SELECT load_extension('" + dir.filePath("x.so") + "')", "the function load_extension"},
        {"PRAGMA user_version = 7", "PRAGMA user_version"},
        {"PRAGMA journal_mode = DELETE", "PRAGMA journal_mode"},
        {"CREATE TEMP TABLE scratch (a)", "is not allowed"},
        {"INSERT INTO BdData (Name) VALUES ('x')", "writing data"},
        {"BEGIN", "transaction control"},
    };
    for (const auto& k : refused) {
        SCOPED_TRACE(k.sql.toStdString());
        const QString why = refusal(c, cs, k.sql);
        EXPECT_TRUE(why.contains(QLatin1String(k.reason))) << "[" << why.toStdString() << "]";
        EXPECT_TRUE(columnarRefusal(cs, k.sql).contains(QLatin1String(k.reason)))
            << columnarRefusal(cs, k.sql).toStdString();
        EXPECT_FALSE(QFileInfo::exists(created));
    }
    const struct {
        QString sql;
        int rows;
    } allowed[] = {
        {"SELECT * FROM BdData;", 3},
        {"SELECT * FROM BdData ; -- all of them\n", 3},
        {"SELECT ';' AS a, 'ATTACH' AS b", 1},
        {"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4) SELECT i FROM n", 4},
        {"PRAGMA table_info(BdData)", 5},
        {"SELECT name FROM pragma_table_info('BdData')", 5},
    };
    for (const auto& k : allowed) {
        int rows = -1;
        EXPECT_EQ(refusal(c, cs, k.sql, &rows), QString()) << k.sql.toStdString();
        EXPECT_EQ(rows, k.rows) << k.sql.toStdString();
    }
    // The connection's own lists still work under the guard.
    EXPECT_EQ(c.tables(), QStringList({"BdData"}));
    EXPECT_EQ(c.columns("BdData").size(), 5);
}

TEST(ReadOnlyQuery, ImportedFilesRefuseAttachToo) {
    QTemporaryDir dir;
    ASSERT_TRUE(writeCsv(dir.filePath("BdData.csv")));
    const QString cs = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dir.path() +
                       "/;Extended Properties=\"text;HDR=Yes;FMT=Delimited\"";
    Connection c;
    QString error;
    ASSERT_TRUE(c.open(cs, 10, &error)) << error.toStdString();
    const QString created = dir.filePath("out.db");
    EXPECT_TRUE(refusal(c, cs, "VACUUM INTO '" + created + "'").contains("not allowed"));
    EXPECT_TRUE(refusal(c, cs, "ATTACH '" + created + "' AS x").contains("not allowed"));
    EXPECT_FALSE(QFileInfo::exists(created));
    int rows = 0;
    EXPECT_EQ(refusal(c, cs, "SELECT * FROM [BdData.csv]", &rows), QString());
    EXPECT_EQ(rows, 3);
}

TEST(SqlText, StatementsCommentsAndLiteralsByDialect) {
    const SqlDialect generic, sqlite{SqlDialect::SQLite}, my{SqlDialect::MySql, true},
        myNoEscapes{SqlDialect::MySql, false}, pg{SqlDialect::PostgreSql, false};
    const struct {
        const char* sql;
        SqlDialect d;
        bool second;
    } cases[] = {
        {"SELECT 1", generic, false},
        {"SELECT 1;", generic, false},
        {"SELECT 1; ; -- end", generic, false},
        {"SELECT 1; DROP TABLE t", generic, true},
        {"SELECT ';' FROM t", generic, false},
        {"SELECT [a;b] FROM t", sqlite, false},
        {"SELECT \"a;\" FROM t", pg, false},
        {"SELECT 1 -- ; DROP\n", generic, false},
        {"SELECT 1 /* ; DROP */", generic, false},
        // A backslash escapes the quote on MySQL: the ";" stands outside the literal there.
        {"SELECT 'a\\''; DROP TABLE t; -- '", my, true},
        {"SELECT 'a\\''; DROP TABLE t; -- '", myNoEscapes, false},
        {"SELECT 'a\\''; DROP TABLE t; -- '", pg, false},
        {"SELECT E'a\\''; DROP TABLE t; -- '", pg, true},
        {"SELECT $$;$$, $x$ ; $x$", pg, false},
        {"SELECT 1 /*! ; DROP TABLE t */", my, true},
        {"SELECT 1 # ; DROP\n", my, false},
        {"SELECT 1 /* a /* b */ ; */", pg, false},
    };
    for (const auto& k : cases)
        EXPECT_EQ(secondStatementAt(QString::fromUtf8(k.sql), k.d) >= 0, k.second)
            << k.sql << " " << k.d.kind;

    EXPECT_EQ(removeLineComments("SELECT a -- the a\nFROM t -- 'x\nWHERE b = '--'"),
              "SELECT a \nFROM t \nWHERE b = '--'");
    // MySQL reads "--" as a comment only before a blank: "a--1" is a minus minus one there.
    EXPECT_EQ(removeLineComments("SELECT a--1\nFROM t", my), "SELECT a--1\nFROM t");
    EXPECT_EQ(removeLineComments("SELECT a # note\nFROM t", my), "SELECT a \nFROM t");

    const struct {
        const char* sql;
        SqlDialect d;
        bool refused;
    } statements[] = {
        {"SELECT * FROM t", my, false},
        {"  (SELECT a FROM t) UNION (SELECT b FROM u)", my, false},
        {"/* c */ WITH x AS (SELECT 1) SELECT * FROM x", pg, false},
        {"SHOW TABLES", my, false},
        {"DROP TABLE t", my, true},
        {"create table t2 (a int)", pg, true},
        {"SELECT 1 INTO OUTFILE '/tmp/x'", my, true},
        {"SELECT 'INTO OUTFILE' AS a", my, false},
        {"COPY (SELECT 1) TO '/tmp/x'", pg, true},
        {"EXEC dbo.Sales", SqlDialect{SqlDialect::SqlServer}, false}, // no read-only guard there
    };
    for (const auto& k : statements)
        EXPECT_EQ(!readOnlyProblem(QString::fromUtf8(k.sql), k.d).isEmpty(), k.refused) << k.sql;
}

namespace {

struct ServerCase {
    const char* name;
    const char* prefix;   // BD_TEST_<prefix>_*
    const char* provider; // what goes before Server=...
    const char* qtDriver; // for the set-up
    SqlDialect::Kind kind;
};

const ServerCase kServers[] = {
    {"MariaDB", "MYSQL", "Provider=MySQLProv;", "QMYSQL", SqlDialect::MySql},
    {"PostgreSQL", "PGSQL", "Provider=PostgreSQL OLE DB Provider;", "QPSQL", SqlDialect::PostgreSql},
    {"MariaDBOdbc", "MYSQL", "Driver={MariaDB Unicode};", "QMYSQL", SqlDialect::MySql},
    {"PostgreSQLOdbc", "PGSQL", "Provider=MSDASQL;Driver={PostgreSQL Unicode};", "QPSQL",
     SqlDialect::PostgreSql},
};

void PrintTo(const ServerCase& s, std::ostream* os) {
    *os << s.name;
}

// Runs set-up statements through Qt's own driver, outside the data layer.
QString setUp(const ServerCase& k, const Server& s, const QStringList& statements,
              QStringList* firstColumn = nullptr) {
    const QString name = QStringLiteral("bd-ro-setup-%1").arg(k.name);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(k.qtDriver, name);
        db.setHostName(s.host);
        db.setPort(s.port);
        db.setUserName(s.user);
        db.setPassword(s.password);
        db.setDatabaseName(s.db);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            for (const QString& st : statements) {
                if (!q.exec(st)) error += q.lastError().text();
                if (firstColumn)
                    while (q.next())
                        *firstColumn << q.value(0).toString();
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

class ReadOnlyServer : public ::testing::TestWithParam<ServerCase> {};

TEST_P(ReadOnlyServer, OnlyOneReadingStatementRuns) {
    const ServerCase& k = GetParam();
    const auto s = server(k.prefix);
    if (!s) {
        if (inCi()) FAIL() << "CI must provide the test servers";
        GTEST_SKIP() << "no " << k.prefix << " test server";
    }
    const QString table = QStringLiteral("bd_ro_%1").arg(QString(k.name).toLower());
    const bool my = k.kind == SqlDialect::MySql;
    ASSERT_EQ(setUp(k, *s,
                    {"DROP TABLE IF EXISTS " + table, "DROP TABLE IF EXISTS " + table + "_new",
                     "CREATE TABLE " + table + " (a INTEGER)", "INSERT INTO " + table + " VALUES (1)"}),
              QString());
    if (!my) {
        ASSERT_EQ(
            setUp(k, *s, {"DROP SEQUENCE IF EXISTS " + table + "_seq", "CREATE SEQUENCE " + table + "_seq"}),
            QString());
    }
    const QString cs = QStringLiteral("%1Server=%2;Port=%3;Database=%4;User ID=%5;Password=%6")
                           .arg(k.provider, s->host)
                           .arg(s->port)
                           .arg(s->db, s->user, s->password);
    Connection c;
    QString error;
    ASSERT_TRUE(c.open(cs, 10, &error)) << error.toStdString();
    EXPECT_EQ(c.dialect().kind, k.kind);
    EXPECT_EQ(c.dialect().backslashEscapes, my); // the servers' defaults

    QStringList refused = {
        "INSERT INTO " + table + " VALUES (2)",
        "DELETE FROM " + table,
        "DROP TABLE " + table,
        "CREATE TABLE " + table + "_new (a INTEGER)",
        "SELECT a FROM " + table + "; DROP TABLE " + table,
        "SELECT a FROM " + table + "; INSERT INTO " + table + " VALUES (3)",
    };
    if (my)
        refused << "SELECT a FROM " + table + " INTO OUTFILE '/tmp/" + table + ".txt'";
    else
        refused << "SELECT nextval('" + table + "_seq')"
                << "SELECT a INTO " + table + "_new FROM " + table;
    for (const QString& sql : refused) {
        SCOPED_TRACE(sql.toStdString());
        EXPECT_FALSE(refusal(c, cs, sql).isEmpty());
    }
    // Nothing changed, and reading still works on the same connection.
    int rows = 0;
    EXPECT_EQ(refusal(c, cs, "SELECT a FROM " + table, &rows), QString());
    EXPECT_EQ(rows, 1);
    QStringList names;
    ASSERT_EQ(setUp(k, *s,
                    {QStringLiteral("SELECT %1 FROM %2 WHERE %1 IN ('%3', '%3_new')")
                         .arg(my ? "table_name" : "tablename", my ? "information_schema.tables" : "pg_tables",
                              table)},
                    &names),
              QString());
    EXPECT_EQ(names, QStringList({table}));
    // A ";" inside a literal, as the server reads literals, is no second statement.
    const QString literal = my ? "SELECT 'a\\';b' AS x" : "SELECT $$a;b$$ AS x, 'c\\' AS y";
    EXPECT_EQ(refusal(c, cs, literal, &rows), QString());
    EXPECT_EQ(rows, 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, ReadOnlyServer, ::testing::ValuesIn(kServers),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
