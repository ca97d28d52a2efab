// The builder on the test servers: mixed-case tables and views listed, joined and quoted as each
// engine (native driver or ODBC) needs, and the SQL it writes runs there.
#include "platform/db/Connection.h"
#include "platform/db/DbTestData.h"
#include "platform/querybuilder/QueryBuilder.h"

using namespace bd::dbtest;

TEST(BuilderOnServers, JoinsMixedCaseTablesAndViewsAndTheSqlRuns) {
    for (const char* prefix : {"MYSQL", "PGSQL"}) {
        const auto s = server(prefix);
        if (!s) {
            if (inCi()) FAIL() << "CI must provide the test servers";
            GTEST_SKIP() << "skipped: no test servers";
        }
        const bool my = QString(prefix) == "MYSQL";
        ASSERT_EQ(createServerTable(my ? "QMYSQL" : "QPSQL", *s, "QbSales"), QString());
        for (const QString& provider :
             {QString(my ? "Provider=MySQLProv" : "Provider=PostgreSQL"),
              QString(my ? "Driver={MariaDB Unicode}" : "Driver={PostgreSQL Unicode}")}) {
            SCOPED_TRACE(provider.toStdString());
            bd::querybuilder::QueryBuilder b;
            b.setConnectionString(QStringLiteral("%1;Server=%2;Port=%3;Database=%4;User ID=%5;Password=%6")
                                      .arg(provider)
                                      .arg(s->host)
                                      .arg(s->port)
                                      .arg(s->db, s->user, s->password));
            QString error;
            ASSERT_TRUE(b.connectDatabase(&error)) << error.toStdString();
            ASSERT_TRUE(b.loadMetadata(&error)) << error.toStdString();
            ASSERT_TRUE(b.addTable("QbSales"));
            ASSERT_TRUE(b.addTable("QbSalesView"));
            EXPECT_EQ(b.design().tables[1].join, (bd::querybuilder::Join{"QbSales", "Name", "Name"}));
            b.setColumnChecked("QbSales", "Qty", true);
            b.setColumnChecked("QbSalesView", "Name", true);
            const QString sql = b.formattedSql();
            const QString q = my ? "`" : "\"";
            EXPECT_TRUE(sql.contains("From " + q + "QbSales" + q + "\r\nInner Join " + q + "QbSalesView" + q))
                << sql.toStdString();
            bd::db::Connection c;
            ASSERT_TRUE(c.open(b.connectionString(), 10, &error)) << error.toStdString();
            bd::db::Recordset rs;
            ASSERT_TRUE(rs.open(sql, c, &error)) << error.toStdString() << "\n" << sql.toStdString();
            QStringList got;
            for (; !rs.eof(); rs.moveNext())
                got << rs.value(1).toString() + '|' + rs.value(0).toString();
            got.sort();
            EXPECT_EQ(got, (QStringList{"Ana|3", "Bruno Ñandú|-7", "Cé|42"}));
        }
    }
}
