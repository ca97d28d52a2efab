// The cube file: a full round trip, export ids, saves that fail, damaged archives and passwords.
#include "common/TestSupport.h"
#include "designer/frmPassword.h"
#include "platform/os/AppPath.h"
#include "platform/os/Clock.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "platform/os/Settings.h"
#include "platform/zip/Zip.h"
#include "shell/FrmMain.h"
#include "shell/General.h"
#include "shell/GeneralGrid.h"
#include "viewer/ViewerTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <zip.h>

using namespace bd;
using test::LinkedViewer;

namespace {

struct CubeFile : test::ViewerFixture {
    QString last() { return os::GetSetting("OE", "CUBO", "ULTIMO"); }
    // Saves a filled example cube to path through the Save dialog.
    void saveExample(LinkedViewer& w, const QString& path) {
        QString error;
        ASSERT_TRUE(test::FillExampleCube(w, &error)) << error.toStdString();
        dialogs.answers << path;
        ASSERT_TRUE(w.v->Guardar(true, false)) << prompts->texts().join("/").toStdString();
    }
    QStringList tempMembers(const QString& dir) { return QDir(dir).entryList({"temp.*"}, QDir::Files); }
};

QList<Cubo*> viewers() {
    QList<Cubo*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* v = qobject_cast<Cubo*>(w)) out << v;
    return out;
}

// Every grid of a viewer and its designer, as bytes.
QList<QByteArray> grids(LinkedViewer& w) {
    return {w.c->spCal->saveToBytes(), w.c->spCam->saveToBytes(), w.c->spSave->saveToBytes(),
            w.c->spFil->saveToBytes(), w.v->spUsrFil->saveToBytes()};
}

QStringList pivotCells(bd::pivot::PivotTable& dc) {
    QStringList out;
    for (int r = 0; r < dc.resultRows(); ++r) {
        QString line;
        for (int l = 0; l < dc.rowFields().count(); ++l)
            line += dc.rowHeaderText(r, l) + "|";
        for (int c = 0; c < dc.resultColumns(); ++c)
            line += dc.cellText(r, c) + "|";
        out << line;
    }
    return out;
}

// A zip of the given members (name -> bytes) written with libzip, names taken as they are.
bool writeZip(const QString& path, const QList<QPair<QString, QByteArray>>& members) {
    QFile::remove(path);
    int err = 0;
    zip_t* z = zip_open(path.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z) return false;
    QList<QByteArray> keep;
    for (const auto& m : members) {
        keep << m.second;
        zip_source_t* s = zip_source_buffer(z, keep.last().constData(), zip_uint64_t(keep.last().size()), 0);
        if (zip_file_add(z, m.first.toUtf8().constData(), s, ZIP_FL_OVERWRITE) < 0) zip_source_free(s);
    }
    return zip_close(z) == 0;
}

QList<QPair<QString, QByteArray>> membersOf(const QString& cub) {
    QList<QPair<QString, QByteArray>> out;
    QString error;
    for (const QString& n : Cubo::MemberNames()) {
        QByteArray b;
        zip::readMember(cub, n, b, &error);
        out << qMakePair(n, b);
    }
    return out;
}
} // namespace

TEST_F(CubeFile, FullCubeSavedWithDataReopensIdenticalWithTheDatabaseGone) {
    const QString path = home.path("full.cub");
    QList<QByteArray> saved;
    QStringList cells;
    {
        LinkedViewer w;
        QString error;
        ASSERT_TRUE(test::FillExampleCube(w, &error)) << error.toStdString();
        // Every row the other windows write, the query builder's state and a few cell kinds.
        bd::grid::Grid& s = *w.c->spSave;
        General::EscribirCelda(s, 0, 0, "{\"tables\":[\"Sales\"]}");
        s.setText(1, Campos::FilaPasswordCubo, "Secret");
        s.setText(1, Campos::FilaProtegerConexion, "1");
        s.setText(1, Campos::FilaProtegerSQL, "1");
        s.setText(1, Campos::FilaPedirPassword, "1");
        s.setText(1, Campos::FilaTareaNombre, "Weekly sales");
        s.setText(1, Campos::FilaTareaHora, "7");
        s.setText(1, Campos::FilaTareaMinuto, "45");
        for (int d = 0; d < 7; ++d)
            s.setText(1, Campos::FilasTareaDias + d, d < 5 ? "1" : "0");
        s.setText(1, Campos::FilaSubirAlSalir, "1");
        s.setText(1, Campos::FilaMailsSubida, "boss@example.com");
        s.setText(1, Campos::FilaPixelesFuente, "13");
        s.setText(1, Campos::FilaProtegerConfiguracion, "1");
        w.c->txtAutorefresh->setText("15");
        w.c->txtAutoClose->setText("30");
        w.c->txtLike->setText("*");
        w.c->txtDBDateFormat->setText("DD/MM/YYYY");
        w.c->txtDateIndicator->setText("#");
        w.c->txtDBHourFormat->setText("HH:MM");
        w.c->cmdDBToDate->setText("date('<FIELD>')");
        w.v->SetToolChecked(Cubo::ToolFilterPane, true);
        w.v->SetToolChecked(Cubo::ToolNoChart, true);
        w.v->SplitFil->setTop(2100);
        w.v->Split->setTop(6300);
        w.v->Salvar = true;
        // Cell types and locks as the designer leaves them; opening restores exactly these.
        w.c->VerificarNumericos();
        w.c->BlockearColumnasSpCal();
        dialogs.answers << path;
        ASSERT_TRUE(w.v->Guardar(true, false));
        EXPECT_FALSE(w.v->Salvar);
        EXPECT_EQ(w.cube->PathOpenCube, path);
        EXPECT_EQ(last(), path);
        EXPECT_EQ(s.text(1, Campos::FilaPosicionSplit), "6300");
        EXPECT_EQ(s.text(1, Campos::FilaSinGrafico), "1");
        EXPECT_EQ(s.text(1, Campos::FilaRefrescarAlAbrir), "0");
        EXPECT_EQ(s.text(1, Campos::FilaGuardarConDatos), "1");
        saved = grids(w);
        cells = pivotCells(*w.v->DC);
    }
    QString error;
    EXPECT_EQ(zip::memberNames(path, &error), Cubo::MemberNames());
    EXPECT_TRUE(tempMembers(home.home()).isEmpty());
    ASSERT_TRUE(QFile::remove(home.path("Example.sqlite")));

    LinkedViewer w;
    int asked = 0;
    os::ScopedDialogHandler answer([&](QDialog* d) {
        ++asked;
        auto* p = qobject_cast<frmPassword*>(d);
        p->txtPass->setText("sECRET");
        p->cmdAceptar_Click();
        return int(QDialog::Accepted);
    });
    ASSERT_TRUE(w.v->Abrir(path)) << prompts->texts().join("/").toStdString();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(prompts->prompts.isEmpty()) << prompts->texts().join("/").toStdString();
    EXPECT_EQ(grids(w), saved);
    EXPECT_EQ(pivotCells(*w.v->DC), cells);
    EXPECT_GT(cells.size(), 30);
    EXPECT_EQ(w.cube->CubeId, "Example");
    EXPECT_EQ(w.cube->vPass, "Secret");
    EXPECT_EQ(w.cube->CubeConnectionString, "Provider=SQLite;Data Source=APP_PATH/Example.sqlite");
    EXPECT_EQ(w.c->txtQuery->toPlainText(), w.cube->CubeSqlQuery);
    EXPECT_EQ(w.c->txtDescripcion->toPlainText(),
              "Sales of 2024 and 2025 by region, product and salesperson.");
    EXPECT_EQ(w.c->txtAutorefresh->text(), "15");
    EXPECT_EQ(w.c->txtAutoClose->text(), "30");
    EXPECT_EQ(w.c->txtLike->text(), "*");
    EXPECT_EQ(w.c->txtDBDateFormat->text(), "DD/MM/YYYY");
    EXPECT_EQ(w.c->txtDateIndicator->text(), "#");
    EXPECT_EQ(w.c->txtDBHourFormat->text(), "HH:MM");
    EXPECT_EQ(w.c->cmdDBToDate->text(), "date('<FIELD>')");
    EXPECT_EQ(w.c->cmbEngine->currentText(), "OTHER");
    EXPECT_TRUE(w.c->chkSaveWData->isChecked());
    EXPECT_TRUE(w.c->chkSendAlert->isChecked());
    EXPECT_FALSE(w.c->chkRefresh->isChecked());
    EXPECT_TRUE(w.c->vProtected);
    // The right password unlocks the frames; the locked buttons stay locked.
    EXPECT_TRUE(w.c->frameLockCnn->isHidden());
    EXPECT_FALSE(w.c->cmdGenerarCnn->isEnabled());
    EXPECT_FALSE(w.c->cmdOpenEditor->isEnabled());
    EXPECT_TRUE(w.v->ToolChecked(Cubo::ToolFilterPane));
    EXPECT_TRUE(w.v->ToolChecked(Cubo::ToolNoChart));
    EXPECT_EQ(w.v->CHATag, "NOLOADED");
    EXPECT_EQ(w.v->lastChart, "Amount");
    EXPECT_EQ(w.v->SplitFil->Top(), 2100);
    EXPECT_EQ(w.cube->PathOpenCube, path);
    EXPECT_TRUE(w.v->windowTitle().endsWith("  " + path));
    EXPECT_TRUE(tempMembers(home.home()).isEmpty());
}

TEST_F(CubeFile, ExportIdOnFirstSaveKeptByPlainSaveRenewedBySaveAs) {
    LinkedViewer w;
    QString error;
    ASSERT_TRUE(test::FillExampleCube(w, &error));
    w.cube->CubeId = "Sales";
    dialogs.answers << home.path("a.cub");
    ASSERT_TRUE(w.v->Guardar(true, false));
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].fileName, "Sales.cub");
    EXPECT_EQ(dialogs.requests[0].defaultExt, "cub");
    EXPECT_TRUE(dialogs.requests[0].save);
    const QString first = w.cube->IdExportCube;
    EXPECT_FALSE(first.isEmpty());
    EXPECT_EQ(w.c->spSave->text(1, Campos::FilaIdExportacion), first);

    clock.advance(5000);
    ASSERT_TRUE(w.v->Guardar(true, false));
    EXPECT_EQ(dialogs.requests.size(), 1) << "a plain save asks no name";
    EXPECT_EQ(w.cube->IdExportCube, first);

    dialogs.answers << home.path("b.cub");
    ASSERT_TRUE(w.v->Guardar(true, true));
    ASSERT_EQ(dialogs.requests.size(), 2);
    EXPECT_EQ(dialogs.requests[1].fileName, home.path("a.cub")) << "the dialog keeps its last name";
    EXPECT_NE(w.cube->IdExportCube, first);
    EXPECT_EQ(w.cube->PathOpenCube, home.path("b.cub"));
    EXPECT_EQ(last(), home.path("b.cub"));

    // A cancelled Save dialog saves nothing and is no error.
    w.v->Salvar = true;
    const QString before = w.cube->IdExportCube;
    EXPECT_FALSE(w.v->Guardar(true, true));
    EXPECT_TRUE(w.v->Salvar);
    EXPECT_EQ(w.cube->IdExportCube, before);
    EXPECT_TRUE(prompts->prompts.isEmpty());
}

TEST_F(CubeFile, SaveWithDataFollowsTheCheckBoxUnlessItIsUndecided) {
    struct Case {
        Qt::CheckState box;
        bool argument;
        bool withData;
    } cases[] = {{Qt::Checked, false, true},
                 {Qt::Unchecked, true, false},
                 {Qt::PartiallyChecked, true, true},
                 {Qt::PartiallyChecked, false, false}};
    for (const Case& k : cases) {
        LinkedViewer w;
        QString error;
        ASSERT_TRUE(test::FillExampleCube(w, &error));
        w.c->chkSaveWData->setTristate(true);
        w.c->chkSaveWData->setCheckState(k.box);
        const QString path = home.path(QString("d%1%2.cub").arg(int(k.box)).arg(k.argument));
        dialogs.answers << path;
        ASSERT_TRUE(w.v->Guardar(k.argument, false));
        QByteArray layout;
        ASSERT_TRUE(zip::readMember(path, "temp.cub", layout, &error));
        EXPECT_EQ(layout.contains("\"mode\":3"), k.withData) << int(k.box) << k.argument;
        EXPECT_EQ(layout.startsWith("BDLAYOUT"), k.withData) << "the result in the binary form";
    }
}

TEST_F(CubeFile, FailedSaveLeavesTheOldFileSalvarAndTheLastCubeAsTheyWere) {
    const QString path = home.path("kept.cub");
    LinkedViewer w;
    saveExample(w, path);
    const QByteArray old = test::readFile(path);
    const QString id = w.cube->IdExportCube;
    // The last step of a save, the replace of the old file, fails as a full disk would.
    for (bool withData : {false, true}) {
        for (bool saveAs : {false, true}) {
            SCOPED_TRACE(std::string(withData ? "with data" : "layout only") +
                         (saveAs ? " save-as" : " save"));
            os::SaveSetting("OE", "CUBO", "ULTIMO", "/elsewhere/last.cub");
            w.v->Salvar = true;
            w.v->lastChart = "Quantity";
            prompts->prompts.clear();
            writes.targets.clear();
            writes.failWith = "disk full";
            w.c->chkSaveWData->setChecked(withData);
            if (saveAs) dialogs.answers << path;
            EXPECT_FALSE(w.v->Guardar(withData, saveAs));
            writes.failWith.clear();
            EXPECT_EQ(writes.targets, QStringList{path});
            EXPECT_TRUE(test::readFile(path) == old);
            EXPECT_TRUE(w.v->Salvar);
            EXPECT_EQ(last(), "/elsewhere/last.cub");
            EXPECT_EQ(w.cube->PathOpenCube, path);
            EXPECT_EQ(w.cube->IdExportCube, id);
            EXPECT_NE(w.c->spSave->text(1, Campos::FilaMedidaGrafico), "Quantity")
                << "the sheet is as before";
            ASSERT_EQ(prompts->prompts.size(), 1);
            EXPECT_EQ(prompts->prompts[0].title, "Save error");
            EXPECT_EQ(prompts->prompts[0].text, "disk full");
            EXPECT_EQ(prompts->prompts[0].icon, os::Icon::Critical);
            EXPECT_TRUE(tempMembers(home.home()).isEmpty());
            EXPECT_EQ(QDir(home.home()).entryList({"kept*"}, QDir::Files), QStringList{"kept.cub"});
        }
    }
    // A real failure of the packer: the target's folder does not exist.
    prompts->prompts.clear();
    dialogs.answers << home.path("no such folder/x.cub");
    EXPECT_FALSE(w.v->Guardar(true, true));
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].title, "Save error");
    EXPECT_FALSE(prompts->prompts[0].text.isEmpty());
    EXPECT_EQ(w.cube->PathOpenCube, path);
}

TEST_F(CubeFile, DamagedArchivesGiveACleanErrorAndChangeNothing) {
    const QString good = home.path("good.cub");
    {
        LinkedViewer w;
        saveExample(w, good);
    }
    const auto members = membersOf(good);
    auto without = [&](const QString& name) {
        QList<QPair<QString, QByteArray>> out;
        for (const auto& m : members)
            if (m.first != name) out << m;
        return out;
    };
    auto replaced = [&](const QString& name, const QByteArray& bytes) {
        auto out = members;
        for (auto& m : out)
            if (m.first == name) m.second = bytes;
        return out;
    };
    struct Case {
        const char* name;
        QList<QPair<QString, QByteArray>> zip; // empty: not a zip at all
    } cases[] = {
        {"not a zip", {}},
        {"missing member", without("temp.spFil")},
        {"missing layout", without("temp.cub")},
        {"damaged grid", replaced("temp.spCam", "{\"format\":")},
        {"grid of another kind", replaced("temp.spSave", "{\"hello\":1}")},
        {"damaged layout",
         replaced("temp.cub", "{\"format\":\"brintova-pivot-layout\",\"version\":1,\"mode\":7}")},
        {"escaping member only",
         without("temp.spUsrFil") +
             QList<QPair<QString, QByteArray>>{{"../temp.spUsrFil", members[5].second}}},
    };
    // The viewer already holds a cube; nothing of it may change.
    LinkedViewer w;
    ASSERT_TRUE(w.v->Abrir(good));
    w.v->show();
    const QList<QByteArray> before = grids(w);
    const QStringList cells = pivotCells(*w.v->DC);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const QString bad = home.path("bad/crafted.cub");
        QDir().mkpath(home.path("bad"));
        if (k.zip.isEmpty())
            test::writeFile(bad, "PK\x03\x04 this is not an archive");
        else
            ASSERT_TRUE(writeZip(bad, k.zip));
        os::SaveSetting("OE", "CUBO", "ULTIMO", good);
        prompts->prompts.clear();
        EXPECT_FALSE(w.v->Abrir(bad));
        ASSERT_EQ(prompts->prompts.size(), 1);
        EXPECT_EQ(prompts->prompts[0].title, "Error opening file");
        EXPECT_EQ(prompts->prompts[0].icon, os::Icon::Critical);
        EXPECT_EQ(grids(w), before);
        EXPECT_EQ(pivotCells(*w.v->DC), cells);
        EXPECT_EQ(w.cube->PathOpenCube, good);
        EXPECT_EQ(last(), good);
        EXPECT_FALSE(w.v->Cerrar);
        EXPECT_TRUE(w.c->spCal->redraw());
        EXPECT_FALSE(QFile::exists(home.path("temp.spUsrFil")));
        EXPECT_TRUE(tempMembers(home.home()).isEmpty());
    }
    // Anything beyond the six members is ignored and never written anywhere.
    const QString extra = home.path("bad/extra.cub");
    ASSERT_TRUE(writeZip(extra, members + QList<QPair<QString, QByteArray>>{{"../../evil.sh", "rm -rf"}}));
    prompts->prompts.clear();
    EXPECT_TRUE(w.v->Abrir(extra));
    EXPECT_TRUE(prompts->prompts.isEmpty());
    EXPECT_FALSE(QFile::exists(home.path("evil.sh")));
    EXPECT_FALSE(QFile::exists(QDir(home.home()).absoluteFilePath("../evil.sh")));
}

TEST_F(CubeFile, WrongPasswordShowsNoViewerStartsNoTimerAndRecordsTheCube) {
    const QString path = home.path("locked.cub");
    {
        LinkedViewer w;
        QString error;
        ASSERT_TRUE(test::FillExampleCube(w, &error));
        w.c->spSave->setText(1, Campos::FilaPasswordCubo, "Secret");
        w.c->spSave->setText(1, Campos::FilaPedirPassword, "1");
        w.c->txtAutorefresh->setText("1");
        w.c->txtAutoClose->setText("2");
        dialogs.answers << path;
        ASSERT_TRUE(w.v->Guardar(true, false));
    }
    QList<bool> timersAtPrompt;
    os::ScopedDialogHandler answer([&](QDialog* d) {
        for (Cubo* v : viewers())
            if (v->Vcampos)
                timersAtPrompt << (v->Vcampos->TimerAutoRefresh->isEnabled() ||
                                   v->Vcampos->TimerAutoClose->isEnabled());
        auto* p = qobject_cast<frmPassword*>(d);
        p->txtPass->setText("guess");
        p->cmdAceptar_Click();
        return int(QDialog::Accepted);
    });
    os::SaveSetting("OE", "CUBO", "ULTIMO", "");
    FrmMain start;
    start.NuevoCubo("Cubo", "", "", false, false, path);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(prompts->texts(), QStringList{"Incorrect Password"});
    EXPECT_TRUE(viewers().isEmpty()) << "the hidden viewer, its designer and its connection are gone";
    EXPECT_EQ(timersAtPrompt, QList<bool>{false});
    EXPECT_EQ(last(), path);
}

TEST_F(CubeFile, OpeningIntoAViewerThatHeldAnotherStartsFromTheDesignerDefaults) {
    const QString locked = home.path("locked.cub"), plain = home.path("plain.cub");
    {
        LinkedViewer w;
        QString error;
        ASSERT_TRUE(test::FillExampleCube(w, &error));
        w.c->spSave->setText(1, Campos::FilaProtegerConexion, "1");
        w.c->spSave->setText(1, Campos::FilaProtegerSQL, "1");
        w.c->spSave->setText(1, Campos::FilaProtegerConfiguracion, "1");
        w.c->txtAutorefresh->setText("5");
        w.c->txtLike->setText("*");
        w.c->txtDBDateFormat->setText("DD.MM.YYYY");
        w.c->cmbEngine->setCurrentText("ORACLE");
        dialogs.answers << locked;
        ASSERT_TRUE(w.v->Guardar(true, false));
        // The second cube leaves rows 12 and 25-30 empty: the designer's defaults apply.
        for (int r :
             {Campos::FilaProtegerConexion, Campos::FilaProtegerSQL, Campos::FilaProtegerConfiguracion})
            w.c->spSave->setText(1, r, "");
        w.c->txtAutorefresh->setText("");
        for (QLineEdit* e : {w.c->txtLike, w.c->txtDBDateFormat, w.c->txtDateIndicator, w.c->txtDBHourFormat,
                             w.c->cmdDBToDate})
            e->setText("");
        w.c->cmbEngine->setCurrentIndex(-1);
        dialogs.answers << plain;
        ASSERT_TRUE(w.v->Guardar(true, true));
    }
    LinkedViewer fresh;
    LinkedViewer w;
    ASSERT_TRUE(w.v->Abrir(locked));
    EXPECT_FALSE(w.c->frameLockCnn->isHidden());
    EXPECT_FALSE(w.c->cmbEngine->isEnabled());
    EXPECT_EQ(w.c->cmbEngine->currentText(), "ORACLE");
    w.c->TimerAutoRefresh->setEnabled(true);
    w.c->TimerAutoClose->setEnabled(true);
    ASSERT_TRUE(w.v->Abrir(plain));
    EXPECT_TRUE(w.c->frameLockCnn->isHidden());
    EXPECT_TRUE(w.c->frameLockSql->isHidden());
    for (QWidget* c : std::initializer_list<QWidget*>{w.c->cmdGenerarCnn, w.c->lblLastCnn, w.c->cmbEngine,
                                                      w.c->comProbarCnn, w.c->cmdOpenEditor, w.c->cmbTbl})
        EXPECT_TRUE(c->isEnabled()) << c->metaObject()->className();
    EXPECT_FALSE(w.c->vProtected);
    EXPECT_FALSE(w.c->TimerAutoRefresh->isEnabled());
    EXPECT_FALSE(w.c->TimerAutoClose->isEnabled());
    EXPECT_EQ(w.c->txtAutorefresh->text(), fresh.c->txtAutorefresh->text());
    EXPECT_EQ(w.c->txtLike->text(), fresh.c->txtLike->text());
    EXPECT_EQ(w.c->txtDBDateFormat->text(), fresh.c->txtDBDateFormat->text());
    EXPECT_EQ(w.c->txtDateIndicator->text(), fresh.c->txtDateIndicator->text());
    EXPECT_EQ(w.c->txtDBHourFormat->text(), fresh.c->txtDBHourFormat->text());
    EXPECT_EQ(w.c->cmdDBToDate->text(), fresh.c->cmdDBToDate->text());
    EXPECT_EQ(w.c->cmbEngine->currentText(), fresh.c->cmbEngine->currentText());
}

TEST_F(CubeFile, CancelledOpenDialogChangesNothing) {
    const QString path = home.path("c.cub");
    {
        LinkedViewer w;
        saveExample(w, path);
    }
    {
        LinkedViewer w; // a viewer being opened from the start window: not shown
        EXPECT_FALSE(w.v->Abrir());
        EXPECT_TRUE(w.v->Cerrar);
    }
    LinkedViewer w;
    ASSERT_TRUE(w.v->Abrir(path));
    w.v->show();
    const QList<QByteArray> before = grids(w);
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(w.v->Abrir());
        EXPECT_FALSE(w.v->Cerrar);
        EXPECT_TRUE(w.v->isVisible());
        EXPECT_EQ(grids(w), before);
        EXPECT_EQ(w.cube->PathOpenCube, path);
    }
    EXPECT_TRUE(prompts->prompts.isEmpty());
}

TEST_F(CubeFile, SplitterRowsAreWholeTwipsAndReadWithEitherSeparator) {
    const QString path = home.path("s.cub");
    {
        LinkedViewer w;
        saveExample(w, path);
    }
    struct Case {
        const char *splitFil, *split;
        int fil, main;
    } cases[] = {{"2100", "6300", 2100, 6300},
                 {"2100,4", "6300,6", 2100, 6301},
                 {"2100.4", "6300.6", 2100, 6301},
                 {"", "", -1, -1},
                 {"abc", "7e400", -1, -1}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.split);
        auto m = membersOf(path);
        bd::grid::Grid sheet;
        ASSERT_TRUE(sheet.loadFromBytes(m[3].second));
        sheet.setText(1, Campos::FilaPosicionSplitFil, k.splitFil);
        sheet.setText(1, Campos::FilaPosicionSplit, k.split);
        m[3].second = sheet.saveToBytes();
        const QString crafted = home.path("split.cub");
        ASSERT_TRUE(writeZip(crafted, m));
        LinkedViewer w;
        const int filBefore = w.v->SplitFil->Top(), mainBefore = w.v->Split->Top();
        ASSERT_TRUE(w.v->Abrir(crafted)) << prompts->texts().join("/").toStdString();
        // Positions snap to whole pixels on screen.
        EXPECT_NEAR(w.v->SplitFil->Top(), k.fil < 0 ? filBefore : k.fil, 15);
        // The filter splitter shows with the filter pane.
        if (k.fil >= 0) {
            EXPECT_EQ(w.v->SplitFil->Visible(), w.v->ToolChecked(Cubo::ToolFilterPane));
        }
        if (!w.v->ToolChecked(Cubo::ToolNoChart)) {
            EXPECT_NEAR(w.v->Split->Top(), k.main < 0 ? mainBefore : k.main, 15);
        }
        w.v->SplitFil->setTop(3007);
        dialogs.answers << home.path("again.cub");
        ASSERT_TRUE(w.v->Guardar(true, true));
        EXPECT_EQ(w.c->spSave->text(1, Campos::FilaPosicionSplitFil), QString::number(w.v->SplitFil->Top()));
    }
}

TEST_F(CubeFile, ACubeWithoutPivotFieldsOpensTheDesignerModallyAndAbrirUltimoReopens) {
    const QString path = home.path("empty.cub");
    {
        LinkedViewer w;
        QString error;
        ASSERT_TRUE(test::FillExampleCube(w, &error));
        w.v->DC->removeAllFields();
        dialogs.answers << path;
        ASSERT_TRUE(w.v->Guardar(true, false));
    }
    LinkedViewer w;
    bool wasModal = false;
    QTimer::singleShot(0, [&] {
        wasModal = w.c->isVisible() && w.c->isModal();
        w.c->hide(); // the user closes the designer
    });
    os::SaveSetting("OE", "CUBO", "ULTIMO", path);
    ASSERT_TRUE(w.v->AbrirUltimo());
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(w.c->SSTab1->currentIndex(), 1) << "spCam holds fields";
    EXPECT_EQ(w.cube->PathOpenCube, path);
}

TEST_F(CubeFile, WrongPasswordForACubeOpenedOverAnotherKeepsTheOneOnScreen) {
    const QString open = home.path("open.cub"), locked = home.path("locked2.cub");
    {
        LinkedViewer w;
        saveExample(w, open);
        w.c->spSave->setText(1, Campos::FilaPasswordCubo, "pw");
        w.c->spSave->setText(1, Campos::FilaPedirPassword, "1");
        w.c->txtDescripcion->setPlainText("locked one");
        dialogs.answers << locked;
        ASSERT_TRUE(w.v->Guardar(true, true));
    }
    LinkedViewer w;
    ASSERT_TRUE(w.v->Abrir(open));
    w.v->show();
    const QList<QByteArray> before = grids(w);
    os::ScopedDialogHandler answer([](QDialog* d) {
        d->close(); // the close box: no password typed
        return int(QDialog::Rejected);
    });
    EXPECT_FALSE(w.v->Abrir(locked));
    EXPECT_EQ(prompts->texts(), QStringList{"Incorrect Password"});
    EXPECT_TRUE(w.v->isVisible());
    EXPECT_FALSE(w.v->Cerrar);
    EXPECT_EQ(grids(w), before);
    EXPECT_EQ(w.cube->PathOpenCube, open);
    EXPECT_NE(w.c->txtDescripcion->toPlainText(), "locked one");
}

namespace {
mode_t modeOf(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}
} // namespace

TEST_F(CubeFile, SavesKeepTheFilesRightsRefuseReadOnlyFilesAndWriteThroughLinks) {
    const QString path = home.path("rights.cub");
    LinkedViewer w;
    const mode_t oldMask = ::umask(077);
    saveExample(w, path);
    ::umask(oldMask);
    EXPECT_EQ(modeOf(path), 0600u) << "a new cube takes the umask";

    // Saving over a cube keeps its rights: it holds the connection string.
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    w.v->lastChart = "Quantity";
    ASSERT_TRUE(w.v->Guardar(true, false));
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_EQ(w.c->spSave->text(1, Campos::FilaMedidaGrafico), "Quantity");

    // A read-only cube is not replaced, and the user is told.
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    const QByteArray before = test::readFile(path);
    w.v->Salvar = true;
    prompts->prompts.clear();
    EXPECT_FALSE(w.v->Guardar(true, false));
    ASSERT_EQ(prompts->prompts.size(), 1);
    EXPECT_EQ(prompts->prompts[0].title, "Save error");
    EXPECT_TRUE(prompts->prompts[0].text.contains("read-only")) << prompts->prompts[0].text.toStdString();
    EXPECT_TRUE(test::readFile(path) == before);
    EXPECT_EQ(modeOf(path), 0444u);
    EXPECT_TRUE(w.v->Salvar);

    // Through a symbolic link the link's target is written and the link stays.
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    QDir(home.home()).mkdir("links");
    const QString link = home.path("links/shortcut.cub");
    ASSERT_TRUE(QFile::link(path, link));
    dialogs.answers << link;
    w.v->lastChart = "Amount";
    ASSERT_TRUE(w.v->Guardar(true, true));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), path);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(w.cube->PathOpenCube, link);
    EXPECT_TRUE(test::readFile(path) != before);
    EXPECT_EQ(QDir(home.path("links")).entryList(QDir::Files | QDir::System), QStringList{"shortcut.cub"});
    LinkedViewer again;
    ASSERT_TRUE(again.v->Abrir(link)) << prompts->texts().join("/").toStdString();
    EXPECT_EQ(again.v->lastChart, "Amount");
}

// The child half of the test below: opens the cube named in the environment under a limit on its
// address space, as a separate process.
TEST_F(CubeFile, BoundedOpenChild) {
    const QString cube = qEnvironmentVariable("BD_BOUNDED_OPEN_CUBE");
    if (cube.isEmpty()) GTEST_SKIP() << "run by OpeningAHostileCubeHoldsBoundedMemory";
    LinkedViewer w;
    QFile status("/proc/self/status");
    ASSERT_TRUE(status.open(QIODevice::ReadOnly));
    qint64 vmKb = 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmSize:")) vmKb = line.mid(7).trimmed().split(' ')[0].toLongLong();
    ASSERT_GT(vmKb, 0);
    const rlim_t room = rlim_t(qEnvironmentVariable("BD_BOUNDED_OPEN_ROOM_MB").toLongLong()) << 20;
    const struct rlimit limit { rlim_t(vmKb) * 1024 + room, rlim_t(vmKb) * 1024 + room };
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &limit), 0);
    const bool opened = w.v->Abrir(cube);
    if (qEnvironmentVariable("BD_BOUNDED_OPEN_EXPECT") == "open") {
        ASSERT_TRUE(opened) << prompts->texts().join("/").toStdString();
        EXPECT_EQ(w.c->txtDescripcion->toPlainText().size(), 64 * 1024);
    } else {
        EXPECT_FALSE(opened);
        ASSERT_EQ(prompts->prompts.size(), 1);
        EXPECT_EQ(prompts->prompts[0].title, "Error opening file");
        EXPECT_TRUE(prompts->prompts[0].text.contains("too large")) << prompts->prompts[0].text.toStdString();
    }
}

TEST_F(CubeFile, OpeningAHostileCubeHoldsBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a limit on the address space does not fit a sanitizer's shadow memory";
#endif
    const QString good = home.path("good.cub");
    {
        LinkedViewer w;
        saveExample(w, good);
    }
    auto members = membersOf(good);
    // A description that inflates to 64 MiB from a small archive.
    const QString inflating = home.path("inflating.cub");
    {
        bd::grid::Grid sheet;
        ASSERT_TRUE(sheet.loadFromBytes(members[3].second));
        sheet.setText(1, Campos::FilaDescripcion, QString(64 << 20, 'd'));
        auto crafted = members;
        crafted[3].second = sheet.saveToBytes();
        ASSERT_TRUE(writeZip(inflating, crafted));
    }
    EXPECT_LT(QFileInfo(inflating).size(), 1 << 20);
    // Five grid members of 250 MiB each.
    const QString huge = home.path("huge.cub");
    {
        const QByteArray filler(250 << 20, ' ');
        auto crafted = members;
        for (int i = 1; i < 6; ++i)
            crafted[i].second = filler;
        ASSERT_TRUE(writeZip(huge, crafted));
    }
    const struct {
        QString cube;
        const char* expect;
    } cases[] = {{inflating, "open"}, {huge, "refused"}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.expect);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("BD_BOUNDED_OPEN_CUBE", k.cube);
        env.insert("BD_BOUNDED_OPEN_EXPECT", k.expect);
        env.insert("BD_BOUNDED_OPEN_ROOM_MB", "1536");
        env.insert("MALLOC_ARENA_MAX", "2");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=CubeFile.BoundedOpenChild"});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QString out = QString::fromLocal8Bit(child.readAll());
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << out.toStdString();
        EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
        EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
    }
}

namespace {

// A result with NULLs, empty texts, dates, 10,000 distinct texts, pivoted by text and date with a
// calculated measure.
void fillWithRichData(bd::pivot::PivotTable& dc) {
    db::ColumnarResult r;
    r.rowCount = 30000;
    db::ColumnData name, day, amount, qty;
    name.name = "name";
    name.kind = db::ColumnKind::Text;
    name.dict = {"", "ñandú"};
    for (int i = 0; i < 10000; ++i)
        name.dict.push_back(QString("Name %1").arg(i, 4, 10, QChar('0')).toStdString());
    day.name = "day";
    day.kind = db::ColumnKind::DateTime;
    day.adoType = 135;
    amount.name = "amount";
    amount.kind = db::ColumnKind::Real;
    amount.adoType = 5;
    qty.name = "qty";
    qty.kind = db::ColumnKind::Integer;
    qty.adoType = 3;
    name.nulls.assign(r.rowCount, 0);
    amount.nulls.assign(r.rowCount, 0);
    for (size_t i = 0; i < r.rowCount; ++i) {
        name.nulls[i] = i % 19 == 7;
        name.codes.push_back(name.nulls[i] ? uint32_t(name.dict.size()) : uint32_t(i % name.dict.size()));
        day.reals.push_back(45292.0 + double(i % 3) + (i % 2 ? 0.5 : 0.0));
        amount.nulls[i] = i % 11 == 4;
        amount.reals.push_back(amount.nulls[i] ? 0.0 : double(i % 1000) / 8.0);
        qty.ints.push_back(int64_t(1 + i % 7));
    }
    for (db::ColumnData* c : {&name, &day, &amount, &qty})
        r.columns.push_back(std::move(*c));
    dc.removeAllFields();
    dc.setData(std::move(r));
    dc.addField("name", "Name", bd::pivot::RowArea);
    dc.addField("day", "Day", bd::pivot::ColumnArea);
    dc.addField("amount", "Amount", bd::pivot::DataArea);
    dc.addField("qty", "Qty", bd::pivot::DataArea);
    dc.addField("perUnit", "Per unit", bd::pivot::DataArea)->setFormula("[amount] / [qty]");
    dc.recalculate();
}

} // namespace

// A cube saved with its data opens with the same cells with no database, in the binary form and in
// the text form older versions wrote; a damaged data member is refused and the viewer keeps its cube.
TEST_F(CubeFile, SavedDataOpensWithTheSameCellsInEitherForm) {
    const QString path = home.path("rich.cub");
    QStringList cells;
    {
        LinkedViewer w;
        saveExample(w, home.path("first.cub"));
        fillWithRichData(*w.v->DC);
        cells = pivotCells(*w.v->DC);
        ASSERT_GT(cells.size(), 10000);
        w.c->chkSaveWData->setChecked(true);
        w.v->CD.fileName.clear();
        dialogs.answers << path;
        ASSERT_TRUE(w.v->Guardar(true, true)) << prompts->texts().join("/").toStdString();
    }
    ASSERT_TRUE(QFile::remove(home.path("Example.sqlite")));
    QList<zip::MemberBytes> members;
    QString error;
    for (const QString& n : Cubo::MemberNames()) {
        QByteArray b;
        ASSERT_TRUE(zip::readMember(path, n, b, &error)) << error.toStdString();
        members.push_back({n, b, true});
    }
    ASSERT_TRUE(members[0].bytes.startsWith("BDLAYOUT"));
    // The same cube as older versions saved it: the result as text inside the layout's JSON.
    const QString older = home.path("older.cub");
    {
        LinkedViewer w;
        ASSERT_TRUE(w.v->Abrir(path)) << prompts->texts().join("/").toStdString();
        EXPECT_EQ(pivotCells(*w.v->DC), cells);
        const QString json = home.path("layout.json");
        ASSERT_TRUE(w.v->DC->saveLayout(json, 3, &error)) << error.toStdString();
        QList<zip::MemberBytes> old = members;
        old[0].bytes = test::readFile(json);
        ASSERT_TRUE(old[0].bytes.startsWith("{"));
        ASSERT_TRUE(zip::packMembers(old, older, &error));
    }
    {
        LinkedViewer w;
        ASSERT_TRUE(w.v->Abrir(older)) << prompts->texts().join("/").toStdString();
        EXPECT_EQ(pivotCells(*w.v->DC), cells);

        // A text code past the dictionary, in the last row of the text column.
        QList<zip::MemberBytes> bad = members;
        QByteArray& layout = bad[0].bytes;
        const qsizetype nameValues = layout.indexOf("BDCOLUMN") + 32 + 48; // the first column's name
        ASSERT_EQ(layout.mid(nameValues, 4), "name");
        const qsizetype lastCode = nameValues + 4 + (30000 + 7) / 8 + 4 * 10002 +
                                   qsizetype(std::string("ñandú").size()) + 10000 * 9 + 2 * 29999;
        ASSERT_LT(lastCode + 2, layout.size());
        layout[lastCode] = char(0xFF);
        layout[lastCode + 1] = char(0xFF);
        ASSERT_TRUE(zip::packMembers(bad, home.path("bad.cub"), &error));
        prompts->prompts.clear();
        EXPECT_FALSE(w.v->Abrir(home.path("bad.cub")));
        ASSERT_EQ(prompts->prompts.size(), 1);
        EXPECT_EQ(prompts->prompts[0].title, "Error opening file");
        EXPECT_EQ(prompts->prompts[0].text, "The member temp.cub is damaged: the stored data is damaged.");
        EXPECT_EQ(pivotCells(*w.v->DC), cells) << "the viewer keeps its cube";
        EXPECT_EQ(w.cube->PathOpenCube, older);
    }
}
