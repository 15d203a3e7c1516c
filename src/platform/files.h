#pragma once
// Files as the program needs them: a name test, a list written without ever
// losing the old one, a bounded read, and files made new without touching
// anything already there. Declared here without any system header; the Linux
// platform implements them over POSIX. Failures throw the program's errors
// with their user-facing texts:
//   EFCreateError "Cannot create file "<path>". <reason>"
//   EWriteError   "Cannot write file "<path>". <reason>" or "Stream write error"
//   EFOpenError   "Cannot open file "<path>". <reason>"
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

namespace zx {

// True for an existing entry that is not a directory, a symbolic link judged
// by what it points to; a dangling link counts too, because a file made there
// would be made through the link, somewhere else.
bool FileExists(const std::string& path);

// True when `path` names something, followed through links, that is not a
// directory.
bool FileExistsFollowingLinks(const std::string& path);

// Makes `bytes` the whole content of `path`. An existing regular file is
// replaced only once the new content is completely on disk (a temporary file
// in the same folder, renamed over it), so a failed write leaves the old
// content intact; where that cannot keep the file's owner, group, mode and
// links, or the folder refuses it, the file is written in place. A file the
// user may not open for writing is never replaced. A new file gets mode 0666
// less the umask. EFCreateError when the file cannot be created or opened for
// writing, EWriteError when writing fails.
void ReplaceFileContents(const std::string& path, const std::string& bytes);

// The start of the file up to and including its `lineBreaks`-th line break
// (CR LF, CR or LF; CR LF counts once), or the whole file when it has fewer.
// Reads nothing past that break and never more than `maxBytes` before it; a
// pipe without a writer reads as empty instead of waiting. EFOpenError when the
// file cannot be opened or read, is a directory, or its head is too large.
std::string ReadFileHead(const std::string& path, int lineBreaks, size_t maxBytes);

// A file made new in a folder and written from its start.
class NewFile {
public:
    static constexpr const char* kWriteErrorText = "Stream write error";

    // Creates folder/name with mode 0666 less the umask. Nothing that is
    // already there is opened, truncated or followed: nullopt when a file or
    // a link of that name exists. A name that cannot be a file in the folder
    // (empty, ".", "..", holding "/"), a folder of that name and every other
    // failure throw EFCreateError. No lock is taken: it would keep out no
    // program that does not ask for one, and some file systems refuse it.
    static std::optional<NewFile> Create(const std::string& folder, const std::string& name);

    NewFile(NewFile&& other) noexcept;
    NewFile& operator=(NewFile&&) = delete;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    // Closes without reporting; what was written stays.
    ~NewFile();

    const std::string& Path() const { return path_; }
    // Writes all `size` bytes; EWriteError "Stream write error" when the
    // system takes fewer (a full disk, a size limit). What was written before
    // the failure stays in the file.
    void Write(const char* data, size_t size);
    // Closes the file; a failure reported only at closing counts as a failed
    // write.
    void Close();

private:
    friend class OpenFolder;
    NewFile(int fd, std::string path);
    // Creates `name` relative to the folder descriptor dirFd; path names it
    // in messages.
    static std::optional<NewFile> CreateAt(int dirFd, const std::string& name, const std::string& path);

    int fd_ = -1;
    std::string path_;
};

// A folder opened once. Names are looked up and files made in the folder
// that was opened, whatever becomes of its path meanwhile (renamed, or
// swapped for a link to somewhere else).
class OpenFolder {
public:
    // EFCreateError "Cannot create file "<path>". <reason>" when path is no
    // folder that can be opened.
    static OpenFolder Open(const std::string& path);

    OpenFolder(OpenFolder&& other) noexcept;
    OpenFolder& operator=(OpenFolder&&) = delete;
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    ~OpenFolder();

    const std::string& Path() const { return path_; }
    // FileExists for a name in this folder.
    bool Exists(const std::string& name) const;
    // NewFile::Create for a name in this folder; its path reads Path() + "/"
    // + name.
    std::optional<NewFile> Create(const std::string& name) const;

private:
    OpenFolder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

    int fd_ = -1;
    std::string path_;
};

// EFCreateError for `path` with the system's text for a name that is taken.
[[noreturn]] void ThrowFileNameTaken(const std::string& path);

}  // namespace zx
