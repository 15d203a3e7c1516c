#pragma once
// One copy of the program on a desktop of its own (an X server with openbox),
// driven by the pointer and keyboard: reveal the bar, click its buttons, load
// a bar list through the file dialog.
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/x11_probe.h"

namespace zx::test {

// One copy on a desktop of its own (an X server with openbox), driven by the
// pointer and keyboard into the state a row of the table asks for.
class Desk {
public:
    static constexpr int kWidth = 1024, kHeight = 768;

    // Starts the program on the desk's display: `start` is given the display
    // (":N"); by default a ProgramCopy with its named objects in `runtime`.
    using Start = std::function<std::unique_ptr<ChildProcess>(const std::string& display)>;
    explicit Desk(const std::filesystem::path& runtime, Start start = nullptr)
        : saved_(std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "") {
        server_ = std::make_unique<XServer>(kWidth, kHeight);
        if (!server_->Started()) return;
        // Xdotool and the probe work on this display while the desk lives.
        setenv("DISPLAY", server_->Display().c_str(), 1);
        wm_ = StartChild({"openbox", "--sm-disable"}, {}, kEndOnRequest);
        x_ = std::make_unique<X11Probe>();
        Xdotool("mousemove 500 500");
        if (start) {
            copy_ = start(server_->Display());
        } else {
            copy_ = std::make_unique<ProgramCopy>(runtime, std::vector<std::string>{"DISPLAY=" + server_->Display()});
        }
    }
    ~Desk() {
        copy_.reset();
        x_.reset();
        wm_.reset();
        server_.reset();
        setenv("DISPLAY", saved_.c_str(), 1);
    }
    Desk(const Desk&) = delete;
    Desk& operator=(const Desk&) = delete;

    ChildProcess& copy() { return *copy_; }
    X11Probe& x() { return *x_; }
    void TakeServerAway() { server_.reset(); }

    // The bar exists and the first tick has hidden it.
    void WaitForHiddenBar() {
        ASSERT_TRUE(server_->Started()) << "no X server";
        ASSERT_TRUE(WaitUntil([&] { return !x_->FindWindows("Form1").empty(); }, 90000)) << "no bar window";
        ASSERT_TRUE(x_->WaitGone("Zeltrix", 60000)) << "the splash stays";
        ASSERT_TRUE(WaitUntil([&] { return !x_->FindViewable("Form1"); }, 30000)) << "the bar did not hide";
    }
    // The pointer at the top row until the bar shows across the screen.
    void Reveal(int pointerX = 300) {
        ASSERT_TRUE(Xdotool("mousemove " + std::to_string(pointerX) + " 0"));
        ASSERT_TRUE(WaitUntil(
            [&] {
                auto bar = x_->FindViewable("Form1");
                return bar && bar->y == 0 && bar->width == kWidth;
            },
            10000))
            << "the bar does not reveal";
    }
    // Reveals the bar above the button at `y` (Load 42, Download 58) and clicks it.
    void ClickButton(int y) {
        ASSERT_NO_FATAL_FAILURE(Reveal(kWidth - 35));
        ASSERT_TRUE(Xdotool("mousemove " + std::to_string(kWidth - 35) + " " + std::to_string(y) + " click 1"));
    }
    // Loads a bar list with these lines through the Load button.
    void Load(const std::vector<std::string>& lines) {
        std::string list;
        for (const auto& line : lines) list += line + "\r\n";
        ASSERT_NO_FATAL_FAILURE(LoadFile(files_.WriteFile("bar.txt", list)));
    }
    void LoadFile(const std::string& path) {
        ASSERT_NO_FATAL_FAILURE(ClickButton(42));
        ASSERT_TRUE(AnswerFileDialog(*x_, "Open", path)) << "the list file dialog did not take the path";
    }
    const TempDir& files() const { return files_; }

private:
    std::string saved_;
    TempDir files_{"zx-ending-"};
    std::unique_ptr<XServer> server_;
    std::unique_ptr<ChildProcess> wm_;
    std::unique_ptr<X11Probe> x_;
    std::unique_ptr<ChildProcess> copy_;
};

}  // namespace zx::test
