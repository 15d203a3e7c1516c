// Named mutexes and shared memory, across threads and real processes.
#include "platform/linux/named_objects.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "support/forked_child.h"
#include "support/temp_dir.h"

namespace zx {
namespace {

using namespace std::chrono_literals;
using test::Child;
using test::Pipe;

class NamedObjectsTest : public test::PrivateNamesTest {};

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST_F(NamedObjectsTest, ObjectsLiveWhereOnlyTheirUserCanReachThem) {
    const std::string name = Name("mode");
    NamedMutex mutex(name);
    ASSERT_TRUE(mutex.Valid());
    auto memory = NamedSharedMemory::Create(name, 64);
    ASSERT_TRUE(memory);
    auto dir = NamedObjectDirectory();
    ASSERT_TRUE(dir);
    EXPECT_EQ(*dir, std::string(std::getenv("XDG_RUNTIME_DIR")) + "/zeltrix");
    EXPECT_EQ(ModeOf(*dir), 0700u);
    for (const char* suffix : {".mutex", ".shm", ".shm-guard"}) {
        EXPECT_EQ(ModeOf(NamedObjectPath(*dir, name, suffix)), 0600u) << suffix;
    }
}

TEST_F(NamedObjectsTest, NamesAreUsedAsFileNamesWithoutPathTricks) {
    EXPECT_EQ(NamedObjectPath("/d", "B1FD9BB5-0DDE", ".mutex"), "/d/B1FD9BB5-0DDE.mutex");
    EXPECT_EQ(NamedObjectPath("/d", "../x/y%", ".shm"), "/d/..%2Fx%2Fy%25.shm");
}

// Runs in a child, as it changes the environment.
TEST_F(NamedObjectsTest, WithoutAPrivateRuntimeDirectoryObjectsLiveInTheUsersCacheAndOthersFilesNeverStopThem) {
    const std::string base = test::UsePrivateRuntimeDir();
    // A folder everybody may write, like /tmp, where another user came first.
    test::TempDir shared;
    ASSERT_EQ(chmod(shared.Path().c_str(), 01777), 0);
    const std::string taken = shared / "zeltrix", oldPlace = shared / ("zeltrix-" + std::to_string(getuid()));
    ASSERT_EQ(test::AsUnprivileged([&] {
                  const bool made = mkdir(oldPlace.c_str(), 0777) == 0 && mkdir(taken.c_str(), 0777) == 0;
                  return made && chmod(taken.c_str(), 0777) == 0 ? 0 : 1;
              }),
              0);
    Child child([&] {
        // A runtime directory that others may enter is not used, nor is the
        // temporary folder.
        const std::string openRuntime = base + "/open-runtime";
        mkdir(openRuntime.c_str(), 0755);
        chmod(openRuntime.c_str(), 0755);
        setenv("XDG_RUNTIME_DIR", openRuntime.c_str(), 1);
        setenv("TMPDIR", shared.Path().c_str(), 1);
        // The home's cache folder, made when missing, or the one the user names.
        const std::string home = base + "/home", cache = base + "/cache";
        mkdir(home.c_str(), 0755);
        mkdir(cache.c_str(), 0700);
        unsetenv("XDG_CACHE_HOME");
        setenv("HOME", home.c_str(), 1);
        if (NamedObjectDirectory() != home + "/.cache/zeltrix") return 1;
        if (ModeOf(home + "/.cache/zeltrix") != 0700u) return 2;
        setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        const std::string dir = cache + "/zeltrix";
        if (NamedObjectDirectory() != dir) return 3;
        // Refused places: a cache folder others may write (another user's
        // directory in it), our directory opened to others, a link in its
        // place. The mutex does nothing; the block is one of this process.
        const auto refusedStillRuns = [&](const char* what) {
            NamedMutex mutex(what);
            mutex.Lock();  // does nothing, returns
            mutex.Unlock();
            auto memory = NamedSharedMemory::Create(what, 64);
            auto* view = memory ? static_cast<char*>(memory->Map(64)) : nullptr;
            return !mutex.Valid() && !NamedObjectDirectory() && !NamedSharedMemory::OpenExisting(what) && view &&
                   memory->Created() && view[63] == 0;
        };
        setenv("XDG_CACHE_HOME", shared.Path().c_str(), 1);
        if (!refusedStillRuns("shared")) return 4;
        setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        chmod(dir.c_str(), 0755);
        if (!refusedStillRuns("opened")) return 5;
        rmdir(dir.c_str());
        symlink(base.c_str(), dir.c_str());
        if (!refusedStillRuns("linked")) return 6;
        // A link where an object's file should be: the block is of this
        // process, and the file the link names is left alone.
        unlink(dir.c_str());
        const std::string target = base + "/target";
        test::WriteAll(target, "keep");
        symlink(target.c_str(), NamedObjectPath(*NamedObjectDirectory(), "planted", ".shm").c_str());
        auto memory = NamedSharedMemory::Create("planted", 64);
        if (!memory || !memory->Created() || !memory->Map(64)) return 7;
        return test::ReadAll(target) == "keep" ? 0 : 8;
    });
    EXPECT_EQ(child.Wait(), 0);
}

TEST_F(NamedObjectsTest, MutexIsRecursiveForItsThreadAcrossObjectsAndExcludesOtherThreads) {
    const std::string name = Name("recursive");
    NamedMutex a(name), b(name);
    a.Lock();
    b.Lock();  // the same thread: does not block
    a.Lock();
    std::atomic<bool> taken{false};
    std::thread other([&] {
        NamedMutex c(name);
        c.Unlock();  // not its own: does nothing
        c.Lock();
        taken = true;
        c.Unlock();
    });
    std::this_thread::sleep_for(150ms);
    EXPECT_FALSE(taken);
    a.Unlock();
    b.Unlock();
    std::this_thread::sleep_for(150ms);
    EXPECT_FALSE(taken) << "one Lock is still unmatched";
    a.Unlock();
    other.join();
    EXPECT_TRUE(taken);
}

TEST_F(NamedObjectsTest, MutexExcludesOtherProcessesUntilReleased) {
    const std::string name = Name("cross");
    NamedMutex mutex(name);
    mutex.Lock();
    Pipe took;
    Child child([&] {
        NamedMutex m(name);
        m.Lock();
        took.Send();
        m.Unlock();
        return 0;
    });
    EXPECT_FALSE(took.Receive(300ms)) << "the other process got a held mutex";
    mutex.Unlock();
    EXPECT_TRUE(took.Receive());
    EXPECT_EQ(child.Wait(), 0);
}

TEST_F(NamedObjectsTest, MutexOfAProcessKilledWhileHoldingItIsTakenByTheNextWaiter) {
    const std::string name = Name("abandoned");
    Pipe locked;
    Child holder([&] {
        NamedMutex m(name);
        m.Lock();
        locked.Send();
        pause();
        return 0;
    });
    ASSERT_TRUE(locked.Receive());
    Pipe took;
    Child waiter([&] {
        NamedMutex m(name);
        m.Lock();
        took.Send();
        m.Unlock();
        return 0;
    });
    EXPECT_FALSE(took.Receive(200ms));
    holder.KillNow();
    EXPECT_TRUE(took.Receive());
    EXPECT_EQ(waiter.Wait(), 0);
}

// Any process of the user can lock the files and keep them locked.
TEST_F(NamedObjectsTest, LocksHeldForLongAreWaitedForOnlyBrieflyThenTheProcessRunsAlone) {
    const std::string name = Name("held");
    const std::string dir = NamedObjectDirectory().value();
    Pipe locked;
    Child holder([&] {
        for (const char* suffix : {".mutex", ".shm-guard"}) {
            const int fd = open(NamedObjectPath(dir, name, suffix).c_str(), O_RDWR | O_CREAT, 0600);
            if (fd < 0 || flock(fd, LOCK_EX) != 0) return 1;
        }
        locked.Send();
        pause();
        return 0;
    });
    ASSERT_TRUE(locked.Receive());
    Child waiter([&] {
        NamedMutex m(name);
        const auto start = std::chrono::steady_clock::now();
        m.Lock();
        m.Unlock();
        const auto first = std::chrono::steady_clock::now() - start;
        m.Lock();  // given up: no second wait
        m.Unlock();
        const auto both = std::chrono::steady_clock::now() - start;
        auto memory = NamedSharedMemory::Create(name, 64);
        const auto all = std::chrono::steady_clock::now() - start;
        if (first < kLockWaitLimit || both > kLockWaitLimit + 500ms) return 1;
        if (!memory || !memory->Created() || all > 2 * kLockWaitLimit + 1s) return 2;
        return 0;
    });
    EXPECT_EQ(waiter.Wait(), 0);
    holder.KillNow();
}

TEST_F(NamedObjectsTest, NewMemoryIsZeroFilledAndViewsStayInsideIt) {
    const std::string name = Name("zero");
    EXPECT_FALSE(NamedSharedMemory::OpenExisting(name));
    auto memory = NamedSharedMemory::Create(name, 4096);
    ASSERT_TRUE(memory);
    EXPECT_TRUE(memory->Created());
    auto* view = static_cast<unsigned char*>(memory->Map(4096));
    ASSERT_NE(view, nullptr);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(view[i], 0) << i;
    std::memcpy(view, "abc", 3);
    memory->Unmap(view);
    EXPECT_EQ(memory->Map(4097), nullptr);

    // A second opener in this process joins the block, content and all.
    auto again = NamedSharedMemory::Create(name, 4096);
    ASSERT_TRUE(again);
    EXPECT_FALSE(again->Created());
    auto* view2 = static_cast<char*>(again->Map(3));
    ASSERT_NE(view2, nullptr);
    EXPECT_EQ(std::string(view2, 3), "abc");
    again->Unmap(view2);
}

TEST_F(NamedObjectsTest, MemoryLivesWhileAnyProcessHoldsItAndStartsAfreshAfterTheLastWasKilled) {
    const std::string name = Name("holders");
    Pipe ready;
    Child holder([&] {
        auto memory = NamedSharedMemory::Create(name, 64);
        if (!memory) return 1;
        auto* view = static_cast<char*>(memory->Map(64));
        std::memcpy(view, "kept", 4);
        memory->Unmap(view);
        ready.Send();
        pause();
        return 0;
    });
    ASSERT_TRUE(ready.Receive());

    Child reader([&] {
        auto memory = NamedSharedMemory::OpenExisting(name);
        if (!memory) return 1;
        auto* view = static_cast<char*>(memory->Map(64));
        return std::string(view, 4) == "kept" ? 0 : 2;
    });
    EXPECT_EQ(reader.Wait(), 0);

    holder.KillNow();
    // Nobody holds it now: the name is free, and the next block is new.
    EXPECT_FALSE(NamedSharedMemory::OpenExisting(name));
    auto memory = NamedSharedMemory::Create(name, 64);
    ASSERT_TRUE(memory);
    EXPECT_TRUE(memory->Created());
    auto* view = static_cast<char*>(memory->Map(64));
    EXPECT_EQ(std::string(view, 4), std::string(4, '\0'));
    memory->Unmap(view);
}

}  // namespace
}  // namespace zx
