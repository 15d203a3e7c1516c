#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

#include "base/exception.h"
#include "base/text.h"

namespace zx {
namespace {

constexpr size_t kReadChunk = size_t{64} * 1024;

[[noreturn]] void ThrowCreate(const std::string& path, int err) {
    throw EFCreateError("Cannot create file \"" + path + "\". " + SystemErrorText(err));
}
[[noreturn]] void ThrowWrite(const std::string& path, int err) {
    throw EWriteError("Cannot write file \"" + path + "\". " + SystemErrorText(err));
}
[[noreturn]] void ThrowOpen(const std::string& path, int err) {
    throw EFOpenError("Cannot open file \"" + path + "\". " + SystemErrorText(err));
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now and reports the result; the destructor then does nothing.
    int Close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

// Writes all `size` bytes; returns 0 or the errno of the failure.
int WriteAll(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}
int WriteAll(int fd, const std::string& text) {
    return WriteAll(fd, text.data(), text.size());
}

// 0 when `name` can be a file directly inside a folder, else the error that
// creating it reports.
int NameError(const std::string& name) {
    // The empty name, "." and ".." name the folder or its parent.
    if (name.empty() || name == "." || name == "..") return EISDIR;
    if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos) return EINVAL;
    return 0;
}

// How often an interrupted create is tried again.
constexpr int kCreateAttempts = 16;

// Creates or truncates the file and writes into it. A file this call created
// is removed again when the write fails.
void WriteInPlace(const std::string& path, const std::string& text, bool isNew) {
    const int flags = O_WRONLY | O_CLOEXEC | O_NONBLOCK | (isNew ? O_CREAT | O_EXCL : O_CREAT | O_TRUNC);
    Fd fd(::open(path.c_str(), flags, 0666));
    if (fd.get() < 0) {
        if (isNew && errno == EEXIST) return WriteInPlace(path, text, false);
        ThrowCreate(path, errno);
    }
    int err = WriteAll(fd.get(), text);
    if (fd.Close() != 0 && err == 0) err = errno;
    if (err != 0) {
        if (isNew) ::unlink(path.c_str());
        ThrowWrite(path, err);
    }
}

// Writes `text` over the file open as `fd`, from its start.
void OverwriteOpenFile(Fd& fd, const std::string& path, const std::string& text) {
    int err = ::ftruncate(fd.get(), 0) == 0 ? WriteAll(fd.get(), text) : errno;
    if (fd.Close() != 0 && err == 0) err = errno;
    if (err != 0) ThrowWrite(path, err);
}

// Makes a temporary file in `folder` that holds `text` and carries the
// owner, group and mode of `st`. Returns its path, or "" (having left
// nothing behind) when that cannot be done: the folder takes no new file, or
// the owner or group cannot be kept.
std::string PrepareReplacement(const std::string& folder, const std::string& path, const struct stat& st,
                               const std::string& text) {
    // A short fixed pattern fits beside any name the folder can hold.
    std::string temp = folder + "/.zeltrix-save-XXXXXX";
    const int raw = ::mkostemp(temp.data(), O_CLOEXEC);
    if (raw < 0) {
        if (errno == EACCES || errno == EPERM || errno == EROFS) return {};
        ThrowCreate(path, errno);
    }
    Fd fd(raw);
    // Owner and group first: changing them may clear set-id bits of the mode.
    if (::fchown(fd.get(), st.st_uid, st.st_gid) != 0 || ::fchmod(fd.get(), st.st_mode & 07777) != 0) {
        fd.Close();
        ::unlink(temp.c_str());
        return {};
    }
    int err = WriteAll(fd.get(), text);
    if (err == 0 && ::fsync(fd.get()) != 0) err = errno;
    if (fd.Close() != 0 && err == 0) err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        ThrowWrite(path, err);
    }
    return temp;
}

// Replaces the regular file `path` (metadata `st`) by a temporary file of the
// same folder that already holds `text`, so that a failed write leaves the old
// list whole. Only a file the user may open for writing is replaced; where the
// replacement cannot keep what the file is (its owner, group and mode, its
// other hard links) or the folder refuses the rename, it is written in place.
void ReplaceRegularFile(const std::string& path, const struct stat& st, const std::string& text) {
    // The test of the user's right to change the file, and the way to write
    // in place when the replacement is not possible.
    Fd existing(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (existing.get() < 0) ThrowCreate(path, errno);

    // Through a symbolic link the file it points to is replaced; the link stays.
    std::string target = path;
    struct stat lst;
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved) return OverwriteOpenFile(existing, path, text);
        target = resolved;
        std::free(resolved);
    }
    if (st.st_nlink > 1) return OverwriteOpenFile(existing, path, text);
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);

    const std::string temp = PrepareReplacement(folder, path, st, text);
    if (temp.empty()) return OverwriteOpenFile(existing, path, text);
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        // A sticky folder lets only the owners replace their files.
        if (err == EPERM || err == EACCES) return OverwriteOpenFile(existing, path, text);
        ThrowCreate(path, err);
    }
}

}  // namespace

bool FileExists(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return !S_ISDIR(st.st_mode);
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool FileExistsFollowingLinks(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void ReplaceFileContents(const std::string& path, const std::string& text) {
    if (path.empty()) ThrowCreate(path, ENOENT);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        WriteInPlace(path, text, true);
        return;
    }
    if (S_ISDIR(st.st_mode)) ThrowCreate(path, EISDIR);
    if (S_ISREG(st.st_mode)) return ReplaceRegularFile(path, st, text);
    // Not a regular file (a pipe, a device): written in place. A pipe without
    // a reader fails instead of waiting.
    WriteInPlace(path, text, false);
}

std::string ReadFileHead(const std::string& path, int lineBreaks, size_t maxBytes) {
    // Non-blocking, so that a pipe without a writer reads as empty instead of
    // waiting for one.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) ThrowOpen(path, errno);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) ThrowOpen(path, errno);
    if (S_ISDIR(st.st_mode)) ThrowOpen(path, EISDIR);

    std::string text;
    int breaks = 0;
    bool afterCR = false;  // an LF right after a CR ends no further line
    char chunk[kReadChunk];
    while (breaks < lineBreaks) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) break;  // a pipe with nothing more to give now
            ThrowOpen(path, errno);
        }
        if (n == 0) break;
        size_t used = static_cast<size_t>(n);
        for (size_t i = 0; i < used; ++i) {
            const char c = chunk[i];
            const bool lfOfCRLF = afterCR && c == '\n';
            afterCR = c == '\r';
            if (lfOfCRLF || (c != '\r' && c != '\n')) continue;
            if (++breaks == lineBreaks) {
                used = i + 1;  // the rest of the file is never looked at
                break;
            }
        }
        text.append(chunk, used);
        if (text.size() > maxBytes) ThrowOpen(path, EFBIG);
    }
    return text;
}

std::optional<NewFile> NewFile::Create(const std::string& folder, const std::string& name) {
    const std::string path = folder + "/" + name;
    if (const int err = NameError(name)) ThrowCreate(path, err);
    return CreateAt(AT_FDCWD, path, path);
}

std::optional<NewFile> NewFile::CreateAt(int dirFd, const std::string& name, const std::string& path) {
    for (int attempt = 0;; ++attempt) {
        // O_EXCL: never truncate or follow what is already there, so nothing
        // outside the folder and no earlier file can be written over.
        const int fd =
            ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) return NewFile(fd, path);
        const int err = errno;
        if (err == EINTR && attempt < kCreateAttempts) continue;
        if (err != EEXIST) ThrowCreate(path, err);
        struct stat st {};
        // A folder of that name cannot take a file.
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
            ThrowCreate(path, EISDIR);
        return std::nullopt;
    }
}

OpenFolder OpenFolder::Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) ThrowCreate(path, errno);
    return OpenFolder(fd, path);
}

OpenFolder::OpenFolder(OpenFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

OpenFolder::~OpenFolder() {
    if (fd_ >= 0) ::close(fd_);
}

bool OpenFolder::Exists(const std::string& name) const {
    if (name.empty() || name.find('/') != std::string::npos) return false;
    struct stat st {};
    if (::fstatat(fd_, name.c_str(), &st, 0) == 0) return !S_ISDIR(st.st_mode);
    return ::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

std::optional<NewFile> OpenFolder::Create(const std::string& name) const {
    const std::string path = path_ + "/" + name;
    if (const int err = NameError(name)) ThrowCreate(path, err);
    return NewFile::CreateAt(fd_, name, path);
}

NewFile::NewFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

NewFile::NewFile(NewFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

NewFile::~NewFile() {
    if (fd_ >= 0) ::close(fd_);
}

void NewFile::Write(const char* data, size_t size) {
    if (WriteAll(fd_, data, size) != 0) throw EWriteError(kWriteErrorText);
}

void NewFile::Close() {
    if (fd_ < 0) return;
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && errno != EINTR) throw EWriteError(kWriteErrorText);
}

void ThrowFileNameTaken(const std::string& path) {
    ThrowCreate(path, EEXIST);
}

}  // namespace zx
