#include "support/wayland_session.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zx::test {
namespace fs = std::filesystem;

namespace {

// Makes `path` a folder that the ordinary user owns, private to it.
bool OwnedFolder(const std::string& path) {
    const passwd* pw = getpwnam("nobody");
    std::error_code ec;
    fs::create_directories(path, ec);
    return pw && !ec && chown(path.c_str(), pw->pw_uid, pw->pw_gid) == 0 && chmod(path.c_str(), 0700) == 0;
}

// The command line of a process, split at its NULs.
std::vector<std::string> CommandLine(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline");
    std::vector<std::string> args;
    for (std::string arg; std::getline(in, arg, '\0');) args.push_back(arg);
    return args;
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
    process_.reset();
}

std::vector<std::string> WaylandSession::ClientEnv() const {
    std::vector<std::string> env{"DISPLAY=" + xDisplay_, "WAYLAND_DISPLAY=" + waylandDisplay_,
                                 "XDG_RUNTIME_DIR=" + runtime_, "HOME=" + Home(), "XDG_SESSION_TYPE=wayland"};
    if (!xauthority_.empty()) env.push_back("XAUTHORITY=" + xauthority_);
    return env;
}

std::unique_ptr<ChildProcess> WaylandSession::StartClient(const std::vector<std::string>& argv,
                                                          const std::vector<std::string>& extraEnv,
                                                          const std::string& stderrFile) const {
    std::vector<std::string> full{OrdinaryUserTool()};
    if (!stderrFile.empty()) full.insert(full.end(), {"--stderr", stderrFile});
    full.insert(full.end(), argv.begin(), argv.end());
    std::vector<std::string> env = ClientEnv();
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    return StartChild(full, env, kEndGroupOnRequest);
}

std::string WaylandSession::Log() const {
    const std::string text = ReadAll(log_);
    return text.size() > 3000 ? text.substr(text.size() - 3000) : text;
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
            for (const auto& entry : fs::directory_iterator(runtime_)) {
                const std::string name = entry.path().filename().string();
                if (name.rfind("sway-ipc.", 0) == 0) ipc = entry.path().string();
                if (name.rfind("wayland-", 0) == 0 && name.find(".lock") == std::string::npos) waylandDisplay_ = name;
            }
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
    xDisplay_.erase(xDisplay_.find_last_not_of("\n") + 1);
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

bool WaylandSession::StartGnomeShell() {
    // GNOME Shell takes the machine's seats from /run/systemd when it finds
    // them, and runs as a nested session of its own when it does not: a
    // mount namespace of the session's own hides them and holds its system
    // bus, so the machine is left as it was.
    const std::string wrapper =
        "mkdir -p /run/dbus && mount -t tmpfs none /run/dbus || exit 125\n"
        "if [ -d /run/systemd ]; then mount -t tmpfs none /run/systemd || exit 125; fi\n"
        "dbus-daemon --system --nofork &\n"
        "i=0; while [ ! -S /run/dbus/system_bus_socket ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n"
        "exec \"$@\"\n";
    waylandDisplay_ = "wayland-0";
    process_ =
        StartChild({"unshare", "-m", "--propagation", "private", "/bin/sh", "-c", wrapper, "sh", OrdinaryUserTool(),
                    "--stderr", log_, "dbus-run-session", "--", "gnome-shell", "--nested", "--wayland"},
                   {"DISPLAY=" + outer_, "XDG_RUNTIME_DIR=" + runtime_, "HOME=" + Home(),
                    "WAYLAND_DISPLAY=", "LIBGL_ALWAYS_SOFTWARE=1", "XDG_SESSION_TYPE=wayland",
                    "MUTTER_DEBUG_DUMMY_MODE_SPECS=" + std::to_string(width_) + "x" + std::to_string(height_)},
                   kEndGroupOnRequest);
    // Its XWayland runs below it, with the display and cookie on its command line.
    const bool up = WaitUntil(
        [&] {
            for (const ProcessId& p : ProcessTree(process_->Pid())) {
                const std::vector<std::string> args = CommandLine(p.pid);
                if (args.empty() || fs::path(args[0]).filename() != "Xwayland") continue;
                for (size_t i = 1; i < args.size(); ++i) {
                    if (args[i].rfind(":", 0) == 0) xDisplay_ = args[i];
                    if (args[i] == "-auth" && i + 1 < args.size()) xauthority_ = args[i + 1];
                }
                return !xDisplay_.empty() && ReadAll(log_).find("GNOME Shell started") != std::string::npos;
            }
            return false;
        },
        60000);
    // It starts in its overview, which Escape leaves for the desktop.
    return up && Xdotool("mousemove " + std::to_string(width_ / 2) + " " + std::to_string(height_ / 2) + " key Escape");
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
