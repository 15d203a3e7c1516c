#pragma once
// Named kernel objects shared between the processes of one user: a mutex and a
// block of shared memory, each found by its name.
//
// Both live as files in a directory only the user can reach: $XDG_RUNTIME_DIR/
// zeltrix when the session provides a private one, otherwise zeltrix in the
// user's cache folder ($XDG_CACHE_HOME, or ~/.cache, created when missing),
// which only its owner can add to; never a shared folder such as /tmp, where
// another user could take the name first. The directory is created with mode
// 0700 and refused when it is a link, belongs to someone else or others may
// enter it; its files are created with mode 0600 and refused when they are
// links or someone else's.
//
// When the place is refused (no private directory, or another user's file or
// a link where an object's file should be), the shared memory is a block of
// this process alone and the mutex does nothing: the program runs as the only
// copy it knows of rather than not at all.
//
// NamedMutex: recursive for the thread that owns it, across every object on the
// same name in the process; other threads and processes wait. A mutex left
// locked by a process that died is free again for the next waiter (the kernel
// drops a dead process's file locks). No wait for another process lasts
// longer than kLockWaitLimit: one that holds a lock longer is no copy of ours
// doing its work, so this process then goes on as the only copy (the mutex
// takes no file lock any more, the block is one of its own) and says so when
// diagnostics are on.
//
// NamedSharedMemory: a fixed-size block that lives while any process holds it.
// Every holder keeps a shared file lock on the block; an opener that finds no
// other holder knows the block is stale (its last holder ended, perhaps killed)
// and treats the name as new, so the next creator starts from zeroes.
#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace zx {

inline constexpr std::chrono::milliseconds kLockWaitLimit{500};

// The directory that holds the named objects, created when missing; nullopt
// when it cannot be created or fails the ownership and mode checks.
std::optional<std::string> NamedObjectDirectory();

// The file that stands for `name` with the given suffix in `dir`; bytes that
// cannot appear in a file name as they are ("/", "%", controls, non-ASCII)
// are written as %XX.
std::string NamedObjectPath(const std::string& dir, const std::string& name, const std::string& suffix);

class NamedMutex : public ProcessMutex {
public:
    // Opens the mutex, creating it when it does not exist yet. Never throws: a
    // mutex that cannot be opened makes Lock and Unlock do nothing.
    explicit NamedMutex(const std::string& name);
    ~NamedMutex() override;
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    bool Valid() const { return !path_.empty(); }
    // Waits at most kLockWaitLimit for another process, then counts as taken.
    // Each Lock needs one Unlock on the same thread.
    void Lock() override;
    // Releases once; does nothing on a thread that does not own the mutex.
    void Unlock() override;

private:
    std::string path_;
};

class NamedSharedMemory : public ProcessSharedMemory {
public:
    // The block called `name` when a live process holds it; nullptr otherwise.
    static std::unique_ptr<NamedSharedMemory> OpenExisting(const std::string& name);
    // Opens the block, or creates it zero-filled with `size` bytes when no live
    // process holds it; a new block of this process alone when the place is
    // refused (see above); nullptr when none of that works.
    static std::unique_ptr<NamedSharedMemory> Create(const std::string& name, size_t size);

    ~NamedSharedMemory() override;
    NamedSharedMemory(const NamedSharedMemory&) = delete;
    NamedSharedMemory& operator=(const NamedSharedMemory&) = delete;

    // True when Create made the block anew.
    bool Created() const override { return created_; }
    // Maps `size` bytes from offset 0 for reading and writing; nullptr when
    // that cannot be done (also when the block is shorter than `size`).
    void* Map(size_t size) override;
    // Unmaps a view that Map returned.
    void Unmap(void* address) override;

private:
    NamedSharedMemory(int fd, bool created) : fd_(fd), created_(created) {}
    // A block of this process alone: zero-filled memory with no name.
    static std::unique_ptr<NamedSharedMemory> Private(size_t size);
    int fd_;
    bool created_;
    std::mutex viewsGuard_;
    std::map<void*, size_t> views_;  // address -> length, for unmapping
};

// The mutex as the platform hands it out: nullptr when it cannot be opened.
std::unique_ptr<ProcessMutex> OpenNamedMutex(const std::string& name);

}  // namespace zx
