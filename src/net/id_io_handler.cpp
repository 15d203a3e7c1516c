#include "net/id_io_handler.h"

#include <cstring>

#include "net/id_exceptions.h"

namespace zx {

TIdIOHandler::TIdIOHandler(TIdTransport& transport) : transport_(transport), buffer_(new char[kBufferSize]) {}

void TIdIOHandler::Reset() {
    start_ = end_ = 0;
    closed_ = false;
}

bool TIdIOHandler::Fill() {
    if (closed_) return false;
    if (start_ == end_) start_ = end_ = 0;
    if (end_ == kBufferSize) {
        std::memmove(buffer_.get(), buffer_.get() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    const size_t n = transport_.Recv(buffer_.get() + end_, kBufferSize - end_, readTimeoutMs_);
    if (n == 0) {
        closed_ = true;
        transport_.Close();
        return false;
    }
    end_ += n;
    return true;
}

std::string TIdIOHandler::ReadLn() {
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

uint64_t TIdIOHandler::ReadBytes(TMemoryStream& target, uint64_t count) {
    uint64_t done = 0;
    if (start_ != end_) {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(count, end_ - start_));
        target.Write(buffer_.get() + start_, take);
        start_ += take;
        done += take;
    }
    // The rest goes from the socket straight into the stream.
    while (done < count && !closed_) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(count - done, kBufferSize));
        char* dest = target.PrepareWrite(want);
        const size_t n = transport_.Recv(dest, want, readTimeoutMs_);
        if (n == 0) {
            closed_ = true;
            transport_.Close();
            break;
        }
        target.CommitWrite(n);
        done += n;
    }
    return done;
}

uint64_t TIdIOHandler::ReadToClose(TMemoryStream& target, uint64_t limit) {
    uint64_t done = 0;
    while (true) {
        if (start_ != end_) {
            const size_t take = end_ - start_;
            if (done + take > limit)
                throw EIdResponseLimitExceeded("Response body larger than " + std::to_string(limit) + " bytes.");
            target.Write(buffer_.get() + start_, take);
            start_ = end_ = 0;
            done += take;
        }
        if (!Fill()) return done;
    }
}

}  // namespace zx
