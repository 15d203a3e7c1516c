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

    std::optional<Point> PointerPosition() override;
    bool PointerCapturedByUs() override;
    bool MouseButtonHeld() override;
    bool SessionLocked() override;
    Rect PrimaryScreen() override;
    void WatchTopEdge() override;
    bool DisplayNested() override;
    DialogAnswer MessageDialog(const MessageDialogRequest& request) override;
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> FolderDialog(const std::string& title) override;
    void OpenWebPage(const std::string& address) override;
    void SetClipboardText(const std::string& text) override;
    std::optional<std::string> OriginUrl(const std::string& localPath) override;
    void RecordOriginUrl(const std::string& localPath, const std::string& url) override;
    std::unique_ptr<ProcessMutex> OpenProcessMutex(const std::string& name) override;
    std::unique_ptr<ProcessSharedMemory> OpenSharedMemory(const std::string& name, size_t size) override;
    bool NotifyRunningCopy(WindowId window) override;
    void ReleaseLibraryCodePages() override;

private:
    std::unique_ptr<SessionLockWatcher> lock_;
    std::unique_ptr<PointerCapture> capture_;
    std::unique_ptr<EdgeSensor> edge_;
    bool childrenMayTalk_;
};

// Reads the freedesktop origin attribute ("user.xdg.origin.url") of the file
// at the absolute path `localPath`; nullopt when there is none, or none that
// can be a web address.
std::optional<std::string> ReadOriginAttribute(const std::string& localPath);
// Writes it; false when the file or its file system refuses.
bool WriteOriginAttribute(const std::string& localPath, const std::string& url);

}  // namespace zx
