#pragma once
// A Wayland session for end-to-end tests: a real compositor run as an
// ordinary user with its XWayland, the session's clients run as the same
// user. Sway and weston are nested in an X server of the test's own through
// their X11 back end: the outer server's pointer, moved with xdotool, is the
// session's, and its screen shows theirs. GNOME Shell runs headless on a
// virtual monitor with its native input path, as in a real session: its
// pointer is moved through its remote desktop interface, its screen read
// through its screenshot interface, both on its session bus.
#include <QDBusConnection>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/x11_probe.h"

namespace zx::test {

class WaylandSession {
public:
    // Starts `compositor` ("sway", "weston" or "gnome-shell") with an output
    // of width x height, nested ones on the X server `outerDisplay` at its
    // top-left corner, and waits until its XWayland takes clients; Error()
    // says what failed.
    WaylandSession(const std::string& compositor, const std::string& outerDisplay, int width, int height);
    ~WaylandSession();

    bool Started() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    // The XWayland display (":N"), where root may connect too.
    const std::string& XDisplay() const { return xDisplay_; }
    // A folder the ordinary user owns, for the clients' files.
    std::string Home() const { return work_ / "home"; }

    // Starts `argv` as the ordinary user inside the session (its displays,
    // runtime folder and home), its standard error in `stderrFile` when given.
    std::unique_ptr<ChildProcess> StartClient(const std::vector<std::string>& argv,
                                              const std::vector<std::string>& extraEnv = {},
                                              const std::string& stderrFile = "") const;
    // The compositor's log so far, for failure messages.
    std::string Log() const;

    // Moves the session's pointer to (x, y) of its output, as a hand would
    // in one motion; false when that failed.
    bool Pointer(int x, int y);
    // The session's screen in a rectangle of its output, as 0xRRGGBB row by
    // row; empty when it cannot be read.
    std::vector<uint32_t> Grab(int x, int y, int width, int height);

private:
    bool StartSway();
    bool StartWeston();
    bool StartGnomeShell();
    // The path of an entry of the runtime folder whose name starts with
    // `prefix` ("" when none), and the compositor's socket into
    // waylandDisplay_ once there.
    std::string ScanRuntime(const std::string& prefix);
    // Lets root on the XWayland display, which admits only its own user.
    bool AdmitRoot();
    // A call of `method` (its interface's name before it) on GNOME Shell's
    // session bus; false when it failed, else its first answer in `answer`.
    bool Call(const QString& service, const QString& path, const QString& method, const QVariantList& args,
              QVariant* answer = nullptr);

    std::string compositor_, outer_;
    int width_, height_;
    TempDir work_{"zx-wayland-"};
    std::string runtime_, log_, xDisplay_, waylandDisplay_, xAuthority_;
    std::unique_ptr<ChildProcess> process_;
    std::string error_;
    // The outer server's screen, once read.
    std::unique_ptr<X11Probe> outerScreen_;
    // GNOME Shell's session bus, the remote desktop session on it and where
    // its pointer is.
    std::unique_ptr<QDBusConnection> bus_;
    QString remote_;
    int pointerX_ = 0, pointerY_ = 0;
    bool pointerEntered_ = false;
};

// The helper that runs a command as an ordinary user (tests/app).
std::string OrdinaryUserTool();

}  // namespace zx::test
