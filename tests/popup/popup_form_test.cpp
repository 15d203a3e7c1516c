// The popup window: its design, the actual-size view, the address memo, the
// context menu and Copy.
#include "popup/popup_form.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTimer>
#include <memory>

#include "htmlview/embedded_wb.h"
#include "popup/ts_memo.h"
#include "skin/ts_label.h"
#include "support/fake_platform.h"
#include "support/headless_engine.h"

namespace zx {
namespace {

class PopupTest : public ::testing::Test {
protected:
    PopupTest() {
        for (size_t i = 0; i < cells.size(); ++i) cells[i] = new TEmbeddedWB(&cellOwner);
        popup.SetCells(&cells);
    }

    // What the bar's hover update does for cell i.
    void Hover(int i) {
        popup.wb1->HTMLCode().SetLines(cells.at(static_cast<size_t>(i))->HTMLCode().Lines());
        popup.FillActualView(i);
    }
    std::string Memo() { return popup.sMemo1->toPlainText().toStdString(); }
    HeadlessEngine& engine(TEmbeddedWB* v) { return static_cast<HeadlessEngine&>(v->Engine()); }

    ScopedFakePlatform fake;
    ScopedHeadlessEngine headless;
    QWidget cellOwner;
    std::array<TEmbeddedWB*, 20> cells{};
    TfrmPopupForm popup;
};

TEST_F(PopupTest, WindowAndControlsAreLaidOutAsDesigned) {
    EXPECT_EQ(popup.size(), QSize(400, 303));
    EXPECT_EQ(popup.windowTitle(), "Popup Form");
    EXPECT_TRUE(popup.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(popup.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(popup.wb1->geometry(), QRect(71, 8, 80, 80));
    EXPECT_EQ(popup.wb2->geometry(), QRect(8, 96, 143, 144));
    EXPECT_EQ(popup.wb3->geometry(), QRect(160, 8, 229, 232));
    EXPECT_EQ(popup.wb->geometry(), QRect(8, 34, 54, 25));
    EXPECT_EQ(popup.sMemo1->geometry(), QRect(8, 248, 381, 47));
    EXPECT_EQ(popup.sLabel1->text(), "Actual");
    for (TEmbeddedWB* v : {popup.wb1, popup.wb2, popup.wb3}) {
        EXPECT_FALSE(v->Options().silent);
        EXPECT_TRUE(v->Options().fitImage) << "the previews scale the image";
    }
    EXPECT_TRUE(popup.wb->Options().silent);
    EXPECT_FALSE(popup.wb->Options().fitImage) << "the actual-size view shows natural size";
    EXPECT_TRUE(popup.sMemo1->isReadOnly());
    EXPECT_EQ(popup.Timer1->interval(), 100);
    EXPECT_TRUE(popup.Timer1->isActive());
    ASSERT_EQ(popup.PopupMenu1->actions().size(), 1);
    EXPECT_EQ(popup.Copy1->text(), "Copy");
}

TEST_F(PopupTest, ImageCellGivesTheActualSizePageAndTheMemoItsAddress) {
    cells[4]->HTMLCode().SetLines({"<!3423http://img.example/a&b.png>", "<html>", "</html>"});
    EXPECT_EQ(Memo(), "sMemo1") << "the design text until the first tick";
    Hover(4);
    ASSERT_EQ(popup.wb->HTMLCode().Count(), 10);
    EXPECT_EQ(popup.wb->HTMLCode()[6], "<img margin=\"0\" border=\"0\" src=\"http://img.example/a&amp;b.png\">");
    popup.Timer1Timer();
    EXPECT_EQ(Memo(), "http://img.example/a&b.png") << "the memo shows the address as it stands";
}

TEST_F(PopupTest, ShortCellsPassUnchangedToTheActualSizeView) {
    cells[0]->HTMLCode().SetLines({"<HTML></HTML>"});
    Hover(0);
    EXPECT_EQ(popup.wb->HTMLCode().Text(), "<HTML></HTML>\r\n");
    popup.Timer1Timer();
    EXPECT_EQ(Memo(), "") << "fewer than 2 lines: no address";

    cells[1]->HTMLCode().SetLines({"<!3423http://a/two>", "<p>"});
    Hover(1);
    EXPECT_EQ(popup.wb->HTMLCode().Lines(), cells[1]->HTMLCode().Lines());
    popup.Timer1Timer();
    EXPECT_EQ(Memo(), "http://a/two");

    cells[2]->HTMLCode().SetLines({"<!3423>", "<html>", "</html>"});
    Hover(2);
    EXPECT_EQ(popup.wb->HTMLCode()[6], "<img margin=\"0\" border=\"0\" src=\"\">") << "short marker: empty address";
    popup.Timer1Timer();
    EXPECT_EQ(Memo(), "");
}

TEST_F(PopupTest, MemoIsReplacedOnlyWhenTheAddressChangesSoASelectionSurvives) {
    cells[3]->HTMLCode().SetLines({"<!3423http://img.example/sel.png>", "<html>", "</html>"});
    Hover(3);
    popup.Timer1Timer();
    QTextCursor c = popup.sMemo1->textCursor();
    c.setPosition(7);
    c.setPosition(10, QTextCursor::KeepAnchor);
    popup.sMemo1->setTextCursor(c);
    for (int i = 0; i < 5; ++i) popup.Timer1Timer();
    EXPECT_EQ(popup.sMemo1->textCursor().selectedText(), "img");

    cells[5]->HTMLCode().SetLines({"<!3423http://img.example/other.png>", "<html>", "</html>"});
    Hover(5);
    popup.Timer1Timer();
    EXPECT_EQ(Memo(), "http://img.example/other.png");
    EXPECT_FALSE(popup.sMemo1->textCursor().hasSelection());
}

TEST_F(PopupTest, TimerRunsOnItsOwnWhileHidden) {
    cells[3]->HTMLCode().SetLines({"<!3423http://img.example/t.png>", "<html>", "</html>"});
    Hover(3);
    ASSERT_FALSE(popup.isVisible());
    QElapsedTimer t;
    t.start();
    while (Memo() != "http://img.example/t.png" && t.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(Memo(), "http://img.example/t.png");
}

TEST_F(PopupTest, CopyPutsTheWholeAddressOnTheClipboard) {
    cells[3]->HTMLCode().SetLines({"<!3423http://img.example/copy.png>", "<html>", "</html>"});
    Hover(3);
    popup.Timer1Timer();
    popup.Copy1->trigger();
    EXPECT_EQ(fake->clipboard, "http://img.example/copy.png");
    EXPECT_EQ(fake->clipboardWrites, 1);
    EXPECT_EQ(popup.sMemo1->textCursor().selectedText(), "http://img.example/copy.png");
}

// Whatever a cell holds: a tick, the memo's painting and Copy stay quick (a
// memo that lays the whole line out takes about a minute for a mebibyte), and
// Copy still takes the whole address.
TEST_F(PopupTest, AMebibyteAddressKeepsTheTickQuickAndCopyTakesItWhole) {
    const std::string address = "http://img.example/" + std::string(1 << 20, 'a') + "\u00e9.png";
    cells[3]->HTMLCode().SetLines({"<!3423" + address + ">", "<html>", "</html>"});
    Hover(3);
    popup.show();
    QElapsedTimer t;
    t.start();
    popup.Timer1Timer();
    popup.sMemo1->repaint();
    popup.Timer1Timer();  // the same address again
    EXPECT_LT(t.elapsed(), 1000) << "ms";
    EXPECT_EQ(Memo().rfind("http://img.example/aaa", 0), 0u);
    popup.Copy1->trigger();
    EXPECT_EQ(fake->clipboard, address);
}

TEST_F(PopupTest, CopyOfAnEmptyMemoLeavesTheClipboardAlone) {
    popup.Timer1Timer();
    ASSERT_EQ(Memo(), "");
    fake->clipboard = "before";
    popup.Copy1Click();
    EXPECT_EQ(fake->clipboard, "before");
    EXPECT_EQ(fake->clipboardWrites, 0);
}

TEST_F(PopupTest, ContextMenuOpensCopyAtTheConvertedPoint) {
    popup.move(100, 70);
    popup.show();
    QWidget* client = popup.sMemo1->viewport();

    QContextMenuEvent fromMouse(QContextMenuEvent::Mouse, QPoint(20, 10), client->mapToGlobal(QPoint(20, 10)));
    QApplication::sendEvent(client, &fromMouse);
    EXPECT_TRUE(popup.PopupMenu1->isVisible());
    EXPECT_EQ(popup.PopupMenu1->pos(), client->mapToGlobal(QPoint(20, 10)));
    popup.PopupMenu1->hide();

    // From the keyboard: one pixel above and left of the client area.
    QContextMenuEvent fromKeys(QContextMenuEvent::Keyboard, QPoint(5, 5), client->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(client, &fromKeys);
    EXPECT_TRUE(popup.PopupMenu1->isVisible());
    EXPECT_EQ(popup.PopupMenu1->pos(), client->mapToGlobal(QPoint(-1, -1)));
    popup.PopupMenu1->hide();
}

}  // namespace
}  // namespace zx
