#include "viewer/Cubo.h"

#include "designer/Campos.h"
#include "platform/os/AppPath.h"
#include "platform/os/Clock.h"
#include "platform/os/Desktop.h"
#include "platform/os/Prompter.h"
#include "shell/FrmMain.h"
#include "shell/General.h"
#include "shell/InsCube.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QVBoxLayout>

Cubo::Cubo(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("Cubo");
    setAttribute(Qt::WA_DeleteOnClose);
    DC = new bd::pivot::PivotTable(this);
    DC->setObjectName("DC");
    spUsrFil = new bd::grid::Grid(this);
    spUsrFil->setObjectName("spUsrFil");
    spUsrFil->setMaxCols(8);
    spUsrFil->setMaxRows(0);
    spUsrFil->hide();
    SB = new QStatusBar(this);
    TimerWait = new bd::os::Timer(this, 1000);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(spUsrFil);
    lay->addWidget(DC, 1);
    lay->addWidget(SB);
    resize(900, 640);
}

Cubo::~Cubo() {
    if (Vcampos) delete Vcampos.data();
    if (VinsCube) delete VinsCube.data();
}

void Cubo::AcomodarPantalla() {}

void Cubo::SeleccionarCampos(bool Abrir_, bool CuboEjemplo, const QString& PathCubo, const QString& PathMSFile,
                             const QString& Tipo) {
    Q_UNUSED(PathMSFile);
    Q_UNUSED(Tipo);
    if (Vcampos) {
        if (Vcampos->isHidden()) Vcampos->show();
        Vcampos->setFocus();
        return;
    }
    auto* c = new Campos;
    c->VinsCube = VinsCube;
    c->VCubo = this;
    c->Recarga = true;
    Vcampos = c;
    if (!PathCubo.isEmpty()) {
        Abrir(PathCubo);
        return;
    }
    if (CuboEjemplo) {
        Abrir(bd::os::AppPath() + "/Example.cub");
        return;
    }
    if (Abrir_) {
        Abrir(QString());
        return;
    }
    c->setCaptionFromCube();
    c->OpenConnectionDialog = true;
    c->show();
}

bool Cubo::Abrir(const QString& path) {
    QString p = path;
    if (p.isEmpty()) {
        bd::os::FileDialogRequest r;
        r.filter = "*.cub|*.cub|";
        r.defaultExt = "cub";
        r.owner = this;
        auto chosen = bd::os::fileDialogs().choose(r);
        if (!chosen) {
            Cerrar = true;
            return false;
        }
        p = *chosen;
    }
    if (!QFileInfo(p).isFile()) {
        bd::os::MsgBox("Error opening file", bd::os::Buttons::Ok, bd::os::Icon::Critical, "Error opening file");
        Cerrar = true;
        return false;
    }
    if (VinsCube) VinsCube->PathOpenCube = QFileInfo(p).absoluteFilePath();
    setWindowTitle(QFileInfo(p).completeBaseName());
    if (Vcampos) Vcampos->setCaptionFromCube();
    General::SaveSetting("OE", "CUBO", "ULTIMO", QFileInfo(p).absoluteFilePath());
    return true;
}

void Cubo::closeEvent(QCloseEvent* e) {
    if (VinsCube && VinsCube->Vparent) VinsCube->Vparent->Terminar();
    if (Vcampos) {
        Vcampos->CerrarEnUnload = true;
        Vcampos->close();
        Vcampos->deleteLater();
        Vcampos = nullptr;
    }
    e->accept();
}
