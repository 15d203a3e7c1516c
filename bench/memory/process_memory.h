#pragma once
// Proportional set size of a process and of everything it started.
#include <sys/types.h>

#include <string>
#include <vector>

namespace zx::bench {

struct ProcessMemory {
    pid_t pid = 0;
    std::string name;
    long pssKiB = 0;
};

// `root` and all its descendants (found through the parent ids in
// /proc/<pid>/stat), each with its PSS from /proc/<pid>/smaps_rollup.
std::vector<ProcessMemory> ProcessTreeMemory(pid_t root);

}  // namespace zx::bench
