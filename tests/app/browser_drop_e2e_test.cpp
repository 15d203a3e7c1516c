// Real web browsers under a real window manager on an X server of the test's
// own: images are dragged out of a page served by nginx on loopback and
// dropped on cells of the running program, whose bar is hidden when each drag
// begins; then one cell's image is dragged onto another cell, which asks
// whether to move it. The bar's Save button then writes the list, which must
// name the images where they ended. An image inside a link arrives as the
// link's address, as both browsers put only the link in the dropped address
// list. Window managers frame the bar anew at each reveal, which is where
// drag sources lose track of it; xfwm4 runs with its compositor.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bar/bar_layout.h"
#include "support/child_process.h"
#include "support/drop_page.h"
#include "support/temp_dir.h"
#include "support/web_server.h"
#include "support/x11_probe.h"

namespace zx::test {
namespace {

namespace fs = std::filesystem;

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

// Where the page puts its images, in page pixels; both browsers show the page
// from the screen's top-left corner in kiosk mode.
struct Spot {
    int x, y;
};
constexpr Spot kRed{250, 250};    // plain image
constexpr Spot kBlue{650, 250};   // image inside a link to the full-size image
constexpr Spot kGreen{250, 500};  // image inside a link to a web page: the image is taken

struct Desktop {
    const char* browser;
    const char* windowManager;
};

class BrowserDropTest : public testing::TestWithParam<Desktop> {
protected:
    void SetUp() override {
        browser_ = GetParam().browser;
        const std::string wm = GetParam().windowManager;
        ASSERT_TRUE(HaveCommand(browser_)) << browser_ << " is not installed";
        for (const char* tool : {"Xvfb", "xdotool", "xprop", wm.c_str()}) ASSERT_TRUE(HaveCommand(tool)) << tool;
        ASSERT_TRUE(ProgramBuilt()) << "the program is not built";

        xvfb_ = std::make_unique<XServer>(kScreenWidth, kScreenHeight);
        ASSERT_TRUE(xvfb_->Started()) << "no X server";
        display_ = xvfb_->Display();
        // Xdotool and xprop work on our display from here on.
        setenv("DISPLAY", display_.c_str(), 1);
        work_ = std::make_unique<TempDir>();
        fs::create_directories(Work("home"));
        wm_ = StartWindowManager(wm, display_, Work("home"));
        ASSERT_TRUE(wm_) << wm << " did not start";

        root_ = std::make_unique<TempDir>();
        WriteDropImages(*root_);
        nginx_ = std::make_unique<NginxServer>(root_->Path());
        work_->WriteFile("page.html", DropPage(nginx_->Url("")));
        fs::create_directories(Work("runtime"));
        chmod(Work("runtime").c_str(), 0700);
    }

    void TearDown() override {
        browserProcess_.reset();
        app_.reset();
        nginx_.reset();
        wm_.reset();
        xvfb_.reset();
        work_.reset();
        root_.reset();
    }

    std::string Work(const std::string& name) const { return work_->Path() + "/" + name; }

    void Move(int x, int y) { Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y)); }

    void StartProgram() {
        app_ = StartChild({ProgramPath().string()},
                          {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "XDG_RUNTIME_DIR=" + Work("runtime")},
                          kEndGroupOnRequest);
        ASSERT_TRUE(app_->Started());
        X11Probe x;
        ASSERT_TRUE(x.Connected());
        ASSERT_TRUE(WaitUntil([&] { return !x.FindWindows("Form1").empty(); }, 90000)) << "no bar window";
        // The first tick hides the bar, the pointer resting below it.
        ASSERT_TRUE(WaitUntil([&] { return !x.FindViewable("Form1"); }, 30000)) << "the bar did not hide";
    }

    void StartBrowser() {
        const std::string url = "file://" + Work("page.html");
        const std::string profile = Work("profile");
        fs::create_directories(profile);
        fs::create_directories(Work("home"));
        std::vector<std::string> argv;
        // A desktop session speaks UTF-8. Under the C locale Firefox names
        // its window for X only "Mozilla Firefox", without the page's title.
        std::vector<std::string> env = {"DISPLAY=" + display_, "HOME=" + Work("home"), "LC_ALL=C.UTF-8"};
        if (std::string(browser_) == "chromium") {
            argv = {"chromium",
                    "--no-first-run",
                    "--no-default-browser-check",
                    "--disable-background-networking",
                    "--disable-component-update",
                    "--disable-sync",
                    "--disable-default-apps",
                    "--disable-extensions",
                    "--disable-gpu",
                    "--no-sandbox",
                    "--test-type",
                    "--kiosk",
                    "--user-data-dir=" + profile,
                    url};
        } else {
            WriteQuietFirefoxProfile(profile);
            argv = {"firefox-esr", "--no-remote", "--new-instance", "--profile", profile, "--kiosk", url};
            env.push_back("MOZ_CRASHREPORTER_DISABLE=1");
        }
        browserProcess_ = StartChild(argv, env, kEndGroupOnRequest);
        ASSERT_TRUE(browserProcess_->Started());
        ASSERT_TRUE(WaitUntil([&] { return Xdotool("search --onlyvisible --name 'Drop page'"); }, 60000))
            << browser_
            << " did not show the page; windows: " << ShellOutput("xdotool search --name '.' getwindowname %@");
        X11Probe x;
        ASSERT_TRUE(x.Connected());
        const auto painted = [&](Spot spot, uint32_t colour) {
            return x.Grab(spot.x, spot.y, 1, 1) == std::vector{colour};
        };
        ASSERT_TRUE(WaitUntil(
            [&] { return painted(kRed, 0xff0000) && painted(kBlue, 0x0000ff) && painted(kGreen, 0x00ff00); }, 30000))
            << browser_ << " did not paint the page's images";
    }

    // Waits until the bar's tick revealed it at the top edge.
    void WaitRevealed() {
        X11Probe x;
        ASSERT_TRUE(x.Connected());
        ASSERT_TRUE(WaitUntil(
            [&] {
                const auto bar = x.FindViewable("Form1");
                return bar && bar->y == 0;
            },
            10000))
            << "the bar did not show at the top edge";
    }

    // Drags what lies at `from` up to the top edge, which reveals the bar,
    // then down onto cell i, in small steps as a hand would. The short sleeps
    // here and in DragCellToCell pace the gesture: drag sources follow the
    // pointer by its motion, and a hand moves at a human speed.
    void DragToCell(Spot from, int cell) {
        const int cellX = CellLeft(cell) + 35;
        Move(from.x, from.y + 200);
        Sleep(300);
        Move(from.x, from.y);
        Sleep(300);
        Xdotool("mousedown 1");
        Sleep(200);
        for (int i = 1; i <= 12; ++i) {
            Move(from.x, from.y - 5 * i);
            Sleep(50);
        }
        const int startY = from.y - 60;
        for (int i = 1; i <= 20; ++i) {
            const int y = std::max(0, startY - startY * i / 16);
            Move(from.x + (cellX - from.x) * i / 20, y);
            Sleep(50);
        }
        ASSERT_NO_FATAL_FAILURE(WaitRevealed());
        for (int y = 4; y <= 32; y += 4) {
            Move(cellX, y);
            Sleep(80);
        }
        Sleep(500);
        Xdotool("mouseup 1");
        Sleep(1500);
    }

    // Drags cell `from`'s image along the revealed bar onto cell `to` and
    // answers the move question with Yes.
    void DragCellToCell(int from, int to) {
        Move(CellLeft(from) + 35, 300);
        Sleep(500);
        Move(CellLeft(from) + 35, 0);
        ASSERT_NO_FATAL_FAILURE(WaitRevealed());
        Move(CellLeft(from) + 35, 30);
        Sleep(500);
        Xdotool("mousedown 1");
        Sleep(200);
        const int steps = 16;
        for (int i = 1; i <= steps; ++i) {
            Move(CellLeft(from) + 35 + (CellLeft(to) - CellLeft(from)) * i / steps, 30 + (i % 2));
            Sleep(60);
        }
        Sleep(500);
        Xdotool("mouseup 1");
        ASSERT_TRUE(WaitUntil([&] { return Xdotool("search --onlyvisible --name '^Confirm$'"); }, 10000))
            << "no move question";
        Xdotool("search --onlyvisible --name '^Confirm$' windowactivate --sync");
        Sleep(300);
        Xdotool("key y");
        ASSERT_TRUE(WaitUntil([&] { return !Xdotool("search --onlyvisible --name '^Confirm$'"); }, 10000));
        Sleep(1000);
    }

    // Presses Save, types the file name into the dialog and returns the list.
    std::vector<std::string> SaveList() {
        const std::string file = Work("saved.txt");
        Move(kScreenWidth - 35, 26);
        Sleep(700);
        Xdotool("click 1");
        X11Probe x;
        EXPECT_TRUE(AnswerFileDialog(x, "Save As", file)) << "the save dialog did not take the name";
        WaitUntil([&] { return fs::exists(file) && fs::file_size(file) >= 40; }, 10000);
        std::vector<std::string> lines;
        const std::string text = ReadAll(file);
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

    const char* browser_ = "";
    std::string display_;
    std::unique_ptr<XServer> xvfb_;
    std::unique_ptr<ChildProcess> app_, browserProcess_, wm_;
    std::unique_ptr<TempDir> work_, root_;
    std::unique_ptr<NginxServer> nginx_;
};

TEST_P(BrowserDropTest, DraggedImagesLandInTheCellsTheyAreDroppedOn) {
    Move(500, 700);
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_NO_FATAL_FAILURE(StartBrowser());

    ASSERT_NO_FATAL_FAILURE(DragToCell(kRed, 2));
    ASSERT_NO_FATAL_FAILURE(DragToCell(kBlue, 3));
    ASSERT_NO_FATAL_FAILURE(DragToCell(kGreen, 4));
    // The engine's drag of a cell's image carries its web address.
    ASSERT_NO_FATAL_FAILURE(DragCellToCell(2, 6));

    const std::vector<std::string> lines = SaveList();
    ASSERT_EQ(lines.size(), 20u) << "the list was not saved";
    EXPECT_EQ(lines[6], nginx_->Url("/red.png"));
    EXPECT_EQ(lines[2], "") << "the image moved";
    // Inside a link the drop carries the link's address, not the image's.
    EXPECT_EQ(lines[3], nginx_->Url("/blue.png"));
    // A thumbnail inside a link to a web page gives the thumbnail's image.
    EXPECT_EQ(lines[4], nginx_->Url("/green.png"));
    for (int i : {0, 1, 5, 7, 19}) EXPECT_EQ(lines[static_cast<size_t>(i)], "") << i;
    EXPECT_TRUE(app_->Running());
}

INSTANTIATE_TEST_SUITE_P(Desktops, BrowserDropTest,
                         testing::Values(Desktop{"chromium", "openbox"}, Desktop{"chromium", "xfwm4"},
                                         Desktop{"firefox-esr", "openbox"}, Desktop{"firefox-esr", "xfwm4"}),
                         [](const testing::TestParamInfo<Desktop>& param) {
                             std::string name =
                                 std::string(param.param.browser) == "chromium" ? "Chromium" : "FirefoxEsr";
                             return name + (std::string(param.param.windowManager) == "openbox" ? "Openbox" : "Xfwm4");
                         });

}  // namespace
}  // namespace zx::test
