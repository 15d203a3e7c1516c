#pragma once
// Clients for the loopback tests: the download's limits with short times,
// and test host names (img.host, other.host) that resolve to 127.0.0.1.
#include <memory>
#include <string>

#include "base/text.h"
#include "net/id_http.h"
#include "platform/socket_transport.h"
#include "platform/tls_transport.h"
#include "support/scripted_http_server.h"
#include "support/test_certificates.h"

namespace zx::test {

inline std::string LoopbackResolver(const std::string& host, IpVersion version, int timeoutMs) {
    const std::string name = AsciiLower(host);
    if (name == "img.host" || name == "other.host") return "127.0.0.1";
    return ResolveWithSystem(host, version, timeoutMs);
}

// secure: a client that speaks https too, trusting only the test authority.
inline std::unique_ptr<TIdHTTP> MakeClient(bool secure = false) {
    std::unique_ptr<TIdTransport> transport;
    if (secure) {
        TestCertificates::Get();
        transport = std::make_unique<TlsTransport>(LoopbackResolver);
    } else {
        transport = std::make_unique<SocketTransport>(LoopbackResolver);
    }
    auto http = std::make_unique<TIdHTTP>(std::move(transport));
    http->Limits() = kDownloadLimits;
    http->Limits().connectTimeoutMs = 2000;
    http->Limits().readTimeoutMs = 3000;
    return http;
}

inline ScriptedExchange Answer(const std::string& response, bool closeAfter = false) {
    ScriptedExchange e;
    e.response = response;
    e.closeAfter = closeAfter;
    return e;
}

inline std::string Ok(const std::string& body, const std::string& extraHeaders = "") {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
}

inline std::string StreamText(const TMemoryStream& s) {
    return s.ToString();
}

}  // namespace zx::test
