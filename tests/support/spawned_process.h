#pragma once
// Test helper: another program started with pipes on its standard input and
// output, read line by line with time limits, and killed when the test ends.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/forked_child.h"

extern char** environ;

namespace zx::test {

class SpawnedProcess {
public:
    explicit SpawnedProcess(const std::vector<std::string>& argv) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0) return;
        if (pipe2(out, O_CLOEXEC) != 0) {
            close(in[0]);
            close(in[1]);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
    }
    ~SpawnedProcess() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (toChild_ >= 0) close(toChild_);
        if (fromChild_ >= 0) close(fromChild_);
    }
    SpawnedProcess(const SpawnedProcess&) = delete;
    SpawnedProcess& operator=(const SpawnedProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    void WriteLine(const std::string& line) {
        std::string data = line + "\n";
        (void)!write(toChild_, data.data(), data.size());
    }

    // The next line of the child's output without its "\n"; nullopt at end of
    // output or after `timeout`.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (auto eol = buffer_.find('\n'); eol != std::string::npos) {
                std::string line = buffer_.substr(0, eol);
                buffer_.erase(0, eol + 1);
                return line;
            }
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd p{fromChild_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char chunk[512];
            ssize_t n = read(fromChild_, chunk, sizeof chunk);
            if (n <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

    void Signal(int sig) {
        if (pid_ > 0 && !status_) kill(pid_, sig);
    }

    // The exit code once the process has ended within `timeout`; -1 when a
    // signal ended it; nullopt while it still runs.
    std::optional<int> Wait(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        return WaitForExit(pid_, status_, timeout);
    }

private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string buffer_;
    std::optional<int> status_;
};

}  // namespace zx::test
