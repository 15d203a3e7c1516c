// The view's contract on the headless engine: what HTMLCode holds, when the
// view loads or navigates, and what it announces.
#include "htmlview/embedded_wb.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "base/exception.h"
#include "htmlview/drag_origin.h"
#include "htmlview/page_cover.h"
#include "htmlview/webengine_widgets.h"
#include "support/headless_engine.h"

namespace zx {
namespace {

class EmbeddedWBTest : public testing::Test {
protected:
    void SetUp() override {
        view = std::make_unique<TEmbeddedWB>(nullptr);
        engine = dynamic_cast<HeadlessEngine*>(&view->Engine());
        ASSERT_NE(engine, nullptr);
        view->OnBeforeNavigate2 = [this](TEmbeddedWB* sender, const std::string& url, bool& cancel) {
            EXPECT_EQ(sender, view.get());
            EXPECT_FALSE(cancel);
            announced.push_back(url);
            cancel = veto;
        };
    }

    ScopedHeadlessEngine headless;
    std::unique_ptr<TEmbeddedWB> view;
    HeadlessEngine* engine = nullptr;
    std::vector<std::string> announced;
    bool veto = false;
};

// A program without an engine would show blank views: it stops instead.
TEST(EmbeddedWB, ViewWithoutAnInstalledEngineFailsWithItsMessage) {
    SetHtmlEngineFactory(nullptr);
    try {
        TEmbeddedWB view(nullptr);
        ADD_FAILURE() << "a view without an engine";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "No web engine is installed");
    }
}

TEST_F(EmbeddedWBTest, TextIsHeldAndReadBackExactly) {
    const std::string text =
        "<!3423http://h/a b.png>\r\n\t\tvar x  =   1\r\n\r\nlone cr\rlone lf\n\xe4\xf6\xfc\x01 end";
    view->HTMLCode().SetText(text);
    ASSERT_EQ(view->HTMLCode().Count(), 6);
    EXPECT_EQ(view->HTMLCode()[0], "<!3423http://h/a b.png>");
    EXPECT_EQ(view->HTMLCode()[1], "\t\tvar x  =   1");
    EXPECT_EQ(view->HTMLCode()[2], "");
    EXPECT_EQ(view->HTMLCode()[3], "lone cr");
    EXPECT_EQ(view->HTMLCode()[4], "lone lf");
    EXPECT_EQ(view->HTMLCode()[5], "\xe4\xf6\xfc\x01 end");
    const std::string expected =
        "<!3423http://h/a b.png>\r\n\t\tvar x  =   1\r\n\r\nlone cr\r\nlone lf\r\n\xe4\xf6\xfc\x01 end\r\n";
    EXPECT_EQ(view->HTMLCode().Text(), expected);
    // The engine got the same text, and showing it changed nothing in HTMLCode.
    ASSERT_EQ(engine->loads.size(), 1u);
    EXPECT_EQ(engine->loads.back(), expected);
    EXPECT_EQ(view->HTMLCode().Text(), expected);
}

TEST_F(EmbeddedWBTest, FirstLoadAnnouncesAboutBlankOnce) {
    view->HTMLCode().SetText("<p>one</p>\r\n<p>two</p>");
    view->HTMLCode().SetText("<p>three</p>\r\n<p>four</p>");
    EXPECT_EQ(announced, std::vector<std::string>{"about:blank"});
    EXPECT_EQ(engine->navigations, std::vector<std::string>{"about:blank"});
    ASSERT_EQ(engine->loads.size(), 2u);
    EXPECT_EQ(engine->currentText, "<p>three</p>\r\n<p>four</p>\r\n");
}

TEST_F(EmbeddedWBTest, VetoedAboutBlankLeavesNoDocumentAndRaisesNothing) {
    veto = true;
    EXPECT_NO_THROW(view->HTMLCode().SetText("<p>a</p>\r\n<p>b</p>"));
    EXPECT_FALSE(view->HasDocument());
    EXPECT_TRUE(engine->loads.empty());
    EXPECT_TRUE(engine->navigations.empty());
    EXPECT_EQ(view->HTMLCode().Count(), 2);  // the text is still held

    // The next change tries again, and gets through once the handler agrees.
    veto = false;
    view->HTMLCode().SetText("<p>c</p>\r\n<p>d</p>");
    EXPECT_EQ(announced, (std::vector<std::string>{"about:blank", "about:blank"}));
    EXPECT_TRUE(view->HasDocument());
    ASSERT_EQ(engine->loads.size(), 1u);
}

TEST_F(EmbeddedWBTest, HandlerSeesTheNewTextWhileAboutBlankIsAnnounced) {
    // Handlers are re-entered from inside the assignment; the list is complete by then.
    std::string seen;
    view->OnBeforeNavigate2 = [&](TEmbeddedWB* sender, const std::string&, bool&) { seen = sender->HTMLCode().Text(); };
    view->HTMLCode().SetText("<p>x</p>\r\n<p>y</p>");
    EXPECT_EQ(seen, "<p>x</p>\r\n<p>y</p>\r\n");
}

TEST_F(EmbeddedWBTest, OneLineAddressNavigatesInsteadOfLoading) {
    for (const std::string line : {"http://127.0.0.1/a.png", "HTTPS://127.0.0.1/", "www.example.invalid/x",
                                   "ftp://127.0.0.1/f", "File:///tmp/x.png", "ABOUT:blank"}) {
        announced.clear();
        engine->navigations.clear();
        view->HTMLCode().SetText(line);
        EXPECT_EQ(announced, std::vector<std::string>{line}) << line;
        EXPECT_EQ(engine->navigations, std::vector<std::string>{line}) << line;
    }
    EXPECT_TRUE(engine->loads.empty());
    EXPECT_EQ(view->HTMLCode().Count(), 1);
}

TEST_F(EmbeddedWBTest, OneLineNamingADirectoryNavigatesToItsFileAddress) {
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/file-XXXXXX"));  // a name that starts with "file"
    ASSERT_TRUE(dir.isValid());
    // Relative to the working directory, so the line itself begins with "file".
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QDir::tempPath()));
    const std::string line = QDir(QDir::tempPath()).relativeFilePath(dir.path()).toStdString();
    ASSERT_EQ(line.rfind("file", 0), 0u);
    view->HTMLCode().SetText(line);
    QDir::setCurrent(previous);
    EXPECT_EQ(engine->navigations, std::vector<std::string>{"file:///" + line});
    // A line that names no directory is the address itself.
    view->HTMLCode().SetText(line + "-gone");
    EXPECT_EQ(engine->navigations.back(), line + "-gone");
}

TEST_F(EmbeddedWBTest, VetoedNavigationKeepsThePage) {
    view->HTMLCode().SetText("<p>kept</p>\r\n<p>page</p>");
    veto = true;
    view->HTMLCode().SetText("http://127.0.0.1/vetoed.png");
    EXPECT_EQ(engine->navigations, std::vector<std::string>{"about:blank"});
    EXPECT_EQ(engine->currentText, "<p>kept</p>\r\n<p>page</p>\r\n");
}

TEST_F(EmbeddedWBTest, OneLineThatIsNoAddressIsLoadedAsPage) {
    for (const std::string line : {"<HTML></HTML>", "htt", "about", " http://x/", "wwwx"}) {
        view->HTMLCode().SetText(line);
        ASSERT_FALSE(engine->loads.empty());
        EXPECT_EQ(engine->loads.back(), line + "\r\n") << line;
    }
    EXPECT_EQ(engine->navigations, std::vector<std::string>{"about:blank"});
    EXPECT_EQ(view->HTMLCode().Text(), "wwwx\r\n");
}

TEST_F(EmbeddedWBTest, EmptyTextShowsAnEmptyPage) {
    view->HTMLCode().SetText("<HTML></HTML>");
    view->HTMLCode().SetText("");
    EXPECT_EQ(view->HTMLCode().Count(), 0);
    ASSERT_EQ(engine->loads.size(), 2u);
    EXPECT_EQ(engine->currentText, "");
}

TEST_F(EmbeddedWBTest, EveryAssignmentCountsAsAChange) {
    view->HTMLCode().SetText("<HTML></HTML>");
    view->HTMLCode().SetText("<HTML></HTML>");
    view->HTMLCode().SetText("");
    view->HTMLCode().SetText("");
    EXPECT_EQ(engine->loads.size(), 4u);
}

TEST_F(EmbeddedWBTest, ClearLoadsOnlyWhenThereWereLines) {
    view->HTMLCode().Clear();
    EXPECT_TRUE(engine->loads.empty());
    EXPECT_TRUE(announced.empty());
    EXPECT_FALSE(view->HasDocument());

    view->HTMLCode().SetText("<HTML></HTML>");
    view->HTMLCode().Clear();
    ASSERT_EQ(engine->loads.size(), 2u);
    EXPECT_EQ(engine->currentText, "");
    view->HTMLCode().Clear();
    EXPECT_EQ(engine->loads.size(), 2u);
}

TEST_F(EmbeddedWBTest, EngineNavigationsAreAnnouncedAndLeaveTheTextAlone) {
    view->HTMLCode().SetText("<HTML></HTML>");
    announced.clear();
    veto = true;
    EXPECT_FALSE(engine->SimulateNavigation("http://127.0.0.1/dropped.jpg"));
    veto = false;
    EXPECT_TRUE(engine->SimulateNavigation("/tmp/cache/dropped.jpg"));
    EXPECT_EQ(announced, (std::vector<std::string>{"http://127.0.0.1/dropped.jpg", "/tmp/cache/dropped.jpg"}));
    EXPECT_EQ(view->HTMLCode().Text(), "<HTML></HTML>\r\n");
}

TEST_F(EmbeddedWBTest, WithoutHandlerEverythingPasses) {
    view->OnBeforeNavigate2 = nullptr;
    view->HTMLCode().SetText("<HTML></HTML>");
    EXPECT_TRUE(view->HasDocument());
    EXPECT_TRUE(engine->SimulateNavigation("http://127.0.0.1/x"));
}

TEST(DisabledCtrlShortcut, OnlyCtrlWithoutShiftOnTheListedKeys) {
    EXPECT_TRUE(IsDisabledCtrlShortcut(Qt::Key_N, Qt::ControlModifier, "N"));
    EXPECT_TRUE(IsDisabledCtrlShortcut(Qt::Key_N, Qt::ControlModifier | Qt::AltModifier, "N"));
    EXPECT_TRUE(IsDisabledCtrlShortcut(Qt::Key_N, Qt::ControlModifier, "n"));
    EXPECT_FALSE(IsDisabledCtrlShortcut(Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier, "N"));
    EXPECT_FALSE(IsDisabledCtrlShortcut(Qt::Key_N, Qt::NoModifier, "N"));
    EXPECT_FALSE(IsDisabledCtrlShortcut(Qt::Key_M, Qt::ControlModifier, "N"));
    EXPECT_FALSE(IsDisabledCtrlShortcut(Qt::Key_N, Qt::ControlModifier, ""));
    EXPECT_TRUE(IsDisabledCtrlShortcut(Qt::Key_P, Qt::ControlModifier, "NP"));
    EXPECT_FALSE(IsDisabledCtrlShortcut(Qt::Key_Escape, Qt::ControlModifier, "N"));
}

// The markup the engine puts on a drag of an image names its web address.
TEST(DraggedImageAddress, TheFirstImageSourceWhenItIsAWebAddress) {
    const struct {
        const char* html;
        const char* address;
    } rows[] = {
        {R"x(<img src="http://h/a.png" onload="f()">)x", "http://h/a.png"},
        {R"(<meta charset="utf-8"><IMG alt="x" SRC='https://h/a.png?x=1&amp;y=&quot;2&#39;'>)",
         "https://h/a.png?x=1&y=\"2'"},
        {"<img\tsrc = ftp://h/a.gif width=3>", "ftp://h/a.gif"},
        {R"(<img data-src="http://h/no.png" srcset="http://h/no2.png" src="http://h/yes.png">)", "http://h/yes.png"},
        {R"(<imgx src="http://h/a.png"><img src="http://h/b.png">)", "http://h/b.png"},
        {R"(<img src="file:///tmp/a.png">)", ""},
        {R"(<img src="javascript:alert(1)//http://h/a.png">)", ""},
        {R"(<img alt="no source">)", ""},
        {R"(<img src="http://h/cut)", ""},
        {"", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(DraggedImageAddress(row.html), row.address) << row.html;
}

// The cover over a view goes once a document first seen for the new text,
// begun about after it, has drawn, or when the engine stays silent or a
// bound runs out; never for an answer of the page before.
TEST(CoverRule, GoesOnlyForTheNewPageOrAtABound) {
    constexpr int64_t kSilence = CoverRule::kLongestSilenceMs, kLongest = CoverRule::kLongestCoverMs;
    struct Answer {
        int64_t at;
        double began;  // wall clock; the text, the first, was given at 1000
        int text;      // the text the document was first probed for
        bool drawn;
    };
    const struct {
        const char* name;
        std::vector<Answer> answers;
        int64_t expiredAt;  // asked last; 0: not asked
        bool covered;
    } rows[] = {
        {"the new page drew", {{100, 1000, 1, true}}, 0, false},
        {"the engine's clock runs a little behind", {{100, 990, 1, true}}, 0, false},
        {"the new page has not drawn yet", {{100, 1001, 1, false}}, 0, true},
        {"the old page drew", {{100, 5000, 0, true}, {200, -1, 1, true}}, 0, true},
        {"the engine answers nothing", {}, kSilence - 1, true},
        {"the engine answered nothing for too long", {}, kSilence, false},
        {"answers keep the cover", {{2000, 1200, 0, true}, {4000, 1200, 1, false}}, 4000 + kSilence - 1, true},
        {"however it answers, the bound", {{kLongest - 10, 1200, 1, false}}, kLongest, false},
    };
    // Unseen, the view waits without an answer; the bounds count once it shows.
    CoverRule unseen;
    unseen.TextGiven(0, 1000);
    unseen.Unseen(kLongest * 2);
    EXPECT_FALSE(unseen.Expired(kLongest * 2 + kSilence - 1));
    EXPECT_TRUE(unseen.Expired(kLongest * 2 + kSilence));
    for (const auto& row : rows) {
        CoverRule rule;
        EXPECT_FALSE(rule.Answered(10, 2000, 0, true)) << "nothing to cover yet";
        rule.TextGiven(0, 1000);
        ASSERT_EQ(rule.Text(), 1);
        for (const Answer& a : row.answers) rule.Answered(a.at, a.began, a.text, a.drawn);
        if (row.expiredAt) rule.Expired(row.expiredAt);
        EXPECT_EQ(rule.Covered(), row.covered) << row.name;
        // A new text covers again, whatever came before.
        rule.TextGiven(100000, 5000);
        EXPECT_TRUE(rule.Covered()) << row.name;
        EXPECT_FALSE(rule.Answered(100001, 5000, 1, true)) << row.name;
    }
}

}  // namespace
}  // namespace zx
