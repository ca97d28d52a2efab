// Window Print: a picture of the viewer as it is drawn, printed as wide as the page.
#include "platform/os/Printer.h"
#include "platform/os/Prompter.h"
#include "shell/ImprimirFormulario.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QFileInfo>
#include <QPainter>
#include <QPrinter>

void Cubo::PrintScreen() {
    picImprimir = ImprimirFormulario::CapturarFormulario(this);
    QPrinter printer(QPrinter::HighResolution);
    QString name = VinsCube ? QFileInfo(VinsCube->PathOpenCube).completeBaseName() : QString();
    if (name.isEmpty() && VinsCube) name = VinsCube->CubeId;
    printer.setDocName(name.isEmpty() ? QStringLiteral("Cube") : name);
    // The printer is the user's choice: this platform has no printer every program prints to.
    if (!bd::os::runPrintDialog(&printer, this, "Window Print")) return;
    QPainter p;
    if (picImprimir.isNull() || width() <= 0 || !p.begin(&printer)) {
        bd::os::MsgBox("The window could not be printed.", bd::os::Buttons::Ok, bd::os::Icon::Information,
                       "Window Print");
        return;
    }
    // At the page's top left corner, as wide as the page, in the window's proportions.
    const int w = p.viewport().width();
    const int h = int(qint64(w) * height() / width());
    p.drawPixmap(QRect(0, 0, w, h), picImprimir);
    p.end();
}
