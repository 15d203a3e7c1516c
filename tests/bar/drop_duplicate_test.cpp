// An image already shown by a cell is moved only when the user says Yes.
#include <gtest/gtest.h>

#include "support/bar_fixture.h"

namespace zx {
namespace {

using test::BarFixture;

constexpr const char* kImage = "http://h/cat.jpg";

void Drop(BarFixture& f, int i, const std::string& url) {
    f.engine(f.cell(i)).SimulateNavigation(url);
}
std::vector<std::string> Page(const std::string& address) {
    return MakeImagePage(CellPageTemplate(), address);
}

TEST(DropDuplicate, QuestionNamesTheOtherCellAndYesMovesTheImage) {
    BarFixture f;
    f.fill(7, kImage);
    f.fake->answers = {DialogAnswer::Yes};
    Drop(f, 3, kImage);
    ASSERT_EQ(f.fake->shownBoxes.size(), 1u);
    EXPECT_EQ(f.fake->shownBoxes[0],
              (MessageDialogRequest{"The same image is in cell 7. Do you want to move it to this cell?", "Confirm",
                                    DialogButtons::YesNo, DialogIcon::Question}));
    EXPECT_EQ(f.cell(7).HTMLCode().Count(), 0);
    EXPECT_EQ(f.engine(f.cell(7)).currentText, "") << "the emptied cell shows an empty page";
    EXPECT_EQ(f.cell(3).HTMLCode().Lines(), Page(kImage));
    EXPECT_FALSE(f.engine(f.cell(9)).SimulateNavigation("about:blank")) << "no longer busy";
}

TEST(DropDuplicate, NoChangesNothing) {
    BarFixture f;
    f.fill(7, kImage);
    f.fill(3, "http://h/dog.png");
    f.fake->answers = {DialogAnswer::No};
    Drop(f, 3, kImage);
    EXPECT_EQ(f.fake->shownBoxes.size(), 1u);
    EXPECT_EQ(f.cell(7).HTMLCode().Lines(), Page(kImage));
    EXPECT_EQ(f.cell(3).HTMLCode().Lines(), Page("http://h/dog.png"));
    EXPECT_FALSE(f.engine(f.cell(9)).SimulateNavigation("about:blank")) << "no longer busy";
}

TEST(DropDuplicate, TheTargetCellItselfIsAskedAbout) {
    BarFixture f;
    f.fill(4, kImage);
    auto& engine = f.engine(f.cell(4));
    const size_t loadsBefore = engine.loads.size();
    f.fake->answers = {DialogAnswer::No};
    Drop(f, 4, kImage);
    ASSERT_EQ(f.fake->shownBoxes.size(), 1u);
    EXPECT_EQ(f.fake->shownBoxes[0].text, "The same image is in cell 4. Do you want to move it to this cell?");
    EXPECT_EQ(f.cell(4).HTMLCode().Lines(), Page(kImage));
    EXPECT_EQ(engine.loads.size(), loadsBefore) << "No loads nothing";

    f.fake->answers = {DialogAnswer::Yes};
    Drop(f, 4, kImage);
    EXPECT_EQ(f.cell(4).HTMLCode().Lines(), Page(kImage));
    ASSERT_GE(engine.loads.size(), loadsBefore + 2);
    EXPECT_EQ(engine.loads[engine.loads.size() - 2], "") << "emptied first, then loaded again";
}

TEST(DropDuplicate, ScanAsksForEveryHolderInOrderAndStopsAtNo) {
    BarFixture f;
    f.fill(2, kImage);
    f.fill(9, kImage);
    f.fill(15, kImage);
    f.fake->answers = {DialogAnswer::Yes, DialogAnswer::No};
    Drop(f, 5, kImage);
    ASSERT_EQ(f.fake->shownBoxes.size(), 2u);
    EXPECT_NE(f.fake->shownBoxes[0].text.find("cell 2."), std::string::npos);
    EXPECT_NE(f.fake->shownBoxes[1].text.find("cell 9."), std::string::npos);
    EXPECT_EQ(f.cell(2).HTMLCode().Count(), 0) << "an earlier Yes stands";
    EXPECT_EQ(f.cell(9).HTMLCode().Lines(), Page(kImage));
    EXPECT_EQ(f.cell(15).HTMLCode().Lines(), Page(kImage));
    EXPECT_EQ(f.cell(5).HTMLCode().Count(), 0);
}

TEST(DropDuplicate, EmptyClearedAndOtherImagesNeverCount) {
    BarFixture f;
    f.cell(1).HTMLCode().SetText("<HTML></HTML>");
    f.fill(2, "http://h/cat.jpg?big");  // same start, other address
    f.fill(3, "HTTP://h/cat.jpg");      // other letter case
    f.fill(8, kImage);
    f.cell(8).HTMLCode().SetText("<HTML></HTML>");
    Drop(f, 0, kImage);
    EXPECT_TRUE(f.fake->shownBoxes.empty());
    EXPECT_EQ(f.cell(0).HTMLCode().Lines(), Page(kImage));
}

}  // namespace
}  // namespace zx
