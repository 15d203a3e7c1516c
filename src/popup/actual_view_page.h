#pragma once
// The actual-size page the popup makes from a cell's address: it shows the
// image at its natural size from its top-left corner.
#include <string>
#include <string_view>
#include <vector>

namespace zx {

// The ten lines of the actual-size page for `address`. The address is written
// into the src attribute with &, <, > and " as entities, so that it cannot
// close the attribute.
std::vector<std::string> ActualViewPage(std::string_view address);

}  // namespace zx
