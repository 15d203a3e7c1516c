// Memory of the real program as a user has it: started normally, a list of
// twenty images loaded through the Load button from nginx on loopback, the
// preview open on a resting pointer. Prints the PSS of the program and its
// engine processes with the bar hidden and nothing loaded, the time until
// every view painted, the PSS then and once more after the preview showed
// every image. Run as root, it measures the program as root (the engine's
// sandbox off, the pages rendered in the program) and as an ordinary user
// (the sandbox on), and prints both side by side.
//
//   bench_memory <path to zeltrix> [--as NAMES] [--runs N] [--shots DIR] [--detail]
//
// --as: the accounts to run it as, separated by commas (default: the own one
// and, for root, also nobody; only root can name another); --runs:
// runs per account (default 2); --shots: saves a screenshot of the bar and the
// preview of every run there; --detail adds the largest mappings of every
// process. Needs an X server wide enough for all twenty cells (1920 pixels),
// xdotool and nginx. PSS splits every shared page between the processes that
// map it, so no PSS figure is printed while another process maps the
// engine's library; the processes are named instead.
#include <unistd.h>

#include <QCoreApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "account.h"
#include "bar/bar_layout.h"
#include "loopback_site.h"
#include "process_memory.h"
#include "summary.h"
#include "support/child_process.h"
#include "support/x11_probe.h"

namespace {

using namespace zx::bench;
using Clock = std::chrono::steady_clock;
using zx::test::Sleep;
using zx::test::WaitUntil;
using zx::test::Xdotool;

struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Where the mapped top-level window titled `title` is, in root coordinates.
std::optional<ScreenRect> Viewable(zx::test::X11Probe& screen, const std::string& title) {
    const auto w = screen.FindViewable(title);
    if (!w) return std::nullopt;
    return ScreenRect{w->x, w->y, w->width, w->height};
}

// The share (0 to 1) of the rectangle's pixels that are clearly coloured
// rather than white, grey or black.
double ColouredShare(zx::test::X11Probe& screen, const ScreenRect& rect) {
    if (rect.width <= 0 || rect.height <= 0) return 0;
    const std::vector<uint32_t> pixels = screen.Grab(rect.x, rect.y, rect.width, rect.height);
    int coloured = 0;
    for (const uint32_t rgb : pixels) {
        const int r = (rgb >> 16) & 0xff, g = (rgb >> 8) & 0xff, b = rgb & 0xff;
        if (std::max({r, g, b}) - std::min({r, g, b}) >= 64) ++coloured;
    }
    return pixels.empty() ? 0 : static_cast<double>(coloured) / (rect.width * rect.height);
}

constexpr const char* kEngineLibrary = "libQt6WebEngineCore";
constexpr int kSettleMs = 5000;

// The tree's memory, and who else mapped the engine's library before or
// after it was read.
Snapshot Take(pid_t pid, bool detail) {
    Snapshot s;
    s.others = OtherProcessesMapping(pid, kEngineLibrary);
    s.processes = ProcessTreeMemory(pid);
    if (s.others.empty()) s.others = OtherProcessesMapping(pid, kEngineLibrary);
    if (detail) {
        for (const auto& p : s.processes) {
            std::printf("  %d %s, largest mappings (PSS MiB):\n", static_cast<int>(p.pid), p.name.c_str());
            for (const auto& [name, kib] : LargestMappings(p.pid, 12))
                std::printf("  %9.1f  %s\n", kib / 1024.0, name.c_str());
        }
    }
    return s;
}

// Until the processes of an earlier run are gone, so that they neither share
// pages with the next one nor count as other mappers.
void WaitGone(const std::vector<ProcessMemory>& processes) {
    WaitUntil(
        [&] {
            for (const auto& p : processes)
                if (kill(p.pid, 0) == 0) return false;
            return true;
        },
        15000);
}

// Types the list's path into the Open dialog and confirms it.
bool AnswerOpenDialog(zx::test::X11Probe& screen, const std::string& path) {
    if (!WaitUntil([&] { return Viewable(screen, "Open").has_value(); }, 10000)) return false;
    Xdotool("search --onlyvisible --name '^Open$' windowfocus --sync");
    Sleep(300);
    Xdotool("key --clearmodifiers ctrl+a");
    Xdotool("type --delay 10 '" + path + "'");
    Sleep(300);
    // The first Return may only close the name completer.
    for (int i = 0; i < 3 && Viewable(screen, "Open"); ++i) {
        Xdotool("key Return");
        WaitUntil([&] { return !Viewable(screen, "Open"); }, 2000);
    }
    return !Viewable(screen, "Open");
}

// The 24 views in screen coordinates: twenty cells on the bar, the popup's
// three previews and its actual-size view.
std::vector<ScreenRect> ViewRects(const ScreenRect& popup) {
    std::vector<ScreenRect> rects;
    for (int i = 0; i < zx::kCellCount; ++i)
        rects.push_back({zx::CellLeft(i), i == 19 ? 2 : 8, zx::kCellWidth, zx::kCellHeight});
    for (const ScreenRect r : {ScreenRect{71, 8, 80, 80}, {8, 96, 143, 144}, {160, 8, 229, 232}, {8, 34, 54, 25}})
        rects.push_back({popup.x + r.x, popup.y + r.y, r.width, r.height});
    return rects;
}

void SaveShot(zx::test::X11Probe& screen, const ScreenRect& popup, const std::string& path) {
    const int width = 1920, height = popup.y + popup.height;
    const std::vector<uint32_t> pixels = screen.Grab(0, 0, width, height);
    if (pixels.size() != static_cast<size_t>(width) * height) return;
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        std::copy_n(pixels.data() + static_cast<size_t>(y) * width, width,
                    reinterpret_cast<uint32_t*>(image.scanLine(y)));
    if (!image.save(QString::fromStdString(path))) std::fprintf(stderr, "cannot save %s\n", path.c_str());
}

struct Options {
    std::string program;
    std::vector<std::string> accounts;
    int runs = 2;
    std::string shots;
    bool detail = false;
};

// One run: starts the program as `account`, takes its memory hidden and
// empty, loads the list, opens the preview, waits until all 24 views have
// painted and takes it again, and once more after the preview showed every
// image.
Measurement MeasureOnce(const Options& options, const Account& account, int run, LoopbackSite& site,
                        zx::test::X11Probe& screen) {
    Measurement m;
    m.who = account.name;
    const std::string tag = account.name + "-" + std::to_string(run);
    const std::string home = site.Folder() + "/home-" + tag, runtime = site.Folder() + "/runtime-" + tag;
    PrepareFolders(account, home, runtime);

    Xdotool("mousemove 900 600");
    // In a process group of its own, so that its engine processes end with it.
    zx::test::ChildProcess app(CommandAs(account, options.program, home, runtime), {}, zx::test::kEndGroupOnRequest);
    const pid_t pid = app.Pid();
    std::printf("\n%s, run %d: %s\n", account.name.c_str(), run, options.program.c_str());
    if (!WaitUntil([&] { return Viewable(screen, "Form1") && !Viewable(screen, "Zeltrix"); }, 60000)) {
        std::fprintf(stderr, "the bar did not come up\n");
        return m;
    }
    Sleep(8000);  // the engine starts its renderer and settles
    m.empty = Take(pid, options.detail);
    PrintSnapshot("bar hidden, nothing loaded:", m.empty);

    Xdotool("mousemove 900 0");
    std::optional<ScreenRect> bar;
    WaitUntil([&] { return (bar = Viewable(screen, "Form1")) && bar->y == 0 && bar->width >= 1700; }, 5000);
    if (!bar || bar->y != 0 || bar->width < 1700) {
        std::fprintf(stderr, "the bar does not show all twenty cells (needs a screen 1920 pixels wide)\n");
        return m;
    }
    const auto cells = ViewRects({});
    for (int i = 0; i < 20; ++i) {
        if (ColouredShare(screen, cells[static_cast<size_t>(i)]) > 0.1) {
            std::fprintf(stderr, "an empty cell reads as painted: cannot tell when the views have painted\n");
            return m;
        }
    }
    Xdotool("mousemove " + std::to_string(bar->width - 35) + " 42 click 1");  // Load
    if (!AnswerOpenDialog(screen, site.ListFile())) {
        std::fprintf(stderr, "the Load dialog did not take the list\n");
        return m;
    }
    const auto loaded = Clock::now();
    Xdotool("mousemove 118 33");  // rests on cell 0: the preview opens
    std::optional<ScreenRect> popup;
    WaitUntil([&] { return (popup = Viewable(screen, "Popup Form")).has_value(); }, 10000);
    if (!popup) {
        std::fprintf(stderr, "the preview did not open\n");
        return m;
    }
    const auto rects = ViewRects(*popup);
    std::vector<bool> painted(rects.size(), false);
    size_t done = 0;
    WaitUntil(
        [&] {
            for (size_t i = 0; i < rects.size(); ++i) {
                if (!painted[i] && ColouredShare(screen, rects[i]) > 0.1) {
                    painted[i] = true;
                    ++done;
                }
            }
            return done == rects.size();
        },
        60000);
    m.paintSeconds = std::chrono::duration<double>(Clock::now() - loaded).count();
    std::printf("views painted: %zu of %zu, %.1f s after the list was confirmed\n", done, rects.size(), m.paintSeconds);
    if (done != rects.size()) return m;
    // The program hands back what the loads ran 2 s after the last one.
    Sleep(kSettleMs);
    m.full = Take(pid, options.detail);
    PrintSnapshot("twenty images, preview open:", m.full);
    if (!options.shots.empty()) SaveShot(screen, *popup, options.shots + "/" + tag + ".png");

    // Use: the pointer rests on every cell in turn, so that the preview
    // loads every image, and back on the first one.
    for (int i = 1; i <= zx::kCellCount; ++i) {
        const int cell = i % zx::kCellCount;
        Xdotool("mousemove " + std::to_string(zx::CellLeft(cell) + zx::kCellWidth / 2) + " 33");
        Sleep(1200);
    }
    Sleep(kSettleMs);
    m.used = Take(pid, options.detail);
    PrintSnapshot("after the preview showed every image:", m.used);
    m.measured = true;
    return m;
}

int Run(const Options& options) {
    zx::test::X11Probe screen;
    if (!screen.Connected()) {
        std::fprintf(stderr, "no X display\n");
        return 2;
    }
    std::vector<Account> accounts;
    for (const std::string& name : options.accounts) {
        const auto account = UserAccount(name);
        if (!account || (!account->self && geteuid() != 0)) {
            std::fprintf(stderr, "cannot run the program as %s\n", name.c_str());
            return 2;
        }
        accounts.push_back(*account);
    }
    LoopbackSite site;
    // The other account reaches the list file and its own folders.
    std::filesystem::permissions(site.Folder(), std::filesystem::perms::owner_all | std::filesystem::perms::group_exec |
                                                    std::filesystem::perms::others_exec);
    std::vector<Measurement> runs;
    bool measured = true;
    for (const Account& account : accounts) {
        for (int run = 1; run <= options.runs; ++run) {
            runs.push_back(MeasureOnce(options, account, run, site, screen));
            measured = measured && runs.back().measured;
            WaitGone(runs.back().used.processes);
            WaitGone(runs.back().full.processes);
            WaitGone(runs.back().empty.processes);
        }
    }
    const bool printed = PrintSideBySide(runs);
    return !measured ? 1 : printed ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    bool usage = argc < 2;
    for (int i = 2; i < argc && !usage; ++i) {
        const std::string arg = argv[i];
        const bool value = i + 1 < argc;
        if (arg == "--detail") {
            options.detail = true;
        } else if (arg == "--as" && value) {
            std::istringstream names(argv[++i]);
            for (std::string name; std::getline(names, name, ',');)
                if (!name.empty()) options.accounts.push_back(name);
        } else if (arg == "--runs" && value) {
            options.runs = std::atoi(argv[++i]);
            usage = options.runs < 1 || options.runs > 10;
        } else if (arg == "--shots" && value) {
            options.shots = argv[++i];
        } else {
            usage = true;
        }
    }
    if (usage) {
        std::fprintf(stderr, "usage: %s <path to zeltrix> [--as NAMES] [--runs N] [--shots DIR] [--detail]\n", argv[0]);
        return 2;
    }
    options.program = argv[1];
    if (options.accounts.empty()) {
        options.accounts.push_back(OwnAccount().name);
        if (geteuid() == 0) options.accounts.push_back("nobody");
    }
    QCoreApplication app(argc, argv);  // image writers are plugins
    return Run(options);
}
