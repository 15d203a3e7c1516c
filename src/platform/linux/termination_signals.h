#pragma once
// How the program ends when it is not the user who closes it. SIGTERM and
// SIGINT end it in order: every event loop ends (the nested ones of modal
// boxes, dialogs and drags too) and the main loop returns 0, as after a
// confirmed close, so that what follows it still runs. A blocking download
// stops at its next wait. The toolkit's own end of the process (it calls
// exit() when the X connection breaks) and a teardown that hangs are bounded
// too.
#include <chrono>
#include <functional>

class QObject;

namespace zx {

// Routes both signals through a socket pair into the event loops of the
// running QApplication; `parent` owns the watcher. Once a signal has come,
// the pair's read end stays readable: it is the socket transport's abort
// descriptor. A process that has not ended kTerminationBackstop after the
// first signal is ended by SIGALRM (it did not end in order).
void WatchTerminationSignals(QObject* parent);
inline constexpr std::chrono::seconds kTerminationBackstop{8};

// True once SIGTERM or SIGINT has come.
bool TerminationRequested();

// Ends the process with `code` once `limit` has passed, whatever it is doing
// then; also stops the signals' backstop, which this bound replaces.
void EndProcessWithin(std::chrono::milliseconds limit, int code);

// While it lives, an exit() called by a library (the toolkit's on a lost X
// connection) writes a line on standard error, runs `last` and then ends the
// process at once with kLibraryExitCode, before any library's teardown can
// hang.
inline constexpr int kLibraryExitCode = 1;
class ExitFromLibraryGuard {
public:
    explicit ExitFromLibraryGuard(std::function<void()> last);
    ~ExitFromLibraryGuard();
    ExitFromLibraryGuard(const ExitFromLibraryGuard&) = delete;
    ExitFromLibraryGuard& operator=(const ExitFromLibraryGuard&) = delete;
};

}  // namespace zx
