// Hostile and ordinary filter values against every engine: each value selects exactly the rows it
// names, on SQLite, MariaDB and PostgreSQL, through their own drivers and through ODBC.
#include "platform/db/Connection.h"
#include "platform/db/DbTestData.h"
#include "viewer/UserFilterSql.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <set>

using namespace UserFilterSql;
using bd::db::Connection;
using bd::db::Recordset;

namespace {

struct Data {
    int id;
    QString name;
    double amount;
    QDate day;
};

// Names that try to leave their literal, to bend a pattern, or only look unusual.
const QVector<Data>& data() {
    static const QVector<Data> d = {
        {1, "O'Neil", 10, {2024, 3, 5}},
        {2, "\\' OR 1=1 -- ", 20, {2024, 5, 3}},
        {3, "\\' UNION SELECT secret, secret FROM bd_secret -- ", 30, {2024, 3, 5}},
        {4, "back\\", 1234, {1924, 3, 5}},
        {5, "a\\b", 1234.5, {2029, 12, 31}},
        {6, "a--b", 3.5, {1930, 1, 1}},
        {7, "/* c */", 7, {2024, 3, 6}},
        {8, "x'; DROP TABLE bd_filter; --", 8, {2024, 3, 7}},
        {9,
         QString::fromUtf8("\xe2\x80\x99 OR \xe2\x80\x99"
                           "1\xe2\x80\x99=\xe2\x80\x99"
                           "1"),
         9,
         {2024, 1, 1}},
        {10, QString::fromUtf8("\xca\xbc OR 1=1 --"), 10.5, {2024, 1, 2}},
        {11, QString::fromUtf8("\xef\xbc\x87 OR 1=1 --"), 11, {2024, 1, 3}},
        {12, QString::fromUtf8("Cé"), 12, {2024, 1, 4}},
        {13, QString::fromUtf8("Ñandú"), 13, {2024, 1, 5}},
        {14, QString::fromUtf8("Zoë Ærø"), 14, {2024, 1, 6}},
        {15, "50%", 15, {2024, 1, 7}},
        {16, "a_b", 16, {2024, 1, 8}},
        {17, "x!y", 17, {2024, 1, 9}},
        {18, "[ab]", 18, {2024, 1, 10}},
        {19, "what?", 19, {2024, 1, 11}},
        {20, "{fn user()}", 20, {2024, 1, 12}},
        {21, "$$ $1", 21, {2024, 1, 13}},
        {22, "\"dq\" `bt`", 22, {2024, 1, 14}},
        {23, "\\\\", 23, {2024, 1, 15}},
        {24, "plain", 24, {2024, 1, 16}},
        {25, "axb", 25, {2024, 1, 17}},
    };
    return d;
}

struct Engine {
    const char* name;
    const char* prefix;   // "" = SQLite; else BD_TEST_<prefix>_*
    const char* provider; // what goes before Server=...
    const char* qtDriver; // for the set-up
};

const Engine kEngines[] = {
    {"SQLite", "", "", "QSQLITE"},
    {"MariaDB", "MYSQL", "Provider=MySQLProv;", "QMYSQL"},
    {"PostgreSQL", "PGSQL", "Provider=PostgreSQL OLE DB Provider;", "QPSQL"},
    {"MariaDBOdbc", "MYSQL", "Driver={MariaDB Unicode};", "QMYSQL"},
    {"PostgreSQLOdbc", "PGSQL", "Provider=MSDASQL;Driver={PostgreSQL Unicode};", "QPSQL"},
};

void PrintTo(const Engine& e, std::ostream* os) {
    *os << e.name;
}

// The table and its neighbour with a secret, written through Qt's own driver with bound values.
// Tables of each engine's own: the runs of one server go on side by side.
QString tableOf(const Engine& e) {
    return "bd_filter_" + QString(e.name).toLower();
}

QString setUp(const Engine& e, const QString& sqliteFile, const std::optional<bd::dbtest::Server>& s) {
    const QString conn = QStringLiteral("bd-filter-setup-%1").arg(e.name);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(e.qtDriver, conn);
        if (s) {
            db.setHostName(s->host);
            db.setPort(s->port);
            db.setUserName(s->user);
            db.setPassword(s->password);
            db.setDatabaseName(s->db);
        } else {
            db.setDatabaseName(sqliteFile);
        }
        if (!db.open()) return db.lastError().text();
        const bool my = QString(e.qtDriver) == "QMYSQL";
        // Exact comparisons on MariaDB too: its default collation ignores case and accents.
        const QString text = my ? "VARCHAR(100) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin" : "VARCHAR(100)";
        QSqlQuery q(db);
        const QString t = tableOf(e);
        for (const QString& st :
             {"DROP TABLE IF EXISTS " + t,
              "CREATE TABLE " + t + " (id INTEGER, name " + text + ", amount DOUBLE PRECISION, day DATE)",
              "CREATE TABLE IF NOT EXISTS bd_secret (secret " + text + ")",
              QStringLiteral(
                  "INSERT INTO bd_secret SELECT 'the secret' WHERE NOT EXISTS (SELECT 1 FROM bd_secret)")})
            if (!q.exec(st)) error += st + ": " + q.lastError().text();
        q.prepare("INSERT INTO " + t + " VALUES (?, ?, ?, ?)");
        for (const Data& r : data()) {
            q.addBindValue(r.id);
            q.addBindValue(r.name);
            q.addBindValue(r.amount);
            q.addBindValue(r.day);
            if (!q.exec()) error += q.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(conn);
    return error;
}

std::vector<int> idsWhere(const std::function<bool(const Data&)>& keep) {
    std::vector<int> out;
    for (const Data& r : data())
        if (keep(r)) out.push_back(r.id);
    return out;
}

class HostileValues : public ::testing::TestWithParam<Engine> {};

TEST_P(HostileValues, EachValueSelectsExactlyTheRowsItNames) {
    const Engine& e = GetParam();
    std::optional<bd::dbtest::Server> s;
    if (*e.prefix) {
        s = bd::dbtest::server(e.prefix);
        if (!s) {
            if (bd::dbtest::inCi()) FAIL() << "CI must provide the test servers";
            GTEST_SKIP() << "no " << e.prefix << " test server";
        }
    }
    QTemporaryDir dir;
    const QString file = dir.filePath("filter.db");
    ASSERT_EQ(setUp(e, file, s), QString());
    const QString cs = s ? QStringLiteral("%1Server=%2;Port=%3;Database=%4;User ID=%5;Password=%6")
                               .arg(e.provider, s->host)
                               .arg(s->port)
                               .arg(s->db, s->user, s->password)
                         : "Provider=SQLite;Data Source=" + file;
    Connection c;
    QString error;
    ASSERT_TRUE(c.open(cs, 10, &error)) << error.toStdString();

    Syntax syntax;
    syntax.dialect = c.dialect(); // from the live connection
    syntax.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    const QString query = "SELECT id, name FROM " + tableOf(e);
    auto rowsOf = [&](const QVector<Row>& filter, QStringList* refused = nullptr) {
        const QString sql = AplicarFiltro(query, filter, syntax).sql;
        if (refused) *refused = AplicarFiltro(query, filter, syntax).refused;
        Recordset rs;
        QString why;
        std::vector<int> ids;
        if (!rs.open(sql, c, &why)) {
            ADD_FAILURE() << sql.toStdString() << ": " << why.toStdString();
            return ids;
        }
        for (; !rs.eof(); rs.moveNext()) {
            EXPECT_EQ(rs.fieldCount(), 2) << sql.toStdString();
            ids.push_back(rs.value(0).toInt());
        }
        EXPECT_TRUE(rs.lastError().isEmpty()) << rs.lastError().toStdString();
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    auto text = [](const QString& op, const QString& v) {
        return Row{"name", op, "ISTEXT", v, "...", "", ""};
    };

    // Every name, given as it stands, selects its own row and no other.
    for (const Data& r : data()) {
        SCOPED_TRACE(r.name.toStdString());
        EXPECT_EQ(rowsOf({text("=", r.name)}), std::vector<int>{r.id});
    }
    // Values that are no name select nothing, whatever they try.
    for (const QString& v : {QString("\\'"), QString("' OR '1'='1"), QString("\\"), QString("x' OR 'a'='a"),
                             QString("\\'; SELECT 1; --"), QString("a\\\\b")}) {
        SCOPED_TRACE(v.toStdString());
        EXPECT_EQ(rowsOf({text("=", v)}), std::vector<int>{});
    }
    // Like matches the value literally between the separators: wildcards and escapes are text.
    for (const QString& v :
         {QString("%"), QString("_"), QString("!"), QString("\\"), QString("--"), QString("'"),
          QString("\\'"), QString("[ab]"), QString("$$"), QString("?"), QString::fromUtf8("\xe2\x80\x99"),
          QString::fromUtf8("andú"), QString("a\\b"), QString("a_b")}) {
        SCOPED_TRACE("Like " + v.toStdString());
        const auto want = idsWhere([&](const Data& r) { return r.name.contains(v); });
        // The data holds no two names that differ in letter case only: engines differ there.
        ASSERT_EQ(want, idsWhere([&](const Data& r) { return r.name.contains(v, Qt::CaseInsensitive); }));
        EXPECT_EQ(rowsOf({text("Like", v)}), want);
    }
    // Two user rows joined by Or stay inside the filter.
    EXPECT_EQ(rowsOf({Row{"name", "=", "ISTEXT", "O'Neil", "...", "", "Or"}, text("=", "\\' OR 1=1 -- ")}),
              (std::vector<int>{1, 2}));
    // A NUL cannot travel in SQL: refused with a message, nothing filtered.
    QStringList refused;
    EXPECT_EQ(rowsOf({text("=", QString("a") + QChar(0) + "b")}, &refused).size(), size_t(data().size()));
    ASSERT_EQ(refused.size(), 1);
    EXPECT_TRUE(refused[0].contains("NUL")) << refused[0].toStdString();

    // Numbers and dates as an English (United States) user types them.
    auto num = [](const QString& v) { return Row{"amount", "=", "ISNUMERIC", v, "...", "", ""}; };
    EXPECT_EQ(rowsOf({num("1,234")}), std::vector<int>{4});
    EXPECT_EQ(rowsOf({num("1,234.5")}), std::vector<int>{5});
    EXPECT_EQ(rowsOf({num("3,5")}), std::vector<int>{6});
    auto day = [](const QString& v) { return Row{"day", "=", "ISDATE", v, "...", "", ""}; };
    EXPECT_EQ(rowsOf({day("3/5/24")}), (std::vector<int>{1, 3}));
    EXPECT_EQ(rowsOf({day("03/05/2024")}), (std::vector<int>{1, 3}));
    EXPECT_EQ(rowsOf({day("12/31/29")}), std::vector<int>{5});
    EXPECT_EQ(rowsOf({day("1/1/30")}), std::vector<int>{6});
    EXPECT_EQ(rowsOf({day("2024-05-03")}), std::vector<int>{2});
    EXPECT_EQ(rowsOf({day("13/5/24")}, &refused).size(), size_t(data().size())); // no month 13
    EXPECT_EQ(refused.size(), 1);

    // A query of two SELECTs: the filter narrows both.
    const QString both = query + " WHERE id < 10 UNION ALL " + query + " WHERE id >= 10 ORDER BY 1";
    Recordset rs;
    const QString sql = AplicarFiltro(both, {text("Like", "x")}, syntax).sql;
    ASSERT_TRUE(rs.open(sql, c, &error)) << sql.toStdString() << ": " << error.toStdString();
    std::vector<int> ids;
    for (; !rs.eof(); rs.moveNext())
        ids.push_back(rs.value(0).toInt());
    EXPECT_EQ(ids, idsWhere([](const Data& r) { return r.name.contains('x', Qt::CaseInsensitive); }));
    EXPECT_EQ(ids, (std::vector<int>{8, 17, 25}));
}

INSTANTIATE_TEST_SUITE_P(Engines, HostileValues, ::testing::ValuesIn(kEngines),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
