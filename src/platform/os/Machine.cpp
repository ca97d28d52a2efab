#include "platform/os/Machine.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace bd::os {
namespace {
QString g_machineIdPath = QStringLiteral("/etc/machine-id");
std::optional<QString> g_sepOverride;
} // namespace

int32_t serialFromMachineId(const QString& machineId) {
    const QByteArray id = machineId.trimmed().toLatin1();
    if (id.isEmpty()) return 0;
    const QByteArray h = QCryptographicHash::hash(id, QCryptographicHash::Sha256);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | uint8_t(h[i]);
    return int32_t(v);
}

int32_t volumeSerial() {
    QFile f(g_machineIdPath);
    if (!f.open(QIODevice::ReadOnly)) return 0;
    return serialFromMachineId(QString::fromLatin1(f.readAll()));
}

QString decimalSeparator() {
    if (g_sepOverride) return *g_sepOverride;
    return QString(QLocale::system().decimalPoint()).trimmed();
}
void setDecimalSeparatorOverride(std::optional<QString> sep) {
    g_sepOverride = std::move(sep);
}

QString longPathName(const QString& path) {
    if (path.isEmpty()) return QString();
    QFileInfo fi(path);
    if (!fi.exists()) return QString();
    return fi.absoluteFilePath();
}

void setMachineIdPath(const QString& path) {
    g_machineIdPath = path;
}

} // namespace bd::os
