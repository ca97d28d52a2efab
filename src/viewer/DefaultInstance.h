#pragma once
// The one default instance of a window: made on the first touch, destroyed by its unload. The window
// keeps its constructor private and names this class its friend.
#include <QPointer>

template <class W> class DefaultInstance {
public:
    static W* get() {
        if (!instance()) instance() = new W;
        return instance();
    }
    static void unload() { delete instance().data(); }
    static bool loaded() { return !instance().isNull(); }

private:
    static QPointer<W>& instance() {
        static QPointer<W> w;
        return w;
    }
};
