#include "app/error_text.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "base/exception.h"

namespace zx {

std::string HandlerErrorText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return message + ".";
    return message;
}

std::string ApplicationErrorText(const std::string& className, const std::string& module, const void* address,
                                 const std::string& message) {
    char addr[32];
    std::snprintf(addr, sizeof addr, "%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
    const bool endsWithDot = !message.empty() && message.back() == '.';
    return "Exception " + className + " in module " + module + " at " + addr + ".\r\n" + message +
           (endsWithDot ? "" : ".") + "\r\n";
}

std::string ExceptionClassName(const std::exception& e) {
    if (auto* own = dynamic_cast<const Exception*>(&e)) return own->ClassName();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status),
                                                std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(typeid(e).name());
}

}  // namespace zx
