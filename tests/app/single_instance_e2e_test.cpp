// One copy at a time, with the real program on the test X server: a second
// copy ends quietly with exit code 0, the text follows the running copy's life,
// and of two copies started together exactly one starts. Every way out that
// is not the user's (a termination signal in any state, the X server going)
// ends every process of the program within seconds and withdraws the text.
#include <gtest/gtest.h>
#include <signal.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/window_message.h"
#include "shared/process_shared_string.h"
#include "shared/single_instance.h"
#include "support/child_process.h"
#include "support/desk.h"
#include "support/named_objects_platform.h"
#include "support/scripted_http_server.h"
#include "support/temp_dir.h"
#include "support/web_server.h"
#include "support/x11_probe.h"

namespace zx {
// The packed skin, as the program carries it.
extern const unsigned char kSkinPacked[];
extern const std::size_t kSkinPackedSize;
}  // namespace zx

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
        // Below the bar, whose first tick then hides it.
        ASSERT_TRUE(Xdotool("mousemove 600 500"));
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
    // Whether the running copy settled into its GUI loop: its bar had its
    // first ticks, which hid it, and the published handle names the bar's
    // window. The toolkit replaces that window when the web views first show
    // and the handle is published again then.
    bool Settled(X11Probe& x) {
        const std::string text = Text().Read();
        if (!IsPublishedHandle(text)) return false;
        const auto bars = x.FindWindows("Form1");
        return std::any_of(bars.begin(), bars.end(), [&](const auto& w) { return w.id == std::stoull(text); }) &&
               std::none_of(bars.begin(), bars.end(), [](const auto& w) { return w.viewable; });
    }
    // Settled through ten ticks: the handle is published, and the bar
    // hidden, already before the bar is first shown (off screen) and hidden
    // again by its first tick.
    bool WaitSettled(X11Probe& x) {
        std::optional<Clock::time_point> since;
        return WaitUntil(
            [&] {
                if (!Settled(x))
                    since.reset();
                else if (!since)
                    since = Clock::now();
                return since && Clock::now() - *since >= std::chrono::seconds(2);
            },
            60000);
    }
    // Ends a running copy in order and checks that it withdrew its handle.
    void EndInOrder(Copy& copy) {
        X11Probe x;
        EXPECT_TRUE(WaitSettled(x)) << "the copy never settled";
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
    ASSERT_TRUE(WaitSettled(x)) << "the bar never settled";
    const std::string handle = Text().Read();
    ASSERT_TRUE(IsPublishedHandle(handle));
    auto barBefore = x.FindWindows("Form1");
    ASSERT_FALSE(barBefore.empty());
    // The published handle is the bar's window, and it answers the
    // notification as any window does: 0.
    const WindowId published = std::stoull(handle);
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

// A copy of the program whose built-in skin data is damaged.
fs::path ProgramWithDamagedSkin(const TempDir& dir) {
    std::string program = ReadAll(ProgramPath().string());
    const std::string packed(reinterpret_cast<const char*>(kSkinPacked), kSkinPackedSize);
    size_t found = 0;
    for (size_t at = program.find(packed); at != std::string::npos; at = program.find(packed, at + 1), ++found) {
        for (size_t i = packed.size() / 2; i < packed.size() / 2 + 16; ++i) program[at + i] ^= '\xFF';
    }
    if (found == 0) return {};
    const std::string path = dir.WriteFile("zeltrix", program);
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

TEST_F(SingleInstanceE2ETest, ATextThatIsNoHandleEndsWithTheApplicationErrorAndExitCodeOne) {
    X11Probe x;
    ASSERT_TRUE(x.Connected());
    TempDir bin;
    const struct {
        const char* cause;
        std::string text;  // the instance text before and after
        fs::path program;
    } causes[] = {
        {"a text that is no handle", "not a handle", ProgramPath()},
        // The look is set up inside the main sequence's error net too.
        {"a damaged skin", "", ProgramWithDamagedSkin(bin)},
    };
    for (const auto& c : causes) {
        SCOPED_TRACE(c.cause);
        ASSERT_FALSE(c.program.empty()) << "the skin data is not found in the program";
        Text().Write(c.text);
        Copy copy(runtime_, {}, c.program);
        ASSERT_TRUE(x.WaitViewable("Application Error", 60000)) << "no last-chance report";
        EXPECT_FALSE(x.FindViewable("Zeltrix")) << "the splash comes only after the test";
        const auto box = x.FindViewable("Application Error");
        ASSERT_TRUE(box);
        ASSERT_TRUE(Xdotool("windowfocus --sync " + std::to_string(box->id) + " key Return"));
        EXPECT_EQ(copy.WaitExit(30000), 1);
        EXPECT_EQ(Text().Read(), c.text) << "a failed test leaves the other copy's text alone";
    }
}

// Whether some client owns the drag-and-drop selection, as a drag source does
// from the moment its drag starts; on a fresh X server nobody does before.
bool DragStarted() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    bool owned = false;
    if (!xcb_connection_has_error(c)) {
        static constexpr char kName[] = "XdndSelection";
        auto* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof kName - 1, kName), nullptr);
        if (atom && atom->atom != XCB_ATOM_NONE) {
            auto* owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
            owned = owner && owner->owner != XCB_WINDOW_NONE;
            std::free(owner);
        }
        std::free(atom);
    }
    xcb_disconnect(c);
    return owned;
}

TEST_F(SingleInstanceE2ETest, EveryWayOutEndsEveryProcessWithinTenSecondsAndWithdrawsTheText) {
    for (const char* tool : {"Xvfb", "openbox", "xdotool"}) ASSERT_TRUE(HaveCommand(tool)) << tool;
    TempDir root;
    // A real picture: the engine drags only a picture that it could show.
    const std::string image = ReadAll(std::string(std::getenv("ZX_SOURCE_DIR")) + "/assets/icon.png");
    ASSERT_FALSE(image.empty());
    root.WriteFile("pic.png", image);
    NginxServer nginx(root.Path());
    // A server that trickles its answer, a byte at a time: the download
    // blocks there, as on a slow network. The engine's own fetch of the cell's
    // picture may take a conversation first.
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: 500000\r\n\r\n";
    const ScriptedConversation trickle{{.response = head + std::string(500000, 'x'), .trickleMs = 200}};
    ScriptedHttpServer slow({trickle, trickle, trickle, trickle}, 3600000);
    const std::vector<std::string> imageList{nginx.Url("/pic.png")};

    struct WayOut {
        const char* state;
        std::function<void(Desk&)> enter;  // from the hidden bar into the state
        bool takeServerAway = false;
        std::function<void(Desk&)> check = nullptr;  // after the end
    };
    const fs::path folder = runtime_ / "images";
    const WayOut ways[] = {
        {"idle", [](Desk&) {}},
        {"preview",
         [](Desk& d) {
             ASSERT_NO_FATAL_FAILURE(d.Reveal());
             ASSERT_TRUE(Xdotool("mousemove 190 30"));
             ASSERT_TRUE(d.x().WaitViewable("Popup Form", 10000)) << "no preview";
         }},
        {"about window",
         [](Desk& d) {
             ASSERT_NO_FATAL_FAILURE(d.Reveal());
             ASSERT_TRUE(Xdotool("mousemove 40 30 click 1"));
             ASSERT_TRUE(d.x().WaitViewable("Form2", 10000)) << "no about window";
         }},
        {"close question",
         [](Desk& d) {
             ASSERT_NO_FATAL_FAILURE(d.Reveal());
             d.x().RequestClose(d.x().FindViewable("Form1")->id);
             ASSERT_TRUE(d.x().WaitViewable("Confirm", 10000)) << "no question";
         }},
        {"file dialog",
         [](Desk& d) {
             ASSERT_NO_FATAL_FAILURE(d.ClickButton(42));
             ASSERT_TRUE(d.x().WaitViewable("Open", 10000)) << "no file dialog";
         }},
        {"error box",
         [](Desk& d) {
             ASSERT_NO_FATAL_FAILURE(d.LoadFile(d.files() / "no such list.txt"));
             ASSERT_TRUE(d.x().WaitViewable("Zeltrix", 10000)) << "no error box";
         }},
        {"image dragged out of a cell",
         [&](Desk& d) {
             ASSERT_NO_FATAL_FAILURE(d.Load(imageList));
             ASSERT_NO_FATAL_FAILURE(d.Reveal(118));
             // Pressed on the cell's picture and moved along the bar, once
             // the picture shows; the button stays down.
             ASSERT_TRUE(WaitUntil(
                 [] {
                     Xdotool("mousemove 118 30 mousedown 1");
                     for (int step = 1; step <= 8; ++step)
                         Xdotool("mousemove " + std::to_string(118 + 15 * step) + " 32");
                     if (WaitUntil(DragStarted, 1000)) return true;
                     Xdotool("mouseup 1 mousemove 118 30");
                     return false;
                 },
                 20000))
                 << "no drag out of the cell";
         }},
        {"X server taken away with the close question open",
         [](Desk& d) {
             ASSERT_NO_FATAL_FAILURE(d.Reveal());
             d.x().RequestClose(d.x().FindViewable("Form1")->id);
             ASSERT_TRUE(d.x().WaitViewable("Confirm", 10000)) << "no question";
         },
         true},
        // Last: without its mend the copy dies holding the text.
        {"download from a trickling server",
         [&](Desk& d) {
             ASSERT_NO_FATAL_FAILURE(d.Load({imageList[0], slow.Url("/slow.png")}));
             fs::create_directories(folder);
             ASSERT_NO_FATAL_FAILURE(d.ClickButton(58));
             constexpr const char* kFolderTitle = "Select where to place the images.";
             ASSERT_TRUE(d.x().WaitViewable(kFolderTitle, 20000)) << "no folder dialog";
             // The dialog may stay on screen once the download blocks the
             // program: the image written is the sign that it took the path.
             AnswerFileDialog(d.x(), kFolderTitle, folder.string());
             ASSERT_TRUE(WaitUntil([&] { return ReadAll((folder / "pic.png").string()) == image; }, 30000))
                 << "the first image was not written";
             // A second copy meanwhile gets no answer from the blocked copy:
             // it ends within seconds, showing nothing.
             const auto start = Clock::now();
             Copy second(runtime_);
             bool shown = false;
             while (second.Running() && Clock::now() - start < std::chrono::seconds(20)) {
                 shown = shown || ViewableCount(d.x(), "Zeltrix") > 0;
                 Sleep(20);
             }
             EXPECT_EQ(second.WaitExit(0), 0);
             EXPECT_FALSE(shown) << "the second copy showed a window";
             EXPECT_LT(Clock::now() - start, std::chrono::seconds(12)) << "the second copy waited too long";
         },
         false,
         [&](Desk&) {
             std::vector<std::string> names;
             for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
             EXPECT_EQ(names, std::vector<std::string>{"pic.png"}) << "a file was written for the cut image";
             EXPECT_EQ(ReadAll((folder / "pic.png").string()), image);
         }},
    };
    for (const WayOut& way : ways) {
        SCOPED_TRACE(way.state);
        Desk desk(runtime_);
        ASSERT_NO_FATAL_FAILURE(desk.WaitForHiddenBar());
        ASSERT_TRUE(IsPublishedHandle(Text().Read()));
        ASSERT_NO_FATAL_FAILURE(way.enter(desk));
        const std::vector<ProcessId> program = ProcessTree(desk.copy().Pid());
        const auto start = Clock::now();
        if (way.takeServerAway) {
            desk.TakeServerAway();
        } else {
            desk.copy().Signal(SIGTERM);
        }
        EXPECT_TRUE(WaitUntil([&] { return AllEnded(program); }, 10000)) << program.size() << " processes";
        // Losing the display is no orderly end.
        EXPECT_EQ(desk.copy().WaitExit(1000), way.takeServerAway ? 1 : 0);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        EXPECT_LT(took, std::chrono::seconds(10));
        RecordProperty(way.state, static_cast<int>(took.count()));
        EXPECT_EQ(Text().Read(), "") << "the text was not withdrawn";
        if (way.check) way.check(desk);
    }
}

}  // namespace
}  // namespace zx::test
