// Reading the response body: chunked, by length, or up to the close. A body
// that its framing says is incomplete is an error, never a shorter image.
#include "base/text.h"
#include "net/id_http.h"

namespace zx {

namespace {

// The hexadecimal size before the first ";" or blank. A size line that is
// no hexadecimal number ("zz", "-5", nothing) means the framing is lost, and
// the answer counts as cut. Sizes past 64 bits are refused.
uint64_t ChunkSize(const std::string& line) {
    const size_t end = line.find_first_of("; ");
    const std::string_view digits = TrimControl(std::string_view(line).substr(0, end));
    if (digits.empty()) throw EIdConnClosedGracefully();
    uint64_t size = 0;
    for (char c : digits) {
        const int v = HexDigitValue(c);
        if (v < 0) throw EIdConnClosedGracefully();
        if (size > (UINT64_MAX >> 4)) throw ResponseLimitExceeded("Chunk size out of range.");
        size = (size << 4) | static_cast<uint64_t>(v);
    }
    return size;
}

[[noreturn]] void BodyTooLarge(uint64_t limit) {
    throw ResponseLimitExceeded("Response body larger than " + std::to_string(limit) + " bytes.");
}

}  // namespace

bool TIdHTTP::ReadBody(TMemoryStream& target, uint64_t limit, bool keepPart) {
    const int code = response_.ResponseCode;
    // These answers never carry a body, whatever their headers say.
    if (code == 204 || code == 304 || (code >= 100 && code < 200)) return true;

    if (!response_.FramingError.empty()) throw HttpFramingError(response_.FramingError);
    if (response_.TransferCoding == TransferCodingKind::Chunked) return ReadChunked(target, limit, keepPart);
    if (response_.HasContentLength && response_.ContentLength > 0) {
        const uint64_t length = static_cast<uint64_t>(response_.ContentLength);
        if (length > limit) {
            if (!keepPart) BodyTooLarge(limit);
            io_.ReadBytes(target, limit);
            return false;
        }
        target.Reserve(target.Position() + length);
        if (io_.ReadBytes(target, length) < length) throw EIdConnClosedGracefully();
        return true;
    }
    // Length 0: no body.
    if (response_.HasContentLength) return true;
    // No length: the close ends the body.
    if (!keepPart) {
        io_.ReadToClose(target, limit);
        return true;
    }
    return io_.ReadBytes(target, limit) < limit;
}

bool TIdHTTP::ReadChunked(TMemoryStream& target, uint64_t limit, bool keepPart) {
    uint64_t total = 0;
    for (uint64_t size = ChunkSize(io_.ReadLn()); size > 0; size = ChunkSize(io_.ReadLn())) {
        if (size > limit - total) {
            if (!keepPart) BodyTooLarge(limit);
            io_.ReadBytes(target, limit - total);
            return false;
        }
        if (io_.ReadBytes(target, size) < size) throw EIdConnClosedGracefully();
        total += size;
        // The chunk ends with its line break; anything else before it means
        // the chunk was longer than its size said.
        if (!io_.ReadLn().empty()) throw EIdConnClosedGracefully();
    }
    // Trailer lines up to the empty line are read and dropped.
    int lines = 0;
    while (!io_.ReadLn().empty()) {
        if (++lines > kMaxHeaderLines)
            throw ResponseLimitExceeded("Too many header lines (more than " + std::to_string(kMaxHeaderLines) + ").");
    }
    return true;
}

}  // namespace zx
