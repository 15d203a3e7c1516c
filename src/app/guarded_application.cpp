#include "app/guarded_application.h"

namespace zx {

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    RunHandler([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

}  // namespace zx
