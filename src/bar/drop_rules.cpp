#include "bar/drop_rules.h"

#include <array>

#include "base/text.h"

namespace zx {

std::string DroppedFileExtension(std::string_view name) {
    const size_t pos = name.find_last_of(".\\:");
    if (pos == std::string_view::npos || name[pos] != '.') return {};
    return std::string(name.substr(pos));
}

bool IsImageExtension(std::string_view extension) {
    static constexpr std::array<std::string_view, 6> kImageExtensions = {".jpg", ".jpeg", ".png",
                                                                         ".gif", ".bmp",  ".ico"};
    for (std::string_view e : kImageExtensions)
        if (extension == e) return true;
    return false;
}

bool IsWebAddress(std::string_view address) {
    return AsciiLower(address.substr(0, 4)) == "http";
}

}  // namespace zx
