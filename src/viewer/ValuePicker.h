#pragma once
// The run of a value picker by its callers (the designer's filter grid and the viewer's user-filter
// grid): a picker is modal and has one default instance; it is read only when accepted, and reset
// and unloaded whatever happened.
#include "platform/os/DialogRunner.h"

#include <QPointer>

// Shows the picker and calls read(picker) when it was accepted; true then.
template <class Picker, class Read> bool runValuePicker(Picker* p, Read read) {
    QPointer<Picker> dlg = p;
    bd::os::runDialog(p);
    const bool accepted = dlg && dlg->Cambio;
    if (accepted) read(*dlg);
    if (dlg) dlg->Cambio = false;
    Picker::unload();
    return accepted;
}
