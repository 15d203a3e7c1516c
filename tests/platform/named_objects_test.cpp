// Named mutexes and shared memory, across threads and real processes.
#include "platform/linux/named_objects.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "support/forked_child.h"

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
TEST_F(NamedObjectsTest, FallsBackToAPrivateTempDirectoryAndRefusesOneOpenToOthers) {
    const std::string base = test::UsePrivateRuntimeDir();
    Child child([&] {
        // A runtime directory that others may enter is not used.
        const std::string openRuntime = base + "/open-runtime";
        mkdir(openRuntime.c_str(), 0755);
        chmod(openRuntime.c_str(), 0755);
        setenv("XDG_RUNTIME_DIR", openRuntime.c_str(), 1);
        const std::string tmp = base + "/tmp";
        mkdir(tmp.c_str(), 0777);
        setenv("TMPDIR", tmp.c_str(), 1);
        const std::string expected = tmp + "/zeltrix-" + std::to_string(geteuid());
        auto dir = NamedObjectDirectory();
        if (!dir || *dir != expected) return 1;
        if (ModeOf(expected) != 0700u) return 2;
        // Someone opened it to others: every object on it fails.
        chmod(expected.c_str(), 0755);
        if (NamedObjectDirectory()) return 3;
        NamedMutex mutex("refused");
        if (mutex.Valid()) return 4;
        mutex.Lock();  // does nothing, returns
        mutex.Unlock();
        if (NamedSharedMemory::Create("refused", 64) || NamedSharedMemory::OpenExisting("refused")) return 5;
        // A symbolic link in its place is refused too.
        rmdir(expected.c_str());
        symlink(base.c_str(), expected.c_str());
        if (NamedObjectDirectory()) return 6;
        return 0;
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

TEST_F(NamedObjectsTest, NewMemoryIsZeroFilledAndViewsStayInsideIt) {
    const std::string name = Name("zero");
    EXPECT_FALSE(NamedSharedMemory::OpenExisting(name));
    auto memory = NamedSharedMemory::Create(name, 4096);
    ASSERT_TRUE(memory);
    EXPECT_TRUE(memory->Created());
    auto* view = static_cast<unsigned char*>(memory->MapView(4096));
    ASSERT_NE(view, nullptr);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(view[i], 0) << i;
    std::memcpy(view, "abc", 3);
    memory->UnmapView(view);
    EXPECT_EQ(memory->MapView(4097), nullptr);

    // A second opener in this process joins the block, content and all.
    auto again = NamedSharedMemory::Create(name, 4096);
    ASSERT_TRUE(again);
    EXPECT_FALSE(again->Created());
    auto* view2 = static_cast<char*>(again->MapView(3));
    ASSERT_NE(view2, nullptr);
    EXPECT_EQ(std::string(view2, 3), "abc");
    again->UnmapView(view2);
}

TEST_F(NamedObjectsTest, MemoryLivesWhileAnyProcessHoldsItAndStartsAfreshAfterTheLastWasKilled) {
    const std::string name = Name("holders");
    Pipe ready;
    Child holder([&] {
        auto memory = NamedSharedMemory::Create(name, 64);
        if (!memory) return 1;
        auto* view = static_cast<char*>(memory->MapView(64));
        std::memcpy(view, "kept", 4);
        memory->UnmapView(view);
        ready.Send();
        pause();
        return 0;
    });
    ASSERT_TRUE(ready.Receive());

    Child reader([&] {
        auto memory = NamedSharedMemory::OpenExisting(name);
        if (!memory) return 1;
        auto* view = static_cast<char*>(memory->MapView(64));
        return std::string(view, 4) == "kept" ? 0 : 2;
    });
    EXPECT_EQ(reader.Wait(), 0);

    holder.KillNow();
    // Nobody holds it now: the name is free, and the next block is new.
    EXPECT_FALSE(NamedSharedMemory::OpenExisting(name));
    auto memory = NamedSharedMemory::Create(name, 64);
    ASSERT_TRUE(memory);
    EXPECT_TRUE(memory->Created());
    auto* view = static_cast<char*>(memory->MapView(64));
    EXPECT_EQ(std::string(view, 4), std::string(4, '\0'));
    memory->UnmapView(view);
}

}  // namespace
}  // namespace zx
