#include "net/buffered_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "net/id_exceptions.h"

namespace zx {

BufferedReader::BufferedReader(TIdTransport& transport) : transport_(transport), buffer_(new char[kBufferSize]) {}

void BufferedReader::Reset() {
    start_ = end_ = 0;
    closed_ = false;
}

void BufferedReader::StartReading(const HttpLimits& limits) {
    readTimeoutMs_ = limits.readTimeoutMs;
    lowSpeedBytesPerSecond_ = limits.lowSpeedBytesPerSecond;
    lowSpeedWindowMs_ = limits.lowSpeedWindowMs;
    received_ = 0;
    windowStarted_ = false;
    windowBytes_ = 0;
}

size_t BufferedReader::Receive(char* dest, size_t size) {
    int wait = readTimeoutMs_;
    // The wait for the first byte has only the silence limit: a server may
    // think before it answers.
    if (lowSpeedWindowMs_ > 0 && windowStarted_) {
        const auto window = std::chrono::milliseconds(lowSpeedWindowMs_);
        const uint64_t need = lowSpeedBytesPerSecond_ * static_cast<uint64_t>(lowSpeedWindowMs_) / 1000;
        const auto now = std::chrono::steady_clock::now();
        if (now - windowStart_ >= window) {
            if (windowBytes_ < need) throw EIdSocketError(ETIMEDOUT);
            windowStart_ = now;
            windowBytes_ = 0;
        }
        // Until the window has brought enough, wait no longer than its end.
        // After that only the silence limit holds.
        if (windowBytes_ < need) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(windowStart_ + window - now);
            const int untilEnd = std::max<int>(1, static_cast<int>(left.count()));
            wait = wait > 0 ? std::min(wait, untilEnd) : untilEnd;
        }
    }
    const size_t n = transport_.Recv(dest, size, wait);
    received_ += n;
    if (n > 0 && !windowStarted_) {
        windowStarted_ = true;
        windowStart_ = std::chrono::steady_clock::now();
    }
    return n;
}

bool BufferedReader::Fill() {
    if (closed_) return false;
    if (start_ == end_) start_ = end_ = 0;
    if (end_ == kBufferSize) {
        std::memmove(buffer_.get(), buffer_.get() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    const size_t n = Receive(buffer_.get() + end_, kBufferSize - end_);
    if (n == 0) {
        closed_ = true;
        transport_.Close();
        return false;
    }
    end_ += n;
    return true;
}

std::string BufferedReader::ReadLn() {
    std::string line;
    while (true) {
        const char* begin = buffer_.get() + start_;
        const size_t avail = end_ - start_;
        const void* lf = std::memchr(begin, '\n', avail);
        const size_t take = lf ? static_cast<size_t>(static_cast<const char*>(lf) - begin) : avail;
        // One byte of slack for a CR that belongs to the line end.
        if (line.size() + take > kMaxLineLength + 1) throw EIdReadLnMaxLineLengthExceeded();
        line.append(begin, take);
        start_ += take;
        if (lf) {
            ++start_;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() > kMaxLineLength) throw EIdReadLnMaxLineLengthExceeded();
            return line;
        }
        if (!Fill()) throw EIdConnClosedGracefully();
    }
}

uint64_t BufferedReader::ReadBytes(TMemoryStream& target, uint64_t count) {
    uint64_t done = 0;
    if (start_ != end_) {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(count, end_ - start_));
        target.Write(buffer_.get() + start_, take);
        start_ += take;
        done += take;
        windowBytes_ += take;
    }
    // The rest goes from the socket straight into the stream.
    if (done < count && !closed_) {
        const size_t rest = static_cast<size_t>(count - done);
        transport_.WillReceiveInto(target.PrepareWrite(rest), rest);
    }
    while (done < count && !closed_) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(count - done, kBufferSize));
        char* dest = target.PrepareWrite(want);
        const size_t n = Receive(dest, want);
        if (n == 0) {
            closed_ = true;
            transport_.Close();
            break;
        }
        target.CommitWrite(n);
        done += n;
        windowBytes_ += n;
    }
    return done;
}

uint64_t BufferedReader::ReadToClose(TMemoryStream& target, uint64_t limit) {
    uint64_t done = 0;
    while (true) {
        if (start_ != end_) {
            const size_t take = end_ - start_;
            if (done + take > limit)
                throw ResponseLimitExceeded("Response body larger than " + std::to_string(limit) + " bytes.");
            target.Write(buffer_.get() + start_, take);
            start_ = end_ = 0;
            done += take;
            windowBytes_ += take;
        }
        if (!Fill()) return done;
    }
}

}  // namespace zx
