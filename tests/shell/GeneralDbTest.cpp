#include "shell/GeneralDb.h"

#include "platform/db/Connection.h"
#include "platform/db/DbTestData.h"
#include "platform/os/Prompter.h"
#include "shell/InsCube.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTcpServer>
#include <QTemporaryDir>

using namespace bd::dbtest;

namespace {
const char* kTitle = "You are not connected to the database";

struct Fixture {
    QTemporaryDir dir;
    InsCube cube;
    Fixture() {
        EXPECT_TRUE(writeSqlite(dir.filePath("data.db"), true));
        cube.CubeConnectionString = "Provider=SQLite;Data Source=" + dir.filePath("data.db");
    }
};

int closedPort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort(); // free again once s is gone
}
} // namespace

TEST(GeneralDb, ListarTablasGivesTablesThenViews) {
    Fixture f;
    QStringList items = {"old entry"};
    General::ListarTablas(f.cube, &items);
    EXPECT_EQ(items, QStringList({"TBL --> BdData", "VIEW --> BigOnes"}));
    EXPECT_TRUE(f.cube.Conectado);

    QComboBox combo;
    General::ListarTablas(f.cube, &combo);
    ASSERT_EQ(combo.count(), 2);
    EXPECT_EQ(combo.itemText(1), "VIEW --> BigOnes");
}

TEST(GeneralDb, ListarTablasOnServersListsMixedCaseTablesAndViews) {
    for (const char* prefix : {"MYSQL", "PGSQL"}) {
        const auto s = server(prefix);
        if (!s) {
            if (inCi()) FAIL() << "CI must provide the test servers";
            GTEST_SKIP() << "skipped: no test servers";
        }
        const bool my = QString(prefix) == "MYSQL";
        ASSERT_EQ(createServerTable(my ? "QMYSQL" : "QPSQL", *s, "ListMe"), QString());
        // The native driver, a DSN-less ODBC string, and one naming another system's driver.
        const QStringList providers = {my ? "Provider=MySQLProv" : "Provider=PostgreSQL",
                                       my ? "Driver={MariaDB Unicode}" : "Driver={PostgreSQL Unicode}",
                                       my ? "Provider=MSDASQL;Driver={MySQL ODBC 8.0 Unicode Driver}"
                                          : "Driver={PostgreSQL ODBC Driver(UNICODE)}"};
        for (const QString& provider : providers) {
            SCOPED_TRACE(provider.toStdString());
            InsCube cube;
            cube.CubeConnectionString =
                QStringLiteral("%1;Server=%2;Port=%3;Database=%4;User ID=%5;Password=%6")
                    .arg(provider)
                    .arg(s->host)
                    .arg(s->port)
                    .arg(s->db, s->user, s->password);
            QStringList items;
            General::ListarTablas(cube, &items);
            EXPECT_TRUE(items.contains("TBL --> ListMe")) << items.join(", ").toStdString();
            EXPECT_TRUE(items.contains("VIEW --> ListMeView")) << items.join(", ").toStdString();
            EXPECT_FALSE(items.contains("TBL --> ListMeView"));
            QString table = "TBL --> ListMe";
            QStringList cols;
            General::ListarColumnas(cube, &cols, table);
            EXPECT_EQ(table, "ListMe");
            EXPECT_EQ(cols, columnNames());
        }
    }
}

TEST(GeneralDb, ListarColumnasStripsThePrefixInTheCallersText) {
    Fixture f;
    QListWidget list;
    QString table = "VIEW --> BigOnes";
    General::ListarColumnas(f.cube, &list, table);
    EXPECT_EQ(table, "BigOnes");
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.item(0)->text(), "Name");
    EXPECT_EQ(list.item(1)->text(), "Qty");
}

TEST(GeneralDb, FailingConnectionsGiveTheMessageOrNoneAndChangeNothingElse) {
    QTemporaryDir dir;
    QVector<QPair<QString, QString>> cases = {
        {"missing file", "Provider=SQLite;Data Source=" + dir.filePath("none.db")},
        {"closed port",
         QStringLiteral("Provider=MySQLProv;Server=127.0.0.1;Port=%1;Database=x;User ID=u;Password=p")
             .arg(closedPort())},
        {"closed port",
         QStringLiteral("Provider=PostgreSQL;Server=127.0.0.1;Port=%1;Database=x;User ID=u;Password=p")
             .arg(closedPort())},
        {"unknown provider", "Provider=Acme.Cube;Data Source=x"},
    };
    for (const char* prefix : {"MYSQL", "PGSQL"}) {
        if (const auto s = server(prefix))
            cases.append(
                {"wrong password",
                 QStringLiteral("Provider=%1;Server=%2;Port=%3;Database=%4;User ID=%5;Password=wrong")
                     .arg(QString(prefix) == "MYSQL" ? "MySQLProv" : "PostgreSQL")
                     .arg(s->host)
                     .arg(s->port)
                     .arg(s->db, s->user)});
        else if (inCi())
            FAIL() << "CI must provide the test servers";
    }
    for (const auto& [what, cs] : cases) {
        for (const bool quiet : {false, true}) {
            bd::os::ScopedPrompter p;
            InsCube cube;
            cube.CubeConnectionString = cs;
            cube.Conectado = true;
            cube.NoMostrarErrConeccion = quiet;
            QElapsedTimer t;
            t.start();
            EXPECT_FALSE(General::AbrirConexion(cube)) << what.toStdString();
            std::printf("%s: failed after %lld ms\n", qPrintable(what), t.elapsed());
            EXPECT_FALSE(cube.Conectado);
            EXPECT_FALSE(cube.CnnSql->isOpen());
            EXPECT_EQ(cube.CubeConnectionString, cs);
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
            if (quiet) {
                EXPECT_TRUE(p->prompts.isEmpty());
                continue;
            }
            ASSERT_EQ(p->prompts.size(), 1) << what.toStdString();
            EXPECT_EQ(p->prompts[0].title, kTitle);
            EXPECT_EQ(p->prompts[0].icon, bd::os::Icon::Information);
            EXPECT_TRUE(p->prompts[0].text.endsWith("\n\nCheck the connection string."))
                << what.toStdString();
            EXPECT_GT(p->prompts[0].text.size(), QString("\n\nCheck the connection string.").size());
        }
    }
}

TEST(GeneralDb, AppPathOpensTheFileInTheProgramFolderAndReopeningClosesFirst) {
    bd::test::TempHome home(false);
    ASSERT_TRUE(writeSqlite(home.path("data.db")));
    InsCube cube;
    cube.CubeConnectionString = "Provider=SQLite;Data Source=APP_PATH\\data.db";
    ASSERT_TRUE(General::AbrirConexion(cube));
    EXPECT_EQ(cube.CnnSql->connectionString(), "Provider=SQLite;Data Source=" + home.home() + "\\data.db");
    cube.CubeSqlQuery = "SELECT Name FROM BdData ORDER BY Qty;\r\n";
    ASSERT_TRUE(General::AbrirRecordset(cube));
    EXPECT_EQ(cube.RsSql->value(0).toString(), "Bruno Ñandú");
    ASSERT_TRUE(General::AbrirConexion(cube)); // open again: the old one (and its recordset) closed first
    EXPECT_FALSE(cube.RsSql->isOpen());
    EXPECT_TRUE(cube.CnnSql->isOpen());
}

TEST(GeneralDb, AbrirRecordsetEndsTheWaitOnEveryPath) {
    Fixture f;
    ASSERT_TRUE(General::AbrirConexion(f.cube));
    f.cube.CubeSqlQuery = "SELECT nothing_here FROM BdData";
    General::sUltimoError.clear();
    EXPECT_FALSE(General::AbrirRecordset(f.cube));
    EXPECT_TRUE(General::sUltimoError.contains("nothing_here")) << General::sUltimoError.toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    f.cube.CubeSqlQuery = "SELECT * FROM BdData";
    EXPECT_TRUE(General::AbrirRecordset(f.cube));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(f.cube.RsSql->fieldCount(), 5);
    EXPECT_EQ(f.cube.RsSql->field(3).type, 7);
}

TEST(GeneralDb, LlenarListaSQLSkipsNullsAndReportsErrors) {
    Fixture f;
    QStringList items = {"kept"};
    General::LlenarListaSQL(f.cube, &items, "   ");
    EXPECT_EQ(items, QStringList({"kept"})); // blank SQL: the list is not even cleared

    bd::os::ScopedPrompter p;
    General::LlenarListaSQL(f.cube, &items, "SELECT Notes FROM BdData ORDER BY Qty DESC;");
    EXPECT_EQ(items, QStringList({longNote(), "short; \"quoted\" note"})); // the NULL of "Cé" is skipped
    EXPECT_TRUE(p->prompts.isEmpty());

    General::LlenarListaSQL(f.cube, &items, "SELECT x FROM nowhere");
    EXPECT_TRUE(items.isEmpty());
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].title, "Error trying to fill combo.");
    EXPECT_TRUE(p->prompts[0].text.startsWith("SELECT x FROM nowhere\n"));
    EXPECT_EQ(p->prompts[0].icon, bd::os::Icon::Information);
}

TEST(GeneralDb, LimpiarSQL) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"SELECT *\r\nFROM t;", "SELECT * FROM t"},
        {"SELECT *\nFROM t\rWHERE a = 1 ;  ;\r\n", "SELECT * FROM t WHERE a = 1 "},
        {"SELECT 'a;b' AS x FROM t WHERE y = \"c;\";", "SELECT 'a;b' AS x FROM t WHERE y = \"c;\""},
        {"SELECT 'open;", "SELECT 'open;"},
        {"SELECT 1", "SELECT 1"},
        {"", ""},
        // A line comment ends at its line break: it must not take the rest of the query along.
        {"SELECT a -- the a\r\nFROM t\r\nWHERE b = 1;", "SELECT a  FROM t WHERE b = 1"},
        {"SELECT '--' AS a\nFROM t -- the end", "SELECT '--' AS a FROM t "},
        {"SELECT [a;] FROM t", "SELECT [a;] FROM t"},
        {"SELECT 1; -- done", "SELECT 1"},
    };
    for (const auto& k : cases) {
        QString sql = QString::fromUtf8(k.in);
        EXPECT_EQ(General::LimpiarSQL(sql), QString::fromUtf8(k.out)) << k.in;
        EXPECT_EQ(sql, QString::fromUtf8(k.out)); // the caller's text changes the same way
    }
    // MySQL reads "--" as a comment only before a blank, and "#" as one.
    QString my = "SELECT a--1 AS b # note\nFROM t";
    EXPECT_EQ(General::LimpiarSQL(my, {bd::db::SqlDialect::MySql, true}), "SELECT a--1 AS b  FROM t");
}

TEST(GeneralDb, ACommentedQueryKeepsItsMeaningAfterTheCleanUp) {
    Fixture f;
    f.cube.CubeSqlQuery = "SELECT Name -- who\r\nFROM BdData -- all of them\r\nWHERE Qty > 0;";
    ASSERT_TRUE(General::AbrirConexion(f.cube));
    ASSERT_TRUE(General::AbrirRecordset(f.cube)) << General::sUltimoError.toStdString();
    int n = 0;
    for (; !f.cube.RsSql->eof(); f.cube.RsSql->moveNext())
        ++n;
    EXPECT_EQ(n, 2);
}

TEST(GeneralDb, ConectarControlDatosHandsOverTheOpenConnectionsString) {
    struct Control : General::ControlDatos {
        int type = 0;
        QString cs;
        void setConnectionType(int t) override { type = t; }
        void setConnectionString(const QString& s) override { cs = s; }
    } control;
    Fixture f;
    bd::os::ScopedPrompter p;
    EXPECT_FALSE(General::ConectarControlDatos(control, f.cube));
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].title, "Failed to connect");
    EXPECT_EQ(p->prompts[0].icon, bd::os::Icon::Critical);
    ASSERT_TRUE(General::AbrirConexion(f.cube));
    EXPECT_TRUE(General::ConectarControlDatos(control, f.cube));
    EXPECT_EQ(control.type, 5);
    EXPECT_EQ(control.cs, f.cube.CubeConnectionString);
}
