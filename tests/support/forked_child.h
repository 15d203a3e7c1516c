#pragma once
// Test helpers for work across real processes: a forked child that runs a
// function, and a pipe that carries one-byte signals between processes.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/named_objects.h"

namespace zx::test {

// A one-way pipe. Both ends stay open in both processes after a fork, so a
// reader never sees end-of-file while the writer's process lives.
class Pipe {
public:
    Pipe() {
        if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    void Send(char c = 'x') const { (void)!write(fds_[1], &c, 1); }
    // The next byte, or nullopt at end of file or after `timeout`.
    std::optional<char> Receive(std::chrono::milliseconds timeout = std::chrono::seconds(20)) const {
        pollfd p{fds_[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
        char c;
        if (read(fds_[0], &c, 1) != 1) return std::nullopt;
        return c;
    }
    void CloseWrite() {
        if (fds_[1] >= 0) close(fds_[1]);
        fds_[1] = -1;
    }
    void CloseRead() {
        if (fds_[0] >= 0) close(fds_[0]);
        fds_[0] = -1;
    }

private:
    int fds_[2];
};

// Waits up to `timeout` for child `pid` to end, keeping its wait status in
// `status` (already set: nothing to wait for). The exit code; -1 when a signal
// ended it; nullopt while it still runs.
inline std::optional<int> WaitForExit(pid_t pid, std::optional<int>& status, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!status) {
        int st = 0;
        const pid_t r = waitpid(pid, &st, WNOHANG);
        if (r == pid) {
            status = st;
            break;
        }
        if (r < 0 || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

// Runs `body` in a forked child and ends the child with its result as exit
// code (99 when it throws). The child never returns into the test framework.
class Child {
public:
    explicit Child(const std::function<int()>& body) {
        fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            int code = 99;
            try {
                code = body();
            } catch (...) {
            }
            _exit(code);
        }
    }
    ~Child() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    bool Started() const { return pid_ > 0; }

    // Kills the child and waits until it is gone.
    void KillNow() {
        if (pid_ <= 0 || status_) return;
        kill(pid_, SIGKILL);
        int st = 0;
        waitpid(pid_, &st, 0);
        status_ = st;
    }

    // The exit code once the child has ended within `timeout`; -1 when it was
    // ended by a signal; nullopt while it still runs.
    std::optional<int> Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        return WaitForExit(pid_, status_, timeout);
    }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Runs `body` in a child process as the unprivileged user "nobody" when the
// tests run as root (root may write any file), else as the current user.
// Returns the child's exit code (99 when it cannot change user).
inline int AsUnprivileged(const std::function<int()>& body) {
    Child child([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 99;
        return body();
    });
    return child.Wait().value_or(98);
}

// Points this process's named objects (and those of its children) at a fresh
// private directory of its own, removed when the process ends normally.
inline std::string UsePrivateRuntimeDir() {
    struct Dir {
        std::string path;
        pid_t owner = getpid();
        Dir() {
            char pattern[] = "/tmp/zx-named-test-XXXXXX";
            if (mkdtemp(pattern)) path = pattern;
            if (!path.empty()) setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
        }
        ~Dir() {
            std::error_code ec;
            if (!path.empty() && getpid() == owner) std::filesystem::remove_all(path, ec);
        }
    };
    static Dir dir;
    return dir.path;
}

// A name of our own for each use, so that tests neither meet each other nor
// a running program. The files it leaves are removed by RemoveNamedObjects.
inline std::string UniqueName(const std::string& tag) {
    static int counter = 0;
    return "zx-test-" + tag + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

inline void RemoveNamedObjects(const std::string& name) {
    auto dir = NamedObjectDirectory();
    if (!dir) return;
    for (const char* suffix : {".mutex", ".shm", ".shm-guard"}) unlink(NamedObjectPath(*dir, name, suffix).c_str());
}

// A test on named objects of its own, in a runtime directory of its own, that
// removes their files afterwards.
class PrivateNamesTest : public ::testing::Test {
protected:
    void SetUp() override { UsePrivateRuntimeDir(); }
    void TearDown() override {
        for (const auto& n : names_) RemoveNamedObjects(n);
    }
    std::string Name(const std::string& tag) {
        names_.push_back(UniqueName(tag));
        return names_.back();
    }

private:
    std::vector<std::string> names_;
};

}  // namespace zx::test
