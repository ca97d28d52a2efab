// The designer's upload properties: the cube's publishing settings of the property sheet, edited in
// the upload properties dialog.
#include "designer/Campos.h"
#include "platform/os/DialogRunner.h"
#include "publishing/WebView.h"
#include "publishing/frmUploadProperties.h"
#include "shell/General.h"
#include "shell/GeneralWeb.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

void Campos::cmdUpProperties_Click() {
    if (!spSave) return;
    // A cube never published still shows the address it will have.
    if (VinsCube) General::AsignarIdExport(*VinsCube);
    frmUploadProperties dlg(this);
    dlg.txtUrl->setText(bd::publishing::ViewAddress(
        General::ViewsBase(), VinsCube ? VinsCube->IdExportCube : QString(), General::sArchivoVista));
    dlg.chkUpload->setChecked(Propiedad(FilaSubirAlSalir) == "1");
    dlg.txtMailAlert->setText(Propiedad(FilaMailsSubida));
    dlg.txtFontPix->setText(General::sTamFuenteHTML);
    if (!Propiedad(FilaPixelesFuente).isEmpty()) dlg.txtFontPix->setText(Propiedad(FilaPixelesFuente));
    bd::os::runDialog(&dlg);
    if (!dlg.Cambio) return;
    const struct {
        int fila;
        QString valor;
    } filas[] = {{FilaSubirAlSalir, dlg.chkUpload->isChecked() ? "1" : "0"},
                 {FilaMailsSubida, dlg.txtMailAlert->text()},
                 {FilaPixelesFuente, dlg.txtFontPix->text()}};
    bool cambiada = false;
    for (const auto& f : filas) {
        if (Propiedad(f.fila) == f.valor) continue;
        spSave->setText(ColPropiedad, f.fila, f.valor);
        cambiada = true;
    }
    // The rows travel only with a save: the close must ask for one.
    if (cambiada && VCubo) VCubo->Salvar = true;
}
