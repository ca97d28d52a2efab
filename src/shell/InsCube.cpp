#include "shell/InsCube.h"

#include "designer/Campos.h"
#include "platform/db/Connection.h"
#include "viewer/Cubo.h"

InsCube::InsCube()
    : CnnSql(std::make_unique<bd::db::Connection>()), RsSql(std::make_unique<bd::db::Recordset>()) {}

InsCube::~InsCube() = default;

void InsCube::ShowCube(bool Abrir, bool CuboEjemplo, const QString& PathCubo, const QString& PathMSFile,
                       const QString& Tipo) {
    NoMostrarErrConeccion = CuboEjemplo;
    auto* v = new Cubo;
    viewer = v;
    v->AcomodarPantalla();
    v->VinsCube = this;
    v->SeleccionarCampos(Abrir, CuboEjemplo, PathCubo, PathMSFile, Tipo);
    if (!viewer) return; // the viewer went away while it opened
    DBEngine = Tipo;
    if (!Tipo.isEmpty() && v->Vcampos) v->Vcampos->cmbEngine->setCurrentText(Tipo);
    if (v->Vcampos) {
        v->Vcampos->VerificarMotorDB();
        if (!Campos::HayCampos(*v->Vcampos->spCam)) v->Cerrar = true;
        if (!v->Cerrar) {
            v->show();
            // The chart draws only on a shown viewer: an opened cube's chart comes now.
            if (v->CHATag == "NOLOADED" && !v->ToolChecked(Cubo::ToolNoChart)) v->Graph(QString());
        }
        NoMostrarErrConeccion = false;
    }
    // A viewer that will never be shown, with no designer on screen, is disposed of.
    if (v->Cerrar && !(v->Vcampos && v->Vcampos->isVisible())) v->deleteLater();
}
