// The cube file: six members (pivot layout and five grids) packed into one archive. Members are
// written and read in a private temporary folder, never in the shared program folder; an archive is
// checked whole before anything of it is applied, and a save replaces the target only when complete.
#include "designer/Campos.h"
#include "designer/frmPassword.h"
#include "platform/grid/GridFile.h"
#include "platform/os/AppPath.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "platform/zip/Zip.h"
#include "shell/General.h"
#include "shell/GeneralFiles.h"
#include "shell/GeneralGrid.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>
#include <optional>

std::function<QString(const QString&)> Cubo::FallaGuardar;

namespace {
constexpr int kMiembroLayout = 0, kMiembroSpCal = 1, kMiembroSpCam = 2, kMiembroSpSave = 3, kMiembroSpFil = 4,
              kMiembroSpUsrFil = 5;
// What an opened cube may hold, so that a crafted archive cannot take the machine's memory: a grid
// member is a small JSON file (the largest real ones are well under a megabyte), the layout with data
// may hold a large result and is streamed to a file, never held whole.
constexpr qint64 kMaxGridMember = 96ll * 1024 * 1024;
constexpr qint64 kMaxGridMembers = 128ll * 1024 * 1024; // the five together
constexpr qint64 kMaxLayoutMember = 512ll * 1024 * 1024;
// Characters of the cube's description that are shown and saved.
constexpr int kMaxDescripcion = 64 * 1024;

QString valorCasilla(const QCheckBox* c) {
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
std::optional<int> leerPosicion(QString text) {
    text = text.trimmed().replace(',', '.');
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) > 1e7) return std::nullopt;
    return int(std::lround(v));
}

QString falla(const QString& paso) {
    return Cubo::FallaGuardar ? Cubo::FallaGuardar(paso) : QString();
}
} // namespace

const QStringList& Cubo::NombresMiembros() {
    static const QStringList n{"temp.cub",    "temp.spCal", "temp.spCam",
                               "temp.spSave", "temp.spFil", "temp.spUsrFil"};
    return n;
}

void Cubo::EliminarArchivos() {
    if (carpetaMiembros_.isEmpty()) return;
    for (const QString& n : NombresMiembros())
        General::BorrarArchivo(carpetaMiembros_ + "/" + n);
}

bool Cubo::Guardar(bool ConDatos, bool GuardarComo) {
    Campos* c = Vcampos;
    if (!c || !VinsCube) return false;
    InsCube& cube = *VinsCube;
    const QString idAnterior = cube.IdExportCube;
    if (cube.PathOpenCube.isEmpty() || GuardarComo) {
        if (CD.fileName.isEmpty()) CD.fileName = cube.CubeId + ".cub";
        CD.filter = "*.cub|*.cub|";
        CDCancelError = true;
        CD.defaultExt = "cub";
        CD.save = true;
        CD.owner = this;
        const auto elegido = bd::os::fileDialogs().choose(CD);
        if (!elegido) return false; // a cancel is no error
        CD.fileName = *elegido;
        // A first save and every Save-As give the cube an export id of its own.
        cube.IdExportCube.clear();
        General::AsignarIdExport(cube);
    } else {
        CD.fileName = cube.PathOpenCube;
    }
    if (c->chkSaveWData->checkState() == Qt::Checked)
        ConDatos = true;
    else if (c->chkSaveWData->checkState() == Qt::Unchecked)
        ConDatos = false;
    General::AsignarIdExport(cube);

    const QString destino = CD.fileName.isEmpty() ? QString() : QFileInfo(CD.fileName).absoluteFilePath();
    if (!destino.isEmpty()) {
        QTemporaryDir dir;
        bd::grid::Grid& hoja = *c->spSave;
        const QByteArray hojaAnterior = hoja.saveToBytes();
        QString error;
        auto fallar = [&](const QString& reason) {
            hoja.loadFromBytes(hojaAnterior);
            cube.IdExportCube = idAnterior;
            EliminarArchivos();
            carpetaMiembros_.clear();
            bd::os::MsgBox(reason, bd::os::Buttons::Ok, bd::os::Icon::Critical, "Save error");
            return false;
        };
        if (!dir.isValid()) return fallar(dir.errorString());
        carpetaMiembros_ = dir.path();
        EliminarArchivos();

        const int col = Campos::ColPropiedad;
        hoja.setText(col, Campos::FilaNombreCubo, cube.CubeId);
        General::EscribirCelda(hoja, col, Campos::FilaConexion, cube.CubeConnectionString);
        General::EscribirCelda(hoja, col, Campos::FilaConsultaSQL, cube.CubeSqlQuery);
        hoja.setText(col, Campos::FilaRefrescarCopia, valorCasilla(c->chkRefresh));
        hoja.setText(col, Campos::FilaDescripcion, c->txtDescripcion->toPlainText().left(kMaxDescripcion));
        hoja.setText(col, Campos::FilaRefrescarAlAbrir, valorCasilla(c->chkRefresh));
        hoja.setText(col, Campos::FilaEnviarAlertas, valorCasilla(c->chkSendAlert));
        hoja.setText(col, Campos::FilaMinutosRefresco, c->txtAutorefresh->text());
        hoja.setText(col, Campos::FilaMinutosCierre, c->txtAutoClose->text());
        hoja.setText(col, Campos::FilaGuardarConDatos, valorCasilla(c->chkSaveWData));
        hoja.setText(col, Campos::FilaSeparadorLike, c->txtLike->text());
        hoja.setText(col, Campos::FilaFormatoFecha, c->txtDBDateFormat->text());
        hoja.setText(col, Campos::FilaIndicadorFecha, c->txtDateIndicator->text());
        hoja.setText(col, Campos::FilaFormatoHora, c->txtDBHourFormat->text());
        hoja.setText(col, Campos::FilaFuncionFecha, c->cmdDBToDate->text());
        hoja.setText(col, Campos::FilaMotorDB, c->cmbEngine->currentText());
        hoja.setText(col, Campos::FilaPanelFiltros, ToolChecked(ToolPanelFiltros) ? "1" : "");
        hoja.setText(col, Campos::FilaSinGrafico, ToolChecked(ToolSinGrafico) ? "1" : "");
        hoja.setText(col, Campos::FilaMedidaGrafico, lastChart);
        // Whole twips: the text reads back the same whatever the reader's decimal separator.
        hoja.setText(col, Campos::FilaPosicionSplitFil, QString::number(SplitFil->Top()));
        hoja.setText(col, Campos::FilaPosicionSplit, QString::number(Split->Top()));
        General::AsignarIdExport(cube);
        hoja.setText(col, Campos::FilaIdExportacion, cube.IdExportCube);

        const QStringList& nombres = NombresMiembros();
        QStringList rutas;
        for (const QString& n : nombres)
            rutas << carpetaMiembros_ + "/" + n;
        if (QString f = falla("layout"); !f.isEmpty()) return fallar(f);
        if (!DC->saveLayout(rutas[kMiembroLayout], ConDatos ? 3 : 2, &error)) return fallar(error);
        const bd::grid::Grid* grillas[] = {c->spCal, c->spCam, c->spSave, c->spFil, spUsrFil};
        if (QString f = falla("grids"); !f.isEmpty()) return fallar(f);
        for (int i = 0; i < 5; ++i)
            if (!grillas[i]->saveToFile(rutas[i + 1], &error)) return fallar(error);
        if (QString f = falla("pack"); !f.isEmpty()) return fallar(f);
        // The packer writes beside the target and renames over it only when complete.
        if (!bd::zip::pack(rutas, destino, &error)) return fallar(error);
        General::SaveSetting("OE", "CUBO", "ULTIMO", destino);
        EliminarArchivos();
        carpetaMiembros_.clear();
        cube.PathOpenCube = destino;
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
    bd::grid::Grid* grillas[] = {c->spCal, c->spCam, c->spSave, c->spFil, spUsrFil};
    auto redibujar = [&](bool on) {
        for (bd::grid::Grid* g : {c->spCal.data(), c->spCam.data(), c->spFil.data(), spUsrFil.data()})
            g->setRedraw(on);
    };

    OcultarChart(false);
    redibujar(false);
    CD.filter = "*.cub|*.cub|";
    if (vFile.isEmpty()) {
        CD.save = false;
        CD.owner = this;
        const auto elegido = bd::os::fileDialogs().choose(CD);
        CDCancelError = true;
        if (!elegido) {
            redibujar(true);
            // A viewer not shown yet has nothing to show; one that holds a cube keeps it.
            if (!isVisible()) {
                hide();
                Cerrar = true;
            }
            return false;
        }
        CD.fileName = *elegido;
    } else {
        CD.fileName = vFile;
        CDCancelError = true;
    }
    const QString ruta = QFileInfo(CD.fileName).absoluteFilePath();

    auto fallar = [&](const QString& reason) {
        EliminarArchivos();
        carpetaMiembros_.clear();
        redibujar(true);
        bd::os::MsgBox(reason, bd::os::Buttons::Ok, bd::os::Icon::Critical, "Error opening file");
        return false;
    };

    // Every member is read and checked before anything of the cube is applied.
    QTemporaryDir dir;
    if (!dir.isValid()) return fallar(dir.errorString());
    carpetaMiembros_ = dir.path();
    QString error;
    if (!QFileInfo(ruta).isFile()) return fallar(QString("The file %1 does not exist.").arg(ruta));
    // One member at a time, each within its cap and all grids within one total.
    QByteArray miembros[6];
    const QStringList& nombres = NombresMiembros();
    auto incompleto = [&](const QString& why) {
        return fallar(QString("%1 is not a complete cube file: %2").arg(QFileInfo(ruta).fileName(), why));
    };
    qint64 resto = kMaxGridMembers;
    for (int i = 1; i < 6; ++i) {
        if (!bd::zip::readMember(ruta, nombres[i], miembros[i], &error, std::min(kMaxGridMember, resto)))
            return incompleto(error);
        resto -= miembros[i].size();
        bd::grid::GridStore s;
        if (!bd::grid::readGridJson(miembros[i], s, &error))
            return fallar(QString("The member %1 is damaged: %2").arg(nombres[i], error));
    }
    const QString rutaLayout = carpetaMiembros_ + "/" + nombres[kMiembroLayout];
    {
        QFile f(rutaLayout);
        if (!f.open(QIODevice::WriteOnly)) return fallar(f.errorString());
        QString why;
        if (!bd::zip::streamMember(
                ruta, nombres[kMiembroLayout], [&](const char* d, qint64 n) { return f.write(d, n) == n; },
                &why, kMaxLayoutMember))
            return incompleto(why);
        if (!f.flush()) return fallar(f.errorString());
    }
    {
        bd::pivot::PivotTable prueba;
        if (!prueba.loadLayout(rutaLayout, &error)) return fallar(error);
    }
    // The staged property sheet, read before it replaces the designer's.
    bd::grid::Grid hoja;
    hoja.loadFromBytes(miembros[kMiembroSpSave]);
    auto fila = [&](int r) { return hoja.text(Campos::ColPropiedad, r); };

    General::SaveSetting("OE", "CUBO", "ULTIMO", ruta);
    // The password guards everything that follows: the layout, the data and the timers.
    const bool pedirPassword = fila(Campos::FilaPedirPassword) == "1";
    if (pedirPassword) {
        frmPassword dlg(this);
        dlg.Pass.clear();
        dlg.txtPass->clear();
        bd::os::runDialog(&dlg);
        if (dlg.Pass.toUpper() != fila(Campos::FilaPasswordCubo).toUpper()) {
            EliminarArchivos();
            carpetaMiembros_.clear();
            redibujar(true);
            General::MensajePasswordIncorrecto();
            // A viewer being opened is not shown; one that holds a cube keeps it as it was.
            if (!isVisible()) {
                hide();
                Cerrar = true;
            }
            return false;
        }
    }

    // Apply. The previous cube's settings and timers go first.
    c->RestablecerOpcionesCubo();
    for (int i = 1; i < 6; ++i)
        grillas[i - 1]->loadFromBytes(miembros[i]);
    cube.CubeId = fila(Campos::FilaNombreCubo);
    c->txtIdCubo->setText(cube.CubeId);
    cube.IdExportCube.clear();
    if (!fila(Campos::FilaIdExportacion).isEmpty()) cube.IdExportCube = fila(Campos::FilaIdExportacion);
    General::AsignarIdExport(cube);
    cube.PathOpenCube = ruta;
    if (cube.isExample && !QFileInfo::exists(bd::os::AppPath() + "/DeveloperMachine.txt")) {
        // The example ships with one export id; each machine publishes it under one of its own.
        const QString enArchivo = cube.IdExportCube;
        const QString propio = General::GetSetting("OE", "IDSEXPORT", enArchivo);
        if (propio.isEmpty()) {
            cube.IdExportCube.clear();
            General::AsignarIdExport(cube);
            General::SaveSetting("OE", "IDSEXPORT", enArchivo, cube.IdExportCube);
        } else {
            cube.IdExportCube = propio;
        }
    }
    cube.CubeConnectionString = hoja.cellTag(Campos::ColPropiedad, Campos::FilaConexion);
    c->txtConeccion->setPlainText(cube.CubeConnectionString);
    cube.CubeSqlQuery = hoja.cellTag(Campos::ColPropiedad, Campos::FilaConsultaSQL);
    c->txtQuery->setPlainText(cube.CubeSqlQuery);
    c->BlockearCampos(true);
    c->Recarga = false;
    if (!DC->loadLayout(rutaLayout, &error)) return fallar(error);
    EliminarArchivos();
    carpetaMiembros_.clear();

    c->txtDescripcion->setPlainText(fila(Campos::FilaDescripcion).left(kMaxDescripcion));
    cube.vPass = fila(Campos::FilaPasswordCubo);
    if (fila(Campos::FilaProtegerConexion) == "1") {
        c->frameLockCnn->show();
        for (QWidget* w :
             std::initializer_list<QWidget*>{c->cmdGenerarCnn, c->lblLastCnn, c->cmbEngine, c->comProbarCnn})
            w->setEnabled(false);
    }
    if (fila(Campos::FilaProtegerSQL) == "1") {
        c->frameLockSql->show();
        c->cmdOpenEditor->setEnabled(false);
        c->cmbTbl->setEnabled(false);
    }
    if (fila(Campos::FilaProtegerConfiguracion) == "1") c->vProtected = true;
    if (!fila(Campos::FilaSeparadorLike).isEmpty()) c->txtLike->setText(fila(Campos::FilaSeparadorLike));
    if (!fila(Campos::FilaFormatoFecha).isEmpty())
        c->txtDBDateFormat->setText(fila(Campos::FilaFormatoFecha));
    if (!fila(Campos::FilaIndicadorFecha).isEmpty())
        c->txtDateIndicator->setText(fila(Campos::FilaIndicadorFecha));
    if (!fila(Campos::FilaFormatoHora).isEmpty()) c->txtDBHourFormat->setText(fila(Campos::FilaFormatoHora));
    if (!fila(Campos::FilaFuncionFecha).isEmpty()) c->cmdDBToDate->setText(fila(Campos::FilaFuncionFecha));
    if (!fila(Campos::FilaMotorDB).isEmpty()) c->cmbEngine->setCurrentText(fila(Campos::FilaMotorDB));
    if (pedirPassword) {
        c->frameLockCnn->hide();
        c->frameLockSql->hide();
    }
    if (!fila(Campos::FilaMinutosRefresco).isEmpty())
        c->txtAutorefresh->setText(fila(Campos::FilaMinutosRefresco));
    if (c->txtAutorefresh->text() != "0" && !c->txtAutorefresh->text().isEmpty())
        c->PrenderTimerAutorefresh();
    if (!fila(Campos::FilaMinutosCierre).isEmpty()) c->txtAutoClose->setText(fila(Campos::FilaMinutosCierre));
    if (c->txtAutoClose->text() != "0" && !c->txtAutoClose->text().isEmpty()) c->PrenderTimerAutoClose();

    cubeFileChanged(); // the caption names the path
    c->IndicarConeccion();
    c->GoTab(1);
    c->SetAbChecked();
    c->chkSendAlert->setChecked(fila(Campos::FilaEnviarAlertas) == "1");
    c->chkSaveWData->setChecked(fila(Campos::FilaGuardarConDatos) == "1");
    SetToolChecked(ToolPanelFiltros, fila(Campos::FilaPanelFiltros) == "1");
    if (fila(Campos::FilaSinGrafico) == "1") {
        SetToolChecked(ToolSinGrafico, true);
        CHA->hide();
        CHATag = "NOLOADED";
        OcultarChart(false);
    } else {
        SetToolChecked(ToolSinGrafico, false);
    }
    lastChart = fila(Campos::FilaMedidaGrafico);
    c->ShowConnectButton();
    c->VerificarNumericos();
    c->BlockearColumnasSpCal();
    c->CargarComandosGraficos();
    ColorcarGrillaFiltros(true, false, false);
    if (const auto p = leerPosicion(fila(Campos::FilaPosicionSplitFil));
        p && !fila(Campos::FilaPosicionSplitFil).isEmpty()) {
        SplitFil->setVisible(true);
        SplitFil->setTop(*p);
        AcomodarPantalla();
    }
    if (const auto p = leerPosicion(fila(Campos::FilaPosicionSplit));
        p && !fila(Campos::FilaPosicionSplit).isEmpty()) {
        Split->setVisible(true);
        Split->setTop(*p);
        AcomodarPantalla();
    }
    if (fila(Campos::FilaRefrescarAlAbrir) == "1") {
        c->chkRefresh->setChecked(true);
        c->Refrescar();
    } else {
        c->chkRefresh->setChecked(false);
        Graph(QString());
    }
    c->Recarga = false;
    redibujar(true);
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
    bool hay = false;
    for (int r = 1; r <= c->spCam->maxRows() && !hay; ++r)
        hay = !c->spCam->text(Campos::ColCampo, r).isEmpty();
    c->GoTab(hay ? 1 : 0);
}
