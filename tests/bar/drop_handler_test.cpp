// What a drop on a cell takes, what it ignores, and the Busy pass-through.
#include <gtest/gtest.h>

#include <stdexcept>

#include "base/text.h"
#include "net/id_http.h"
#include "support/bar_fixture.h"

namespace zx {
namespace {

using test::BarFixture;

// Plays a drop of `url` on cell i; returns true when the cell was let navigate.
bool Drop(BarFixture& f, int i, const std::string& url) {
    return f.engine(f.cell(i)).SimulateNavigation(url);
}

std::vector<std::string> PageFor(const std::string& address) {
    return MakeImagePage(CellPageTemplate(), address);
}

TEST(DropHandler, TakesOnlyTheSixImageExtensionsInLowerCase) {
    BarFixture f;
    const std::vector<std::string> taken = {"http://h/a.jpg", "http://h/a.jpeg", "http://h/a.png", "http://h/a.gif",
                                            "http://h/a.bmp", "http://h/a.ico",
                                            // The query is split off the document part but stays in the address.
                                            "http://h/dir/pic.png?w=10&h=5", "http://h/x.jpg#top"};
    for (const std::string& url : taken) {
        SCOPED_TRACE(url);
        EXPECT_FALSE(Drop(f, 2, url)) << "a drop never navigates the cell";
        EXPECT_EQ(f.cell(2).HTMLCode().Lines(), PageFor(url));
    }
    f.fill(2, "http://h/keep.png");
    const std::vector<std::string> ignored = {"http://h/a.JPG",      "http://h/a.Jpeg",
                                              "http://h/a.jpe",      "http://h/a.png ",
                                              "http://h/a.svg",      "http://h/gallery/",
                                              "http://h/noext",      "http://h/show.php?img=a/b.jpg",
                                              "http://host?x=1.png", "http://h/img/id=42/pic.jpg",
                                              "http://h/a.png:1",    "",
                                              "about:blank"};
    for (const std::string& url : ignored) {
        SCOPED_TRACE(url);
        EXPECT_FALSE(Drop(f, 2, url));
        EXPECT_EQ(f.cell(2).HTMLCode().Lines(), PageFor("http://h/keep.png"));
    }
    EXPECT_TRUE(f.fake->shownBoxes.empty());
}

TEST(DropHandler, SchemeTestIsCaselessAndTheAddressIsKeptAsDropped) {
    BarFixture f;
    Drop(f, 0, "HTTP://EXAMPLE.ORG/Pics/A.png");
    EXPECT_EQ(f.cell(0).HTMLCode()[0], "<!3423HTTP://EXAMPLE.ORG/Pics/A.png>");
    Drop(f, 1, "https://h/b.gif");
    EXPECT_EQ(f.cell(1).HTMLCode()[0], "<!3423https://h/b.gif>");
    // The address goes into the page's src attribute; the marker line keeps it
    // byte for byte and reads back unchanged.
    const std::string odd = "http://h/a\"b<c>&d.png";
    Drop(f, 2, odd);
    ASSERT_TRUE(IsImagePage(f.cell(2).HTMLCode()));
    EXPECT_EQ(AddressFromMarkerLine(f.cell(2).HTMLCode()[0]), odd);
    EXPECT_EQ(f.cell(2).HTMLCode().Count(), 41);
}

TEST(DropHandler, BusyLetsEveryNavigationPassAndChangesNothing) {
    BarFixture f;
    // A navigation announced while cell 2 takes a drop passes untouched.
    bool cancel = true;
    f.cell(2).HTMLCode().OnChange = [&] { f.form1->EmbeddedWB1BeforeNavigate2(&f.cell(3), "http://h/a.png", cancel); };
    EXPECT_FALSE(Drop(f, 2, "http://h/b.png"));
    EXPECT_FALSE(cancel);
    EXPECT_EQ(f.cell(3).HTMLCode().Count(), 0);

    // A fresh cell gets its first document through "about:blank", which the
    // handler lets through while it loads the image page.
    auto& engine = f.engine(f.cell(3));
    EXPECT_FALSE(Drop(f, 3, "http://h/a.png"));
    EXPECT_EQ(engine.navigations, std::vector<std::string>{"about:blank"});
    ASSERT_EQ(engine.loads.size(), 1u);
    EXPECT_EQ(engine.currentText, JoinLinesCRLF(PageFor("http://h/a.png")));
    // Outside a drop the same navigation is vetoed.
    EXPECT_FALSE(Drop(f, 4, "about:blank"));
}

TEST(DropHandler, BusyIsClearedWhenLoadingThrows) {
    BarFixture f;
    f.cell(6).HTMLCode().OnChange = [] { throw std::runtime_error("view failed"); };
    bool cancel = false;
    EXPECT_THROW(f.form1->EmbeddedWB1BeforeNavigate2(&f.cell(6), "http://h/a.png", cancel), std::runtime_error);
    EXPECT_TRUE(cancel);
    EXPECT_FALSE(Drop(f, 7, "about:blank")) << "the next navigation is vetoed again";
}

TEST(DropHandler, UsesTheTemplateTheBarHolds) {
    BarFixture f;
    Drop(f, 0, "http://h/a.png");
    EXPECT_EQ(f.cell(0).HTMLCode().Lines(), PageFor("http://h/a.png"));
    EXPECT_EQ(f.form1->IdHTTP1->URL().Document(), "a.png") << "the client's own splitter cut the address";
}

}  // namespace
}  // namespace zx
