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
bool sendMail(InsCube* cube, const QString& recipients, const QString& pickText, const QString& nombreArchivo,
              const QString& dataPage, QString* error) {
    const QString subject =
        cube && cube->Vparent ? cube->Vparent->GLV("msgasunto") : General::LeerTextoIdioma("msgasunto");
    if (cube && cube->Vparent)
        return cube->Vparent->vEnviarMail(General::MailSender(), recipients, subject, pickText, nombreArchivo,
                                          dataPage, error);
    return General::EnviarMailWeb(General::MailSender(), recipients, subject, pickText, nombreArchivo,
                                  dataPage, error);
}
} // namespace

bool Cubo::IsUnattended() const {
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
        if (!sendMail(VinsCube, m.recipients, m.body, "", ".", &why))
            failures << QStringLiteral("The alert mail to %1 was not sent. %2").arg(m.recipients, why);
    }
    if (busy) busy->close();
    General::ReportFailures("Email Alerts", failures, IsUnattended());
}

void Cubo::EnviarMailsAfterUpload() {
    if (!Vcampos) return;
    const QString recipients = Vcampos->Property(Campos::FilaMailsSubida);
    if (recipients.isEmpty()) return;
    const QString description = Vcampos->txtDescripcion->toPlainText();
    const QString name = description.isEmpty() ? Vcampos->txtIdCubo->text() : description;
    const QString pickText = bd::alerts::reportUpdatedBody(
        name, General::ViewsBase(), VinsCube ? VinsCube->IdExportCube : QString(), General::sArchivoVista);
    QString why;
    if (!sendMail(VinsCube, recipients, pickText, "", "", &why))
        General::ReportFailures(
            "Upload", {QStringLiteral("The report-updated mail to %1 was not sent. %2").arg(recipients, why)},
            IsUnattended());
}
