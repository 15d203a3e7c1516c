#pragma once
// A scriptable platform for tests: put the pointer somewhere, queue the
// answers of the next questions and dialogs, read what was shown or opened.
#include <deque>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zx {

// How a failed comparison shows a message box.
inline void PrintTo(const MessageDialogRequest& box, std::ostream* os) {
    *os << "{\"" << box.text << "\", \"" << box.caption << "\", buttons " << static_cast<int>(box.buttons) << ", icon "
        << static_cast<int>(box.icon) << ", default " << static_cast<int>(box.defaultButton) << ", escape "
        << static_cast<int>(box.escapeButton) << "}";
}

class FakePlatform : public Platform {
public:
    // Steering.
    Point pointer;
    bool pointerReadable = true;
    bool capture = false;
    bool buttonHeld = false;  // a button held anywhere, by us or another program
    bool sessionLocked = false;
    bool nested = false;  // an X server inside a Wayland session
    int screenWidth = 1024;
    Point primaryOrigin;  // the primary monitor's top-left corner
    // Answers of the next message boxes; when empty, the default button.
    std::deque<DialogAnswer> answers;
    std::deque<std::optional<std::string>> saveDialogAnswers;
    std::deque<std::optional<std::string>> openDialogAnswers;
    std::deque<std::optional<std::string>> folderAnswers;
    std::map<std::string, std::string> origins;  // local path -> web address it came from

    // What happened.
    std::vector<MessageDialogRequest> shownBoxes;
    std::vector<FileDialogRequest> saveDialogs, openDialogs;
    std::vector<std::string> folderDialogs;
    std::vector<std::string> opened;  // web pages opened, as handed to the browser
    std::string clipboard;
    int clipboardWrites = 0;
    std::vector<WindowId> notified;  // running copies notified
    int pointerReads = 0;
    int pageReleases = 0;  // library code pages handed back
    int topEdgeWatches = 0;

    std::optional<Point> PointerPosition() override;
    bool PointerCapturedByUs() override { return capture; }
    bool MouseButtonHeld() override { return buttonHeld || capture; }
    bool SessionLocked() override { return sessionLocked; }
    Rect PrimaryScreen() override { return Rect{primaryOrigin.X, primaryOrigin.Y, screenWidth, 768}; }
    void WatchTopEdge() override { ++topEdgeWatches; }
    bool DisplayNested() override { return nested; }
    DialogAnswer MessageDialog(const MessageDialogRequest& request) override;
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> FolderDialog(const std::string& title) override;
    void OpenWebPage(const std::string& address) override { opened.push_back(address); }
    void SetClipboardText(const std::string& text) override {
        clipboard = text;
        ++clipboardWrites;
    }
    std::optional<std::string> OriginUrl(const std::string& localPath) override;
    void RecordOriginUrl(const std::string& localPath, const std::string& url) override { origins[localPath] = url; }
    // No named objects: the mutex does nothing and the memory cannot be had.
    // Tests of what is built on them use the real ones.
    std::unique_ptr<ProcessMutex> OpenProcessMutex(const std::string&) override { return nullptr; }
    std::unique_ptr<ProcessSharedMemory> OpenSharedMemory(const std::string&, size_t) override { return nullptr; }
    bool NotifyRunningCopy(WindowId window) override {
        notified.push_back(window);
        return false;
    }
    void ReleaseLibraryCodePages() override { ++pageReleases; }
};

// Installs a platform for the life of a scope and restores the previous one.
template <class P = FakePlatform>
class ScopedPlatform {
public:
    ScopedPlatform() : previous_(SetPlatform(&fake_)) {}
    ~ScopedPlatform() { SetPlatform(previous_); }
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;
    P* operator->() { return &fake_; }
    P& get() { return fake_; }

private:
    P fake_;
    Platform* previous_;
};
using ScopedFakePlatform = ScopedPlatform<>;

}  // namespace zx
