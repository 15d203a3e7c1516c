// The list file on disk: what reading looks at, what a failed write keeps,
// and whose files Save may replace.
#include "bar/list_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>

#include "base/exception.h"
#include "support/forked_child.h"
#include "support/temp_dir.h"

namespace zx {
namespace {

using test::ReadAll;
using test::TempDir;

std::string OpenErrorOf(const std::string& path) {
    try {
        ReadListFile(path);
    } catch (const EFOpenError& e) {
        return e.what();
    }
    return "no error";
}

TEST(ListFileRead, StopsAtTheTwentiethLineBreak) {
    TempDir dir;
    const std::string file = dir / "big.txt";
    std::string head;
    for (int i = 0; i < 20; ++i) head += "line" + std::to_string(i) + "\n";
    test::WriteAll(file, head + "never read\n");
    // Far more than the read limit follows the twentieth line; none of it is read.
    std::filesystem::resize_file(file, 1ull << 30);
    const std::vector<std::string> lines = ReadListFile(file);
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[19], "line19");
}

TEST(ListFileRead, CrLfAcrossReadChunksIsOneBreak) {
    TempDir dir;
    const std::string file = dir / "split.txt";
    std::string text = std::string(64 * 1024 - 1, 'a') + "\r\n";  // the LF starts the second chunk
    for (int i = 1; i < 20; ++i) text += "b" + std::to_string(i) + "\r\n";
    test::WriteAll(file, text + "extra\r\n");
    const std::vector<std::string> lines = ReadListFile(file);
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[1], "b1");
    EXPECT_EQ(lines[19], "b19");
}

TEST(ListFileRead, BinaryAndEndlessInputIsBounded) {
    TempDir dir;
    const std::string binary = dir / "binary.bin";
    std::string bytes(1024 * 1024, '\0');
    // Every byte value except CR and LF: one line of a megabyte.
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131) % 250 + 14);
    test::WriteAll(binary, bytes);
    EXPECT_EQ(ReadListFile(binary).size(), 1u);

    const std::string oneLine = dir / "oneline.txt";
    test::WriteAll(oneLine, std::string(kMaxListReadBytes - 1, 'x'));
    EXPECT_EQ(ReadListFile(oneLine).size(), 1u);
    test::WriteAll(oneLine, std::string(kMaxListReadBytes + 1, 'x'));
    EXPECT_EQ(OpenErrorOf(oneLine), "Cannot open file \"" + oneLine + "\". File too large");
    // A device that never ends and has no line breaks.
    EXPECT_EQ(OpenErrorOf("/dev/zero"), "Cannot open file \"/dev/zero\". File too large");
}

TEST(ListFileWrite, FailedWriteKeepsTheOldFileAndIsReported) {
    TempDir dir;
    const std::string file = dir / "list.txt";
    const std::string old = "the old list\r\n";
    test::WriteAll(file, old);
    const std::vector<std::string> lines(20, std::string(100, 'u'));

    // The file size limit makes the write fail midway.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        WriteListFile(file, lines);
    } catch (const EWriteError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(message, "Cannot write file \"" + file + "\". File too large");
    EXPECT_EQ(ReadAll(file), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "temporary removed";

    // A device that is always full.
    EXPECT_THROW(WriteListFile("/dev/full", lines), EWriteError);
}

TEST(ListFileWrite, ThroughASymbolicOrHardLinkTheLinkStays) {
    TempDir dir;
    const std::string target = dir / "real.txt";
    const std::string link = dir / "link.txt";
    test::WriteAll(target, "old\r\n");
    std::filesystem::create_symlink(target, link);
    WriteListFile(link, {"a", "", "b"});
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadAll(target), "a\r\n\r\nb\r\n");
    EXPECT_EQ(ReadListFile(link), (std::vector<std::string>{"a", "", "b"}));
    // A file with a second name is written in place: both names see the list.
    const std::string hard = dir / "hard.txt";
    std::filesystem::create_hard_link(target, hard);
    WriteListFile(target, {"c"});
    EXPECT_EQ(ReadAll(hard), "c\r\n");
    EXPECT_EQ(std::filesystem::hard_link_count(target), 2u);
}

TEST(ListFileWrite, ReadOnlyFilesAreRefusedOthersFilesKeepTheirOwnerAndLongNamesWork) {
    TempDir dir;
    // A sticky folder that everybody may write, like /tmp.
    ASSERT_EQ(::chmod(dir.Path().c_str(), 01777), 0);
    const std::string readOnly = dir / "ro.txt";
    const std::string shared = dir / "shared.txt";
    const std::string longName = dir / (std::string(250, 'l') + ".txt");
    test::WriteAll(readOnly, "old\r\n");
    test::WriteAll(shared, "old\r\n");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0666), 0);
    struct stat before {};
    ASSERT_EQ(::stat(shared.c_str(), &before), 0);

    const int result = test::AsUnprivileged([&] {
        try {
            WriteListFile(readOnly, {"new"});
            return 1;
        } catch (const EFCreateError& e) {
            if (std::string(e.what()) != "Cannot create file \"" + readOnly + "\". Permission denied") return 2;
        }
        WriteListFile(shared, {"new"});
        WriteListFile(longName, {"new"});
        WriteListFile(longName, {"newer"});
        return 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadAll(readOnly), "old\r\n");
    EXPECT_EQ(ReadAll(shared), "new\r\n");
    EXPECT_EQ(ReadAll(longName), "newer\r\n");
    struct stat after {};
    ASSERT_EQ(::stat(shared.c_str(), &after), 0);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3) << "temporary removed";
}

}  // namespace
}  // namespace zx
