#pragma once
// Hosts the controls of the shipped control libraries: finds a library by the registered name of
// its control, creates the control, reaches its properties by name or dispatch id, calls its methods,
// forwards its events and keeps its properties in a bag. Positions are container units (twips).
#include "platform/controlhost/ControlProtocol.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <memory>

class QWidget;

namespace bd::controlhost {

struct ParamInfo {
    QString name, type;
    int vt = 0;
    bool byRef = false;
};
struct PropertyInfo {
    QString name, type, description;
    int dispId = 0;
    int vt = 0;
    bool readOnly = false;
    QVariant defaultValue;
};
struct MethodInfo {
    QString name, returns, description;
    int dispId = 0;
    int vt = 0;
    QList<ParamInfo> params;
};
struct EventInfo {
    QString name, description;
    int dispId = 0;
    QList<ParamInfo> params;
};
struct EnumInfo {
    QString name;
    QVariantMap values; // name -> value
};
struct ClassInfo {
    QString name, progId, clsid, description;
    QList<PropertyInfo> properties;
    QList<MethodInfo> methods;
    QList<EventInfo> events;
    QList<EnumInfo> enums;
    const PropertyInfo* property(const QString& name) const; // case-insensitive
    const PropertyInfo* property(int dispId) const;
    const MethodInfo* method(const QString& name) const;
    const EventInfo* event(int dispId) const;
};

class LoadedLibrary;

// One hosted control. Deleting it ends the control and its window. It can be a child of the
// window the control sits in, so both go together.
class Control : public QObject {
    Q_OBJECT
public:
    ~Control() override;

    QWidget* widget() const; // nullptr once the window holding it destroyed it
    const ClassInfo& classInfo() const;
    QString lastError() const { return error_; }

    // The extender properties "Left", "Top", "Width", "Height" (twips), "Visible" and "Enabled" come
    // first, then the control's own. An unknown name, a read-only property or a refused value gives
    // false (or an invalid QVariant) and lastError().
    QVariant get(const QString& name);
    bool set(const QString& name, const QVariant& value);
    QVariant get(int dispId);
    bool set(int dispId, const QVariant& value);
    int dispId(const QString& name) const; // -1 when unknown

    // Calls a method; by-reference arguments come back changed in args. Invalid QVariant on failure.
    QVariant call(const QString& method, QVariantList& args);

    // Property bag: load() reads (absent names take their defaults), save() writes only what differs
    // from the defaults. Values are bool, int, uint (colours) or float.
    bool initNew();
    bool load(const QVariantMap& bag);
    QVariantMap save();
    bool isDirty() const { return dirty_; }

signals:
    // name is the event's name; args in its declared order (the bar: Left, Top, Right, Bottom).
    void controlEvent(const QString& name, const QVariantList& args);
    void propertyChanged(const QString& name);

private:
    friend Control* CreateControl(const QString&, QWidget*, QString*);
    Control(std::shared_ptr<LoadedLibrary> lib, const ClassInfo* info, BdControl* control, QObject* parent);
    bool fail(const QString& message);
    QVariant getExtender(const QString& name, bool& handled);
    bool setExtender(const QString& name, const QVariant& value, bool& handled);
    static void fireThunk(void* ctx, int32_t dispId, BdVariant* args, int32_t argc);
    static void changedThunk(void* ctx, int32_t dispId);

    std::shared_ptr<LoadedLibrary> lib_;
    const ClassInfo* info_;
    BdControl* control_;
    QString error_;
    bool dirty_ = false;
};

// Creates the control registered under progId (e.g. "Glimford.UISizeBar") inside parent; the new
// Control object is a child of parent. nullptr and *error when the name is not registered or the
// library cannot serve it.
Control* CreateControl(const QString& progId, QWidget* parent, QString* error = nullptr);

// The type description of the control registered under progId; nullptr when it cannot be loaded.
const ClassInfo* ControlClassInfo(const QString& progId, QString* error = nullptr);

// Registration of one library file through its own entry points.
bool RegisterControlLibrary(const QString& path, QString* error = nullptr);
bool UnregisterControlLibrary(const QString& path, QString* error = nullptr);

// True when progId is registered and its library file exists.
bool IsControlRegistered(const QString& progId);

// Registers every control library shipped in AppPath() whose controls are not registered (or
// whose registration names a library file that is gone). Returns how many libraries it registered.
int RegisterShippedControls();

} // namespace bd::controlhost
