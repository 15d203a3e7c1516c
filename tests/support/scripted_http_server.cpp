#include "support/scripted_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace zx::test {

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr int kTickMs = 20;
constexpr size_t kMaxRequestHead = 1 << 20;

}  // namespace

ScriptedHttpServer::ScriptedHttpServer(std::vector<ScriptedConversation> conversations, int lifetimeMs, bool ipv6)
    : conversations_(std::move(conversations)), ipv6_(ipv6), deadlineMs_(NowMs() + lifetimeMs) {
    listenFd_ = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("scripted server: socket failed");
    sockaddr_storage storage{};
    auto* addr = reinterpret_cast<sockaddr*>(&storage);
    socklen_t len = sizeof storage;
    if (ipv6) {
        auto* a6 = reinterpret_cast<sockaddr_in6*>(&storage);
        a6->sin6_family = AF_INET6;
        a6->sin6_addr = in6addr_loopback;
        len = sizeof *a6;
    } else {
        auto* a4 = reinterpret_cast<sockaddr_in*>(&storage);
        a4->sin_family = AF_INET;
        a4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        len = sizeof *a4;
    }
    if (::bind(listenFd_, addr, len) != 0 || ::listen(listenFd_, 8) != 0 || ::getsockname(listenFd_, addr, &len) != 0) {
        ::close(listenFd_);
        throw std::runtime_error(std::string("scripted server: cannot listen on ") + (ipv6 ? "[::1]" : "127.0.0.1"));
    }
    port_ = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                       : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    thread_ = std::thread([this] { Run(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ::close(listenFd_);
}

std::string ScriptedHttpServer::Url(const std::string& path) const {
    return std::string(ipv6_ ? "http://[::1]:" : "http://127.0.0.1:") + std::to_string(port_) + path;
}

std::vector<std::string> ScriptedHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool ScriptedHttpServer::WaitConnectionsEnded(int n, int timeoutMs) {
    std::unique_lock lock(mutex_);
    return ended_cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return ended_ >= n; });
}

bool ScriptedHttpServer::Stopping() const {
    return stop_ || NowMs() > deadlineMs_;
}

void ScriptedHttpServer::Run() {
    for (const auto& conversation : conversations_) {
        int fd = -1;
        while (fd < 0 && !Stopping()) {
            pollfd p{listenFd_, POLLIN, 0};
            if (::poll(&p, 1, kTickMs) > 0) fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        }
        if (fd < 0) return;
        ++accepted_;
        Converse(fd, conversation);
        ::close(fd);
        {
            std::lock_guard lock(mutex_);
            ++ended_;
        }
        ended_cv_.notify_all();
    }
}

bool ScriptedHttpServer::ReadRequest(int fd, std::string& pending) {
    while (!Stopping()) {
        const size_t end = pending.find("\r\n\r\n");
        if (end != std::string::npos) {
            std::lock_guard lock(mutex_);
            requests_.push_back(pending.substr(0, end + 4));
            pending.erase(0, end + 4);
            return true;
        }
        if (pending.size() > kMaxRequestHead) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kTickMs) <= 0) continue;
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        pending.append(buf, static_cast<size_t>(n));
    }
    return false;
}

void ScriptedHttpServer::Converse(int fd, const ScriptedConversation& conversation) {
    std::string pending;
    for (const auto& step : conversation) {
        if (step.expectRequest && !ReadRequest(fd, pending)) return;
        for (int64_t until = NowMs() + step.delayMs; NowMs() < until && !Stopping();)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        size_t sent = 0;
        while (sent < step.response.size() && !Stopping()) {
            const size_t piece = step.trickleMs > 0 ? 1 : step.response.size() - sent;
            const ssize_t n = ::send(fd, step.response.data() + sent, piece, MSG_NOSIGNAL);
            if (n < 0) return;
            sent += static_cast<size_t>(n);
            if (step.trickleMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.trickleMs));
        }
        // Filler is made a piece at a time: a huge body costs the server no memory.
        const std::string filler(std::min<uint64_t>(step.fillerBytes, 65536), 'f');
        for (uint64_t left = step.fillerBytes; left > 0 && !Stopping();) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, kTickMs) <= 0) continue;
            const ssize_t n =
                ::send(fd, filler.data(), std::min<uint64_t>(left, filler.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN) return;
            if (n > 0) left -= static_cast<uint64_t>(n);
        }
        if (step.closeAfter) return;
        // Silence: wait for the client to give up, or the hold to pass.
        for (int64_t until = NowMs() + step.holdMs; NowMs() < until && !Stopping();) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, kTickMs) > 0) {
                char c;
                if (::recv(fd, &c, 1, MSG_PEEK) <= 0) return;
                break;
            }
        }
    }
    // Script done: keep the connection open until the client closes it or
    // sends something more, which is recorded.
    while (!Stopping()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kTickMs) <= 0) continue;
        if (!ReadRequest(fd, pending)) return;
    }
}

}  // namespace zx::test
