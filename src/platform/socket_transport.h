#pragma once
// The byte transport the program talks HTTP over: blocking TCP. Names are
// resolved to IPv4 addresses; a bracketed host (IPv6) is taken as an IPv6
// literal or name. Declared here without any system header; the Linux
// platform implements it over POSIX sockets.
#include <functional>
#include <string>

#include "net/id_transport.h"

namespace zx {

// Turns a host name into a literal address text, or throws EIdSocketError
// (11001 when the name is unknown). Tests map their own names to loopback.
using TIdResolver = std::function<std::string(const std::string& host, TIdIPVersion version)>;

std::string ResolveWithSystem(const std::string& host, TIdIPVersion version);

// A descriptor that, once readable, ends every transfer in progress or to
// come as if the server had closed the connection: the termination signals
// make it readable, so that a blocking download stops within one wait.
// -1 (the default): none. The caller keeps it open while it is set.
void SetTransferAbortDescriptor(int fd);
int TransferAbortDescriptor();

class TIdSocketTransport : public TIdTransport {
public:
    explicit TIdSocketTransport(TIdResolver resolver = ResolveWithSystem);
    ~TIdSocketTransport() override;

    void Connect(const std::string& host, int port, TIdIPVersion version, int timeoutMs) override;
    void Send(const char* data, size_t size) override;
    size_t Recv(char* buffer, size_t size, int timeoutMs) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    bool HasIncoming() override;
    void WillReceiveInto(char* buffer, size_t size) override;

private:
    TIdResolver resolver_;
    int fd_ = -1;
    int recvTimeoutMs_ = 0;  // as set on the socket
};

}  // namespace zx
