#include "platform/linux/window_hints.h"

#include <xcb/xcb.h>

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zx {
namespace {

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    auto* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

// Adds the skip states to the window's _NET_WM_STATE, keeping the ones
// already there. The toolkit merges its own states into the property when it
// maps the window, so these stay.
void AddSkipStates(xcb_connection_t* c, xcb_window_t window) {
    const xcb_atom_t state = Atom(c, "_NET_WM_STATE");
    std::vector<xcb_atom_t> atoms;
    auto* reply = xcb_get_property_reply(c, xcb_get_property(c, 0, window, state, XCB_ATOM_ATOM, 0, 64), nullptr);
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* value = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        atoms.assign(value, value + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    for (const char* name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        const xcb_atom_t a = Atom(c, name);
        bool present = false;
        for (xcb_atom_t have : atoms) present = present || have == a;
        if (!present) atoms.push_back(a);
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32, static_cast<uint32_t>(atoms.size()),
                        atoms.data());
}

class SecondaryWindowHints : public QObject {
public:
    SecondaryWindowHints(QWidget& window, QWidget* owner) : QObject(&window), window_(&window), owner_(owner) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The widget's show event comes before its native window is mapped.
        if (watched == window_ && event->type() == QEvent::Show && !event->spontaneous()) Apply();
        return false;
    }

private:
    static xcb_connection_t* Connection() {
        auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        return x11 ? x11->connection() : nullptr;
    }

    void Apply() {
        xcb_connection_t* c = Connection();
        if (!c || !window_->windowHandle()) return;
        if (owner_ && owner_->windowHandle()) {
            // The toolkit writes the transient relation of dialogs from this
            // as it maps them; for other windows it removes the relation
            // then, so it is written once the window has been mapped.
            window_->windowHandle()->setTransientParent(owner_->windowHandle());
            QMetaObject::invokeMethod(
                this, [this] { WriteTransientFor(); }, Qt::QueuedConnection);
        }
        AddSkipStates(c, static_cast<xcb_window_t>(window_->winId()));
        xcb_flush(c);
    }

    void WriteTransientFor() {
        xcb_connection_t* c = Connection();
        if (!c || !owner_ || !window_->isVisible()) return;
        const auto window = static_cast<xcb_window_t>(window_->winId());
        const auto owner = static_cast<xcb_window_t>(owner_->winId());
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32, 1,
                            &owner);
        xcb_flush(c);
    }

    QWidget* window_;
    QPointer<QWidget> owner_;
};

}  // namespace

void MarkSecondaryWindow(QWidget& window, QWidget* owner) {
    new SecondaryWindowHints(window, owner);
}

}  // namespace zx
