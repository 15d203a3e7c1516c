#include "support/x11_probe.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "support/child_process.h"

namespace zx::test {
namespace {
xcb_atom_t InternAtom(xcb_connection_t* c, const char* name) {
    auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, cookie, nullptr);
    xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(r);
    return a;
}
}  // namespace

X11Probe::X11Probe(const std::string& display) {
    int screen = 0;
    xcb_connection_t* c = xcb_connect(display.empty() ? nullptr : display.c_str(), &screen);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    conn_ = c;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screen && it.rem; ++i) xcb_screen_next(&it);
    root_ = it.data->root;
}

X11Probe::~X11Probe() {
    if (conn_) xcb_disconnect(conn_);
}

void X11Probe::Walk(uint32_t window, int depth, const std::string& title, std::vector<XWindowInfo>& out) {
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(conn_, xcb_query_tree(conn_, window), nullptr);
    if (!tree) return;
    const int n = xcb_query_tree_children_length(tree);
    xcb_window_t* kids = xcb_query_tree_children(tree);
    for (int i = 0; i < n; ++i) {
        const xcb_window_t w = kids[i];
        auto* name = xcb_get_property_reply(
            conn_, xcb_get_property(conn_, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
        std::string wname;
        if (name) {
            wname.assign(static_cast<const char*>(xcb_get_property_value(name)),
                         static_cast<size_t>(xcb_get_property_value_length(name)));
            std::free(name);
        }
        if (wname == title) {
            XWindowInfo info;
            info.id = w;
            info.title = wname;
            if (auto* a = xcb_get_window_attributes_reply(conn_, xcb_get_window_attributes(conn_, w), nullptr)) {
                info.viewable = a->map_state == XCB_MAP_STATE_VIEWABLE;
                info.overrideRedirect = a->override_redirect;
                std::free(a);
            }
            if (auto* g = xcb_get_geometry_reply(conn_, xcb_get_geometry(conn_, w), nullptr)) {
                info.width = g->width;
                info.height = g->height;
                std::free(g);
            }
            if (auto* t =
                    xcb_translate_coordinates_reply(conn_, xcb_translate_coordinates(conn_, w, root_, 0, 0), nullptr)) {
                info.x = t->dst_x;
                info.y = t->dst_y;
                std::free(t);
            }
            out.push_back(info);
        }
        if (depth < 2) Walk(w, depth + 1, title, out);
    }
    std::free(tree);
}

std::vector<XWindowInfo> X11Probe::FindWindows(const std::string& title) {
    std::vector<XWindowInfo> out;
    if (conn_) Walk(root_, 0, title, out);
    return out;
}

std::optional<XWindowInfo> X11Probe::FindViewable(const std::string& title) {
    for (const auto& w : FindWindows(title))
        if (w.viewable) return w;
    return std::nullopt;
}

void X11Probe::RequestClose(uint32_t window) {
    SendClientMessage(window, "WM_PROTOCOLS", {Atom("WM_DELETE_WINDOW"), XCB_CURRENT_TIME, 0, 0, 0});
}

void X11Probe::SendClientMessage(uint32_t window, const std::string& type, const std::array<uint32_t, 5>& words) {
    if (!conn_) return;
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = window;
    ev.type = Atom(type);
    for (size_t i = 0; i < words.size(); ++i) ev.data.data32[i] = words[i];
    xcb_send_event(conn_, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
    std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));  // a round trip
}

bool X11Probe::WaitViewable(const std::string& title, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (FindViewable(title)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool X11Probe::WaitGone(const std::string& title, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (!FindViewable(title)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::optional<XWindowInfo> X11Probe::WaitExists(const std::string& title, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        auto found = FindWindows(title);
        if (!found.empty()) return found.front();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::nullopt;
}

bool X11Probe::PointerGrabbed() {
    if (!conn_) return false;
    // The server refuses a grab of its own while another is held; one that
    // it grants is let go at once.
    auto* reply = xcb_grab_pointer_reply(conn_,
                                         xcb_grab_pointer(conn_, 0, root_, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                                                          XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
                                         nullptr);
    const bool granted = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(reply);
    if (granted) {
        xcb_ungrab_pointer(conn_, XCB_CURRENT_TIME);
        xcb_flush(conn_);
    }
    return !granted;
}

uint32_t X11Probe::Atom(const std::string& name) {
    return conn_ ? InternAtom(conn_, name.c_str()) : 0;
}

std::vector<uint32_t> X11Probe::Property32(uint32_t window, const std::string& name) {
    std::vector<uint32_t> values;
    if (!conn_) return values;
    auto* reply = xcb_get_property_reply(
        conn_, xcb_get_property(conn_, 0, window, Atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr);
    if (reply && reply->format == 32) {
        const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        values.assign(v, v + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return values;
}

std::vector<uint32_t> X11Probe::Grab(int x, int y, int width, int height) {
    std::vector<uint32_t> pixels;
    if (!conn_) return pixels;
    auto* image = xcb_get_image_reply(
        conn_,
        xcb_get_image(conn_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, static_cast<int16_t>(x), static_cast<int16_t>(y),
                      static_cast<uint16_t>(width), static_cast<uint16_t>(height), ~0u),
        nullptr);
    // Depth 24 in 32-bit little-endian units, as the test servers have.
    if (image && image->depth == 24 && xcb_get_image_data_length(image) == static_cast<int>(4 * width * height)) {
        const auto* v = reinterpret_cast<const uint32_t*>(xcb_get_image_data(image));
        for (int i = 0; i < width * height; ++i) pixels.push_back(v[i] & 0xFFFFFF);
    }
    std::free(image);
    return pixels;
}

std::vector<uint32_t> X11Probe::TaskbarEntries(uint32_t pid) {
    std::vector<uint32_t> entries;
    const uint32_t skip = Atom("_NET_WM_STATE_SKIP_TASKBAR");
    for (uint32_t w : Property32(root_, "_NET_CLIENT_LIST")) {
        const std::vector<uint32_t> owner = Property32(w, "_NET_WM_PID");
        if (owner.empty() || owner[0] != pid) continue;
        const std::vector<uint32_t> states = Property32(w, "_NET_WM_STATE");
        if (std::find(states.begin(), states.end(), skip) == states.end()) entries.push_back(w);
    }
    return entries;
}

std::unique_ptr<ChildProcess> StartWindowManager(const std::string& name, const std::string& display,
                                                 const std::string& home) {
    // xfwm4 keeps its settings in a service on the session bus, which it
    // gets here with a bus of its own; the group ends together.
    const std::vector<std::string> argv =
        name == "xfwm4"
            ? std::vector<std::string>{"dbus-run-session", "--", "xfwm4", "--compositor=on", "--sm-client-disable"}
            : std::vector<std::string>{name, "--sm-disable"};
    auto wm = StartChild(argv, {"DISPLAY=" + display, "HOME=" + home}, kEndGroupOnRequest);
    const std::string check = "DISPLAY=" + display + " xprop -root _NET_SUPPORTING_WM_CHECK";
    const bool up =
        wm->Started() && WaitUntil([&] { return ShellOutput(check).find("window id") != std::string::npos; }, 15000);
    return up ? std::move(wm) : nullptr;
}

}  // namespace zx::test
