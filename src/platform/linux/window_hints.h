#pragma once
// How the program's windows present themselves to the window manager, the
// taskbar and the pager on X11. The bar is the program's one taskbar entry;
// every other window is marked so that taskbars, pagers and window switchers
// leave it out.
class QWidget;

namespace zx {

// Marks `window` as a secondary window of the program: no taskbar or pager
// entry of its own and, when `owner` is given, a transient of the owner's
// window, which the window manager keeps above it and in its layer. Applied
// anew before every showing: window managers drop the states of a window that
// is withdrawn, and the owner's native window may have been replaced. Does
// nothing off X11.
void MarkSecondaryWindow(QWidget& window, QWidget* owner);

}  // namespace zx
