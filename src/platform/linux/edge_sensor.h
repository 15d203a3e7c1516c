#pragma once
// The pointer as the X server knows it, also inside a Wayland session, where
// the X server runs nested (XWayland) and hears of the pointer only while it
// is over an X11 window. Two things make up for that:
//  - the edge sensor, an invisible, unmanaged window one row high along the
//    top of the primary monitor, raised above every other window whenever the
//    bar hides: the pointer that touches the top row is over an X11 window
//    there, whatever lies under it, so the server learns the position;
//  - while the server puts the pointer over no window at all, its root's bare
//    background that never shows in a Wayland session, the pointer is over a
//    window the server cannot see and the server goes on reporting the point
//    where it left its windows. Once that has lasted a moment, the pointer
//    is taken to be below the program's windows that hold that point, the
//    way out of a bar at the top edge.
// A drag that a native Wayland program carries out sends no pointer events at
// all; the compositor hands it on to X11 windows that take drops as a drag
// of their own, with the drag's position on the screen. So the sensor takes
// drops too (and refuses them), and while such a drag goes on, over the
// sensor or over the program's windows, its position stands for the pointer's.
// Which window the server names is asked at every reading rather than learnt
// from crossing events: a compositor that restacks its own X11 windows above
// the sensor makes the sensor see a leave while the pointer stays on the top
// row, and a move from one of the program's windows into another is a leave
// and an enter that may arrive a moment apart.
// On X11 nothing of this is done and the server's word stands as it is.
#include <QAbstractNativeEventFilter>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/platform.h"

struct xcb_connection_t;

namespace zx {

// The point just below the shown windows that hold `p`, following them down
// in `p`'s column (a preview under the bar, say) and one row clear of the last
// one's bottom edge; `p` itself when none holds it.
Point BelowWindows(Point p, const std::vector<Rect>& shown);

// True when the X server runs inside a Wayland session.
bool NestedXServer();

class EdgeSensor : public QAbstractNativeEventFilter {
public:
    EdgeSensor() = default;
    ~EdgeSensor() override;
    EdgeSensor(const EdgeSensor&) = delete;
    EdgeSensor& operator=(const EdgeSensor&) = delete;

    // Places the sensor over `monitor`'s top row, maps it and raises it above
    // every window. Made the first time, and only where the X server is
    // nested: on X11 the server always knows the pointer.
    void Raise(const Rect& monitor);

    // The pointer where the server `reported` it, or below the program's
    // windows while the server has had it over no window for a moment. The
    // report itself on X11.
    Point Pointer(Point reported);

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

private:
    // A drag handed on to the program's windows by the compositor.
    struct Drag {
        Point at;
        // The server's report when the drag was first seen: once the report
        // moves, the server hears of the pointer again.
        std::optional<Point> reportedThen;
        std::optional<std::chrono::steady_clock::time_point> leftWhen;
    };

    bool Nested();
    // True while the server puts the pointer over no window; nullopt when it
    // cannot be asked.
    std::optional<bool> OverNoWindow() const;
    // Unmaps the sensor while a window of the program covers its row.
    void StandAsideForOwnWindows();
    // The program's windows on screen, the sensor among them.
    std::vector<Rect> Shown() const;
    void Refuse(const uint32_t* position);

    xcb_connection_t* conn_ = nullptr;
    uint32_t window_ = 0;
    bool mapped_ = false;
    Rect rect_;
    std::optional<bool> nested_;
    uint32_t xdndEnter_ = 0, xdndPosition_ = 0, xdndStatus_ = 0, xdndLeave_ = 0, xdndDrop_ = 0;
    std::optional<Drag> drag_;
    // Since when the server has put the pointer over no window. A move
    // between two of the program's windows passes over none for as long as
    // the compositor takes to hand the pointer on; at the bar's 200 ms tick
    // the pointer counts as gone at the third reading over none.
    std::optional<std::chrono::steady_clock::time_point> overNothingSince_;
    static constexpr std::chrono::milliseconds kEnterGrace{300};
};

}  // namespace zx
