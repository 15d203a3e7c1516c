#include "support/temp_dir.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace zx::test {

bool OthersCanPass(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    if (ec) return false;
    std::filesystem::path folder;
    for (const auto& part : full) {
        folder /= part;
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0) return false;
        if (S_ISDIR(st.st_mode) && (st.st_mode & S_IXOTH) == 0) return false;
    }
    return true;
}

TempDir::TempDir(const std::string& prefix) {
    std::filesystem::path base = std::filesystem::temp_directory_path();
    if (!OthersCanPass(base)) base = "/tmp";
    std::string pattern = (base / (prefix + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    // A test may have taken the owner's rights away (read-only folders).
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::WriteFile(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path full = std::filesystem::path(path_) / name;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + full.string());
    return full.string();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(gen() & 0xff);
    return s;
}

}  // namespace zx::test
