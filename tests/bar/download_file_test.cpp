// Picking a free name and creating the file an image goes into: numbering,
// gaps, names that cannot be files, entries that appear meanwhile, links, and
// writes that the system refuses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "bar/image_file.h"
#include "bar/unique_name.h"
#include "base/exception.h"
#include "support/temp_dir.h"
#include "support/web_server.h"

namespace zx {
namespace {

namespace fs = std::filesystem;

using test::ReadAll;

std::string CreateErrorText(const std::string& folder, const std::string& name) {
    try {
        ImageFile::Create(folder, name);
    } catch (const EFCreateError& e) {
        return e.what();
    }
    return "(created)";
}

TEST(DownloadName, TakenNamesAreNumberedBeforeTheExtensionAndGapsAreFilled) {
    test::TempDir dir;
    const std::string& d = dir.Path();
    EXPECT_EQ(UniqueFileName(d, "pic.jpg"), "pic.jpg");
    dir.WriteFile("pic.jpg", "x");
    EXPECT_EQ(UniqueFileName(d, "pic.jpg"), "pic(1).jpg");
    dir.WriteFile("pic(2).jpg", "x");
    EXPECT_EQ(UniqueFileName(d, "pic.jpg"), "pic(1).jpg");  // the gap is used
    dir.WriteFile("pic(1).jpg", "x");
    EXPECT_EQ(UniqueFileName(d, "pic.jpg"), "pic(3).jpg");

    dir.WriteFile("a.b.jpg", "x");
    EXPECT_EQ(UniqueFileName(d, "a.b.jpg"), "a.b(1).jpg");
    dir.WriteFile("photo", "x");
    EXPECT_EQ(UniqueFileName(d, "photo"), "photo(1)");
    dir.WriteFile(".hidden", "x");
    EXPECT_EQ(UniqueFileName(d, ".hidden"), "(1).hidden");

    // A dot before a ":" or "\" starts no extension.
    EXPECT_EQ(ExtensionKeptByNumbering("x.y:z"), "");
    EXPECT_EQ(ExtensionKeptByNumbering("x.y\\z"), "");
    EXPECT_EQ(ExtensionKeptByNumbering("x:y.z"), ".z");
}

TEST(DownloadName, OnlyEntriesThatAreNoFolderCountAsTaken) {
    test::TempDir dir;
    fs::create_directory(dir.Path() + "/pic.jpg");
    EXPECT_FALSE(FileExists(dir.Path() + "/pic.jpg"));
    EXPECT_EQ(UniqueFileName(dir.Path(), "pic.jpg"), "pic.jpg");
    // The empty name names the folder itself, which is no file.
    EXPECT_EQ(UniqueFileName(dir.Path(), ""), "");

    const std::string outside = dir.WriteFile("outside/real.jpg", "keep");
    fs::create_symlink(outside, dir.Path() + "/link.jpg");
    EXPECT_EQ(UniqueFileName(dir.Path(), "link.jpg"), "link(1).jpg");
}

TEST(DownloadName, NumberingGivesUpWhenEveryNumberIsTaken) {
    int tests = 0;
    auto allTaken = [&](const std::string&) { return ++tests > 0; };
    try {
        UniqueFileName("/f", "pic.jpg", allTaken);
        FAIL() << "no name expected";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"/f/pic(" + std::to_string(kMaxUniqueNumber) + ").jpg\". File exists");
    }
    EXPECT_EQ(tests, kMaxUniqueNumber + 1);
}

TEST(DownloadFile, NewFileTakesTheUsualModeLessTheUmask) {
    test::TempDir dir;
    const mode_t old = ::umask(002);
    ImageFile file = ImageFile::Create(dir.Path(), "pic.jpg");
    ::umask(old);
    EXPECT_EQ(file.Path(), dir.Path() + "/pic.jpg");
    struct stat st {};
    ASSERT_EQ(::stat(file.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0664u);
    file.Write("abc", 3);
    file.Write("", 0);
    file.Close();
    EXPECT_EQ(ReadAll(dir.Path() + "/pic.jpg"), "abc");
}

TEST(DownloadFile, NamesThatAreNoFileInTheFolderAreRefused) {
    test::TempDir dir;
    const std::string& d = dir.Path();
    EXPECT_EQ(CreateErrorText(d, ""), "Cannot create file \"" + d + "/\". Is a directory");
    EXPECT_EQ(CreateErrorText(d, "."), "Cannot create file \"" + d + "/.\". Is a directory");
    EXPECT_EQ(CreateErrorText(d, ".."), "Cannot create file \"" + d + "/..\". Is a directory");
    EXPECT_EQ(CreateErrorText(d, "sub/x.jpg"), "Cannot create file \"" + d + "/sub/x.jpg\". Invalid argument");
    fs::create_directory(d + "/pic.jpg");
    EXPECT_EQ(CreateErrorText(d, "pic.jpg"), "Cannot create file \"" + d + "/pic.jpg\". Is a directory");
    EXPECT_EQ(CreateErrorText(d + "/missing", "pic.jpg"),
              "Cannot create file \"" + d + "/missing/pic.jpg\". No such file or directory");
    EXPECT_FALSE(fs::exists(d + "/sub"));
    EXPECT_FALSE(fs::exists(fs::path(d).parent_path() / "x.jpg"));
}

TEST(DownloadFile, AFileThatAppearedAfterThePickIsNeverWrittenOver) {
    test::TempDir dir;
    dir.WriteFile("pic.jpg", "first");
    {
        // "pic.jpg" was free when picked; now it is taken.
        ImageFile file = ImageFile::Create(dir.Path(), "pic.jpg", "pic.jpg");
        EXPECT_EQ(file.Path(), dir.Path() + "/pic(1).jpg");
        file.Write("new", 3);
        file.Close();
    }
    dir.WriteFile("pic(2).jpg", "second");
    {
        // "pic(2).jpg" was picked for pic.jpg, and pic(3).jpg is the next free name.
        ImageFile file = ImageFile::Create(dir.Path(), "pic(2).jpg", "pic.jpg");
        EXPECT_EQ(file.Path(), dir.Path() + "/pic(3).jpg");
    }
    EXPECT_EQ(ReadAll(dir.Path() + "/pic.jpg"), "first");
    EXPECT_EQ(ReadAll(dir.Path() + "/pic(1).jpg"), "new");
    EXPECT_EQ(ReadAll(dir.Path() + "/pic(2).jpg"), "second");
}

TEST(DownloadFile, ALinkNamedLikeTheFileIsNotFollowed) {
    test::TempDir dir;
    const std::string target = dir.Path() + "/elsewhere.jpg";  // does not exist yet
    fs::create_directory(dir.Path() + "/folder");
    fs::create_symlink(target, dir.Path() + "/folder/pic.jpg");
    // A dangling link takes its name: numbering goes on, also when the link
    // appeared after the pick.
    EXPECT_EQ(UniqueFileName(dir.Path() + "/folder", "pic.jpg"), "pic(1).jpg");
    EXPECT_EQ(ImageFile::Create(dir.Path() + "/folder", "pic.jpg").Path(), dir.Path() + "/folder/pic(1).jpg");
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::is_symlink(dir.Path() + "/folder/pic.jpg"));
}

TEST(DownloadFile, ARefusedWriteReportsStreamWriteErrorAndKeepsThePart) {
    test::TempDir dir;
    // A file size limit makes the system take only the first bytes.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::string error;
    {
        ImageFile file = ImageFile::Create(dir.Path(), "big.jpg");
        const std::string bytes(5000, 'b');
        try {
            file.Write(bytes.data(), bytes.size());
        } catch (const EWriteError& e) {
            error = e.what();
        }
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error, "Stream write error");
    EXPECT_EQ(ReadAll(dir.Path() + "/big.jpg"), std::string(1000, 'b'));
}

}  // namespace
}  // namespace zx
