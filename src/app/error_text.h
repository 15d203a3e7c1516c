#pragma once
// The texts of the program's two error boxes.
#include <exception>
#include <string>

namespace zx {

// The message shown for an exception that left an event handler: "." added
// when its last character sorts after ".".
std::string HandlerErrorText(const std::string& message);

// The last-chance report of the main sequence:
// "Exception <class> in module <module> at <address>.\r\n<message>[.]\r\n".
std::string ApplicationErrorText(const std::string& className, const std::string& module, const void* address,
                                 const std::string& message);

// The class name of an exception: the program's own name for its own
// exceptions, the demangled type name for any other.
std::string ExceptionClassName(const std::exception& e);

}  // namespace zx
