// The cookie jar on arbitrary header text. The first line is the request
// host, each further line a response header line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/id_cookie_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = text.find('\n');
    const std::string host = text.substr(0, start);
    zx::TIdHeaderList headers;
    while (start != std::string::npos && headers.Count() < 300) {
        const size_t next = text.find('\n', start + 1);
        headers.AddLine(text.substr(start + 1, next == std::string::npos ? std::string::npos : next - start - 1));
        start = next;
    }
    const std::time_t now = 1700000000;
    zx::TIdCookieManager jar;
    jar.TakeCookies(headers, host, now);
    jar.DeleteExpired(now);
    const std::string cookie = jar.CookieHeader(host, "/");
    // Only cookies the host may hold come back to it.
    if (!cookie.empty() && host.empty()) __builtin_trap();
    for (const auto& v : headers.AllValues("Set-Cookie")) (void)zx::ParseCookieDate(v);
    return 0;
}
