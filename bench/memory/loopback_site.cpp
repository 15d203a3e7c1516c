#include "loopback_site.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <QRandomGenerator>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace zx::bench {
namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";

// Hue running across the picture, noise on top: saturated everywhere (so a
// painted view is told from an empty one by colour) and about as hard to
// compress as a photo.
QImage Picture(int width, int height, int seed) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(static_cast<quint32>(seed));
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int hue = (seed * 37 + x * 300 / width + y * 60 / height) % 360;
            const int value = 170 + static_cast<int>(random.bounded(80));
            row[x] = QColor::fromHsv(hue, 230, value).rgb();
        }
    }
    return image;
}

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
}

}  // namespace

LoopbackSite::LoopbackSite() {
    char pattern[] = "/tmp/zx-bench-memory-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("cannot make a temporary folder");
    folder_ = pattern;
    std::filesystem::create_directory(folder_ + "/www");
    int port = 0;
    for (int attempt = 0; attempt < 5 && port == 0; ++attempt) {
        const int candidate = FreeLoopbackPort();
        if (candidate > 0 && StartNginx(candidate)) port = candidate;
    }
    if (port == 0) {
        std::filesystem::remove_all(folder_);
        throw std::runtime_error("nginx did not start");
    }
    listFile_ = folder_ + "/bar.txt";
    std::ofstream list(listFile_, std::ios::binary);
    for (int i = 0; i < 20; ++i) {
        // Sizes from 200 x 150 up to about 600 x 450, both orientations.
        const int w = 200 + (i * 53) % 400, h = 150 + (i * 71) % 300;
        const bool png = i % 2 == 1;
        const std::string name = "/photo" + std::to_string(i + 1) + (png ? ".png" : ".jpg");
        Picture(w, h, i + 1).save(QString::fromStdString(folder_ + "/www" + name), png ? "PNG" : "JPEG", 85);
        list << "http://127.0.0.1:" << port << name << "\r\n";
    }
}

LoopbackSite::~LoopbackSite() {
    if (nginx_ > 0) {
        ::kill(nginx_, SIGTERM);
        ::waitpid(nginx_, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

bool LoopbackSite::StartNginx(int port) {
    const std::string conf = folder_ + "/nginx.conf", log = folder_ + "/error.log";
    {
        std::ofstream out(conf, std::ios::trunc);
        out << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << folder_ << "/nginx.pid;\n"
            << "error_log " << log << ";\nevents { worker_connections 128; }\nhttp {\n  access_log off;\n";
        for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            out << "  " << temp << "_temp_path " << folder_ << "/" << temp << ";\n";
        out << "  types { image/jpeg jpg; image/png png; }\n  server {\n    listen 127.0.0.1:" << port << ";\n    root "
            << folder_ << "/www;\n  }\n}\n";
    }
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // goes down with the benchmark
        ::execl(kNginx, kNginx, "-p", folder_.c_str(), "-c", conf.c_str(), "-e", log.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 500; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) return false;
        if (Accepts(port)) {
            nginx_ = pid;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return false;
}

}  // namespace zx::bench
