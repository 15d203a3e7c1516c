#include "support/web_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
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

}  // namespace

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

const char* WebServer::Name(Kind kind) {
    switch (kind) {
        case Kind::Nginx:
            return "nginx";
        case Kind::Lighttpd:
            return "lighttpd";
        case Kind::Apache:
            return "apache";
        case Kind::Python:
            return "python";
    }
    return "?";
}

const std::vector<WebServer::Kind>& WebServer::AllKinds() {
    static const std::vector<Kind> kinds = {Kind::Nginx, Kind::Lighttpd, Kind::Apache, Kind::Python};
    return kinds;
}

WebServer::WebServer(const std::string& documentRoot, Kind kind, const CertificateFiles* tls, std::string serverConfig)
    : documentRoot_(std::filesystem::absolute(documentRoot).string()),
      kind_(kind),
      tls_(tls),
      serverConfig_(std::move(serverConfig)),
      workDir_("zx-web-") {
    // The port is free when looked at but may be taken before the server binds it: try a few.
    std::string failure;
    try {
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (StartOn(FreeLoopbackPort())) return;
        }
        failure = std::string(Name(kind_)) + " did not start: " + ErrorLog();
    } catch (const std::runtime_error& e) {
        failure = e.what();
    }
    throw std::runtime_error(failure);
}

WebServer::~WebServer() {
    Stop();
}

std::string WebServer::Url(const std::string& path) const {
    if (tls_) return "https://img.host:" + std::to_string(port_) + path;
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string WebServer::ErrorLog() const {
    std::stringstream s;
    for (const char* name : {"/error.log", "/stderr.log"}) {
        std::ifstream in(workDir_.Path() + name);
        if (in) s << in.rdbuf();
        s.clear();  // an empty log sets the fail bit
    }
    return s.str();
}

std::vector<std::string> WebServer::Configure(uint16_t port) const {
    const std::string& w = workDir_.Path();
    const std::string& root = documentRoot_;
    std::ofstream conf(w + "/server.conf", std::ios::trunc);
    switch (kind_) {
        case Kind::Nginx:
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
                 << port << (tls_ ? " ssl" : "") << ";\n"
                 << "    root " << root << ";\n";
            if (tls_)
                conf << "    ssl_certificate " << tls_->cert << ";\n    ssl_certificate_key " << tls_->key << ";\n";
            conf << serverConfig_
                 << "  }\n"
                    "}\n";
            return {"/usr/sbin/nginx", "-p", w, "-c", w + "/server.conf", "-e", w + "/error.log"};
        case Kind::Lighttpd:
            conf << "server.document-root = \"" << root << "\"\n"
                 << "server.bind = \"127.0.0.1\"\n"
                 << "server.port = " << port << "\n"
                 << "server.errorlog = \"" << w << "/error.log\"\n"
                 << "server.upload-dirs = ( \"" << w << "\" )\n"
                 << "mimetype.assign = ( \".jpg\" => \"image/jpeg\", \".png\" => \"image/png\", "
                    "\".gif\" => \"image/gif\" )\n";
            return {"/usr/sbin/lighttpd", "-D", "-f", w + "/server.conf"};
        case Kind::Apache: {
            const std::string modules = "/usr/lib/apache2/modules/";
            conf << "ServerRoot " << w << "\n"
                 << "DefaultRuntimeDir " << w << "\n"
                 << "PidFile " << w << "/httpd.pid\n"
                 << "ErrorLog " << w << "/error.log\n"
                 << "ServerName 127.0.0.1\n"
                 << "Listen 127.0.0.1:" << port << "\n";
            for (const char* m : {"mpm_prefork", "authz_core", "mime", "cgi"})
                conf << "LoadModule " << m << "_module " << modules << "mod_" << m << ".so\n";
            // Started by root, the workers must run as somebody else.
            if (::geteuid() == 0) conf << "User nobody\nGroup nogroup\n";
            conf << "StartServers 1\nMinSpareServers 1\nMaxSpareServers 2\n"
                    "KeepAlive On\nMaxKeepAliveRequests 10000\n"
                    "TypesConfig /dev/null\n"
                    "AddType image/jpeg .jpg\nAddType image/png .png\nAddType image/gif .gif\n"
                 << "DocumentRoot " << root << "\n"
                 << "<Directory " << root << ">\n"
                 << "  Options +ExecCGI\n  AddHandler cgi-script .cgi\n  Require all granted\n</Directory>\n";
            // The workers read the root as "nobody".
            ::chmod(root.c_str(), 0755);
            return {"/usr/sbin/apache2", "-d", w, "-f", w + "/server.conf", "-DFOREGROUND"};
        }
        case Kind::Python:
            return {"/usr/bin/python3", "-m",        "http.server", std::to_string(port),
                    "--bind",           "127.0.0.1", "--directory", root};
    }
    return {};
}

bool WebServer::StartOn(uint16_t port) {
    if (port == 0) return false;
    const std::vector<std::string> command = Configure(port);
    if (command.empty() || ::access(command[0].c_str(), X_OK) != 0)
        throw std::runtime_error(command.empty() ? "no server" : command[0] + " is not installed");
    // Everything the child needs is made before the fork.
    std::vector<char*> argv;
    for (const auto& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const std::string stderrLog = workDir_.Path() + "/stderr.log";
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // Goes down with the test process, even when that one is killed.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        // A group of its own: Apache ends its whole process group on shutdown.
        ::setpgid(0, 0);
        const int log = ::open(stderrLog.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (log >= 0) {
            ::dup2(log, 1);
            ::dup2(log, 2);
        }
        ::execv(argv[0], argv.data());
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

void WebServer::Stop() {
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
