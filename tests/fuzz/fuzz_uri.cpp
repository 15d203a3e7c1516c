// The URL splitter on arbitrary text: no crash, and the parts stay slices of
// the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/id_uri.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    zx::TIdURI uri(text);
    const std::string& u = uri.URI();
    if (u.size() != text.size()) __builtin_trap();
    for (const std::string* part : {&uri.Protocol(), &uri.Username(), &uri.Password(), &uri.Host(), &uri.Port(),
                                    &uri.Document(), &uri.Params(), &uri.Bookmark()}) {
        if (part->size() > u.size()) __builtin_trap();
        if (!part->empty() && u.find(*part) == std::string::npos) __builtin_trap();
    }
    if (u.find("://") != std::string::npos && (uri.Path().empty() || uri.Path()[0] != '/')) __builtin_trap();
    if (!uri.Params().empty() && uri.Params()[0] != '?' && uri.Params()[0] != '=') __builtin_trap();
    if (u.find('\\') != std::string::npos) __builtin_trap();
    return 0;
}
