#include "support/nginx_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zx::test {

namespace {

uint16_t FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

bool Accepts(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
}

std::string MakeTempDir(const char* prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    return pattern;
}

}  // namespace

TempDir::TempDir() : path_(MakeTempDir("zx-test-")) {}

TempDir::~TempDir() {
    std::error_code ec;
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

NginxServer::NginxServer(const std::string& documentRoot)
    : documentRoot_(std::filesystem::absolute(documentRoot).string()), workDir_(MakeTempDir("zx-nginx-")) {
    if (::access(kBinary, X_OK) != 0) throw std::runtime_error(std::string(kBinary) + " is not installed");
    // The port is free when looked at but may be taken before nginx binds it: try a few.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (StartOn(FreeLoopbackPort())) return;
    }
    const std::string log = ErrorLog();
    std::error_code ec;
    std::filesystem::remove_all(workDir_, ec);
    throw std::runtime_error("nginx did not start: " + log);
}

NginxServer::~NginxServer() {
    Stop();
    std::error_code ec;
    std::filesystem::remove_all(workDir_, ec);
}

std::string NginxServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string NginxServer::ErrorLog() const {
    std::ifstream in(workDir_ + "/error.log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool NginxServer::StartOn(uint16_t port) {
    if (port == 0) return false;
    const std::string& w = workDir_;
    {
        std::ofstream conf(w + "/nginx.conf", std::ios::trunc);
        conf << "daemon off;\n"
                "master_process off;\n"
                "worker_processes 1;\n"
                "pid "
             << w << "/nginx.pid;\n"
             << "error_log " << w << "/error.log;\n"
             << "events { worker_connections 128; }\n"
                "http {\n"
                "  access_log off;\n"
                "  client_body_temp_path "
             << w << "/body;\n"
             << "  proxy_temp_path " << w << "/proxy;\n"
             << "  fastcgi_temp_path " << w << "/fastcgi;\n"
             << "  uwsgi_temp_path " << w << "/uwsgi;\n"
             << "  scgi_temp_path " << w << "/scgi;\n"
             << "  types { image/jpeg jpg jpeg; image/png png; image/gif gif; }\n"
                "  default_type application/octet-stream;\n"
                "  sendfile on;\n"
                "  keepalive_requests 10000;\n"
                "  server {\n"
                "    listen 127.0.0.1:"
             << port << ";\n"
             << "    root " << documentRoot_ << ";\n"
             << "  }\n"
                "}\n";
    }
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // Goes down with the test process, even when that one is killed.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const std::string conf = w + "/nginx.conf";
        const std::string log = w + "/error.log";
        ::execl(kBinary, kBinary, "-p", w.c_str(), "-c", conf.c_str(), "-e", log.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    pid_ = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        if (Accepts(port)) {
            port_ = port;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    return false;
}

void NginxServer::Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}

}  // namespace zx::test
