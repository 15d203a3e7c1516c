// Request preparation: the client URL from the given one, and the request
// header block.
#include "base/text.h"
#include "net/id_http.h"

namespace zx {

namespace {

// A relative path continues the directory of the previous one.
std::string ResolvePath(const std::string& base, const std::string& path) {
    if (path.empty()) return base;
    const size_t slash = base.rfind('/');
    return (slash == std::string::npos ? std::string() : base.substr(0, slash + 1)) + path;
}

}  // namespace

std::string TIdHTTP::PrepareRequest(const std::string& url) {
    const TIdURI split(url);

    if (!split.Username().empty()) {
        request_.Username = split.Username();
        request_.Password = split.Password();
    }
    url_.SetUsername(request_.Username);
    url_.SetPassword(request_.Password);

    url_.SetPath(StartsWithAsciiCaseless(split.Path(), "/") ? split.Path() : ResolvePath(url_.Path(), split.Path()));
    url_.SetDocument(split.Document());
    url_.SetParams(split.Params());
    url_.SetBookmark(split.Bookmark());
    if (!split.Host().empty()) {
        url_.SetHost(split.Host());
        url_.SetIPVersion(split.IPVersion());
    }

    if (!split.Protocol().empty())
        url_.SetProtocol(split.Protocol());
    else if (!EqualsAsciiCaseless(url_.Protocol(), "https"))
        url_.SetProtocol("http");

    if (!split.Port().empty())
        url_.SetPort(split.Port());
    else if (EqualsAsciiCaseless(split.Protocol(), "http"))
        url_.SetPort("80");
    else if (EqualsAsciiCaseless(split.Protocol(), "https"))
        url_.SetPort("443");
    else if (url_.Port().empty())
        throw EIdUnknownProtocol();

    request_.ContentLength = -1;
    request_.Host = HostHeader();
    // The bookmark stays here; nothing is encoded.
    return url_.Path() + url_.Document() + url_.Params();
}

std::string TIdHTTP::HostHeader() const {
    // An IPv6 literal keeps its brackets, or its colons would read as the port.
    const std::string host = url_.IPVersion() == IpVersion::kV6 ? "[" + url_.Host() + "]" : url_.Host();
    return url_.Port() == "80" ? host : host + ":" + url_.Port();
}

TIdHeaderList TIdHTTPRequest::BuildHeaders(const std::string& cookie) const {
    TIdHeaderList h;
    auto add = [&h](const char* name, const std::string& value) {
        if (!value.empty()) h.AddValue(name, value);
    };
    add("Connection", Connection);
    add("Content-Version", ContentVersion);
    add("Content-Encoding", ContentEncoding);
    add("Content-Language", ContentLanguage);
    add("Content-Type", ContentType);
    if (ContentLength >= 0) h.AddValue("Content-Length", std::to_string(ContentLength));
    add("Cache-control", CacheControl);
    add("Date", Date);
    add("Expires", Expires);
    add("Pragma", Pragma);
    for (const auto& line : CustomHeaders.Lines()) h.AddLine(line);
    add("Proxy-Connection", ProxyConnection);
    add("Host", Host);
    add("Accept", Accept);
    add("Accept-Charset", AcceptCharset);
    add("Accept-Encoding", AcceptEncoding);
    add("Accept-Language", AcceptLanguage);
    add("From", From);
    add("Referer", Referer);
    add("User-Agent", UserAgent);
    if (!Range.empty()) h.AddValue("Range", "bytes=" + Range);
    add("If-Modified-Since", IfModifiedSince);
    add("Authorization", Authorization);
    add("Proxy-Authorization", ProxyAuthorization);
    add("Cookie", cookie);
    return h;
}

void TIdHTTP::SendRequest(const std::string& requestTarget) {
    const std::string cookie = cookies_ ? cookies_->CookieHeader(url_.Host(), url_.Path()) : std::string();
    // The whole request goes out in one piece.
    std::string wire = "GET " + requestTarget + " HTTP/1.1\r\n";
    wire += request_.BuildHeaders(cookie).Text();
    wire += "\r\n";
    // A server that never takes it gets the read limit, as one that never answers.
    transport_->Send(wire.data(), wire.size(), limits_.readTimeoutMs);
}

}  // namespace zx
