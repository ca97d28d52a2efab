// The user's edits of the user-filter grid on the example cube: Or rows, removal, Delete, connectors
// and operators, each followed by a refresh of the query.
#include "common/TestSupport.h"
#include "platform/os/AppPath.h"
#include "platform/os/Desktop.h"
#include "platform/os/Prompter.h"
#include "viewer/ViewerTestSupport.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <gtest/gtest.h>

using namespace bd;
using bd::grid::Grid;
using bd::grid::TypeButton;
using bd::grid::TypePlain;

namespace {

struct Ejemplo : ::testing::Test {
    test::TempHome home{true};
    test::LinkedViewer w;
    os::ScopedPrompter prompts;
    Grid& g() { return *w.v->spUsrFil; }

    void SetUp() override {
        QString error;
        ASSERT_TRUE(test::FillExampleCube(w, &error)) << error.toStdString();
    }
    // n base rows on the Region field, the values query tag of each in column 5.
    void rows(int n) {
        for (int r = 2; r <= n; ++r)
            g().copyRow(1, r);
        g().setMaxRows(n);
        for (int r = 1; r <= n; ++r) {
            g().setCellTag(Cubo::ColUsrParentesis, r, "SELECT DISTINCT Region FROM Sales");
            g().setText(Cubo::ColUsrConector, r, "And");
        }
        w.v->AplicarParentesis();
    }
    // Did the last action run the query?
    bool refreshed() {
        const bool si = !w.c->UltimaConsultaSQL.isEmpty();
        w.c->UltimaConsultaSQL.clear();
        return si;
    }
    // One line per row: kind (B base, O Or row), connector, mark.
    QStringList estado() {
        QStringList out;
        for (int r = 1; r <= g().maxRows(); ++r)
            out << QString("%1 %2 %3")
                       .arg(g().cellType(Cubo::ColUsrAgregarOr, r) == TypePlain ? "O" : "B",
                            g().text(Cubo::ColUsrConector, r), g().text(Cubo::ColUsrParentesis, r))
                       .simplified();
        return out;
    }
    void press(int col, int row) { emit g().buttonClicked(col, row, 0); }
    double totalAmount() {
        const int r = w.v->DC->resultRows() - 1;
        EXPECT_EQ(w.v->DC->rowHeaderText(r, 0), "Grand Total");
        return w.v->DC->cellValue(r, 0).toDouble();
    }
    double sqliteSum(const QString& where) {
        const QString name = QUuid::createUuid().toString();
        double out = 0;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(os::AppPath() + "/Example.sqlite");
            EXPECT_TRUE(db.open());
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec("SELECT SUM(Amount) FROM Sales " + where));
            EXPECT_TRUE(q.next());
            out = q.value(0).toDouble();
        }
        QSqlDatabase::removeDatabase(name);
        return out;
    }
};

} // namespace

// Scripts of "+" (+r) and "-" (-r, answered Yes) over base rows; the connectors and marks after them.
TEST_F(Ejemplo, PlusAndMinusScriptsGiveTheseConnectorsAndMarks) {
    struct Case {
        int bases;
        QStringList script;
        QStringList esperado;
    } casos[] = {
        {2, {"+1"}, {"B Or (", "O And )", "B"}},
        {2, {"+2"}, {"B And", "B Or (", "O )"}},
        {2, {"+1", "+1"}, {"B Or (", "O Or", "O And )", "B"}},
        {3, {"+2", "+1"}, {"B Or (", "O And )", "B Or (", "O And )", "B"}},
        {2, {"+1", "+1", "-3"}, {"B Or (", "O And )", "B"}},
        {2, {"+1", "+1", "-2"}, {"B Or (", "O And )", "B"}},
        {2, {"+1", "-2"}, {"B And", "B"}},
        {2, {"+1", "-1"}, {"B Or (", "O And )", "B"}}, // "-" on a base row keeps it
    };
    for (const Case& k : casos) {
        SCOPED_TRACE(k.script.join(' ').toStdString());
        rows(k.bases);
        for (const QString& step : k.script) {
            const int r = step.mid(1).toInt();
            if (step[0] == '-' && g().cellType(Cubo::ColUsrAgregarOr, r) == TypePlain)
                prompts->answer(os::Answer::Yes);
            press(step[0] == '+' ? Cubo::ColUsrAgregarOr : Cubo::ColUsrQuitar, r);
            EXPECT_TRUE(refreshed());
        }
        EXPECT_EQ(estado(), k.esperado);
        EXPECT_TRUE(prompts->queue.isEmpty());
    }
}

TEST_F(Ejemplo, AnOrRowCopiesTheFieldOperatorValuesAndTheValuesQuery) {
    rows(1);
    g().setText(Cubo::ColUsrOperador, 1, "Between");
    g().setCellType(Cubo::ColUsrHasta, 1, TypeButton);
    g().setLock(Cubo::ColUsrHasta, 1, false);
    g().setTypeButtonText(Cubo::ColUsrDesde, 1, "East");
    g().setTypeButtonText(Cubo::ColUsrHasta, 1, "West");
    press(Cubo::ColUsrAgregarOr, 1);
    EXPECT_TRUE(refreshed());
    ASSERT_EQ(g().maxRows(), 2);
    for (int c = Cubo::ColUsrCampo; c <= Cubo::ColUsrHasta; ++c) {
        EXPECT_EQ(g().text(c, 2), g().text(c, 1)) << c;
        EXPECT_EQ(g().cellTag(c, 2), g().cellTag(c, 1)) << c;
        EXPECT_EQ(g().typeButtonText(c, 2), g().typeButtonText(c, 1)) << c;
    }
    EXPECT_EQ(g().cellType(Cubo::ColUsrHasta, 2), TypeButton);
    EXPECT_EQ(g().cellTag(Cubo::ColUsrParentesis, 1), "SELECT DISTINCT Region FROM Sales");
    EXPECT_EQ(g().cellTag(Cubo::ColUsrParentesis, 2), ""); // the values query is not copied
    EXPECT_TRUE(g().lock(Cubo::ColUsrAgregarOr, 2));
    EXPECT_TRUE(g().text(Cubo::ColUsrAgregarOr, 2).isEmpty());

    // An Or row has no "+": clicking there does nothing.
    press(Cubo::ColUsrAgregarOr, 2);
    EXPECT_EQ(g().maxRows(), 2);
    EXPECT_FALSE(refreshed());
}

TEST_F(Ejemplo, PlusOnARowWithoutFieldOnlySetsOr) {
    rows(2);
    g().setText(Cubo::ColUsrCampo, 1, QString());
    press(Cubo::ColUsrAgregarOr, 1);
    EXPECT_EQ(g().maxRows(), 2);
    EXPECT_EQ(g().text(Cubo::ColUsrConector, 1), "Or");
    EXPECT_FALSE(refreshed());
}

TEST_F(Ejemplo, MinusOnAnOrRowAsksAndNoKeepsIt) {
    rows(1);
    press(Cubo::ColUsrAgregarOr, 1);
    refreshed();
    prompts->answer(os::Answer::No);
    press(Cubo::ColUsrQuitar, 2);
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].text, "Are you sure to remove this row ?");
    EXPECT_EQ(prompts->prompts[0].title, "Remove");
    EXPECT_EQ(prompts->prompts[0].buttons, os::Buttons::YesNo);
    EXPECT_EQ(g().maxRows(), 2);
    EXPECT_FALSE(refreshed());
}

TEST_F(Ejemplo, MinusOnABaseRowClearsBothValues) {
    rows(1);
    g().setTypeButtonText(Cubo::ColUsrDesde, 1, "East");
    g().setTypeButtonText(Cubo::ColUsrHasta, 1, "West");
    press(Cubo::ColUsrQuitar, 1);
    EXPECT_TRUE(prompts->prompts.isEmpty());
    EXPECT_EQ(g().maxRows(), 1);
    EXPECT_EQ(g().typeButtonText(Cubo::ColUsrDesde, 1), "...");
    EXPECT_EQ(g().typeButtonText(Cubo::ColUsrHasta, 1), "...");
    EXPECT_TRUE(refreshed());
}

TEST_F(Ejemplo, OperatorBetweenAndEqualSwitchTheToCell) {
    rows(1);
    g().setTypeButtonText(Cubo::ColUsrDesde, 1, "East");
    g().setText(Cubo::ColUsrOperador, 1, "Between");
    emit g().comboSelChange(Cubo::ColUsrOperador, 1);
    EXPECT_TRUE(refreshed());
    EXPECT_EQ(g().cellType(Cubo::ColUsrHasta, 1), TypeButton);
    EXPECT_FALSE(g().lock(Cubo::ColUsrHasta, 1));
    EXPECT_EQ(g().typeButtonColor(Cubo::ColUsrHasta, 1), 0xFFFFFFu);
    EXPECT_EQ(g().typeButtonText(Cubo::ColUsrHasta, 1), "...");
    EXPECT_EQ(g().typeButtonText(Cubo::ColUsrDesde, 1), "...");
    EXPECT_EQ(w.v->ReadSelectorValues(1).between, true);

    g().setTypeButtonText(Cubo::ColUsrDesde, 1, "East");
    g().setTypeButtonText(Cubo::ColUsrHasta, 1, "West");
    g().setText(Cubo::ColUsrOperador, 1, "=");
    emit g().comboSelChange(Cubo::ColUsrOperador, 1);
    EXPECT_TRUE(refreshed());
    EXPECT_EQ(g().cellType(Cubo::ColUsrHasta, 1), TypePlain);
    EXPECT_TRUE(g().lock(Cubo::ColUsrHasta, 1));
    EXPECT_TRUE(g().text(Cubo::ColUsrHasta, 1).isEmpty());
    EXPECT_EQ(g().typeButtonText(Cubo::ColUsrHasta, 1), "...");
    EXPECT_EQ(g().typeButtonText(Cubo::ColUsrDesde, 1), "East"); // From keeps its value
    EXPECT_EQ(w.v->ReadSelectorValues(1).between, false);
}

TEST_F(Ejemplo, TheBlankConnectorBecomesAnd) {
    rows(2);
    for (const QString& t : {QString(" "), QString("x")}) {
        g().setText(Cubo::ColUsrConector, 1, t);
        emit g().changed(Cubo::ColUsrConector, 1);
        EXPECT_EQ(g().text(Cubo::ColUsrConector, 1), "And");
    }
    g().setText(Cubo::ColUsrConector, 1, "Or");
    emit g().changed(Cubo::ColUsrConector, 1);
    EXPECT_EQ(g().text(Cubo::ColUsrConector, 1), "Or");
}

TEST_F(Ejemplo, DeleteClearsTheValuesOnlyFromColumnsOneToFour) {
    rows(1);
    g().setCellType(Cubo::ColUsrHasta, 1, TypeButton);
    for (int col = 1; col <= 8; ++col) {
        SCOPED_TRACE(col);
        g().setTypeButtonText(Cubo::ColUsrDesde, 1, "East");
        g().setTypeButtonText(Cubo::ColUsrHasta, 1, "West");
        g().setActiveCell(col, 1);
        emit g().keyDown(65, 0); // another key: nothing
        EXPECT_EQ(g().typeButtonText(Cubo::ColUsrDesde, 1), "East");
        emit g().keyDown(46, 0);
        const bool clears = col <= 4;
        EXPECT_EQ(g().typeButtonText(Cubo::ColUsrDesde, 1), clears ? "..." : "East");
        EXPECT_EQ(g().typeButtonText(Cubo::ColUsrHasta, 1), clears ? "..." : "West");
        EXPECT_EQ(refreshed(), clears);
    }
}

// The picker is offered only limits it can read: a numeric field's limits must be numbers, a date
// field's dates.
TEST_F(Ejemplo, LimitsThatAreNotNumbersOrDatesAreLeftOut) {
    rows(1);
    struct Case {
        const char *typeClass, *limit;
        bool offered;
    } casos[] = {{"ISNUMERIC", "10", true},      {"ISNUMERIC", "2,5", true},    {"ISNUMERIC", "abc", false},
                 {"ISDATE", "2024-01-01", true}, {"ISDATE", "tomorrow", false}, {"ISTEXT", "abc", true},
                 {"ISNUMERIC", "...", false}};
    for (const Case& k : casos) {
        SCOPED_TRACE(std::string(k.typeClass) + " " + k.limit);
        g().setCellTag(Cubo::ColUsrOperador, 1, k.typeClass);
        g().setCellTag(Cubo::ColUsrDesde, 1, k.limit);
        g().setCellTag(Cubo::ColUsrHasta, 1, k.limit);
        const Cubo::SelectorValues s = w.v->ReadSelectorValues(1);
        EXPECT_EQ(s.fromLimit, k.offered ? QString(k.limit) : QString());
        EXPECT_EQ(s.toLimit, k.offered ? QString(k.limit) : QString());
    }
}

// An edit of the Region filter re-runs the query: the pivot's grand total is SQLite's own sum.
TEST_F(Ejemplo, AnEditRerunsTheQueryAndThePivotShowsTheFilteredTotals) {
    const double allRows = sqliteSum(QString());
    EXPECT_NEAR(totalAmount(), allRows, 0.005);
    g().setTypeButtonText(Cubo::ColUsrDesde, 1, "Central"); // as the picker leaves it
    g().setText(Cubo::ColUsrOperador, 1, "=");
    emit g().comboSelChange(Cubo::ColUsrOperador, 1);
    EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join(" / ").toStdString();
    EXPECT_TRUE(w.c->UltimaConsultaSQL.contains("Central")) << w.c->UltimaConsultaSQL.toStdString();
    const double central = sqliteSum("WHERE Region = 'Central'");
    EXPECT_LT(central, allRows);
    EXPECT_NEAR(totalAmount(), central, 0.005);

    // An Or row for another region.
    press(Cubo::ColUsrAgregarOr, 1);
    g().setTypeButtonText(Cubo::ColUsrDesde, 2, "North");
    emit g().comboSelChange(Cubo::ColUsrOperador, 2);
    EXPECT_NEAR(totalAmount(), sqliteSum("WHERE Region IN ('Central', 'North')"), 0.005);

    // Delete clears the values: every region again.
    g().setActiveCell(Cubo::ColUsrCampo, 2);
    emit g().keyDown(46, 0);
    g().setActiveCell(Cubo::ColUsrCampo, 1);
    emit g().keyDown(46, 0);
    EXPECT_NEAR(totalAmount(), allRows, 0.005);
    EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join(" / ").toStdString();
}

// Designer filters not offered to the user leave no gap: the offered ones after them are still
// there once the cube is saved and opened again.
TEST_F(Ejemplo, ARebuildWithGapsSurvivesASaveAndAnOpen) {
    Grid& fil = *w.c->spFil;
    fil.setMaxRows(3);
    fil.setText(Campos::ColFiltroCampo, 3, "Product");
    fil.setText(Campos::ColFiltroUsuario, 3, "1");
    fil.setText(Campos::ColOperador, 3, "Between");
    fil.setCellTag(Campos::ColOperador, 3, "ISTEXT");
    fil.setTypeButtonText(Campos::ColValorDesde, 3, "Keyboard");
    fil.setTypeButtonText(Campos::ColLimiteHasta, 3, "Monitor");
    fil.setCellTag(Campos::ColSQLValores, 3, "SELECT DISTINCT Product FROM Sales");
    ASSERT_EQ(fil.text(Campos::ColFiltroUsuario, 2), "0"); // SaleDate: not offered
    w.v->SetToolChecked(Cubo::ToolFilterPane, true);
    w.v->ColorcarGrillaFiltros(false, true, false);

    auto fields = [](const Grid& g) {
        QStringList out;
        for (int r = 1; r <= g.maxRows(); ++r)
            out << g.cellTag(Cubo::ColUsrCampo, r);
        return out;
    };
    ASSERT_EQ(fields(g()), (QStringList{"Region", "Product"}));
    EXPECT_EQ(g().typeButtonText(Cubo::ColUsrDesde, 2), "Keyboard");
    EXPECT_EQ(g().cellTag(Cubo::ColUsrHasta, 2), "Monitor");
    EXPECT_EQ(g().cellType(Cubo::ColUsrHasta, 2), TypeButton);
    EXPECT_EQ(g().cellType(Cubo::ColUsrHasta, 1), TypePlain);
    EXPECT_EQ(g().cellTag(Cubo::ColUsrParentesis, 2), "SELECT DISTINCT Product FROM Sales");

    os::ScriptedFileDialogs dialogs;
    dialogs.answers << home.path("gaps.cub");
    os::setFileDialogs(&dialogs);
    const bool guardado = w.v->Guardar(true, false);
    os::setFileDialogs(nullptr);
    ASSERT_TRUE(guardado) << prompts->texts().join(" / ").toStdString();
    test::LinkedViewer other;
    ASSERT_TRUE(other.v->Abrir(home.path("gaps.cub"))) << prompts->texts().join(" / ").toStdString();
    EXPECT_EQ(fields(*other.v->spUsrFil), (QStringList{"Region", "Product"}));
    EXPECT_EQ(other.v->spUsrFil->typeButtonText(Cubo::ColUsrDesde, 2), "Keyboard");
    other.v->Salvar = false;
}
