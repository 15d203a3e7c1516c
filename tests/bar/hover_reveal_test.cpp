// Revealing and hiding the bar, the dwell countdown and the cost of idle ticks.
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "hover_support.h"
#include "skin/ts_label.h"

namespace zx::test {
namespace {

TEST_F(HoverTest, FirstTickBelowTheBarHidesTheOffScreenBar) {
    form().show();
    EXPECT_EQ(form().x(), -1000);
    tickAt(500, 69);  // within the bar's height: nothing to hide yet
    EXPECT_TRUE(form().isVisible());
    // But the top row is watched from the first tick on.
    EXPECT_EQ(fake().topEdgeWatches, 1);
    tickAt(500, 71);
    EXPECT_FALSE(form().isVisible());
    EXPECT_FALSE(popup().isVisible());
    // And anew each time the bar hides, not at idle ticks.
    EXPECT_EQ(fake().topEdgeWatches, 2);
    tickAt(500, 300);
    tickAt(300, 0);
    EXPECT_EQ(fake().topEdgeWatches, 2);
    tickAt(300, 71);
    EXPECT_EQ(fake().topEdgeWatches, 3);
}

TEST_F(HoverTest, TopRowRevealsAcrossTheScreenOnlyWithoutCapture) {
    StartUp();
    tickAt(300, 1);
    EXPECT_FALSE(form().isVisible()) << "row 1 is not the reveal line";

    fake().capture = true;  // a button held down over one of our controls
    tickAt(300, 0);
    EXPECT_FALSE(form().isVisible());

    fake().capture = false;
    tick();
    ASSERT_TRUE(form().isVisible());
    EXPECT_EQ(form().geometry(), QRect(0, 0, 1024, 70));
    EXPECT_EQ(form().sLabel1->pos(), QPoint(1024 - 142, 57));
    EXPECT_EQ(form().State().VisibleCellCount, 11) << "the reveal runs the layout pass";
}

// Unframed: shown past the window manager, which would frame it anew.
TEST_F(HoverTest, BarIsUnframedOffScreenAndWhileRevealedDuringAnotherProgramsDrag) {
    const auto unframed = [&] { return form().windowFlags().testFlag(Qt::X11BypassWindowManagerHint); };
    form().show();
    tickAt(300, 30);  // the pointer rests in the top rows at start-up
    EXPECT_TRUE(form().isVisible() && unframed() && form().x() == -1000);
    Reveal();
    EXPECT_TRUE(form().isVisible() && !unframed() && form().x() == 0) << "an ordinary reveal is framed";

    tickAt(300, 71);
    fake().buttonHeld = true;  // a drag out of another program
    Reveal();
    EXPECT_TRUE(form().isVisible() && unframed() && form().x() == 0);
    fake().buttonHeld = false;  // dropped; the bar stays as it is while it shows
    Reveal(301);
    EXPECT_TRUE(form().isVisible() && unframed());
    tickAt(300, 71);
    Reveal();
    EXPECT_TRUE(form().isVisible() && !unframed());

    // Inside a Wayland session every reveal and the preview go unframed.
    fake().nested = true;
    tickAt(300, 71);
    Reveal();
    EXPECT_TRUE(form().isVisible() && unframed());
    tickAt(CellX(1), 30);
    restTicks(3);
    ASSERT_TRUE(popup().isVisible());
    EXPECT_TRUE(popup().windowFlags().testFlag(Qt::X11BypassWindowManagerHint));
}

TEST_F(HoverTest, RevealFollowsAChangedScreenWidth) {
    StartUp();
    Reveal();
    tickAt(500, 200);
    fake().screenWidth = 1280;
    Reveal();
    EXPECT_EQ(form().geometry(), QRect(0, 0, 1280, 70));
    EXPECT_EQ(form().sLabel1->pos(), QPoint(1280 - 142, 57));
    EXPECT_EQ(form().State().VisibleCellCount, 14);
}

TEST_F(HoverTest, PrimaryMonitorAwayFromTheOriginFramesEverything) {
    // The primary right of another monitor, then below another one.
    for (const Point origin : {Point{1920, 0}, Point{0, 300}}) {
        SCOPED_TRACE(testing::Message() << "primary at " << origin.X << "," << origin.Y);
        fake().primaryOrigin = origin;
        const QPoint o(origin.X, origin.Y);
        StartUp();
        ASSERT_FALSE(form().isVisible());
        Reveal();
        ASSERT_TRUE(form().isVisible());
        EXPECT_EQ(form().geometry(), QRect(o, QSize(1024, 70)));

        tickAt(CellX(10), 30);
        restTicks(3);
        EXPECT_EQ(popup().pos(), o + QPoint(624, 70)) << "pulled back at the primary's right edge";
        tickAt(CellX(2) + o.y() / 100, 30);  // not where the last round's step was taken
        form().ApplicationEvents1ShortCut(Qt::Key_Right);
        tick();
        EXPECT_EQ(form().State().HoverIndex, 3);
        EXPECT_EQ(popup().pos(), o + QPoint(CellLeft(3), 70));

        tickAt(popup().x() - o.x() + 10, 100);  // inside the popup
        EXPECT_TRUE(form().isVisible());
        tickAt(1024 - 79, 30);  // the right zone
        EXPECT_FALSE(popup().isVisible());
        tickAt(300, 71);
        EXPECT_FALSE(form().isVisible());
    }
}

TEST_F(HoverTest, PointerAtTheOriginIsFrozenBeforeAnyStep) {
    StartUp();
    tickAt(0, 0);
    EXPECT_FALSE(form().isVisible()) << "(0, 0) equals the initial step position";
    tickAt(1, 0);
    EXPECT_TRUE(form().isVisible());
}

TEST_F(HoverTest, UnreadablePointerCountsAsTheOrigin) {
    StartUp();
    fake().pointerReadable = false;
    at(300, 0);
    tick();
    EXPECT_FALSE(form().isVisible());
}

TEST_F(HoverTest, LockedSessionDoesNothingAndKeepsAPendingStep) {
    StartUp();
    fake().sessionLocked = true;
    form().ApplicationEvents1ShortCut(Qt::Key_Right);
    tickAt(300, 0);
    EXPECT_FALSE(form().isVisible());
    EXPECT_EQ(form().State().KeyStep, 1);
    EXPECT_EQ(fake().pointerReads, 1) << "only the start-up tick read the pointer";
}

TEST_F(HoverTest, RowSeventyIsInsideAndRowSeventyOneOutsideHidesBoth) {
    OpenPreview(2);
    ASSERT_TRUE(popup().isVisible());
    // Row 70 is still the bar: nothing closes.
    tickAt(CellX(2), 70);
    EXPECT_TRUE(form().isVisible());
    EXPECT_TRUE(popup().isVisible());
    // Row 71 inside the popup keeps both.
    tickAt(popup().x() + 10, 71);
    EXPECT_TRUE(form().isVisible());
    EXPECT_TRUE(popup().isVisible());
    // The popup's right edge lies outside it.
    tickAt(popup().x() + popup().width(), 71);
    EXPECT_FALSE(form().isVisible());
    EXPECT_FALSE(popup().isVisible());
    EXPECT_EQ(form().State().HoverIndex, -1);
}

TEST_F(HoverTest, PointerInsideTheHiddenPopupStillHides) {
    OpenPreview(0);
    tickAt(950, 30);  // right zone closes the preview
    ASSERT_FALSE(popup().isVisible());
    tickAt(popup().x() + 10, 100);  // where the popup was
    EXPECT_FALSE(form().isVisible());
}

TEST_F(HoverTest, DwellCountdownRunsBelowZeroWhileHiddenAndResetsOnMove) {
    StartUp();
    tickAt(300, 30);  // within the bar's height, bar hidden
    EXPECT_EQ(form().Timer1->Tag, 2);
    restTicks(5);
    EXPECT_EQ(form().Timer1->Tag, -3);
    EXPECT_FALSE(popup().isVisible());
    tickAt(301, 30);
    EXPECT_EQ(form().Timer1->Tag, 2);
}

TEST_F(HoverTest, IdleTicksChangeNoWindow) {
    StartUp();
    GeometryCounter barMoves(&bar.form1.operator*());
    GeometryCounter popupMoves(&popup());
    restTicks(10);  // pointer still, below the hidden bar
    EXPECT_EQ(barMoves.changes, 0);

    Reveal();
    const int afterReveal = barMoves.changes;
    restTicks(5);  // resting on the top row re-applies equal bounds only
    EXPECT_EQ(barMoves.changes, afterReveal);

    tickAt(CellX(1), 30);
    restTicks(3);
    ASSERT_TRUE(popup().isVisible());
    const int popupAfterOpen = popupMoves.changes;
    const size_t loads = bar.engine(*popup().wb1).loads.size();
    restTicks(10);  // the hover update repeats with nothing to change
    EXPECT_EQ(popupMoves.changes, popupAfterOpen);
    EXPECT_EQ(bar.engine(*popup().wb1).loads.size(), loads);
    EXPECT_EQ(form().State().HoverIndex, 1);
}

TEST_F(HoverTest, ModalAboutWindowKeepsTheFocusWhileTheBarIsRevealed) {
    StartUp();
    bool barShown = false;
    QWidget* activeDuring = nullptr;
    QTimer::singleShot(0, [&] {
        QWidget* active = QApplication::activeWindow();
        Reveal();  // must not fail although the bar cannot take the focus
        barShown = form().isVisible();
        activeDuring = QApplication::activeWindow();
        EXPECT_EQ(activeDuring, active);
        bar.about->SpeedButton1Click();
    });
    bar.about->ShowModal();
    EXPECT_TRUE(barShown);
}

TEST_F(HoverTest, LogoClickShowsTheAboutWindowModally) {
    bool modal = false;
    QTimer::singleShot(0, [&] {
        modal = QApplication::activeModalWidget() == bar.about.get();
        QTest::mouseClick(bar.about->SpeedButton1, Qt::LeftButton);
    });
    QTest::mouseClick(form().Image1, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_TRUE(modal);
    EXPECT_FALSE(bar.about->isVisible());
}

}  // namespace
}  // namespace zx::test
