#pragma once
// The byte transport the program talks HTTP over: TCP with every wait
// bounded. Names are resolved to IPv4 addresses; a bracketed host (IPv6) is
// taken as an IPv6 literal or name. Declared here without any system header;
// the Linux platform implements it over POSIX sockets.
#include <cstdint>
#include <functional>
#include <string>

#include "net/id_transport.h"

namespace zx {

// Turns a host name into a literal address text within timeoutMs (<= 0: no
// limit), or throws EIdSocketError (kHostNotFound when the name is unknown,
// ETIMEDOUT when the time is up). Tests map their own names to loopback.
using Resolver = std::function<std::string(const std::string& host, IpVersion version, int timeoutMs)>;

// Asks the system's name service. The lookup runs in a child process, which
// is killed and reaped when the time is up: the system's lookup call has no
// time limit of its own, and nothing of a lookup given up on stays behind.
std::string ResolveWithSystem(const std::string& host, IpVersion version, int timeoutMs);
// The same lookup with another program in place of the system's "getent":
// it is run as `program ahostsv4|ahostsv6 -- host` and prints an address
// first on a line.
std::string ResolveWithProgram(const std::string& program, const std::string& host, IpVersion version, int timeoutMs);

// A descriptor that, once readable, ends every transfer in progress or to
// come as if the server had closed the connection: the termination signals
// make it readable, so that a blocking download stops within one wait. It is
// polled beside the socket, never read. -1 (the default): none. The caller
// keeps it open while it is set.
void SetTransferAbortDescriptor(int fd);
int TransferAbortDescriptor();

class SocketTransport : public TIdTransport {
public:
    explicit SocketTransport(Resolver resolver = ResolveWithSystem);
    ~SocketTransport() override;

    void Connect(const std::string& host, int port, IpVersion version, int timeoutMs) override;
    void Send(const char* data, size_t size, int timeoutMs) override;
    size_t Recv(char* buffer, size_t size, int timeoutMs) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    bool HasIncoming() override;
    void WillReceiveInto(char* buffer, size_t size) override;

private:
    Resolver resolver_;
    int fd_ = -1;
    // When the abort descriptor was last looked at while bytes kept coming
    // without a wait (steady clock, ms).
    int64_t abortCheckedMs_ = 0;
};

}  // namespace zx
