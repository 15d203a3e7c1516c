#pragma once
// HTTP/1.1 GET client over a byte transport: fixed request headers, status
// handling, redirects within its limits, keep-alive connection reuse and a
// cookie jar.
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "net/buffered_reader.h"
#include "net/http_limits.h"
#include "net/id_cookie_manager.h"
#include "net/id_exceptions.h"
#include "net/id_header_list.h"
#include "net/id_response_framing.h"
#include "net/id_transport.h"
#include "net/id_uri.h"
#include "net/memory_stream.h"

namespace zx {

// The header fields about the message itself, which requests and responses share.
struct EntityHeaderFields {
    std::string Connection;
    std::string ContentVersion;
    std::string ContentEncoding;
    std::string ContentLanguage;
    std::string ContentType;
    int64_t ContentLength = -1;
};

// The fields a request is built from; empty fields send no header.
struct TIdHTTPRequest : EntityHeaderFields {
    std::string CacheControl;
    std::string Date;
    std::string Expires;
    std::string Pragma;
    TIdHeaderList CustomHeaders;
    std::string ProxyConnection;
    std::string Host;
    std::string Accept = "text/html, */*";
    std::string AcceptCharset;
    std::string AcceptEncoding;
    std::string AcceptLanguage;
    std::string From;
    std::string Referer;
    std::string UserAgent = "Mozilla/3.0 (compatible; Zeltrix)";
    std::string Range;
    std::string IfModifiedSince;
    std::string Authorization;
    std::string ProxyAuthorization;
    bool BasicAuthentication = false;
    std::string Username;
    std::string Password;

    // The header list in sending order, with the Cookie value last.
    TIdHeaderList BuildHeaders(const std::string& cookie) const;
};

// The last response: its status and the fields read from its headers.
struct TIdHTTPResponse : EntityHeaderFields {
    std::string ResponseText;  // the status line
    int ResponseCode = -1;
    TIdHeaderList RawHeaders;
    bool HasContentLength = false;
    std::string ContentRange;
    std::string Date;
    std::string LastModified;
    std::string Expires;
    std::string Pragma;
    std::string Location;
    std::string Server;
    std::string ProxyConnection;
    std::string TransferEncoding;  // the first line's value
    TransferCodingKind TransferCoding = TransferCodingKind::None;
    // Why the head's framing cannot be trusted; empty when it can.
    std::string FramingError;
    TIdHeaderList WWWAuthenticate;
    TIdHeaderList ProxyAuthenticate;
    std::string AcceptRanges;

    void Clear() { *this = TIdHTTPResponse(); }
    // Fills the fields from RawHeaders.
    void ParseHeaders();
    bool KeepAliveHeaders() const;
};

// A decimal number with an optional sign that fits 32 bits; false for
// anything else ("0x1F", "$C8", blanks, an empty text).
bool ReadDecimal32(std::string_view text, int32_t& value);

class TIdHTTP {
public:
    explicit TIdHTTP(std::unique_ptr<TIdTransport> transport);
    ~TIdHTTP();
    TIdHTTP(const TIdHTTP&) = delete;
    TIdHTTP& operator=(const TIdHTTP&) = delete;

    // Fetches url and writes the body into target from its current position.
    // Only a 2xx answer is accepted, and only with its whole body: one cut
    // short by the server's close fails with EIdConnClosedGracefully.
    // Redirects (301, 302, 303, 307, 308 with a Location) are followed as
    // often as the limits allow, from http to https too; one more fails with
    // its status line. Everything else throws. A GET on a kept connection
    // that the server closed before any byte of an answer came is sent once
    // more on a new connection. https needs a transport with TLS.
    void Get(const std::string& url, TMemoryStream& target);

    TIdURI& URL() { return url_; }
    TIdHTTPRequest& Request() { return request_; }
    const TIdHTTPResponse& Response() const { return response_; }
    // Made on the first response; null before.
    TIdCookieManager* CookieManager() { return cookies_.get(); }

    static constexpr int kMaxHeaderLines = 255;
    // A refused answer's body is only its message: this much of it is read,
    // the rest is dropped with the connection.
    static constexpr uint64_t kMaxRefusedBodySize = uint64_t{64} * 1024;

    // The bounds of every GET from the next one on; none until set.
    HttpLimits& Limits() { return limits_; }
    const HttpLimits& Limits() const { return limits_; }

    bool Connected() const { return transport_->IsOpen(); }
    void Disconnect();
    // Connections opened so far; tells reuse from reconnecting.
    int ConnectCount() const { return connectCount_; }

private:
    // Request preparation: rewrites the client URL from url and returns the
    // request target.
    std::string PrepareRequest(const std::string& url);
    std::string HostHeader() const;
    // Opens a connection unless a quiet one to the same server is open;
    // true when it made a new one.
    bool ConnectIfNeeded();
    // The failure of a kept connection that the server closed meanwhile.
    static bool ClosedUnderUs(const Exception& e);
    void SendRequest(const std::string& target);
    // Reads status lines and headers, skipping 100 answers.
    void ReadResponseHead();
    // Reads the body by the transfer rules into target. A body cut short
    // fails with EIdConnClosedGracefully. One above limit fails too, unless
    // keepPart: then its first limit bytes are read, the rest is left
    // unread and the result is false.
    bool ReadBody(TMemoryStream& target, uint64_t limit, bool keepPart);
    bool ReadChunked(TMemoryStream& target, uint64_t limit, bool keepPart);
    // True when the answer is accepted; then its body is in target.
    bool AcceptAnswer(TMemoryStream& target);
    // Reads a bounded part of a refused or redirecting answer's body; drops
    // the connection when that was not the whole body.
    std::string ReadNote();
    // Reads a bounded part of a refused answer's body and fails with it.
    [[noreturn]] void RefuseAnswer();
    void Execute(const std::string& target, TMemoryStream& stream);
    // One request and its answer, sent once more when a kept connection was
    // closed under it; a followed redirect leaves its address in redirectTo_.
    void GetOnce(const std::string& requestTarget, TMemoryStream& target);
    // Takes a redirect's address into redirectTo_ when it is to be followed.
    bool FollowRedirect();
    // The client URL as an absolute address, the base of a relative Location.
    std::string CurrentAddress() const;
    bool KeepAlive() const;
    // The body limit, with none as the largest number.
    uint64_t BodyCap() const;

    std::unique_ptr<TIdTransport> transport_;
    BufferedReader io_;
    TIdURI url_;
    TIdHTTPRequest request_;
    TIdHTTPResponse response_;
    std::unique_ptr<TIdCookieManager> cookies_;

    // The server of the open connection.
    std::string connHost_;
    std::string connPort_;
    IpVersion connVersion_ = IpVersion::kV4;
    bool connSecure_ = false;

    HttpLimits limits_;
    // Redirecting answers in this GET.
    int redirectCount_ = 0;
    std::string redirectTo_;
    int connectCount_ = 0;
};

}  // namespace zx
