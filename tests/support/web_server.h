#pragma once
// Starts one of the system's web servers (nginx, lighttpd, Apache httpd or
// Python's http.server) on a free 127.0.0.1 port with a configuration of its
// own in a fresh temporary folder, serving the files of a document root.
// Everything the server writes (pid, logs, temp files) stays in that folder;
// the server is stopped and the folder removed on destruction. Throws
// std::runtime_error when the server cannot be started.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/test_certificates.h"

namespace zx::test {

class WebServer {
public:
    enum class Kind { Nginx, Lighttpd, Apache, Python };
    static const char* Name(Kind kind);
    // All kinds, for tests that run against each.
    static const std::vector<Kind>& AllKinds();

    // Apache also runs files ending in ".cgi" below the root as CGI scripts.
    // nginx only: tls makes it speak https with that certificate (Url() then
    // names https://img.host), and serverConfig goes into its server block.
    explicit WebServer(const std::string& documentRoot, Kind kind = Kind::Nginx, const CertificateFiles* tls = nullptr,
                       std::string serverConfig = {});
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>" + path, or "https://img.host:<port>" + path
    std::string Url(const std::string& path) const;
    const std::string& WorkDir() const { return workDir_.Path(); }
    // The error log, for a failing test to show.
    std::string ErrorLog() const;

private:
    bool StartOn(uint16_t port);
    // Writes the configuration for port and returns the command line.
    std::vector<std::string> Configure(uint16_t port) const;
    void Stop();

    std::string documentRoot_;
    Kind kind_;
    const CertificateFiles* tls_;
    std::string serverConfig_;
    TempDir workDir_;
    uint16_t port_ = 0;
    pid_t pid_ = -1;
};

using NginxServer = WebServer;

// A loopback port that nothing listened on a moment ago (0 when none could be
// had); a server started on it may still find it taken.
uint16_t FreeLoopbackPort();

}  // namespace zx::test
