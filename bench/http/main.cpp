// Fetch speed and memory of the HTTP client against curl, on loopback.
//   bench_http fetch OUTDIR URL...
//       one client, sequential GETs into memory, each body written to
//       OUTDIR/<document part>, as the download does.
//   bench_http compare ROUNDS OUTDIR SMALL_URLS_FILE LARGE_URLS_FILE
//                      [HTTPS_SMALL_URLS_FILE HTTPS_LARGE_URLS_FILE]
//       runs "fetch" and curl over the sets, alternating, ROUNDS times,
//       and prints wall-time and CPU-time ratios (ours/curl) of the totals
//       over all rounds, and peak memory. Totals, not medians: a round's time
//       can fall into one of two modes (the large set's buffer gets huge pages
//       or not), and a median jumps between them from run to run where a
//       total does not.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "net/id_http.h"
#include "platform/tls_transport.h"

namespace {

void WriteFile(const std::string& path, const zx::TMemoryStream& data) {
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    size_t done = 0;
    while (done < data.Size()) {
        const ssize_t n = ::write(fd, data.Data() + done, data.Size() - done);
        if (n <= 0) {
            ::close(fd);
            throw std::runtime_error("cannot write " + path);
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

int Fetch(const std::string& outDir, const std::vector<std::string>& urls) {
    zx::TIdHTTP http(std::make_unique<zx::TlsTransport>());
    http.Limits() = zx::kDownloadLimits;
    for (const auto& url : urls) {
        http.URL().SetURI(url);
        const std::string name = http.URL().Document();
        zx::TMemoryStream body;
        http.Get(url, body);
        body.SetPosition(0);
        WriteFile(outDir + "/" + name, body);
    }
    return 0;
}

struct Run {
    double seconds;
    double cpuSeconds;
    long maxRssKiB;
};

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

Run Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(args[0] + " failed");
    return {secs, Seconds(usage.ru_utime) + Seconds(usage.ru_stime), usage.ru_maxrss};
}

std::vector<std::string> ReadLines(const std::string& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        if (!l.empty()) lines.push_back(l);
    return lines;
}

std::string DocumentOf(const std::string& url) {
    return zx::TIdURI(url).Document();
}

struct Set {
    std::string name;
    std::vector<std::string> urls;
    Run ours{}, curl{};  // totals; maxRssKiB is the peak
};

int Compare(int rounds, const std::string& outDir, std::vector<Set> sets) {
    const std::string self = "/proc/self/exe";
    char exe[4096] = {0};
    if (::readlink(self.c_str(), exe, sizeof exe - 1) <= 0) throw std::runtime_error("no /proc/self/exe");
    const std::string oursDir = outDir + "/ours", curlDir = outDir + "/curl";
    ::mkdir(oursDir.c_str(), 0755);
    ::mkdir(curlDir.c_str(), 0755);

    // Round 0 warms up the server, the page cache and the output files, and is not counted.
    for (int r = 0; r <= rounds; ++r) {
        for (auto& set : sets) {
            std::vector<std::string> oursArgs{exe, "fetch", oursDir};
            std::vector<std::string> curlArgs{"curl", "-s", "--fail"};
            for (const auto& u : set.urls) {
                oursArgs.push_back(u);
                curlArgs.push_back("-o");
                curlArgs.push_back(curlDir + "/" + DocumentOf(u));
                curlArgs.push_back(u);
            }
            // Alternate which one goes first, so neither always meets a warm server.
            Run ours{}, curl{};
            if (r % 2 == 1) {
                ours = Spawn(oursArgs);
                curl = Spawn(curlArgs);
            } else {
                curl = Spawn(curlArgs);
                ours = Spawn(oursArgs);
            }
            if (r == 0) continue;
            for (auto [total, run] : {std::pair{&set.ours, ours}, std::pair{&set.curl, curl}}) {
                total->seconds += run.seconds;
                total->cpuSeconds += run.cpuSeconds;
                total->maxRssKiB = std::max(total->maxRssKiB, run.maxRssKiB);
            }
            std::printf("round %d %-11s ours %.3f s (cpu %.3f)  curl %.3f s (cpu %.3f)  ratio %.2f\n", r,
                        set.name.c_str(), ours.seconds, ours.cpuSeconds, curl.seconds, curl.cpuSeconds,
                        ours.seconds / curl.seconds);
        }
    }
    for (auto& set : sets) {
        std::printf("%s: mean ours %.3f s, curl %.3f s; peak memory ours %ld KiB, curl %ld KiB\n", set.name.c_str(),
                    set.ours.seconds / rounds, set.curl.seconds / rounds, set.ours.maxRssKiB, set.curl.maxRssKiB);
    }
    for (auto& set : sets)
        std::printf("%s: ours/curl = %.2f (cpu time %.2f)\n", set.name.c_str(), set.ours.seconds / set.curl.seconds,
                    set.ours.cpuSeconds / set.curl.cpuSeconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        if (args.size() >= 2 && args[0] == "fetch")
            return Fetch(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
        if ((args.size() == 5 || args.size() == 7) && args[0] == "compare") {
            std::vector<Set> sets = {{"small", ReadLines(args[3])}, {"large", ReadLines(args[4])}};
            if (args.size() == 7) {
                sets.push_back({"https small", ReadLines(args[5])});
                sets.push_back({"https large", ReadLines(args[6])});
            }
            return Compare(std::stoi(args[1]), args[2], std::move(sets));
        }
        std::fprintf(stderr,
                     "usage: bench_http fetch OUTDIR URL...\n"
                     "       bench_http compare ROUNDS OUTDIR SMALL_URLS_FILE LARGE_URLS_FILE "
                     "[HTTPS_SMALL_URLS_FILE HTTPS_LARGE_URLS_FILE]\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_http: %s\n", e.what());
        return 1;
    }
}
