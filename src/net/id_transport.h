#pragma once
// The byte pipe under the HTTP client. The socket transport is the real one;
// anything that can connect, send and receive bytes can stand in for it.
#include <cstddef>
#include <string>

#include "net/id_exceptions.h"
#include "net/id_uri.h"

namespace zx {

class TIdTransport {
public:
    virtual ~TIdTransport() = default;

    // Opens a connection; throws EIdSocketError. timeoutMs <= 0: no limit.
    virtual void Connect(const std::string& host, int port, IpVersion version, int timeoutMs) = 0;
    // Opens a connection and runs TLS over it: the server's certificate
    // chain is checked against the system's trust store and its name against
    // host, which is also sent as the server name. Throws TlsError when the
    // check or the handshake fails, EIdIOHandlerPropInvalid before anything is
    // sent when the transport has no TLS.
    virtual void ConnectSecure(const std::string& /*host*/, int /*port*/, IpVersion /*version*/, int /*timeoutMs*/) {
        throw EIdIOHandlerPropInvalid();
    }
    // Sends all bytes within timeoutMs (<= 0: no limit) or throws
    // EIdSocketError, made from ETIMEDOUT when the peer took too long to
    // take them.
    virtual void Send(const char* data, size_t size, int timeoutMs) = 0;
    // Receives up to size bytes; 0 when the peer has closed (over TLS: with
    // the secure close; a cut without it throws TlsError). Throws
    // EIdSocketError, made from ETIMEDOUT when nothing came for timeoutMs.
    virtual size_t Recv(char* buffer, size_t size, int timeoutMs) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // True when something is waiting on an idle connection: the peer's close,
    // or bytes that no request asked for.
    virtual bool HasIncoming() = 0;
    // Says that up to size bytes are about to be received into buffer, so
    // that a transport can have a large buffer backed the way the system
    // fills fastest. Changes nothing that is received.
    virtual void WillReceiveInto(char* /*buffer*/, size_t /*size*/) {}
};

}  // namespace zx
