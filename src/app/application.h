#pragma once
// The application object: its title, and the error box for exceptions that
// leave an event handler.
#include <QApplication>
#include <exception>
#include <string>

#include "base/handler_guard.h"

namespace zx {

// Exceptions must not cross the toolkit's event loop: every event it
// dispatches, and so every handler of every window, runs inside RunHandler,
// the program's one exception net. The tests' application is one too.
class TGuardedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        bool handled = false;
        RunHandler([&] { handled = QApplication::notify(receiver, event); });
        return handled;
    }
};

class TApplication : public TGuardedApplication {
public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);

    // The error box: message (with "." added by the rule), the title as
    // caption, an error icon, OK.
    void ShowException(const std::exception& e);

private:
    std::string title_;
};

}  // namespace zx
