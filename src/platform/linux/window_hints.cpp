#include "platform/linux/window_hints.h"

#include <xcb/xcb.h>

#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/linux/log_categories.h"

namespace zx {
namespace {

// Adds the skip states to the window's _NET_WM_STATE, keeping the ones
// already there. The toolkit merges its own states into the property when it
// maps the window, so these stay.
void AddSkipStates(xcb_connection_t* c, xcb_window_t window) {
    const xcb_atom_t state = InternAtom(c, "_NET_WM_STATE");
    std::vector<xcb_atom_t> atoms;
    auto* reply = xcb_get_property_reply(c, xcb_get_property(c, 0, window, state, XCB_ATOM_ATOM, 0, 64), nullptr);
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* value = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        atoms.assign(value, value + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    for (const char* name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        const xcb_atom_t a = InternAtom(c, name);
        bool present = false;
        for (xcb_atom_t have : atoms) present = present || have == a;
        if (!present) atoms.push_back(a);
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32, static_cast<uint32_t>(atoms.size()),
                        atoms.data());
}

}  // namespace

uint32_t InternAtom(xcb_connection_t* c, const char* name) {
    auto* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

xcb_connection_t* X11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

namespace {

// True when the server stores depth-24 images as 32-bit little-endian
// pixels, the layout of QImage::Format_RGB32.
bool Rgb32Layout(xcb_connection_t* c, uint8_t depth) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    if (depth != 24 || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
        if (it.data->depth == depth) return it.data->bits_per_pixel == 32;
    return false;
}

class SecondaryWindowHints : public QObject {
    Q_OBJECT

public:
    SecondaryWindowHints(QWidget& window, QWidget* owner) : QObject(&window), window_(&window), owner_(owner) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The widget's show event comes before its native window is mapped,
        // the native window's first exposure after it.
        if (watched == window_ && event->type() == QEvent::Show && !event->spontaneous()) Apply();
        if (transientPending_ && watched == window_->windowHandle() && event->type() == QEvent::Expose) {
            transientPending_ = false;
            WriteTransientFor();
        }
        return false;
    }

private:
    void Apply() {
        xcb_connection_t* c = X11Connection();
        QWindow* handle = window_->windowHandle();
        if (!c || !handle) return;
        if (owner_ && owner_->windowHandle()) {
            // The toolkit writes the transient relation of dialogs from this
            // as it maps them; for other windows it removes the relation
            // then, so it is written once the window has been mapped.
            handle->setTransientParent(owner_->windowHandle());
            handle->installEventFilter(this);
            transientPending_ = true;
        }
        AddSkipStates(c, static_cast<xcb_window_t>(window_->winId()));
        xcb_flush(c);
    }

    void WriteTransientFor() {
        xcb_connection_t* c = X11Connection();
        if (!c || !owner_ || !window_->isVisible()) return;
        const auto window = static_cast<xcb_window_t>(window_->winId());
        const auto owner = static_cast<xcb_window_t>(owner_->winId());
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32, 1,
                            &owner);
        xcb_flush(c);
    }

    QWidget* window_;
    QPointer<QWidget> owner_;
    bool transientPending_ = false;
};

}  // namespace

void MarkSecondaryWindow(QWidget& window, QWidget* owner) {
    new SecondaryWindowHints(window, owner);
}

QMargins ExpectedFrame(QWidget& window) {
    xcb_connection_t* c = X11Connection();
    if (!c) return {};
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t request = InternAtom(c, "_NET_REQUEST_FRAME_EXTENTS");
    const xcb_atom_t extents = InternAtom(c, "_NET_FRAME_EXTENTS");
    bool offered = false;
    auto* supported = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, InternAtom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (supported && supported->format == 32) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(supported));
        const int n = xcb_get_property_value_length(supported) / 4;
        offered = std::find(atoms, atoms + n, request) != atoms + n;
    }
    std::free(supported);
    if (!offered) {
        qCDebug(lcDesktop, "the window manager tells no frame in advance: none expected");
        return {};
    }

    const auto id = static_cast<xcb_window_t>(window.winId());
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = request;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(c);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    do {
        auto* reply = xcb_get_property_reply(c, xcb_get_property(c, 0, id, extents, XCB_ATOM_CARDINAL, 0, 4), nullptr);
        QMargins frame;
        const bool answered = reply && reply->format == 32 && xcb_get_property_value_length(reply) == 16;
        if (answered) {
            const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(reply));
            frame = QMargins(static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]),
                             static_cast<int>(v[3]));
        }
        std::free(reply);
        if (answered) return frame;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < end);
    qCDebug(lcDesktop, "the window manager told no frame within 200 ms: none expected");
    return {};
}

void KeepLookOnScreen(QWidget& window) {
    xcb_connection_t* c = X11Connection();
    if (!c) return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
    const uint8_t depth = geometry ? geometry->depth : 0;
    std::free(geometry);
    const QImage look = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (!Rgb32Layout(c, depth) || look.isNull()) {
        qCDebug(lcDesktop, "the window's look is not kept by the X server: screen format or empty picture");
        return;
    }

    const auto width = static_cast<uint16_t>(look.width());
    const auto height = static_cast<uint16_t>(look.height());
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, depth, pixmap, id, width, height);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, pixmap, 0, nullptr);
    // In bands of rows that fit one request.
    const uint32_t rowBytes = 4u * width;
    const uint32_t maxBytes = xcb_get_maximum_request_length(c) * 4u - 64u;
    const int band = std::max<int>(1, static_cast<int>(maxBytes / rowBytes));
    for (int top = 0; top < height; top += band) {
        const int rows = std::min(band, height - top);
        QByteArray bytes;
        for (int y = top; y < top + rows; ++y)
            bytes.append(reinterpret_cast<const char*>(look.constScanLine(y)), static_cast<qsizetype>(rowBytes));
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, width, static_cast<uint16_t>(rows), 0,
                      static_cast<int16_t>(top), 0, depth, static_cast<uint32_t>(bytes.size()),
                      reinterpret_cast<const uint8_t*>(bytes.constData()));
    }
    // The window keeps the pixmap alive as its background.
    xcb_change_window_attributes(c, id, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_free_gc(c, gc);
    xcb_free_pixmap(c, pixmap);
    xcb_flush(c);
}

}  // namespace zx

#include "window_hints.moc"
