#pragma once
// What the program needs of the desktop, behind one small interface: the
// program installs the Linux implementation (Qt, POSIX, D-Bus, X11), tests
// install the fake and steer it.
#include <cstddef>
#include <cstdint>
#include <memory>
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

    bool operator==(const MessageBoxRequest&) const = default;
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

// A mutex shared by the processes of one user, found by its name. Recursive
// for the thread that holds it; a holder that dies frees it.
class ProcessMutex {
public:
    virtual ~ProcessMutex() = default;
    // Waits for other processes with a bound, then counts as taken (see the
    // implementation). Each Lock needs one Unlock on the same thread.
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

// A fixed-size block of memory shared by name; it lives while any process
// holds it, and a block whose holders all ended starts again from zeroes.
class ProcessSharedMemory {
public:
    virtual ~ProcessSharedMemory() = default;
    // True when the block was made anew (zero-filled) for this holder.
    virtual bool Created() const = 0;
    // Maps `size` bytes from offset 0; nullptr when that cannot be done.
    virtual void* MapView(size_t size) = 0;
    virtual void UnmapView(void* address) = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Pointer and screen.
    virtual bool GetCursorPos(Point& p) = 0;
    // True while a press that began in one of our windows holds the pointer:
    // its window is still shown and the button has not been released.
    virtual bool GuiThreadHoldsCapture() = 0;
    // True while the display reports a mouse button held, wherever it was
    // pressed: also a drag that another program is carrying out.
    virtual bool MouseButtonHeld() = 0;
    // False while the session is locked (the input goes elsewhere).
    virtual bool InputDesktopAvailable() = 0;
    // The primary monitor, which need not start at (0, 0): on X11 another
    // monitor may lie left of it or above it.
    virtual Rect PrimaryScreen() = 0;
    // Makes sure that the pointer touching the primary monitor's top row is
    // seen, over whatever window lies there: in a Wayland session the X
    // server hears of the pointer only over X11 windows. Called whenever the
    // bar hides; raises what watches the row above every window.
    virtual void WatchTopEdge() = 0;
    // True when the X server runs inside a Wayland session, whose window
    // managers place, tile and frame windows by rules of their own: a window
    // that must stand where the program puts it goes past the manager there.
    virtual bool DisplayNested() = 0;

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
    // Records where a file the program wrote came from, so that the lookup
    // above (ours or a browser's) finds it; on Linux the same origin attribute.
    // A file system that keeps no such attribute is no error: nothing is kept.
    virtual void AddUrlCacheEntry(const UrlCacheEntry& entry) = 0;

    // The mutex called `name`, created when missing; nullptr when it cannot
    // be opened (locking then does nothing).
    virtual std::unique_ptr<ProcessMutex> OpenMutex(const std::string& name) = 0;
    // The block called `name`, created zero-filled with `size` bytes when no
    // live process holds it; nullptr when neither works.
    virtual std::unique_ptr<ProcessSharedMemory> OpenSharedMemory(const std::string& name, size_t size) = 0;

    // Tells the running copy, whose bar is `window`, that another copy was
    // started, and waits for its answer; false when the window does not
    // exist or did not answer in time.
    virtual bool NotifyRunningCopy(WindowHandle window) = 0;

    // Hands back to the system the memory of code and constant data that
    // the program has run and may not need again (start-up, a burst of page
    // loads); what is used again comes back by itself.
    virtual void TrimWorkingSet() = 0;
};

// The installed implementation. The program installs the Linux one in main.
Platform& platform();
// Installs `p` (not owned); returns the previous one.
Platform* SetPlatform(Platform* p);

// The program's questions: a box captioned "Confirm" with the question icon
// and Yes/No or Yes/Cancel; true only when the answer is Yes.
bool Confirm(const std::string& text, MsgButtons buttons, MsgAnswer defaultButton = MsgAnswer::None,
             MsgAnswer escapeButton = MsgAnswer::None);

// Shell "open" takes a bare host name as http://host.
std::string ShellAddress(const std::string& address);

}  // namespace zx
