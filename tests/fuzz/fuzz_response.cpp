// The response reader on arbitrary server bytes: status lines, headers,
// cookies and every body framing, through a scripted transport. Every
// failure must be one of the client's own exceptions.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/id_http.h"
#include "support/scripted_transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string script(reinterpret_cast<const char*>(data), size);
    auto transport = std::make_unique<zx::fuzz::ScriptedTransport>(std::move(script));
    zx::TIdHTTP http(std::move(transport));
    http.Limits() = zx::kDownloadLimits;
    http.Limits().maxBodyBytes = 1 << 20;
    // Two requests: the second reuses the connection when the first left it open.
    for (const char* url : {"http://img.host/dir/a.jpg", "http://img.host/dir/b.jpg"}) {
        zx::TMemoryStream target;
        try {
            http.Get(url, target);
        } catch (const zx::Exception&) {
        }
        if (target.Size() > (1u << 20)) __builtin_trap();
    }
    return 0;
}
