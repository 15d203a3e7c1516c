#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "support/temp_dir.h"
#include "support/x11_probe.h"

extern char** environ;

namespace zx::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                           ChildOptions options)
    : options_(options) {
    if (argv.empty()) return;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        bool replaced = false;
        for (const auto& x : extraEnv)
            if (std::strncmp(*e, x.c_str(), x.find('=') + 1) == 0) replaced = true;
        if (!replaced) env.emplace_back(*e);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<std::string> args = argv;
    std::vector<char*> envp, argp;
    for (auto& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    for (auto& s : args) argp.push_back(s.data());
    argp.push_back(nullptr);
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if (options_.pipes && (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)) return;
    const pid_t parent = getpid();
    // Everything the child needs is prepared above: after fork it only makes
    // async-signal-safe calls.
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        if (options_.ownProcessGroup) setpgid(0, 0);
        if (options_.pipes && (dup2(in[0], STDIN_FILENO) < 0 || dup2(out[1], STDOUT_FILENO) < 0)) _exit(127);
        execvpe(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    started_ = pid_ > 0;
    if (started_ && options_.ownProcessGroup) setpgid(pid_, pid_);
    if (options_.pipes) {
        close(in[0]);
        close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
    }
}

void ChildProcess::WriteLine(const std::string& line) {
    const std::string data = line + "\n";
    if (toChild_ >= 0) (void)!write(toChild_, data.data(), data.size());
}

std::optional<std::string> ChildProcess::ReadLine(int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (fromChild_ >= 0) {
        if (const size_t eol = output_.find('\n'); eol != std::string::npos) {
            std::string line = output_.substr(0, eol);
            output_.erase(0, eol + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd p{fromChild_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[512];
        const ssize_t n = read(fromChild_, chunk, sizeof chunk);
        if (n <= 0) return std::nullopt;
        output_.append(chunk, static_cast<size_t>(n));
    }
    return std::nullopt;
}

ChildProcess::~ChildProcess() {
    if (Running()) Stop(options_.stopSignal, options_.stopMs);
    if (toChild_ >= 0) close(toChild_);
    if (fromChild_ >= 0) close(fromChild_);
}

bool ChildProcess::Running() {
    if (!started_ || exited_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (options_.ownProcessGroup) kill(-pid_, SIGKILL);  // helpers the leader left behind
    }
    return !exited_;
}

int ChildProcess::WaitExit(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (Running() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return Running() ? -1 : exitCode_;
}

void ChildProcess::Signal(int sig) {
    if (Running()) kill(options_.ownProcessGroup ? -pid_ : pid_, sig);
}

int ChildProcess::Stop(int sig, int ms) {
    Signal(sig);
    if (WaitExit(ms) >= 0 || !Running()) return exitCode_;
    kill(options_.ownProcessGroup ? -pid_ : pid_, SIGKILL);
    WaitExit(10000);
    return -1;
}

XServer::XServer(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) return;  // not close-on-exec: the server writes to fds[1]
    // -noreset: a server that resets when its last client leaves drops
    // clients connecting meanwhile, such as a window manager still starting
    // while a probe comes and goes.
    process_ =
        StartChild({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                    std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp", "-noreset"},
                   {}, kEndOnRequest);
    close(fds[1]);
    // The number comes once the server listens; a server that dies closes the pipe.
    std::string number;
    char c;
    pollfd p{fds[0], POLLIN, 0};
    while (number.size() < 8 && poll(&p, 1, 15000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos) display_ = ":" + number;
}

std::unique_ptr<ChildProcess> StartChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                                         ChildOptions options) {
    return std::make_unique<ChildProcess>(argv, extraEnv, options);
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {

struct ProcessStat {
    pid_t parent = 0;
    char state = '?';
    unsigned long long startTime = 0;
    unsigned long long cpuTicks = 0;  // user and system time
};

// Fields 3 (state), 4 (parent), 14 and 15 (user and system time) and 22
// (start time) of a process's or a
// thread's stat file; the command name before them may hold spaces and
// parentheses.
std::optional<ProcessStat> ReadStat(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    const size_t close = line.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    ProcessStat stat;
    int parent = 0;
    unsigned long long user = 0, system = 0;
    if (std::sscanf(line.c_str() + close + 1,
                    " %c %d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu %*d %*d %*d %*d %*d %*d %llu", &stat.state,
                    &parent, &user, &system, &stat.startTime) != 5)
        return std::nullopt;
    stat.parent = parent;
    stat.cpuTicks = user + system;
    return stat;
}

}  // namespace

std::vector<ProcessId> ProcessTree(pid_t root) {
    std::map<pid_t, std::vector<pid_t>> children;
    std::map<pid_t, unsigned long long> started;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = std::stoi(name);
        if (const auto stat = ReadStat(entry.path() / "stat")) {
            children[stat->parent].push_back(pid);
            started[pid] = stat->startTime;
        }
    }
    std::vector<ProcessId> tree;
    if (!started.count(root)) return tree;
    std::vector<pid_t> pending{root};
    while (!pending.empty()) {
        const pid_t pid = pending.back();
        pending.pop_back();
        tree.push_back({pid, started[pid]});
        for (pid_t child : children[pid]) pending.push_back(child);
    }
    return tree;
}

bool AllEnded(const std::vector<ProcessId>& processes) {
    for (const auto& p : processes) {
        const std::filesystem::path proc = "/proc/" + std::to_string(p.pid);
        const auto stat = ReadStat(proc / "stat");
        if (!stat || stat->startTime != p.startTime) continue;
        // A process has ended once every thread of it has: its first thread
        // may be a zombie while the others still tear down its memory.
        std::error_code error;
        for (const auto& task : std::filesystem::directory_iterator(proc / "task", error)) {
            const auto thread = ReadStat(task.path() / "stat");
            if (thread && thread->state != 'Z' && thread->state != 'X') return false;
        }
    }
    return true;
}

long long CpuTicks(pid_t pid) {
    const auto stat = ReadStat("/proc/" + std::to_string(pid) + "/stat");
    return stat ? static_cast<long long>(stat->cpuTicks) : 0;
}

bool AnswerFileDialog(X11Probe& x, const std::string& title, const std::string& path) {
    if (!x.WaitViewable(title, 20000)) return false;
    const auto dialog = x.FindViewable(title);
    if (!dialog) return false;
    const std::string id = std::to_string(dialog->id);
    Xdotool("windowactivate --sync " + id);
    Xdotool("windowfocus --sync " + id);
    Sleep(300);
    Xdotool("key --clearmodifiers ctrl+a");
    Xdotool("type --delay 15 '" + path + "'");
    Sleep(300);
    // The first Return may only close the name completer.
    for (int i = 0; i < 3 && x.FindViewable(title); ++i) {
        Xdotool("key Return");
        if (x.WaitGone(title, 2000)) break;
    }
    if (x.FindViewable(title)) return false;
    // A Return that takes the path while the completer is open leaves its
    // popup holding the pointer until the program has done with the dialog:
    // a click before then goes to the popup and is lost.
    return WaitUntil([&] { return !x.PointerGrabbed(); }, 10000);
}

bool HaveCommand(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

bool Xdotool(const std::string& args, const std::string& display) {
    const std::string on = display.empty() ? "" : "DISPLAY=" + display + " ";
    return std::system((on + "xdotool " + args + " >/dev/null").c_str()) == 0;
}

std::string ShellOutput(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>/dev/null").c_str(), "r"), pclose);
    if (!pipe) return {};
    std::string out;
    char line[512];
    for (int i = 0; i < 1000 && fgets(line, sizeof line, pipe.get()); ++i) out += line;
    return out;
}

void WriteQuietFirefoxProfile(const std::string& folder) {
    std::ofstream(folder + "/user.js") << R"(user_pref("app.update.enabled", false);
user_pref("app.update.auto", false);
user_pref("app.normandy.enabled", false);
user_pref("app.shield.optoutstudies.enabled", false);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("browser.aboutwelcome.enabled", false);
user_pref("browser.safebrowsing.malware.enabled", false);
user_pref("browser.safebrowsing.phishing.enabled", false);
user_pref("browser.safebrowsing.downloads.enabled", false);
user_pref("browser.search.update", false);
user_pref("browser.newtabpage.enabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("datareporting.healthreport.uploadEnabled", false);
user_pref("toolkit.telemetry.enabled", false);
user_pref("toolkit.telemetry.unified", false);
user_pref("extensions.update.enabled", false);
user_pref("extensions.pocket.enabled", false);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("network.dns.disablePrefetch", true);
user_pref("network.prefetch-next", false);
user_pref("services.settings.server", "http://127.0.0.1:1/");
user_pref("media.gmp-manager.url", "http://127.0.0.1:1/");
)";
}

namespace {
std::filesystem::path BuiltProgram() {
    const char* bin = std::getenv("ZX_BINARY_DIR");
    return std::filesystem::path(bin ? bin : ".") / "src/app/zeltrix";
}
}  // namespace

std::filesystem::path ProgramPath() {
    namespace fs = std::filesystem;
    const fs::path built = BuiltProgram();
    if (OthersCanPass(built.parent_path()) || !fs::exists(built)) return built;
    // A build inside a folder only its owner may enter (a home folder, as
    // Debian makes them): the ordinary user some tests run the program as
    // could not start it there, so every test of this process runs one copy
    // in a temporary folder that others can pass through.
    static const TempDir folder("zx-program-");
    static const fs::path copy = [&] {
        const fs::path to = fs::path(folder.Path()) / built.filename();
        fs::permissions(folder.Path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        fs::copy_file(built, to);
        fs::permissions(to, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
        return to;
    }();
    return copy;
}

bool ProgramBuilt() {
    return std::getenv("ZX_BINARY_DIR") && std::filesystem::exists(BuiltProgram());
}

namespace {
std::vector<std::string> CopyEnvironment(const std::filesystem::path& runtimeDir, std::vector<std::string> extra) {
    extra.insert(extra.begin(), {"XDG_RUNTIME_DIR=" + runtimeDir.string(), "QT_QPA_PLATFORM=xcb"});
    return extra;
}
}  // namespace

ProgramCopy::ProgramCopy(const std::filesystem::path& runtimeDir, const std::vector<std::string>& extraEnv,
                         const std::filesystem::path& program)
    : ChildProcess({program.string()}, CopyEnvironment(runtimeDir, extraEnv)) {}

}  // namespace zx::test
