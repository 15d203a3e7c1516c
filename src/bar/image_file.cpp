#include "bar/image_file.h"

#include <utility>

namespace zx {
namespace {

// How often a name that was taken meanwhile is picked anew before giving up.
constexpr int kCreateAttempts = 16;

}  // namespace

TImageFile TImageFile::Create(const std::string& folder, const std::string& name, const std::string& baseName,
                              const ExistsTest& exists) {
    std::string chosen = name;
    for (int attempt = 0;; ++attempt) {
        if (std::optional<NewFile> file = NewFile::Create(folder, chosen)) return TImageFile(std::move(*file));
        // A file or a link that appeared after the name was picked: take the
        // next free name.
        const std::string path = JoinPath(folder, chosen);
        if (!exists(path) || attempt >= kCreateAttempts) ThrowFileNameTaken(path);
        chosen = UniqueFileName(folder, baseName, exists);
    }
}

}  // namespace zx
