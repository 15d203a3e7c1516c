#include "platform/linux/named_objects.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/linux/log_categories.h"

namespace zx {

namespace {

constexpr char kMutexSuffix[] = ".mutex";
constexpr char kMemorySuffix[] = ".shm";
// Held exclusively while a process opens or creates a block, so that the test
// "does anyone else hold it?" and the re-creation that follows are one step.
constexpr char kMemoryGuardSuffix[] = ".shm-guard";

// A directory only we can use: ours, not a symbolic link, closed to others.
bool IsPrivateDirectory(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

// A folder we may create our directory in: ours, and closed to writers other
// than us (a group-writable one only when the group is our own).
bool IsOwnFolder(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return false;
    return (st.st_mode & S_IWOTH) == 0 && ((st.st_mode & S_IWGRP) == 0 || st.st_gid == getegid());
}

// Something at `path` that is a link or belongs to someone else.
bool IsForeign(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && (S_ISLNK(st.st_mode) || st.st_uid != geteuid());
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The home of this process's user in the account database; empty if none.
std::string AccountHome() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir) return {};
    return found->pw_dir;
}

// The user's cache folder: $XDG_CACHE_HOME, else .cache in the home ($HOME,
// or the account's when $HOME names a folder not ours, as after su), created
// there when missing. Empty when there is none we may use.
std::string CacheFolder() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && cache[0] == '/') {
        std::string path = WithoutTrailingSlashes(cache);
        return IsOwnFolder(path) ? path : std::string();
    }
    const char* env = std::getenv("HOME");
    for (const std::string& home : {std::string(env ? env : ""), AccountHome()}) {
        if (home.empty() || home[0] != '/' || !IsOwnFolder(home)) continue;
        std::string path = WithoutTrailingSlashes(home) + "/.cache";
        if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) continue;
        if (IsOwnFolder(path)) return path;
    }
    return {};
}

bool EnsurePrivateDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0700) == 0) {
        // The umask may have taken bits we need; nobody else can be in it yet.
        chmod(path.c_str(), 0700);
    } else if (errno != EEXIST) {
        return false;
    }
    return IsPrivateDirectory(path);
}

// Opens (optionally creates) a regular file of ours; -1 on any failure.
int OpenPrivateFile(const std::string& path, bool create) {
    int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0);
    int fd;
    do {
        fd = open(path.c_str(), flags, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
        close(fd);
        return -1;
    }
    return fd;
}

// Takes the file lock `operation` (LOCK_EX or LOCK_SH), waiting at most
// kLockWaitLimit for a holder to let go: any process of the user can hold one
// of these files locked for as long as it likes. False when the time ran out
// or the lock cannot be had at all.
bool FlockWithin(int fd, int operation) {
    const auto deadline = std::chrono::steady_clock::now() + kLockWaitLimit;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (flock(fd, operation | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(25));
    }
}

// Said only when diagnostics are on (the toolkit's messages are silenced
// otherwise).
void NoteRunningAlone(const std::string& path) {
    qCWarning(lcNamedObjects, "%s stayed locked by another process; running as the only copy", path.c_str());
}

std::string PathFor(const std::string& name, const char* suffix) {
    auto dir = NamedObjectDirectory();
    return dir ? NamedObjectPath(*dir, name, suffix) : std::string();
}

// The in-process side of the named mutexes: which thread owns each one and
// how often. The file lock is taken once by the owning thread and shared by
// every object on the same name, which makes the mutex recursive across them.
struct MutexState {
    pid_t pid = 0;  // the process the state belongs to
    std::thread::id owner;
    int count = 0;
    int fd = -1;
    // Set once a wait for another process ran out: from then on this process
    // runs as the only copy and takes the mutex without waiting.
    bool givenUp = false;
    std::condition_variable released;
};

std::mutex& MutexRegistryGuard() {
    static std::mutex guard;
    return guard;
}

std::map<std::string, MutexState>& MutexRegistry() {
    // Never destroyed: objects with static lifetime may still unlock at exit.
    static auto* registry = new std::map<std::string, MutexState>;
    return *registry;
}

// A forked child inherits its parent's ownership and the parent's open file
// with its lock; neither is the child's. Start the child from a free state
// (closing the inherited file leaves the parent's lock in place).
MutexState& StateOfThisProcess(const std::string& path) {
    MutexState& state = MutexRegistry()[path];
    if (state.pid != getpid()) {
        if (state.fd >= 0) close(state.fd);
        state.fd = -1;
        state.count = 0;
        state.owner = std::thread::id();
        state.pid = getpid();
    }
    return state;
}

// Holds the guard file of a block exclusively for its lifetime.
class GuardLock {
public:
    explicit GuardLock(const std::string& path) : fd_(OpenPrivateFile(path, true)) {
        if (fd_ >= 0 && !FlockWithin(fd_, LOCK_EX)) {
            close(fd_);
            fd_ = -1;
            timedOut_ = true;
        }
    }
    ~GuardLock() {
        if (fd_ >= 0) close(fd_);  // closing drops the lock
    }
    GuardLock(const GuardLock&) = delete;
    GuardLock& operator=(const GuardLock&) = delete;
    bool Held() const { return fd_ >= 0; }
    bool TimedOut() const { return timedOut_; }

private:
    int fd_;
    bool timedOut_ = false;
};

}  // namespace

std::optional<std::string> NamedObjectDirectory() {
    // The session's runtime directory is already private to the user; check
    // it anyway, as the variable may point anywhere.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        std::string base = runtime;
        if (IsPrivateDirectory(base)) {
            std::string dir = base + "/zeltrix";
            if (EnsurePrivateDirectory(dir)) return dir;
        }
    }
    const std::string cache = CacheFolder();
    if (cache.empty()) return std::nullopt;
    std::string dir = (cache == "/" ? "" : cache) + "/zeltrix";
    if (EnsurePrivateDirectory(dir)) return dir;
    return std::nullopt;
}

std::string NamedObjectPath(const std::string& dir, const std::string& name, const std::string& suffix) {
    static const char hex[] = "0123456789ABCDEF";
    std::string file;
    for (unsigned char c : name) {
        bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
                     c == '_' || c == '.' || c == '{' || c == '}' || c == ' ';
        if (plain) {
            file += static_cast<char>(c);
        } else {
            file += '%';
            file += hex[c >> 4];
            file += hex[c & 15];
        }
    }
    return dir + "/" + file + suffix;
}

// ---- NamedMutex ----------------------------------------------------------

NamedMutex::NamedMutex(const std::string& name) {
    std::string path = PathFor(name, kMutexSuffix);
    if (path.empty()) return;
    // Creating the file now is what makes the mutex exist; Lock opens it anew
    // each time it takes the file lock.
    int fd = OpenPrivateFile(path, true);
    if (fd < 0) return;
    close(fd);
    path_ = path;
}

NamedMutex::~NamedMutex() = default;

void NamedMutex::Lock() {
    if (!Valid()) return;
    const auto me = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(MutexRegistryGuard());
    MutexState& state = StateOfThisProcess(path_);
    if (state.count > 0 && state.owner == me) {
        ++state.count;
        return;
    }
    state.released.wait(lock, [&] { return state.count == 0; });
    // Claim it for this thread before waiting for the other processes, so
    // that the other threads of this process wait on the condition.
    state.owner = me;
    state.count = 1;
    lock.unlock();
    const bool wait = !state.givenUp;
    int fd = wait ? OpenPrivateFile(path_, true) : -1;
    // A failed wait counts as taken, and so does one that ran out of time.
    bool timedOut = false;
    if (fd >= 0 && !FlockWithin(fd, LOCK_EX)) {
        timedOut = true;
        close(fd);
        fd = -1;
    }
    lock.lock();
    state.fd = fd;
    if (timedOut && !state.givenUp) {
        state.givenUp = true;
        NoteRunningAlone(path_);
    }
}

void NamedMutex::Unlock() {
    if (!Valid()) return;
    std::unique_lock<std::mutex> lock(MutexRegistryGuard());
    MutexState& state = StateOfThisProcess(path_);
    if (state.count == 0 || state.owner != std::this_thread::get_id()) return;
    if (--state.count > 0) return;
    if (state.fd >= 0) {
        flock(state.fd, LOCK_UN);
        close(state.fd);
        state.fd = -1;
    }
    state.owner = std::thread::id();
    state.released.notify_all();
}

std::unique_ptr<ProcessMutex> OpenNamedMutex(const std::string& name) {
    auto mutex = std::make_unique<NamedMutex>(name);
    if (!mutex->Valid()) {
        qCDebug(lcNamedObjects, "mutex %s cannot be opened: locking it does nothing", name.c_str());
        return nullptr;
    }
    return mutex;
}

// ---- NamedSharedMemory -----------------------------------------------------

std::unique_ptr<NamedSharedMemory> NamedSharedMemory::OpenExisting(const std::string& name) {
    std::string path = PathFor(name, kMemorySuffix);
    if (path.empty()) return nullptr;
    GuardLock guard(PathFor(name, kMemoryGuardSuffix));
    if (!guard.Held()) return nullptr;
    int fd = OpenPrivateFile(path, false);
    if (fd < 0) return nullptr;
    // Every live holder keeps a shared lock; getting an exclusive one means
    // the block's last holder has ended and the name is free again.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) {
        close(fd);
        return nullptr;
    }
    if (!FlockWithin(fd, LOCK_SH)) {
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<NamedSharedMemory>(new NamedSharedMemory(fd, false));
}

std::unique_ptr<NamedSharedMemory> NamedSharedMemory::Create(const std::string& name, size_t size) {
    auto dir = NamedObjectDirectory();
    if (!dir) {
        qCDebug(lcNamedObjects, "no private directory for %s: the block is this process's own", name.c_str());
        return Private(size);
    }
    const std::string path = NamedObjectPath(*dir, name, kMemorySuffix);
    const std::string guardPath = NamedObjectPath(*dir, name, kMemoryGuardSuffix);
    GuardLock guard(guardPath);
    if (!guard.Held()) {
        if (guard.TimedOut()) NoteRunningAlone(guardPath);
        if (IsForeign(guardPath)) qCDebug(lcNamedObjects, "%s is a link or not ours: refused", guardPath.c_str());
        return IsForeign(guardPath) || guard.TimedOut() ? Private(size) : nullptr;
    }
    int fd = OpenPrivateFile(path, true);
    if (fd < 0) {
        const bool foreign = IsForeign(path);
        qCDebug(lcNamedObjects, "%s cannot be opened%s", path.c_str(),
                foreign ? ": a link or not ours, refused; the block is this process's own" : "");
        return foreign ? Private(size) : nullptr;
    }
    bool created = false;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        // Nobody holds the block: whatever the file holds is left from
        // processes that ended. Start again from zeroes.
        if (ftruncate(fd, 0) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
            qCDebug(lcNamedObjects, "%s cannot be sized: %s", path.c_str(), std::strerror(errno));
            close(fd);
            return nullptr;
        }
        created = true;
    } else if (errno != EWOULDBLOCK) {
        close(fd);
        return nullptr;
    }
    // From exclusive to shared is not atomic, but every opener waits for the
    // guard that this process holds, so nobody can step in between. Only a
    // process that is no copy of ours holds the block exclusively for long.
    if (!FlockWithin(fd, LOCK_SH)) {
        close(fd);
        NoteRunningAlone(path);
        return Private(size);
    }
    return std::unique_ptr<NamedSharedMemory>(new NamedSharedMemory(fd, created));
}

std::unique_ptr<NamedSharedMemory> NamedSharedMemory::Private(size_t size) {
    const int fd = memfd_create("zeltrix", MFD_CLOEXEC);
    if (fd < 0) {
        qCDebug(lcNamedObjects, "no memory block of this process's own: %s", std::strerror(errno));
        return nullptr;
    }
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<NamedSharedMemory>(new NamedSharedMemory(fd, true));
}

NamedSharedMemory::~NamedSharedMemory() {
    for (auto& [address, length] : views_) munmap(address, length);
    close(fd_);  // drops this holder's shared lock
}

void* NamedSharedMemory::Map(size_t size) {
    // A view past the end of the file would fault on access, so a block that
    // someone shortened is refused instead.
    struct stat st {};
    if (size == 0 || fstat(fd_, &st) != 0 || st.st_size < 0 || static_cast<size_t>(st.st_size) < size) {
        return nullptr;
    }
    void* address = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (address == MAP_FAILED) return nullptr;
    std::lock_guard<std::mutex> lock(viewsGuard_);
    views_[address] = size;
    return address;
}

void NamedSharedMemory::Unmap(void* address) {
    std::lock_guard<std::mutex> lock(viewsGuard_);
    auto it = views_.find(address);
    if (it == views_.end()) return;
    munmap(it->first, it->second);
    views_.erase(it);
}

}  // namespace zx
