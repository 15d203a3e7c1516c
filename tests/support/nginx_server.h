#pragma once
// Starts the system's nginx (/usr/sbin/nginx) on a free 127.0.0.1 port with
// a configuration of its own in a fresh temporary folder, serving the files
// of a document root. Everything nginx writes (pid, logs, temp files) stays
// in that folder; the server is stopped and the folder removed on
// destruction. Throws std::runtime_error when nginx cannot be started.
#include <sys/types.h>

#include <cstdint>
#include <string>

namespace zx::test {

class NginxServer {
public:
    explicit NginxServer(const std::string& documentRoot);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>" + path
    std::string Url(const std::string& path) const;
    const std::string& WorkDir() const { return workDir_; }
    // The error log, for a failing test to show.
    std::string ErrorLog() const;

    static constexpr const char* kBinary = "/usr/sbin/nginx";

private:
    bool StartOn(uint16_t port);
    void Stop();

    std::string documentRoot_;
    std::string workDir_;
    uint16_t port_ = 0;
    pid_t pid_ = -1;
};

// A fresh empty temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    // Writes a file below the folder and returns its full path.
    std::string WriteFile(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

}  // namespace zx::test
