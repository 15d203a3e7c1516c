#include "net/id_http.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "base/text.h"
#include "net/id_location.h"

namespace zx {

TIdHTTP::TIdHTTP(std::unique_ptr<TIdTransport> transport) : transport_(std::move(transport)), io_(*transport_) {}

TIdHTTP::~TIdHTTP() = default;

void TIdHTTP::Disconnect() {
    transport_->Close();
    io_.Reset();
}

bool TIdHTTP::KeepAlive() const {
    return transport_->IsOpen() && response_.KeepAliveHeaders();
}

uint64_t TIdHTTP::BodyCap() const {
    return limits_.maxBodyBytes > 0 ? limits_.maxBodyBytes : UINT64_MAX;
}

void TIdHTTP::Get(const std::string& url, TMemoryStream& target) {
    redirectCount_ = 0;
    std::string address = url;
    do {
        redirectTo_.clear();
        GetOnce(PrepareRequest(address), target);
        address = redirectTo_;
    } while (!address.empty());
}

void TIdHTTP::GetOnce(const std::string& requestTarget, TMemoryStream& target) {
    try {
        const bool fresh = ConnectIfNeeded();
        if (request_.AcceptEncoding.find("identity") == std::string::npos)
            request_.AcceptEncoding =
                request_.AcceptEncoding.empty() ? "identity" : request_.AcceptEncoding + ", identity";
        try {
            Execute(requestTarget, target);
        } catch (const Exception& e) {
            // A kept connection may be closed by the server just as the
            // request goes out. When not one byte of an answer came, the GET
            // is sent once more on a new connection: it changes nothing on
            // the server, so repeating it is safe. A fresh connection that
            // fails this way has no such excuse.
            if (fresh || io_.Received() > 0 || !ClosedUnderUs(e)) throw;
            Disconnect();
            ConnectIfNeeded();
            Execute(requestTarget, target);
        }
    } catch (const EIdHTTPProtocolException&) {
        // The whole answer was read, so the connection is still in step.
        if (!KeepAlive()) Disconnect();
        throw;
    } catch (...) {
        // Anything else may leave unread bytes on the connection: never reuse it.
        Disconnect();
        throw;
    }
    if (!KeepAlive()) Disconnect();
}

std::string TIdHTTP::CurrentAddress() const {
    const std::string host = url_.IPVersion() == IpVersion::kV6 ? "[" + url_.Host() + "]" : url_.Host();
    return url_.Protocol() + "://" + host + ":" + url_.Port() + url_.Path() + url_.Document() + url_.Params();
}

bool TIdHTTP::ClosedUnderUs(const Exception& e) {
    if (dynamic_cast<const EIdConnClosedGracefully*>(&e)) return true;
    // Over TLS a server that drops an idle connection may skip the secure close.
    if (dynamic_cast<const TlsError*>(&e)) return std::string_view(e.what()) == TlsError::kCutWithoutClose;
    const auto* socket = dynamic_cast<const EIdSocketError*>(&e);
    if (!socket) return false;
    const int err = socket->Errno();
    // Reset, aborted, or written after the peer's close (EPIPE).
    return err == ECONNRESET || err == ECONNABORTED || err == EPIPE;
}

bool TIdHTTP::ConnectIfNeeded() {
    // The port is a decimal number; any other text means the standard port.
    int32_t port = 80;
    if (!ReadDecimal32(url_.Port(), port)) port = 80;
    const bool secure = EqualsAsciiCaseless(url_.Protocol(), "https");
    bool fresh = false;
    if (transport_->IsOpen()) {
        if (connVersion_ != url_.IPVersion() || !EqualsAsciiCaseless(connHost_, url_.Host()) ||
            connPort_ != std::to_string(port) || connSecure_ != secure)
            Disconnect();
    }
    // A kept-alive connection is reused only when it is quiet. The server may
    // have closed it meanwhile; or it sent more than its last answer
    // announced, and those bytes would be taken for the next answer.
    if (transport_->IsOpen() && (io_.HasBuffered() || transport_->HasIncoming())) Disconnect();
    if (!transport_->IsOpen()) {
        io_.Reset();
        if (secure)
            transport_->ConnectSecure(url_.Host(), port, url_.IPVersion(), limits_.connectTimeoutMs);
        else
            transport_->Connect(url_.Host(), port, url_.IPVersion(), limits_.connectTimeoutMs);
        ++connectCount_;
        connSecure_ = secure;
        connHost_ = url_.Host();
        connPort_ = std::to_string(port);
        connVersion_ = url_.IPVersion();
        fresh = true;
    }
    io_.StartReading(limits_);
    return fresh;
}

void TIdHTTP::Execute(const std::string& requestTarget, TMemoryStream& target) {
    response_.Clear();
    if (cookies_) cookies_->DeleteExpired(std::time(nullptr));
    SendRequest(requestTarget);
    ReadResponseHead();
    if (!AcceptAnswer(target)) RefuseAnswer();
}

std::string TIdHTTP::ReadNote() {
    // A body cut short or too long to read whole leaves the connection out
    // of step: it is dropped.
    TMemoryStream body;
    bool whole = false;
    try {
        whole = ReadBody(body, std::min(kMaxRefusedBodySize, BodyCap()), true);
    } catch (const EIdConnClosedGracefully&) {
    } catch (const HttpFramingError&) {
    }
    if (!whole) Disconnect();
    return body.ToString();
}

void TIdHTTP::RefuseAnswer() {
    // The status line is the failure, however the body ended.
    const std::string body = ReadNote();
    throw EIdHTTPProtocolException(response_.ResponseText, response_.ResponseCode, body);
}

bool TIdHTTP::FollowRedirect() {
    const int code = response_.ResponseCode;
    const bool moved = code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
    if (!moved || redirectCount_ > limits_.redirectsFollowed) return false;
    const std::string next = ResolveLocation(CurrentAddress(), response_.Location);
    if (next.empty()) return false;
    ReadNote();  // the redirect's own page is dropped
    redirectTo_ = next;
    return true;
}

bool TIdHTTP::AcceptAnswer(TMemoryStream& target) {
    const int code = response_.ResponseCode;
    if (!response_.Location.empty() || (code / 100 == 3 && code != 304)) {
        ++redirectCount_;
        return FollowRedirect();
    }
    // A part of the image is never the image: only a request for a range
    // may take one.
    if (code == 206 && request_.Range.empty()) return false;
    if (code / 100 == 2 && code != 204) {
        ReadBody(target, BodyCap(), false);
        return true;
    }
    // A 401 is refused like any other answer, whatever credentials the
    // request holds: its body is the server's error page, never the image,
    // and no credentials are ever sent.
    return code == 204;
}

}  // namespace zx
