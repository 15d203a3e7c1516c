// Arrow-key stepping: the hook, its refusals, and real key events.
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "hover_support.h"
#include "popup/ts_memo.h"
#include "skin/ts_label.h"

namespace zx::test {
namespace {

TEST_F(HoverTest, HookTakesOnlyTheArrowsAndTheLastOneWins) {
    EXPECT_TRUE(form().ApplicationEvents1ShortCut(Qt::Key_Left));
    EXPECT_EQ(form().State().KeyStep, -1);
    EXPECT_TRUE(form().ApplicationEvents1ShortCut(Qt::Key_Right));
    EXPECT_EQ(form().State().KeyStep, 1);
    EXPECT_FALSE(form().ApplicationEvents1ShortCut(Qt::Key_Up));
    EXPECT_EQ(form().State().KeyStep, 1);
}

TEST_F(HoverTest, RightStepMovesThePreviewAndThenFreezes) {
    OpenPreview(3);
    const Point real = fake().pointer;
    form().ApplicationEvents1ShortCut(Qt::Key_Right);
    tick();
    EXPECT_EQ(form().State().HoverIndex, 4);
    EXPECT_EQ(popup().pos(), QPoint(CellLeft(4), 70));
    EXPECT_EQ(form().State().StepCursorPos, real);
    EXPECT_EQ(form().State().KeyStep, 0);
    // The real pointer did not move: the following ticks end early.
    const int reads = fake().pointerReads;
    restTicks(3);
    EXPECT_EQ(fake().pointerReads, reads + 3);
    EXPECT_EQ(form().State().HoverIndex, 4);
    // Moving the pointer again hands control back to it.
    tickAt(real.X + 1, real.Y);
    EXPECT_EQ(form().State().HoverIndex, 3);
}

TEST_F(HoverTest, LeftStepMovesThePreviewBack) {
    OpenPreview(3);
    form().ApplicationEvents1ShortCut(Qt::Key_Left);
    tick();
    EXPECT_EQ(form().State().HoverIndex, 2);
    form().ApplicationEvents1ShortCut(Qt::Key_Left);
    tick();
    EXPECT_EQ(form().State().HoverIndex, 1);
}

TEST_F(HoverTest, StepsAreRefusedAtBothEndsAndWithoutPreview) {
    StartUp();
    Reveal();
    tickAt(CellX(2), 30);  // dwell armed, no preview
    form().ApplicationEvents1ShortCut(Qt::Key_Left);
    tickAt(CellX(2) + 5, 30);  // a refused step ends the tick: the move is not seen
    EXPECT_EQ(form().State().KeyStep, 0);
    EXPECT_EQ(form().State().LastCursorPos, (Point{CellX(2), 30}));
    EXPECT_EQ(form().State().StepCursorPos, (Point{0, 0}));

    tickAt(CellX(0), 30);
    restTicks(3);
    ASSERT_EQ(form().State().HoverIndex, 0);
    form().ApplicationEvents1ShortCut(Qt::Key_Left);
    tick();
    EXPECT_EQ(form().State().HoverIndex, 0);
    EXPECT_EQ(form().State().StepCursorPos, (Point{0, 0}));

    tickAt(CellX(10), 30);
    ASSERT_EQ(form().State().HoverIndex, 10);
    form().ApplicationEvents1ShortCut(Qt::Key_Right);
    tick();
    EXPECT_EQ(form().State().HoverIndex, 10);
    EXPECT_EQ(form().State().KeyStep, 0);
}

TEST_F(HoverTest, RightStepWithoutPreviewOnlyArmsTheDwell) {
    StartUp();
    Reveal();
    tickAt(CellX(5), 30);
    restTicks(1);
    form().ApplicationEvents1ShortCut(Qt::Key_Right);  // targets cell 0
    tick();
    EXPECT_FALSE(popup().isVisible());
    EXPECT_EQ(form().Timer1->Tag, 2);
    EXPECT_EQ(form().State().LastCursorPos, (Point{83 + 1, 8 + 1}));
}

class ArrowKeyEventTest : public HoverTest {
protected:
    void SetUp() override {
        OpenPreview(3);
        popup().sMemo1->setPlainText("http://img.example/caret.png");
        QTextCursor c = popup().sMemo1->textCursor();
        c.setPosition(5);
        popup().sMemo1->setTextCursor(c);
    }
    int Caret() { return popup().sMemo1->textCursor().position(); }
};

TEST_F(ArrowKeyEventTest, ShiftAndControlArrowsStepLikePlainOnesAndNeverReachTheMemo) {
    QTest::keyClick(popup().sMemo1, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(form().State().KeyStep, 1);
    EXPECT_EQ(Caret(), 5);
    EXPECT_FALSE(popup().sMemo1->textCursor().hasSelection());
    tick();
    EXPECT_EQ(form().State().HoverIndex, 4);

    QTest::keyClick(popup().sMemo1, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(form().State().KeyStep, -1);
    QTest::keyClick(popup().sMemo1, Qt::Key_Left);
    EXPECT_EQ(Caret(), 5);
    tick();
    EXPECT_EQ(form().State().HoverIndex, 3);

    // Other keys still reach the memo.
    QTest::keyClick(popup().sMemo1, Qt::Key_End);
    EXPECT_NE(Caret(), 5);
}

TEST_F(ArrowKeyEventTest, ArrowsAreTakenInEveryWindowOfTheProgram) {
    QWidget* targets[] = {form().Cells[0], form().Image1, popup().wb1, popup().wb, bar.about.get()};
    for (QWidget* w : targets) {
        QTest::keyClick(w, Qt::Key_Left, Qt::AltModifier);
        EXPECT_EQ(form().State().KeyStep, -1) << w->objectName().toStdString();
        QTest::keyClick(w, Qt::Key_Right);
        EXPECT_EQ(form().State().KeyStep, 1) << w->objectName().toStdString();
    }
}

TEST_F(ArrowKeyEventTest, OtherWindowsKeepTheirArrows) {
    QLineEdit other;
    other.setText("abcdef");
    other.setCursorPosition(3);
    QTest::keyClick(&other, Qt::Key_Left);
    EXPECT_EQ(form().State().KeyStep, 0);
    EXPECT_EQ(other.cursorPosition(), 2);
}

}  // namespace
}  // namespace zx::test
