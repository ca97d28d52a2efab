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

TEST(Literals, TextIsWrittenForTheEngineThatReadsIt) {
    using bd::db::SqlDialect;
    const SqlDialect generic, sqlite{SqlDialect::SQLite}, mysql{SqlDialect::MySql, true},
        mysqlNoEscapes{SqlDialect::MySql, false}, pg{SqlDialect::PostgreSql, false},
        mssql{SqlDialect::SqlServer, false};
    const struct {
        QString value;
        SqlDialect d;
        QString literal;
    } cases[] = {
        {"O'Neil", generic, "'O''Neil'"},
        {"\\' OR 1=1 -- ", mysql, "'\\\\'' OR 1=1 -- '"},
        {"\\' OR 1=1 -- ", mysqlNoEscapes, "'\\'' OR 1=1 -- '"},
        {"\\' OR 1=1 -- ", pg, "'\\'' OR 1=1 -- '"},
        {"back\\", mysql, "'back\\\\'"},
        {"back\\", sqlite, "'back\\'"},
        {QString::fromUtf8("Ñandú"), mssql, QString::fromUtf8("N'Ñandú'")},
        {"plain", mssql, "'plain'"},
        {QString::fromUtf8("’ OR ’1’=’1"), mysql, QString::fromUtf8("'’ OR ’1’=’1'")},
    };
    for (const auto& k : cases) {
        QString literal;
        ASSERT_TRUE(textLiteral(k.value, k.d, &literal)) << k.value.toStdString();
        EXPECT_EQ(literal, k.literal) << k.value.toStdString();
    }
    QString literal = "unchanged";
    EXPECT_FALSE(textLiteral(QString("a") + QChar(0) + "b", generic, &literal));
    EXPECT_EQ(literal, "unchanged");

    const struct {
        QString value;
        SqlDialect d;
        QString pattern;
    } likes[] = {
        {"ab", generic, "'%ab%'"},
        {"50%", generic, "'%50!%%' ESCAPE '!'"},
        {"a_b", sqlite, "'%a!_b%' ESCAPE '!'"},
        {"x!y", pg, "'%x!!y%' ESCAPE '!'"},
        {"a\\b", mysql, "'%a\\\\b%' ESCAPE '!'"}, // MySQL's own pattern escape is "\"
        {"a\\b", pg, "'%a\\b%' ESCAPE '!'"},
        {"[ab]", mssql, "'%![ab]%' ESCAPE '!'"},
        {"[ab]", pg, "'%[ab]%'"},
    };
    for (const auto& k : likes) {
        QString pattern;
        ASSERT_TRUE(likePattern(k.value, "%", k.d, &pattern)) << k.value.toStdString();
        EXPECT_EQ(pattern, k.pattern) << k.value.toStdString();
    }
    QString pattern;
    ASSERT_TRUE(likePattern("ab", "", generic, &pattern));
    EXPECT_EQ(pattern, "'ab'"); // no separator: the bare quoted value
    EXPECT_EQ(quotedName("a`b", mysql), "`a``b`");
    EXPECT_EQ(quotedName("Region", pg), "\"Region\"");
    EXPECT_EQ(quotedName("a]b", mssql), "[a]]b]");
}

TEST(toSqlNumber, SeparatorsOfTheUsersLocale) {
    const QLocale en(QLocale::English, QLocale::UnitedStates), de(QLocale::German, QLocale::Germany),
        fr(QLocale::French, QLocale::France);
    const struct {
        QString value;
        QLocale locale;
        const char* sql; // nullptr: refused
    } cases[] = {
        {"1,234", en, "1234"},
        {"1,234.5", en, "1234.5"},
        {"-1,234,567", en, "-1234567"},
        {"3,5", en, "3.5"}, // no thousands: "," is a decimal separator after all
        {"10,5", en, "10.5"},
        {"1.5", en, "1.5"},
        {"0.10", en, "0.1"},
        {".5", en, "0.5"},
        {"1e5", en, "1e5"},
        {"1,5", de, "1.5"},
        {"1.234", de, "1234"},
        {"1.234,5", de, "1234.5"},
        {"3.5", de, "3.5"},
        {QString::fromUtf8("1\u202f234,5"), fr, "1234.5"},
        {"1 234", en, "1234"},
        {"1,23,4", en, nullptr},
        {"1,234.5.6", en, nullptr},
        {"5 OR 1=1", en, nullptr},
        {"abc", en, nullptr},
        {"-", en, nullptr},
        {QString::fromUtf8("١٢"), en, nullptr}, // digits of another script are no SQL number
    };
    for (const auto& k : cases) {
        QString out;
        const bool ok = toSqlNumber(k.value, &out, k.locale);
        EXPECT_EQ(ok, k.sql != nullptr) << k.value.toStdString() << " -> " << out.toStdString();
        if (ok && k.sql) {
            EXPECT_EQ(out, QString(k.sql)) << k.value.toStdString();
        }
    }
}

TEST(FormarFechaSQL, DatesFollowTheLocalesOrderAndAWindowForShortYears) {
    const QLocale us(QLocale::English, QLocale::UnitedStates), uk(QLocale::English, QLocale::UnitedKingdom),
        de(QLocale::German, QLocale::Germany);
    const struct {
        QString value;
        QLocale locale;
        QString sql; // "" = refused
    } cases[] = {
        {"3/5/24", us, "'2024-03-05'"}, // not 1924, not the 3rd of May
        {"03/05/2024", us, "'2024-03-05'"},
        {"03/05/2024", uk, "'2024-05-03'"},
        {"05.03.24", de, "'2024-03-05'"},
        {"12/31/29", us, "'2029-12-31'"},
        {"1/1/30", us, "'1930-01-01'"},
        {"2024-03-05", uk, "'2024-03-05'"},
        {"2024-03-05 13:05", us, "'2024-03-05 13:05:00'"},
        {"3/5/24 1:05 PM", us, "'2024-03-05 13:05:00'"},
        {"13/5/2024", us, ""}, // no month 13, and no guess the other way round
        {"31/12/2024", us, ""},
        {"2024-13-01", us, ""},
        {"3/5/124", us, ""},
        {"tomorrow", us, ""},
    };
    for (const auto& k : cases) {
        Syntax s;
        s.locale = k.locale;
        s.dbHourFormat = "HH:MM:SS";
        EXPECT_EQ(FormarFechaSQL(k.value, s), k.sql)
            << k.value.toStdString() << " " << k.locale.name().toStdString();
    }
}

TEST(AplicarFiltro, SetQueriesLineCommentsAndNulValues) {
    const QString nl = "\r\n";
    Syntax s;
    s.dialect = {bd::db::SqlDialect::MySql, true};
    // The filter narrows the whole UNION; its ORDER BY becomes the outer query's.
    Result r = AplicarFiltro("select r, a from t union all select r, a from u where a > 1 order by 1",
                             {txt("r", "=", "N")}, s);
    EXPECT_EQ(r.sql.toStdString(),
              ("SELECT * FROM (select r, a from t union all select r, a from u where a > 1) bd_union" + nl +
               " WHERE " + nl + nl + "`r` = 'N' order by 1")
                  .toStdString());
    // A line comment does not swallow what comes after it.
    r = AplicarFiltro("select * from t where a = 1 -- only ones", {num("F", "=", "5")}, s);
    EXPECT_EQ(r.sql.toStdString(), ("select * from t where" + nl + "F = 5 And (a = 1)").toStdString());
    // A NUL is refused once, however many rows hold it.
    const QString nul = QString("a") + QChar(0);
    r = AplicarFiltro("select * from t", {txt("N", "=", nul, "...", "Or"), txt("N", "=", nul)}, s);
    EXPECT_EQ(r.sql, "select * from t");
    ASSERT_EQ(r.refused.size(), 1);
    EXPECT_EQ(r.refused[0], "The value \"a\\0\" of the filter on N is a text with a NUL character, which SQL "
                            "cannot carry: the filter is not applied.");
}

TEST(GetNombreCampo, TopAndDistinctStayWithTheSelectList) {
    struct {
        QString sql, field, expected;
    } cases[] = {
        {"SELECT TOP 10 amount AS total FROM t", "total", "amount"},
        {"SELECT DISTINCT TOP 5 a + b AS x FROM t", "x", "a + b"},
        {"SELECT TOP (5) PERCENT WITH TIES amount AS total, b FROM t", "total", "amount"},
        {"SELECT DISTINCT amount AS total FROM t", "total", "amount"},
        {"SELECT DISTINCTROW amount AS total FROM t", "total", "amount"},
        {"SELECT a, top AS t2 FROM t", "t2", "top"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetNombreCampo(c.sql, c.field), c.expected) << c.sql.toStdString();
}
