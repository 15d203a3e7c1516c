#include "support/wayland_session.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace zx::test {
namespace fs = std::filesystem;

namespace {

const QString kMotion = "org.gnome.Mutter.RemoteDesktop.Session.NotifyPointerMotionRelative";

// Makes `path` a folder that the ordinary user owns, private to it.
bool OwnedFolder(const std::string& path) {
    const passwd* pw = getpwnam("nobody");
    std::error_code ec;
    fs::create_directories(path, ec);
    return pw && !ec && chown(path.c_str(), pw->pw_uid, pw->pw_gid) == 0 && chmod(path.c_str(), 0700) == 0;
}

}  // namespace

std::string OrdinaryUserTool() {
    const char* bin = std::getenv("ZX_BINARY_DIR");
    return (fs::path(bin ? bin : ".") / "tests/app/ordinary_user").string();
}

WaylandSession::WaylandSession(const std::string& compositor, const std::string& outerDisplay, int width, int height)
    : compositor_(compositor), outer_(outerDisplay), width_(width), height_(height) {
    // The ordinary user reaches its folders through ours.
    chmod(work_.Path().c_str(), 0755);
    runtime_ = work_ / "runtime";
    log_ = work_ / "compositor.log";
    if (!OwnedFolder(runtime_) || !OwnedFolder(Home())) {
        error_ = "cannot make the ordinary user's folders";
        return;
    }
    if (!fs::exists(OrdinaryUserTool())) {
        error_ = "no " + OrdinaryUserTool();
        return;
    }
    bool up = false;
    if (compositor == "sway")
        up = StartSway();
    else if (compositor == "weston")
        up = StartWeston();
    else if (compositor == "gnome-shell")
        up = StartGnomeShell();
    else
        error_ = "unknown compositor " + compositor;
    if (up && !AdmitRoot()) error_ = "root cannot use XWayland's display " + xDisplay_;
    if (!up && error_.empty()) error_ = compositor + " did not start: " + Log();
}

WaylandSession::~WaylandSession() {
    if (bus_) QDBusConnection::disconnectFromBus(bus_->name());
    process_.reset();
}

std::unique_ptr<ChildProcess> WaylandSession::StartClient(const std::vector<std::string>& argv,
                                                          const std::vector<std::string>& extraEnv,
                                                          const std::string& stderrFile) const {
    std::vector<std::string> full{OrdinaryUserTool()};
    if (!stderrFile.empty()) full.insert(full.end(), {"--stderr", stderrFile});
    full.insert(full.end(), argv.begin(), argv.end());
    std::vector<std::string> env{"DISPLAY=" + xDisplay_, "WAYLAND_DISPLAY=" + waylandDisplay_,
                                 "XDG_RUNTIME_DIR=" + runtime_, "HOME=" + Home(), "XDG_SESSION_TYPE=wayland"};
    if (!xAuthority_.empty()) env.push_back("XAUTHORITY=" + xAuthority_);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    return StartChild(full, env, kEndGroupOnRequest);
}

std::string WaylandSession::Log() const {
    const std::string text = ReadAll(log_);
    return text.size() > 3000 ? text.substr(text.size() - 3000) : text;
}

std::string WaylandSession::ScanRuntime(const std::string& prefix) {
    std::string found;
    for (const auto& entry : fs::directory_iterator(runtime_)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0) found = entry.path().string();
        if (name.rfind("wayland-", 0) == 0 && name.find(".lock") == std::string::npos) waylandDisplay_ = name;
    }
    return found;
}

bool WaylandSession::StartSway() {
    const std::string config = work_.WriteFile("sway.cfg",
                                               "xwayland enable\n"
                                               "output * bg #336699 solid_color\n"
                                               "default_border none\n");
    chmod(config.c_str(), 0644);
    process_ = StartChild({OrdinaryUserTool(), "--stderr", log_, "sway", "-c", config},
                          {"DISPLAY=" + outer_, "WLR_BACKENDS=x11", "WLR_RENDERER=pixman",
                           "XDG_RUNTIME_DIR=" + runtime_, "HOME=" + Home(), "WAYLAND_DISPLAY="},
                          kEndGroupOnRequest);
    std::string ipc;
    const bool ready = WaitUntil(
        [&] {
            ipc = ScanRuntime("sway-ipc.");
            return !ipc.empty() && !waylandDisplay_.empty();
        },
        20000);
    if (!ready || !process_->Running()) return false;
    // Sway names its XWayland display to the clients it starts.
    const std::string said = Home() + "/display";
    auto ask = StartChild({OrdinaryUserTool(), "swaymsg", "-s", ipc, "exec", "echo $DISPLAY > " + said},
                          {"XDG_RUNTIME_DIR=" + runtime_}, kEndOnRequest);
    if (ask->WaitExit(10000) != 0) return false;
    if (!WaitUntil([&] { return ReadAll(said).size() > 1; }, 10000)) return false;
    xDisplay_ = ReadAll(said);
    xDisplay_.erase(xDisplay_.find_last_not_of('\n') + 1);
    return true;
}

bool WaylandSession::StartWeston() {
    // Weston keeps its own panel above every X11 window: at the top it would
    // cover the top row, so it goes to the bottom, as users often have it.
    const std::string ini = work_.WriteFile("home/.config/weston.ini", "[shell]\npanel-position=bottom\n");
    chmod(ini.c_str(), 0644);
    chmod((work_ / "home/.config").c_str(), 0755);
    waylandDisplay_ = "wayland-zx";
    process_ = StartChild({OrdinaryUserTool(), "--stderr", log_, "weston", "--backend=x11-backend.so", "--xwayland",
                           "--width=" + std::to_string(width_), "--height=" + std::to_string(height_),
                           "--socket=" + waylandDisplay_, "--idle-time=0"},
                          {"DISPLAY=" + outer_, "XDG_RUNTIME_DIR=" + runtime_, "HOME=" + Home(), "WAYLAND_DISPLAY="},
                          kEndGroupOnRequest);
    const std::string mark = "xserver listening on display ";
    return WaitUntil(
        [&] {
            const std::string log = ReadAll(log_);
            const size_t at = log.find(mark);
            if (at == std::string::npos) return false;
            xDisplay_ = log.substr(at + mark.size(), log.find_first_of("\n ", at + mark.size()) - at - mark.size());
            return true;
        },
        20000);
}

bool WaylandSession::Pointer(int x, int y) {
    if (!bus_) {
        if (!Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y), outer_)) return false;
        // Weston's X11 back end moves its pointer by the differences between
        // the outer server's motion events, measured from where the pointer
        // last entered its window, and stops it at the screen's edges. Until
        // it sees an entry it starts from a point of its own, and each edge
        // it meets early shifts it further from the real pointer. A pointer
        // grab on the outer server, let go at once, gives its window an
        // entry where the pointer stands; once is enough, as its screen is
        // the outer one's size.
        if (compositor_ == "weston" && !pointerEntered_) {
            if (!outerScreen_) outerScreen_ = std::make_unique<X11Probe>(outer_);
            outerScreen_->PointerGrabbed();
            pointerEntered_ = true;
        }
        return true;
    }
    // Relative motion needs no screen cast stream, which absolute motion does.
    if (!Call("org.gnome.Mutter.RemoteDesktop", remote_, kMotion, {double(x - pointerX_), double(y - pointerY_)}))
        return false;
    pointerX_ = x;
    pointerY_ = y;
    return true;
}

std::vector<uint32_t> WaylandSession::Grab(int x, int y, int width, int height) {
    if (!bus_) {
        if (!outerScreen_) outerScreen_ = std::make_unique<X11Probe>(outer_);
        return outerScreen_->Grab(x, y, width, height);
    }
    const QString file = QString::fromStdString(Home() + "/screen.png");
    std::vector<uint32_t> pixels;
    if (!Call("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot.ScreenshotArea",
              {x, y, width, height, false, file}))
        return pixels;
    const QImage image = QImage(file).convertToFormat(QImage::Format_RGB32);
    if (image.width() != width || image.height() != height) return pixels;
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column) pixels.push_back(image.pixel(column, row) & 0xFFFFFF);
    return pixels;
}

bool WaylandSession::Call(const QString& service, const QString& path, const QString& method, const QVariantList& args,
                          QVariant* answer) {
    const int dot = method.lastIndexOf('.');
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, method.left(dot), method.mid(dot + 1));
    call.setArguments(args);
    const QDBusMessage reply = bus_->call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage) return false;
    if (answer && !reply.arguments().isEmpty()) *answer = reply.arguments().first();
    return true;
}

bool WaylandSession::StartGnomeShell() {
    // The shell wants a system bus, and takes the place of a seat manager
    // when it finds none under /run/systemd: a mount namespace of its own
    // gives it an empty /run/systemd and a bus of its own, leaving the
    // machine's as they are. The bus stays in the session's process group.
    const std::string script =
        "mount -t tmpfs tmpfs /run/dbus && mount -t tmpfs tmpfs /run/systemd || exit 125\n"
        "dbus-daemon --system --nofork --nopidfile &\n"
        "for i in $(seq 100); do [ -S /run/dbus/system_bus_socket ] && break; sleep 0.1; done\n"
        "exec \"$@\"\n";
    // Its session bus admits root too, for the test's calls, at a known path.
    const std::string busAddress = "unix:path=" + runtime_ + "/bus";
    const std::string busConfig = work_.WriteFile(
        "bus.conf", "<busconfig><include>/usr/share/dbus-1/session.conf</include><listen>" + busAddress +
                        "</listen><policy context=\"default\"><allow user=\"root\"/></policy></busconfig>\n");
    chmod(busConfig.c_str(), 0644);
    // The shell starts ibus-daemon with a script callback that runs in the
    // forked child before the exec. At times (about one start in ten here)
    // the child deadlocks there on a lock another thread held at the fork,
    // and the shell waits for it for ever: a start that has not finished in
    // 30 s is ended and made again.
    bool ready = false;
    for (int attempt = 1; attempt <= 3 && !ready; ++attempt) {
        process_.reset();
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(runtime_, ec)) fs::remove_all(entry.path(), ec);
        waylandDisplay_.clear();
        process_ = StartChild(
            {"unshare", "-m", "--propagation", "private", "sh", "-c", script, "sh", OrdinaryUserTool(), "--stderr",
             log_, "dbus-run-session", "--config-file=" + busConfig, "--", "gnome-shell", "--headless", "--wayland",
             "--virtual-monitor", std::to_string(width_) + "x" + std::to_string(height_)},
            {"DISPLAY=", "XDG_RUNTIME_DIR=" + runtime_, "HOME=" + Home(), "WAYLAND_DISPLAY=", "LIBGL_ALWAYS_SOFTWARE=1",
             "XDG_SESSION_TYPE=wayland", "XDG_CURRENT_DESKTOP=GNOME"},
            kEndGroupOnRequest);
        const std::string mark = "Using public X11 display ";
        ready = WaitUntil(
            [&] {
                const std::string log = ReadAll(log_);
                const size_t at = log.find(mark);
                if (at == std::string::npos || log.find("GNOME Shell started") == std::string::npos) return false;
                xDisplay_ =
                    log.substr(at + mark.size(), log.find_first_of(", \n", at + mark.size()) - at - mark.size());
                xAuthority_ = ScanRuntime(".mutter-Xwaylandauth.");
                return !xAuthority_.empty() && !waylandDisplay_.empty();
            },
            30000);
        if (!ready) std::fprintf(stderr, "gnome-shell did not start in 30 s (attempt %d of 3)\n", attempt);
    }
    if (!ready || !process_->Running()) return false;
    bus_ = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(QString::fromStdString(busAddress), QString::fromStdString(work_.Path())));
    const QString remoteDesktop = "org.gnome.Mutter.RemoteDesktop";
    QVariant session;
    if (!Call(remoteDesktop, "/org/gnome/Mutter/RemoteDesktop", "org.gnome.Mutter.RemoteDesktop.CreateSession", {},
              &session))
        return false;
    remote_ = qvariant_cast<QDBusObjectPath>(session).path();
    if (!Call(remoteDesktop, remote_, "org.gnome.Mutter.RemoteDesktop.Session.Start", {})) return false;
    // A move by the output's size leaves the pointer at its bottom-right
    // corner, where the shell has neither a hot corner nor a barrier that
    // would hold the moves from there.
    if (!Call(remoteDesktop, remote_, kMotion, {double(width_), double(height_)})) return false;
    pointerX_ = width_ - 1;
    pointerY_ = height_ - 1;
    // The shell lets only a few programs it names read the screen, its
    // screenshot tool among them: the test's connection takes that name.
    if (!bus_->registerService("org.gnome.Screenshot")) return false;
    // The shell opens on its overview (shown by now, at the latest soon):
    // it is left for the desktop.
    const QString shell = "org.gnome.Shell", properties = "org.freedesktop.DBus.Properties";
    const auto overview = [&] {
        QVariant active;
        return Call(shell, "/org/gnome/Shell", properties + ".Get", {shell, "OverviewActive"}, &active) &&
               qvariant_cast<QDBusVariant>(active).variant().toBool();
    };
    WaitUntil(overview, 10000);
    return WaitUntil(
        [&] {
            Call(shell, "/org/gnome/Shell", properties + ".Set",
                 {shell, "OverviewActive", QVariant::fromValue(QDBusVariant(false))});
            return !overview();
        },
        10000);
}

bool WaylandSession::AdmitRoot() {
    // The first client wakes an XWayland that waits for one.
    return WaitUntil(
        [&] {
            auto xhost = StartClient({"xhost", "+si:localuser:root"});
            return xhost->WaitExit(10000) == 0;
        },
        20000);
}

}  // namespace zx::test
