#pragma once
// What the program needs of the desktop, behind one small interface: the
// program installs the Linux implementation (Qt, POSIX, D-Bus, X11), tests
// install the fake and steer it. Named mutexes and shared memory live in
// named_objects.h: they are plain POSIX and are tested across real processes.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zx {

struct Point {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// A rectangle in the pointer's coordinates.
struct Rect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

enum class MsgButtons { Ok, YesNo, YesCancel };
enum class MsgAnswer { None, Ok, Yes, No, Cancel };
enum class MsgIcon { None, Information, Warning, Error, Question };

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    MsgAnswer defaultButton = MsgAnswer::None;  // None: the first button
    MsgAnswer escapeButton = MsgAnswer::None;   // None: the last button
};

struct FileDialogRequest {
    std::string defaultExt;  // appended (with ".") to a name typed without one
    std::string filter;      // "Text Files|*.txt|All Files|*.*"
};

// One entry of the URL cache: a local file and the web address it came from.
struct UrlCacheEntry {
    std::string localFileName;
    std::string sourceUrl;
};

// Opaque handle of a top-level window as other processes see it (X11 window id).
using WindowHandle = uint64_t;

class Platform {
public:
    virtual ~Platform() = default;

    // Pointer and screen.
    virtual bool GetCursorPos(Point& p) = 0;
    // True while a mouse button pressed over one of our windows is held.
    virtual bool GuiThreadHoldsCapture() = 0;
    // False while the session is locked (the input goes elsewhere).
    virtual bool InputDesktopAvailable() = 0;
    // The primary monitor, which need not start at (0, 0): on X11 another
    // monitor may lie left of it or above it.
    virtual Rect PrimaryScreen() = 0;

    // Modal dialogs.
    virtual MsgAnswer MessageBox(const MessageBoxRequest& request) = 0;
    virtual std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) = 0;
    // A modal chooser of existing directories, no new-folder button.
    virtual std::optional<std::string> BrowseForFolder(const std::string& title) = 0;

    // The shell's "open" of a web address; the result is not examined.
    virtual void ShellOpen(const std::string& address) = 0;

    virtual void SetClipboardText(const std::string& text) = 0;
    virtual std::string ClipboardText() = 0;

    // The URL-cache entries that may name `localPath`. Linux has no system
    // cache: the entry comes from the freedesktop origin attribute that web
    // browsers put on the files they save.
    virtual std::vector<UrlCacheEntry> UrlCacheEntries(const std::string& localPath) = 0;

    // Sends message `msg` to the window synchronously and returns its result;
    // nullopt when the window does not exist or did not answer in time.
    virtual std::optional<intptr_t> SendWindowMessage(WindowHandle window, uint32_t msg, uintptr_t wparam,
                                                      intptr_t lparam) = 0;
};

// The installed implementation. The program installs the Linux one in main.
Platform& platform();
// Installs `p` (not owned); returns the previous one.
Platform* SetPlatform(Platform* p);

// Shell "open" takes a bare host name as http://host.
std::string ShellAddress(const std::string& address);

}  // namespace zx
