#pragma once
// What one run of the program measured, and the tables that print it: one per
// moment of a run, and all runs side by side at the end.
#include <string>
#include <vector>

#include "process_memory.h"

namespace zx::bench {

// The program's process tree at one moment.
struct Snapshot {
    std::vector<ProcessMemory> processes;
    // Other processes that mapped the engine's library meanwhile: with any,
    // the PSS and file figures are not printed (shared pages were split with
    // them). Anonymous and shared memory and threads do not depend on them.
    std::vector<Mapper> others;
};

struct Measurement {
    std::string who;  // the account's name
    bool measured = false;
    Snapshot empty;  // bar hidden, nothing loaded
    Snapshot full;   // twenty images, preview open
    Snapshot used;   // then the preview showed every image, back on the first
    double paintSeconds = 0;
};

// The tree process by process; `heading` says whose and when.
void PrintSnapshot(const std::string& heading, const Snapshot& s);

// Every run as a column: processes, sandbox, threads, PSS, anonymous, file and
// shared memory, for both moments; then for each account the PSS with the
// preview open against its target (180 MiB as root, where the engine runs in
// the program, 190 MiB for an ordinary user, sandbox on) and how far its runs
// lie apart. False when a figure could not be printed.
bool PrintSideBySide(const std::vector<Measurement>& runs);

}  // namespace zx::bench
