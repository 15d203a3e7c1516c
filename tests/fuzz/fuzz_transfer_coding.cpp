// The framing headers of an answer on arbitrary text: each line is one
// header value, given both as Transfer-Encoding and as Content-Length lines.
// Chunked is only said by a list that names it; a length is -1 or a 32-bit
// value; conflicting lengths are the one failure.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/text.h"
#include "net/id_exceptions.h"
#include "net/id_response_framing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> values;
    for (size_t start = 0; start <= text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        values.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    const zx::TransferCodingKind coding = zx::ParseTransferCodings(values);
    if (coding == zx::TransferCodingKind::Chunked && zx::AsciiLower(text).find("chunked") == std::string::npos)
        __builtin_trap();
    try {
        const int64_t length = zx::ParseContentLengths(values);
        if (length < -1 || length > 2147483647) __builtin_trap();
    } catch (const zx::HttpFramingError&) {
        if (values.size() < 2 && text.find(',') == std::string::npos) __builtin_trap();
    }
    return 0;
}
