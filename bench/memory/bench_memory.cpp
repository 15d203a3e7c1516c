// Memory of the real program as a user has it: started normally, a list of
// twenty images loaded through the Load button from nginx on loopback, the
// preview open on a resting pointer. Prints the PSS of the program and its
// engine processes with the bar hidden and nothing loaded, the time until
// every view painted, and the PSS then.
//
//   bench_memory <path to zeltrix> [--detail]
//
// Needs an X server wide enough for all twenty cells (1920 pixels), xdotool
// and nginx. --detail adds the largest mappings of every process.
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bar/bar_layout.h"
#include "loopback_site.h"
#include "process_memory.h"
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

double Report(const char* what, pid_t pid, bool detail) {
    long total = 0;
    std::printf("%s\n  %7s %-16s %3s %9s %9s %9s %9s\n", what, "pid", "process", "thr", "PSS MiB", "anon", "file",
                "shmem");
    for (const auto& p : ProcessTreeMemory(pid)) {
        std::printf("  %7d %-16s %3d %9.1f %9.1f %9.1f %9.1f\n", static_cast<int>(p.pid), p.name.c_str(), p.threads,
                    p.pssKiB / 1024.0, p.anonKiB / 1024.0, p.fileKiB / 1024.0, p.shmemKiB / 1024.0);
        total += p.pssKiB;
        if (detail) {
            for (const auto& [name, kib] : LargestMappings(p.pid, 12))
                std::printf("  %35.1f  %s\n", kib / 1024.0, name.c_str());
        }
    }
    std::printf("  PSS total: %.1f MiB\n", total / 1024.0);
    const int others = OtherProcesses(pid, "QtWebEngineProc") + OtherProcesses(pid, "zeltrix");
    if (others > 0)
        std::printf(
            "  note: %d engine processes of other programs ran: shared pages were split with them,"
            " the figure is too low\n",
            others);
    return total / 1024.0;
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

int Run(const std::string& program, bool detail) {
    zx::test::X11Probe screen;
    if (!screen.Connected()) {
        std::fprintf(stderr, "no X display\n");
        return 2;
    }
    LoopbackSite site;
    const std::string runtime = site.Folder() + "/runtime";
    std::filesystem::create_directory(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);

    Xdotool("mousemove 900 600");
    // In a process group of its own, so that its engine processes end with it.
    zx::test::ChildProcess app({program}, {"XDG_RUNTIME_DIR=" + runtime, "QT_QPA_PLATFORM=xcb"},
                               zx::test::kEndGroupOnRequest);
    const pid_t pid = app.Pid();
    if (!WaitUntil([&] { return Viewable(screen, "Form1") && !Viewable(screen, "Zeltrix"); }, 60000)) {
        std::fprintf(stderr, "the bar did not come up\n");
        return 1;
    }
    Sleep(8000);  // the engine starts its renderer and settles
    std::printf("program: %s\n", program.c_str());
    const double empty = Report("bar hidden, nothing loaded:", pid, detail);

    Xdotool("mousemove 900 0");
    std::optional<ScreenRect> bar;
    WaitUntil([&] { return (bar = Viewable(screen, "Form1")) && bar->y == 0 && bar->width >= 1700; }, 5000);
    if (!bar || bar->y != 0 || bar->width < 1700) {
        std::fprintf(stderr, "the bar does not show all twenty cells (needs a screen 1920 pixels wide)\n");
        return 1;
    }
    const auto cells = ViewRects({});
    for (int i = 0; i < 20; ++i) {
        if (ColouredShare(screen, cells[static_cast<size_t>(i)]) > 0.1) {
            std::fprintf(stderr, "an empty cell reads as painted: cannot tell when the views have painted\n");
            return 1;
        }
    }
    Xdotool("mousemove " + std::to_string(bar->width - 35) + " 42 click 1");  // Load
    if (!AnswerOpenDialog(screen, site.ListFile())) {
        std::fprintf(stderr, "the Load dialog did not take the list\n");
        return 1;
    }
    const auto loaded = Clock::now();
    Xdotool("mousemove 118 33");  // rests on cell 0: the preview opens
    std::optional<ScreenRect> popup;
    WaitUntil([&] { return (popup = Viewable(screen, "Popup Form")).has_value(); }, 10000);
    if (!popup) {
        std::fprintf(stderr, "the preview did not open\n");
        return 1;
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
    const double seconds = std::chrono::duration<double>(Clock::now() - loaded).count();
    std::printf("views painted: %zu of %zu, %.1f s after the list was confirmed\n", done, rects.size(), seconds);
    Sleep(3000);
    const double total = Report("twenty images, preview open:", pid, detail);
    std::printf(
        "PSS: %.1f MiB with twenty images and the preview open (%.1f MiB hidden and empty); painted in %.1f s\n", total,
        empty, seconds);
    return done == rects.size() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || (argc == 3 && std::strcmp(argv[2], "--detail") != 0) || argc > 3) {
        std::fprintf(stderr, "usage: %s <path to zeltrix> [--detail]\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);  // image writers are plugins
    return Run(argv[1], argc == 3);
}
