#include "platform/os/Settings.h"

#include "platform/os/AppPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace bd::os {
namespace {
// Keys and sections may hold "/" or "\" (task names, former export ids): keep them one key each.
QString enc(const QString& s) {
    QString out;
    out.reserve(s.size());
    for (QChar c : s) {
        if (c == '%')
            out += "%25";
        else if (c == '/')
            out += "%2F";
        else if (c == '\\')
            out += "%5C";
        else
            out += c;
    }
    return out;
}
QString dec(const QString& s) {
    QString out = s;
    out.replace("%2F", "/").replace("%5C", "\\").replace("%25", "%");
    return out;
}
QString group(const QString& app, const QString& section) {
    return enc(app) + '/' + enc(section);
}

void secure(QSettings& s) {
    s.sync();
    QFile::setPermissions(s.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// Creates the folder and any missing folders above it, private to the user; folders that exist
// already (a folder BRINTOVA_CONFIG names, the user's own) keep their rights.
void makePrivatePath(const QString& path) {
    QStringList missing;
    for (QString p = QDir::cleanPath(path); !p.isEmpty() && !QFileInfo::exists(p);) {
        missing.prepend(p);
        const QString up = QFileInfo(p).path();
        if (up == p) break;
        p = up;
    }
    for (const QString& p : missing)
        if (QDir().mkdir(p))
            QFile::setPermissions(p,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QSettings open() {
    makePrivatePath(ConfigPath());
    return QSettings(settingsFilePath(), QSettings::IniFormat);
}
} // namespace

QString settingsFilePath() {
    return ConfigPath() + "/settings.ini";
}

QString GetSetting(const QString& app, const QString& section, const QString& key, const QString& def) {
    if (!QFile::exists(settingsFilePath())) return def;
    QSettings s(settingsFilePath(), QSettings::IniFormat);
    const QVariant v = s.value(group(app, section) + '/' + enc(key));
    return v.isValid() ? v.toString() : def;
}

void SaveSetting(const QString& app, const QString& section, const QString& key, const QString& value) {
    QSettings s = open();
    s.setValue(group(app, section) + '/' + enc(key), value);
    secure(s);
}

void DeleteSetting(const QString& app, const QString& section, const QString& key) {
    if (!QFile::exists(settingsFilePath())) return;
    QSettings s = open();
    if (key.isEmpty())
        s.remove(group(app, section));
    else
        s.remove(group(app, section) + '/' + enc(key));
    secure(s);
}

QStringList GetAllSettingKeys(const QString& app, const QString& section) {
    if (!QFile::exists(settingsFilePath())) return {};
    QSettings s(settingsFilePath(), QSettings::IniFormat);
    s.beginGroup(group(app, section));
    QStringList out;
    for (const QString& k : s.childKeys())
        out << dec(k);
    return out;
}

} // namespace bd::os
