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

QString inFolder(const QString& name) {
    return bd::os::AppPath() + "/" + name;
}

bool writeLines(const QString& path, const QStringList& lines, QString* error) {
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

bool Cubo::PublishCharts(const QString& address, QVector<bd::publishing::ChartEntry>& charts,
                         QString* error) {
    const QPointer<Cubo> self(this);
    QList<QPointer<bd::toolbar::Tool>> tools;
    for (bd::toolbar::Tool* t : ABGraph->tools())
        tools << t;
    for (const QPointer<bd::toolbar::Tool>& t : tools) {
        if (!t) continue; // the chart band was rebuilt meanwhile
        const QString measure = t->identifier();
        if (measure.isEmpty() || !t->visible()) continue;
        ToolChekBar(t, ABGraph);
        bGraficoDibujado = false;
        Graph(measure);
        if (!self) return false;
        // A chart that was not drawn has no picture to show.
        if (!bGraficoDibujado) continue;
        const QString name = QStringLiteral("img%1.jpg").arg(charts.size() + 1);
        General::sArchivoImagen = name;
        const QString path = inFolder(name);
        getChartImg(path);
        if (!self || !aJpeg(path, error)) return false;
        if (!General::SubirArchivo(address, name, error) || !self) return false;
        General::BorrarArchivo(path);
        charts << bd::publishing::ChartEntry{name, measure};
    }
    return true;
}

bool Cubo::PublishView(QString* error) {
    using namespace General;
    const QPointer<Cubo> self(this);
    const QString dataPage = inFolder(sArchivoDatos), viewPage = inFolder(sArchivoVista);
    if (!DC->exportHtml(dataPage, true, true, true, true, error) || !AjustarHTML(dataPage, QString(), error))
        return false;
    const QString address = UploadAddress(VinsCube->IdExportCube, dHDNumber, VinsCube->CubeId);

    QVector<bd::publishing::ChartEntry> charts;
    if (CHA->isVisible() && !PublishCharts(address, charts, error)) return false;
    if (!self) return false;

    if (!Vcampos || !VinsCube) {
        *error = QStringLiteral("The cube's designer was closed during the upload.");
        return false;
    }
    const QString description = Vcampos->txtDescripcion->toPlainText();
    bd::publishing::ViewPage page;
    page.title = description.isEmpty() ? Vcampos->txtIdCubo->text() : description;
    page.iconUrl = ShortcutIcon();
    page.scriptUrl = ViewsBase() + "script/viewscript.js";
    page.menuLine = bd::publishing::MenuLine(ViewsBase(), sArchivoDatos, charts);
    page.dataPage = sArchivoDatos;
    page.fontPixels = sTamFuenteHTML.toInt();
    if (!writeLines(viewPage, bd::publishing::ViewLines(page), error)) return false;

    if (!SubirArchivo(address, sArchivoVista, error) || !self) return false;
    if (!SubirArchivo(address, sArchivoDatos, error) || !self) return false;
    BorrarArchivo(dataPage);
    BorrarArchivo(viewPage);
    AbrirURL(bd::publishing::ViewAddress(ViewsBase(), VinsCube->IdExportCube, sArchivoVista));
    EnviarMailsAfterUpload();
    return true;
}

void Cubo::UpLoadToWeb() {
    using namespace General;
    if (publishing_ || !VinsCube || !Vcampos) return;
    const bool nobody = IsUnattended();
    if (VinsCube->PathOpenCube.isEmpty() && !nobody) Guardar(Vcampos->chkSaveWData->isChecked(), true);
    if (!VinsCube || !Vcampos) return;
    if (VinsCube->PathOpenCube.isEmpty()) {
        if (nobody)
            ReportFailures("Save", {"You must save file."}, true);
        else
            bd::os::MsgBox("You must save file.", bd::os::Buttons::Ok, bd::os::Icon::Information, "Save");
        return;
    }

    const QPointer<Cubo> self(this);
    // A viewer deleted during a wait leaves only the process-wide state to restore.
    auto giveUp = [] {
        PunteroNormal();
        MostrarEspera(false);
    };
    publishing_ = true;
    MostrarEspera(true);
    if (!self) return giveUp();
    if (!Vcampos || !VinsCube) {
        publishing_ = false;
        return giveUp();
    }
    sTamFuenteHTML = bd::publishing::PublishingFontPixels(Vcampos->Property(Campos::FilaPixelesFuente));
    AsignarIdExport(*VinsCube);
    PunteroEspera();
    AB->setEnabled(false);
    // A chart chosen meanwhile would be drawn over the one being captured.
    const bool chartBar = ABGraph->isEnabled();
    ABGraph->setEnabled(false);
    const QString legend = cmdConectado->text();
    cmdConectado->setText("Uploading...");

    QString error;
    bool done = true;
    const qint64 cells =
        bd::publishing::CellCount(DC->resultColumns(), DC->rowFields().count(), DC->resultRows());
    if (bd::publishing::ConfirmCells(cells, nobody)) done = PublishView(&error);
    if (!self) return giveUp();
    if (!done) {
        MostrarEspera(false);
        if (nobody)
            ReportFailures("Upload error", {error}, true);
        else
            bd::os::MsgBox(error, bd::os::Buttons::Ok, bd::os::Icon::Critical, "Upload error");
        if (!self) return giveUp();
    }
    AB->setEnabled(true);
    ABGraph->setEnabled(chartBar);
    PunteroNormal();
    MostrarEspera(false);
    cmdConectado->setText(legend);
    EnfocarControl(this);
    publishing_ = false;
}
