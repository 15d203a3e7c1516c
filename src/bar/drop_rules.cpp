#include "bar/drop_rules.h"

#include <algorithm>
#include <array>

#include "base/text.h"
#include "net/id_location.h"

namespace zx {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool AllOf(std::string_view text, bool (*test)(char)) {
    return std::all_of(text.begin(), text.end(), test);
}

// A decimal number 0 to 255 written without leading zeros.
bool IsPlainOctet(std::string_view part) {
    if (part.empty() || part.size() > 3 || !AllOf(part, IsDigit)) return false;
    if (part.size() > 1 && part[0] == '0') return false;
    return std::stoi(std::string(part)) <= 255;
}

// The engine reads a host whose last label is a number (decimal, or hex with
// "0x") as an IPv4 address in any of its old forms; only the dotted form of
// four decimal numbers means the same to the system's resolver.
bool IsPlainHostName(std::string_view host) {
    if (host.empty()) return false;
    const bool nameChars = AllOf(host, [](char c) {
        return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_' || c == '.';
    });
    if (!nameChars) return false;
    std::string_view last = host;
    if (last.size() > 1 && last.back() == '.') last.remove_suffix(1);
    last = last.substr(last.rfind('.') == std::string_view::npos ? 0 : last.rfind('.') + 1);
    const bool endsInNumber =
        AllOf(last, IsDigit) || (last.size() >= 2 && last[0] == '0' && (last[1] == 'x' || last[1] == 'X') &&
                                 AllOf(last.substr(2), [](char c) { return HexDigitValue(c) >= 0; }));
    if (!endsInNumber) return true;
    int parts = 0;
    for (size_t start = 0;; ++parts) {
        const size_t dot = host.find('.', start);
        if (!IsPlainOctet(host.substr(start, dot - start))) return false;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return parts == 3;
}

bool IsPort(std::string_view port) {
    return port.size() <= 5 && AllOf(port, IsDigit) && (port.empty() || std::stoi(std::string(port)) <= 65535);
}

}  // namespace

std::string DroppedFileExtension(std::string_view name) {
    const size_t pos = name.find_last_of(".\\:");
    if (pos == std::string_view::npos || name[pos] != '.') return {};
    return std::string(name.substr(pos));
}

bool IsImageExtension(std::string_view extension) {
    static constexpr std::array<std::string_view, 9> kImageExtensions = {".jpg", ".jpeg", ".png",  ".gif", ".bmp",
                                                                         ".ico", ".webp", ".avif", ".svg"};
    // A real image is never refused for the case of its extension: servers
    // and cameras write .JPG as often as .jpg.
    const std::string lower = AsciiLower(extension);
    for (std::string_view e : kImageExtensions)
        if (lower == e) return true;
    return false;
}

bool IsWebAddress(std::string_view address) {
    return AsciiLower(address.substr(0, 4)) == "http";
}

bool HasControlCharacter(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (IsControlByte(c)) return true;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F &&
            static_cast<unsigned char>(text[i + 1]) >= 0x80)
            return true;
    }
    return false;
}

bool HostReadsAlike(std::string_view address) {
    const std::string_view text = address;
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    const std::string scheme = AsciiLower(text.substr(0, colon));
    if (scheme != "http" && scheme != "https") return false;
    // The engine skips any number of slashes (or backslashes) after the
    // scheme; the splitter wants exactly two. A backslash anywhere up to the
    // end of the host is refused with them.
    if (text.compare(colon, 3, "://") != 0) return false;
    std::string_view authority = text.substr(colon + 3);
    authority = authority.substr(0, authority.find_first_of("/\\"));
    const size_t end = colon + 3 + authority.size();
    if (authority.empty() || (end < text.size() && text[end] == '\\')) return false;
    if (authority.find_first_of("?#") != std::string_view::npos) return false;
    // The splitter ends the user information at the first "@", the engine at the last.
    if (const size_t at = authority.find('@'); at != std::string_view::npos) {
        if (authority.find('@', at + 1) != std::string_view::npos) return false;
        authority.remove_prefix(at + 1);
    }
    std::string_view host = authority, port;
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) return false;
        host = authority.substr(1, close - 1);
        const std::string_view rest = authority.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') return false;
        port = rest.substr(std::min<size_t>(1, rest.size()));
        const bool v6 = AllOf(host, [](char c) { return HexDigitValue(c) >= 0 || c == ':' || c == '.'; });
        if (host.empty() || !v6) return false;
    } else {
        if (const size_t c = authority.find(':'); c != std::string_view::npos) {
            host = authority.substr(0, c);
            port = authority.substr(c + 1);
        }
        if (!IsPlainHostName(host)) return false;
    }
    return IsPort(port);
}

bool IsAcceptableAddress(std::string_view address) {
    return address.size() <= kMaxAddressLength && !HasControlCharacter(address) &&
           (!IsWebAddress(address) || HostReadsAlike(address));
}

}  // namespace zx
