#pragma once
// Shared procedures of the General module that reach the outside world: the upload of a file of the
// program folder to the web-view service with curl, the wait for an external program, and the mail
// sent through the web mail relay's fill-in form. The services' addresses and the sender are
// settings ("OE" / "Web") with defaults.
#include "platform/os/Process.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace General {

// Time limits, named once.
constexpr int kRelayTimeoutSeconds = 30;   // the relay must confirm a mail within this
constexpr int kUploadTimeoutSeconds = 300; // curl's own limit for one upload
constexpr int kUploadGraceSeconds = 10;    // after curl's limit, before curl itself is ended

// Settings of the web services ("OE" / "Web" / key) and their defaults.
QString MailRelayAddress(); // "MailRelay": the relay service; its page is "/desktop/Send.html" below it
QString MailRelayPage();    // the relay's fill-in page
QString MailSender();       // "MailSender": the sender of every mail of the program
QString HomePage();         // "HomePage": the product's home page, named in the alert mails
QString ViewsBase();        // "ViewsBase": the web-view service's views base, ending in "/"
QString ShortcutIcon();     // "ShortcutIcon": the icon the published views name

// The web-view service's upload address for a cube: views base & "post_dump.php" and the query keys
// "vIdexportCube", "hd" and "cube", each value percent-encoded.
QString UploadAddress(const QString& exportId, double machineId, const QString& cubeId);

// The upload's command line, as one text for messages and logs: curl "address" -F
// myfile=@"program folder/file".
QString UploadCommandLine(const QString& address, const QString& fileName);

// Posts the file (relative to the program folder) as the multipart form field "myfile" to address
// with curl from PATH, and waits for it. True when curl ended with status 0 (with --fail, an HTTP
// error answer is a failure); otherwise false with the reason in *error.
bool SubirArchivo(const QString& address, const QString& fileName, QString* error = nullptr);

// Runs the program with its arguments (no shell) and waits, the message loop running, until it ends
// or limitSeconds (0 = none) have passed on a monotonic clock; a program still running at the limit
// is ended. True when it ended by itself within the limit; its result goes to *result.
bool EjecutarYEsperar(const QString& program, const QStringList& arguments, long limitSeconds,
                      bd::os::ProcessResult* result = nullptr);

// Sends one mail through the web mail relay: loads its page, fills "txtDe", "txtPara", "txtAsunto",
// "txtTexto", "txtNombreArchivo" and "txtDatosArchivo", submits the form and waits for a 2xx answer
// whose text holds "OK", all within kRelayTimeoutSeconds. False with the reason in *error otherwise.
bool EnviarMailWeb(const QVariant& De, const QVariant& Para, const QVariant& Asunto, const QVariant& Texto,
                   const QVariant& nombreArchivo, const QVariant& DatosArchivo, QString* error = nullptr);

// The text a browser shows for a page (tags left out); "" for an empty page.
QString LeerTextoPagina(const QByteArray& page);

// Failures of mails or uploads: one summary box when a person is there, one line each on standard
// error when nobody is (unattended). Nothing when the list is empty.
void ReportFailures(const QString& title, const QStringList& failures, bool unattended);

} // namespace General
