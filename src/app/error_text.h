#pragma once
// The texts of the program's two error boxes.
#include <exception>
#include <string>

namespace zx {

// `message` with every control character other than line breaks and tabs
// (a NUL from a file name, an escape from a file attribute) written as a
// visible "\xHH", so that a box shows the whole text as it is.
std::string VisibleControls(const std::string& message);

// The message shown for an exception that left an event handler: "." added
// when its last character sorts after ".". Both reports keep control
// characters visible.
std::string HandlerErrorText(const std::string& message);

// The last-chance report of the main sequence:
// "Exception <class> in module <module> at <address>.\r\n<message>[.]\r\n".
std::string ApplicationErrorText(const std::string& className, const std::string& module, const void* address,
                                 const std::string& message);

// Where an exception was raised: known for the program's own exceptions,
// null for any other.
const void* RaiseAddress(const std::exception& e);

// The class name of an exception: the program's own name for its own
// exceptions, the demangled type name for any other.
std::string ExceptionClassName(const std::exception& e);

}  // namespace zx
