#pragma once
// Proportional set size of a process and of everything it started.
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace zx::bench {

struct ProcessMemory {
    pid_t pid = 0;
    std::string name;
    int threads = 0;
    // From /proc/<pid>/smaps_rollup, in KiB: the whole, and its anonymous,
    // file-backed and shared-memory parts.
    long pssKiB = 0, anonKiB = 0, fileKiB = 0, shmemKiB = 0;
};

// `root` and all its descendants (found through the parent ids in
// /proc/<pid>/stat), processes only.
std::vector<ProcessMemory> ProcessTreeMemory(pid_t root);

// PSS of a process summed per mapped file (anonymous memory as "[anon]",
// the heap as "[heap]"), largest first, at most `count` of them.
std::vector<std::pair<std::string, long>> LargestMappings(pid_t pid, size_t count);

// Processes outside the tree of `root` whose command name starts with
// `prefix`: they share library pages with it and so lower its PSS.
int OtherProcesses(pid_t root, const std::string& prefix);

}  // namespace zx::bench
