// Reading the response head: status line, header lines, the fields parsed
// from them, and the cookies they carry.
#include "base/exception.h"
#include "base/text.h"
#include "net/id_http.h"
#include "net/id_response_framing.h"

namespace zx {

namespace {

// The number after the protocol word of a status line, -1 when there is none.
int StatusCode(const std::string& statusLine) {
    const size_t space = statusLine.find(' ');
    if (space == std::string::npos) return -1;
    std::string_view rest = TrimControl(std::string_view(statusLine).substr(space + 1));
    rest = rest.substr(0, rest.find(' '));
    int32_t code = -1;
    return ReadDecimal32(rest, code) ? code : -1;
}

constexpr int kMaxInterimAnswers = 16;

std::string JoinValues(const std::vector<std::string>& values) {
    std::string out;
    for (const auto& v : values) out += (out.empty() ? "" : ", ") + v;
    return out.substr(0, 200);
}

}  // namespace

bool ReadDecimal32(std::string_view text, int32_t& value) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        // Leading zeros may make the text long; only the value is bounded.
        if (v > 2147483648) return false;
    }
    if (negative) v = -v;
    if (v > 2147483647) return false;
    value = static_cast<int32_t>(v);
    return true;
}

void TIdHTTPResponse::ParseHeaders() {
    const TIdHeaderList& h = RawHeaders;
    Connection = h.Values("Connection");
    ContentVersion = h.Values("Content-Version");
    ContentEncoding = h.Values("Content-Encoding");
    ContentLanguage = h.Values("Content-Language");
    ContentType = h.Values("Content-Type");
    // A head that frames its body two ways is kept as a failure for the body
    // reader: the status and the cookies still count.
    FramingError.clear();
    try {
        ContentLength = ParseContentLengths(h.AllValues("Content-Length"));
    } catch (const HttpFramingError& e) {
        ContentLength = -1;
        FramingError = e.what();
    }
    HasContentLength = ContentLength >= 0;
    TransferCoding = ParseTransferCodings(h.AllValues("Transfer-Encoding"));
    if (TransferCoding == TransferCodingKind::Unsupported && FramingError.empty())
        FramingError = "Unsupported transfer coding: " + JoinValues(h.AllValues("Transfer-Encoding")) + ".";
    ContentRange = h.Values("Content-Range");
    Date = h.Values("Date");
    LastModified = h.Values("Last-Modified");
    Expires = h.Values("Expires");
    Pragma = h.Values("Pragma");
    Location = h.Values("Location");
    Server = h.Values("Server");
    ProxyConnection = h.Values("Proxy-Connection");
    TransferEncoding = h.Values("Transfer-Encoding");
    AcceptRanges = h.Values("Accept-Ranges");
    WWWAuthenticate.Clear();
    for (const auto& v : h.AllValues("WWW-Authenticate")) WWWAuthenticate.AddLine(v);
    ProxyAuthenticate.Clear();
    for (const auto& v : h.AllValues("Proxy-Authenticate")) ProxyAuthenticate.AddLine(v);
}

bool TIdHTTPResponse::KeepAliveHeaders() const {
    // An HTTP/1.0 server keeps the connection only when it says so; most
    // close it a moment after the body.
    const std::string_view protocol = std::string_view(ResponseText).substr(0, ResponseText.find(' '));
    if (EqualsAsciiCaseless(protocol, "HTTP/1.0")) {
        bool keep = false;
        for (std::string_view rest = Connection; !rest.empty();) {
            const size_t comma = rest.find(',');
            keep = keep || EqualsAsciiCaseless(TrimControl(rest.substr(0, comma)), "keep-alive");
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        if (!keep) return false;
    }
    return !EqualsAsciiCaseless(TrimControl(Connection), "close") &&
           !EqualsAsciiCaseless(TrimControl(ProxyConnection), "close");
}

void TIdHTTP::ReadResponseHead() {
    for (int interim = 0;; ++interim) {
        if (interim > kMaxInterimAnswers) throw ResponseLimitExceeded("Too many interim responses.");
        response_.Clear();
        response_.ResponseText = io_.ReadLn();
        // A head that the server's close cuts before its empty line is no
        // whole answer: the close fails the GET.
        int lines = 0;
        for (std::string line = io_.ReadLn(); !line.empty(); line = io_.ReadLn()) {
            if (++lines > kMaxHeaderLines)
                throw ResponseLimitExceeded("Too many header lines (more than " + std::to_string(kMaxHeaderLines) +
                                            ").");
            response_.RawHeaders.AddLine(line);
        }
        response_.ParseHeaders();
        if (!cookies_) cookies_ = std::make_unique<TIdCookieManager>();
        cookies_->TakeCookies(response_.RawHeaders, url_.Host(), std::time(nullptr));
        response_.ResponseCode = StatusCode(response_.ResponseText);
        if (response_.ResponseCode != 100) return;
    }
}

}  // namespace zx
