#pragma once
// The platform the program runs on: Qt for the pointer, screens, dialogs,
// clipboard and shell; D-Bus for the session lock; extended attributes for
// the origin of saved files; X11 for messages between processes; files for the
// named mutex and shared memory.
#include <memory>

#include "platform/platform.h"

namespace zx {

class EdgeSensor;
class PointerCapture;
class SessionLockWatcher;

class LinuxPlatform : public Platform {
public:
    // `childrenMayTalk`: programs it starts (the browser) keep the program's
    // standard output and error; otherwise theirs go nowhere.
    explicit LinuxPlatform(bool childrenMayTalk = false);
    ~LinuxPlatform() override;

    bool GetCursorPos(Point& p) override;
    bool GuiThreadHoldsCapture() override;
    bool MouseButtonHeld() override;
    bool InputDesktopAvailable() override;
    Rect PrimaryScreen() override;
    void WatchTopEdge() override;
    bool DisplayNested() override;
    MsgAnswer MessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> BrowseForFolder(const std::string& title) override;
    void ShellOpen(const std::string& address) override;
    void SetClipboardText(const std::string& text) override;
    std::string ClipboardText() override;
    std::vector<UrlCacheEntry> UrlCacheEntries(const std::string& localPath) override;
    void AddUrlCacheEntry(const UrlCacheEntry& entry) override;
    std::unique_ptr<ProcessMutex> OpenMutex(const std::string& name) override;
    std::unique_ptr<ProcessSharedMemory> OpenSharedMemory(const std::string& name, size_t size) override;
    bool NotifyRunningCopy(WindowHandle window) override;
    void TrimWorkingSet() override;

private:
    std::unique_ptr<SessionLockWatcher> lock_;
    std::unique_ptr<PointerCapture> capture_;
    std::unique_ptr<EdgeSensor> edge_;
    bool childrenMayTalk_;
};

// Reads the freedesktop origin attribute ("user.xdg.origin.url") of a file.
std::vector<UrlCacheEntry> XattrUrlCacheEntries(const std::string& localPath);
// Writes it; false when the file or its file system refuses.
bool XattrAddUrlCacheEntry(const UrlCacheEntry& entry);

}  // namespace zx
