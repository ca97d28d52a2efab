// The engine's date syntax and the checks of the date and hour formats.
#include "designer/RefreshTestCube.h"
#include "platform/os/Prompter.h"

#include <QCoreApplication>
#include <QFocusEvent>

using refreshtest::CuboDePrueba;

namespace {
const QString kOracle = "to_date('<FIELD>', 'DB DATE FORMAT')";

void elegir(Campos& c, const QString& motor) {
    c.cmbEngine->setCurrentText(motor);
    c.cmbEngine_Click();
}
} // namespace

TEST(DesignerEngine, DefaultsFollowTheEngineOnlyWhenItChanges) {
    // Each step acts on the same designer; the boxes are read after it.
    struct Paso {
        const char* que;
        std::function<void(Campos&)> hacer;
        QString delimitador, plantilla;
    };
    const Paso pasos[] = {
        {"a fresh designer", [](Campos&) {}, "'", ""},
        {"ACCESS", [](Campos& c) { elegir(c, "ACCESS"); }, "#", ""},
        {"MSSQL", [](Campos& c) { elegir(c, "MSSQL"); }, "'", ""},
        {"a typed delimiter", [](Campos& c) { c.txtDateIndicator->setText("\""); }, "\"", ""},
        {"the connection text changes",
         [](Campos& c) { c.txtConeccion->setPlainText("Provider=SQLite;Data Source=x.db"); }, "\"", ""},
        {"MSSQL chosen again", [](Campos& c) { elegir(c, "MSSQL"); }, "\"", ""},
        {"a template typed", [](Campos& c) { c.cmdDBToDate->setText("CONVERT(<FIELD>)"); }, "\"",
         "CONVERT(<FIELD>)"},
        {"ORACLE", [](Campos& c) { elegir(c, "ORACLE"); }, "'", kOracle},
        {"EXCEL", [](Campos& c) { elegir(c, "EXCEL"); }, "#", ""},
        {"an emptied delimiter filled on demand",
         [](Campos& c) {
             c.txtDateIndicator->clear();
             c.VerificarMotorDB();
         },
         "#", ""},
        {"OTHER", [](Campos& c) { elegir(c, "OTHER"); }, "'", ""},
    };
    CuboDePrueba t;
    for (const Paso& p : pasos) {
        SCOPED_TRACE(p.que);
        p.hacer(*t.c);
        EXPECT_EQ(t.c->txtDateIndicator->text(), p.delimitador);
        EXPECT_EQ(t.c->cmdDBToDate->text(), p.plantilla);
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
        elegir(c, "ACCESS");
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
    struct Caso {
        QString escrito, queda;
        QStringList mensajes;
    } casos[] = {
        {"dd/mm/yyyy", "DD/MM/YYYY", {}},
        {"YYYY-MM", "YYYY-MM-DD", {"Format should include \"DD\" "}},
        {"DD.MM", "YYYY-MM-DD", {"Format should include \"YYYY\" or \"YY\" "}},
        {"yy-dd", "YYYY-MM-DD", {"Format should include \"MM\" "}},
        {"x", "YYYY-MM-DD", {"Format should include \"DD\" "}},
        {"DD-MM-YY", "DD-MM-YY", {}},
    };
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.escrito.toStdString());
        Campos c;
        c.txtDBDateFormat->setText(k.escrito);
        bd::os::ScopedPrompter p;
        c.txtDBDateFormat_LostFocus();
        EXPECT_EQ(c.txtDBDateFormat->text(), k.queda);
        EXPECT_EQ(p->texts(), k.mensajes);
        for (const auto& pr : p->prompts) {
            EXPECT_EQ(pr.title, "Error");
            EXPECT_EQ(pr.icon, bd::os::Icon::Information);
        }
    }
}

TEST(DesignerEngine, HourFormatCheckedWhenLeft) {
    struct Caso {
        QString escrito, queda;
        QStringList mensajes;
    } casos[] = {
        {" HH:MM:SS", " HH:MM:SS", {}},
        {"hh:mm", "HH:MM:SS", {"Format should include \"SS\" "}},
        {"mm:ss", "HH:MM:SS", {"Format should include \"HH\" "}},
        {"", "HH:MM:SS", {"Format should include \"HH\" "}},
        {"hh.nn.ss", "HH:MM:SS", {"Format should include \"MM\" "}},
    };
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.escrito.toStdString());
        Campos c;
        c.txtDBHourFormat->setText(k.escrito);
        bd::os::ScopedPrompter p;
        c.txtDBHourFormat_LostFocus();
        EXPECT_EQ(c.txtDBHourFormat->text(), k.queda);
        EXPECT_EQ(p->texts(), k.mensajes);
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
        ASSERT_TRUE(refreshtest::pintadoDeError(w));
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
        QCoreApplication::sendEvent(w, &in);
        EXPECT_FALSE(refreshtest::pintadoDeError(w));
    }
}
