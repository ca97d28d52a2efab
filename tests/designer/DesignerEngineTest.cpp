// The engine's date syntax and the checks of the date and hour formats.
#include "designer/RefreshTestCube.h"
#include "platform/os/Prompter.h"

#include <QCoreApplication>
#include <QFocusEvent>

using refreshtest::TestCube;

namespace {
const QString kOracle = "to_date('<FIELD>', 'DB DATE FORMAT')";

void choose(Campos& c, const QString& engine) {
    c.cmbEngine->setCurrentText(engine);
    c.cmbEngine_Click();
}
} // namespace

TEST(DesignerEngine, DefaultsFollowTheEngineOnlyWhenItChanges) {
    // Each step acts on the same designer; the boxes are read after it.
    struct Step {
        const char* what;
        std::function<void(Campos&)> run;
        QString delimiter, templateFile;
    };
    const Step steps[] = {
        {"a fresh designer", [](Campos&) {}, "'", ""},
        {"ACCESS", [](Campos& c) { choose(c, "ACCESS"); }, "#", ""},
        {"MSSQL", [](Campos& c) { choose(c, "MSSQL"); }, "'", ""},
        {"a typed delimiter", [](Campos& c) { c.txtDateIndicator->setText("\""); }, "\"", ""},
        {"the connection text changes",
         [](Campos& c) { c.txtConeccion->setPlainText("Provider=SQLite;Data Source=x.db"); }, "\"", ""},
        {"MSSQL chosen again", [](Campos& c) { choose(c, "MSSQL"); }, "\"", ""},
        {"a template typed", [](Campos& c) { c.cmdDBToDate->setText("CONVERT(<FIELD>)"); }, "\"",
         "CONVERT(<FIELD>)"},
        {"ORACLE", [](Campos& c) { choose(c, "ORACLE"); }, "'", kOracle},
        {"EXCEL", [](Campos& c) { choose(c, "EXCEL"); }, "#", ""},
        {"an emptied delimiter filled on demand",
         [](Campos& c) {
             c.txtDateIndicator->clear();
             c.VerificarMotorDB();
         },
         "#", ""},
        {"OTHER", [](Campos& c) { choose(c, "OTHER"); }, "'", ""},
    };
    TestCube t;
    for (const Step& p : steps) {
        SCOPED_TRACE(p.what);
        p.run(*t.c);
        EXPECT_EQ(t.c->txtDateIndicator->text(), p.delimiter);
        EXPECT_EQ(t.c->cmdDBToDate->text(), p.templateFile);
    }
    EXPECT_EQ(t.cube->DBEngine, "OTHER");
}

TEST(DesignerEngine, StoredSettingsSurviveTheCheckAfterOpeningAndANewCubeGetsItsEngine) {
    {
        // As a cube file restores them: the boxes, then the engine, then the cube's own check.
        Campos c;
        c.txtDateIndicator->setText("\"");
        c.cmdDBToDate->setText("STR_TO_DATE(<FIELD>, 'DB DATE FORMAT')");
        c.cmbEngine->setCurrentText("MYSQL");
        c.VerificarMotorDB();
        EXPECT_EQ(c.txtDateIndicator->text(), "\"");
        EXPECT_EQ(c.cmdDBToDate->text(), "STR_TO_DATE(<FIELD>, 'DB DATE FORMAT')");
        // The user choosing another engine afterwards gets its defaults.
        choose(c, "ACCESS");
        EXPECT_EQ(c.txtDateIndicator->text(), "#");
        EXPECT_EQ(c.cmdDBToDate->text(), "");
    }
    {
        // A new cube from the engine chooser: the engine set, then the check.
        Campos c;
        c.cmbEngine->setCurrentText("EXCEL");
        c.VerificarMotorDB();
        EXPECT_EQ(c.txtDateIndicator->text(), "#");
        EXPECT_EQ(c.cmdDBToDate->text(), "");
    }
}

TEST(DesignerEngine, DateFormatCheckedWhenLeft) {
    struct Case {
        QString written, left;
        QStringList messages;
    } cases[] = {
        {"dd/mm/yyyy", "DD/MM/YYYY", {}},
        {"YYYY-MM", "YYYY-MM-DD", {"Format should include \"DD\" "}},
        {"DD.MM", "YYYY-MM-DD", {"Format should include \"YYYY\" or \"YY\" "}},
        {"yy-dd", "YYYY-MM-DD", {"Format should include \"MM\" "}},
        {"x", "YYYY-MM-DD", {"Format should include \"DD\" "}},
        {"DD-MM-YY", "DD-MM-YY", {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.written.toStdString());
        Campos c;
        c.txtDBDateFormat->setText(k.written);
        bd::os::ScopedPrompter p;
        c.txtDBDateFormat_LostFocus();
        EXPECT_EQ(c.txtDBDateFormat->text(), k.left);
        EXPECT_EQ(p->texts(), k.messages);
        for (const auto& pr : p->prompts) {
            EXPECT_EQ(pr.title, "Error");
            EXPECT_EQ(pr.icon, bd::os::Icon::Information);
        }
    }
}

TEST(DesignerEngine, HourFormatCheckedWhenLeft) {
    struct Case {
        QString written, left;
        QStringList messages;
    } cases[] = {
        {" HH:MM:SS", " HH:MM:SS", {}},
        {"hh:mm", "HH:MM:SS", {"Format should include \"SS\" "}},
        {"mm:ss", "HH:MM:SS", {"Format should include \"HH\" "}},
        {"", "HH:MM:SS", {"Format should include \"HH\" "}},
        {"hh.nn.ss", "HH:MM:SS", {"Format should include \"MM\" "}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.written.toStdString());
        Campos c;
        c.txtDBHourFormat->setText(k.written);
        bd::os::ScopedPrompter p;
        c.txtDBHourFormat_LostFocus();
        EXPECT_EQ(c.txtDBHourFormat->text(), k.left);
        EXPECT_EQ(p->texts(), k.messages);
    }
}

TEST(DesignerEngine, GettingTheFocusClearsTheErrorColour) {
    Campos c;
    c.show();
    for (QWidget* w :
         std::initializer_list<QWidget*>{c.txtDateIndicator, c.txtDBDateFormat, c.txtDBHourFormat, c.txtLike,
                                         c.txtConeccion, c.txtQuery}) {
        SCOPED_TRACE(w->objectName().toStdString());
        Campos::PaintBackground(w, Campos::ColorError);
        ASSERT_TRUE(refreshtest::paintedAsError(w));
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
        QCoreApplication::sendEvent(w, &in);
        EXPECT_FALSE(refreshtest::paintedAsError(w));
    }
}
