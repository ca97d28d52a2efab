#include "platform/os/Printer.h"

#include "platform/os/DialogRunner.h"

#include <QPrintDialog>
#include <QPrinter>

namespace bd::os {

bool runPrintDialog(QPrinter* printer, QWidget* parent, const QString& title) {
    if (!printer) return false;
    QPrintDialog dlg(printer, parent);
    dlg.setObjectName("PrintDialog");
    if (!title.isEmpty()) dlg.setWindowTitle(title);
    return runDialog(&dlg) == QDialog::Accepted;
}

} // namespace bd::os
