#include "platform/os/AppPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace bd::os {
namespace {
QString clean(QString p) {
    p = QDir::cleanPath(p);
    while (p.size() > 1 && p.endsWith('/'))
        p.chop(1);
    return p;
}
} // namespace

QString AppPath() {
    const QString env = qEnvironmentVariable("BRINTOVA_HOME");
    if (!env.isEmpty()) return clean(QDir(env).absolutePath());
    if (QCoreApplication::instance()) return clean(QCoreApplication::applicationDirPath());
    return clean(QDir::currentPath());
}

QString ConfigPath() {
    const QString env = qEnvironmentVariable("BRINTOVA_CONFIG");
    if (!env.isEmpty()) return clean(QDir(env).absolutePath());
    return clean(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                 "/brintova-deridoro");
}

QString DataPath() {
    const QString env = qEnvironmentVariable("BRINTOVA_DATA");
    if (!env.isEmpty()) return clean(QDir(env).absolutePath());
    return clean(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

} // namespace bd::os
