// The real program on the test X server: a list of image addresses is loaded
// into the bar through the Load button, then the Download button saves every
// image from a real nginx into a folder, driven by the pointer and keyboard.
// The images come over https, some after a redirect from http; the program
// trusts the tests' own certificate authority only.
#include <gtest/gtest.h>

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
constexpr const char* kFolderTitle = "Select where to place the images.";

std::string Bytes(size_t n, char seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + static_cast<char>(i * 31));
    return s;
}

// The bar is revealed across the top of the screen.
bool BarShown(X11Probe& x) {
    const auto bar = x.FindViewable("Form1");
    return bar && bar->x == 0 && bar->y == 0 && bar->width > 700;
}

class DownloadE2E : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::getenv("DISPLAY")) << "needs the X server that ./test starts";
        ASSERT_TRUE(Xdotool("version")) << "needs xdotool";
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
    // Made before the program starts, which inherits SSL_CERT_FILE.
    const CertificateFiles& cert = TestCertificates::Get().good;
    NginxServer secure(root.Path(), WebServer::Kind::Nginx, &cert);
    const std::string https = "https://localhost:" + std::to_string(secure.Port());
    NginxServer nginx(root.Path(), WebServer::Kind::Nginx, nullptr,
                      "    location /r/ { rewrite ^/r/(.*)$ " + https +
                          "/$1 permanent; }\n"
                          "    location = /moved.png { return 302 " +
                          https + "/shot.png; }\n");

    TempDir work;
    std::vector<std::string> lines(20);
    lines[0] = https + "/one/pic.jpg";
    lines[4] = https + "/shot.png?w=10";
    lines[7] = nginx.Url("/r/two/pic.jpg");
    // Named after the cell's address, not the one it redirects to.
    lines[9] = nginx.Url("/moved.png");
    std::string list;
    for (const auto& l : lines) list += l + "\r\n";
    const std::string listPath = work.WriteFile("bar.txt", list);
    const fs::path folder = fs::path(work.Path()) / "images";
    fs::create_directory(folder);

    X11Probe x;
    ASSERT_TRUE(x.Connected());
    Xdotool("mousemove 600 500");
    // Both dialogs open in the work folder: the list's in the program's
    // working folder, the folder question in its home. So only names are
    // typed. A whole path typed key by key races the dialog's completion,
    // which on a busy machine rewrote it (to "bar.txt.txt", say) before the
    // Return.
    const fs::path testFolder = fs::current_path();
    fs::current_path(work.Path());
    ProgramCopy program(runtime_, {"HOME=" + work.Path()});
    fs::current_path(testFolder);
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(x.WaitViewable("Zeltrix", 20000)) << "no splash";
    ASSERT_TRUE(x.WaitGone("Zeltrix", 60000));

    // The bar shows when the pointer touches the top row of the screen.
    Xdotool("mousemove 600 0");
    ASSERT_TRUE(WaitUntil([&] { return BarShown(x); }, 20000)) << "the bar does not show at the top edge";
    const auto bar = *x.FindViewable("Form1");
    const int buttonX = bar.width - 35;

    // Load (third button) takes the list through a file dialog.
    Xdotool("mousemove " + std::to_string(buttonX) + " 42 click 1");
    ASSERT_TRUE(x.WaitViewable("Open", 10000)) << "Load shows no file dialog";
    ASSERT_TRUE(AnswerFileDialog(x, "Open", fs::path(listPath).filename().string()))
        << "the list file dialog did not take the path";

    // Download (fourth button) asks for the folder, then writes the images. An
    // error box of Load would come before the folder dialog.
    Xdotool("mousemove " + std::to_string(buttonX) + " 0");
    ASSERT_TRUE(WaitUntil([&] { return BarShown(x); }, 10000)) << "the bar hid after Load";
    Xdotool("mousemove " + std::to_string(buttonX) + " 58 click 1");
    ASSERT_TRUE(WaitUntil([&] { return x.FindViewable(kFolderTitle) || x.FindViewable("Zeltrix"); }, 10000))
        << "Download shows no folder dialog";
    ASSERT_FALSE(x.FindViewable("Zeltrix")) << "Load reported an error";
    ASSERT_TRUE(AnswerFileDialog(x, kFolderTitle, folder.filename().string()))
        << "the folder dialog did not take the path";

    const std::set<std::string> expected{"pic.jpg", "pic(1).jpg", "shot.png", "moved.png"};
    std::set<std::string> names;
    bool failed = false;
    auto complete = [&] {
        failed = failed || x.FindViewable("Zeltrix");
        names.clear();
        for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
        return failed ||
               (names == expected && ReadAll(folder / "pic.jpg") == a && ReadAll(folder / "pic(1).jpg") == b &&
                ReadAll(folder / "shot.png") == c && ReadAll(folder / "moved.png") == c);
    };
    WaitUntil(complete, 20000);
    ASSERT_FALSE(failed) << "the download reported an error";
    ASSERT_EQ(names, expected);
    EXPECT_EQ(ReadAll(folder / "pic.jpg"), a);
    EXPECT_EQ(ReadAll(folder / "shot.png"), c);
    EXPECT_EQ(ReadAll(folder / "pic(1).jpg"), b);
    EXPECT_EQ(ReadAll(folder / "moved.png"), c);
}

}  // namespace
}  // namespace zx::test
