#pragma once
// A scriptable platform for tests: put the pointer somewhere, queue the
// answers of the next questions and dialogs, read what was shown or opened.
#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zx {

// How a failed comparison shows a message box.
inline void PrintTo(const MessageBoxRequest& box, std::ostream* os) {
    *os << "{\"" << box.text << "\", \"" << box.caption << "\", buttons " << static_cast<int>(box.buttons) << ", icon "
        << static_cast<int>(box.icon) << ", default " << static_cast<int>(box.defaultButton) << ", escape "
        << static_cast<int>(box.escapeButton) << "}";
}

class FakePlatform : public Platform {
public:
    // Steering.
    Point cursor;
    bool cursorReadable = true;
    bool capture = false;
    bool buttonHeld = false;  // a button held anywhere, by us or another program
    bool inputDesktop = true;
    bool nested = false;  // an X server inside a Wayland session
    int screenWidth = 1024;
    Point primaryOrigin;  // the primary monitor's top-left corner
    // Answers of the next message boxes; when empty, the default button.
    std::deque<MsgAnswer> answers;
    std::deque<std::optional<std::string>> saveDialogAnswers;
    std::deque<std::optional<std::string>> openDialogAnswers;
    std::deque<std::optional<std::string>> folderAnswers;
    std::vector<UrlCacheEntry> urlCache;

    // What happened.
    std::vector<MessageBoxRequest> shownBoxes;
    std::vector<FileDialogRequest> saveDialogs, openDialogs;
    std::vector<std::string> folderDialogs;
    std::vector<std::string> opened;  // shell opens, as handed to the shell
    std::string clipboard;
    int clipboardWrites = 0;
    std::vector<WindowHandle> notified;  // running copies notified
    int cursorReads = 0;
    int trims = 0;  // working-set trims asked for
    int topEdgeWatches = 0;

    bool GetCursorPos(Point& p) override;
    bool GuiThreadHoldsCapture() override { return capture; }
    bool MouseButtonHeld() override { return buttonHeld || capture; }
    bool InputDesktopAvailable() override { return inputDesktop; }
    Rect PrimaryScreen() override { return Rect{primaryOrigin.X, primaryOrigin.Y, screenWidth, 768}; }
    void WatchTopEdge() override { ++topEdgeWatches; }
    bool DisplayNested() override { return nested; }
    MsgAnswer MessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> BrowseForFolder(const std::string& title) override;
    void ShellOpen(const std::string& address) override { opened.push_back(address); }
    void SetClipboardText(const std::string& text) override {
        clipboard = text;
        ++clipboardWrites;
    }
    std::string ClipboardText() override { return clipboard; }
    std::vector<UrlCacheEntry> UrlCacheEntries(const std::string& localPath) override;
    void AddUrlCacheEntry(const UrlCacheEntry& entry) override { urlCache.push_back(entry); }
    // No named objects: the mutex does nothing and the memory cannot be had.
    // Tests of what is built on them use the real ones.
    std::unique_ptr<ProcessMutex> OpenMutex(const std::string&) override { return nullptr; }
    std::unique_ptr<ProcessSharedMemory> OpenSharedMemory(const std::string&, size_t) override { return nullptr; }
    bool NotifyRunningCopy(WindowHandle window) override {
        notified.push_back(window);
        return false;
    }
    void TrimWorkingSet() override { ++trims; }
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
