/* The small C protocol between the program and its control libraries. A control library exports
 * DllCanUnloadNow, DllGetClassObject, DllRegisterServer, DllUnregisterServer and DllGetTypeInfo;
 * everything else crosses through the function tables below. Header only, plain C, so a library
 * can include it without linking anything of the program. Strings are UTF-8. */
#ifndef BD_CONTROL_PROTOCOL_H
#define BD_CONTROL_PROTOCOL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define BD_CONTROL_PROTOCOL_VERSION 1

/* Result codes, after the COM ones: 0 success, 1 success with "no"/"absent", negative failure. */
#define BD_S_OK 0
#define BD_S_FALSE 1
#define BD_E_FAIL (-1)
#define BD_E_INVALIDARG (-2)
#define BD_E_NOTFOUND (-3) /* unknown dispatch id or class id */
#define BD_E_READONLY (-4)
#define BD_E_GONE (-5) /* the control's window was destroyed by its container */
#define BD_E_TYPEMISMATCH (-6)

/* Value types, numbered like the OLE variant types. */
#define BD_VT_EMPTY 0
#define BD_VT_I4 3
#define BD_VT_R4 4
#define BD_VT_R8 5
#define BD_VT_BOOL 11
#define BD_VT_UI4 19

typedef struct BdVariant {
    int32_t vt;
    union {
        int32_t i4;
        uint32_t ui4;
        float r4;
        double r8;
        int32_t b; /* 0 or 1 */
    } u;
} BdVariant;

/* Placement of a control in its container, in container units (twips). */
typedef struct BdRect {
    int32_t left, top, width, height;
} BdRect;

/* Registry writes offered by the host to DllRegisterServer / DllUnregisterServer. Keys use "\" as
 * separator ("HKEY_CLASSES_ROOT\CLSID\{...}"); the default value has the empty name. */
typedef struct BdRegistryAccess {
    int32_t version; /* BD_CONTROL_PROTOCOL_VERSION */
    void* context;
    int32_t (*setValue)(void* context, const char* key, const char* name, const char* value);
    /* Copies the value (NUL-terminated) into buf; returns its length, or -1 when absent. */
    int32_t (*queryValue)(void* context, const char* key, const char* name, char* buf, int32_t bufSize);
    int32_t (*deleteKey)(void* context, const char* key);
} BdRegistryAccess;

/* The host's side of a control: events and property-change notices. */
typedef struct BdEventSink {
    void* context;
    /* args are in the event's declared order; the callee may change them (by-reference arguments). */
    void (*fire)(void* context, int32_t eventDispId, BdVariant* args, int32_t argc);
    void (*propertyChanged)(void* context, int32_t dispId);
} BdEventSink;

/* A property bag the host reads and writes. read returns BD_S_OK, or BD_S_FALSE when absent. */
typedef struct BdPropertyBag {
    void* context;
    int32_t (*read)(void* context, const char* name, BdVariant* value);
    int32_t (*write)(void* context, const char* name, const BdVariant* value);
} BdPropertyBag;

typedef struct BdControl BdControl;
typedef struct BdControlVtbl {
    /* Ends the control: its window is destroyed and the object freed. */
    void (*release)(BdControl* self);
    /* The control's QWidget (as void*), or NULL once its container destroyed it. */
    void* (*widget)(BdControl* self);
    int32_t (*setEventSink)(BdControl* self, const BdEventSink* sink); /* NULL detaches */
    int32_t (*getProperty)(BdControl* self, int32_t dispId, BdVariant* value);
    int32_t (*setProperty)(BdControl* self, int32_t dispId, const BdVariant* value);
    /* args in declared order, updated in place for by-reference parameters. */
    int32_t (*invoke)(BdControl* self, int32_t dispId, BdVariant* args, int32_t argc, BdVariant* result);
    int32_t (*getPlacement)(BdControl* self, BdRect* rect);
    int32_t (*setPlacement)(BdControl* self, const BdRect* rect);
    int32_t (*initNew)(BdControl* self);
    int32_t (*load)(BdControl* self, const BdPropertyBag* bag);
    int32_t (*save)(BdControl* self, const BdPropertyBag* bag);
} BdControlVtbl;
struct BdControl {
    const BdControlVtbl* vtbl;
};

typedef struct BdClassFactory BdClassFactory;
typedef struct BdClassFactoryVtbl {
    /* parentWidget is a QWidget* (may be NULL). */
    int32_t (*createInstance)(BdClassFactory* self, void* parentWidget, BdControl** control);
} BdClassFactoryVtbl;
struct BdClassFactory {
    const BdClassFactoryVtbl* vtbl;
};

/* Entry points a control library exports. */
typedef int32_t (*BdDllCanUnloadNow)(void); /* BD_S_OK: no control alive */
typedef int32_t (*BdDllGetClassObject)(const char* clsid, BdClassFactory** factory); /* static factory */
typedef int32_t (*BdDllRegisterServer)(const BdRegistryAccess* registry);
typedef int32_t (*BdDllUnregisterServer)(const BdRegistryAccess* registry);
/* JSON: {"protocol":1,"library":...,"classes":[{"progId","clsid","name","description",
 * "properties":[{"name","dispId","type","readOnly","description","default"}],
 * "methods":[{"name","dispId","returns","description","params":[{"name","type","byRef"}]}],
 * "events":[{"name","dispId","description","params":[...]}],"enums":[{"name","values":{..}}]}]}.
 * Owned by the library, valid while it is loaded. */
typedef const char* (*BdDllGetTypeInfo)(void);

#ifdef __cplusplus
}
#endif

#endif
