#include "shell/GeneralFiles.h"

#include "platform/os/AppPath.h"
#include "platform/os/Desktop.h"
#include "platform/os/Prompter.h"
#include "platform/zip/Zip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace General {

namespace {
bool isPattern(const QString& name) {
    return name.contains('*') || name.contains('?');
}

// The normal files a path names: the file itself, or those matching a pattern in its last part.
QStringList matches(QString path) {
    path.replace('\\', '/');
    const QFileInfo fi(path);
    if (!isPattern(fi.fileName())) {
        if (fi.isFile() && !fi.isHidden()) return {fi.absoluteFilePath()};
        return {};
    }
    QStringList out;
    const QDir dir(fi.path());
    for (const QString& n : dir.entryList({fi.fileName()}, QDir::Files))
        out << dir.filePath(n);
    return out;
}
} // namespace

bool ComprimirArchivos(const QStringList& files, const QString& archive) {
    QString error;
    if (bd::zip::pack(files, archive, &error)) return true;
    bd::os::MsgBox(error, bd::os::Buttons::Ok);
    return false;
}

bool DescomprimirArchivo(const QString& archive, const QString& folder) {
    QString error;
    if (bd::zip::unpack(archive, folder, &error)) return true;
    bd::os::MsgBox(error, bd::os::Buttons::Ok);
    return false;
}

void BorrarArchivo(const QString& path) {
    for (const QString& f : matches(path))
        QFile::remove(f);
}

void BorrarGraficosTemporales() {
    const QString charts = bd::os::AppPath() + "/Charts/";
    BorrarArchivo(charts + "*.html");
    BorrarArchivo(charts + "*.xml");
}

bool ExisteArchivo(const QString& path) {
    return !path.isEmpty() && !matches(path).isEmpty();
}

void AbrirArchivo(const QString& path) {
    bd::os::desktop().openFile(path);
}

void AbrirURL(const QString& url) {
    bd::os::desktop().openUrl(url);
}

} // namespace General
