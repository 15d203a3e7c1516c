// The actual-size page and the address kept in a marker line.
#include "popup/actual_view_page.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zx {
namespace {

// The src attribute of the page's one image with its entities read back;
// nullopt unless the page has exactly one image.
std::optional<std::string> ImageSource(const std::vector<std::string>& page) {
    std::optional<std::string> source;
    int images = 0;
    for (const std::string& line : page) {
        for (size_t at = line.find("<img"); at != std::string::npos; at = line.find("<img", at + 1)) ++images;
        const size_t src = line.find(" src=\"");
        if (src != std::string::npos) source = line.substr(src + 6, line.find('"', src + 6) - src - 6);
    }
    if (images != 1 || !source) return std::nullopt;
    for (const auto& [entity, text] : {std::pair{"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}}) {
        for (size_t at = source->find(entity); at != std::string::npos; at = source->find(entity, at + 1))
            source->replace(at, std::string_view(entity).size(), text);
    }
    return source;
}

TEST(ActualViewPage, IsTheTenLinePageWithTheAddressAsSource) {
    const std::vector<std::string> frame = ActualViewPage("http://img.example/frame.png");
    for (const std::string address : {"http://img.example/a.png?x=1", "http://h/a&amp;b.png?q=\"1\"&r=<2>", ""}) {
        SCOPED_TRACE(address);
        const std::vector<std::string> page = ActualViewPage(address);
        // Ten lines: the popup shows an address while its actual-size view
        // holds two or more.
        ASSERT_EQ(page.size(), 10u);
        EXPECT_EQ(ImageSource(page), address);
        // Only the image's line depends on the address.
        for (size_t i = 0; i < page.size(); ++i) {
            if (page[i].find("<img") == std::string::npos) {
                EXPECT_EQ(page[i], frame[i]) << i;
            }
        }
    }
    // The image keeps its natural size: nothing on the page sets one.
    for (const std::string& line : frame) {
        EXPECT_EQ(line.find("width"), std::string::npos) << line;
        EXPECT_EQ(line.find("height"), std::string::npos) << line;
    }
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
