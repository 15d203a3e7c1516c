#pragma once
// The byte transport with TLS: plain connections pass straight to the socket
// transport; secure ones run TLS 1.2 or 1.3 over it, so that every bound of
// the socket transport (connect, lookup, silence, send, abort) holds for
// them as well. Certificates are checked against the system's trust store
// (SSL_CERT_FILE and SSL_CERT_DIR name another one) and the server's name
// against the host asked for. Declared without any system header; the Linux
// platform implements it over OpenSSL.
#include <exception>
#include <memory>

#include "platform/socket_transport.h"

namespace zx {

class TlsTransport : public TIdTransport {
public:
    explicit TlsTransport(Resolver resolver = ResolveWithSystem);
    ~TlsTransport() override;

    void Connect(const std::string& host, int port, IpVersion version, int timeoutMs) override;
    void ConnectSecure(const std::string& host, int port, IpVersion version, int timeoutMs) override;
    void Send(const char* data, size_t size, int timeoutMs) override;
    size_t Recv(char* buffer, size_t size, int timeoutMs) override;
    void Close() override;
    bool IsOpen() const override { return plain_.IsOpen(); }
    bool HasIncoming() override;
    void WillReceiveInto(char* buffer, size_t size) override { plain_.WillReceiveInto(buffer, size); }

    // The TLS session state of one connection; opaque here.
    struct Session;

private:
    SocketTransport plain_;
    std::unique_ptr<Session> session_;
};

}  // namespace zx
