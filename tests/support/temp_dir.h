#pragma once
// A fresh folder under the system's temporary directory, removed with
// everything in it when the object goes, and the small file helpers tests
// use inside it.
#include <filesystem>
#include <string>

namespace zx::test {

// Whether a user other than the owner could pass through every folder on the
// way to `path` (each lets others search it), as the ordinary user that some
// tests run programs as, and servers that drop to one, must.
bool OthersCanPass(const std::filesystem::path& path);

// The folder is made in TMPDIR (else /tmp), unless others could not pass
// through it there (a TMPDIR only its owner may enter): then in /tmp, so
// that a test can still hand a folder of its own to another user. The
// folder itself is private (0700) until the test opens it.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "zx-test-");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // The full path of `name` below the folder.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Writes a file below the folder (making the folders on the way) and
    // returns its full path.
    std::string WriteFile(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadAll(const std::string& path);
// Replaces the content of a file, creating it when missing.
void WriteAll(const std::string& path, const std::string& bytes);
// `n` bytes of file content, the same for the same seed.
std::string RandomBytes(size_t n, unsigned seed);

}  // namespace zx::test
