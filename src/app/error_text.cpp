#include "app/error_text.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "base/exception.h"
#include "base/text.h"

namespace zx {

std::string VisibleControls(const std::string& message) {
    std::string out;
    out.reserve(message.size());
    for (const char c : message) {
        const auto u = static_cast<unsigned char>(c);
        if (IsControlByte(u) && c != '\r' && c != '\n' && c != '\t') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", u);
            out += escape;
        } else {
            out += c;
        }
    }
    return out;
}

std::string HandlerErrorText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return VisibleControls(message) + ".";
    return VisibleControls(message);
}

std::string ApplicationErrorText(const std::string& className, const std::string& module, const void* address,
                                 const std::string& message) {
    char addr[32];
    std::snprintf(addr, sizeof addr, "%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
    const bool endsWithDot = !message.empty() && message.back() == '.';
    return "Exception " + className + " in module " + module + " at " + addr + ".\r\n" + VisibleControls(message) +
           (endsWithDot ? "" : ".") + "\r\n";
}

const void* RaiseAddress(const std::exception& e) {
    auto* own = dynamic_cast<const Exception*>(&e);
    return own ? own->RaisedAt() : nullptr;
}

std::string ExceptionClassName(const std::exception& e) {
    if (auto* own = dynamic_cast<const Exception*>(&e)) return own->ClassName();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status),
                                                std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(typeid(e).name());
}

}  // namespace zx
