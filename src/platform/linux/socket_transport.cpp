#include "platform/socket_transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/text.h"
#include "net/id_exceptions.h"

extern char** environ;

namespace zx {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> g_abortFd{-1};

// How often a receive that never has to wait looks at the abort descriptor.
constexpr int64_t kAbortCheckMs = 50;
// The most a lookup program may print; the address is on its first lines.
constexpr size_t kMaxLookupOutput = 65536;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

bool Readable(short revents) {
    return (revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

// A pending abort ends the transfer as a close by the server would.
void ThrowIfAborted() {
    const int fd = g_abortFd.load();
    if (fd < 0) return;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && Readable(p.revents)) throw EIdConnClosedGracefully();
}

// Waits until fd is ready for events; false when the deadline (ms on the
// steady clock, <= 0: none) has passed. Throws EIdConnClosedGracefully as
// soon as the abort descriptor is readable. Interrupted waits go on with the
// time that is left.
bool WaitFor(int fd, short events, int64_t deadlineMs) {
    int abortFd = g_abortFd.load();
    while (true) {
        int wait = -1;
        if (deadlineMs > 0) wait = static_cast<int>(std::clamp<int64_t>(deadlineMs - NowMs(), 0, 1 << 30));
        pollfd p[2] = {{fd, events, 0}, {abortFd, POLLIN, 0}};
        const int r = ::poll(p, abortFd >= 0 ? 2 : 1, wait);
        if (r < 0) {
            if (errno == EINTR) continue;
            throw EIdSocketError(errno);
        }
        if (abortFd >= 0 && Readable(p[1].revents)) throw EIdConnClosedGracefully();
        if (p[1].revents & POLLNVAL) abortFd = -1;  // closed by its owner: no abort to wait for
        if (p[0].revents != 0) return true;
        if (r == 0) return false;
    }
}

int64_t DeadlineAfter(int timeoutMs) {
    return timeoutMs > 0 ? NowMs() + timeoutMs : 0;
}

// A name that can go to the lookup as one argument: not empty, no control
// characters, no longer than a name can be.
bool LookupName(const std::string& host) {
    if (host.empty() || host.size() > 1024) return false;
    return !HasControlByte(host);
}

// The first address of the family on a line start of the lookup's output.
// An IPv4 address in IPv6 form is no IPv6 address of the name.
std::string FirstAddress(std::string_view output, IpVersion version) {
    while (!output.empty()) {
        const size_t eol = std::min(output.find('\n'), output.size());
        const std::string_view line = output.substr(0, eol);
        std::string word(line.substr(0, line.find_first_of(" \t")));
        output.remove_prefix(std::min(eol + 1, output.size()));
        unsigned char addr[16];
        if (version == IpVersion::kV6) {
            if (::inet_pton(AF_INET6, word.c_str(), addr) == 1 && word.find('.') == std::string::npos) return word;
        } else if (::inet_pton(AF_INET, word.c_str(), addr) == 1) {
            return word;
        }
    }
    return {};
}

// The address of the server to connect to.
struct PeerAddress {
    sockaddr_storage addr{};
    socklen_t length = 0;
};

// The socket address for a literal address text of the family; false when
// the text is no such literal.
bool ToPeerAddress(const std::string& literal, int family, int port, PeerAddress& peer) {
    if (family == AF_INET6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&peer.addr);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(static_cast<uint16_t>(port));
        peer.length = sizeof *a;
        return ::inet_pton(AF_INET6, literal.c_str(), &a->sin6_addr) == 1;
    }
    auto* a = reinterpret_cast<sockaddr_in*>(&peer.addr);
    a->sin_family = AF_INET;
    a->sin_port = htons(static_cast<uint16_t>(port));
    peer.length = sizeof *a;
    return ::inet_pton(AF_INET, literal.c_str(), &a->sin_addr) == 1;
}

// A TCP socket that stays non-blocking: every wait is a poll with a limit,
// beside the abort descriptor.
int OpenSocket(int family) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) throw EIdSocketError(errno);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// Connects fd to the peer within timeoutMs (<= 0: no limit), or throws.
void ConnectWithin(int fd, const PeerAddress& peer, int timeoutMs) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer.addr), peer.length) == 0) return;
    if (errno != EINPROGRESS) throw EIdSocketError(errno);
    if (!WaitFor(fd, POLLOUT, DeadlineAfter(timeoutMs))) throw EIdSocketError(ETIMEDOUT);
    int soError = 0;
    socklen_t len = sizeof soError;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
    if (soError != 0) throw EIdSocketError(soError);
}

// A running lookup program, killed with all it started and reaped when it
// goes out of scope, whether it finished or not.
class LookupChild {
public:
    LookupChild(const std::string& program, const std::string& host, IpVersion version) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) throw EIdSocketError(errno);
        out_ = fds[0];
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attr;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attr);
        ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        ::posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        // Its own process group, so that a kill reaches whatever it starts;
        // no signal blocked or ignored that it would inherit from here.
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        ::posix_spawnattr_setsigmask(&attr, &none);
        ::posix_spawnattr_setsigdefault(&attr, &all);
        ::posix_spawnattr_setpgroup(&attr, 0);
        ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        const char* database = version == IpVersion::kV6 ? "ahostsv6" : "ahostsv4";
        const char* argv[] = {program.c_str(), database, "--", host.c_str(), nullptr};
        const int rc = ::posix_spawn(&pid_, program.c_str(), &actions, &attr, const_cast<char* const*>(argv), environ);
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attr);
        ::close(fds[1]);
        if (rc != 0) {
            pid_ = -1;
            ::close(out_);
            throw EIdSocketError(rc);
        }
    }
    ~LookupChild() {
        ::close(out_);
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    LookupChild(const LookupChild&) = delete;
    LookupChild& operator=(const LookupChild&) = delete;

    // The first address it prints on a whole line, read until one comes,
    // the output ends or reaches its bound; fails with ETIMEDOUT when the
    // deadline passes first.
    std::string ReadAddress(IpVersion version, int64_t deadlineMs) {
        std::string output;
        char buf[4096];
        while (output.size() < kMaxLookupOutput) {
            if (!WaitFor(out_, POLLIN, deadlineMs)) throw EIdSocketError(ETIMEDOUT);
            const ssize_t n = ::read(out_, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return FirstAddress(output, version);
            output.append(buf, static_cast<size_t>(n));
            std::string address = FirstAddress(std::string_view(output).substr(0, output.rfind('\n') + 1), version);
            if (!address.empty()) return address;
        }
        return FirstAddress(output, version);
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

}  // namespace

std::string ResolveWithProgram(const std::string& program, const std::string& host, IpVersion version, int timeoutMs) {
    if (!LookupName(host)) throw EIdSocketError(EIdSocketError::kHostNotFound);
    const int64_t deadline = DeadlineAfter(timeoutMs);
    ThrowIfAborted();
    std::string address;
    {
        LookupChild child(program, host, version);
        address = child.ReadAddress(version, deadline);
    }
    if (address.empty()) throw EIdSocketError(EIdSocketError::kHostNotFound);
    return address;
}

std::string ResolveWithSystem(const std::string& host, IpVersion version, int timeoutMs) {
    return ResolveWithProgram("/usr/bin/getent", host, version, timeoutMs);
}

SocketTransport::SocketTransport(Resolver resolver) : resolver_(std::move(resolver)) {}

SocketTransport::~SocketTransport() {
    Close();
}

void SocketTransport::Connect(const std::string& host, int port, IpVersion version, int timeoutMs) {
    Close();
    ThrowIfAborted();
    if (port <= 0 || port > 65535) throw EIdSocketError(EADDRNOTAVAIL);

    const int family = version == IpVersion::kV6 ? AF_INET6 : AF_INET;
    PeerAddress peer;
    // The lookup and the connect share one limit.
    const int64_t deadline = DeadlineAfter(timeoutMs);
    if (!ToPeerAddress(host, family, port, peer)) {
        if (!ToPeerAddress(resolver_(host, version, timeoutMs), family, port, peer))
            throw EIdSocketError(EIdSocketError::kHostNotFound);
        // A lookup that used up the limit leaves the connect a moment, not none.
        if (deadline > 0) timeoutMs = static_cast<int>(std::max<int64_t>(1, deadline - NowMs()));
    }

    fd_ = OpenSocket(family);
    abortCheckedMs_ = NowMs();
    try {
        ConnectWithin(fd_, peer, timeoutMs);
    } catch (...) {
        Close();
        throw;
    }
}

void SocketTransport::Send(const char* data, size_t size, int timeoutMs) {
    if (fd_ < 0) throw EIdSocketError(ENOTCONN);
    ThrowIfAborted();
    // A peer that never reads fills the socket buffers: the whole send has
    // the limit that a receive has.
    const int64_t deadline = DeadlineAfter(timeoutMs);
    while (size > 0) {
        // MSG_NOSIGNAL: a peer that has gone away gives EPIPE, not SIGPIPE.
        const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
        if (n >= 0) {
            data += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) throw EIdSocketError(errno);
        if (!WaitFor(fd_, POLLOUT, deadline)) throw EIdSocketError(ETIMEDOUT);
    }
}

size_t SocketTransport::Recv(char* buffer, size_t size, int timeoutMs) {
    if (fd_ < 0) throw EIdSocketError(ENOTCONN);
    const int64_t deadline = DeadlineAfter(timeoutMs);
    while (true) {
        // Bytes that are there are taken without a wait call; a server that
        // never makes the reader wait still meets the abort check now and then.
        const ssize_t n = ::recv(fd_, buffer, size, 0);
        if (n >= 0) {
            const int64_t now = NowMs();
            if (now - abortCheckedMs_ >= kAbortCheckMs) {
                abortCheckedMs_ = now;
                ThrowIfAborted();
            }
            return static_cast<size_t>(n);
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) throw EIdSocketError(errno);
        if (!WaitFor(fd_, POLLIN, deadline)) throw EIdSocketError(ETIMEDOUT);
        abortCheckedMs_ = NowMs();
    }
}

void SocketTransport::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

// A large body is faulted in far faster in huge pages.
void SocketTransport::WillReceiveInto(char* buffer, size_t size) {
    constexpr uintptr_t kHugePage = uintptr_t{2} * 1024 * 1024;
    if (size < size_t{8} * 1024 * 1024) return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(buffer) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(buffer) + size) & ~(kHugePage - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

bool SocketTransport::HasIncoming() {
    if (fd_ < 0) return true;
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

void SetTransferAbortDescriptor(int fd) {
    g_abortFd.store(fd);
}
int TransferAbortDescriptor() {
    return g_abortFd.load();
}

}  // namespace zx
