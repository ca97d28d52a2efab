#pragma once
// Scripted answers for the designer's modal dialogs: the data-link dialog and the password dialog.
#include "designer/RefreshTestCube.h"
#include "platform/datalink/DataLinkDialog.h"
#include "platform/os/DialogRunner.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <functional>

namespace designertest {

// Fills the data-link dialog (cancels it when fill is empty) and records how often it was shown.
struct DataLink {
    std::function<void(bd::db::DataLinkDialog&)> fill;
    int shown = 0;
    bd::os::ScopedDialogHandler handler{[this](QDialog* d) {
        auto* dl = qobject_cast<bd::db::DataLinkDialog*>(d);
        if (!dl) return int(QDialog::Rejected);
        ++shown;
        if (!fill) {
            dl->cmdCancel->click();
            return dl->result();
        }
        fill(*dl);
        dl->cmdOk->click();
        return dl->result();
    }};
};

inline std::function<void(bd::db::DataLinkDialog&)> sqliteFile(const QString& file) {
    return [file](bd::db::DataLinkDialog& d) {
        d.setKind(bd::db::DataLinkDialog::SQLite);
        d.txtFile->setText(file);
    };
}

// Types the password into the password dialog and confirms it.
struct Password {
    QString typed;
    int asked = 0;
    bd::os::ScopedDialogHandler handler{[this](QDialog* d) {
        ++asked;
        d->findChild<QLineEdit*>("txtPass")->setText(typed);
        d->findChild<QPushButton*>("cmdAceptar")->click();
        return d->result();
    }};
};

} // namespace designertest
