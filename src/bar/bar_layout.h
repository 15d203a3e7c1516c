#pragma once
// The geometry of the bar's cell strip, in the bar's own coordinates (the
// revealed bar lies at the top-left corner of the primary monitor): where a
// cell stands, how many cells a screen width shows, and which cell a point
// hovers. The layout pass, the hover and the tests all read it from here.
#include "base/cell_document.h"
#include "platform/platform.h"

namespace zx {

inline constexpr int kBarHeight = 70;
inline constexpr int kCellWidth = 71;
inline constexpr int kCellHeight = 51;
inline constexpr int kCellPitch = 78;
// Pointer X > screen width - 80: over the buttons, right of every cell.
inline constexpr int kRightZone = 80;

// Left edge of cell i (from 0): 83, 161, 239, ...
constexpr int CellLeft(int i) {
    return kCellPitch * (i + 1) + 5;
}

// Cell i shows when it ends at least 80 px left of the right edge.
constexpr bool CellShows(int i, int screenWidth) {
    return screenWidth - kRightZone >= kCellPitch * (i + 1) + kCellHeight;
}

// The cells shown always run from 0 up to this count.
constexpr int VisibleCellCount(int screenWidth) {
    int n = 0;
    while (n < kCellCount && CellShows(n, screenWidth)) ++n;
    return n;
}

// Cell i's hover rectangle: rows 5 to 55, and the full pitch wide, so that
// the gap right of a cell belongs to it.
constexpr Rect CellHitRect(int i) {
    return Rect{CellLeft(i), 5, kCellPitch, 51};
}

// The visible cell whose hover rectangle holds `p`, or -1.
constexpr int CellAt(Point p, int visibleCount) {
    for (int i = 0; i < visibleCount; ++i) {
        const Rect r = CellHitRect(i);
        if (p.X >= r.Left && p.X < r.Left + r.Width && p.Y >= r.Top && p.Y < r.Top + r.Height) return i;
    }
    return -1;
}

constexpr bool InRightZone(int x, int screenWidth) {
    return x > screenWidth - kRightZone;
}

}  // namespace zx
