#pragma once
// Child processes for end-to-end tests: the program itself, an X server, a
// window manager, a browser. Each ends with the test that started it, also
// when the test process is killed.
#include <signal.h>
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zx::test {

class X11Probe;

struct ChildOptions {
    // A process group of its own, so that a browser and the helpers it starts
    // are signalled and ended together.
    bool ownProcessGroup = false;
    // How the destructor ends a child that still runs: this signal, then up to
    // stopMs for the end, then SIGKILL. An X server asked politely removes its
    // lock and socket.
    int stopSignal = SIGKILL;
    int stopMs = 0;
    // The child's standard input and output are pipes to the test
    // (WriteLine, ReadLine) instead of the test's own.
    bool pipes = false;
};

// Helpers of a test (X server, window manager, the program) asked to end
// with SIGTERM, and a browser asked together with the helpers it starts.
inline constexpr ChildOptions kEndOnRequest{.ownProcessGroup = false, .stopSignal = SIGTERM, .stopMs = 5000};
inline constexpr ChildOptions kEndGroupOnRequest{.ownProcessGroup = true, .stopSignal = SIGTERM, .stopMs = 10000};
// A helper program the test talks to line by line.
inline constexpr ChildOptions kTalkOverPipes{.pipes = true};

class ChildProcess {
public:
    // `extraEnv` entries ("NAME=value") replace or add to the inherited ones.
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
                 ChildOptions options = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return started_; }
    pid_t Pid() const { return pid_; }
    bool Running();
    // The exit code (128 + signal for a killed child), or -1 while it still
    // runs after `ms`.
    int WaitExit(int ms);
    void Signal(int sig);
    // Sends `sig`, waits up to `ms`, then kills; the exit code, or -1 when it
    // had to be killed.
    int Stop(int sig, int ms);
    void KillNow() { Stop(SIGKILL, 10000); }

    // With `pipes`: writes `line` and "\n" to the child's input.
    void WriteLine(const std::string& line);
    // With `pipes`: the next line of the child's output without its "\n";
    // nullopt at the end of its output or after `ms`.
    std::optional<std::string> ReadLine(int ms = 30000);

private:
    pid_t pid_ = -1;
    bool started_ = false;
    bool exited_ = false;
    int exitCode_ = -1;
    ChildOptions options_;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string output_;
};

// A child the test ends at a moment of its choosing, by resetting the pointer.
std::unique_ptr<ChildProcess> StartChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                                         ChildOptions options);

// Polls `done` until it holds or `ms` have passed; its last answer.
bool WaitUntil(const std::function<bool()>& done, int ms);
void Sleep(int ms);

// A process as it ran: its id and its start time, so that a later process
// given the same id is not taken for it.
struct ProcessId {
    pid_t pid = 0;
    unsigned long long startTime = 0;
};
// `root` and every process below it (the web engine's helpers of the program).
std::vector<ProcessId> ProcessTree(pid_t root);
// True when none of them runs any more: each is gone or a zombie whose every
// thread has ended (a zombie nobody reaps has ended).
bool AllEnded(const std::vector<ProcessId>& processes);
// The user and system time a process has used, in clock ticks; 0 once it is
// gone.
long long CpuTicks(pid_t pid);

// Whether the shell finds a command of this name.
bool HaveCommand(const std::string& name);
// Runs xdotool with `args` (shell words) on the X server `display`, or on
// that of $DISPLAY when it is empty; false when it failed. Its output is
// dropped, its complaints stay in the log.
bool Xdotool(const std::string& args, const std::string& display = "");
// Types `path` into the toolkit's file dialog titled `title` and confirms it;
// false when the dialog did not show or did not go, or the program did not
// let go of the pointer afterwards.
bool AnswerFileDialog(X11Probe& x, const std::string& title, const std::string& path);
// The first lines (up to 1000) a shell command writes to standard output;
// its standard error is dropped.
std::string ShellOutput(const std::string& command);
// Writes the preferences of a Firefox profile into `folder`, which must
// exist: no updates, telemetry, first-run pages or look-ups on the network.
void WriteQuietFirefoxProfile(const std::string& folder);

// An X server of the test's own. Xvfb picks a free display itself and says
// which (-displayfd), so tests running side by side never meet on one.
class XServer {
public:
    explicit XServer(int width, int height);
    bool Started() const { return !display_.empty(); }
    const std::string& Display() const { return display_; }  // ":N"

private:
    std::unique_ptr<ChildProcess> process_;
    std::string display_;
};

// The program under test: ZX_BINARY_DIR/src/app/zeltrix, or a copy of it
// that other users can reach when the build lies in a folder only its owner
// may enter.
std::filesystem::path ProgramPath();
bool ProgramBuilt();

// A copy of the program (or of a changed `program`) on the X server of
// $DISPLAY, with its named objects in `runtimeDir`, so that a program the
// user runs is never met.
class ProgramCopy : public ChildProcess {
public:
    explicit ProgramCopy(const std::filesystem::path& runtimeDir, const std::vector<std::string>& extraEnv = {},
                         const std::filesystem::path& program = ProgramPath());
};

}  // namespace zx::test
