#pragma once
// The client's cookie jar: takes cookies from response headers, drops expired
// ones and yields the Cookie header for a request. Held in memory only, and
// bounded: a cookie text longer than kMaxCookieBytes is refused, and past
// kMaxPerDomain in one domain or kMaxCookies in all the oldest cookie goes.
#include <cstdint>
#include <ctime>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "net/id_cookie.h"
#include "net/id_header_list.h"

namespace zx {

class TIdCookieManager {
public:
    static constexpr size_t kMaxCookieBytes = 4096;
    static constexpr size_t kMaxPerDomain = 50;
    static constexpr size_t kMaxCookies = 3000;

    // Takes every Set-Cookie and Set-Cookie2 line of a response to host.
    void TakeCookies(const TIdHeaderList& headers, const std::string& host, std::time_t now);
    // Takes one cookie text; false when it was refused.
    bool TakeCookie(std::unique_ptr<TIdCookieRFC2109> cookie, const std::string& text, const std::string& host,
                    std::time_t now);
    // Removes every cookie whose end of life lies before now.
    void DeleteExpired(std::time_t now);
    // "a=1; b=2" for a request to host with the given directory path; empty
    // when no cookie goes with it.
    std::string CookieHeader(const std::string& host, const std::string& path) const;

    size_t Count() const;

private:
    // A cookie with the moment it came, counted in cookies taken; one that
    // replaces another keeps the moment of the first.
    struct Stored {
        uint64_t order;
        std::unique_ptr<TIdCookieRFC2109> cookie;
    };
    // Oldest first.
    struct DomainGroup {
        std::string domain;
        std::vector<Stored> cookies;
    };
    // Drops the oldest cookie of all; the lock is held.
    void DropOldest();

    mutable std::shared_mutex lock_;
    std::vector<DomainGroup> groups_;
    size_t count_ = 0;
    uint64_t taken_ = 0;
};

// True when host lies in domain: the same name, or a name that ends in "."
// followed by the domain. A leading dot of the domain is ignored; case is not
// significant.
bool DomainMatches(const std::string& host, const std::string& domain);

// True for an IPv4 address in dotted decimal or an IPv6 address in its text
// forms (no brackets, no zone).
bool IsLiteralAddress(const std::string& host);

}  // namespace zx
