#include "platform/os/DialogRunner.h"

#include "platform/os/WindowTitle.h"

namespace bd::os {
namespace {
DialogHandler g_handler;
}

int runDialog(QDialog* dlg) {
    if (!dlg) return QDialog::Rejected;
    fitTitle(dlg);
    if (g_handler) {
        // The handler sees the dialog as it would be on screen.
        dlg->setModal(true);
        dlg->show();
        const int r = g_handler(dlg);
        if (dlg->isVisible()) dlg->hide();
        return r;
    }
    return dlg->exec();
}

void setDialogHandler(DialogHandler h) {
    g_handler = std::move(h);
}

} // namespace bd::os
