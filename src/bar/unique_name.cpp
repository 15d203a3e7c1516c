#include "bar/unique_name.h"

namespace zx {

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
        candidate.assign(stem).append("(").append(std::to_string(n)).append(")").append(ext);
        if (!exists(JoinPath(folder, candidate))) return candidate;
    }
    ThrowFileNameTaken(JoinPath(folder, candidate));
}

}  // namespace zx
