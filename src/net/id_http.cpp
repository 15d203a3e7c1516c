#include "net/id_http.h"

#include "base/text.h"
#include "net/id_socket_transport.h"

namespace zx {

TIdHTTP::TIdHTTP() : TIdHTTP(std::make_unique<TIdSocketTransport>()) {}

TIdHTTP::TIdHTTP(std::unique_ptr<TIdTransport> transport) : transport_(std::move(transport)), io_(*transport_) {}

TIdHTTP::~TIdHTTP() = default;

void TIdHTTP::Disconnect() {
    transport_->Close();
    io_.Reset();
}

bool TIdHTTP::KeepAlive() const {
    return transport_->IsOpen() && response_.KeepAliveHeaders();
}

void TIdHTTP::Get(const std::string& url, TMemoryStream& target) {
    redirectCount_ = 0;
    authTries_ = 0;
    const std::string requestTarget = PrepareRequest(url);
    // There is no secure transport: refuse before anything is sent.
    if (EqualsAsciiCaseless(url_.Protocol(), "https")) throw EIdIOHandlerPropInvalid();

    try {
        ConnectIfNeeded();
        if (request_.AcceptEncoding.find("identity") == std::string::npos)
            request_.AcceptEncoding =
                request_.AcceptEncoding.empty() ? "identity" : request_.AcceptEncoding + ", identity";
        Execute(requestTarget, target);
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

void TIdHTTP::ConnectIfNeeded() {
    int port = 80;
    try {
        port = StrToInt(url_.Port());
    } catch (const EConvertError&) {
        port = 80;
    }
    if (transport_->IsOpen()) {
        if (connVersion_ != url_.IPVersion() || !EqualsAsciiCaseless(connHost_, url_.Host()) ||
            connPort_ != std::to_string(port))
            Disconnect();
    }
    // A kept-alive connection is reused only when it is quiet. The server may
    // have closed it meanwhile; or it sent more than its last answer
    // announced, and those bytes would be taken for the next answer.
    if (transport_->IsOpen() && (io_.HasBuffered() || transport_->HasIncoming())) Disconnect();
    if (!transport_->IsOpen()) {
        io_.Reset();
        transport_->Connect(url_.Host(), port, url_.IPVersion(), connectTimeoutMs_);
        ++connectCount_;
        connHost_ = url_.Host();
        connPort_ = std::to_string(port);
        connVersion_ = url_.IPVersion();
    }
    io_.SetReadTimeout(readTimeoutMs_);
}

void TIdHTTP::Execute(const std::string& requestTarget, TMemoryStream& target) {
    response_.Clear();
    if (cookies_) cookies_->DeleteExpired(std::time(nullptr));
    SendRequest(requestTarget);
    ReadResponseHead();
    if (!AcceptAnswer(target)) {
        TMemoryStream body;
        ReadBody(body);
        throw EIdHTTPProtocolException(response_.ResponseText, response_.ResponseCode, body.ToString());
    }
}

bool TIdHTTP::AcceptAnswer(TMemoryStream& target) {
    const int code = response_.ResponseCode;
    if (!response_.Location.empty() || (code / 100 == 3 && code != 304)) {
        // Redirects are reported, never followed.
        ++redirectCount_;
        return false;
    }
    if (code / 100 == 2 && code != 204) {
        ReadBody(target);
        return true;
    }
    if (code == 204) return true;
    if (code == 401 && authTries_ < kMaxAuthRetries) {
        bool basic = false;
        for (const auto& challenge : response_.WWWAuthenticate.Lines())
            if (StartsWithAsciiCaseless(TrimControl(challenge), "Basic")) basic = true;
        if (basic && !request_.Username.empty() && !TrimControl(request_.Password).empty()) {
            ++authTries_;
            ReadBody(target);
            return true;
        }
    }
    return false;
}

}  // namespace zx
