#include "bar/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "base/exception.h"
#include "base/text.h"

namespace zx {
namespace {

// How often a name that was taken meanwhile is picked anew before giving up.
constexpr int kCreateAttempts = 16;

[[noreturn]] void ThrowCreateError(const std::string& path, int err) {
    throw EFCreateError("Cannot create file \"" + path + "\". " + SystemErrorText(err));
}

// 0 when `name` can be a file directly inside the folder, else the error
// that creating it reports.
int NameError(const std::string& name) {
    // The empty name, "." and ".." name the folder or its parent.
    if (name.empty() || name == "." || name == "..") return EISDIR;
    if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos) return EINVAL;
    return 0;
}

}  // namespace

TImageFile TImageFile::Create(const std::string& folder, const std::string& name, const std::string& baseName,
                              const ExistsTest& exists) {
    std::string chosen = name;
    for (int attempt = 0;; ++attempt) {
        const std::string path = JoinPath(folder, chosen);
        if (const int err = NameError(chosen)) ThrowCreateError(path, err);
        // O_EXCL: never truncate or follow what is already there, so nothing
        // outside the folder and no earlier file can be written over.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) return TImageFile(fd, path);
        const int err = errno;
        if (err == EINTR && attempt < kCreateAttempts) continue;
        if (err != EEXIST) ThrowCreateError(path, err);
        struct stat st {};
        // A folder of that name cannot take a file.
        if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ThrowCreateError(path, EISDIR);
        // A file or a link that appeared after the name was picked: take the
        // next free name.
        if (!exists(path) || attempt >= kCreateAttempts) ThrowCreateError(path, EEXIST);
        chosen = UniqueFileName(folder, baseName, exists);
    }
}

TImageFile::TImageFile(TImageFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

TImageFile::~TImageFile() {
    if (fd_ >= 0) ::close(fd_);
}

void TImageFile::Write(const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EWriteError(kWriteErrorText);
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void TImageFile::Close() {
    if (fd_ < 0) return;
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && errno != EINTR) throw EWriteError(kWriteErrorText);
}

}  // namespace zx
