#include "platform/controlhost/ControlHost.h"

#include "platform/os/AppPath.h"
#include "platform/os/Registry.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibrary>
#include <QWidget>
#include <cmath>
#include <cstring>
#include <limits>

namespace bd::controlhost {

namespace {
const QString kRoot = QStringLiteral("HKEY_CLASSES_ROOT\\");

QString codeText(int32_t code) {
    switch (code) {
    case BD_E_INVALIDARG:
        return QStringLiteral("Invalid property value");
    case BD_E_NOTFOUND:
        return QStringLiteral("Object doesn't support this property or method");
    case BD_E_READONLY:
        return QStringLiteral("Property is read-only");
    case BD_E_GONE:
        return QStringLiteral("The control no longer exists");
    case BD_E_TYPEMISMATCH:
        return QStringLiteral("Type mismatch");
    default:
        return QStringLiteral("The control failed (code %1)").arg(code);
    }
}

QVariant toQVariant(const BdVariant& v) {
    switch (v.vt) {
    case BD_VT_I4:
        return QVariant(int(v.u.i4));
    case BD_VT_UI4:
        return QVariant(uint(v.u.ui4));
    case BD_VT_R4:
        return QVariant(v.u.r4);
    case BD_VT_R8:
        return QVariant(v.u.r8);
    case BD_VT_BOOL:
        return QVariant(v.u.b != 0);
    default:
        return {};
    }
}

// The control coerces to its own types; we pass the value as it is.
bool fromQVariant(const QVariant& q, BdVariant& v) {
    v = BdVariant{};
    switch (q.typeId()) {
    case QMetaType::Bool:
        v.vt = BD_VT_BOOL;
        v.u.b = q.toBool() ? 1 : 0;
        return true;
    case QMetaType::Float:
        v.vt = BD_VT_R4;
        v.u.r4 = q.toFloat();
        return std::isfinite(v.u.r4);
    case QMetaType::Double:
        v.vt = BD_VT_R8;
        v.u.r8 = q.toDouble();
        return std::isfinite(v.u.r8);
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::UShort:
        v.vt = BD_VT_I4;
        v.u.i4 = q.toInt();
        return true;
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::LongLong:
    case QMetaType::Long: {
        bool ok = false;
        const qlonglong n = q.toLongLong(&ok);
        if (ok && n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max()) {
            v.vt = BD_VT_I4;
            v.u.i4 = int32_t(n);
            return true;
        }
        const qulonglong u = q.toULongLong(&ok);
        if (ok && u <= std::numeric_limits<uint32_t>::max()) {
            v.vt = BD_VT_UI4;
            v.u.ui4 = uint32_t(u);
            return true;
        }
        return false;
    }
    case QMetaType::QString: {
        bool ok = false;
        const double d = q.toString().trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(d)) return false;
        v.vt = BD_VT_R8;
        v.u.r8 = d;
        return true;
    }
    default:
        return false;
    }
}

bool toTwips(const QVariant& q, int32_t& out) {
    bool ok = false;
    const double d = q.toDouble(&ok);
    if (!ok || !std::isfinite(d) || std::abs(d) > 1e9) return false;
    out = int32_t(std::nearbyint(d));
    return true;
}

QList<ParamInfo> params(const QJsonArray& a) {
    QList<ParamInfo> out;
    for (const QJsonValue& v : a) {
        const QJsonObject o = v.toObject();
        out.append({o["name"].toString(), o["type"].toString(), o["vt"].toInt(), o["byRef"].toBool()});
    }
    return out;
}

ClassInfo parseClass(const QJsonObject& c) {
    ClassInfo ci;
    ci.name = c["name"].toString();
    ci.progId = c["progId"].toString();
    ci.clsid = c["clsid"].toString();
    ci.description = c["description"].toString();
    for (const QJsonValue& v : c["properties"].toArray()) {
        const QJsonObject o = v.toObject();
        PropertyInfo p;
        p.name = o["name"].toString();
        p.type = o["type"].toString();
        p.description = o["description"].toString();
        p.dispId = o["dispId"].toInt();
        p.vt = o["vt"].toInt();
        p.readOnly = o["readOnly"].toBool();
        if (o.contains("default")) {
            BdVariant bv{};
            bv.vt = p.vt;
            const QJsonValue d = o["default"];
            if (p.vt == BD_VT_BOOL)
                bv.u.b = d.toBool() ? 1 : 0;
            else if (p.vt == BD_VT_UI4)
                bv.u.ui4 = uint32_t(d.toDouble());
            else if (p.vt == BD_VT_R4)
                bv.u.r4 = float(d.toDouble());
            else if (p.vt == BD_VT_R8)
                bv.u.r8 = d.toDouble();
            else
                bv.u.i4 = int32_t(d.toDouble());
            p.defaultValue = toQVariant(bv);
        }
        ci.properties.append(p);
    }
    for (const QJsonValue& v : c["methods"].toArray()) {
        const QJsonObject o = v.toObject();
        ci.methods.append({o["name"].toString(), o["returns"].toString(), o["description"].toString(),
                           o["dispId"].toInt(), o["vt"].toInt(), params(o["params"].toArray())});
    }
    for (const QJsonValue& v : c["events"].toArray()) {
        const QJsonObject o = v.toObject();
        ci.events.append({o["name"].toString(), o["description"].toString(), o["dispId"].toInt(),
                          params(o["params"].toArray())});
    }
    for (const QJsonValue& v : c["enums"].toArray()) {
        const QJsonObject o = v.toObject();
        ci.enums.append({o["name"].toString(), o["values"].toObject().toVariantMap()});
    }
    return ci;
}

// Registry access handed to a library's registration entry points.
int32_t regSet(void*, const char* key, const char* name, const char* value) {
    return bd::os::registry().setValue(QString::fromUtf8(key), QString::fromUtf8(name),
                                       QString::fromUtf8(value))
               ? BD_S_OK
               : BD_E_FAIL;
}
int32_t regQuery(void*, const char* key, const char* name, char* buf, int32_t size) {
    const auto v = bd::os::registry().value(QString::fromUtf8(key), QString::fromUtf8(name));
    if (!v) return -1;
    const QByteArray u = v->toUtf8();
    if (buf && size > 0) {
        const int32_t n = std::min<int32_t>(int32_t(u.size()), size - 1);
        std::memcpy(buf, u.constData(), size_t(n));
        buf[n] = 0;
    }
    return int32_t(u.size());
}
int32_t regDelete(void*, const char* key) {
    return bd::os::registry().deleteKey(QString::fromUtf8(key)) ? BD_S_OK : BD_E_FAIL;
}
const BdRegistryAccess kRegistryAccess = {BD_CONTROL_PROTOCOL_VERSION, nullptr, regSet, regQuery, regDelete};

} // namespace

const PropertyInfo* ClassInfo::property(const QString& n) const {
    for (const PropertyInfo& p : properties)
        if (p.name.compare(n, Qt::CaseInsensitive) == 0) return &p;
    return nullptr;
}
const PropertyInfo* ClassInfo::property(int id) const {
    for (const PropertyInfo& p : properties)
        if (p.dispId == id) return &p;
    return nullptr;
}
const MethodInfo* ClassInfo::method(const QString& n) const {
    for (const MethodInfo& m : methods)
        if (m.name.compare(n, Qt::CaseInsensitive) == 0) return &m;
    return nullptr;
}
const EventInfo* ClassInfo::event(int id) const {
    for (const EventInfo& e : events)
        if (e.dispId == id) return &e;
    return nullptr;
}

// A control library, loaded once and kept loaded: Qt keeps references into a library's widget
// classes (meta-objects, deferred deletes) that make unloading it unsafe.
class LoadedLibrary {
public:
    static std::shared_ptr<LoadedLibrary> open(const QString& path, QString* error);

    QString path;
    QLibrary lib;
    BdDllCanUnloadNow canUnload = nullptr;
    BdDllGetClassObject getClassObject = nullptr;
    BdDllRegisterServer registerServer = nullptr;
    BdDllUnregisterServer unregisterServer = nullptr;
    QList<ClassInfo> classes;

    const ClassInfo* byClsid(const QString& clsid) const {
        for (const ClassInfo& c : classes)
            if (c.clsid.compare(clsid, Qt::CaseInsensitive) == 0) return &c;
        return nullptr;
    }
};

std::shared_ptr<LoadedLibrary> LoadedLibrary::open(const QString& file, QString* error) {
    static QHash<QString, std::shared_ptr<LoadedLibrary>> cache;
    const QFileInfo fi(file);
    if (!fi.exists()) {
        if (error) *error = QStringLiteral("Control library \"%1\" not found").arg(file);
        return nullptr;
    }
    const QString path = fi.canonicalFilePath();
    if (auto it = cache.find(path); it != cache.end()) return *it;

    auto l = std::make_shared<LoadedLibrary>();
    l->path = path;
    l->lib.setFileName(path);
    if (!l->lib.load()) {
        if (error)
            *error = QStringLiteral("Cannot load control library \"%1\": %2").arg(path, l->lib.errorString());
        return nullptr;
    }
    l->canUnload = reinterpret_cast<BdDllCanUnloadNow>(l->lib.resolve("DllCanUnloadNow"));
    l->getClassObject = reinterpret_cast<BdDllGetClassObject>(l->lib.resolve("DllGetClassObject"));
    l->registerServer = reinterpret_cast<BdDllRegisterServer>(l->lib.resolve("DllRegisterServer"));
    l->unregisterServer = reinterpret_cast<BdDllUnregisterServer>(l->lib.resolve("DllUnregisterServer"));
    auto typeInfo = reinterpret_cast<BdDllGetTypeInfo>(l->lib.resolve("DllGetTypeInfo"));
    if (!l->canUnload || !l->getClassObject || !l->registerServer || !l->unregisterServer || !typeInfo) {
        if (error) *error = QStringLiteral("\"%1\" is not a control library").arg(path);
        return nullptr; // left loaded: nothing of ours runs in it
    }
    const char* json = typeInfo();
    const QJsonObject doc = QJsonDocument::fromJson(QByteArray(json ? json : "")).object();
    if (doc["protocol"].toInt() != BD_CONTROL_PROTOCOL_VERSION) {
        if (error)
            *error = QStringLiteral("Control library \"%1\" speaks another protocol version").arg(path);
        return nullptr;
    }
    for (const QJsonValue& c : doc["classes"].toArray())
        l->classes.append(parseClass(c.toObject()));
    cache.insert(path, l);
    return l;
}

namespace {
struct Resolved {
    std::shared_ptr<LoadedLibrary> lib;
    const ClassInfo* info = nullptr;
};

Resolved resolve(const QString& progId, QString* error) {
    auto& reg = bd::os::registry();
    const auto clsid = reg.value(kRoot + progId + "\\CLSID");
    const auto path = clsid ? reg.value(kRoot + "CLSID\\" + *clsid + "\\InprocServer32") : std::nullopt;
    if (progId.isEmpty() || !clsid || clsid->isEmpty() || !path || path->isEmpty()) {
        if (error) *error = QStringLiteral("Control \"%1\" is not registered").arg(progId);
        return {};
    }
    Resolved r;
    r.lib = LoadedLibrary::open(*path, error);
    if (!r.lib) return {};
    r.info = r.lib->byClsid(*clsid);
    if (!r.info) {
        if (error) *error = QStringLiteral("Control library \"%1\" has no class %2").arg(*path, *clsid);
        return {};
    }
    return r;
}
} // namespace

Control* CreateControl(const QString& progId, QWidget* parent, QString* error) {
    const Resolved r = resolve(progId, error);
    if (!r.lib) return nullptr;
    BdClassFactory* factory = nullptr;
    const QByteArray clsid = r.info->clsid.toUtf8();
    int32_t rc = r.lib->getClassObject(clsid.constData(), &factory);
    BdControl* control = nullptr;
    if (rc == BD_S_OK && factory) rc = factory->vtbl->createInstance(factory, parent, &control);
    if (rc != BD_S_OK || !control) {
        if (error) *error = QStringLiteral("Cannot create control \"%1\": %2").arg(progId, codeText(rc));
        return nullptr;
    }
    auto* c = new Control(r.lib, r.info, control, parent);
    if (parent)
        if (QWidget* w = c->widget()) w->setVisible(true); // shown with its container, like any child
    return c;
}

const ClassInfo* ControlClassInfo(const QString& progId, QString* error) {
    return resolve(progId, error).info;
}

bool RegisterControlLibrary(const QString& path, QString* error) {
    auto lib = LoadedLibrary::open(path, error);
    if (!lib) return false;
    const int32_t rc = lib->registerServer(&kRegistryAccess);
    if (rc != BD_S_OK && error) *error = QStringLiteral("Cannot register \"%1\": %2").arg(path, codeText(rc));
    return rc == BD_S_OK;
}

bool UnregisterControlLibrary(const QString& path, QString* error) {
    auto lib = LoadedLibrary::open(path, error);
    if (!lib) return false;
    const int32_t rc = lib->unregisterServer(&kRegistryAccess);
    if (rc < 0 && error) *error = QStringLiteral("Cannot unregister \"%1\": %2").arg(path, codeText(rc));
    return rc >= 0;
}

bool IsControlRegistered(const QString& progId) {
    auto& reg = bd::os::registry();
    const auto clsid = reg.value(kRoot + progId + "\\CLSID");
    if (!clsid || clsid->isEmpty()) return false;
    const auto path = reg.value(kRoot + "CLSID\\" + *clsid + "\\InprocServer32");
    return path && !path->isEmpty() && QFileInfo::exists(*path);
}

int RegisterShippedControls() {
    int count = 0;
    const QFileInfoList files = QDir(bd::os::AppPath()).entryInfoList({"*.so"}, QDir::Files, QDir::Name);
    for (const QFileInfo& f : files) {
        if (!QLibrary::isLibrary(f.fileName())) continue;
        // Only files exporting the control entry points count; other libraries are skipped.
        auto lib = LoadedLibrary::open(f.absoluteFilePath(), nullptr);
        if (!lib) continue;
        bool missing = false;
        for (const ClassInfo& c : lib->classes)
            missing = missing || !IsControlRegistered(c.progId);
        if (missing && RegisterControlLibrary(lib->path)) ++count;
    }
    return count;
}

Control::Control(std::shared_ptr<LoadedLibrary> lib, const ClassInfo* info, BdControl* control,
                 QObject* parent)
    : QObject(parent), lib_(std::move(lib)), info_(info), control_(control) {
    const BdEventSink sink{this, &Control::fireThunk, &Control::changedThunk};
    control_->vtbl->setEventSink(control_, &sink);
}

Control::~Control() {
    control_->vtbl->setEventSink(control_, nullptr);
    control_->vtbl->release(control_);
}

QWidget* Control::widget() const {
    return static_cast<QWidget*>(control_->vtbl->widget(control_));
}
const ClassInfo& Control::classInfo() const {
    return *info_;
}

bool Control::fail(const QString& message) {
    error_ = message;
    return false;
}

int Control::dispId(const QString& name) const {
    if (const PropertyInfo* p = info_->property(name)) return p->dispId;
    if (const MethodInfo* m = info_->method(name)) return m->dispId;
    return -1;
}

void Control::fireThunk(void* ctx, int32_t dispId, BdVariant* args, int32_t argc) {
    auto* self = static_cast<Control*>(ctx);
    const EventInfo* e = self->info_->event(dispId);
    if (!e) return;
    QVariantList list;
    for (int32_t i = 0; i < argc; ++i)
        list << toQVariant(args[i]);
    emit self->controlEvent(e->name, list); // a handler may delete self: nothing after this
}

void Control::changedThunk(void* ctx, int32_t dispId) {
    auto* self = static_cast<Control*>(ctx);
    self->dirty_ = true;
    if (const PropertyInfo* p = self->info_->property(dispId)) emit self->propertyChanged(p->name);
}

QVariant Control::getExtender(const QString& name, bool& handled) {
    handled = true;
    const QString n = name.toLower();
    if (n == "visible" || n == "enabled") {
        QWidget* w = widget();
        if (!w) return (fail(codeText(BD_E_GONE)), QVariant());
        return n == "visible" ? !w->isHidden() : w->isEnabled();
    }
    if (n == "left" || n == "top" || n == "width" || n == "height") {
        BdRect r{};
        const int32_t rc = control_->vtbl->getPlacement(control_, &r);
        if (rc != BD_S_OK) return (fail(codeText(rc)), QVariant());
        return n == "left" ? r.left : n == "top" ? r.top : n == "width" ? r.width : r.height;
    }
    handled = false;
    return {};
}

bool Control::setExtender(const QString& name, const QVariant& value, bool& handled) {
    handled = true;
    const QString n = name.toLower();
    if (n == "visible" || n == "enabled") {
        QWidget* w = widget();
        if (!w) return fail(codeText(BD_E_GONE));
        if (value.typeId() != QMetaType::Bool && !value.canConvert<bool>())
            return fail(codeText(BD_E_TYPEMISMATCH));
        if (n == "visible")
            w->setVisible(value.toBool());
        else
            w->setEnabled(value.toBool());
        return true;
    }
    if (n == "left" || n == "top" || n == "width" || n == "height") {
        int32_t v = 0;
        if (!toTwips(value, v)) return fail(codeText(BD_E_TYPEMISMATCH));
        if ((n == "width" || n == "height") && v < 0) return fail(codeText(BD_E_INVALIDARG));
        BdRect r{};
        int32_t rc = control_->vtbl->getPlacement(control_, &r);
        if (rc != BD_S_OK) return fail(codeText(rc));
        (n == "left" ? r.left : n == "top" ? r.top : n == "width" ? r.width : r.height) = v;
        rc = control_->vtbl->setPlacement(control_, &r);
        return rc == BD_S_OK ? true : fail(codeText(rc));
    }
    handled = false;
    return false;
}

QVariant Control::get(const QString& name) {
    bool handled = false;
    QVariant v = getExtender(name, handled);
    if (handled) return v;
    const PropertyInfo* p = info_->property(name);
    if (!p) return (fail(QStringLiteral("Unknown property \"%1\"").arg(name)), QVariant());
    return get(p->dispId);
}

bool Control::set(const QString& name, const QVariant& value) {
    bool handled = false;
    const bool ok = setExtender(name, value, handled);
    if (handled) return ok;
    const PropertyInfo* p = info_->property(name);
    if (!p) return fail(QStringLiteral("Unknown property \"%1\"").arg(name));
    return set(p->dispId, value);
}

QVariant Control::get(int id) {
    BdVariant v{};
    const int32_t rc = control_->vtbl->getProperty(control_, id, &v);
    if (rc != BD_S_OK) return (fail(codeText(rc)), QVariant());
    return toQVariant(v);
}

bool Control::set(int id, const QVariant& value) {
    const PropertyInfo* p = info_->property(id);
    if (!p) return fail(codeText(BD_E_NOTFOUND));
    if (p->readOnly) return fail(codeText(BD_E_READONLY));
    BdVariant v{};
    if (!fromQVariant(value, v)) return fail(codeText(BD_E_TYPEMISMATCH));
    const int32_t rc = control_->vtbl->setProperty(control_, id, &v);
    return rc == BD_S_OK ? true : fail(codeText(rc));
}

QVariant Control::call(const QString& name, QVariantList& args) {
    const MethodInfo* m = info_->method(name);
    if (!m) return (fail(QStringLiteral("Unknown method \"%1\"").arg(name)), QVariant());
    if (args.size() != m->params.size())
        return (fail(QStringLiteral("Wrong number of arguments for \"%1\"").arg(m->name)), QVariant());
    std::vector<BdVariant> in(size_t(args.size()));
    for (qsizetype i = 0; i < args.size(); ++i)
        if (!fromQVariant(args[i], in[size_t(i)])) return (fail(codeText(BD_E_TYPEMISMATCH)), QVariant());
    const QList<ParamInfo> params = m->params;
    BdVariant result{};
    QPointer<Control> self(this);
    BdControl* control = control_;
    const int32_t rc = control->vtbl->invoke(control, m->dispId, in.data(), int32_t(in.size()), &result);
    // The method may run the message loop, in which this object can be deleted.
    if (rc != BD_S_OK) {
        if (self) fail(codeText(rc));
        return {};
    }
    for (qsizetype i = 0; i < args.size(); ++i)
        if (params[i].byRef) args[i] = toQVariant(in[size_t(i)]);
    return toQVariant(result);
}

bool Control::initNew() {
    const int32_t rc = control_->vtbl->initNew(control_);
    return rc == BD_S_OK ? true : fail(codeText(rc));
}

namespace {
int32_t bagRead(void* ctx, const char* name, BdVariant* value) {
    const auto* bag = static_cast<const QVariantMap*>(ctx);
    const QString n = QString::fromUtf8(name);
    auto it = bag->find(n);
    if (it == bag->end())
        for (auto j = bag->begin(); j != bag->end(); ++j)
            if (j.key().compare(n, Qt::CaseInsensitive) == 0) it = j;
    if (it == bag->end()) return BD_S_FALSE;
    return fromQVariant(*it, *value) ? BD_S_OK : BD_E_TYPEMISMATCH;
}
int32_t bagWrite(void* ctx, const char* name, const BdVariant* value) {
    static_cast<QVariantMap*>(ctx)->insert(QString::fromUtf8(name), toQVariant(*value));
    return BD_S_OK;
}
} // namespace

bool Control::load(const QVariantMap& bag) {
    const BdPropertyBag b{const_cast<QVariantMap*>(&bag), bagRead, nullptr};
    const int32_t rc = control_->vtbl->load(control_, &b);
    if (rc == BD_S_OK) dirty_ = false;
    return rc == BD_S_OK ? true : fail(codeText(rc));
}

QVariantMap Control::save() {
    QVariantMap out;
    const BdPropertyBag b{&out, nullptr, bagWrite};
    const int32_t rc = control_->vtbl->save(control_, &b);
    if (rc != BD_S_OK)
        fail(codeText(rc));
    else
        dirty_ = false;
    return out;
}

} // namespace bd::controlhost
