#pragma once
// The tests a dropped address must pass before it becomes a cell's image.
#include <string>
#include <string_view>

namespace zx {

// The extension a dropped address's document part is judged by, "." included:
// from the last "." to the end, unless a "\" or ":" follows that "."; empty
// when there is none.
std::string DroppedFileExtension(std::string_view name);

// One of .jpg .jpeg .png .gif .bmp .ico, in exactly that letter case.
bool IsImageExtension(std::string_view extension);

// The first four characters, ASCII-lowered, are "http" (so https and HTTP
// count too). Anything else is taken for a local file name.
bool IsWebAddress(std::string_view address);

}  // namespace zx
