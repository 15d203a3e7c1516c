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
    // How the engine's sandbox confines it: a user namespace other than the
    // tree root's, a seccomp filter.
    bool ownNamespace = false, filtered = false;
};

// `root` and all its descendants (found through the parent ids in
// /proc/<pid>/stat), processes only.
std::vector<ProcessMemory> ProcessTreeMemory(pid_t root);

// PSS of a process summed per mapped file (anonymous memory as "[anon]",
// the heap as "[heap]"), largest first, at most `count` of them.
std::vector<std::pair<std::string, long>> LargestMappings(pid_t pid, size_t count);

struct Mapper {
    pid_t pid = 0;
    std::string name, user;
};

// Processes outside the tree of `root` that map a file whose path holds
// `library`. They share its pages with the tree and so lower its PSS, which
// splits every shared page between the processes that map it.
std::vector<Mapper> OtherProcessesMapping(pid_t root, const std::string& library);

}  // namespace zx::bench
