// The hover update: when the preview opens, where it stands, what it shows.
#include <QTest>

#include "hover_support.h"
#include "popup/ts_memo.h"
#include "skin/ts_label.h"

namespace zx::test {
namespace {

TEST_F(HoverTest, PreviewOpensOnTheThirdRestingTick) {
    StartUp();
    Reveal();
    tickAt(CellX(3), 30);
    EXPECT_EQ(form().Timer1->Tag, 2);
    restTicks(2);
    EXPECT_FALSE(popup().isVisible());
    EXPECT_EQ(form().State().HoverIndex, -1);
    tick();
    EXPECT_TRUE(popup().isVisible());
    EXPECT_EQ(form().State().HoverIndex, 3);
    EXPECT_EQ(popup().pos(), QPoint(CellLeft(3), 70));
}

TEST_F(HoverTest, MovementRestartsTheDwell) {
    StartUp();
    Reveal();
    tickAt(CellX(3), 30);
    restTicks(2);
    tickAt(CellX(3) + 1, 30);  // one pixel: the countdown starts again
    restTicks(2);
    EXPECT_FALSE(popup().isVisible());
    tick();
    EXPECT_TRUE(popup().isVisible());
}

TEST_F(HoverTest, OpenPreviewFollowsThePointerAtOnce) {
    bar.fill(4, "http://img.example/four.png");
    OpenPreview(3);
    tickAt(CellX(4), 20);
    EXPECT_EQ(form().State().HoverIndex, 4);
    EXPECT_EQ(popup().pos(), QPoint(CellLeft(4), 70));
    EXPECT_EQ(popup().wb1->HTMLCode().Text(), bar.cell(4).HTMLCode().Text());
    EXPECT_EQ(popup().wb2->HTMLCode().Text(), bar.cell(4).HTMLCode().Text());
    EXPECT_EQ(popup().wb3->HTMLCode().Text(), bar.cell(4).HTMLCode().Text());
    EXPECT_EQ(popup().wb->HTMLCode().Count(), 10);
}

TEST_F(HoverTest, PlacesOutsideTheCellRectanglesChangeNothing) {
    OpenPreview(3);
    const QPoint placed = popup().pos();
    const Point outside[] = {
        {82, 30},            // the logo
        {CellX(2), 4},       // above row 5
        {CellX(2), 56},      // from row 56 down
        {CellX(2), 70},      // the bar's last row
        {CellLeft(11), 30},  // right of the last visible cell (10)
        {1024 - 80, 30},     // ... up to the right zone
    };
    for (const Point& p : outside) {
        tickAt(p.X, p.Y);
        EXPECT_TRUE(popup().isVisible()) << p.X << "," << p.Y;
        EXPECT_EQ(form().State().HoverIndex, 3) << p.X << "," << p.Y;
        EXPECT_EQ(popup().pos(), placed) << p.X << "," << p.Y;
    }
}

TEST_F(HoverTest, GapRightOfACellBelongsToIt) {
    OpenPreview(3);
    tickAt(CellLeft(5) + 71 + 3, 30);  // between cell 5 and cell 6
    EXPECT_EQ(form().State().HoverIndex, 5);
    tickAt(CellLeft(6) - 1, 5);  // the last column and first row of cell 5's rectangle
    EXPECT_EQ(form().State().HoverIndex, 5);
    tickAt(CellLeft(6), 55);
    EXPECT_EQ(form().State().HoverIndex, 6);
}

TEST_F(HoverTest, PopupIsPulledBackAtTheRightScreenEdge) {
    OpenPreview(10);
    EXPECT_EQ(popup().pos(), QPoint(624, 70));
    tickAt(CellX(7), 30);  // 629 + 400 > 1024 too
    EXPECT_EQ(popup().pos(), QPoint(624, 70));
    tickAt(CellX(6), 30);  // 551 + 400 fits
    EXPECT_EQ(popup().pos(), QPoint(551, 70));
}

class HoverRightZoneTest : public HoverTest {
protected:
    // 1067 pixels: cell 11 is the last visible one and reaches into the
    // rightmost 80 pixels, so W - 80 lies inside its rectangle.
    HoverRightZoneTest() : HoverTest(1067) {}
};

TEST_F(HoverRightZoneTest, RightZoneStartsOnePixelRightOfWidthLessEighty) {
    OpenPreview(0);
    ASSERT_EQ(form().State().VisibleCellCount, 12);
    tickAt(1067 - 80, 30);
    EXPECT_EQ(form().State().HoverIndex, 11);
    EXPECT_TRUE(popup().isVisible());
    tickAt(1067 - 79, 30);
    EXPECT_EQ(form().State().HoverIndex, -1);
    EXPECT_FALSE(popup().isVisible());
    EXPECT_TRUE(form().isVisible());
}

TEST_F(HoverTest, IdenticalTextsAreNotReloaded) {
    // Cells 0 and 1 were never filled: their texts are equal (empty).
    OpenPreview(0);
    EXPECT_TRUE(bar.engine(*popup().wb1).loads.empty());
    EXPECT_TRUE(bar.engine(*popup().wb).loads.empty()) << "FillActualView runs only after wb1 changed";
    tickAt(CellX(1), 30);
    EXPECT_EQ(form().State().HoverIndex, 1);
    EXPECT_TRUE(bar.engine(*popup().wb1).loads.empty());

    // Two cells holding the same image.
    bar.fill(5, "http://img.example/same.png");
    bar.fill(6, "http://img.example/same.png");
    tickAt(CellX(5), 30);
    tickAt(CellX(6), 30);
    restTicks(3);
    for (TEmbeddedWB* v : {popup().wb1, popup().wb2, popup().wb3, popup().wb})
        EXPECT_EQ(bar.engine(*v).loads.size(), 1u) << v->objectName().toStdString();
}

TEST_F(HoverTest, ClearedCellEmptiesEveryViewAndTheMemo) {
    bar.fill(2, "http://img.example/two.png");
    OpenPreview(2);
    popup().Timer1Timer();
    EXPECT_EQ(popup().sMemo1->toPlainText(), "http://img.example/two.png");

    QTest::mouseClick(form().ClearLabels[2], Qt::LeftButton);
    EXPECT_EQ(form().State().HoverIndex, 2) << "clearing leaves the hover alone";
    tick();  // resting with the preview open repeats the hover update
    for (TEmbeddedWB* v : {popup().wb1, popup().wb2, popup().wb3, popup().wb})
        EXPECT_EQ(v->HTMLCode().Text(), "<HTML></HTML>\r\n") << v->objectName().toStdString();
    popup().Timer1Timer();
    EXPECT_EQ(popup().sMemo1->toPlainText(), "");
}

TEST_F(HoverTest, NoPreviewUnderTheBarBeforeItWasFirstRevealed) {
    // At start-up the bar is shown off screen; a pointer resting over the
    // strip's place must not open a preview under an invisible bar.
    form().show();
    tickAt(CellX(0), 30);
    restTicks(5);
    EXPECT_FALSE(popup().isVisible());
    EXPECT_EQ(form().State().HoverIndex, -1);
}

}  // namespace
}  // namespace zx::test
