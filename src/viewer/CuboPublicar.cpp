// The viewer's export and web-view publishing: the export dialog it opens, and the upload of the
// current view (the table page, one picture per chart and the frame page) to the web-view service.
#include "designer/Campos.h"
#include "platform/os/AppPath.h"
#include "platform/os/Prompter.h"
#include "publishing/Export.h"
#include "publishing/WebView.h"
#include "shell/General.h"
#include "shell/GeneralFiles.h"
#include "shell/GeneralGrid.h"
#include "shell/GeneralHtml.h"
#include "shell/GeneralWeb.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QImage>
#include <QPointer>
#include <QSaveFile>

namespace {

QString enCarpeta(const QString& nombre) {
    return bd::os::AppPath() + "/" + nombre;
}

bool escribirLineas(const QString& path, const QStringList& lines, QString* error) {
    QSaveFile f(path);
    const QByteArray bytes = (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
    if (f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit()) return true;
    *error = QStringLiteral("The file %1 cannot be written: %2").arg(path, f.errorString());
    return false;
}

// The captured bitmap as a JPEG file under the same name.
bool aJpeg(const QString& path, QString* error) {
    QImage img;
    if (img.load(path, "BMP") && img.save(path, "JPG")) return true;
    *error = QStringLiteral("The chart picture %1 cannot be converted to JPEG.").arg(path);
    return false;
}

} // namespace

void Cubo::ExportarCubo() {
    Export* e = Export::instance();
    e->Serve(DC, Vcampos ? Vcampos->txtIdCubo->text() : QString());
    e->show();
    e->raise();
    e->activateWindow();
}

bool Cubo::PublicarGraficos(const QString& direccion, QVector<bd::publishing::ChartEntry>& graficos,
                            QString* error) {
    const QPointer<Cubo> self(this);
    QList<QPointer<bd::toolbar::Tool>> herramientas;
    for (bd::toolbar::Tool* t : ABGraph->tools())
        herramientas << t;
    for (const QPointer<bd::toolbar::Tool>& t : herramientas) {
        if (!t) continue; // the chart band was rebuilt meanwhile
        const QString medida = t->identifier();
        if (medida.isEmpty() || !t->visible()) continue;
        ToolChekBar(t, ABGraph);
        bGraficoDibujado = false;
        Graph(medida);
        if (!self) return false;
        // A chart that was not drawn has no picture to show.
        if (!bGraficoDibujado) continue;
        const QString nombre = QStringLiteral("img%1.jpg").arg(graficos.size() + 1);
        General::sArchivoImagen = nombre;
        const QString ruta = enCarpeta(nombre);
        getChartImg(ruta);
        if (!self || !aJpeg(ruta, error)) return false;
        if (!General::SubirArchivo(direccion, nombre, error) || !self) return false;
        General::BorrarArchivo(ruta);
        graficos << bd::publishing::ChartEntry{nombre, medida};
    }
    return true;
}

bool Cubo::PublicarVista(QString* error) {
    using namespace General;
    const QPointer<Cubo> self(this);
    const QString datos = enCarpeta(sArchivoDatos), vista = enCarpeta(sArchivoVista);
    if (!DC->exportHtml(datos, true, true, true, true, error) || !AjustarHTML(datos, QString(), error))
        return false;
    const QString direccion = UploadAddress(VinsCube->IdExportCube, dHDNumber, VinsCube->CubeId);

    QVector<bd::publishing::ChartEntry> graficos;
    if (CHA->isVisible() && !PublicarGraficos(direccion, graficos, error)) return false;
    if (!self) return false;

    if (!Vcampos || !VinsCube) {
        *error = QStringLiteral("The cube's designer was closed during the upload.");
        return false;
    }
    const QString descripcion = Vcampos->txtDescripcion->toPlainText();
    bd::publishing::ViewPage pagina;
    pagina.title = descripcion.isEmpty() ? Vcampos->txtIdCubo->text() : descripcion;
    pagina.iconUrl = ShortcutIcon();
    pagina.scriptUrl = ViewsBase() + "script/viewscript.js";
    pagina.menuLine = bd::publishing::MenuLine(ViewsBase(), sArchivoDatos, graficos);
    pagina.dataPage = sArchivoDatos;
    pagina.fontPixels = sTamFuenteHTML.toInt();
    if (!escribirLineas(vista, bd::publishing::ViewLines(pagina), error)) return false;

    if (!SubirArchivo(direccion, sArchivoVista, error) || !self) return false;
    if (!SubirArchivo(direccion, sArchivoDatos, error) || !self) return false;
    BorrarArchivo(datos);
    BorrarArchivo(vista);
    AbrirURL(bd::publishing::ViewAddress(ViewsBase(), VinsCube->IdExportCube, sArchivoVista));
    EnviarMailsAfterUpload();
    return true;
}

void Cubo::UpLoadToWeb() {
    using namespace General;
    if (publicando_ || !VinsCube || !Vcampos) return;
    const bool nadie = SinPersona();
    if (VinsCube->PathOpenCube.isEmpty() && !nadie) Guardar(Vcampos->chkSaveWData->isChecked(), true);
    if (!VinsCube || !Vcampos) return;
    if (VinsCube->PathOpenCube.isEmpty()) {
        if (nadie)
            ReportFailures("Save", {"You must save file."}, true);
        else
            bd::os::MsgBox("You must save file.", bd::os::Buttons::Ok, bd::os::Icon::Information, "Save");
        return;
    }

    const QPointer<Cubo> self(this);
    // A viewer deleted during a wait leaves only the process-wide state to restore.
    auto abandonar = [] {
        PunteroNormal();
        MostrarEspera(false);
    };
    publicando_ = true;
    MostrarEspera(true);
    if (!self) return abandonar();
    if (!Vcampos || !VinsCube) {
        publicando_ = false;
        return abandonar();
    }
    sTamFuenteHTML = bd::publishing::PublishingFontPixels(Vcampos->Propiedad(Campos::FilaPixelesFuente));
    AsignarIdExport(*VinsCube);
    PunteroEspera();
    AB->setEnabled(false);
    // A chart chosen meanwhile would be drawn over the one being captured.
    const bool barraGraficos = ABGraph->isEnabled();
    ABGraph->setEnabled(false);
    const QString leyenda = cmdConectado->text();
    cmdConectado->setText("Uploading...");

    QString error;
    bool hecho = true;
    const qint64 celdas =
        bd::publishing::CellCount(DC->resultColumns(), DC->rowFields().count(), DC->resultRows());
    if (bd::publishing::ConfirmCells(celdas, nadie)) hecho = PublicarVista(&error);
    if (!self) return abandonar();
    if (!hecho) {
        MostrarEspera(false);
        if (nadie)
            ReportFailures("Upload error", {error}, true);
        else
            bd::os::MsgBox(error, bd::os::Buttons::Ok, bd::os::Icon::Critical, "Upload error");
        if (!self) return abandonar();
    }
    AB->setEnabled(true);
    ABGraph->setEnabled(barraGraficos);
    PunteroNormal();
    MostrarEspera(false);
    cmdConectado->setText(leyenda);
    EnfocarControl(this);
    publicando_ = false;
}
