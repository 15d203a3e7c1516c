// The process-shared text: its record, its lock, and its life across processes.
#include "shared/process_shared_string.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "base/exception.h"
#include "support/forked_child.h"
#include "support/named_objects_platform.h"

namespace zx {
namespace {

using namespace std::chrono_literals;
using test::Child;
using test::Pipe;

class ProcessSharedStringTest : public test::PrivateNamesTest {
protected:
    ScopedPlatform<NamedObjectsPlatform> platform_;
};

// The raw record of a block that this process already holds.
class RawRecord {
public:
    explicit RawRecord(const std::string& name) : memory_(NamedSharedMemory::OpenExisting(name)) {
        if (memory_) view_ = static_cast<unsigned char*>(memory_->Map(TProcessSharedAnsiString::kRecordSize));
    }
    ~RawRecord() {
        if (view_) memory_->Unmap(view_);
    }
    bool Ok() const { return view_ != nullptr; }
    int32_t Length() const {
        int32_t v;
        std::memcpy(&v, view_, 4);
        return v;
    }
    void SetLength(int32_t v) { std::memcpy(view_, &v, 4); }
    std::string Bytes(size_t from, size_t count) const {
        return std::string(reinterpret_cast<const char*>(view_) + from, count);
    }

private:
    std::unique_ptr<NamedSharedMemory> memory_;
    unsigned char* view_ = nullptr;
};

TEST_F(ProcessSharedStringTest, NewNameReadsEmptyFromAZeroFilledRecord) {
    const std::string name = Name("new");
    TProcessSharedAnsiString text(name);
    EXPECT_EQ(text.Read(), "");
    RawRecord raw(name);
    ASSERT_TRUE(raw.Ok());
    EXPECT_EQ(raw.Bytes(0, 16384), std::string(16384, '\0'));
}

TEST_F(ProcessSharedStringTest, TextsUpTo16380BytesAreStoredWholeAndLongerOnesCut) {
    const std::string name = Name("long");
    TProcessSharedAnsiString text(name);
    std::string full(16380, 'a');
    full[16379] = 'z';
    text.Write(full);
    EXPECT_EQ(text.Read(), full);

    std::string longer(16381, 'b');
    text.Write(longer);
    EXPECT_EQ(text.Read(), longer.substr(0, 16380));
    RawRecord raw(name);
    ASSERT_TRUE(raw.Ok());
    EXPECT_EQ(raw.Length(), 16380);

    // Every byte value travels unchanged.
    std::string binary;
    for (int c = 0; c < 256; ++c) binary += static_cast<char>(c);
    text.Write(binary);
    EXPECT_EQ(text.Read(), binary);
}

TEST_F(ProcessSharedStringTest, ShorterTextLeavesTheBytesBehindItButReadsOnlyItself) {
    const std::string name = Name("shorter");
    TProcessSharedAnsiString text(name);
    text.Write("12345");
    text.Write("0");
    EXPECT_EQ(text.Read(), "0");
    RawRecord raw(name);
    ASSERT_TRUE(raw.Ok());
    EXPECT_EQ(raw.Length(), 1);
    EXPECT_EQ(raw.Bytes(4, 5), "02345");
    text.Write("");
    EXPECT_EQ(text.Read(), "");
    EXPECT_EQ(raw.Length(), 0);
}

TEST_F(ProcessSharedStringTest, ForeignLengthsOutsideTheRecordReadAsEmpty) {
    const std::string name = Name("foreign");
    TProcessSharedAnsiString text(name);
    text.Write("abc");
    RawRecord raw(name);
    ASSERT_TRUE(raw.Ok());
    for (int32_t length : {-1, INT32_MIN, 16381, INT32_MAX}) {
        raw.SetLength(length);
        EXPECT_EQ(text.Read(), "") << length;
    }
}

TEST_F(ProcessSharedStringTest, AnotherObjectInThisProcessSeesTheTextAndDoesNotClearIt) {
    const std::string name = Name("same-process");
    TProcessSharedAnsiString first(name);
    first.Write("hello");
    TProcessSharedAnsiString second(name);
    EXPECT_EQ(second.Read(), "hello");
}

TEST_F(ProcessSharedStringTest, TextOutlivesItsObjectWhileTheProcessRuns) {
    const std::string name = Name("outlives");
    { TProcessSharedAnsiString(name).Write("kept"); }
    EXPECT_EQ(TProcessSharedAnsiString(name).Read(), "kept");
}

TEST_F(ProcessSharedStringTest, AnotherProcessReadsWhatTheFirstWroteWithoutClearingIt) {
    const std::string name = Name("cross");
    Pipe written, done;
    Child writer([&] {
        TProcessSharedAnsiString text(name);
        text.Write("4711");
        written.Send();
        done.Receive(60s);
        return text.Read() == "4711" ? 0 : 1;
    });
    ASSERT_TRUE(written.Receive());
    Child reader([&] { return TProcessSharedAnsiString(name).Read() == "4711" ? 0 : 1; });
    EXPECT_EQ(reader.Wait(), 0);
    done.Send();
    EXPECT_EQ(writer.Wait(), 0);
}

TEST_F(ProcessSharedStringTest, LockReadWriteUnlockOnOneThreadDoesNotBlockItself) {
    const std::string name = Name("recursive");
    Child child([&] {
        TProcessSharedAnsiString text(name);
        text.Lock();
        text.Lock();
        if (!text.Read().empty()) return 1;
        text.Write("0");
        text.Unlock();
        text.Unlock();
        return text.Read() == "0" ? 0 : 2;
    });
    EXPECT_EQ(child.Wait(10s), 0);
}

TEST_F(ProcessSharedStringTest, ReadThenWriteUnderTheLockIsOneStepAcrossProcesses) {
    const std::string name = Name("counter");
    TProcessSharedAnsiString text(name);
    text.Write("0");
    constexpr int kProcesses = 4, kSteps = 100;
    std::vector<std::unique_ptr<Child>> children;
    for (int i = 0; i < kProcesses; ++i) {
        children.push_back(std::make_unique<Child>([&] {
            TProcessSharedAnsiString t(name);
            for (int step = 0; step < kSteps; ++step) {
                t.Lock();
                t.Write(std::to_string(std::stoi(t.Read()) + 1));
                t.Unlock();
            }
            return 0;
        }));
    }
    for (auto& c : children) EXPECT_EQ(c->Wait(60s), 0);
    EXPECT_EQ(text.Read(), std::to_string(kProcesses * kSteps));
}

TEST_F(ProcessSharedStringTest, LockExcludesObjectsOnOtherNamesToo) {
    TProcessSharedAnsiString text(Name("lock-a"));
    const std::string other = Name("lock-b");
    text.Lock();
    Pipe wrote;
    Child child([&] {
        TProcessSharedAnsiString t(other);
        t.Write("x");
        wrote.Send();
        return 0;
    });
    EXPECT_FALSE(wrote.Receive(300ms)) << "the mutex is one for every name";
    text.Unlock();
    EXPECT_TRUE(wrote.Receive());
    EXPECT_EQ(child.Wait(), 0);
}

TEST_F(ProcessSharedStringTest, ProcessKilledWhileHoldingTheLockDoesNotBlockTheNext) {
    const std::string name = Name("killed-lock");
    // This process holds the record too, so that it outlives the killed one.
    TProcessSharedAnsiString mine(name);
    Pipe locked;
    Child holder([&] {
        TProcessSharedAnsiString text(name);
        text.Lock();
        text.Write("held");
        locked.Send();
        pause();
        return 0;
    });
    ASSERT_TRUE(locked.Receive());
    Pipe read, keep;
    Child second([&] {
        TProcessSharedAnsiString text(name);
        read.Send(text.Read() == "held" ? 'y' : 'n');
        keep.Receive(60s);
        return 0;
    });
    EXPECT_FALSE(read.Receive(200ms)) << "read while another process held the lock";
    holder.KillNow();
    EXPECT_EQ(read.Receive(), 'y');
    keep.Send();
    EXPECT_EQ(second.Wait(), 0);
}

TEST_F(ProcessSharedStringTest, RecordWhoseHoldersWereAllKilledStartsEmptyAgain) {
    const std::string name = Name("killed-holders");
    Pipe written, seen;
    Child first([&] {
        TProcessSharedAnsiString text(name);
        text.Write("12345");
        written.Send();
        pause();
        return 0;
    });
    ASSERT_TRUE(written.Receive());
    Child second([&] {
        TProcessSharedAnsiString text(name);
        seen.Send(text.Read() == "12345" ? 'y' : 'n');
        pause();
        return 0;
    });
    EXPECT_EQ(seen.Receive(), 'y');
    first.KillNow();
    second.KillNow();
    EXPECT_EQ(TProcessSharedAnsiString(name).Read(), "");
}

TEST_F(ProcessSharedStringTest, ViewThatCannotBeMappedRaisesItsMessageAndReleasesTheLock) {
    const std::string name = Name("unmappable");
    TProcessSharedAnsiString text(name);
    // Someone cut the block short: a full view would reach past its end.
    auto dir = NamedObjectDirectory();
    ASSERT_TRUE(dir);
    std::filesystem::resize_file(NamedObjectPath(*dir, name, ".shm"), 100);
    try {
        text.Read();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), ("Could not map view of file: " + name).c_str());
    }
    EXPECT_THROW(text.Write("x"), Exception);
    // A block that can be neither opened nor created fails in the constructor.
    const std::string blocked = Name("blocked");
    ASSERT_TRUE(std::filesystem::create_directory(NamedObjectPath(*dir, blocked, ".shm")));
    try {
        TProcessSharedAnsiString never(blocked);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), ("Could not map view of file: " + blocked).c_str());
    }
    std::filesystem::remove(NamedObjectPath(*dir, blocked, ".shm"));
    Child locker([&] {
        NamedMutex m(TProcessSharedAnsiString::kMutexName);
        m.Lock();
        m.Unlock();
        return 0;
    });
    EXPECT_EQ(locker.Wait(10s), 0) << "the lock was left held";
}

TEST_F(ProcessSharedStringTest, ObjectOnARefusedDirectoryWorksForThisProcessAlone) {
    const std::string base = test::UsePrivateRuntimeDir();
    Child child([&] {
        const std::string cache = base + "/refused-cache";
        mkdir(cache.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", "", 1);
        setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        const std::string dir = cache + "/zeltrix";
        mkdir(dir.c_str(), 0777);
        chmod(dir.c_str(), 0777);
        TProcessSharedAnsiString text("refused");
        if (text.Read() != "") return 1;
        text.Write("12345");
        return text.Read() == "12345" ? 0 : 2;
    });
    EXPECT_EQ(child.Wait(), 0);
}

}  // namespace
}  // namespace zx
