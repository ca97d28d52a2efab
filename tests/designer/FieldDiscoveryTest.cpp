// Field discovery: the query's columns into spCam, vanished fields out of every grid, and the cells a
// loaded cube needs restored.
#include "designer/RefreshTestCube.h"
#include "platform/db/Connection.h"
#include "platform/os/Prompter.h"

using namespace refreshtest;
using namespace bd::grid;

namespace {
const QStringList kSalesTable = {
    "create table t (A integer, B memo, C varchar(20), D date, E datetime, F tinyint, G real, H numeric, P "
    "blob)",
    "insert into t values (1, 'long', 'x', '2024-03-05', '2024-03-05 10:00:00', 1, 2.5, 3, x'00')"};

struct FieldRow {
    QString name, dimension, typeClass;
    int type;
    bool locked;
};

QVector<FieldRow> rows(Grid& g) {
    QVector<FieldRow> out;
    for (int r = 1; r <= g.maxRows(); ++r)
        if (!g.text(1, r).isEmpty())
            out.push_back({g.text(1, r), g.text(2, r), g.cellTag(3, r), g.cellType(3, r), g.lock(3, r)});
    return out;
}

QStringList names(Grid& g, int col = 1, bool firstTag = false) {
    QStringList out;
    for (int r = 1; r <= g.maxRows(); ++r) {
        const QString t = firstTag && !g.cellTag(col, r).isEmpty() ? g.cellTag(col, r) : g.text(col, r);
        if (!t.isEmpty()) out << t;
    }
    return out;
}
} // namespace

TEST(Iniciar, NewFieldsGetTheirClassAndCellsAndABinaryFieldIsRefused) {
    TestCube t(kSalesTable);
    t.sql("select * from t");
    bd::os::ScopedPrompter p;
    t.c->Iniciar();

    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].text, "Field P is a Image type. Can not be displayed");
    EXPECT_EQ(p->prompts[0].title, "Fields");
    EXPECT_EQ(p->prompts[0].icon, bd::os::Icon::Information);

    const QVector<FieldRow> expected = {
        {"A", "1", "ISNUMERIC", TypeButton, false},
        {"B", "0", "ISMEMO", TypePlain, true},
        {"C", "1", "ISTEXT", TypePlain, true},
        {"D", "1", "ISDATE", TypePlain, true},
        {"E", "1", "ISDATE", TypePlain, true},
        {"F", "1", "ISTEXT", TypePlain, true}, // tinyint is no number
        {"G", "1", "ISNUMERIC", TypeButton, false},
        {"H", "1", "ISNUMERIC", TypeButton, false},
    };
    const QVector<FieldRow> actual = rows(*t.c->spCam);
    ASSERT_EQ(actual.size(), expected.size());
    for (int i = 0; i < actual.size(); ++i) {
        SCOPED_TRACE(expected[i].name.toStdString());
        EXPECT_EQ(actual[i].name, expected[i].name);
        EXPECT_EQ(actual[i].dimension, expected[i].dimension);
        EXPECT_EQ(actual[i].typeClass, expected[i].typeClass);
        EXPECT_EQ(actual[i].type, expected[i].type);
        EXPECT_EQ(actual[i].locked, expected[i].locked);
    }
    EXPECT_EQ(t.c->spCam->typeButtonPicture(3, 1), Campos::picFlecha);
    EXPECT_EQ(t.c->spCam->maxRows(), 300);
    EXPECT_TRUE(t.c->spCam->redraw());
    EXPECT_TRUE(t.c->Recarga);
    EXPECT_EQ(t.c->SSTab1->currentIndex(), 1);
    EXPECT_FALSE(t.cube->RsSql->isOpen());
}

TEST(Iniciar, AFieldAlreadyThereInAnotherCaseKeepsItsRow) {
    TestCube t(kSalesTable);
    t.sql("select A, C from t");
    Grid& g = *t.c->spCam;
    g.setText(1, 1, "a");
    g.setText(2, 1, "0");
    g.setCellTag(1, 1, "Caption of a");
    g.setCellTag(3, 1, "ISNUMERIC");
    bd::os::ScopedPrompter p;
    t.c->Iniciar();
    EXPECT_EQ(names(g), QStringList({"a", "C"}));
    EXPECT_EQ(g.text(2, 1), "0"); // the user's choices stay
    EXPECT_EQ(g.cellTag(1, 1), "Caption of a");
    EXPECT_TRUE(p->prompts.isEmpty());
}

TEST(Iniciar, ARenamedFieldLeavesAllFourGridsWithItsSubRows) {
    TestCube t({"create table t (A integer, NEW integer, B integer)", "insert into t values (1, 2, 3)"});
    Campos& c = *t.c;
    for (const char* n : {"A", "OLD", "B"}) {
        const int r = c.BuscarPosicion(*c.spCam);
        c.spCam->setText(1, r, n);
        c.spCam->setCellTag(3, r, "ISNUMERIC");
    }
    Grid& measureGrid = *c.spCal;
    measureGrid.setText(1, 1, "old"); // a different case is the same field
    measureGrid.setText(1, 2, "OLD");
    measureGrid.setCellType(2, 2, TypePlain);
    measureGrid.setCellType(3, 2, TypePlain); // its alert sub-row
    measureGrid.setText(1, 3, "B");
    c.spFil->setText(1, 1, "OLD");
    c.spFil->setText(1, 2, "B");
    Grid& usr = *t.viewer->spUsrFil;
    usr.setMaxRows(3);
    usr.setText(1, 1, "Old caption");
    usr.setCellTag(1, 1, "OLD");
    usr.setText(1, 2, "B");
    usr.setCellTag(1, 2, "B");
    usr.setText(1, 3, "Old caption");
    usr.setCellTag(1, 3, "OLD");
    usr.setCellType(7, 3, TypePlain); // an Or row of the same field

    t.sql("select A, NEW, B from t");
    bd::os::ScopedPrompter p;
    c.Iniciar();
    EXPECT_EQ(names(*c.spCam), QStringList({"A", "B", "NEW"}));
    EXPECT_EQ(names(measureGrid), QStringList({"B"}));
    EXPECT_EQ(names(*c.spFil), QStringList({"B"}));
    EXPECT_EQ(names(usr, 1, true), QStringList({"B"}));
    EXPECT_EQ(usr.maxRows(), 1);
    EXPECT_TRUE(c.FiltrosCambiados);
    EXPECT_TRUE(c.Recarga);
    EXPECT_EQ(measureGrid.maxRows(), 300);
}

TEST(Iniciar, TwelveVanishedFieldsAllGo) {
    TestCube t({"create table t (KEEP integer)", "insert into t values (1)"});
    Campos& c = *t.c;
    for (int i = 1; i <= 12; ++i) {
        c.spCam->setText(1, i, QString("GONE%1").arg(i));
        c.spCal->setText(1, i, QString("GONE%1").arg(i));
    }
    c.spCam->setText(1, 13, "KEEP");
    t.sql("select KEEP from t");
    bd::os::ScopedPrompter p;
    c.Iniciar();
    EXPECT_EQ(names(*c.spCam), QStringList({"KEEP"}));
    EXPECT_TRUE(names(*c.spCal).isEmpty());
}

TEST(Iniciar, FailuresReportAndLeaveTheGridsDrawing) {
    struct Case {
        const char* name;
        QString connection, sql;
        QString title, text; // "" = no message from discovery itself
        int tab;
        bool connectionRed, sqlRed, change;
    };
    const QString ok = "ok";
    const Case cases[] = {
        {"refused connection", "Provider=Nothing;Data Source=x", "select A from t",
         "You are not connected to the database", "", 1, true, false, false},
        {"query fails", ok, "select NOPE from t", "Error starting fields", "no such column: NOPE", 0, false,
         true, true},
        {"no SQL text", ok, "", "", "", 0, false, false, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TestCube t({"create table t (A integer)"});
        if (k.connection != ok) t.connection(k.connection);
        t.sql(k.sql);
        t.c->spCam->setText(1, 1, "A");
        bd::os::ScopedPrompter p;
        t.c->Iniciar();
        if (k.title.isEmpty()) {
            EXPECT_TRUE(p->prompts.isEmpty());
        } else {
            ASSERT_EQ(p->prompts.size(), 1);
            EXPECT_EQ(p->prompts[0].title, k.title);
            EXPECT_TRUE(p->prompts[0].text.contains(k.text)) << p->prompts[0].text.toStdString();
        }
        EXPECT_EQ(t.c->SSTab1->currentIndex(), k.tab);
        EXPECT_EQ(paintedAsError(t.c->txtConeccion), k.connectionRed);
        EXPECT_EQ(paintedAsError(t.c->txtQuery), k.sqlRed);
        EXPECT_EQ(t.c->Cambio, k.change);
        EXPECT_TRUE(t.c->spCam->redraw());
        EXPECT_TRUE(t.c->spCal->redraw());
        EXPECT_EQ(t.c->spCam->text(1, 1), "A"); // the grids are left as they were
    }
}

TEST(Iniciar, AQueryWithNoFieldsSaysSo) {
    TestCube t({"create table t (A integer)"});
    t.sql("pragma case_sensitive_like"); // runs, but returns no columns
    bd::os::ScopedPrompter p;
    t.c->Iniciar();
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].text,
              "No results were found. Check connection parameters and the SQL statement.");
    EXPECT_EQ(p->prompts[0].title, "Error starting fields");
    EXPECT_TRUE(t.c->spCam->redraw());
}

TEST(Iniciar, WindowsClosingUnderAQuestionEndDiscovery) {
    TestCube t(kSalesTable);
    t.sql("select * from t");
    bd::os::ScopedPrompter p;
    p->onAsk = [&](const bd::os::Prompt&) { delete t.viewer.data(); };
    t.c->Iniciar();
    EXPECT_TRUE(t.c.isNull());
}

TEST(CellRestore, VerificarNumericosAndBlockearColumnasSpCal) {
    TestCube t;
    Campos& c = *t.c;
    c.spCam->setText(1, 1, "N");
    c.spCam->setCellTag(3, 1, "ISNUMERIC");
    c.spCam->setText(1, 2, "T");
    c.spCam->setCellTag(3, 2, "ISTEXT");
    c.spCam->setCellType(3, 2, TypeButton); // as a damaged or older file may have it
    c.VerificarNumericos();
    EXPECT_EQ(c.spCam->cellType(3, 1), TypeButton);
    EXPECT_FALSE(c.spCam->lock(3, 1));
    EXPECT_EQ(c.spCam->typeButtonColor(3, 1), 0xFFFFFFu);
    EXPECT_EQ(c.spCam->cellType(3, 2), TypePlain);
    EXPECT_TRUE(c.spCam->lock(3, 2));

    Grid& measureGrid = *c.spCal;
    measureGrid.setText(1, 1, "M");
    measureGrid.setText(1, 2, "CALC");
    measureGrid.setCellTag(3, 2, "[M] * 2");
    measureGrid.setText(1, 3, "M");
    measureGrid.setCellType(2, 3, TypePlain);
    measureGrid.setCellType(3, 3, TypePlain);
    for (int r = 1; r <= 3; ++r)
        for (int col : {2, 3})
            measureGrid.setLock(col, r, false);
    c.spFil->setLock(1, -1, false);
    c.BlockearColumnasSpCal();
    EXPECT_TRUE(c.spFil->lock(1, 5));
    EXPECT_FALSE(measureGrid.lock(2, 1));
    EXPECT_FALSE(measureGrid.lock(3, 1));
    EXPECT_FALSE(measureGrid.lock(2, 2));
    EXPECT_TRUE(measureGrid.lock(3, 2));
    EXPECT_TRUE(measureGrid.lock(2, 3));
    EXPECT_TRUE(measureGrid.lock(3, 3));
}

TEST(Lookups, NamesCompareUpperCased) {
    TestCube t;
    Grid& g = *t.c->spCam;
    EXPECT_EQ(t.c->BuscarPosicion(g), 1);
    g.setText(1, 1, "Straße");
    g.setCellTag(3, 1, "ISNUMERIC");
    g.setText(1, 3, "x");
    EXPECT_EQ(t.c->BuscarPosicion(g), 2);
    EXPECT_TRUE(t.c->EstaEnGrilla(g, "STRASSE") || t.c->EstaEnGrilla(g, "STRAßE"));
    EXPECT_TRUE(t.c->EstaEnGrilla(g, "X"));
    EXPECT_TRUE(t.c->EsNumericoEnGrilla(g, "straße"));
    EXPECT_FALSE(t.c->EsNumericoEnGrilla(g, "x"));
    EXPECT_FALSE(t.c->EstaEnGrilla(g, ""));
}

TEST(Iniciar, NoFreeRowLeftAddsOneAtTheEnd) {
    TestCube t({"create table t (A integer, NEWONE integer)"});
    Grid& g = *t.c->spCam;
    QString sql = "select A, NEWONE";
    for (int r = 2; r <= 300; ++r)
        sql += QString(", A as F%1").arg(r);
    t.sql(sql + " from t");
    g.setText(1, 1, "A");
    for (int r = 2; r <= 300; ++r)
        g.setText(1, r, QString("F%1").arg(r));
    bd::os::ScopedPrompter p;
    t.c->Iniciar();
    EXPECT_EQ(g.maxRows(), 301);
    EXPECT_EQ(g.text(1, 301), "NEWONE");
    EXPECT_EQ(g.text(1, 0), "FIELD");
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("; ").toStdString();
}
