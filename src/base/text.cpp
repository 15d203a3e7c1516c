#include "base/text.h"

#include <cerrno>
#include <cstring>

#include "base/exception.h"

namespace zx {

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string JoinLinesCRLF(const std::vector<std::string>& lines) {
    size_t total = 0;
    for (const auto& l : lines) total += l.size() + 2;
    std::string out;
    out.reserve(total);
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool EqualsAsciiCaseless(std::string_view a, std::string_view b) {
    return a.size() == b.size() && AsciiLower(a) == AsciiLower(b);
}

bool StartsWithAsciiCaseless(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsAsciiCaseless(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimControl(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
    return text.substr(b, e - b);
}

std::string_view TrimBlanks(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
    return text.substr(b, e - b);
}

std::string SystemErrorText(int err) {
    char buf[256];
    // GNU strerror_r returns the message, which may not be buf.
    const char* msg = strerror_r(err, buf, sizeof buf);
    return msg ? std::string(msg) : std::string("Unknown error");
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int32_t StrToInt(const std::string& text) {
    // Accepts an optional sign and decimal digits (a leading "$" or "0x" for
    // hexadecimal too, as the classic conversion does); nothing else.
    auto fail = [&]() -> int32_t { throw EConvertError("'" + text + "' is not a valid integer value"); };
    std::string_view s = text;
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    bool neg = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        neg = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (!s.empty() && s.front() == '$') {
        base = 16;
        s.remove_prefix(1);
    } else if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return fail();
    int64_t value = 0;
    for (char c : s) {
        const int d = HexDigitValue(c);
        if (d < 0 || d >= base) return fail();
        value = value * base + d;
        if (value > (int64_t{1} << 32)) return fail();
    }
    if (neg) value = -value;
    if (base == 10 && (value > INT32_MAX || value < INT32_MIN)) return fail();
    if (base == 16) {
        // Hexadecimal may name any 32-bit pattern.
        if (value > UINT32_MAX || value < -int64_t{UINT32_MAX}) return fail();
        return static_cast<int32_t>(static_cast<uint32_t>(value));
    }
    return static_cast<int32_t>(value);
}

}  // namespace zx
