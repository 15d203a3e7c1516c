#pragma once
// The bounds the HTTP client holds a server to, and the ones a download
// runs under.
#include <cstdint>

namespace zx {

// Every field's default is "none": whoever makes a client sets the bounds it
// needs. Times are in milliseconds.
struct HttpLimits {
    // The name lookup and the connect together; 0: none.
    int connectTimeoutMs = 0;
    // Each wait for a byte of the answer, and the sending of the request;
    // beyond it the GET fails with the time-out error. 0: none.
    int readTimeoutMs = 0;
    // From the answer's first byte on, each window of lowSpeedWindowMs must
    // bring lowSpeedBytesPerSecond of body on average, or the GET fails with
    // the time-out error. Only body bytes count, never the head or the chunk
    // framing. lowSpeedWindowMs 0: no such rule.
    uint64_t lowSpeedBytesPerSecond = 0;
    int lowSpeedWindowMs = 0;
    // The largest body held in memory for one answer; 0: none.
    uint64_t maxBodyBytes = 0;
    // Redirects followed in one GET; 0: none, a redirect fails with its
    // status line.
    int redirectsFollowed = 0;
};

// A download holds the GUI thread for as long as it runs: a server that is
// silent, trickles or never ends must not hold it for ever, nor fill memory.
inline constexpr HttpLimits kDownloadLimits{
    .connectTimeoutMs = 30000,
    .readTimeoutMs = 30000,
    .lowSpeedBytesPerSecond = 1024,
    .lowSpeedWindowMs = 30000,
    .maxBodyBytes = uint64_t{512} * 1024 * 1024,
    .redirectsFollowed = 5,
};

}  // namespace zx
