#include "net/id_uri.h"

#include <algorithm>

namespace zx {

TIdURI::TIdURI(const std::string& uri) {
    SetURI(uri);
}

namespace {

// Cuts the authority off the front of the text after "://": up to the first
// "/", which goes with it, or the whole text when there is none (so in
// http://host?x=1 the host is host?x=1).
std::string TakeAuthority(std::string& rest) {
    const size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    rest.erase(0, slash == std::string::npos ? rest.size() : slash + 1);
    return authority;
}

}  // namespace

void TIdURI::SetURI(const std::string& uri) {
    uri_ = uri;
    // Windows-style separators count as slashes. Lead bytes of double-byte
    // code pages, which would have to be skipped together with their trail
    // byte, do not exist in the UTF-8 locale we run in: every byte is looked at.
    for (char& c : uri_)
        if (c == '\\') c = '/';
    ClearParts();

    const size_t scheme = uri_.find("://");
    if (scheme == std::string::npos) {
        SplitPathPart(uri_, false);
    } else {
        protocol_ = uri_.substr(0, scheme);
        std::string rest = uri_.substr(scheme + 3);
        SplitAuthority(TakeAuthority(rest));
        SplitPathPart(rest, true);
    }

    // A fragment not found in the document may still trail the params.
    if (bookmark_.empty()) {
        const size_t hash = params_.find('#');
        if (hash != std::string::npos) {
            bookmark_ = params_.substr(hash + 1);
            params_.erase(hash);
        }
    }
}

void TIdURI::ClearParts() {
    protocol_.clear();
    username_.clear();
    password_.clear();
    host_.clear();
    port_.clear();
    path_.clear();
    document_.clear();
    params_.clear();
    bookmark_.clear();
    ipVersion_ = IpVersion::kV4;
}

// User name and password before the first "@"; then a bracketed IPv6 host or
// a host name, each with the port after its ":".
void TIdURI::SplitAuthority(std::string authority) {
    const size_t at = authority.find('@');
    if (at != std::string::npos) {
        const std::string userInfo = authority.substr(0, at);
        authority.erase(0, at + 1);
        const size_t colon = userInfo.find(':');
        username_ = userInfo.substr(0, colon);
        if (colon != std::string::npos) password_ = userInfo.substr(colon + 1);
        if (username_.empty()) password_.clear();
    }

    const size_t open = authority.find('[');
    const size_t close = authority.find(']');
    if (open != std::string::npos && close != std::string::npos && close > open) {
        host_ = authority.substr(open + 1, close - open - 1);
        const size_t colon = authority.find(':', close);
        if (colon != std::string::npos) port_ = authority.substr(colon + 1);
        ipVersion_ = IpVersion::kV6;
    } else {
        const size_t colon = authority.find(':');
        host_ = authority.substr(0, colon);
        if (colon != std::string::npos) port_ = authority.substr(colon + 1);
    }
}

// Path, document and params. The params begin at the first "?", or at the
// first "=" when there is no "?"; the path ends at the last "/" before them.
void TIdURI::SplitPathPart(const std::string& rest, bool absolute) {
    size_t q = rest.find('?');
    if (q == std::string::npos) q = rest.find('=');

    // Number of leading characters that belong to the path.
    size_t pathLen = 0;
    const size_t lastSlash = (q == std::string::npos) ? rest.rfind('/') : rest.rfind('/', q);
    if (lastSlash != std::string::npos) pathLen = lastSlash + 1;

    path_.clear();
    if (absolute) path_.push_back('/');
    path_.append(rest, 0, pathLen);
    if (q != std::string::npos) {
        document_ = rest.substr(0, q);
        params_ = rest.substr(q);
    } else {
        document_ = rest;
    }
    document_.erase(0, std::min(pathLen, document_.size()));

    if (absolute) {
        const size_t hash = document_.find('#');
        if (hash != std::string::npos) {
            bookmark_ = document_.substr(hash + 1);
            document_.erase(hash);
        }
    }
}

}  // namespace zx
