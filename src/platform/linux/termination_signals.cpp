#include "platform/linux/termination_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/linux/log_categories.h"
#include "platform/socket_transport.h"

namespace zx {
namespace {

int g_signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_requested = 0;

void OnSignal(int) {
    const int savedErrno = errno;  // the interrupted code may be reading it
    if (!g_requested) {
        g_requested = 1;
        // Whatever keeps the process from its orderly end, it ends.
        alarm(static_cast<unsigned>(kTerminationBackstop.count()));
    }
    // The byte is never read back: the read end stays readable for every
    // transfer's wait from now on.
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
    errno = savedErrno;
}

std::function<void()>& LastWordsBeforeExit() {
    static std::function<void()> last;
    return last;
}

void OnExit() {
    std::function<void()> last = std::exchange(LastWordsBeforeExit(), nullptr);
    if (!last) return;
    // No library ends the program on a good day: the toolkit does so when
    // the display went away. The user hears of it, and so does the shell.
    static constexpr char kLine[] = "zeltrix: ended early: the connection to the display was lost\n";
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, kLine, sizeof kLine - 1);
    // `last` may wait for the named lock; the process ends regardless.
    EndProcessWithin(std::chrono::seconds(2), kLibraryExitCode);
    last();
    _exit(kLibraryExitCode);
}

}  // namespace

void WatchTerminationSignals(QObject* parent) {
    if (g_signalPipe[0] >= 0) return;
    // Non-blocking, so that a storm of signals never blocks the handler: one
    // byte is enough.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalPipe) != 0) {
        qCDebug(lcDesktop, "no signal pipe (%s): SIGTERM and SIGINT end the program at once", std::strerror(errno));
        return;
    }
    SetTransferAbortDescriptor(g_signalPipe[0]);
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent, [notifier] {
        // Once is enough, and the byte stays where the transfers see it.
        notifier->setEnabled(false);
        // exit, not quit, which would first ask every window to close and so
        // put the close question to a signal. It ends the nested loops of a
        // modal box, a dialog or a drag as well; a caller that runs the main
        // loop later checks TerminationRequested first.
        QCoreApplication::exit(0);
    });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

bool TerminationRequested() {
    return g_requested != 0;
}

void EndProcessWithin(std::chrono::milliseconds limit, int code) {
    alarm(0);
    std::thread([limit, code] {
        std::this_thread::sleep_for(limit);
        _exit(code);
    }).detach();
}

ExitFromLibraryGuard::ExitFromLibraryGuard(std::function<void()> last) {
    // The slot first: it must outlive the handler, which runs before what
    // was set up ahead of it is torn down.
    std::function<void()>& slot = LastWordsBeforeExit();
    static const bool registered = std::atexit(OnExit) == 0;
    (void)registered;
    slot = std::move(last);
}

ExitFromLibraryGuard::~ExitFromLibraryGuard() {
    LastWordsBeforeExit() = nullptr;
}

}  // namespace zx
