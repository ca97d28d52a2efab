// The builder's model without a database: the SQL a design makes, the SQL it reads back, what it keeps
// as text, the saved state, and design edits.
#include "platform/querybuilder/QueryModel.h"

#include <QHash>
#include <gtest/gtest.h>

using namespace bd::querybuilder;

namespace {
QString backticks(const QString& n) {
    return '`' + QString(n).replace('`', "``") + '`';
}

Catalog exampleCatalog() {
    static const QHash<QString, QStringList> columns = {
        {"Sales", {"SaleId", "SaleDate", "Region", "Product", "Salesperson", "Quantity", "Amount"}},
        {"Regions", {"Region", "Manager"}},
        {"Sales Notes", {"NoteId", "SaleId", "Text"}},
        {"Targets", {"Goal", "Year"}},
    };
    Catalog c;
    c.tables = {"Regions", "Sales", "Sales Notes", "Targets"};
    c.columns = [](const QString& t) { return columns.value(t); };
    return c;
}

QueryModel exampleModel() {
    QueryModel m;
    m.setCatalog(exampleCatalog());
    m.setQuoter(backticks);
    return m;
}

const QString kTwoTables = "Select `Sales`.`Region`, `Sales`.`Amount`, `Regions`.`Manager`\r\n"
                           "From `Sales`\r\n"
                           "Inner Join `Regions` On `Sales`.`Region` = `Regions`.`Region`\r\n"
                           "Where `Sales`.`Amount` > 100";

QueryModel twoTables() {
    QueryModel m = exampleModel();
    EXPECT_TRUE(m.addTable("Sales"));
    EXPECT_TRUE(m.addTable("Regions"));
    m.setColumnChecked("Sales", "Region", true);
    m.setColumnChecked("Sales", "Amount", true);
    m.setColumnChecked("Regions", "Manager", true);
    m.setCondition("`Sales`.`Amount` > 100");
    return m;
}
} // namespace

TEST(QueryModel, TwoJoinedTablesGiveOneClauseALine) {
    QueryModel m = twoTables();
    EXPECT_EQ(m.formattedSql(), kTwoTables);
    EXPECT_EQ(m.sql(), QString(kTwoTables).replace("\r\n", " "));
    EXPECT_TRUE(designProblems(m.design()).isEmpty());
    // No column ticked: every column; no condition: no Where line.
    QueryModel all = exampleModel();
    all.addTable("Sales Notes");
    EXPECT_EQ(all.formattedSql(), "Select *\r\nFrom `Sales Notes`");
    EXPECT_EQ(QueryModel().formattedSql(), "");
}

TEST(QueryModel, StateRoundTrips) {
    const QueryModel m = twoTables();
    QueryModel back = exampleModel();
    ASSERT_TRUE(back.setState(m.state()));
    EXPECT_EQ(back.design(), m.design());
    EXPECT_EQ(back.state(), m.state());
    EXPECT_EQ(back.formattedSql(), kTwoTables);

    // A kept text comes back byte for byte, line breaks included.
    QueryModel text = exampleModel();
    const QString sql = "SELECT Region,\r\n  SUM(Amount) AS Total\r\nFROM Sales\r\nGROUP BY Region";
    text.setSql(sql);
    ASSERT_TRUE(text.isText());
    QueryModel textBack = exampleModel();
    ASSERT_TRUE(textBack.setState(text.state()));
    EXPECT_TRUE(textBack.isText());
    EXPECT_EQ(textBack.formattedSql(), sql);

    // Names take the catalog's spelling when the state is restored.
    QString lower = m.state();
    lower.replace("\"Regions\"", "\"regions\"");
    ASSERT_TRUE(back.setState(lower));
    EXPECT_EQ(back.formattedSql(), kTwoTables);
}

TEST(QueryModel, StatesItDidNotWriteAreRefusedAndChangeNothing) {
    const QString good = twoTables().state();
    const QString cases[] = {
        "",
        "garbage",
        "<QueryBuilderState><Table Name=\"Sales\"/></QueryBuilderState>",
        "{\"tables\":[]}",
        QString(good).replace("\"version\":1", "\"version\":2"),
        QString(good).replace("bd-querybuilder", "other-builder"),
        QString(good).replace("\"Regions\"", "\"Nowhere\""),                 // a table the database lacks
        QString(good).replace("\"Manager\"", "\"Boss\""),                    // a column it lacks
        QString(good).replace("\"name\":\"Regions\"", "\"name\":\"Sales\""), // one table twice
        QString(good).replace("\"columns\":[", "\"columns\":[[\"Sales\"],"),
        QString(good).replace("\"table\":\"Sales\"", "\"table\":\"Regions\""), // joined to itself
    };
    for (const QString& s : cases) {
        SCOPED_TRACE(s.toStdString());
        QueryModel m = exampleModel();
        m.addTable("Targets");
        const QString before = m.state();
        EXPECT_FALSE(m.setState(s));
        EXPECT_EQ(m.state(), before);
    }
}

TEST(QueryModel, ReadsTheSqlItCanHold) {
    struct Case {
        QString sql, formatted;
    } cases[] = {
        {kTwoTables, kTwoTables},
        {QString(kTwoTables).replace("\r\n", " "), kTwoTables},
        // The table list's own query, names in other letter case and quoting.
        {"SELECT * FROM [SALES]", "Select *\r\nFrom `Sales`"},
        {"select * from \"sales notes\";", "Select *\r\nFrom `Sales Notes`"},
        {"SELECT Region, Amount FROM Sales WHERE Amount > 5",
         "Select `Sales`.`Region`, `Sales`.`Amount`\r\nFrom `Sales`\r\nWhere Amount > 5"},
        // Columns without their table, where one table has them; JOIN without INNER; ON either way round.
        {"SELECT Manager, Amount FROM Sales JOIN Regions ON Regions.Region = Sales.Region",
         "Select `Regions`.`Manager`, `Sales`.`Amount`\r\nFrom `Sales`\r\n"
         "Inner Join `Regions` On `Sales`.`Region` = `Regions`.`Region`"},
        // The nested form the designer writes for Access-style SQL.
        {"Select *\r\nFrom ((`Sales`\r\nInner Join `Regions` On `Sales`.`Region` = `Regions`.`Region`)\r\n"
         "Inner Join `Sales Notes` On `Sales`.`SaleId` = `Sales Notes`.`SaleId`)\r\nWhere 1 = 1\r",
         "Select *\r\nFrom `Sales`\r\nInner Join `Regions` On `Sales`.`Region` = `Regions`.`Region`\r\n"
         "Inner Join `Sales Notes` On `Sales`.`SaleId` = `Sales Notes`.`SaleId`\r\nWhere 1 = 1"},
        // The condition is kept as written: line breaks, comments, subqueries that group.
        {"SELECT * FROM Sales WHERE Region = 'North' -- the north\r\n  AND Amount IN (SELECT Amount FROM "
         "Sales "
         "GROUP BY Amount)",
         "Select *\r\nFrom `Sales`\r\nWhere Region = 'North' -- the north\r\n  AND Amount IN (SELECT Amount "
         "FROM "
         "Sales GROUP BY Amount)"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.sql.toStdString());
        QueryModel m = exampleModel();
        m.setSql(k.sql);
        EXPECT_FALSE(m.isText());
        EXPECT_EQ(m.formattedSql(), k.formatted);
    }
}

TEST(QueryModel, KeepsWhatItCannotHoldAsText) {
    const QString cases[] = {
        "SELECT Region, SUM(Amount) FROM Sales GROUP BY Region",
        "SELECT Region,\r\n  COUNT(*) AS n\r\nFROM Sales\r\nGROUP BY Region",
        "SELECT * FROM Sales s",
        "SELECT Region AS R FROM Sales",
        "SELECT DISTINCT Region FROM Sales",
        "SELECT Sales.* FROM Sales",
        "SELECT * FROM Sales LEFT JOIN Regions ON Sales.Region = Regions.Region",
        "SELECT * FROM Sales INNER JOIN Regions ON Sales.Region = Regions.Region AND Sales.Amount > 1",
        "SELECT * FROM Sales WHERE Amount > 1 ORDER BY Amount",
        "SELECT * FROM Sales WHERE Amount > 1 UNION SELECT * FROM Sales",
        "SELECT * FROM (SELECT * FROM Sales)",
        "SELECT * FROM (Sales",
        "SELECT * FROM Nowhere",
        "SELECT main.Sales.Amount FROM Sales",
        "SELECT Region FROM Sales INNER JOIN Regions ON Sales.Region = Regions.Region", // which Region?
        "SELECT * FROM Sales INNER JOIN Sales ON Sales.SaleId = Sales.SaleId",
        "SELECT * FROM Sales INNER JOIN Regions ON Targets.Goal = Regions.Region",
        "-- all sales\r\nSELECT * FROM Sales",
        "SELECT * FROM Sales; DELETE FROM Sales",
        "SELECT * FROM Sales WHERE Region = 'open",
        "SELECT * FROM Sales WHERE",
        "SELECT * FROM Sales WHERE (Amount > 1",
        "SELECT Nope FROM Sales",
        "SELECT Amount, Amount FROM Sales",
        "UPDATE Sales SET Amount = 0",
    };
    for (const QString& sql : cases) {
        SCOPED_TRACE(sql.toStdString());
        QueryModel m = exampleModel();
        m.setSql(sql);
        EXPECT_TRUE(m.isText());
        EXPECT_EQ(m.formattedSql(), sql);
        EXPECT_EQ(m.sql(), sql);
    }
}

TEST(QueryModel, WithoutACatalogNamesAreTakenAsWritten) {
    QueryModel m;
    m.setQuoter(backticks);
    m.setSql("SELECT a, b FROM t WHERE a > 1");
    ASSERT_FALSE(m.isText());
    EXPECT_EQ(m.formattedSql(), "Select `t`.`a`, `t`.`b`\r\nFrom `t`\r\nWhere a > 1");
    // With two tables, a column needs its table.
    m.setSql("SELECT a FROM t JOIN u ON t.k = u.k");
    EXPECT_TRUE(m.isText());
}

TEST(QueryModel, EditsKeepEveryTableJoined) {
    QueryModel m = exampleModel();
    EXPECT_TRUE(m.addTable("sales"));
    EXPECT_FALSE(m.addTable("Sales")); // once only
    EXPECT_FALSE(m.addTable("Nowhere"));
    EXPECT_TRUE(m.addTable("Regions"));
    EXPECT_TRUE(m.addTable("Sales Notes"));
    EXPECT_TRUE(m.addTable("Targets"));
    const auto& t = m.design().tables;
    EXPECT_EQ(t[1].join, (Join{"Sales", "Region", "Region"})); // a column of the same name
    EXPECT_EQ(t[2].join, (Join{"Sales", "SaleId", "SaleId"}));
    EXPECT_EQ(t[3].join, (Join{"Sales", "SaleId", "Goal"}));               // none shared: first columns
    EXPECT_FALSE(m.setJoin("Regions", "Region", "Sales Notes", "SaleId")); // a later table
    EXPECT_FALSE(m.setJoin("Targets", "Nope", "Regions", "Region"));
    EXPECT_TRUE(m.setJoin("Targets", "goal", "regions", "manager"));
    EXPECT_EQ(t[3].join, (Join{"Regions", "Manager", "Goal"}));
    m.setColumnChecked("Sales", "Amount", true);
    m.setColumnChecked("Regions", "Manager", true);
    m.setColumnChecked("Regions", "Nope", true);

    // Removing the first table: the next comes first, and the tables joined to the removed one are
    // joined again to one still before them; its ticked columns go with it.
    m.removeTable("Sales");
    ASSERT_EQ(t.size(), 3);
    EXPECT_EQ(t[0].name, "Regions");
    EXPECT_EQ(t[0].join, Join{});
    EXPECT_EQ(t[1].join, (Join{"Regions", "Region", "NoteId"}));
    EXPECT_EQ(t[2].join, (Join{"Regions", "Manager", "Goal"}));
    EXPECT_EQ(m.design().selected, (QVector<ColumnRef>{{"Regions", "Manager"}}));
    m.setColumnChecked("Regions", "Manager", false);
    EXPECT_EQ(m.formattedSql().section("\r\n", 0, 0), "Select *");
}
