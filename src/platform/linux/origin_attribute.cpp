#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "base/text.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/log_categories.h"

namespace zx {
namespace {
// The attribute web browsers put on the files they save (freedesktop.org).
constexpr char kOriginAttribute[] = "user.xdg.origin.url";
// A web address longer than this is no address a browser stored.
constexpr size_t kMaxOriginLength = size_t{64} * 1024;

// An absolute path that the system calls take whole.
bool UsablePath(const std::string& path) {
    return !path.empty() && path[0] == '/' && path.find('\0') == std::string::npos;
}
}  // namespace

std::optional<std::string> ReadOriginAttribute(const std::string& localPath) {
    // A relative name would be looked up against whatever the working
    // directory happens to be.
    if (!UsablePath(localPath)) {
        qCDebug(lcOrigin, "no origin looked up for %s: not an absolute path", localPath.c_str());
        return std::nullopt;
    }
    const ssize_t size = getxattr(localPath.c_str(), kOriginAttribute, nullptr, 0);
    if (size <= 0 || static_cast<size_t>(size) > kMaxOriginLength) {
        qCDebug(lcOrigin, "no origin for %s: %s", localPath.c_str(),
                size < 0 ? std::strerror(errno) : "the attribute is empty or too long");
        return std::nullopt;
    }
    std::string url(static_cast<size_t>(size), '\0');
    const ssize_t got = getxattr(localPath.c_str(), kOriginAttribute, url.data(), url.size());
    if (got <= 0) {
        qCDebug(lcOrigin, "no origin for %s: %s", localPath.c_str(), got < 0 ? std::strerror(errno) : "empty");
        return std::nullopt;
    }
    url.resize(static_cast<size_t>(got));
    // Some writers store the terminating NUL with the value.
    while (!url.empty() && url.back() == '\0') url.pop_back();
    // A web address has no control characters: a value with a line break,
    // NUL or the like is no address a browser stored, and would split or cut
    // the page made from it.
    if (url.empty() || HasControlByte(url)) {
        qCDebug(lcOrigin, "origin of %s ignored: it holds no web address", localPath.c_str());
        return std::nullopt;
    }
    return url;
}

bool WriteOriginAttribute(const std::string& localPath, const std::string& url) {
    if (!UsablePath(localPath) || url.empty() || url.size() > kMaxOriginLength) {
        qCDebug(lcOrigin, "no origin recorded for %s: unusable path or address", localPath.c_str());
        return false;
    }
    // A link planted at the name is not followed: the attribute would land elsewhere.
    if (lsetxattr(localPath.c_str(), kOriginAttribute, url.data(), url.size(), 0) == 0) return true;
    qCDebug(lcOrigin, "no origin recorded for %s: %s", localPath.c_str(), std::strerror(errno));
    return false;
}

}  // namespace zx
