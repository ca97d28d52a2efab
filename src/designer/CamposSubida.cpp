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
    dlg.chkUpload->setChecked(Property(FilaSubirAlSalir) == "1");
    dlg.txtMailAlert->setText(Property(FilaMailsSubida));
    dlg.txtFontPix->setText(General::sTamFuenteHTML);
    if (!Property(FilaPixelesFuente).isEmpty()) dlg.txtFontPix->setText(Property(FilaPixelesFuente));
    bd::os::runDialog(&dlg);
    if (!dlg.Cambio) return;
    const struct {
        int row;
        QString valor;
    } rowCount[] = {{FilaSubirAlSalir, dlg.chkUpload->isChecked() ? "1" : "0"},
                    {FilaMailsSubida, dlg.txtMailAlert->text()},
                    {FilaPixelesFuente, dlg.txtFontPix->text()}};
    bool cambiada = false;
    for (const auto& f : rowCount) {
        if (Property(f.row) == f.valor) continue;
        spSave->setText(ColProperty, f.row, f.valor);
        cambiada = true;
    }
    // The rows travel only with a save: the close must ask for one.
    if (cambiada && VCubo) VCubo->Salvar = true;
}
