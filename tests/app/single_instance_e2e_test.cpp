// One copy at a time, with the real program on the test X server: a second
// copy ends quietly with exit code 0, the text follows the running copy's life,
// and of two copies started together exactly one starts.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/linux/window_message.h"
#include "shared/process_shared_string.h"
#include "shared/single_instance.h"
#include "support/child_process.h"
#include "support/named_objects_platform.h"
#include "support/temp_dir.h"
#include "support/x11_probe.h"

namespace zx::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// One copy of the program, with its named objects in the test's own runtime
// directory so that a program the user runs is never met.
using Copy = ProgramCopy;

bool IsPublishedHandle(const std::string& text) {
    return !text.empty() && text != "0" && text.find_first_not_of("0123456789") == std::string::npos;
}

size_t ViewableCount(X11Probe& x, const std::string& title) {
    size_t n = 0;
    for (const auto& w : x.FindWindows(title)) n += w.viewable ? 1 : 0;
    return n;
}

// The windows' ids, places and states, in a comparable form.
std::vector<std::string> Describe(std::vector<XWindowInfo> windows) {
    std::vector<std::string> out;
    for (const auto& w : windows) {
        out.push_back(std::to_string(w.id) + " " + std::to_string(w.x) + "," + std::to_string(w.y) + " " +
                      std::to_string(w.width) + "x" + std::to_string(w.height) + (w.viewable ? " shown" : " hidden"));
    }
    std::sort(out.begin(), out.end());
    return out;
}

class SingleInstanceE2ETest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::getenv("DISPLAY")) << "needs the X server that ./test starts";
        ASSERT_TRUE(ProgramBuilt()) << "the program is not built";
        // This process's view of the instance text lives in the same place.
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    }
    // Holding the text from here on keeps it alive between copies.
    TProcessSharedAnsiString& Text() {
        if (!text_) text_ = std::make_unique<TProcessSharedAnsiString>(kInstanceTextName);
        return *text_;
    }
    // Polls the text until `accept` takes it; the last text read.
    template <typename Accept>
    std::string WaitForText(Accept accept, int ms) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        std::string text = Text().Read();
        while (!accept(text) && Clock::now() < end) {
            Sleep(10);
            text = Text().Read();
        }
        return text;
    }
    // Ends a running copy in order and checks that it withdrew its handle.
    void EndInOrder(Copy& copy) {
        // Into its GUI loop first: the bar exists and has had its first ticks.
        X11Probe x;
        WaitUntil([&] { return !x.FindWindows("Form1").empty(); }, 60000);
        Sleep(1000);
        copy.Signal(SIGTERM);
        EXPECT_EQ(copy.WaitExit(60000), 0);
        EXPECT_EQ(Text().Read(), "");
    }
    // A copy that took the instance publishes its bar, runs on, and ends in order.
    void PublishesThenEndsInOrder(Copy& copy) {
        ASSERT_TRUE(IsPublishedHandle(WaitForText(IsPublishedHandle, 60000)));
        EXPECT_TRUE(copy.Running());
        EndInOrder(copy);
    }

    TempDir runtimeDir_{"zx-single-instance-"};
    fs::path runtime_ = runtimeDir_.Path();
    ScopedPlatform<NamedObjectsPlatform> platform_;
    std::unique_ptr<TProcessSharedAnsiString> text_;
};

TEST_F(SingleInstanceE2ETest, SecondCopyWhileTheFirstShowsItsSplashEndsWithZeroAndNoWindow) {
    X11Probe x;
    ASSERT_TRUE(x.Connected());
    EXPECT_EQ(Text().Read(), "");
    Copy first(runtime_);
    ASSERT_EQ(WaitForText([](const std::string& t) { return t == "0"; }, 60000), "0") << "the first never started";
    Copy second(runtime_);
    size_t mostSplashes = 0;
    const auto end = Clock::now() + std::chrono::seconds(60);
    while (second.Running() && Clock::now() < end) {
        mostSplashes = std::max(mostSplashes, ViewableCount(x, "Zeltrix"));
        Sleep(10);
    }
    EXPECT_EQ(second.WaitExit(60000), 0);
    EXPECT_LE(mostSplashes, 1u) << "the second copy showed a splash";
    const std::string text = Text().Read();
    EXPECT_TRUE(text == "0" || IsPublishedHandle(text)) << "the second copy changed the text to '" << text << "'";
    PublishesThenEndsInOrder(first);
}

TEST_F(SingleInstanceE2ETest, SecondCopyWhileTheFirstRunsNotifiesItAndEndsWithZeroAndNoWindow) {
    X11Probe x;
    ASSERT_TRUE(x.Connected());
    Copy first(runtime_);
    ASSERT_TRUE(IsPublishedHandle(WaitForText(IsPublishedHandle, 60000))) << "the first never published its bar";
    ASSERT_TRUE(x.WaitGone("Zeltrix", 60000));
    // Past the bar's first timer ticks, which settle where it stands. The
    // toolkit replaces the bar's native window when its web views first show;
    // the handle is published again then, so it is read once things settled.
    Sleep(1500);
    const std::string handle = Text().Read();
    ASSERT_TRUE(IsPublishedHandle(handle));
    auto barBefore = x.FindWindows("Form1");
    ASSERT_FALSE(barBefore.empty());
    // The published handle is the bar's window, and it answers the
    // notification as any window does: 0.
    const WindowHandle published = std::stoull(handle);
    EXPECT_TRUE(std::any_of(barBefore.begin(), barBefore.end(), [&](const auto& w) { return w.id == published; }))
        << "the published handle " << handle << " is not the bar's window";
    EXPECT_EQ(SendInstanceNotification(published), std::optional<intptr_t>(0));

    Copy second(runtime_);
    bool splashSeen = false;
    const auto end = Clock::now() + std::chrono::seconds(60);
    while (second.Running() && Clock::now() < end) {
        splashSeen = splashSeen || ViewableCount(x, "Zeltrix") > 0;
        Sleep(10);
    }
    EXPECT_EQ(second.WaitExit(60000), 0);
    EXPECT_FALSE(splashSeen) << "the second copy showed a window";
    // The running copy took the notification without any change.
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(Text().Read(), handle);
    EXPECT_EQ(Describe(x.FindWindows("Form1")), Describe(barBefore));
    EndInOrder(first);

    // A copy after the first has ended starts normally.
    Copy third(runtime_);
    ASSERT_TRUE(IsPublishedHandle(WaitForText(IsPublishedHandle, 60000)));
    EndInOrder(third);
}

TEST_F(SingleInstanceE2ETest, OfTwoCopiesStartedTogetherExactlyOneStarts) {
    EXPECT_EQ(Text().Read(), "");
    Copy a(runtime_), b(runtime_);
    const auto end = Clock::now() + std::chrono::seconds(60);
    while (a.Running() && b.Running() && Clock::now() < end) Sleep(20);
    Copy& ended = a.Running() ? b : a;
    Copy& running = a.Running() ? a : b;
    ASSERT_EQ(ended.WaitExit(0), 0) << "neither copy ended, or one failed";
    PublishesThenEndsInOrder(running);
}

TEST_F(SingleInstanceE2ETest, CopyAfterTheLastHolderWasKilledStartsAgain) {
    // This test never opens the text itself: when the killed copy was its last
    // holder, the next copy must find it empty.
    X11Probe x;
    ASSERT_TRUE(x.Connected());
    {
        Copy first(runtime_);
        ASSERT_TRUE(x.WaitViewable("Zeltrix", 60000));
        ASSERT_TRUE(x.WaitGone("Zeltrix", 60000));
        first.KillNow();
    }
    Copy next(runtime_);
    EXPECT_TRUE(x.WaitViewable("Zeltrix", 60000)) << "the next copy did not start";
    EXPECT_TRUE(x.WaitGone("Zeltrix", 60000));
    EXPECT_TRUE(next.Running());
    EndInOrder(next);
}

TEST_F(SingleInstanceE2ETest, ATextThatIsNoHandleEndsWithTheApplicationErrorAndExitCodeOne) {
    X11Probe x;
    ASSERT_TRUE(x.Connected());
    Text().Write("not a handle");
    Copy copy(runtime_);
    ASSERT_TRUE(x.WaitViewable("Application Error", 60000)) << "no last-chance report";
    EXPECT_FALSE(x.FindViewable("Zeltrix")) << "the splash comes only after the test";
    const auto box = x.FindViewable("Application Error");
    ASSERT_TRUE(box);
    ASSERT_TRUE(Xdotool("windowfocus --sync " + std::to_string(box->id) + " key Return"));
    EXPECT_EQ(copy.WaitExit(30000), 1);
    EXPECT_EQ(Text().Read(), "not a handle") << "a failed test leaves the other copy's text alone";
}

}  // namespace
}  // namespace zx::test
