// Reading the response body: chunked, by length, or up to the close.
#include "base/text.h"
#include "net/id_http.h"

namespace zx {

namespace {

// The hexadecimal size before the first ";" or blank; 0 when it does not
// read as a number. Sizes past 64 bits are refused.
uint64_t ChunkSize(const std::string& line) {
    const size_t end = line.find_first_of("; ");
    const std::string_view digits = TrimControl(std::string_view(line).substr(0, end));
    if (digits.empty()) return 0;
    uint64_t size = 0;
    for (char c : digits) {
        const int v = HexDigitValue(c);
        if (v < 0) return 0;
        if (size > (UINT64_MAX >> 4)) throw EIdResponseLimitExceeded("Chunk size out of range.");
        size = (size << 4) | static_cast<uint64_t>(v);
    }
    return size;
}

[[noreturn]] void BodyTooLarge(uint64_t limit) {
    throw EIdResponseLimitExceeded("Response body larger than " + std::to_string(limit) + " bytes.");
}

}  // namespace

void TIdHTTP::ReadBody(TMemoryStream& target) {
    const int code = response_.ResponseCode;
    // These answers never carry a body, whatever their headers say.
    if (code == 204 || code == 304 || (code >= 100 && code < 200)) return;

    if (response_.TransferEncoding.find("chunked") != std::string::npos) {
        ReadChunked(target);
    } else if (response_.HasContentLength && response_.ContentLength > 0) {
        const uint64_t length = static_cast<uint64_t>(response_.ContentLength);
        if (length > maxBodySize_) BodyTooLarge(maxBodySize_);
        target.Reserve(target.Position() + length);
        // A server that closes early leaves a shorter body, which is not an error.
        io_.ReadBytes(target, length);
    } else if (response_.HasContentLength) {
        // Length 0: no body.
    } else {
        io_.ReadToClose(target, maxBodySize_);
    }
}

void TIdHTTP::ReadChunked(TMemoryStream& target) {
    uint64_t total = 0;
    for (uint64_t size = ChunkSize(io_.ReadLn()); size > 0; size = ChunkSize(io_.ReadLn())) {
        if (size > maxBodySize_ - total) BodyTooLarge(maxBodySize_);
        if (io_.ReadBytes(target, size) < size) throw EIdConnClosedGracefully();
        total += size;
        io_.ReadLn();  // the line break that ends the chunk
    }
    // Trailer lines up to the empty line are read and dropped.
    int lines = 0;
    while (!io_.ReadLn().empty()) {
        if (++lines > kMaxHeaderLines)
            throw EIdResponseLimitExceeded("Too many header lines (more than " + std::to_string(kMaxHeaderLines) +
                                           ").");
    }
}

}  // namespace zx
