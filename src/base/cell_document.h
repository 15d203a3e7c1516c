#pragma once
// The texts a cell holds: the cell page template, the image page made from it
// for an address, the marker line that keeps the address, and the tests and
// read-back the bar's features share.
#include <string>
#include <string_view>
#include <vector>

#include "base/string_list.h"

namespace zx {

// The bar holds twenty cells; the list file has a line for each of them.
inline constexpr int kCellCount = 20;

// The 40 lines of the cell page template; "####" stands for the address.
const std::vector<std::string>& CellPageTemplate();

inline constexpr std::string_view kCellMarkerPrefix = "<!3423";
inline constexpr std::string_view kClearedCellText = "<HTML></HTML>";

// "<!3423" + address + ">".
std::string CellMarkerLine(const std::string& address);

// Replaces every "####" in `text` by `with`, left to right; the inserted text
// is not searched again.
std::string ReplacePlaceholders(std::string_view text, std::string_view with);

// &, <, > and " as HTML entities, so that an address cannot close the src
// attribute it is written into.
std::string HtmlAttributeEscape(std::string_view text);

// The image page for `address`: the marker line, then the template lines with
// the placeholder replaced by the address as an attribute value.
std::vector<std::string> MakeImagePage(const std::vector<std::string>& templateLines, const std::string& address);

// At least one line, and line 0 starts with "<!3423".
bool IsImagePage(const TStringList& document);
bool IsCellMarkerLine(std::string_view line);

// The text to give the engine for a document: the same bytes, except that
// every ">" inside a leading marker line but its last character becomes
// "&gt;". To the engine the marker line is a comment that ends at the first
// ">"; the address in it is kept raw (it is read back from the line), and
// one holding ">" (a crafted list line) would end the comment early and have
// the rest of the line parsed as markup that runs script or fetches.
std::string InertMarkerLine(std::string_view text);

// The marker line without its first six characters and its last one; empty
// for lines shorter than 8.
std::string AddressFromMarkerLine(std::string_view line);

}  // namespace zx
