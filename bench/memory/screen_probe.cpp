#include "screen_probe.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace zx::bench {
namespace {

template <class T>
std::unique_ptr<T, decltype(&std::free)> Owned(T* reply) {
    return {reply, &std::free};
}

}  // namespace

ScreenProbe::ScreenProbe() {
    int screen = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    conn_ = c;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screen && it.rem; ++i) xcb_screen_next(&it);
    root_ = it.data->root;
}

ScreenProbe::~ScreenProbe() {
    if (conn_) xcb_disconnect(conn_);
}

std::optional<ScreenRect> ScreenProbe::Viewable(const std::string& title) {
    return conn_ ? Find(root_, 0, title) : std::nullopt;
}

std::optional<ScreenRect> ScreenProbe::Find(unsigned window, int depth, const std::string& title) {
    auto tree = Owned(xcb_query_tree_reply(conn_, xcb_query_tree(conn_, window), nullptr));
    if (!tree) return std::nullopt;
    const int n = xcb_query_tree_children_length(tree.get());
    const xcb_window_t* kids = xcb_query_tree_children(tree.get());
    for (int i = 0; i < n; ++i) {
        const xcb_window_t w = kids[i];
        auto name = Owned(xcb_get_property_reply(
            conn_, xcb_get_property(conn_, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr));
        const std::string wname = name ? std::string(static_cast<const char*>(xcb_get_property_value(name.get())),
                                                     static_cast<size_t>(xcb_get_property_value_length(name.get())))
                                       : std::string();
        if (wname == title) {
            auto attributes =
                Owned(xcb_get_window_attributes_reply(conn_, xcb_get_window_attributes(conn_, w), nullptr));
            auto geometry = Owned(xcb_get_geometry_reply(conn_, xcb_get_geometry(conn_, w), nullptr));
            auto origin = Owned(
                xcb_translate_coordinates_reply(conn_, xcb_translate_coordinates(conn_, w, root_, 0, 0), nullptr));
            if (attributes && geometry && origin && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
                return ScreenRect{origin->dst_x, origin->dst_y, geometry->width, geometry->height};
        }
        // A reparenting window manager puts a frame in between.
        if (depth < 1) {
            if (auto found = Find(w, depth + 1, title)) return found;
        }
    }
    return std::nullopt;
}

double ScreenProbe::ColouredShare(const ScreenRect& rect) {
    if (!conn_ || rect.width <= 0 || rect.height <= 0) return 0;
    auto image =
        Owned(xcb_get_image_reply(conn_,
                                  xcb_get_image(conn_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, static_cast<int16_t>(rect.x),
                                                static_cast<int16_t>(rect.y), static_cast<uint16_t>(rect.width),
                                                static_cast<uint16_t>(rect.height), ~0u),
                                  nullptr));
    if (!image || image->depth != 24) return 0;
    // A 24-bit screen comes as 32 bits per pixel, blue first.
    const uint8_t* p = xcb_get_image_data(image.get());
    const int pixels = xcb_get_image_data_length(image.get()) / 4;
    int coloured = 0;
    for (int i = 0; i < pixels; ++i, p += 4) {
        const int high = std::max({p[0], p[1], p[2]}), low = std::min({p[0], p[1], p[2]});
        if (high - low >= 64) ++coloured;
    }
    return pixels > 0 ? static_cast<double>(coloured) / (rect.width * rect.height) : 0;
}

}  // namespace zx::bench
