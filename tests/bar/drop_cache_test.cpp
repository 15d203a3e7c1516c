// A dropped local file lands with the web address it was saved from.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/linux/linux_platform.h"
#include "support/bar_fixture.h"
#include "support/fake_platform.h"
#include "support/machine_limits.h"
#include "support/temp_dir.h"

namespace zx {
namespace {

using test::BarFixture;

constexpr const char* kCached = "/home/u/.cache/browser/Cache/f_00a1b2.jpg";
constexpr const char* kSource = "http://images.example/cats/tabby.jpg?size=l";

bool Drop(BarFixture& f, int i, const std::string& url) {
    return f.engine(f.cell(i)).SimulateNavigation(url);
}

TEST(DropCache, LocalFileNamedExactlyByAnEntryLandsWithItsWebAddress) {
    BarFixture f;
    f.fake->origins = {{"/other/file.jpg", "http://x/other.jpg"}, {kCached, kSource}};
    EXPECT_EQ(f.form1->SourceUrlFromCache(kCached), kSource);
    EXPECT_FALSE(Drop(f, 0, kCached));
    EXPECT_EQ(f.cell(0).HTMLCode().Lines(), MakeImagePage(CellPageTemplate(), kSource));
}

// Gives a real file the origin attribute browsers write.
void SetOrigin(const std::string& path, const std::string& origin) {
    ASSERT_EQ(setxattr(path.c_str(), "user.xdg.origin.url", origin.data(), origin.size(), 0), 0) << errno;
}

// Through the Linux platform's lookup of the attribute on real files.
TEST(DropCache, NearMissesAreIgnored) {
    test::TempDir dir("zx_drop_near_");
    if (auto why = test::MachineLacks(test::MachineLimit::kUserXattrs)) GTEST_SKIP() << *why;
    const std::string saved = dir.WriteFile("Cache/f_00a1b2.jpg", "x");
    ASSERT_NO_FATAL_FAILURE(SetOrigin(saved, kSource));
    BarFixture f;
    ScopedPlatform<LinuxPlatform> linuxPlatform;
    EXPECT_FALSE(Drop(f, 0, saved));
    EXPECT_EQ(f.cell(0).HTMLCode().Lines(), MakeImagePage(CellPageTemplate(), kSource)) << "the file itself";

    const std::vector<std::string> misses = {
        dir.WriteFile("cache/f_00a1b2.jpg", "x"),  // its name in other letter case, a file of its own
        dir.WriteFile("Cache/f_00a1b2.JPG", "x"),  // the extension in other letter case
        "file://" + saved,                         // the file: form
        " " + saved,                               // a leading blank
    };
    for (const std::string& path : misses) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(Drop(f, 1, path));
        EXPECT_EQ(f.cell(1).HTMLCode().Count(), 0);
    }
    // An attribute without a web address gives nothing either, nor one that
    // is no image address: the download would fetch it and name a file after it.
    for (const char* source : {"", "http://h/x.jpg\n<img src=x onerror=alert(1)>", "http://a?@b/x.jpg",
                               "http://host/.profile", "http://h/show.php?img=a.jpg", "ftp://h/x.jpg", "/etc/x.jpg"}) {
        SCOPED_TRACE(source);
        ASSERT_NO_FATAL_FAILURE(SetOrigin(saved, source));
        Drop(f, 1, saved);
        EXPECT_EQ(f.cell(1).HTMLCode().Count(), 0);
    }
}

// A real file with the origin attribute browsers write, found through the
// Linux platform's lookup.
TEST(DropCache, SavedFileWithOriginAttributeThroughLinuxPlatform) {
    test::TempDir dir("zx_drop_xattr");
    const std::string path = dir / "tabby.jpg";
    std::ofstream(path) << "not really a jpeg";
    const std::string origin = kSource;
    if (auto why = test::MachineLacks(test::MachineLimit::kUserXattrs)) GTEST_SKIP() << *why;
    ASSERT_NO_FATAL_FAILURE(SetOrigin(path, origin));
    const std::string plain = dir / "plain.png";
    std::ofstream(plain) << "x";
    // An attribute holding a line break and markup is no address.
    const std::string crafted = dir / "crafted.jpg";
    std::ofstream(crafted) << "x";
    const std::string markup = std::string(kSource) + "\n<img src=x onerror=alert(1)>";
    ASSERT_NO_FATAL_FAILURE(SetOrigin(crafted, markup));
    EXPECT_FALSE(ReadOriginAttribute(crafted));
    const std::string other = dir / "other.jpg", otherOrigin = "http://images.example/other.jpg";
    std::ofstream(other) << "x";
    ASSERT_NO_FATAL_FAILURE(SetOrigin(other, otherOrigin));

    BarFixture f;
    LinuxPlatform linuxPlatform;
    Platform* previous = SetPlatform(&linuxPlatform);
    EXPECT_FALSE(Drop(f, 2, path));
    Drop(f, 3, plain);             // saved without an origin
    Drop(f, 4, "file://" + path);  // the file: form
    Drop(f, 5, path + "/");        // no such file
    // The attribute belongs to the file, so any path to it finds it.
    EXPECT_FALSE(Drop(f, 6, dir.Path() + "//other.jpg"));
    SetPlatform(previous);

    EXPECT_EQ(f.cell(2).HTMLCode().Lines(), MakeImagePage(CellPageTemplate(), kSource));
    EXPECT_EQ(f.cell(3).HTMLCode().Count(), 0);
    EXPECT_EQ(f.cell(4).HTMLCode().Count(), 0);
    EXPECT_EQ(f.cell(5).HTMLCode().Count(), 0);
    EXPECT_EQ(f.cell(6).HTMLCode().Lines(), MakeImagePage(CellPageTemplate(), otherOrigin));
    // A relative name is never looked up against the working directory.
    char* oldCwd = get_current_dir_name();
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    EXPECT_FALSE(ReadOriginAttribute("tabby.jpg"));
    EXPECT_EQ(ReadOriginAttribute(path), kSource);
    EXPECT_EQ(chdir(oldCwd), 0);
    std::free(oldCwd);
}

}  // namespace
}  // namespace zx
