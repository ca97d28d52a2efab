// The connection tab: the data-link dialog, the table list, the test, the Next checks, the last
// connection, and unlocking the protected connection and SQL.
#include "designer/Campos.h"

#include "platform/datalink/DataLinkDialog.h"
#include "platform/db/Connection.h"
#include "platform/db/ConnectionString.h"
#include "platform/os/DialogRunner.h"
#include "platform/os/Prompter.h"
#include "platform/os/Twips.h"
#include "shell/General.h"
#include "shell/GeneralDb.h"
#include "shell/InsCube.h"
#include "viewer/Cubo.h"

#include <QAbstractButton>
#include <QDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QRegularExpression>
#include <QVBoxLayout>

using bd::os::Buttons;
using bd::os::Icon;
using bd::os::MsgBox;

namespace {
const QString kTabla = QStringLiteral("TBL --> ");
const QString kViewPrefix = QStringLiteral("VIEW --> ");

void paintButton(QAbstractButton* b, uint32_t ole, const QString& caption) {
    if (!b) return;
    b->setText(caption);
    QPalette p = b->palette();
    p.setColor(QPalette::Button, bd::os::oleToColor(ole));
    b->setPalette(p);
    b->setAutoFillBackground(true);
}

} // namespace

void Campos::IndicarConeccion() {
    const bool on = VinsCube && VinsCube->Conectado;
    const uint32_t color = on ? 0x80FF80 : 0x8080FF;
    const QString caption = on ? "Connected" : "Not Connected";
    paintButton(cmdConectado, color, caption);
    // The viewer shows the same state on its own button.
    if (VCubo) paintButton(VCubo->findChild<QAbstractButton*>("cmdConectado"), color, caption);
}

QString Campos::Dialogo_ConnectionString() {
    bd::db::DataLinkDialog::Kind kind = bd::db::DataLinkDialog::KindCount;
    const QString cs = bd::db::DataLinkDialog::prompt(this, &kind);
    dialogEngine_ = cs.isEmpty() ? QString() : bd::db::DataLinkDialog::engineBoxName(kind);
    return cs;
}

void Campos::cmdGenerarCnn_Click() {
    if (VCubo) VCubo->Salvar = true;
    PaintBackground(txtConeccion, ColorWindow);
    const QString cs = Dialogo_ConnectionString();
    if (!cs.isEmpty()) {
        txtConeccion->setPlainText(cs);
        Cambio = true;
        // The user already said what kind of source it is: Next must not ask for the engine again.
        if (cmbEngine->currentText().isEmpty() && !dialogEngine_.isEmpty()) {
            cmbEngine->setCurrentText(dialogEngine_);
            if (VinsCube) VinsCube->DBEngine = dialogEngine_;
        }
        ObtnerQuery();
    }
    VerificarMotorDB();
}

QString Campos::dataFileConnection(const QString& file, const QString& kind) {
    // Quoted when it must be: a path may hold ";" or quotes.
    const QString ace = "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + bd::db::quoteValue(file);
    if (kind == "ACCESS") return ace;
    if (kind != "EXCEL") return {};
    // The chooser offers csv files with the spreadsheets; they are read by the text driver.
    if (QFileInfo(file).suffix().compare("csv", Qt::CaseInsensitive) == 0)
        return ace + ";Extended Properties=\"text;HDR=YES;FMT=Delimited\";";
    return ace + ";Extended Properties=\"Excel 8.0;HDR=YES\";";
}

void Campos::ObtnerQuery() {
    if (txtConeccion->toPlainText().isEmpty() || !VinsCube) return;
    InsCube& cube = *VinsCube;
    cube.NoMostrarErrConeccion = true;
    General::AbrirConexion(cube);
    IndicarConeccion();
    General::ListarTablas(cube, cmbTbl);
    cube.NoMostrarErrConeccion = false;
    if (cmbTbl->count() == 0) return;
    cmbTbl->setCurrentIndex(0);
    // A query the user already has stays: it holds the cube's measures and filters.
    if (txtQuery->toPlainText().trimmed().isEmpty()) cmbTbl_Click();
}

QString Campos::SqlTableName(const QString& entrada, const QString& motor, const bd::db::Connection* cnn) {
    QString n = entrada;
    if (n.startsWith(kTabla))
        n = n.mid(kTabla.size());
    else if (n.startsWith(kViewPrefix))
        n = n.mid(kViewPrefix.size());
    n = n.trimmed();
    if (motor == "ACCESS" || motor == "EXCEL" || motor == "MSSQL") {
        n = n.toUpper();
        // Besides blanks and "$", a dot (a csv file's table "SALES.CSV") or any other sign would be
        // read as part of the SQL.
        static const QRegularExpression plain(QStringLiteral("^[A-Z_][A-Z0-9_]*$"));
        if (!plain.match(n).hasMatch()) n = '[' + QString(n).replace("]", "]]") + ']';
        return n;
    }
    if (cnn && cnn->isOpen()) return cnn->quoteName(n);
    if (motor == "MYSQL") return '`' + QString(n).replace("`", "``") + '`';
    return '"' + QString(n).replace("\"", "\"\"") + '"';
}

void Campos::cmbTbl_DropDown() {
    if (cmbTbl->count() > 0 || !VinsCube) return;
    General::ListarTablas(*VinsCube, cmbTbl);
    IndicarConeccion();
    cmbTbl->setFocus();
}

void Campos::cmbTbl_Click() {
    if (VCubo) VCubo->Salvar = true;
    const QString t = cmbTbl->currentText();
    if (t.isEmpty()) return;
    const bd::db::Connection* cnn = VinsCube && VinsCube->CnnSql ? VinsCube->CnnSql.get() : nullptr;
    txtQuery->setPlainText("SELECT * FROM " + SqlTableName(t, cmbEngine->currentText(), cnn));
    Cambio = true;
}

void Campos::comProbarCnn_Click() {
    if (txtConeccion->toPlainText().isEmpty()) {
        if (MsgBox("No connection parameters, do you want to create parameters ?", Buttons::YesNo, Icon::None,
                   "Connection") != bd::os::Answer::Yes)
            return;
        cmdGenerarCnn_Click();
    }
    if (!VinsCube) return;
    if (General::AbrirConexion(*VinsCube))
        MsgBox("The connection test was successful", Buttons::Ok, Icon::Information, "Conection Ok");
    IndicarConeccion();
}

void Campos::cmdSiguiente_Click() {
    const bool hayCampos = HayCampos(*spCam);
    if (txtConeccion->toPlainText().isEmpty() && !hayCampos) {
        MsgBox("Type a connection string or press \"Connect button\"", Buttons::Ok, Icon::Information,
               "Error");
        PaintBackground(txtConeccion, ColorError);
        return;
    }
    if (cmbEngine->currentText().isEmpty()) {
        MsgBox("Select your DB Engine.", Buttons::Ok, Icon::Information, "Error");
        PaintBackground(cmbEngine, ColorError);
        QPalette p = cmbEngine->palette();
        p.setColor(QPalette::Button, bd::os::oleToColor(ColorError));
        cmbEngine->setPalette(p);
        cmbEngine->setFocus();
        return;
    }
    const bool conectado = VinsCube && General::AbrirConexion(*VinsCube);
    IndicarConeccion();
    if (!conectado && !hayCampos) {
        MsgBox("Error when connecting. Type a correct connection string or press \"Connect button\" ",
               Buttons::Ok, Icon::Information, "Error");
        PaintBackground(txtConeccion, ColorError);
        return;
    }
    if (txtQuery->toPlainText().isEmpty()) {
        MsgBox("Type a SQL Query or press \"Open query editor button\" ", Buttons::Ok, Icon::Information,
               "Error");
        PaintBackground(txtQuery, ColorError);
        return;
    }
    QPointer<Campos> self(this);
    GoTab(1);
    if (!self) return;
    General::SaveSetting("OE", "CUBO", "LASTCNN", txtConeccion->toPlainText());
    General::SaveSetting("OE", "CUBO", "LASTSQL", txtQuery->toPlainText());
}

void Campos::lblLastCnn_Click() {
    txtConeccion->setPlainText(General::GetSetting("OE", "CUBO", "LASTCNN"));
    txtQuery->setPlainText(General::GetSetting("OE", "CUBO", "LASTSQL"));
    Cambio = true;
}

void Campos::unlock() {
    const QString pass = AskPassword();
    if (!VinsCube || pass.toUpper() != VinsCube->vPass.toUpper()) return;
    frameLockCnn->hide();
    frameLockSql->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{cmdGenerarCnn, cmdOpenEditor, cmbTbl, lblLastCnn,
                                                      cmbEngine, comProbarCnn})
        w->setEnabled(true);
}

void Campos::cmdUnLockCnn_Click() {
    unlock();
}
void Campos::cmdUnlockSql_Click() {
    unlock();
}
