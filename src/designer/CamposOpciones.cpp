// The engine and the SQL date syntax of the advanced tab, and the small option handlers.
#include "designer/Campos.h"

#include "platform/os/Prompter.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

namespace {
QString delimitadorDe(const QString& motor) {
    return motor == "EXCEL" || motor == "ACCESS" ? "#" : "'";
}

void avisoFormato(const QString& parte) {
    bd::os::MsgBox("Format should include " + parte + " ", bd::os::Buttons::Ok, bd::os::Icon::Information,
                   "Error");
}
} // namespace

void Campos::VerificarMotorDB() {
    const QString motor = cmbEngine->currentText();
    aplicandoMotor_ = true;
    if (motor != MotorDBAplicado) {
        // Another engine: its defaults replace whatever the boxes held for the previous one.
        txtDateIndicator->setText(delimitadorDe(motor));
        cmdDBToDate->setText(motor == "ORACLE" ? PlantillaOracle : QString());
        MotorDBAplicado = motor;
        sintaxisPropia_ = false;
    } else if (txtDateIndicator->text().isEmpty()) {
        txtDateIndicator->setText(delimitadorDe(motor));
    }
    aplicandoMotor_ = false;
    motorAdoptado_ = false;
}

void Campos::cmbEngine_Click() {
    // The user's choice is no stored setting: undo the adoption the text change made.
    if (motorAdoptado_) MotorDBAplicado = motorPrevio_;
    motorAdoptado_ = false;
    if (VinsCube) VinsCube->DBEngine = cmbEngine->currentText();
    VerificarMotorDB();
}

void Campos::txtDBDateFormat_LostFocus() {
    QLineEdit* t = txtDBDateFormat;
    t->setText(t->text().toUpper());
    if (!t->text().contains("DD")) {
        avisoFormato("\"DD\"");
        t->setText("YYYY-MM-DD");
    }
    if (!t->text().contains("MM")) {
        avisoFormato("\"MM\"");
        t->setText("YYYY-MM-DD");
    }
    if (!t->text().contains("YYYY") && !t->text().contains("YY")) {
        avisoFormato("\"YYYY\" or \"YY\"");
        t->setText("YYYY-MM-DD");
    }
}

void Campos::txtDBHourFormat_LostFocus() {
    QLineEdit* t = txtDBHourFormat;
    t->setText(t->text().toUpper());
    for (const char* parte : {"HH", "MM", "SS"}) {
        if (t->text().contains(parte)) continue;
        avisoFormato(QStringLiteral("\"%1\"").arg(parte));
        t->setText("HH:MM:SS");
    }
}

void Campos::chkSaveWData_Click() {
    // A cube saved with its data opens offline.
    if (chkSaveWData->isChecked()) chkRefresh->setChecked(false);
}
