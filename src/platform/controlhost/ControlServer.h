#pragma once
// The server side shared by the control libraries: value conversions across the protocol, reads of a
// property bag, and the registry keys of one control class. Header only, so a library uses it without
// linking anything of the program.
#include "ControlProtocol.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <dlfcn.h>
#include <limits>
#include <string>

namespace bd::controlserver {

inline BdVariant variantOf(int32_t vt, double value) {
    BdVariant v{};
    v.vt = vt;
    switch (vt) {
    case BD_VT_I4:
        v.u.i4 = int32_t(value);
        break;
    case BD_VT_UI4:
        v.u.ui4 = uint32_t(value);
        break;
    case BD_VT_R4:
        v.u.r4 = float(value);
        break;
    case BD_VT_R8:
        v.u.r8 = value;
        break;
    case BD_VT_BOOL:
        v.u.b = value != 0 ? 1 : 0;
        break;
    default:
        break;
    }
    return v;
}

inline BdVariant longValue(int32_t x) {
    BdVariant v{};
    v.vt = BD_VT_I4;
    v.u.i4 = x;
    return v;
}
inline BdVariant colourValue(uint32_t x) {
    BdVariant v{};
    v.vt = BD_VT_UI4;
    v.u.ui4 = x;
    return v;
}
inline BdVariant boolValue(bool x) {
    BdVariant v{};
    v.vt = BD_VT_BOOL;
    v.u.b = x ? 1 : 0;
    return v;
}

inline bool toNumber(const BdVariant* v, double& out) {
    if (!v) return false;
    switch (v->vt) {
    case BD_VT_I4:
        out = v->u.i4;
        return true;
    case BD_VT_UI4:
        out = v->u.ui4;
        return true;
    case BD_VT_R4:
        out = v->u.r4;
        return std::isfinite(out);
    case BD_VT_R8:
        out = v->u.r8;
        return std::isfinite(out);
    case BD_VT_BOOL:
        out = v->u.b ? -1 : 0;
        return true;
    default:
        return false;
    }
}

// A Long: rounded to the nearest, halves to the even neighbour; out of range is refused.
inline bool toLong(const BdVariant* v, int32_t& out) {
    double d;
    if (!toNumber(v, d)) return false;
    d = std::nearbyint(d);
    if (d < std::numeric_limits<int32_t>::min() || d > std::numeric_limits<int32_t>::max()) return false;
    out = int32_t(d);
    return true;
}

// An OLE colour, also when it arrives as a negative Long (system colours have the high bit set).
inline bool toColour(const BdVariant* v, uint32_t& out) {
    double d;
    if (!toNumber(v, d)) return false;
    d = std::nearbyint(d);
    if (d < 0 && d >= std::numeric_limits<int32_t>::min()) {
        out = uint32_t(int32_t(d));
        return true;
    }
    if (d < 0 || d > std::numeric_limits<uint32_t>::max()) return false;
    out = uint32_t(d);
    return true;
}

// Reads of a bag: an absent or unusable value gives the default.
struct BagReader {
    const BdPropertyBag* bag;
    bool read(const char* name, BdVariant& v) const {
        v = BdVariant{};
        return bag && bag->read && bag->read(bag->context, name, &v) == BD_S_OK;
    }
    int32_t long_(const char* name, int32_t def) const {
        BdVariant v;
        int32_t out;
        return read(name, v) && toLong(&v, out) ? out : def;
    }
    uint32_t colour(const char* name, uint32_t def) const {
        BdVariant v;
        uint32_t out;
        return read(name, v) && toColour(&v, out) ? out : def;
    }
    bool flag(const char* name, bool def) const {
        BdVariant v;
        double d;
        return read(name, v) && toNumber(&v, d) ? d != 0 : def;
    }
};

inline bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The file of the library that holds the given address.
inline std::string libraryPath(const void* addressInLibrary) {
    Dl_info info{};
    if (dladdr(addressInLibrary, &info) && info.dli_fname) return info.dli_fname;
    return {};
}

inline std::string registryValue(const BdRegistryAccess* reg, const std::string& key) {
    if (!reg->queryValue) return {};
    char buf[4096];
    const int32_t n = reg->queryValue(reg->context, key.c_str(), "", buf, int32_t(sizeof buf));
    if (n < 0 || n >= int32_t(sizeof buf)) return {};
    return std::string(buf, size_t(n));
}

// The keys of DllRegisterServer: the name points at the class, the class at the library file.
inline int32_t registerClass(const BdRegistryAccess* reg, const char* progId, const char* clsid,
                             const std::string& path) {
    if (!reg || reg->version != BD_CONTROL_PROTOCOL_VERSION || !reg->setValue) return BD_E_INVALIDARG;
    if (path.empty()) return BD_E_FAIL;
    const std::string root = "HKEY_CLASSES_ROOT\\";
    const std::string prog = root + progId, cls = root + "CLSID\\" + clsid;
    const struct {
        std::string key;
        const char* value;
    } writes[] = {{prog, progId},
                  {prog + "\\CLSID", clsid},
                  {cls, progId},
                  {cls + "\\ProgID", progId},
                  {cls + "\\InprocServer32", path.c_str()}};
    for (const auto& w : writes)
        if (reg->setValue(reg->context, w.key.c_str(), "", w.value) != BD_S_OK) return BD_E_FAIL;
    return BD_S_OK;
}

inline int32_t unregisterClass(const BdRegistryAccess* reg, const char* progId, const char* clsid,
                               const std::string& path) {
    if (!reg || reg->version != BD_CONTROL_PROTOCOL_VERSION || !reg->deleteKey) return BD_E_INVALIDARG;
    const std::string root = "HKEY_CLASSES_ROOT\\";
    const std::string prog = root + progId, cls = root + "CLSID\\" + clsid;
    // Another copy of the library may own the registration now: leave it alone.
    const std::string registered = registryValue(reg, cls + "\\InprocServer32");
    if (!registered.empty() && registered != path) return BD_S_FALSE;
    if (reg->deleteKey(reg->context, cls.c_str()) != BD_S_OK) return BD_E_FAIL;
    const std::string progClsid = registryValue(reg, prog + "\\CLSID");
    if (progClsid.empty() || sameText(progClsid, clsid))
        if (reg->deleteKey(reg->context, prog.c_str()) != BD_S_OK) return BD_E_FAIL;
    return BD_S_OK;
}

} // namespace bd::controlserver
