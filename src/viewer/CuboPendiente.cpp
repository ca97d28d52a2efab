// Viewer commands that hand over to the designer, and the ones this build does not offer: those say
// so instead of doing nothing.
#include "designer/Campos.h"
#include "platform/os/Prompter.h"
#include "shell/GeneralGrid.h"
#include "viewer/Cubo.h"

void Cubo::NotAvailable(const QString& command) {
    bd::os::MsgBox(QStringLiteral("The command \"%1\" is not available yet.").arg(command),
                   bd::os::Buttons::Ok, bd::os::Icon::Information);
}

void Cubo::OpenScheduler() {
    if (Vcampos) Vcampos->OpenScheduler();
}
void Cubo::Protect() {
    if (Vcampos) Vcampos->Protect();
}
void Cubo::AdvancedSettings() {
    if (!Vcampos) return;
    Vcampos->show();
    General::EnfocarControl(Vcampos);
    Vcampos->cmdAdvSet_Click();
}
