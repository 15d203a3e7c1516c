#include "platform/socket_transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

#include "net/id_exceptions.h"

namespace zx {

namespace {

std::atomic<int> g_abortFd{-1};

[[noreturn]] void ThrowErrno(int err) {
    throw EIdSocketError(EIdSocketError::CodeFromErrno(err));
}

// Waits until fd is ready for events; false on time-out. Interrupted waits
// go on with the time that is left.
bool WaitFor(int fd, short events, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        int wait = -1;
        if (timeoutMs > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, wait);
        if (r > 0) return true;
        if (r == 0) return false;
        if (errno != EINTR) ThrowErrno(errno);
    }
}

// Runs the resolver on a helper thread and waits for it no longer than the
// connect limit: the system's lookup blocks and has no time-out of its own.
// A lookup that is given up on finishes on its own and is dropped.
std::string ResolveWithin(const TIdResolver& resolver, const std::string& host, TIdIPVersion version, int timeoutMs) {
    auto task = std::make_shared<std::packaged_task<std::string()>>(
        [resolver, host, version] { return resolver(host, version); });
    std::future<std::string> result = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    if (timeoutMs > 0 && result.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready)
        throw EIdSocketError(EIdSocketError::kTimedOut);
    return result.get();
}

}  // namespace

std::string ResolveWithSystem(const std::string& host, TIdIPVersion version) {
    addrinfo hints{};
    hints.ai_family = version == Id_IPv6 ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (rc != 0 || !result) {
        if (result) ::freeaddrinfo(result);
        if (rc == EAI_SYSTEM) ThrowErrno(errno);
        throw EIdSocketError(EIdSocketError::kHostNotFound);
    }
    char text[INET6_ADDRSTRLEN] = {0};
    const void* addr = result->ai_family == AF_INET6
                           ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(result->ai_addr)->sin6_addr)
                           : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr);
    ::inet_ntop(result->ai_family, addr, text, sizeof text);
    ::freeaddrinfo(result);
    return text;
}

TIdSocketTransport::TIdSocketTransport(TIdResolver resolver) : resolver_(std::move(resolver)) {}

TIdSocketTransport::~TIdSocketTransport() {
    Close();
}

void TIdSocketTransport::Connect(const std::string& host, int port, TIdIPVersion version, int timeoutMs) {
    Close();
    if (port <= 0 || port > 65535) throw EIdSocketError(EIdSocketError::CodeFromErrno(EADDRNOTAVAIL));

    sockaddr_storage addr{};
    socklen_t addrLen = 0;
    const int family = version == Id_IPv6 ? AF_INET6 : AF_INET;
    auto fill = [&](const std::string& literal) {
        if (family == AF_INET6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&addr);
            a->sin6_family = AF_INET6;
            a->sin6_port = htons(static_cast<uint16_t>(port));
            addrLen = sizeof *a;
            return ::inet_pton(AF_INET6, literal.c_str(), &a->sin6_addr) == 1;
        }
        auto* a = reinterpret_cast<sockaddr_in*>(&addr);
        a->sin_family = AF_INET;
        a->sin_port = htons(static_cast<uint16_t>(port));
        addrLen = sizeof *a;
        return ::inet_pton(AF_INET, literal.c_str(), &a->sin_addr) == 1;
    };
    if (!fill(host)) {
        // The lookup and the connect share one limit.
        const auto start = std::chrono::steady_clock::now();
        if (!fill(ResolveWithin(resolver_, host, version, timeoutMs)))
            throw EIdSocketError(EIdSocketError::kHostNotFound);
        if (timeoutMs > 0) {
            const auto spent =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            timeoutMs = std::max(1, timeoutMs - static_cast<int>(spent.count()));
        }
    }

    fd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) ThrowErrno(errno);
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    // Connect without blocking so that the wait can be limited, then go back
    // to blocking mode for the exchange.
    const int flags = ::fcntl(fd_, F_GETFL, 0);
    ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), addrLen) != 0) {
        const int err = errno;
        if (err != EINPROGRESS) {
            Close();
            ThrowErrno(err);
        }
        bool ready = false;
        try {
            ready = WaitFor(fd_, POLLOUT, timeoutMs);
        } catch (...) {
            Close();
            throw;
        }
        if (!ready) {
            Close();
            throw EIdSocketError(EIdSocketError::kTimedOut);
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &soError, &len);
        if (soError != 0) {
            Close();
            ThrowErrno(soError);
        }
    }
    ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
}

void TIdSocketTransport::Send(const char* data, size_t size) {
    if (fd_ < 0) throw EIdSocketError(EIdSocketError::CodeFromErrno(ENOTCONN));
    while (size > 0) {
        // MSG_NOSIGNAL: a peer that has gone away gives EPIPE, not SIGPIPE.
        const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(errno);
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

size_t TIdSocketTransport::Recv(char* buffer, size_t size, int timeoutMs) {
    if (fd_ < 0) throw EIdSocketError(EIdSocketError::CodeFromErrno(ENOTCONN));
    // The silence limit is the socket's own receive time-out, which saves a
    // wait call per receive on large bodies.
    if (timeoutMs != recvTimeoutMs_) {
        timeval tv{};
        if (timeoutMs > 0) {
            tv.tv_sec = timeoutMs / 1000;
            tv.tv_usec = static_cast<suseconds_t>(timeoutMs % 1000) * 1000;
        }
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        recvTimeoutMs_ = timeoutMs;
    }
    while (true) {
        const ssize_t n = ::recv(fd_, buffer, size, 0);
        if (n >= 0) return static_cast<size_t>(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) throw EIdSocketError(EIdSocketError::kTimedOut);
        ThrowErrno(errno);
    }
}

void TIdSocketTransport::Close() {
    recvTimeoutMs_ = 0;
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

// A large body is faulted in far faster in huge pages.
void TIdSocketTransport::WillReceiveInto(char* buffer, size_t size) {
    constexpr uintptr_t kHugePage = uintptr_t{2} * 1024 * 1024;
    if (size < size_t{8} * 1024 * 1024) return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(buffer) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(buffer) + size) & ~(kHugePage - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

bool TIdSocketTransport::HasIncoming() {
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
