#include "platform/db/ConnectionString.h"
#include "platform/db/AdoTypes.h"
#include "platform/db/DbTestData.h"

#include <gtest/gtest.h>

using namespace bd::db;

TEST(ConnectionString, GrammarQuotesNestingAndLineBreaks) {
    const auto cs = ConnectionString::parse("Provider=X; Password=\"a;b\"\"c\" ;User ID='it''s';Extended "
                                            "Properties=\"Excel 12.0 Xml;HDR=NO\";\r\n"
                                            "Data Source = C:\\My Data\\f.xlsx ;A==B=1;provider=Y;;");
    EXPECT_EQ(cs.value("password"), "a;b\"c");
    EXPECT_EQ(cs.value("USER ID"), "it's");
    EXPECT_EQ(cs.value("Data Source"), "C:\\My Data\\f.xlsx");
    EXPECT_EQ(cs.value("A=B"), "1");
    EXPECT_EQ(cs.value("Provider"), "Y"); // a repeated key keeps its last value
    EXPECT_EQ(cs.extended().value("HDR"), "NO");
    EXPECT_TRUE(cs.extended().has("Excel 12.0 Xml"));
    // Written back and read again, nothing changes.
    EXPECT_EQ(ConnectionString::parse(cs.toString()).pairs(), cs.pairs());
}

TEST(ConnectionString, AnyValueReadsBackUnchanged) {
    const QStringList values = {"{pw", "a;b=c}", "\"quoted\"", " lead", "trail ",      "'x",
                                "x'y", "=",      "}",          "{a}",   "line\nbreak", "plain"};
    for (const QString& v : values) {
        ConnectionString cs;
        cs.set("User ID", v);
        cs.set("Password", "p;w");
        const ConnectionString back = ConnectionString::parse(cs.toString());
        EXPECT_EQ(back.value("User ID"), QString(v).replace('\n', ' ')) << cs.toString().toStdString();
        EXPECT_EQ(back.value("Password"), "p;w") << cs.toString().toStdString();
    }
}

TEST(ConnectionString, AppPathIsReplacedInTheValuesAfterParsing) {
    const QString app = "/opt/odd;folder \"x\"";
    EngineChoice c = chooseEngine("Provider=SQLite;Data Source=APP_PATH/Example.db;Mode=Read", app);
    EXPECT_EQ(c.engine, Engine::SQLite);
    EXPECT_EQ(c.file, app + "/Example.db");
    c = chooseEngine("Provider=MSDASQL;Extended Properties=\"Driver={Microsoft Access Driver (*.mdb)};"
                     "DBQ=APP_PATH\\Shop.mdb\"",
                     app);
    EXPECT_EQ(c.engine, Engine::Access);
    EXPECT_EQ(c.file, app + "/Shop.mdb");
    // The replaced string is read the same way again (the pivot receives it).
    const QString replaced = replaceAppPath("Provider=SQLite;Data Source=APP_PATH/Example.db", app);
    EXPECT_EQ(ConnectionString::parse(replaced).value("Data Source"), app + "/Example.db");
    EXPECT_EQ(chooseEngine(replaced, "/elsewhere").file, app + "/Example.db");
    EXPECT_EQ(replaceAppPath("Provider=X;Data Source=/no/app/path", app),
              "Provider=X;Data Source=/no/app/path");
}

namespace {
struct Case {
    const char* cs;
    Engine engine;
    const char* detail; // file, "host:port/db user", ODBC string, or the error text
};

QString describe(const EngineChoice& c) {
    switch (c.engine) {
    case Engine::SQLite:
    case Engine::Excel:
    case Engine::Access:
    case Engine::Csv:
        return c.file + (c.header ? "" : " HDR=NO") +
               (c.delimiter != ',' ? QString(" sep=") + c.delimiter : "");
    case Engine::MySql:
    case Engine::PostgreSql:
        return QStringLiteral("%1:%2/%3 %4/%5").arg(c.host).arg(c.port).arg(c.database, c.user, c.password);
    case Engine::Odbc:
        return c.odbcString;
    case Engine::Unsupported:
        return c.error;
    }
    return {};
}
} // namespace

TEST(ConnectionString, EngineTable) {
    const Case cases[] = {
        {"Provider=SQLite;Data Source=APP_PATH\\Example.db", Engine::SQLite, "/opt/bd/Example.db"},
        {"Data Source=/data/sales.sqlite3", Engine::SQLite, "/data/sales.sqlite3"},
        {"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=APP_PATH\\Book.xlsx;Extended Properties=\"Excel 12.0 "
         "Xml;HDR=NO;IMEX=1\"",
         Engine::Excel, "/opt/bd/Book.xlsx HDR=NO"},
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Old\\Book.xls;Extended Properties='Excel "
         "8.0;HDR=Yes'",
         Engine::Excel, "C:/Old/Book.xls"},
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/csv/;Extended "
         "Properties=\"text;HDR=Yes;FMT=Delimited(;)\"",
         Engine::Csv, "/srv/csv/ sep=;"},
        {"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=\"/srv/a;b/Shop.accdb\";Persist Security Info=False",
         Engine::Access, "/srv/a;b/Shop.accdb"},
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/Shop.mdb;Jet OLEDB:Database Password=x",
         Engine::Access, "/srv/Shop.mdb"},
        {"Provider=MySQLProv;Data Source=db.local;Port=3307;Initial Catalog=shop;User "
         "Id=ana;Password=\"p;w\"",
         Engine::MySql, "db.local:3307/shop ana/p;w"},
        {"Provider=PostgreSQL OLE DB Provider;Server=10.0.0.5;Database=dw;UID=bi;PWD=pw", Engine::PostgreSql,
         "10.0.0.5:0/dw bi/pw"},
        {"Provider=MSDASQL;DSN=Sales;User ID=ana;Password=pw", Engine::Odbc, "DSN=Sales;UID=ana;PWD=pw"},
        // Other systems name the data source as Data Source, or give the whole ODBC string nested.
        {"Provider=MSDASQL.1;Persist Security Info=False;Data Source=Sales;User ID=ana;Password=pw",
         Engine::Odbc, "DSN=Sales;UID=ana;PWD=pw"},
        {"Provider=MSDASQL.1;Extended Properties=\"DSN=Sales;UID=ana;PWD={p;w}\"", Engine::Odbc,
         "DSN=Sales;UID=ana;PWD={p;w}"},
        {"Provider=MSDASQL.1;Persist Security Info=False", Engine::Unsupported,
         "An ODBC connection needs a data source (DSN=) or a driver (Driver=)."},
        {"Driver={MariaDB Unicode};Server=127.0.0.1;Database=Shop;Uid=u;Pwd={a;b}", Engine::Odbc,
         "Driver={MariaDB Unicode};Server=127.0.0.1;Database=Shop;Uid=u;Pwd={a;b}"},
        {"Provider=SQLOLEDB.1;Data Source=sql01\\PROD;Initial Catalog=Sales;User ID=sa;Password=pw",
         Engine::Odbc,
         "Driver={FreeTDS};Server=sql01;Instance=PROD;Database=Sales;UID=sa;PWD=pw;TDS_Version=7.4;"
         "ClientCharset=UTF-8"},
        {"Provider=MSOLEDBSQL;Server=tcp:sql02,1500;Database=Sales;UID=sa;PWD=pw", Engine::Odbc,
         "Driver={FreeTDS};Server=sql02;Port=1500;Database=Sales;UID=sa;PWD=pw;TDS_Version=7.4;ClientCharset="
         "UTF-8"},
        {"Provider=SQLNCLI11;Server=sql01;Database=Sales;Integrated Security=SSPI", Engine::Unsupported,
         "Integrated Windows security is not available on this system; give a user name (User ID) and a "
         "password."},
        {"Provider=OraOLEDB.Oracle;Data Source=ORCL;User Id=scott;Password=tiger", Engine::Unsupported,
         "There is no Oracle provider on this system; use an ODBC data source (DSN=...) for the Oracle "
         "database."},
        {"Provider=OraOLEDB.Oracle;DSN=ora;User Id=scott;Password=tiger", Engine::Odbc,
         "DSN=ora;UID=scott;PWD=tiger"},
        {"Provider=Acme.Cube.3;Data Source=x", Engine::Unsupported,
         "The provider \"Acme.Cube.3\" is not available on this system."},
        {"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/x/Book.xlsb", Engine::Unsupported,
         "Binary workbooks (.xlsb) cannot be read on this system; save the file as .xlsx."},
        {"", Engine::Unsupported, "The connection string is empty."},
        {"Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=C:\\data\\Shop.accdb", Engine::Access,
         "C:/data/Shop.accdb"},
        {"Provider=MSDASQL;Driver={Microsoft Excel Driver (*.xls, *.xlsx, *.xlsm, *.xlsb)};DBQ=/x/Book.xlsx",
         Engine::Excel, "/x/Book.xlsx"},
    };
    for (const auto& k : cases) {
        const EngineChoice c = chooseEngine(QString::fromUtf8(k.cs), "/opt/bd");
        EXPECT_EQ(engineName(c.engine), engineName(k.engine)) << k.cs;
        EXPECT_EQ(describe(c), QString::fromUtf8(k.detail)) << k.cs;
    }
}

TEST(ConnectionString, DriversOfOtherSystemsBecomeTheInstalledOnesOfTheirFamily) {
    const QStringList installed = {"FreeTDS", "PostgreSQL ANSI", "PostgreSQL Unicode", "MariaDB Unicode"};
    const struct {
        const char* cs;
        const char* odbc;
    } cases[] = {
        {"Driver={MySQL ODBC 8.0 Unicode Driver};Server=h;Database=d;Uid=u;Pwd=p",
         "Driver={MariaDB Unicode};Server=h;Database=d;Uid=u;Pwd=p"},
        {"DRIVER={MySQL ODBC 5.1 Driver};SERVER=h;PORT=3306;DATABASE=d;USER=u;PASSWORD=p;OPTION=3",
         "Driver={MariaDB Unicode};SERVER=h;PORT=3306;DATABASE=d;USER=u;PWD=p;OPTION=3"},
        {"Driver={SQL Server};Server=h;Database=d", "Driver={FreeTDS};Server=h;Database=d"},
        {"Driver={ODBC Driver 17 for SQL Server};Server=h", "Driver={FreeTDS};Server=h"},
        {"Driver={PostgreSQL ANSI};Server=h", "Driver={PostgreSQL ANSI};Server=h"},
        {"Driver={PostgreSQL ODBC Driver(UNICODE)};Server=h", "Driver={PostgreSQL Unicode};Server=h"},
        {"Driver={Acme Cube Driver};Server=h", "Driver={Acme Cube Driver};Server=h"},
    };
    for (const auto& k : cases) {
        const EngineChoice c = chooseEngine(k.cs, "/opt/bd", &installed);
        EXPECT_EQ(c.engine, Engine::Odbc) << k.cs;
        EXPECT_EQ(c.odbcString, QString(k.odbc)) << k.cs;
    }
}

TEST(AdoTypes, DeclaredSqliteTypesAndTheirClasses) {
    const struct {
        const char* declared;
        int type;
        const char* cls;
    } cases[] = {
        {"INTEGER", 3, "ISNUMERIC"},
        {"bigint", 20, "ISNUMERIC"},
        {"DECIMAL(10,2)", 131, "ISNUMERIC"},
        {"REAL", 5, "ISNUMERIC"},
        {"DOUBLE PRECISION", 5, "ISNUMERIC"},
        {"CURRENCY", 6, "ISNUMERIC"},
        {"DATE", 7, "ISDATE"},
        {"DATETIME", 135, "ISDATE"},
        {"TIMESTAMP", 135, "ISDATE"},
        {"TEXT", 200, "ISTEXT"},
        {"NVARCHAR(40)", 200, "ISTEXT"},
        {"CHAR(2)", 129, "ISTEXT"},
        {"MEMO", 201, "ISMEMO"},
        {"CLOB", 201, "ISMEMO"},
        {"LONGTEXT", 201, "ISMEMO"},
        {"BOOLEAN", 11, "ISTEXT"},
        {"BLOB", 205, "ISTEXT"},
        {"", 0, "ISTEXT"},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(adoTypeFromDeclared(k.declared), k.type) << k.declared;
        EXPECT_EQ(bd::dbtest::typeClass(adoTypeFromDeclared(k.declared)), QString(k.cls)) << k.declared;
    }
}
