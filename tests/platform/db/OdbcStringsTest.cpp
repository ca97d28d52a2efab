// ODBC strings as other systems write them reach the real servers: MSDASQL's Data Source as the data
// source name, the ODBC string nested in Extended Properties, and drivers named as another system
// installs them.
#include "platform/db/Connection.h"
#include "platform/db/DbTestData.h"

#include <QTemporaryDir>

using namespace bd::db;
using namespace bd::dbtest;

TEST(OdbcStrings, OtherSystemsStringsReachTheServers) {
    const auto my = server("MYSQL"), pg = server("PGSQL");
    if (!my || !pg) {
        if (inCi()) FAIL() << "CI must provide the test servers";
        GTEST_SKIP() << "no test servers";
    }
    // The driver manager reads where the user's data sources are once, at its first call.
    QTemporaryDir dir;
    const QString ini = dir.filePath("odbc.ini");
    ASSERT_TRUE(bd::test::writeFile(
        ini, QStringLiteral("[bd maria]\nDriver=MariaDB Unicode\nServer=%1\nPort=%2\nDatabase=%3\n"
                            "[bdpg]\nDriver=PostgreSQL Unicode\nServername=%4\nPort=%5\nDatabase=%6\n")
                 .arg(my->host)
                 .arg(my->port)
                 .arg(my->db, pg->host)
                 .arg(pg->port)
                 .arg(pg->db)
                 .toUtf8()));
    const QByteArray old = qgetenv("ODBCINI");
    qputenv("ODBCINI", ini.toLocal8Bit());
    if (!odbcDataSourceNames().contains("bdpg")) GTEST_SKIP() << "the driver manager read its files before";
    const struct {
        QString cs;
        SqlDialect::Kind kind;
    } cases[] = {
        {QStringLiteral("Provider=MSDASQL.1;Persist Security Info=False;Data Source=bd maria;User ID=%1;"
                        "Password=%2")
             .arg(my->user, my->password),
         SqlDialect::MySql},
        {QStringLiteral("Provider=MSDASQL.1;Extended Properties=\"DSN=bdpg;UID=%1;PWD=%2\"")
             .arg(pg->user, pg->password),
         SqlDialect::PostgreSql},
        {QStringLiteral(
             "DRIVER={MySQL ODBC 5.1 Driver};SERVER=%1;PORT=%2;DATABASE=%3;USER=%4;PASSWORD=%5;OPTION=3")
             .arg(my->host)
             .arg(my->port)
             .arg(my->db, my->user, my->password),
         SqlDialect::MySql},
        {QStringLiteral(
             "Driver={PostgreSQL ODBC Driver(UNICODE)};Server=%1;Port=%2;Database=%3;Uid=%4;Pwd=%5")
             .arg(pg->host)
             .arg(pg->port)
             .arg(pg->db, pg->user, pg->password),
         SqlDialect::PostgreSql},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.cs.toStdString());
        Connection c;
        QString error;
        ASSERT_TRUE(c.open(k.cs, 10, &error)) << error.toStdString();
        EXPECT_EQ(c.engine(), Engine::Odbc);
        EXPECT_EQ(c.dialect().kind, k.kind);
        Recordset rs;
        ASSERT_TRUE(rs.open("SELECT 41 + 1 AS answer", c, &error)) << error.toStdString();
        EXPECT_EQ(rs.value(0).toInt(), 42);
    }
    if (old.isNull())
        qunsetenv("ODBCINI");
    else
        qputenv("ODBCINI", old);
}
