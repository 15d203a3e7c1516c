#pragma once
// The pointer as the X server knows it, also inside a Wayland session, where
// the X server runs nested (XWayland) and hears of the pointer only while it
// is over an X11 window. Two things make up for that:
//  - the edge sensor, an invisible, unmanaged window one row high along the
//    top of the primary monitor, raised above every other window whenever the
//    bar hides: the pointer that touches the top row is over an X11 window
//    there, whatever lies under it, so the server learns the position;
//  - when the pointer leaves the program's windows (or the sensor) for a
//    window the server cannot see, the server goes on reporting the point
//    where it left them. While it does, and no window of ours has been
//    entered since, the pointer is taken to be below the windows it left, the
//    way out of a bar at the top edge.
// On X11 the sensor is never made and the server's word stands as it is.
#include <QAbstractNativeEventFilter>
#include <QObject>
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

class EdgeSensor : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // Watches where the pointer leaves the program's windows.
    EdgeSensor();
    ~EdgeSensor() override;

    // Places the sensor over `monitor`'s top row and raises it above every
    // window. Made the first time, and only where the X server is nested: on
    // X11 the server always knows the pointer.
    void Raise(const Rect& monitor);

    // The pointer where the server `reported` it, or below the windows it
    // left while the server goes on reporting the point where it left them.
    // The report itself before the sensor is made, and always on X11.
    Point Pointer(Point reported) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

private:
    xcb_connection_t* conn_ = nullptr;
    uint32_t window_ = 0;
    Rect rect_;
    // Where the pointer last left one of the program's windows or the sensor.
    std::optional<Point> leftAt_;
    std::chrono::steady_clock::time_point leftWhen_;
    static constexpr std::chrono::milliseconds kEnterGrace{400};
};

}  // namespace zx
