#include "base/cell_document.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace zx {
namespace {

TEST(CellPageTemplate, HasFortyLinesWithOnePlaceholderInTheImageLine) {
    const auto& t = CellPageTemplate();
    ASSERT_EQ(t.size(), 40u);
    int placeholders = 0;
    for (size_t i = 0; i < t.size(); ++i)
        if (t[i].find("####") != std::string::npos) {
            ++placeholders;
            EXPECT_EQ(i, 31u);
        }
    EXPECT_EQ(placeholders, 1);
    EXPECT_EQ(t[0].back(), ' ') << "the declaration's first line ends with a blank";
    EXPECT_EQ(t[10], "\tvar window_height = document.body.clientHeight");
    EXPECT_EQ(t[16], "\t\tdocument.images[0].style.width  = \"auto\"");
    EXPECT_NE(t[28].find("scroll=\"no\"   TOPMARGIN"), std::string::npos);
}

TEST(ImagePage, IsTheMarkerLineThenTheTemplateWithTheAddress) {
    const std::string address = "http://host/dir/pic.jpg?w=1";
    const auto page = MakeImagePage(CellPageTemplate(), address);
    ASSERT_EQ(page.size(), 41u);
    EXPECT_EQ(page[0], "<!3423" + address + ">");
    EXPECT_EQ(page[32], "<img onload=\"resizeImage1()\" margin=\"0\" border=\"0\" src=\"" + address + "\">");
    for (size_t i = 1; i < page.size(); ++i) {
        if (i != 32) {
            EXPECT_EQ(page[i], CellPageTemplate()[i - 1]);
        }
    }
}

TEST(ImagePage, MarkupInAnAddressCannotLeaveTheSrcAttribute) {
    const std::string address = "http://h/a.jpg?\"><script>alert(1)</script>&x=<b>";
    const auto page = MakeImagePage(CellPageTemplate(), address);
    EXPECT_EQ(page[0], "<!3423" + address + ">") << "the marker keeps the address byte for byte";
    EXPECT_EQ(page[32],
              "<img onload=\"resizeImage1()\" margin=\"0\" border=\"0\" "
              "src=\"http://h/a.jpg?&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;&amp;x=&lt;b&gt;\">");
    EXPECT_EQ(AddressFromMarkerLine(page[0]), address);
    // ...nor the marker line's comment, in what the engine is given.
    const std::string text = JoinLinesCRLF(page);
    EXPECT_EQ(InertMarkerLine(text),
              "<!3423http://h/a.jpg?\"&gt;<script&gt;alert(1)</script&gt;&x=<b&gt;>" + text.substr(page[0].size()));
    EXPECT_EQ(InertMarkerLine("<HTML></HTML>"), "<HTML></HTML>");
}

TEST(ImagePage, PlaceholderInsideTheAddressIsNotReplacedAgain) {
    EXPECT_EQ(ReplacePlaceholders("a####b####", "x####"), "ax####bx####");
    EXPECT_EQ(ReplacePlaceholders("###", "x"), "###");
    EXPECT_EQ(ReplacePlaceholders("#####", "x"), "x#");
    const auto page = MakeImagePage(CellPageTemplate(), "http://h/####.jpg");
    EXPECT_NE(page[32].find("src=\"http://h/####.jpg\""), std::string::npos);
}

TEST(ImagePage, LineBreaksInTheAddressSplitThePage) {
    const auto page = MakeImagePage(CellPageTemplate(), "http://h/a\nb.jpg");
    EXPECT_EQ(page.size(), 42u);
}

TEST(MarkerLine, ReadsBackAnyAddressWhateverItsLastCharacter) {
    for (const std::string a : {"http://h/a.jpg", "http://h/a>", "x", "http://h/\xC3\xA9.png", "a b "})
        EXPECT_EQ(AddressFromMarkerLine(CellMarkerLine(a)), a);
    EXPECT_EQ(AddressFromMarkerLine("<!3423>"), "");
    EXPECT_EQ(AddressFromMarkerLine("<!3423"), "");
    EXPECT_EQ(AddressFromMarkerLine("<!342"), "");
    EXPECT_EQ(AddressFromMarkerLine("<!3423ab"), "a") << "the last character is dropped whatever it is";
    EXPECT_EQ(AddressFromMarkerLine("<HTML></HTML>"), "</HTML") << "any line of 8 or more gives its middle";
}

TEST(MarkerLine, OnlyTheExactPrefixMarksAnImagePage) {
    TStringList doc;
    EXPECT_FALSE(IsImagePage(doc));
    doc.SetText("<HTML></HTML>");
    EXPECT_FALSE(IsImagePage(doc));
    doc.SetText("<!3424http://h/a.jpg>");
    EXPECT_FALSE(IsImagePage(doc));
    doc.SetText("<!3423");
    EXPECT_TRUE(IsImagePage(doc));
}

}  // namespace
}  // namespace zx
