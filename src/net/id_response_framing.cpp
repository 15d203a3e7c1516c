#include "net/id_response_framing.h"

#include "base/text.h"
#include "net/id_exceptions.h"

namespace zx {

namespace {

// Calls f with each trimmed, non-empty item of comma-separated lists.
template <class F>
void ForEachItem(const std::vector<std::string>& values, F f) {
    for (const auto& value : values) {
        std::string_view rest = value;
        while (true) {
            const size_t comma = rest.find(',');
            const std::string_view item = TrimControl(rest.substr(0, comma));
            if (!item.empty()) f(item);
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
    }
}

// A 32-bit signed decimal number, leading zeros allowed; -1 for anything
// else or a negative value ("-0" is 0).
int64_t LengthValue(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return -1;
    int64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
        if (v > 2147483647) return -1;
    }
    return negative && v != 0 ? -1 : v;
}

}  // namespace

TransferCodingKind ParseTransferCodings(const std::vector<std::string>& values) {
    int chunked = 0;
    bool other = false;
    bool chunkedLast = false;
    ForEachItem(values, [&](std::string_view item) {
        const std::string_view name = TrimControl(item.substr(0, item.find(';')));
        chunkedLast = EqualsAsciiCaseless(name, "chunked");
        if (chunkedLast)
            ++chunked;
        else if (!EqualsAsciiCaseless(name, "identity"))
            other = true;
    });
    if (other) return TransferCodingKind::Unsupported;
    if (chunked == 0) return TransferCodingKind::None;
    return chunked == 1 && chunkedLast ? TransferCodingKind::Chunked : TransferCodingKind::Unsupported;
}

int64_t ParseContentLengths(const std::vector<std::string>& values) {
    int64_t length = -1;
    ForEachItem(values, [&](std::string_view item) {
        const int64_t v = LengthValue(item);
        if (v < 0) return;
        if (length >= 0 && v != length) throw HttpFramingError("Conflicting Content-Length values.");
        length = v;
    });
    return length;
}

}  // namespace zx
