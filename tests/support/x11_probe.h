#pragma once
// A small X11 client for end-to-end tests: finds top-level windows by title,
// reads their geometry and state, asks them to close like a window manager.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct xcb_connection_t;

namespace zx::test {

struct XWindowInfo {
    uint32_t id = 0;
    std::string title;
    int x = 0, y = 0, width = 0, height = 0;  // root coordinates
    bool viewable = false;
    bool overrideRedirect = false;
};

class X11Probe {
public:
    explicit X11Probe(const std::string& display = "");  // "": $DISPLAY
    ~X11Probe();
    X11Probe(const X11Probe&) = delete;
    X11Probe& operator=(const X11Probe&) = delete;

    bool Connected() const { return conn_ != nullptr; }
    // Top-level windows (children of the root, and their children, which a
    // reparenting window manager puts in between) whose WM_NAME is `title`.
    std::vector<XWindowInfo> FindWindows(const std::string& title);
    std::optional<XWindowInfo> FindViewable(const std::string& title);
    // Sends WM_DELETE_WINDOW, as a window manager's close button does.
    void RequestClose(uint32_t window);
    // Sends `window` a client message of five 32-bit words whose type is the
    // atom named `type`, as any client of the display may, forged or not;
    // returns once the server has passed it on.
    void SendClientMessage(uint32_t window, const std::string& type, const std::array<uint32_t, 5>& words);
    // True when some window of the whole tree with this title is viewable;
    // polls up to `timeoutMs`.
    bool WaitViewable(const std::string& title, int timeoutMs);
    bool WaitGone(const std::string& title, int timeoutMs);
    // Waits until a window with this title exists, mapped or not.
    std::optional<XWindowInfo> WaitExists(const std::string& title, int timeoutMs);

    // True while a client holds the pointer grabbed (a popup of the program,
    // a dialog that is going): a press then goes to the holder's window, not
    // to the one under the pointer.
    bool PointerGrabbed();

    uint32_t Root() const { return root_; }
    uint32_t Atom(const std::string& name);
    // The values of a property of 32-bit items (windows, atoms, cardinals).
    std::vector<uint32_t> Property32(uint32_t window, const std::string& name);
    // The windows of process `pid` that a taskbar lists: those the window
    // manager manages (its client list) that do not ask to be left out.
    std::vector<uint32_t> TaskbarEntries(uint32_t pid);
    // The screen's pixels in a rectangle of root coordinates, as 0xRRGGBB
    // row by row; empty when the server cannot give them.
    std::vector<uint32_t> Grab(int x, int y, int width, int height);

private:
    void Walk(uint32_t window, int depth, const std::string& title, std::vector<XWindowInfo>& out);
    xcb_connection_t* conn_ = nullptr;
    uint32_t root_ = 0;
};

class ChildProcess;

// Starts a window manager on `display` ("openbox", or "xfwm4" with its
// compositor on), with `home` as its home folder, and waits until it manages
// the screen; nullptr when it does not within 15 s.
std::unique_ptr<ChildProcess> StartWindowManager(const std::string& name, const std::string& display,
                                                 const std::string& home);

}  // namespace zx::test
