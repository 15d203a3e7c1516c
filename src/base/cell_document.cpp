#include "base/cell_document.h"

#include <algorithm>

#include "base/text.h"

namespace zx {

const std::vector<std::string>& CellPageTemplate() {
    static const std::vector<std::string> lines = {
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" ",
        "\"http://www.w3.org/TR/html4/loose.dtd\">",
        "<html>",
        "<head>",
        "<title>Image</title>",
        "",
        "<script type=\"text/javascript\" >",
        "",
        "function resizeImage1()",
        "{",
        "\tvar window_height = document.body.clientHeight",
        "\tvar window_width  = document.body.clientWidth",
        "\tvar image_width   = document.images[0].width",
        "\tvar image_height  = document.images[0].height",
        "\tif (window_height/window_width < image_height/image_width)",
        "\t{",
        "\t\tdocument.images[0].style.width  = \"auto\"",
        "\t\tdocument.images[0].style.height = window_height - 6",
        "\t}",
        "\telse",
        "\t{",
        "\t\tdocument.images[0].style.width  = window_width - 6",
        "\t\tdocument.images[0].style.height = \"auto\"",
        "\t}",
        "}",
        "",
        "</script>",
        "",
        "<body onresize=\"resizeImage1()\" scroll=\"no\"   TOPMARGIN=0 LEFTMARGIN=0 MARGINHEIGHT=0 MARGINWIDTH=0>",
        "<center>",
        "<table height=\"100%\"><td valign=\"middle\">",
        "<img onload=\"resizeImage1()\" margin=\"0\" border=\"0\" src=\"####\">",
        "</td></table>",
        "</center>",
        "</body>",
        "",
        "",
        "",
        "</head>",
        "</html>",
    };
    return lines;
}

std::string CellMarkerLine(const std::string& address) {
    return std::string(kCellMarkerPrefix) + address + ">";
}

std::string ReplacePlaceholders(std::string_view text, std::string_view with) {
    static constexpr std::string_view kPlaceholder = "####";
    std::string out;
    size_t pos = 0;
    for (;;) {
        const size_t hit = text.find(kPlaceholder, pos);
        if (hit == std::string_view::npos) break;
        out.append(text.substr(pos, hit - pos));
        out.append(with);
        pos = hit + kPlaceholder.size();
    }
    out.append(text.substr(pos));
    return out;
}

std::string HtmlAttributeEscape(std::string_view text) {
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

std::vector<std::string> MakeImagePage(const std::vector<std::string>& templateLines, const std::string& address) {
    const std::string page = ReplacePlaceholders(JoinLinesCRLF(templateLines), HtmlAttributeEscape(address));
    std::vector<std::string> lines = SplitLines(page);
    lines.insert(lines.begin(), CellMarkerLine(address));
    return lines;
}

bool IsCellMarkerLine(std::string_view line) {
    return line.substr(0, kCellMarkerPrefix.size()) == kCellMarkerPrefix;
}

bool IsImagePage(const TStringList& document) {
    return document.Count() > 0 && IsCellMarkerLine(document[0]);
}

std::string InertMarkerLine(std::string_view text) {
    if (!IsCellMarkerLine(text)) return std::string(text);
    const size_t end = std::min(text.find_first_of("\r\n"), text.size());
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '>' && i + 1 < end)
            out += "&gt;";
        else
            out += text[i];
    }
    out.append(text.substr(end));
    return out;
}

std::string AddressFromMarkerLine(std::string_view line) {
    if (line.size() < 8) return {};
    return std::string(line.substr(6, line.size() - 7));
}

}  // namespace zx
