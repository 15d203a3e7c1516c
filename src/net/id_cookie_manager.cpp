#include "net/id_cookie_manager.h"

#include <mutex>
#include <string_view>

#include "base/text.h"

namespace zx {

namespace {

std::string WithoutLeadingDot(const std::string& domain) {
    return (!domain.empty() && domain[0] == '.') ? domain.substr(1) : domain;
}

// Four dotted decimal parts of at most 255, none with a leading zero.
bool IsIPv4Literal(std::string_view s) {
    size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i >= s.size() || s[i] != '.') return false;
            ++i;
        }
        const size_t start = i;
        unsigned value = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 3)
            value = value * 10 + static_cast<unsigned>(s[i++] - '0');
        if (i == start || value > 255 || (i - start > 1 && s[start] == '0')) return false;
    }
    return i == s.size();
}

// Eight colon-separated groups of one to four hex digits, or fewer with one
// "::" standing for at least one group; the last two groups may be written as
// a dotted IPv4 address.
bool IsIPv6Literal(std::string_view s) {
    int groups = 0;
    bool compressed = false;
    size_t i = 0;
    if (s.substr(0, 2) == "::") {
        compressed = true;
        i = 2;
    } else if (!s.empty() && s[0] == ':') {
        return false;
    }
    while (i < s.size()) {
        size_t j = i;
        while (j < s.size() && HexDigitValue(s[j]) >= 0) ++j;
        if (j < s.size() && s[j] == '.') {
            if (!IsIPv4Literal(s.substr(i))) return false;
            groups += 2;
            break;
        }
        if (j == i || j - i > 4) return false;
        ++groups;
        i = j;
        if (i == s.size()) break;
        if (s[i] != ':') return false;
        if (++i == s.size()) return false;
        if (s[i] == ':') {
            if (compressed) return false;
            compressed = true;
            ++i;
        }
    }
    return compressed ? groups <= 7 : groups == 8;
}

}  // namespace

bool DomainMatches(const std::string& host, const std::string& domain) {
    const std::string d = AsciiLower(WithoutLeadingDot(domain));
    const std::string h = AsciiLower(host);
    if (d.empty() || h.empty()) return false;
    if (h == d) return true;
    return h.size() > d.size() + 1 && h.compare(h.size() - d.size(), d.size(), d) == 0 &&
           h[h.size() - d.size() - 1] == '.';
}

bool IsLiteralAddress(const std::string& host) {
    return IsIPv4Literal(host) || IsIPv6Literal(host);
}

void TIdCookieManager::TakeCookies(const TIdHeaderList& headers, const std::string& host, std::time_t now) {
    for (const auto& text : headers.AllValues("Set-Cookie"))
        TakeCookie(std::make_unique<TIdCookieRFC2109>(), text, host, now);
    for (const auto& text : headers.AllValues("Set-Cookie2"))
        TakeCookie(std::make_unique<TIdCookieRFC2965>(), text, host, now);
}

bool TIdCookieManager::TakeCookie(std::unique_ptr<TIdCookieRFC2109> cookie, const std::string& text,
                                  const std::string& host, std::time_t now) {
    if (text.size() > kMaxCookieBytes || !cookie->Parse(text, now)) return false;

    // A cookie may name the host itself or a domain that the host lies in,
    // never a sibling, a stranger or a bare top-level name.
    std::string domain = WithoutLeadingDot(cookie->Domain);
    if (domain.empty()) {
        domain = host;
    } else if (IsLiteralAddress(host) || domain.find('.') == std::string::npos) {
        if (!EqualsAsciiCaseless(domain, host)) return false;
    } else if (!DomainMatches(host, domain)) {
        return false;
    }
    if (domain.empty()) return false;
    cookie->Domain = domain;

    std::unique_lock guard(lock_);
    DomainGroup* group = nullptr;
    for (auto& g : groups_)
        if (EqualsAsciiCaseless(g.domain, domain)) group = &g;
    if (!group) {
        groups_.push_back(DomainGroup{domain, {}});
        group = &groups_.back();
    }
    for (auto& stored : group->cookies) {
        if (EqualsAsciiCaseless(stored.cookie->Name, cookie->Name)) {
            stored.cookie = std::move(cookie);
            return true;
        }
    }
    if (group->cookies.size() >= kMaxPerDomain) {
        group->cookies.erase(group->cookies.begin());
        --count_;
    }
    group->cookies.push_back(Stored{taken_++, std::move(cookie)});
    if (++count_ > kMaxCookies) DropOldest();
    return true;
}

void TIdCookieManager::DropOldest() {
    auto oldest = groups_.end();
    for (auto g = groups_.begin(); g != groups_.end(); ++g)
        if (!g->cookies.empty() &&
            (oldest == groups_.end() || g->cookies.front().order < oldest->cookies.front().order))
            oldest = g;
    if (oldest == groups_.end()) return;
    oldest->cookies.erase(oldest->cookies.begin());
    --count_;
    if (oldest->cookies.empty()) groups_.erase(oldest);
}

void TIdCookieManager::DeleteExpired(std::time_t now) {
    std::unique_lock guard(lock_);
    for (auto& g : groups_) {
        count_ -= std::erase_if(g.cookies, [now](const Stored& s) {
            const auto end = s.cookie->ExpiryTime();
            return end && *end < now;
        });
    }
    std::erase_if(groups_, [](const DomainGroup& g) { return g.cookies.empty(); });
}

std::string TIdCookieManager::CookieHeader(const std::string& host, const std::string& path) const {
    std::shared_lock guard(lock_);
    std::string out;
    for (const auto& g : groups_) {
        if (!DomainMatches(host, g.domain)) continue;
        for (const auto& [order, c] : g.cookies) {
            if (c->Value.empty() || c->Secure) continue;
            if (path.compare(0, c->Path.size(), c->Path) != 0) continue;
            if (!out.empty()) out += "; ";
            out += c->Name + "=" + c->Value;
        }
    }
    return out;
}

size_t TIdCookieManager::Count() const {
    std::shared_lock guard(lock_);
    return count_;
}

}  // namespace zx
