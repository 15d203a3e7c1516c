// The real program on the test X server: the splash, the bar window, and the
// close confirmation with its exit code; and its command-line answers.
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
