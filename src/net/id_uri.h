#pragma once
// Cuts a URL text into its parts. Nothing is decoded and nothing is checked:
// the parts are slices of the text as written.
#include <string>

namespace zx {

enum class IpVersion { kV4, kV6 };

class TIdURI {
public:
    TIdURI() = default;
    explicit TIdURI(const std::string& uri);

    // Stores the text (backslashes turned into slashes) and splits it.
    void SetURI(const std::string& uri);

    const std::string& URI() const { return uri_; }
    const std::string& Protocol() const { return protocol_; }
    const std::string& Username() const { return username_; }
    const std::string& Password() const { return password_; }
    const std::string& Host() const { return host_; }
    const std::string& Port() const { return port_; }
    const std::string& Path() const { return path_; }
    const std::string& Document() const { return document_; }
    const std::string& Params() const { return params_; }
    const std::string& Bookmark() const { return bookmark_; }
    IpVersion IPVersion() const { return ipVersion_; }

    // The HTTP client rewrites single parts between requests.
    void SetProtocol(const std::string& v) { protocol_ = v; }
    void SetUsername(const std::string& v) { username_ = v; }
    void SetPassword(const std::string& v) { password_ = v; }
    void SetHost(const std::string& v) { host_ = v; }
    void SetPort(const std::string& v) { port_ = v; }
    void SetPath(const std::string& v) { path_ = v; }
    void SetDocument(const std::string& v) { document_ = v; }
    void SetParams(const std::string& v) { params_ = v; }
    void SetBookmark(const std::string& v) { bookmark_ = v; }
    void SetIPVersion(IpVersion v) { ipVersion_ = v; }

private:
    void ClearParts();
    void SplitAuthority(std::string authority);
    void SplitPathPart(const std::string& rest, bool absolute);

    std::string uri_;
    std::string protocol_;
    std::string username_;
    std::string password_;
    std::string host_;
    std::string port_;
    std::string path_;
    std::string document_;
    std::string params_;
    std::string bookmark_;
    IpVersion ipVersion_ = IpVersion::kV4;
};

}  // namespace zx
