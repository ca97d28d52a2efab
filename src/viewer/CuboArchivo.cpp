// The cube file from the viewer's side: what goes into the six members and back into the designer
// and the viewer. The format itself is the cube file unit's; members are built and read in memory, a
// file is checked whole before anything of it is applied, and a save replaces the target only when
// complete.
#include "cubefile/CubeFile.h"
#include "designer/Campos.h"
#include "designer/frmPassword.h"
#include "platform/grid/GridFile.h"
#include "platform/os/AppPath.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "shell/General.h"
#include "shell/GeneralFiles.h"
#include "shell/GeneralGrid.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cmath>
#include <optional>

namespace {
namespace cf = bd::cubefile;

// Characters of the cube's description that are shown and saved.
constexpr int kMaxDescription = 64 * 1024;

QString checkBoxValue(const QCheckBox* c) {
    switch (c->checkState()) {
    case Qt::Checked:
        return "1";
    case Qt::Unchecked:
        return "0";
    default:
        return "2";
    }
}

// A splitter position as written by any version: whole twips, or a number with either separator.
std::optional<int> readPosition(QString text) {
    text = text.trimmed().replace(',', '.');
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) > 1e7) return std::nullopt;
    return int(std::lround(v));
}

QString row(const bd::grid::Grid& sheet, int r) {
    return sheet.text(Campos::ColProperty, r);
}

// The grids saved with the cube, in member order.
std::array<bd::grid::Grid*, cf::kGridCount> gridsOf(Cubo& v, Campos& c) {
    return {c.spCal.data(), c.spCam.data(), c.spSave.data(), c.spFil.data(), v.spUsrFil.data()};
}

// ---- save ----

// The target of a save: the open cube's path, or the Save dialog's answer (nothing when cancelled).
std::optional<QString> chooseTarget(Cubo& v, InsCube& cube, bool GuardarComo) {
    if (!cube.PathOpenCube.isEmpty() && !GuardarComo) return cube.PathOpenCube;
    if (v.CD.fileName.isEmpty()) v.CD.fileName = cube.CubeId + ".cub";
    v.CD.filter = "*.cub|*.cub|";
    v.CDCancelError = true;
    v.CD.defaultExt = "cub";
    v.CD.save = true;
    v.CD.owner = &v;
    const auto chosen = bd::os::fileDialogs().choose(v.CD);
    if (!chosen) return std::nullopt; // a cancel is no error
    // A first save and every Save-As give the cube an export id of its own.
    cube.IdExportCube.clear();
    General::AsignarIdExport(cube);
    return *chosen;
}

// The cube's settings into the property sheet.
void writeSheet(Cubo& v, Campos& c, InsCube& cube) {
    bd::grid::Grid& sheet = *c.spSave;
    const int col = Campos::ColProperty;
    sheet.setText(col, Campos::FilaNombreCubo, cube.CubeId);
    General::EscribirCelda(sheet, col, Campos::FilaConexion, cube.CubeConnectionString);
    General::EscribirCelda(sheet, col, Campos::FilaConsultaSQL, cube.CubeSqlQuery);
    sheet.setText(col, Campos::FilaRefrescarCopia, checkBoxValue(c.chkRefresh));
    sheet.setText(col, Campos::FilaDescripcion, c.txtDescripcion->toPlainText().left(kMaxDescription));
    sheet.setText(col, Campos::FilaRefrescarAlAbrir, checkBoxValue(c.chkRefresh));
    sheet.setText(col, Campos::FilaEnviarAlertas, checkBoxValue(c.chkSendAlert));
    sheet.setText(col, Campos::FilaMinutosRefresco, c.txtAutorefresh->text());
    sheet.setText(col, Campos::FilaMinutosCierre, c.txtAutoClose->text());
    sheet.setText(col, Campos::FilaGuardarConDatos, checkBoxValue(c.chkSaveWData));
    sheet.setText(col, Campos::FilaSeparadorLike, c.txtLike->text());
    sheet.setText(col, Campos::FilaFormatoFecha, c.txtDBDateFormat->text());
    sheet.setText(col, Campos::FilaIndicadorFecha, c.txtDateIndicator->text());
    sheet.setText(col, Campos::FilaFormatoHora, c.txtDBHourFormat->text());
    sheet.setText(col, Campos::FilaFuncionFecha, c.cmdDBToDate->text());
    sheet.setText(col, Campos::FilaMotorDB, c.cmbEngine->currentText());
    sheet.setText(col, Campos::FilaPanelFiltros, v.ToolChecked(Cubo::ToolFilterPane) ? "1" : "");
    sheet.setText(col, Campos::FilaSinGrafico, v.ToolChecked(Cubo::ToolNoChart) ? "1" : "");
    sheet.setText(col, Campos::FilaMedidaGrafico, v.lastChart);
    // Whole twips: the text reads back the same whatever the reader's decimal separator.
    sheet.setText(col, Campos::FilaPosicionSplitFil, QString::number(v.SplitFil->Top()));
    sheet.setText(col, Campos::FilaPosicionSplit, QString::number(v.Split->Top()));
    General::AsignarIdExport(cube);
    sheet.setText(col, Campos::FilaIdExportacion, cube.IdExportCube);
}

cf::CubeContents cubeMembers(Cubo& v, Campos& c, bool ConDatos) {
    cf::CubeContents m;
    // The result is saved by the cube file in its own form, not inside the layout's JSON.
    m.layout = v.DC->layoutJson(ConDatos ? 3 : 2, false);
    if (ConDatos) m.data = v.DC->data();
    const auto grids = gridsOf(v, c);
    for (int i = 0; i < cf::kGridCount; ++i)
        m.grids[size_t(i)] = grids[size_t(i)]->saveToBytes();
    return m;
}

// ---- open ----

// The file to open: vFile, or the Open dialog's answer (nothing when cancelled).
std::optional<QString> chooseFile(Cubo& v, const QString& vFile) {
    v.CD.filter = "*.cub|*.cub|";
    if (!vFile.isEmpty()) {
        v.CD.fileName = vFile;
        v.CDCancelError = true;
    } else {
        v.CD.save = false;
        v.CD.owner = &v;
        const auto chosen = bd::os::fileDialogs().choose(v.CD);
        v.CDCancelError = true;
        if (!chosen) return std::nullopt;
        v.CD.fileName = *chosen;
    }
    return QFileInfo(v.CD.fileName).absoluteFilePath();
}

// Every member read and checked; nothing of the cube is applied yet.
bool readCube(Cubo& v, const QString& path, cf::CubeContents& m, QString* error) {
    if (!cf::read(path, m, error)) return false;
    for (int i = 0; i < cf::kGridCount; ++i) {
        bd::grid::GridStore s;
        QString why;
        if (!bd::grid::readGridJson(m.grids[size_t(i)], s, &why)) {
            *error = QString("The member %1 is damaged: %2").arg(cf::memberNames()[i + 1], why);
            return false;
        }
    }
    QString why;
    if (!v.DC->loadLayoutJson(m.layout, m.data, &why, true)) {
        *error = QString("The member %1 is damaged: %2").arg(cf::memberNames()[cf::Layout], why);
        return false;
    }
    return true;
}

// The password guards everything that follows: the layout, the data and the timers.
bool passwordAccepted(Cubo& v, const bd::grid::Grid& sheet) {
    if (row(sheet, Campos::FilaPedirPassword) != "1") return true;
    frmPassword dlg(&v);
    dlg.Pass.clear();
    dlg.txtPass->clear();
    bd::os::runDialog(&dlg);
    return dlg.Pass.toUpper() == row(sheet, Campos::FilaPasswordCubo).toUpper();
}

// The cube's identity: its name, export id (the example's remapped per machine) and path.
void applyIdentity(Campos& c, InsCube& cube, const bd::grid::Grid& sheet, const QString& path) {
    cube.CubeId = row(sheet, Campos::FilaNombreCubo);
    c.txtIdCubo->setText(cube.CubeId);
    cube.IdExportCube.clear();
    if (!row(sheet, Campos::FilaIdExportacion).isEmpty())
        cube.IdExportCube = row(sheet, Campos::FilaIdExportacion);
    General::AsignarIdExport(cube);
    cube.PathOpenCube = path;
    if (cube.isExample && !QFileInfo::exists(bd::os::AppPath() + "/DeveloperMachine.txt")) {
        // The example ships with one export id; each machine publishes it under one of its own.
        const QString inFile = cube.IdExportCube;
        const QString own = General::GetSetting("OE", "IDSEXPORT", inFile);
        if (own.isEmpty()) {
            cube.IdExportCube.clear();
            General::AsignarIdExport(cube);
            General::SaveSetting("OE", "IDSEXPORT", inFile, cube.IdExportCube);
        } else {
            cube.IdExportCube = own;
        }
    }
    cube.CubeConnectionString = sheet.cellTag(Campos::ColProperty, Campos::FilaConexion);
    c.txtConeccion->setPlainText(cube.CubeConnectionString);
    cube.CubeSqlQuery = sheet.cellTag(Campos::ColProperty, Campos::FilaConsultaSQL);
    c.txtQuery->setPlainText(cube.CubeSqlQuery);
}

// The designer's settings and locks from the property sheet.
void applyProperties(Campos& c, InsCube& cube, const bd::grid::Grid& sheet, bool askPassword) {
    auto f = [&](int r) { return row(sheet, r); };
    c.txtDescripcion->setPlainText(f(Campos::FilaDescripcion).left(kMaxDescription));
    cube.vPass = f(Campos::FilaPasswordCubo);
    if (f(Campos::FilaProtegerConexion) == "1") {
        c.frameLockCnn->show();
        for (QWidget* w :
             std::initializer_list<QWidget*>{c.cmdGenerarCnn, c.lblLastCnn, c.cmbEngine, c.comProbarCnn})
            w->setEnabled(false);
    }
    if (f(Campos::FilaProtegerSQL) == "1") {
        c.frameLockSql->show();
        c.cmdOpenEditor->setEnabled(false);
        c.cmbTbl->setEnabled(false);
    }
    if (f(Campos::FilaProtegerConfiguracion) == "1") c.vProtected = true;
    if (!f(Campos::FilaSeparadorLike).isEmpty()) c.txtLike->setText(f(Campos::FilaSeparadorLike));
    if (!f(Campos::FilaFormatoFecha).isEmpty()) c.txtDBDateFormat->setText(f(Campos::FilaFormatoFecha));
    if (!f(Campos::FilaIndicadorFecha).isEmpty()) c.txtDateIndicator->setText(f(Campos::FilaIndicadorFecha));
    if (!f(Campos::FilaFormatoHora).isEmpty()) c.txtDBHourFormat->setText(f(Campos::FilaFormatoHora));
    if (!f(Campos::FilaFuncionFecha).isEmpty()) c.cmdDBToDate->setText(f(Campos::FilaFuncionFecha));
    if (!f(Campos::FilaMotorDB).isEmpty()) c.cmbEngine->setCurrentText(f(Campos::FilaMotorDB));
    if (askPassword) {
        c.frameLockCnn->hide();
        c.frameLockSql->hide();
    }
    if (!f(Campos::FilaMinutosRefresco).isEmpty()) c.txtAutorefresh->setText(f(Campos::FilaMinutosRefresco));
    if (c.txtAutorefresh->text() != "0" && !c.txtAutorefresh->text().isEmpty()) c.PrenderTimerAutorefresh();
    if (!f(Campos::FilaMinutosCierre).isEmpty()) c.txtAutoClose->setText(f(Campos::FilaMinutosCierre));
    if (c.txtAutoClose->text() != "0" && !c.txtAutoClose->text().isEmpty()) c.PrenderTimerAutoClose();
}

// The viewer as the cube left it: tools, chart, splitters; then the stored result or a refresh.
void showCube(Cubo& v, Campos& c, const bd::grid::Grid& sheet) {
    auto f = [&](int r) { return row(sheet, r); };
    v.cubeFileChanged(); // the caption names the path
    c.IndicarConeccion();
    c.GoTab(1);
    c.SetAbChecked();
    c.chkSendAlert->setChecked(f(Campos::FilaEnviarAlertas) == "1");
    c.chkSaveWData->setChecked(f(Campos::FilaGuardarConDatos) == "1");
    v.SetToolChecked(Cubo::ToolFilterPane, f(Campos::FilaPanelFiltros) == "1");
    if (f(Campos::FilaSinGrafico) == "1") {
        v.SetToolChecked(Cubo::ToolNoChart, true);
        v.CHA->hide();
        v.CHATag = "NOLOADED";
        v.OcultarChart(false);
    } else {
        v.SetToolChecked(Cubo::ToolNoChart, false);
    }
    v.lastChart = f(Campos::FilaMedidaGrafico);
    c.ShowConnectButton();
    c.VerificarNumericos();
    c.BlockearColumnasSpCal();
    c.CargarComandosGraficos();
    v.ColorcarGrillaFiltros(true, false, false);
    if (const auto p = readPosition(f(Campos::FilaPosicionSplitFil));
        p && !f(Campos::FilaPosicionSplitFil).isEmpty()) {
        v.SplitFil->setVisible(true);
        v.SplitFil->setTop(*p);
        v.AcomodarPantalla();
    }
    if (const auto p = readPosition(f(Campos::FilaPosicionSplit));
        p && !f(Campos::FilaPosicionSplit).isEmpty()) {
        v.Split->setVisible(true);
        v.Split->setTop(*p);
        v.AcomodarPantalla();
    }
    if (f(Campos::FilaRefrescarAlAbrir) == "1") {
        c.chkRefresh->setChecked(true);
        c.Refrescar();
    } else {
        c.chkRefresh->setChecked(false);
        v.Graph(QString());
    }
}

} // namespace

const QStringList& Cubo::MemberNames() {
    return cf::memberNames();
}

void Cubo::EliminarArchivos() {
    if (membersFolder_.isEmpty()) return;
    for (const QString& n : MemberNames())
        General::BorrarArchivo(membersFolder_ + "/" + n);
}

bool Cubo::Guardar(bool ConDatos, bool GuardarComo) {
    Campos* c = Vcampos;
    if (!c || !VinsCube) return false;
    InsCube& cube = *VinsCube;
    const QString previousId = cube.IdExportCube;
    const auto chosen = chooseTarget(*this, cube, GuardarComo);
    if (!chosen) return false;
    CD.fileName = *chosen;
    if (c->chkSaveWData->checkState() == Qt::Checked)
        ConDatos = true;
    else if (c->chkSaveWData->checkState() == Qt::Unchecked)
        ConDatos = false;
    General::AsignarIdExport(cube);

    const QString target = CD.fileName.isEmpty() ? QString() : QFileInfo(CD.fileName).absoluteFilePath();
    if (!target.isEmpty()) {
        bd::grid::Grid& sheet = *c->spSave;
        const QByteArray previousSheet = sheet.saveToBytes();
        writeSheet(*this, *c, cube);
        QString error;
        if (!cf::write(target, cubeMembers(*this, *c, ConDatos), &error)) {
            // A failed save changes nothing: the sheet, the export id and the file stay as they were.
            sheet.loadFromBytes(previousSheet);
            cube.IdExportCube = previousId;
            bd::os::MsgBox(error, bd::os::Buttons::Ok, bd::os::Icon::Critical, "Save error");
            return false;
        }
        General::SaveSetting("OE", "CUBO", "ULTIMO", target);
        cube.PathOpenCube = target;
        cubeFileChanged();
    }
    CD.defaultExt.clear();
    Salvar = false;
    return true;
}

bool Cubo::Abrir(const QString& vFile, bool Ejemplo) {
    Q_UNUSED(Ejemplo); // the example test reads InsCube::isExample
    Campos* c = Vcampos;
    if (!c || !VinsCube) return false;
    InsCube& cube = *VinsCube;
    auto redraw = [&](bool on) {
        for (bd::grid::Grid* g : {c->spCal.data(), c->spCam.data(), c->spFil.data(), spUsrFil.data()})
            g->setRedraw(on);
    };
    // A viewer not shown yet has nothing to show; one that holds a cube keeps it.
    auto closeUnlessShown = [&] {
        if (!isVisible()) {
            hide();
            Cerrar = true;
        }
    };

    OcultarChart(false);
    redraw(false);
    const auto chosen = chooseFile(*this, vFile);
    if (!chosen) {
        redraw(true);
        closeUnlessShown();
        return false;
    }
    const QString path = *chosen;

    cf::CubeContents members;
    QString error;
    if (!readCube(*this, path, members, &error)) {
        redraw(true);
        bd::os::MsgBox(error, bd::os::Buttons::Ok, bd::os::Icon::Critical, "Error opening file");
        return false;
    }
    // The staged property sheet, read before it replaces the designer's.
    bd::grid::Grid sheet;
    sheet.loadFromBytes(members.grids[cf::SpSave - 1]);

    General::SaveSetting("OE", "CUBO", "ULTIMO", path);
    const bool askPassword = row(sheet, Campos::FilaPedirPassword) == "1";
    if (!passwordAccepted(*this, sheet)) {
        redraw(true);
        General::MensajePasswordIncorrecto();
        closeUnlessShown();
        return false;
    }

    // Apply. The previous cube's settings and timers go first.
    c->RestoreCubeOptions();
    const auto grids = gridsOf(*this, *c);
    for (int i = 0; i < cf::kGridCount; ++i)
        grids[size_t(i)]->loadFromBytes(members.grids[size_t(i)]);
    applyIdentity(*c, cube, sheet, path);
    c->BlockearCampos(true);
    c->Recarga = false;
    if (!DC->loadLayoutJson(members.layout, members.data, &error)) {
        redraw(true);
        bd::os::MsgBox(error, bd::os::Buttons::Ok, bd::os::Icon::Critical, "Error opening file");
        return false;
    }
    members = {};
    applyProperties(*c, cube, sheet, askPassword);
    showCube(*this, *c, sheet);
    c->Recarga = false;
    redraw(true);
    VerificarCubo();
    return true;
}

bool Cubo::AbrirUltimo() {
    return Abrir(General::GetSetting("OE", "CUBO", "ULTIMO"));
}

void Cubo::VerificarCubo() {
    Campos* c = Vcampos;
    if (!c || DC->fields().count() > 0) return;
    const QPointer<Campos> guard(c);
    c->setWindowModality(Qt::ApplicationModal);
    c->show();
    while (guard && guard->isVisible())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    if (!guard) return;
    c->setWindowModality(Qt::NonModal);
    bool any = false;
    for (int r = 1; r <= c->spCam->maxRows() && !any; ++r)
        any = !c->spCam->text(Campos::ColCampo, r).isEmpty();
    c->GoTab(any ? 1 : 0);
}
