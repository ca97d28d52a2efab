// The viewer's alerts: the search over its pivot, the highlighting of cells in range, the alert mails
// sent when it closes and the report-updated mail sent after a publishing.
#include "designer/Campos.h"
#include "platform/os/Prompter.h"
#include "publishing/Alerts.h"
#include "shell/FrmMain.h"
#include "shell/General.h"
#include "shell/GeneralWeb.h"
#include "shell/InsCube.h"
#include "shell/frmMail.h"
#include "viewer/Cubo.h"

#include <QCoreApplication>
#include <QPointer>

namespace {
// One mail through the start window's relay procedure (the relay itself when there is none).
bool enviarMail(InsCube* cube, const QString& para, const QString& texto, const QString& nombreArchivo,
                const QString& datos, QString* error) {
    const QString asunto =
        cube && cube->Vparent ? cube->Vparent->GLV("msgasunto") : General::LeerTextoIdioma("msgasunto");
    if (cube && cube->Vparent)
        return cube->Vparent->vEnviarMail(General::MailSender(), para, asunto, texto, nombreArchivo, datos,
                                          error);
    return General::EnviarMailWeb(General::MailSender(), para, asunto, texto, nombreArchivo, datos, error);
}
} // namespace

bool Cubo::SinPersona() const {
    return carradoAutomatico || bd::os::unattended();
}

void Cubo::EncontrarAlertas() {
    if (!Vcampos) return;
    bd::alerts::findAlerts(*Vcampos->spCal, *DC);
}

bool Cubo::HayAlertas() {
    if (!Vcampos || !Vcampos->chkSendAlert->isChecked()) return false;
    EncontrarAlertas();
    return bd::alerts::anyResult(*Vcampos->spCal);
}

void Cubo::ResaltarAlertas(bd::pivot::CellFormat& cell) {
    if (NoFetch || !Vcampos) return;
    bd::alerts::highlight(bd::alerts::readAlertRules(*Vcampos->spCal), *DC, cell);
}

void Cubo::EnviarAlertas() {
    if (!Vcampos || !Vcampos->chkSendAlert->isChecked()) return;
    EncontrarAlertas();
    const QVector<bd::alerts::AlertMail> mails = bd::alerts::alertMails(*Vcampos->spCal, General::HomePage());
    if (mails.isEmpty()) return;
    QPointer<frmMail> busy = new frmMail;
    busy->setAttribute(Qt::WA_DeleteOnClose);
    busy->show();
    QStringList failures;
    for (const bd::alerts::AlertMail& m : mails) {
        QCoreApplication::processEvents();
        if (busy) busy->Label1->setText("Sending to: " + m.recipients);
        QCoreApplication::processEvents();
        QString why;
        // A mail that fails does not keep the other groups from being sent.
        if (!enviarMail(VinsCube, m.recipients, m.body, "", ".", &why))
            failures << QStringLiteral("The alert mail to %1 was not sent. %2").arg(m.recipients, why);
    }
    if (busy) busy->close();
    General::ReportFailures("Email Alerts", failures, SinPersona());
}

void Cubo::EnviarMailsAfterUpload() {
    if (!Vcampos) return;
    const QString para = Vcampos->Propiedad(Campos::FilaMailsSubida);
    if (para.isEmpty()) return;
    const QString descripcion = Vcampos->txtDescripcion->toPlainText();
    const QString nombre = descripcion.isEmpty() ? Vcampos->txtIdCubo->text() : descripcion;
    const QString texto = bd::alerts::reportUpdatedBody(
        nombre, General::ViewsBase(), VinsCube ? VinsCube->IdExportCube : QString(), General::sArchivoVista);
    QString why;
    if (!enviarMail(VinsCube, para, texto, "", "", &why))
        General::ReportFailures(
            "Upload", {QStringLiteral("The report-updated mail to %1 was not sent. %2").arg(para, why)},
            SinPersona());
}
