#pragma once
// The application object's exception net, which the program and the tests'
// application share.
#include <QApplication>

#include "base/handler_guard.h"

namespace zx {

// Exceptions must not cross the toolkit's event loop: every event it
// dispatches, and so every handler of every window, runs inside RunHandler,
// the program's one exception net. The tests' application is one too.
class GuardedApplication : public QApplication {
    Q_OBJECT

public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace zx
