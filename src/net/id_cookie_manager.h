#pragma once
// The client's cookie jar: takes cookies from response headers, drops expired
// ones and yields the Cookie header for a request. Held in memory only.
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
    struct DomainGroup {
        std::string domain;
        std::vector<std::unique_ptr<TIdCookieRFC2109>> cookies;
    };

    mutable std::shared_mutex lock_;
    std::vector<DomainGroup> groups_;
};

// True when host lies in domain: the same name, or a name that ends in "."
// followed by the domain. A leading dot of the domain is ignored; case is not
// significant.
bool DomainMatches(const std::string& host, const std::string& domain);

// True for an IPv4 address in dotted decimal or an IPv6 address in its text
// forms (no brackets, no zone).
bool IsLiteralAddress(const std::string& host);

}  // namespace zx
