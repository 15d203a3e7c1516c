#pragma once
// The root of the program's own exceptions. Every failure that reaches the
// user carries its exact user-facing message; the class name is shown by the
// last-chance report of the main sequence.
#include <stdexcept>
#include <string>

namespace zx {

// The address of the code that calls it: used as a default argument, the
// code that evaluates the argument, that is, where an exception is raised.
[[gnu::noinline]] inline const void* CallerCodeAddress() noexcept {
    return __builtin_return_address(0);
}

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message, const void* raisedAt = CallerCodeAddress())
        : std::runtime_error(message), raisedAt_(raisedAt) {}
    virtual const char* ClassName() const noexcept { return "Exception"; }
    // Where the exception was raised (for the last-chance report).
    const void* RaisedAt() const noexcept { return raisedAt_; }

private:
    const void* raisedAt_;
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
