#pragma once
// Where a redirect leads: the Location of an answer resolved against the
// address that answered.
#include <string>
#include <string_view>

namespace zx {

// The longest address the client follows or the bar keeps.
constexpr size_t kMaxAddressLength = size_t{32} * 1024;

// The absolute http or https address that location names when read against
// base (itself an absolute http or https address): a full address stays as
// it is, "//host/x" takes base's scheme, "/x" base's scheme and host, "?q"
// base's path, anything else base's folder; "." and ".." segments of the
// result's path are removed. Empty when location cannot be followed: none,
// another scheme, control characters or blanks inside, an address longer than
// kMaxAddressLength, or a base that is no http or https address.
std::string ResolveLocation(std::string_view base, std::string_view location);

}  // namespace zx
