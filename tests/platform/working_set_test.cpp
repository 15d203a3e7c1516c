// Handing back the pages of the loaded libraries' code and constant data:
// they leave the process, and nothing the process made of its own is lost.
#include "platform/linux/working_set.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "working_set_probe.h"

namespace zx {
namespace {

using test::kProbeSize;
constexpr size_t kPage = test::kProbePage;

// How many of the `count` pages from `address` on are mapped in the
// process now (the page map's present bit).
int PresentPages(const void* address, size_t count) {
    const int map = open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC);
    if (map < 0) return -1;
    std::vector<uint64_t> entries(count);
    const auto bytes = static_cast<ssize_t>(count * sizeof(uint64_t));
    const bool read = pread(map, entries.data(), static_cast<size_t>(bytes),
                            static_cast<off_t>(reinterpret_cast<uintptr_t>(address) / kPage * 8)) == bytes;
    close(map);
    int present = 0;
    for (const uint64_t entry : entries) present += static_cast<int>(entry >> 63);
    return read ? present : -1;
}

constexpr unsigned char Expected(size_t i) {
    return test::ProbeByte(i);
}

struct Probe {
    void* handle = dlopen(ZX_WORKING_SET_PROBE, RTLD_NOW | RTLD_LOCAL);
    const volatile unsigned char* pages =
        handle ? static_cast<const volatile unsigned char*>(dlsym(handle, "zx_probe_pages")) : nullptr;
    int (*sum)(int) = handle ? reinterpret_cast<int (*)(int)>(dlsym(handle, "zx_probe_sum")) : nullptr;
    ~Probe() {
        if (handle) dlclose(handle);
    }
    bool Intact(size_t from, size_t to) const {
        for (size_t i = from; i < to; ++i)
            if (pages[i] != Expected(i)) return false;
        return true;
    }
};

TEST(WorkingSet, LibraryPagesLeaveTheProcessAndReadBackUnchanged) {
    Probe probe;
    ASSERT_TRUE(probe.pages && probe.sum) << dlerror();
    const void* data = const_cast<const unsigned char*>(probe.pages);
    const auto code = reinterpret_cast<const void*>(probe.sum);
    const int sum = probe.sum(100);
    ASSERT_TRUE(probe.Intact(0, kProbeSize));
    ASSERT_EQ(PresentPages(data, 4), 4);
    ASSERT_EQ(PresentPages(code, 1), 1);
    // Relocated constants of the test itself live beside its writable data.
    static const char* const kWords[] = {"alpha", "beta"};

    EXPECT_GT(HandBackLibraryPages(), kProbeSize);
    EXPECT_EQ(PresentPages(data, 4), 0);
    EXPECT_EQ(PresentPages(code, 1), 0);
    EXPECT_TRUE(probe.Intact(0, kProbeSize));
    EXPECT_EQ(probe.sum(100), sum);
    EXPECT_STREQ(kWords[1], "beta");
}

TEST(WorkingSet, APageTheProcessWroteIsKept) {
    // As a debugger's breakpoint or a relocation in code would: the page
    // becomes the process's own copy, which the file cannot give back.
    Probe probe;
    ASSERT_TRUE(probe.pages) << dlerror();
    auto* second = const_cast<unsigned char*>(probe.pages) + kPage;
    ASSERT_EQ(mprotect(second, kPage, PROT_READ | PROT_WRITE), 0);
    second[5] = static_cast<unsigned char>(Expected(kPage + 5) + 1);
    ASSERT_EQ(mprotect(second, kPage, PROT_READ), 0);

    HandBackLibraryPages();
    EXPECT_EQ(probe.pages[kPage + 5], static_cast<unsigned char>(Expected(kPage + 5) + 1));
    EXPECT_TRUE(probe.Intact(0, kPage + 5));
    EXPECT_TRUE(probe.Intact(kPage + 6, kProbeSize));
}

TEST(WorkingSet, LibrariesComingAndGoingMeanwhileLoseNothing) {
    // Another thread loads and unloads a library and maps memory of its own
    // while pages are handed back: no address of a library that went away
    // may be handed back once something else lives there.
    std::atomic<bool> stop{false};
    std::atomic<int> rounds{0}, damaged{0};
    std::thread other([&] {
        while (!stop) {
            Probe probe;
            if (!probe.pages || !probe.Intact(0, kProbeSize)) ++damaged;
            void* own = mmap(nullptr, kProbeSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (own == MAP_FAILED) continue;
            auto* bytes = static_cast<volatile unsigned char*>(own);
            for (size_t i = 0; i < kProbeSize; i += 512) bytes[i] = 0x5a;
            std::this_thread::yield();
            for (size_t i = 0; i < kProbeSize; i += 512)
                if (bytes[i] != 0x5a) ++damaged;
            munmap(own, kProbeSize);
            ++rounds;
        }
    });
    for (int i = 0; i < 200 || rounds < 50; ++i) HandBackLibraryPages();
    stop = true;
    other.join();
    EXPECT_EQ(damaged, 0);
}

}  // namespace
}  // namespace zx
