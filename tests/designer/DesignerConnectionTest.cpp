// The connection tab: Connect through the data-link dialog, the table list, Test, the Next checks,
// the last connection and unlocking.
#include "designer/DesignerTestSupport.h"
#include "platform/os/Prompter.h"
#include "shell/General.h"

#include <QCoreApplication>
#include <QFocusEvent>

using namespace refreshtest;
using namespace designertest;
using bd::os::Answer;

namespace {
const QStringList kSalesTable = {"create table Ventas (REGION varchar(10), AMT real)",
                                 "insert into Ventas values ('N', 1)",
                                 "create view Resumen as select REGION from Ventas"};
}

TEST(DesignerConnection, ConnectFillsTheConnectionTheTablesAndAnEmptySql) {
    TestCube t(kSalesTable);
    t.connection("");
    DataLink dl{sqliteFile(t.dbFile)};
    t.c->cmdGenerarCnn->click();
    EXPECT_EQ(dl.shown, 1);
    EXPECT_EQ(t.c->txtConeccion->toPlainText(), "Provider=SQLite;Data Source=" + t.dbFile);
    EXPECT_EQ(t.cube->CubeConnectionString, t.c->txtConeccion->toPlainText());
    ASSERT_EQ(t.c->cmbTbl->count(), 2);
    EXPECT_EQ(t.c->cmbTbl->itemText(0), "TBL --> Ventas");
    EXPECT_EQ(t.c->cmbTbl->itemText(1), "VIEW --> Resumen");
    EXPECT_EQ(t.c->txtQuery->toPlainText(), "SELECT * FROM `Ventas`");
    EXPECT_EQ(t.cube->CubeSqlQuery, "SELECT * FROM `Ventas`");
    EXPECT_TRUE(t.c->Cambio);
    EXPECT_TRUE(t.viewer->Salvar);
    EXPECT_TRUE(t.cube->Conectado);
    EXPECT_EQ(t.c->cmdConectado->text(), "Connected");
}

TEST(DesignerConnection, ConnectKeepsTheSqlTheCubeAlreadyHas) {
    TestCube t(kSalesTable);
    t.connection("");
    t.sql("select REGION, sum(AMT) from Ventas group by REGION");
    DataLink dl{sqliteFile(t.dbFile)};
    t.c->cmdGenerarCnn_Click();
    EXPECT_EQ(t.c->cmbTbl->count(), 2);
    EXPECT_EQ(t.c->txtQuery->toPlainText(), "select REGION, sum(AMT) from Ventas group by REGION");
}

TEST(DesignerConnection, CancellingTheDialogLeavesTheConnection) {
    TestCube t(kSalesTable);
    const QString before = t.c->txtConeccion->toPlainText();
    DataLink dl; // cancels
    t.c->cmdGenerarCnn_Click();
    EXPECT_EQ(dl.shown, 1);
    EXPECT_EQ(t.c->txtConeccion->toPlainText(), before);
    EXPECT_EQ(t.c->cmbTbl->count(), 0);
}

TEST(DesignerConnection, TableChoiceGivesTheSqlForEachEngine) {
    struct Case {
        QString input, engine, sql;
    } cases[] = {
        {"TBL --> Ventas", "ACCESS", "VENTAS"},
        {"TBL --> Mis Ventas", "ACCESS", "[MIS VENTAS]"},
        {"TBL --> Hoja1$", "EXCEL", "[HOJA1$]"},
        {"VIEW --> Resumen", "MSSQL", "RESUMEN"},
        {"TBL --> a]b c", "MSSQL", "[A]]B C]"},
        {"TBL --> VIEW --> x", "ACCESS", "[VIEW --> X]"}, // only the leading prefix goes
        {"TBL --> MixedCase", "MYSQL", "`MixedCase`"},
        {"TBL --> odd`name", "MYSQL", "`odd``name`"},
        {"VIEW --> Mixed Case", "OTHER", "\"Mixed Case\""},
        {"TBL --> q\"x", "ORACLE", "\"q\"\"x\""},
        {"TBL --> sin motor", "", "\"sin motor\""},
        {"TBL --> sales.csv", "EXCEL", "[SALES.CSV]"},
        {"TBL --> Colors-Table", "ACCESS", "[COLORS-TABLE]"},
        {"TBL --> 2024", "MSSQL", "[2024]"},
        {"TBL --> _Plain_1", "ACCESS", "_PLAIN_1"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.input.toStdString() + " / " + k.engine.toStdString());
        EXPECT_EQ(Campos::SqlTableName(k.input, k.engine, nullptr), k.sql);
    }
    // Through the list, on an engine chosen in the designer.
    TestCube t(kSalesTable);
    t.c->cmbEngine->setCurrentText("EXCEL");
    t.c->cmbTbl->addItems({"TBL --> Hoja 1$"});
    t.c->cmbTbl->setCurrentIndex(0);
    t.c->cmbTbl_Click();
    EXPECT_EQ(t.c->txtQuery->toPlainText(), "SELECT * FROM [HOJA 1$]");
}

TEST(DesignerConnection, TestAsksForParametersWhenThereAreNone) {
    TestCube t(kSalesTable);
    t.connection("");
    bd::os::ScopedPrompter p;
    p->answer(Answer::No);
    t.c->comProbarCnn->click();
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].text, "No connection parameters, do you want to create parameters ?");
    EXPECT_EQ(p->prompts[0].title, "Connection");
    EXPECT_EQ(p->prompts[0].buttons, bd::os::Buttons::YesNo);

    p->answer(Answer::Yes);
    DataLink dl{sqliteFile(t.dbFile)};
    t.c->comProbarCnn->click();
    EXPECT_EQ(dl.shown, 1);
    ASSERT_EQ(p->prompts.size(), 3);
    EXPECT_EQ(p->prompts[2].text, "The connection test was successful");
    EXPECT_EQ(p->prompts[2].title, "Conection Ok");
    EXPECT_EQ(p->prompts[2].icon, bd::os::Icon::Information);
}

TEST(DesignerConnection, ATestThatFailsShowsOnlyTheConnectionMessage) {
    TestCube t(kSalesTable);
    t.connection("Provider=SQLite;Data Source=" + t.home.path("missing.db"));
    bd::os::ScopedPrompter p;
    t.c->comProbarCnn_Click();
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].title, "You are not connected to the database");
    EXPECT_EQ(t.c->cmdConectado->text(), "Not Connected");
}

TEST(DesignerConnection, NextChecksInOrderAndRemembersOnlyWhatPassed) {
    struct Case {
        const char* name;
        QString connection, engine, sql;
        bool withFields;
        QStringList texts;
        QString red; // object name of the box painted red
        int tab;
    } cases[] = {
        {"no connection",
         "",
         "OTHER",
         "select 1",
         false,
         {"Type a connection string or press \"Connect button\""},
         "txtConeccion",
         0},
        {"no engine", "ok", "", "select 1", false, {"Select your DB Engine."}, "cmbEngine", 0},
        {"bad connection",
         "Provider=Nothing",
         "OTHER",
         "select 1",
         false,
         {"", "Error when connecting. Type a correct connection string or press \"Connect button\" "},
         "txtConeccion",
         0},
        {"no sql",
         "ok",
         "OTHER",
         "",
         false,
         {"Type a SQL Query or press \"Open query editor button\" "},
         "txtQuery",
         0},
        {"offline with fields", "Provider=Nothing", "OTHER", "select * from Ventas", true, {""}, "", 1},
        {"all good", "ok", "OTHER", "select * from Ventas", false, {}, "", 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TestCube t(kSalesTable);
        if (k.connection != "ok") t.connection(k.connection);
        t.c->cmbEngine->setCurrentText(k.engine);
        t.sql(k.sql);
        if (k.withFields) t.c->spCam->setText(1, 1, "REGION");
        bd::os::ScopedPrompter p;
        t.c->cmdSiguiente->click();
        QStringList texts;
        for (const auto& pr : p->prompts) {
            // The connection's own failure message comes first; its text is the driver's.
            texts << (pr.title == "You are not connected to the database" ? QString() : pr.text);
            if (pr.title != "You are not connected to the database") {
                EXPECT_EQ(pr.title, "Error");
                EXPECT_EQ(pr.icon, bd::os::Icon::Information);
            }
        }
        EXPECT_EQ(texts, k.texts);
        for (QWidget* w : std::initializer_list<QWidget*>{t.c->txtConeccion, t.c->cmbEngine, t.c->txtQuery})
            EXPECT_EQ(paintedAsError(w), w->objectName() == k.red) << w->objectName().toStdString();
        EXPECT_EQ(t.c->SSTab1->currentIndex(), k.tab);
        const bool saved = k.tab == 1;
        EXPECT_EQ(General::GetSetting("OE", "CUBO", "LASTCNN"),
                  saved ? t.c->txtConeccion->toPlainText() : "");
        EXPECT_EQ(General::GetSetting("OE", "CUBO", "LASTSQL"), saved ? k.sql : "");
    }
}

TEST(DesignerConnection, AnEmptyEngineIsSetFromTheKindChosenInTheDialog) {
    using K = bd::db::DataLinkDialog::Kind;
    const struct {
        K kind;
        const char* engineBefore;
        const char* engineAfter;
    } cases[] = {
        {K::Spreadsheet, "", "EXCEL"}, {K::Csv, "", "EXCEL"},    {K::DesktopDatabase, "", "ACCESS"},
        {K::SqlServer, "", "MSSQL"},   {K::MySql, "", "MYSQL"},  {K::PostgreSql, "", "OTHER"},
        {K::OdbcSource, "", "OTHER"},  {K::SQLite, "", "OTHER"}, {K::Spreadsheet, "ORACLE", "ORACLE"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(bd::db::DataLinkDialog::kindName(k.kind).toStdString());
        TestCube t(kSalesTable);
        t.connection("");
        t.c->cmbEngine->setCurrentText(k.engineBefore);
        DataLink dl{[&](bd::db::DataLinkDialog& d) {
            ASSERT_TRUE(d.setKind(k.kind));
            d.txtFile->setText(k.kind == K::SQLite ? t.dbFile : t.home.path("missing.xlsx"));
            d.txtHost->setText("127.0.0.1");
            d.txtPort->setValue(1); // nothing listens there: the table list stays empty at once
            d.cmbDsn->setEditText("bd-no-such-source");
        }};
        bd::os::ScopedPrompter p;
        t.c->cmdGenerarCnn_Click();
        EXPECT_EQ(t.c->cmbEngine->currentText(), k.engineAfter);
        EXPECT_EQ(t.cube->DBEngine, k.engineBefore[0] ? QString() : QString(k.engineAfter));
    }
    // Next then goes on without asking for the engine.
    TestCube t(kSalesTable);
    t.connection("");
    DataLink dl{sqliteFile(t.dbFile)};
    bd::os::ScopedPrompter p;
    t.c->cmdGenerarCnn_Click();
    t.c->cmdSiguiente->click();
    EXPECT_FALSE(p->texts().contains("Select your DB Engine.")) << p->texts().join("; ").toStdString();
    EXPECT_EQ(t.c->SSTab1->currentIndex(), 1);
}

TEST(DesignerConnection, LastBringsBackTheRememberedConnectionAndSql) {
    TestCube t(kSalesTable);
    General::SaveSetting("OE", "CUBO", "LASTCNN", "Provider=SQLite;Data Source=x.db");
    General::SaveSetting("OE", "CUBO", "LASTSQL", "select 2");
    t.c->Cambio = false;
    t.c->lblLastCnn_Click();
    EXPECT_EQ(t.c->txtConeccion->toPlainText(), "Provider=SQLite;Data Source=x.db");
    EXPECT_EQ(t.c->txtQuery->toPlainText(), "select 2");
    EXPECT_EQ(t.cube->CubeSqlQuery, "select 2");
    EXPECT_TRUE(t.c->Cambio);
    // A new designer shows the label only now that a connection is remembered.
    Campos other;
    EXPECT_FALSE(other.lblLastCnn->isHidden());
}

TEST(DesignerConnection, EitherUnlockButtonUnlocksBothWithThePasswordInAnyCase) {
    struct Case {
        const char* button;
        QString typed;
        bool opens;
    } cases[] = {{"cmdUnLockCnn", "secreto", true},
                 {"cmdUnlockSql", "Secreto", true},
                 {"cmdUnLockCnn", "otro", false},
                 {"cmdUnlockSql", "", false}};
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.button) + " " + k.typed.toStdString());
        TestCube t;
        t.cube->vPass = "SECRETO";
        Campos& c = *t.c;
        c.frameLockCnn->show();
        c.frameLockSql->show();
        const std::initializer_list<QWidget*> controls = {c.cmdGenerarCnn, c.cmdOpenEditor, c.cmbTbl,
                                                          c.lblLastCnn,    c.cmbEngine,     c.comProbarCnn};
        for (QWidget* w : controls)
            w->setEnabled(false);
        Password pw{k.typed};
        bd::os::ScopedPrompter p;
        c.findChild<QPushButton*>(k.button)->click();
        EXPECT_EQ(pw.asked, 1);
        EXPECT_TRUE(p->prompts.isEmpty());
        EXPECT_EQ(c.frameLockCnn->isHidden(), k.opens);
        EXPECT_EQ(c.frameLockSql->isHidden(), k.opens);
        for (QWidget* w : controls)
            EXPECT_EQ(w->isEnabled(), k.opens) << w->objectName().toStdString();
    }
}

TEST(DesignerConnection, TheTableListFillsWhenOpenedEmptyAndEmptiesWhenTheConnectionIsEdited) {
    TestCube t(kSalesTable);
    t.c->show();
    t.c->cmbTbl->showPopup();
    EXPECT_EQ(t.c->cmbTbl->count(), 2);
    t.c->cmbTbl->hidePopup();
    t.c->cmbTbl->showPopup(); // a filled list is not read again
    EXPECT_EQ(t.c->cmbTbl->count(), 2);
    t.c->cmbTbl->hidePopup();
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(t.c->txtConeccion, &in);
    EXPECT_EQ(t.c->cmbTbl->count(), 0);
}
