#include "summary.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <tuple>

namespace zx::bench {
namespace {

constexpr double kRootTargetMiB = 180, kUserTargetMiB = 190;

double MiB(long kib) {
    return kib / 1024.0;
}

long Sum(const Snapshot& s, long ProcessMemory::*field) {
    long total = 0;
    for (const auto& p : s.processes) total += p.*field;
    return total;
}

std::string Others(const std::vector<Mapper>& others) {
    std::string text;
    for (size_t i = 0; i < others.size() && i < 8; ++i) {
        const Mapper& m = others[i];
        text += (i ? ", " : "") + std::to_string(m.pid) + " " + m.name + " (" + m.user + ")";
    }
    if (others.size() > 8) text += " and " + std::to_string(others.size() - 8) + " more";
    return text;
}

// A figure that PSS sharing with other programs would falsify shows "-".
std::string Cell(bool shown, double value) {
    if (!shown) return "-";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    return buffer;
}

}  // namespace

void PrintSnapshot(const std::string& heading, const Snapshot& s) {
    const bool alone = s.others.empty();
    std::printf("%s\n  %7s %-16s %3s %7s %9s %9s %9s %9s\n", heading.c_str(), "pid", "process", "thr", "sandbox",
                "PSS MiB", "anon", "file", "shmem");
    for (const auto& p : s.processes) {
        std::printf("  %7d %-16s %3d %7s %9s %9.1f %9s %9.1f\n", static_cast<int>(p.pid), p.name.c_str(), p.threads,
                    p.ownNamespace && p.filtered ? "ns+bpf"
                    : p.ownNamespace             ? "ns"
                    : p.filtered                 ? "bpf"
                                                 : "off",
                    Cell(alone, MiB(p.pssKiB)).c_str(), MiB(p.anonKiB), Cell(alone, MiB(p.fileKiB)).c_str(),
                    MiB(p.shmemKiB));
    }
    std::printf("  PSS total: %s MiB, anonymous %.1f MiB\n", Cell(alone, MiB(Sum(s, &ProcessMemory::pssKiB))).c_str(),
                MiB(Sum(s, &ProcessMemory::anonKiB)));
    if (!alone)
        std::printf("  PSS not printed: other processes map the engine's library too: %s\n", Others(s.others).c_str());
}

bool PrintSideBySide(const std::vector<Measurement>& runs) {
    std::map<std::string, int> count;
    std::printf("\n%-30s", "");
    for (const auto& m : runs) std::printf(" %12s", (m.who + " #" + std::to_string(++count[m.who])).c_str());
    std::printf("\n");
    const auto row = [&](const char* label, const std::function<std::string(const Measurement&)>& cell) {
        std::printf("%-30s", label);
        for (const auto& m : runs) std::printf(" %12s", m.measured ? cell(m).c_str() : "failed");
        std::printf("\n");
    };
    for (const auto& [title, moment] : {std::pair{"bar hidden, nothing loaded", &Measurement::empty},
                                        {"twenty images, preview open", &Measurement::full},
                                        {"after the preview showed every image", &Measurement::used}}) {
        std::printf("%s\n", title);
        row("  processes", [&](const Measurement& m) { return std::to_string((m.*moment).processes.size()); });
        row("  sandboxed (namespace, bpf)", [&](const Measurement& m) {
            const auto& ps = (m.*moment).processes;
            return std::to_string(std::count_if(ps.begin(), ps.end(), [](const auto& p) { return p.ownNamespace; })) +
                   ", " + std::to_string(std::count_if(ps.begin(), ps.end(), [](const auto& p) { return p.filtered; }));
        });
        row("  threads", [&](const Measurement& m) {
            int threads = 0;
            for (const auto& p : (m.*moment).processes) threads += p.threads;
            return std::to_string(threads);
        });
        for (const auto& [label, field, shared] : {std::tuple{"  PSS MiB", &ProcessMemory::pssKiB, true},
                                                   {"  anonymous MiB", &ProcessMemory::anonKiB, false},
                                                   {"  file MiB", &ProcessMemory::fileKiB, true},
                                                   {"  shared memory MiB", &ProcessMemory::shmemKiB, false}}) {
            row(label, [&, field = field, shared = shared](const Measurement& m) {
                const Snapshot& s = m.*moment;
                return Cell(!shared || s.others.empty(), MiB(Sum(s, field)));
            });
        }
    }
    row("painted in s", [](const Measurement& m) { return Cell(true, m.paintSeconds); });

    bool printed = true;
    std::map<std::string, std::vector<double>> full;
    for (const auto& m : runs) {
        if (!m.measured || !m.full.others.empty() || !m.empty.others.empty() || !m.used.others.empty()) {
            printed = false;
            continue;
        }
        full[m.who].push_back(MiB(Sum(m.full, &ProcessMemory::pssKiB)));
    }
    for (const auto& [who, figures] : full) {
        const auto [low, high] = std::minmax_element(figures.begin(), figures.end());
        const double target = who == "root" ? kRootTargetMiB : kUserTargetMiB;
        std::printf(
            "PSS with twenty images and the preview open, %s: %.1f MiB (%zu runs within %.1f MiB), %s the "
            "target of %.0f MiB\n",
            who.c_str(), *high, figures.size(), *high - *low, *high <= target ? "within" : "over", target);
    }
    if (!printed)
        std::printf("Some PSS figures are not printed: a run failed or other processes mapped the engine's library.\n");
    return printed;
}

}  // namespace zx::bench
