#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/linux/linux_platform.h"

namespace zx {
namespace {
// A web address longer than this is no address a browser stored.
constexpr size_t kMaxOriginLength = size_t{64} * 1024;
}  // namespace

std::vector<UrlCacheEntry> XattrUrlCacheEntries(const std::string& localPath) {
    // Cache entries name files by absolute path; a relative name would be
    // looked up against whatever the working directory happens to be.
    if (localPath.empty() || localPath[0] != '/' || localPath.find('\0') != std::string::npos) return {};
    const ssize_t size = getxattr(localPath.c_str(), "user.xdg.origin.url", nullptr, 0);
    if (size <= 0 || static_cast<size_t>(size) > kMaxOriginLength) return {};
    std::string url(static_cast<size_t>(size), '\0');
    const ssize_t got = getxattr(localPath.c_str(), "user.xdg.origin.url", url.data(), url.size());
    if (got <= 0) return {};
    url.resize(static_cast<size_t>(got));
    // Some writers store the terminating NUL with the value.
    while (!url.empty() && url.back() == '\0') url.pop_back();
    // A web address has no control characters: a value with a line break,
    // NUL or the like is no address a browser stored, and would split or cut
    // the page made from it.
    const bool control =
        std::any_of(url.begin(), url.end(), [](char c) { return IsControlByte(static_cast<unsigned char>(c)); });
    if (url.empty() || control) return {};
    return {UrlCacheEntry{localPath, url}};
}

bool XattrAddUrlCacheEntry(const UrlCacheEntry& entry) {
    const std::string& path = entry.localFileName;
    const std::string& url = entry.sourceUrl;
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos) return false;
    if (url.empty() || url.size() > kMaxOriginLength) return false;
    // A link planted at the name is not followed: the attribute would land elsewhere.
    return lsetxattr(path.c_str(), "user.xdg.origin.url", url.data(), url.size(), 0) == 0;
}

}  // namespace zx
