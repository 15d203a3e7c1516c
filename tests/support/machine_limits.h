#pragma once
// The only reasons a test may skip: limits of the machine itself, which no
// package installs. Everything else a test needs (an X server, xdotool, the
// browsers, dbus-daemon, the web servers, the program) is installed and
// started by ./test, and a test that misses it fails. ./test fails a run
// whose skips give any other reason.
#include <optional>
#include <string>

namespace zx::test {

enum class MachineLimit {
    kIpv6Loopback,  // no [::1] to listen on
    kUserXattrs,    // the temporary folder's file system keeps no user.* attributes
    kTmpfsMount,    // mounting a small tmpfs is refused (it needs root)
};

// Every skip reason starts with this; ./test looks for it.
inline constexpr const char* kMachineLimitPrefix = "machine limit: ";

// Why this machine has the limit ("machine limit: ..."), or nullopt when it
// has not. Probes each time: a skip states what was found, not a guess.
std::optional<std::string> MachineLacks(MachineLimit limit);

}  // namespace zx::test
