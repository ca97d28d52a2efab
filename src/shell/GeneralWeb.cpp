#include "shell/GeneralWeb.h"

#include "platform/net/HttpForm.h"
#include "platform/os/AppPath.h"
#include "platform/os/Prompter.h"
#include "shell/General.h"

#include <QStandardPaths>
#include <QUrl>
#include <cstdio>

namespace General {
namespace {
const QString kSection = QStringLiteral("Web");

QString setting(const QString& key, const QString& def) {
    const QString v = GetSetting("OE", kSection, key).trimmed();
    return v.isEmpty() ? def : v;
}

QString encoded(const QString& value) {
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

// A path as one quoted word of curl's -F syntax, so blanks, ';' and ',' stay part of the name.
QString curlQuoted(const QString& path) {
    QString s = path;
    s.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + s + '"';
}

QString oneLine(QString s) {
    s.replace('\r', ' ').replace('\n', ' ');
    return s.simplified();
}
} // namespace

QString MailRelayAddress() {
    QString a = setting("MailRelay", "https://relay.brintova-deridoro.example");
    while (a.endsWith('/'))
        a.chop(1);
    return a;
}

QString MailRelayPage() {
    return MailRelayAddress() + "/desktop/Send.html";
}

QString MailSender() {
    return setting("MailSender", "alerts@brintova-deridoro.example");
}

QString HomePage() {
    return setting("HomePage", "https://www.brintova-deridoro.example/");
}

QString ViewsBase() {
    QString b = setting("ViewsBase", "https://views.brintova-deridoro.example/");
    if (!b.endsWith('/')) b += '/';
    return b;
}

QString ShortcutIcon() {
    return setting("ShortcutIcon", "https://www.brintova-deridoro.example/favicon.ico");
}

QString UploadAddress(const QString& exportId, double machineId, const QString& cubeId) {
    return ViewsBase() + "post_dump.php" + "?vIdexportCube=" + encoded(exportId) +
           "&hd=" + encoded(QString::number(machineId, 'f', 0)) + "&cube=" + encoded(cubeId);
}

QString UploadCommandLine(const QString& address, const QString& fileName) {
    return "curl \"" + address + "\" -F myfile=@\"" + bd::os::AppPath() + "/" + fileName + "\"";
}

bool SubirArchivo(const QString& address, const QString& fileName, QString* error) {
    const QString curl = QStandardPaths::findExecutable("curl");
    auto fail = [&](const QString& why) {
        if (error) *error = why + " (" + UploadCommandLine(address, fileName) + ")";
        return false;
    };
    if (curl.isEmpty()) return fail("The upload program curl was not found.");
    // Each piece is one argument: no text of the address or the file name can become an option.
    const QStringList args = {"-q", // no user configuration file
                              "--silent",
                              "--show-error",
                              "--fail",
                              "--max-time",
                              QString::number(kUploadTimeoutSeconds),
                              "--url",
                              address,
                              "-F",
                              "myfile=@" + curlQuoted(bd::os::AppPath() + "/" + fileName)};
    bd::os::ProcessResult r;
    const bool ended = EjecutarYEsperar(curl, args, kUploadTimeoutSeconds + kUploadGraceSeconds, &r);
    if (!r.started) return fail("The upload program curl could not be started.");
    if (!ended)
        return fail(
            QStringLiteral("The upload did not finish within %1 seconds.").arg(kUploadTimeoutSeconds));
    if (r.exitCode != 0) {
        const QString said = oneLine(QString::fromLocal8Bit(r.standardError));
        return fail(
            QStringLiteral("The upload failed: %1")
                .arg(said.isEmpty() ? QStringLiteral("curl ended with status %1").arg(r.exitCode) : said));
    }
    return true;
}

bool EjecutarYEsperar(const QString& program, const QStringList& arguments, long limitSeconds,
                      bd::os::ProcessResult* result) {
    bd::os::ProcessRequest req;
    req.program = program;
    req.arguments = arguments;
    req.timeoutMs = limitSeconds > 0 ? int(limitSeconds * 1000) : 0;
    const bd::os::ProcessResult r = bd::os::RunProcess(req);
    if (result) *result = r;
    return r.started && r.finished;
}

bool EnviarMailWeb(const QVariant& De, const QVariant& Para, const QVariant& Asunto, const QVariant& Texto,
                   const QVariant& nombreArchivo, const QVariant& DatosArchivo, QString* error) {
    const QVector<bd::net::FormValue> values = {{"txtDe", De.toString()},
                                                {"txtPara", Para.toString()},
                                                {"txtAsunto", Asunto.toString()},
                                                {"txtTexto", Texto.toString()},
                                                {"txtNombreArchivo", nombreArchivo.toString()},
                                                {"txtDatosArchivo", DatosArchivo.toString()}};
    const bd::net::FormReply r =
        bd::net::submitForm(QUrl(MailRelayPage()), values, kRelayTimeoutSeconds * 1000);
    if (!r.ok) {
        if (error) *error = "The mail relay failed: " + r.error + ".";
        return false;
    }
    if (!LeerTextoPagina(r.body).contains("OK")) {
        if (error) *error = "The mail relay did not confirm the mail.";
        return false;
    }
    return true;
}

QString LeerTextoPagina(const QByteArray& page) {
    return bd::net::pageText(page);
}

void ReportFailures(const QString& title, const QStringList& failures, bool unattended) {
    if (failures.isEmpty()) return;
    if (unattended) {
        bd::os::noteUnattendedFailure();
        for (const QString& f : failures)
            std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(oneLine(f)));
        std::fflush(stderr);
        return;
    }
    bd::os::MsgBox(failures.join('\n'), bd::os::Buttons::Ok, bd::os::Icon::Exclamation, title);
}

} // namespace General
