#include "popup/actual_view_page.h"

namespace zx {
namespace {

std::string AttributeEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

std::string AddressOfMarkerLine(std::string_view line) {
    if (line.size() < 8) return {};
    return std::string(line.substr(6, line.size() - 7));
}

std::vector<std::string> ActualViewPage(std::string_view address) {
    // The body opens inside the head; engines accept it, and the page is
    // kept in exactly this shape.
    return {
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"",
        "\"http://www.w3.org/TR/html4/loose.dtd\">",
        "<html>",
        "<head>",
        "<title>Image</title>",
        "<body scroll=\"no\" TOPMARGIN=0 LEFTMARGIN=0 MARGINHEIGHT=0 MARGINWIDTH=0>",
        "<img margin=\"0\" border=\"0\" src=\"" + AttributeEscape(address) + "\">",
        "</body>",
        "</head>",
        "</html>",
    };
}

}  // namespace zx
