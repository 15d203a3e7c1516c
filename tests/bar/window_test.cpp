#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontInfo>
#include <QFrame>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include "skin/ts_label.h"
#include "support/bar_fixture.h"

namespace zx {
namespace {

using test::BarFixture;

int VisibleLabels(TForm1& f) {
    int n = 0;
    for (auto* l : f.ClearLabels) n += l && !l->isHidden();
    return n;
}

TEST(BarLayout, VisibleCellCountFollowsTheScreenWidth) {
    const std::pair<int, int> widths[] = {{800, 8},   {1024, 11}, {1152, 13}, {1280, 14}, {1366, 15},
                                          {1440, 16}, {1600, 18}, {1680, 19}, {1920, 20}, {2560, 20}};
    BarFixture bar;
    for (auto [width, count] : widths) {
        bar.fake->screenWidth = width;
        bar.form1->FormShow();
        EXPECT_EQ(VisibleCellCount(width), count) << width;
        EXPECT_EQ(bar.form1->State().VisibleCellCount, count) << width;
        EXPECT_EQ(CellAt({CellLeft(count - 1) + 77, 55}, count), count - 1) << width;
        EXPECT_EQ(CellAt({CellLeft(count), 30}, count), -1) << width;
        EXPECT_EQ(VisibleLabels(*bar.form1), count) << width;
        for (int i = 0; i < kCellCount; ++i) {
            EXPECT_EQ(bar.cell(i).Visible(), i < count) << width << " cell " << i;
            EXPECT_EQ(bar.cell(i).x(), 83 + 78 * i);
            EXPECT_EQ(bar.cell(i).width(), 71);
        }
        EXPECT_EQ(bar.form1->Bevel1->geometry(), QRect(0, 70, width, 2));
    }
}

TEST(BarLayout, HitRectanglesSpanThePitchFromRowFiveToRowFiftyFive) {
    const std::pair<Point, int> points[] = {{{82, 30}, -1}, {{83, 5}, 0},    {{83, 4}, -1},
                                            {{160, 55}, 0}, {{160, 56}, -1}, {{161, 30}, 1}};
    for (auto [p, cell] : points) EXPECT_EQ(CellAt(p, kCellCount), cell) << p.X << "," << p.Y;
    EXPECT_FALSE(InRightZone(1024 - 80, 1024));
    EXPECT_TRUE(InRightZone(1024 - 79, 1024));
}

TEST(BarLayout, LastCellSitsHigherWithItsLabel) {
    BarFixture bar(1920);
    bar.form1->show();
    EXPECT_EQ(bar.cell(0).y(), 8);
    EXPECT_EQ(bar.cell(19).y(), 2);
    EXPECT_EQ(bar.form1->ClearLabels[0]->y(), 57);
    EXPECT_EQ(bar.form1->ClearLabels[19]->y(), 51);
    EXPECT_EQ(bar.form1->ClearLabels[19]->x(), 83 + 78 * 19);
    EXPECT_EQ(bar.form1->ClearLabels[19]->text(), "x");
}

TEST(BarLayout, LabelsAreCreatedOnceAcrossPasses) {
    BarFixture bar(1920);
    bar.form1->FormShow();
    const auto first = bar.form1->ClearLabels;
    const auto labelsBefore = bar.form1->findChildren<TsLabel*>().size();
    bar.fake->screenWidth = 1024;
    bar.form1->FormShow();
    EXPECT_EQ(bar.form1->ClearLabels, first);
    EXPECT_EQ(bar.form1->findChildren<TsLabel*>().size(), labelsBefore);
    EXPECT_EQ(VisibleLabels(*bar.form1), 11);
}

TEST(BarWindow, StartsOffScreenWithItsDesignState) {
    BarFixture bar(1024);
    TForm1& f = *bar.form1;
    EXPECT_EQ(f.x(), -1000);
    EXPECT_EQ(f.height(), 70);
    EXPECT_EQ(f.windowTitle(), "Form1");
    EXPECT_TRUE(f.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(f.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(f.State().HoverIndex, -1);
    EXPECT_EQ(f.State().VisibleCellCount, 0);
    EXPECT_EQ(f.sLabel1->pos(), QPoint(1024 - 166, 57));
    // The site link in the design face (Tahoma or Debian's face with its
    // metrics), its caption whole in the gap left of the buttons.
    EXPECT_EQ(QFontInfo(f.sLabel1->font()).family(), "Tahoma");
    EXPECT_EQ(f.sLabel1->font().pixelSize(), 11);
    EXPECT_LE(f.sLabel1->width(), 142 - 70);
    EXPECT_GE(f.sLabel1->width(), f.sLabel1->fontMetrics().horizontalAdvance(f.sLabel1->text()));
    EXPECT_EQ(f.Timer1->interval(), 200);
}

TEST(BarWindow, ButtonsStayFlushRightWhenTheBarWidens) {
    BarFixture bar(1280);
    bar.form1->show();
    bar.form1->setGeometry(0, 0, 1280, 70);
    EXPECT_EQ(bar.form1->Button1->geometry(), QRect(1210, 2, 70, 16));
    EXPECT_EQ(bar.form1->Button4->geometry(), QRect(1210, 50, 70, 16));
    EXPECT_EQ(bar.form1->Button4->text(), "Download");
}

TEST(ClearLabel, ClearsOnlyCellsWithMoreThanTwoLines) {
    BarFixture bar(1920);
    bar.form1->FormShow();
    bar.fill(3, "http://h/a.jpg");
    bar.put(4, "one\r\ntwo");
    bar.put(5, "one\r\ntwo\r\nthree");
    bar.fill(6, "http://h/b.jpg");
    const int loadsOf6 = static_cast<int>(bar.engine(bar.cell(6)).loads.size());
    for (int i : {3, 4, 5, 7}) QTest::mouseClick(bar.form1->ClearLabels[static_cast<size_t>(i)], Qt::LeftButton);
    EXPECT_EQ(bar.cell(3).HTMLCode().Text(), "<HTML></HTML>\r\n");
    EXPECT_EQ(bar.cell(4).HTMLCode().Count(), 2) << "two lines stay";
    EXPECT_EQ(bar.cell(5).HTMLCode().Text(), "<HTML></HTML>\r\n");
    EXPECT_EQ(bar.cell(7).HTMLCode().Count(), 0);
    EXPECT_EQ(bar.cell(6).HTMLCode().Count(), 41) << "no other cell changes";
    EXPECT_EQ(static_cast<int>(bar.engine(bar.cell(6)).loads.size()), loadsOf6);
    EXPECT_EQ(bar.form1->State().HoverIndex, -1) << "the hover is left alone";
    EXPECT_EQ(bar.engine(bar.cell(3)).currentText, "<HTML></HTML>\r\n");
}

TEST(SiteLink, OpensTheProductSiteThroughTheShellOncePerDoubleClick) {
    BarFixture bar;
    bar.form1->show();
    bar.form1->setGeometry(0, 0, 1024, 70);  // as revealed
    const QPoint link = bar.form1->sLabel1->mapTo(bar.form1.get(), QPoint(2, 2));
    QTest::mouseDClick(bar.form1->windowHandle(), Qt::LeftButton, {}, link);
    ASSERT_EQ(bar.fake->opened.size(), 1u);
    EXPECT_EQ(bar.fake->opened[0], "zeltrix.example");
    EXPECT_EQ(WebPageAddress("zeltrix.example"), "http://zeltrix.example");
    EXPECT_EQ(WebPageAddress("http://www.brightfold.example/zeltrix.html"),
              "http://www.brightfold.example/zeltrix.html");
}

TEST(CloseConfirmation, CancelKeepsTheBarAndYesAgrees) {
    BarFixture bar;
    bar.fake->answers = {DialogAnswer::Cancel, DialogAnswer::Yes};
    QCloseEvent refused;
    QCoreApplication::sendEvent(bar.form1.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());
    ASSERT_EQ(bar.fake->shownBoxes.size(), 1u);
    EXPECT_EQ(bar.fake->shownBoxes[0],
              (MessageDialogRequest{"You are about to close Zeltrix. Are you sure you want to do that.", "Confirm",
                                    DialogButtons::YesCancel, DialogIcon::Question, DialogAnswer::Yes,
                                    DialogAnswer::Cancel}));
    EXPECT_TRUE(bar.form1->FormCloseQuery());
}

}  // namespace
}  // namespace zx
