#pragma once
// Exceptions must not cross the GUI toolkit's event loop or the web engine.
// The application runs every event it dispatches inside RunHandler, which
// reports an escaping exception through the installed reporter (the error
// box) and lets the loop go on; so do the few places the toolkit or the
// engine calls into the program outside an event.
#include <exception>
#include <functional>
#include <utility>

namespace zx {

using ExceptionReporter = std::function<void(const std::exception&)>;

// Installs the reporter; returns the previous one.
ExceptionReporter SetExceptionReporter(ExceptionReporter reporter);
void ReportException(const std::exception& e);

template <class F>
void RunHandler(F&& handler) {
    try {
        std::forward<F>(handler)();
    } catch (const std::exception& e) {
        ReportException(e);
    }
}

}  // namespace zx
