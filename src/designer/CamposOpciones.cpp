// The engine and the SQL date syntax of the advanced tab, and the small option handlers.
#include "designer/Campos.h"

#include "platform/os/Prompter.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

namespace {
QString delimitadorDe(const QString& motor) {
    return motor == "EXCEL" || motor == "ACCESS" ? "#" : "'";
}

void formatNotice(const QString& part) {
    bd::os::MsgBox("Format should include " + part + " ", bd::os::Buttons::Ok, bd::os::Icon::Information,
                   "Error");
}
} // namespace

void Campos::VerificarMotorDB() {
    const QString motor = cmbEngine->currentText();
    applyingEngine_ = true;
    if (motor != AppliedDbEngine) {
        // Another engine: its defaults replace whatever the boxes held for the previous one.
        txtDateIndicator->setText(delimitadorDe(motor));
        cmdDBToDate->setText(motor == "ORACLE" ? OracleDateTemplate : QString());
        AppliedDbEngine = motor;
        ownSyntax_ = false;
    } else if (txtDateIndicator->text().isEmpty()) {
        txtDateIndicator->setText(delimitadorDe(motor));
    }
    applyingEngine_ = false;
    engineAdopted_ = false;
}

void Campos::cmbEngine_Click() {
    // The user's choice is no stored setting: undo the adoption the text change made.
    if (engineAdopted_) AppliedDbEngine = previousEngine_;
    engineAdopted_ = false;
    if (VinsCube) VinsCube->DBEngine = cmbEngine->currentText();
    VerificarMotorDB();
}

void Campos::txtDBDateFormat_LostFocus() {
    QLineEdit* t = txtDBDateFormat;
    t->setText(t->text().toUpper());
    if (!t->text().contains("DD")) {
        formatNotice("\"DD\"");
        t->setText("YYYY-MM-DD");
    }
    if (!t->text().contains("MM")) {
        formatNotice("\"MM\"");
        t->setText("YYYY-MM-DD");
    }
    if (!t->text().contains("YYYY") && !t->text().contains("YY")) {
        formatNotice("\"YYYY\" or \"YY\"");
        t->setText("YYYY-MM-DD");
    }
}

void Campos::txtDBHourFormat_LostFocus() {
    QLineEdit* t = txtDBHourFormat;
    t->setText(t->text().toUpper());
    for (const char* part : {"HH", "MM", "SS"}) {
        if (t->text().contains(part)) continue;
        formatNotice(QStringLiteral("\"%1\"").arg(part));
        t->setText("HH:MM:SS");
    }
}

void Campos::chkSaveWData_Click() {
    // A cube saved with its data opens offline.
    if (chkSaveWData->isChecked()) chkRefresh->setChecked(false);
}
