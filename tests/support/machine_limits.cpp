#include "support/machine_limits.h"

#include <netinet/in.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "support/temp_dir.h"

namespace zx::test {
namespace {

std::string Reason(const std::string& what, int err) {
    return std::string(kMachineLimitPrefix) + what + ": " + std::strerror(err);
}

std::optional<std::string> LacksIpv6Loopback() {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Reason("no IPv6 sockets", errno);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    const int err = errno;
    ::close(fd);
    if (!bound) return Reason("no IPv6 loopback [::1]", err);
    return std::nullopt;
}

std::optional<std::string> LacksUserXattrs() {
    TempDir dir("zx-xattr-probe-");
    const std::string file = dir / "probe";
    std::ofstream(file) << "x";
    if (::setxattr(file.c_str(), "user.zx.probe", "1", 1, 0) != 0)
        return Reason("no user extended attributes in " + dir.Path(), errno);
    return std::nullopt;
}

std::optional<std::string> LacksTmpfsMount() {
    TempDir dir("zx-mount-probe-");
    if (::mount("tmpfs", dir.Path().c_str(), "tmpfs", 0, "size=64k") != 0)
        return Reason("cannot mount a tmpfs (needs root)", errno);
    ::umount2(dir.Path().c_str(), MNT_DETACH);
    return std::nullopt;
}

}  // namespace

std::optional<std::string> MachineLacks(MachineLimit limit) {
    switch (limit) {
        case MachineLimit::kIpv6Loopback:
            return LacksIpv6Loopback();
        case MachineLimit::kUserXattrs:
            return LacksUserXattrs();
        case MachineLimit::kTmpfsMount:
            return LacksTmpfsMount();
    }
    return std::nullopt;
}

}  // namespace zx::test
