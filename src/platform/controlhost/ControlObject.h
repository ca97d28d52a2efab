#pragma once
// The object a control library hands to the host for one control, and the entries of its function
// table that are the same for every control class: release, widget, events, placement and the
// property bag. The control class W offers detach(), busy(), the hooks onEvent(id, args, argc) and
// onPropertyChanged(id), placement(), setPlacement(), readProperties() and writeProperties(). Header
// only, like the protocol.
#include "ControlProtocol.h"

#include <QPointer>
#include <QWidget>
#include <atomic>

namespace bd::controlserver {

template <class W> struct ControlObject {
    BdControl base;
    QPointer<W> control; // its container may destroy it before the host lets it go
    BdEventSink sink{};
    bool hasSink = false;

    static ControlObject* of(BdControl* c) { return reinterpret_cast<ControlObject*>(c); }
    static W* controlOf(BdControl* c) { return of(c)->control.data(); }
    // Objects handed out and not yet released.
    static std::atomic<int>& alive() {
        static std::atomic<int> n{0};
        return n;
    }

    static int32_t create(const BdControlVtbl* vtbl, void* parent, BdControl** out) {
        if (!out) return BD_E_INVALIDARG;
        auto* o = new ControlObject;
        o->base.vtbl = vtbl;
        o->control = new W(static_cast<QWidget*>(parent));
        ++alive();
        *out = &o->base;
        return BD_S_OK;
    }

    static void release(BdControl* c) {
        ControlObject* o = of(c);
        if (W* w = o->control) {
            w->detach();
            // Released from inside one of its own events: finish that first.
            if (w->busy()) {
                w->hide();
                w->deleteLater();
            } else {
                delete w;
            }
        }
        delete o;
        --alive();
    }

    static void* widget(BdControl* c) { return static_cast<QWidget*>(controlOf(c)); }

    static int32_t setEventSink(BdControl* c, const BdEventSink* sink) {
        ControlObject* o = of(c);
        o->hasSink = sink != nullptr;
        if (sink) o->sink = *sink;
        W* w = o->control;
        if (!w) return BD_E_GONE;
        if (!o->hasSink) {
            w->onEvent = nullptr;
            w->onPropertyChanged = nullptr;
            return BD_S_OK;
        }
        const BdEventSink s = o->sink;
        w->onEvent = [s](int32_t id, BdVariant* args, int32_t argc) {
            if (s.fire) s.fire(s.context, id, args, argc);
        };
        w->onPropertyChanged = [s](int32_t id) {
            if (s.propertyChanged) s.propertyChanged(s.context, id);
        };
        return BD_S_OK;
    }

    static int32_t getPlacement(BdControl* c, BdRect* rect) {
        W* w = controlOf(c);
        if (!w) return BD_E_GONE;
        if (!rect) return BD_E_INVALIDARG;
        *rect = w->placement();
        return BD_S_OK;
    }

    static int32_t setPlacement(BdControl* c, const BdRect* rect) {
        W* w = controlOf(c);
        if (!w) return BD_E_GONE;
        if (!rect) return BD_E_INVALIDARG;
        w->setPlacement(*rect);
        return BD_S_OK;
    }

    static int32_t load(BdControl* c, const BdPropertyBag* bag) {
        W* w = controlOf(c);
        if (!w) return BD_E_GONE;
        w->readProperties(bag);
        return BD_S_OK;
    }

    static int32_t save(BdControl* c, const BdPropertyBag* bag) {
        W* w = controlOf(c);
        if (!w) return BD_E_GONE;
        if (!bag) return BD_E_INVALIDARG;
        w->writeProperties(bag);
        return BD_S_OK;
    }
};

} // namespace bd::controlserver
