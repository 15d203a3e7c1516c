// The real program under openbox on an X server of its own: the pointer,
// moved with xdotool, reveals the bar at the top edge above other windows,
// opens the preview by resting on a cell, and hides both when it leaves
// downwards; the splash is painted, the bar is the one taskbar entry, and the
// program is quiet on standard error. A display of our own keeps the window
// manager away from the other GUI tests.
#include <gtest/gtest.h>
#include <signal.h>

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "skin/pictures.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/x11_probe.h"

namespace zx::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

// Client windows of our display from the bottom of the stack to the top.
std::vector<uint32_t> Stacking() {
    std::string out = ShellOutput("xprop -root _NET_CLIENT_LIST_STACKING");
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
        ASSERT_TRUE(ProgramBuilt()) << "the program is not built";
        for (const char* tool : {"Xvfb", "openbox", "xdotool", "xprop"}) ASSERT_TRUE(HaveCommand(tool)) << tool;

        xvfb_ = std::make_unique<XServer>(kScreenWidth, kScreenHeight);
        ASSERT_TRUE(xvfb_->Started()) << "no X server";
        display_ = xvfb_->Display();
        // Xdotool and the shell commands below work on our display from here on.
        setenv("DISPLAY", display_.c_str(), 1);

        wm_ = StartChild({"openbox", "--sm-disable"}, {"DISPLAY=" + display_}, kEndOnRequest);
        ASSERT_TRUE(WaitUntil(
            [&] { return ShellOutput("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos; },
            15000))
            << "openbox did not start";
    }

    void TearDown() override {
        app_.reset();
        cover_.reset();
        wm_.reset();
        xvfb_.reset();
    }

    void Pointer(int x, int y) { ASSERT_TRUE(Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y))); }

    // The program on our display, its standard error kept in a file.
    void StartProgram() {
        stderr_ = runtime_ / "stderr.txt";
        app_ = StartChild({"/bin/sh", "-c", "exec \"$0\" 2>\"$1\"", ProgramPath().string(), stderr_.string()},
                          {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "XDG_RUNTIME_DIR=" + runtime_.string(),
                           ProgramAsanOptions()},
                          kEndOnRequest);
        ASSERT_TRUE(app_->Started());
    }
    // Ends the program in order; nothing may have reached standard error.
    void StopProgram() {
        EXPECT_TRUE(app_->Running());
        EXPECT_EQ(app_->Stop(SIGTERM, 30000), 0) << "the program did not end in order";
        std::ifstream in(stderr_);
        const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(written, "") << "the program wrote to standard error";
    }
    // The bar exists and the first tick has hidden it.
    void WaitForHiddenBar(X11Probe& x) {
        ASSERT_TRUE(WaitUntil([&] { return !x.FindWindows("Form1").empty(); }, 90000)) << "no bar window";
        ASSERT_TRUE(WaitUntil([&] { return Hidden(x, "Form1"); }, 30000)) << "the bar did not hide";
    }
    void Reveal(X11Probe& x, int pointerX) {
        Pointer(pointerX, 0);
        ASSERT_TRUE(WaitUntil(
            [&] {
                auto bar = Window(x, "Form1");
                return bar && bar->viewable && bar->x == 0 && bar->y == 0 && bar->width == kScreenWidth;
            },
            10000))
            << "bar not revealed at (0, 0) across the screen";
    }

    // A key press to whichever window has the focus.
    void Key(const std::string& key) { ASSERT_TRUE(Xdotool("key " + key)); }

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
    TempDir runtimeDir_{"zx-bar-e2e-"};
    fs::path runtime_ = runtimeDir_.Path();
    fs::path stderr_;
    std::unique_ptr<XServer> xvfb_;
    std::unique_ptr<ChildProcess> wm_, cover_, app_;
};

TEST_F(BarEndToEndTest, TopEdgeRevealsRestingOpensThePreviewAndLeavingDownwardsHidesBoth) {
    X11Probe x;
    ASSERT_TRUE(x.Connected());
    Pointer(500, 500);

    // Another window over the top-left of the screen, focused by openbox.
    cover_ = StartChild({"xmessage", "-geometry", "700x300+0+0", "a window in the way"}, {"DISPLAY=" + display_},
                        kEndOnRequest);
    ASSERT_TRUE(x.WaitViewable("xmessage", 15000));
    const uint32_t cover = x.FindViewable("xmessage")->id;

    ASSERT_NO_FATAL_FAILURE(StartProgram());
    // The bar is shown off screen once and hidden by the first tick that
    // finds the pointer below it.
    ASSERT_NO_FATAL_FAILURE(WaitForHiddenBar(x));
    ASSERT_TRUE(app_->Running());

    for (int reveal = 0; reveal < 2; ++reveal) {
        SCOPED_TRACE(reveal == 0 ? "first reveal" : "second reveal");
        ASSERT_NO_FATAL_FAILURE(Reveal(x, 300));
        auto bar = x.FindViewable("Form1");
        ASSERT_TRUE(bar);
        EXPECT_EQ(bar->height, 70);
        ASSERT_TRUE(WaitUntil([&] { return Above(Stacking(), bar->id, cover); }, 5000))
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
        EXPECT_TRUE(WaitUntil([&] { return Above(Stacking(), popup->id, cover); }, 5000))
            << "the preview is under the other window";
        EXPECT_EQ(x.TaskbarEntries(static_cast<uint32_t>(app_->Pid())), std::vector<uint32_t>{bar->id})
            << "only the bar is a taskbar entry";

        // The arrow keys step the preview while the real pointer stays.
        Key("Right");
        EXPECT_TRUE(WaitUntil([&] { return LeftOf(x, "Popup Form") == 239; }, 5000)) << "Right did not step";
        Key("shift+Left");
        EXPECT_TRUE(WaitUntil([&] { return LeftOf(x, "Popup Form") == 161; }, 5000)) << "Shift+Left did not step";

        // Down into the popup: both stay.
        Pointer(300, 200);
        Sleep(600);  // a fixed wait: it proves that nothing hides in three ticks
        EXPECT_TRUE(x.FindViewable("Form1"));
        EXPECT_TRUE(x.FindViewable("Popup Form"));

        // Below the bar and outside the popup: both hide.
        Pointer(800, 500);
        ASSERT_TRUE(WaitUntil([&] { return Hidden(x, "Form1") && Hidden(x, "Popup Form"); }, 5000))
            << "bar and preview did not hide";
    }
    StopProgram();
}

// A press on one of our windows whose release lands elsewhere, because the
// window hid under the pointer, holds nothing: the top row reveals the bar
// again. A press held on a window that stays shown keeps it hidden until the
// release.
TEST_F(BarEndToEndTest, PressesWhoseReleaseLandsElsewhereNeverKeepTheBarHidden) {
    X11Probe x;
    ASSERT_TRUE(x.Connected());
    Pointer(500, 500);
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_NO_FATAL_FAILURE(WaitForHiddenBar(x));

    struct Press {
        const char* on;
        int x, y;
        bool preview;
    };
    const Press presses[] = {
        {"the preview", 300, 200, true},
        {"a cell", 270, 30, false},
        {"the logo", 40, 30, false},
        {"the Save button", kScreenWidth - 35, 26, false},
    };
    int round = 0;
    for (const Press& press : presses) {
        SCOPED_TRACE(press.on);
        ASSERT_NO_FATAL_FAILURE(Reveal(x, 300 + round++));
        if (press.preview) {
            Pointer(190 + round, 30);
            ASSERT_TRUE(x.WaitViewable("Popup Form", 10000)) << "no preview";
        }
        Pointer(press.x, press.y);
        ASSERT_TRUE(Xdotool("mousedown 1"));
        // Down and out: the bar and the preview hide under the held button.
        Pointer(press.x, 450);
        Pointer(800, 600);
        ASSERT_TRUE(WaitUntil([&] { return Hidden(x, "Form1") && !x.FindViewable("Popup Form"); }, 10000))
            << "the bar did not hide";
        ASSERT_TRUE(Xdotool("mouseup 1"));
        ASSERT_NO_FATAL_FAILURE(Reveal(x, 600 + round));
        Pointer(800, 600);
        ASSERT_TRUE(WaitUntil([&] { return Hidden(x, "Form1"); }, 10000));
    }

    // The about window stays shown while its picture is held down.
    ASSERT_NO_FATAL_FAILURE(Reveal(x, 300));
    Pointer(40, 30);
    ASSERT_TRUE(Xdotool("click 1"));
    ASSERT_TRUE(x.WaitViewable("Form2", 10000)) << "no about window";
    const XWindowInfo about = *x.FindViewable("Form2");
    Pointer(about.x + 100, about.y + 60);
    ASSERT_TRUE(WaitUntil([&] { return Hidden(x, "Form1"); }, 10000));
    ASSERT_TRUE(Xdotool("mousedown 1"));
    Pointer(500, 0);
    EXPECT_FALSE(WaitUntil([&] { return static_cast<bool>(x.FindViewable("Form1")); }, 1500))
        << "the bar showed while a button pressed on the about window was held";
    ASSERT_TRUE(Xdotool("mouseup 1"));
    ASSERT_NO_FATAL_FAILURE(Reveal(x, 501));
    Pointer(about.x + 169 + 11, about.y + 12 + 11);
    ASSERT_TRUE(Xdotool("click 1"));
    EXPECT_TRUE(x.WaitGone("Form2", 5000));
    StopProgram();
}

// A question opens centred across the primary monitor and whole: below the
// rows of the bar and the preview while the preview shows, centred on both
// axes while it does not. It stays above both while the tick goes on
// revealing the bar and opening the preview under the resting pointer.
TEST_F(BarEndToEndTest, QuestionsOpenClearOfTheBarAndThePreviewAndStayAboveThem) {
    X11Probe x;
    ASSERT_TRUE(x.Connected());
    Pointer(500, 500);
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_NO_FATAL_FAILURE(WaitForHiddenBar(x));
    ASSERT_NO_FATAL_FAILURE(Reveal(x, 300));
    auto previewAt161 = [&] {
        auto p = x.FindViewable("Popup Form");
        return p && p->x == 161 && p->y == 70;
    };
    // The question's box with the window manager's frame (left, top, width,
    // height).
    struct Framed {
        int left = -1, top = -1, width = 0, height = 0;
    };
    auto framedQuestion = [&]() -> Framed {
        const auto box = x.FindViewable("Confirm");
        if (!box) return {};
        std::vector<uint32_t> frame = x.Property32(box->id, "_NET_FRAME_EXTENTS");
        frame.resize(4);
        return {box->x - static_cast<int>(frame[0]), box->y - static_cast<int>(frame[2]),
                box->width + static_cast<int>(frame[0] + frame[1]),
                box->height + static_cast<int>(frame[2] + frame[3])};
    };
    auto answerEscape = [&] {
        const auto box = x.FindViewable("Confirm");
        ASSERT_TRUE(box);
        ASSERT_TRUE(Xdotool("windowactivate --sync " + std::to_string(box->id) + " key Escape"));
        EXPECT_TRUE(x.WaitGone("Confirm", 5000));
    };
    Pointer(190, 30);
    ASSERT_TRUE(WaitUntil(previewAt161, 10000)) << "no preview";

    // Asked while the preview shows (the window manager's close request, as
    // the pointer stays on the cell): below the preview's rows.
    x.RequestClose(x.FindViewable("Form1")->id);
    ASSERT_TRUE(x.WaitViewable("Confirm", 10000)) << "no question";
    const auto popup = x.FindViewable("Popup Form");
    ASSERT_TRUE(popup) << "the preview went";
    Framed q = framedQuestion();
    EXPECT_LE(std::abs(q.left + q.width / 2 - kScreenWidth / 2), 2) << "not centred across the monitor";
    EXPECT_GE(q.top, popup->y + popup->height) << "the question lies in the rows of the bar and the preview";
    EXPECT_LE(q.top + q.height, kScreenHeight) << "the question is not whole";
    ASSERT_NO_FATAL_FAILURE(answerEscape());

    // The Close button asks once the right zone has closed the preview:
    // centred on both axes, and above the preview that opens meanwhile.
    Pointer(kScreenWidth - 35, 10);
    ASSERT_TRUE(WaitUntil([&] { return !x.FindViewable("Popup Form"); }, 10000)) << "the right zone kept the preview";
    ASSERT_TRUE(Xdotool("click 1"));
    ASSERT_TRUE(x.WaitViewable("Confirm", 10000)) << "no question";
    q = framedQuestion();
    EXPECT_LE(std::abs(q.left + q.width / 2 - kScreenWidth / 2), 2) << "not centred across the monitor";
    EXPECT_LE(std::abs(q.top + q.height / 2 - kScreenHeight / 2), 2) << "not centred down the monitor";
    Pointer(195, 30);
    ASSERT_TRUE(WaitUntil(previewAt161, 10000)) << "no preview while the question is open";
    Pointer(300, 0);
    const auto shownBox = x.FindViewable("Confirm");
    const auto shownBar = x.FindViewable("Form1");
    const auto shownPopup = x.FindViewable("Popup Form");
    ASSERT_TRUE(shownBox && shownBar && shownPopup) << "the question, the bar and the preview are not all shown";
    EXPECT_TRUE(WaitUntil(
        [&] {
            const std::vector<uint32_t> stack = Stacking();
            return Above(stack, shownBox->id, shownBar->id) && Above(stack, shownBox->id, shownPopup->id);
        },
        5000))
        << "the question is not above the bar and the preview";
    ASSERT_NO_FATAL_FAILURE(answerEscape());
    StopProgram();
}

TEST_F(BarEndToEndTest, SplashIsPaintedTheBarIsTheOnlyTaskbarEntryAndEscapeLeavesTheAboutWindow) {
    X11Probe x;
    ASSERT_TRUE(x.Connected());
    Pointer(500, 500);
    const QImage picture = SplashPicture().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_NO_FATAL_FAILURE(StartProgram());

    // While the splash shows, the screen shows its picture (from the
    // picture's second column on), not a black box: also after another
    // window has covered it and gone again while the program sleeps.
    ASSERT_TRUE(x.WaitViewable("Zeltrix", 60000)) << "no splash";
    const auto shown = Clock::now();
    Sleep(100);  // the toolkit paints as the window maps
    int grabs = 0;
    for (auto splash = x.FindViewable("Zeltrix"); splash && Clock::now() - shown < std::chrono::milliseconds(1400);
         splash = x.FindViewable("Zeltrix")) {
        Sleep(150);
        if (grabs == 1) {
            cover_ = StartChild(
                {"xmessage", "-geometry",
                 "300x200+" + std::to_string(splash->x + 40) + "+" + std::to_string(splash->y + 80), "in the way"},
                {"DISPLAY=" + display_}, kEndOnRequest);
            ASSERT_TRUE(x.WaitViewable("xmessage", 10000));
            cover_.reset();
            ASSERT_TRUE(x.WaitGone("xmessage", 10000));
        }
        const std::vector<uint32_t> pixels = x.Grab(splash->x, splash->y, 195, 356);
        if (!x.FindViewable("Zeltrix")) break;
        ASSERT_EQ(pixels.size(), 195u * 356u);
        int same = 0;
        for (int py = 0; py < 356; ++py)
            for (int px = 0; px < 195; ++px)
                same += pixels[static_cast<size_t>(py * 195 + px)] == (picture.pixel(px + 1, py) & 0xFFFFFF);
        EXPECT_GE(same, 195 * 356 * 99 / 100) << "grab " << grabs;
        EXPECT_TRUE(x.TaskbarEntries(static_cast<uint32_t>(app_->Pid())).empty()) << "the splash is a taskbar entry";
        ++grabs;
    }
    EXPECT_GE(grabs, 3) << "the splash did not show for 1.5 s";

    // The logo opens the about window: the bar stays the one taskbar entry,
    // Escape leaves the window, its "X" button closes it.
    ASSERT_NO_FATAL_FAILURE(WaitForHiddenBar(x));
    ASSERT_NO_FATAL_FAILURE(Reveal(x, 300));
    const uint32_t bar = x.FindViewable("Form1")->id;
    Pointer(40, 30);
    ASSERT_TRUE(Xdotool("click 1"));
    ASSERT_TRUE(x.WaitViewable("Form2", 10000)) << "no about window";
    const XWindowInfo about = *x.FindViewable("Form2");
    EXPECT_EQ(x.TaskbarEntries(static_cast<uint32_t>(app_->Pid())), std::vector<uint32_t>{bar})
        << "only the bar is a taskbar entry";
    ASSERT_TRUE(WaitUntil([&] { return x.Property32(x.Root(), "_NET_ACTIVE_WINDOW") == std::vector{about.id}; }, 5000))
        << "the about window has no focus";
    Key("Escape");
    Sleep(1000);  // a fixed wait: it proves that Escape does not close the window
    EXPECT_TRUE(x.FindViewable("Form2")) << "Escape closed the about window";
    Pointer(about.x + 169 + 11, about.y + 12 + 11);
    ASSERT_TRUE(Xdotool("click 1"));
    EXPECT_TRUE(x.WaitGone("Form2", 5000)) << "the X button did not close the about window";
    StopProgram();
}

}  // namespace
}  // namespace zx::test
