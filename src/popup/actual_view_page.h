#pragma once
// The texts the popup makes from a cell document: the address kept in the
// cell marker line, and the actual-size page that shows an image at its
// natural size from its top-left corner.
#include <string>
#include <string_view>
#include <vector>

namespace zx {

// The marker line without its first six characters and its last one; empty
// for lines shorter than 8.
std::string AddressOfMarkerLine(std::string_view line);

// The ten lines of the actual-size page for `address`. The address is written
// into the src attribute with &, <, > and " as entities, so that it cannot
// close the attribute.
std::vector<std::string> ActualViewPage(std::string_view address);

}  // namespace zx
