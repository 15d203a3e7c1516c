#include "platform/linux/dialog_placement.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QScreen>
#include <QWindow>
#include <algorithm>

#include "platform/linux/window_hints.h"

namespace zx {
namespace {

// The root window as the toolkit's foreign window. A dialog transient for
// the root is, by long convention of X11 window managers, a transient of
// its whole window group.
QWindow* RootWindow() {
    static QWindow* root = []() -> QWindow* {
        xcb_connection_t* c = X11Connection();
        if (!c) return nullptr;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        return screen ? QWindow::fromWinId(screen->root) : nullptr;
    }();
    return root;
}

bool StaysOnTop(const QWidget& w) {
    if (w.windowFlags().testFlag(Qt::WindowStaysOnTopHint)) return true;
    const QWindow* parent = w.windowHandle() ? w.windowHandle()->transientParent() : nullptr;
    if (!parent) return false;
    for (const QWidget* other : QApplication::topLevelWidgets())
        if (other->windowHandle() == parent) return other->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    return false;
}

// Raises the dialog again after the program has shown (and raised) one of
// its windows that stay on top, which the bar's tick does while the dialog is
// open: not every window manager keeps a dialog above a window of its group
// that is raised.
class RaiseAfterOthers : public QObject {
    Q_OBJECT

public:
    explicit RaiseAfterOthers(QWidget& dialog) : QObject(&dialog), dialog_(dialog) { qApp->installEventFilter(this); }
    ~RaiseAfterOthers() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if ((type != QEvent::Show && type != QEvent::Expose) || !dialog_.isVisible()) return false;
        // Shown, and again once mapped: the marks written on a window as it
        // maps (its transient relation) may make the window manager restack
        // it.
        const QWidget* shown = nullptr;
        if (type == QEvent::Show && watched->isWidgetType()) shown = static_cast<QWidget*>(watched);
        if (type == QEvent::Expose && watched->isWindowType())
            // A transient of the shown window that stays on top (the bar) is kept
            // above it and in its layer by every window manager; with none shown, a
            // transient of the whole window group.
            for (const QWidget* w : QApplication::topLevelWidgets())
                if (w->windowHandle() == watched) shown = w;
        if (!shown || shown == &dialog_ || !shown->isWindow() || !StaysOnTop(*shown)) return false;
        // After whoever showed it has raised it too.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (dialog_.isVisible()) dialog_.raise();
            },
            Qt::QueuedConnection);
        return false;
    }

private:
    QWidget& dialog_;
};

}  // namespace

void KeepAboveProgram(QWidget& dialog) {
    if (qApp) new RaiseAfterOthers(dialog);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // A transient of the shown window that stays on top (the bar) is kept
    // above it and in its layer by every window manager; with none shown, a
    // transient of the whole window group.
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w != &dialog && w->isVisible() && w->windowFlags().testFlag(Qt::WindowStaysOnTopHint) &&
            w->windowHandle()) {
            dialog.winId();
            dialog.windowHandle()->setTransientParent(w->windowHandle());
            return;
        }
    if (QWindow* root = RootWindow()) {
        dialog.winId();  // the native window, whose transient parent is written as it maps
        if (QWindow* handle = dialog.windowHandle()) handle->setTransientParent(root);
    }
}

void PlaceOnPrimary(QWidget& dialog) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    // The whole window with its frame, which the move below places.
    const QMargins frame = ExpectedFrame(dialog);
    QRect place(QPoint(0, 0), dialog.size().grownBy(frame));
    place.moveCenter(area.center());
    // Below the rows of the windows that stay on top and show now (the bar,
    // the preview), while the monitor has room; centred when none shows.
    for (bool moved = true; moved;) {
        moved = false;
        for (const QWidget* w : QApplication::topLevelWidgets()) {
            if (w == &dialog || w->isModal() || !StaysOnTop(*w) || !w->isVisible()) continue;
            const QRect other = w->frameGeometry();
            const bool rows = other.top() <= place.bottom() && place.top() <= other.bottom();
            if (!rows || other.right() < area.left() || other.left() > area.right()) continue;
            if (other.bottom() + 1 + place.height() > area.bottom() + 1) continue;
            place.moveTop(other.bottom() + 1);
            moved = true;
        }
    }
    // Whole on the monitor.
    place.moveLeft(std::clamp(place.left(), area.left(), std::max(area.left(), area.right() + 1 - place.width())));
    place.moveTop(std::clamp(place.top(), area.top(), std::max(area.top(), area.bottom() + 1 - place.height())));
    // The toolkit moves the frame of a window whose frame it knows, and the
    // window itself before it has learnt the frame.
    const bool frameKnown = dialog.frameGeometry() != dialog.geometry();
    dialog.move(place.topLeft() + (frameKnown ? QPoint() : QPoint(frame.left(), frame.top())));
}

}  // namespace zx

#include "dialog_placement.moc"
