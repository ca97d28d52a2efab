// The library's server side: entry points, class object, the control object handed to the host,
// registration and the type description.
#include "ControlObject.h"
#include "ControlProtocol.h"
#include "ControlServer.h"
#include "UISizeBar.h"
#include "uiAPI.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <string>

#define BD_EXPORT extern "C" __attribute__((visibility("default")))

namespace glimford {
namespace {

constexpr const char* kProgId = "Glimford.UISizeBar";
constexpr const char* kClsid = "{F4B89CDF-94E1-42D4-8208-009DFF504E48}";

using bd::controlserver::toColour;
using bd::controlserver::toLong;
using bd::controlserver::toNumber;
BdVariant make(int32_t vt, double value) {
    return bd::controlserver::variantOf(vt, value);
}

struct PropertyDesc {
    const char* name;
    int32_t dispId;
    int32_t vt;
    const char* type;
    bool readOnly;
    const char* description;
};

// Interface order.
const PropertyDesc kProperties[] = {
    {"BackColor", DispBackColor, BD_VT_UI4, "OLE_COLOR", false, "The BackColor of the SizeBar"},
    {"BorderStyle", DispBorderStyle, BD_VT_I4, "sbBorderStyleEnum", false,
     "Determines what type of border the SizeBar will have"},
    {"Bottom", DispBottom, BD_VT_R4, "Single", true,
     "Returns the Bottom coordinate of the SizeBar. Provided for ease of use."},
    {"Edge_Bottom", DispEdgeBottom, BD_VT_BOOL, "Boolean", false,
     "Determines whether or not the bottom edge is drawn. Used with BorderStyle."},
    {"Edge_Left", DispEdgeLeft, BD_VT_BOOL, "Boolean", false,
     "Determines whether or not the left edge is drawn. Used with BorderStyle."},
    {"Edge_Right", DispEdgeRight, BD_VT_BOOL, "Boolean", false,
     "Determines whether or not the right edge is drawn. Used with BorderStyle."},
    {"Edge_Top", DispEdgeTop, BD_VT_BOOL, "Boolean", false,
     "Determines whether or not the top edge is drawn. Used with BorderStyle."},
    {"HighlightColor", DispHighlightColor, BD_VT_UI4, "OLE_COLOR", false,
     "Determines the color used when dragging the SizeBar"},
    {"MaxLeft", DispMaxLeft, BD_VT_I4, "Long", false,
     "The maximum left value the SizeBar will be moved during dragging"},
    {"MaxTop", DispMaxTop, BD_VT_I4, "Long", false,
     "The maximum top value the SizeBar will be moved during dragging"},
    {"MinLeft", DispMinLeft, BD_VT_I4, "Long", false,
     "The minimum left value the SizeBar will be moved during dragging"},
    {"MinTop", DispMinTop, BD_VT_I4, "Long", false,
     "The minimum top value the SizeBar will be moved during dragging"},
    {"Orientation", DispOrientation, BD_VT_I4, "sbOrientationEnum", false,
     "Determines the orientation of the SizeBar, which determines the MousePointer which is displayed."},
    {"Right", DispRight, BD_VT_R4, "Single", true,
     "Returns the Right coordinate of the SizeBar. Provided for ease of use."},
    {"ShowBorderWhileMoving", DispShowBorderWhileMoving, BD_VT_BOOL, "Boolean", false,
     "Determines whether or not a border is drawn while the SizeBar is being dragged."},
};

using SizeBarObject = bd::controlserver::ControlObject<UISizeBar>;

UISizeBar* self(BdControl* c) {
    return SizeBarObject::controlOf(c);
}

int32_t getProperty(BdControl* c, int32_t id, BdVariant* value) {
    UISizeBar* b = self(c);
    if (!b) return BD_E_GONE;
    if (!value) return BD_E_INVALIDARG;
    switch (id) {
    case DispBackColor:
        *value = make(BD_VT_UI4, b->backColor());
        break;
    case DispBorderStyle:
        *value = make(BD_VT_I4, b->borderStyle());
        break;
    case DispBottom:
        *value = make(BD_VT_R4, b->bottom());
        break;
    case DispEdgeBottom:
        *value = make(BD_VT_BOOL, b->edge(BF_BOTTOM));
        break;
    case DispEdgeLeft:
        *value = make(BD_VT_BOOL, b->edge(BF_LEFT));
        break;
    case DispEdgeRight:
        *value = make(BD_VT_BOOL, b->edge(BF_RIGHT));
        break;
    case DispEdgeTop:
        *value = make(BD_VT_BOOL, b->edge(BF_TOP));
        break;
    case DispHighlightColor:
        *value = make(BD_VT_UI4, b->highlightColor());
        break;
    case DispMaxLeft:
        *value = make(BD_VT_I4, b->maxLeft());
        break;
    case DispMaxTop:
        *value = make(BD_VT_I4, b->maxTop());
        break;
    case DispMinLeft:
        *value = make(BD_VT_I4, b->minLeft());
        break;
    case DispMinTop:
        *value = make(BD_VT_I4, b->minTop());
        break;
    case DispOrientation:
        *value = make(BD_VT_I4, b->orientation());
        break;
    case DispRight:
        *value = make(BD_VT_R4, b->right());
        break;
    case DispShowBorderWhileMoving:
        *value = make(BD_VT_BOOL, b->showBorderWhileMoving());
        break;
    default:
        return BD_E_NOTFOUND;
    }
    return BD_S_OK;
}

int32_t setProperty(BdControl* c, int32_t id, const BdVariant* value) {
    UISizeBar* b = self(c);
    if (!b) return BD_E_GONE;
    int32_t l = 0;
    uint32_t colour = 0;
    double d = 0;
    switch (id) {
    case DispBackColor:
    case DispHighlightColor:
        if (!toColour(value, colour)) return BD_E_TYPEMISMATCH;
        if (id == DispBackColor)
            b->setBackColor(colour);
        else
            b->setHighlightColor(colour);
        return BD_S_OK;
    case DispBorderStyle:
        if (!toLong(value, l)) return BD_E_TYPEMISMATCH;
        if (!UISizeBar::validBorderStyle(l)) return BD_E_INVALIDARG;
        b->setBorderStyle(l);
        return BD_S_OK;
    case DispOrientation:
        if (!toLong(value, l)) return BD_E_TYPEMISMATCH;
        if (!UISizeBar::validOrientation(l)) return BD_E_INVALIDARG;
        b->setOrientation(l);
        return BD_S_OK;
    case DispMaxLeft:
    case DispMaxTop:
    case DispMinLeft:
    case DispMinTop:
        if (!toLong(value, l)) return BD_E_TYPEMISMATCH;
        if (id == DispMaxLeft)
            b->setMaxLeft(l);
        else if (id == DispMaxTop)
            b->setMaxTop(l);
        else if (id == DispMinLeft)
            b->setMinLeft(l);
        else
            b->setMinTop(l);
        return BD_S_OK;
    case DispEdgeBottom:
    case DispEdgeLeft:
    case DispEdgeRight:
    case DispEdgeTop: {
        if (!toNumber(value, d)) return BD_E_TYPEMISMATCH;
        const int side = id == DispEdgeBottom  ? BF_BOTTOM
                         : id == DispEdgeLeft  ? BF_LEFT
                         : id == DispEdgeRight ? BF_RIGHT
                                               : BF_TOP;
        b->setEdge(side, d != 0);
        return BD_S_OK;
    }
    case DispShowBorderWhileMoving:
        if (!toNumber(value, d)) return BD_E_TYPEMISMATCH;
        b->setShowBorderWhileMoving(d != 0);
        return BD_S_OK;
    case DispBottom:
    case DispRight:
        return BD_E_READONLY;
    default:
        return BD_E_NOTFOUND;
    }
}

int32_t invoke(BdControl* c, int32_t id, BdVariant* args, int32_t argc, BdVariant* result) {
    UISizeBar* b = self(c);
    if (!b) return BD_E_GONE;
    if (id != DispAnimate) return BD_E_NOTFOUND;
    if (argc != 3 || !args) return BD_E_INVALIDARG;
    double x, y;
    int32_t speed;
    if (!toNumber(&args[0], x) || !toNumber(&args[1], y) || !toLong(&args[2], speed))
        return BD_E_TYPEMISMATCH;
    float toX = float(x), toY = float(y);
    // The control object may be released during the glide: only caller memory is touched after it.
    const int32_t r = b->Animate(toX, toY, speed);
    args[0] = make(BD_VT_R4, toX);
    args[1] = make(BD_VT_R4, toY);
    if (result) *result = make(BD_VT_I4, r);
    return BD_S_OK;
}

int32_t initNew(BdControl* c) {
    return self(c) ? BD_S_OK : BD_E_GONE;
}

const BdControlVtbl kControlVtbl = {SizeBarObject::release,
                                    SizeBarObject::widget,
                                    SizeBarObject::setEventSink,
                                    getProperty,
                                    setProperty,
                                    invoke,
                                    SizeBarObject::getPlacement,
                                    SizeBarObject::setPlacement,
                                    initNew,
                                    SizeBarObject::load,
                                    SizeBarObject::save};

int32_t createInstance(BdClassFactory*, void* parent, BdControl** out) {
    return SizeBarObject::create(&kControlVtbl, parent, out);
}

const BdClassFactoryVtbl kFactoryVtbl = {createInstance};
BdClassFactory g_factory = {&kFactoryVtbl};

std::string libraryPath() {
    return bd::controlserver::libraryPath(reinterpret_cast<const void*>(&createInstance));
}

QByteArray buildTypeInfo() {
    QJsonArray props;
    const QJsonObject defaults{{"BackColor", double(UISizeBar::kBackColor)},
                               {"BorderStyle", Raised},
                               {"Edge_Bottom", true},
                               {"Edge_Left", true},
                               {"Edge_Right", true},
                               {"Edge_Top", true},
                               {"HighlightColor", double(UISizeBar::kHighlightColor)},
                               {"MaxLeft", UISizeBar::kMax},
                               {"MaxTop", UISizeBar::kMax},
                               {"MinLeft", UISizeBar::kMin},
                               {"MinTop", UISizeBar::kMin},
                               {"Orientation", Vertical},
                               {"ShowBorderWhileMoving", false}};
    for (const PropertyDesc& p : kProperties) {
        QJsonObject o{{"name", p.name}, {"dispId", p.dispId},     {"vt", p.vt},
                      {"type", p.type}, {"readOnly", p.readOnly}, {"description", p.description}};
        if (defaults.contains(p.name)) o["default"] = defaults.value(p.name);
        props.append(o);
    }
    auto param = [](const char* name, const char* type, int vt) {
        return QJsonObject{{"name", name}, {"type", type}, {"vt", vt}, {"byRef", true}};
    };
    const QJsonArray moveArgs{param("Left", "Single", BD_VT_R4), param("Top", "Single", BD_VT_R4),
                              param("Right", "Single", BD_VT_R4), param("Bottom", "Single", BD_VT_R4)};
    const QJsonArray methods{
        QJsonObject{{"name", "Animate"},
                    {"dispId", DispAnimate},
                    {"returns", "Long"},
                    {"vt", BD_VT_I4},
                    {"description", ""},
                    {"params", QJsonArray{param("ToX", "Single", BD_VT_R4), param("ToY", "Single", BD_VT_R4),
                                          param("Speed", "sbSpeedEnum", BD_VT_I4)}}}};
    const QJsonArray events{
        QJsonObject{{"name", "MoveBegin"},
                    {"dispId", EvMoveBegin},
                    {"description", "The MoveBegin event is raised before a drag operation begins"},
                    {"params", moveArgs}},
        QJsonObject{{"name", "Move"},
                    {"dispId", EvMove},
                    {"description", "The Move event is raised multiple times during a drag operation. Every "
                                    "time a MouseMove event is received"},
                    {"params", moveArgs}},
        QJsonObject{
            {"name", "MoveComplete"}, {"dispId", EvMoveComplete}, {"description", ""}, {"params", moveArgs}}};
    const QJsonArray enums{
        QJsonObject{{"name", "sbOrientationEnum"},
                    {"values", QJsonObject{{"Vertical", Vertical}, {"Horizontal", Horizontal}}}},
        QJsonObject{{"name", "sbBorderStyleEnum"},
                    {"values", QJsonObject{{"Flat", Flat},
                                           {"Raised", Raised},
                                           {"Etched", Etched},
                                           {"Sunken", Sunken},
                                           {"Bump", Bump}}}},
        QJsonObject{{"name", "sbSpeedEnum"},
                    {"values", QJsonObject{{"Slow", Slow}, {"Medium", Medium}, {"fast", fast}}}}};
    const QJsonObject cls{
        {"name", "UISizeBar"}, {"progId", kProgId},  {"clsid", kClsid},  {"description", "Splitter bar"},
        {"properties", props}, {"methods", methods}, {"events", events}, {"enums", enums}};
    const QJsonObject lib{
        {"protocol", BD_CONTROL_PROTOCOL_VERSION}, {"library", "Glimford"}, {"classes", QJsonArray{cls}}};
    return QJsonDocument(lib).toJson(QJsonDocument::Compact);
}

} // namespace
} // namespace glimford

using namespace glimford;
using bd::controlserver::sameText;

BD_EXPORT int32_t DllCanUnloadNow(void) {
    return SizeBarObject::alive().load() == 0 && UISizeBar::liveCount() == 0 ? BD_S_OK : BD_S_FALSE;
}

BD_EXPORT int32_t DllGetClassObject(const char* clsid, BdClassFactory** factory) {
    if (!clsid || !factory) return BD_E_INVALIDARG;
    if (!sameText(clsid, kClsid)) return BD_E_NOTFOUND;
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
