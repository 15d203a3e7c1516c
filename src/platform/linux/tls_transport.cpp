#include "platform/tls_transport.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "net/id_exceptions.h"

namespace zx {

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr size_t kReadBufferBytes = size_t{128} * 1024;

bool IsAddressLiteral(const std::string& host) {
    unsigned char addr[16];
    return ::inet_pton(AF_INET, host.c_str(), addr) == 1 || ::inet_pton(AF_INET6, host.c_str(), addr) == 1;
}

// The reason OpenSSL gives for the last failure on this thread.
std::string LastReason() {
    const unsigned long code = ERR_peek_last_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    ERR_clear_error();
    return reason ? reason : "unknown error";
}

bool IsTimeOut(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const EIdSocketError& e) {
        return e.Errno() == ETIMEDOUT;
    } catch (...) {
        return false;
    }
}

}  // namespace

// One secure connection: OpenSSL reads and writes through a BIO of ours
// that calls the socket transport with the time left of the running call.
// A failure of the socket transport is kept and thrown again once OpenSSL
// has returned: no exception crosses its C code.
struct TlsTransport::Session {
    explicit Session(SocketTransport& socket) : plain(socket) {}
    ~Session() {
        DropConnection();
        if (ctx) SSL_CTX_free(ctx);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void DropConnection() {
        if (ssl) SSL_free(ssl);
        ssl = nullptr;
    }

    int TimeLeft() const {
        if (deadlineMs <= 0) return 0;
        return static_cast<int>(std::clamp<int64_t>(deadlineMs - NowMs(), 1, 1 << 30));
    }

    // Runs one OpenSSL call with a time limit (<= 0: none) for its waits.
    template <class F>
    int Run(int timeoutMs, F call) {
        deadlineMs = timeoutMs > 0 ? NowMs() + timeoutMs : 0;
        failure = nullptr;
        ERR_clear_error();
        return call();
    }
    void ThrowKeptFailure() {
        if (failure) {
            std::exception_ptr f = failure;
            failure = nullptr;
            std::rethrow_exception(f);
        }
    }
    // The failure of a read or write that OpenSSL reported with ret.
    [[noreturn]] void ThrowFailure(int ret) {
        const int err = SSL_get_error(ssl, ret);
        ThrowKeptFailure();
        if (err == SSL_ERROR_SYSCALL ||
            (err == SSL_ERROR_SSL && ERR_GET_REASON(ERR_peek_last_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING)) {
            ERR_clear_error();
            throw TlsError(TlsError::kCutWithoutClose);
        }
        throw TlsError("TLS failure: " + LastReason() + ".");
    }

    SocketTransport& plain;
    SSL_CTX* ctx = nullptr;
    SSL* ssl = nullptr;
    int64_t deadlineMs = 0;
    std::exception_ptr failure;
};

namespace {

using Session = TlsTransport::Session;

int BioWrite(BIO* bio, const char* data, int size) {
    auto* s = static_cast<Session*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    try {
        s->plain.Send(data, static_cast<size_t>(size), s->TimeLeft());
        return size;
    } catch (...) {
        s->failure = std::current_exception();
        return -1;
    }
}

int BioRead(BIO* bio, char* buffer, int size) {
    auto* s = static_cast<Session*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    try {
        return static_cast<int>(s->plain.Recv(buffer, static_cast<size_t>(size), s->TimeLeft()));
    } catch (...) {
        s->failure = std::current_exception();
        // A wait that ran out may be tried again: OpenSSL keeps its state.
        if (IsTimeOut(s->failure)) BIO_set_retry_read(bio);
        return -1;
    }
}

long BioCtrl(BIO* /*bio*/, int cmd, long /*num*/, void* /*ptr*/) {
    return cmd == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* TransportBioMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "socket transport");
        BIO_meth_set_write(m, BioWrite);
        BIO_meth_set_read(m, BioRead);
        BIO_meth_set_ctrl(m, BioCtrl);
        BIO_meth_set_create(m, BioCreate);
        return m;
    }();
    return method;
}

// TLS 1.2 and 1.3 only, the peer's chain checked against the system's
// trust store.
SSL_CTX* NewContext() {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) throw TlsError("TLS failure: " + LastReason() + ".");
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(ctx);
    // Fewer, larger reads from the socket: several records a receive.
    SSL_CTX_set_read_ahead(ctx, 1);
    SSL_CTX_set_default_read_buffer_len(ctx, kReadBufferBytes);
    ERR_clear_error();
    return ctx;
}

}  // namespace

TlsTransport::TlsTransport(Resolver resolver)
    : plain_(std::move(resolver)), session_(std::make_unique<Session>(plain_)) {}

TlsTransport::~TlsTransport() {
    Close();
}

void TlsTransport::Connect(const std::string& host, int port, IpVersion version, int timeoutMs) {
    Close();
    plain_.Connect(host, port, version, timeoutMs);
}

void TlsTransport::ConnectSecure(const std::string& host, int port, IpVersion version, int timeoutMs) {
    Close();
    // The connect and the handshake share one limit.
    const int64_t deadline = timeoutMs > 0 ? NowMs() + timeoutMs : 0;
    plain_.Connect(host, port, version, timeoutMs);
    Session& s = *session_;
    try {
        if (!s.ctx) s.ctx = NewContext();
        s.ssl = SSL_new(s.ctx);
        BIO* bio = s.ssl ? BIO_new(TransportBioMethod()) : nullptr;
        if (!bio) throw TlsError("TLS failure: " + LastReason() + ".");
        BIO_set_data(bio, &s);
        SSL_set_bio(s.ssl, bio, bio);
        // The name goes out for the server to choose its certificate by, and
        // the certificate must name it; an address literal must be in it.
        if (IsAddressLiteral(host)) {
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(s.ssl), host.c_str());
        } else {
            SSL_set_tlsext_host_name(s.ssl, host.c_str());
            SSL_set1_host(s.ssl, host.c_str());
        }
        const int left = deadline > 0 ? static_cast<int>(std::max<int64_t>(1, deadline - NowMs())) : 0;
        const int ret = s.Run(left, [&] { return SSL_connect(s.ssl); });
        if (ret != 1) {
            s.ThrowKeptFailure();
            const long verify = SSL_get_verify_result(s.ssl);
            if (verify != X509_V_OK) {
                ERR_clear_error();
                throw TlsError(std::string("Certificate verify failed: ") + X509_verify_cert_error_string(verify));
            }
            const int err = SSL_get_error(s.ssl, ret);
            if (err == SSL_ERROR_SYSCALL) {
                ERR_clear_error();
                throw TlsError("TLS handshake failed: the server closed the connection.");
            }
            throw TlsError("TLS handshake failed: " + LastReason() + ".");
        }
    } catch (...) {
        Close();
        throw;
    }
}

void TlsTransport::Send(const char* data, size_t size, int timeoutMs) {
    Session& s = *session_;
    if (!s.ssl) return plain_.Send(data, size, timeoutMs);
    size_t written = 0;
    const int ret = s.Run(timeoutMs, [&] { return SSL_write_ex(s.ssl, data, size, &written); });
    if (ret != 1) s.ThrowFailure(ret);
}

size_t TlsTransport::Recv(char* buffer, size_t size, int timeoutMs) {
    Session& s = *session_;
    if (!s.ssl) return plain_.Recv(buffer, size, timeoutMs);
    size_t n = 0;
    const int ret = s.Run(timeoutMs, [&] { return SSL_read_ex(s.ssl, buffer, size, &n); });
    if (ret == 1) return n;
    // Only the secure close ends the data; a bare close could be a cut.
    if (SSL_get_error(s.ssl, ret) == SSL_ERROR_ZERO_RETURN && !s.failure) return 0;
    s.ThrowFailure(ret);
}

void TlsTransport::Close() {
    // No close notify is sent: the connection is dropped either way, and a
    // peer that reads nothing more must not hold the caller.
    session_->DropConnection();
    plain_.Close();
}

bool TlsTransport::HasIncoming() {
    Session& s = *session_;
    if (!s.ssl) return plain_.HasIncoming();
    if (SSL_pending(s.ssl) > 0) return true;
    // Bytes on the socket may be only the server's session tickets, which
    // are no answer: OpenSSL takes them in while looking for data.
    for (int round = 0; round < 16 && plain_.HasIncoming(); ++round) {
        char c = 0;
        size_t n = 0;
        const int ret = s.Run(1, [&] { return SSL_peek_ex(s.ssl, &c, 1, &n); });
        if (ret == 1) return true;
        if (s.failure && IsTimeOut(s.failure)) {
            s.failure = nullptr;
            ERR_clear_error();
            return false;
        }
        ERR_clear_error();
        return true;
    }
    return plain_.HasIncoming();
}

}  // namespace zx
