#pragma once
// Buffered reading over a transport: lines up to a length limit, and runs of
// bytes straight into a memory stream.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "net/http_limits.h"
#include "net/id_transport.h"
#include "net/memory_stream.h"

namespace zx {

class BufferedReader {
public:
    static constexpr size_t kBufferSize = 32768;
    static constexpr size_t kMaxLineLength = 16384;

    explicit BufferedReader(TIdTransport& transport);

    // The start of a new request, under the read limit and the low-speed
    // rule of limits (each off when 0). A receive that waits longer than the
    // read limit for a byte fails with the time-out error. Under the
    // low-speed rule, from the answer's first byte on, each window must bring
    // its share of body bytes while the answer lasts, or reading fails with
    // the time-out error: a trickle that is never silent for long, or
    // framing without data, cannot hold the caller for hours.
    void StartReading(const HttpLimits& limits);
    // Forgets buffered bytes and the close mark; called for a new connection.
    void Reset();

    // One line up to LF, without the LF and a CR before it. Throws
    // EIdConnClosedGracefully when the peer closes first and
    // EIdReadLnMaxLineLengthExceeded for a longer line.
    std::string ReadLn();
    // Copies count bytes to the stream; fewer only when the peer closes first.
    uint64_t ReadBytes(TMemoryStream& target, uint64_t count);
    // Copies bytes until the peer closes; throws ResponseLimitExceeded
    // when more than limit bytes come.
    uint64_t ReadToClose(TMemoryStream& target, uint64_t limit);

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
    uint64_t lowSpeedBytesPerSecond_ = 0;
    int lowSpeedWindowMs_ = 0;
    uint64_t received_ = 0;
    bool windowStarted_ = false;
    std::chrono::steady_clock::time_point windowStart_;
    uint64_t windowBytes_ = 0;
};

}  // namespace zx
