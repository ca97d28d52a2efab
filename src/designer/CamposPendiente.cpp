// Designer procedures that other windows call and whose full work belongs to the designer's own
// window work (tabs, toolbar, connection indicator, chart band). Minimal, safe behaviour until then.
#include "designer/Campos.h"
#include "shell/InsCube.h"

void Campos::GoTab(int tab) { SSTab1->setCurrentIndex(tab); }

void Campos::SetAbChecked() {}

void Campos::IndicarConeccion() {
    const bool on = VinsCube && VinsCube->Conectado;
    cmdConectado->setText(on ? "Connected" : "Not connected");
}

void Campos::BlockearCampos(bool) {}

void Campos::ShowConnectButton() {}

void Campos::ObtnerQuery() {}

void Campos::MostrarToolMeasure() {}
