// The actual-size page and the address kept in a marker line.
#include "popup/actual_view_page.h"

#include <gtest/gtest.h>

namespace zx {
namespace {

TEST(ActualViewPage, IsTheTenLinePageWithTheAddressAsSource) {
    const std::vector<std::string> expected = {
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"",
        "\"http://www.w3.org/TR/html4/loose.dtd\">",
        "<html>",
        "<head>",
        "<title>Image</title>",
        "<body scroll=\"no\" TOPMARGIN=0 LEFTMARGIN=0 MARGINHEIGHT=0 MARGINWIDTH=0>",
        "<img margin=\"0\" border=\"0\" src=\"http://img.example/a.png?x=1\">",
        "</body>",
        "</head>",
        "</html>",
    };
    EXPECT_EQ(ActualViewPage("http://img.example/a.png?x=1"), expected);
}

TEST(ActualViewPage, AddressCannotCloseTheSourceAttribute) {
    const auto page = ActualViewPage("http://x/\"><script>alert(1)</script>&.png");
    EXPECT_EQ(
        page[6],
        "<img margin=\"0\" border=\"0\" src=\"http://x/&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;&amp;.png\">");
    EXPECT_EQ(ActualViewPage("")[6], "<img margin=\"0\" border=\"0\" src=\"\">");
}

}  // namespace
}  // namespace zx
