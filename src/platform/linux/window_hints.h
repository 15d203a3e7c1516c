#pragma once
// How the program's windows present themselves to the window manager, the
// taskbar and the pager on X11. The bar is the program's one taskbar entry;
// every other window is marked so that taskbars, pagers and window switchers
// leave it out.
#include <QMargins>
#include <cstdint>

class QWidget;

struct xcb_connection_t;

namespace zx {

// The toolkit's connection to the X server; nullptr off X11.
xcb_connection_t* X11Connection();
// The atom named `name` on `c` (made when new); XCB_ATOM_NONE (0) when the
// server does not answer.
uint32_t InternAtom(xcb_connection_t* c, const char* name);

// Marks `window` as a secondary window of the program: no taskbar or pager
// entry of its own and, when `owner` is given, a transient of the owner's
// window, which the window manager keeps above it and in its layer. Applied
// anew before every showing: window managers drop the states of a window that
// is withdrawn, and the owner's native window may have been replaced. Does
// nothing off X11.
void MarkSecondaryWindow(QWidget& window, QWidget* owner);

// Makes `window`'s present look (rendered now) the background of its native
// window, which the X server draws by itself whenever the window is mapped or
// uncovered: the window shows its picture also while the program handles no
// events. For a window whose look does not change. Does nothing off X11 or on
// a screen format other than 24-bit colour in 32-bit pixels.
void KeepLookOnScreen(QWidget& window);

// The frame (left, top, right, bottom) that the window manager will put
// around `window`, asked before the window is mapped; zeros off X11, when the
// manager does not offer the answer or does not give it within 200 ms.
QMargins ExpectedFrame(QWidget& window);

}  // namespace zx
