#pragma once
// A scriptable platform for tests: put the pointer somewhere, queue the
// answers of the next questions and dialogs, read what was shown or opened.
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zx {

class FakePlatform : public Platform {
public:
    // Steering.
    Point cursor;
    bool cursorReadable = true;
    bool capture = false;
    bool inputDesktop = true;
    int screenWidth = 1024;
    Point primaryOrigin;  // the primary monitor's top-left corner
    // Answers of the next message boxes; when empty, the default button.
    std::deque<MsgAnswer> answers;
    std::deque<std::optional<std::string>> saveDialogAnswers;
    std::deque<std::optional<std::string>> openDialogAnswers;
    std::deque<std::optional<std::string>> folderAnswers;
    std::vector<UrlCacheEntry> urlCache;
    std::map<WindowHandle, intptr_t> windows;  // windows that answer messages

    // What happened.
    std::vector<MessageBoxRequest> shownBoxes;
    std::vector<FileDialogRequest> saveDialogs, openDialogs;
    std::vector<std::string> folderDialogs;
    std::vector<std::string> opened;  // shell opens, as handed to the shell
    std::string clipboard;
    int clipboardWrites = 0;
    struct SentMessage {
        WindowHandle window;
        uint32_t msg;
    };
    std::vector<SentMessage> sentMessages;
    int cursorReads = 0;

    bool GetCursorPos(Point& p) override;
    bool GuiThreadHoldsCapture() override { return capture; }
    bool InputDesktopAvailable() override { return inputDesktop; }
    Rect PrimaryScreen() override { return Rect{primaryOrigin.X, primaryOrigin.Y, screenWidth, 768}; }
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
    std::optional<intptr_t> SendWindowMessage(WindowHandle window, uint32_t msg, uintptr_t wparam,
                                              intptr_t lparam) override;
};

// Installs a fake for the life of a scope and restores the previous platform.
class ScopedFakePlatform {
public:
    ScopedFakePlatform() : previous_(SetPlatform(&fake_)) {}
    ~ScopedFakePlatform() { SetPlatform(previous_); }
    ScopedFakePlatform(const ScopedFakePlatform&) = delete;
    ScopedFakePlatform& operator=(const ScopedFakePlatform&) = delete;
    FakePlatform* operator->() { return &fake_; }
    FakePlatform& get() { return fake_; }

private:
    FakePlatform fake_;
    Platform* previous_;
};

}  // namespace zx
