#include "bar/key_hook.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

#include "bar/form1.h"

namespace zx {

ArrowKeyHook::ArrowKeyHook(QObject* parent, std::function<std::vector<QWidget*>()> windows,
                           std::function<bool(Qt::Key)> onKey)
    : QObject(parent), windows_(std::move(windows)), onKey_(std::move(onKey)) {
    if (qApp) qApp->installEventFilter(this);
}

ArrowKeyHook::~ArrowKeyHook() {
    if (qApp) qApp->removeEventFilter(this);
}

bool ArrowKeyHook::InWatchedWindow(QObject* receiver) const {
    // A key reaches the top-level window first (a QWindow), then the focused
    // widget; either may be the first to show it to the hook.
    QWidget* window = nullptr;
    if (receiver->isWidgetType()) {
        window = static_cast<QWidget*>(receiver)->window();
    } else if (receiver->isWindowType()) {
        for (QWidget* w : windows_())
            if (w && w->windowHandle() == receiver) return true;
        return false;
    } else {
        return false;
    }
    for (QWidget* w : windows_())
        if (w && w == window) return true;
    return false;
}

bool ArrowKeyHook::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride) return false;
    const auto key = static_cast<Qt::Key>(static_cast<QKeyEvent*>(event)->key());
    if ((key != Qt::Key_Left && key != Qt::Key_Right) || !InWatchedWindow(watched)) return false;
    // The override request only asks whether the control wants the key; it
    // is eaten so that the key press follows, and the press is decided here.
    if (type == QEvent::ShortcutOverride) return true;
    return onKey_(key);
}

}  // namespace zx
