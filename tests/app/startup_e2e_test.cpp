// The real program on the test X server: the splash, the bar window, and the
// close confirmation with its exit code; and its command-line answers. Under
// real window managers: where the bar stands before its first reveal.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/version.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/x11_probe.h"

namespace zx::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class StartupTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::getenv("DISPLAY")) << "needs the X server that ./test starts";
        ASSERT_TRUE(ProgramBuilt()) << "the program is not built";
    }
    static void Key(uint32_t window, const char* key) {
        ASSERT_TRUE(Xdotool("windowfocus --sync " + std::to_string(window) + " key " + key));
    }
    TempDir runtimeDir_{"zx-startup-"};
    fs::path runtime_ = runtimeDir_.Path();
};

TEST_F(StartupTest, SplashShowsCentredForAtLeastOneAndAHalfSecondsThenTheBarExists) {
    X11Probe x;
    ASSERT_TRUE(x.Connected());
    ProgramCopy program(runtime_);
    ASSERT_TRUE(x.WaitViewable("Zeltrix", 20000)) << "no splash";
    const auto shown = Clock::now();
    auto splash = x.FindViewable("Zeltrix");
    ASSERT_TRUE(splash);
    EXPECT_EQ(splash->width, 196);
    EXPECT_EQ(splash->height, 356);
    EXPECT_EQ(splash->x, (1280 - 196) / 2);
    EXPECT_EQ(splash->y, (1024 - 356) / 2);
    ASSERT_TRUE(x.WaitGone("Zeltrix", 60000));
    EXPECT_GE(Clock::now() - shown, std::chrono::milliseconds(1450));
    auto bar = x.WaitExists("Form1", 30000);
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->height, 70);
    EXPECT_TRUE(program.Running());
}

TEST_F(StartupTest, CloseAsksAndOnlyYesEndsWithExitCodeZero) {
    X11Probe x;
    ProgramCopy program(runtime_);
    ASSERT_TRUE(x.WaitViewable("Zeltrix", 20000));
    ASSERT_TRUE(x.WaitGone("Zeltrix", 60000));
    auto bar = x.WaitExists("Form1", 30000);
    ASSERT_TRUE(bar);
    // Reveal the bar at the top edge, where the user would close it.
    ASSERT_TRUE(Xdotool("mousemove 600 0 sleep 0.3 mousemove 601 0"));
    ASSERT_TRUE(x.WaitViewable("Form1", 10000)) << "the bar does not reveal";
    // The bar's native window may have been replaced since it first appeared.
    bar = x.FindViewable("Form1");
    ASSERT_TRUE(bar);

    x.RequestClose(bar->id);
    ASSERT_TRUE(x.WaitViewable("Confirm", 20000)) << "no confirmation";
    Key(x.FindViewable("Confirm")->id, "Escape");
    ASSERT_TRUE(x.WaitGone("Confirm", 10000));
    EXPECT_EQ(program.WaitExit(1500), -1) << "Escape answers Cancel: the program goes on";

    x.RequestClose(bar->id);
    ASSERT_TRUE(x.WaitViewable("Confirm", 20000));
    Key(x.FindViewable("Confirm")->id, "Return");
    EXPECT_EQ(program.WaitExit(30000), 0) << "Return answers the default button, Yes";
    ASSERT_TRUE(Xdotool("mousemove 640 512"));
}

TEST_F(StartupTest, TerminationSignalEndsInOrderWithoutTheCloseQuestion) {
    X11Probe x;
    ProgramCopy program(runtime_);
    ASSERT_TRUE(x.WaitExists("Form1", 60000));
    ASSERT_TRUE(x.WaitGone("Zeltrix", 60000));
    ASSERT_TRUE(Xdotool("mousemove 600 0 sleep 0.3 mousemove 601 0"));
    ASSERT_TRUE(x.WaitViewable("Form1", 10000));
    program.Signal(SIGTERM);
    EXPECT_EQ(program.WaitExit(30000), 0);
    EXPECT_FALSE(x.FindViewable("Confirm")) << "a signal is no close request from the user";
    ASSERT_TRUE(Xdotool("mousemove 640 512"));
}

// Started from a top panel, the pointer rests in the top rows: no part of the
// bar shows (and takes clicks) before the pointer reveals it, whatever the
// window manager does with a window placed off screen; the revealed bar is
// the program's one taskbar entry.
class StartupUnderWindowManagerTest : public testing::TestWithParam<const char*> {};

TEST_P(StartupUnderWindowManagerTest, BarStaysOffScreenUntilTheFirstReveal) {
    constexpr int kWidth = 1024, kHeight = 768;
    TempDir work("zx-startup-wm-");
    XServer xvfb(kWidth, kHeight);
    ASSERT_TRUE(xvfb.Started());
    const std::string previous = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    setenv("DISPLAY", xvfb.Display().c_str(), 1);
    struct Restore {
        std::string display;
        ~Restore() { setenv("DISPLAY", display.c_str(), 1); }
    } restore{previous};
    auto wm = StartWindowManager(GetParam(), xvfb.Display(), work.Path());
    ASSERT_TRUE(wm) << GetParam() << " did not start";
    ASSERT_TRUE(Xdotool("mousemove 300 30"));

    X11Probe x;
    ASSERT_TRUE(x.Connected());
    ProgramCopy program(work.Path(), {"DISPLAY=" + xvfb.Display()});
    ASSERT_TRUE(x.WaitExists("Form1", 60000)) << "no bar";
    ASSERT_TRUE(x.WaitGone("Zeltrix", 60000)) << "the splash stays";
    // Watched for a while, as a user would see it.
    const auto until = Clock::now() + std::chrono::seconds(4);
    while (Clock::now() < until) {
        for (const XWindowInfo& w : x.FindWindows("Form1")) {
            const bool onScreen =
                w.viewable && w.x < kWidth && w.x + w.width > 0 && w.y < kHeight && w.y + w.height > 0;
            ASSERT_FALSE(onScreen) << "the bar shows at (" << w.x << ", " << w.y << ") before the first reveal";
        }
        Sleep(50);
    }
    EXPECT_TRUE(x.TaskbarEntries(static_cast<uint32_t>(program.Pid())).empty());

    ASSERT_TRUE(Xdotool("mousemove 300 0 sleep 0.3 mousemove 301 0"));
    std::optional<XWindowInfo> bar;
    ASSERT_TRUE(WaitUntil(
        [&] {
            bar = x.FindViewable("Form1");
            return bar && bar->x == 0 && bar->y == 0 && bar->width == kWidth;
        },
        10000))
        << "the bar does not reveal across the screen";
    EXPECT_TRUE(WaitUntil(
        [&] { return x.TaskbarEntries(static_cast<uint32_t>(program.Pid())) == std::vector<uint32_t>{bar->id}; }, 5000))
        << "the revealed bar is not the one taskbar entry";
    EXPECT_TRUE(program.Running());
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, StartupUnderWindowManagerTest, testing::Values("openbox", "xfwm4"));

// --help and --version answer before anything starts: no display, no engine,
// nothing under the runtime directory where the single-instance state lives.
// Arguments for Qt around them change nothing.
TEST_F(StartupTest, HelpAndVersionAnswerWithoutDisplayOrInstanceState) {
    const struct {
        const char* args;
        std::string start;
    } cases[] = {
        {"--version", std::string(kVersionLine) + "\n"},
        {"-platform none --help", "Usage: zeltrix [--help | --version]\n"},
        {"-h --version", "Usage: zeltrix"},
    };
    for (const auto& c : cases) {
        const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR=" + runtime_.string() + " " +
                                ProgramPath().string() + " " + c.args + " 2>&1";
        FILE* pipe = popen(cmd.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string out;
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
        EXPECT_EQ(pclose(pipe), 0) << c.args << ": " << out;
        EXPECT_EQ(out.substr(0, c.start.size()), c.start) << c.args;
        EXPECT_TRUE(fs::is_empty(runtime_)) << c.args;
    }
}

}  // namespace
}  // namespace zx::test
