// The cookie jar's caps under any order of intake: hosts, names, sizes and
// replacements chosen by the input. The jar never holds more than its caps,
// and the cookie just taken is never the one dropped.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "net/id_cookie_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::time_t now = 1700000000;
    zx::TIdCookieManager jar;
    uint64_t fresh = 0;
    // Each step: a host, a name (or new ones), the domain and value length,
    // a repeat count. Every domain here is one the host may set, so only the
    // size refuses a cookie. At most 256 steps of up to 64 cookies: enough
    // to pass every cap many times over, and still a short run.
    size = std::min<size_t>(size, 1024);
    for (size_t i = 0; i + 4 <= size; i += 4) {
        const std::string parent = data[i] & 1 ? "a.site.example" : "b.site.example";
        const std::string host = "h" + std::to_string(data[i] & 127) + "." + parent;
        const int choice = data[i + 2] & 3;
        const std::string domain = choice == 1 ? "; Domain=site.example" : (choice == 2 ? "; Domain=" + parent : "");
        // Mostly short values (long ones only make the run slow), a few
        // around the size cap.
        const size_t code = data[i + 2] >> 2;
        const size_t valueLength = code < 58 ? code : 4000 + (code - 58) * 20;
        const int repeat = data[i + 3] & 63;
        for (int n = 0; n <= repeat; ++n) {
            const std::string name =
                data[i + 1] < 200 ? "n" + std::to_string(data[i + 1]) : "f" + std::to_string(fresh++);
            const std::string value = std::string(valueLength, 'v') + std::to_string(n);
            const bool taken =
                jar.TakeCookie(std::make_unique<zx::TIdCookieRFC2109>(), name + "=" + value + domain, host, now);
            if (jar.Count() > zx::TIdCookieManager::kMaxCookies) __builtin_trap();
            if (taken != (name.size() + value.size() + domain.size() + 1 <= zx::TIdCookieManager::kMaxCookieBytes))
                __builtin_trap();
            // Checked once a run: building the header is the costly part.
            if (taken && n == repeat && i + 8 > size &&
                jar.CookieHeader(host, "/").find(name + "=" + value) == std::string::npos)
                __builtin_trap();
        }
    }
    return 0;
}
