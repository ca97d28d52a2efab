// The new-cube chooser: its picture buttons and hint, the file dialog, the information dialogs of the
// server kinds, the arguments it gives NuevoCubo, unusable files, and new cubes made from a file.
#include "common/TestSupport.h"
#include "designer/Campos.h"
#include "designer/ConnectionInfoDialogs.h"
#include "designer/FrmNewCube.h"
#include "designer/RefreshTestCube.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/FileImport.h"
#include "platform/os/Desktop.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "shell/FrmMain.h"
#include "shell/General.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct RecordingLauncher : FrmMain::Launcher {
    std::vector<FrmMain::NewCubeArgs> opened;
    void openCube(FrmMain&, const FrmMain::NewCubeArgs& a) override { opened.push_back(a); }
    void quit() override {}
};

// A start window with the language texts loaded, a scripted file dialog and scripted prompts. The
// chooser is opened through the start window's "New Cube" and driven by `drive`.
struct Asistente : ::testing::Test {
    bd::test::TempHome home;
    RecordingLauncher launcher;
    bd::os::ScriptedFileDialogs dialogos;
    bd::os::ScopedPrompter p;
    FrmMain main;

    void SetUp() override {
        General::CargarIdioma();
        General::sIdioma = "en";
        bd::os::setFileDialogs(&dialogos);
        main.setLauncher(&launcher);
        main.show();
    }
    void TearDown() override {
        bd::os::setFileDialogs(nullptr);
        main.setLauncher(nullptr);
    }

    // Runs "New Cube"; drive gets the chooser and every other modal dialog shown meanwhile.
    void nuevo(const std::function<void(QDialog*)>& drive) {
        bd::os::ScopedDialogHandler h([&](QDialog* d) {
            drive(d);
            return d->result();
        });
        main.cmdNuevoCubo->click();
    }
    // Runs "New Cube" and clicks one button of the chooser; info dialogs are answered by info.
    void elegir(QToolButton* FrmNewCube::*boton, const std::function<void(QDialog*)>& info = {}) {
        nuevo([&](QDialog* d) {
            if (auto* ch = qobject_cast<FrmNewCube*>(d)) {
                (ch->*boton)->click();
                EXPECT_FALSE(ch->isVisible());
            } else if (info) {
                info(d);
            }
        });
    }
};

} // namespace

TEST_F(Asistente, CancelOrAnEmptyNameCreatesNothingAndTheChooserStays) {
    dialogos.answers = {std::nullopt, QString(), std::nullopt};
    bool visible = true;
    nuevo([&](QDialog* d) {
        auto* ch = qobject_cast<FrmNewCube*>(d);
        ASSERT_TRUE(ch);
        ch->cmdExcel->click();
        ch->cmdExcel->click();
        ch->cmdAccess->click();
        visible = ch->isVisible();
        ch->reject();
    });
    EXPECT_TRUE(visible);
    EXPECT_TRUE(launcher.opened.empty());
    ASSERT_EQ(dialogos.requests.size(), 3);
    const QString titulos[] = {"Choose an MS Excel file", "Choose an MS Excel file",
                               "Choose an MS Access file"};
    const QString filtros[] = {"Excel Files|*.xls;*.xlsx;*.csv|all|*.*",
                               "Excel Files|*.xls;*.xlsx;*.csv|all|*.*", "Access db|*.mdb;*.accdb|all|*.*"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(dialogos.requests[i].title, titulos[i]);
        EXPECT_EQ(dialogos.requests[i].filter, filtros[i]);
        EXPECT_FALSE(dialogos.requests[i].save);
    }
    EXPECT_TRUE(p->prompts.isEmpty());
}

TEST_F(Asistente, AChosenFileGivesNuevoCuboItsKindAndPath) {
    const QString csv = home.path("sales.csv");
    ASSERT_TRUE(bd::test::writeFile(csv, "Region,Amount\nN,1\n"));
    const QString mdb = bd::test::sharedDir() + "/fixtures/desktop-db/users.mdb";
    const QString xls = bd::test::fixturesDir() + "/db/bddata.xls";
    struct Caso {
        QToolButton* FrmNewCube::*boton;
        QString archivo, tipo;
    } casos[] = {{&FrmNewCube::cmdExcel, csv, "EXCEL"},
                 {&FrmNewCube::cmdExcel, xls, "EXCEL"},
                 {&FrmNewCube::cmdAccess, mdb, "ACCESS"}};
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.archivo.toStdString());
        launcher.opened.clear();
        dialogos.answers = {k.archivo};
        elegir(k.boton);
        ASSERT_EQ(launcher.opened.size(), 1u) << p->texts().join("|").toStdString();
        const FrmMain::NewCubeArgs& a = launcher.opened[0];
        EXPECT_EQ(a.IdCube, "Nuevo Cubo");
        EXPECT_EQ(a.Conexion, "");
        EXPECT_EQ(a.Query, "");
        EXPECT_FALSE(a.Abrir);
        EXPECT_FALSE(a.CuboEjemplo);
        EXPECT_EQ(a.PathCubo, "");
        EXPECT_EQ(a.PathMSFile, QFileInfo(k.archivo).absoluteFilePath());
        EXPECT_EQ(a.Tipo, k.tipo);
    }
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("|").toStdString();
}

TEST_F(Asistente, ServerKindsShowTheirInstructionsAndGoOnHoweverTheyAreClosed) {
    enum Cierre { Ok, CloseButton, Escape };
    struct Caso {
        QToolButton* FrmNewCube::*boton;
        QString dialogo, titulo, clave, tipo;
        Cierre cierre;
    } casos[] = {
        {&FrmNewCube::cmdSql, "frmSqlCon", "Sql Server", "frmSqlCon.lblgen", "MSSQL", Ok},
        {&FrmNewCube::cmdOracle, "frmOracleCon", "Oracle", "frmOracleCon.lblgen", "ORACLE", CloseButton},
        {&FrmNewCube::cmdMySql, "frmMySqlCon", "MySql", "frmMySqlCon.lblgen", "MYSQL", Escape},
        {&FrmNewCube::cmdOtroTipo, "", "", "", "OTHER", Ok},
    };
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.tipo.toStdString());
        launcher.opened.clear();
        QStringList vistos;
        elegir(k.boton, [&](QDialog* d) {
            vistos << d->objectName();
            auto* info = qobject_cast<ConnectionInfoDialog*>(d);
            ASSERT_TRUE(info);
            EXPECT_EQ(d->windowTitle(), k.titulo);
            const QString texto = main.GLV(k.clave).replace("\r\n", "\n");
            EXPECT_GT(texto.size(), 80);
            EXPECT_EQ(info->lblGen->text(), texto);
            EXPECT_EQ(info->cmdAceptar->text(), "OK");
            EXPECT_FALSE(info->picture->pixmap().isNull());
            if (k.cierre == Ok) info->cmdAceptar->click();
            if (k.cierre == CloseButton) d->close();
            if (k.cierre == Escape) QTest::keyClick(d, Qt::Key_Escape);
            EXPECT_FALSE(d->isVisible());
        });
        EXPECT_EQ(vistos, k.dialogo.isEmpty() ? QStringList() : QStringList{k.dialogo});
        ASSERT_EQ(launcher.opened.size(), 1u);
        const FrmMain::NewCubeArgs& a = launcher.opened[0];
        EXPECT_EQ(a.IdCube, "New Cube");
        EXPECT_EQ(a.Conexion, "");
        EXPECT_EQ(a.Query, "");
        EXPECT_FALSE(a.Abrir || a.CuboEjemplo);
        EXPECT_EQ(a.PathCubo, "");
        EXPECT_EQ(a.PathMSFile, "");
        EXPECT_EQ(a.Tipo, k.tipo);
    }
    EXPECT_TRUE(dialogos.requests.isEmpty());
}

TEST_F(Asistente, TheHintFollowsThePointerAndStaysWhenItLeaves) {
    nuevo([&](QDialog* d) {
        auto* ch = qobject_cast<FrmNewCube*>(d);
        ASSERT_TRUE(ch);
        // The headless screen gives the pointer to the first window under it, stacked or not.
        main.hide();
        EXPECT_EQ(ch->windowTitle(), "Choose a database type");
        EXPECT_EQ(ch->lblDatos->text(), main.GLV("FrmNewCube.lblDatos").replace("\r\n", "\n"));
        EXPECT_FALSE(ch->lblDatos->text().isEmpty());
        EXPECT_EQ(ch->Label1->text(), "");
        const std::pair<QToolButton*, QString> botones[] = {
            {ch->cmdSql, "Microsoft Sql Server"}, {ch->cmdAccess, "Access"}, {ch->cmdExcel, "Excel"},
            {ch->cmdMySql, "MySql Server"},       {ch->cmdOracle, "Oracle"}, {ch->cmdOtroTipo, "Other"}};
        for (const auto& [boton, pista] : botones) {
            QTest::mouseMove(boton);
            EXPECT_EQ(ch->Label1->text(), pista) << boton->objectName().toStdString();
            EXPECT_FALSE(boton->icon().isNull());
        }
        // Off the buttons, the last hint stays.
        QTest::mouseMove(ch->lblDatos);
        EXPECT_EQ(ch->Label1->text(), "Other");
        QTest::mouseMove(ch->cmdSql);
        EXPECT_EQ(ch->Label1->text(), "Microsoft Sql Server");
        ch->grab().save(QDir::tempPath() + "/brintova-new-cube-chooser.png");
        frmOracleCon info(&main, ch);
        info.show();
        info.grab().save(QDir::tempPath() + "/brintova-oracle-info.png");
        ch->reject();
    });
    EXPECT_TRUE(launcher.opened.empty());
}

// A file that cannot make a cube is told in a message and the chooser stays for another choice.
TEST_F(Asistente, AnUnusableFileIsReportedAndTheChooserStaysUsable) {
    const QString carpeta = home.path("a folder.xlsx");
    ASSERT_TRUE(QDir().mkpath(carpeta));
    const QString falso = home.path("not a workbook.xlsx");
    ASSERT_TRUE(bd::test::writeFile(falso, "just some text\n"));
    const QString tubo = home.path("pipe.csv");
    ASSERT_EQ(::mkfifo(QFile::encodeName(tubo).constData(), 0600), 0);
    const QString bueno = home.path("good.csv");
    ASSERT_TRUE(bd::test::writeFile(bueno, "A,B\n1,2\n"));
    struct Caso {
        QString archivo, mensaje;
    } casos[] = {
        {home.path("gone.xlsx"), "cannot be opened: No such file or directory."},
        {carpeta, "cannot be opened: it is not a data file."},
        {tubo, "cannot be opened: it is not a data file."},
        {falso, "cannot be read"},
    };
    std::vector<Caso> todos(std::begin(casos), std::end(casos));
    // Whoever runs as root reads every file.
    if (::geteuid() != 0) {
        const QString cerrado = home.path("locked.csv");
        ASSERT_TRUE(bd::test::writeFile(cerrado, "A\n1\n"));
        ASSERT_EQ(::chmod(QFile::encodeName(cerrado).constData(), 0), 0);
        todos.push_back({cerrado, "cannot be opened: Permission denied."});
    }
    for (const Caso& k : todos) {
        SCOPED_TRACE(k.archivo.toStdString());
        p->prompts.clear();
        dialogos.answers = {k.archivo, bueno};
        bool seguia = false;
        nuevo([&](QDialog* d) {
            auto* ch = qobject_cast<FrmNewCube*>(d);
            ASSERT_TRUE(ch);
            ch->cmdExcel->click();
            seguia = ch->isVisible() && ch->result() == 0;
            // Nothing is lost: the next choice goes through.
            ch->cmdExcel->click();
        });
        EXPECT_TRUE(seguia);
        ASSERT_EQ(p->prompts.size(), 1);
        EXPECT_EQ(p->prompts[0].title, "Error");
        EXPECT_TRUE(p->prompts[0].text.contains(QDir::toNativeSeparators(k.archivo)))
            << p->prompts[0].text.toStdString();
        EXPECT_TRUE(p->prompts[0].text.contains(k.mensaje)) << p->prompts[0].text.toStdString();
        ASSERT_EQ(launcher.opened.size(), 1u);
        EXPECT_EQ(launcher.opened.back().PathMSFile, bueno);
        launcher.opened.clear();
    }
}

TEST(NewCubeFiles, ConnectionStringsForTheChoosersFileKinds) {
    using bd::db::Engine;
    struct Caso {
        QString archivo, tipo, cadena;
        Engine motor;
    } casos[] = {
        {"/d/Sales.xlsx", "EXCEL",
         "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/d/Sales.xlsx;Extended Properties=\"Excel "
         "8.0;HDR=YES\";",
         Engine::Excel},
        {"/d/old.xls", "EXCEL",
         "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/d/old.xls;Extended Properties=\"Excel "
         "8.0;HDR=YES\";",
         Engine::Excel},
        {"/d/Sales.CSV", "EXCEL",
         "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/d/Sales.CSV;Extended "
         "Properties=\"text;HDR=YES;FMT=Delimited\";",
         Engine::Csv},
        {"/d/db.mdb", "ACCESS", "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/d/db.mdb", Engine::Access},
        {"/d/a;b=c.accdb", "ACCESS", "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=\"/d/a;b=c.accdb\"",
         Engine::Access},
        {"/d/x.xlsx", "OTHER", "", Engine::Unsupported},
    };
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.archivo.toStdString());
        const QString cs = Campos::dataFileConnection(k.archivo, k.tipo);
        EXPECT_EQ(cs, k.cadena);
        const bd::db::EngineChoice e = bd::db::chooseEngine(cs, "/app");
        EXPECT_EQ(e.engine, k.motor);
        if (k.motor != Engine::Unsupported) {
            EXPECT_EQ(e.file, k.archivo);
        }
    }
}

namespace {

// The cube the real start window made: its viewer, from the windows on screen.
QPointer<Cubo> visorNuevo() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* v = qobject_cast<Cubo*>(w)) return v;
    return nullptr;
}

struct Extremo {
    QToolButton* FrmNewCube::*boton;
    QString archivo, tipo;
    QString tabla; // the list entry to take, "" = the first one
    QString sql, medida, dimension;
};

// From "New Cube" to a shown viewer over the file: the designer opens with the file's first table
// in its query, Next discovers the fields, and OK runs the query into the pivot.
void deExtremoAExtremo(const Extremo& e) {
    bd::test::TempHome home;
    General::CargarIdioma();
    General::sIdioma = "en";
    bd::db::clearImportCache();
    bd::os::ScriptedFileDialogs dialogos;
    dialogos.answers = {e.archivo};
    bd::os::setFileDialogs(&dialogos);
    bd::os::ScopedPrompter p;
    FrmMain main;
    main.show();
    {
        bd::os::ScopedDialogHandler h([&](QDialog* d) {
            if (auto* ch = qobject_cast<FrmNewCube*>(d)) (ch->*e.boton)->click();
            return d->result();
        });
        main.cmdNuevoCubo->click();
    }
    bd::os::setFileDialogs(nullptr);
    QPointer<Cubo> viewer = visorNuevo();
    ASSERT_TRUE(viewer) << p->texts().join("|").toStdString();
    QPointer<Campos> c = viewer->Vcampos;
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->isVisible());
    EXPECT_EQ(c->txtConeccion->toPlainText(), Campos::dataFileConnection(e.archivo, e.tipo));
    EXPECT_EQ(c->cmbEngine->currentText(), e.tipo);
    EXPECT_EQ(viewer->VinsCube->DBEngine, e.tipo);
    ASSERT_GT(c->cmbTbl->count(), 0);
    if (!e.tabla.isEmpty()) {
        c->cmbTbl->setCurrentText(e.tabla);
        c->cmbTbl_Click();
    }
    EXPECT_EQ(c->txtQuery->toPlainText(), e.sql);
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("|").toStdString();

    c->cmdSiguiente->click();
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("|").toStdString();
    EXPECT_EQ(c->SSTab1->currentIndex(), 1);
    ASSERT_TRUE(Campos::HayCampos(*c->spCam));
    EXPECT_TRUE(c->EstaEnGrilla(*c->spCam, e.medida));
    EXPECT_TRUE(c->EstaEnGrilla(*c->spCam, e.dimension));
    c->spCal->setText(Campos::ColMedida, 1, e.medida);
    c->spCal->setText(Campos::ColVisible, 1, "1");
    c->spCal->setText(Campos::ColAgregado, 1, "Sum");
    c->cmdAceptar->click();
    EXPECT_TRUE(p->prompts.isEmpty()) << p->texts().join("|").toStdString();
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_GT(viewer->DC->fields().count(), 0);
    EXPECT_GT(viewer->DC->resultRows(), 0);
    delete viewer.data();
}

} // namespace

TEST(NewCubeFromAFile, CsvChosenAsExcel) {
    bd::test::TempHome datos(false);
    const QString csv = datos.path("sales.csv");
    ASSERT_TRUE(bd::test::writeFile(csv, "Region,Amount\nNorth,10\nSouth,2.5\nNorth,4\n"));
    deExtremoAExtremo({&FrmNewCube::cmdExcel, csv, "EXCEL", "TBL --> sales.csv", "SELECT * FROM [SALES.CSV]",
                       "Amount", "Region"});
}

TEST(NewCubeFromAFile, AccessDatabase) {
    deExtremoAExtremo({&FrmNewCube::cmdAccess, bd::test::sharedDir() + "/fixtures/desktop-db/users.mdb",
                       "ACCESS", "TBL --> Users", "SELECT * FROM USERS", "UserValue", "UserName"});
}
