// Loading the definition grids into the viewer's pivot: the exact fields it gets, and data-only reloads.
#include "designer/RefreshTestCube.h"
#include "platform/os/Prompter.h"

#include <QTest>

using namespace refreshtest;
using namespace bd::grid;

namespace {
const QStringList kSales = {
    "create table v (REGION varchar(10), YR integer, NOTE memo, AMT real, QTY integer, PRICE real)",
    "insert into v values ('N', 2023, 'a', 10, 1, 5), ('N', 2024, 'b', 20, 3, 6), ('S', 2024, 'c', 30, 5, "
    "7)"};

void field(Grid& g, int r, const QString& n, const QString& dim, const QString& typeClass,
           const QString& caption = {}) {
    g.setText(1, r, n);
    g.setText(2, r, dim);
    g.setCellTag(3, r, typeClass);
    g.setCellTag(1, r, caption);
}

void measure(Grid& g, int r, const QString& n, const QString& visible, const QString& aggregation,
             const QString& formula = {}, const QString& caption = {}, const QString& format = {}) {
    g.setText(1, r, n);
    g.setText(2, r, visible);
    g.setText(3, r, aggregation);
    g.setCellTag(3, r, formula);
    g.setCellTag(1, r, caption);
    g.setCellTag(2, r, format);
}

struct FieldSeen {
    QString name, caption;
    int orientation, aggregation;
    QString formula, format;
    bool operator==(const FieldSeen&) const = default;
};

std::ostream& operator<<(std::ostream& o, const FieldSeen& h) {
    return o << h.name.toStdString() << "|" << h.caption.toStdString() << "|" << h.orientation << "|"
             << h.aggregation << "|" << h.formula.toStdString() << "|" << h.format.toStdString();
}

std::vector<FieldSeen> fieldsOf(const bd::pivot::PivotFieldList& l) {
    std::vector<FieldSeen> out;
    for (auto* f : l)
        out.push_back(
            {f->name(), f->caption(), f->orientation(), f->aggregate(), f->formula(), f->numberFormat()});
    return out;
}
} // namespace

TEST(CargarDefinicionEnCubo, MixedGridsGiveTheseFieldsInGridOrder) {
    TestCube t(kSales);
    t.sql("select * from v");
    Campos& c = *t.c;
    field(*c.spCam, 1, "REGION", "1", "ISTEXT", "Region name");
    field(*c.spCam, 2, "YR", "1", "ISNUMERIC"); // a numeric dimension
    field(*c.spCam, 3, "NOTE", "0", "ISMEMO");
    field(*c.spCam, 5, "AMT", "1", "ISNUMERIC"); // a gap before it; also a shown measure, which wins
    Grid& measureGrid = *c.spCal;
    measure(measureGrid, 1, "QTY", "1", "StDevP", {}, "Quantity", "0.0");
    measure(measureGrid, 2, "QTY", "", ""); // its alert sub-row
    measureGrid.setCellType(2, 2, TypePlain);
    measureGrid.setCellType(3, 2, TypePlain);
    measure(measureGrid, 4, "PRICE", "1", "StDev");
    measure(measureGrid, 5, "AMT", "1", "sum"); // another case matches no code: the pivot's default stays
    measure(measureGrid, 6, "HIDDEN", "0", "Max");
    measure(measureGrid, 7, "MARGIN", "1", "", "AMT - PRICE", "Margin", "#,##0.00");
    measureGrid.setLock(3, 7, true);
    c.Recarga = true;

    bd::os::ScopedPrompter p;
    c.CargarDefinicionEnCubo();
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("; ").toStdString();

    bd::pivot::PivotTable& dc = *t.viewer->DC;
    const std::vector<FieldSeen> expected = {
        {"REGION", "Region name", 4, 0, "", ""},
        {"YR", "YR", 4, 0, "", ""},
        {"QTY", "Quantity", 3, 6, "", "0.0"},
        {"PRICE", "PRICE", 3, 5, "", ""},
        {"AMT", "AMT", 3, 0, "", ""},
        // named by its id, the formula kept apart, no aggregate set
        {"MARGIN", "Margin", 3, 0, "AMT - PRICE", "#,##0.00"},
    };
    EXPECT_EQ(fieldsOf(dc.fields()), expected);
    EXPECT_EQ(fieldsOf(dc.dataFields()), std::vector<FieldSeen>(expected.begin() + 2, expected.end()));
    EXPECT_EQ(dc.recordSource(), "select * from v");
    EXPECT_EQ(dc.connectionString(), t.cube->CnnSql->connectionString());
    EXPECT_GT(dc.resultRows(), 0);
    EXPECT_FALSE(c.Recarga);
    EXPECT_TRUE(dc.isVisibleTo(t.viewer));
    EXPECT_TRUE(t.viewer->isVisible());
    EXPECT_FALSE(c.isVisible());
    EXPECT_EQ(measureGrid.text(1, 3), "PRICE"); // the measure grid was compacted
}

TEST(CargarDefinicionEnCubo, TheRowCountFieldOnlyWithoutAnyMeasureRow) {
    struct Case {
        const char* name;
        bool withMeasure;
        std::vector<QString> data;
    } cases[] = {
        {"no measure row", false, {"1"}},
        {"only an unchecked measure", true, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TestCube t(kSales);
        t.sql("select * from v");
        field(*t.c->spCam, 1, "REGION", "1", "ISTEXT");
        if (k.withMeasure) measure(*t.c->spCal, 1, "AMT", "0", "Sum");
        t.c->Recarga = true;
        bd::os::ScopedPrompter p;
        t.c->CargarDefinicionEnCubo();
        std::vector<QString> data;
        for (auto* f : t.viewer->DC->dataFields())
            data.push_back(f->name());
        EXPECT_EQ(data, k.data);
        if (!k.data.empty()) {
            EXPECT_EQ(t.viewer->DC->dataFields().item(0)->caption(), "Count");
        }
    }
}

TEST(CargarDefinicionEnCubo, WithNothingChangedOnlyTheDataIsRefreshed) {
    TestCube t(kSales);
    t.sql("select * from v");
    field(*t.c->spCam, 1, "REGION", "1", "ISTEXT");
    measure(*t.c->spCal, 1, "AMT", "1", "Sum");
    t.c->Recarga = true;
    t.c->connectRefreshHandlers();
    t.c->connectRefreshHandlers(); // a second call connects nothing twice
    bd::os::ScopedPrompter p;
    QTest::mouseClick(t.c->cmdAceptar, Qt::LeftButton);
    bd::pivot::PivotTable& dc = *t.viewer->DC;
    ASSERT_EQ(dc.fields().count(), 2);
    dc.fields().item("REGION")->setOrientation(bd::pivot::RowArea); // the user's layout
    const int before = dc.resultRows();

    t.db({"insert into v values ('E', 2024, 'd', 1, 1, 1)"});
    field(*t.c->spCam, 2, "YR", "1", "ISNUMERIC"); // not loaded: the structure is not marked as changed
    QTest::mouseClick(t.c->cmdAceptar, Qt::LeftButton);
    EXPECT_EQ(dc.fields().count(), 2);
    EXPECT_EQ(dc.rowFields().count(), 1);
    EXPECT_EQ(dc.resultRows(), before + 1);
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("; ").toStdString();
}

TEST(CargarDefinicionEnCubo, TheUserFiltersArePartOfTheQuery) {
    TestCube t(kSales);
    t.sql("select * from v;");
    field(*t.c->spCam, 1, "REGION", "1", "ISTEXT");
    Grid& u = *t.viewer->spUsrFil;
    u.setMaxRows(1);
    u.setCellTag(Cubo::ColUsrCampo, 1, "REGION");
    u.setText(Cubo::ColUsrOperador, 1, "=");
    u.setCellTag(Cubo::ColUsrOperador, 1, "ISTEXT");
    u.setCellType(Cubo::ColUsrDesde, 1, TypeButton);
    u.setTypeButtonText(Cubo::ColUsrDesde, 1, "S");
    t.c->Recarga = true;
    bd::os::ScopedPrompter p;
    t.c->CargarDefinicionEnCubo();
    EXPECT_EQ(t.viewer->DC->recordSource(), "select * from v\r\n WHERE \r\n\r\nREGION = 'S'");
    EXPECT_EQ(t.c->UltimaConsultaSQL, t.viewer->DC->recordSource());
    EXPECT_EQ(t.viewer->DC->cellValue(0, 0).toInt(), 1); // region S only, of three records
}

TEST(CargarDefinicionEnCubo, AFailingQueryHidesThePivotAndSaysWhy) {
    TestCube t(kSales);
    t.sql("select * from nothing_here");
    field(*t.c->spCam, 1, "REGION", "1", "ISTEXT");
    t.c->Recarga = true;
    bd::os::ScopedPrompter p;
    t.c->CargarDefinicionEnCubo();
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].title, "Error");
    EXPECT_TRUE(p->prompts[0].text.contains("no such table")) << p->prompts[0].text.toStdString();
    EXPECT_FALSE(t.viewer->DC->isVisibleTo(t.viewer));
    EXPECT_TRUE(t.c->Recarga); // the next OK rebuilds again
}

// A cube first loaded without a measure has its charts off; the first measure brings the chart back
// into the window, its band above the chart and both above the status bar.
TEST(CargarDefinicionEnCubo, TheFirstMeasureBringsTheChartBackIntoTheWindow) {
    TestCube t(kSales);
    t.sql("select * from v");
    Campos& c = *t.c;
    Cubo& v = *t.viewer;
    v.resize(1200, 800);
    field(*c.spCam, 1, "REGION", "1", "ISTEXT");
    c.Recarga = true;
    bd::os::ScopedPrompter p;
    c.CargarDefinicionEnCubo();
    ASSERT_TRUE(v.isVisible());
    ASSERT_TRUE(v.ToolChecked(Cubo::ToolNoChart)) << "no measure: charts off";
    EXPECT_FALSE(v.CHA->isVisible());

    measure(*c.spCal, 1, "AMT", "1", "Sum");
    c.Recarga = true;
    c.CargarDefinicionEnCubo();
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("; ").toStdString();
    EXPECT_FALSE(v.ToolChecked(Cubo::ToolNoChart));
    EXPECT_TRUE(v.Split->Visible());
    EXPECT_TRUE(v.CHA->isVisible());
    EXPECT_TRUE(v.ABGraph->isVisible());
    const int statusBar = v.SB->geometry().top();
    EXPECT_LE(v.ABGraph->geometry().bottom(), v.CHA->geometry().top());
    EXPECT_GE(v.CHA->height(), 100) << "a chart one can read";
    EXPECT_LE(v.CHA->geometry().bottom(), statusBar);
    EXPECT_LE(v.DC->geometry().bottom(), v.ABGraph->geometry().top());
}

// OK checks the Filters tool: the pane follows at once, shown when the designer offers filters, and
// the tool unchecked again when it offers none.
TEST(CargarDefinicionEnCubo, TheFilterPaneFollowsTheFiltersToolAtOnce) {
    for (const bool withFilter : {true, false}) {
        SCOPED_TRACE(withFilter ? "an offered filter" : "no filter");
        TestCube t(kSales);
        t.sql("select * from v");
        Campos& c = *t.c;
        Cubo& v = *t.viewer;
        v.resize(1200, 800);
        field(*c.spCam, 1, "REGION", "1", "ISTEXT");
        measure(*c.spCal, 1, "AMT", "1", "Sum");
        if (withFilter) {
            c.spFil->setText(Campos::ColFiltroCampo, 1, "REGION");
            c.spFil->setText(Campos::ColFiltroUsuario, 1, "1");
            c.spFil->setText(Campos::ColOperador, 1, "=");
            c.spFil->setCellTag(Campos::ColOperador, 1, "ISTEXT");
            c.spFil_Change(1, 1); // the filter definitions were touched
        }
        c.Recarga = true;
        bd::os::ScopedPrompter p;
        c.CargarDefinicionEnCubo();
        ASSERT_TRUE(v.isVisible());
        EXPECT_EQ(v.ToolChecked(Cubo::ToolFilterPane), withFilter);
        EXPECT_EQ(v.spUsrFil->isVisible(), withFilter);
        // The user hides the pane; the next OK, with the filters as they were, shows it again.
        v.SetToolChecked(Cubo::ToolFilterPane, false);
        v.ColorcarGrillaFiltros(false, false, true);
        EXPECT_FALSE(v.spUsrFil->isVisible());
        c.CargarDefinicionEnCubo();
        EXPECT_EQ(v.ToolChecked(Cubo::ToolFilterPane), withFilter);
        EXPECT_EQ(v.spUsrFil->isVisible(), withFilter);
        if (withFilter) {
            EXPECT_GT(v.spUsrFil->height(), 20);
            EXPECT_GE(v.DC->y(), v.spUsrFil->geometry().bottom());
        }
    }
}
