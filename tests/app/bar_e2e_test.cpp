// The real program under openbox on an X server of its own: the pointer,
// moved with xdotool, reveals the bar at the top edge above other windows,
// opens the preview by resting on a cell, and hides both when it leaves
// downwards. A display of our own keeps the window manager away from the
// other GUI tests.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/x11_probe.h"

namespace zx {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using test::WaitUntil;
using test::X11Probe;
using test::XWindowInfo;

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

// Every process the test starts ends on request when the test is done.
std::unique_ptr<test::ChildProcess> Start(const std::vector<std::string>& argv,
                                          const std::vector<std::string>& extraEnv) {
    return std::make_unique<test::ChildProcess>(argv, extraEnv, test::kEndOnRequest);
}

// Runs a shell command on our display and returns its standard output.
std::string Output(const std::string& display, const std::string& command) {
    const std::string full = "DISPLAY=" + display + " " + command + " 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(full.c_str(), "r"), pclose);
    if (!pipe) return {};
    std::string out;
    char buf[512];
    for (int i = 0; i < 1000 && fgets(buf, sizeof buf, pipe.get()); ++i) out += buf;
    return out;
}

// Client windows from the bottom of the stack to the top.
std::vector<uint32_t> Stacking(const std::string& display) {
    std::string out = Output(display, "xprop -root _NET_CLIENT_LIST_STACKING");
    std::vector<uint32_t> ids;
    for (size_t pos = out.find("0x"); pos != std::string::npos; pos = out.find("0x", pos + 2))
        ids.push_back(static_cast<uint32_t>(std::strtoul(out.c_str() + pos, nullptr, 16)));
    return ids;
}

bool Above(const std::vector<uint32_t>& stack, uint32_t upper, uint32_t lower) {
    int iu = -1, il = -1;
    for (size_t i = 0; i < stack.size(); ++i) {
        if (stack[i] == upper) iu = static_cast<int>(i);
        if (stack[i] == lower) il = static_cast<int>(i);
    }
    return iu >= 0 && il >= 0 && iu > il;
}

// The program's exit is checked for its code only: the start-up test owns the
// leak check of a whole run, and a report there would turn this test about
// the bar into a second copy of it.
std::string ProgramAsanOptions() {
    const char* inherited = std::getenv("ASAN_OPTIONS");
    std::string options = inherited ? inherited : "";
    return "ASAN_OPTIONS=" + options + (options.empty() ? "" : ":") + "detect_leaks=0";
}

class BarEndToEndTest : public testing::Test {
protected:
    void SetUp() override {
        const char* bin = std::getenv("ZX_BINARY_DIR");
        program_ = fs::path(bin ? bin : ".") / "src/app/zeltrix";
        ASSERT_TRUE(fs::exists(program_)) << "the program is not built";
        for (const char* tool : {"Xvfb", "openbox", "xdotool", "xprop"})
            ASSERT_EQ(std::system((std::string("command -v ") + tool + " >/dev/null").c_str()), 0) << tool;

        xvfb_ = std::make_unique<test::XServer>(kScreenWidth, kScreenHeight);
        ASSERT_TRUE(xvfb_->Started()) << "no X server";
        display_ = xvfb_->Display();
        setenv("DISPLAY", display_.c_str(), 1);

        wm_ =
            Start(std::vector<std::string>{"openbox", "--sm-disable"}, std::vector<std::string>{"DISPLAY=" + display_});
        ASSERT_TRUE(WaitUntil(
            [&] {
                return Output(display_, "xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos;
            },
            15000))
            << "openbox did not start";

        char tmpl[] = "/tmp/zx-bar-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        runtime_ = tmpl;
        chmod(runtime_.c_str(), 0700);
    }

    void TearDown() override {
        app_.reset();
        cover_.reset();
        wm_.reset();
        xvfb_.reset();
        std::error_code ec;
        fs::remove_all(runtime_, ec);
    }

    void Pointer(int x, int y) {
        ASSERT_EQ(
            std::system(
                ("DISPLAY=" + display_ + " xdotool mousemove " + std::to_string(x) + " " + std::to_string(y)).c_str()),
            0);
    }

    // A key press to whichever window has the focus.
    void Key(const std::string& key) {
        ASSERT_EQ(std::system(("DISPLAY=" + display_ + " xdotool key " + key).c_str()), 0);
    }

    // True when windows with this title exist and none is viewable.
    static bool Hidden(X11Probe& x, const std::string& title) {
        return !x.FindWindows(title).empty() && !x.FindViewable(title);
    }
    // The left edge of the viewable window with this title; -1 when none.
    static int LeftOf(X11Probe& x, const std::string& title) {
        auto w = x.FindViewable(title);
        return w ? w->x : -1;
    }

    // The program's window with this title (viewable or not).
    std::optional<XWindowInfo> Window(X11Probe& x, const std::string& title) {
        auto all = x.FindWindows(title);
        for (auto& w : all)
            if (w.viewable) return w;
        if (all.empty()) return std::nullopt;
        return all.front();
    }

    std::string display_;
    fs::path program_;
    fs::path runtime_;
    std::unique_ptr<test::XServer> xvfb_;
    std::unique_ptr<test::ChildProcess> wm_, cover_, app_;
};

TEST_F(BarEndToEndTest, TopEdgeRevealsRestingOpensThePreviewAndLeavingDownwardsHidesBoth) {
    X11Probe x;
    ASSERT_TRUE(x.Connected());
    Pointer(500, 500);

    // Another window over the top-left of the screen, focused by openbox.
    cover_ = Start(std::vector<std::string>{"xmessage", "-geometry", "700x300+0+0", "a window in the way"},
                   std::vector<std::string>{"DISPLAY=" + display_});
    ASSERT_TRUE(x.WaitViewable("xmessage", 15000));
    const uint32_t cover = x.FindViewable("xmessage")->id;

    app_ = Start(std::vector<std::string>{program_.string()},
                 std::vector<std::string>{"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb",
                                          "XDG_RUNTIME_DIR=" + runtime_.string(), ProgramAsanOptions()});
    ASSERT_TRUE(app_->Started());
    // The bar is shown off screen once and hidden by the first tick that
    // finds the pointer below it.
    ASSERT_TRUE(WaitUntil([&] { return !x.FindWindows("Form1").empty(); }, 90000)) << "no bar window";
    ASSERT_TRUE(WaitUntil([&] { return Hidden(x, "Form1"); }, 30000)) << "the bar did not hide";
    ASSERT_TRUE(app_->Running());

    for (int reveal = 0; reveal < 2; ++reveal) {
        SCOPED_TRACE(reveal == 0 ? "first reveal" : "second reveal");
        Pointer(300, 0);
        ASSERT_TRUE(WaitUntil(
            [&] {
                auto bar = Window(x, "Form1");
                return bar && bar->viewable && bar->x == 0 && bar->y == 0 && bar->width == kScreenWidth;
            },
            10000))
            << "bar not revealed at (0, 0) across the screen";
        auto bar = x.FindViewable("Form1");
        ASSERT_TRUE(bar);
        EXPECT_EQ(bar->height, 70);
        ASSERT_TRUE(WaitUntil([&] { return Above(Stacking(display_), bar->id, cover); }, 5000))
            << "the bar is not above the other window";

        // Rest on cell 1 (hit rectangle X 161..238, Y 5..55): the preview
        // opens under it, at the cell's left edge.
        // (Another pixel each round: the pointer resting exactly where the
        // last arrow-key step was taken freezes the tick.)
        Pointer(190 + 5 * reveal, 30);
        ASSERT_TRUE(WaitUntil(
            [&] {
                auto p = Window(x, "Popup Form");
                return p && p->viewable && p->x == 161 && p->y == 70;
            },
            10000))
            << "preview not opened under cell 1";
        auto popup = x.FindViewable("Popup Form");
        ASSERT_TRUE(popup);
        EXPECT_EQ(popup->width, 400);
        EXPECT_EQ(popup->height, 303);
        EXPECT_TRUE(x.FindViewable("Form1"));
        EXPECT_TRUE(WaitUntil([&] { return Above(Stacking(display_), popup->id, cover); }, 5000))
            << "the preview is under the other window";

        // The arrow keys step the preview while the real pointer stays.
        Key("Right");
        EXPECT_TRUE(WaitUntil([&] { return LeftOf(x, "Popup Form") == 239; }, 5000)) << "Right did not step";
        Key("shift+Left");
        EXPECT_TRUE(WaitUntil([&] { return LeftOf(x, "Popup Form") == 161; }, 5000)) << "Shift+Left did not step";

        // Down into the popup: both stay.
        Pointer(300, 200);
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        EXPECT_TRUE(x.FindViewable("Form1"));
        EXPECT_TRUE(x.FindViewable("Popup Form"));

        // Below the bar and outside the popup: both hide.
        Pointer(800, 500);
        ASSERT_TRUE(WaitUntil([&] { return Hidden(x, "Form1") && Hidden(x, "Popup Form"); }, 5000))
            << "bar and preview did not hide";
    }
    EXPECT_TRUE(app_->Running());
    const int code = app_->Stop(SIGTERM, 30000);
    EXPECT_EQ(code, 0) << "the program did not end in order";
}

}  // namespace
}  // namespace zx
