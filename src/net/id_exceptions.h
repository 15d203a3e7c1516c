#pragma once
// Failures of the HTTP client, each carrying the exact text the user sees.
#include <string>

#include "base/exception.h"

namespace zx {

// An answer whose status the client does not accept: the message is the
// status line, ErrorMessage the body that came with it.
class EIdHTTPProtocolException : public Exception {
public:
    EIdHTTPProtocolException(const std::string& statusLine, int code, const std::string& body)
        : Exception(statusLine), errorCode_(code), errorMessage_(body) {}
    const char* ClassName() const noexcept override { return "EIdHTTPProtocolException"; }
    int ErrorCode() const { return errorCode_; }
    const std::string& ErrorMessage() const { return errorMessage_; }

private:
    int errorCode_;
    std::string errorMessage_;
};

// A socket failure, made from what the system reported: an errno value
// (ETIMEDOUT for a wait that ran out of time), or a host name without an
// address. Its message is "Socket Error # <number>\r\n<text>", with the
// number and text the user sees for that failure.
class EIdSocketError : public Exception {
public:
    explicit EIdSocketError(int err, const void* raisedAt = CallerCodeAddress());
    struct HostNotFoundTag {};
    static constexpr HostNotFoundTag kHostNotFound{};
    explicit EIdSocketError(HostNotFoundTag, const void* raisedAt = CallerCodeAddress());
    const char* ClassName() const noexcept override { return "EIdSocketError"; }

    // The errno value; 0 for a host not found.
    int Errno() const { return err_; }
    // The number in the message.
    int LastError() const { return code_; }

private:
    int err_ = 0;
    int code_;
};

class EIdConnClosedGracefully : public Exception {
public:
    EIdConnClosedGracefully() : Exception("Connection Closed Gracefully.") {}
    const char* ClassName() const noexcept override { return "EIdConnClosedGracefully"; }
};

class EIdUnknownProtocol : public Exception {
public:
    EIdUnknownProtocol() : Exception("Unknown Protocol") {}
    const char* ClassName() const noexcept override { return "EIdUnknownProtocol"; }
};

class EIdIOHandlerPropInvalid : public Exception {
public:
    EIdIOHandlerPropInvalid() : Exception("IOHandler value is not valid") {}
    const char* ClassName() const noexcept override { return "EIdIOHandlerPropInvalid"; }
};

class EIdReadLnMaxLineLengthExceeded : public Exception {
public:
    EIdReadLnMaxLineLengthExceeded() : Exception("Max line length exceeded.") {}
    const char* ClassName() const noexcept override { return "EIdReadLnMaxLineLengthExceeded"; }
};

// An answer whose head frames its body in a way that cannot be trusted:
// lengths that disagree, a coding the client cannot undo, a part that no
// request asked for.
class HttpFramingError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "HttpFramingError"; }
};

// A secure connection could not be made or kept: the certificate failed its
// check ("Certificate verify failed: <reason>"), the handshake failed, or
// the server cut the connection without the secure close.
class TlsError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "TlsError"; }
    static constexpr const char* kCutWithoutClose = "Connection cut without the secure close.";
};

// A server sent more than the client is willing to hold: too many header
// lines, an impossible chunk size, or a body above the memory limit.
class ResponseLimitExceeded : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "ResponseLimitExceeded"; }
};

}  // namespace zx
