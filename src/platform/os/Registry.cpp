#include "platform/os/Registry.h"

#include "platform/os/AppPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace bd::os {
namespace {
Registry* g_registry = nullptr;

QString norm(const QString& key) {
    QString k = key;
    k.replace('/', '\\');
    while (k.endsWith('\\'))
        k.chop(1);
    return k;
}

// File layout: { "<key lower-cased>": { "key": "<as written>", "values": { name: value } } }
QJsonObject load(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

bool save(const QString& path, const QJsonObject& o) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    f.write(QJsonDocument(o).toJson());
    return f.commit();
}
} // namespace

FileRegistry::FileRegistry(QString path) : path_(std::move(path)) {}

static QString regPath(const QString& p) {
    return p.isEmpty() ? ConfigPath() + "/registry.json" : p;
}

bool FileRegistry::createKey(const QString& key) {
    if (failWrites) return false;
    QJsonObject all = load(regPath(path_));
    const QString k = norm(key);
    // Parents exist implicitly once a child exists.
    if (!all.contains(k.toLower())) {
        QJsonObject e;
        e["key"] = k;
        e["values"] = QJsonObject();
        all[k.toLower()] = e;
        return save(regPath(path_), all);
    }
    return true;
}

bool FileRegistry::setValue(const QString& key, const QString& name, const QString& value) {
    if (failWrites) return false;
    QJsonObject all = load(regPath(path_));
    const QString k = norm(key);
    QJsonObject e = all.value(k.toLower()).toObject();
    e["key"] = k;
    QJsonObject vals = e.value("values").toObject();
    vals[name.toLower()] = value;
    e["values"] = vals;
    all[k.toLower()] = e;
    return save(regPath(path_), all);
}

std::optional<QString> FileRegistry::value(const QString& key, const QString& name) const {
    const QJsonObject all = load(regPath(path_));
    const QJsonObject e = all.value(norm(key).toLower()).toObject();
    const QJsonObject vals = e.value("values").toObject();
    if (!vals.contains(name.toLower())) return std::nullopt;
    return vals.value(name.toLower()).toString();
}

bool FileRegistry::keyExists(const QString& key) const {
    const QString k = norm(key).toLower();
    const QJsonObject all = load(regPath(path_));
    if (all.contains(k)) return true;
    for (auto it = all.begin(); it != all.end(); ++it)
        if (it.key().startsWith(k + '\\')) return true;
    return false;
}

bool FileRegistry::deleteKey(const QString& key) {
    if (failWrites) return false;
    QJsonObject all = load(regPath(path_));
    const QString k = norm(key).toLower();
    for (const QString& name : all.keys())
        if (name == k || name.startsWith(k + '\\')) all.remove(name);
    return save(regPath(path_), all);
}

QStringList FileRegistry::keys() const {
    QStringList out;
    const QJsonObject all = load(regPath(path_));
    for (auto it = all.begin(); it != all.end(); ++it)
        out << it.value().toObject().value("key").toString();
    return out;
}

Registry& registry() {
    static FileRegistry fileRegistry;
    return g_registry ? *g_registry : fileRegistry;
}
void setRegistry(Registry* r) {
    g_registry = r;
}

} // namespace bd::os
