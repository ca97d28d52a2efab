// One small data set read through every engine gives the same rows, type numbers and classes.
#include "platform/db/ColumnReader.h"
#include "platform/db/Connection.h"
#include "platform/db/DbTestData.h"

#include <QTemporaryDir>
#include <functional>

using namespace bd::db;
using namespace bd::dbtest;

namespace {

struct Source {
    const char* name;
    // Makes the data and returns the connection string and the table, or "" to skip with a reason.
    std::function<QPair<QString, QString>(const QString& dir, QString& skip)> make;
};

QString serverString(const char* prefix, const QString& provider, QString& skip) {
    const auto s = server(prefix);
    if (!s) {
        skip = QStringLiteral("no %1 test server").arg(prefix);
        return {};
    }
    return QStringLiteral("%1Server=%2;Port=%3;Database=%4;User ID=%5;Password=%6")
        .arg(provider, s->host)
        .arg(s->port)
        .arg(s->db, s->user, s->password);
}

const Source kSources[] = {
    {"SQLite",
     [](const QString& dir, QString&) {
         EXPECT_TRUE(writeSqlite(dir + "/data.db"));
         return qMakePair("Provider=SQLite;Data Source=" + dir + "/data.db", QStringLiteral("BdData"));
     }},
    {"Csv",
     [](const QString& dir, QString&) {
         EXPECT_TRUE(writeCsv(dir + "/BdData.csv"));
         return qMakePair("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dir +
                              "/;Extended Properties=\"text;HDR=Yes;FMT=Delimited\"",
                          QStringLiteral("BdData.csv"));
     }},
    {"Xlsx",
     [](const QString& dir, QString&) {
         EXPECT_TRUE(writeXlsx(dir + "/data.xlsx"));
         return qMakePair("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + dir +
                              "/data.xlsx;Extended Properties=\"Excel 12.0 Xml;HDR=YES\"",
                          QStringLiteral("BdData$"));
     }},
    {"Xls",
     [](const QString&, QString& skip) {
         const QString f = bd::test::fixturesDir() + "/db/bddata.xls";
         if (!QFileInfo::exists(f)) skip = "no xls fixture";
         return qMakePair("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + f +
                              ";Extended Properties=\"Excel 8.0;HDR=Yes\"",
                          QStringLiteral("BdData$"));
     }},
    {"MariaDB",
     [](const QString&, QString& skip) {
         const QString cs = serverString("MYSQL", "Provider=MySQLProv;", skip);
         if (!cs.isEmpty()) {
             const QString e = createServerTable("QMYSQL", *server("MYSQL"), "BdData");
             EXPECT_TRUE(e.isEmpty()) << e.toStdString();
         }
         return qMakePair(cs, QStringLiteral("BdData"));
     }},
    {"PostgreSQL",
     [](const QString&, QString& skip) {
         const QString cs = serverString("PGSQL", "Provider=PostgreSQL OLE DB Provider;", skip);
         if (!cs.isEmpty()) {
             const QString e = createServerTable("QPSQL", *server("PGSQL"), "BdData");
             EXPECT_TRUE(e.isEmpty()) << e.toStdString();
         }
         return qMakePair(cs, QStringLiteral("BdData"));
     }},
    {"MariaDBOdbc",
     [](const QString&, QString& skip) {
         const QString cs = serverString("MYSQL", "Driver={MariaDB Unicode};", skip);
         if (!cs.isEmpty()) {
             const QString e = createServerTable("QMYSQL", *server("MYSQL"), "BdOdbc");
             EXPECT_TRUE(e.isEmpty()) << e.toStdString();
         }
         return qMakePair(cs, QStringLiteral("BdOdbc"));
     }},
    {"PostgreSQLOdbc",
     [](const QString&, QString& skip) {
         const QString cs = serverString("PGSQL", "Provider=MSDASQL;Driver={PostgreSQL Unicode};", skip);
         if (!cs.isEmpty()) {
             const QString e = createServerTable("QPSQL", *server("PGSQL"), "BdOdbc");
             EXPECT_TRUE(e.isEmpty()) << e.toStdString();
         }
         return qMakePair(cs, QStringLiteral("BdOdbc"));
     }},
};

void PrintTo(const Source& s, std::ostream* os) {
    *os << s.name;
}

class DataSet : public ::testing::TestWithParam<Source> {};

TEST_P(DataSet, SameRowsTypesAndClassesThroughEveryEngine) {
    QTemporaryDir dir;
    QString skip;
    const auto [cs, table] = GetParam().make(dir.path(), skip);
    if (!skip.isEmpty()) {
        const bool server =
            QString(GetParam().name).contains("Maria") || QString(GetParam().name).contains("Postgre");
        if (server && inCi()) FAIL() << "CI must provide the test servers: " << skip.toStdString();
        GTEST_SKIP() << skip.toStdString();
    }
    Connection c;
    QString error;
    ASSERT_TRUE(c.open(cs, 10, &error)) << error.toStdString();
    const QString sql = "SELECT * FROM " + c.quoteName(table) + " ORDER BY " + c.quoteName("Qty");

    Recordset rs;
    ASSERT_TRUE(rs.open(sql, c, &error)) << error.toStdString();
    ASSERT_EQ(rs.fieldCount(), 5);
    QStringList classes, expectedClasses;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rs.field(i).name, columnNames()[i]);
        EXPECT_EQ(rs.field(i).type, expectedTypes()[i]) << columnNames()[i].toStdString();
        classes << typeClass(rs.field(i).type);
        expectedClasses << typeClass(expectedTypes()[i]);
    }
    EXPECT_EQ(classes, QStringList({"ISTEXT", "ISNUMERIC", "ISNUMERIC", "ISDATE", "ISMEMO"}));

    QVector<Row> want = rows();
    std::sort(want.begin(), want.end(), [](const Row& a, const Row& b) { return a.qty < b.qty; });
    int n = 0;
    for (; !rs.eof(); rs.moveNext(), ++n) {
        ASSERT_LT(n, want.size());
        const Row& r = want[n];
        EXPECT_EQ(rs.value(0).toString(), r.name);
        EXPECT_EQ(rs.value(1).toLongLong(), r.qty);
        EXPECT_DOUBLE_EQ(rs.value(2).toDouble(), r.price);
        EXPECT_EQ(rs.value(3).metaType().id(), QMetaType::QDate);
        EXPECT_EQ(rs.value(3).toDate(), r.day);
        EXPECT_EQ(rs.value(4).isNull(), r.notes.isNull());
        if (!r.notes.isNull()) {
            EXPECT_EQ(rs.value(4).toString(), r.notes.toString());
        }
    }
    EXPECT_EQ(n, want.size());
    EXPECT_TRUE(rs.lastError().isEmpty()) << rs.lastError().toStdString();

    // The pivot's columnar read agrees.
    ColumnarResult cols;
    ASSERT_TRUE(readColumns(cs, sql, cols, &error)) << error.toStdString();
    ASSERT_EQ(cols.rowCount, size_t(want.size()));
    ASSERT_EQ(cols.columns.size(), 5u);
    const ColumnKind kinds[] = {ColumnKind::Text, ColumnKind::Integer, ColumnKind::Real, ColumnKind::DateTime,
                                ColumnKind::Text};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(cols.columns[i].adoType, expectedTypes()[i]);
        EXPECT_EQ(cols.columns[i].kind, kinds[i]);
    }
    for (int k = 0; k < want.size(); ++k) {
        const auto& name = cols.columns[0];
        EXPECT_EQ(QString::fromStdString(name.dict[name.codes[k]]), want[k].name);
        EXPECT_EQ(cols.columns[1].ints[k], want[k].qty);
        EXPECT_DOUBLE_EQ(cols.columns[2].reals[k], want[k].price);
        EXPECT_DOUBLE_EQ(cols.columns[3].reals[k], oleDate(want[k].day));
        EXPECT_EQ(cols.columns[4].isNull(k), want[k].notes.isNull());
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, DataSet, ::testing::ValuesIn(kSources),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
