// Where the pointer is taken to be once it has left the program's windows for
// a window the X server cannot see: below the windows that hold the last
// point it reported.
#include "platform/linux/edge_sensor.h"

#include <gtest/gtest.h>

namespace zx {
namespace {

TEST(BelowWindowsTest, LeavesEveryWindowThatHoldsThePointDownwards) {
    const Rect edge{0, 0, 1024, 1}, bar{0, 0, 1024, 70}, preview{161, 70, 400, 303};
    struct Row {
        const char* what;
        Point left;
        std::vector<Rect> shown;
        Point taken;
    };
    const Row rows[] = {
        {"off the bar", {300, 30}, {edge, bar}, {300, 71}},
        {"off the bar's last row", {300, 69}, {bar}, {300, 71}},
        {"off the top row while the bar hides", {300, 0}, {edge}, {300, 2}},
        {"off a cell above the preview", {190, 30}, {edge, bar, preview}, {190, 374}},
        {"off the preview", {300, 200}, {bar, preview}, {300, 374}},
        {"beside the preview", {600, 30}, {bar, preview}, {600, 71}},
        {"held by no window", {500, 400}, {bar, preview}, {500, 400}},
        {"with no window shown", {300, 30}, {}, {300, 30}},
    };
    for (const Row& row : rows) EXPECT_EQ(BelowWindows(row.left, row.shown), row.taken) << row.what;
}

}  // namespace
}  // namespace zx
