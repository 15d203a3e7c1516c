// Saving the bar list: twenty CR LF lines, the overwrite question, errors.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "base/exception.h"
#include "support/bar_fixture.h"
#include "support/temp_dir.h"

namespace zx {
namespace {

using namespace std::string_literals;
using test::BarFixture;
using test::ReadAll;
using test::TempDir;

std::string Lines20(const std::map<int, std::string>& filled) {
    std::string out;
    for (int i = 0; i < 20; ++i) {
        auto it = filled.find(i);
        out += (it == filled.end() ? std::string() : it->second) + "\r\n";
    }
    return out;
}

TEST(ListSave, WritesTwentyLinesWithTheAddressesOfImageCellsOnly) {
    TempDir dir;
    BarFixture f;
    f.fill(0, "http://h/a.png");
    f.fill(5, "HTTP://h/b c.jpg?x=1");
    f.cell(7).HTMLCode().SetText("<HTML></HTML>");
    f.cell(9).HTMLCode().SetText("<!3423>");  // marker too short for an address
    f.cell(10).HTMLCode().SetText("<p>\r\n<!3423http://h/not-line-0.png>");
    f.fake->saveDialogAnswers = {dir / "list.txt"};
    f.form1->Button2Click();

    ASSERT_EQ(f.fake->saveDialogs.size(), 1u);
    EXPECT_EQ(f.fake->saveDialogs[0].defaultSuffix, "txt");
    EXPECT_EQ(f.fake->saveDialogs[0].nameFilter, "Text Files (*.txt);;All Files (*)");
    EXPECT_TRUE(f.fake->shownBoxes.empty()) << "a new file is not asked about";
    EXPECT_EQ(ReadAll(dir / "list.txt"), Lines20({{0, "http://h/a.png"}, {5, "HTTP://h/b c.jpg?x=1"}}));
}

TEST(ListSave, CancelledDialogWritesNothing) {
    TempDir dir;
    BarFixture f;
    f.fill(0, "http://h/a.png");
    f.form1->Button2Click();  // the fake's dialog answers Cancel
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(ListSave, OverwriteIsAskedAndOnlyYesReplacesTheFile) {
    TempDir dir;
    const std::string file = dir / "list.txt";
    const std::string old = "old\nbytes\0kept"s;
    test::WriteAll(file, old);
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    BarFixture f;
    f.fill(1, "http://h/a.png");

    for (DialogAnswer answer : {DialogAnswer::Cancel, DialogAnswer::No, DialogAnswer::None}) {
        f.fake->saveDialogAnswers = {file};
        f.fake->answers = {answer};
        f.form1->Button2Click();
        EXPECT_EQ(ReadAll(file), old);
    }
    ASSERT_EQ(f.fake->shownBoxes.size(), 3u);
    EXPECT_EQ(f.fake->shownBoxes[0],
              (MessageDialogRequest{"The file you specified exists. Do you want to overwrite it?", "Confirm",
                                    DialogButtons::YesCancel, DialogIcon::Question}));

    f.fake->saveDialogAnswers = {file};
    f.fake->answers = {DialogAnswer::Yes};
    f.form1->Button2Click();
    EXPECT_EQ(ReadAll(file), Lines20({{1, "http://h/a.png"}}));
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "the replaced file keeps its permissions";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "no temporary left over";
}

TEST(ListSave, FileThatCannotBeCreatedIsReportedWithPathAndReason) {
    TempDir dir;
    BarFixture f;
    f.fill(0, "http://h/a.png");
    const std::string missing = dir / "no/such/list.txt";
    f.fake->saveDialogAnswers = {missing};
    try {
        f.form1->Button2Click();
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + missing + "\". No such file or directory");
    }
    // A folder chosen as the file is no file that exists: not asked about, not created.
    std::filesystem::create_directory(dir / "folder.txt");
    f.fake->saveDialogAnswers = {dir / "folder.txt"};
    EXPECT_THROW(f.form1->Button2Click(), EFCreateError);
    EXPECT_TRUE(f.fake->shownBoxes.empty());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.txt"));
}

}  // namespace
}  // namespace zx
