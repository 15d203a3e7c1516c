// Redirect targets on arbitrary text: the base is the input up to its first
// line break, the Location the rest. The result is empty or an absolute http
// or https address within the length bound, with nothing a request line
// could not carry, and resolving it again against anything gives itself.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/text.h"
#include "net/id_location.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t cut = text.find('\n');
    const std::string base = cut == std::string::npos ? "http://img.host/a/b.jpg" : text.substr(0, cut);
    const std::string location = cut == std::string::npos ? text : text.substr(cut + 1);
    const std::string out = zx::ResolveLocation(base, location);
    if (out.empty()) return 0;
    if (out.size() > zx::kMaxAddressLength) __builtin_trap();
    if (!zx::StartsWithAsciiCaseless(out, "http://") && !zx::StartsWithAsciiCaseless(out, "https://")) __builtin_trap();
    for (const char c : out)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) __builtin_trap();
    if (zx::ResolveLocation("http://other.host/x/y", out) != out) __builtin_trap();
    return 0;
}
