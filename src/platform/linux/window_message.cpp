#include "platform/linux/window_message.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/linux/log_categories.h"
#include "platform/linux/window_hints.h"

namespace zx {

// A message travels as an X ClientMessage of this type to the target window,
// carrying (msg, 0, 0, reply window) as 32-bit words; the answer comes back as
// a ClientMessage of the same type to the reply window, carrying (result,
// msg). The only message sent is the instance notification.
namespace {

// Both fixed by the protocol between copies of the program: the sender and
// the running copy must agree on them.
constexpr char kMessageAtom[] = "_ZELTRIX_WINDOW_MESSAGE";
constexpr uint32_t kInstanceNotification = 1025;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t InternMessageAtom(xcb_connection_t* c) {
    auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(kMessageAtom)), kMessageAtom);
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

bool RequestFailed(xcb_connection_t* c, xcb_void_cookie_t cookie) {
    XcbReply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
    return error != nullptr;
}

// The sender's own connection: the answer arrives as an event for a window
// of the sender's, and the toolkit's connection (X11Connection) hands its
// events to the toolkit's event loop, which a copy that is about to end does
// not run. A second copy may also have no application object yet.
class Connection {
public:
    Connection() : c_(xcb_connect(nullptr, &screen_)) {}
    ~Connection() { xcb_disconnect(c_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    xcb_connection_t* get() const { return c_; }
    bool Ok() const { return xcb_connection_has_error(c_) == 0; }
    xcb_window_t Root() const {
        auto it = xcb_setup_roots_iterator(xcb_get_setup(c_));
        for (int i = 0; i < screen_ && it.rem; ++i) xcb_screen_next(&it);
        return it.rem ? it.data->root : xcb_window_t{XCB_WINDOW_NONE};
    }

private:
    int screen_ = 0;
    xcb_connection_t* c_;
};

// Waits for the answer on the reply window; nullopt when the target goes
// away, the connection breaks or the time limit passes.
std::optional<intptr_t> AwaitAnswer(xcb_connection_t* c, xcb_atom_t atom, xcb_window_t target, xcb_window_t reply,
                                    std::chrono::milliseconds timeLimit) {
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    for (;;) {
        while (xcb_generic_event_t* raw = xcb_poll_for_event(c)) {
            XcbReply<xcb_generic_event_t> event(raw);
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_CLIENT_MESSAGE) {
                auto* m = reinterpret_cast<xcb_client_message_event_t*>(raw);
                if (m->window == reply && m->type == atom && m->format == 32) {
                    return static_cast<intptr_t>(static_cast<int32_t>(m->data.data32[0]));
                }
            } else if (type == XCB_DESTROY_NOTIFY) {
                if (reinterpret_cast<xcb_destroy_notify_event_t*>(raw)->window == target) return std::nullopt;
            }
        }
        if (xcb_connection_has_error(c)) return std::nullopt;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&p, 1, static_cast<int>(left.count() > 1000 ? 1000 : left.count()));
    }
}

// Any client of the display can send such a message, with any words in it.
// Only a well-formed notification gets an answer, and only to a window of
// another client: the reply window 0 (the pointer's window) or 1 (the focus)
// would send the answer to whatever window is under the pointer or has the
// focus, and one of ours would hand the answer back to this filter. A
// client that floods gets a few answers a second at most.
class WindowMessageFilter : public QAbstractNativeEventFilter {
public:
    WindowMessageFilter(xcb_connection_t* c, xcb_atom_t atom) : c_(c), atom_(atom) {
        const xcb_setup_t* setup = xcb_get_setup(c);
        idBase_ = setup->resource_id_base;
        idMask_ = setup->resource_id_mask;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
        auto* m = reinterpret_cast<xcb_client_message_event_t*>(event);
        if (m->type != atom_) return false;
        // Every message of this type stops here, answered or not.
        if (m->format != 32) return true;
        const uint32_t* words = m->data.data32;
        const xcb_window_t reply = words[3];
        if (words[0] != kInstanceNotification || words[1] != 0 || words[2] != 0 || words[4] != 0) return true;
        if (reply <= 1 || reply > 0x1FFFFFFF || (reply & ~idMask_) == idBase_) return true;
        if (!WithinRate()) return true;
        // The program has no handler for the notification: it gets the
        // default answer 0 and changes nothing.
        xcb_client_message_event_t answer{};
        answer.response_type = XCB_CLIENT_MESSAGE;
        answer.format = 32;
        answer.window = reply;
        answer.type = atom_;
        answer.data.data32[0] = 0;
        answer.data.data32[1] = kInstanceNotification;
        // A reply window that is gone already only costs an error event,
        // which nobody waits for.
        xcb_send_event(c_, 0, reply, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&answer));
        xcb_flush(c_);
        return true;
    }

private:
    // At most kAnswersPerSecond answers in any one second.
    bool WithinRate() {
        const auto now = std::chrono::steady_clock::now();
        if (now - windowStart_ >= std::chrono::seconds(1)) {
            windowStart_ = now;
            answered_ = 0;
        }
        return answered_++ < kAnswersPerSecond;
    }

    static constexpr int kAnswersPerSecond = 20;
    xcb_connection_t* c_;
    xcb_atom_t atom_;
    uint32_t idBase_ = 0;
    uint32_t idMask_ = 0;
    std::chrono::steady_clock::time_point windowStart_{};
    int answered_ = 0;
};

}  // namespace

std::optional<intptr_t> SendInstanceNotification(WindowId window, std::chrono::milliseconds timeLimit) {
    const auto unsent = [window](const char* why) -> std::optional<intptr_t> {
        qCDebug(lcWindowMessage, "no notification sent to window %llu: %s", static_cast<unsigned long long>(window),
                why);
        return std::nullopt;
    };
    // X window ids are 29-bit; 0 and anything wider name no window.
    if (window == 0 || window > 0xFFFFFFFFu) return unsent("no window id");
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return unsent("no DISPLAY");
    Connection conn;
    if (!conn.Ok()) return unsent("the display cannot be reached");
    xcb_connection_t* c = conn.get();
    const auto target = static_cast<xcb_window_t>(window);

    // Watching the target for its destruction first is also the test that it
    // exists: a window that does not fails with BadWindow.
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    if (RequestFailed(c, xcb_change_window_attributes_checked(c, target, XCB_CW_EVENT_MASK, &mask))) {
        return unsent("no such window");
    }
    const xcb_atom_t atom = InternMessageAtom(c);
    const xcb_window_t root = conn.Root();
    if (atom == XCB_ATOM_NONE || root == XCB_WINDOW_NONE) return unsent("the display lacks an atom or a root");

    const xcb_window_t reply = xcb_generate_id(c);
    xcb_create_window(c, 0, reply, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = target;
    event.type = atom;
    event.data.data32[0] = kInstanceNotification;
    event.data.data32[3] = reply;
    // An empty event mask delivers the event to the client that created the
    // target window: the receiving program.
    std::optional<intptr_t> result;
    if (!RequestFailed(
            c, xcb_send_event_checked(c, 0, target, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event)))) {
        result = AwaitAnswer(c, atom, target, reply, timeLimit);
        if (!result) qCDebug(lcWindowMessage, "window %u did not answer the notification", target);
    } else {
        qCDebug(lcWindowMessage, "the notification to window %u could not be sent", target);
    }
    xcb_destroy_window(c, reply);
    xcb_flush(c);
    return result;
}

void InstallWindowMessageReceiver() {
    static WindowMessageFilter* installed = nullptr;
    if (installed) return;
    xcb_connection_t* c = QGuiApplication::platformName() == QLatin1String("xcb") ? X11Connection() : nullptr;
    if (!c) {
        qCDebug(lcWindowMessage, "no X server: other copies cannot notify this one");
        return;
    }
    const xcb_atom_t atom = InternMessageAtom(c);
    if (atom == XCB_ATOM_NONE) {
        qCDebug(lcWindowMessage, "no message atom: other copies cannot notify this one");
        return;
    }
    installed = new WindowMessageFilter(c, atom);
    QCoreApplication::instance()->installNativeEventFilter(installed);
}

}  // namespace zx
