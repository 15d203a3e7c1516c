#pragma once
// What the X server shows: where a top-level window is, and how much of a
// screen rectangle is in colour.
#include <optional>
#include <string>

struct xcb_connection_t;

namespace zx::bench {

struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
};

class ScreenProbe {
public:
    ScreenProbe();  // connects to $DISPLAY
    ~ScreenProbe();
    ScreenProbe(const ScreenProbe&) = delete;
    ScreenProbe& operator=(const ScreenProbe&) = delete;

    bool Connected() const { return conn_ != nullptr; }
    // The mapped top-level window titled `title`, in root coordinates.
    std::optional<ScreenRect> Viewable(const std::string& title);
    // The share (0 to 1) of the rectangle's pixels that are clearly coloured
    // rather than white, grey or black.
    double ColouredShare(const ScreenRect& rect);

private:
    std::optional<ScreenRect> Find(unsigned window, int depth, const std::string& title);
    xcb_connection_t* conn_ = nullptr;
    unsigned root_ = 0;
};

}  // namespace zx::bench
