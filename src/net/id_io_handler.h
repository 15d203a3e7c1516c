#pragma once
// Buffered reading over a transport: lines up to a length limit, and runs of
// bytes straight into a memory stream.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "net/id_transport.h"
#include "net/memory_stream.h"

namespace zx {

class TIdIOHandler {
public:
    static constexpr size_t kBufferSize = 32768;
    static constexpr size_t kMaxLineLength = 16384;

    explicit TIdIOHandler(TIdTransport& transport);

    // The start of a new request, with its silence limit in ms (0: none):
    // a receive that waits longer for a byte fails with the time-out error.
    void StartReading(int readTimeoutMs);
    // The low-speed rule: from the answer's first byte on, each window of
    // windowMs must bring at least bytesPerSecond of body on average while
    // the answer lasts, or reading fails with the time-out error. Only body
    // bytes count, never the head or the chunk framing: a trickle that is
    // never silent for long, or framing without data, cannot hold the caller
    // for hours. windowMs 0: no such rule.
    void SetLowSpeedLimit(uint64_t bytesPerSecond, int windowMs);
    static constexpr uint64_t kLowSpeedBytesPerSecond = 1024;
    static constexpr int kLowSpeedWindowMs = 30000;
    // Forgets buffered bytes and the close mark; called for a new connection.
    void Reset();

    // One line up to LF, without the LF and a CR before it. Throws
    // EIdConnClosedGracefully when the peer closes first and
    // EIdReadLnMaxLineLengthExceeded for a longer line.
    std::string ReadLn();
    // Copies count bytes to the stream; fewer only when the peer closes first.
    uint64_t ReadBytes(TMemoryStream& target, uint64_t count);
    // Copies bytes until the peer closes; throws EIdResponseLimitExceeded
    // when more than limit bytes come.
    uint64_t ReadToClose(TMemoryStream& target, uint64_t limit);

    // The peer has closed: no byte is left in the buffer or on the wire.
    bool ClosedGracefully() const { return closed_ && start_ == end_; }
    bool HasBuffered() const { return start_ != end_; }
    // Bytes received since StartReading.
    uint64_t Received() const { return received_; }

private:
    // Reads more bytes into the buffer; false when the peer has closed.
    bool Fill();
    // One receive from the transport under the low-speed limit.
    size_t Receive(char* dest, size_t size);

    TIdTransport& transport_;
    std::unique_ptr<char[]> buffer_;
    size_t start_ = 0;
    size_t end_ = 0;
    bool closed_ = false;
    int readTimeoutMs_ = 0;
    uint64_t lowSpeedBytesPerSecond_ = kLowSpeedBytesPerSecond;
    int lowSpeedWindowMs_ = kLowSpeedWindowMs;
    uint64_t received_ = 0;
    bool windowStarted_ = false;
    std::chrono::steady_clock::time_point windowStart_;
    uint64_t windowBytes_ = 0;
};

}  // namespace zx
