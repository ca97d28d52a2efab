// The designer's query builder tab and SQL preview over the example data: the join rewrite, opening
// the builder, taking its SQL, its saved state in the cube, and running SQL into the preview grid.
#include "platform/querybuilder/QueryBuilder.h"
#include "designer/DesignerTestSupport.h"
#include "platform/os/Desktop.h"
#include "platform/os/Prompter.h"
#include "platform/toolbar/Toolbar.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QTabBar>
#include <QTest>
#include <QTimer>

using namespace refreshtest;
using bd::os::Icon;
using bd::querybuilder::Join;

namespace {
const QString kExample = QStringLiteral("Provider=SQLite;Data Source=APP_PATH/Example.sqlite");

// A viewer, its designer and its cube over a copy of the example data with a second table, Regions.
struct ExampleCube {
    bd::test::TempHome home{true};
    bd::os::ScopedPrompter prompts;
    QPointer<Cubo> viewer = new Cubo;
    QPointer<Campos> c = new Campos;
    QPointer<InsCube> cube = new InsCube;

    ExampleCube() {
        runSql(home.path("Example.sqlite"),
               {"CREATE TABLE Regions (Region TEXT, Manager TEXT)",
                "INSERT INTO Regions SELECT DISTINCT Region, 'Manager of ' || Region FROM Sales"});
        viewer->VinsCube = cube;
        viewer->Vcampos = c;
        c->VinsCube = cube;
        c->VCubo = viewer;
        c->cmbEngine->setCurrentText("OTHER");
        connection(kExample);
        sql("SELECT * FROM Sales");
    }
    ~ExampleCube() { delete viewer.data(); }
    void connection(const QString& cs) { c->txtConeccion->setPlainText(cs); }
    void sql(const QString& q) { c->txtQuery->setPlainText(q); }
    bd::querybuilder::QueryBuilder& aQ() { return *c->aQ; }
    // The two joined tables of the example: sales with their region's manager.
    void designTwoTables() {
        c->cmdOpenEditor->click();
        aQ().newDesign();
        ASSERT_TRUE(aQ().addTable("Sales"));
        ASSERT_TRUE(aQ().addTable("Regions"));
        aQ().setColumnChecked("Sales", "Region", true);
        aQ().setColumnChecked("Sales", "Amount", true);
        aQ().setColumnChecked("Regions", "Manager", true);
        aQ().setCondition("`Sales`.`Amount` > 1000");
    }
    int count(const QString& sql) {
        bd::db::Connection cnn;
        bd::db::Recordset rs;
        QString error;
        EXPECT_TRUE(cnn.open(kExample, 5, &error)) << error.toStdString();
        EXPECT_TRUE(rs.open(sql, cnn, &error)) << error.toStdString();
        int n = 0;
        for (; rs.isOpen() && !rs.eof(); rs.moveNext())
            ++n;
        EXPECT_EQ(rs.lastError(), "");
        return n;
    }
};

const QString kTwoTables = "Select `Sales`.`Region`, `Sales`.`Amount`, `Regions`.`Manager`\r\n"
                           "From `Sales`\r\n"
                           "Inner Join `Regions` On `Sales`.`Region` = `Regions`.`Region`\r\n"
                           "Where `Sales`.`Amount` > 1000";
const QString kTwoTablesNested = "Select `Sales`.`Region`, `Sales`.`Amount`, `Regions`.`Manager`\r\n"
                                 "From (`Sales`\r\n"
                                 "Inner Join `Regions` On `Sales`.`Region` = `Regions`.`Region`)\r\n"
                                 "Where `Sales`.`Amount` > 1000\r";

void clickTab(Campos& c, int tab) {
    QTabBar* bar = c.SSTab1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
    QApplication::processEvents();
}

// What a QPlainTextEdit shows of a text: every line break as one line feed.
QString shown(QString s) {
    return s.replace("\r\n", "\n").replace('\r', '\n');
}
} // namespace

TEST(QueryBuilderJoins, PonerPatertesisNestsOnlyTheBuildersJoinChains) {
    struct Case {
        const char* what;
        QString in, out;
    } cases[] = {
        {"the example",
         "Select a.x\r\nFrom A\r\nInner Join B On a.k = b.k\r\nInner Join C On b.j = c.j\r\nWhere a.x > 1",
         "Select a.x\r\nFrom ((A\r\nInner Join B On a.k = b.k)\r\nInner Join C On b.j = c.j)\r\nWhere a.x > "
         "1\r"},
        {"no join", "Select *\r\nFrom `Sales`", "Select *\r\nFrom `Sales`\r"},
        {"no join, a condition", "Select *\r\nFrom A\r\nWhere f(x) = 1",
         "Select *\r\nFrom A\r\nWhere f(x) = 1\r"},
        {"three joins",
         "Select *\r\nFrom A\r\nInner Join B On A.k = B.k\r\nInner Join C On B.j = C.j\r\nInner Join D On "
         "C.i = D.i",
         "Select *\r\nFrom (((A\r\nInner Join B On A.k = B.k)\r\nInner Join C On B.j = C.j)\r\nInner Join D "
         "On C.i = "
         "D.i)\r"},
        {"= and a line break", "Select *\r\nFrom A\r\nInner Join B On a.k =\r\nb.k\r\nWhere a.x = 1",
         "Select *\r\nFrom (A\r\nInner Join B On a.k =b.k)\r\nWhere a.x = 1\r"},
        {"no From", "SELECT * FROM A INNER JOIN B ON a.k = b.k", "SELECT * FROM A INNER JOIN B ON a.k = b.k"},
        {"empty", "", ""},
        // The body ends at the first of the clauses after the joins; their parentheses stay.
        {"group and order",
         "Select a.x, Sum(b.y)\r\nFrom A\r\nInner Join B On a.k = b.k\r\nGroup By a.x\r\nHaving Sum(b.y) > "
         "0\r\nOrder By "
         "Sum(b.y)",
         "Select a.x, Sum(b.y)\r\nFrom (A\r\nInner Join B On a.k = b.k)\r\nGroup By a.x\r\nHaving Sum(b.y) > "
         "0\r\nOrder "
         "By Sum(b.y)\r"},
        {"order only", "Select *\r\nFrom A\r\nInner Join B On a.k = b.k\r\nOrder By Max(a.x)",
         "Select *\r\nFrom (A\r\nInner Join B On a.k = b.k)\r\nOrder By Max(a.x)\r"},
        // Names keep their parentheses and clause words.
        {"quoted names",
         "Select *\r\nFrom [Sales (2024)]\r\nInner Join `Where x` On [Sales (2024)].[k] = `Where "
         "x`.`k`\r\nWhere 1 = 1",
         "Select *\r\nFrom ([Sales (2024)]\r\nInner Join `Where x` On [Sales (2024)].[k] = `Where "
         "x`.`k`)\r\nWhere 1 = "
         "1\r"},
        {"nested already",
         "Select *\r\nFrom ((A\r\nInner Join B On x = y)\r\nInner Join C On y = z)\r\nWhere 1 = 1",
         "Select *\r\nFrom ((A\r\nInner Join B On x = y)\r\nInner Join C On y = z)\r\nWhere 1 = 1\r"},
        // Any other text passes unchanged.
        {"a subquery", "Select *\r\nFrom (Select * From A) t\r\nInner Join B On t.k = b.k",
         "Select *\r\nFrom (Select * From A) t\r\nInner Join B On t.k = b.k"},
        {"a function in a join", "Select *\r\nFrom A\r\nInner Join B On lower(a.k) = b.k",
         "Select *\r\nFrom A\r\nInner Join B On lower(a.k) = b.k"},
        {"line feeds only", "Select *\nFrom A\nInner Join B On a.k = b.k",
         "Select *\nFrom A\nInner Join B On a.k = b.k"},
        {"a join on the From line", "Select *\r\nFrom A Inner Join B On a.k = b.k",
         "Select *\r\nFrom A Inner Join B On a.k = b.k"},
        {"another join", "Select *\r\nFrom A\r\nLeft Join B On a.k = b.k",
         "Select *\r\nFrom A\r\nLeft Join B On a.k = b.k"},
        {"an open quote", "Select *\r\nFrom [A\r\nInner Join B On a.k = b.k",
         "Select *\r\nFrom [A\r\nInner Join B On a.k = b.k"},
        {"a quote across lines", "Select *\r\nFrom A\r\nInner Join [B\r\nInner Join C] On a.k = b.k",
         "Select *\r\nFrom A\r\nInner Join [B\r\nInner Join C] On a.k = b.k"},
        {"unbalanced", "Select *\r\nFrom (A\r\nInner Join B On a.k = b.k",
         "Select *\r\nFrom (A\r\nInner Join B On a.k = b.k"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        EXPECT_EQ(Campos::PonerPatertesis(k.in), k.out);
    }
}

TEST(QueryBuilderJoins, NamesAreQuotedForTheEngine) {
    bd::test::TempHome home{true};
    bd::db::Connection sqlite;
    ASSERT_TRUE(sqlite.open(kExample, 5, nullptr));
    struct Case {
        QString name, engine;
        const bd::db::Connection* cnn;
        QString quoted;
    } cases[] = {
        {"Sales", "ACCESS", &sqlite, "[Sales]"},       {"Hoja1$", "EXCEL", nullptr, "[Hoja1$]"},
        {"a]b c", "MSSQL", nullptr, "[a]]b c]"},       {"odd`name", "OTHER", &sqlite, "`odd``name`"},
        {"odd`name", "MYSQL", nullptr, "`odd``name`"}, {"q\"x", "ORACLE", nullptr, "\"q\"\"x\""},
        {"Sales", "", nullptr, "\"Sales\""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE((k.name + " / " + k.engine).toStdString());
        EXPECT_EQ(Campos::quotedName(k.name, k.engine, k.cnn), k.quoted);
    }
}

TEST(QueryBuilderTab, OpenEditorPreparesTheBuilderFromTheCubeSqlOnce) {
    ExampleCube t;
    t.sql("SELECT Region, Amount FROM Sales");
    t.c->GoTab(0);
    t.c->cmdOpenEditor->click();
    EXPECT_TRUE(t.prompts->prompts.isEmpty()) << t.prompts->texts().join('/').toStdString();
    EXPECT_EQ(t.c->SSTab1->currentIndex(), 3);
    EXPECT_FALSE(t.c->AB->tool(Campos::ToolConnection)->checked());
    EXPECT_FALSE(t.c->AB->tool(Campos::ToolCube)->checked());
    EXPECT_EQ(t.aQ().tag(), "WORK");
    EXPECT_EQ(t.aQ().zoom(), 100);
    EXPECT_FALSE(t.aQ().readOnly());
    EXPECT_EQ(t.aQ().lstTables->count(), 2); // Regions and Sales
    EXPECT_EQ(t.aQ().formattedSql(), "Select `Sales`.`Region`, `Sales`.`Amount`\r\nFrom `Sales`");

    // Opened again without taking its SQL: the builder keeps its own design.
    t.aQ().addTable("Regions");
    t.c->GoTab(0);
    t.c->cmdOpenEditor->click();
    EXPECT_EQ(t.aQ().design().tables.size(), 2);
    EXPECT_EQ(t.c->SSTab1->currentIndex(), 3);
}

TEST(QueryBuilderTab, ExcelSourcesCannotUseTheBuilder) {
    ExampleCube t;
    t.c->cmbEngine->setCurrentText("EXCEL");
    t.c->GoTab(0);
    t.c->cmdOpenEditor->click();
    ASSERT_EQ(t.prompts->prompts.size(), 1);
    EXPECT_EQ(t.prompts->prompts[0].text, "Excel not supported by query editor. Select a table o a view.");
    EXPECT_EQ(t.prompts->prompts[0].title, "Not suported");
    EXPECT_EQ(t.prompts->prompts[0].icon, Icon::Information);
    EXPECT_EQ(t.c->SSTab1->currentIndex(), 0);
    EXPECT_TRUE(t.c->AB->tool(Campos::ToolConnection)->checked());
    EXPECT_EQ(t.aQ().tag(), "");

    // Its tab header says the same and goes back to the tab shown before.
    clickTab(*t.c, 3);
    EXPECT_EQ(t.prompts->prompts.size(), 2);
    EXPECT_EQ(t.c->SSTab1->currentIndex(), 0);
}

TEST(QueryBuilderTab, TheTabHeaderOpensTheBuilder) {
    ExampleCube t;
    clickTab(*t.c, 3);
    EXPECT_EQ(t.aQ().tag(), "WORK");
    EXPECT_EQ(t.c->SSTab1->currentIndex(), 3);
    EXPECT_EQ(t.aQ().formattedSql(), "Select *\r\nFrom `Sales`");
}

TEST(QueryBuilderTab, AConnectionErrorLeadsToTheConnectionTest) {
    ExampleCube t;
    t.connection("Provider=SQLite;Data Source=APP_PATH/missing/none.sqlite");
    t.c->GoTab(0);
    t.c->cmdOpenEditor->click();
    ASSERT_EQ(t.prompts->prompts.size(), 2) << t.prompts->texts().join('/').toStdString();
    EXPECT_EQ(t.prompts->prompts[0].title, "Can't connect");
    EXPECT_EQ(t.prompts->prompts[0].icon, Icon::Critical);
    EXPECT_FALSE(t.prompts->prompts[0].text.isEmpty());
    EXPECT_EQ(t.prompts->prompts[1].title, "You are not connected to the database"); // the test's own
    EXPECT_TRUE(paintedAsError(t.c->txtConeccion));
    EXPECT_EQ(t.c->SSTab1->currentIndex(), 0);
    EXPECT_EQ(t.aQ().tag(), "");
    EXPECT_EQ(t.c->cmdConectado->text(), "Not Connected");
}

TEST(QueryBuilderTab, TakingTheSqlMakesItTheCubesAndKeepsTheState) {
    ExampleCube t;
    t.designTwoTables();
    EXPECT_EQ(t.aQ().formattedSql(), kTwoTables);
    t.viewer->Salvar = false;
    t.c->Cambio = false;
    t.c->cmdQE->click();
    EXPECT_EQ(t.c->txtQuery->toPlainText(), shown(kTwoTablesNested));
    EXPECT_EQ(t.cube->CubeSqlQuery, t.c->txtQuery->toPlainText());
    EXPECT_TRUE(t.c->Cambio);
    EXPECT_TRUE(t.viewer->Salvar);
    EXPECT_EQ(t.c->SSTab1->currentIndex(), 0);
    EXPECT_TRUE(t.c->AB->tool(Campos::ToolConnection)->checked());
    EXPECT_EQ(t.c->CeldaEstadoConsulta(), t.aQ().state());
    EXPECT_EQ(t.aQ().tag(), "");
    // The SQL runs, as written and as the cube holds it.
    const int rows = t.count("SELECT * FROM Sales WHERE Amount > 1000");
    EXPECT_GT(rows, 0);
    EXPECT_EQ(t.count(kTwoTablesNested), rows);
    EXPECT_EQ(t.count(t.cube->CubeSqlQuery), rows);
    // And field discovery finds its three columns.
    t.c->GoTab(1);
    EXPECT_EQ(t.c->spCam->text(1, 1), "Region");
    EXPECT_EQ(t.c->spCam->text(1, 2), "Amount");
    EXPECT_EQ(t.c->spCam->text(1, 3), "Manager");

    // The next opening restores the saved state and clears the cell.
    t.aQ().setSql(QString());
    t.c->cmdOpenEditor->click();
    EXPECT_EQ(t.aQ().formattedSql(), kTwoTables);
    EXPECT_EQ(t.c->CeldaEstadoConsulta(), "");
}

TEST(QueryBuilderTab, AnAccessStyleEngineGetsBracketsAndTheSqlStillRuns) {
    ExampleCube t;
    t.c->cmbEngine->setCurrentText("ACCESS");
    t.designTwoTables();
    t.aQ().setCondition("[Sales].[Amount] > 1000");
    t.c->cmdQE->click();
    const QString nested = "Select [Sales].[Region], [Sales].[Amount], [Regions].[Manager]\r\n"
                           "From ([Sales]\r\n"
                           "Inner Join [Regions] On [Sales].[Region] = [Regions].[Region])\r\n"
                           "Where [Sales].[Amount] > 1000\r";
    EXPECT_EQ(t.c->txtQuery->toPlainText(), shown(nested));
    EXPECT_EQ(t.count(nested), t.count("SELECT * FROM Sales WHERE Amount > 1000"));
}

TEST(QueryBuilderTab, TheStateTravelsInTheCubeFile) {
    QString state, path;
    {
        ExampleCube t;
        bd::os::ScriptedFileDialogs dialogs;
        bd::os::setFileDialogs(&dialogs);
        t.designTwoTables();
        t.c->cmdQE->click();
        state = t.c->CeldaEstadoConsulta();
        path = t.home.path("joined.cub");
        dialogs.answers << path;
        const bool saved = t.viewer->Guardar(false, false);
        bd::os::setFileDialogs(nullptr);
        ASSERT_TRUE(saved) << t.prompts->texts().join('/').toStdString();

        // Into a designer whose builder holds a design of its own.
        ExampleCube again;
        again.c->cmdOpenEditor->click();
        ASSERT_EQ(again.aQ().tag(), "WORK");
        // A cube without pivot fields opens its designer modally: close it as a user would.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, again.c, [&] {
            if (again.c->isVisible()) again.c->hide();
        });
        closer.start(10);
        ASSERT_TRUE(again.viewer->Abrir(path));
        closer.stop();
        EXPECT_EQ(again.c->CeldaEstadoConsulta(), state);
        // The stored SQL's text would give the same design; the state is what is restored.
        again.sql("SELECT * FROM Sales");
        again.c->GoTab(0);
        again.c->cmdOpenEditor->click();
        EXPECT_EQ(again.aQ().formattedSql(), kTwoTables);
        EXPECT_EQ(again.c->CeldaEstadoConsulta(), "");
    }
}

TEST(QueryBuilderTab, AStateFromElsewhereIsIgnored) {
    ExampleCube t;
    t.sql("SELECT Region FROM Sales WHERE Quantity > 2");
    t.c->setQueryStateCell(
        "<QueryBuilder version=\"5.2\"><Tables><Table Name=\"Sales\"/></Tables></QueryBuilder>");
    t.c->cmdOpenEditor->click();
    EXPECT_TRUE(t.prompts->prompts.isEmpty());
    EXPECT_EQ(t.aQ().formattedSql(), "Select `Sales`.`Region`\r\nFrom `Sales`\r\nWhere Quantity > 2");
    EXPECT_EQ(t.c->CeldaEstadoConsulta(), "");
    // SQL it cannot hold is shown as text and taken back unchanged.
    t.c->GoTab(0);
    const QString grouped = "SELECT Region, SUM(Amount) FROM Sales GROUP BY Region";
    t.sql(grouped);
    QTest::keyClicks(t.c->txtQuery, " ");
    QTest::keyClick(t.c->txtQuery, Qt::Key_Backspace);
    t.c->cmdOpenEditor->click();
    EXPECT_TRUE(t.aQ().isText());
    t.c->cmdQE->click();
    EXPECT_EQ(t.c->txtQuery->toPlainText(), grouped);
    // Not even when it looks like the builder's own layout.
    const QString summed = "Select Sum(`Sales`.`Amount`)\r\nFrom `Sales`\r\n"
                           "Inner Join `Regions` On `Sales`.`Region` = `Regions`.`Region`";
    t.c->cmdOpenEditor->click();
    t.aQ().setSql(summed);
    ASSERT_TRUE(t.aQ().isText());
    t.c->cmdQE->click();
    EXPECT_EQ(t.c->txtQuery->toPlainText(), shown(summed));
}

TEST(QueryBuilderTab, TypingTheSqlDiscardsTheBuildersDesign) {
    ExampleCube t;
    t.designTwoTables();
    t.c->setQueryStateCell(t.aQ().state());
    // Moving the cursor is no edit; typing the connection only has the builder connect again.
    QTest::keyClick(t.c->txtConeccion, Qt::Key_End);
    EXPECT_EQ(t.aQ().tag(), "WORK");
    QTest::keyClicks(t.c->txtConeccion, " ");
    EXPECT_EQ(t.aQ().tag(), "");
    EXPECT_EQ(t.aQ().formattedSql(), kTwoTables);
    t.c->cmdOpenEditor->click();
    EXPECT_EQ(t.aQ().tag(), "WORK");
    QTest::keyClicks(t.c->txtQuery, " ");
    EXPECT_EQ(t.aQ().sql(), "");
    EXPECT_EQ(t.aQ().tag(), "");
    EXPECT_EQ(t.c->CeldaEstadoConsulta(), "");
    EXPECT_TRUE(t.c->Cambio);
    EXPECT_TRUE(t.c->Recarga);
}

TEST(QueryBuilderPreview, ShowResultsRunsTheBuildersSql) {
    ExampleCube t;
    t.designTwoTables();
    t.c->cmdQueryEditorView->hide();
    t.c->cmdGotoResults->click();
    EXPECT_TRUE(t.prompts->prompts.isEmpty()) << t.prompts->texts().join('/').toStdString();
    EXPECT_EQ(t.c->txtViewQuery->toPlainText(), shown(kTwoTablesNested));
    EXPECT_EQ(t.c->SSTab1->currentIndex(), 4);
    EXPECT_FALSE(t.c->cmdQueryEditorView->isHidden());
    EXPECT_EQ(t.c->spviewQuery->maxRows(), t.count("SELECT * FROM Sales WHERE Amount > 1000"));
    EXPECT_EQ(t.c->spviewQuery->maxCols(), 3);
    EXPECT_EQ(t.c->spviewQuery->text(3, 0), "Manager");
    EXPECT_TRUE(t.c->spviewQuery->text(3, 1).startsWith("Manager of "));
    t.c->cmdQueryEditorView->click();
    EXPECT_EQ(t.c->SSTab1->currentIndex(), 3);
}

TEST(QueryBuilderPreview, ShowsEveryRowWithTheFieldNames) {
    ExampleCube t;
    t.c->txtViewQuery->setPlainText("SELECT * FROM Sales WHERE SaleId <= 2500 ORDER BY SaleId");
    t.c->cmdRunQuery->click();
    EXPECT_TRUE(t.prompts->prompts.isEmpty()) << t.prompts->texts().join('/').toStdString();
    bd::grid::Grid& g = *t.c->spviewQuery;
    EXPECT_EQ(g.maxRows(), 2500);
    EXPECT_EQ(g.maxCols(), 7);
    const QStringList names = {"SaleId",      "SaleDate", "Region", "Product",
                               "Salesperson", "Quantity", "Amount"};
    for (int i = 0; i < names.size(); ++i)
        EXPECT_EQ(g.text(i + 1, 0), names[i]);
    EXPECT_EQ(g.text(1, 1), "1");
    EXPECT_EQ(g.text(1, 2500), "2500");
    EXPECT_TRUE(t.c->lblViewQueryLimit->isHidden());
    EXPECT_TRUE(t.cube->Conectado); // the preview connected the cube
    // A smaller result: the row count follows.
    t.c->txtViewQuery->setPlainText("SELECT Region FROM Sales WHERE SaleId <= 3");
    t.c->cmdRunQuery->click();
    EXPECT_EQ(g.maxRows(), 3);
    EXPECT_EQ(g.maxCols(), 1);
}

TEST(QueryBuilderPreview, ErrorsAreShownAndTheRowsReadStay) {
    ExampleCube t;
    t.c->txtViewQuery->setPlainText("SELECT Nope FROM Sales");
    t.c->cmdRunQuery->click();
    ASSERT_EQ(t.prompts->prompts.size(), 1);
    EXPECT_EQ(t.prompts->prompts[0].title, "Error executing.");
    EXPECT_EQ(t.prompts->prompts[0].icon, Icon::Critical);
    EXPECT_TRUE(t.prompts->prompts[0].text.contains("Nope")) << t.prompts->texts().join('/').toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A query that fails after 1500 rows: the grid holds those rows, not a block of empty ones.
    t.c->txtViewQuery->setPlainText(
        "SELECT CASE WHEN SaleId > 1500 THEN abs(-9223372036854775807 - 1) ELSE SaleId END "
        "AS n FROM Sales ORDER BY SaleId");
    t.c->cmdRunQuery->click();
    ASSERT_EQ(t.prompts->prompts.size(), 2);
    EXPECT_EQ(t.prompts->prompts[1].title, "Error executing.");
    EXPECT_EQ(t.c->spviewQuery->maxRows(), 1500);
    EXPECT_EQ(t.c->spviewQuery->text(1, 1500), "1500");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QueryBuilderPreview, StopsAtItsRowLimitAndSaysSo) {
    ExampleCube t;
    t.c->txtViewQuery->setPlainText(
        QStringLiteral("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE "
                       "n < %1) SELECT n FROM c")
            .arg(Campos::PreviewRowLimit + 5));
    t.c->cmdRunQuery->click();
    EXPECT_TRUE(t.prompts->prompts.isEmpty()) << t.prompts->texts().join('/').toStdString();
    EXPECT_EQ(t.c->spviewQuery->maxRows(), Campos::PreviewRowLimit);
    EXPECT_EQ(t.c->spviewQuery->text(1, Campos::PreviewRowLimit), QString::number(Campos::PreviewRowLimit));
    EXPECT_FALSE(t.c->lblViewQueryLimit->isHidden());
    EXPECT_EQ(t.c->lblViewQueryLimit->text(), "Only the first 100,000 rows are shown.");
}
