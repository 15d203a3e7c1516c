#include "bar/unique_name.h"

#include <sys/stat.h>

#include <cerrno>

#include "base/exception.h"
#include "base/text.h"

namespace zx {

bool FileExists(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return !S_ISDIR(st.st_mode);
    // A link that points nowhere still takes the name: a file made there
    // would be made through the link, somewhere else.
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder + "/" + name;
}

std::string ExtensionKeptByNumbering(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    const size_t sep = name.find_last_of("/\\:");
    if (sep != std::string::npos && sep > dot) return {};
    return name.substr(dot);
}

std::string UniqueFileName(const std::string& folder, const std::string& name, const ExistsTest& exists) {
    if (!exists(JoinPath(folder, name))) return name;
    const std::string ext = ExtensionKeptByNumbering(name);
    const std::string stem = name.substr(0, name.size() - ext.size());
    std::string candidate;
    // Bounded: a folder could in principle hold every numbered name.
    for (int n = 1; n <= kMaxUniqueNumber; ++n) {
        candidate = stem + "(" + std::to_string(n) + ")" + ext;
        if (!exists(JoinPath(folder, candidate))) return candidate;
    }
    throw EFCreateError("Cannot create file \"" + JoinPath(folder, candidate) + "\". " + SystemErrorText(EEXIST));
}

}  // namespace zx
