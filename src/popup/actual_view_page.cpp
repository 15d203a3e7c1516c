#include "popup/actual_view_page.h"

#include "base/cell_document.h"

namespace zx {
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
        "<img margin=\"0\" border=\"0\" src=\"" + HtmlAttributeEscape(address) + "\">",
        "</body>",
        "</head>",
        "</html>",
    };
}

}  // namespace zx
