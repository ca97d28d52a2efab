// The library's server side: entry points, class object, the control object handed to the host,
// registration and the type description.
#include "ControlObject.h"
#include "ControlProtocol.h"
#include "ControlServer.h"
#include "Spanwell.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <string>

#define BD_EXPORT extern "C" __attribute__((visibility("default")))

namespace spanwell {
namespace {

using bd::controlserver::boolValue;
using bd::controlserver::colourValue;
using bd::controlserver::longValue;
using bd::controlserver::toColour;
using bd::controlserver::toLong;
using bd::controlserver::toNumber;

constexpr const char* kProgId = "SliderSpanwell.Spanwell";
constexpr const char* kClsid = "{6C0E3B52-2D7A-4F0B-9E51-8A4F3C7D21B6}";

struct PropertyDesc {
    const char* name;
    int32_t dispId;
    int32_t vt;
    const char* type;
    const char* description;
};

// Interface order (the method UpdatePosition sits between Enabled and Min).
const PropertyDesc kProperties[] = {
    {"BorderStyle", DispBorderStyle, BD_VT_I4, "swBorderStyle", "The border drawn around the track"},
    {"Color", DispColor, BD_VT_UI4, "OLE_COLOR", "The colour of the bar between the thumbs"},
    {"Enabled", DispEnabled, BD_VT_BOOL, "Boolean", "Whether the thumbs can be dragged"},
    {"Min", DispMin, BD_VT_I4, "Long", "The lowest value; never below 0"},
    {"LowerLocked", DispLowerLocked, BD_VT_BOOL, "Boolean",
     "The lower thumb cannot be dragged and the upper thumb cannot pass it"},
    {"LowerVisible", DispLowerVisible, BD_VT_BOOL, "Boolean", "The lower thumb is shown"},
    {"Max", DispMax, BD_VT_I4, "Long", "The highest value; never below Min"},
    {"UpperLocked", DispUpperLocked, BD_VT_BOOL, "Boolean",
     "The upper thumb cannot be dragged and the lower thumb cannot pass it"},
    {"UpperVisible", DispUpperVisible, BD_VT_BOOL, "Boolean", "The upper thumb is shown"},
    {"UpperValue", DispUpperValue, BD_VT_I4, "Long", "The value of the upper thumb"},
    {"LowerValue", DispLowerValue, BD_VT_I4, "Long", "The value of the lower thumb"},
};

using SliderObject = bd::controlserver::ControlObject<Spanwell>;

int32_t getProperty(BdControl* c, int32_t id, BdVariant* value) {
    Spanwell* s = SliderObject::controlOf(c);
    if (!s) return BD_E_GONE;
    if (!value) return BD_E_INVALIDARG;
    switch (id) {
    case DispBorderStyle:
        *value = longValue(s->borderStyle());
        break;
    case DispColor:
        *value = colourValue(s->color());
        break;
    case DispEnabled:
        *value = boolValue(s->isEnabled());
        break;
    case DispMin:
        *value = longValue(s->min());
        break;
    case DispLowerLocked:
        *value = boolValue(s->lowerLocked());
        break;
    case DispLowerVisible:
        *value = boolValue(s->lowerVisible());
        break;
    case DispMax:
        *value = longValue(s->max());
        break;
    case DispUpperLocked:
        *value = boolValue(s->upperLocked());
        break;
    case DispUpperVisible:
        *value = boolValue(s->upperVisible());
        break;
    case DispUpperValue:
        *value = longValue(s->upperValue());
        break;
    case DispLowerValue:
        *value = longValue(s->lowerValue());
        break;
    default:
        return BD_E_NOTFOUND;
    }
    return BD_S_OK;
}

int32_t setFlag(Spanwell* s, int32_t id, const BdVariant* value) {
    double d = 0;
    if (!toNumber(value, d)) return BD_E_TYPEMISMATCH;
    const bool on = d != 0;
    switch (id) {
    case DispEnabled:
        s->setControlEnabled(on);
        break;
    case DispLowerLocked:
        s->setLowerLocked(on);
        break;
    case DispLowerVisible:
        s->setLowerVisible(on);
        break;
    case DispUpperLocked:
        s->setUpperLocked(on);
        break;
    default:
        s->setUpperVisible(on);
        break;
    }
    return BD_S_OK;
}

int32_t setLongProperty(Spanwell* s, int32_t id, const BdVariant* value) {
    int32_t l = 0;
    if (!toLong(value, l)) return BD_E_TYPEMISMATCH;
    switch (id) {
    case DispBorderStyle:
        s->setBorderStyle(l);
        break;
    case DispMin:
        s->setMin(l);
        break;
    case DispMax:
        s->setMax(l);
        break;
    case DispUpperValue:
        s->setUpperValue(l);
        break;
    default:
        s->setLowerValue(l);
        break;
    }
    return BD_S_OK;
}

int32_t setProperty(BdControl* c, int32_t id, const BdVariant* value) {
    Spanwell* s = SliderObject::controlOf(c);
    if (!s) return BD_E_GONE;
    switch (id) {
    case DispColor: {
        uint32_t colour = 0;
        if (!toColour(value, colour)) return BD_E_TYPEMISMATCH;
        s->setColor(colour);
        return BD_S_OK;
    }
    case DispEnabled:
    case DispLowerLocked:
    case DispLowerVisible:
    case DispUpperLocked:
    case DispUpperVisible:
        return setFlag(s, id, value);
    case DispBorderStyle:
    case DispMin:
    case DispMax:
    case DispUpperValue:
    case DispLowerValue:
        return setLongProperty(s, id, value);
    default:
        return BD_E_NOTFOUND;
    }
}

int32_t invoke(BdControl* c, int32_t id, BdVariant*, int32_t argc, BdVariant* result) {
    Spanwell* s = SliderObject::controlOf(c);
    if (!s) return BD_E_GONE;
    if (id != DispUpdatePosition) return BD_E_NOTFOUND;
    if (argc != 0) return BD_E_INVALIDARG;
    s->UpdatePosition();
    if (result) *result = BdVariant{};
    return BD_S_OK;
}

int32_t initNew(BdControl* c) {
    Spanwell* s = SliderObject::controlOf(c);
    if (!s) return BD_E_GONE;
    s->initNew();
    return BD_S_OK;
}

const BdControlVtbl kControlVtbl = {SliderObject::release,
                                    SliderObject::widget,
                                    SliderObject::setEventSink,
                                    getProperty,
                                    setProperty,
                                    invoke,
                                    SliderObject::getPlacement,
                                    SliderObject::setPlacement,
                                    initNew,
                                    SliderObject::load,
                                    SliderObject::save};

int32_t createInstance(BdClassFactory*, void* parent, BdControl** out) {
    return SliderObject::create(&kControlVtbl, parent, out);
}

const BdClassFactoryVtbl kFactoryVtbl = {createInstance};
BdClassFactory g_factory = {&kFactoryVtbl};

std::string libraryPath() {
    return bd::controlserver::libraryPath(reinterpret_cast<const void*>(&createInstance));
}

QByteArray buildTypeInfo() {
    const QJsonObject defaults{{"BorderStyle", Spanwell::kBorderStyle},
                               {"Color", double(Spanwell::kColor)},
                               {"Min", Spanwell::kMin},
                               {"LowerLocked", false},
                               {"LowerVisible", true},
                               {"Max", Spanwell::kMax},
                               {"UpperLocked", false},
                               {"UpperVisible", true},
                               {"UpperValue", Spanwell::kUpperValue},
                               {"LowerValue", Spanwell::kLowerValue}};
    QJsonArray props;
    for (const PropertyDesc& p : kProperties) {
        QJsonObject o{{"name", p.name}, {"dispId", p.dispId}, {"vt", p.vt},
                      {"type", p.type}, {"readOnly", false},  {"description", p.description}};
        if (defaults.contains(p.name)) o["default"] = defaults.value(p.name);
        props.append(o);
    }
    const QJsonArray methods{QJsonObject{{"name", "UpdatePosition"},
                                         {"dispId", DispUpdatePosition},
                                         {"returns", ""},
                                         {"vt", BD_VT_EMPTY},
                                         {"description", "Lays out the thumbs and the bar from the values"},
                                         {"params", QJsonArray{}}}};
    const QJsonArray events{QJsonObject{{"name", "Change"},
                                        {"dispId", EvChange},
                                        {"description", "A mouse button was released over a thumb"},
                                        {"params", QJsonArray{}}},
                            QJsonObject{{"name", "Scroll"},
                                        {"dispId", EvScroll},
                                        {"description", "A thumb moved during a drag"},
                                        {"params", QJsonArray{}}}};
    const QJsonArray enums{QJsonObject{{"name", "swBorderStyle"},
                                       {"values", QJsonObject{{"swFlat", swFlat},
                                                              {"swRaised", swRaised},
                                                              {"swSunken", swSunken},
                                                              {"swBump", swBump},
                                                              {"swEtched", swEtched}}}}};
    const QJsonObject cls{{"name", "Spanwell"},  {"progId", kProgId},
                          {"clsid", kClsid},     {"description", "Two-thumb range slider"},
                          {"properties", props}, {"methods", methods},
                          {"events", events},    {"enums", enums}};
    const QJsonObject lib{
        {"protocol", BD_CONTROL_PROTOCOL_VERSION}, {"library", "Spanwell"}, {"classes", QJsonArray{cls}}};
    return QJsonDocument(lib).toJson(QJsonDocument::Compact);
}

} // namespace
} // namespace spanwell

using namespace spanwell;

BD_EXPORT int32_t DllCanUnloadNow(void) {
    return SliderObject::alive().load() == 0 && Spanwell::liveCount() == 0 ? BD_S_OK : BD_S_FALSE;
}

BD_EXPORT int32_t DllGetClassObject(const char* clsid, BdClassFactory** factory) {
    if (!clsid || !factory) return BD_E_INVALIDARG;
    if (!bd::controlserver::sameText(clsid, kClsid)) return BD_E_NOTFOUND;
    *factory = &g_factory;
    return BD_S_OK;
}

BD_EXPORT int32_t DllRegisterServer(const BdRegistryAccess* reg) {
    return bd::controlserver::registerClass(reg, kProgId, kClsid, libraryPath());
}

BD_EXPORT int32_t DllUnregisterServer(const BdRegistryAccess* reg) {
    return bd::controlserver::unregisterClass(reg, kProgId, kClsid, libraryPath());
}

BD_EXPORT const char* DllGetTypeInfo(void) {
    static const QByteArray info = buildTypeInfo();
    return info.constData();
}
