#pragma once
// What the program needs of the desktop, behind one small interface: the
// program installs the Linux implementation (Qt, POSIX, D-Bus, X11), tests
// install the fake and steer it.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

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

enum class DialogButtons { Ok, YesNo, YesCancel };
enum class DialogAnswer { None, Ok, Yes, No, Cancel };
enum class DialogIcon { None, Information, Warning, Error, Question };

struct MessageDialogRequest {
    std::string text;
    std::string caption;
    DialogButtons buttons = DialogButtons::Ok;
    DialogIcon icon = DialogIcon::None;
    DialogAnswer defaultButton = DialogAnswer::None;  // None: the first button
    DialogAnswer escapeButton = DialogAnswer::None;   // None: the last button

    bool operator==(const MessageDialogRequest&) const = default;
};

struct FileDialogRequest {
    std::string defaultSuffix;  // appended (with ".") to a name typed without one
    // The file types offered, in the toolkit's syntax:
    // "Text Files (*.txt);;All Files (*)". The dialog shows their names only.
    std::string nameFilter;
};

// An X11 window id, as other processes see the window.
using WindowId = uint64_t;

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
    virtual void* Map(size_t size) = 0;
    virtual void Unmap(void* address) = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Pointer and screen.
    // Where the pointer is, in the X server's coordinates; nullopt when it
    // cannot be read.
    virtual std::optional<Point> PointerPosition() = 0;
    // True while a press that began in one of our windows holds the pointer:
    // its window is still shown and the button has not been released.
    virtual bool PointerCapturedByUs() = 0;
    // True while the display reports a mouse button held, wherever it was
    // pressed: also a drag that another program is carrying out.
    virtual bool MouseButtonHeld() = 0;
    // True while the session is locked (the input goes elsewhere).
    virtual bool SessionLocked() = 0;
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
    virtual DialogAnswer MessageDialog(const MessageDialogRequest& request) = 0;
    virtual std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) = 0;
    // A modal chooser of existing directories, no new-folder button.
    virtual std::optional<std::string> FolderDialog(const std::string& title) = 0;

    // Opens a web page in the user's browser; whether it opened is not
    // examined.
    virtual void OpenWebPage(const std::string& address) = 0;

    virtual void SetClipboardText(const std::string& text) = 0;

    // The web address a local file was saved from: the freedesktop origin
    // attribute that web browsers put on the files they save. nullopt when
    // the file has none, or none that is a web address.
    virtual std::optional<std::string> OriginUrl(const std::string& localPath) = 0;
    // Records where a file the program wrote came from, so that the lookup
    // above (ours or a browser's) finds it: the same origin attribute. A file
    // system that keeps no such attribute is no error: nothing is kept.
    virtual void RecordOriginUrl(const std::string& localPath, const std::string& url) = 0;

    // The mutex called `name`, created when missing; nullptr when it cannot
    // be opened (locking then does nothing).
    virtual std::unique_ptr<ProcessMutex> OpenProcessMutex(const std::string& name) = 0;
    // The block called `name`, created zero-filled with `size` bytes when no
    // live process holds it; nullptr when neither works.
    virtual std::unique_ptr<ProcessSharedMemory> OpenSharedMemory(const std::string& name, size_t size) = 0;

    // Tells the running copy, whose bar is `window`, that another copy was
    // started, and waits for its answer; false when the window does not
    // exist or did not answer in time.
    virtual bool NotifyRunningCopy(WindowId window) = 0;

    // Hands back to the system the memory of library code and constant data
    // that the program has run and may not need again (start-up, a burst of
    // page loads); what is used again comes back by itself.
    virtual void ReleaseLibraryCodePages() = 0;
};

// The installed implementation. The program installs the Linux one in main.
Platform& platform();
// Installs `p` (not owned); returns the previous one.
Platform* SetPlatform(Platform* p);

// The program's questions: a box captioned "Confirm" with the question icon
// and Yes/No or Yes/Cancel; true only when the answer is Yes.
bool Confirm(const std::string& text, DialogButtons buttons, DialogAnswer defaultButton = DialogAnswer::None,
             DialogAnswer escapeButton = DialogAnswer::None);

// The address OpenWebPage hands to the browser: a bare host name becomes
// http://host.
std::string WebPageAddress(const std::string& address);

}  // namespace zx
