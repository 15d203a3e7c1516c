#include "net/id_location.h"

#include <vector>

#include "base/text.h"

namespace zx {

namespace {

// Scheme, authority and the rest of an absolute address.
struct Absolute {
    std::string_view scheme;
    std::string_view authority;
    std::string_view rest;  // path, query and fragment
};

bool WebScheme(std::string_view scheme) {
    return EqualsAsciiCaseless(scheme, "http") || EqualsAsciiCaseless(scheme, "https");
}

// The scheme before the first ":", when the text starts with one.
std::string_view SchemeOf(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (c == ':') return i > 0 ? text.substr(0, i) : std::string_view();
        if (!(letter || (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))) return {};
    }
    return {};
}

bool SplitAbsolute(std::string_view text, Absolute& out) {
    const std::string_view scheme = SchemeOf(text);
    if (!WebScheme(scheme) || text.substr(scheme.size(), 3) != "://") return false;
    std::string_view after = text.substr(scheme.size() + 3);
    const size_t end = std::min(after.find_first_of("/?#"), after.size());
    out = {scheme, after.substr(0, end), after.substr(end)};
    return !out.authority.empty();
}

// The path with "." and ".." segments removed; it always starts with "/".
std::string RemoveDotSegments(std::string_view path) {
    std::vector<std::string_view> kept;
    bool trailingSlash = false;
    size_t pos = path.empty() || path[0] != '/' ? 0 : 1;
    while (pos <= path.size()) {
        const size_t slash = std::min(path.find('/', pos), path.size());
        const std::string_view segment = path.substr(pos, slash - pos);
        const bool last = slash == path.size();
        trailingSlash = false;
        if (segment == "..") {
            if (!kept.empty()) kept.pop_back();
            trailingSlash = true;
        } else if (segment == ".") {
            trailingSlash = true;
        } else {
            kept.push_back(segment);
        }
        if (last) break;
        pos = slash + 1;
    }
    std::string out;
    for (const auto& s : kept) out.append("/").append(s);
    if (trailingSlash || out.empty()) out += '/';
    return out;
}

}  // namespace

std::string ResolveLocation(std::string_view base, std::string_view location) {
    location = TrimBlanks(location);
    if (base.size() > kMaxAddressLength) return {};
    if (location.empty() || location.size() > kMaxAddressLength) return {};
    Absolute b;
    if (!SplitAbsolute(base, b)) return {};

    std::string scheme(b.scheme), authority(b.authority), rest;
    const std::string_view scheme2 = SchemeOf(location);
    if (!scheme2.empty()) {
        Absolute l;
        if (!SplitAbsolute(location, l)) return {};
        scheme = l.scheme;
        authority = l.authority;
        rest = l.rest;
    } else if (location.substr(0, 2) == "//") {
        Absolute l;
        const std::string full = std::string(b.scheme) + ":" + std::string(location);
        if (!SplitAbsolute(full, l)) return {};
        authority = l.authority;
        rest = l.rest;
    } else if (!location.empty() && location[0] == '/') {
        rest = location;
    } else {
        // Relative to the base's folder, or its path when only a query or a
        // fragment is given.
        const std::string_view basePath = b.rest.substr(0, b.rest.find_first_of("?#"));
        if (!location.empty() && location[0] == '?') {
            rest = std::string(basePath) + std::string(location);
        } else if (location[0] == '#') {
            rest = std::string(b.rest.substr(0, b.rest.find('#'))) + std::string(location);
        } else {
            const size_t slash = basePath.rfind('/');
            rest = (slash == std::string_view::npos ? std::string("/") : std::string(basePath.substr(0, slash + 1))) +
                   std::string(location);
        }
    }
    const size_t queryAt = std::min(rest.find_first_of("?#"), rest.size());
    std::string out = scheme + "://" + authority + RemoveDotSegments(std::string_view(rest).substr(0, queryAt)) +
                      rest.substr(queryAt);
    if (out.size() > kMaxAddressLength) return {};
    // Nothing that a request line could not carry, from either side.
    for (const char c : out)
        if (c == ' ' || IsControlByte(static_cast<unsigned char>(c))) return {};
    return out;
}

}  // namespace zx
