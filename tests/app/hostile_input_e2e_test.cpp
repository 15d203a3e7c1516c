// The real program against what a page, a picture or another program may
// send it, as root and as an ordinary user (whose pages render in a sandboxed
// process of their own). Every row holds every process of the program under
// 512 MiB, keeps the GUI thread answering within a second, and ends with an
// honest exit code. The figures of each row go into the test report.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/window_message.h"
#include "support/child_process.h"
#include "support/desk.h"
#include "support/scripted_http_server.h"
#include "support/temp_dir.h"
#include "support/web_server.h"
#include "support/x11_probe.h"

namespace zx::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr long kMostMiB = 512;
constexpr char kFolderTitle[] = "Select where to place the images.";
constexpr char kMutexFile[] = "zeltrix/B1FD9BB5-0DDE-449A-9043-D601B41F9529.mutex";

std::string OrdinaryUser() {
    return (fs::path(std::getenv("ZX_BINARY_DIR")) / "tests/app/ordinary_user").string();
}

// A field of /proc/<pid>/status in KiB; 0 when the process is gone.
long StatusKiB(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    return 0;
}

// Watches every process of the program while a row runs: the largest
// resident size any one of them reached, the CPU time they used together,
// and the longest the bar's GUI thread took to answer the instance notice.
class Watch {
public:
    Watch(pid_t root, uint32_t bar) : root_(root), bar_(bar), thread_([this] { Run(); }) {}
    ~Watch() { Stop(); }
    void Stop() {
        if (!thread_.joinable()) return;
        stop_ = true;
        thread_.join();
    }
    long peakMiB = 0;       // the largest one process reached
    long peakTotalMiB = 0;  // the most all of them held together
    double cpuSeconds = 0;
    long longestStallMs = 0;

private:
    void Run() {
        std::map<pid_t, long long> firstTicks, lastTicks;
        auto lastProbe = Clock::now() - 1s;
        while (!stop_) {
            long totalKiB = 0;
            for (const ProcessId& p : ProcessTree(root_)) {
                const long kib = StatusKiB(p.pid, "VmRSS");
                totalKiB += kib;
                peakMiB = std::max(peakMiB, kib / 1024);
                const long long ticks = CpuTicks(p.pid);
                firstTicks.emplace(p.pid, ticks);
                if (ticks) lastTicks[p.pid] = ticks;
            }
            peakTotalMiB = std::max(peakTotalMiB, totalKiB / 1024);
            // The answer comes from the bar's GUI thread: how long it takes
            // is how long that thread was busy.
            if (bar_ && Clock::now() - lastProbe > 250ms) {
                lastProbe = Clock::now();
                SendInstanceNotification(bar_, 5s);
                const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastProbe);
                longestStallMs = std::max<long>(longestStallMs, static_cast<long>(took.count()));
            }
            std::this_thread::sleep_for(50ms);
        }
        long long used = 0;
        for (const auto& [pid, ticks] : lastTicks) used += ticks - firstTicks[pid];
        cpuSeconds = static_cast<double>(used) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    pid_t root_;
    uint32_t bar_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Holds the program's named mutex locked, as any process of its user can.
class HeldLock {
public:
    explicit HeldLock(const fs::path& runtime) : fd_(open((runtime / kMutexFile).c_str(), O_RDWR)) {
        if (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) Release();
    }
    ~HeldLock() { Release(); }
    bool Held() const { return fd_ >= 0; }
    void Release() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// The instance notice as any client of the display can send it, with the
// reply window it likes.
void ForgeMessage(uint32_t target, uint32_t reply) {
    X11Probe().SendClientMessage(target, "_ZELTRIX_WINDOW_MESSAGE", {1025, 0, 0, reply, 0});
}

// A GIF file of 31 bytes whose canvas is 23170 x 23170.
std::string GifBomb() {
    const unsigned char bytes[] = {'G', 'I', 'F',  '8',  '9', 'a', 0x82, 0x5a, 0x82, 0x5a, 0, 0, 0,  // canvas
                                   ',', 0,   0,    0,    0,   1,   0,    1,    0,    0,              // one pixel
                                   2,   2,   0x4c, 0x01, 0,   ';'};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// Where a grab that failed a row is kept as a screenshot.
std::string TempShotPath() {
    return (fs::path(std::getenv("ZX_BINARY_DIR")) / "tests/app/hostile-stale-preview.png").string();
}

// The descriptor numbers open in process `pid`.
std::set<int> Descriptors(pid_t pid) {
    std::set<int> open;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
        open.insert(std::stoi(entry.path().filename().string()));
    return open;
}

// The second lowest number not in `used`: a limit below which exactly one
// descriptor is free.
int LimitWithOneFree(const std::set<int>& used) {
    int free = 0, seen = 0;
    for (;; ++free)
        if (!used.count(free) && ++seen == 2) return free;
}

// The hard limit on descriptors of process `pid`; 0 when unknown.
long HardDescriptorLimit(pid_t pid) {
    std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
    for (std::string line; std::getline(limits, line);)
        if (line.rfind("Max open files", 0) == 0) {
            std::istringstream fields(line.substr(14));
            long soft = 0, hard = 0;
            fields >> soft >> hard;
            return hard;
        }
    return 0;
}

// Lowers the soft limit on descriptors of process `pid` to `most`, as its
// own user may; back to the hard limit at the end. `as` goes in front of the
// command (the helper that becomes the program's ordinary user).
class DescriptorSqueeze {
public:
    DescriptorSqueeze(pid_t pid, int most, const std::string& as)
        : pid_(pid), as_(as), hard_(HardDescriptorLimit(pid)) {
        held_ = hard_ > most && Set(most);
    }
    ~DescriptorSqueeze() {
        if (held_) Set(hard_);
    }
    bool Held() const { return held_; }

private:
    bool Set(long soft) {
        const std::string command =
            as_ + " prlimit --pid " + std::to_string(pid_) + " --nofile=" + std::to_string(soft) + ":";
        return std::system(command.c_str()) == 0;
    }
    pid_t pid_;
    std::string as_;
    long hard_;
    bool held_ = false;
};

// How many pixels of a grab have exactly this colour.
long Pixels(const std::vector<uint32_t>& grab, uint32_t colour) {
    return std::count(grab.begin(), grab.end(), colour);
}

// Steps the open preview to the cell under pointer column `x` (the cell's
// page shows a picture of colour `now`; the one before, `before`) and grabs
// the preview until the new picture shows. A view shows its current text or
// white: no grab after the step may show the picture of the cell before.
void StepPreview(Desk& d, int x, uint32_t now, uint32_t before) {
    const int from = d.x().FindViewable("Popup Form")->x;
    ASSERT_TRUE(Xdotool("mousemove " + std::to_string(x) + " 30"));
    // The preview moves in the tick that gives its views the new texts.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto p = d.x().FindViewable("Popup Form");
            return p && p->x != from;
        },
        10000))
        << "the preview did not step";
    int shots = 0, stale = 0;
    std::string seen;
    WaitUntil(
        [&] {
            const auto p = d.x().FindViewable("Popup Form");
            if (!p) return false;
            const std::vector<uint32_t> grab = d.x().Grab(p->x, p->y, p->width, p->height);
            const bool old = Pixels(grab, before) > 100, shown = Pixels(grab, now) > 100;
            if (old && ++stale == 1) ShellOutput("import -window root " + TempShotPath());
            ++shots;
            seen += old ? 'O' : shown ? 'N' : '.';
            return shown && !old;
        },
        60000);
    EXPECT_EQ(seen.back(), 'N') << "the new picture never showed: " << seen;
    EXPECT_EQ(stale, 0) << stale << " of " << shots << " grabs after the step showed the picture before (" << seen
                        << "), first one in " << TempShotPath();
}

const std::string kEntitySvg =
    "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY a \"aaaaaaaaaaaaaaaa\">"
    "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
    "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
    "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\"><!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">]>"
    "<svg xmlns=\"http://www.w3.org/2000/svg\"><text y=\"20\">&g;</text></svg>";

class HostileInputE2E : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::getenv("DISPLAY")) << "needs the X server that ./test starts";
        ASSERT_TRUE(ProgramBuilt()) << "the program is not built";
        ASSERT_TRUE(fs::exists(OrdinaryUser())) << "the helper is not built";
        for (const char* tool : {"Xvfb", "openbox", "xdotool"}) ASSERT_TRUE(HaveCommand(tool)) << tool;
        fs::permissions(base_.Path(), fs::perms::owner_all | fs::perms::others_exec);
    }
    // A folder of the user's own, as a session gives it.
    fs::path UserFolder(const std::string& name, bool ordinary) {
        const fs::path path = fs::path(base_.Path()) / name;
        fs::create_directory(path);
        fs::permissions(path, fs::perms::owner_all);
        if (ordinary && geteuid() == 0) {
            EXPECT_EQ(chown(path.c_str(), 65534, 65534), 0);
        }
        return path;
    }
    // The program as root or as an ordinary user, on `display`, under `limit`
    // (a shell's ulimit words); its standard error goes to Errors(tag).
    std::unique_ptr<ChildProcess> Start(bool ordinary, const std::string& tag, const std::string& display,
                                        const std::string& limit) {
        const fs::path errors = fs::path(base_.Path()) / ("stderr-" + tag);
        std::vector<std::string> argv = {"sh", "-c", "ulimit " + limit + " && exec \"$@\" 2>" + errors.string(), "sh",
                                         "env"};
        if (ordinary) argv.insert(argv.end(), {"-u", "QTWEBENGINE_DISABLE_SANDBOX"});
        argv.insert(argv.end(), {"DISPLAY=" + display, "HOME=" + UserFolder("home-" + tag, ordinary).string(),
                                 "XDG_RUNTIME_DIR=" + UserFolder("runtime-" + tag, ordinary).string(),
                                 // The sanitizer keeps freed memory for a while; kept small, the
                                 // sizes stay near those of the program as shipped.
                                 "ASAN_OPTIONS=new_delete_type_mismatch=0:detect_leaks=0:quarantine_size_mb=16"});
        if (ordinary) argv.push_back(OrdinaryUser());
        argv.push_back(ProgramPath().string());
        return std::make_unique<ChildProcess>(argv, std::vector<std::string>{}, kEndGroupOnRequest);
    }
    std::string Errors(const std::string& tag) { return ReadAll(fs::path(base_.Path()) / ("stderr-" + tag)); }
    fs::path Runtime(const std::string& tag) { return fs::path(base_.Path()) / ("runtime-" + tag); }

    TempDir base_{"zx-hostile-"};
};

TEST_F(HostileInputE2E, EveryRowStaysBoundedAndEndsHonestly) {
    TempDir root;
    fs::permissions(root.Path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    root.WriteFile("bomb.gif", GifBomb());
    root.WriteFile("laughs.svg", kEntitySvg);
    NginxServer nginx(root.Path());
    // A picture that never ends: a head, then data without a length. Each
    // view of cell and preview asks for it.
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\n\r\n\x89PNG\r\n";
    std::vector<ScriptedConversation> endlessAnswers(
        24, {{.response = head, .closeAfter = true, .fillerBytes = uint64_t{1} << 36}});
    ScriptedHttpServer endless(endlessAnswers, 900000);
    // A photograph-sized picture and a small one, of colours of their own.
    constexpr uint32_t kHugeColour = 0x0000ff, kSmallColour = 0xff0000;
    ShellOutput("convert -size 6000x4000 xc:'#0000ff' png24:" + root.Path() + "/huge.png");
    ShellOutput("convert -size 60x40 xc:'#ff0000' png24:" + root.Path() + "/small.png");
    const std::string refused = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/refused.png";
    const std::string longAddress = nginx.Url("/" + std::string(1 << 20, 'a') + ".png");

    bool asOrdinary = false;  // the user the rows' program runs as
    struct Row {
        const char* name;
        std::function<void(Desk&, const fs::path& runtime)> act;  // from the hidden bar
        int observeMs;
        double mostCpuSeconds = 20;                    // all processes together, act and watch
        std::function<void(Desk&)> prepare = nullptr;  // before the watch
    };
    auto hover = [](Desk& d, int cell) {
        ASSERT_NO_FATAL_FAILURE(d.Reveal(118 + 78 * cell));
        ASSERT_TRUE(Xdotool("mousemove " + std::to_string(118 + 78 * cell) + " 30"));
        ASSERT_TRUE(d.x().WaitViewable("Popup Form", 10000)) << "no preview";
    };
    const Row rows[] = {
        {"a held lock at the first reveal",
         [&](Desk& d, const fs::path& runtime) {
             HeldLock lock(runtime);
             ASSERT_TRUE(lock.Held());
             ASSERT_NO_FATAL_FAILURE(hover(d, 1));
         },
         3000},
        {"a picture that never ends",
         [&](Desk& d, const fs::path&) {
             ASSERT_NO_FATAL_FAILURE(d.Load({endless.Url("/endless.png")}));
             ASSERT_NO_FATAL_FAILURE(hover(d, 0));
         },
         15000},
        {"an SVG with nested entities",
         [&](Desk& d, const fs::path&) {
             ASSERT_NO_FATAL_FAILURE(d.Load({nginx.Url("/laughs.svg")}));
             ASSERT_NO_FATAL_FAILURE(hover(d, 0));
         },
         8000},
        {"a GIF canvas of 23170 x 23170",
         [&](Desk& d, const fs::path&) {
             ASSERT_NO_FATAL_FAILURE(d.Load({nginx.Url("/bomb.gif")}));
             ASSERT_NO_FATAL_FAILURE(hover(d, 0));
         },
         8000},
        // Resting on the cell: the address reached it before the watch.
        {"an address of a mebibyte", [&](Desk& d, const fs::path&) { ASSERT_NO_FATAL_FAILURE(hover(d, 0)); }, 5000, 20,
         [&](Desk& d) { ASSERT_NO_FATAL_FAILURE(d.Load({longAddress})); }},
        {"forged instance messages",
         [&](Desk& d, const fs::path&) {
             ASSERT_NO_FATAL_FAILURE(d.Reveal());
             const uint32_t bar = d.x().FindViewable("Form1")->id;
             ASSERT_TRUE(Xdotool("windowfocus " + std::to_string(bar)));
             for (const uint32_t reply : {0u, 1u, bar}) ForgeMessage(bar, reply);
         },
         3000, 1.0},
        // The preview goes from a huge picture to a small one and back.
        {"stepping between a huge picture and a small one",
         [&](Desk& d, const fs::path&) {
             ASSERT_NO_FATAL_FAILURE(hover(d, 0));
             ASSERT_TRUE(WaitUntil(
                 [&] {
                     const auto p = d.x().FindViewable("Popup Form");
                     return p && Pixels(d.x().Grab(p->x, p->y, p->width, p->height), kHugeColour) > 100;
                 },
                 60000))
                 << "the huge picture does not show";
             ASSERT_NO_FATAL_FAILURE(StepPreview(d, 118 + 78, kSmallColour, kHugeColour));
             ASSERT_NO_FATAL_FAILURE(StepPreview(d, 118, kHugeColour, kSmallColour));
         },
         1000, 40,
         [&](Desk& d) {
             ASSERT_NO_FATAL_FAILURE(d.Load({nginx.Url("/huge.png"), nginx.Url("/small.png")}));
         }},
        // Last: Download against a port nobody listens on fails with the
        // socket error's box. Then another process of the user has lowered
        // the program's limit so far that one descriptor is left, which the
        // folder takes, and the socket finds none: the box of that socket
        // error, and the program goes on. Only where the pages render in a
        // process apart: as root the engine runs inside the program, and
        // starved of descriptors it may end the process while it draws. (The first run also
        // lets the sanitizer of the test build know the objects on the way,
        // which it checks through a pipe it could not make later.)
        {"Download without a descriptor for its socket",
         [&](Desk& d, const fs::path&) {
             const pid_t program = d.copy().Pid();
             for (const bool squeezed : {false, true}) {
                 if (squeezed && !asOrdinary) break;
                 SCOPED_TRACE(squeezed ? "squeezed" : "refused");
                 const std::set<int> before = Descriptors(program);
                 ASSERT_NO_FATAL_FAILURE(d.ClickButton(58));
                 ASSERT_TRUE(d.x().WaitViewable(kFolderTitle, 10000))
                     << "no folder dialog; the bar is " << (d.x().FindViewable("Form1") ? "shown" : "hidden")
                     << ", the pointer: " << ShellOutput("xdotool getmouselocation")
                     << Errors(asOrdinary ? "ordinary" : "root");
                 // What the dialog holds is free again once it has gone.
                 std::set<int> kept;
                 for (const int fd : Descriptors(program))
                     if (before.count(fd)) kept.insert(fd);
                 std::optional<DescriptorSqueeze> squeeze;
                 if (squeezed) squeeze.emplace(program, LimitWithOneFree(kept), asOrdinary ? OrdinaryUser() : "");
                 ASSERT_TRUE(!squeeze || squeeze->Held());
                 // The folder the dialog starts in, the user's own, is taken as it is.
                 const uint32_t dialog = d.x().FindViewable(kFolderTitle)->id;
                 ASSERT_TRUE(Xdotool("windowfocus --sync " + std::to_string(dialog) + " key Return"));
                 ASSERT_TRUE(d.x().WaitViewable("Zeltrix", 20000)) << "no error box";
                 const uint32_t box = d.x().FindViewable("Zeltrix")->id;
                 ASSERT_TRUE(Xdotool("windowfocus --sync " + std::to_string(box) + " key Return"));
                 EXPECT_TRUE(d.x().WaitGone("Zeltrix", 5000));
             }
             for (const auto& file : fs::recursive_directory_iterator(base_.Path()))
                 EXPECT_NE(file.path().filename(), "refused.png") << "a failed download left a file";
         },
         1000, 20, [&](Desk& d) { ASSERT_NO_FATAL_FAILURE(d.Load({refused})); }},
    };

    for (const bool ordinary : {false, true}) {
        const std::string user = ordinary ? "ordinary" : "root";
        asOrdinary = ordinary;
        SCOPED_TRACE(user);
        // Only the soft limit is low: the program raises it to the hard one.
        Desk desk(Runtime(user), [&](const std::string& display) { return Start(ordinary, user, display, "-Sn 64"); });
        ASSERT_NO_FATAL_FAILURE(desk.WaitForHiddenBar()) << Errors(user);
        fs::permissions(desk.files().Path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
        const uint32_t bar = desk.x().FindWindows("Form1").front().id;
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            if (row.prepare) {
                ASSERT_NO_FATAL_FAILURE(row.prepare(desk));
                Xdotool("mousemove 500 500");
                EXPECT_TRUE(WaitUntil([&] { return !desk.x().FindViewable("Form1"); }, 10000)) << "the bar stays";
            }
            Watch watch(desk.copy().Pid(), bar);
            const auto start = Clock::now();
            ASSERT_NO_FATAL_FAILURE(row.act(desk, Runtime(user)));
            Sleep(row.observeMs);
            watch.Stop();
            const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            EXPECT_LT(watch.peakMiB, kMostMiB);
            EXPECT_LT(watch.longestStallMs, 1000);
            EXPECT_LT(watch.cpuSeconds, row.mostCpuSeconds);
            EXPECT_TRUE(desk.copy().Running());
            const std::string key = user + ": " + row.name;
            RecordProperty(key + " peak MiB", static_cast<int>(watch.peakMiB));
            RecordProperty(key + " peak MiB of all processes", static_cast<int>(watch.peakTotalMiB));
            RecordProperty(key + " CPU ms", static_cast<int>(watch.cpuSeconds * 1000));
            RecordProperty(key + " longest stall ms", static_cast<int>(watch.longestStallMs));
            RecordProperty(key + " ms", static_cast<int>(took));
            std::printf("%s: peak %ld MiB (all processes %ld MiB), CPU %.1f s, longest stall %ld ms, %lld ms\n",
                        key.c_str(), watch.peakMiB, watch.peakTotalMiB, watch.cpuSeconds, watch.longestStallMs,
                        static_cast<long long>(took));
            Xdotool("mousemove 500 500");
            EXPECT_TRUE(WaitUntil([&] { return !desk.x().FindViewable("Form1"); }, 10000)) << "the bar stays";
        }
        // Close with the lock held: the handle is withdrawn without waiting
        // for ever, and the end is orderly.
        {
            HeldLock lock(Runtime(user));
            ASSERT_TRUE(lock.Held());
            const auto start = Clock::now();
            desk.copy().Signal(SIGTERM);
            EXPECT_EQ(desk.copy().WaitExit(15000), 0) << Errors(user);
            EXPECT_LT(Clock::now() - start, 10s);
        }
        // The display goes away under a running copy: a failure, and said so.
        const std::string lost = user + "-lost";
        Desk gone(Runtime(lost), [&](const std::string& display) { return Start(ordinary, lost, display, "-Sn 64"); });
        ASSERT_NO_FATAL_FAILURE(gone.WaitForHiddenBar());
        gone.TakeServerAway();
        EXPECT_EQ(gone.copy().WaitExit(15000), 1);
        EXPECT_NE(Errors(lost).find("zeltrix: "), std::string::npos) << Errors(lost);
        // Too few descriptors even for the hard limit: no window, a failure,
        // and a line that says why.
        const std::string starved = user + "-starved";
        X11Probe x;
        auto program = Start(ordinary, starved, std::getenv("DISPLAY"), "-n 32");
        EXPECT_EQ(program->WaitExit(30000), 1);
        EXPECT_TRUE(x.FindWindows("Zeltrix").empty());
        EXPECT_NE(Errors(starved).find("zeltrix: cannot start"), std::string::npos) << Errors(starved);
    }
}

}  // namespace
}  // namespace zx::test
