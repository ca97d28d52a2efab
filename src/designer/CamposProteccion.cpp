// The cube password: the prompt every check uses, and the protection dialog.
#include "designer/Campos.h"
#include "designer/frmPassword.h"
#include "designer/frmProtect.h"

#include "platform/os/DialogRunner.h"
#include "shell/InsCube.h"

QString Campos::AskPassword() {
    QPointer<frmPassword> f = new frmPassword(this);
    f->Pass.clear();
    f->txtPass->clear();
    bd::os::runDialog(f);
    const QString pass = f ? f->Pass : QString();
    if (f) delete f.data();
    return pass;
}

void Campos::Protect() {
    QPointer<Campos> self(this);
    if (VinsCube && !VinsCube->vPass.isEmpty()) {
        const QString pass = AskPassword();
        // A wrong password ends the command without a word.
        if (!self || !VinsCube || pass.toUpper() != VinsCube->vPass.toUpper()) return;
    }
    QPointer<frmProtect> f = new frmProtect(this, this);
    bd::os::runDialog(f);
    if (f) delete f.data();
}
