#pragma once
// Modal dialogs are shown through one runner so tests receive the dialog, fill it and close it.
#include <QDialog>
#include <functional>

namespace bd::os {

using DialogHandler = std::function<int(QDialog*)>;

// Shows dlg modally (exec) or hands it to the installed handler; returns QDialog::Accepted/Rejected.
int runDialog(QDialog* dlg);

// Installs a handler for every following modal dialog (empty restores exec()).
void setDialogHandler(DialogHandler h);

class ScopedDialogHandler {
public:
    explicit ScopedDialogHandler(DialogHandler h) { setDialogHandler(std::move(h)); }
    ~ScopedDialogHandler() { setDialogHandler({}); }
};

} // namespace bd::os
