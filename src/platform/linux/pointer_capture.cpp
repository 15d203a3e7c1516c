#include "platform/linux/pointer_capture.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>
#include <cstdlib>

#include "platform/linux/window_hints.h"

namespace zx {

std::optional<bool> ServerReportsButtonDown() {
    xcb_connection_t* c = X11Connection();
    if (!c) return std::nullopt;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen) return std::nullopt;
    xcb_query_pointer_reply_t* reply = xcb_query_pointer_reply(c, xcb_query_pointer(c, screen->root), nullptr);
    if (!reply) return std::nullopt;
    constexpr uint16_t kButtons =
        XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3 | XCB_BUTTON_MASK_4 | XCB_BUTTON_MASK_5;
    const bool down = (reply->mask & kButtons) != 0;
    std::free(reply);
    return down;
}

PointerCapture::PointerCapture() {
    if (qApp) qApp->installEventFilter(this);
}

PointerCapture::~PointerCapture() {
    if (qApp) qApp->removeEventFilter(this);
}

bool PointerCapture::eventFilter(QObject* watched, QEvent* event) {
    // The filter also sees objects that are being destroyed: nothing is
    // asked of `watched` before the event is known to be a pointer event.
    switch (event->type()) {
        case QEvent::Hide:
            // The server ends a grab whose window is no longer viewable.
            if (watched == pressed_.data()) pressed_ = nullptr;
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            // The toolkit hands every pointer event to the top-level window first.
            if (watched->isWindowType()) pressed_ = static_cast<QWindow*>(watched);
            break;
        case QEvent::MouseButtonRelease:
            if (watched->isWindowType() && static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton)
                pressed_ = nullptr;
            break;
        default:
            break;
    }
    return false;
}

namespace {

// A window that a widget owns is shown when the widget is.
bool Shown(QWindow* window) {
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w->windowHandle() == window) return w->isVisible();
    return window->isVisible();
}

}  // namespace

bool PointerCapture::Held() {
    if (const QWidget* grabber = QWidget::mouseGrabber(); grabber && grabber->isVisible()) return true;
    if (!pressed_ || !Shown(pressed_)) return false;
    const std::optional<bool> down = ServerReportsButtonDown();
    // Without an X server to ask, the toolkit's belief stands.
    if (!down) return QGuiApplication::mouseButtons() != Qt::NoButton;
    if (!*down) pressed_ = nullptr;
    return *down;
}

}  // namespace zx
