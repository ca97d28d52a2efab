// User filters into SQL: the exact text, and what it selects on a real database.
#include "viewer/UserFilterSql.h"
#include "common/TestSupport.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <gtest/gtest.h>

using namespace UserFilterSql;

namespace {
Row num(const QString& f, const QString& op, const QString& v1, const QString& v2 = "...",
        const QString& mark = "", const QString& conn = "") {
    return {f, op, "ISNUMERIC", v1, v2, mark, conn};
}
Row txt(const QString& f, const QString& op, const QString& v1, const QString& v2 = "...",
        const QString& conn = "") {
    return {f, op, "ISTEXT", v1, v2, "", conn};
}
} // namespace

TEST(AplicarFiltro, ExactSql) {
    struct Case {
        const char* name;
        QString sql;
        QVector<Row> rows;
        QString expected;
        int refused = 0;
    };
    const QString nl = "\r\n";
    const std::vector<Case> cases = {
        {"no WHERE: appended",
         "select a, b from t",
         {num("F", "=", "5")},
         "select a, b from t" + nl + " WHERE " + nl + nl + "F = 5"},
        {"WHERE and GROUP BY: own condition kept in parentheses",
         "SELECT Y, SUM(X) FROM T WHERE X = 1 GROUP BY Y",
         {num("F", "=", "5")},
         "SELECT Y, SUM(X) FROM T WHERE" + nl + "F = 5 And (X = 1) GROUP BY Y"},
        {"OR in the original WHERE cannot bypass the filter",
         "select * from t where a = 1 or b = 2",
         {num("F", ">", "3")},
         "select * from t where" + nl + "F > 3 And (a = 1 or b = 2)"},
        {"GROUP BY with no WHERE: the clause goes before it",
         "select r, sum(x) as s from t group by r order by r",
         {txt("r", "=", "North")},
         "select r, sum(x) as s from t" + nl + " WHERE " + nl + nl + "r = 'North' group by r order by r"},
        {"an Or between the user's rows stays inside the filter",
         "select * from t where a = 1",
         {txt("R", "=", "N", "...", "Or"), txt("R", "=", "S")},
         "select * from t where" + nl + "(R = 'N'  Or " + nl + "R = 'S') And (a = 1)"},
        {"a trailing Or is no Or",
         "select * from t where a = 1",
         {txt("R", "=", "N", "...", "Or")},
         "select * from t where" + nl + "R = 'N'  And (a = 1)"},
        {"text literal in lower case keeps its case",
         "select * from t where name = 'abc'",
         {txt("F", "=", "x")},
         "select * from t where" + nl + "F = 'x' And (name = 'abc')"},
        {"WHERE inside a string, a word and a subquery is not the WHERE",
         "select somewhere, 'where' as w from t where x in (select y from u where z = 1)",
         {num("F", "=", "2")},
         "select somewhere, 'where' as w from t where" + nl +
             "F = 2 And (x in (select y from u where z = 1))"},
        {"a quote in a value is doubled",
         "select * from t",
         {txt("N", "=", "O'Neil")},
         "select * from t" + nl + " WHERE " + nl + nl + "N = 'O''Neil'"},
        {"Like with the separator",
         "select * from t",
         {txt("N", "Like", "ab")},
         "select * from t" + nl + " WHERE " + nl + nl + "N Like '%ab%'"},
        {"numeric Like becomes = and 3,5 is 3.5",
         "select * from t",
         {num("F", "Like", "3,5")},
         "select * from t" + nl + " WHERE " + nl + nl + "F = 3.5"},
        {"Between with one bound becomes =",
         "select * from t",
         {num("F", "Between", "1", "...")},
         "select * from t" + nl + " WHERE " + nl + nl + "F = 1"},
        {"Between with both bounds",
         "select * from t",
         {num("F", "Between", "1", "9")},
         "select * from t" + nl + " WHERE " + nl + nl + "F Between 1 And 9"},
        {"only the second bound: skipped, query unchanged",
         "select * from t",
         {num("F", "Between", "...", "9")},
         "select * from t"},
        {"'5 OR 1=1' is refused and adds nothing",
         "select * from t",
         {num("F", "=", "5 OR 1=1")},
         "select * from t",
         1},
        {"two rows, trailing connector removed",
         "select * from t",
         {num("A", "=", "1", "...", "", "And"), num("B", "=", "2", "...", "", "Or")},
         "select * from t" + nl + " WHERE " + nl + nl + "A = 1  And " + nl + "B = 2 "},
        {"a ')' with nothing open is dropped, an open '(' is closed",
         "select * from t",
         {num("A", "=", "1", "...", ")", "And"), num("B", "=", "2", "...", "(", "Or"),
          num("C", "=", "...", "...", ")")},
         "select * from t" + nl + " WHERE " + nl + nl + "A = 1  And " + nl + "(B = 2 )"},
        {"alias resolves to the whole expression",
         "select t.r, sum(a + b) as total from t group by t.r",
         {num("TOTAL", ">", "10")},
         "select t.r, sum(a + b) as total from t" + nl + " WHERE " + nl + nl +
             "sum(a + b) > 10 group by t.r"},
        {"unknown operator refused",
         "select * from t",
         {Row{"F", "; drop table t", "ISNUMERIC", "1", "...", "", ""}},
         "select * from t",
         1},
        {"no filter rows", "select  *  from t", {}, "select  *  from t"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Syntax s;
        const Result r = AplicarFiltro(c.sql, c.rows, s);
        EXPECT_EQ(r.sql.toStdString(), c.expected.toStdString());
        EXPECT_EQ(r.refused.size(), c.refused);
        EXPECT_EQ(r.applied, r.sql != c.sql);
    }
}

TEST(AplicarFiltro, RefusalSaysWhatWasWrong) {
    Syntax s;
    Result r = AplicarFiltro("select * from t", {num("AMOUNT", "=", "abc")}, s);
    ASSERT_EQ(r.refused.size(), 1);
    EXPECT_EQ(r.refused[0],
              "The value \"abc\" of the filter on AMOUNT is not a number: the filter is not applied.");
    r = AplicarFiltro("select * from t", {Row{"D", "=", "ISDATE", "not a date", "...", "", ""}}, s);
    ASSERT_EQ(r.refused.size(), 1);
    EXPECT_TRUE(r.refused[0].contains("is not a date"));
    EXPECT_EQ(r.sql, "select * from t");
}

TEST(AplicarFiltro, GeneratedSqlSelectsTheExpectedRowsOnSqlite) {
    bd::test::TempHome home(false);
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(home.path("f.sqlite"));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("create table sales (region text, Name text, amount real, day date)"));
        ASSERT_TRUE(q.exec(
            "insert into sales values ('North','O''Neil',10.5,'2024-03-05'),('North','ann',3,'2024-03-06'),"
            "('South','Bob',7,'2024-03-05'),('East','bob',20,'2024-04-01')"));
        struct Case {
            QString sql;
            QVector<Row> rows;
            int count;
        } cases[] = {
            {"select * from sales where region = 'North' or region = 'South'", {num("amount", ">", "5")}, 2},
            {"select * from sales", {txt("Name", "=", "O'Neil")}, 1},
            {"select * from sales", {num("amount", "Between", "3", "10,5")}, 3},
            {"select region, sum(amount) as total from sales group by region", {num("amount", ">", "5")}, 3},
            {"select * from sales", {Row{"day", "=", "ISDATE", "2024-03-05", "...", "", ""}}, 2},
            {"select * from sales",
             {txt("region", "=", "North", "...", "Or"), txt("region", "=", "East")},
             3},
            {"select * from sales where amount < 10",
             {txt("region", "=", "North", "...", "Or"), txt("region", "=", "East")},
             1},
        };
        for (const auto& c : cases) {
            Syntax s;
            const QString sql = AplicarFiltro(c.sql, c.rows, s).sql;
            SCOPED_TRACE(sql.toStdString());
            QSqlQuery r(db);
            ASSERT_TRUE(r.exec(sql));
            int n = 0;
            while (r.next())
                ++n;
            EXPECT_EQ(n, c.count);
        }
    }
    QSqlDatabase::removeDatabase(name);
}

TEST(GetNombreCampo, ExpressionBehindTheName) {
    struct {
        QString sql, field, expected;
    } cases[] = {
        {"SELECT T.F FROM T", "F", "T.F"},
        {"SELECT T.AMOUNT, X FROM T", "amount", "T.AMOUNT"},
        {"SELECT SUM(A) AS F, B FROM T", "F", "SUM(A)"},
        {"SELECT SUM(A + B) AS F FROM T", "F", "SUM(A + B)"},
        {"SELECT DISTINCT Upper(n) AS [F] FROM T", "F", "Upper(n)"},
        {"SELECT x FROM T WHERE T.F = 1", "F", "F"},
        {"SELECT a FROM T", "Plain", "Plain"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetNombreCampo(c.sql, c.field), c.expected) << c.sql.toStdString();
}

TEST(FormarFechaSQL, EnginesPatternsAndTime) {
    struct {
        const char* name;
        QString delimiter, dateFormat, hourFormat, toDate, value, expected;
    } cases[] = {
        {"Access", "#", "YYYY-MM-DD", "HH:MM:SS", "", "2024-03-05", "#2024-03-05#"},
        {"Oracle", "'", "YYYY-MM-DD", "HH:MM:SS", "to_date('<FIELD>', 'DB DATE FORMAT')", "2024-03-05",
         "to_date('2024-03-05', 'YYYY-MM-DD')"},
        {"Oracle with time", "'", "YYYY-MM-DD", "HH:MM:SS", "to_date('<FIELD>', 'DB DATE FORMAT')",
         "2024-03-05 13:05:00", "to_date('2024-03-05 13:05:00', 'YYYY-MM-DD HH:MM:SS')"},
        {"MySQL with time", "'", "YYYY-MM-DD", "HH:MM:SS", "", "2024-03-05 13:05:00",
         "'2024-03-05 13:05:00'"},
        {"initial hour format keeps its blank", "'", "YYYY-MM-DD", " HH:MM:SS", "", "2024-03-05 13:05:00",
         "'2024-03-05  13:05:00'"},
        {"DD/MM/YY", "'", "dd/mm/yy", "HH:MM:SS", "", "2024-03-05", "'05/03/24'"},
        {"empty patterns take the defaults", "'", "", "", "", "2024-03-05 00:00:01", "'2024-03-05 00:00:01'"},
        {"not a date", "'", "YYYY-MM-DD", "HH:MM:SS", "", "tomorrow", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Syntax s;
        s.dateIndicator = c.delimiter;
        s.dbDateFormat = c.dateFormat;
        s.dbHourFormat = c.hourFormat;
        s.toDateTemplate = c.toDate;
        EXPECT_EQ(FormarFechaSQL(c.value, s), c.expected);
    }
    Syntax s;
    s.dateIndicator.clear();
    s.fillDelimiter = [](Syntax& x) { x.dateIndicator = "#"; };
    EXPECT_EQ(FormarFechaSQL("2024-03-05", s), "#2024-03-05#");
    EXPECT_EQ(s.dateIndicator, "#");
}

TEST(AplicarParentesis, MarksAndConnectors) {
    // b = base row, o = Or row; expected marks and connectors per row.
    struct {
        QString kinds;
        QStringList marks, connectors;
    } cases[] = {
        {"b", {""}, {""}},
        {"bo", {"", ""}, {"And", ""}},
        {"bob", {"(", ")", ""}, {"And", "And", ""}},
        {"boo", {"(", "", ")"}, {"And", "And", ""}},
        {"bbo", {"", "(", ")"}, {"And", "And", ""}},
        {"bobo", {"(", ")", "(", ")"}, {"And", "And", "And", ""}},
    };
    for (const auto& c : cases) {
        QVector<MarkRow> rows;
        for (QChar k : c.kinds)
            rows.push_back({"x", "", k == 'o', false});
        AplicarParentesis(rows);
        QStringList marks, conns;
        for (const auto& r : rows) {
            marks << r.mark;
            conns << r.connector;
        }
        EXPECT_EQ(marks, c.marks) << c.kinds.toStdString();
        EXPECT_EQ(conns, c.connectors) << c.kinds.toStdString();
        EXPECT_EQ(rows.last().connectorLocked, rows.size() > 1); // a single row stays unlocked
    }
}
