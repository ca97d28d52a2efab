// The values query on the database servers: it reads in a read-only transaction, so even a SELECT that
// calls a writing function changes nothing, and the connection is left as it was. Skipped without the
// test servers.
#include "common/TestSupport.h"
#include "platform/db/Connection.h"
#include "platform/db/DbTestData.h"
#include "shell/InsCube.h"
#include "viewer/ValuesQuery.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace bd;

namespace {

struct ServerEngine {
    const char *name, *prefix, *driver, *provider;
    QStringList setup; // the table, a function that writes into it, and three rows
};

const ServerEngine kMotores[] = {
    {"MariaDB",
     "MYSQL",
     "QMYSQL",
     "Provider=MySQLProv;",
     {"DROP FUNCTION IF EXISTS bd_write", "DROP TABLE IF EXISTS bd_pick",
      "CREATE TABLE bd_pick (name VARCHAR(40))",
      "CREATE FUNCTION bd_write() RETURNS INT MODIFIES SQL DATA BEGIN INSERT INTO bd_pick VALUES ('x'); "
      "RETURN 1; END",
      "INSERT INTO bd_pick VALUES ('O''Brien'), ('back\\\\slash'), ('plain')"}},
    {"PostgreSQL",
     "PGSQL",
     "QPSQL",
     "Provider=PostgreSQL OLE DB Provider;",
     {"DROP FUNCTION IF EXISTS bd_write()", "DROP TABLE IF EXISTS bd_pick",
      "CREATE TABLE bd_pick (name VARCHAR(40))",
      "CREATE FUNCTION bd_write() RETURNS INT AS $$ INSERT INTO bd_pick VALUES ('x'); SELECT 1 $$ LANGUAGE "
      "sql",
      "INSERT INTO bd_pick VALUES ('O''Brien'), ('back\\slash'), ('plain')"}},
};

void PrintTo(const ServerEngine& m, std::ostream* os) {
    *os << m.name;
}

class ValuesQueryServer : public ::testing::TestWithParam<ServerEngine> {
protected:
    // Runs statements straight through Qt's driver; "" or the first error.
    QString run(const dbtest::Server& s, const QStringList& statements, int* count = nullptr) {
        const QString name = QStringLiteral("bd-values-%1").arg(GetParam().name);
        QString error;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(GetParam().driver, name);
            db.setHostName(s.host);
            db.setPort(s.port);
            db.setUserName(s.user);
            db.setPassword(s.password);
            db.setDatabaseName(s.db);
            if (!db.open()) {
                error = db.lastError().text();
            } else {
                QSqlQuery q(db);
                for (const QString& st : statements)
                    if (!q.exec(st) && error.isEmpty()) error = st + ": " + q.lastError().text();
                if (count && q.exec("SELECT COUNT(*) FROM bd_pick") && q.next()) *count = q.value(0).toInt();
            }
        }
        QSqlDatabase::removeDatabase(name);
        return error;
    }
};

} // namespace

TEST_P(ValuesQueryServer, ReadsWithoutWriting) {
    const ServerEngine& m = GetParam();
    const auto s = dbtest::server(m.prefix);
    if (!s) GTEST_SKIP() << "no " << m.prefix << " test server";
    test::TempHome home{false};
    const QString setup = run(*s, m.setup);
    ASSERT_TRUE(setup.isEmpty()) << setup.toStdString();

    InsCube cube;
    cube.NoMostrarErrConeccion = true;
    cube.CubeConnectionString = QStringLiteral("%1Server=%2;Port=%3;Database=%4;User ID=%5;Password=%6")
                                    .arg(m.provider, s->host)
                                    .arg(s->port)
                                    .arg(s->db, s->user, s->password);
    QStringList values;
    QString error;
    ASSERT_TRUE(ValuesQuery::Read(cube, "SELECT DISTINCT name FROM bd_pick ORDER BY 1", &values, &error))
        << error.toStdString();
    values.sort(); // the server's collation orders them its own way
    EXPECT_EQ(values, QStringList({"O'Brien", "back\\slash", "plain"}));

    // A SELECT that calls a function which writes: refused by the transaction, nothing written.
    EXPECT_FALSE(ValuesQuery::Read(cube, "SELECT bd_write()", &values, &error));
    EXPECT_FALSE(error.isEmpty());
    int rows = -1;
    EXPECT_TRUE(run(*s, {}, &rows).isEmpty());
    EXPECT_EQ(rows, 3);

    // The connection is usable afterwards, and nothing writes through it.
    ASSERT_TRUE(ValuesQuery::Read(cube, "SELECT name FROM bd_pick WHERE name = 'plain'", &values, &error))
        << error.toStdString();
    EXPECT_EQ(values, QStringList({"plain"}));
    db::Recordset rs;
    EXPECT_FALSE(rs.open("INSERT INTO bd_pick VALUES ('after')", *cube.CnnSql, &error));
    EXPECT_TRUE(run(*s, {}, &rows).isEmpty());
    EXPECT_EQ(rows, 3);
}

INSTANTIATE_TEST_SUITE_P(Servers, ValuesQueryServer, ::testing::ValuesIn(kMotores),
                         [](const ::testing::TestParamInfo<ServerEngine>& i) {
                             return std::string(i.param.name);
                         });
