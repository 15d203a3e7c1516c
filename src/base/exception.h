#pragma once
// The root of the program's own exceptions. Every failure that reaches the
// user carries its exact user-facing message; the class name is shown by the
// last-chance report of the main sequence.
#include <stdexcept>
#include <string>

namespace zx {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    virtual const char* ClassName() const noexcept { return "Exception"; }
};

// Converting a text to a number failed: "'%s' is not a valid integer value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EConvertError"; }
};

// File creation and opening failures of the list file and the download.
class EFCreateError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EFCreateError"; }
};
class EFOpenError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EFOpenError"; }
};
class EWriteError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EWriteError"; }
};

}  // namespace zx
