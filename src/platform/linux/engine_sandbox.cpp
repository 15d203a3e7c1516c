#include "platform/linux/engine_sandbox.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/linux/log_categories.h"

namespace zx {
namespace {

// What the child reports: the step that failed and its errno, or step -1.
struct Outcome {
    int step = -1;
    int error = 0;
};

constexpr const char* kSteps[] = {"unshare", "setgroups", "uid_map", "gid_map", "chroot"};

// Only system calls: the child of a fork may not allocate.
bool WriteWhole(const char* path, const char* text, bool missingIsFine) {
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return missingIsFine && errno == ENOENT;
    const size_t length = std::strlen(text);
    const bool written = write(fd, text, length) == static_cast<ssize_t>(length);
    const int error = errno;
    close(fd);
    errno = error;
    return written;
}

// In the forked child: what the engine's zygote does first. New user,
// process-id and network namespaces, this user mapped to itself in them, and
// a change of root, which needs the capabilities the new namespace gives.
[[noreturn]] void TryNamespaces(int out, const char* uidMap, const char* gidMap) {
    Outcome outcome;
    const auto step = [&](int index, bool done) {
        if (done || outcome.step >= 0) return;
        outcome = {index, errno};
    };
    step(0, unshare(CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET) == 0);
    if (outcome.step < 0) step(1, WriteWhole("/proc/self/setgroups", "deny", true));
    if (outcome.step < 0) step(2, WriteWhole("/proc/self/uid_map", uidMap, false));
    if (outcome.step < 0) step(3, WriteWhole("/proc/self/gid_map", gidMap, false));
    if (outcome.step < 0) step(4, chroot("/") == 0);
    (void)!write(out, &outcome, sizeof outcome);
    _exit(0);
}

std::string Because(const Outcome& outcome) {
    std::string why = "no namespaces for it (";
    why += kSteps[outcome.step];
    why += ": ";
    why += outcome.step == 0 && outcome.error == ENOSPC ? "the user namespace limit is reached"
                                                        : std::strerror(outcome.error);
    return why + ")";
}

}  // namespace

std::string WhyNoSandboxNamespaces() {
    char uidMap[64], gidMap[64];
    std::snprintf(uidMap, sizeof uidMap, "%u %u 1", static_cast<unsigned>(geteuid()), static_cast<unsigned>(geteuid()));
    std::snprintf(gidMap, sizeof gidMap, "%u %u 1", static_cast<unsigned>(getegid()), static_cast<unsigned>(getegid()));
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return std::string("cannot check for namespaces: ") + std::strerror(errno);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        TryNamespaces(fds[1], uidMap, gidMap);
    }
    close(fds[1]);
    if (child < 0) {
        close(fds[0]);
        return std::string("cannot check for namespaces: ") + std::strerror(errno);
    }
    // The child makes a few system calls and ends; it is never waited on
    // longer than this.
    pollfd ready{fds[0], POLLIN, 0};
    Outcome outcome{0, ETIMEDOUT};
    const bool answered = poll(&ready, 1, 5000) == 1 && read(fds[0], &outcome, sizeof outcome) == sizeof outcome;
    close(fds[0]);
    if (!answered) kill(child, SIGKILL);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (!answered) return "the check for namespaces did not answer";
    return outcome.step < 0 ? std::string() : Because(outcome);
}

std::string SwitchEngineSandboxOffWhereItCannotStart(bool report) {
    std::string why;
    if (const char* off = std::getenv("QTWEBENGINE_DISABLE_SANDBOX"); off && *off)
        why = "QTWEBENGINE_DISABLE_SANDBOX is set";
    else if (geteuid() == 0)
        why = "the engine runs no sandbox as root";
    else
        why = WhyNoSandboxNamespaces();
    if (why.empty()) {
        qCDebug(lcSandbox, "the namespaces can be made: the web engine's sandbox stays on");
        return why;
    }
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    if (report) std::fprintf(stderr, "zeltrix: the web engine's sandbox is off: %s\n", why.c_str());
    return why;
}

}  // namespace zx
