#include "support/scripted_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
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

// One accepted connection, plain or over TLS. The socket is non-blocking:
// every wait is a poll of at most one tick, so the server always stops.
class ScriptedHttpServer::Connection {
public:
    Connection(int fd, SSL_CTX* ctx) : fd_(fd) {
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        if (ctx) {
            ssl_ = SSL_new(ctx);
            SSL_set_fd(ssl_, fd_);
        }
    }
    ~Connection() {
        if (ssl_) SSL_free(ssl_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Tls() const { return ssl_ != nullptr; }
    // Runs the server's side of the handshake; false when it failed.
    template <class Stop>
    bool Handshake(Stop stopping) {
        while (!stopping()) {
            const int r = SSL_accept(ssl_);
            if (r == 1) return true;
            const int err = SSL_get_error(ssl_, r);
            if (err != SSL_ERROR_WANT_READ && err != SSL_ERROR_WANT_WRITE) return false;
            Wait(err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, kTickMs);
        }
        return false;
    }
    // True when bytes (or the close) wait, within ms.
    bool Readable(int ms) {
        if (ssl_ && SSL_pending(ssl_) > 0) return true;
        return Wait(POLLIN, ms);
    }
    // > 0 bytes; 0 at the close; -1 on an error; -2 when nothing is there yet.
    ssize_t Recv(char* buf, size_t size, bool peek = false) {
        if (!ssl_) {
            const ssize_t n = ::recv(fd_, buf, size, peek ? MSG_PEEK : 0);
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? -2 : n;
        }
        size_t n = 0;
        const int r = peek ? SSL_peek_ex(ssl_, buf, size, &n) : SSL_read_ex(ssl_, buf, size, &n);
        if (r == 1) return static_cast<ssize_t>(n);
        const int err = SSL_get_error(ssl_, r);
        if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) return -2;
        return err == SSL_ERROR_ZERO_RETURN ? 0 : -1;
    }
    // Sends all bytes; false when the peer went away or the server stops.
    template <class Stop>
    bool Send(const char* data, size_t size, Stop stopping) {
        while (size > 0) {
            if (stopping()) return false;
            ssize_t n = -1;
            if (!ssl_) {
                n = ::send(fd_, data, size, MSG_NOSIGNAL);
                if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
            } else {
                size_t written = 0;
                const int r = SSL_write_ex(ssl_, data, size, &written);
                if (r == 1)
                    n = static_cast<ssize_t>(written);
                else if (SSL_get_error(ssl_, r) != SSL_ERROR_WANT_WRITE &&
                         SSL_get_error(ssl_, r) != SSL_ERROR_WANT_READ)
                    return false;
            }
            if (n <= 0) {
                Wait(POLLOUT, kTickMs);
                continue;
            }
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    // The secure close, unless the connection is to be cut without it.
    void Finish(bool cut) {
        if (ssl_ && !cut) SSL_shutdown(ssl_);
    }

private:
    bool Wait(short events, int ms) {
        pollfd p{fd_, events, 0};
        return ::poll(&p, 1, ms) > 0;
    }
    int fd_;
    SSL* ssl_ = nullptr;
};

ScriptedHttpServer::ScriptedHttpServer(std::vector<ScriptedConversation> conversations, int lifetimeMs, bool ipv6,
                                       const CertificateFiles* tls)
    : conversations_(std::move(conversations)), ipv6_(ipv6), deadlineMs_(NowMs() + lifetimeMs) {
    if (tls) {
        SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
        if (!ctx || SSL_CTX_use_certificate_chain_file(ctx, tls->cert.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(ctx, tls->key.c_str(), SSL_FILETYPE_PEM) != 1) {
            SSL_CTX_free(ctx);
            throw std::runtime_error("scripted server: cannot load " + tls->cert);
        }
        tlsContext_ = ctx;
    }
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
    SSL_CTX_free(static_cast<SSL_CTX*>(tlsContext_));
}

std::string ScriptedHttpServer::Url(const std::string& path) const {
    if (tlsContext_) return "https://img.host:" + std::to_string(port_) + path;
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
        {
            Connection c(fd, static_cast<SSL_CTX*>(tlsContext_));
            const bool silent = !conversation.empty() && conversation[0].silentHandshake;
            if (c.Tls() && silent) {
                while (!Stopping() && !c.Readable(kTickMs)) {
                }
                while (!Stopping()) std::this_thread::sleep_for(std::chrono::milliseconds(kTickMs));
            } else if (!c.Tls() || c.Handshake([this] { return Stopping(); })) {
                Converse(c, conversation);
            }
        }
        ::close(fd);
        {
            std::lock_guard lock(mutex_);
            ++ended_;
        }
        ended_cv_.notify_all();
    }
}

bool ScriptedHttpServer::ReadRequest(Connection& c, std::string& pending) {
    while (!Stopping()) {
        const size_t end = pending.find("\r\n\r\n");
        if (end != std::string::npos) {
            std::lock_guard lock(mutex_);
            requests_.push_back(pending.substr(0, end + 4));
            pending.erase(0, end + 4);
            return true;
        }
        if (pending.size() > kMaxRequestHead) return false;
        if (!c.Readable(kTickMs)) continue;
        char buf[4096];
        const ssize_t n = c.Recv(buf, sizeof buf);
        if (n == -2) continue;
        if (n <= 0) return false;
        pending.append(buf, static_cast<size_t>(n));
    }
    return false;
}

void ScriptedHttpServer::Converse(Connection& c, const ScriptedConversation& conversation) {
    const auto stopping = [this] { return Stopping(); };
    std::string pending;
    for (const auto& step : conversation) {
        if (step.expectRequest && !ReadRequest(c, pending)) return;
        for (int64_t until = NowMs() + step.delayMs; NowMs() < until && !Stopping();)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        for (size_t sent = 0; sent < step.response.size();) {
            const size_t piece = step.trickleMs > 0 ? 1 : step.response.size() - sent;
            if (!c.Send(step.response.data() + sent, piece, stopping)) return;
            sent += piece;
            if (step.trickleMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.trickleMs));
        }
        // Filler is made a piece at a time: a huge body costs the server no memory.
        const std::string filler(std::min<uint64_t>(step.fillerBytes, 65536), 'f');
        for (uint64_t left = step.fillerBytes; left > 0;) {
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, filler.size()));
            if (!c.Send(filler.data(), piece, stopping)) return;
            left -= piece;
        }
        if (step.closeAfter || step.cutTls) {
            c.Finish(step.cutTls);
            return;
        }
        // Silence: wait for the client to give up, or the hold to pass.
        for (int64_t until = NowMs() + step.holdMs; NowMs() < until && !Stopping();) {
            if (c.Readable(kTickMs)) {
                char ch;
                const ssize_t n = c.Recv(&ch, 1, true);
                if (n == -2) continue;
                if (n <= 0) return;
                break;
            }
        }
    }
    // Script done: keep the connection open until the client closes it or
    // sends something more, which is recorded.
    while (!Stopping()) {
        if (!c.Readable(kTickMs)) continue;
        if (!ReadRequest(c, pending)) return;
    }
}

}  // namespace zx::test
