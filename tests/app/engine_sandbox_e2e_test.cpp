// The real program as an ordinary user: the engine renders its pages in a
// sandboxed process where user namespaces work, and where none can be made
// (a container, a locked-down kernel) it renders them in the program itself,
// keeps running and, with ZELTRIX_DEBUG=1, says in one line why the sandbox
// is off.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/x11_probe.h"

namespace zx::test {
namespace {

namespace fs = std::filesystem;

const std::string kOffLine = "zeltrix: the web engine's sandbox is off: ";

std::string OrdinaryUser() {
    const char* bin = std::getenv("ZX_BINARY_DIR");
    return (fs::path(bin ? bin : ".") / "tests/app/ordinary_user").string();
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// `root` and its descendants.
std::vector<pid_t> Tree(pid_t root) {
    std::vector<pid_t> tree{root};
    std::istringstream all(ShellOutput("ps -e -o pid=,ppid="));
    std::vector<std::pair<pid_t, pid_t>> links;
    for (long pid = 0, parent = 0; all >> pid >> parent;) links.emplace_back(pid, parent);
    for (size_t i = 0; i < tree.size(); ++i)
        for (const auto& [pid, parent] : links)
            if (parent == tree[i]) tree.push_back(pid);
    return tree;
}

// The process of the tree with the renderer's compositor thread, or -1.
pid_t RendererProcess(pid_t root) {
    for (const pid_t pid : Tree(root)) {
        std::error_code ec;
        for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec))
            if (Slurp(task.path() / "comm") == "Compositor\n") return pid;
    }
    return -1;
}

bool SeccompFiltered(pid_t pid) {
    return Slurp("/proc/" + std::to_string(pid) + "/status").find("\nSeccomp:\t2\n") != std::string::npos;
}

class EngineSandboxTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::getenv("DISPLAY")) << "needs the X server that ./test starts";
        ASSERT_TRUE(ProgramBuilt()) << "the program is not built";
        ASSERT_TRUE(fs::exists(OrdinaryUser())) << "the helper is not built";
        // The ordinary user reaches its own folders below this one.
        fs::permissions(base_.Path(), fs::perms::owner_all | fs::perms::others_exec);
    }
    // A folder of the ordinary user's own, as a session gives it.
    std::string UserFolder(const std::string& name) {
        const std::string path = base_ / name;
        fs::create_directory(path);
        fs::permissions(path, fs::perms::owner_all);
        if (geteuid() == 0) {
            EXPECT_EQ(chown(path.c_str(), 65534, 65534), 0);
        }
        return path;
    }
    TempDir base_{"zx-sandbox-e2e-"};
};

TEST_F(EngineSandboxTest, RendersSandboxedWhereUserNamespacesWorkAndInTheProgramWithAReasonWhereNot) {
    X11Probe x;
    ASSERT_TRUE(x.Connected());
    // Whether this machine gives the ordinary user namespaces at all.
    const bool namespacesWork = std::system((OrdinaryUser() + " unshare -U true 2>/dev/null").c_str()) == 0;
    for (const bool deny : {false, true}) {
        SCOPED_TRACE(deny ? "no user namespaces" : "as the machine has them");
        const std::string tag = deny ? "denied" : "given";
        const fs::path errors = base_ / ("stderr-" + tag);
        std::vector<std::string> argv = {"env",
                                         "-u",
                                         "QTWEBENGINE_DISABLE_SANDBOX",
                                         "HOME=" + UserFolder("home-" + tag),
                                         "XDG_RUNTIME_DIR=" + UserFolder("runtime-" + tag),
                                         "QT_QPA_PLATFORM=xcb",
                                         "ZELTRIX_DEBUG=1",
                                         "ASAN_OPTIONS=new_delete_type_mismatch=0:detect_leaks=0",
                                         OrdinaryUser(),
                                         "--stderr",
                                         errors.string()};
        if (deny) argv.push_back("--no-user-namespaces");
        argv.push_back(ProgramPath().string());
        ChildProcess program(argv, {}, kEndGroupOnRequest);
        ASSERT_TRUE(program.Started());

        pid_t renderer = -1;
        ASSERT_TRUE(WaitUntil([&] { return (renderer = RendererProcess(program.Pid())) > 0; }, 90000))
            << "the engine never rendered; standard error:\n"
            << Slurp(errors);
        ASSERT_TRUE(x.WaitExists("Form1", 60000)) << Slurp(errors);
        EXPECT_TRUE(program.Running());

        const std::string written = Slurp(errors);
        const size_t off = written.find(kOffLine);
        const bool sandboxed = namespacesWork && !deny;
        if (sandboxed) {
            EXPECT_NE(renderer, program.Pid()) << "the pages render in a process of their own";
            EXPECT_TRUE(SeccompFiltered(renderer)) << "and that process is sandboxed";
            EXPECT_EQ(off, std::string::npos) << written;
        } else {
            EXPECT_EQ(renderer, program.Pid()) << "the pages render in the program";
            ASSERT_NE(off, std::string::npos) << written;
            EXPECT_EQ(written.find(kOffLine, off + 1), std::string::npos) << "one line says so";
            const std::string line = written.substr(off, written.find('\n', off) - off);
            EXPECT_NE(line.find("namespace"), std::string::npos) << line;
        }
        EXPECT_EQ(program.Stop(SIGTERM, 30000), 0) << "the program ends in order";
    }
}

}  // namespace
}  // namespace zx::test
