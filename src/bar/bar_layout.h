#pragma once
// The geometry of the bar's cell strip, in the bar's own coordinates (the
// revealed bar lies at the top-left corner of the primary monitor): where a
// cell stands, how many cells a screen width shows, and which cell a point
// hovers, and where the buttons stand. The layout pass, the hover and the
// tests all read it from here.
#include "base/cell_document.h"
#include "platform/platform.h"

namespace zx {

inline constexpr int kBarHeight = 70;
inline constexpr int kCellWidth = 71;
inline constexpr int kCellHeight = 51;
inline constexpr int kCellPitch = 78;
// The rightmost 80 px of the screen, over the buttons: a pointer there
// closes the preview. The cell visibility test keeps its probe point out of
// it too, but a visible cell itself may reach up to 25 px into it.
inline constexpr int kRightZone = 80;
// The point the visibility test probes lies this far inside a cell's left edge.
inline constexpr int kCellProbe = 46;

// Left edge of cell i (from 0): 83, 161, 239, ...
constexpr int CellLeft(int i) {
    return kCellPitch * (i + 1) + 5;
}

// Cell i shows when its probe point, 46 px inside its left edge, lies left
// of the right zone or on its edge (78 * i + 129 <= screen width - 80).
constexpr bool CellShows(int i, int screenWidth) {
    return screenWidth - kRightZone >= CellLeft(i) + kCellProbe;
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

// The four buttons stand stacked at the bar's right edge, 16 px apart.
inline constexpr int kButtonCount = 4;
inline constexpr int kButtonWidth = 70;
inline constexpr int kButtonHeight = 16;

// Button i's place (from 0: Close, Save, Load, Download) in a bar `barWidth` wide.
constexpr Rect ButtonRect(int i, int barWidth) {
    return Rect{barWidth - kButtonWidth, 2 + kButtonHeight * i, kButtonWidth, kButtonHeight};
}

}  // namespace zx
