// The cube refresh with scripted answers: what the user is told and asked, in which order, and what the
// viewer and the designer show afterwards.
#include "designer/RefreshTestCube.h"
#include "platform/os/Clock.h"
#include "platform/os/Prompter.h"

#include <QPushButton>

using namespace refreshtest;
using namespace bd::grid;
using bd::os::Answer;

namespace {
const QStringList kSales = {"create table v (REGION varchar(10), AMT real)",
                            "insert into v values ('N', 10), ('N', 20), ('S', 30)"};

struct SalesCubeWithStatus : TestCube {
    QPushButton* status;
    explicit SalesCubeWithStatus(const QString& sql = "select * from v") : TestCube(kSales) {
        this->sql(sql);
        c->spCam->setText(1, 1, "REGION");
        c->spCam->setText(2, 1, "1");
        c->spCam->setCellTag(3, 1, "ISTEXT");
        c->spCal->setText(1, 1, "AMT");
        c->spCal->setText(2, 1, "1");
        c->spCal->setText(3, 1, "Sum");
        status = new QPushButton("Connected", viewer);
        status->setObjectName("cmdConectado");
    }
    // The definition loaded and a first result shown, without user filters.
    void load() {
        bd::os::ScopedPrompter p;
        viewer->DC->dataFields(); // nothing loaded yet
        c->Recarga = true;
        c->CargarDefinicionEnCubo();
        ASSERT_TRUE(p->prompts.isEmpty()) << p->texts().join("; ").toStdString();
        ASSERT_GT(viewer->DC->resultRows(), 0);
    }
    void filter(const QString& field, const QString& typeClass, const QString& value) {
        Grid& u = *viewer->spUsrFil;
        const int r = u.maxRows() + 1;
        u.setMaxRows(r);
        u.setText(Cubo::ColUsrCampo, r, field);
        u.setCellTag(Cubo::ColUsrCampo, r, field);
        u.setText(Cubo::ColUsrOperador, r, "=");
        u.setCellTag(Cubo::ColUsrOperador, r, typeClass);
        for (int col : {Cubo::ColUsrDesde, Cubo::ColUsrHasta})
            u.setCellType(col, r, TypeButton);
        u.setTypeButtonText(Cubo::ColUsrDesde, r, value);
        u.setTypeButtonText(Cubo::ColUsrHasta, r, "...");
        u.setCellType(Cubo::ColUsrAgregarOr, r, TypeButton); // a base row
        viewer->AplicarParentesis();                         // the connectors between the rows
    }
};

QStringList titles(const bd::os::ScriptedPrompter& p) {
    QStringList t;
    for (const auto& x : p.prompts)
        t << x.title;
    return t;
}
} // namespace

TEST(Refrescar, AWorkingRefreshShowsTheFilteredResult) {
    SalesCubeWithStatus t;
    t.load();
    t.filter("REGION", "ISTEXT", "N");
    t.db({"insert into v values ('N', 5)"});
    bd::os::ScopedPrompter p;
    bool fromFilters = false;
    t.c->Refrescar(&fromFilters);
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("; ").toStdString();
    const QString filtered = "select * from v\r\n WHERE \r\n\r\nREGION = 'N'";
    EXPECT_EQ(t.c->UltimaConsultaSQL, filtered);
    EXPECT_EQ(t.viewer->DC->recordSource(), filtered);
    EXPECT_TRUE(fromFilters); // the filters changed a query that showed results
    EXPECT_TRUE(t.cube->Conectado);
    EXPECT_EQ(t.status->text(), "Connected");
    EXPECT_TRUE(t.viewer->DC->isVisibleTo(t.viewer));
    EXPECT_EQ(t.viewer->DC->cellValue(0, 0).toDouble(), 35.0); // 10 + 20 + 5, region N only
    EXPECT_FALSE(t.c->FiltersNotApplied);
}

TEST(Refrescar, AFilterThatBreaksTheQueryBringsTheUnfilteredResultBackThenAsks) {
    struct Case {
        const char* name;
        QVector<Answer> answers;
        QStringList titles;
        bool clearedValues, unapplied;
        int tab; // -1: the designer is not shown
    } cases[] = {
        {"clear filters",
         {Answer::Yes, Answer::No, Answer::No},
         {"Error", "Visualize SQL", "Check"},
         true,
         false,
         -1},
        {"visualize SQL", {Answer::No, Answer::Yes}, {"Error", "Visualize SQL"}, false, true, 4},
        {"check DB options",
         {Answer::No, Answer::No, Answer::Yes},
         {"Error", "Visualize SQL", "Check"},
         false,
         true,
         2},
        {"No to everything",
         {Answer::No, Answer::No, Answer::No},
         {"Error", "Visualize SQL", "Check"},
         false,
         true,
         -1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SalesCubeWithStatus t;
        t.load();
        t.filter("REGION", "ISTEXT", "N");
        t.filter("NOPE", "ISNUMERIC", "5"); // no such column
        const QString flat = "select * from v";
        bd::os::ScopedPrompter p;
        for (Answer a : k.answers)
            p->answer(a);
        bool restored = false;
        p->onAsk = [&](const bd::os::Prompt&) {
            if (p->prompts.size() == 1)
                restored = t.viewer->DC->recordSource() == flat && t.viewer->DC->resultRows() > 0 &&
                           t.viewer->DC->isVisibleTo(t.viewer) && t.status->text() == "Connected";
        };
        bool fromFilters = false; // found by the refresh: the filters broke a working query
        t.c->Refrescar(&fromFilters);
        EXPECT_TRUE(fromFilters);
        EXPECT_TRUE(restored);
        EXPECT_EQ(titles(p.get()), k.titles);
        ASSERT_FALSE(p->prompts.isEmpty());
        EXPECT_TRUE(
            p->prompts[0].text.startsWith("Impossible to apply filters. Do you want to clear filters ?\n\n"));
        EXPECT_TRUE(p->prompts[0].text.contains("no such column: NOPE")) << p->prompts[0].text.toStdString();
        EXPECT_EQ(p->prompts[0].buttons, bd::os::Buttons::YesNo);
        if (p->prompts.size() > 1) {
            EXPECT_EQ(p->prompts[1].text, "Do you want to visualize SQL with filters applied ?");
        }
        if (p->prompts.size() > 2) {
            EXPECT_EQ(p->prompts[2].text, "Do you want to check DB Options ?");
        }
        const Grid& u = *t.viewer->spUsrFil;
        for (int r = 1; r <= u.maxRows(); ++r)
            for (int col : {Cubo::ColUsrDesde, Cubo::ColUsrHasta}) {
                if (k.clearedValues) {
                    EXPECT_EQ(u.typeButtonText(col, r), "...");
                }
            }
        if (!k.clearedValues) {
            EXPECT_EQ(u.typeButtonText(Cubo::ColUsrDesde, 1), "N");
        }
        EXPECT_EQ(t.c->FiltersNotApplied, k.unapplied);
        EXPECT_EQ(t.viewer->DC->recordSource(), flat); // the viewer keeps the unfiltered result
        EXPECT_TRUE(t.viewer->DC->isVisibleTo(t.viewer));
        EXPECT_TRUE(t.c->UltimaConsultaSQL.endsWith("NOPE = 5")) << t.c->UltimaConsultaSQL.toStdString();
        EXPECT_EQ(t.c->isVisible(), k.tab >= 0);
        if (k.tab >= 0) {
            EXPECT_EQ(t.c->SSTab1->currentIndex(), k.tab);
        }
        if (k.tab == 4) {
            EXPECT_TRUE(t.c->txtViewQuery->toPlainText().contains("NOPE = 5"));
            EXPECT_TRUE(t.viewer->Cerrar);
        }
        if (k.tab == 2) {
            for (QWidget* w : std::initializer_list<QWidget*>{t.c->txtDBDateFormat, t.c->txtDBHourFormat,
                                                              t.c->txtDateIndicator, t.c->txtLike})
                EXPECT_TRUE(paintedAsError(w));
        }
    }
}

TEST(Refrescar, AFailureWithNoEarlierResultIsAFailedRefreshWithTheFilteredSql) {
    SalesCubeWithStatus t;
    t.filter("NOPE", "ISNUMERIC", "5");
    t.viewer->show();
    bd::os::ScopedPrompter p;
    t.c->Refrescar(); // a first refresh: nothing shown yet, the caller passes False
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].title, "Failed to refresh data");
    EXPECT_EQ(p->prompts[0].icon, bd::os::Icon::Information);
    const QString filtered = "select * from v\r\n WHERE \r\n\r\nNOPE = 5";
    EXPECT_EQ(p->prompts[0].text,
              "The component can not resolve the information provided.\nno such column: NOPE\n" + filtered);
    EXPECT_FALSE(t.cube->Conectado);
    EXPECT_TRUE(t.viewer->Cerrar);
    EXPECT_FALSE(t.viewer->isVisible());
    EXPECT_FALSE(t.viewer->DC->isVisibleTo(t.viewer));
    EXPECT_TRUE(t.c->isVisible());
    EXPECT_EQ(t.c->SSTab1->currentIndex(), 0);
    EXPECT_TRUE(paintedAsError(t.c->txtQuery));
    EXPECT_TRUE(paintedAsError(t.c->txtConeccion));
    EXPECT_EQ(t.status->text(), "Connected");
}

TEST(Refrescar, NoFieldsNeverReachTheQuery) {
    SalesCubeWithStatus t;
    t.c->spCam->setText(1, 1, "");
    t.c->SSTab1->setCurrentIndex(2);
    bd::os::ScopedPrompter p;
    t.c->Refrescar();
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].text, "No fields were found, write a SQL statement");
    EXPECT_EQ(p->prompts[0].title, "Error");
    EXPECT_TRUE(t.viewer->DC->recordSource().isEmpty());
    EXPECT_EQ(t.c->SSTab1->currentIndex(), 0);
    EXPECT_TRUE(t.viewer->Cerrar);
    EXPECT_TRUE(t.c->isVisible());
}

TEST(Refrescar, ARefusedConnectionSendsTheUserToTheConnection) {
    for (bool quiet : {false, true}) {
        SCOPED_TRACE(quiet);
        SalesCubeWithStatus t;
        t.connection("Provider=Nothing;Data Source=x");
        t.cube->NoMostrarErrConeccion = quiet;
        bd::os::ScopedPrompter p;
        t.c->Refrescar();
        EXPECT_EQ(titles(p.get()),
                  quiet ? QStringList() : QStringList({"You are not connected to the database"}));
        EXPECT_TRUE(paintedAsError(t.c->txtConeccion));
        EXPECT_FALSE(paintedAsError(t.c->txtQuery));
        EXPECT_TRUE(t.viewer->Cerrar);
        EXPECT_EQ(t.c->SSTab1->currentIndex(), 0);
        EXPECT_TRUE(t.c->isVisible());
        EXPECT_TRUE(t.viewer->DC->recordSource().isEmpty());
    }
}

TEST(Refrescar, AnEmptyResultHidesThePivotAfterTheCaptionCameBack) {
    SalesCubeWithStatus t;
    t.load();
    t.sql("select * from v where AMT > 1000");
    t.viewer->TT1.CreateToolTip(t.viewer);
    bd::os::ScopedPrompter p;
    QString captionWhenAsked;
    p->onAsk = [&](const bd::os::Prompt&) { captionWhenAsked = t.status->text(); };
    t.c->Refrescar();
    ASSERT_EQ(p->prompts.size(), 1);
    EXPECT_EQ(p->prompts[0].text, "The query has no results.");
    EXPECT_EQ(p->prompts[0].title, "No Results");
    EXPECT_EQ(captionWhenAsked, "Connected");
    EXPECT_FALSE(t.viewer->DC->isVisibleTo(t.viewer));
    EXPECT_EQ(t.viewer->TT1.window(), nullptr) << "no drag hint over a hidden table";
    EXPECT_TRUE(t.cube->Conectado);
}

TEST(Refrescar, NoSecondRefreshWhileOneAsksAndNoHarmWhenTheWindowsCloseUnderIt) {
    {
        SalesCubeWithStatus t;
        t.load();
        t.filter("NOPE", "ISNUMERIC", "5");
        bd::os::ScopedPrompter p;
        for (int i = 0; i < 3; ++i)
            p->answer(Answer::No);
        p->onAsk = [&](const bd::os::Prompt&) {
            if (t.c) t.c->Refrescar(); // a timer tick meanwhile
        };
        t.c->Refrescar();
        EXPECT_EQ(titles(p.get()), QStringList({"Error", "Visualize SQL", "Check"}));
    }
    for (int when = 1; when <= 3; ++when) {
        SCOPED_TRACE(when);
        SalesCubeWithStatus t;
        t.load();
        t.filter("NOPE", "ISNUMERIC", "5");
        bd::os::ScopedPrompter p;
        for (int i = 0; i < 3; ++i)
            p->answer(Answer::No);
        p->onAsk = [&](const bd::os::Prompt&) {
            if (p->prompts.size() == when) delete t.viewer.data(); // the viewer takes its designer along
        };
        t.c->Refrescar();
        EXPECT_TRUE(t.c.isNull());
        EXPECT_EQ(p->prompts.size(), when);
    }
}

TEST(Refrescar, AFieldThatCannotBeComputedLeavesTheOthersShowingAndSaysWhich) {
    SalesCubeWithStatus t;
    // A measure the query no longer has, and a calculated one whose formula cannot be read.
    t.c->spCal->setText(1, 2, "GONE");
    t.c->spCal->setText(2, 2, "1");
    t.c->spCal->setText(3, 2, "Sum");
    t.c->spCal->setText(1, 3, "Calc1");
    t.c->spCal->setText(2, 3, "1");
    t.c->spCal->setText(3, 3, "Sum");
    t.c->spCal->setCellTag(Campos::TagFormula, 3, "AMT +");
    {
        bd::os::ScopedPrompter p;
        t.c->Recarga = true;
        t.c->CargarDefinicionEnCubo();
        ASSERT_EQ(titles(p.get()), QStringList({"Fields"}));
        EXPECT_TRUE(p->prompts[0].text.contains("'GONE'")) << p->prompts[0].text.toStdString();
        EXPECT_TRUE(p->prompts[0].text.contains("Calc1")) << p->prompts[0].text.toStdString();
        EXPECT_TRUE(t.viewer->DC->isVisibleTo(t.viewer));
    }
    bd::os::ScopedPrompter p;
    t.c->Refrescar();
    ASSERT_EQ(titles(p.get()), QStringList({"Fields"})); // once, and no "Failed to refresh data"
    EXPECT_TRUE(t.cube->Conectado);
    EXPECT_FALSE(t.viewer->Cerrar);
    EXPECT_TRUE(t.viewer->DC->isVisibleTo(t.viewer));
    EXPECT_EQ(t.viewer->DC->cellValue(0, 0).toDouble(), 60.0); // Sum of AMT: the measure that works
}

TEST(Refrescar, RefusedFilterValuesAreToldOnceAndOnStandardErrorWhenUnattended) {
    SalesCubeWithStatus t;
    t.load();
    t.filter("AMT", "ISNUMERIC", "ten");
    t.filter("AMT", "ISNUMERIC", "5 OR 1=1");
    {
        bd::os::ScopedPrompter p;
        t.c->Refrescar();
        ASSERT_EQ(titles(p.get()), QStringList({"Filter"}));
        EXPECT_EQ(p->prompts[0].text.count("is not a number"), 2);
    }
    // A timer refresh in an unattended run opens no box: the reason goes to standard error.
    bd::os::setUnattended(true);
    bd::os::ScopedPrompter p;
    testing::internal::CaptureStderr();
    t.c->Refrescar();
    const std::string err = testing::internal::GetCapturedStderr();
    bd::os::setUnattended(false);
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("; ").toStdString();
    EXPECT_NE(err.find("The value \"ten\" of the filter on AMT is not a number"), std::string::npos) << err;
    EXPECT_TRUE(t.viewer->DC->isVisibleTo(t.viewer)); // the query ran without the refused filters
}

TEST(TimerStarters, OnlyAPositiveNumberOfMinutesStartsATimer) {
    struct {
        QString text;
        bool on;
        double minutes;
    } cases[] = {{"", false, 0},     {"0", false, 0},   {"15", true, 15},
                 {"2,5", true, 2.5}, {"abc", false, 0}, {"-3", false, 0}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.text.toStdString());
        Campos c;
        c.txtAutorefresh->setText(k.text);
        c.txtAutoClose->setText(k.text);
        c.PrenderTimerAutorefresh();
        c.PrenderTimerAutoClose();
        EXPECT_EQ(c.TimerAutoRefresh->isEnabled(), k.on);
        EXPECT_EQ(c.TimerAutoClose->isEnabled(), k.on);
        EXPECT_EQ(c.AutoRefreshMinutes, k.minutes);
        EXPECT_EQ(c.AutoCloseMinutes, k.minutes);
    }
}
