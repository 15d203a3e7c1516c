#pragma once
// The tests a dropped address must pass before it becomes a cell's image.
#include <string>
#include <string_view>

namespace zx {

// The extension a dropped address's document part is judged by, "." included:
// from the last "." to the end, unless a "\" or ":" follows that "."; empty
// when there is none.
std::string DroppedFileExtension(std::string_view name);

// One of .jpg .jpeg .png .gif .bmp .ico .webp .avif .svg, in any letter case.
bool IsImageExtension(std::string_view extension);

// The first four characters, ASCII-lowered, are "http" (so https and HTTP
// count too). Anything else is taken for a local file name.
bool IsWebAddress(std::string_view address);

// True when the text holds a control character: a byte below 32, DEL, or a
// C1 control in UTF-8 (U+0080 to U+009F). No image address or file name a
// browser hands over carries one; a line break would split the cell page,
// and the engine silently drops some of them from an address.
bool HasControlCharacter(std::string_view text);

// For a web address: true when the engine and the HTTP client's splitter
// take the same server from it, that is the scheme is http or https followed
// by exactly "//", and what stands before the first "/" after it (the
// splitter's authority) is one the engine ends there too and reads alike: no
// "\", "?" or "#" in it, at most one "@", a host of letters,
// digits, "-", "_" and "." (an IPv4 address only as four plain decimal
// numbers; the engine also reads hex, octal and short forms) or a bracketed
// IPv6 address, and a port of at most five digits up to 65535.
bool HostReadsAlike(std::string_view address);

// What may become a cell's image address at all: at most 32 KiB, no control
// character, and a web address only when its host reads alike.
bool IsAcceptableAddress(std::string_view address);

}  // namespace zx
