#include "platform/linux/edge_sensor.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <cstdlib>
#include <cstring>

#include "platform/linux/window_hints.h"

namespace zx {
namespace {

bool Contains(const Rect& r, Point p) {
    return p.X >= r.Left && p.X < r.Left + r.Width && p.Y >= r.Top && p.Y < r.Top + r.Height;
}

const xcb_screen_t* FirstScreen(xcb_connection_t* conn) {
    return conn ? xcb_setup_roots_iterator(xcb_get_setup(conn)).data : nullptr;
}

// A visual with an alpha channel, so that the sensor shows nothing where a
// compositor blends windows; nullopt when the screen has none.
std::optional<xcb_visualid_t> AlphaVisual(const xcb_screen_t* screen) {
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
        if (d.data->depth != 32) continue;
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR) return v.data->visual_id;
    }
    return std::nullopt;
}

}  // namespace

Point BelowWindows(Point p, const std::vector<Rect>& shown) {
    // Each step moves down, out of one window; a window is left at most once.
    for (size_t step = 0; step <= shown.size(); ++step) {
        const Rect* holder = nullptr;
        for (const Rect& r : shown)
            if (Contains(r, p)) holder = &r;
        if (!holder) break;
        p.Y = holder->Top + holder->Height + 1;
    }
    return p;
}

bool NestedXServer() {
    // A nested server names its outputs after itself. (The session's socket
    // in the environment is no sign: a program started on another X server
    // from a Wayland session inherits it.)
    const QScreen* s = X11Connection() ? QGuiApplication::primaryScreen() : nullptr;
    return s && s->name().startsWith(QLatin1String("XWAYLAND"));
}

EdgeSensor::~EdgeSensor() {
    if (qApp && nested_.value_or(false)) qApp->removeNativeEventFilter(this);
    if (window_ && conn_ == X11Connection()) {
        xcb_destroy_window(conn_, window_);
        xcb_flush(conn_);
    }
}

bool EdgeSensor::Nested() {
    if (nested_) return *nested_;
    conn_ = X11Connection();
    nested_ = conn_ && NestedXServer();
    if (*nested_) {
        xdndEnter_ = InternAtom(conn_, "XdndEnter");
        xdndPosition_ = InternAtom(conn_, "XdndPosition");
        xdndStatus_ = InternAtom(conn_, "XdndStatus");
        xdndLeave_ = InternAtom(conn_, "XdndLeave");
        xdndDrop_ = InternAtom(conn_, "XdndDrop");
        qApp->installNativeEventFilter(this);
    }
    return *nested_;
}

void EdgeSensor::Raise(const Rect& monitor) {
    if (!window_) {
        if (!Nested()) return;
        const xcb_screen_t* screen = FirstScreen(conn_);
        if (!screen) return;
        window_ = xcb_generate_id(conn_);
        // Fully transparent where the visual allows, and unmanaged: no window
        // manager frames, places or lists it. It asks for no events: the
        // pointer over it is all it is there for.
        const std::optional<xcb_visualid_t> alpha = AlphaVisual(screen);
        uint32_t mask = XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT;
        std::vector<uint32_t> values{0, 0, 1};
        uint8_t depth = XCB_COPY_FROM_PARENT;
        xcb_visualid_t visual = screen->root_visual;
        if (alpha) {
            const xcb_colormap_t colormap = xcb_generate_id(conn_);
            xcb_create_colormap(conn_, XCB_COLORMAP_ALLOC_NONE, colormap, screen->root, *alpha);
            mask |= XCB_CW_COLORMAP;
            values.push_back(colormap);
            depth = 32;
            visual = *alpha;
        }
        xcb_create_window(conn_, depth, window_, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual,
                          mask, values.data());
        const char* name = "Zeltrix edge";
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            static_cast<uint32_t>(std::strlen(name)), name);
        // Drags are handed on to it, in the protocol's fifth version.
        const uint32_t version = 5;
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window_, InternAtom(conn_, "XdndAware"), XCB_ATOM_ATOM, 32, 1,
                            &version);
    }
    rect_ = Rect{monitor.Left, monitor.Top, monitor.Width, 1};
    const uint32_t place[] = {static_cast<uint32_t>(rect_.Left), static_cast<uint32_t>(rect_.Top),
                              static_cast<uint32_t>(rect_.Width), 1, XCB_STACK_MODE_ABOVE};
    xcb_configure_window(conn_, window_,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT | XCB_CONFIG_WINDOW_STACK_MODE,
                         place);
    if (!mapped_) xcb_map_window(conn_, window_);
    mapped_ = true;
    xcb_flush(conn_);
}

std::optional<bool> EdgeSensor::OverNoWindow() const {
    const xcb_screen_t* screen = FirstScreen(conn_);
    if (!screen) return std::nullopt;
    xcb_query_pointer_reply_t* reply = xcb_query_pointer_reply(conn_, xcb_query_pointer(conn_, screen->root), nullptr);
    if (!reply) return std::nullopt;
    const bool none = reply->same_screen && reply->child == XCB_WINDOW_NONE;
    std::free(reply);
    return none;
}

void EdgeSensor::StandAsideForOwnWindows() {
    // Once a window of the program covers the row (the bar revealed), the
    // sensor goes: the compositor then hands the pointer to that window, and
    // when the pointer leaves it for another program's, the server sees it
    // leave the window it was last handed to.
    if (!mapped_) return;
    for (const QWindow* w : QGuiApplication::topLevelWindows()) {
        const QRect g = w->frameGeometry();
        if (!w->isVisible() || !g.contains(rect_.Left, rect_.Top) ||
            !g.contains(rect_.Left + rect_.Width - 1, rect_.Top))
            continue;
        xcb_unmap_window(conn_, window_);
        xcb_flush(conn_);
        mapped_ = false;
        return;
    }
}

std::vector<Rect> EdgeSensor::Shown() const {
    std::vector<Rect> shown;
    if (mapped_) shown.push_back(rect_);
    for (const QWindow* w : QGuiApplication::topLevelWindows()) {
        if (!w->isVisible()) continue;
        const QRect g = w->frameGeometry();
        shown.push_back(Rect{g.x(), g.y(), g.width(), g.height()});
    }
    return shown;
}

void EdgeSensor::Refuse(const uint32_t* position) {
    // Not taken here, and positions wanted all along the row.
    xcb_client_message_event_t status{};
    status.response_type = XCB_CLIENT_MESSAGE;
    status.format = 32;
    status.window = position[0];
    status.type = xdndStatus_;
    status.data.data32[0] = window_;
    status.data.data32[1] = 2;
    xcb_send_event(conn_, 0, position[0], XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&status));
    xcb_flush(conn_);
}

bool EdgeSensor::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
    const auto* m = static_cast<const xcb_client_message_event_t*>(message);
    if (m->format != 32) return false;
    const uint32_t* data = m->data.data32;
    const bool ours = window_ && m->window == window_;
    if (m->type == xdndPosition_) {
        const Point at{static_cast<int>(data[2] >> 16), static_cast<int>(data[2] & 0xffff)};
        if (!drag_) drag_ = Drag{};
        drag_->at = at;
        drag_->leftWhen.reset();
        if (ours) Refuse(data);
    } else if (m->type == xdndLeave_) {
        if (drag_) drag_->leftWhen = std::chrono::steady_clock::now();
    } else if (m->type != xdndEnter_ && m->type != xdndDrop_) {
        return false;
    }
    // The toolkit handles drags over its own windows; the sensor's are done.
    return ours;
}

Point EdgeSensor::Pointer(Point reported) {
    if (!Nested()) return reported;
    StandAsideForOwnWindows();
    const auto now = std::chrono::steady_clock::now();
    if (drag_) {
        if (!drag_->reportedThen) drag_->reportedThen = reported;
        if (reported != *drag_->reportedThen) {
            drag_.reset();
        } else {
            // Left for a window of another program: below the windows left.
            if (!drag_->leftWhen || now - *drag_->leftWhen < kEnterGrace) return drag_->at;
            return BelowWindows(drag_->at, Shown());
        }
    }
    if (!OverNoWindow().value_or(false)) {
        overNothingSince_.reset();
        return reported;
    }
    if (!overNothingSince_) overNothingSince_ = now;
    if (now - *overNothingSince_ < kEnterGrace) return reported;
    return BelowWindows(reported, Shown());
}

}  // namespace zx
