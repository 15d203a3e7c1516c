#include "bar/image_file.h"

#include <utility>

namespace zx {
namespace {

// How often a name that was taken meanwhile is picked anew before giving up.
constexpr int kCreateAttempts = 16;

}  // namespace

namespace {

// Makes the file with make(name), picking the next free name while one
// appears under it meanwhile.
template <class Make>
NewFile CreateFree(const std::string& folder, const std::string& name, const std::string& baseName,
                   const ExistsTest& exists, Make make) {
    std::string chosen = name;
    for (int attempt = 0;; ++attempt) {
        if (std::optional<NewFile> file = make(chosen)) return std::move(*file);
        // A file or a link that appeared after the name was picked: take the
        // next free name.
        const std::string path = JoinPath(folder, chosen);
        if (!exists(path) || attempt >= kCreateAttempts) ThrowFileNameTaken(path);
        chosen = UniqueFileName(folder, baseName, exists);
    }
}

}  // namespace

ImageFile ImageFile::Create(const std::string& folder, const std::string& name, const std::string& baseName,
                            const ExistsTest& exists) {
    return ImageFile(CreateFree(folder, name, baseName, exists,
                                [&folder](const std::string& n) { return NewFile::Create(folder, n); }));
}

ImageFile ImageFile::Create(const OpenFolder& folder, const std::string& name, const std::string& baseName) {
    return ImageFile(CreateFree(folder.Path(), name, baseName, ExistsIn(folder),
                                [&folder](const std::string& n) { return folder.Create(n); }));
}

ExistsTest ImageFile::ExistsIn(const OpenFolder& folder) {
    return [&folder](const std::string& path) {
        const std::string prefix = folder.Path() + "/";
        return path.compare(0, prefix.size(), prefix) == 0 && folder.Exists(path.substr(prefix.size()));
    };
}

}  // namespace zx
